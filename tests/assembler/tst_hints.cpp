#include "hints.h"

#include <QTest>

#include <map>

namespace {

// Facts as a test gives them: texts by file, and definitions as "name|file|global".
class GivenFacts : public Tarnwick::ProgramFacts
{
public:
    GivenFacts(const QStringList &texts, const QStringList &definitions)
    {
        for (qsizetype i = 0; i + 1 < texts.size(); i += 2)
            m_texts[texts[i].toStdString()] = texts[i + 1].toStdString();
        for (const QString &definition : definitions) {
            const QStringList parts = definition.split(u'|');
            m_definitions.push_back({ parts.value(0).toStdString(), parts.value(1).toStdString(),
                parts.value(2) == u"global" });
        }
    }

    const std::string *text(const std::string &file) override
    {
        const auto found = m_texts.find(file);
        return found == m_texts.end() ? nullptr : &found->second;
    }
    const std::vector<Definition> &definitions() override { return m_definitions; }
    const std::vector<Document> &buildDescriptions() override { return m_documents; }

private:
    std::map<std::string, std::string> m_texts;
    std::vector<Definition> m_definitions;
    std::vector<Document> m_documents;
};

} // namespace

class TestHints : public QObject
{
    Q_OBJECT

private slots:
    void explain_data();
    void explain();
    void everyNoteIsOneShortLine();
};

void TestHints::explain_data()
{
    QTest::addColumn<QStringList>("messages");
    // "file", "text", ...
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("definitions");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("a file's messages in line order, by the line after an include trace; the rest "
                  "in place")
        << QStringList { u"x.s:4: Error: four"_qs, u"tarnwick: cannot do it"_qs,
               u"In file included from x.s:1:\nx.s:3: Error: three"_qs, u"y.s:1: Error: one"_qs,
               u"x.s: Warning: no line"_qs, u"x.s:2: Error: two"_qs }
        << QStringList() << QStringList()
        << QStringList { u"x.s:2: Error: two"_qs, u"tarnwick: cannot do it"_qs,
               u"In file included from x.s:1:\nx.s:3: Error: three"_qs, u"y.s:1: Error: one"_qs,
               u"x.s: Warning: no line"_qs, u"x.s:4: Error: four"_qs };
    QTest::newRow("one note at one place is said once, after the first message it explains")
        << QStringList { u"x.s:2: Error: invalid offset, value too big (0x02000DBC)"_qs,
               u"x.s:2: Error: value of 02000dbc too large for field of 2 bytes at 00001398"_qs }
        << QStringList { u"x.s"_qs, u"    .thumb\n    ldr r0, =0x11223344 @ far\n"_qs }
        << QStringList()
        << QStringList { u"x.s:2: Error: invalid offset, value too big (0x02000DBC)\nx.s:2: note: "
                         "Thumb `ldr rN, =` reads a pool up to 1020 bytes on: put `.ltorg` after "
                         "a branch or return there"_qs,
               u"x.s:2: Error: value of 02000dbc too large for field of 2 bytes at 00001398"_qs };
    QTest::newRow("a definition on no line that the text shows: a note without a line")
        << QStringList { u"x.s: Error: the source defines no global `main`; define one"_qs }
        << QStringList { u"x.s"_qs, u"    make_main\n"_qs } << QStringList { u"main|x.s|local"_qs }
        << QStringList { u"x.s: Error: the source defines no global `main`; define one\nx.s: "
                         "note: `main` is defined here, but not global: add `.global main` "
                         "before it"_qs };
    QTest::newRow("a loop's label in Thumb code begins no ARM routine: the Thumb note")
        << QStringList { u"x.s:5: Error: thumb conditional instruction should be in IT block -- "
                         "`movne r0,#0'"_qs }
        << QStringList { u"x.s"_qs,
               u"    .thumb\nf:  movs r2, #4\nloop:\n    subs r2, #1\n"
               "    movne r0, #0\n"_qs }
        << QStringList()
        << QStringList { u"x.s:5: Error: thumb conditional instruction should be in IT block -- "
                         "`movne r0,#0'\nx.s:5: note: the ARM7TDMI's Thumb code has no `it` and no "
                         "conditions but on `b`: branch around instead"_qs };
    QTest::newRow("a branch without its line's text: every reach")
        << QStringList { u"x.s:9: Error: branch out of range"_qs } << QStringList() << QStringList()
        << QStringList { u"x.s:9: Error: branch out of range\nx.s:9: note: branches reach: Thumb "
                         "`bCC` ±256 bytes, Thumb `b` ±2 KiB, Thumb `bl` ±4 MiB, ARM ±32 MiB"_qs };
}

void TestHints::explain()
{
    QFETCH(QStringList, messages);
    QFETCH(QStringList, texts);
    QFETCH(QStringList, definitions);
    QFETCH(QStringList, expected);
    GivenFacts facts(texts, definitions);
    std::vector<std::string> given;
    for (const QString &message : messages)
        given.push_back(message.toStdString());

    QStringList explained;
    for (const std::string &message : Tarnwick::explainMessages(given, &facts))
        explained.append(QString::fromStdString(message));

    QCOMPARE(explained, expected);
}

void TestHints::everyNoteIsOneShortLine()
{
    for (const std::string_view note : Tarnwick::hintNotes()) {
        const QString text = QString::fromUtf8(note.data(), qsizetype(note.size()));
        QVERIFY2(text.size() <= 100 && !text.contains(u'\n'), qPrintable(text));
    }
}

QTEST_APPLESS_MAIN(TestHints)
#include "tst_hints.moc"
