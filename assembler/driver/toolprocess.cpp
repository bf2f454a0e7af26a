#include "toolprocess.h"

#include "files.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace Tarnwick {

namespace {

// Above standard input, output and error.
constexpr int FirstInheritedFile = 3;

// posix_spawn's attribute and file-action objects and a pipe, released on every way out.
struct SpawnAttributes
{
    SpawnAttributes() { posix_spawnattr_init(&attributes); }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attributes); }
    SpawnAttributes(const SpawnAttributes &) = delete;
    SpawnAttributes &operator=(const SpawnAttributes &) = delete;
    posix_spawnattr_t attributes;
};

struct SpawnFileActions
{
    SpawnFileActions() { posix_spawn_file_actions_init(&actions); }
    ~SpawnFileActions() { posix_spawn_file_actions_destroy(&actions); }
    SpawnFileActions(const SpawnFileActions &) = delete;
    SpawnFileActions &operator=(const SpawnFileActions &) = delete;
    posix_spawn_file_actions_t actions;
};

struct Pipe
{
    Pipe() { ok = ::pipe2(ends, O_CLOEXEC) == 0; }
    ~Pipe()
    {
        closeEnd(0);
        closeEnd(1);
    }
    Pipe(const Pipe &) = delete;
    Pipe &operator=(const Pipe &) = delete;
    void closeEnd(int end)
    {
        if (ends[end] >= 0)
            ::close(ends[end]);
        ends[end] = -1;
    }
    int ends[2] = { -1, -1 };
    bool ok = false;
};

struct Copies
{
    Copies() = default;
    ~Copies()
    {
        for (const int fd : descriptors)
            ::close(fd);
    }
    Copies(const Copies &) = delete;
    Copies &operator=(const Copies &) = delete;
    std::vector<int> descriptors;
};

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

int waitFor(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    return status;
}

} // namespace

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
    const std::string &workingFolder)
{
    ToolRun run;
    Pipe output;
    SpawnFileActions files;
    SpawnAttributes attributes;
    if (!output.ok) {
        run.startError = errno;
        return run;
    }
    posix_spawn_file_actions_addopen(&files.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&files.actions, output.ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&files.actions, output.ends[1], STDERR_FILENO);
    // All of ours are close-on-exec; a copy made by dup2 is not. The copies come from
    // descriptors above the numbers they go to, so that none overwrites another's source.
    Copies high;
    for (std::size_t i = 0; i < inheritedFiles.size(); ++i) {
        if (inheritedFiles[i] < 0)
            continue;
        const int copy = ::fcntl(
            inheritedFiles[i], F_DUPFD_CLOEXEC, inheritedFileNumber(inheritedFiles.size()));
        if (copy < 0) {
            run.startError = errno;
            return run;
        }
        high.descriptors.push_back(copy);
        posix_spawn_file_actions_adddup2(&files.actions, copy, inheritedFileNumber(i));
    }
    // The change of folder happens in the child alone: other threads keep ours.
    if (!workingFolder.empty())
        posix_spawn_file_actions_addchdir_np(&files.actions, workingFolder.c_str());
    // tarnwick ignores SIGPIPE for itself; the tools get the usual behaviour back.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes.attributes, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes.attributes, &none);
    posix_spawnattr_setflags(
        &attributes.attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<std::string> argumentList { program };
    argumentList.insert(argumentList.end(), arguments.begin(), arguments.end());
    std::vector<std::string> environment = toolEnvironment(locale);
    const std::vector<char *> argv = pointers(argumentList);
    const std::vector<char *> envp = pointers(environment);

    pid_t pid = 0;
    const int started = ::posix_spawn(
        &pid, program.c_str(), &files.actions, &attributes.attributes, argv.data(), envp.data());
    if (started != 0) {
        run.startError = started;
        return run;
    }
    output.closeEnd(1);

    const auto deadline = std::chrono::steady_clock::now() + timeout;
    char buffer[8192];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd ready { output.ends[0], POLLIN, 0 };
        const int polled = left.count() > 0 ? ::poll(&ready, 1, int(left.count())) : 0;
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled <= 0) {
            ::kill(pid, SIGKILL);
            waitFor(pid);
            run.result = ToolRun::Result::TimedOut;
            return run;
        }
        const ssize_t got = ::read(output.ends[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        run.output.append(buffer, std::size_t(got));
    }

    const int status = waitFor(pid);
    if (WIFEXITED(status)) {
        run.result = ToolRun::Result::Finished;
        run.exitCode = WEXITSTATUS(status);
    } else {
        run.result = ToolRun::Result::Crashed;
    }
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
