#pragma once

#include "programstarter.h"

#include <QStringList>

// Starts a program as a detached process of its own: the line is split into arguments
// (never through a shell), the program is looked up first in the given folders and then
// on PATH, and it runs in a new session with the front end's working directory and
// environment but none of the descriptors beyond standard input, output and error.
// It keeps no handle on the started process, waits for nothing, and leaves no zombie
// behind: a detached thread reaps each program when it ends.
class ProcessStarter : public ProgramStarter
{
public:
    // With no folders given, the folder that holds the running executable is searched
    // first, so an installed front end finds the assembler installed beside it even
    // when a desktop launch hands it a short PATH.
    explicit ProcessStarter(const QStringList &firstFolders = defaultFolders());

    qint64 start(const QString &commandLine, ShowMode mode) override;

    // The full path of the program that start() would run for this name.
    QString locate(const QString &program) const;

    static QStringList defaultFolders();

    // The most characters that one argument of a started program can hold: the system
    // refuses a longer one (E2BIG) however short the rest of the command line is.
    static qsizetype longestArgument();

private:
    QStringList m_firstFolders;
};
