#include "debugsession.h"

#include "arguments.h"
#include "descriptor.h"
#include "elffile.h"
#include "inputfiles.h"
#include "output.h"
#include "paths.h"
#include "toolprocess.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace Tarnwick {

namespace {

// Everything the session tells the person; "{}" stands for the arguments, in order.
enum class Message {
    ImageUnreadable,
    NoProgram,
    ProgramUnreadable,
    ProgramOlder,
    NoDebugger,
    NoEmulator,
    PortInUse,
    NotStarted,
    EmulatorEnded,
    EmulatorSaid,
    StubSilent,
    StartsInFirmware,
    NoInterrupt,
    EmulatorClosed,
};

struct MessageText
{
    Message message;
    const char *text;
};

constexpr MessageText Messages[] = {
    { Message::ImageUnreadable, "tarnwick: error: cannot debug {}: {}" },
    { Message::NoProgram,
        "tarnwick: error: no linked program {} beside the image {}: build the image again "
        "with tarnwick, which writes both" },
    { Message::ProgramUnreadable, "tarnwick: error: cannot read the linked program {}: {}" },
    { Message::ProgramOlder,
        "tarnwick: warning: the linked program {} is older than the image {}: gdb shows the "
        "program as it was then; build the image again to debug what it holds now" },
    { Message::NoDebugger,
        "tarnwick: error: no gdb-multiarch to debug with: sudo apt-get install gdb-multiarch "
        "mgba-qt" },
    { Message::NoEmulator,
        "tarnwick: error: no emulator with a GDB stub (mgba-qt or mgba): sudo apt-get install "
        "gdb-multiarch mgba-qt" },
    { Message::PortInUse,
        "tarnwick: error: port {} is in use, and the emulator's GDB stub takes no other: end "
        "what listens there (another debugging session?) and try again" },
    { Message::NotStarted, "tarnwick: error: cannot start {}: {}" },
    { Message::EmulatorEnded,
        "tarnwick: error: the emulator {} ended before its GDB stub listened (exit status {})" },
    { Message::EmulatorSaid, "tarnwick: note: what the emulator said last:\n{}" },
    { Message::StubSilent,
        "tarnwick: error: the emulator's GDB stub did not listen on port {} within {} seconds" },
    { Message::StartsInFirmware,
        "tarnwick: note: the processor starts in the handheld's firmware at 0x00000000, which "
        "gdb shows as ?? since it is no part of the program; the session runs on to {}" },
    { Message::NoInterrupt,
        "tarnwick: note: mgba-qt's GDB stub does not answer Ctrl-C while the program runs; "
        "a breakpoint stops it (mgba-sdl's stub answers: sudo apt-get install mgba-sdl)" },
    { Message::EmulatorClosed, "tarnwick: note: the emulator was closed; gdb ends with it" },
};

std::string say(Message message, const std::vector<std::string> &arguments = {})
{
    std::string text;
    for (const MessageText &entry : Messages) {
        if (entry.message == message)
            text = entry.text;
    }
    std::size_t at = 0;
    for (const std::string &argument : arguments) {
        at = text.find("{}", at);
        if (at == std::string::npos)
            break;
        text.replace(at, 2, argument);
        at += argument.size();
    }
    return text;
}

// Said at once on standard error, where the person typed the command: before gdb takes the
// terminal, or instead of it.
void tell(const std::string &text)
{
    const std::string line = text + '\n';
    [[maybe_unused]] const std::size_t written = std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

// Debian puts the emulators in /usr/games, which root's PATH does not name.
std::string findProgram(const std::string &name)
{
    const std::string found = findExecutable(name);
    if (!found.empty())
        return found;
    const std::string games = "/usr/games/" + name;
    return ::access(games.c_str(), X_OK) == 0 ? games : std::string();
}

// The emulators whose GDB stub the session uses, the first one found: mgba-sdl's, then
// mgba-qt's, whose stub does not answer gdb's interrupt (Ctrl-C) while the program runs, so
// that a program in an endless loop cannot be stopped but by a breakpoint.
constexpr std::array<const char *, 2> Emulators { "mgba", "mgba-qt" };
constexpr std::string_view DeafEmulator = "mgba-qt";

// Whether the stub could take the port: bound the way a server binds it (any address,
// SO_REUSEADDR), which fails only while something listens there.
bool portFree(int port)
{
    const Descriptor probe(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int yes = 1;
    ::setsockopt(probe.get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    return probe.get() >= 0
        && ::bind(probe.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
}

// Whether process pid listens on port: a socket of its in the kernel's table of TCP sockets,
// local port port, state LISTEN. Watching the table, not connecting: the stub serves one
// connection, and a probe would take the one meant for gdb.
bool listensOn(pid_t pid, int port)
{
    constexpr std::string_view Listen = "0A";
    char portText[8];
    std::snprintf(portText, sizeof portText, ":%04X", unsigned(port));
    std::vector<std::string> inodes;
    for (const char *table : { "/proc/net/tcp", "/proc/net/tcp6" }) {
        std::ifstream lines(table);
        std::string line;
        std::getline(lines, line);
        while (std::getline(lines, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state, queues, timer, retransmits, user, timeout,
                inode;
            fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> user
                >> timeout >> inode;
            if (state == Listen && local.size() > 5
                && local.compare(local.size() - 5, 5, portText) == 0)
                inodes.push_back("socket:[" + inode + "]");
        }
    }
    if (inodes.empty())
        return false;
    const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
    for (const std::string &entry : folderEntries(folder)) {
        char target[64];
        const ssize_t length
            = ::readlink((folder + '/' + entry).c_str(), target, sizeof target - 1);
        if (length <= 0)
            continue;
        const std::string link(target, std::size_t(length));
        for (const std::string &inode : inodes) {
            if (link == inode)
                return true;
        }
    }
    return false;
}

// The signals that end the session arrive as a byte on this pipe, read where the session
// waits: a handler may do little more than write(2).
int signalPipe[2] = { -1, -1 };

void onEndingSignal(int signal)
{
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

constexpr std::array<int, 3> EndingSignals { SIGTERM, SIGHUP, SIGINT };

// Puts the session's handlers in place for its length, and the ones before back after it.
class EndingSignalsCaught
{
public:
    EndingSignalsCaught()
    {
        m_ready = ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) == 0;
        struct sigaction action
        {
        };
        action.sa_handler = onEndingSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (std::size_t i = 0; i < EndingSignals.size() && m_ready; ++i)
            ::sigaction(EndingSignals[i], &action, &m_before[i]);
    }
    ~EndingSignalsCaught()
    {
        if (!m_ready)
            return;
        for (std::size_t i = 0; i < EndingSignals.size(); ++i)
            ::sigaction(EndingSignals[i], &m_before[i], nullptr);
        ::close(signalPipe[0]);
        ::close(signalPipe[1]);
        signalPipe[0] = signalPipe[1] = -1;
    }
    EndingSignalsCaught(const EndingSignalsCaught &) = delete;
    EndingSignalsCaught &operator=(const EndingSignalsCaught &) = delete;

    // Ctrl-C is gdb's, to stop the program, once gdb runs: then it no longer ends us.
    void leaveInterruptToDebugger() { ::signal(SIGINT, SIG_IGN); }
    // The ending signal that came, or 0.
    int received() const
    {
        char byte = 0;
        return ::read(signalPipe[0], &byte, 1) == 1 ? int(byte) : 0;
    }
    int descriptor() const { return signalPipe[0]; }

private:
    bool m_ready = false;
    std::array<struct sigaction, EndingSignals.size()> m_before {};
};

// A program the session started, and a descriptor that becomes readable when it ends. In a
// process group of its own (the emulator) or in ours (gdb, which must have the terminal).
// The child gets the usual signal actions, SIGINT's too, which we may ignore meanwhile.
class Child
{
public:
    enum class Group { Own, Ours };

    Child() = default;
    ~Child() { end(); }
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;

    // Whether it started; else *error says why. output, if not negative, takes its standard
    // input's place as /dev/null and its standard output and error.
    bool start(const std::vector<std::string> &command, Group group, int deathSignal, int output,
        int *error)
    {
        std::vector<std::string> arguments = command;
        std::vector<char *> argv;
        for (std::string &argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        int report[2];
        if (::pipe2(report, O_CLOEXEC) != 0) {
            *error = errno;
            return false;
        }
        const pid_t parent = ::getpid();
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(report[0]);
            for (int signal = 1; signal < NSIG; ++signal) {
                if (signal != SIGKILL && signal != SIGSTOP)
                    ::signal(signal, SIG_DFL);
            }
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            if ((group == Group::Own && ::setpgid(0, 0) != 0)
                || ::prctl(PR_SET_PDEATHSIG, deathSignal) != 0 || ::getppid() != parent)
                fail(report[1]);
            if (output >= 0) {
                const int nothing = ::open("/dev/null", O_RDONLY);
                if (nothing < 0 || ::dup2(nothing, STDIN_FILENO) < 0
                    || ::dup2(output, STDOUT_FILENO) < 0 || ::dup2(output, STDERR_FILENO) < 0)
                    fail(report[1]);
            }
            ::execve(argv[0], argv.data(), environ);
            fail(report[1]);
        }
        ::close(report[1]);
        if (pid < 0) {
            *error = errno;
            ::close(report[0]);
            return false;
        }
        int failure = 0;
        ssize_t got = -1;
        do
            got = ::read(report[0], &failure, sizeof failure);
        while (got < 0 && errno == EINTR);
        ::close(report[0]);
        m_pid = pid;
        m_ownGroup = group == Group::Own;
        if (got == sizeof failure) {
            reap(0);
            *error = failure;
            return false;
        }
        m_ended = int(::syscall(SYS_pidfd_open, pid, 0));
        return true;
    }

    pid_t pid() const { return m_pid; }
    int endedDescriptor() const { return m_ended; }
    bool running() const { return m_pid > 0; }

    // Reaps it when it has ended; its wait status, or -1 while it runs.
    int reapIfEnded()
    {
        int status = 0;
        if (m_pid <= 0 || ::waitpid(m_pid, &status, WNOHANG) != m_pid)
            return -1;
        forget();
        return status;
    }

    // Asks it to end, then makes sure: SIGTERM, and SIGKILL after EndBound. Its group with
    // it, when it has one of its own.
    void end()
    {
        if (m_pid <= 0)
            return;
        signal(SIGTERM);
        pollfd ended { m_ended, POLLIN, 0 };
        const auto deadline = std::chrono::steady_clock::now() + DebugSession::EndBound;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (m_ended < 0 || left.count() <= 0)
                break;
            const int polled = ::poll(&ended, 1, int(left.count()));
            if (polled > 0 || (polled < 0 && errno != EINTR))
                break;
        }
        signal(SIGKILL);
        reap(0);
    }

private:
    [[noreturn]] static void fail(int report)
    {
        const int error = errno;
        [[maybe_unused]] const ssize_t written = ::write(report, &error, sizeof error);
        ::_exit(127);
    }

    void signal(int number) const { ::kill(m_ownGroup ? -m_pid : m_pid, number); }

    void reap(int flags)
    {
        int status = 0;
        while (::waitpid(m_pid, &status, flags) < 0 && errno == EINTR) { }
        // What it left of its group came to us, the subreaper, and ends with it.
        if (m_ownGroup) {
            ::kill(-m_pid, SIGKILL);
            while (::waitpid(-m_pid, &status, WNOHANG) > 0) { }
        }
        forget();
    }

    void forget()
    {
        if (m_ended >= 0)
            ::close(m_ended);
        m_ended = -1;
        m_pid = 0;
    }

    pid_t m_pid = 0;
    bool m_ownGroup = false;
    int m_ended = -1;
};

// Where gdb is to stop first: main, or the entry of a program without one (one that
// reserves the header, whose first instruction is its entry).
std::string firstStop(const ElfFile &program)
{
    if (program.definesGlobal("main"))
        return "main";
    const Bytes &bytes = program.bytes();
    constexpr std::size_t EntryField = 24;
    std::uint32_t entry = 0;
    for (std::size_t i = 0; i < 4 && EntryField + i < bytes.size(); ++i)
        entry |= std::uint32_t(bytes[EntryField + i]) << (8 * i);
    char text[16];
    std::snprintf(text, sizeof text, "*0x%08X", unsigned(entry));
    return text;
}

// A file in memory for the emulator's output, kept out of gdb's terminal: its first
// KeptOutput bytes, what it says when it fails to start. The file cannot grow beyond them,
// so that a chatty emulator in a long session fills no memory; it may not grow, and what
// it writes beyond them is lost.
constexpr off_t KeptOutput = 64 * 1024;

int makeOutputFile()
{
    const int file = ::memfd_create("emulator output", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (file >= 0
        && (::ftruncate(file, KeptOutput) != 0
            || ::fcntl(file, F_ADD_SEALS, F_SEAL_GROW | F_SEAL_SHRINK | F_SEAL_SEAL) != 0)) {
        ::close(file);
        return -1;
    }
    return file;
}

// The last lines of what the emulator wrote there.
std::string lastLines(int file)
{
    constexpr std::size_t Shown = 2000;
    std::string text(std::size_t(KeptOutput), '\0');
    const ssize_t got = ::pread(file, text.data(), text.size(), 0);
    text.resize(got > 0 ? std::size_t(got) : 0);
    text.resize(std::min(text.size(), text.find('\0')));
    if (text.size() > Shown)
        text.erase(0, text.size() - Shown);
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

} // namespace

bool DebugSession::toolsInstalled()
{
    bool emulator = false;
    for (const char *name : Emulators)
        emulator = emulator || !findProgram(name).empty();
    return emulator && !findProgram("gdb-multiarch").empty();
}

DebugSession::DebugSession(std::string image)
    : m_image(std::move(image))
{
}

int DebugSession::run()
{
    const std::string image = Arguments::quoted(m_image);
    struct stat imageInfo
    {
    };
    if (::stat(m_image.c_str(), &imageInfo) != 0 || ::access(m_image.c_str(), R_OK) != 0) {
        tell(say(Message::ImageUnreadable, { image, errorText(errno) }));
        return ExitFailure;
    }
    if (!S_ISREG(imageInfo.st_mode)) {
        tell(say(Message::ImageUnreadable, { image, "it is " + describe(fileKind(m_image)) }));
        return ExitFailure;
    }
    // Absolute, so that a name starting with '-' is never taken for an option.
    const std::string imagePath = absolutePath(m_image);
    const std::string programPath = programFileFor(imagePath);
    const std::string programName = Arguments::quoted(programFileFor(m_image));
    struct stat programInfo
    {
    };
    if (::stat(programPath.c_str(), &programInfo) != 0) {
        tell(say(Message::NoProgram, { programName, image }));
        return ExitFailure;
    }
    std::string contents;
    std::string problem;
    ElfFile program;
    if (!readFile(programPath, &contents, &problem)
        || !(problem = program.read(Bytes(contents.begin(), contents.end()))).empty()) {
        tell(say(Message::ProgramUnreadable, { programName, problem }));
        return ExitFailure;
    }
    const auto older = [](const timespec &first, const timespec &second) {
        return first.tv_sec < second.tv_sec
            || (first.tv_sec == second.tv_sec && first.tv_nsec < second.tv_nsec);
    };
    if (older(programInfo.st_mtim, imageInfo.st_mtim))
        tell(say(Message::ProgramOlder, { programName, image }));

    const std::string debugger = findProgram("gdb-multiarch");
    if (debugger.empty()) {
        tell(say(Message::NoDebugger));
        return ExitFailure;
    }
    std::string emulator;
    for (const char *name : Emulators) {
        if (emulator.empty())
            emulator = findProgram(name);
    }
    if (emulator.empty()) {
        tell(say(Message::NoEmulator));
        return ExitFailure;
    }
    if (!portFree(StubPort)) {
        tell(say(Message::PortInUse, { std::to_string(StubPort) }));
        return ExitFailure;
    }

    EndingSignalsCaught signals;
    const Descriptor emulatorOutput(makeOutputFile());
    Child emulatorRun;
    int error = 0;
    if (!emulatorRun.start({ emulator, "-g", imagePath }, Child::Group::Own, SIGKILL,
            emulatorOutput.get(), &error)) {
        tell(say(Message::NotStarted, { Arguments::quoted(emulator), errorText(error) }));
        return ExitFailure;
    }

    // Until the stub listens: the emulator's table of sockets looked at every few
    // milliseconds, within StubBound, and given up on as soon as the emulator ends.
    const auto deadline = std::chrono::steady_clock::now() + StubBound;
    constexpr int LookEveryMs = 20;
    while (!listensOn(emulatorRun.pid(), StubPort)) {
        const int status = emulatorRun.reapIfEnded();
        if (status >= 0) {
            tell(say(Message::EmulatorEnded,
                { Arguments::quoted(emulator),
                    std::to_string(
                        WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)) }));
            const std::string said = lastLines(emulatorOutput.get());
            if (!said.empty())
                tell(say(Message::EmulatorSaid, { said }));
            return ExitFailure;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            tell(say(Message::StubSilent,
                { std::to_string(StubPort), std::to_string(StubBound.count()) }));
            return ExitFailure;
        }
        pollfd wake[2]
            = { { signals.descriptor(), POLLIN, 0 }, { emulatorRun.endedDescriptor(), POLLIN, 0 } };
        if (::poll(wake, 2, LookEveryMs) > 0 && wake[0].revents != 0) {
            const int signal = signals.received();
            if (signal == 0)
                continue;
            emulatorRun.end();
            ::signal(signal, SIG_DFL);
            ::raise(signal);
            return ExitFailure;
        }
    }

    const std::string stop = firstStop(program);
    tell(say(Message::StartsInFirmware, { stop == "main" ? std::string("main") : "the entry" }));
    if (emulator.size() >= DeafEmulator.size()
        && emulator.compare(
               emulator.size() - DeafEmulator.size(), DeafEmulator.size(), DeafEmulator)
            == 0)
        tell(say(Message::NoInterrupt));
    signals.leaveInterruptToDebugger();
    Child debuggerRun;
    const std::vector<std::string> command { debugger, "-q", programPath, "-ex",
        "target remote 127.0.0.1:" + std::to_string(StubPort), "-ex", "tbreak " + stop, "-ex",
        "continue" };
    if (!debuggerRun.start(command, Child::Group::Ours, SIGTERM, -1, &error)) {
        tell(say(Message::NotStarted, { Arguments::quoted(debugger), errorText(error) }));
        return ExitFailure;
    }

    for (;;) {
        pollfd wake[3]
            = { { signals.descriptor(), POLLIN, 0 }, { emulatorRun.endedDescriptor(), POLLIN, 0 },
                  { debuggerRun.endedDescriptor(), POLLIN, 0 } };
        if (::poll(wake, 3, -1) < 0 && errno != EINTR)
            break;
        if (wake[0].revents != 0) {
            const int signal = signals.received();
            if (signal == 0 || signal == SIGINT)
                continue;
            debuggerRun.end();
            emulatorRun.end();
            ::signal(signal, SIG_DFL);
            ::raise(signal);
            return ExitFailure;
        }
        if (wake[2].revents != 0) {
            const int status = debuggerRun.reapIfEnded();
            emulatorRun.end();
            return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : ExitFailure;
        }
        if (wake[1].revents != 0) {
            emulatorRun.reapIfEnded();
            tell('\n' + say(Message::EmulatorClosed));
            debuggerRun.end();
            return ExitSuccess;
        }
    }
    return ExitFailure;
}

} // namespace Tarnwick
