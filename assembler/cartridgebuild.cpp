#include "cartridgebuild.h"

#include "arguments.h"
#include "cartridgeheader.h"
#include "diagnostics.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include <sys/stat.h>

namespace Tarnwick {

namespace {

constexpr int ToolTimeoutMs = 60 * 1000;
constexpr int KillWaitMs = 5 * 1000;
constexpr auto BinutilsPackage = "binutils-arm-none-eabi";
constexpr auto Cpu = "-mcpu=arm7tdmi";
constexpr auto RomBase = "0x08000000";

// Everything the program reads lives in cartridge ROM, code first so the
// source's first instruction lands on the first byte. There is no start-up
// code to copy initialised data into RAM, so .data stays in ROM as well;
// only .bss gets an address in the fast internal RAM. The ROM region's size
// makes ld itself refuse an image that would not fit into a cartridge.
constexpr auto LinkerScript = R"(MEMORY {
    rom (rx) : ORIGIN = 0x08000000, LENGTH = 32M
    iwram (rwx) : ORIGIN = 0x03000000, LENGTH = 32K
}
SECTIONS {
    .text : { *(.text) *(.text.*) *(.glue_7 .glue_7t .vfp11_veneer .v4_bx) } > rom
    .rodata : ALIGN(4) { *(.rodata .rodata.*) } > rom
    .data : ALIGN(4) { *(.data .data.*) } > rom
    .bss (NOLOAD) : { *(.bss .bss.* COMMON) } > iwram
}
)";

QString quotedPath(const QString &path)
{
    return Arguments::quoted(QDir::toNativeSeparators(path));
}

enum class FileKind { Missing, Regular, Folder, NamedPipe, Device, Socket, Other };

// What a path names once symbolic links are followed. A dangling link counts as missing:
// writing to it creates its target.
FileKind fileKind(const QString &path)
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return FileKind::Missing;
    if (S_ISREG(info.st_mode))
        return FileKind::Regular;
    if (S_ISDIR(info.st_mode))
        return FileKind::Folder;
    if (S_ISFIFO(info.st_mode))
        return FileKind::NamedPipe;
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
        return FileKind::Device;
    if (S_ISSOCK(info.st_mode))
        return FileKind::Socket;
    return FileKind::Other;
}

QString describe(FileKind kind)
{
    switch (kind) {
    case FileKind::NamedPipe:
        return QStringLiteral("a named pipe");
    case FileKind::Device:
        return QStringLiteral("a device");
    case FileKind::Socket:
        return QStringLiteral("a socket");
    default:
        return QStringLiteral("a special file");
    }
}

} // namespace

CartridgeBuild::CartridgeBuild(const QString &source, const QString &output, QTextStream &errors)
    : m_source(source)
    , m_output(output)
    , m_sourceAbsolute(QFileInfo(source).absoluteFilePath())
    , m_errors(errors)
{
}

void CartridgeBuild::report(const QString &message)
{
    m_errors << message << Qt::endl;
}

int CartridgeBuild::run()
{
    if (!checkSource() || !findTools())
        return ExitFailure;

    const QTemporaryDir work;
    if (!work.isValid()) {
        report(QStringLiteral("tarnwick: cannot create a temporary folder: ") + work.errorString());
        return ExitFailure;
    }
    const QString script = work.filePath(QStringLiteral("cartridge.ld"));
    const QString object = work.filePath(QStringLiteral("source.o"));
    const QString program = work.filePath(QStringLiteral("source.elf"));
    const QString flat = work.filePath(QStringLiteral("image.bin"));

    QFile scriptFile(script);
    if (!scriptFile.open(QIODevice::WriteOnly)
        || scriptFile.write(LinkerScript) != qint64(qstrlen(LinkerScript)) || !scriptFile.flush()) {
        report(QStringLiteral("tarnwick: cannot write ") + quotedPath(script) + QStringLiteral(": ")
            + scriptFile.errorString());
        return ExitFailure;
    }
    scriptFile.close();

    // The absolute path keeps a source called "-x.s" from being read as an
    // option; messages get the user's spelling back in DiagnosticRewriter.
    const QString sourceFolder = QFileInfo(m_sourceAbsolute).absolutePath();
    const QStringList assemble = { QLatin1String(Cpu), QStringLiteral("-g"), QStringLiteral("-I"),
        sourceFolder, QStringLiteral("-o"), object, m_sourceAbsolute };
    const QStringList link = { QStringLiteral("-T"), script, QStringLiteral("-e"),
        QLatin1String(RomBase), QStringLiteral("-o"), program, object };
    const QStringList extract = { QStringLiteral("-O"), QStringLiteral("binary"), program, flat };

    if (runTool(m_as, assemble, work.path()) != ToolResult::Finished
        || runTool(m_ld, link, work.path()) != ToolResult::Finished
        || runTool(m_objcopy, extract, work.path()) != ToolResult::Finished)
        return ExitFailure;

    QFile flatFile(flat);
    if (!flatFile.open(QIODevice::ReadOnly)) {
        report(QStringLiteral("tarnwick: cannot read the linked image: ") + flatFile.errorString());
        return ExitFailure;
    }
    QByteArray image = flatFile.readAll();
    if (flatFile.error() != QFileDevice::NoError) {
        report(QStringLiteral("tarnwick: cannot read the linked image: ") + flatFile.errorString());
        return ExitFailure;
    }

    const QString problem = CartridgeHeader::complete(image);
    if (!problem.isEmpty()) {
        report(m_source + QStringLiteral(": Error: ") + problem);
        return ExitFailure;
    }
    return writeImage(image) ? ExitSuccess : ExitFailure;
}

bool CartridgeBuild::checkSource()
{
    const QFileInfo info(m_source);
    if (info.isDir()) {
        report(QStringLiteral("tarnwick: cannot read source ") + quotedPath(m_source)
            + QStringLiteral(": it is a folder"));
        return false;
    }
    // Opening a named pipe waits for a writer and a device can be read without end, so
    // only a regular file (a symbolic link is followed) is ever opened as a source.
    const FileKind kind = fileKind(m_source);
    if (kind != FileKind::Missing && kind != FileKind::Regular) {
        report(QStringLiteral("tarnwick: cannot read source ") + quotedPath(m_source)
            + QStringLiteral(": it is not a regular file but ") + describe(kind));
        return false;
    }
    QFile file(m_source);
    if (!file.open(QIODevice::ReadOnly)) {
        report(QStringLiteral("tarnwick: cannot read source ") + quotedPath(m_source)
            + QStringLiteral(": ") + file.errorString());
        return false;
    }
    // Writing the image over its own source would destroy the source.
    const QFileInfo output(m_output);
    if (output.exists() && output.canonicalFilePath() == info.canonicalFilePath()) {
        report(QStringLiteral("tarnwick: the output ") + quotedPath(m_output)
            + QStringLiteral(" is the source file itself; choose another output name"));
        return false;
    }
    return true;
}

bool CartridgeBuild::findTools()
{
    QStringList missing;
    const auto find = [&missing](const char *name) {
        const QString tool = QLatin1String(name);
        const QString path = QStandardPaths::findExecutable(tool);
        if (path.isEmpty())
            missing.append(tool);
        return path;
    };
    m_as = find("arm-none-eabi-as");
    m_ld = find("arm-none-eabi-ld");
    m_objcopy = find("arm-none-eabi-objcopy");
    if (missing.isEmpty())
        return true;
    report(QStringLiteral("tarnwick: cannot find ") + missing.join(QStringLiteral(", "))
        + QStringLiteral(" on PATH; install the Debian package ") + QLatin1String(BinutilsPackage)
        + QStringLiteral(" (sudo apt install ") + QLatin1String(BinutilsPackage)
        + QStringLiteral(")"));
    return false;
}

CartridgeBuild::ToolResult CartridgeBuild::runTool(
    const QString &program, const QStringList &arguments, const QString &workFolder)
{
    const QString name = QFileInfo(program).fileName();
    QProcess process;
    // Untranslated messages, so that rewriting recognises them.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForStarted(ToolTimeoutMs)) {
        report(QStringLiteral("tarnwick: cannot start ") + program + QStringLiteral(": ")
            + process.errorString() + QStringLiteral("; install the Debian package ")
            + QLatin1String(BinutilsPackage));
        return ToolResult::Failed;
    }
    if (!process.waitForFinished(ToolTimeoutMs)) {
        process.kill();
        process.waitForFinished(KillWaitMs);
        report(QStringLiteral("tarnwick: %1 did not finish within %2 seconds and was stopped")
                   .arg(name)
                   .arg(ToolTimeoutMs / 1000));
        return ToolResult::Failed;
    }

    const DiagnosticRewriter rewriter(m_source, m_sourceAbsolute, workFolder);
    const QStringList messages
        = rewriter.rewrite(QString::fromLocal8Bit(process.readAll()), program);
    for (const QString &message : messages)
        report(message);

    if (process.exitStatus() != QProcess::NormalExit) {
        report(QStringLiteral("tarnwick: %1 crashed").arg(name));
        return ToolResult::Failed;
    }
    if (process.exitCode() != 0) {
        if (messages.isEmpty())
            report(QStringLiteral("tarnwick: %1 failed with exit status %2")
                       .arg(name)
                       .arg(process.exitCode()));
        return ToolResult::Failed;
    }
    return ToolResult::Finished;
}

bool CartridgeBuild::writeImage(const QByteArray &image)
{
    // A device or a named pipe is written into, as the GNU tools do: replacing it with a
    // plain file would break whatever else uses it (/dev/null above all).
    const FileKind kind = fileKind(m_output);
    if (kind != FileKind::Missing && kind != FileKind::Regular && kind != FileKind::Folder)
        return writeInto(image);

    // QSaveFile writes beside the target and renames at commit, so readers
    // (and a concurrent run) only ever see a complete image, and a failure
    // leaves any earlier image as it was. A symbolic link keeps pointing
    // where it did: QSaveFile writes and renames beside the link's target.
    QSaveFile file(m_output);
    if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size() || !file.commit()) {
        report(QStringLiteral("tarnwick: cannot write ") + quotedPath(m_output)
            + QStringLiteral(": ") + file.errorString());
        file.cancelWriting();
        return false;
    }
    return true;
}

bool CartridgeBuild::writeInto(const QByteArray &image)
{
    QFile file(m_output);
    // Unbuffered, so that a reader that went away shows up as a failed write here and
    // not as a lost one at close.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)
        || file.write(image) != image.size()) {
        report(QStringLiteral("tarnwick: cannot write ") + quotedPath(m_output)
            + QStringLiteral(": ") + file.errorString());
        return false;
    }
    return true;
}

} // namespace Tarnwick
