#pragma once

#include <QString>

// The Open dialog as the Browse handler drives it: a few settings, a modal show, and
// the chosen file's name. Raises PlatformError on failure and, when CancelError is set,
// when the user cancels.
class OpenDialog
{
public:
    // Flag values as the handler passes them.
    static constexpr int NoChangeDir = 0x8;
    static constexpr int HideReadOnly = 0x4;
    static constexpr int FileMustExist = 0x1000;

    OpenDialog() = default;
    virtual ~OpenDialog() = default;
    Q_DISABLE_COPY(OpenDialog)

    virtual void setCancelError(bool raise) = 0;
    virtual void setFlags(int flags) = 0;
    // Description and pattern pairs, every item separated from the next by "|".
    virtual void setFilter(const QString &filter) = 0;
    // The entry, counted from 1, that the dialog opens on.
    virtual void setFilterIndex(int index) = 0;
    virtual void showOpen() = 0;
    virtual QString fileName() const = 0;
};
