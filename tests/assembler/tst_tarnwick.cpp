// Runs the built tarnwick on real sources, with the real binutils.

#include "testtools.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace TestTools;

namespace {

constexpr int ConcurrentRounds = 4;

const QByteArray GoodSource = "    .text\n"
                              "    b start\n"
                              "    .space 188\n"
                              "start:\n"
                              "    b start\n";

const QByteArray EarlierImage = "an earlier image that a failed run must leave alone";

bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestTarnwick : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void assemblesExample();
    void sourceErrors_data();
    void sourceErrors();
    void fileProblems_data();
    void fileProblems();
    void wrongUse_data();
    void wrongUse();
    void missingBinutils();
    void concurrentRunsLeaveOneWholeImage();

private:
    // Each test gets src/ (sources), out/ (holding an earlier image) and
    // runs tarnwick from the folder above them with relative paths.
    QString path(const QString &relative) const { return m_work->filePath(relative); }

    std::unique_ptr<QTemporaryDir> m_work;
};

void TestTarnwick::initTestCase()
{
    QVERIFY2(QFile::exists(tarnwickPath()), qPrintable(tarnwickPath()));
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("arm-none-eabi-as")).isEmpty(),
        "these tests need the Debian package binutils-arm-none-eabi");
}

void TestTarnwick::init()
{
    m_work = std::make_unique<QTemporaryDir>();
    QVERIFY(m_work->isValid());
    QVERIFY(QDir(m_work->path()).mkpath(QStringLiteral("src")));
    QVERIFY(QDir(m_work->path()).mkpath(QStringLiteral("out")));
    QVERIFY(writeFile(path(QStringLiteral("src/good.s")), GoodSource));
    QVERIFY(writeFile(path(QStringLiteral("out/demo.gba")), EarlierImage));
}

void TestTarnwick::cleanup()
{
    m_work.reset();
}

void TestTarnwick::assemblesExample()
{
    const QString output = path(QStringLiteral("out/demo.gba"));
    const Result result = tarnwick({ exampleSource(), output });
    QVERIFY2(result.finished, "tarnwick did not finish");
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.errors, QString());

    const QByteArray image = readFile(output);
    QVERIFY(image.size() > HeaderSize);

    const quint32 first = word(image, 0);
    QCOMPARE(first >> 24, quint32(0xEA));
    QVERIFY2(branchTarget(first) >= HeaderSize && branchTarget(first) < image.size(),
        qPrintable(QString::number(branchTarget(first), 16)));
    QVERIFY(headerChecksumHolds(image));
    QCOMPARE(image.mid(0xA0, 12), QByteArray("TARNWICKDEMO"));

    // The example is a single .text section; assembled on its own, that
    // section's size is what the image has to be.
    QString problem;
    const QString object = path(QStringLiteral("demo.o"));
    QVERIFY2(assembleObject(exampleSource(), object, &problem), qPrintable(problem));
    QCOMPARE(qint64(image.size()), sectionSize(object, QStringLiteral(".text")));

    QCOMPARE(entries(path(QStringLiteral("out"))), QStringList { QStringLiteral("demo.gba") });
}

void TestTarnwick::sourceErrors_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("message");

    QTest::newRow("bad instruction: the assembler names the line")
        << GoodSource + "    mov r0, #1\n    frobnicate r1\n"
        << QStringLiteral("src/bad.s:7: Error: bad instruction `frobnicate r1'");
    QTest::newRow("Thumb immediate out of range: the assembler names the line") << GoodSource
            + "    .thumb\n    movs r0, #300\n" << QStringLiteral("src/bad.s:7: Error:");
    QTest::newRow("undefined label: the linker names the line") << GoodSource
            + "    bl nowhere\n" << QStringLiteral("src/bad.s:6: undefined reference to `nowhere'");
    QTest::newRow("no room for the header: refused")
        << QByteArray("    .text\n    b .\n") << QStringLiteral("must reserve the 192-byte header");
    QTest::newRow("code where the header belongs: refused")
        << QByteArray("    .text\n    mov r0, #0\n    .space 200\n")
        << QStringLiteral("first instruction must be an ARM branch");
    QTest::newRow("more than a cartridge holds: refused") << GoodSource + "    .space 0x2000000\n"
                                                          << QStringLiteral("src/bad.s: ");
}

void TestTarnwick::sourceErrors()
{
    QFETCH(QByteArray, source);
    QFETCH(QString, message);

    QVERIFY(writeFile(path(QStringLiteral("src/bad.s")), source));
    const Result result
        = tarnwick({ QStringLiteral("src/bad.s"), QStringLiteral("out/demo.gba") }, m_work->path());
    QVERIFY2(result.finished, "tarnwick did not finish");
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.errors.contains(message), qPrintable(result.errors));

    QCOMPARE(entries(path(QStringLiteral("out"))), QStringList { QStringLiteral("demo.gba") });
    QCOMPARE(readFile(path(QStringLiteral("out/demo.gba"))), EarlierImage);
}

void TestTarnwick::fileProblems_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    QTest::newRow("missing source")
        << QStringList { QStringLiteral("src/none.s"), QStringLiteral("out/demo.gba") }
        << QStringLiteral("tarnwick: cannot read source \"src/none.s\"");
    QTest::newRow("source is a folder")
        << QStringList { QStringLiteral("src"), QStringLiteral("out/demo.gba") }
        << QStringLiteral("tarnwick: cannot read source \"src\": it is a folder");
    QTest::newRow("output folder does not exist")
        << QStringList { QStringLiteral("src/good.s"), QStringLiteral("gone/demo.gba") }
        << QStringLiteral("tarnwick: cannot write \"gone/demo.gba\"");
    QTest::newRow("output is a folder") << QStringList { QStringLiteral("src/good.s"),
        QStringLiteral("out") } << QStringLiteral("tarnwick: cannot write \"out\"");
    QTest::newRow("output would overwrite the source")
        << QStringList { QStringLiteral("src/good.s"), QStringLiteral("src/../src/good.s") }
        << QStringLiteral("is the source file itself");
}

void TestTarnwick::fileProblems()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);

    const Result result = tarnwick(arguments, m_work->path());
    QVERIFY2(result.finished, "tarnwick did not finish");
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.errors.contains(message), qPrintable(result.errors));

    QCOMPARE(readFile(path(QStringLiteral("src/good.s"))), GoodSource);
    QCOMPARE(entries(path(QStringLiteral("src"))), QStringList { QStringLiteral("good.s") });
    QCOMPARE(entries(path(QStringLiteral("out"))), QStringList { QStringLiteral("demo.gba") });
    QCOMPARE(readFile(path(QStringLiteral("out/demo.gba"))), EarlierImage);
}

void TestTarnwick::wrongUse_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("received");

    QTest::newRow("no arguments") << QStringList()
                                  << QStringLiteral("tarnwick: expected 2 arguments, got 0");
    QTest::newRow("only the source")
        << QStringList { QStringLiteral("src/good.s") }
        << QStringLiteral("tarnwick: expected 2 arguments, got 1: \"src/good.s\"");
    QTest::newRow("a blank split the source path")
        << QStringList { QStringLiteral("My"), QStringLiteral("Projects/demo.s"),
               QStringLiteral("out/demo.gba") }
        << QStringLiteral("tarnwick: expected 2 arguments, got 3: \"My\" \"Projects/demo.s\" "
                          "\"out/demo.gba\"");
    QTest::newRow("an empty argument is shown, not taken for a file")
        << QStringList { QString(), QStringLiteral("out/demo.gba") }
        << QStringLiteral("tarnwick: empty argument: \"\" \"out/demo.gba\"");
}

void TestTarnwick::wrongUse()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, received);

    const Result result = tarnwick(arguments, m_work->path());
    QVERIFY2(result.finished, "tarnwick did not finish");
    QCOMPARE(result.exitCode, 2);
    const QStringList lines = result.errors.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines.at(0).startsWith(QLatin1String("usage: tarnwick SOURCE OUTPUT")),
        qPrintable(lines.at(0)));
    QCOMPARE(lines.at(1), received);
    QCOMPARE(readFile(path(QStringLiteral("out/demo.gba"))), EarlierImage);
}

void TestTarnwick::missingBinutils()
{
    const QTemporaryDir emptyBin;
    QVERIFY(emptyBin.isValid());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"), emptyBin.path());

    const Result result = tarnwick({ QStringLiteral("src/good.s"), QStringLiteral("out/new.gba") },
        m_work->path(), environment);
    QVERIFY2(result.finished, "tarnwick did not finish");
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.errors.contains(QLatin1String("arm-none-eabi-as")), qPrintable(result.errors));
    QVERIFY2(
        result.errors.contains(QLatin1String("binutils-arm-none-eabi")), qPrintable(result.errors));
    QCOMPARE(entries(path(QStringLiteral("out"))), QStringList { QStringLiteral("demo.gba") });
}

void TestTarnwick::concurrentRunsLeaveOneWholeImage()
{
    // Two different images, one small and one large: whichever run renames
    // last wins, but the result must be exactly one of them, never a mix.
    const QString large = path(QStringLiteral("src/large.s"));
    QVERIFY(writeFile(large, GoodSource + "    .fill 0x100000, 1, 0x22\n"));
    const QStringList sources { exampleSource(), large };
    QList<QByteArray> alone;
    for (const QString &source : sources) {
        const QString solo = path(QStringLiteral("solo.gba"));
        QCOMPARE(tarnwick({ source, solo }).exitCode, 0);
        alone.append(readFile(solo));
        QVERIFY(alone.last().size() > HeaderSize);
    }

    const QString output = path(QStringLiteral("out/demo.gba"));
    for (int round = 0; round < ConcurrentRounds; ++round) {
        std::vector<std::unique_ptr<QProcess>> runs;
        for (const QString &source : sources) {
            runs.push_back(std::make_unique<QProcess>());
            runs.back()->start(tarnwickPath(), { source, output });
        }
        for (const auto &run : runs) {
            QVERIFY(run->waitForFinished(RunTimeoutMs));
            QCOMPARE(run->exitStatus(), QProcess::NormalExit);
            QCOMPARE(run->exitCode(), 0);
        }
        QVERIFY2(alone.contains(readFile(output)), "the image is a mix of both runs");
        QCOMPARE(entries(path(QStringLiteral("out"))), QStringList { QStringLiteral("demo.gba") });
    }
}

QTEST_GUILESS_MAIN(TestTarnwick)
#include "tst_tarnwick.moc"
