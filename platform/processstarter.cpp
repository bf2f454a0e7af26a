#include "processstarter.h"

#include "commandline.h"
#include "platformerror.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

// What the child processes tell the front end through the start pipe. Each message is
// far below PIPE_BUF, so it arrives whole.
struct StartMessage
{
    enum Kind : int { StartedPid = 0, ForkFailed = 1, ExecFailed = 2 };
    int kind;
    int value;
};

constexpr int kReportFd = 3;

void writeMessage(int fd, int kind, int value)
{
    const StartMessage message{kind, value};
    ssize_t written;
    do {
        written = ::write(fd, &message, sizeof message);
    } while (written < 0 && errno == EINTR);
}

// Runs in the forked child, so it may only use async-signal-safe calls.
void closeInheritedDescriptors()
{
#ifdef SYS_close_range
    if (::syscall(SYS_close_range, kReportFd + 1, ~0U, 0) == 0)
        return;
#endif
    rlimit limit{};
    int highest = 1024;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        highest = static_cast<int>(limit.rlim_cur);
    for (int fd = kReportFd + 1; fd < highest; ++fd)
        ::close(fd);
}

[[noreturn]] void execInChild(int reportFd, const char *path, char *const argv[])
{
    ::setsid();

    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction byDefault{};
    byDefault.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig)
        ::sigaction(sig, &byDefault, nullptr);

    // The report pipe moves to a fixed descriptor so that everything above it can go.
    if (reportFd != kReportFd) {
        if (::dup3(reportFd, kReportFd, O_CLOEXEC) < 0) {
            writeMessage(reportFd, StartMessage::ExecFailed, errno);
            ::_exit(127);
        }
    }
    closeInheritedDescriptors();

    writeMessage(kReportFd, StartMessage::StartedPid, static_cast<int>(::getpid()));
    ::execve(path, argv, environ);
    writeMessage(kReportFd, StartMessage::ExecFailed, errno);
    ::_exit(127);
}

QString describeExecError(int error, const QString &path)
{
    if (error == E2BIG)
        return QCoreApplication::translate("ProcessStarter",
                                           "Cannot start %1: an argument is longer than the "
                                           "system allows.")
                .arg(path);
    return QCoreApplication::translate("ProcessStarter", "Cannot start %1: %2.")
            .arg(path, QString::fromLocal8Bit(std::strerror(error)));
}

int numberForErrno(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return PlatformError::FileNotFound;
    case EACCES:
    case EPERM:
        return PlatformError::PermissionDenied;
    case E2BIG:
    case ENOEXEC:
    case ENAMETOOLONG:
        return PlatformError::InvalidArgument;
    case ENOMEM:
        return PlatformError::OutOfMemory;
    default:
        return PlatformError::InternalError;
    }
}

bool isExecutableFile(const QByteArray &path, bool *exists)
{
    struct stat info{};
    if (::stat(path.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    *exists = true;
    return ::access(path.constData(), X_OK) == 0;
}

// A file descriptor that closes itself.
class Fd
{
public:
    explicit Fd(int fd = -1) : m_fd(fd) { }
    ~Fd() { reset(); }
    Q_DISABLE_COPY(Fd)
    int get() const { return m_fd; }
    void reset()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

// Reads one message; false at end of file.
bool readMessage(int fd, StartMessage *message)
{
    ssize_t got;
    do {
        got = ::read(fd, message, sizeof *message);
    } while (got < 0 && errno == EINTR);
    return got == static_cast<ssize_t>(sizeof *message);
}

} // namespace

ProcessStarter::ProcessStarter(const QStringList &firstFolders) : m_firstFolders(firstFolders) { }

QStringList ProcessStarter::defaultFolders()
{
    if (!QCoreApplication::instance())
        return {};
    return {QCoreApplication::applicationDirPath()};
}

QString ProcessStarter::locate(const QString &program) const
{
    if (program.isEmpty())
        throw PlatformError(PlatformError::FileNotFound,
                            QCoreApplication::translate("ProcessStarter",
                                                        "File not found: the command line names "
                                                        "no program."));

    QStringList candidates;
    if (program.contains(u'/')) {
        candidates.append(program);
    } else {
        QStringList folders = m_firstFolders;
        // An empty PATH entry would mean the current folder; only a folder that PATH
        // names explicitly is searched, so a file planted where the user works is not
        // run by accident.
        const QString path = QString::fromLocal8Bit(qgetenv("PATH"));
        for (const QString &folder : path.split(u':', Qt::SkipEmptyParts))
            folders.append(folder);
        for (const QString &folder : std::as_const(folders))
            candidates.append(folder + u'/' + program);
    }

    bool foundButNotExecutable = false;
    for (const QString &candidate : std::as_const(candidates)) {
        bool exists = false;
        if (isExecutableFile(QFile::encodeName(candidate), &exists))
            return QFileInfo(candidate).absoluteFilePath();
        foundButNotExecutable = foundButNotExecutable || exists;
    }
    if (foundButNotExecutable)
        throw PlatformError(PlatformError::PermissionDenied,
                            QCoreApplication::translate("ProcessStarter",
                                                        "Permission denied: %1 is not an "
                                                        "executable program.")
                                    .arg(program));
    throw PlatformError(PlatformError::FileNotFound,
                        QCoreApplication::translate("ProcessStarter",
                                                    "File not found: no program named %1 was "
                                                    "found beside this program or on PATH.")
                                .arg(program));
}

qint64 ProcessStarter::start(const QString &commandLine, ShowMode mode)
{
    // The show mode is part of the interface, but a console program on X11 has no window
    // of its own to minimize, so there is nothing to apply it to.
    Q_UNUSED(mode);

    const QStringList arguments = SplitCommandLine(commandLine);
    const QString path = locate(arguments.value(0));

    // Everything the child needs is prepared here: after fork it may not allocate.
    const QByteArray encodedPath = QFile::encodeName(path);
    std::vector<QByteArray> encoded;
    encoded.reserve(static_cast<size_t>(arguments.size()));
    for (const QString &argument : arguments)
        encoded.push_back(QFile::encodeName(argument));
    std::vector<char *> argv;
    for (QByteArray &argument : encoded)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw PlatformError(numberForErrno(errno), describeExecError(errno, path));
    Fd readEnd(pipeFds[0]);
    Fd writeEnd(pipeFds[1]);

    // Two forks: the intermediate child exits at once and is reaped here, so the program
    // is adopted by the system and never becomes our zombie, whenever it ends.
    const pid_t intermediate = ::fork();
    if (intermediate < 0)
        throw PlatformError(numberForErrno(errno), describeExecError(errno, path));
    if (intermediate == 0) {
        const pid_t child = ::fork();
        if (child == 0)
            execInChild(writeEnd.get(), encodedPath.constData(), argv.data());
        if (child < 0)
            writeMessage(writeEnd.get(), StartMessage::ForkFailed, errno);
        ::_exit(child < 0 ? 1 : 0);
    }
    writeEnd.reset();
    int status = 0;
    while (::waitpid(intermediate, &status, 0) < 0 && errno == EINTR) { }

    qint64 pid = -1;
    StartMessage message{};
    while (readMessage(readEnd.get(), &message)) {
        switch (message.kind) {
        case StartMessage::StartedPid:
            pid = message.value;
            break;
        case StartMessage::ForkFailed:
        case StartMessage::ExecFailed:
            throw PlatformError(numberForErrno(message.value),
                                describeExecError(message.value, path));
        }
    }
    if (pid <= 0)
        throw PlatformError(PlatformError::InternalError,
                            QCoreApplication::translate("ProcessStarter",
                                                        "Cannot start %1: the new process "
                                                        "ended before it could run it.")
                                    .arg(path));
    return pid;
}
