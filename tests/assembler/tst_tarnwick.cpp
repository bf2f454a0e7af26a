// Runs the built tarnwick on real sources, with the real binutils.

#include "arguments.h"
#include "elffile.h"
#include "inputfiles.h"
#include "outputfiles.h"
#include "testtools.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QScopeGuard>
#include <QSize>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

using namespace TestTools;

namespace {

constexpr int ConcurrentRounds = 4;
constexpr rlim_t OpenFileLimit = 128;

const QByteArray GoodSource = "    .text\n"
                              "    b start\n"
                              "    .space 188\n"
                              "start:\n"
                              "    b start\n";

// Brings no header but a global main, for the start-up.
const QByteArray StartupMain = "    .text\n"
                               "    .global main\n"
                               "main:\n"
                               "    bx lr\n";

// Calls the EABI division routines from ARM code.
const QByteArray Divides = "    bl __aeabi_idivmod\n"
                           "    bl __aeabi_uidiv\n";

const QByteArray EarlierImage = "an earlier image that a failed run must leave alone";

// The file type bits of what a path names, the path itself if it is a link.
mode_t fileType(const QString &path)
{
    struct stat info
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & S_IFMT : 0;
}

bool makeNamedPipe(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

// A listening socket bound to path; the returned descriptor is closed by the caller.
int makeSocket(const QString &path)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const QByteArray encoded = QFile::encodeName(path);
    if (size_t(encoded.size()) >= sizeof address.sun_path)
        return -1;
    qstrcpy(address.sun_path, encoded.constData());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The fields of /proc/PID/stat after the command's name: state, parent, process group, ...
QList<QByteArray> processStatus(pid_t pid)
{
    const QByteArray status = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    return status.mid(status.lastIndexOf(')') + 2).split(' ');
}

bool running(pid_t pid)
{
    const QList<QByteArray> status = processStatus(pid);
    return status.size() > 1 && status.at(0) != "Z";
}

// A live process whose parent is pid, or 0.
pid_t childOf(qint64 pid)
{
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        if (running(pid_t(entry.toInt()))
            && processStatus(pid_t(entry.toInt())).at(1).toLongLong() == pid)
            return pid_t(entry.toInt());
    }
    return 0;
}

// Whether process pid holds the file (a pipe, say) that our descriptor fd is.
bool holdsFile(pid_t pid, int fd)
{
    struct stat ours = {};
    struct stat theirs = {};
    const QString folder = QStringLiteral("/proc/%1/fd/").arg(pid);
    for (const QString &entry : QDir(folder).entryList(QDir::Files | QDir::System)) {
        if (::fstat(fd, &ours) == 0 && ::stat(QFile::encodeName(folder + entry), &theirs) == 0
            && theirs.st_ino == ours.st_ino && theirs.st_dev == ours.st_dev)
            return true;
    }
    return false;
}

// Test pictures: 8x8 tiles of four patterns (the first all index 0, the transparent one),
// repeated and mirrored over the picture. "banked" takes each column of tiles' colours from
// another bank of 16; "truecolour" and "alpha" have the same colours unpaletted, "alpha"
// with transparent pixels where the others have index 0 (magenta).
QImage testPicture(const QString &kind, QSize size)
{
    static constexpr int Levels[] = { 0, 66, 132, 197, 255 };
    QImage indexed(size, QImage::Format_Indexed8);
    QList<QRgb> colours = { qRgb(255, 0, 255) };
    for (int i = 1; i < 48; ++i)
        colours << qRgb(Levels[i % 5], Levels[i / 5 % 5], Levels[i / 25]);
    indexed.setColorTable(colours.mid(0, kind == QLatin1String("banked") ? 48 : 16));
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const int column = x / 8;
            const int pattern = (column * 7 + y / 8 * 3) % 4;
            const int across = column % 2 ? 7 - x % 8 : x % 8;
            const int down = y / 8 % 2 ? 7 - y % 8 : y % 8;
            const int bank = kind == QLatin1String("banked") ? column % 3 : 0;
            indexed.setPixel(
                x, y, pattern == 0 ? 0 : 16 * bank + 1 + (across + 3 * down + 5 * pattern) % 15);
        }
    }
    if (kind == QLatin1String("alpha")) {
        QList<QRgb> transparent = indexed.colorTable();
        transparent[0] = qRgba(0, 0, 0, 0);
        indexed.setColorTable(transparent);
    }
    return kind == QLatin1String("truecolour") || kind == QLatin1String("alpha")
        ? indexed.convertToFormat(QImage::Format_ARGB32)
        : indexed;
}

// "png:WxH" as a PNG file (":banked" of 48 colours); ":cut" cut short in its pixels; ":header" with
// a header that claims 30000x30000 pixels.
QByteArray pictureFile(const QString &description)
{
    const QStringList parts = description.split(u':');
    const QStringList size = parts.at(1).split(u'x');
    QByteArray file;
    QBuffer buffer(&file);
    testPicture(parts.value(2), QSize(size.at(0).toInt(), size.at(1).toInt())).save(&buffer, "PNG");
    if (parts.contains(QLatin1String("cut")))
        file.chop(file.size() / 2);
    if (parts.contains(QLatin1String("header"))) {
        file.replace(16, 8, QByteArray::fromHex("0000753000007530"));
        quint32 crc = ~0U;
        for (const char byte : file.mid(12, 17)) {
            crc ^= quint8(byte);
            for (int bit = 0; bit < 8; ++bit)
                crc = crc >> 1 ^ (0xEDB88320U & (0U - (crc & 1)));
        }
        file.replace(
            29, 4, QByteArray::fromHex(QByteArray::number(~crc, 16).rightJustified(8, '0')));
    }
    return file;
}

// Unpacks data in the firmware's LZ77 format; empty if a reference has a distance of 1,
// which the firmware's routine for video memory cannot unpack.
QByteArray unpackLz77(const QByteArray &packed)
{
    const qsizetype size = qsizetype(word(packed, 0) >> 8);
    QByteArray bytes;
    for (qsizetype at = 4; bytes.size() < size && at < packed.size();) {
        const quint8 flags = quint8(packed.at(at++));
        for (int bit = 7; bit >= 0 && bytes.size() < size; --bit) {
            if (!(flags >> bit & 1)) {
                bytes += packed.at(at++);
                continue;
            }
            const int distance = ((packed.at(at) & 0xF) << 8 | quint8(packed.at(at + 1))) + 1;
            const int length = (quint8(packed.at(at)) >> 4) + 3;
            at += 2;
            for (int i = 0; i < length && distance > 1; ++i)
                bytes += bytes.at(bytes.size() - distance);
            if (distance == 1)
                return {};
        }
    }
    return quint8(packed.at(0)) == 0x10 ? bytes : QByteArray();
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
    void kindIsToldApart_data();
    void kindIsToldApart();
    void sourceErrors_data();
    void sourceErrors();
    void programFromFolders_data();
    void programFromFolders();
    void picturesShowAsDrawn_data();
    void picturesShowAsDrawn();
    void mistakesAreExplained_data();
    void mistakesAreExplained();
    void fileProblems_data();
    void fileProblems();
    void keptLogo_data();
    void keptLogo();
    void logoFromImageWithoutLogo_data();
    void logoFromImageWithoutLogo();
    void wrongUse_data();
    void wrongUse();
    void informationRequests_data();
    void informationRequests();
    void missingBinutils();
    void specialSourceIsRefusedAtOnce_data();
    void specialSourceIsRefusedAtOnce();
    void unusualOutput_data();
    void unusualOutput();
    void concurrentRunsLeaveOneWholeImage();
    void toolsEndWithTheRun_data();
    void toolsEndWithTheRun();

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
    // Every run gets an eighth of the usual soft limit on open files, so that a program of a
    // few hundred files shows whether a run holds a descriptor per file.
    rlimit files {};
    QVERIFY(::getrlimit(RLIMIT_NOFILE, &files) == 0);
    files.rlim_cur = std::min<rlim_t>(files.rlim_max, OpenFileLimit);
    QVERIFY(::setrlimit(RLIMIT_NOFILE, &files) == 0);
}

void TestTarnwick::init()
{
    m_work = std::make_unique<QTemporaryDir>();
    QVERIFY(m_work->isValid());
    QVERIFY(QDir(m_work->path()).mkpath(QStringLiteral("src")));
    QVERIFY(QDir(m_work->path()).mkpath(QStringLiteral("out")));
    QVERIFY(writeFile(path(QStringLiteral("src/good.s")), GoodSource));
    QVERIFY(writeFile(path(QStringLiteral("out/demo.gba")), EarlierImage));
    // The logo is looked for and kept in the test's own folders, never the person's.
    qputenv("XDG_DATA_HOME", QFile::encodeName(path(QStringLiteral("data"))));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(path(QStringLiteral("shared"))));
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

    QCOMPARE(entries(path(QStringLiteral("out"))),
        QStringList({ QStringLiteral("demo.elf"), QStringLiteral("demo.gba") }));
}

void TestTarnwick::kindIsToldApart_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<bool>("withStartup");
    // The run-time routines (sources in assembler/runtime) that the image must hold
    // besides the start-up and the source's code; none for a program that calls none.
    QTest::addColumn<QStringList>("routines");

    const QStringList none;
    const QStringList division
        = { QStringLiteral("uidivmod"), QStringLiteral("idivmod"), QStringLiteral("idiv0") };
    QTest::newRow("header reserved, no main: linked as it is") << GoodSource << false << none;
    QTest::newRow("header reserved and a global main: the header wins") << GoodSource
            + "    .global main\nmain:\n    bx lr\n" << false << none;
    QTest::newRow("no header, a global ARM main: the start-up") << StartupMain << true << none;
    QTest::newRow("no header, a global Thumb main: the start-up") << QByteArray(
        "    .text\n    .thumb\n    .global main\n    .thumb_func\nmain:\n"
        "    bx lr\n") << true << none;
    QTest::newRow("no header, a Thumb main without .thumb_func: the start-up, entering Thumb")
        << QByteArray("    .text\n    .thumb\n    .global main\nmain:\n    bx lr\n") << true
        << none;
    QTest::newRow("a first branch that does not pass a header, and a main: the start-up")
        << QByteArray("    .text\n    .global main\nmain:\n    b main\n") << true << none;
    // The fixed byte and the complement were written into main's own instructions.
    QTest::newRow("a main that starts with bl past the header's size: the start-up") << QByteArray(
        "    .text\n    .global main\nmain:\n    bl init\n    .space 200\n"
        "init:\n    bx lr\n") << true << none;
    QTest::newRow("a main that divides: the start-up and the division routines")
        << StartupMain + Divides << true << division;
    QTest::newRow("header reserved and dividing: the division routines behind the source")
        << GoodSource + Divides << false << division;
    QTest::newRow("cleared external RAM alone: its zeros stored for the start-up to copy")
        << StartupMain + "    .section .sbss, \"aw\", %nobits\n    .space 16\n"
        << true << none;
    QTest::newRow("header reserved: the usual linker script's names that mean something there")
        << GoodSource
            + "    .word __bss_start__, __bss_end__, __data_start__, __data_end__, __data_lma\n"
              "    .word __eheap_start, __eheap_end, __sp_usr, __sp_irq\n"
        << false << none;
    QTest::newRow("its own __aeabi_idiv0: the program's, not ours")
        << StartupMain + Divides
            + "    .global __aeabi_idiv0\n__aeabi_idiv0:\n    mvn r0, #0\n    bx lr\n"
        << true << QStringList { QStringLiteral("uidivmod"), QStringLiteral("idivmod") };
}

void TestTarnwick::kindIsToldApart()
{
    QFETCH(QByteArray, source);
    QFETCH(bool, withStartup);
    QFETCH(QStringList, routines);
    QVERIFY(writeFile(path(QStringLiteral("src/kind.s")), source));

    const Result result = tarnwick(
        { QStringLiteral("src/kind.s"), QStringLiteral("out/Kind Of Game.gba") }, m_work->path());

    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.errors, QString());
    const QByteArray image = readFile(path(QStringLiteral("out/Kind Of Game.gba")));
    QVERIFY(image.size() > HeaderSize);
    QCOMPARE(word(image, 0) >> 24, quint32(0xEA));
    QVERIFY(branchTarget(word(image, 0)) >= HeaderSize);
    QVERIFY(headerChecksumHolds(image));
    QCOMPARE(objcopyImage(path(QStringLiteral("out/Kind Of Game.elf"))), image);
    // The start-up names the game after the output; a reserved header keeps its own title.
    QCOMPARE(image.mid(0xA0, 12), withStartup ? QByteArray("KIND OF GAME") : QByteArray(12, '\0'));
    if (withStartup)
        QCOMPARE(image.mid(4, 0x9C), QByteArray(0x9C, '\0'));

    // The image is the start-up's code, the source's (with the zeros of .sbss, which the
    // start-up copies) and the routines it calls, each assembled on its own here, and
    // nothing more.
    QString problem;
    const auto codeSize = [&](const QString &source, const char *section) {
        const QString object = path(QFileInfo(source).completeBaseName() + QStringLiteral(".o"));
        return assembleObject(source, object, &problem)
            ? sectionSize(object, QLatin1String(section))
            : -1;
    };
    const QString runtime = QStringLiteral(TARNWICK_RUNTIME_DIR "/");
    qint64 expected = codeSize(path(QStringLiteral("src/kind.s")), ".text");
    if (withStartup) {
        expected += qMax<qint64>(
            0, sectionSize(path(QStringLiteral("kind.o")), QStringLiteral(".sbss")));
        expected += codeSize(runtime + QStringLiteral("startup.s"), ".tarnwick_start");
    }
    for (const QString &routine : routines)
        expected += codeSize(runtime + routine + QStringLiteral(".s"), ".text");
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(qint64(image.size()), expected);
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
    const QString eitherOr = QStringLiteral(
        "the source must either reserve the 192-byte header (start with a branch past it, for "
        "example \"b start\", then .space 188) or define a global `main`");
    QTest::newRow("neither a header nor a global main: refused")
        << QByteArray("    .text\n    b .\n")
        << QStringLiteral("src/bad.s: Error: the image is 4 bytes, shorter than the cartridge "
                          "header, and the source defines no global `main`; ")
            + eitherOr;
    QTest::newRow("code where the header belongs and no main: refused")
        << QByteArray("    .text\n    mov r0, #0\n    .space 200\n")
        << QStringLiteral("src/bad.s: Error: the first instruction is not an ARM branch past "
                          "the 192-byte cartridge header, and the source defines no global "
                          "`main`; ")
            + eitherOr;
    QTest::newRow("a main that is not global is no main: refused")
        << QByteArray("    .text\nmain:\n    bx lr\n") << eitherOr;
    QTest::newRow("cleared data beyond internal RAM: refused, naming it")
        << StartupMain + "    .bss\n    .space 0x7C00\n"
        << QStringLiteral("src/bad.s: Error: the program does not fit into internal RAM "
                          "(region `iwram'): 256 bytes too many");
    QTest::newRow("a table beyond external RAM: refused, naming it")
        << StartupMain + "    .section .ewram, \"aw\"\n    .space 0x40004\n"
        << QStringLiteral("src/bad.s: Error: section `.ewram' does not fit into external RAM "
                          "(region `ewram')");
    QTest::newRow("a start-up program beyond the cartridge: refused, naming it")
        << StartupMain + "    .space 0x2000000\n"
        << QStringLiteral("src/bad.s: Error: section `.text' does not fit into cartridge ROM "
                          "(region `rom')");
    QTest::newRow("a writable section the start-up would not copy: refused")
        << StartupMain + "    .section .mydata, \"aw\"\n    .word 1\n"
        << QStringLiteral("src/bad.s: Error: section `.mydata' would lie in RAM at 0x03000000 "
                          "without the start-up copying or clearing it");
    QTest::newRow("more than a cartridge holds: refused") << GoodSource + "    .space 0x2000000\n"
                                                          << QStringLiteral("src/bad.s: ");
    // cc1 grew without end on this, until the system's out-of-memory killer came.
    QTest::newRow("an include of an endless device: ended by the tools' bound on memory")
        << "#include \"/dev/zero\"\n" + GoodSource
        << QStringLiteral("src/bad.s: note: cpp may use at most ");
}

void TestTarnwick::sourceErrors()
{
    QFETCH(QByteArray, source);
    QFETCH(QString, message);

    QVERIFY(writeFile(path(QStringLiteral("src/bad.s")), source));
    QVERIFY(writeFile(path(QStringLiteral("out/demo.elf")), EarlierImage + " and its program"));
    const Result result
        = tarnwick({ QStringLiteral("src/bad.s"), QStringLiteral("out/demo.gba") }, m_work->path());
    QVERIFY2(result.finished, "tarnwick did not finish");
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.errors.contains(message), qPrintable(result.errors));

    QCOMPARE(entries(path(QStringLiteral("out"))),
        QStringList({ QStringLiteral("demo.elf"), QStringLiteral("demo.gba") }));
    QCOMPARE(readFile(path(QStringLiteral("out/demo.gba"))), EarlierImage);
    QCOMPARE(readFile(path(QStringLiteral("out/demo.elf"))), EarlierImage + " and its program");
}

void TestTarnwick::programFromFolders_data()
{
    // Files below the work folder as "path", "contents", ...; the first is the source.
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<int>("exitCode");
    // Empty: nothing on standard error.
    QTest::addColumn<QString>("message");
    // tarnwick's two arguments; by default the first file and out/demo.gba. A source of
    // /dev/stdin reads the first file from standard input.
    QTest::addColumn<QStringList>("arguments");
    const QStringList Defaults;

    const QString mainCalling = QStringLiteral(
        "    .global main\nmain:\n    push {lr}\n    bl fill\n    ldr r0, =table\n    pop {lr}\n"
        "    bx lr\n");
    const QString routines = QStringLiteral("    .global fill\nfill:\n    bx lr\n");
    const QString data = QStringLiteral("    .data\n    .global table\ntable: .word 1\n");

    QTest::newRow("a preprocessed source with a header beside it")
        << QStringList { QStringLiteral("src/main.S"),
               QStringLiteral("#include \"defs.h\"\n#if ANSWER != 42\n#error no\n#endif\n"
                              "    .global main // the start-up calls it\nmain:\n"
                              "    mov r0, #ANSWER\n    bx lr\n"),
               QStringLiteral("src/defs.h"), QStringLiteral("#define ANSWER 42\n") }
        << 0 << QString() << Defaults;
    QTest::newRow("a preprocessor error names the header and its line")
        << QStringList { QStringLiteral("src/main.S"),
               QStringLiteral("#include \"defs.h\"\n    .global main\nmain: bx lr\n"),
               QStringLiteral("src/defs.h"), QStringLiteral("\n#error the answer is missing\n") }
        << 1 << QStringLiteral("src/defs.h:2:2: error: #error the answer is missing") << Defaults;
    QTest::newRow("lines starting with # that are no directive stay comments")
        << QStringList { QStringLiteral("src/main.s"),
               QStringLiteral("# the colours\n#   1 = red\n    .global main\nmain: bx lr\n") }
        << 0 << QString() << Defaults;
    QTest::newRow("includes written from the project's top folder resolve from src/")
        << QStringList { QStringLiteral("src/main.s"),
               QStringLiteral("    .include \"src/consts.inc\"\n    .global main\nmain:\n"
                              "    ldr r0, =VALUE\n    ldr r1, =picture\n    bx lr\n"),
               QStringLiteral("src/consts.inc"),
               QStringLiteral("    .equ VALUE, 3\n    .section .rodata\npicture:\n"
                              "    .incbin \"gfx/pic.bin\"\n    .text\n"),
               QStringLiteral("gfx/pic.bin"), QStringLiteral("PICTURE!") }
        << 0 << QString() << Defaults;
    QTest::newRow("a 30 MiB .incbin fits the tools' bound on memory")
        << QStringList { QStringLiteral("src/main.s"),
               QStringLiteral("    .global main\nmain: bx lr\n    .incbin \"big.bin\"\n"),
               QStringLiteral("src/big.bin"), QString(30 << 20, QLatin1Char('x')) }
        << 0 << QString() << Defaults;
    // as wrote an object of gigabytes into memory, without sections.
    QTest::newRow("an .incbin far larger than a cartridge: ended by the tools' bound on files")
        << QStringList { QStringLiteral("src/main.s"),
               QStringLiteral("    .global main\nmain: bx lr\n    .incbin \"huge.bin\"\n"),
               QStringLiteral("src/huge.bin"), QStringLiteral("sparse:300") }
        << 1 << QStringLiteral("src/main.s: note: arm-none-eabi-as may write at most 256 MiB")
        << Defaults;
    QTest::newRow("an include beside the source wins over one above it")
        << QStringList { QStringLiteral("src/main.s"),
               QStringLiteral("    .include \"near.inc\"\n    .global main\nmain: bx lr\n"),
               QStringLiteral("src/near.inc"), QStringLiteral("    nop\n"),
               QStringLiteral("near.inc"), QStringLiteral("    not an instruction\n") }
        << 0 << QString() << Defaults;
    QTest::newRow("an error in an include names the include as the user would")
        << QStringList { QStringLiteral("src/main.s"),
               QStringLiteral("    .include \"near.inc\"\n    .global main\nmain: bx lr\n"),
               QStringLiteral("src/near.inc"), QStringLiteral("\n    frobnicate\n") }
        << 1 << QStringLiteral("src/near.inc:2: Error: bad instruction `frobnicate'") << Defaults;
    QTest::newRow("routines and data in files beside the source are linked in")
        << QStringList { QStringLiteral("src/main.s"), mainCalling, QStringLiteral("src/fill.asm"),
               routines, QStringLiteral("src/table.S"), data }
        << 0 << QString() << Defaults;
    QTest::newRow("another program in the folder and a broken file nobody needs stay out")
        << QStringList { QStringLiteral("src/main.s"), mainCalling, QStringLiteral("src/fill.s"),
               routines, QStringLiteral("src/table.s"), data, QStringLiteral("src/other.s"),
               QStringLiteral("    .global main\nmain: b main\n"), QStringLiteral("src/broken.s"),
               QStringLiteral("    not assembly at all\n") }
        << 0 << QString() << Defaults;
    QTest::newRow("a symbol that two files define: refused, naming both")
        << QStringList { QStringLiteral("src/main.s"), mainCalling, QStringLiteral("src/fill.s"),
               routines, QStringLiteral("src/table.s"), data, QStringLiteral("src/more.s"),
               routines }
        << 1
        << QStringLiteral("src/main.s: Error: `fill' is defined both in src/fill.s and in "
                          "src/more.s")
        << Defaults;
    QTest::newRow("a symbol that no file defines: the line that uses it")
        << QStringList { QStringLiteral("src/main.s"), mainCalling, QStringLiteral("src/fill.s"),
               routines }
        << 1 << QStringLiteral("src/main.s:5: undefined reference to `table'") << Defaults;
    QTest::newRow("a broken file that names what is missing tells why")
        << QStringList { QStringLiteral("src/main.s"), mainCalling, QStringLiteral("src/fill.s"),
               routines, QStringLiteral("src/table.s"),
               QStringLiteral("    .global table\ntable: .wrod 1\n") }
        << 1
        << QStringLiteral("src/table.s:2: Error: unknown pseudo-op: `.wrod'\nsrc/table.s:2: note: "
                          "the program needs `table' from this file, which does not assemble")
        << Defaults;
    QTest::newRow("an output that is another source of the program: refused, the source kept")
        << QStringList { QStringLiteral("src/main.s"), mainCalling, QStringLiteral("src/fill.s"),
               routines, QStringLiteral("src/table.s"), data }
        << 1 << QStringLiteral("the output \"src/fill.s\" is a source of the program, src/fill.s")
        << QStringList { QStringLiteral("src/main.s"), QStringLiteral("src/fill.s") };
    QTest::newRow("an output that is a file the source includes: refused, the file kept")
        << QStringList { QStringLiteral("src/main.s"),
               QStringLiteral("    .include \"near.inc\"\n    .global main\nmain: bx lr\n"),
               QStringLiteral("src/near.inc"), QStringLiteral("    nop\n") }
        << 1 << QStringLiteral("the output \"src/near.inc\" is a file that src/main.s includes")
        << QStringList { QStringLiteral("src/main.s"), QStringLiteral("src/near.inc") };
    QTest::newRow("a linked program's name that is a file the source includes: refused")
        << QStringList { QStringLiteral("src/main.s"),
               QStringLiteral("    .incbin \"near.elf\"\n    .global main\nmain: bx lr\n"),
               QStringLiteral("src/near.elf"), QStringLiteral("ELF") }
        << 1 << QStringLiteral("the output \"src/near.elf\" is a file that src/main.s includes")
        << QStringList { QStringLiteral("src/main.s"), QStringLiteral("src/near.gba") };
    const QString needingNowhere = QStringLiteral("    .global fill\nfill:\n    bl nowhere\n");
    QTest::newRow("a project's nearer folder wins over a farther one")
        << QStringList { QStringLiteral("src/main.s"), mainCalling, QStringLiteral("data/fill.s"),
               routines, QStringLiteral("far/away/fill.s"), needingNowhere,
               QStringLiteral("src/tables/table.s"), data }
        << 0
        << QStringLiteral("src/main.s: note: the program takes data/fill.s from outside the "
                          "source's folder; with no build description and no repository around "
                          "the source, tarnwick took ./ for its project")
        << Defaults;
    QTest::newRow("two definitions as near in the project: refused, naming both")
        << QStringList { QStringLiteral("src/main.s"), mainCalling, QStringLiteral("data/fill.s"),
               routines, QStringLiteral("lib/fill.s"), routines, QStringLiteral("src/table.s"),
               data }
        << 1
        << QStringLiteral("src/main.s: Error: `fill' is defined both in data/fill.s and in "
                          "lib/fill.s")
        << Defaults;
    const QString usesHero
        = QStringLiteral("    .global main\nmain: ldr r0, =heroTiles\n    bx lr\n");
    const auto picture
        = [&](const char *rule, const QStringList &files, int exitCode, const char *message) {
              QTest::newRow(rule) << QStringList { QStringLiteral("src/main.s"), usesHero } + files
                                  << exitCode << QString::fromUtf8(message) << Defaults;
          };
    picture("a picture beside the source gives the names it needs",
        { QStringLiteral("src/hero.png"), QStringLiteral("png:16x8") }, 0, "");
    picture("a picture nearer to the source wins over graphics/",
        { QStringLiteral("src/hero.png"), QStringLiteral("png:16x8"),
            QStringLiteral("graphics/hero.png"), QStringLiteral("not a picture") },
        0, "");
    picture("two pictures as near in the project: refused, naming both",
        { QStringLiteral("gfx/hero.png"), QStringLiteral("png:8x8"),
            QStringLiteral("graphics/hero.png"), QStringLiteral("png:8x8") },
        1, "gfx/hero.png: error: gfx/hero.png and graphics/hero.png are as near");
    picture("a file that is no picture: refused, naming it",
        { QStringLiteral("graphics/hero.png"), QStringLiteral("GIF89a") }, 1,
        "graphics/hero.png: error: it is not a picture");
    picture("a picture cut short: refused, naming it",
        { QStringLiteral("graphics/hero.png"), QStringLiteral("png:64x64:cut") }, 1,
        "graphics/hero.png: error: the PNG picture is cut short or damaged");
    picture("a header of 30000x30000 pixels: refused before decoding",
        { QStringLiteral("graphics/hero.png"), QStringLiteral("png:8x8:header") }, 1,
        "graphics/hero.png: error: the picture is 30000x30000 pixels, more than a cartridge");
    picture("tiles of a picture 12 pixels wide: refused",
        { QStringLiteral("graphics/hero.png"), QStringLiteral("png:12x8") }, 1,
        "graphics/hero.png: error: the picture is 12x8 pixels; as tiles its width and height "
        "must be multiples of 8");
    picture("16 bits a pixel asked of tiles: refused",
        { QStringLiteral("graphics/hero.png"), QStringLiteral("png:8x8"),
            QStringLiteral("graphics/hero.grit"), QStringLiteral("-gt -gB16") },
        1, "graphics/hero.png: error: tiles have 4 or 8 bits a pixel");
    picture("48 colours asked of 4-bit tiles without a map: refused",
        { QStringLiteral("graphics/hero.png"), QStringLiteral("png:48x8:banked"),
            QStringLiteral("graphics/hero.grit"), QStringLiteral("-gt -gB4") },
        1, "graphics/hero.png: error: the picture uses colour 47, more than 4 bits a pixel");
    // 16x8 pixels of 16 colours: two 8-bit tiles of 64 bytes, a palette of 16 colours.
    const QString lengthsChecked = QStringLiteral(
        "#include \"hero.h\"\n#if heroTilesLen != 128 || heroPalLen != 32\n#error lengths\n"
        "#endif\n    .global main\nmain: ldr r0, =heroTiles\n    bx lr\n");
    QTest::newRow("hero.h of a picture declares the lengths of its data for cpp")
        << QStringList { QStringLiteral("src/main.S"), lengthsChecked, QStringLiteral("Makefile"),
               QString(), QStringLiteral("graphics/hero.png"), QStringLiteral("png:16x8") }
        << 0 << QString() << Defaults;
    QTest::newRow("a hero.h of the project's own wins over the picture's")
        << QStringList { QStringLiteral("src/main.S"), lengthsChecked, QStringLiteral("Makefile"),
               QString(), QStringLiteral("graphics/hero.png"), QStringLiteral("png:8x8"),
               QStringLiteral("include/hero.h"),
               QStringLiteral("#define heroTilesLen 128\n#define heroPalLen 32\n") }
        << 0 << QString() << Defaults;
    QTest::newRow("an output that is the program's picture: refused, the picture kept")
        << QStringList { QStringLiteral("src/main.s"), usesHero, QStringLiteral("src/hero.png"),
               QStringLiteral("png:8x8") }
        << 1 << QStringLiteral("the output \"src/hero.png\" is a source of the program")
        << QStringList { QStringLiteral("src/main.s"), QStringLiteral("src/hero.png") };
    picture("an option tarnwick does not know: a warning naming its line, the rest taken",
        { QStringLiteral("graphics/hero.png"), QStringLiteral("png:8x8"),
            QStringLiteral("graphics/hero.grit"), QStringLiteral("# hero\n-gt -gB4\n-gX9 -m\n") },
        0, "graphics/hero.grit:3: warning: option -gX9 is not one tarnwick knows");
    QTest::newRow("a link back up and a named pipe in the project stop nothing")
        << QStringList { QStringLiteral("src/main.s"), mainCalling, QStringLiteral("data/fill.s"),
               routines, QStringLiteral("data/table.s"), data, QStringLiteral("data/up"),
               QStringLiteral("symlink:.."), QStringLiteral("data/pipe.s"),
               QStringLiteral("fifo:") }
        << 0 << QStringLiteral("the program takes data/fill.s and data/table.s from outside")
        << Defaults;
    QStringList crowded
        = { QStringLiteral("src/main.s"), QStringLiteral("    .global main\nmain: bl farther\n"),
              QStringLiteral("zz/far.s"), QStringLiteral("    .global farther\nfarther: bx lr\n") };
    for (int i = 0; i <= 4000; ++i)
        crowded << QStringLiteral("src/notes%1.txt").arg(i) << QString();
    QTest::newRow("a project larger than the search's bound: the message says so")
        << crowded << 1
        << QStringLiteral("src/main.s: note: the project ./ holds more than 4000 files and folders")
        << Defaults;
    // The first of two as near was linked, though the second was never seen.
    crowded = QStringList { QStringLiteral("src/main.s"), mainCalling, QStringLiteral("lib/fill.s"),
        routines, QStringLiteral("zz/fill.s"), routines, QStringLiteral("src/table.s"), data };
    for (int i = 0; i <= 4000; ++i)
        crowded << QStringLiteral("pictures/p%1.bin").arg(i) << QString();
    QTest::newRow("a definition found before the search's bound is linked with a note of it")
        << crowded << 0
        << QStringLiteral("src/main.s: note: `fill' is taken from lib/fill.s, but the project ./ "
                          "holds more than 4000 files and folders")
        << Defaults;
    // The neighbour's routine was linked, exit 0.
    for (const QString &bound :
        { QStringLiteral("game/.git/HEAD"), QStringLiteral("game/Makefile") })
        QTest::newRow(qPrintable(bound.section(u'/', 1, 1)
            + QStringLiteral(" bounds a clone: its neighbour lends it nothing")))
            << QStringList { QStringLiteral("game/main.s"), mainCalling, bound, QString(),
                   QStringLiteral("game/table.s"), data, QStringLiteral("other/fill.s"), routines,
                   QStringLiteral("other/Makefile"), QString() }
            << 1 << QStringLiteral("game/main.s:4: undefined reference to `fill'") << Defaults;
    // The exercise beside was linked, or its errors shown.
    const QString exercise
        = QStringLiteral("    .global main\nmain: bx lr\n    .global fill\nfill: bx lr\n");
    QTest::newRow("another exercise beside this one lends nothing and shows nothing")
        << QStringList { QStringLiteral("course/ex1/main.s"), mainCalling,
               QStringLiteral("course/ex1/table.s"), data, QStringLiteral("course/ex2/main.s"),
               exercise, QStringLiteral("course/ex2/broken.s"),
               QStringLiteral("fill: not assembly\n") }
        << 1 << QStringLiteral("course/ex1/main.s:4: undefined reference to `fill'\n") << Defaults;
    QTest::newRow("an exercise beside that does not assemble shows nothing either")
        << QStringList { QStringLiteral("course/ex1/main.s"), mainCalling,
               QStringLiteral("course/ex1/table.s"), data, QStringLiteral("course/ex2/main.s"),
               QStringLiteral("    .global main\nmain: bogus\n    .global fill\nfill: bx lr\n") }
        << 1 << QStringLiteral("^course/ex1/main.s:4: undefined reference to `fill'\n") << Defaults;
    QTest::newRow("a lib/ beside the exercises serves them, the exercises stay out")
        << QStringList { QStringLiteral("course/ex1/main.s"), mainCalling,
               QStringLiteral("course/ex1/table.s"), data, QStringLiteral("course/ex2/main.s"),
               exercise, QStringLiteral("course/lib/fill.s"), routines }
        << 0 << QStringLiteral("the program takes course/lib/fill.s from outside") << Defaults;
    // Only *.ld files were scripts: the overlay's names were undefined.
    QTest::newRow("a script named after -T in a .mak file, in another letter case, links")
        << QStringList { QStringLiteral("kit/main.s"),
               QStringLiteral(
                   "    .global AgbMain\nAgbMain: ldr r0, =__load_start_iwram0\n    bx lr\n"),
               QStringLiteral("kit/game.mak"), QStringLiteral("LDFLAGS = -T LinkScript\n"),
               QStringLiteral("kit/Linkscript"),
               QStringLiteral(
                   "ENTRY(_start)\nSECTIONS { .text 0x08000000 : { *(.text*) }\n"
                   "  OVERLAY 0x03000000 : AT (0x08010000) { .iwram0 { *(.iwram0) } } }\n"),
               QStringLiteral("kit/crt0.s"),
               QStringLiteral("    .global _start\n_start: b AgbMain\n    .space 188\n") }
        << 0 << QString() << Defaults;
    // The image was the 4 bytes of the picked file alone.
    QTest::newRow("a file of a program that is not its entry builds the program it belongs to")
        << QStringList { QStringLiteral("kit/main.s"),
               QStringLiteral("    .global AgbMain\nAgbMain: bx lr\n"),
               QStringLiteral("kit/crt0.s"),
               QStringLiteral(
                   "    .global _start\n_start: b reset\n    .space 188\nreset: bl AgbMain\n"),
               QStringLiteral("kit/lone.s"), QStringLiteral("    .global main\nmain: bx lr\n") }
        << 0
        << QStringLiteral("kit/main.s: note: this file defines neither a global `main' nor the "
                          "header, so tarnwick builds the program it belongs to, whose entry file "
                          "is kit/crt0.s\n")
        << Defaults;
    // A passwd file is the account database of a run without HOME; $WORK is the work folder.
    // The home's repository of dotfiles made the whole home the project, exit 0.
    QTest::newRow("without HOME the account's home folder bounds the project")
        << QStringList { QStringLiteral("home/src/game/main.s"), mainCalling,
               QStringLiteral("home/src/game/table.s"), data, QStringLiteral("home/.git/HEAD"),
               QString(), QStringLiteral("home/Downloads/old/fill.s"), routines,
               QStringLiteral("passwd"), QStringLiteral("root:x:0:0::$WORK/home:/bin/sh\n") }
        << 1 << QStringLiteral("home/src/game/main.s:4: undefined reference to `fill'") << Defaults;
    // The runs' home folder is home/ in the work folder.
    QTest::newRow("a lone source in a folder of the home folder reads nothing beyond it")
        << QStringList { QStringLiteral("home/Desktop/main.s"), mainCalling,
               QStringLiteral("home/lib/fill.s"), routines, QStringLiteral("home/lib/table.s"),
               data }
        << 1 << QStringLiteral("home/Desktop/main.s:4: undefined reference to `fill'") << Defaults;
    QStringList manyFiles = { QStringLiteral("src/main.s"),
        QStringLiteral("    .global main\nmain: bl f100\n    bx lr\n") };
    for (rlim_t i = 0; i < OpenFileLimit + 50; ++i) {
        manyFiles << QStringLiteral("src/f%1.s").arg(i)
                  << QStringLiteral("    .global f%1\nf%1: bx lr\n").arg(i);
    }
    // Every tool run was handed every file of the folder.
    QTest::newRow("more sources in the folder than open files allowed: builds")
        << manyFiles << 0 << QString() << Defaults;
    // Shortened as text, link/../main.s was the broken main.s beside the link.
    QTest::newRow("a .. after a symbolic link means the folder above the link's target")
        << QStringList { QStringLiteral("lib/sub/keep.inc"), QStringLiteral("\n"),
               QStringLiteral("lib/main.s"), QString::fromLatin1(StartupMain),
               QStringLiteral("main.s"), QStringLiteral("not assembly\n"), QStringLiteral("link"),
               QStringLiteral("symlink:lib/sub") }
        << 0 << QString()
        << QStringList { QStringLiteral("link/../main.s"), QStringLiteral("out/demo.gba") };
    // A project folder's name reached the terminal raw and forged a message of its own.
    QTest::newRow("names from the project's folders and tarnwick's notes have controls escaped")
        << QStringList { u"src/main.s"_qs,
               u"    .text\n    .global main\nmain:\n    .include \"x.inc\"\n"
               "    .include \"y\x1b[1m.inc\"\n"_qs,
               u"Makefile"_qs, QString(), u"lib\nevil.s:99: Error: forged\x1b[31m/x.inc"_qs,
               u"    frobnicate\n"_qs }
        << 1
        << u"lib\\nevil.s:99: Error: forged\\x1b[31m/x.inc:1: Error: bad instruction `frobnicate'\n"
           "src/main.s:5: Error: can't open y\\x1b[1m.inc for reading: No such file or directory\n"
           "src/main.s:5: note: y\\x1b[1m.inc is in none of the folders searched"_qs
        << Defaults;
    // The check read tarnwick's standard input, the tools their own (/dev/null).
    QTest::newRow("a source given as /dev/stdin is the file on standard input")
        << QStringList { QStringLiteral("src/main.s"),
               QStringLiteral("    .include \"near.inc\"\n    .global main\nmain: bx lr\n"),
               QStringLiteral("src/near.inc"), QStringLiteral("    nop\n") }
        << 0 << QString()
        << QStringList { QStringLiteral("/dev/stdin"), QStringLiteral("out/demo.gba") };
}

void TestTarnwick::programFromFolders()
{
    QFETCH(QStringList, files);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QFETCH(QStringList, arguments);
    files.replaceInStrings(QStringLiteral("$WORK"), m_work->path());
    for (qsizetype i = 0; i + 1 < files.size(); i += 2) {
        QVERIFY(QDir(m_work->path()).mkpath(QFileInfo(path(files[i])).path()));
        if (files[i + 1].startsWith(QLatin1String("symlink:")))
            QVERIFY(QFile::link(files[i + 1].mid(8), path(files[i])));
        else if (files[i + 1] == QLatin1String("fifo:"))
            QVERIFY(makeNamedPipe(path(files[i])));
        else if (files[i + 1].startsWith(QLatin1String("png:")))
            QVERIFY(writeFile(path(files[i]), pictureFile(files[i + 1])));
        else if (files[i + 1].startsWith(QLatin1String("sparse:")))
            QVERIFY(writeFile(path(files[i]), QByteArray())
                && QFile(path(files[i])).resize(qint64(files[i + 1].mid(7).toInt()) << 20));
        else
            QVERIFY(writeFile(path(files[i]), files[i + 1].toUtf8()));
    }
    if (arguments.isEmpty())
        arguments = QStringList { files.first(), QStringLiteral("out/demo.gba") };

    QProcessEnvironment environment = quietEnvironment();
    environment.insert(QStringLiteral("HOME"), path(QStringLiteral("home")));
    const QTemporaryDir temporary;
    environment.insert(QStringLiteral("TMPDIR"), temporary.path());
    const bool accounts = files.contains(QStringLiteral("passwd"));
    if (accounts)
        environment.remove(QStringLiteral("HOME"));
    const Result result = accounts
        ? run(QStringLiteral("unshare"),
            QStringList { QStringLiteral("-rm"), QStringLiteral("sh"), QStringLiteral("-c"),
                QStringLiteral("mount --bind passwd /etc/passwd && exec \"$@\""),
                QStringLiteral("sh"), tarnwickPath() }
                + arguments,
            m_work->path(), environment)
        : tarnwick(arguments, m_work->path(), environment,
            arguments.first() == QLatin1String("/dev/stdin") ? path(files.first()) : QString());

    QVERIFY2(result.finished, "tarnwick did not finish");
    QVERIFY2(result.exitCode == exitCode, qPrintable(result.errors));
    if (message.isEmpty())
        QCOMPARE(result.errors, QString());
    else if (message.startsWith(u'^'))
        QVERIFY2(result.errors.startsWith(message.mid(1)), qPrintable(result.errors));
    else
        QVERIFY2(result.errors.contains(message), qPrintable(result.errors));
    const QByteArray image = readFile(path(QStringLiteral("out/demo.gba")));
    if (exitCode == 0)
        QVERIFY(headerChecksumHolds(image));
    else
        QCOMPARE(image, EarlierImage);
    QCOMPARE(QDir(temporary.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), {});
    // Nothing but the output is ever written.
    for (qsizetype i = 0; i + 1 < files.size(); i += 2) {
        static const QRegularExpression made(QStringLiteral("^(symlink|fifo|sparse|png):"));
        if (!made.match(files[i + 1]).hasMatch())
            QCOMPARE(readFile(path(files[i])), files[i + 1].toUtf8());
    }
}

void TestTarnwick::picturesShowAsDrawn_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QSize>("size");
    // The picture's options file; none if null.
    QTest::addColumn<QString>("options");
    // The name main uses, and the number of tiles the data must hold (-1: any).
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("tiles");
    const QString paletted = QStringLiteral("paletted");
    const QString truecolour = QStringLiteral("truecolour");

    QTest::newRow("4-bit tiles and a flat map: repeated and mirrored tiles kept once")
        << paletted << QSize(64, 32) << QStringLiteral("-gt -gB4 -p -m -mRtf")
        << QStringLiteral("heroMap") << 4;
    QTest::newRow("without reduction every place of the map has a tile of its own")
        << paletted << QSize(32, 16) << QStringLiteral("-gt -gB4 -m -mR!")
        << QStringLiteral("heroTiles") << 8;
    QTest::newRow("8-bit tiles, a map of 40x32 tiles in two screen blocks")
        << paletted << QSize(320, 256) << QStringLiteral("-gt -gB8 -m -mLs # blocks\n-mRtf\n")
        << QStringLiteral("heroMapLen") << 4;
    QTest::newRow("true colour reduced to 16 colours by the quantizer, magenta at index 0")
        << truecolour << QSize(64, 32) << QStringLiteral("-gt -gB4 -p -m")
        << QStringLiteral("heroPal") << 4;
    QTest::newRow("transparent pixels of a true-colour picture take index 0")
        << QStringLiteral("alpha") << QSize(32, 16) << QStringLiteral("-gt -gB8")
        << QStringLiteral("heroTiles") << 8;
    QTest::newRow("4-bit tiles in three palette banks: one tile a pattern, the bank in the map")
        << QStringLiteral("banked") << QSize(48, 16) << QStringLiteral("-gt -gB4 -m -mRtpf")
        << QStringLiteral("heroMap") << 4;
    QTest::newRow("-pT swaps the transparent colour with index 3")
        << paletted << QSize(32, 16) << QStringLiteral("-gt -gB4 -m -pT 3")
        << QStringLiteral("heroPalLen") << -1;
    QTest::newRow("16x16 sprites: tiles in the order of 1D mapping")
        << paletted << QSize(32, 16) << QStringLiteral("-gt -gB4 -Mw2 -Mh2")
        << QStringLiteral("heroTiles") << 8;
    QTest::newRow("a true-colour picture without options: a 16-bit bitmap")
        << truecolour << QSize(240, 160) << QString() << QStringLiteral("heroBitmap") << -1;
    QTest::newRow("an 8-bit bitmap through the palette")
        << paletted << QSize(40, 8) << QStringLiteral("-gb -gB8") << QStringLiteral("heroBitmap")
        << -1;
    QTest::newRow("tiles, map and palette packed with LZ77 unpack to what they were")
        << paletted << QSize(64, 32) << QStringLiteral("-gt -gB4 -m -Zl")
        << QStringLiteral("heroTilesLen") << 4;
    QTest::newRow("a BMP file reads as a PNG does")
        << QStringLiteral("bmp") << QSize(32, 16) << QStringLiteral("-gt -gB4 -m")
        << QStringLiteral("heroMap") << 4;
}

void TestTarnwick::picturesShowAsDrawn()
{
    QFETCH(QString, kind);
    QFETCH(QSize, size);
    QFETCH(QString, options);
    QFETCH(QString, name);
    QFETCH(int, tiles);
    const QImage picture = testPicture(kind, size);
    QVERIFY(QDir(m_work->path()).mkpath(QStringLiteral("graphics"))
        && writeFile(path(QStringLiteral("Makefile")), {})
        && writeFile(path(QStringLiteral("src/main.s")),
            "    .global main\nmain: ldr r0, =" + name.toLatin1() + "\n    bx lr\n")
        && picture.save(path(kind == QLatin1String("bmp") ? QStringLiteral("graphics/hero.bmp")
                                                          : QStringLiteral("graphics/hero.png")))
        && (options.isNull()
            || writeFile(path(QStringLiteral("graphics/hero.grit")), options.toUtf8())));

    const Result result = tarnwick(
        { QStringLiteral("src/main.s"), QStringLiteral("out/demo.gba") }, m_work->path());

    QVERIFY2(result.exitCode == 0 && result.errors.isEmpty(), qPrintable(result.errors));
    // The data as the handheld finds it, by the names and lengths the program links.
    const QByteArray image = readFile(path(QStringLiteral("out/demo.gba")));
    const QByteArray program = readFile(path(QStringLiteral("out/demo.elf")));
    Tarnwick::ElfFile elf;
    QCOMPARE(QString::fromStdString(elf.read(Tarnwick::Bytes(program.begin(), program.end()))),
        QString());
    QMap<QString, quint32> symbols;
    for (const Tarnwick::ElfFile::Symbol &symbol : elf.symbols())
        symbols.insert(QString::fromStdString(symbol.name), symbol.value);
    const auto data = [&](const char *part) {
        const QString named = QStringLiteral("hero") + QLatin1String(part);
        const QByteArray bytes = symbols.contains(named)
            ? image.mid(symbols[named] - RomBase, symbols[named + QStringLiteral("Len")])
            : QByteArray();
        return options.contains(QLatin1String("-Zl")) ? unpackLz77(bytes) : bytes;
    };
    const bool bitmap = symbols.contains(QStringLiteral("heroBitmap"));
    const QByteArray graphics = data(bitmap ? "Bitmap" : "Tiles");
    const QByteArray map = data("Map");
    const QByteArray palette = data("Pal");
    const int bits = options.contains(QLatin1String("-gB4")) ? 4
        : options.contains(QLatin1String("-gB8"))            ? 8
                                                             : 16;
    const auto byteAt = [](const QByteArray &bytes, qsizetype at) {
        return at < bytes.size() ? quint8(bytes.at(at)) : quint8(0);
    };
    const auto halfword = [&byteAt](const QByteArray &bytes, qsizetype at) {
        return quint16(byteAt(bytes, 2 * at) | byteAt(bytes, 2 * at + 1) << 8);
    };
    const auto pixel = [&](qsizetype at) {
        const quint8 byte = byteAt(graphics, bits == 4 ? at / 2 : at);
        return bits == 4 ? (byte >> 4 * (at % 2)) & 0xF : byte;
    };
    const QRegularExpression meta(QStringLiteral("-Mw(\\d+) -Mh(\\d+)"));
    const QRegularExpressionMatch metaSize = meta.match(options);
    const int metaWidth = metaSize.hasMatch() ? metaSize.captured(1).toInt() : 1;
    const int metaHeight = metaSize.hasMatch() ? metaSize.captured(2).toInt() : 1;
    if (tiles >= 0)
        QCOMPARE(graphics.size(), tiles * 8 * bits);
    const int columns = size.width() / 8;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            int across = x % 8;
            int down = y % 8;
            int tile = 0;
            int bank = 0;
            if (!map.isEmpty()) {
                const int tileX = x / 8;
                const int tileY = y / 8;
                const quint16 entry = halfword(map,
                    options.contains(QLatin1String("-mLs"))
                        ? (tileY / 32 * ((columns + 31) / 32) + tileX / 32) * 1024 + tileY % 32 * 32
                            + tileX % 32
                        : tileY * columns + tileX);
                tile = entry & 0x3FF;
                across = entry & 0x400 ? 7 - across : across;
                down = entry & 0x800 ? 7 - down : down;
                bank = bits == 4 ? entry >> 12 : 0;
            } else {
                const int metaTile = y / 8 / metaHeight * (columns / metaWidth) + x / 8 / metaWidth;
                tile = metaTile * metaWidth * metaHeight + y / 8 % metaHeight * metaWidth
                    + x / 8 % metaWidth;
            }
            const quint16 shown = bitmap
                ? (bits == 16 ? halfword(graphics, y * size.width() + x)
                              : halfword(palette, pixel(y * size.width() + x)))
                : halfword(palette, bank * 16 + pixel(tile * 64 + down * 8 + across));
            QColor drawn = picture.pixelColor(x, y);
            if (drawn.alpha() < 128)
                drawn = QColor(255, 0, 255);
            const auto part = [](int value) { return (value * 31 + 127) / 255; };
            const quint16 expected
                = quint16(part(drawn.red()) | part(drawn.green()) << 5 | part(drawn.blue()) << 10);
            if (shown != expected)
                QFAIL(qPrintable(QStringLiteral("pixel (%1, %2) shows %3, drawn %4")
                                     .arg(x)
                                     .arg(y)
                                     .arg(shown, 4, 16)
                                     .arg(expected, 4, 16)));
        }
    }
}

void TestTarnwick::mistakesAreExplained_data()
{
    // The columns of programFromFolders; the message is the mistake's with its note after it.
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("arguments");
    const QString main = QStringLiteral("src/main.s");
    const QString arm = QStringLiteral("    .text\n    .global main\nmain:\n");
    const QString thumb = arm + QStringLiteral("    .thumb\n");
    const auto row = [&](const char *name, const QString &code, const QString &message) {
        QTest::newRow(name) << QStringList { main, code } << 1 << message << QStringList();
    };

    row("an immediate ARM cannot encode: 8 bits rotated, or ldr =",
        arm + u"    mov r1, #0x0404\n"_qs,
        u"src/main.s:4: Error: invalid constant (404) after fixup\nsrc/main.s:4: note: an ARM "
        "immediate is 8 bits rotated by an even amount; this one is not: load it with `ldr rN, "
        "=value`"_qs);
    row("a literal pool too far: .ltorg within 4 KiB",
        arm + u"    ldr r0, =0x12345678\n    bx lr\n    .space 5000\n"_qs,
        u"src/main.s:4: note: `ldr rN, =` reads its value from a pool within 4 KiB: put `.ltorg`"_qs);
    row("a Thumb conditional branch out of range: its reach and the way round",
        thumb + u"    beq far\n    .space 300\nfar:\n    bx lr\n"_qs,
        u"src/main.s:5: Error: branch out of range\nsrc/main.s:5: note: a Thumb conditional "
        "branch reaches ±256 bytes"_qs);
    row("an ARMv5 instruction: the processor lacks it", arm + u"    clz r1, r0\n"_qs,
        u"src/main.s:4: note: the ARM7TDMI has no `clz` (ARMv5)"_qs);
    row("a Thumb-2 instruction: the plain equivalent", thumb + u"    cbz r0, main\n"_qs,
        u"src/main.s:5: note: the ARM7TDMI (ARMv4T) has no `cbz`: write `cmp rN, #0`, then `beq"_qs);
    row("; as a comment: explained once for the source",
        arm + u"    add r0, r0, #2 ; add two\n    add r1, r1, #3 ; add three\n"_qs,
        u"src/main.s:4: Error: ARM register expected -- `add two'\nsrc/main.s:4: note: GNU as "
        "reads `;` as the end of a statement, not a comment: start comments with `@` (`//` "
        "with cpp)\nsrc/main.s:5: Error: ARM register expected -- `add three'\n"_qs);
    row("a Thumb immediate with a high register: only r0-r7", thumb + u"    mov r8, #1\n"_qs,
        u"src/main.s:5: note: this Thumb form takes only r0–r7"_qs);
    row("a load offset out of reach: how far it reaches", arm + u"    ldr r0, [r1, #4096]\n"_qs,
        u"src/main.s:4: note: ARM `ldr`, `str`, `ldrb` and `strb` reach ±4095 bytes"_qs);
    row("a main that is not global: its line, and .global main",
        u"    .text\n    nop\nmain:\n    bx lr\n"_qs,
        u"for tarnwick's start-up to call\nsrc/main.s:3: note: `main` is defined here, but not "
        "global: add `.global main` before it"_qs);
    // as reports the constant after the bad instruction below it.
    row("messages of a file in line order, each with its note",
        arm + u"    mov r1, #0x404\n    frobnicate\n    mov r2, #0x404\n"_qs,
        u"src/main.s:4: Error: invalid constant (404) after fixup\nsrc/main.s:4: note: an ARM "
        "immediate is 8 bits rotated by an even amount; this one is not: load it with `ldr rN, "
        "=value`\nsrc/main.s:5: Error: bad instruction `frobnicate'\nsrc/main.s:6: Error: "
        "invalid constant (404) after fixup\nsrc/main.s:6: note: "_qs);
    const QString unified = u"    .syntax unified\n"_qs + thumb;
    const auto noted
        = [&](const char *name, const QString &code, const QString &note, int exitCode = 1) {
              QTest::newRow(name) << QStringList { main, code } << exitCode
                                  << u"src/main.s:"_qs + note << QStringList();
          };
    noted("a Thumb pop of lr: pop {r3}, then bx r3", unified + u"    pop {r5, lr}\n"_qs,
        u"6: note: Thumb `pop` takes r0–r7 and pc, not lr: to return to ARM code, `pop {r3}`"_qs);
    noted("Thumb write-back: no ! and no post-index", unified + u"    strh r2, [r3, #4]!\n"_qs,
        u"6: note: Thumb `ldr` and `str` have no write-back"_qs);
    noted("subs with sp in Thumb: the SP forms", unified + u"    subs sp, sp, #16\n"_qs,
        u"6: note: the Thumb SP forms are `add sp, #n` and `sub sp, #n`"_qs);
    noted("an ARM routine under a .thumb from above: where .thumb began, said once",
        unified + u"    bx lr\ncopy:\n    stmfd sp!, {r4, lr}\n    ldmfd sp!, {r4, pc}\n"_qs,
        u"7: note: `.thumb` from line 5 still holds for `copy`, which is ARM code: put "
        "`.arm` before it\nsrc/main.s:9: Error: cannot honor width suffix -- `ldmfd sp!,{r4,pc}'\n"_qs);
    noted("adds in the divided syntax: the syntax, not the range",
        thumb + u"    adds r1, r1, #3\n"_qs,
        u"5: note: in the divided syntax, Thumb's `add` sets the flags: write `add`"_qs);
    noted("movsne in the divided syntax: movnes", thumb + u"    movsne r1, r2\n"_qs,
        u"5: note: `movsne` is spelt for `.syntax unified`: without it, write `movnes`"_qs);
    noted("movnes in the unified syntax: movsne",
        u"    .syntax unified\n"_qs + arm + u"    movnes r1, r2\n"_qs,
        u"5: note: under `.syntax unified` the condition comes last: write `movsne`"_qs, 0);
    noted("mul onto its first source: the sources swapped", arm + u"    mul r0, r0, r1\n"_qs,
        u"4: note: the ARM7TDMI's `mul` needs its destination apart from its first source: swap "
        "them, `mul r0, r1, r0`"_qs,
        0);
    noted("an ldm list out of order: number order", arm + u"    ldmia r0, {r3, r1}\n"_qs,
        u"4: note: `ldm`/`stm` move registers in number order"_qs, 0);
    noted("an unaligned label for Thumb ldr: .balign 4, and no note of reach",
        thumb + u"    ldr r2, tint\n    bx lr\n    .byte 1\ntint: .word 5\n    frobnicate\n"_qs,
        u"5: note: Thumb `ldr rN, label` and `adr` need `tint` (line 8) aligned: "
        "`.balign 4` before it\nsrc/main.s:5: Error: invalid offset, value too big "
        "(0x00000001)\nsrc/main.s:9: Error: bad"_qs);
    noted("adr to another section: ldr =", arm + u"    adr r1, tint\n    .data\ntint: .word 5\n"_qs,
        u"4: note: `adr` reaches only labels in its own section"_qs);
    noted("a label of a macro used twice: \\@ or numeric labels",
        arm + u"    .macro wait\nloop: b loop\n    .endm\n    wait\n    wait\n"_qs,
        u"5: note: `loop` is defined in a macro used more than once: name it `loop\\@`"_qs);
    noted("a .rept left open: .endr for the one on its line", arm + u"    .rept 3\n    nop\n"_qs,
        u"4: note: the `.rept` begun here has no end: add `.endr`"_qs);
    noted("# as a comment mid-line: @", arm + u"    mov r0, #1 # one\n"_qs,
        u"4: note: `#` starts a comment only at the start of a line: start comments with `@`"_qs);
    noted("a no-break space: named by code point", arm + u"    mov\u00A0r1, r0\n"_qs,
        u"4: note: the statement holds U+00A0 (a no-break space)"_qs);
    QTest::newRow("a byte-order mark at the very top is skipped, as other tools do")
        << QStringList { main, u"\uFEFF"_qs + arm + u"    b .\n"_qs } << 0 << QString()
        << QStringList();
    noted("a label in another letter case: did you mean", arm + u"    b Loop\nloop: b loop\n"_qs,
        u"5: note: did you mean `loop`? It is defined here"_qs);
    noted("an ARM bl to Thumb code without .thumb_func: a warning, and still built",
        arm + u"    bl draw\n    b .\n    .thumb\ndraw:\n    bx lr\n"_qs,
        u"7: note: put `.thumb_func` on the line before `draw:`, so that the linker makes the call"_qs,
        0);
    noted("a section without flags: a warning, and the flags to write",
        arm + u"    bx lr\n    .section .iwram\nfast: bx lr\n"_qs,
        u"5: Warning: section `.iwram` has contents but no flags, so none of it reaches the "
        "image\nsrc/main.s:5: note: write `.section .iwram, \"ax\", %progbits`"_qs,
        0);
    noted("code running on into its literal pool: a warning, and how to end it",
        arm + u"    ldr r0, =0x1234\n    mov r1, r0\n    .pool\n"_qs,
        u"5: Warning: the code from `main` runs on from its last instruction into data"_qs, 0);
    noted("an ARM swi with the number in the low bits, from a macro: its use, and bits 16-23",
        arm + u"    .macro bios n\n    swi \\n\n    .endm\n    bios 5\n    b .\n"_qs,
        u"7: note: in ARM code write the number shifted into bits 16–23, `swi 0x050000`"_qs, 0);
    noted("a Thumb swi with the number in bits 16-23: the number itself",
        thumb + u"    swi 0x050000\n"_qs, u"5: note: Thumb `swi` takes the function's number"_qs);
    // Each setting again is its own warning, the third one's too.
    noted("a symbol set again to another value, and again: both lines each time",
        arm
            + u"    .equ Width, 240\n    .set i, 0\n    .rept 2\n    .set i, i + 1\n    .endr\n"
              "    .equ Width, 160\n    .equ Width, 120\n    b .\n"_qs,
        u"9: Warning: `Width` is set again to another value, which holds from here on: line 4 set "
        "it to 240\nsrc/main.s:9: note: give each value a name of its own, or keep one `.equ "
        "Width`\nsrc/main.s:10: Warning: `Width` is set again to another value, which holds from "
        "here on: line 9 set it to 160"_qs,
        0);
    noted("a word loaded from after three bytes: a warning, and .balign 4",
        arm
            + u"    ldr r0, =tint\n    ldr r1, [r0]\n    b .\n    .data\n    .byte 1, 2, 3\n"
              "tint: .word 5\n"_qs,
        u"9: Warning: `tint` is not at a multiple of 4, and the code loads a word from it: the "
        "processor reads a rotated word\nsrc/main.s:9: note: put `.balign 4` on the line before "
        "`tint:`"_qs,
        0);
    noted("a byte stored into video RAM, through cpp: the store's line, and halfwords",
        u"#define VRAM 0x06000000\n"_qs + thumb
            + u"    ldr r0, =VRAM\n    strb r1, [r0]\n    b .\n    .pool\n"_qs,
        u"7: Warning: the code from `main` stores bytes into video RAM (0x06000000), where the "
        "hardware writes each into both bytes of its halfword\nsrc/main.s:7: note: store "
        "halfwords there (`strh`)"_qs,
        0);
    // Sound code on which each warning stays silent: the messages are empty.
    QTest::newRow("marked Thumb code, Thumb swi 5, a flagged section, data after b ., a byte "
                  "store into EWRAM, a word after .balign: no warning")
        << QStringList { main,
               arm
                   + u"    bl draw\n    ldr r2, =0x02000000\n    strb r0, [r2]\n"
                     "    ldr r3, =val\n    ldr r3, [r3]\n    ldr r0, =0x1234\n    b 1f\n"
                     "    .word 7\n1:  b .\n    .pool\n    .thumb\n    .thumb_func\n"
                     "draw:\n    swi 5\n    bx lr\n    .section .iwram, \"ax\"\n    .arm\n"
                     "fast: bx lr\n    .data\n    .byte 1\n    .balign 4\nval: .word 5\n"_qs }
        << 0 << QString() << QStringList();
    const QString calling = arm + QStringLiteral("    bl fill\n    bl drawsprite\n");
    QTest::newRow("a symbol another source defines without .global: its line, and .global")
        << QStringList { main, calling, QStringLiteral("src/fill.s"),
               QStringLiteral("fill:\n    bx lr\n    .global draw_sprite\ndraw_sprite: bx lr\n") }
        << 1
        << QStringLiteral("src/main.s:4: undefined reference to `fill'\nsrc/fill.s:1: note: "
                          "`fill` is defined here without `.global`, so other files cannot use "
                          "it: add `.global fill`\nsrc/main.s:5: undefined reference to "
                          "`drawsprite'\nsrc/fill.s:4: note: did you mean `draw_sprite`? It is "
                          "defined here")
        << QStringList();
    QTest::newRow("an include the project's build makes: the build description's line")
        << QStringList { main, arm + QStringLiteral("    .include \"gfx/tiles.inc\"\n"),
               QStringLiteral("Makefile"),
               QStringLiteral("all: game.gba\n\ngfx/tiles.inc: gfx/tiles.png\n") }
        << 1
        << QStringLiteral("\nMakefile:3: note: gfx/tiles.inc is made by the project's own build, "
                          "which names it here: run that build first")
        << QStringList();
    // The search began one folder up, where nothing may be a project.
    QTest::newRow("an include a build description beside the source makes: its line")
        << QStringList { QStringLiteral("main.s"),
               arm + QStringLiteral("    .include \"gfx/tiles.inc\"\n"), QStringLiteral("Makefile"),
               QStringLiteral("\ngfx/tiles.inc: tiles.png\n") }
        << 1
        << QStringLiteral("\nMakefile:2: note: gfx/tiles.inc is made by the project's own build")
        << QStringList();
    QTest::newRow("a build description of gigabytes: named as too large, not read")
        << QStringList { main, arm + QStringLiteral("    .include \"gfx/tiles.inc\"\n"),
               QStringLiteral("Makefile"), QStringLiteral("sparse:4096") }
        << 1 << QStringLiteral("\nMakefile: note: not read for the notes: it is larger than 16 MiB")
        << QStringList();
    QTest::newRow("Thumb code entered by bx without the Thumb bit: a warning, and still built")
        << QStringList { main,
               arm
                   + QStringLiteral(
                       "    ldr r0, =draw\n    bx r0\n    .thumb\ndraw:\n    b draw\n") }
        << 0
        << QStringLiteral("src/main.s:7: Warning: ARM code enters the Thumb code at `draw` through "
                          "`bx` with an address that lacks the Thumb bit (bit 0), so the processor "
                          "would run it in ARM state\nsrc/main.s:7: note: put `.thumb_func` on the "
                          "line before `draw:`, or load `draw + 1`")
        << QStringList();
    // The label's place was searched in the text, and `.if 0` hid nothing from the search.
    QTest::newRow("Thumb entry warned of at its label, not at one that .if 0 leaves out")
        << QStringList { main,
               arm
                   + u"    ldr r0, =draw\n    bx r0\n.if 0\ndraw:\n.endif\n    .thumb\n\ndraw:\n"
                     "    b draw\n"_qs }
        << 0 << u"src/main.s:11: Warning: ARM code enters the Thumb code at `draw`"_qs
        << QStringList();
    QTest::newRow("a close name defined in an include: the note is at the include's line")
        << QStringList { main, calling + u"    .include \"inc/draw.inc\"\n"_qs,
               u"src/inc/draw.inc"_qs,
               u"    .global fill\nfill: bx lr\n\ndraw_sprite:\n    bx lr\n"_qs }
        << 1 << u"src/inc/draw.inc:4: note: did you mean `draw_sprite`? It is defined here"_qs
        << QStringList();
    // The first ":digits:" of the line was taken for the place.
    QTest::newRow("a source named a:1:b.s keeps its name, its line and its note")
        << QStringList { u"src/a:1:b.s"_qs, arm + u"    clz r1, r0\n"_qs } << 1
        << u"src/a:1:b.s:4: note: the ARM7TDMI has no `clz` (ARMv5)"_qs << QStringList();
    QTest::newRow("Thumb code entered by bx with the Thumb bit: no warning") << QStringList { main,
        arm
            + QStringLiteral("    ldr r0, =draw\n    bx r0\n    adr r1, plot + 1\n    bx r1\n"
                             "    .thumb\n    .thumb_func\ndraw:\n    b draw\nplot: b plot\n") }
                                                                             << 0 << QString()
                                                                             << QStringList();
}

void TestTarnwick::mistakesAreExplained()
{
    programFromFolders();
}

void TestTarnwick::fileProblems_data()
{
    // tarnwick's arguments, after prlimit's options for the run if any.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    // Made before the run, and to be left as it was: a source of two bad lines (huge.s: of
    // gigabytes, sparse), 156 bytes for a logo, a link for "NAME -> TARGET", or for any other
    // name a symbolic link to itself.
    QTest::addColumn<QString>("made");

    QTest::newRow("missing source")
        << QStringList { QStringLiteral("src/none.s"), QStringLiteral("out/demo.gba") }
        << QStringLiteral("tarnwick: cannot read source \"src/none.s\"") << QString();
    QTest::newRow("source is a folder")
        << QStringList { QStringLiteral("src"), QStringLiteral("out/demo.gba") }
        << QStringLiteral("tarnwick: cannot read source \"src\": it is a folder") << QString();
    QTest::newRow("output folder does not exist")
        << QStringList { QStringLiteral("src/good.s"), QStringLiteral("gone/demo.gba") }
        << QStringLiteral("tarnwick: cannot write \"gone/demo.gba\"") << QString();
    QTest::newRow("output is a folder")
        << QStringList { QStringLiteral("src/good.s"), QStringLiteral("out") }
        << QStringLiteral("tarnwick: cannot write \"out\"") << QString();
    QTest::newRow("output would overwrite the source")
        << QStringList { QStringLiteral("src/good.s"), QStringLiteral("src/../src/good.s") }
        << QStringLiteral("is the source file itself") << QString();
    // Taken for a missing output, the link was replaced by the image.
    QTest::newRow("an output that is a loop of links is refused, the link left")
        << QStringList { QStringLiteral("src/good.s"), QStringLiteral("out/loop.gba") }
        << QStringLiteral("tarnwick: cannot write \"out/loop.gba\": Too many levels of symbolic "
                          "links")
        << QStringLiteral("out/loop.gba");
    QTest::newRow("--debug without the linked program beside the image: refused, saying why")
        << QStringList { QStringLiteral("--debug"), QStringLiteral("out/demo.gba") }
        << QStringLiteral("tarnwick: error: no linked program \"out/demo.elf\" beside the image "
                          "\"out/demo.gba\"")
        << QString();
    QTest::newRow("a newline in the source's name is escaped: one line for each message")
        << QStringList { QStringLiteral("src/two\nlines.s"), QStringLiteral("out/demo.gba") }
        << QStringLiteral("src/two\\nlines.s:1: Error: bad instruction `frobnicate'\n"
                          "src/two\\nlines.s:2: Error: bad instruction `frobnicate'\n")
        << QStringLiteral("src/two\nlines.s");
    // Both were written into one file, the linked program last.
    QTest::newRow("a linked program's name linked to the output: refused, nothing written")
        << QStringList { QStringLiteral("src/good.s"), QStringLiteral("out/new.gba") }
        << QStringLiteral("where the linked program goes, is the output \"out/new.gba\" itself")
        << QStringLiteral("out/new.elf -> new.gba");
    QTest::newRow("an output linked to its linked program's name: refused, nothing written")
        << QStringList { QStringLiteral("src/good.s"), QStringLiteral("out/new.gba") }
        << QStringLiteral("where the linked program goes, is the output \"out/new.gba\" itself")
        << QStringLiteral("out/new.gba -> new.elf");
    QTest::newRow("the kept logo as the output: refused, the logo kept")
        << QStringList { QStringLiteral("src/good.s"), QStringLiteral("data/tarnwick/logo") }
        << QStringLiteral("the output \"data/tarnwick/logo\" is tarnwick's own logo file")
        << QStringLiteral("data/tarnwick/logo");
    // Read whole, it ended the run in an abort, with no message of tarnwick's.
    QTest::newRow("a source of gigabytes under a memory limit: named as too large, not read")
        << QStringList { QStringLiteral("--as=2147483648"), QStringLiteral("src/huge.s"),
               QStringLiteral("out/demo.gba") }
        << QStringLiteral("tarnwick: cannot read source \"src/huge.s\": it is larger than 16 MiB")
        << QStringLiteral("src/huge.s");
    QTest::newRow("too few descriptors to start as: the system's reason, no package to install")
        << QStringList { QStringLiteral("--nofile=8"), QStringLiteral("src/good.s"),
               QStringLiteral("out/demo.gba") }
        << QStringLiteral("arm-none-eabi-as: Too many open files\n") << QString();
}

void TestTarnwick::fileProblems()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QFETCH(QString, made);
    const QStringList limits
        = arguments.filter(QRegularExpression(QStringLiteral("^--(as|nofile)=")));
#ifdef __SANITIZE_ADDRESS__
    if (!limits.isEmpty())
        QSKIP("AddressSanitizer's shadow memory and descriptors do not fit under these limits");
#endif
    const QString target = made.section(QStringLiteral(" -> "), 1);
    made = made.section(QStringLiteral(" -> "), 0, 0);
    const QString folder = path(made.isEmpty() ? QStringLiteral("out") : QFileInfo(made).path());
    QVERIFY(QDir().mkpath(folder));
    const bool link = !made.isEmpty() && !made.endsWith(u".s") && !made.endsWith(u"logo");
    if (link)
        QVERIFY(QFile::link(target.isEmpty() ? QFileInfo(made).fileName() : target, path(made)));
    else if (made.endsWith(u"huge.s"))
        QVERIFY(writeFile(path(made), {}) && QFile(path(made)).resize(qint64(4) << 30));
    else if (!made.isEmpty())
        QVERIFY(writeFile(path(made),
            made.endsWith(u"logo") ? QByteArray(0x9C, 'L') : "    frobnicate\n    frobnicate\n"));
    const QStringList before = entries(path(QStringLiteral("src")))
        + entries(path(QStringLiteral("out"))) + entries(folder);

    const Result result = run(QStringLiteral("prlimit"),
        limits + QStringList { tarnwickPath() } + arguments.mid(limits.size()), m_work->path(),
        quietEnvironment());
    QVERIFY2(result.finished, "tarnwick did not finish");
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.errors.contains(message), qPrintable(result.errors));

    QCOMPARE(readFile(path(QStringLiteral("src/good.s"))), GoodSource);
    QCOMPARE(entries(path(QStringLiteral("src"))) + entries(path(QStringLiteral("out")))
            + entries(folder),
        before);
    QCOMPARE(QFileInfo(path(made)).isSymLink(), link);
    if (made.endsWith(u"logo"))
        QCOMPARE(readFile(path(made)), QByteArray(0x9C, 'L'));
    QCOMPARE(readFile(path(QStringLiteral("out/demo.gba"))), EarlierImage);
}

void TestTarnwick::keptLogo_data()
{
    QTest::addColumn<QByteArray>("source");
    // Files below the work folder that hold 156 bytes that are not the logo.
    QTest::addColumn<QStringList>("kept");
    // The one file the warning names.
    QTest::addColumn<QString>("named");
    QTest::addColumn<QByteArray>("area");

    const QString home = QStringLiteral("data/tarnwick/logo");
    const QString shared = QStringLiteral("shared/tarnwick/logo");
    const QByteArray blank(0x9C, '\0');
    QTest::newRow("a damaged kept logo: named in a warning, the image made without it")
        << StartupMain << QStringList { home } << home << blank;
    QTest::newRow("none at home: the one in a folder of XDG_DATA_DIRS is the one meant")
        << StartupMain << QStringList { shared } << shared << blank;
    QTest::newRow("the first one found is the one meant, a later folder's is not read")
        << StartupMain << QStringList { home, shared } << home << blank;
    QTest::newRow("a reserved header's own bytes in the logo area stay")
        << QByteArray("    .text\n    b start\n    .byte 1, 2, 3\n    .space 185\nstart:\n"
                      "    b start\n")
        << QStringList { home } << home << QByteArray("\1\2\3") + QByteArray(0x99, '\0');
}

void TestTarnwick::keptLogo()
{
    QFETCH(QByteArray, source);
    QFETCH(QStringList, kept);
    QFETCH(QString, named);
    QFETCH(QByteArray, area);
    QVERIFY(writeFile(path(QStringLiteral("src/logo.s")), source));
    for (const QString &file : kept) {
        QVERIFY(QDir(m_work->path()).mkpath(QFileInfo(file).path()));
        QVERIFY(writeFile(path(file), QByteArray(0x9C, 'L')));
    }

    const Result result = tarnwick(
        { QStringLiteral("src/logo.s"), QStringLiteral("out/demo.gba") }, m_work->path());

    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.errors.startsWith(
                 QStringLiteral("tarnwick: warning: the kept logo \"%1\"").arg(path(named))),
        qPrintable(result.errors));
    QCOMPARE(result.errors.count(QLatin1Char('\n')), 1);
    const QByteArray image = readFile(path(QStringLiteral("out/demo.gba")));
    QCOMPARE(image.mid(4, 0x9C), area);
    QVERIFY(headerChecksumHolds(image));
}

void TestTarnwick::logoFromImageWithoutLogo_data()
{
    // No contents: a named pipe.
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("message");

    const QString noLogo = QStringLiteral("tarnwick: \"src/game.gba\" holds no logo: ");
    QTest::newRow("other bytes in the logo area: no logo, nothing kept")
        << QByteArray(0xC0, 'L') << noLogo;
    QTest::newRow("an image that ends inside the logo area: no logo, nothing kept")
        << QByteArray(0x40, '\0') << noLogo;
    QTest::newRow("a named pipe is refused at once")
        << QByteArray()
        << QStringLiteral("tarnwick: cannot read image \"src/game.gba\": it is "
                          "not a regular file but a named pipe");
}

void TestTarnwick::logoFromImageWithoutLogo()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, message);
    const QString image = path(QStringLiteral("src/game.gba"));
    QVERIFY(contents.isNull() ? makeNamedPipe(image) : writeFile(image, contents));

    const Result result = tarnwick(
        { QStringLiteral("--logo-from"), QStringLiteral("src/game.gba") }, m_work->path());

    QVERIFY2(result.finished, "tarnwick waited on the image");
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.errors.startsWith(message), qPrintable(result.errors));
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("data"))));
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
    // An empty output box in the window gives an output of ".gba" alone: a hidden file.
    QTest::newRow("an output named only .gba needs a name")
        << QStringList { QStringLiteral("src/good.s"), QStringLiteral(".gba") }
        << QStringLiteral("tarnwick: the output file needs a name before \".gba\": \".gba\"");
    QTest::newRow("an output named only .gba in a folder needs a name")
        << QStringList { QStringLiteral("src/good.s"), QStringLiteral("out/.gba") }
        << QStringLiteral("tarnwick: the output file needs a name before \".gba\": \"out/.gba\"");
    QTest::newRow("--logo-from without an image")
        << QStringList { QStringLiteral("--logo-from") }
        << QStringLiteral("tarnwick: --logo-from takes one image, got none");
    QTest::newRow("--debug without an image")
        << QStringList { QStringLiteral("--debug") }
        << QStringLiteral("tarnwick: --debug takes one image, got none");
    QTest::newRow("--logo-from with two images") << QStringList {
        QStringLiteral("--logo-from"), QStringLiteral("a.gba"), QStringLiteral("b.gba")
    } << QStringLiteral("tarnwick: --logo-from takes one image, got \"a.gba\" \"b.gba\"");
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
    QCOMPARE(entries(path(QStringLiteral("out"))), QStringList { QStringLiteral("demo.gba") });
    QVERIFY(!QFileInfo::exists(path(QStringLiteral(".gba"))));
}

void TestTarnwick::informationRequests_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("firstLine");
    QTest::addColumn<QString>("mentions");

    // debian/changelog decides the version; the program must report the same one.
    const Result changelog = run(QStringLiteral("dpkg-parsechangelog"),
        { QStringLiteral("-l"), QStringLiteral(DEBIAN_CHANGELOG), QStringLiteral("-S"),
            QStringLiteral("Version") });
    QVERIFY2(changelog.finished && changelog.exitCode == 0, qPrintable(changelog.errors));
    const QString version = changelog.output.trimmed();
    QVERIFY(!version.isEmpty());

    const QString usage = QString::fromStdString(Tarnwick::Arguments::usage());

    QTest::newRow("--version prints the name and the changelog's version")
        << QStringList { QStringLiteral("--version") } << QStringLiteral("tarnwick ") + version
        << QString();
    QTest::newRow("--help prints the usage and names --version")
        << QStringList { QStringLiteral("--help") } << usage
        << QStringLiteral("tarnwick --version");
    QTest::newRow("--help names --logo-from") << QStringList { QStringLiteral("--help") } << usage
                                              << QStringLiteral("tarnwick --logo-from IMAGE");
    QTest::newRow("-h is --help") << QStringList { QStringLiteral("-h") } << usage
                                  << QStringLiteral("tarnwick --version");
}

void TestTarnwick::informationRequests()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, firstLine);
    QFETCH(QString, mentions);

    const Result result = tarnwick(arguments, m_work->path());

    QVERIFY2(result.finished, "tarnwick did not finish");
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.errors, QString());
    QCOMPARE(result.output.section(QLatin1Char('\n'), 0, 0), firstLine);
    QVERIFY2(result.output.contains(mentions), qPrintable(result.output));
    QCOMPARE(entries(path(QStringLiteral("out"))), QStringList { QStringLiteral("demo.gba") });
    QCOMPARE(readFile(path(QStringLiteral("out/demo.gba"))), EarlierImage);
}

void TestTarnwick::missingBinutils()
{
    const QTemporaryDir emptyBin;
    QVERIFY(emptyBin.isValid());
    QProcessEnvironment environment = quietEnvironment();
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

void TestTarnwick::specialSourceIsRefusedAtOnce_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("message");

    // Each of these made tarnwick wait for ever, or read without end.
    QTest::newRow("named pipe without a writer")
        << QStringLiteral("pipe") << QStringLiteral("src/special")
        << QStringLiteral("\"src/special\": it is not a regular file but a named pipe");
    QTest::newRow("link to a named pipe")
        << QStringLiteral("link to pipe") << QStringLiteral("src/link.s")
        << QStringLiteral("\"src/link.s\": it is not a regular file but a named pipe");
    QTest::newRow("endless device")
        << QString() << QStringLiteral("/dev/zero")
        << QStringLiteral("\"/dev/zero\": it is not a regular file but a device");
    QTest::newRow("socket") << QStringLiteral("socket") << QStringLiteral("src/special")
                            << QStringLiteral(
                                   "\"src/special\": it is not a regular file but a socket");
}

void TestTarnwick::specialSourceIsRefusedAtOnce()
{
    QFETCH(QString, kind);
    QFETCH(QString, source);
    QFETCH(QString, message);
    const QString special = path(QStringLiteral("src/special"));
    int socket = -1;
    const auto closeSocket = qScopeGuard([&socket] {
        if (socket >= 0)
            ::close(socket);
    });
    if (kind.endsWith(QLatin1String("pipe")))
        QVERIFY(makeNamedPipe(special));
    if (kind == QLatin1String("link to pipe"))
        QVERIFY(QFile::link(special, path(source)));
    if (kind == QLatin1String("socket")) {
        socket = makeSocket(special);
        QVERIFY(socket >= 0);
    }

    const Result result = tarnwick({ source, QStringLiteral("out/new.gba") }, m_work->path());

    QVERIFY2(result.finished, "tarnwick waited on the source");
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.errors.contains(QStringLiteral("tarnwick: cannot read source ") + message),
        qPrintable(result.errors));
    QCOMPARE(entries(path(QStringLiteral("out"))), QStringList { QStringLiteral("demo.gba") });
    QCOMPARE(readFile(path(QStringLiteral("out/demo.gba"))), EarlierImage);
}

void TestTarnwick::unusualOutput_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<mode_t>("type");

    // A device node given as output used to be replaced by a plain file.
    QTest::newRow("device node stays a device") << QStringLiteral("device") << mode_t(S_IFCHR);
    QTest::newRow("named pipe stays a pipe and its reader gets the image")
        << QStringLiteral("pipe") << mode_t(S_IFIFO);
    QTest::newRow("symbolic link keeps pointing at its target, which gets the image")
        << QStringLiteral("link") << mode_t(S_IFLNK);
    // The temporary file's name used to be the output's with more added.
    QTest::newRow("an output name of 255 bytes gets the image")
        << QStringLiteral("long name") << mode_t(S_IFREG);
    QTest::newRow("what a killed run left of the output's temporary file is removed")
        << QStringLiteral("leftover") << mode_t(S_IFREG);
    // The linked program's name was replaced whatever it held, or written into.
    QTest::newRow("a file of the person's at the linked program's name is left, with a warning")
        << QStringLiteral("program: a file") << mode_t(S_IFREG);
    QTest::newRow("a named pipe at the linked program's name is left, not waited on")
        << QStringLiteral("program: a pipe") << mode_t(S_IFREG);
    QTest::newRow("a link at the linked program's name, even a loop, is left, the image written")
        << QStringLiteral("program: a link") << mode_t(S_IFREG);
}

void TestTarnwick::unusualOutput()
{
    QFETCH(QString, kind);
    QFETCH(mode_t, type);
    const QString plain = path(QStringLiteral("plain.gba"));
    QCOMPARE(tarnwick({ exampleSource(), plain }).exitCode, 0);
    const QByteArray image = readFile(plain);
    const QString name = kind == QLatin1String("long name")
        ? QString(251, u'z') + QStringLiteral(".gba")
        : QStringLiteral("special");
    const QString output = path(QStringLiteral("out/") + name);
    QProcess reader;
    if (kind == QLatin1String("device")) {
        if (::geteuid() != 0)
            QSKIP("making a device node needs root");
        // The same device as /dev/null, in a folder of the test's own.
        QVERIFY(
            ::mknod(QFile::encodeName(output).constData(), S_IFCHR | 0600, ::makedev(1, 3)) == 0);
    } else if (kind == QLatin1String("pipe")) {
        QVERIFY(makeNamedPipe(output));
        reader.start(QStringLiteral("cat"), { output });
        QVERIFY(reader.waitForStarted());
    } else if (kind == QLatin1String("link")) {
        QVERIFY(QFile::link(QStringLiteral("demo.gba"), output));
    } else if (kind == QLatin1String("leftover")) {
        // Half an image, and nobody holding its lock.
        const std::string prefix = Tarnwick::temporaryNamePrefix("special");
        QVERIFY(writeFile(
            path(QStringLiteral("out/") + QLatin1String(prefix) + u"k1lled00"), image.left(99)));
    }
    const QString program = output + QStringLiteral(".elf");
    if (kind == QLatin1String("program: a file"))
        QVERIFY(writeFile(program, EarlierImage));
    else if (kind == QLatin1String("program: a pipe"))
        QVERIFY(makeNamedPipe(program));
    else if (kind == QLatin1String("program: a link"))
        QVERIFY(QFile::link(QStringLiteral("special.elf"), program));
    const mode_t programType = fileType(program);

    const Result result = tarnwick({ exampleSource(), output });

    QVERIFY2(result.finished, "tarnwick did not finish");
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(fileType(output), type);
    if (kind == QLatin1String("pipe")) {
        QVERIFY(reader.waitForFinished(RunTimeoutMs));
        QCOMPARE(reader.readAllStandardOutput(), image);
    }
    const QString target = path(QStringLiteral("out/demo.gba"));
    if (kind == QLatin1String("link"))
        QCOMPARE(QFile::symLinkTarget(output), target);
    if (type == S_IFREG)
        QCOMPARE(readFile(output), image);
    QCOMPARE(readFile(target), kind == QLatin1String("link") ? image : EarlierImage);
    QCOMPARE(
        result.errors.contains(u"special.elf\" is left as it is"), kind.startsWith(u"program"));
    if (kind.startsWith(u"program"))
        QCOMPARE(fileType(program), programType);
    if (kind == QLatin1String("program: a file"))
        QCOMPARE(readFile(program), EarlierImage);
    // The linked program goes beside a file, named after it, and nowhere for a device or a pipe.
    QStringList expected = { QStringLiteral("demo.gba"), name };
    if (type == S_IFREG || type == S_IFLNK)
        expected << (name.endsWith(u".gba") ? name.chopped(4) : name) + QStringLiteral(".elf");
    expected.sort();
    QCOMPARE(entries(path(QStringLiteral("out"))), expected);
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
            runs.back()->setProcessEnvironment(quietEnvironment());
            runs.back()->start(tarnwickPath(), { source, output });
        }
        for (const auto &run : runs) {
            QVERIFY(run->waitForFinished(RunTimeoutMs));
            QCOMPARE(run->exitStatus(), QProcess::NormalExit);
            QCOMPARE(run->exitCode(), 0);
        }
        QVERIFY2(alone.contains(readFile(output)), "the image is a mix of both runs");
        QVERIFY2(objcopyImage(path(QStringLiteral("out/demo.elf"))) == readFile(output),
            "the linked program beside the image is another run's");
        QCOMPARE(entries(path(QStringLiteral("out"))),
            QStringList({ QStringLiteral("demo.elf"), QStringLiteral("demo.gba") }));
    }
}

void TestTarnwick::toolsEndWithTheRun_data()
{
    QTest::addColumn<int>("signal");

    // as waited for ever under the init process, after tarnwick was gone.
    QTest::newRow("SIGTERM while as waits: as ends, tarnwick ends by SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT while as waits, which is in a group of its own: as ends") << SIGINT;
    QTest::newRow("SIGKILL while as waits: as ends by its parent-death signal") << SIGKILL;
}

void TestTarnwick::toolsEndWithTheRun()
{
    QFETCH(int, signal);
    QVERIFY(makeNamedPipe(path(QStringLiteral("src/never"))));
    QVERIFY(writeFile(path(QStringLiteral("src/wait.s")), GoodSource + "    .incbin \"never\"\n"));
    // A pipe of tarnwick's caller's, given without close-on-exec (as with 3>&1).
    int caller[2];
    QVERIFY(::pipe2(caller, O_CLOEXEC) == 0);
    const auto closePipe = qScopeGuard([&caller] { ::close(caller[0]); });
    QProcess run;
    run.setProcessEnvironment(quietEnvironment());
    run.setWorkingDirectory(m_work->path());
    run.setChildProcessModifier([&caller] { ::fcntl(caller[1], F_SETFD, 0); });
    run.start(tarnwickPath(), { QStringLiteral("src/wait.s"), QStringLiteral("out/demo.gba") });
    ::close(caller[1]);
    pid_t tool = 0;
    const auto endTool = qScopeGuard([&tool] {
        if (tool > 0 && running(tool))
            ::kill(tool, SIGKILL);
    });
    QTRY_VERIFY_WITH_TIMEOUT((tool = childOf(run.processId())) > 0, RunTimeoutMs);
    QVERIFY2(!holdsFile(tool, caller[0]), "the tool holds a descriptor of tarnwick's caller");

    ::kill(pid_t(run.processId()), signal);

    QVERIFY(run.waitForFinished(RunTimeoutMs));
    // QProcess gives the signal that ended a process as its exit code.
    QCOMPARE(run.exitStatus(), QProcess::CrashExit);
    QCOMPARE(run.exitCode(), signal);
    QTRY_VERIFY_WITH_TIMEOUT(!running(tool), RunTimeoutMs);
    QCOMPARE(readFile(path(QStringLiteral("out/demo.gba"))), EarlierImage);
}

QTEST_GUILESS_MAIN(TestTarnwick)
#include "tst_tarnwick.moc"
