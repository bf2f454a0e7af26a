#pragma once

#include <QString>

// The command line that starts the assembler on a source file and an output name:
// "tarnwick", a blank, the source path, a blank, the output name and ".gba".
//
// Nothing is trimmed or tested. A piece that holds a blank or a tab is put in double
// quotes, its own double quotes and the backslashes before them escaped, so that the
// assembler receives each text as one argument exactly as typed (a path from the Open
// dialog often lies in a folder such as "My Projects", and may hold a quote). A piece
// without a blank is passed on as typed: quotes in it are the user's to place.
QString BuildAssembleCommand(const QString &sourcePath, const QString &outputName);
