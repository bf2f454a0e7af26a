#include "processstarter.h"

#include "commandline.h"
#include "platformerror.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

// posix_spawn's attribute and file-action objects, destroyed on every way out.
struct SpawnAttributes
{
    SpawnAttributes() { posix_spawnattr_init(&attributes); }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attributes); }
    Q_DISABLE_COPY(SpawnAttributes)
    posix_spawnattr_t attributes;
};

struct SpawnFileActions
{
    SpawnFileActions() { posix_spawn_file_actions_init(&actions); }
    ~SpawnFileActions() { posix_spawn_file_actions_destroy(&actions); }
    Q_DISABLE_COPY(SpawnFileActions)
    posix_spawn_file_actions_t actions;
};

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

} // namespace

ProcessStarter::ProcessStarter(const QStringList &firstFolders) : m_firstFolders(firstFolders) { }

QStringList ProcessStarter::defaultFolders()
{
    if (!QCoreApplication::instance())
        return {};
    return {QCoreApplication::applicationDirPath()};
}

qsizetype ProcessStarter::longestArgument()
{
    // Linux takes one argument of at most 32 pages, its terminating NUL included, and all
    // of them together within ARG_MAX; each character is at least one byte once encoded.
    static constexpr long PagesForOneArgument = 32;
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    long bytes = PagesForOneArgument * (pageSize > 0 ? pageSize : 4096);
    const long total = ::sysconf(_SC_ARG_MAX);
    if (total > 0 && total < bytes)
        bytes = total;
    return qsizetype(bytes) - 1;
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

    // The arguments in the form the system takes them: file-name encoding, NUL-terminated.
    const QByteArray encodedPath = QFile::encodeName(path);
    std::vector<QByteArray> encoded;
    encoded.reserve(static_cast<size_t>(arguments.size()));
    for (const QString &argument : arguments)
        encoded.push_back(QFile::encodeName(argument));
    std::vector<char *> argv;
    for (QByteArray &argument : encoded)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    SpawnAttributes attributes;
    SpawnFileActions fileActions;
    // A session of its own, so that closing the front end or the terminal it came from
    // leaves the program running; default signal handling and an empty signal mask,
    // whatever the front end uses itself.
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setflags(&attributes.attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setsigmask(&attributes.attributes, &none);
    posix_spawnattr_setsigdefault(&attributes.attributes, &all);
    // Only standard input, output and error go along: not the display connection nor any
    // file that the front end, or a library in it, opened without close-on-exec.
    posix_spawn_file_actions_addclosefrom_np(&fileActions.actions, STDERR_FILENO + 1);

    // posix_spawn starts the program without copying the front end's memory and reports
    // a failed exec as its result.
    pid_t pid = 0;
    const int error = ::posix_spawn(&pid, encodedPath.constData(), &fileActions.actions,
                                    &attributes.attributes, argv.data(), environ);
    if (error != 0)
        throw PlatformError(numberForErrno(error), describeExecError(error, path));

    // Nobody waits for the program, so a thread of its own reaps it when it ends and it
    // never lingers as a zombie. If the front end ends first, the system adopts it.
    try {
        std::thread([pid] {
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) { }
        }).detach();
    } catch (const std::system_error &) {
        // The program runs all the same; without a thread to spare it is reaped when the
        // front end ends. Reporting a failed start here would be wrong.
    }
    return pid;
}
