#include "project.h"

#include "paths.h"
#include "sourcetext.h"

#include <algorithm>
#include <deque>

#include <sys/stat.h>

namespace Tarnwick {

namespace {

bool endsWith(const std::string &text, const std::string &ending)
{
    return text.size() > ending.size()
        && text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

bool isBuildDescription(const std::string &name)
{
    return name == "Makefile" || name == "makefile" || name == "GNUmakefile" || name == ".git"
        || name == "build.sh" || endsWith(name, ".mk");
}

// The folder above, with its slash; empty above the root.
std::string parentOf(const std::string &folder)
{
    if (folder.size() <= 1)
        return {};
    return SourceText::folderPart(folder.substr(0, folder.size() - 1));
}

// Whether a project may start at the folder: not /, nor a folder directly below it, nor
// the home folder or one of the folders above it.
bool mayBeTop(const std::string &folder, const std::string &home)
{
    if (std::count(folder.begin(), folder.end(), '/') <= 2)
        return false;
    return home.empty() || home.compare(0, folder.size(), folder) != 0;
}

bool holdsBuildDescription(const std::string &folder)
{
    const std::vector<std::string> names = folderEntries(folder);
    return std::any_of(names.begin(), names.end(), isBuildDescription);
}

// Steps through the tree between two folders, each absolute and ending in '/'.
int distanceBetween(const std::string &from, const std::string &to)
{
    std::size_t common = 0;
    for (std::size_t i = 0; i < from.size() && i < to.size() && from[i] == to[i]; ++i) {
        if (from[i] == '/')
            common = i + 1;
    }
    const auto depth = [common](const std::string &folder) {
        return int(std::count(folder.begin() + std::ptrdiff_t(common), folder.end(), '/'));
    };
    return depth(from) + depth(to);
}

} // namespace

std::optional<Project> Project::of(const std::string &sourceFolder, const std::string &home)
{
    std::string homeFolder = home.empty() ? std::string() : resolvedPath(home);
    if (!homeFolder.empty() && homeFolder.back() != '/')
        homeFolder += '/';
    std::string top;
    for (std::string folder = parentOf(sourceFolder);
         !folder.empty() && mayBeTop(folder, homeFolder); folder = parentOf(folder)) {
        if (top.empty())
            top = folder;
        if (holdsBuildDescription(folder)) {
            top = folder;
            break;
        }
    }
    if (top.empty())
        return std::nullopt;

    Project project;
    project.m_top = top;
    std::size_t seen = 0;
    std::deque<std::string> waiting { top };
    while (!waiting.empty()) {
        Folder folder;
        folder.path = waiting.front();
        waiting.pop_front();
        folder.distance = distanceBetween(sourceFolder, folder.path);
        for (const std::string &name : folderEntries(folder.path)) {
            if (++seen > MaxEntries) {
                project.m_cutShort = true;
                break;
            }
            const std::string path = folder.path + name;
            struct stat link
            {
            };
            if (name.front() == '.' || ::lstat(path.c_str(), &link) != 0)
                continue;
            if (S_ISDIR(link.st_mode)) {
                waiting.push_back(path + '/');
                continue;
            }
            if (fileKind(path) != FileKind::Regular)
                continue;
            if (SourceText::isSourceName(name))
                folder.sources.push_back(name);
            else if (endsWith(name, ".ld"))
                folder.scripts.push_back(name);
            else if (isBuildDescription(name))
                folder.builds.push_back(name);
        }
        project.m_folders.push_back(std::move(folder));
        if (project.m_cutShort)
            break;
    }
    std::stable_sort(project.m_folders.begin(), project.m_folders.end(),
        [](const Folder &one, const Folder &other) {
            return one.distance != other.distance ? one.distance < other.distance
                                                  : one.path < other.path;
        });
    return project;
}

} // namespace Tarnwick
