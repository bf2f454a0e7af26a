#include "project.h"

#include "inputfiles.h"
#include "paths.h"
#include "sourcetext.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <set>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Tarnwick {

namespace {

// A build description larger than this is no hand-written one; its names are not read.
constexpr off_t MaxBuildDescription = 1 << 20;
// How many of a build description's words are looked up as paths.
constexpr std::size_t MaxNamesLookedUp = 2000;

bool endsWith(const std::string &text, const std::string &ending)
{
    return text.size() > ending.size()
        && text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

bool isBuildDescription(const std::string &name)
{
    return name == "Makefile" || name == "makefile" || name == "GNUmakefile" || name == "build.sh"
        || name == "CMakeLists.txt" || endsWith(name, ".mk") || endsWith(name, ".mak");
}

bool isBelow(const std::string &folder, const std::string &top)
{
    return folder.compare(0, top.size(), top) == 0;
}

// The folder above, with its slash; empty above the root.
std::string parentOf(const std::string &folder)
{
    if (folder.size() <= 1)
        return {};
    return SourceText::folderPart(folder.substr(0, folder.size() - 1));
}

// Whether a project may hold the folder: not /, nor a folder directly below it, nor the
// home folder or one of the folders above it.
bool mayHold(const std::string &folder, const std::string &home)
{
    if (std::count(folder.begin(), folder.end(), '/') <= 2)
        return false;
    return home.empty() || !isBelow(home, folder);
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

constexpr int FolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The folder (absolute, resolved, ending in '/') opened from the root down, each part from
// its parent's descriptor and none through a symbolic link; -1 if any part is not a folder.
int openFolder(const std::string &folder)
{
    int fd = ::open("/", FolderFlags);
    for (std::size_t start = 1; fd >= 0 && start < folder.size();) {
        const std::size_t end = folder.find('/', start);
        const std::string part = folder.substr(start, end - start);
        start = end + 1;
        const int next = ::openat(fd, part.c_str(), FolderFlags);
        ::close(fd);
        fd = next;
    }
    return fd;
}

// A word of a build description that may be a path, and whether the build hands it to the
// linker as its script (after -T, -Wl,-T, --script or LDSCRIPT).
struct PathWord
{
    std::string text;
    bool script = false;
};

// The words of a build description that may be paths: split where make, the shell and the
// compilers' options split them ("-I../include", "-Wl,-T,cart.ld", "--script=x.ld").
std::vector<PathWord> pathWords(const std::string &text)
{
    std::vector<PathWord> words;
    std::string word;
    bool scriptNext = false;
    // The character after the word: LDSCRIPT names the script where it is set, not where
    // $(LDSCRIPT) uses it.
    const auto finish = [&](char after) {
        if (word.empty())
            return;
        bool script = scriptNext;
        scriptNext = word == "-T" || word == "--script"
            || (word == "LDSCRIPT" && after != ')' && after != '}');
        if (word.size() > 2 && word[0] == '-'
            && std::string_view("ILT").find(word[1]) != std::string_view::npos) {
            script = word[1] == 'T';
            word.erase(0, 2);
        }
        if (word.front() != '-' && word.front() != '/'
            && word.find_first_of("$%") == std::string::npos)
            words.push_back({ word, script });
        word.clear();
    };
    for (const char c : text) {
        if (std::string_view(" \t\r\n=:;,()\"'{}[]<>|&\\").find(c) != std::string_view::npos)
            finish(c);
        else
            word += c;
    }
    finish('\n');
    return words;
}

// The file of that name in the folder, found by its name in another letter case when no
// file has it exactly, as a build written on a system that ignores case finds it; empty if
// none.
std::string fileIgnoringCase(const std::string &path)
{
    if (fileKind(path) == FileKind::Regular)
        return resolvedPath(path);
    const std::string folder = SourceText::folderPart(path);
    const auto lower = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
            [](unsigned char c) { return char(std::tolower(c)); });
        return text;
    };
    const std::string wanted = lower(SourceText::fileNamePart(path));
    for (const std::string &name : folderEntries(folder.empty() ? std::string(".") : folder)) {
        if (lower(name) == wanted && fileKind(folder + name) == FileKind::Regular)
            return resolvedPath(folder + name);
    }
    return {};
}

// What the build descriptions in a folder name by relative paths: folders (a folder, or the
// folder of a file; wildcards name the folder they are in) and linker scripts.
struct Named
{
    std::set<std::string> folders;
    std::set<std::string> scripts;
};

void addNamed(const std::string &folder, const std::vector<std::string> &builds, Named *named)
{
    std::size_t looked = 0;
    for (const std::string &build : builds) {
        struct stat info
        {
        };
        std::string text;
        std::string problem;
        const std::string path = folder + build;
        if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)
            || info.st_size > MaxBuildDescription || !readFile(path, &text, &problem))
            continue;
        for (PathWord word : pathWords(text)) {
            if (++looked > MaxNamesLookedUp)
                return;
            if (word.text.find_first_of("*?") != std::string::npos)
                word.text
                    = SourceText::folderPart(word.text.substr(0, word.text.find_first_of("*?")));
            if (word.text.empty())
                continue;
            if (word.script) {
                const std::string script = fileIgnoringCase(folder + word.text);
                if (!script.empty()) {
                    named->scripts.insert(script);
                    named->folders.insert(SourceText::folderPart(script));
                    continue;
                }
            }
            const std::string resolved = resolvedPath(folder + word.text);
            const FileKind kind = resolved.empty() ? FileKind::Missing : fileKind(resolved);
            if (kind == FileKind::Folder)
                named->folders.insert(resolved == "/" ? resolved : resolved + '/');
            else if (kind == FileKind::Regular)
                named->folders.insert(SourceText::folderPart(resolved));
        }
    }
}

} // namespace

std::optional<Project> Project::of(const std::string &sourceFolder, const std::string &home)
{
    std::string homeFolder = home.empty() ? std::string() : resolvedPath(home);
    if (!homeFolder.empty() && homeFolder.back() != '/')
        homeFolder += '/';

    // From the source's own folder up to the repository's top: the nearest folder with a
    // build description is the top, and every build description on the way names folders.
    Project project;
    std::string repository;
    std::map<std::string, std::vector<std::string>> builds;
    for (std::string folder = sourceFolder; !folder.empty() && mayHold(folder, homeFolder);
         folder = parentOf(folder)) {
        const std::vector<std::string> names = folderEntries(folder);
        for (const std::string &name : names) {
            if (isBuildDescription(name))
                builds[folder].push_back(name);
        }
        if (project.m_top.empty() && builds.count(folder))
            project.m_top = folder;
        if (std::find(names.begin(), names.end(), ".git") != names.end()) {
            repository = folder;
            break;
        }
    }
    if (project.m_top.empty())
        project.m_top = repository;
    if (project.m_top.empty()) {
        project.m_guessed = true;
        project.m_top = parentOf(sourceFolder);
        if (project.m_top.empty() || !mayHold(project.m_top, homeFolder))
            return std::nullopt;
    }

    // The folders to list, nearest first: the source's own and those above it up to the
    // top, then the named ones, with what lies below them.
    Named namedByBuilds;
    for (std::string folder = sourceFolder; isBelow(folder, project.m_top);
         folder = parentOf(folder)) {
        if (builds.count(folder))
            addNamed(folder, builds[folder], &namedByBuilds);
    }
    const std::set<std::string> &named = namedByBuilds.folders;
    std::map<std::pair<int, std::string>, bool> waiting;
    for (std::string folder = sourceFolder; isBelow(folder, project.m_top);
         folder = parentOf(folder))
        waiting.emplace(std::make_pair(distanceBetween(sourceFolder, folder), folder), true);
    for (const std::string &folder : named) {
        // A named folder above the source's gives its own files, not its other folders'.
        if (mayHold(folder, homeFolder))
            waiting.emplace(std::make_pair(distanceBetween(sourceFolder, folder), folder),
                !isBelow(sourceFolder, folder));
    }

    std::set<std::string> listed;
    std::size_t seen = 0;
    while (!waiting.empty() && !project.m_cutShort) {
        const auto [key, descend] = *waiting.begin();
        waiting.erase(waiting.begin());
        if (!listed.insert(key.second).second)
            continue;
        Folder folder;
        folder.path = key.second;
        folder.distance = key.first;
        folder.named = named.count(folder.path) > 0;
        const int fd = openFolder(folder.path);
        const std::unique_ptr<DIR, int (*)(DIR *)> stream(
            fd < 0 ? nullptr : ::fdopendir(fd), ::closedir);
        if (!stream) {
            if (fd >= 0)
                ::close(fd);
            continue;
        }
        const int at = ::dirfd(stream.get());
        std::vector<std::string> names;
        while (const dirent *entry = ::readdir(stream.get())) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        for (const std::string &name : names) {
            if (++seen > MaxEntries) {
                project.m_cutShort = true;
                project.m_cutDistance = folder.distance;
                break;
            }
            struct stat link
            {
            };
            if (name.front() == '.' || ::fstatat(at, name.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            if (S_ISDIR(link.st_mode)) {
                const std::string path = folder.path + name + '/';
                // Another repository or a submodule is not this project's.
                if (descend && !isBelow(sourceFolder, path)
                    && ::fstatat(at, (name + "/.git").c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0)
                    waiting.emplace(std::make_pair(folder.distance + 1, path), true);
                continue;
            }
            struct stat target
            {
            };
            if (::fstatat(at, name.c_str(), &target, 0) != 0 || !S_ISREG(target.st_mode))
                continue;
            if (SourceText::isSourceName(name))
                folder.sources.push_back(name);
            else if (endsWith(name, ".ld") || namedByBuilds.scripts.count(folder.path + name))
                folder.scripts.push_back(name);
            else if (isBuildDescription(name))
                folder.builds.push_back(name);
        }
        project.m_folders.push_back(std::move(folder));
    }
    return project;
}

} // namespace Tarnwick
