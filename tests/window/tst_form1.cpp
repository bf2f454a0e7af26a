#include "form1.h"
#include "modal.h"
#include "platformerror.h"
#include "processstarter.h"
#include "records.h"

#include <QAccessible>
#include <QClipboard>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

namespace {

class RecordingStarter : public ProgramStarter
{
public:
    explicit RecordingStarter(QStringList *lines) : m_lines(lines) { }
    qint64 start(const QString &commandLine, ShowMode mode) override
    {
        *m_lines << commandLine + u" / mode "_qs + QString::number(int(mode));
        return 1;
    }

private:
    QStringList *m_lines;
};

bool isReport(QWidget *widget)
{
    return widget->objectName() == u"UntrappedErrorReport";
}

} // namespace

class tst_Form1 : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void windowIsFixedAndTitled();
    void controls_data();
    void controls();
    void captionsFit();
    void accessibleRolesAndNames_data();
    void accessibleRolesAndNames();
    void startsInTheSourceBoxAndTabsInOrder();
    void enterAndEscapeInABoxPressNothing_data();
    void enterAndEscapeInABoxPressNothing();
    void textBoxesTakeWhatOneArgumentCarries_data();
    void textBoxesTakeWhatOneArgumentCarries();
    void assemblePressStartsTheComposedCommand();
    void assembleStartsTheAssemblerForReal();
    void failedStartIsReportedAndTheWindowLivesOn_data();
    void failedStartIsReportedAndTheWindowLivesOn();
    void browseThenAssembleEndToEnd();

private:
    template<typename T>
    T *control(const char *name) const
    {
        return m_form->findChild<T *>(QString::fromLatin1(name));
    }
    void show(std::unique_ptr<ProgramStarter> starter)
    {
        m_form = std::make_unique<Form1>(std::move(starter));
        m_form->show();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    }

    std::unique_ptr<Form1> m_form;
    QStringList m_lines;
    std::unique_ptr<QTemporaryDir> m_records;
};

void tst_Form1::init()
{
    m_lines.clear();
    m_records = std::make_unique<QTemporaryDir>();
    qputenv("RECORDER_DIR", QFile::encodeName(m_records->path()));
    show(std::make_unique<RecordingStarter>(&m_lines));
}

void tst_Form1::cleanup()
{
    m_form.reset();
}

void tst_Form1::windowIsFixedAndTitled()
{
    QCOMPARE(m_form->windowTitle(), u"Handy tarnwick arm add-on"_qs);
    QCOMPARE(m_form->size(), QSize(237, 254));
    QCOMPARE(m_form->minimumSize(), m_form->maximumSize());
    const auto children = m_form->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    // The seven controls; the Open dialog is a window of its own.
    QCOMPARE(std::count_if(children.begin(), children.end(), [](QWidget *w) { return !w->isWindow(); }),
             7);
}

void tst_Form1::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("geometry");

    // Pixels: the layout's twips divided by 15.
    QTest::newRow("Browse at the top") << u"Command1"_qs << u"Browse"_qs << QRect(56, 8, 121, 33);
    QTest::newRow("input label") << u"Label1"_qs << u"Input file:"_qs << QRect(24, 48, 185, 17);
    QTest::newRow("source box") << u"Text1"_qs << QString() << QRect(8, 72, 217, 25);
    QTest::newRow("output label") << u"Label2"_qs
                                  << u"Name output file: (.gba is automatically added)"_qs
                                  << QRect(8, 104, 217, 17);
    QTest::newRow("output box") << u"Text2"_qs << QString() << QRect(8, 128, 217, 25);
    QTest::newRow("Assemble is taller than Browse")
            << u"Command2"_qs << u"Assemble !"_qs << QRect(56, 168, 121, 49);
    QTest::newRow("credit at the bottom") << u"Label3"_qs << QString() << QRect(16, 232, 209, 17);
}

void tst_Form1::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, geometry);

    QWidget *widget = m_form->findChild<QWidget *>(name);

    QVERIFY(widget);
    QCOMPARE(widget->geometry(), geometry);
    QVERIFY(widget->isVisible() && widget->isEnabled());
    if (auto *button = qobject_cast<QPushButton *>(widget)) {
        QCOMPARE(button->text(), caption);
        QVERIFY(!button->isDefault());
    } else if (auto *label = qobject_cast<QLabel *>(widget)) {
        if (!caption.isEmpty())
            QCOMPARE(label->text(), caption);
        QVERIFY(!label->text().isEmpty());
        QCOMPARE(label->focusPolicy(), Qt::NoFocus);
    } else {
        QCOMPARE(qobject_cast<QLineEdit *>(widget)->text(), QString());
    }
}

void tst_Form1::captionsFit()
{
    const auto children = m_form->findChildren<QWidget *>();
    for (QWidget *widget : children) {
        if (!qobject_cast<QLabel *>(widget) && !qobject_cast<QPushButton *>(widget))
            continue;
        const QSize needed = widget->sizeHint();
        QVERIFY2(needed.width() <= widget->width() && needed.height() <= widget->height(),
                 qPrintable(widget->objectName() + u" needs "_qs + QString::number(needed.width())
                            + u'x' + QString::number(needed.height())));
        QVERIFY(widget->font().pointSizeF() >= 6.0);
    }
}

void tst_Form1::accessibleRolesAndNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QAccessible::Role>("role");
    QTest::addColumn<QString>("accessibleName");
    QTest::addColumn<QString>("labelledBy");

    QTest::newRow("the window is a window named by its caption")
            << u"Form1"_qs << QAccessible::Window << u"Handy tarnwick arm add-on"_qs << QString();
    QTest::newRow("Browse is a button named by its caption")
            << u"Command1"_qs << QAccessible::Button << u"Browse"_qs << QString();
    QTest::newRow("the source box is named by the label above it")
            << u"Text1"_qs << QAccessible::EditableText << u"Input file:"_qs << u"Label1"_qs;
    QTest::newRow("the output box is named by the label above it")
            << u"Text2"_qs << QAccessible::EditableText
            << u"Name output file: (.gba is automatically added)"_qs << u"Label2"_qs;
    QTest::newRow("Assemble is a button named by its caption")
            << u"Command2"_qs << QAccessible::Button << u"Assemble !"_qs << QString();
    // An empty name stands for the label's own caption, whatever its wording.
    QTest::newRow("the credit line is a label") << u"Label3"_qs << QAccessible::StaticText
                                                << QString() << QString();
}

void tst_Form1::accessibleRolesAndNames()
{
    QFETCH(QString, name);
    QFETCH(QAccessible::Role, role);
    QFETCH(QString, accessibleName);
    QFETCH(QString, labelledBy);
    QObject *object = name == u"Form1" ? m_form.get() : m_form->findChild<QWidget *>(name);
    QVERIFY(object);

    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(object);

    QVERIFY(accessible);
    QCOMPARE(accessible->role(), role);
    if (accessibleName.isEmpty())
        accessibleName = qobject_cast<QLabel *>(object)->text();
    QVERIFY(!accessibleName.isEmpty());
    QCOMPARE(accessible->text(QAccessible::Name), accessibleName);
    QStringList labels;
    for (const auto &[label, relation] : accessible->relations(QAccessible::Label))
        labels << label->object()->objectName();
    QCOMPARE(labels, labelledBy.isEmpty() ? QStringList() : QStringList(labelledBy));
}

void tst_Form1::startsInTheSourceBoxAndTabsInOrder()
{
    QCOMPARE(QApplication::focusWidget(), control<QLineEdit>("Text1"));

    QStringList order;
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order << QApplication::focusWidget()->objectName();
    }

    QCOMPARE(order, QStringList({u"Command1"_qs, u"Text2"_qs, u"Command2"_qs, u"Text1"_qs, u"Command1"_qs}));
}

void tst_Form1::enterAndEscapeInABoxPressNothing_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("key");

    QTest::newRow("Enter in the source box") << u"Text1"_qs << int(Qt::Key_Return);
    QTest::newRow("keypad Enter in the source box") << u"Text1"_qs << int(Qt::Key_Enter);
    QTest::newRow("Escape in the source box") << u"Text1"_qs << int(Qt::Key_Escape);
    QTest::newRow("Enter in the output box") << u"Text2"_qs << int(Qt::Key_Return);
    QTest::newRow("Escape in the output box") << u"Text2"_qs << int(Qt::Key_Escape);
}

void tst_Form1::enterAndEscapeInABoxPressNothing()
{
    QFETCH(QString, box);
    QFETCH(int, key);
    auto *edit = m_form->findChild<QLineEdit *>(box);
    edit->setFocus();
    QTest::keyClicks(edit, u"typed"_qs);

    QTest::keyClick(edit, Qt::Key(key));
    QTest::qWait(50);

    QVERIFY(m_lines.isEmpty());
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    QVERIFY(m_form->isVisible());
    QCOMPARE(edit->text(), u"typed"_qs);
}

void tst_Form1::textBoxesTakeWhatOneArgumentCarries_data()
{
    QTest::addColumn<qsizetype>("length");
    QTest::addColumn<bool>("pasted");

    const qsizetype longest = ProcessStarter::longestArgument();
    QTest::newRow("a path as long as one argument may be is kept whole") << longest << false;
    // A source's text pasted in place of its path kept the window busy for minutes.
    QTest::newRow("a 20 MB paste is cut to what one argument carries") << qsizetype(20'000'000)
                                                                      << true;
}

void tst_Form1::textBoxesTakeWhatOneArgumentCarries()
{
    QFETCH(qsizetype, length);
    QFETCH(bool, pasted);
    const QString text = u'/' + QString(length - 1, u'a');
    const QString kept = text.left(ProcessStarter::longestArgument());
#ifdef __SANITIZE_ADDRESS__
    // With AddressSanitizer's allocator, Qt's line edit takes minutes over a paste this
    // large, under a second with the C library's.
    if (pasted)
        QSKIP("a paste's cost lies in Qt's own code, which the sanitizer run does not check");
#endif
    if (pasted) {
        QGuiApplication::clipboard()->setText(text);
        control<QLineEdit>("Text1")->paste();
    } else {
        control<QLineEdit>("Text1")->setText(text);
    }

    QTest::mouseClick(control<QPushButton>("Command2"), Qt::LeftButton);

    QCOMPARE(control<QLineEdit>("Text1")->text(), kept);
    QCOMPARE(m_lines, QStringList(u"tarnwick "_qs + kept + u" .gba / mode 2"_qs));
}

void tst_Form1::assemblePressStartsTheComposedCommand()
{
    QTest::keyClicks(control<QLineEdit>("Text1"), u"/home/u/My Projects/demo.s"_qs);
    QTest::keyClicks(control<QLineEdit>("Text2"), u"demo"_qs);

    QTest::mouseClick(control<QPushButton>("Command2"), Qt::LeftButton);
    control<QPushButton>("Command2")->setFocus();
    QTest::keyClick(control<QPushButton>("Command2"), Qt::Key_Space);

    QCOMPARE(m_lines, QStringList(2, u"tarnwick \"/home/u/My Projects/demo.s\" demo.gba / mode 2"_qs));
    QCOMPARE(control<QLineEdit>("Text1")->text(), u"/home/u/My Projects/demo.s"_qs);
    QCOMPARE(control<QLineEdit>("Text2")->text(), u"demo"_qs);
}

void tst_Form1::assembleStartsTheAssemblerForReal()
{
    show(std::make_unique<ProcessStarter>(QStringList{QStringLiteral(STANDIN_DIR)}));
    control<QLineEdit>("Text1")->setText(u"/tmp/My Projects/$(touch pwned);`id`.s"_qs);
    control<QLineEdit>("Text2")->setText(u"demo"_qs);

    QTest::mouseClick(control<QPushButton>("Command2"), Qt::LeftButton);
    QTest::mouseClick(control<QPushButton>("Command2"), Qt::LeftButton);

    const QList<QJsonObject> records = waitForRecords(m_records->path(), 2);
    QCOMPARE(records.size(), 2);
    for (const QJsonObject &record : records)
        QCOMPARE(recordedArguments(record).mid(1),
                 QStringList({u"/tmp/My Projects/$(touch pwned);`id`.s"_qs, u"demo.gba"_qs}));
    QVERIFY(records.at(0).value(u"pid"_qs) != records.at(1).value(u"pid"_qs));
    QVERIFY(!QFile::exists(u"pwned"_qs));
}

void tst_Form1::failedStartIsReportedAndTheWindowLivesOn_data()
{
    QTest::addColumn<bool>("presentButNotExecutable");
    QTest::addColumn<QString>("number");

    QTest::newRow("missing assembler") << false << u"'53'"_qs;
    QTest::newRow("assembler without execute permission") << true << u"'70'"_qs;
}

void tst_Form1::failedStartIsReportedAndTheWindowLivesOn()
{
    QFETCH(bool, presentButNotExecutable);
    QFETCH(QString, number);
    QTemporaryDir folder;
    if (presentButNotExecutable) {
        QFile file(folder.filePath(u"tarnwick"_qs));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QByteArray oldPath = qgetenv("PATH");
    auto restore = qScopeGuard([&] { qputenv("PATH", oldPath); });
    qputenv("PATH", QFile::encodeName(folder.path()));
    show(std::make_unique<ProcessStarter>(QStringList{folder.path()}));
    control<QLineEdit>("Text1")->setText(u"/src/a.s"_qs);
    control<QLineEdit>("Text2")->setText(u"demo"_qs);
    QString reported;
    auto watch = whenModalShown(isReport, [&](QWidget *box) {
        reported = static_cast<QMessageBox *>(box)->text();
        static_cast<QMessageBox *>(box)->button(QMessageBox::Ok)->click();
    });

    QTest::mouseClick(control<QPushButton>("Command2"), Qt::LeftButton);

    QVERIFY2(reported.contains(number), qPrintable(reported));
    QVERIFY2(reported.contains(u"tarnwick"_qs), qPrintable(reported));
    QVERIFY(m_form->isVisible());
    QCOMPARE(control<QLineEdit>("Text1")->text(), u"/src/a.s"_qs);
    QCOMPARE(control<QLineEdit>("Text2")->text(), u"demo"_qs);
}

void tst_Form1::browseThenAssembleEndToEnd()
{
    QTemporaryDir root;
    const QString folder = root.filePath(u"My Projects"_qs);
    QVERIFY(QDir().mkpath(folder));
    QFile source(folder + u"/demo.asm"_qs);
    QVERIFY(source.open(QIODevice::WriteOnly));
    source.close();
    const QString oldCwd = QDir::currentPath();
    auto restore = qScopeGuard([&] { QDir::setCurrent(oldCwd); });
    show(std::make_unique<ProcessStarter>(QStringList{QStringLiteral(STANDIN_DIR)}));
    control<QLineEdit>("Text1")->setText(u"typed first"_qs);
    auto watch = whenModalShown(
            [](QWidget *w) { return qobject_cast<QFileDialog *>(w) != nullptr; },
            [&](QWidget *dialog) {
                auto *name = dialog->findChild<QLineEdit *>(u"fileNameEdit"_qs);
                name->setText(source.fileName());
                QTest::keyClick(name, Qt::Key_Return);
            });

    QTest::mouseClick(control<QPushButton>("Command1"), Qt::LeftButton);
    QTest::keyClicks(control<QLineEdit>("Text2"), u"demo"_qs);
    QTest::mouseClick(control<QPushButton>("Command2"), Qt::LeftButton);

    QCOMPARE(control<QLineEdit>("Text1")->text(), source.fileName());
    const QList<QJsonObject> records = waitForRecords(m_records->path(), 1);
    QCOMPARE(records.size(), 1);
    QCOMPARE(recordedArguments(records.first()).mid(1),
             QStringList({source.fileName(), u"demo.gba"_qs}));
    QCOMPARE(records.first().value(u"cwd"_qs).toString(), QDir(folder).canonicalPath());
}

QTEST_MAIN(tst_Form1)
#include "tst_form1.moc"
