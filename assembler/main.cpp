#include "arguments.h"
#include "cartridgebuild.h"

#include <csignal>
#include <cstdio>
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
    for (const std::string &line : lines)
        text += line + '\n';
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

// The one place that tells the person how a run went.
void tell(const Tarnwick::Outcome &outcome)
{
    printLines(stderr, outcome.diagnostics);
}

} // namespace

int main(int argc, char *argv[])
{
    // An output that is a pipe whose reader went away must fail with a message, not end
    // the program silently.
    std::signal(SIGPIPE, SIG_IGN);
    openStandardDescriptors();

    using Tarnwick::Arguments;
    using Tarnwick::Invocation;
    const Invocation invocation = Arguments::parse(std::vector<std::string>(argv + 1, argv + argc));
    switch (invocation.kind) {
    case Invocation::Kind::Help:
        printLines(stdout, { Arguments::usage() });
        return Tarnwick::ExitSuccess;
    case Invocation::Kind::WrongUse:
        printLines(stderr, { Arguments::usage(), invocation.problem });
        return Tarnwick::ExitWrongUse;
    case Invocation::Kind::Assemble:
        break;
    }
    const Tarnwick::Outcome outcome
        = Tarnwick::CartridgeBuild(invocation.source, invocation.output).run();
    tell(outcome);
    return outcome.exitStatus;
}
