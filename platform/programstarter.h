#pragma once

#include <QString>
#include <QtGlobal>

// How the started program's window should first appear.
enum class ShowMode : int {
    Hidden = 0,
    Normal = 1,
    Minimized = 2,
};

// Starts another program from one command-line string without waiting for it, and
// returns its task identifier. Raises PlatformError when the program cannot be started.
class ProgramStarter
{
public:
    ProgramStarter() = default;
    virtual ~ProgramStarter() = default;
    Q_DISABLE_COPY(ProgramStarter)

    virtual qint64 start(const QString &commandLine, ShowMode mode) = 0;
};
