#pragma once

// The installed front end on a real X server, driven with xdotool as a person drives it.
// The display, its window manager and the session bus come from the environment that
// tests/gui/private-desktop gives the test. Every process started here is bounded in
// time and ended on every way out.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <functional>
#include <memory>

// Runs a command to its end within the bound; returns its standard output.
QByteArray runCommand(const QString &program, const QStringList &arguments,
    const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
    int *exitCode = nullptr, int timeoutMs = 30000);

// Installs the build (BUILD_DIR) into prefix, as a person does with cmake --install.
bool installBuild(const QString &prefix);

// Polls `condition` until it holds or the bound runs out. The bound is generous: it only
// matters when something is wrong, and the machine may be busy with other work.
bool waitFor(const std::function<bool()> &condition, int timeoutMs = 60000);

// A process that is ended, whatever happens, when the object goes.
class OwnedProcess
{
public:
    OwnedProcess() = default;
    ~OwnedProcess();
    Q_DISABLE_COPY(OwnedProcess)
    QProcess process;
};

// The private display the test runs on: DISPLAY and XDG_RUNTIME_DIR from the environment
// that private-desktop gives.
class XDisplay
{
public:
    XDisplay();
    QString name() const { return m_name; }
    bool ok() const { return !m_name.isEmpty() && !m_runtimeDir.isEmpty(); }
    QProcessEnvironment environment() const { return m_environment; }

private:
    QProcessEnvironment m_environment;
    QString m_name;
    QString m_runtimeDir;
};

// dunst as the notification service on the session bus from the environment, showing on
// the display. dunst prints every notification it receives; received() reads them back.
// The bus starts no service by itself, so without dunst there is no service at all.
class NotificationServer
{
public:
    struct Notification
    {
        QString appName;
        QString summary;
        QString body;
        QString icon;
        QString desktopEntry;
        QString urgency;
        // The text a person sees: dunst's own rendering of summary and body, with the
        // markup interpreted.
        QString shown;
        // The actions offered, by key: their labels.
        QMap<QString, QString> actions;
    };

    explicit NotificationServer(const XDisplay &display);
    bool ok() const { return !m_address.isEmpty() && serviceRunning(); }
    // The display's environment with this bus as the session bus.
    QProcessEnvironment environment() const;

    QList<Notification> received();
    // Waits until at least `count` notifications have come in, and returns all of them.
    QList<Notification> waitForReceived(int count);

    bool serviceRunning() const;
    void stopService();
    void startService();
    // A stopped service holds its name on the bus but answers nothing.
    void pauseService();
    void resumeService();

private:
    const XDisplay &m_display;
    QTemporaryDir m_folder;
    std::unique_ptr<OwnedProcess> m_dunst;
    QString m_address;
    QByteArray m_printed;
};

// The front end on a display, found by its window once that window has the keyboard focus:
// a person starts typing only when they see the caret, and keys sent before the window
// manager has given the window the focus go elsewhere.
class FrontEnd
{
public:
    // Where the front end's standard error goes: to the test's own, or nowhere, as when a
    // desktop menu starts it.
    enum class Errors { Forwarded, Discarded };

    FrontEnd(const XDisplay &display, const QString &program, const QString &workingDir,
        const QProcessEnvironment &extra = {}, Errors errors = Errors::Forwarded);

    bool ok() const { return !m_window.isEmpty(); }
    qint64 pid() const { return m_app.process.processId(); }
    QString window() const { return m_window; }
    bool running() const { return m_app.process.state() == QProcess::Running; }
    bool waitForExit(int timeoutMs = 60000) { return m_app.process.waitForFinished(timeoutMs); }

    QString xdotool(const QStringList &arguments) const;
    // The client area's geometry: x, y, width, height on the screen.
    QList<int> geometry(const QString &window) const;
    // Visible windows of the front end other than its main window.
    QStringList otherWindows() const;
    // Another window of the front end (a dialog, a message box), once it has the focus.
    QString waitForOtherWindow() const;
    bool waitForFocus(const QString &window) const;

    // Input as a person gives it: one click, and keys at a brisk typist's pace.
    void click(int x, int y) const; // in the main window's client area
    void type(const QString &text) const;
    void key(const QStringList &keys) const;
    void paste(const QString &text) const;
    // The whole text of the box at (x, y), through the clipboard; the box must not be empty.
    QString copyAllOf(int x, int y) const;
    void screenshot(const QString &window, const QString &path) const;

private:
    // Makes the clipboard hold text, served by xclip until the next call or until the
    // front end goes; returns once the display hands out that text.
    bool serveClipboard(const QString &text) const;
    QByteArray clipboard() const;

    const XDisplay &m_display;
    OwnedProcess m_app;
    QString m_window;
    mutable std::unique_ptr<QTemporaryDir> m_clipboardFile;
    mutable std::unique_ptr<OwnedProcess> m_clipboard;
};
