#pragma once

#include "opendialog.h"

#include <QStringList>

#include <memory>

class QFileDialog;
class QWidget;

// The Open dialog on Qt's file dialog: the desktop's own where the desktop offers one,
// Qt's widget dialog elsewhere. One object serves every show, so the dialog reopens in
// the folder of the last choice. It sets no title, start folder or default extension.
//
// Patterns match as the user of such a filter list expects, which is not always Qt's
// way: "*.*" lists every file, also those without a dot in their name.
class CommonDialog : public OpenDialog
{
public:
    explicit CommonDialog(QWidget *owner);
    ~CommonDialog() override;

    void setCancelError(bool raise) override;
    void setFlags(int flags) override;
    void setFilter(const QString &filter) override;
    void setFilterIndex(int index) override;
    void showOpen() override;
    QString fileName() const override;

    // The underlying dialog, made on first use; tests drive the real thing through it.
    QFileDialog *dialog();

    // Qt name filters for a "|"-separated description and pattern list: the visible
    // text of each is the description exactly, followed by the patterns Qt matches.
    static QStringList qtNameFilters(const QString &filter);

private:
    QWidget *m_owner;
    std::unique_ptr<QFileDialog> m_dialog;
    bool m_cancelError = false;
    int m_flags = 0;
    QStringList m_nameFilters;
    int m_filterIndex = 1;
    QString m_fileName;
};
