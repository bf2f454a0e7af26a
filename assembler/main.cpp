#include "appinfo.h"
#include "arguments.h"
#include "cartridgebuild.h"
#include "debugsession.h"
#include "diagnostics.h"
#include "logo.h"
#include "notification.h"
#include "toolprocess.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

// A program started with standard input, output or error closed would see its next file
// take that number, and the tools' output or a message end up in it.
void openStandardDescriptors()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0 && ::open("/dev/null", O_RDWR) != fd)
            return;
    }
}

void printLines(std::FILE *stream, const std::vector<std::string> &lines)
{
    std::string text;
    // Whatever a message holds, a name the tools printed raw among it, reaches the
    // terminal without its control characters.
    for (const std::string &line : lines)
        text += Tarnwick::withControlsEscapedInMessage(line) + '\n';
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

// The one place that tells the person how a run went: on standard error, and through the
// desktop when nobody reads standard error. What is printed comes first and stays the same.
void tell(const Tarnwick::Outcome &outcome, const std::string &source)
{
    printLines(stderr, outcome.diagnostics);
    if (!Tarnwick::shouldNotify(std::getenv("TARNWICK_NOTIFY"), ::isatty(STDERR_FILENO) == 1))
        return;
    Tarnwick::DesktopMessage message = Tarnwick::describeOutcome(outcome, source);
    message.debug = !outcome.program.empty() && Tarnwick::DebugSession::toolsInstalled();
    Tarnwick::notifyDesktop(message);
}

// Said without allocating, since memory has run out: the run ends as any failed run does,
// and what it was writing is removed on the way out.
int outOfMemory()
{
    static constexpr char Message[] = "tarnwick: out of memory: the run needs more memory than "
                                      "the system allows it (see ulimit -v)\n";
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, Message, sizeof Message - 1);
    return Tarnwick::ExitFailure;
}

int run(int argc, char *argv[])
{
    // An output that is a pipe whose reader went away must fail with a message, not end
    // the program silently.
    std::signal(SIGPIPE, SIG_IGN);
    openStandardDescriptors();
    // The tools end with the run, however it ends.
    Tarnwick::superviseTools();

    using Tarnwick::Arguments;
    using Tarnwick::Invocation;
    const Invocation invocation = Arguments::parse(std::vector<std::string>(argv + 1, argv + argc));
    switch (invocation.kind) {
    case Invocation::Kind::Help:
        printLines(stdout, { Arguments::help() });
        return Tarnwick::ExitSuccess;
    case Invocation::Kind::Version:
        printLines(stdout, { std::string("tarnwick ") + AppInfo::Version });
        return Tarnwick::ExitSuccess;
    case Invocation::Kind::WrongUse: {
        Tarnwick::Outcome wrongUse;
        wrongUse.exitStatus = Tarnwick::ExitWrongUse;
        wrongUse.diagnostics = { Arguments::usage(), invocation.problem };
        tell(wrongUse, invocation.source);
        return wrongUse.exitStatus;
    }
    case Invocation::Kind::KeepLogo: {
        // Said where the person typed it; there is no image to tell the desktop about.
        const Tarnwick::Outcome kept = Tarnwick::keepLogo(invocation.source);
        printLines(kept.exitStatus == Tarnwick::ExitSuccess ? stdout : stderr, kept.diagnostics);
        return kept.exitStatus;
    }
    case Invocation::Kind::Debug:
        // Said where the person typed it; there is nothing to tell the desktop.
        return Tarnwick::DebugSession(invocation.source).run();
    case Invocation::Kind::Assemble:
        break;
    }
    const Tarnwick::Outcome outcome
        = Tarnwick::CartridgeBuild(invocation.source, invocation.output).run();
    tell(outcome, invocation.source);
    return outcome.exitStatus;
}

} // namespace

int main(int argc, char *argv[])
{
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc &) {
        return outOfMemory();
    }
}
