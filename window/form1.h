#pragma once

#include "opendialog.h"
#include "programstarter.h"

#include <QWidget>

#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;

// The program's only window: a source path and an output name, "Browse" to choose the
// source and "Assemble !" to start the assembler on both. Its layout is fixed (see
// form1layout.h); it handles the two clicks and nothing else, and it keeps no state of
// its own beyond the texts of its two boxes.
//
// The program starter and the Open dialog come in through the constructor, so a test can
// put its own in their place; by default the window makes the real ones.
class Form1 : public QWidget
{
    Q_OBJECT

public:
    explicit Form1(std::unique_ptr<ProgramStarter> starter = nullptr,
                   std::unique_ptr<OpenDialog> dialog = nullptr, QWidget *parent = nullptr);
    ~Form1() override;

private:
    void clickCommand1();
    void clickCommand2();

    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QLineEdit *Text1 = nullptr;
    QLineEdit *Text2 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;

    std::unique_ptr<ProgramStarter> m_starter;
    std::unique_ptr<OpenDialog> CommonDialog1;
};
