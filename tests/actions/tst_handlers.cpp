#include "handlers.h"
#include "opendialog.h"
#include "platformerror.h"
#include "programstarter.h"
#include "textbox.h"

#include <QTest>

namespace {

class FakeTextBox : public TextBox
{
public:
    explicit FakeTextBox(const QString &text = {}) : m_text(text) { }
    QString text() const override { return m_text; }
    void setText(const QString &text) override { m_text = text; }

private:
    QString m_text;
};

class RecordingStarter : public ProgramStarter
{
public:
    qint64 start(const QString &commandLine, ShowMode mode) override
    {
        if (fail)
            throw PlatformError(PlatformError::FileNotFound, u"not found"_qs);
        lines << commandLine;
        modes << mode;
        return 4242;
    }
    bool fail = false;
    QStringList lines;
    QList<ShowMode> modes;
};

// Records every call in order and fails, when told, at one of them.
class ScriptedDialog : public OpenDialog
{
public:
    void setCancelError(bool raise) override { step(u"CancelError="_qs + (raise ? u"True"_qs : u"False"_qs)); }
    void setFlags(int flags) override { step(u"Flags="_qs + QString::number(flags)); }
    void setFilter(const QString &filter) override { step(u"Filter="_qs + filter); }
    void setFilterIndex(int index) override { step(u"FilterIndex="_qs + QString::number(index)); }
    void showOpen() override { step(u"ShowOpen"_qs); }
    QString fileName() const override
    {
        const_cast<ScriptedDialog *>(this)->step(u"FileName"_qs);
        return chosen;
    }

    int failAt = 0; // 1-based call number, 0 for none
    int errorNumber = PlatformError::DialogCancelled;
    QString chosen;
    QStringList calls;

private:
    void step(const QString &call)
    {
        calls << call;
        if (calls.size() == failAt)
            throw PlatformError(errorNumber, u"scripted failure"_qs);
    }
};

} // namespace

class tst_Handlers : public QObject
{
    Q_OBJECT

private slots:
    void assembleStartsTheCommandMinimized();
    void assembleLeavesAFailedStartUntrapped();
    void browseMakesTheSixCallsInOrder();
    void browseFailure_data();
    void browseFailure();
};

void tst_Handlers::assembleStartsTheCommandMinimized()
{
    const FakeTextBox text1(u"/src/My Demo/a.s"_qs);
    const FakeTextBox text2(u"demo"_qs);
    RecordingStarter starter;

    Command2_Click(text1, text2, starter);
    Command2_Click(text1, text2, starter);

    QCOMPARE(starter.lines, QStringList(2, u"tarnwick \"/src/My Demo/a.s\" demo.gba"_qs));
    QCOMPARE(starter.modes, QList<ShowMode>(2, ShowMode::Minimized));
    QCOMPARE(text1.text(), u"/src/My Demo/a.s"_qs);
    QCOMPARE(text2.text(), u"demo"_qs);
}

void tst_Handlers::assembleLeavesAFailedStartUntrapped()
{
    const FakeTextBox text1(u"a.s"_qs);
    const FakeTextBox text2(u"demo"_qs);
    RecordingStarter starter;
    starter.fail = true;

    QVERIFY_THROWS_EXCEPTION(PlatformError, Command2_Click(text1, text2, starter));
}

void tst_Handlers::browseMakesTheSixCallsInOrder()
{
    FakeTextBox text1(u"typed by hand"_qs);
    ScriptedDialog dialog;
    dialog.chosen = u"/home/u/My Projects/demo.s"_qs;

    Command1_Click(text1, dialog);

    QCOMPARE(dialog.calls,
             QStringList({u"CancelError=True"_qs, u"Flags=4"_qs,
                          u"Filter=All Files (*.*)|*.*|Text Files(*.txt)|*.txt|Assembly files(*.asm)|*.asm"_qs,
                          u"FilterIndex=2"_qs, u"ShowOpen"_qs, u"FileName"_qs}));
    QCOMPARE(text1.text(), dialog.chosen);
}

void tst_Handlers::browseFailure_data()
{
    QTest::addColumn<int>("failAt");
    QTest::addColumn<int>("errorNumber");
    QTest::addColumn<bool>("reachesCaller");
    QTest::addColumn<int>("callsMade");

    QTest::newRow("error setting CancelError reaches the report") << 1 << 51 << true << 1;
    QTest::newRow("error setting Flags ends quietly") << 2 << 51 << false << 2;
    QTest::newRow("error setting Filter ends quietly") << 3 << 51 << false << 3;
    QTest::newRow("error setting FilterIndex ends quietly") << 4 << 51 << false << 4;
    QTest::newRow("cancel ends quietly") << 5 << int(PlatformError::DialogCancelled) << false << 5;
    QTest::newRow("dialog that cannot be shown ends quietly") << 5 << 51 << false << 5;
    QTest::newRow("error reading FileName ends quietly") << 6 << 51 << false << 6;
}

void tst_Handlers::browseFailure()
{
    QFETCH(int, failAt);
    QFETCH(int, errorNumber);
    QFETCH(bool, reachesCaller);
    QFETCH(int, callsMade);
    FakeTextBox text1(u"typed by hand"_qs);
    ScriptedDialog dialog;
    dialog.failAt = failAt;
    dialog.errorNumber = errorNumber;
    dialog.chosen = u"/chosen.s"_qs;

    bool thrown = false;
    try {
        Command1_Click(text1, dialog);
    } catch (const PlatformError &error) {
        thrown = true;
        QCOMPARE(error.number(), errorNumber);
    }

    QCOMPARE(thrown, reachesCaller);
    QCOMPARE(dialog.calls.size(), callsMade);
    QCOMPARE(text1.text(), u"typed by hand"_qs);
}

QTEST_APPLESS_MAIN(tst_Handlers)
#include "tst_handlers.moc"
