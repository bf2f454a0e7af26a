#pragma once

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

// The folder part of path: "." for a bare name, "/" for a name right below the root.
std::string folderOf(const std::string &path);

} // namespace Tarnwick
