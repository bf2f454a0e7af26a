#pragma once

#include <optional>
#include <string>
#include <vector>

namespace Tarnwick {

// The project a source belongs to: the folders around the source's own that its build
// would search for more sources, includes and its linker script.
//
// A repository bounds it: the search never goes above the nearest folder, from the source's
// own upward, that holds `.git`, and never enters another folder that holds one (another
// repository, a submodule). Below that bound the project's top is the nearest folder, from
// the source's own upward, that holds a build description (makefiles, .mk and .mak files,
// build.sh, CMakeLists.txt); the folders a build description names by a relative path
// belong to the project too. A build description in the source's own folder that names
// nothing outside it makes that folder, with what lies below it, the whole project. With
// neither, the repository's top is the top; with no repository either, the folder above
// the source's folder is, and the project is only a guess. It is never the home folder or
// anything above it, nor / or a folder directly below it: a source in ~/Desktop or /tmp/x
// has no project.
//
// It reads folder entries and the build descriptions, never a source. Each folder is opened
// from its parent's descriptor without following a symbolic link, so that a folder swapped
// for a link while the walk runs leads nowhere else; hidden folders and anything that is
// not a regular file or a folder are passed over. The folders are listed nearest first, and
// everything past MaxEntries entries is left unseen, the farthest.
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
        // Whether a build description names it, so that it is the program's whatever it
        // holds.
        bool named = false;
        // File names, sorted: the assembly sources, the linker scripts (.ld) and the build
        // descriptions.
        std::vector<std::string> sources;
        std::vector<std::string> scripts;
        std::vector<std::string> builds;
    };

    // The project of the source's folder (absolute, resolved, ending in '/'), or none; home
    // is the home folder, empty when unknown.
    static std::optional<Project> of(const std::string &sourceFolder, const std::string &home);

    const std::string &top() const { return m_top; }
    // Every folder of the project, the source's own among them (distance 0), nearest first;
    // folders at one distance in the order of their paths.
    const std::vector<Folder> &folders() const { return m_folders; }
    // Whether the project held more than MaxEntries entries, so that not all were seen.
    bool cutShort() const { return m_cutShort; }
    // The distance from which on folders may hold entries that were not seen.
    int cutDistance() const { return m_cutDistance; }
    // Whether neither a build description nor a repository bounds the project, so that its
    // top is the folder above the source's only by guess.
    bool guessed() const { return m_guessed; }

private:
    std::string m_top;
    std::vector<Folder> m_folders;
    bool m_cutShort = false;
    int m_cutDistance = 0;
    bool m_guessed = false;
};

} // namespace Tarnwick
