// Runs the assembled example in mgba on a private Xvfb and reads back, with
// mgba's command-line debugger, what the program drew.

#include "testtools.h"

#include <QDeadlineTimer>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

using namespace TestTools;

namespace {

constexpr int ProcessBoundSeconds = 60;
constexpr int DisplayStartMs = 15 * 1000;
constexpr int SessionMs = 30 * 1000;
constexpr int TermWaitMs = 2 * 1000;
constexpr int KillWaitMs = 5 * 1000;
constexpr quint32 DisplayControl = 0x04000000;
constexpr quint32 VideoMemory = 0x06000000;
constexpr int ScreenWidth = 240;
constexpr int ScreenHeight = 160;

struct Sample
{
    const char *rule;
    int x;
    int y;
};

// Pixels spread over the screen, with the example's colour rule:
// red = x / 8 in bits 0..4, blue = y / 8 in bits 10..14.
constexpr Sample Samples[] = {
    { "top-left pixel is black", 0, 0 },
    { "red grows along the first row", 17, 0 },
    { "top-right pixel is full-width red", ScreenWidth - 1, 0 },
    { "second row starts right after the first", 0, 1 },
    { "blue grows down the first column", 0, 42 },
    { "bottom-left pixel is blue only", 0, ScreenHeight - 1 },
    { "centre pixel mixes red and blue", ScreenWidth / 2, ScreenHeight / 2 },
    { "bottom-right pixel, the last one drawn", ScreenWidth - 1, ScreenHeight - 1 },
};

quint32 pixelAddress(int x, int y)
{
    return VideoMemory + 2 * quint32(y * ScreenWidth + x);
}

quint16 exampleColour(int x, int y)
{
    return quint16((x / 8) | ((y / 8) << 10));
}

QString hex(quint32 value)
{
    return QStringLiteral("0x%1").arg(value, 8, 16, QLatin1Char('0'));
}

QString findProgram(const QString &name)
{
    const QString onPath = QStandardPaths::findExecutable(name);
    return onPath.isEmpty() ? QStandardPaths::findExecutable(name, { QStringLiteral("/usr/games") })
                            : onPath;
}

// A helper program run under "timeout -s KILL" in a process group of its
// own: if this test dies, timeout still ends it, and on every way out of a
// test the destructor kills the whole group (timeout and its child alike).
class BoundedProcess
{
public:
    explicit BoundedProcess(const QProcessEnvironment &environment)
    {
        m_process.setProcessEnvironment(environment);
        m_process.setChildProcessModifier([] { ::setpgid(0, 0); });
    }
    BoundedProcess(const BoundedProcess &) = delete;
    BoundedProcess &operator=(const BoundedProcess &) = delete;
    ~BoundedProcess() { stop(); }

    bool start(const QString &program, const QStringList &arguments)
    {
        m_process.start(QStringLiteral("timeout"),
            QStringList { QStringLiteral("-s"), QStringLiteral("KILL"),
                QString::number(ProcessBoundSeconds), program }
                + arguments);
        if (!m_process.waitForStarted(KillWaitMs))
            return false;
        m_group = pid_t(m_process.processId());
        return true;
    }

    // Asks first, so that Xvfb removes its socket and lock file, then makes
    // sure nothing of the group survives.
    void stop()
    {
        if (m_group <= 0)
            return;
        if (m_process.state() != QProcess::NotRunning) {
            ::kill(-m_group, SIGTERM);
            m_process.waitForFinished(TermWaitMs);
        }
        ::kill(-m_group, SIGKILL);
        m_group = 0;
        if (m_process.state() != QProcess::NotRunning)
            m_process.waitForFinished(KillWaitMs);
    }

    // Collects standard output until the program ends or the time is up.
    bool waitForExit(int timeoutMs)
    {
        m_process.waitForFinished(timeoutMs);
        m_output += m_process.readAllStandardOutput();
        return m_process.state() == QProcess::NotRunning;
    }

    // Collects standard output until it matches or the time is up.
    bool waitForOutput(const QRegularExpression &pattern, int timeoutMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            m_output += m_process.readAllStandardOutput();
            if (pattern.match(output()).hasMatch())
                return true;
            if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
                return false;
            m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        }
    }

    void closeInput() { m_process.closeWriteChannel(); }
    void write(const QString &text) { m_process.write(text.toLatin1()); }
    QString output() const { return QString::fromLocal8Bit(m_output); }
    QString errors() { return QString::fromLocal8Bit(m_process.readAllStandardError()); }

private:
    QProcess m_process;
    pid_t m_group = 0;
    QByteArray m_output;
};

} // namespace

class TestEmulatorRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void stopsAtDone();
    void displayIsBitmapModeWithBackground2();
    void videoMemory_data();
    void videoMemory();

private:
    quint32 m_doneAddress = 0;
    QString m_breakpointHit;
    QMap<quint32, quint16> m_memory;
};

void TestEmulatorRun::initTestCase()
{
    const QString xvfb = findProgram(QStringLiteral("Xvfb"));
    const QString mgba = findProgram(QStringLiteral("mgba"));
    QVERIFY2(!xvfb.isEmpty(), "needs Xvfb (Debian package xvfb)");
    QVERIFY2(!mgba.isEmpty(), "needs mgba (Debian package mgba-sdl)");
    QVERIFY2(!findProgram(QStringLiteral("timeout")).isEmpty(), "needs timeout (coreutils)");

    const QTemporaryDir work;
    QVERIFY(work.isValid());
    const QString image = work.filePath(QStringLiteral("demo.gba"));
    const Result assembled = tarnwick({ exampleSource(), image });
    QVERIFY2(assembled.exitCode == 0, qPrintable(assembled.errors));

    // tarnwick puts the source's .text at the start of ROM, so a label's
    // offset in the object file plus the ROM base is its address.
    QString problem;
    const QString object = work.filePath(QStringLiteral("demo.o"));
    QVERIFY2(assembleObject(exampleSource(), object, &problem), qPrintable(problem));
    const qint64 doneOffset = symbolOffset(object, QStringLiteral("done"));
    QVERIFY2(doneOffset > 0, "the example has no label \"done\"");
    m_doneAddress = RomBase + quint32(doneOffset & ~qint64(1));

    // Xvfb picks a free display itself and reports its number on -displayfd.
    BoundedProcess display(QProcessEnvironment::systemEnvironment());
    QVERIFY2(display.start(xvfb,
                 { QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                     QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                     QStringLiteral("320x240x24") }),
        "Xvfb did not start");
    const QRegularExpression displayNumber(QStringLiteral("^(\\d+)\\n"));
    QVERIFY2(display.waitForOutput(displayNumber, DisplayStartMs),
        qPrintable(QStringLiteral("Xvfb reported no display: ") + display.errors()));
    const QString number = displayNumber.match(display.output()).captured(1);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), QLatin1Char(':') + number);
    environment.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("dummy"));
    // mgba keeps its settings in the home folder; keep ours out of the user's.
    environment.insert(QStringLiteral("HOME"), work.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), work.filePath(QStringLiteral("config")));

    QList<quint32> addresses { DisplayControl };
    for (const Sample &sample : Samples)
        addresses.append(pixelAddress(sample.x, sample.y));
    // Nothing may be written past the last pixel.
    addresses.append(pixelAddress(0, ScreenHeight));

    // mgba buffers its output when it is not talking to a terminal, so
    // answers only show up when it exits. The whole session therefore goes
    // in at once: the debugger takes the next line only when it is stopped,
    // so the reads run once the breakpoint is hit, and "quit" ends it.
    QString session
        = QStringLiteral("break ") + hex(m_doneAddress) + QStringLiteral("\ncontinue\n");
    for (quint32 address : addresses)
        session += QStringLiteral("r/2 ") + hex(address) + QLatin1Char('\n');
    session += QStringLiteral("quit\n");

    BoundedProcess emulator(environment);
    QVERIFY2(emulator.start(mgba, { QStringLiteral("-d"), image }), "mgba did not start");
    emulator.write(session);
    emulator.closeInput();
    QVERIFY2(emulator.waitForExit(SessionMs),
        qPrintable(QStringLiteral("mgba did not finish the session:\n") + emulator.output()
            + emulator.errors()));
    const QString transcript = emulator.output();

    const QRegularExpression hit(QStringLiteral("Hit breakpoint \\d+ at (0x[0-9A-Fa-f]+)"));
    const QRegularExpressionMatch hitMatch = hit.match(transcript);
    QVERIFY2(
        hitMatch.hasMatch(), qPrintable(QStringLiteral("mgba never reached done:\n") + transcript));
    m_breakpointHit = hitMatch.captured(1);

    // Each read answers with a line like " 0x0403", in the order asked.
    const QRegularExpression value(
        QStringLiteral("^\\s*0x([0-9A-Fa-f]{1,4})\\s*$"), QRegularExpression::MultilineOption);
    auto values = value.globalMatch(transcript.mid(hitMatch.capturedEnd()));
    for (quint32 address : addresses) {
        QVERIFY(values.hasNext());
        m_memory.insert(address, quint16(values.next().captured(1).toUInt(nullptr, 16)));
    }
}

void TestEmulatorRun::stopsAtDone()
{
    QCOMPARE(m_breakpointHit.toUInt(nullptr, 16), m_doneAddress);
}

void TestEmulatorRun::displayIsBitmapModeWithBackground2()
{
    QCOMPARE(m_memory.value(DisplayControl), quint16(0x0403));
}

void TestEmulatorRun::videoMemory_data()
{
    QTest::addColumn<quint32>("address");
    QTest::addColumn<quint16>("expected");

    for (const Sample &sample : Samples) {
        QTest::newRow(sample.rule)
            << pixelAddress(sample.x, sample.y) << exampleColour(sample.x, sample.y);
    }
    QTest::newRow("nothing is written past the last pixel")
        << pixelAddress(0, ScreenHeight) << quint16(0);
}

void TestEmulatorRun::videoMemory()
{
    QFETCH(quint32, address);
    QFETCH(quint16, expected);
    QVERIFY2(m_memory.contains(address), qPrintable(hex(address)));
    QCOMPARE(m_memory.value(address), expected);
}

QTEST_GUILESS_MAIN(TestEmulatorRun)
#include "tst_emulatorrun.moc"
