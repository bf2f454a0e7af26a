#include "desktop.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>

#include <cerrno>
#include <tuple>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QByteArray GoodSource = "    .text\n"
                              "    b start\n"
                              "    .space 188\n"
                              "start:\n"
                              "    b start\n";

// Diagnostics on lines 3 to 9 of a source: seven of them.
QByteArray sourceWithErrors(int count)
{
    QByteArray source = "    .text\n    b start\n";
    for (int i = 0; i < count; ++i)
        source += "    frobnicate r" + QByteArray::number(i) + "\n";
    return source + "    .space 188\nstart:\n    b start\n";
}

bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly)
        && file.write(contents) == contents.size();
}

// Processes running the program at path, found by their executable (which a process that
// has ended and not yet been reaped no longer has).
int runningCopies(const QString &path)
{
    const QString program = QFileInfo(path).canonicalFilePath();
    int copies = 0;
    for (const QString &pid : QDir(u"/proc"_qs).entryList(QDir::Dirs))
        copies += QFileInfo(u"/proc/"_qs + pid + u"/exe"_qs).symLinkTarget() == program;
    return copies;
}

// A socket that takes no more connections and answers none, as a stopped bus daemon's does
// once its queue is full: a listening socket whose queue of one is taken.
struct SilentBus
{
    explicit SilentBus(const QString &path)
    {
        QFile::remove(path);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path);
        const auto *named = reinterpret_cast<const sockaddr *>(&address);
        ok = ::bind(listening, named, sizeof address) == 0 && ::listen(listening, 0) == 0
            && ::connect(waiting, named, sizeof address) == 0;
    }
    ~SilentBus() { ::close(listening), ::close(waiting); }
    int listening = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int waiting = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    bool ok = false;
};

} // namespace

// What becomes of a press of "Assemble !" reaches the person as a desktop notification,
// shown by a real notification server, when nobody reads the assembler's messages.
class tst_Notifications : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pressTellsThePerson_data();
    void pressTellsThePerson();
    void whenItNotifies_data();
    void whenItNotifies();
    void neverInTheWay_data();
    void neverInTheWay();
    void offers_data();
    void offers();

private:
    static constexpr int CenterX = 116;
    static constexpr int Text1Y = 84;
    static constexpr int Text2Y = 140;
    static constexpr int AssembleY = 192;

    struct Run
    {
        int exitCode = -1;
        QByteArray errors;
    };
    // With inherited, a descriptor of ours that the run gets without close-on-exec, as
    // with 3>&1; with folder, the folder it runs in, as bytes (else m_work).
    Run runAssembler(const QProcessEnvironment &env, const QString &source, const QString &output,
        int inherited = -1, const QByteArray &folder = {}) const;
    QString inWork(const QString &name) const { return m_work + u'/' + name; }
    void privateDesktopFiles();
    QProcessEnvironment desktopEnvironment(bool handlers = false) const;

    QTemporaryDir m_root;
    QString m_frontEnd;
    QString m_assembler;
    QString m_notifier;
    // A data folder whose desktop entry records what it is asked to open, in m_opened.
    QString m_handlers;
    QString m_opened;
    QProcessEnvironment m_desktopFiles;
    QString m_work;
    std::unique_ptr<XDisplay> m_display;
    std::unique_ptr<NotificationServer> m_server;
};

void tst_Notifications::initTestCase()
{
    QVERIFY(m_root.isValid());
    const QString prefix = m_root.filePath(u"prefix"_qs);
    QVERIFY(installBuild(prefix));
    m_frontEnd = prefix + u"/bin/tarnwick-addon"_qs;
    m_assembler = prefix + u"/bin/tarnwick"_qs;
    m_notifier = prefix + u"/libexec/tarnwick-addon/tarnwick-notify"_qs;
    QVERIFY(QFile::exists(m_frontEnd) && QFile::exists(m_assembler) && QFile::exists(m_notifier));
    privateDesktopFiles();

    m_work = m_root.filePath(u"My Projects"_qs);
    QVERIFY(QDir().mkpath(m_work));
    QVERIFY(writeFile(inWork(u"demo.asm"_qs), GoodSource));
    QVERIFY(writeFile(inWork(u"bad.asm"_qs), sourceWithErrors(1)));
    QVERIFY(writeFile(inWork(u"many.asm"_qs), sourceWithErrors(7)));
    QVERIFY(writeFile(inWork(u"noted.asm"_qs),
        "    .text\n    b start\n" + QByteArray("    clz r0, r1\n").repeated(6)));
    QVERIFY(writeFile(inWork(u"markup.asm"_qs),
        "    .text\n    b start\n    .error \"want <b>bold</b> & more\"\n"));
    // ld names the symbol in full: a message longer than one argument may be (128 KiB).
    QVERIFY(
        writeFile(inWork(u"long.asm"_qs), GoodSource + "    bl " + QByteArray(140000, 'x') + '\n'));

    m_display = std::make_unique<XDisplay>();
    QVERIFY2(m_display->ok(), "no private display (see the warning above)");
    m_server = std::make_unique<NotificationServer>(*m_display);
    QVERIFY2(m_server->ok(), "a session bus with dunst did not start");
}

// The desktop's files of types, handlers and default applications, private to the suite:
// the machine's installed handlers stay out of it, and without m_handlers no type has a
// handler.
void tst_Notifications::privateDesktopFiles()
{
    QFile globs(u"/usr/share/mime/globs2"_qs);
    QVERIFY2(
        globs.open(QIODevice::ReadOnly) && globs.readAll().contains("application/x-gba-rom:*.gba"),
        "the shared MIME database (shared-mime-info) does not know *.gba");
    const QString system = m_root.filePath(u"system"_qs);
    QVERIFY(QDir().mkpath(system));
    QVERIFY(QFile::link(u"/usr/share/mime"_qs, system + u"/mime"_qs));
    const QString recorder = m_root.filePath(u"record-opened"_qs);
    m_opened = m_root.filePath(u"opened"_qs);
    QVERIFY(
        writeFile(recorder, "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" + m_opened.toUtf8() + "'\n"));
    QVERIFY(
        QFile::setPermissions(recorder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    // The programs a run finds on PATH, as folders of links: binutils; gdb; a terminal that
    // records what it is to run.
    for (const auto &[folder, name, target] :
        { std::tuple { u"programs"_qs, u"arm-none-eabi-as"_qs,
              QStandardPaths::findExecutable(u"arm-none-eabi-as"_qs) },
            std::tuple { u"programs"_qs, u"arm-none-eabi-ld"_qs,
                QStandardPaths::findExecutable(u"arm-none-eabi-ld"_qs) },
            std::tuple { u"debugger"_qs, u"gdb-multiarch"_qs,
                QStandardPaths::findExecutable(u"gdb-multiarch"_qs) },
            std::tuple { u"terminal"_qs, u"x-terminal-emulator"_qs, recorder } }) {
        QVERIFY(QDir().mkpath(m_root.filePath(folder)));
        QVERIFY2(QFile::link(target, m_root.filePath(folder + u'/' + name)), qPrintable(name));
    }
    m_handlers = m_root.filePath(u"handlers"_qs);
    QVERIFY(writeFile(m_handlers + u"/applications/tarnwick-test-recorder.desktop"_qs,
        "[Desktop Entry]\nType=Application\nName=Recorder\nExec='" + recorder.toUtf8()
            + "' %f\nMimeType=application/x-gba-rom;text/plain;\n"));
    const QString config = m_root.filePath(u"config"_qs);
    QVERIFY(writeFile(config + u"/mimeapps.list"_qs,
        "[Default Applications]\napplication/x-gba-rom=tarnwick-test-recorder.desktop\n"
        "text/plain=tarnwick-test-recorder.desktop\n"));
    m_desktopFiles.insert(u"XDG_DATA_DIRS"_qs, system);
    m_desktopFiles.insert(u"XDG_DATA_HOME"_qs, m_root.filePath(u"data"_qs));
    m_desktopFiles.insert(u"XDG_CONFIG_DIRS"_qs, m_root.filePath(u"system-config"_qs));
    m_desktopFiles.insert(u"XDG_CONFIG_HOME"_qs, config);
}

// The notification server's session with the private desktop files, as under a bare
// window manager: no XDG_CURRENT_DESKTOP.
QProcessEnvironment tst_Notifications::desktopEnvironment(bool handlers) const
{
    QProcessEnvironment env = m_server->environment();
    env.remove(u"XDG_CURRENT_DESKTOP"_qs);
    for (const QString &key : m_desktopFiles.keys())
        env.insert(key, m_desktopFiles.value(key));
    if (handlers)
        env.insert(u"XDG_DATA_HOME"_qs, m_handlers);
    return env;
}

tst_Notifications::Run tst_Notifications::runAssembler(const QProcessEnvironment &env,
    const QString &source, const QString &output, int inherited, const QByteArray &folder) const
{
    OwnedProcess assembler;
    assembler.process.setProcessEnvironment(env);
    assembler.process.setWorkingDirectory(m_work);
    assembler.process.setChildProcessModifier([inherited, folder] {
        if (inherited >= 0)
            ::fcntl(inherited, F_SETFD, 0);
        if (!folder.isEmpty() && ::chdir(folder.constData()) != 0)
            ::_exit(127);
    });
    assembler.process.start(m_assembler, { source, output });
    Run run;
    if (assembler.process.waitForFinished(60000)
        && assembler.process.exitStatus() == QProcess::NormalExit)
        run.exitCode = assembler.process.exitCode();
    run.errors = assembler.process.readAllStandardError();
    return run;
}

void tst_Notifications::pressTellsThePerson_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QString>("urgency");

    const QString work = m_work;
    QTest::newRow("good source: the image is ready, where, how big, and the ELF beside it")
        << u"demo.asm"_qs << u"out.gba is ready"_qs
        << QStringList { work + u"/out.gba"_qs, u"196 bytes"_qs,
               u"out.elf beside it is for debugging"_qs,
               u"The cartridge holds 192 bytes of header and start-up and 4 bytes of the "
               "program's code and data; it uses 0 bytes of IWRAM's 32 KiB and 0 bytes of EWRAM's "
               "256 KiB."_qs }
        << u"NORMAL"_qs;
    QTest::newRow("error in the source: the line, until dismissed")
        << u"bad.asm"_qs << u"bad.asm did not assemble"_qs
        << QStringList { work + u"/bad.asm:3: Error: bad instruction `frobnicate r0'"_qs }
        << u"CRITICAL"_qs;
    QTest::newRow("many errors: the first five and how many more")
        << u"many.asm"_qs << u"many.asm did not assemble"_qs
        << QStringList { u"many.asm:7: Error"_qs, u"and 2 more"_qs } << u"CRITICAL"_qs;
    QTest::newRow("notes come with their messages, the first five of which are shown")
        << u"noted.asm"_qs << u"noted.asm did not assemble"_qs
        << QStringList { u"noted.asm:7: note: the ARM7TDMI has no `clz`"_qs, u"and 1 more"_qs }
        << u"CRITICAL"_qs;
    QTest::newRow("markup characters in a diagnostic are shown as they stand")
        << u"markup.asm"_qs << u"markup.asm did not assemble"_qs
        << QStringList { u"markup.asm:3: Error: want <b>bold</b> & more"_qs } << u"CRITICAL"_qs;
    // It went to the notifier as one argument, over the kernel's bound: no notification.
    QTest::newRow("a diagnostic over 128 KiB: cut and marked")
        << u"long.asm"_qs << u"long.asm did not assemble"_qs
        << QStringList { u"long.asm:6: undefined reference to `xxxxxxxxxx"_qs, u"xxxxxxxxxx…"_qs }
        << u"CRITICAL"_qs;
}

void tst_Notifications::pressTellsThePerson()
{
    QFETCH(QString, source);
    QFETCH(QString, summary);
    QFETCH(QStringList, shown);
    QFETCH(QString, urgency);
    QFile::remove(inWork(u"out.gba"_qs));
    const qsizetype before = m_server->received().size();
    FrontEnd app(*m_display, m_frontEnd, m_work, desktopEnvironment(), FrontEnd::Errors::Discarded);
    QVERIFY(app.ok());

    app.paste(inWork(source));
    app.click(CenterX, Text2Y);
    app.type(u"out"_qs);
    app.click(CenterX, AssembleY);

    const auto received = m_server->waitForReceived(before + 1);
    QCOMPARE(received.size(), before + 1);
    const NotificationServer::Notification &n = received.last();
    QCOMPARE(n.appName, u"tarnwick"_qs);
    QCOMPARE(n.icon, QStringLiteral(ICON_NAME));
    QCOMPARE(n.desktopEntry, QStringLiteral(DESKTOP_ENTRY));
    QCOMPARE(n.urgency, urgency);
    QCOMPARE(n.summary, summary);
    for (const QString &part : shown)
        QVERIFY2(n.shown.contains(part), qPrintable(n.shown));
    QCOMPARE(QFile::exists(inWork(u"out.gba"_qs)), urgency == u"NORMAL");
}

void tst_Notifications::whenItNotifies_data()
{
    QTest::addColumn<bool>("terminal");
    QTest::addColumn<QString>("setting");
    QTest::addColumn<bool>("notifies");

    QTest::newRow("in a terminal: the messages are there, no notification")
        << true << QString() << false;
    QTest::newRow("in a terminal, told always") << true << u"always"_qs << true;
    QTest::newRow("without a terminal, told never") << false << u"never"_qs << false;
    QTest::newRow("without a terminal, an unknown setting keeps the rule")
        << false << u"sometimes"_qs << true;
}

void tst_Notifications::whenItNotifies()
{
    QFETCH(bool, terminal);
    QFETCH(QString, setting);
    QFETCH(bool, notifies);
    QProcessEnvironment env = desktopEnvironment();
    if (!setting.isNull())
        env.insert(u"TARNWICK_NOTIFY"_qs, setting);
    const qsizetype before = m_server->received().size();

    // script gives the run a pseudo-terminal for its standard input, output and error.
    int code = -1;
    if (terminal) {
        const QString command = u"'"_qs + m_assembler + u"' '"_qs + inWork(u"demo.asm"_qs)
            + u"' '"_qs + inWork(u"checked.gba"_qs) + u'\'';
        runCommand(u"script"_qs, { u"-qec"_qs, command, u"/dev/null"_qs }, env, &code, 60000);
    } else {
        code = runAssembler(env, u"demo.asm"_qs, u"checked.gba"_qs).exitCode;
    }
    QCOMPARE(code, 0);
    // A run that always notifies, after it: the next notification to come is either the
    // one above or this one.
    QProcessEnvironment always = desktopEnvironment();
    always.insert(u"TARNWICK_NOTIFY"_qs, u"always"_qs);
    QCOMPARE(runAssembler(always, u"demo.asm"_qs, u"marker.gba"_qs).exitCode, 0);

    const auto received = m_server->waitForReceived(before + (notifies ? 2 : 1));
    QCOMPARE(received.size(), before + (notifies ? 2 : 1));
    QCOMPARE(received.last().summary, u"marker.gba is ready"_qs);
    if (notifies)
        QCOMPARE(received.at(before).summary, u"checked.gba is ready"_qs);
}

void tst_Notifications::neverInTheWay_data()
{
    QTest::addColumn<QString>("service");

    QTest::newRow("no notification service on the bus") << u"stopped"_qs;
    QTest::newRow("a service that answers nothing") << u"paused"_qs;
    QTest::newRow("no session bus at all") << u"no bus"_qs;
    // The notifier blocked while connecting, and stayed as long as the bus was silent.
    QTest::newRow("a bus that takes the connection and never answers") << u"silent bus"_qs;
}

void tst_Notifications::neverInTheWay()
{
    QFETCH(QString, service);
    QProcessEnvironment never = desktopEnvironment();
    never.insert(u"TARNWICK_NOTIFY"_qs, u"never"_qs);
    const Run failedQuietly = runAssembler(never, u"bad.asm"_qs, u"out.gba"_qs);
    QCOMPARE(runAssembler(never, u"demo.asm"_qs, u"quiet.gba"_qs).exitCode, 0);
    QProcessEnvironment always = desktopEnvironment();
    always.insert(u"TARNWICK_NOTIFY"_qs, u"always"_qs);
    if (service == u"stopped")
        m_server->stopService();
    if (service == u"paused")
        m_server->pauseService();
    if (service == u"no bus")
        always.remove(u"DBUS_SESSION_BUS_ADDRESS"_qs);
    const SilentBus silent(m_root.filePath(u"silent-bus"_qs));
    QVERIFY(silent.ok);
    if (service == u"silent bus")
        always.insert(u"DBUS_SESSION_BUS_ADDRESS"_qs, u"unix:path="_qs + m_root.filePath(u"silent-bus"_qs));
    const auto restart = qScopeGuard([this] {
        m_server->stopService();
        m_server->startService();
    });

    const Run failed = runAssembler(always, u"bad.asm"_qs, u"out.gba"_qs);
    const Run succeeded = runAssembler(always, u"demo.asm"_qs, u"loud.gba"_qs);

    QCOMPARE(failed.exitCode, failedQuietly.exitCode);
    QCOMPARE(failed.errors, failedQuietly.errors);
    QCOMPARE(succeeded.exitCode, 0);
    QCOMPARE(succeeded.errors, QByteArray());
    QFile loud(inWork(u"loud.gba"_qs));
    QFile quiet(inWork(u"quiet.gba"_qs));
    QVERIFY(loud.open(QIODevice::ReadOnly) && quiet.open(QIODevice::ReadOnly));
    QCOMPARE(loud.readAll(), quiet.readAll());
    QTRY_COMPARE_WITH_TIMEOUT(runningCopies(m_notifier), 0, 30000);
}

void tst_Notifications::offers_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<bool>("handler");
    QTest::addColumn<QString>("answer"); // what is said to dunstctl, or nothing
    QTest::addColumn<QString>("offer");
    QTest::addColumn<QByteArray>("opened");
    // The folder the run is in, as bytes; empty for m_work.
    QTest::addColumn<QByteArray>("folder");
    // The offer of another action, and the folders of programs on PATH besides binutils.
    QTest::addColumn<QString>("other");
    QTest::addColumn<QStringList>("programs");

    const QByteArray work = QFile::encodeName(m_work);
    QTest::newRow("ready, Run taken: the handler runs the image")
        << u"demo.asm"_qs << true << u"action 0"_qs << u"Run"_qs << work + "/offered.gba"
        << QByteArray() << QString() << QStringList();
    QTest::newRow("did not assemble, offer taken: the handler opens the source")
        << u"bad.asm"_qs << true << u"action 0"_qs << u"Open bad.asm"_qs << work + "/bad.asm"
        << QByteArray() << QString() << QStringList();
    QTest::newRow("dismissed: nothing opens")
        << u"demo.asm"_qs << true << u"close"_qs << u"Run"_qs << QByteArray() << QByteArray()
        << QString() << QStringList();
    QTest::newRow("no handler for the type: no offer, nobody waits")
        << u"demo.asm"_qs << false << QString() << QString() << QByteArray() << QByteArray()
        << QString() << QStringList();
    // Run opened the name decoded, with U+FFFD in it: a file that does not exist.
    const QByteArray latin1 = QFile::encodeName(m_root.path()) + "/caf\xe9";
    QTest::newRow("ready in a folder named in Latin-1: Run opens exactly that image")
        << inWork(u"demo.asm"_qs) << true << u"action 0"_qs << u"Run"_qs << latin1 + "/offered.gba"
        << latin1 << QString() << QStringList();
    const QByteArray session = "-e\n"
        + QFile::encodeName(QFileInfo(m_assembler).canonicalFilePath()) + "\n--debug\n" + work
        + "/offered.gba";
    const QStringList both = { u"debugger"_qs, u"terminal"_qs };
    QTest::newRow("ready, with gdb, an emulator and a terminal: Debug runs tarnwick --debug there")
        << u"demo.asm"_qs << true << u"context"_qs << u"Run"_qs << session << QByteArray()
        << u"Debug"_qs << both;
    QTest::newRow("ready, without gdb: no Debug offer")
        << u"demo.asm"_qs << true << u"close"_qs << u"Run"_qs << QByteArray() << QByteArray()
        << QString() << QStringList { u"terminal"_qs };
    QTest::newRow("ready, without a terminal: no Debug offer")
        << u"demo.asm"_qs << true << u"close"_qs << u"Run"_qs << QByteArray() << QByteArray()
        << QString() << QStringList { u"debugger"_qs };
}

void tst_Notifications::offers()
{
    QFETCH(QString, source);
    QFETCH(bool, handler);
    QFETCH(QString, answer);
    QFETCH(QString, offer);
    QFETCH(QByteArray, opened);
    QFETCH(QByteArray, folder);
    QFETCH(QString, other);
    QFETCH(QStringList, programs);
    QProcessEnvironment env = desktopEnvironment(handler);
    env.insert(u"TARNWICK_NOTIFY"_qs, u"always"_qs);
    QProcessEnvironment assemblerEnv = env;
    QString path = m_root.filePath(u"programs"_qs);
    for (const QString &programFolder : programs)
        path += u':' + m_root.filePath(programFolder);
    assemblerEnv.insert(u"PATH"_qs, path);
    runCommand(u"dunstctl"_qs, { u"close-all"_qs }, env);
    QFile::remove(m_opened);
    QVERIFY(folder.isEmpty() || ::mkdir(folder.constData(), 0700) == 0 || errno == EEXIST);
    // A pipe of the caller's, which the waiting notifier kept open up to ten minutes.
    int caller[2];
    QVERIFY(::pipe2(caller, O_CLOEXEC | O_NONBLOCK) == 0);
    const auto closePipe = qScopeGuard([&caller] { ::close(caller[0]); });
    const qsizetype before = m_server->received().size();

    const Run run = runAssembler(assemblerEnv, source, u"offered.gba"_qs, caller[1], folder);
    ::close(caller[1]);
    QCOMPARE(run.exitCode, source.endsWith(u"demo.asm") ? 0 : 1);
    // tarnwick is back while the notifier waits for the answer, and only then.
    QCOMPARE(runningCopies(m_notifier), handler ? 1 : 0);
    char byte = 0;
    QCOMPARE(::read(caller[0], &byte, 1), 0);
    const auto received = m_server->waitForReceived(before + 1);
    QCOMPARE(received.size(), before + 1);
    const QMap<QString, QString> actions = received.last().actions;
    QCOMPARE(actions.value(u"default"_qs), offer);
    QCOMPARE(actions.value(u"other"_qs), other);
    QCOMPARE(actions.size(), (offer.isEmpty() ? 0 : 2) + (other.isEmpty() ? 0 : 1));

    if (!answer.isEmpty()) {
        int code = -1;
        runCommand(u"dunstctl"_qs, answer.split(u' '), env, &code);
        QCOMPARE(code, 0);
    }
    QVERIFY(waitFor([&] { return runningCopies(m_notifier) == 0; }));
    if (!opened.isEmpty())
        QVERIFY(waitFor([&] { return QFileInfo(m_opened).size() > 0; }));
    QFile record(m_opened);
    QCOMPARE(record.open(QIODevice::ReadOnly) ? record.readAll() : QByteArray(),
        opened.isEmpty() ? QByteArray() : opened + '\n');
}

QTEST_GUILESS_MAIN(tst_Notifications)
#include "tst_notifications.moc"
