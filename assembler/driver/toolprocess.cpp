#include "toolprocess.h"

#include "sourcetext.h"

#include "descriptor.h"
#include "paths.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace Tarnwick {

namespace {

// Above standard input, output and error.
constexpr int FirstInheritedFile = 3;
// How long the processes of a tool's group get to go once killed. Only a process held in
// the kernel (by a network file system that does not answer, say) takes longer.
constexpr std::chrono::milliseconds StopBound { 10 * 1000 };
// The child runs on a stack of its own until the program replaces it; it needs little.
constexpr std::size_t ChildStackSize = 256 * 1024;

// The process groups of the tools running now, for the handler of the ending signals: a
// fixed table of atomics, since a signal handler may neither lock nor allocate. A tool
// that finds no free slot still ends with us on SIGKILL, by its parent-death signal.
constexpr std::size_t MaxRunningTools = 1024;
static_assert(std::atomic<pid_t>::is_always_lock_free);
std::array<std::atomic<pid_t>, MaxRunningTools> runningGroups {};

constexpr std::array<int, 3> EndingSignals { SIGTERM, SIGINT, SIGHUP };

void onEndingSignal(int signal)
{
    for (const std::atomic<pid_t> &group : runningGroups) {
        const pid_t id = group.load(std::memory_order_relaxed);
        if (id > 0)
            ::kill(-id, SIGKILL);
    }
    // SA_RESETHAND has put the default action back: raised again, the signal ends us as it
    // would have ended us without this handler.
    ::raise(signal);
}

// Holds one tool's process group in runningGroups while the tool runs, so that an ending
// signal kills the group; it never kills the group itself.
class RunningGroup
{
public:
    RunningGroup() = default;
    ~RunningGroup() { release(); }
    RunningGroup(const RunningGroup &) = delete;
    RunningGroup &operator=(const RunningGroup &) = delete;
    void enter(pid_t group)
    {
        for (std::atomic<pid_t> &slot : runningGroups) {
            pid_t free = 0;
            if (slot.compare_exchange_strong(free, group)) {
                m_slot = &slot;
                return;
            }
        }
    }
    void release()
    {
        if (m_slot)
            m_slot->store(0);
        m_slot = nullptr;
    }

private:
    std::atomic<pid_t> *m_slot = nullptr;
};

// A copy of fd, close-on-exec, numbered at least floor: the child's dup2 calls then never
// overwrite one another's source.
Descriptor copyAbove(int fd, int floor)
{
    return Descriptor(::fcntl(fd, F_DUPFD_CLOEXEC, floor));
}

// The memory that the child runs on between clone and exec, released with the run. The
// program never uses it: exec gives it a stack of its own.
class ChildStack
{
public:
    ChildStack()
        : m_base(::mmap(nullptr, ChildStackSize, PROT_READ | PROT_WRITE,
            MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0))
    {
    }
    ~ChildStack()
    {
        if (valid())
            ::munmap(m_base, ChildStackSize);
    }
    ChildStack(const ChildStack &) = delete;
    ChildStack &operator=(const ChildStack &) = delete;
    bool valid() const { return m_base != MAP_FAILED; }
    // Stacks grow downwards.
    void *top() const { return static_cast<char *>(m_base) + ChildStackSize; }

private:
    void *m_base;
};

// Everything the child needs, made ready by the parent: between clone and exec the child
// may only make system calls, since it shares our memory, our allocator's locks included.
struct ChildSetup
{
    const char *program = nullptr;
    char *const *argv = nullptr;
    char *const *envp = nullptr;
    const char *folder = nullptr;
    pid_t parent = 0;
    bool boundMemory = false;
    rlimit memory {};
    rlimit fileSize {};
    rlimit openFiles {};
    int input = -1;
    int output = -1;
    // Sources of the descriptors FirstInheritedFile + i; negative for a number left closed.
    const int *files = nullptr;
    int fileCount = 0;
    // What failed before the program replaced the child; read by the parent once clone
    // returns, which with CLONE_VFORK is after the exec or the child's end.
    int error = 0;
};

[[noreturn]] void childFailed(ChildSetup *setup)
{
    setup->error = errno;
    ::_exit(127);
}

// The child between clone and exec. Not instrumented by the sanitizers: it runs on a stack
// they do not know and never returns.
__attribute__((no_sanitize("address", "undefined"))) int startChild(void *data)
{
    ChildSetup *setup = static_cast<ChildSetup *>(data);
    // A handler of ours must not run in a child that shares our memory, and the program
    // gets the usual action of SIGPIPE back, which tarnwick ignores for itself.
    for (int signal = 1; signal < NSIG; ++signal) {
        struct sigaction action
        {
        };
        if (::sigaction(signal, nullptr, &action) != 0 || action.sa_handler == SIG_DFL
            || (action.sa_handler == SIG_IGN && signal != SIGPIPE))
            continue;
        action.sa_handler = SIG_DFL;
        action.sa_flags = 0;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal, &action, nullptr);
    }
    if (::setpgid(0, 0) != 0 || ::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0)
        childFailed(setup);
    // The parent-death signal comes when the thread that started the child ends, and
    // runTool waits for the child in that thread. It comes too late for a parent that went
    // before the prctl: nobody is left to wait for this child.
    if (::getppid() != setup->parent)
        ::_exit(127);
    // The files it writes are bounded too (the work files in memory above all, which an
    // .incbin of gigabytes would fill), and a write past the bound fails with a message of
    // the tool's instead of ending it.
    if (setup->boundMemory
        && (::setrlimit(RLIMIT_AS, &setup->memory) != 0
            || ::setrlimit(RLIMIT_FSIZE, &setup->fileSize) != 0))
        childFailed(setup);
    if (setup->boundMemory) {
        struct sigaction ignore
        {
        };
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        ::sigaction(SIGXFSZ, &ignore, nullptr);
    }
    if (::dup2(setup->input, STDIN_FILENO) < 0 || ::dup2(setup->output, STDOUT_FILENO) < 0
        || ::dup2(setup->output, STDERR_FILENO) < 0)
        childFailed(setup);
    const int handedOn = FirstInheritedFile + setup->fileCount;
    for (int i = 0; i < setup->fileCount; ++i) {
        if (setup->files[i] < 0)
            ::close(FirstInheritedFile + i);
        else if (::dup2(setup->files[i], FirstInheritedFile + i) < 0)
            childFailed(setup);
    }
    // Descriptors we inherited without close-on-exec, and every copy above, stay with us.
    if (::close_range(unsigned(handedOn), ~0U, 0) != 0) {
        for (rlim_t fd = rlim_t(handedOn); fd < setup->openFiles.rlim_cur; ++fd)
            ::close(int(fd));
    }
    if (setup->folder && ::chdir(setup->folder) != 0)
        childFailed(setup);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execve(setup->program, setup->argv, setup->envp);
    childFailed(setup);
}

// Our environment, for untranslated messages with LC_ALL=C in place of any LC_ALL.
std::vector<std::string> toolEnvironment(ToolLocale locale)
{
    std::vector<std::string> variables;
    for (char **variable = environ; variable && *variable; ++variable) {
        if (locale == ToolLocale::Ours || std::strncmp(*variable, "LC_ALL=", 7) != 0)
            variables.emplace_back(*variable);
    }
    if (locale == ToolLocale::Untranslated)
        variables.emplace_back("LC_ALL=C");
    return variables;
}

std::vector<char *> pointers(std::vector<std::string> &strings)
{
    std::vector<char *> result;
    for (std::string &text : strings)
        result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

void waitBriefly(std::chrono::milliseconds length)
{
    const timespec span { 0, long(std::chrono::nanoseconds(length).count()) };
    ::nanosleep(&span, nullptr);
}

// Reaps the group of the tool leader, which has been sent SIGKILL: the leader, and the
// orphans that came to us as their subreaper. Whether the whole group is gone; *status is
// the leader's.
bool reapGroup(pid_t leader, int *status)
{
    const auto giveUp = std::chrono::steady_clock::now() + StopBound;
    for (;;) {
        int reapedStatus = 0;
        const pid_t reaped = ::waitpid(-leader, &reapedStatus, WNOHANG);
        if (reaped == leader)
            *status = reapedStatus;
        if (reaped > 0 || (reaped < 0 && errno == EINTR))
            continue;
        // None of our children is left in the group; an orphan that went to another
        // reaper (we are none unless superviseTools() made us one) may still be.
        if (reaped < 0 && ::kill(-leader, 0) != 0 && errno == ESRCH)
            return true;
        if (std::chrono::steady_clock::now() >= giveUp)
            return false;
        waitBriefly(std::chrono::milliseconds(1));
    }
}

// What binutils and cc1 say when an allocation fails (libiberty's xmalloc, BFD).
bool ranOutOfMemory(const std::string &output)
{
    return output.find("out of memory") != std::string::npos
        || output.find("memory exhausted") != std::string::npos;
}

// The descriptors a child gets: the write end of the pipe its output goes to, /dev/null as
// its input and a copy of each inherited file, all numbered above the inherited files' own
// numbers; and the read end of the pipe, which stays with us.
struct ChildFiles
{
    Descriptor reading;
    Descriptor writing;
    Descriptor input;
    std::vector<Descriptor> copies;
    // The source of each inherited file in the child; negative for a number left closed.
    std::vector<int> sources;

    // False with errno set when one of them cannot be made.
    bool open(const std::vector<int> &inheritedFiles)
    {
        const int floor = inheritedFileNumber(inheritedFiles.size());
        int ends[2] = { -1, -1 };
        if (::pipe2(ends, O_CLOEXEC) != 0)
            return false;
        reading = Descriptor(ends[0]);
        writing = copyAbove(ends[1], floor);
        const int error = errno;
        ::close(ends[1]);
        errno = error;
        if (!writing.valid())
            return false;
        const Descriptor nothing(::open("/dev/null", O_RDONLY | O_CLOEXEC));
        if (!nothing.valid())
            return false;
        input = copyAbove(nothing.get(), floor);
        if (!input.valid())
            return false;
        for (const int file : inheritedFiles) {
            if (file >= 0)
                copies.push_back(copyAbove(file, floor));
            sources.push_back(file >= 0 ? copies.back().get() : -1);
            if (file >= 0 && !copies.back().valid())
                return false;
        }
        return true;
    }
};

// Bounds the child's address space and the files it writes, below what we may use
// ourselves.
void boundMemory(ChildSetup *setup)
{
    if (::getrlimit(RLIMIT_AS, &setup->memory) != 0)
        return;
    setup->boundMemory = true;
    if (setup->memory.rlim_cur == RLIM_INFINITY || setup->memory.rlim_cur > ToolMemoryBound)
        setup->memory.rlim_cur = rlim_t(ToolMemoryBound);
    ::getrlimit(RLIMIT_FSIZE, &setup->fileSize);
    if (setup->fileSize.rlim_cur == RLIM_INFINITY || setup->fileSize.rlim_cur > ToolFileBound)
        setup->fileSize.rlim_cur = rlim_t(ToolFileBound);
}

// What the child needs to become the program, all made here: the child may not allocate.
ChildSetup setupFor(const std::string &program, const std::vector<char *> &argv,
    const std::vector<char *> &envp, const std::string &workingFolder, const ChildFiles &files,
    ToolMemory memory)
{
    ChildSetup setup;
    setup.program = program.c_str();
    setup.argv = argv.data();
    setup.envp = envp.data();
    setup.folder = workingFolder.empty() ? nullptr : workingFolder.c_str();
    setup.parent = ::getpid();
    setup.input = files.input.get();
    setup.output = files.writing.get();
    setup.files = files.sources.data();
    setup.fileCount = int(files.sources.size());
    ::getrlimit(RLIMIT_NOFILE, &setup.openFiles);
    if (memory == ToolMemory::Bounded)
        boundMemory(&setup);
    return setup;
}

// Starts the child in a process group of its own, entered in runningGroups, with a pidfd
// of it in *process. Returns its id, or 0 with the errno value of the failed start in
// *error, the child reaped if it began.
pid_t startInGroup(ChildSetup *setup, const ChildStack &stack, RunningGroup *group,
    Descriptor *process, int *error)
{
    // Every signal is blocked in this thread until the group is in runningGroups: no
    // handler of ours may run in the child before it has put the defaults back, and none
    // in this thread before the group can be killed. Should another thread handle an ending
    // signal meanwhile, the child still ends by its parent-death signal.
    sigset_t all;
    sigset_t before;
    sigfillset(&all);
    ::pthread_sigmask(SIG_BLOCK, &all, &before);
    int processFile = -1;
    const pid_t pid = ::clone(startChild, stack.top(),
        CLONE_VM | CLONE_VFORK | CLONE_PIDFD | SIGCHLD, setup, &processFile);
    const int cloneError = errno;
    if (pid > 0 && setup->error == 0)
        group->enter(pid);
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (pid <= 0) {
        *error = cloneError;
        return 0;
    }
    *process = Descriptor(processFile);
    if (setup->error != 0) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
        *error = setup->error;
        return 0;
    }
    return pid;
}

// Reads the program's output into *output until the program has ended and its output is
// read to the end, or the deadline passed. What the program leaves running is killed with
// its group as it ends, so that the end of the output does not wait for it. Whether the
// program ended in time.
bool gatherOutput(const Descriptor &reading, const Descriptor &process, pid_t group,
    std::chrono::steady_clock::time_point deadline, std::string *output)
{
    bool exited = false;
    bool drained = false;
    char buffer[8192];
    while (!exited || !drained) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd ready[2] = { { drained ? -1 : reading.get(), POLLIN, 0 },
            { exited ? -1 : process.get(), POLLIN, 0 } };
        const int polled = ::poll(ready, 2, int(left.count()));
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled <= 0)
            break;
        if (ready[1].revents != 0) {
            exited = true;
            ::kill(-group, SIGKILL);
        }
        if (ready[0].revents != 0) {
            const ssize_t got = ::read(reading.get(), buffer, sizeof buffer);
            if (got > 0)
                output->append(buffer, std::size_t(got));
            else if (got == 0 || errno != EINTR)
                drained = true;
        }
    }
    return exited;
}

// How a program that ended by itself ended, with a note when it ran into one of our
// bounds: its own message says only that memory ran out or a file grew too large.
void tellEnd(const std::string &program, const ChildSetup &setup, int status, ToolRun *run)
{
    if (WIFEXITED(status)) {
        run->result = ToolRun::Result::Finished;
        run->exitCode = WEXITSTATUS(status);
    } else {
        run->result = ToolRun::Result::Crashed;
    }
    if (!setup.boundMemory || run->exitCode == 0)
        return;
    const std::string name = SourceText::fileNamePart(program);
    if (ranOutOfMemory(run->output))
        run->output += "note: " + name + " may use at most "
            + std::to_string(setup.memory.rlim_cur >> 20)
            + " MiB of memory; an include of something endless, such as a device, is the "
              "usual cause\n";
    else if (run->output.find("File too large") != std::string::npos)
        run->output += "note: " + name + " may write at most "
            + std::to_string(setup.fileSize.rlim_cur >> 20)
            + " MiB; an .incbin of a file far larger than a cartridge is the usual cause\n";
}

// How a program stopped at the timeout ended: TimedOut once its whole group is gone, else
// told as the tool's failure, in words of our own, since not all of it was stopped.
void tellTimeout(
    const std::string &program, bool stopped, std::chrono::milliseconds timeout, ToolRun *run)
{
    if (stopped) {
        run->result = ToolRun::Result::TimedOut;
        return;
    }
    run->result = ToolRun::Result::Finished;
    run->exitCode = 1;
    run->output = "error: " + SourceText::fileNamePart(program) + " did not finish within "
        + std::to_string(std::chrono::duration_cast<std::chrono::seconds>(timeout).count())
        + " seconds, and not all of its processes could be stopped\n";
}

} // namespace

void superviseTools()
{
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    for (const int signal : EndingSignals) {
        struct sigaction before
        {
        };
        // What our caller ignores (nohup's SIGHUP, a background job's SIGINT) stays ignored.
        if (::sigaction(signal, nullptr, &before) != 0 || before.sa_handler == SIG_IGN)
            continue;
        struct sigaction action
        {
        };
        action.sa_handler = onEndingSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        ::sigaction(signal, &action, nullptr);
    }
}

int inheritedFileNumber(std::size_t index)
{
    return FirstInheritedFile + int(index);
}

std::string inheritedFilePath(std::size_t index)
{
    return inheritedFilesFolder() + '/' + std::to_string(inheritedFileNumber(index));
}

std::string inheritedFilesFolder()
{
    return "/proc/self/fd";
}

ToolRun runTool(const std::string &program, const std::vector<std::string> &arguments,
    const std::vector<int> &inheritedFiles, std::chrono::milliseconds timeout, ToolLocale locale,
    const std::string &workingFolder, ToolMemory memory)
{
    ToolRun run;
    ChildFiles files;
    const ChildStack stack;
    if (!files.open(inheritedFiles) || !stack.valid()) {
        run.startError = errno;
        return run;
    }

    std::vector<std::string> argumentList { program };
    argumentList.insert(argumentList.end(), arguments.begin(), arguments.end());
    std::vector<std::string> environment = toolEnvironment(locale);
    const std::vector<char *> argv = pointers(argumentList);
    const std::vector<char *> envp = pointers(environment);
    ChildSetup setup = setupFor(program, argv, envp, workingFolder, files, memory);

    RunningGroup group;
    Descriptor process;
    const pid_t pid = startInGroup(&setup, stack, &group, &process, &run.startError);
    if (pid == 0)
        return run;
    // Only the child holds the pipe's write end now, so its end is the output's end.
    files.writing.reset();
    const bool exited = gatherOutput(
        files.reading, process, pid, std::chrono::steady_clock::now() + timeout, &run.output);
    if (!exited)
        ::kill(-pid, SIGKILL);
    // The group is dead or dying: nothing is left for the ending signals to kill.
    group.release();
    int status = 0;
    const bool stopped = reapGroup(pid, &status);
    if (exited)
        tellEnd(program, setup, status, &run);
    else
        tellTimeout(program, stopped, timeout, &run);
    return run;
}

std::string findExecutable(const std::string &name)
{
    const char *path = std::getenv("PATH");
    const std::string folders = path ? path : "";
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        const std::string folder = folders.substr(start, end - start);
        start = end + 1;
        if (folder.empty())
            continue;
        const std::string candidate = absolutePath(folder + '/' + name);
        struct stat info
        {
        };
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode)
            && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

} // namespace Tarnwick
