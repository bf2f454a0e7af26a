#include "form1.h"

#include "commondialog.h"
#include "errorreport.h"
#include "form1layout.h"
#include "handlers.h"
#include "processstarter.h"
#include "textbox.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <limits>
#include <map>

namespace {

// A text box as the handlers see it, for the length of one click.
class LineEditBox : public TextBox
{
public:
    explicit LineEditBox(QLineEdit *edit) : m_edit(edit) { }
    QString text() const override { return m_edit->text(); }
    void setText(const QString &text) override { m_edit->setText(text); }

private:
    QLineEdit *m_edit;
};

QRect pixelRect(const Form1Layout::Row &row)
{
    using Form1Layout::pixels;
    return QRect(pixels(row.left), pixels(row.top), pixels(row.width), pixels(row.height));
}

// Shrinks a control's font, in small steps, until its caption fits: the platform's
// default font can be wider than the one the layout was drawn with.
void fitCaption(QWidget *control)
{
    static constexpr qreal SmallestPointSize = 6.0;
    static constexpr qreal Step = 0.5;
    auto fits = [control] {
        const QSize hint = control->sizeHint();
        return hint.width() <= control->width() && hint.height() <= control->height();
    };
    QFont font = control->font();
    while (!fits() && font.pointSizeF() - Step >= SmallestPointSize) {
        font.setPointSizeF(font.pointSizeF() - Step);
        control->setFont(font);
    }
}

// Qt finds a widget's accessible interface by class name, up the class hierarchy. For a
// QWidget subclass with none of its own it ends at QWidget's, whose role is a client area
// whether or not the widget is a window; AT-SPI passes that on as a "filler", and a screen
// reader does not announce the program's window as a window. Form1 presents itself with
// the window role (a frame on AT-SPI); QAccessibleWidget names a window by its title.
class Form1Accessible : public QAccessibleWidget
{
public:
    explicit Form1Accessible(QWidget *form) : QAccessibleWidget(form, QAccessible::Window) { }
};

QAccessibleInterface *accessibleForm1(const QString &className, QObject *object)
{
    if (object && object->isWidgetType()
        && className == QLatin1String(Form1::staticMetaObject.className()))
        return new Form1Accessible(static_cast<QWidget *>(object));
    return nullptr;
}

} // namespace

Form1::Form1(std::unique_ptr<ProgramStarter> starter, std::unique_ptr<OpenDialog> dialog,
             QWidget *parent)
    : QWidget(parent), m_starter(std::move(starter)), CommonDialog1(std::move(dialog))
{
    using namespace Form1Layout;

    if (!m_starter)
        m_starter = std::make_unique<ProcessStarter>();
    if (!CommonDialog1)
        CommonDialog1 = std::make_unique<CommonDialog>(this);
    // Installed before the first accessible interface of a Form1 is asked for; the
    // factory lives as long as the process, as Qt's list of factories does.
    static const bool factoryInstalled = (QAccessible::installFactory(accessibleForm1), true);
    Q_UNUSED(factoryInstalled);

    setWindowTitle(QString::fromUtf8(Caption));
    // The layout is fixed: nothing moves or grows with the window, so it keeps its size.
    setFixedSize(pixels(ClientWidth), pixels(ClientHeight));

    std::map<int, QWidget *> byTabIndex;
    std::map<Control, QWidget *> byControl;
    for (const Row &row : Rows) {
        const QString caption = QString::fromUtf8(row.caption);
        QWidget *control = nullptr;
        switch (row.kind) {
        case Kind::PushButton: {
            auto *button = new QPushButton(caption, this);
            // Enter on a focused button presses it, as Space does; a text box has no
            // default button to press.
            button->setAutoDefault(true);
            button->setDefault(false);
            control = button;
            break;
        }
        case Kind::Label:
            control = new QLabel(caption, this);
            break;
        case Kind::TextBox: {
            auto *edit = new QLineEdit(this);
            // As much as one argument of the assembler can carry, and no more: Qt's
            // default would cut a long path, and a paste of megabytes would keep the box
            // busy laying out text that could never be started.
            edit->setMaxLength(int(std::min<qsizetype>(ProcessStarter::longestArgument(),
                                                       std::numeric_limits<int>::max())));
            control = edit;
            break;
        }
        }
        control->setObjectName(QString::fromLatin1(row.name));
        control->setGeometry(pixelRect(row));
        if (row.kind != Kind::TextBox)
            fitCaption(control);
        if (control->focusPolicy() != Qt::NoFocus)
            byTabIndex.emplace(row.tabIndex, control);
        byControl.emplace(row.control, control);

        switch (row.control) {
        case Control::Command1: Command1 = static_cast<QPushButton *>(control); break;
        case Control::Command2: Command2 = static_cast<QPushButton *>(control); break;
        case Control::Text1: Text1 = static_cast<QLineEdit *>(control); break;
        case Control::Text2: Text2 = static_cast<QLineEdit *>(control); break;
        case Control::Label1: Label1 = static_cast<QLabel *>(control); break;
        case Control::Label2: Label2 = static_cast<QLabel *>(control); break;
        case Control::Label3: Label3 = static_cast<QLabel *>(control); break;
        }
    }

    for (const Buddy &buddy : Buddies)
        static_cast<QLabel *>(byControl.at(buddy.label))->setBuddy(byControl.at(buddy.box));

    QWidget *previous = nullptr;
    for (const auto &[index, control] : byTabIndex) {
        Q_UNUSED(index);
        if (previous)
            setTabOrder(previous, control);
        previous = control;
    }
    if (!byTabIndex.empty())
        byTabIndex.begin()->second->setFocus();

    connect(Command1, &QPushButton::clicked, this, &Form1::clickCommand1);
    connect(Command2, &QPushButton::clicked, this, &Form1::clickCommand2);
}

Form1::~Form1() = default;

void Form1::clickCommand1()
{
    RunHandler(this, [this] {
        LineEditBox text1(Text1);
        Command1_Click(text1, *CommonDialog1);
    });
}

void Form1::clickCommand2()
{
    RunHandler(this, [this] {
        const LineEditBox text1(Text1);
        const LineEditBox text2(Text2);
        Command2_Click(text1, text2, *m_starter);
    });
}
