#include "assemblecommand.h"
#include "commandline.h"

#include <QRandomGenerator>
#include <QTest>

class tst_AssembleCommand : public QObject
{
    Q_OBJECT

private slots:
    void build_data();
    void build();
    void roundTrip();
};

void tst_AssembleCommand::build_data()
{
    QTest::addColumn<QString>("sourcePath");
    QTest::addColumn<QString>("outputName");
    QTest::addColumn<QString>("commandLine");

    QTest::newRow("program, blank, path, blank, name and .gba")
            << u"C:\\src\\demo.asm"_qs << u"demo"_qs << u"tarnwick C:\\src\\demo.asm demo.gba"_qs;
    QTest::newRow("two empty texts give two blanks and .gba") << QString() << QString()
                                                              << u"tarnwick  .gba"_qs;
    QTest::newRow("a name ending in .gba gets a second one")
            << u"/src/a.s"_qs << u"demo.gba"_qs << u"tarnwick /src/a.s demo.gba.gba"_qs;
    QTest::newRow("blank inside source path is quoted")
            << u"/home/u/My Projects/demo.s"_qs << u"demo"_qs
            << u"tarnwick \"/home/u/My Projects/demo.s\" demo.gba"_qs;
    QTest::newRow("blank inside output name is quoted with its .gba")
            << u"a.s"_qs << u"my demo"_qs << u"tarnwick a.s \"my demo.gba\""_qs;
    QTest::newRow("a tab is quoted like a blank") << u"a\tb.s"_qs << u"o"_qs
                                                  << u"tarnwick \"a\tb.s\" o.gba"_qs;
    QTest::newRow("leading and trailing blanks stay, inside the quotes")
            << u"  a.s "_qs << u" o"_qs << u"tarnwick \"  a.s \" \" o.gba\""_qs;
    QTest::newRow("a text of blanks only is one quoted argument") << u"  "_qs << u"o"_qs
                                                                  << u"tarnwick \"  \" o.gba"_qs;
    QTest::newRow("backslashes before the closing quote are doubled")
            << u"C:\\My Dir\\"_qs << u"o"_qs << u"tarnwick \"C:\\My Dir\\\\\" o.gba"_qs;
    QTest::newRow("quotes without a blank are passed on as typed")
            << u"\"/ab/c.s\""_qs << u"say\"x\""_qs << u"tarnwick \"/ab/c.s\" say\"x\".gba"_qs;
    // A name with a blank and a quote reached tarnwick split in pieces.
    QTest::newRow("quotes in a piece with a blank are escaped, backslashes before them doubled")
            << u"my \"q\" t.s"_qs << u"a\\\"b c"_qs
            << u"tarnwick \"my \\\"q\\\" t.s\" \"a\\\\\\\"b c.gba\""_qs;
    QTest::newRow("nothing else is escaped") << u"$(id);`ls`|&"_qs << u"*"_qs
                                             << u"tarnwick $(id);`ls`|& *.gba"_qs;
}

void tst_AssembleCommand::build()
{
    QFETCH(QString, sourcePath);
    QFETCH(QString, outputName);
    QFETCH(QString, commandLine);

    QCOMPARE(BuildAssembleCommand(sourcePath, outputName), commandLine);
}

namespace {

// A text rich in the characters that quoting must survive; one with a double quote holds
// a blank too, as quotes in a text without one are the user's to place.
QString randomText(QRandomGenerator &random)
{
    static const QString alphabet = u" \t\\\\\\/ab.é😀;|$&`'*~\""_qs;
    const int length = random.bounded(0, 12);
    QString text;
    for (int i = 0; i < length; ++i) {
        const int pick = random.bounded(0, int(alphabet.size()));
        // Keep surrogate pairs whole.
        if (alphabet.at(pick).isLowSurrogate())
            text += alphabet.mid(pick - 1, 2);
        else if (alphabet.at(pick).isHighSurrogate())
            text += alphabet.mid(pick, 2);
        else
            text += alphabet.at(pick);
    }
    return text.contains(u'"') ? text + u' ' : text;
}

} // namespace

void tst_AssembleCommand::roundTrip()
{
    QRandomGenerator random(20261208);

    for (int i = 0; i < 5000; ++i) {
        const QString source = randomText(random);
        const QString output = randomText(random);
        QStringList expected{u"tarnwick"_qs};
        if (!source.isEmpty())
            expected << source;
        expected << output + u".gba";

        const QStringList arguments = SplitCommandLine(BuildAssembleCommand(source, output));

        if (arguments != expected)
            QFAIL(qPrintable(u"source ["_qs + source + u"] output ["_qs + output + u"] split as ["_qs
                             + arguments.join(u"]["_qs) + u']'));
    }
}

QTEST_APPLESS_MAIN(tst_AssembleCommand)
#include "tst_assemblecommand.moc"
