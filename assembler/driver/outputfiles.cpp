#include "outputfiles.h"

#include "descriptor.h"
#include "paths.h"
#include "sourcetext.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Tarnwick {

namespace {

constexpr int MaxLinkDepth = 128;
constexpr std::chrono::milliseconds LockBound { 500 };
constexpr std::chrono::milliseconds LockPoll { 1 };

// The file that writing to path changes: path itself, or the end of its chain of
// symbolic links, dangling or not.
std::string finalTarget(const std::string &path)
{
    std::string target = path;
    for (int depth = 0; depth < MaxLinkDepth; ++depth) {
        struct stat info
        {
        };
        if (::lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return target;
        std::vector<char> buffer(std::size_t(info.st_size > 0 ? info.st_size : 255) + 1);
        const ssize_t length = ::readlink(target.c_str(), buffer.data(), buffer.size());
        if (length < 0 || std::size_t(length) >= buffer.size())
            return target;
        const std::string link(buffer.data(), std::size_t(length));
        if (link.empty())
            return target;
        target = link.front() == '/' ? link : folderOf(target) + '/' + link;
    }
    return path;
}

std::string randomSuffix()
{
    static constexpr char Letters[]
        = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    std::string suffix;
    for (int i = 0; i < 8; ++i)
        suffix += Letters[random() % (sizeof Letters - 1)];
    return suffix;
}

// Removes a temporary file that could not be completed, keeping errno; returns false.
bool removeUnfinished(int folder, const std::string &name)
{
    const int error = errno;
    ::unlinkat(folder, name.c_str(), 0);
    errno = error;
    return false;
}

// Whether name in folder still is the file open as fd: a run that renamed its file into
// place, or one that removed a dead run's file, may have taken the name since.
bool stillNamed(int folder, const std::string &name, int fd)
{
    struct stat named
    {
    };
    struct stat open
    {
    };
    return ::fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0
        && ::fstat(fd, &open) == 0 && named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

// Marks a temporary file as a live run's until the run ends, however it ends. Waits for a
// run that holds the lock for a moment to see whether the file is a dead run's. Where the
// file system has no locks, nobody can lock the file, so nobody removes it either.
void lockAsLive(int fd)
{
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) { }
}

// Closes file, which reports a write that failed late, and keeps its lock in *lock, a
// second descriptor of the same open file.
bool closeKeepingLock(Descriptor *file, Descriptor *lock)
{
    lock->reset(::fcntl(file->get(), F_DUPFD_CLOEXEC, 0));
    return lock->get() >= 0 && file->close();
}

// A file system that keeps no modes of its own (FAT through FUSE, say) refusing a mode is
// no failure: its files have the modes it gives them.
bool setMode(int fd, mode_t mode)
{
    return ::fchmod(fd, mode) == 0 || errno == ENOSYS || errno == EOPNOTSUPP || errno == EPERM;
}

// A descriptor of the file called name in folder, only to lock it: opened for reading, or
// for writing if reading is not allowed, and never a link followed or a pipe waited on.
int openToLock(int folder, const std::string &name)
{
    constexpr int Flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    const int fd = ::openat(folder, name.c_str(), O_RDONLY | Flags);
    return fd < 0 && errno == EACCES ? ::openat(folder, name.c_str(), O_WRONLY | Flags) : fd;
}

// Removes what killed runs left of their temporary files for one output: the files with
// its prefix that no live run holds locked. A live run locks its file before the file has
// a name, or checks after locking that the name is still its own, so a file that is
// unlocked and, once locked here, still under its name is a dead run's.
void removeLeftovers(const std::string &folderPath, int folder, const std::string &prefix)
{
    for (const std::string &name : folderEntries(folderPath)) {
        if (name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const Descriptor file(openToLock(folder, name));
        struct stat info
        {
        };
        if (file.get() >= 0 && ::fstat(file.get(), &info) == 0 && S_ISREG(info.st_mode)
            && ::flock(file.get(), LOCK_EX | LOCK_NB) == 0 && stillNamed(folder, name, file.get()))
            ::unlinkat(folder, name.c_str(), 0);
    }
}

// Writes the image into a file without a name (O_TMPFILE), locked as a live run's, and
// names it only once it is complete: a run that is killed while writing leaves nothing
// behind. On success the file is closed, its name in *name and its lock in *lock. Returns
// false with errno set on failure, and with errno 0 where the system or file system
// offers no such files.
bool writeUnnamedBeside(int folder, const std::string &prefix, const Bytes &image, bool keepMode,
    mode_t mode, std::string *name, Descriptor *lock)
{
    Descriptor file(::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (file.get() < 0) {
        if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)
            errno = 0;
        return false;
    }
    lockAsLive(file.get());
    if (!writeAll(file.get(), image.data(), image.size())
        || (keepMode && !setMode(file.get(), mode)))
        return false;
    const std::string self = "/proc/self/fd/" + std::to_string(file.get());
    for (int attempt = 0; attempt < 100; ++attempt) {
        *name = prefix + randomSuffix();
        if (::linkat(AT_FDCWD, self.c_str(), folder, name->c_str(), AT_SYMLINK_FOLLOW) == 0)
            return closeKeepingLock(&file, lock) || removeUnfinished(folder, *name);
        if (errno != EEXIST) {
            // No /proc to name the file by: let the caller write a named one.
            errno = 0;
            return false;
        }
    }
    return false;
}

// The same where the file system has no unnamed files (FAT, as on flash cartridges'
// memory cards): the file is named from the start, so a run that is killed while writing
// leaves it half-written, for the next run on the output to remove.
bool writeNamedBeside(int folder, const std::string &prefix, const Bytes &image, mode_t mode,
    std::string *name, Descriptor *lock)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        *name = prefix + randomSuffix();
        Descriptor file(
            ::openat(folder, name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (file.get() < 0 && errno == EEXIST)
            continue;
        if (file.get() < 0)
            return false;
        lockAsLive(file.get());
        // Before the lock, another run may have taken the file for a dead run's and removed it.
        if (!stillNamed(folder, *name, file.get()))
            continue;
        if (writeAll(file.get(), image.data(), image.size()) && setMode(file.get(), mode)
            && closeKeepingLock(&file, lock))
            return true;
        return removeUnfinished(folder, *name);
    }
    errno = EEXIST;
    return false;
}

bool writeInto(const std::string &path, const Bytes &image, std::string *problem)
{
    Descriptor file(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
    if (file.get() < 0 || !writeAll(file.get(), image.data(), image.size()) || !file.close()) {
        *problem = errorText(errno);
        return false;
    }
    return true;
}

// Locks the folder for the renames of one run, so that runs on the same outputs put their
// files in place one after the other. Another program may hold a lock on the folder for
// long (flock(1) around a whole build, say): after LockBound the run goes on without it.
void lockFolder(const std::string &folder, Descriptor *lock)
{
    lock->reset(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (lock->get() < 0)
        return;
    const auto deadline = std::chrono::steady_clock::now() + LockBound;
    while (::flock(lock->get(), LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR)
            || std::chrono::steady_clock::now() > deadline) {
            lock->reset(-1);
            return;
        }
        std::this_thread::sleep_for(LockPoll);
    }
}

// One file put in place of another in one piece: written beside it under a temporary name,
// then renamed over it. Until then nothing is changed, and a file never put in place is
// removed when this goes. Where the file system can swap two names, the file it replaced
// waits under the temporary name, locked, until this goes, so that the replacement can be
// undone. A device or a named pipe is written into at once, and that cannot be undone.
class Replacement
{
public:
    Replacement() = default;
    ~Replacement()
    {
        if (m_state == State::Written || m_state == State::Swapped)
            ::unlinkat(m_folder.get(), m_written.c_str(), 0);
    }
    Replacement(const Replacement &) = delete;
    Replacement &operator=(const Replacement &) = delete;

    bool write(const std::string &path, const Bytes &contents, std::string *problem);
    bool commit(std::string *problem);
    // Puts back what commit() replaced, where that can be done.
    void undo();

private:
    enum class State { None, Written, Created, Replaced, Swapped };

    Descriptor m_folder;
    std::string m_name;
    std::string m_written;
    // The written file's lock, and the replaced file's while it waits.
    Descriptor m_lock;
    Descriptor m_replacedLock;
    State m_state = State::None;
};

bool Replacement::write(const std::string &path, const Bytes &contents, std::string *problem)
{
    // Only an output that does not exist is made; any other failure to look at it (a loop
    // of symbolic links, a file where a folder should be) is reported, since taking it for
    // a missing output would replace a link by the image.
    struct stat existing
    {
    };
    const bool exists = ::stat(path.c_str(), &existing) == 0;
    if (!exists && errno != ENOENT) {
        *problem = errorText(errno);
        return false;
    }
    if (exists && S_ISDIR(existing.st_mode)) {
        *problem = "it is a folder";
        return false;
    }
    if (exists && !S_ISREG(existing.st_mode))
        return writeInto(path, contents, problem);

    const std::string target = finalTarget(path);
    if (exists && ::access(target.c_str(), W_OK) != 0) {
        *problem = errorText(errno);
        return false;
    }
    // A replaced image keeps the permissions of the one it replaces; a new one gets the
    // usual ones for a new file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const mode_t mode = exists ? existing.st_mode & 07777 : 0666 & ~mask;

    const std::string folderPath = folderOf(target);
    m_folder.reset(::open(folderPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    const int folder = m_folder.get();
    if (folder < 0) {
        *problem = errorText(errno);
        return false;
    }
    m_name = SourceText::fileNamePart(target);
    const std::string prefix = temporaryNamePrefix(m_name);
    removeLeftovers(folderPath, folder, prefix);

    // The lock on the written file lasts until it has been renamed into place.
    bool complete = writeUnnamedBeside(folder, prefix, contents, exists, mode, &m_written, &m_lock);
    if (!complete && errno == 0)
        complete = writeNamedBeside(folder, prefix, contents, mode, &m_written, &m_lock);
    if (!complete) {
        *problem = errorText(errno);
        return false;
    }
    m_state = State::Written;
    return true;
}

bool Replacement::commit(std::string *problem)
{
    if (m_state != State::Written)
        return true;
    const int folder = m_folder.get();
    struct stat existing
    {
    };
    const bool exists = ::fstatat(folder, m_name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists) {
        // Locked by this run or by another, it is taken by nobody for a leftover.
        m_replacedLock.reset(openToLock(folder, m_name));
        if (m_replacedLock.get() >= 0)
            ::flock(m_replacedLock.get(), LOCK_EX | LOCK_NB);
        if (::renameat2(folder, m_written.c_str(), folder, m_name.c_str(), RENAME_EXCHANGE) == 0) {
            m_state = State::Swapped;
            return true;
        }
        // EINVAL: the file system cannot swap names (FAT, say).
        if (errno != EINVAL && errno != ENOENT) {
            *problem = errorText(errno);
            return false;
        }
    }
    if (::renameat(folder, m_written.c_str(), folder, m_name.c_str()) != 0) {
        *problem = errorText(errno);
        return false;
    }
    m_state = exists ? State::Replaced : State::Created;
    return true;
}

void Replacement::undo()
{
    const int folder = m_folder.get();
    if (m_state == State::Swapped
        && ::renameat2(folder, m_written.c_str(), folder, m_name.c_str(), RENAME_EXCHANGE) == 0)
        m_state = State::Written;
    else if (m_state == State::Created && ::unlinkat(folder, m_name.c_str(), 0) == 0)
        m_state = State::None;
}

} // namespace

std::string temporaryNamePrefix(const std::string &fileName)
{
    // FNV-1a: a short name for a name of any length, the same in every run.
    std::uint64_t hash = 0xcbf29ce484222325;
    for (const char c : fileName) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3;
    }
    static constexpr char Digits[] = "0123456789abcdef";
    std::string prefix = ".tarnwick-";
    for (int shift = 60; shift >= 0; shift -= 4)
        prefix += Digits[(hash >> shift) & 0xF];
    return prefix + '-';
}

std::string writtenFile(const std::string &path)
{
    const std::string target = finalTarget(path);
    const std::string folder = resolvedPath(folderOf(target));
    if (folder.empty())
        return {};
    return (folder == "/" ? folder : folder + '/') + SourceText::fileNamePart(target);
}

bool writeImages(const std::vector<FileContents> &files, std::size_t *failed, std::string *problem)
{
    std::vector<std::unique_ptr<Replacement>> replacements;
    for (std::size_t i = 0; i < files.size(); ++i) {
        replacements.push_back(std::make_unique<Replacement>());
        if (!replacements.back()->write(files[i].path, *files[i].bytes, problem)) {
            *failed = i;
            return false;
        }
    }
    Descriptor lock;
    if (!files.empty())
        lockFolder(folderOf(files.front().path), &lock);
    for (std::size_t i = 0; i < replacements.size(); ++i) {
        if (!replacements[i]->commit(problem)) {
            *failed = i;
            while (i-- > 0)
                replacements[i]->undo();
            return false;
        }
    }
    return true;
}

bool writeImage(const std::string &path, const Bytes &image, std::string *problem)
{
    std::size_t failed = 0;
    return writeImages({ { path, &image } }, &failed, problem);
}

} // namespace Tarnwick
