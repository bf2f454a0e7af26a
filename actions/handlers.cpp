#include "handlers.h"

#include "assemblecommand.h"
#include "opendialog.h"
#include "platformerror.h"
#include "programstarter.h"
#include "textbox.h"

void Command2_Click(const TextBox &text1, const TextBox &text2, ProgramStarter &starter)
{
    const QString sourcePath = text1.text();
    const QString outputName = text2.text();
    starter.start(BuildAssembleCommand(sourcePath, outputName), ShowMode::Minimized);
}

void Command1_Click(TextBox &text1, OpenDialog &dialog)
{
    dialog.setCancelError(true);
    try {
        dialog.setFlags(OpenDialog::HideReadOnly);
        dialog.setFilter(QStringLiteral("All Files (*.*)|*.*|Text Files")
                         + QStringLiteral("(*.txt)|*.txt|Assembly files(*.asm)|*.asm"));
        dialog.setFilterIndex(2);
        dialog.showOpen();
        text1.setText(dialog.fileName());
    } catch (const PlatformError &) {
        // A cancel, or any other failure of the dialog: the user sees no message and
        // the source-path box keeps its text.
    }
}
