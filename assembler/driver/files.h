#pragma once

#include "bytes.h"

#include <string>
#include <vector>

namespace Tarnwick {

enum class FileKind { Missing, Regular, Folder, NamedPipe, Device, Socket, Other };

// What a path names once symbolic links are followed. A dangling link counts as missing:
// writing to it creates its target.
FileKind fileKind(const std::string &path);

// Whether both paths name one file, links followed; false if either is missing.
bool sameFile(const std::string &first, const std::string &second);

// "a named pipe", "a device", ...: for messages.
std::string describe(FileKind kind);

// The system's description of an errno value.
std::string errorText(int error);

// path made absolute against the current folder, with "." and ".." and doubled slashes
// taken out by the text alone (symbolic links are not followed); empty if the current
// folder cannot be known.
std::string absolutePath(const std::string &path);

// path with every symbolic link, "." and ".." resolved by the file system, as the kernel
// reads it (so ".." after a link is the folder above the link's target); empty with errno
// set if it names nothing.
std::string resolvedPath(const std::string &path);

// The names in a folder, sorted, without "." and ".."; empty if it cannot be read.
std::vector<std::string> folderEntries(const std::string &folder);

// The whole contents of a file; false with the reason in *problem if it cannot be read.
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

// Puts an image at path so that nobody ever sees half of it. A regular file (or a new
// one) is replaced at once by renaming a complete file from the same folder over it: a
// failed run leaves an earlier image as it was, and two runs leave one whole image. That
// file's name is short whatever the output's, hidden, and starts with
// temporaryNamePrefix of the output's name; one that a killed run left behind is removed,
// one that a live run is writing never. A symbolic link keeps pointing where it did; its
// target is replaced. A device or a named pipe is written into, as the GNU tools do:
// replacing it would break whatever else uses it (/dev/null above all). An output that
// cannot be looked at for another reason than not existing (a loop of links) is left
// alone. On failure returns false and says why in *problem.
bool writeImage(const std::string &path, const Bytes &image, std::string *problem);

// A file for writeImages: where it goes and what it holds.
struct FileContents
{
    std::string path;
    const Bytes *bytes = nullptr;
};

// Puts files at their paths as writeImage puts one, as one set: each is written beside its
// path before any is renamed into place, so a failure to write one changes none; the
// renames happen under a lock on the first file's folder, which every run on the same
// files takes, so two runs at once leave the files of one run; and when a rename fails,
// those before it are undone where the file system can swap two names (not on FAT). On
// failure returns false with the index of the file in *failed and why in *problem.
bool writeImages(const std::vector<FileContents> &files, std::size_t *failed, std::string *problem);

// How the names of writeImage's temporary files beside the file called fileName (without
// a folder) start: the same in every run, so that a run recognises what a killed one left.
std::string temporaryNamePrefix(const std::string &fileName);

} // namespace Tarnwick
