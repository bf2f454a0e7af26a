#include "commandline.h"

#include <QTest>

class tst_CommandLine : public QObject
{
    Q_OBJECT

private slots:
    void split_data();
    void split();
};

void tst_CommandLine::split_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("runs of blanks and tabs separate") << u"a  b\t\tc \t d"_qs
                                                        << QStringList{u"a"_qs, u"b"_qs, u"c"_qs, u"d"_qs};
    QTest::newRow("leading and trailing blanks give nothing") << u"  a  "_qs << QStringList{u"a"_qs};
    QTest::newRow("empty line gives no argument") << QString() << QStringList{};
    QTest::newRow("quoted span keeps blanks and loses quotes")
            << u"x \"My Projects/a b.s\" y"_qs << QStringList{u"x"_qs, u"My Projects/a b.s"_qs, u"y"_qs};
    QTest::newRow("quotes may open inside an argument")
            << u"pre\"fix  mid\"post"_qs << QStringList{u"prefix  midpost"_qs};
    QTest::newRow("empty quotes are an empty argument") << u"a \"\" b"_qs
                                                        << QStringList{u"a"_qs, QString(), u"b"_qs};
    QTest::newRow("unclosed quote runs to the end") << u"a \"b c"_qs << QStringList{u"a"_qs, u"b c"_qs};
    QTest::newRow("backslashes elsewhere are literal")
            << u"C:\\src\\demo.asm \\\\server\\"_qs << QStringList{u"C:\\src\\demo.asm"_qs, u"\\\\server\\"_qs};
    QTest::newRow("2n backslashes before a quote give n and open a span")
            << u"a\\\\\"b c\""_qs << QStringList{u"a\\b c"_qs};
    QTest::newRow("2n+1 backslashes before a quote give n and a literal quote")
            << u"a\\\\\\\"b c"_qs << QStringList{u"a\\\"b"_qs, u"c"_qs};
    QTest::newRow("one backslash escapes a quote inside a span")
            << u"\"say \\\"hi\\\"\""_qs << QStringList{u"say \"hi\""_qs};
    QTest::newRow("shell metacharacters are plain text")
            << u"; | $(rm -rf ~) `id` & > < * ~ 'q'"_qs
            << QStringList{u";"_qs, u"|"_qs, u"$(rm"_qs, u"-rf"_qs, u"~)"_qs, u"`id`"_qs, u"&"_qs,
                           u">"_qs, u"<"_qs, u"*"_qs, u"~"_qs, u"'q'"_qs};
    QTest::newRow("newlines and non-ASCII are ordinary characters")
            << u"é\n😀 ü"_qs << QStringList{u"é\n😀"_qs, u"ü"_qs};
}

void tst_CommandLine::split()
{
    QFETCH(QString, line);
    QFETCH(QStringList, arguments);

    QCOMPARE(SplitCommandLine(line), arguments);
}

QTEST_APPLESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
