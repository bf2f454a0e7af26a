#pragma once

#include "bytes.h"

#include <string>
#include <vector>

namespace Tarnwick {

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

// The absolute path of the file that writing to path changes: path's chain of symbolic
// links followed to its end, dangling or not, and the folder of that end resolved as the
// kernel resolves it. Two names that give the same text here are written into one file,
// whether it exists yet or not. Empty if that folder names nothing.
std::string writtenFile(const std::string &path);

// How the names of writeImage's temporary files beside the file called fileName (without
// a folder) start: the same in every run, so that a run recognises what a killed one left.
std::string temporaryNamePrefix(const std::string &fileName);

} // namespace Tarnwick
