#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace Tarnwick {

// One run of a program that tarnwick drives (binutils, cpp, and the desktop notifier): its
// standard output and error gathered into one text, bounded in time. It starts the program
// the way posix_spawn does (a child that shares our memory until the program replaces it:
// no copy of our process, no event loop), but in a process group of its own and with
// SIGKILL as its parent-death signal, which posix_spawn cannot set. Every process of that
// group ends with the run: those left when the program exits, and the whole group when the
// program is stopped. The program gets no descriptor of ours but the files handed to it.
// Messages come untranslated (LC_ALL=C) so that DiagnosticRewriter recognises them, unless
// asked otherwise. It does not stop what leaves the group on purpose (the notifier's
// waiting process, in a session of its own).
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

// Whether the program's address space is bounded by ToolMemoryBound, and the files it writes
// by ToolFileBound: binutils and cpp are,
// so that an include of something endless (a device such as /dev/zero) ends in their
// message that memory ran out instead of in the system's; the notifier is not, since what
// it opens (an emulator) inherits its limits.
enum class ToolMemory { Bounded, Unbounded };
// Twenty times what as, ld and cpp take for a program that fills a 32 MiB cartridge.
static constexpr std::uint64_t ToolMemoryBound = std::uint64_t(2) << 30;
// The largest file a bounded program may write: eight times a whole cartridge, for an
// object or linked program with its symbols and line table.
static constexpr std::uint64_t ToolFileBound = std::uint64_t(256) << 20;

// inheritedFiles[i] becomes the program's descriptor inheritedFileNumber(i), which it
// opens as inheritedFilePath(i); a negative entry leaves that number closed. Nothing else
// of ours is inherited. The program runs in workingFolder if one is given, else in ours.
// Runs may go on in several threads at once. A program stopped at the timeout is reported
// as TimedOut only once every process of its group is gone.
ToolRun runTool(const std::string &program, const std::vector<std::string> &arguments,
    const std::vector<int> &inheritedFiles, std::chrono::milliseconds timeout,
    ToolLocale locale = ToolLocale::Untranslated, const std::string &workingFolder = {},
    ToolMemory memory = ToolMemory::Bounded);

// Makes this process answerable for the tools it runs: it becomes the reaper of their
// orphans (a child subreaper), so that a run can wait until a tool's whole group is gone,
// and SIGTERM, SIGINT and SIGHUP, unless ignored, end every running tool's group before
// they end this process as they would have. Called once at start, before any thread.
void superviseTools();

int inheritedFileNumber(std::size_t index);
std::string inheritedFilePath(std::size_t index);
// The folder of all inheritedFilePath()s.
std::string inheritedFilesFolder();

// The first executable file called name in a folder of PATH, or an empty string. Empty
// entries of PATH are skipped: they would mean the current folder.
std::string findExecutable(const std::string &name);

} // namespace Tarnwick
