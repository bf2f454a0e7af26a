#include "diagnostics.h"

#include <QTest>

using Tarnwick::DiagnosticRewriter;

class TestDiagnosticRewriter : public QObject
{
    Q_OBJECT

private slots:
    void rewrite_data();
    void rewrite();
};

void TestDiagnosticRewriter::rewrite_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("passed");
    QTest::addColumn<QString>("work");
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QString>("toolOutput");
    QTest::addColumn<QStringList>("expected");
    // Other sources of the program: "given|passed|work file" each.
    QTest::addColumn<QStringList>("others");

    const QString as = QStringLiteral("/usr/bin/arm-none-eabi-as");
    const QString ld = QStringLiteral("/usr/bin/arm-none-eabi-ld");
    const QString given = QStringLiteral("src/x.s");
    const QString passed = QStringLiteral("/home/me/src/x.s");
    const QString work = QStringLiteral("/tmp/tarnwick-AbCd");

    QTest::newRow("assembler error keeps file:line with the path as given")
        << given << passed << work << as
        << QStringLiteral("/home/me/src/x.s: Assembler messages:\n"
                          "/home/me/src/x.s:3: Error: bad instruction `foo r1'\n"
                          "/home/me/src/x.s:4: Error: immediate value out of range\n")
        << QStringList { QStringLiteral("src/x.s:3: Error: bad instruction `foo r1'"),
               QStringLiteral("src/x.s:4: Error: immediate value out of range") }
        << QStringList();

    QTest::newRow("message without a line is placed at the source")
        << given << passed << work << as
        << QStringLiteral("/home/me/src/x.s: Assembler messages:\n/home/me/src/x.s: Warning: end "
                          "of file not at end of a line; newline inserted\n")
        << QStringList { QStringLiteral(
               "src/x.s: Warning: end of file not at end of a line; newline inserted") }
        << QStringList();

    QTest::newRow("macro context lines belong to the message before them")
        << given << passed << work << as
        << QStringLiteral("/home/me/src/x.s:2: Error: bad instruction `bad'\n"
                          "/home/me/src/x.s:4:  Info: macro invoked from here\n"
                          "/home/me/src/x.s:7:   Info: macro invoked from here\n")
        << QStringList { QStringLiteral("src/x.s:2: Error: bad instruction `bad'\n"
                                        "src/x.s:4:  Info: macro invoked from here\n"
                                        "src/x.s:7:   Info: macro invoked from here") }
        << QStringList();

    QTest::newRow("an included file keeps its own path")
        << given << passed << work << as
        << QStringLiteral("inc.s: Assembler messages:\ninc.s:1: Error: bad instruction `x'\n")
        << QStringList { QStringLiteral("inc.s:1: Error: bad instruction `x'") } << QStringList();

    QTest::newRow("the path is only rewritten where it names the file")
        << QStringLiteral("x.s") << QStringLiteral("/w/x.s") << work << as
        << QStringLiteral("/w/x.s:1: Error: junk at end of line: `/w/x.s:9'\n")
        << QStringList { QStringLiteral("x.s:1: Error: junk at end of line: `/w/x.s:9'") }
        << QStringList();

    QTest::newRow("unresolved symbol: linker context about the temporary object is dropped")
        << given << passed << work << ld
        << QStringLiteral("/usr/bin/arm-none-eabi-ld: /tmp/tarnwick-AbCd/source.o: in function "
                          "`start':\n/home/me/src/x.s:9: undefined reference to `foo'\n")
        << QStringList { QStringLiteral("src/x.s:9: undefined reference to `foo'") }
        << QStringList();

    QTest::newRow("linker message about a temporary file names the source instead")
        << given << passed << work << ld
        << QStringLiteral("arm-none-eabi-ld: /tmp/tarnwick-AbCd/source.elf section `.text' will "
                          "not fit in region `rom'\narm-none-eabi-ld: region `rom' overflowed by "
                          "4 bytes\n")
        << QStringList { QStringLiteral(
                             "src/x.s: Error: section `.text' does not fit into cartridge ROM "
                             "(region `rom')"),
               QStringLiteral("src/x.s: Error: the program does not fit into cartridge ROM "
                              "(region `rom'): 4 bytes too many") }
        << QStringList();

    QTest::newRow("overflowing RAM names which RAM, as the handheld calls it")
        << given << passed << QStringLiteral("/proc/self/fd") << ld
        << QStringLiteral("arm-none-eabi-ld: /proc/self/fd/5 section `.bss' will not fit in "
                          "region `iwram'\narm-none-eabi-ld: region `iwram' overflowed by 256 "
                          "bytes\narm-none-eabi-ld: region `ewram' overflowed by 4 bytes\n")
        << QStringList { QStringLiteral("src/x.s: Error: section `.bss' does not fit into "
                                        "internal RAM (region `iwram')"),
               QStringLiteral("src/x.s: Error: the program does not fit into internal RAM "
                              "(region `iwram'): 256 bytes too many"),
               QStringLiteral("src/x.s: Error: the program does not fit into external RAM "
                              "(region `ewram'): 4 bytes too many") }
        << QStringList();

    QTest::newRow("a region of no known memory is named as ld names it")
        << given << passed << work << ld
        << QStringLiteral("arm-none-eabi-ld: region `vram' overflowed by 2 bytes\n")
        << QStringList { QStringLiteral(
               "src/x.s: Error: the program does not fit into region `vram': 2 bytes too many") }
        << QStringList();

    QTest::newRow("temporary object with a section offset becomes the source")
        << given << passed << work << ld
        << QStringLiteral("/tmp/tarnwick-AbCd/source.o:(.text+0x4): relocation truncated to fit\n")
        << QStringList { QStringLiteral("src/x.s:(.text+0x4): relocation truncated to fit") }
        << QStringList();

    QTest::newRow("paths with blanks and pattern characters are taken literally")
        << QStringLiteral("My Projects/a+(1).s") << QStringLiteral("/h/My Projects/a+(1).s")
        << QStringLiteral("/tmp/t+(x)") << ld
        << QStringLiteral("/tmp/t+(x)/source.o: in function `s':\n"
                          "/h/My Projects/a+(1).s:3: undefined reference to `q'\n"
                          "/tmp/t+(x)/source.elf section `.text' will not fit in region `rom'\n")
        << QStringList { QStringLiteral("My Projects/a+(1).s:3: undefined reference to `q'"),
               QStringLiteral("My Projects/a+(1).s: Error: section `.text' does not fit into "
                              "cartridge ROM (region `rom')") }
        << QStringList();

    // The assembler runs in the source's folder and names what it found there "./name".
    QTest::newRow("an include found beside the source is named from the source's folder")
        << given << passed << work << as
        << QStringLiteral("./inc.s: Assembler messages:\n./inc.s:1: Error: bad instruction `x'\n"
                          "/home/me/src/lib/m.s:2: Error: bad instruction `y'\n"
                          "/home/me/top.s:3: Error: bad instruction `z'\n")
        << QStringList { QStringLiteral("src/inc.s:1: Error: bad instruction `x'"),
               QStringLiteral("src/lib/m.s:2: Error: bad instruction `y'"),
               QStringLiteral("/home/me/top.s:3: Error: bad instruction `z'") }
        << QStringList();

    QTest::newRow("the include trace belongs to the message after it, notes to the one before")
        << given << passed << work << QStringLiteral("/usr/bin/cpp")
        << QStringLiteral("In file included from /home/me/src/x.s:1:\n"
                          "/home/me/src/defs.h:2:2: error: #error no\n"
                          "/home/me/src/x.s:3: warning: \"X\" redefined\n"
                          "/home/me/src/x.s:2: note: this is the location of the previous "
                          "definition\n"
                          "compilation terminated.\n")
        << QStringList { QStringLiteral("In file included from src/x.s:1:\n"
                                        "src/defs.h:2:2: error: #error no"),
               QStringLiteral("src/x.s:3: warning: \"X\" redefined\n"
                              "src/x.s:2: note: this is the location of the previous definition") }
        << QStringList();

    QTest::newRow("an include cycle is one message, its trace never placed at the source")
        << given << passed << work << QStringLiteral("/usr/bin/cpp")
        << QStringLiteral("In file included from /home/me/src/a.h:1,\n"
                          "                 from /home/me/src/x.s:1:\n"
                          "/home/me/src/a.h:1:10: error: #include nested depth 200 exceeds "
                          "maximum of 200\n")
        << QStringList { QStringLiteral("In file included from src/a.h:1,\n"
                                        "                 from src/x.s:1:\n"
                                        "src/a.h:1:10: error: #include nested depth 200 "
                                        "exceeds maximum of 200") }
        << QStringList();

    QTest::newRow("control characters in the source's path are escaped, one line a message")
        << QStringLiteral("s\trc/x\ny.s") << QStringLiteral("/home/me/s\trc/x\ny.s") << work << as
        << QStringLiteral("/home/me/s\trc/x\ny.s: Assembler messages:\n"
                          "/home/me/s\trc/x\ny.s:3: Error: bad\n"
                          "/home/me/s\trc/inc.s:1: Error: worse\n"
                          "/tmp/tarnwick-AbCd/source.o: no symbols\n")
        << QStringList { QStringLiteral("s\\trc/x\\ny.s:3: Error: bad"),
               QStringLiteral("s\\trc/inc.s:1: Error: worse"),
               QStringLiteral("s\\trc/x\\ny.s: no symbols") }
        << QStringList();

    QTest::newRow("other sources of the program and their objects keep their own names")
        << given << passed << work << ld
        << QStringLiteral("arm-none-eabi-ld: /tmp/tarnwick-AbCd/7: in function `f':\n"
                          "/home/me/src/y.s:4: undefined reference to `g'\n"
                          "arm-none-eabi-ld: /tmp/tarnwick-AbCd/7:(.text+0x0): multiple "
                          "definition of `h'; /tmp/tarnwick-AbCd/source.o:(.text+0x8): first "
                          "defined here\n")
        << QStringList { QStringLiteral("src/y.s:4: undefined reference to `g'"),
               QStringLiteral("src/y.s:(.text+0x0): multiple definition of `h'; "
                              "src/x.s:(.text+0x8): first defined here") }
        << QStringList { QStringLiteral("src/y.s|/home/me/src/y.s|/tmp/tarnwick-AbCd/7") };

    QTest::newRow("carriage returns and blank lines are dropped")
        << given << passed << work << as
        << QStringLiteral("\r\n/home/me/src/x.s:1: Error: bad\r\n\n")
        << QStringList { QStringLiteral("src/x.s:1: Error: bad") } << QStringList();
}

void TestDiagnosticRewriter::rewrite()
{
    QFETCH(QString, given);
    QFETCH(QString, passed);
    QFETCH(QString, work);
    QFETCH(QString, tool);
    QFETCH(QString, toolOutput);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, others);

    DiagnosticRewriter rewriter(given.toStdString(), passed.toStdString(), work.toStdString());
    for (const QString &other : others) {
        const QStringList parts = other.split(u'|');
        rewriter.addSource(parts.value(0).toStdString(), parts.value(1).toStdString(),
            parts.value(2).toStdString());
    }
    QStringList rewritten;
    for (const std::string &line : rewriter.rewrite(toolOutput.toStdString(), tool.toStdString()))
        rewritten.append(QString::fromStdString(line));
    QCOMPARE(rewritten, expected);
}

QTEST_APPLESS_MAIN(TestDiagnosticRewriter)
#include "tst_diagnosticrewriter.moc"
