#include "../window/modal.h"
#include "commondialog.h"
#include "platformerror.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

// Qt's widget dialog under the layer, driven as a user would from inside its modal loop.
class tst_CommonDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void filterEntriesAndWhatTheyList_data();
    void filterEntriesAndWhatTheyList();
    void opensOnTheChosenEntryAtEveryShow();
    void typedNameIsAcceptedAndItsFolderBecomesCurrent();
    void cancel_data();
    void cancel();

private:
    static QString filter()
    {
        return u"All Files (*.*)|*.*|Text Files(*.txt)|*.txt|Assembly files(*.asm)|*.asm"_qs;
    }
    // Shows the dialog and, once it is up, hands it to `act`. Returns the error number
    // that showOpen() raised, or 0.
    int showAnd(const std::function<void(QFileDialog *)> &act)
    {
        auto watch = whenModalShown([](QWidget *w) { return qobject_cast<QFileDialog *>(w); },
                                    [&](QWidget *w) { act(static_cast<QFileDialog *>(w)); });
        try {
            m_dialog->showOpen();
        } catch (const PlatformError &error) {
            return error.number();
        }
        return 0;
    }
    static QStringList listed(QFileDialog *dialog)
    {
        auto *view = dialog->findChild<QListView *>(u"listView"_qs);
        QStringList names;
        const QAbstractItemModel *model = view->model();
        for (int row = 0; row < model->rowCount(view->rootIndex()); ++row)
            names << model->index(row, 0, view->rootIndex()).data().toString();
        names.sort();
        return names;
    }
    static QComboBox *types(QFileDialog *dialog)
    {
        return dialog->findChild<QComboBox *>(u"fileTypeCombo"_qs);
    }

    QWidget m_owner;
    std::unique_ptr<CommonDialog> m_dialog;
    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_oldCwd;
};

void tst_CommonDialog::init()
{
    m_oldCwd = QDir::currentPath();
    m_folder = std::make_unique<QTemporaryDir>();
    for (const char *name : {"Makefile", "notes.txt", "demo.asm"}) {
        QFile file(m_folder->filePath(QString::fromLatin1(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    m_dialog = std::make_unique<CommonDialog>(&m_owner);
    m_dialog->dialog()->setDirectory(m_folder->path());
    m_dialog->setCancelError(true);
    m_dialog->setFlags(OpenDialog::HideReadOnly);
    m_dialog->setFilter(filter());
    m_dialog->setFilterIndex(2);
}

void tst_CommonDialog::cleanup()
{
    m_dialog.reset();
    QDir::setCurrent(m_oldCwd);
}

void tst_CommonDialog::filterEntriesAndWhatTheyList_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<QStringList>("files");

    QTest::newRow("All Files lists files without a dot too")
            << 1 << QStringList({u"Makefile"_qs, u"demo.asm"_qs, u"notes.txt"_qs});
    QTest::newRow("Text Files hides assembly files") << 2 << QStringList({u"notes.txt"_qs});
    QTest::newRow("Assembly files lists only them") << 3 << QStringList({u"demo.asm"_qs});
}

void tst_CommonDialog::filterEntriesAndWhatTheyList()
{
    QFETCH(int, entry);
    QFETCH(QStringList, files);
    QStringList descriptions;
    QStringList shown;

    showAnd([&](QFileDialog *dialog) {
        QComboBox *combo = types(dialog);
        for (int i = 0; i < combo->count(); ++i)
            descriptions << combo->itemText(i);
        // Choose the entry as a user does, with the keyboard on the file-type list.
        combo->setFocus();
        while (combo->currentIndex() > entry - 1)
            QTest::keyClick(combo, Qt::Key_Up);
        while (combo->currentIndex() < entry - 1)
            QTest::keyClick(combo, Qt::Key_Down);
        QDeadlineTimer deadline(30000);
        while (listed(dialog) != files && !deadline.hasExpired())
            QTest::qWait(20);
        shown = listed(dialog);
        dialog->reject();
    });

    QCOMPARE(descriptions, QStringList({u"All Files (*.*)"_qs, u"Text Files(*.txt)"_qs,
                                        u"Assembly files(*.asm)"_qs}));
    QCOMPARE(shown, files);
}

void tst_CommonDialog::opensOnTheChosenEntryAtEveryShow()
{
    QList<int> openedOn;
    auto pickFirstThenCancel = [&](QFileDialog *dialog) {
        QComboBox *combo = types(dialog);
        openedOn << combo->currentIndex();
        combo->setFocus();
        QTest::keyClick(combo, Qt::Key_Up);
        dialog->reject();
    };

    showAnd(pickFirstThenCancel);
    m_dialog->setFilterIndex(2);
    showAnd(pickFirstThenCancel);

    QCOMPARE(openedOn, QList<int>({1, 1}));
}

void tst_CommonDialog::typedNameIsAcceptedAndItsFolderBecomesCurrent()
{
    const QString typed = m_folder->filePath(u"does not exist yet.asm"_qs);

    const int error = showAnd([&](QFileDialog *dialog) {
        auto *name = dialog->findChild<QLineEdit *>(u"fileNameEdit"_qs);
        name->setText(typed);
        QTest::keyClick(name, Qt::Key_Return);
    });

    QCOMPARE(error, 0);
    QCOMPARE(m_dialog->fileName(), typed);
    QCOMPARE(QDir::current().canonicalPath(), QDir(m_folder->path()).canonicalPath());
}

void tst_CommonDialog::cancel_data()
{
    QTest::addColumn<bool>("cancelError");
    QTest::addColumn<int>("raised");

    QTest::newRow("with CancelError a cancel raises 32755") << true << 32755;
    QTest::newRow("without CancelError a cancel returns quietly") << false << 0;
}

void tst_CommonDialog::cancel()
{
    QFETCH(bool, cancelError);
    QFETCH(int, raised);
    m_dialog->setCancelError(cancelError);
    const QString before = QDir::currentPath();

    const int error = showAnd([](QFileDialog *dialog) {
        QTest::keyClick(dialog, Qt::Key_Escape);
    });

    QCOMPARE(error, raised);
    QCOMPARE(m_dialog->fileName(), QString());
    QCOMPARE(QDir::currentPath(), before);
}

QTEST_MAIN(tst_CommonDialog)
#include "tst_commondialog.moc"
