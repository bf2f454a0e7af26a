#pragma once

#include <QString>

// The command line that starts the assembler on a source file and an output name:
// "tarnwick", a blank, the source path, a blank, the output name and ".gba".
//
// Nothing is trimmed or tested. A piece that holds a blank or a tab and no double quote
// is put in double quotes, so that the assembler receives each text as one argument
// (a path from the Open dialog often lies in a folder such as "My Projects"). A piece
// that already holds a double quote is passed on as typed: its quoting is the user's.
QString BuildAssembleCommand(const QString &sourcePath, const QString &outputName);
