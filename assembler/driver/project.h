#pragma once

#include <optional>
#include <string>
#include <vector>

namespace Tarnwick {

// The project a source belongs to: the folders around the source's own that its build
// would search for more sources, includes and its linker script. The project's top is the
// nearest folder, from the one above the source's folder upward, that holds a build
// description (a makefile, a .mk file, build.sh or .git); failing that, the folder above
// the source's folder. It is never the home folder or anything above it, nor / or a folder
// directly below it: a source in ~/Desktop or /tmp/x has no project. It reads folders and
// file names only, never a file's contents; symbolic links to folders, hidden folders and
// anything that is not a regular file are passed over, and so is everything past
// MaxEntries entries.
class Project
{
public:
    // How many folder entries are looked at in all.
    static constexpr std::size_t MaxEntries = 4000;

    struct Folder
    {
        // Absolute and resolved, ending in '/'.
        std::string path;
        // Steps through the folder tree from the source's folder: 1 for a folder beside it
        // inside it or above it, 2 for a folder beside the one above, and so on.
        int distance = 0;
        // File names, sorted: the assembly sources, the linker scripts (.ld) and the build
        // descriptions (makefiles, .mk files, build.sh).
        std::vector<std::string> sources;
        std::vector<std::string> scripts;
        std::vector<std::string> builds;
    };

    // The project of the source's folder (absolute, resolved, ending in '/'), or none; home
    // is the home folder ($HOME), empty when unknown.
    static std::optional<Project> of(const std::string &sourceFolder, const std::string &home);

    const std::string &top() const { return m_top; }
    // Every folder of the project, the source's own among them (distance 0), nearest first;
    // folders at one distance in the order of their paths.
    const std::vector<Folder> &folders() const { return m_folders; }
    // Whether the project held more than MaxEntries entries, so that not all were seen.
    bool cutShort() const { return m_cutShort; }

private:
    std::string m_top;
    std::vector<Folder> m_folders;
    bool m_cutShort = false;
};

} // namespace Tarnwick
