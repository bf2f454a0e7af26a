#pragma once

// Helpers shared by the tests that run the real tarnwick and binutils.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace TestTools {

static constexpr int RunTimeoutMs = 30 * 1000;
static constexpr quint32 RomBase = 0x08000000;
static constexpr int HeaderSize = 0xC0;

struct Result
{
    bool finished = false;
    int exitCode = -1;
    QString output;
    QString errors;
};

inline QString tarnwickPath()
{
    return QStringLiteral(TARNWICK_PATH);
}

inline QString exampleSource()
{
    return QStringLiteral(TARNWICK_EXAMPLES_DIR "/demo.asm");
}

// The example written for tarnwick's start-up: no header, a global main.
inline QString startupExampleSource()
{
    return QStringLiteral(TARNWICK_EXAMPLES_DIR "/bands.asm");
}

inline bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline Result run(const QString &program, const QStringList &arguments,
    const QString &workingDirectory = QString(),
    const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
    const QString &input = QString())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.setStandardInputFile(input.isEmpty() ? QProcess::nullDevice() : input);
    process.start(program, arguments);
    Result result;
    result.finished = process.waitForFinished(RunTimeoutMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished();
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.output = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.errors = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

// The environment of the suites' runs of tarnwick: they tell nobody's desktop about it.
inline QProcessEnvironment quietEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TARNWICK_NOTIFY"), QStringLiteral("never"));
    return environment;
}

inline Result tarnwick(const QStringList &arguments, const QString &workingDirectory = QString(),
    const QProcessEnvironment &environment = quietEnvironment(), const QString &input = QString())
{
    return run(tarnwickPath(), arguments, workingDirectory, environment, input);
}

inline quint32 word(const QByteArray &bytes, int offset)
{
    quint32 value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | quint8(bytes.at(offset + i));
    return value;
}

// Where an ARM B/BL at offset 0 lands, counted from the start of the image.
inline qint64 branchTarget(quint32 instruction)
{
    qint64 offset = instruction & 0x00FFFFFF;
    if (offset & 0x00800000)
        offset -= 0x01000000;
    return 8 + offset * 4;
}

inline bool headerChecksumHolds(const QByteArray &image)
{
    unsigned sum = 0x19;
    for (int i = 0xA0; i <= 0xBD; ++i)
        sum += quint8(image.at(i));
    return (sum & 0xFF) == 0 && quint8(image.at(0xB2)) == 0x96;
}

// Assembles the source on its own, without tarnwick, into an object file.
inline bool assembleObject(const QString &source, const QString &object, QString *problem)
{
    const Result result = run(QStringLiteral("arm-none-eabi-as"),
        { QStringLiteral("-mcpu=arm7tdmi"), QStringLiteral("-o"), object, source });
    if (result.finished && result.exitCode == 0)
        return true;
    *problem = QStringLiteral("arm-none-eabi-as failed: ") + result.errors;
    return false;
}

// Offset of a label within its section, as arm-none-eabi-nm reports it; -1 if absent.
inline qint64 symbolOffset(const QString &object, const QString &symbol)
{
    const Result result = run(QStringLiteral("arm-none-eabi-nm"), { object });
    const QRegularExpression line(QStringLiteral("^([0-9a-fA-F]+) [tT] ")
            + QRegularExpression::escape(symbol) + QStringLiteral("$"),
        QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = line.match(result.output);
    return match.hasMatch() ? match.captured(1).toLongLong(nullptr, 16) : -1;
}

// Size of one section of an object file, as arm-none-eabi-size reports it; -1 if absent.
inline qint64 sectionSize(const QString &object, const QString &section)
{
    const Result result
        = run(QStringLiteral("arm-none-eabi-size"), { QStringLiteral("-A"), object });
    const QRegularExpression line(
        QStringLiteral("^") + QRegularExpression::escape(section) + QStringLiteral("\\s+(\\d+)\\s"),
        QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = line.match(result.output);
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

// What objcopy -O binary makes of a linked program; empty if it fails.
inline QByteArray objcopyImage(const QString &program)
{
    const QString flat = program + QStringLiteral(".bin");
    const Result result = run(QStringLiteral("arm-none-eabi-objcopy"),
        { QStringLiteral("-O"), QStringLiteral("binary"), program, flat });
    const QByteArray bytes = result.exitCode == 0 ? readFile(flat) : QByteArray();
    QFile::remove(flat);
    return bytes;
}

inline QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace TestTools
