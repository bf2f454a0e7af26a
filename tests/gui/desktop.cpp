#include "desktop.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <csignal>

namespace {

const QString kTitle = QStringLiteral("Handy tarnwick arm add-on");

} // namespace

QByteArray runCommand(const QString &program, const QStringList &arguments,
    const QProcessEnvironment &environment, int *exitCode, int timeoutMs)
{
    OwnedProcess owned;
    owned.process.setProcessEnvironment(environment);
    owned.process.start(program, arguments);
    if (!owned.process.waitForFinished(timeoutMs)) {
        if (exitCode)
            *exitCode = -1;
        return {};
    }
    if (exitCode)
        *exitCode
            = owned.process.exitStatus() == QProcess::NormalExit ? owned.process.exitCode() : -1;
    return owned.process.readAllStandardOutput();
}

bool installBuild(const QString &prefix)
{
    int code = -1;
    runCommand(u"cmake"_qs, { u"--install"_qs, QStringLiteral(BUILD_DIR), u"--prefix"_qs, prefix },
        QProcessEnvironment::systemEnvironment(), &code, 60000);
    return code == 0;
}

bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(25);
    }
    return true;
}

OwnedProcess::~OwnedProcess()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

XDisplay::XDisplay()
    : m_environment(QProcessEnvironment::systemEnvironment())
{
    // Only on a private desktop: on a person's own, the clicks and keys would go to their
    // windows.
    if (m_environment.contains(u"PRIVATE_DESKTOP"_qs)) {
        m_name = m_environment.value(u"DISPLAY"_qs);
        m_runtimeDir = m_environment.value(u"XDG_RUNTIME_DIR"_qs);
    }
    if (!ok())
        qWarning("no private display (PRIVATE_DESKTOP, DISPLAY, XDG_RUNTIME_DIR): run the "
                 "test under tests/gui/private-desktop, as CTest does");
}

FrontEnd::FrontEnd(const XDisplay &display, const QString &program, const QString &workingDir,
    const QProcessEnvironment &extra, Errors errors)
    : m_display(display)
{
    QProcessEnvironment env = display.environment();
    // As a desktop launch may give it: a short PATH, no Qt platform chosen for it.
    env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    for (const QString &key : extra.keys())
        env.insert(key, extra.value(key));
    m_app.process.setProcessEnvironment(env);
    m_app.process.setWorkingDirectory(workingDir);
    if (errors == Errors::Discarded)
        m_app.process.setStandardErrorFile(QProcess::nullDevice());
    else
        m_app.process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_app.process.start(program, {});
    if (!m_app.process.waitForStarted(10000))
        return;
    waitFor([&] {
        const QStringList found
            = xdotool({ QStringLiteral("search"), QStringLiteral("--all"),
                          QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                          QString::number(pid()), QStringLiteral("--name"), u'^' + kTitle + u'$' })
                  .split(u'\n', Qt::SkipEmptyParts);
        if (!found.isEmpty())
            m_window = found.first();
        return !m_window.isEmpty() || !running();
    });
    if (!m_window.isEmpty() && !waitForFocus(m_window))
        m_window.clear();
}

QString FrontEnd::xdotool(const QStringList &arguments) const
{
    return QString::fromUtf8(
        runCommand(QStringLiteral("xdotool"), arguments, m_display.environment(), nullptr, 15000))
        .trimmed();
}

QList<int> FrontEnd::geometry(const QString &window) const
{
    QList<int> values;
    const QString shell
        = xdotool({ QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window });
    for (const char *key : { "X=", "Y=", "WIDTH=", "HEIGHT=" }) {
        for (const QString &line : shell.split(u'\n')) {
            if (line.startsWith(QLatin1String(key)))
                values << line.mid(qsizetype(qstrlen(key))).toInt();
        }
    }
    return values;
}

QStringList FrontEnd::otherWindows() const
{
    QStringList windows
        = xdotool({ QStringLiteral("search"), QStringLiteral("--all"),
                      QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                      QString::number(pid()), QStringLiteral("--name"), QStringLiteral(".") })
              .split(u'\n', Qt::SkipEmptyParts);
    windows.removeAll(m_window);
    return windows;
}

QString FrontEnd::waitForOtherWindow() const
{
    QString found;
    waitFor([&] {
        found = otherWindows().value(0);
        return !found.isEmpty();
    });
    return !found.isEmpty() && waitForFocus(found) ? found : QString();
}

bool FrontEnd::waitForFocus(const QString &window) const
{
    return waitFor([&] { return xdotool({ QStringLiteral("getwindowfocus") }) == window; });
}

void FrontEnd::click(int x, int y) const
{
    xdotool({ QStringLiteral("mousemove"), QStringLiteral("--window"), m_window, QString::number(x),
        QString::number(y), QStringLiteral("click"), QStringLiteral("1") });
}

void FrontEnd::type(const QString &text) const
{
    xdotool({ QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("50"),
        QStringLiteral("--"), text });
}

void FrontEnd::key(const QStringList &keys) const
{
    xdotool(QStringList { QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("30") }
        + keys);
}

QByteArray FrontEnd::clipboard() const
{
    return runCommand(QStringLiteral("xclip"),
        { QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard") },
        m_display.environment(), nullptr, 5000);
}

bool FrontEnd::serveClipboard(const QString &text) const
{
    m_clipboardFile = std::make_unique<QTemporaryDir>();
    QFile file(m_clipboardFile->filePath(QStringLiteral("clip")));
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0)
        return false;
    file.close();
    m_clipboard = std::make_unique<OwnedProcess>();
    m_clipboard->process.setProcessEnvironment(m_display.environment());
    m_clipboard->process.start(QStringLiteral("xclip"),
        { QStringLiteral("-quiet"), QStringLiteral("-selection"), QStringLiteral("clipboard"),
            QStringLiteral("-i"), file.fileName() });
    return m_clipboard->process.waitForStarted(10000)
        && waitFor([&] { return clipboard() == text.toUtf8(); });
}

void FrontEnd::paste(const QString &text) const
{
    // The window asks xclip for the text only when it handles the key press.
    if (serveClipboard(text))
        key({ QStringLiteral("ctrl+v") });
}

QString FrontEnd::copyAllOf(int x, int y) const
{
    // The clipboard first holds a text of our own, so that what is read back is known to
    // come from this copy and not from an earlier one.
    const QByteArray before = QByteArrayLiteral("(the clipboard before the copy)");
    if (!serveClipboard(QString::fromLatin1(before)))
        return {};
    click(x, y);
    key({ QStringLiteral("ctrl+a"), QStringLiteral("ctrl+c") });
    QByteArray copied;
    waitFor([&] {
        copied = clipboard();
        return !copied.isEmpty() && copied != before;
    });
    return QString::fromUtf8(copied);
}

void FrontEnd::screenshot(const QString &window, const QString &path) const
{
    // The whole screen cut to the window with its frame and title bar around it.
    const QList<int> g = geometry(window);
    if (g.size() != 4)
        return;
    const int margin = 40;
    const int x = qMax(0, g[0] - margin), y = qMax(0, g[1] - margin);
    runCommand(QStringLiteral("import"),
        { QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("-crop"),
            QStringLiteral("%1x%2+%3+%4")
                .arg(g[2] + 2 * margin)
                .arg(g[3] + 2 * margin)
                .arg(x)
                .arg(y),
            QStringLiteral("+repage"), path },
        m_display.environment());
}

namespace {

// One field of a notification as dunst prints it: "\tkey: 'value'" up to the next field.
QString printedField(const QString &block, const QString &key, const QString &nextKey)
{
    const QString start = u'\t' + key + u": '"_qs;
    const QString end = u"'\n\t"_qs + nextKey + u':';
    const qsizetype from = block.indexOf(start);
    if (from < 0)
        return {};
    const qsizetype to = block.indexOf(end, from + start.size());
    return to < 0 ? QString() : block.mid(from + start.size(), to - from - start.size());
}

// Pango markup as text: tags dropped, entities resolved.
QString shownText(QString markup)
{
    markup.remove(QRegularExpression(u"<[^>]*>"_qs));
    return markup.replace(u"&lt;"_qs, u"<"_qs)
        .replace(u"&gt;"_qs, u">"_qs)
        .replace(u"&quot;"_qs, u"\""_qs)
        .replace(u"&apos;"_qs, u"'"_qs)
        .replace(u"&amp;"_qs, u"&"_qs);
}

} // namespace

NotificationServer::NotificationServer(const XDisplay &display)
    : m_display(display)
    , m_address(display.environment().value(u"DBUS_SESSION_BUS_ADDRESS"_qs))
{
    // Notifications stay until taken or dismissed, so that none is gone before a test,
    // slow on a busy machine, comes to it: the system's settings, and a drop-in beside
    // them, which dunst reads from the folder of the settings it found.
    const QString settings = m_folder.filePath(u"config/dunst"_qs);
    QFile stay(settings + u"/dunstrc.d/stay.conf"_qs);
    // Its menu of a notification's actions ("dunstctl context") picks the one called Debug.
    const QString chooser = m_folder.filePath(u"choose-debug"_qs);
    const QByteArray untilAnswered = "[global]\ndmenu = " + QFile::encodeName(chooser)
        + "\n[urgency_low]\ntimeout = 0\n[urgency_normal]\ntimeout = 0\n";
    QFile choose(chooser);
    if (!choose.open(QIODevice::WriteOnly) || choose.write("#!/bin/sh\nexec grep -m1 Debug\n") < 0
        || !choose.setPermissions(QFile::ReadOwner | QFile::ExeOwner))
        qWarning("cannot write the notification server's menu");
    choose.close();
    if (!QDir().mkpath(settings + u"/dunstrc.d"_qs)
        || !QFile::link(u"/etc/xdg/dunst/dunstrc"_qs, settings + u"/dunstrc"_qs)
        || !stay.open(QIODevice::WriteOnly) || stay.write(untilAnswered) != untilAnswered.size()) {
        qWarning("cannot write the notification server's settings");
        return;
    }
    stay.close();
    if (m_address.isEmpty())
        qWarning("DBUS_SESSION_BUS_ADDRESS is not set: run the test under "
                 "tests/gui/private-desktop --session-bus, as CTest does");
    else
        startService();
}

QProcessEnvironment NotificationServer::environment() const
{
    QProcessEnvironment env = m_display.environment();
    env.insert(u"DBUS_SESSION_BUS_ADDRESS"_qs, m_address);
    return env;
}

bool NotificationServer::serviceRunning() const
{
    const QByteArray reply = runCommand(u"dbus-send"_qs,
        { u"--session"_qs, u"--print-reply"_qs, u"--dest=org.freedesktop.DBus"_qs,
            u"/org/freedesktop/DBus"_qs, u"org.freedesktop.DBus.NameHasOwner"_qs,
            u"string:org.freedesktop.Notifications"_qs },
        environment(), nullptr, 10000);
    return reply.contains("boolean true");
}

void NotificationServer::startService()
{
    m_dunst = std::make_unique<OwnedProcess>();
    QProcessEnvironment env = environment();
    // The user's own dunst settings stay out of it.
    env.insert(u"XDG_CONFIG_HOME"_qs, m_folder.filePath(u"config"_qs));
    m_dunst->process.setProcessEnvironment(env);
    m_dunst->process.start(u"dunst"_qs, { u"-print"_qs });
    if (m_dunst->process.waitForStarted(10000))
        waitFor(
            [this] { return serviceRunning() || m_dunst->process.state() != QProcess::Running; });
}

void NotificationServer::stopService()
{
    received();
    if (m_dunst)
        resumeService();
    m_dunst.reset();
    waitFor([this] { return !serviceRunning(); });
}

void NotificationServer::pauseService()
{
    ::kill(pid_t(m_dunst->process.processId()), SIGSTOP);
}

void NotificationServer::resumeService()
{
    ::kill(pid_t(m_dunst->process.processId()), SIGCONT);
}

QList<NotificationServer::Notification> NotificationServer::received()
{
    if (m_dunst)
        m_printed += m_dunst->process.readAllStandardOutput();
    QList<Notification> notifications;
    const QString printed = QString::fromUtf8(m_printed);
    // Each notification is a block from "{" to "}" on lines of their own.
    for (const QString &block : printed.split(u"\n}\n"_qs, Qt::SkipEmptyParts)) {
        if (!block.contains(u"\tappname: '"_qs))
            continue;
        Notification n;
        n.appName = printedField(block, u"appname"_qs, u"summary"_qs);
        n.summary = printedField(block, u"summary"_qs, u"body"_qs);
        n.body = printedField(block, u"body"_qs, u"icon"_qs);
        n.icon = printedField(block, u"icon"_qs, u"raw_icon set"_qs);
        n.desktopEntry = printedField(block, u"desktop_entry"_qs, u"category"_qs);
        n.urgency = block.section(u"\turgency: "_qs, 1).section(u'\n', 0, 0);
        n.shown = shownText(printedField(block, u"formatted"_qs, u"fg"_qs));
        // Lines of the form \t\t"key": "label" between "\tactions: {" and "\t}".
        const QString actions = block.section(u"\tactions: {\n"_qs, 1).section(u"\n\t}"_qs, 0, 0);
        static const QRegularExpression action(u"^\t\t\"(.*)\": \"(.*)\"$"_qs);
        for (const QString &line : actions.split(u'\n', Qt::SkipEmptyParts)) {
            const QRegularExpressionMatch match = action.match(line);
            if (match.hasMatch())
                n.actions.insert(match.captured(1), match.captured(2));
        }
        notifications.append(n);
    }
    return notifications;
}

QList<NotificationServer::Notification> NotificationServer::waitForReceived(int count)
{
    QList<Notification> notifications;
    waitFor([&] {
        if (m_dunst)
            m_dunst->process.waitForReadyRead(100);
        notifications = received();
        return notifications.size() >= count;
    });
    return notifications;
}
