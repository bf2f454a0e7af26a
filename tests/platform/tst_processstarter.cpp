#include "platformerror.h"
#include "processstarter.h"
#include "records.h"

#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

// Starts the recording stand-in, which is named like the assembler, for real.
class tst_ProcessStarter : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void argumentsArriveAsSplit_data();
    void argumentsArriveAsSplit();
    void childGetsOurFolderAndEnvironmentButNotOurDescriptors();
    void childRunsInItsOwnSessionAndLeavesNoZombie();
    void everyStartIsANewProcess();
    void searchOrder_data();
    void searchOrder();
    void failuresRaiseNumberedErrors_data();
    void failuresRaiseNumberedErrors();

private:
    QString recordDir() const { return m_records->path(); }

    std::unique_ptr<QTemporaryDir> m_records;
};

void tst_ProcessStarter::init()
{
    m_records = std::make_unique<QTemporaryDir>();
    qputenv("RECORDER_DIR", QFile::encodeName(m_records->path()));
}

void tst_ProcessStarter::argumentsArriveAsSplit_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("quoted path with blanks is one argument")
            << u"tarnwick \"/tmp/My Projects/demo.s\" demo.gba"_qs
            << QStringList{u"/tmp/My Projects/demo.s"_qs, u"demo.gba"_qs};
    QTest::newRow("shell metacharacters are not interpreted")
            << u"tarnwick \"$(touch pwned); `id` | & > x\" 'a' *"_qs
            << QStringList{u"$(touch pwned); `id` | & > x"_qs, u"'a'"_qs, u"*"_qs};
    QTest::newRow("non-ASCII and emoji arrive as typed")
            << u"tarnwick \"Übung 😀.s\" ñ.gba"_qs << QStringList{u"Übung 😀.s"_qs, u"ñ.gba"_qs};
    QTest::newRow("empty source leaves the name alone") << u"tarnwick  .gba"_qs
                                                        << QStringList{u".gba"_qs};
}

void tst_ProcessStarter::argumentsArriveAsSplit()
{
    QFETCH(QString, commandLine);
    QFETCH(QStringList, arguments);
    ProcessStarter starter({QStringLiteral(STANDIN_DIR)});

    const qint64 pid = starter.start(commandLine, ShowMode::Minimized);

    const QList<QJsonObject> records = waitForRecords(recordDir(), 1);
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.first().value(u"pid"_qs).toInteger(), pid);
    QCOMPARE(recordedArguments(records.first()).mid(1), arguments);
    QVERIFY(!QFile::exists(QDir::current().filePath(u"pwned"_qs)));
}

void tst_ProcessStarter::childGetsOurFolderAndEnvironmentButNotOurDescriptors()
{
    QTemporaryDir work;
    const QString before = QDir::currentPath();
    QDir::setCurrent(work.path());
    auto restore = qScopeGuard([&] { QDir::setCurrent(before); });
    // A descriptor we opened without close-on-exec, as a careless library might.
    const int leaky = ::open("/dev/null", O_RDONLY);
    QVERIFY(leaky > 2);
    auto closeLeaky = qScopeGuard([&] { ::close(leaky); });
    ProcessStarter starter({QStringLiteral(STANDIN_DIR)});

    starter.start(u"tarnwick a.s b.gba"_qs, ShowMode::Minimized);

    const QList<QJsonObject> records = waitForRecords(recordDir(), 1);
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.first().value(u"cwd"_qs).toString(), QDir(work.path()).canonicalPath());
    QList<int> fds;
    for (const QJsonValue &fd : records.first().value(u"fds"_qs).toArray())
        fds << fd.toObject().value(u"fd"_qs).toInt();
    QCOMPARE(fds, QList<int>({0, 1, 2}));
}

void tst_ProcessStarter::childRunsInItsOwnSessionAndLeavesNoZombie()
{
    ProcessStarter starter({QStringLiteral(STANDIN_DIR)});

    const qint64 pid = starter.start(u"tarnwick a.s b.gba"_qs, ShowMode::Minimized);

    const QList<QJsonObject> records = waitForRecords(recordDir(), 1);
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.first().value(u"sid"_qs).toInteger(), pid);
    QVERIFY(::getsid(0) != pid);
    // Once it has ended nothing of it is left: a zombie would keep its /proc entry.
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(u"/proc/"_qs + QString::number(pid)), 20000);
}

void tst_ProcessStarter::everyStartIsANewProcess()
{
    ProcessStarter starter({QStringLiteral(STANDIN_DIR)});

    const qint64 first = starter.start(u"tarnwick a.s b.gba"_qs, ShowMode::Minimized);
    const qint64 second = starter.start(u"tarnwick a.s b.gba"_qs, ShowMode::Minimized);

    QVERIFY(first != second);
    QCOMPARE(waitForRecords(recordDir(), 2).size(), 2);
}

void tst_ProcessStarter::searchOrder_data()
{
    QTest::addColumn<bool>("firstFolderHasIt");
    QTest::addColumn<QString>("pathEntry");
    QTest::addColumn<QString>("expected"); // "first", "path" or "none"

    QTest::newRow("the program's own folder comes before PATH") << true << u"standin"_qs << u"first"_qs;
    QTest::newRow("PATH is searched next") << false << u"standin"_qs << u"path"_qs;
    QTest::newRow("the current folder is not searched unnamed") << false << u""_qs << u"none"_qs;
    QTest::newRow("the current folder is searched when PATH names it") << false << u"."_qs << u"cwd"_qs;
}

void tst_ProcessStarter::searchOrder()
{
    QFETCH(bool, firstFolderHasIt);
    QFETCH(QString, pathEntry);
    QFETCH(QString, expected);
    QTemporaryDir first, onPath, cwd;
    const QString standin = QStringLiteral(STANDIN_DIR "/tarnwick");
    if (firstFolderHasIt)
        QVERIFY(QFile::copy(standin, first.filePath(u"tarnwick"_qs)));
    QVERIFY(QFile::copy(standin, onPath.filePath(u"tarnwick"_qs)));
    QVERIFY(QFile::copy(standin, cwd.filePath(u"tarnwick"_qs)));
    const QByteArray oldPath = qgetenv("PATH");
    const QString oldCwd = QDir::currentPath();
    auto restore = qScopeGuard([&] {
        qputenv("PATH", oldPath);
        QDir::setCurrent(oldCwd);
    });
    QDir::setCurrent(cwd.path());
    const QString entry = pathEntry == u"standin" ? onPath.path() : pathEntry;
    qputenv("PATH", QFile::encodeName(u"/nonexistent::"_qs + entry));
    ProcessStarter starter({first.path()});

    QString found;
    try {
        found = starter.locate(u"tarnwick"_qs);
    } catch (const PlatformError &error) {
        QCOMPARE(error.number(), int(PlatformError::FileNotFound));
        found = u"none"_qs;
    }

    if (expected == u"first")
        QCOMPARE(found, first.filePath(u"tarnwick"_qs));
    else if (expected == u"path")
        QCOMPARE(found, onPath.filePath(u"tarnwick"_qs));
    else if (expected == u"cwd")
        QCOMPARE(QFileInfo(found).canonicalFilePath(), QFileInfo(cwd.filePath(u"tarnwick"_qs)).canonicalFilePath());
    else
        QCOMPARE(found, expected);
}

void tst_ProcessStarter::failuresRaiseNumberedErrors_data()
{
    QTest::addColumn<QString>("setup"); // what stands in the program's folder
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("saying");

    QTest::newRow("no program of that name") << u"nothing"_qs << u"tarnwick a b"_qs << 53 << u"File not found"_qs;
    QTest::newRow("empty command line") << u"nothing"_qs << u"  "_qs << 53 << u"no program"_qs;
    QTest::newRow("a file without execute permission") << u"not executable"_qs << u"tarnwick a b"_qs
                                                       << 70 << u"Permission denied"_qs;
    QTest::newRow("an executable that is no program") << u"garbage"_qs << u"tarnwick a b"_qs << 5
                                                      << u"Exec format error"_qs;
    QTest::newRow("an argument longer than the system allows")
            << u"standin"_qs << u"tarnwick "_qs + QString(200000, u'x') + u" o.gba"_qs << 5
            << u"longer than the system allows"_qs;
}

void tst_ProcessStarter::failuresRaiseNumberedErrors()
{
    QFETCH(QString, setup);
    QFETCH(QString, commandLine);
    QFETCH(int, number);
    QFETCH(QString, saying);
    QTemporaryDir folder;
    const QString program = folder.filePath(u"tarnwick"_qs);
    if (setup == u"standin") {
        QVERIFY(QFile::copy(QStringLiteral(STANDIN_DIR "/tarnwick"), program));
    } else if (setup != u"nothing") {
        QFile file(program);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\x7f\x45\x4c\x46 not really");
        file.close();
        if (setup == u"garbage")
            QVERIFY(file.setPermissions(file.permissions() | QFileDevice::ExeOwner));
        else
            QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    }
    const QByteArray oldPath = qgetenv("PATH");
    auto restore = qScopeGuard([&] { qputenv("PATH", oldPath); });
    qputenv("PATH", "/nonexistent");
    ProcessStarter starter({folder.path()});

    try {
        starter.start(commandLine, ShowMode::Minimized);
        QFAIL("start() returned");
    } catch (const PlatformError &error) {
        QCOMPARE(error.number(), number);
        QVERIFY2(error.description().contains(saying), qPrintable(error.description()));
    }
    QCOMPARE(readRecords(recordDir()).size(), 0);
}

QTEST_GUILESS_MAIN(tst_ProcessStarter)
#include "tst_processstarter.moc"
