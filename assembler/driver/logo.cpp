#include "logo.h"

#include "arguments.h"
#include "cartridgebuild.h"
#include "cartridgeheader.h"
#include "outputfiles.h"
#include "paths.h"

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Tarnwick {

namespace {

// SHA-256 of the handheld's logo, bytes 0x04 to 0x9F of a header that it boots:
// 08a0153cfd6b0ea54b938f7d209933fa849da0d56f5a34c481060c9ff2fad818. The logo itself is
// another company's work and is never part of tarnwick.
constexpr CartridgeHeader::Digest GenuineLogoDigest = { 0x08, 0xa0, 0x15, 0x3c, 0xfd, 0x6b, 0x0e,
    0xa5, 0x4b, 0x93, 0x8f, 0x7d, 0x20, 0x99, 0x33, 0xfa, 0x84, 0x9d, 0xa0, 0xd5, 0x6f, 0x5a, 0x34,
    0xc4, 0x81, 0x06, 0x0c, 0x9f, 0xf2, 0xfa, 0xd8, 0x18 };
constexpr auto LogoFolder = "/tarnwick";
constexpr auto LogoFile = "/tarnwick/logo";
constexpr auto DefaultDataFolders = "/usr/local/share:/usr/share";

enum class ReadResult { Read, Missing, Unreadable };

// Closes a file descriptor on every way out.
struct OpenFile
{
    int fd;
    ~OpenFile()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// Reads up to size bytes of the file at path from offset on (fewer where the file ends).
// Only a regular file is read: a named pipe could wait for ever and a device go on
// without end. Unreadable comes with the reason in *problem.
ReadResult readPart(
    const std::string &path, off_t offset, std::size_t size, Bytes *bytes, std::string *problem)
{
    const FileKind kind = fileKind(path);
    if (kind != FileKind::Missing && kind != FileKind::Regular) {
        *problem = kind == FileKind::Folder ? "it is a folder"
                                            : "it is not a regular file but " + describe(kind);
        return ReadResult::Unreadable;
    }
    // Not blocking, in case a pipe took the file's place since.
    const OpenFile file { ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK) };
    struct stat info
    {
    };
    if (file.fd < 0 && (errno == ENOENT || errno == ENOTDIR))
        return ReadResult::Missing;
    if (file.fd < 0 || ::fstat(file.fd, &info) != 0) {
        *problem = errorText(errno);
        return ReadResult::Unreadable;
    }
    if (!S_ISREG(info.st_mode)) {
        *problem = "it is not a regular file";
        return ReadResult::Unreadable;
    }
    bytes->resize(size);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got
            = ::pread(file.fd, bytes->data() + done, size - done, offset + off_t(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            *problem = errorText(errno);
            return ReadResult::Unreadable;
        }
        if (got == 0)
            break;
        done += std::size_t(got);
    }
    bytes->resize(done);
    return ReadResult::Read;
}

bool isAbsolute(const char *path)
{
    return path && path[0] == '/';
}

// $XDG_DATA_HOME, or ~/.local/share where it is unset, empty or not absolute, as the XDG
// base directory rules have it; empty if no home is known either.
std::string dataHome()
{
    const char *dataHome = std::getenv("XDG_DATA_HOME");
    if (isAbsolute(dataHome))
        return dataHome;
    const char *home = std::getenv("HOME");
    return isAbsolute(home) ? std::string(home) + "/.local/share" : std::string();
}

} // namespace

std::vector<std::string> logoFiles()
{
    std::vector<std::string> files;
    if (const std::string home = dataHome(); !home.empty())
        files.push_back(home + LogoFile);
    const char *set = std::getenv("XDG_DATA_DIRS");
    const std::string folders = set && *set ? set : DefaultDataFolders;
    for (std::size_t start = 0; start <= folders.size();) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        const std::string folder = folders.substr(start, end - start);
        // The rules say to ignore a relative path in the list.
        if (isAbsolute(folder.c_str()))
            files.push_back(folder + LogoFile);
        start = end + 1;
    }
    return files;
}

namespace {

// Makes folder and the folders above it that are missing, new ones for this user alone,
// as the XDG base directory rules ask; false with the reason in *problem.
bool makeFolders(const std::string &folder, std::string *problem)
{
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            *problem
                = "cannot make the folder " + Arguments::quoted(part) + ": " + errorText(errno);
            return false;
        }
        if (slash == std::string::npos)
            break;
    }
    if (fileKind(folder) != FileKind::Folder) {
        *problem = Arguments::quoted(folder) + " is not a folder";
        return false;
    }
    return true;
}

} // namespace

Outcome keepLogo(const std::string &imagePath)
{
    Outcome outcome;
    outcome.exitStatus = ExitFailure;
    const std::string image = Arguments::quoted(imagePath);
    Bytes logo;
    std::string problem;
    switch (readPart(
        imagePath, CartridgeHeader::LogoOffset, CartridgeHeader::LogoSize, &logo, &problem)) {
    case ReadResult::Missing:
        problem = errorText(ENOENT);
        [[fallthrough]];
    case ReadResult::Unreadable:
        outcome.diagnostics.push_back("tarnwick: cannot read image " + image + ": " + problem);
        return outcome;
    case ReadResult::Read:
        break;
    }
    if (!CartridgeHeader::isLogo(logo, GenuineLogoDigest)) {
        outcome.diagnostics.push_back("tarnwick: " + image + " holds no logo: "
            + (logo.size() < CartridgeHeader::LogoSize
                    ? "it ends before the header's logo area (bytes 0x04 to 0x9F) does"
                    : "its bytes 0x04 to 0x9F are not the handheld's logo")
            + "; nothing was kept");
        return outcome;
    }

    const std::string home = dataHome();
    if (home.empty()) {
        outcome.diagnostics.push_back("tarnwick: cannot keep the logo: neither XDG_DATA_HOME nor "
                                      "HOME is set to an absolute path");
        return outcome;
    }
    const std::string kept = home + LogoFile;
    if (!makeFolders(home + LogoFolder, &problem) || !writeImage(kept, logo, &problem)) {
        outcome.diagnostics.push_back(
            "tarnwick: cannot keep the logo as " + Arguments::quoted(kept) + ": " + problem);
        return outcome;
    }
    outcome.exitStatus = ExitSuccess;
    outcome.diagnostics.push_back("tarnwick: kept the logo from " + image + " as "
        + Arguments::quoted(kept) + "; the images made from now on carry it");
    return outcome;
}

const Bytes &KeptLogo::bytes(std::vector<std::string> *diagnostics)
{
    if (m_lookedFor)
        return m_bytes;
    m_lookedFor = true;
    for (const std::string &file : logoFiles()) {
        Bytes bytes;
        std::string problem;
        // One byte more than a logo, to tell a longer file from the logo.
        const ReadResult result
            = readPart(file, 0, CartridgeHeader::LogoSize + 1, &bytes, &problem);
        if (result == ReadResult::Missing)
            continue;
        if (result == ReadResult::Unreadable) {
            diagnostics->push_back("tarnwick: warning: cannot read the kept logo "
                + Arguments::quoted(file) + ": " + problem + "; the image is made without a logo");
        } else if (!CartridgeHeader::isLogo(bytes, GenuineLogoDigest)) {
            diagnostics->push_back("tarnwick: warning: the kept logo " + Arguments::quoted(file)
                + " is not the handheld's logo (damaged or changed), so the image is made "
                  "without a logo; tarnwick --logo-from IMAGE keeps it anew");
        } else {
            m_bytes = std::move(bytes);
        }
        return m_bytes;
    }
    return m_bytes;
}

} // namespace Tarnwick
