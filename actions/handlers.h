#pragma once

class OpenDialog;
class ProgramStarter;
class TextBox;

// "Assemble !": starts the assembler on the two texts, minimized, without waiting.
// It traps nothing: a failure to start reaches the caller as PlatformError.
void Command2_Click(const TextBox &text1, const TextBox &text2, ProgramStarter &starter);

// "Browse": lets the user choose the source file and puts its full path in text1.
// Only a failure of the very first dialog call reaches the caller; from then on any
// failure, a cancel included, ends the handler quietly with text1 as it was.
void Command1_Click(TextBox &text1, OpenDialog &dialog);
