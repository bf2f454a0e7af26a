#pragma once

#include <QString>

// The whole text of one of the window's text boxes, as the handlers read and replace it.
class TextBox
{
public:
    TextBox() = default;
    virtual ~TextBox() = default;
    Q_DISABLE_COPY(TextBox)

    virtual QString text() const = 0;
    virtual void setText(const QString &text) = 0;
};
