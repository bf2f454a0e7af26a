#include "inputfiles.h"

#include "descriptor.h"
#include "paths.h"

#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Tarnwick {

namespace {

constexpr std::string_view TooLargeProblem
    = " MiB, more than any source, linker script or build description holds";
constexpr std::string_view NotRegularProblem = "it is not a regular file";

} // namespace

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

bool readFile(const std::string &path, std::string *contents, std::string *problem)
{
    contents->clear();
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info
    {
    };
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0) {
        *problem = errorText(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        *problem = std::string(NotRegularProblem);
        return false;
    }
    const std::string tooLarge
        = "it is larger than " + std::to_string(InputBound >> 20) + std::string(TooLargeProblem);
    if (std::uint64_t(info.st_size) > InputBound) {
        *problem = tooLarge;
        return false;
    }
    contents->reserve(std::size_t(info.st_size));
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
        // A file that grows while it is read is cut off at the bound as well.
        if (contents->size() + std::size_t(got) > InputBound) {
            contents->clear();
            *problem = tooLarge;
            return false;
        }
        contents->append(buffer, std::size_t(got));
    }
}

} // namespace Tarnwick
