#include "paths.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Tarnwick {

std::string folderOf(const std::string &path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

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

} // namespace Tarnwick
