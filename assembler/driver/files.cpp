#include "files.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Tarnwick {

namespace {

constexpr int MaxLinkDepth = 128;

// Closes a file descriptor on every way out.
class Descriptor
{
public:
    explicit Descriptor(int fd = -1)
        : m_fd(fd)
    {
    }
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;

    int get() const { return m_fd; }
    // Closes now, reporting the error that a close can bring (a write that failed late).
    bool close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool writeAll(int fd, const unsigned char *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= std::size_t(written);
    }
    return true;
}

std::string folderOf(const std::string &path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

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

// Writes the image under a fresh name in target's folder; returns that name, or an empty
// string with errno set.
std::string writeBeside(const std::string &target, const Bytes &image, mode_t mode)
{
    std::string name = target + ".XXXXXX";
    Descriptor file(::mkostemp(name.data(), O_CLOEXEC));
    if (file.get() < 0)
        return {};
    if (!writeAll(file.get(), image.data(), image.size()) || ::fchmod(file.get(), mode) != 0
        || !file.close()) {
        const int error = errno;
        ::unlink(name.c_str());
        errno = error;
        return {};
    }
    return name;
}

// The same without a name until the file is complete (O_TMPFILE): a run that is killed
// while writing leaves nothing behind. Returns an empty string with errno set on
// failure, and with errno 0 where the system or file system offers no such files.
std::string writeUnnamedBeside(
    const std::string &target, const Bytes &image, bool keepMode, mode_t mode)
{
    Descriptor file(::open(folderOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (file.get() < 0) {
        if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)
            errno = 0;
        return {};
    }
    if (!writeAll(file.get(), image.data(), image.size())
        || (keepMode && ::fchmod(file.get(), mode) != 0))
        return {};
    const std::string self = "/proc/self/fd/" + std::to_string(file.get());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = target + '.' + randomSuffix();
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            if (!file.close()) {
                const int error = errno;
                ::unlink(name.c_str());
                errno = error;
                return {};
            }
            return name;
        }
        if (errno != EEXIST) {
            // No /proc to name the file by: let the caller write a named one.
            errno = 0;
            return {};
        }
    }
    return {};
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

} // namespace

FileKind fileKind(const std::string &path)
{
    struct stat info
    {
    };
    if (::stat(path.c_str(), &info) != 0)
        return FileKind::Missing;
    if (S_ISREG(info.st_mode))
        return FileKind::Regular;
    if (S_ISDIR(info.st_mode))
        return FileKind::Folder;
    if (S_ISFIFO(info.st_mode))
        return FileKind::NamedPipe;
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
        return FileKind::Device;
    if (S_ISSOCK(info.st_mode))
        return FileKind::Socket;
    return FileKind::Other;
}

bool sameFile(const std::string &first, const std::string &second)
{
    struct stat one
    {
    };
    struct stat other
    {
    };
    return ::stat(first.c_str(), &one) == 0 && ::stat(second.c_str(), &other) == 0
        && one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

std::string describe(FileKind kind)
{
    switch (kind) {
    case FileKind::NamedPipe:
        return "a named pipe";
    case FileKind::Device:
        return "a device";
    case FileKind::Socket:
        return "a socket";
    case FileKind::Folder:
        return "a folder";
    default:
        return "a special file";
    }
}

std::string errorText(int error)
{
    // The GNU strerror_r, safe in the threads that assemble several sources at once.
    char buffer[256];
    return ::strerror_r(error, buffer, sizeof buffer);
}

std::string absolutePath(const std::string &path)
{
    std::string joined = path;
    if (path.empty() || path.front() != '/') {
        std::vector<char> folder(4096);
        while (::getcwd(folder.data(), folder.size()) == nullptr) {
            if (errno != ERANGE)
                return {};
            folder.resize(folder.size() * 2);
        }
        joined = std::string(folder.data()) + '/' + path;
    }
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= joined.size()) {
        std::size_t end = joined.find('/', start);
        if (end == std::string::npos)
            end = joined.size();
        const std::string part = joined.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string result;
    for (const std::string &part : parts)
        result += '/' + part;
    return result.empty() ? "/" : result;
}

std::string resolvedPath(const std::string &path)
{
    const std::unique_ptr<char, void (*)(void *)> resolved(
        ::realpath(path.c_str(), nullptr), std::free);
    return resolved ? std::string(resolved.get()) : std::string();
}

MemoryFile::MemoryFile(const char *name)
    : m_fd(::memfd_create(name, MFD_CLOEXEC))
{
    if (m_fd < 0)
        m_problem = errorText(errno);
}

MemoryFile::~MemoryFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool MemoryFile::write(const void *data, std::size_t size, std::string *problem)
{
    if (::ftruncate(m_fd, 0) != 0 || ::lseek(m_fd, 0, SEEK_SET) != 0
        || !writeAll(m_fd, static_cast<const unsigned char *>(data), size)) {
        *problem = errorText(errno);
        return false;
    }
    return true;
}

bool MemoryFile::read(Bytes *contents, std::string *problem) const
{
    struct stat info
    {
    };
    if (::fstat(m_fd, &info) != 0) {
        *problem = errorText(errno);
        return false;
    }
    contents->resize(std::size_t(info.st_size));
    std::size_t done = 0;
    while (done < contents->size()) {
        const ssize_t got
            = ::pread(m_fd, contents->data() + done, contents->size() - done, off_t(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            *problem = got < 0 ? errorText(errno) : "it ended early";
            return false;
        }
        done += std::size_t(got);
    }
    return true;
}

bool writeImage(const std::string &path, const Bytes &image, std::string *problem)
{
    const FileKind kind = fileKind(path);
    if (kind == FileKind::Folder) {
        *problem = "it is a folder";
        return false;
    }
    if (kind != FileKind::Missing && kind != FileKind::Regular)
        return writeInto(path, image, problem);

    const std::string target = finalTarget(path);
    struct stat existing
    {
    };
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && ::access(target.c_str(), W_OK) != 0) {
        *problem = errorText(errno);
        return false;
    }
    // A replaced image keeps the permissions of the one it replaces; a new one gets the
    // usual ones for a new file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const mode_t mode = exists ? existing.st_mode & 07777 : 0666 & ~mask;

    std::string written = writeUnnamedBeside(target, image, exists, mode);
    if (written.empty() && errno == 0)
        written = writeBeside(target, image, mode);
    if (written.empty()) {
        *problem = errorText(errno);
        return false;
    }
    if (::rename(written.c_str(), target.c_str()) != 0) {
        *problem = errorText(errno);
        ::unlink(written.c_str());
        return false;
    }
    return true;
}

std::vector<std::string> folderEntries(const std::string &folder)
{
    std::vector<std::string> names;
    const std::unique_ptr<DIR, int (*)(DIR *)> stream(::opendir(folder.c_str()), ::closedir);
    if (!stream)
        return names;
    while (const dirent *entry = ::readdir(stream.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool readFile(const std::string &path, std::string *contents, std::string *problem)
{
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        *problem = errorText(errno);
        return false;
    }
    contents->clear();
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            *problem = errorText(errno);
            return false;
        }
        if (got == 0)
            return true;
        contents->append(buffer, std::size_t(got));
    }
}

} // namespace Tarnwick
