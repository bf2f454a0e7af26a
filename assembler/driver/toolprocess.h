#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace Tarnwick {

// One run of a program that tarnwick drives (binutils, and the desktop notifier): started
// with posix_spawn (no copy of our process, no event loop), its standard output and error
// gathered into one text, bounded in time. Messages come untranslated (LC_ALL=C) so that
// DiagnosticRewriter recognises them, unless asked otherwise.
struct ToolRun
{
    enum class Result { Finished, NotStarted, TimedOut, Crashed };

    Result result = Result::NotStarted;
    int exitCode = -1;
    // For NotStarted: the errno value of the failed start.
    int startError = 0;
    std::string output;
};

// Whether the program's messages come untranslated, or it runs in our own locale: the
// notifier does, since what it opens for the person (an emulator, an editor) inherits it.
enum class ToolLocale { Untranslated, Ours };

// inheritedFiles[i] becomes the program's descriptor inheritedFileNumber(i), which it
// opens as inheritedFilePath(i); a negative entry leaves that number closed. Nothing else
// of ours is inherited. The program runs in workingFolder if one is given, else in ours.
// Runs may go on in several threads at once.
ToolRun runTool(const std::string &program, const std::vector<std::string> &arguments,
    const std::vector<int> &inheritedFiles, std::chrono::milliseconds timeout,
    ToolLocale locale = ToolLocale::Untranslated, const std::string &workingFolder = {});

int inheritedFileNumber(std::size_t index);
std::string inheritedFilePath(std::size_t index);
// The folder of all inheritedFilePath()s.
std::string inheritedFilesFolder();

// The first executable file called name in a folder of PATH, or an empty string. Empty
// entries of PATH are skipped: they would mean the current folder.
std::string findExecutable(const std::string &name);

} // namespace Tarnwick
