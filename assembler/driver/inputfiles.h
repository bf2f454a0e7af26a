#pragma once

#include "bytes.h"

#include <string>

namespace Tarnwick {

// The most that readFile reads: far more than any source, linker script or build
// description a program for the handheld has, far less than a run's memory.
static constexpr std::size_t InputBound = std::size_t(16) << 20;

// The whole contents of a regular file of at most InputBound bytes; false with the reason
// in *problem if it cannot be read, is larger (a sparse file of gigabytes, say: it is not
// read whole) or is no regular file (a named pipe is not waited on).
bool readFile(const std::string &path, std::string *contents, std::string *problem);

// A file that lives in memory only (memfd), for the intermediate files that binutils
// writes and reads: they never touch a disk, cost no file-system work and vanish with the
// last descriptor, so nothing is left behind by a run, however it ends. Another program
// reaches it through /proc/self/fd once the descriptor is handed down to it.
class MemoryFile
{
public:
    // name shows only in /proc, for whoever looks.
    explicit MemoryFile(const char *name);
    ~MemoryFile();
    MemoryFile(const MemoryFile &) = delete;
    MemoryFile &operator=(const MemoryFile &) = delete;

    bool isValid() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }
    // Why the file could not be made.
    const std::string &problem() const { return m_problem; }

    bool write(const void *data, std::size_t size, std::string *problem);
    bool read(Bytes *contents, std::string *problem) const;

private:
    int m_fd = -1;
    std::string m_problem;
};

} // namespace Tarnwick
