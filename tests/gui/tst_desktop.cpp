#include "desktop.h"
#include "records.h"

#include <QDir>
#include <QFile>
#include <QTest>

// The installed front end on a real X server, used as a person uses it.
class tst_Desktop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void windowAsAPersonSeesIt_data();
    void windowAsAPersonSeesIt();
    void typingAndTabOrderReachTheAssembler();
    void browseAndAssembleWriteAnImageBesideTheSource();
    void cancelledDialogKeepsTypedText();
    void hostileTextArrivesAsTyped_data();
    void hostileTextArrivesAsTyped();
    void overlongPathIsReportedAndNothingIsLost();
    void manyPressesStartManyRunsAndLeaveNoZombie();
    void closingTheWindowLeavesTheAssemblerRunning();

private:
    // Where the controls' centres are in the client area at normal scale.
    static constexpr int CenterX = 116;
    static constexpr int BrowseY = 24;
    static constexpr int Text1Y = 84;
    static constexpr int Text2Y = 140;
    static constexpr int AssembleY = 192;

    QProcessEnvironment recorderEnvironment() const;
    std::unique_ptr<FrontEnd> startWithRecorder(const QProcessEnvironment &extra = {});

    QTemporaryDir m_root;
    QString m_installed; // the front end beside our own tarnwick
    QString m_recording; // the front end beside the recording stand-in
    QString m_screenshots;
    QString m_records;
    QString m_work;
    std::unique_ptr<XDisplay> m_display;
};

void tst_Desktop::initTestCase()
{
    QVERIFY(m_root.isValid());
    const QString prefix = m_root.filePath(u"prefix"_qs);
    QVERIFY(installBuild(prefix));
    m_installed = prefix + u"/bin/tarnwick-addon"_qs;
    QVERIFY(QFile::exists(m_installed));

    // A second installation whose assembler records how it was started.
    const QString recordingBin = m_root.filePath(u"recording/bin"_qs);
    QVERIFY(QDir().mkpath(recordingBin));
    m_recording = recordingBin + u"/tarnwick-addon"_qs;
    QVERIFY(QFile::copy(m_installed, m_recording));
    QVERIFY(QFile::copy(QStringLiteral(STANDIN_DIR "/tarnwick"), recordingBin + u"/tarnwick"_qs));

    m_screenshots = QStringLiteral(BUILD_DIR "/screenshots");
    QVERIFY(QDir().mkpath(m_screenshots));
    m_records = m_root.filePath(u"records"_qs);
    m_work = m_root.filePath(u"work"_qs);
    QVERIFY(QDir().mkpath(m_work));

    m_display = std::make_unique<XDisplay>();
    QVERIFY2(m_display->ok(), "no private display (see the warning above)");
}

QProcessEnvironment tst_Desktop::recorderEnvironment() const
{
    QDir(m_records).removeRecursively();
    QDir().mkpath(m_records);
    QProcessEnvironment env;
    env.insert(u"RECORDER_DIR"_qs, m_records);
    return env;
}

std::unique_ptr<FrontEnd> tst_Desktop::startWithRecorder(const QProcessEnvironment &extra)
{
    QProcessEnvironment env = recorderEnvironment();
    for (const QString &key : extra.keys())
        env.insert(key, extra.value(key));
    return std::make_unique<FrontEnd>(*m_display, m_recording, m_work, env);
}

void tst_Desktop::windowAsAPersonSeesIt_data()
{
    QTest::addColumn<QString>("scale");
    QTest::addColumn<QSize>("clientArea");
    QTest::addColumn<QString>("screenshot");

    QTest::newRow("normal scale") << u"1"_qs << QSize(237, 254) << u"window.png"_qs;
    QTest::newRow("scale factor 2 keeps the proportions")
        << u"2"_qs << QSize(474, 508) << u"window-scale2.png"_qs;
}

void tst_Desktop::windowAsAPersonSeesIt()
{
    QFETCH(QString, scale);
    QFETCH(QSize, clientArea);
    QFETCH(QString, screenshot);
    QProcessEnvironment env;
    env.insert(u"QT_SCALE_FACTOR"_qs, scale);

    FrontEnd app(*m_display, m_installed, m_work, env);

    QVERIFY(app.ok());
    QCOMPARE(app.xdotool({ u"getwindowname"_qs, app.window() }), u"Handy tarnwick arm add-on"_qs);
    const QList<int> g = app.geometry(app.window());
    QCOMPARE(QSize(g.value(2), g.value(3)), clientArea);
    app.screenshot(app.window(), m_screenshots + u'/' + screenshot);
    QVERIFY(QFile::exists(m_screenshots + u'/' + screenshot));
}

void tst_Desktop::typingAndTabOrderReachTheAssembler()
{
    auto app = startWithRecorder();
    QVERIFY(app->ok());

    // The caret starts in the source box; two tabs pass "Browse" to the output box, one
    // more reaches "Assemble !", and Space presses it.
    app->type(u"my source.s"_qs);
    app->key({ u"Tab"_qs, u"Tab"_qs });
    app->type(u"demo"_qs);
    app->key({ u"Tab"_qs, u"space"_qs });

    const QList<QJsonObject> records = waitForRecords(m_records, 1);
    QCOMPARE(records.size(), 1);
    QCOMPARE(recordedArguments(records.first()).mid(1),
        QStringList({ u"my source.s"_qs, u"demo.gba"_qs }));
    QCOMPARE(records.first().value(u"cwd"_qs).toString(), QDir(m_work).canonicalPath());
    // Nothing the front end opened, its display connection included, reaches the child.
    QCOMPARE(records.first().value(u"fds"_qs).toArray().size(), 3);
}

namespace {

// A cartridge image as the handheld's boot check accepts it.
QString imageProblem(const QByteArray &image)
{
    if (image.size() < 192)
        return u"shorter than the header"_qs;
    if (quint8(image.at(3)) != 0xEA)
        return u"does not start with a branch"_qs;
    if (quint8(image.at(0xB2)) != 0x96)
        return u"fixed byte 0xB2 is wrong"_qs;
    int sum = 0x19;
    for (int i = 0xA0; i <= 0xBD; ++i)
        sum += quint8(image.at(i));
    if (sum % 256 != 0)
        return u"header checksum is wrong"_qs;
    return {};
}

} // namespace

void tst_Desktop::browseAndAssembleWriteAnImageBesideTheSource()
{
    const QString folder = m_root.filePath(u"My Projects"_qs);
    QVERIFY(QDir().mkpath(folder));
    const QString source = folder + u"/demo.asm"_qs;
    QFile::remove(source);
    QVERIFY(QFile::copy(QStringLiteral(EXAMPLE_SOURCE), source));
    FrontEnd app(*m_display, m_installed, m_work);
    QVERIFY(app.ok());

    app.click(CenterX, BrowseY);
    const QString dialog = app.waitForOtherWindow();
    QVERIFY2(!dialog.isEmpty(), "the Open dialog did not appear");
    app.screenshot(dialog, m_screenshots + u"/open-dialog.png"_qs);
    app.type(source);
    app.key({ u"Return"_qs });
    QVERIFY(waitFor([&] { return app.otherWindows().isEmpty(); }));
    app.click(CenterX, Text2Y);
    app.type(u"demo"_qs);
    app.click(CenterX, AssembleY);

    const QString image = folder + u"/demo.gba"_qs;
    QVERIFY2(waitFor([&] { return QFile::exists(image); }), "no image beside the source");
    QFile file(image);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString problem = imageProblem(file.readAll());
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void tst_Desktop::cancelledDialogKeepsTypedText()
{
    auto app = startWithRecorder();
    QVERIFY(app->ok());
    app->type(u"typed by hand"_qs);

    app->click(CenterX, BrowseY);
    QVERIFY(!app->waitForOtherWindow().isEmpty());
    app->key({ u"Escape"_qs });
    QVERIFY(waitFor([&] { return app->otherWindows().isEmpty(); }));
    app->click(CenterX, Text2Y);
    app->type(u"o"_qs);
    app->click(CenterX, AssembleY);

    const QList<QJsonObject> records = waitForRecords(m_records, 1);
    QCOMPARE(records.size(), 1);
    QCOMPARE(recordedArguments(records.first()).mid(1),
        QStringList({ u"typed by hand"_qs, u"o.gba"_qs }));
}

void tst_Desktop::hostileTextArrivesAsTyped_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("shell metacharacters are not interpreted")
        << u"a; touch pwned | $(touch pwned) `touch pwned` & x"_qs
        << QStringList { u"a; touch pwned | $(touch pwned) `touch pwned` & x"_qs, u"out.gba"_qs };
    QTest::newRow("single quotes and tabs")
        << u"it's\ta 'b'"_qs << QStringList { u"it's\ta 'b'"_qs, u"out.gba"_qs };
    QTest::newRow("non-ASCII letters and emoji")
        << u"/tmp/Übung/日本語/😀 ñ.s"_qs
        << QStringList { u"/tmp/Übung/日本語/😀 ñ.s"_qs, u"out.gba"_qs };
    // A name with a blank and a quote, as Browse may pick it, reached tarnwick in pieces.
    QTest::newRow("double quotes in a text with a blank arrive as typed")
        << u"/tmp/my \"q\" t.s"_qs << QStringList { u"/tmp/my \"q\" t.s"_qs, u"out.gba"_qs };
}

void tst_Desktop::hostileTextArrivesAsTyped()
{
    QFETCH(QString, source);
    QFETCH(QStringList, arguments);
    auto app = startWithRecorder();
    QVERIFY(app->ok());

    app->paste(source);
    app->click(CenterX, Text2Y);
    app->type(u"out"_qs);
    app->click(CenterX, AssembleY);

    const QList<QJsonObject> records = waitForRecords(m_records, 1);
    QCOMPARE(records.size(), 1);
    QCOMPARE(recordedArguments(records.first()).mid(1), arguments);
    QVERIFY(!QFile::exists(m_work + u"/pwned"_qs));
}

void tst_Desktop::overlongPathIsReportedAndNothingIsLost()
{
    // Within what the box takes, in characters, but twice what one argument carries in bytes.
    const QString longPath = u'/' + QString(100000, u'é');
    auto app = startWithRecorder();
    QVERIFY(app->ok());
    app->paste(longPath);
    app->click(CenterX, Text2Y);
    app->type(u"demo"_qs);

    app->click(CenterX, AssembleY);
    const QString report = app->waitForOtherWindow();
    QVERIFY2(!report.isEmpty(), "no error report appeared");
    app->screenshot(report, m_screenshots + u"/error-report.png"_qs);
    app->key({ u"Return"_qs });

    QVERIFY(waitFor([&] { return app->otherWindows().isEmpty(); }));
    QVERIFY(app->running());
    QCOMPARE(app->copyAllOf(CenterX, Text1Y), longPath);
    QCOMPARE(app->copyAllOf(CenterX, Text2Y), u"demo"_qs);
    QCOMPARE(readRecords(m_records).size(), 0);
}

namespace {

// Zombie processes whose parent is the given process.
int zombieChildren(qint64 parent)
{
    int zombies = 0;
    const QStringList entries = QDir(u"/proc"_qs).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        QFile stat(u"/proc/"_qs + entry + u"/stat"_qs);
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // pid (comm) state ppid ...: the command may hold blanks, so read after ')'.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields.at(0) == "Z" && fields.at(1).toLongLong() == parent)
            ++zombies;
    }
    return zombies;
}

} // namespace

void tst_Desktop::manyPressesStartManyRunsAndLeaveNoZombie()
{
    static constexpr int Presses = 200;
    auto app = startWithRecorder();
    QVERIFY(app->ok());
    app->type(u"a.s"_qs);
    app->click(CenterX, Text2Y);
    app->type(u"o"_qs);

    // One press after another, each once the run of the one before has started, as a
    // person presses again after seeing the last press taken. Presses sent a hundred a
    // second pile up behind the window manager, which passes every press on a window
    // through a grab of its own, and a busy X server then drops the odd one before any
    // client sees it.
    for (int press = 1; press <= Presses; ++press) {
        if (press == Presses / 2 + 1) {
            // Midway the window still takes typing: the later runs get the longer name.
            app->click(CenterX, Text2Y);
            app->key({ u"End"_qs });
            app->type(u"x"_qs);
        }
        app->click(CenterX, AssembleY);
        QVERIFY2(waitFor([&] { return recordCount(m_records) >= press; }),
            qPrintable(u"press "_qs + QString::number(press) + u" started no run"_qs));
    }

    const QList<QJsonObject> records = readRecords(m_records);
    QCOMPARE(records.size(), Presses);
    int later = 0;
    for (const QJsonObject &record : records)
        later += recordedArguments(record).value(2) == u"ox.gba";
    QCOMPARE(later, Presses / 2);
    QVERIFY(app->running());
    QVERIFY(waitFor([&] { return zombieChildren(app->pid()) == 0; }));
}

void tst_Desktop::closingTheWindowLeavesTheAssemblerRunning()
{
    const QString image = m_work + u"/slow.gba"_qs;
    const QString go = m_work + u"/go"_qs;
    QFile::remove(image);
    QFile::remove(go);
    QProcessEnvironment env;
    env.insert(u"RECORDER_OUTPUT"_qs, image);
    env.insert(u"RECORDER_WAIT_FOR"_qs, go);
    auto app = startWithRecorder(env);
    QVERIFY(app->ok());

    app->click(CenterX, AssembleY);
    QCOMPARE(waitForRecords(m_records, 1).size(), 1);
    runCommand(u"wmctrl"_qs, { u"-i"_qs, u"-c"_qs, app->window() }, m_display->environment());

    QVERIFY(app->waitForExit());
    QVERIFY(!QFile::exists(image));
    QVERIFY(QFile(go).open(QIODevice::WriteOnly));
    QVERIFY2(
        waitFor([&] { return QFile::exists(image); }), "the assembler did not finish its image");
}

QTEST_GUILESS_MAIN(tst_Desktop)
#include "tst_desktop.moc"
