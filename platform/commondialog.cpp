#include "commondialog.h"

#include "platformerror.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include <algorithm>

CommonDialog::CommonDialog(QWidget *owner) : m_owner(owner) { }

CommonDialog::~CommonDialog() = default;

QFileDialog *CommonDialog::dialog()
{
    // Made at the first show, not with the window: most runs of the program never
    // browse, and the dialog would cost start-up time and memory in every one of them.
    if (!m_dialog) {
        m_dialog = std::make_unique<QFileDialog>(m_owner);
        m_dialog->setAcceptMode(QFileDialog::AcceptOpen);
        // The visible entry is the description alone; the patterns Qt matches follow it
        // in parentheses and stay hidden (see qtNameFilters).
        m_dialog->setOption(QFileDialog::HideNameFilterDetails, true);
    }
    return m_dialog.get();
}

void CommonDialog::setCancelError(bool raise)
{
    m_cancelError = raise;
}

void CommonDialog::setFlags(int flags)
{
    m_flags = flags;
}

void CommonDialog::setFilter(const QString &filter)
{
    m_nameFilters = qtNameFilters(filter);
}

void CommonDialog::setFilterIndex(int index)
{
    m_filterIndex = index;
}

QStringList CommonDialog::qtNameFilters(const QString &filter)
{
    const QStringList items = filter.split(u'|');
    QStringList nameFilters;
    // A description without a pattern after it names no files and is left out.
    for (qsizetype i = 0; i + 1 < items.size(); i += 2) {
        QStringList patterns;
        for (const QString &pattern : items.at(i + 1).split(u';', Qt::SkipEmptyParts)) {
            const QString trimmed = pattern.trimmed();
            // "*.*" means every file, with or without a dot; Qt would read it literally.
            patterns.append(trimmed == u"*.*" ? QStringLiteral("*") : trimmed);
        }
        if (patterns.isEmpty())
            patterns.append(QStringLiteral("*"));
        nameFilters.append(items.at(i) + u" (" + patterns.join(u' ') + u')');
    }
    return nameFilters;
}

void CommonDialog::showOpen()
{
    QFileDialog *shown = dialog();
    shown->setFileMode((m_flags & FileMustExist) ? QFileDialog::ExistingFile
                                                     : QFileDialog::AnyFile);
    shown->setNameFilters(m_nameFilters);
    if (!m_nameFilters.isEmpty()) {
        const qsizetype index = std::clamp<qsizetype>(m_filterIndex, 1, m_nameFilters.size());
        shown->selectNameFilter(m_nameFilters.at(index - 1));
    }

    if (shown->exec() != QDialog::Accepted) {
        if (m_cancelError)
            throw PlatformError(PlatformError::DialogCancelled,
                                QCoreApplication::translate("CommonDialog",
                                                            "Cancel was selected."));
        return;
    }

    const QStringList chosen = shown->selectedFiles();
    if (chosen.isEmpty())
        return;
    m_fileName = QFileInfo(chosen.first()).absoluteFilePath();
    // As with the classic Open dialog, choosing a file makes its folder the current one
    // unless told not to: a relative output name then lands beside the source, because
    // the assembler inherits that folder.
    if (!(m_flags & NoChangeDir))
        QDir::setCurrent(QFileInfo(m_fileName).absolutePath());
}

QString CommonDialog::fileName() const
{
    return m_fileName;
}
