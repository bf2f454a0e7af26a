#include "programfiles.h"

#include "arguments.h"
#include "cartridgeheader.h"
#include "embedded.h"
#include "headerfolder.h"
#include "paths.h"
#include "picturesearch.h"
#include "sourcetext.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <exception>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include <pwd.h>
#include <unistd.h>

namespace Tarnwick {

namespace {

// How many of the project's folders a message names before it counts the rest.
constexpr std::size_t FoldersNamed = 4;
// How many entry files are tried for a source that is none.
constexpr std::size_t MaxEntriesTried = 8;

bool containsWord(std::string_view text, std::string_view word)
{
    return SourceText::findWord(text, word) != std::string_view::npos;
}

bool runtimeProvides(const std::string &symbol)
{
    // The division routines, and the names that the linker scripts give the memory layout.
    return symbol.rfind("__aeabi_", 0) == 0 || containsWord(Embedded::StartupScript, symbol)
        || containsWord(Embedded::ReservedHeaderScript, symbol);
}

// Whether a linker script gives the symbol a value: by assigning it, or, for the
// __load_start_NAME and __load_stop_NAME that ld defines for each section of an OVERLAY, by
// placing a section of that name.
bool scriptGives(std::string_view script, const std::string &symbol)
{
    if (SourceText::scriptDefines(script, symbol))
        return true;
    for (const std::string_view prefix : { "__load_start_", "__load_stop_" }) {
        if (symbol.size() > prefix.size() && symbol.compare(0, prefix.size(), prefix) == 0
            && containsWord(script, "OVERLAY")
            && containsWord(script, "." + symbol.substr(prefix.size())))
            return true;
    }
    return false;
}

// "FILE:LINE" at the start of the message's last line; the whole file part if no line.
std::string locationOf(const std::string &message)
{
    const std::string line = message.substr(message.find_last_of('\n') + 1);
    const MessagePlace place = messagePlace(line);
    return place.line != 0 ? std::string(place.file) + ':' + std::to_string(place.line)
                           : line.substr(0, line.find(": "));
}

std::string withoutSlash(const std::string &folder)
{
    return folder.size() > 1 && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
}

} // namespace

ProgramFiles::ProgramFiles(Toolchain *tools)
    : m_tools(tools)
{
    // A service or `env -i` runs without HOME; the account's home folder is the bound then.
    const char *home = std::getenv("HOME");
    m_home = home ? home : "";
    if (m_home.empty()) {
        std::vector<char> buffer(16384);
        passwd entry {};
        passwd *found = nullptr;
        if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found
            && found->pw_dir)
            m_home = found->pw_dir;
    }
}

ProgramFiles::~ProgramFiles() = default;

bool ProgramFiles::isForeign(const std::string &folder) const
{
    return std::any_of(m_foreign.begin(), m_foreign.end(),
        [&folder](const std::string &other) { return folder.rfind(other, 0) == 0; });
}

std::vector<const Unit *> ProgramFiles::linked() const
{
    std::vector<const Unit *> units;
    for (const std::size_t index : m_linked)
        units.push_back(&m_units[index]);
    return units;
}

std::vector<ProgramFiles::Input> ProgramFiles::inputs() const
{
    std::vector<Input> inputs;
    for (const std::size_t index : m_linked) {
        const Unit &unit = m_units[index];
        for (const std::string &path : unit.inputs) {
            inputs.push_back({ path,
                path == unit.asPassed ? (index == 0 ? std::string("the source file itself")
                                                    : "a source of the program, " + unit.shown)
                                      : "a file that " + unit.shown + " includes" });
        }
    }
    if (m_script)
        inputs.push_back({ m_script->path,
            "the program's linker script, " + withControlsEscaped(m_script->asGiven) });
    return inputs;
}

std::vector<ProgramFacts::Document> ProgramFiles::buildDescriptions(
    std::vector<std::string> *unread) const
{
    std::vector<ProgramFacts::Document> documents;
    if (!m_project)
        return documents;
    for (const Project::Folder &folder : m_project->folders()) {
        if (isForeign(folder.path))
            continue;
        for (const std::string &name : folder.builds) {
            ProgramFacts::Document document { withControlsEscaped(spelt(folder.path) + name), {} };
            std::string problem;
            if (readFile(folder.path + name, &document.text, &problem))
                documents.push_back(std::move(document));
            else
                unread->push_back(document.file + ": note: not read for the notes: " + problem);
        }
    }
    return documents;
}

const Project *ProgramFiles::project()
{
    if (!m_projectLooked) {
        m_projectLooked = true;
        m_project = Project::of(m_units.front().folder, m_home);
    }
    return m_project ? &*m_project : nullptr;
}

std::string ProgramFiles::spelt(const std::string &folder) const
{
    const Unit &entry = m_units.front();
    if (folder == entry.folder)
        return entry.folderAsGiven;
    // Named from the current folder when the user named the source so, else absolute.
    if (!entry.folderAsGiven.empty() && entry.folderAsGiven.front() == '/')
        return folder;
    std::string current = resolvedPath(".");
    if (!current.empty() && current.back() != '/')
        current += '/';
    if (!current.empty() && folder.rfind(current, 0) == 0)
        return folder.substr(current.size());
    return folder;
}

void ProgramFiles::assemble(const std::vector<std::size_t> &indices)
{
    const auto inParallel = [this](const std::vector<std::size_t> &units) {
        std::atomic<std::size_t> next { 0 };
        // A failure to allocate in a worker reaches the caller as it would from this thread,
        // not as the end of the process.
        std::mutex failing;
        std::exception_ptr failure;
        const auto work = [this, &units, &next, &failing, &failure] {
            try {
                for (std::size_t i = next++; i < units.size(); i = next++)
                    assembleUnit(&m_units[units[i]], *m_tools);
            } catch (...) {
                next = units.size();
                const std::lock_guard<std::mutex> lock(failing);
                failure = std::current_exception();
            }
        };
        const std::size_t workers = std::min<std::size_t>(
            std::max(1U, std::thread::hardware_concurrency()), units.size());
        std::vector<std::thread> threads;
        for (std::size_t i = 1; i < workers; ++i) {
            // Without another thread (no memory for one), the threads there are do the work.
            try {
                threads.emplace_back(work);
            } catch (...) {
                break;
            }
        }
        work();
        for (std::thread &thread : threads)
            thread.join();
        if (failure)
            std::rethrow_exception(failure);
    };
    inParallel(indices);

    // A unit that lacks an include in its own folders is tried again with the project's.
    const auto lacksInclude = [this](std::size_t index) {
        const std::vector<std::string> &messages = m_units[index].messages;
        return !m_units[index].assembled
            && std::any_of(messages.begin(), messages.end(), [](const std::string &message) {
                   return !SourceText::missingInclude(message).empty();
               });
    };
    std::vector<std::size_t> again;
    for (const std::size_t index : indices) {
        if (lacksInclude(index))
            again.push_back(index);
    }
    if (again.empty())
        return;
    if (project()) {
        std::vector<std::size_t> widened;
        for (const std::size_t index : again) {
            if (addProjectIncludes(&m_units[index]))
                widened.push_back(index);
        }
        inParallel(widened);
    }
    for (const std::size_t index : again) {
        if (lacksInclude(index))
            tellMissingIncludes(&m_units[index]);
    }
}

bool ProgramFiles::addProjectIncludes(Unit *unit) const
{
    const std::size_t before = unit->includeFolders.size();
    for (const Project::Folder &folder : m_project->folders()) {
        const std::string path = withoutSlash(folder.path);
        if (std::find(unit->includeFolders.begin(), unit->includeFolders.end(), path)
            == unit->includeFolders.end())
            unit->includeFolders.push_back(path);
    }
    return unit->includeFolders.size() > before;
}

void ProgramFiles::tellMissingIncludes(Unit *unit)
{
    std::string where = withControlsEscaped(spelt(unit->folder));
    where = (where.empty() ? std::string("./") : where) + " and each folder above it";
    if (const Project *found = m_project ? &*m_project : nullptr) {
        const std::vector<std::string> own = SourceText::includeFolders(unit->folder);
        std::vector<std::string> others;
        for (const Project::Folder &folder : found->folders()) {
            if (std::find(own.begin(), own.end(), withoutSlash(folder.path)) == own.end())
                others.push_back(withControlsEscaped(spelt(folder.path)));
        }
        std::string named;
        for (std::size_t i = 0; i < others.size() && i < FoldersNamed; ++i)
            named += (i == 0 ? "" : ", ") + (others[i].empty() ? std::string("./") : others[i]);
        if (others.size() > FoldersNamed)
            named += " and " + std::to_string(others.size() - FoldersNamed) + " more";
        if (!named.empty())
            where += ", and the project's folders " + named;
        if (found->cutShort())
            where += " (of the project's first " + std::to_string(Project::MaxEntries)
                + " files and folders only)";
    }
    for (std::string &message : unit->messages) {
        const std::string missing = SourceText::missingInclude(message);
        if (!missing.empty())
            message += '\n' + locationOf(message) + ": note: " + withControlsEscaped(missing)
                + " is in none of the folders searched: " + where;
    }
}

bool ProgramFiles::startsProgram(const Unit &unit)
{
    return unit.object.definesGlobal("main") || unit.object.branchesPast(CartridgeHeader::Size);
}

bool ProgramFiles::gather(const std::string &source, std::vector<std::string> *messages)
{
    std::vector<std::string> own;
    const bool made = gatherFrom(source, &own);
    if (!made || m_script || startsProgram(entry())) {
        messages->insert(messages->end(), own.begin(), own.end());
        return made;
    }
    // A file of a program that is not its entry: the program it belongs to is the one
    // whose entry file, of its folder or else of its project, needs it.
    std::vector<std::string> users;
    std::vector<std::string> candidates = entryCandidates();
    // Each is gathered as a program of its own: a folder of many programs is not tried.
    if (candidates.size() > MaxEntriesTried)
        candidates.clear();
    for (const std::string &candidate : candidates) {
        ProgramFiles other(m_tools);
        std::vector<std::string> ignored;
        if (!other.gatherFrom(candidate, &ignored))
            continue;
        const std::vector<const Unit *> linked = other.linked();
        if (std::any_of(linked.begin(), linked.end(),
                [this](const Unit *unit) { return sameFile(unit->asPassed, entry().asPassed); }))
            users.push_back(candidate);
    }
    if (users.size() != 1) {
        messages->insert(messages->end(), own.begin(), own.end());
        if (users.size() > 1) {
            m_entryNote
                = entry().shown + ": note: it is a file of the programs whose entry files are ";
            for (std::size_t i = 0; i < users.size(); ++i)
                m_entryNote += (i == 0                         ? ""
                                       : i + 1 == users.size() ? " and "
                                                               : ", ")
                    + withControlsEscaped(users[i]);
            m_entryNote += "; pick the one to build";
        }
        return made;
    }
    const std::string picked = entry().shown;
    const bool whole = gatherFrom(users.front(), messages);
    messages->push_back(picked
        + ": note: this file defines neither a global `main' nor the header, so "
        + "tarnwick builds the program it belongs to, whose entry file is " + entry().shown);
    return whole;
}

std::vector<std::string> ProgramFiles::entryCandidates()
{
    if (m_groups.empty())
        addOwnFolderGroup();
    std::vector<std::string> found;
    for (std::size_t group = 0; group < m_groups.size() && found.empty(); ++group) {
        std::vector<std::string> ignored;
        if (!assembleGroup(group, &ignored))
            break;
        for (const std::size_t unit : m_groups[group].units) {
            if (m_units[unit].assembled && startsProgram(m_units[unit]))
                found.push_back(m_units[unit].asGiven);
        }
        if (group == 0 && m_groups.size() == 1 && found.empty() && project())
            addProjectGroups();
    }
    return found;
}

bool ProgramFiles::gatherFrom(const std::string &source, std::vector<std::string> *messages)
{
    m_entryNote.clear();
    m_units.assign(1, Unit());
    m_linked.clear();
    m_groups.clear();
    m_projectLooked = false;
    m_project.reset();
    m_script.reset();
    m_foreign.clear();
    m_headers.reset();
    Unit &entry = m_units.front();
    std::string problem;
    if (!makeUnit(source, &entry, &problem)) {
        messages->push_back(
            "tarnwick: cannot read source " + Arguments::quoted(source) + ": " + problem);
        return false;
    }
    if (!prepareUnit(&entry, m_tools, messages))
        return false;
    if (entry.lacksInclude && project())
        addProjectIncludes(&entry);
    if (!addPictureHeaders(&entry, messages))
        return false;
    assemble({ 0 });
    messages->insert(messages->end(), entry.messages.begin(), entry.messages.end());
    if (!entry.assembled)
        return false;
    m_linked.push_back(0);
    bool resolved = resolveSymbols(messages);
    // A program that took other files, whose project (or, when the source's own folder
    // sufficed, that folder) has a start-up and script of its own, is linked the way its
    // build links it.
    if (resolved && !m_script && !m_groups.empty() && findStartupScript(messages))
        resolved = resolveSymbols(messages);
    forgetForeign();
    if (resolved && m_project && m_project->guessed())
        tellTakenFromOutside(messages);
    return resolved;
}

bool ProgramFiles::assembleGroup(std::size_t index, std::vector<std::string> *messages)
{
    Group &group = m_groups[index];
    if (group.assembled)
        return true;
    group.assembled = true;
    for (const std::string &path : group.paths) {
        Unit unit;
        std::string problem;
        if (!makeUnit(path, &unit, &problem) || isForeign(unit.folder))
            continue;
        // Once the project is known, its sources find their includes in all its folders.
        if (m_project)
            addProjectIncludes(&unit);
        m_units.push_back(std::move(unit));
        if (!prepareUnit(&m_units.back(), m_tools, messages)
            || !addPictureHeaders(&m_units.back(), messages))
            return false;
        group.units.push_back(m_units.size() - 1);
    }
    assemble(group.units);
    // A folder beside the program's whose sources define a `main' of their own holds
    // another program (an exercise beside this one), unless a build description names it.
    // A source that does not assemble has no object to ask: its text tells, so that an
    // exercise with a mistake in it stays out of this program's messages too.
    const std::string &own = m_units.front().folder;
    const auto definesMain = [](const Unit &unit) {
        if (unit.assembled)
            return unit.object.definesGlobal("main");
        std::string text;
        std::string problem;
        return readFile(unit.asPassed, &text, &problem)
            && SourceText::definitionLine(text, "main") != 0;
    };
    for (const std::size_t unit : group.units) {
        const std::string &folder = m_units[unit].folder;
        if (own.rfind(folder, 0) == 0 || !definesMain(m_units[unit]))
            continue;
        if (m_project
            && std::any_of(m_project->folders().begin(), m_project->folders().end(),
                [&folder](
                    const Project::Folder &known) { return known.named && known.path == folder; }))
            continue;
        m_foreign.insert(folder);
    }
    return true;
}

void ProgramFiles::forgetForeign()
{
    std::vector<Unit> kept;
    std::vector<std::size_t> place(m_units.size());
    for (std::size_t i = 0; i < m_units.size(); ++i) {
        place[i] = kept.size();
        if (i == 0 || !isForeign(m_units[i].folder))
            kept.push_back(std::move(m_units[i]));
    }
    m_units = std::move(kept);
    for (std::size_t &index : m_linked)
        index = place[index];
    m_groups.clear();
}

void ProgramFiles::tellTakenFromOutside(std::vector<std::string> *messages) const
{
    const Unit &entry = m_units.front();
    std::vector<std::string> outside;
    for (const std::size_t index : m_linked) {
        if (m_units[index].folder.rfind(entry.folder, 0) != 0)
            outside.push_back(m_units[index].shown);
    }
    if (m_script && m_script->path.rfind(entry.folder, 0) != 0)
        outside.push_back(m_script->asGiven);
    if (outside.empty())
        return;
    std::string named;
    for (std::size_t i = 0; i < outside.size(); ++i)
        named += (i == 0 ? "" : i + 1 == outside.size() ? " and " : ", ") + outside[i];
    const std::string top = withControlsEscaped(spelt(m_project->top()));
    messages->push_back(entry.shown + ": note: the program takes " + named
        + " from outside the source's folder; with no build description and no repository "
          "around the source, tarnwick took "
        + (top.empty() ? std::string("./") : top) + " for its project");
}

void ProgramFiles::addOwnFolderGroup()
{
    Group same;
    const Unit &entry = m_units.front();
    for (const std::string &name : folderEntries(entry.folder)) {
        const std::string path = entry.folder + name;
        if (SourceText::isSourceName(name) && fileKind(path) == FileKind::Regular
            && !sameFile(path, entry.asPassed) && ::access(path.c_str(), R_OK) == 0)
            same.paths.push_back(entry.folderAsGiven + name);
    }
    m_groups.push_back(std::move(same));
}

void ProgramFiles::addProjectGroups()
{
    std::map<int, Group> farther;
    for (const Project::Folder &folder : m_project->folders()) {
        if (folder.distance == 0)
            continue;
        for (const std::string &name : folder.sources)
            farther[folder.distance].paths.push_back(spelt(folder.path) + name);
    }
    for (auto &[distance, more] : farther) {
        more.distance = distance;
        m_groups.push_back(std::move(more));
    }
}

bool ProgramFiles::resolveSymbols(std::vector<std::string> *messages)
{
    std::set<std::string> defined;
    std::map<std::string, std::size_t> neededBy;
    const auto take = [&](std::size_t index) {
        for (const std::string &name : m_units[index].object.definedGlobals())
            defined.insert(name);
        for (const std::string &name : m_units[index].object.neededSymbols())
            neededBy.emplace(name, index);
    };
    const auto stillNeeded = [&] {
        std::vector<std::string> names;
        for (const auto &[name, unit] : neededBy) {
            const bool scripted = m_script && scriptGives(m_script->text, name);
            if (!defined.count(name) && !scripted && (m_script || !runtimeProvides(name)))
                names.push_back(name);
        }
        return names;
    };
    for (const std::size_t index : m_linked)
        take(index);

    for (std::vector<std::string> needed = stillNeeded(); !needed.empty(); needed = stillNeeded()) {
        // A picture's names (heroTiles from hero.png) come from the picture, looked for before
        // more sources are assembled: a picture's names are its own, and converting one
        // costs less than assembling a folder.
        if (const int added = addPictures(needed, messages); added != 0) {
            if (added < 0)
                return false;
            for (std::size_t index = m_units.size() - std::size_t(added); index < m_units.size();
                 ++index)
                take(index);
            continue;
        }
        // The nearest sources first: those of the chosen source's folder, then those of
        // the project's other folders, one distance after the other.
        if (m_groups.empty())
            addOwnFolderGroup();
        std::vector<std::size_t> taken;
        std::set<std::string> found;
        for (std::size_t group = 0; group < m_groups.size() && found.size() < needed.size();
             ++group) {
            if (!assembleGroup(group, messages))
                return false;
            for (const std::string &name : needed) {
                if (found.count(name))
                    continue;
                std::vector<std::size_t> providers;
                for (const std::size_t unit : m_groups[group].units) {
                    if (m_units[unit].assembled && !isForeign(m_units[unit].folder)
                        && m_units[unit].object.definesGlobal(name))
                        providers.push_back(unit);
                }
                if (providers.size() > 1) {
                    messages->push_back(m_units[neededBy[name]].shown + ": Error: `" + name
                        + "' is defined both in " + m_units[providers[0]].shown + " and in "
                        + m_units[providers[1]].shown
                        + ", so tarnwick cannot tell which one the program means; rename one of "
                          "them, or move the other program into a folder of its own");
                    return false;
                }
                if (providers.empty())
                    continue;
                // The source's own folder is listed whole, the project's only up to the cut.
                if (group > 0 && m_project && m_project->cutShort()
                    && m_groups[group].distance >= m_project->cutDistance())
                    tellCut(name, m_units[providers[0]], messages);
                found.insert(name);
                if (std::find(taken.begin(), taken.end(), providers[0]) == taken.end())
                    taken.push_back(providers[0]);
            }
            // The project's folders, once the chosen source's own does not suffice.
            if (group + 1 == m_groups.size() && found.size() < needed.size() && group == 0
                && project())
                addProjectGroups();
        }
        if (!taken.empty()) {
            for (const std::size_t index : taken) {
                m_linked.push_back(index);
                messages->insert(messages->end(), m_units[index].messages.begin(),
                    m_units[index].messages.end());
                take(index);
            }
            continue;
        }
        // Names no source defines may come from the project's own linker script, which
        // then brings the project's own start-up: the source that defines its entry.
        if (!m_script && project()) {
            if (!findScript(needed, messages))
                return false;
            if (m_script) {
                if (!m_script->entry.empty() && !defined.count(m_script->entry))
                    neededBy.emplace(m_script->entry, 0);
                continue;
            }
        }
        // What ld will call undefined might have come from a source of the program that
        // defines it but did not assemble: its messages say why it could not.
        for (const Unit &unit : m_units) {
            std::string text;
            std::string problem;
            if (unit.assembled || isForeign(unit.folder)
                || !readFile(unit.asPassed, &text, &problem))
                continue;
            for (const std::string &name : needed) {
                const unsigned line = SourceText::definitionLine(text, name);
                if (line == 0)
                    continue;
                messages->insert(messages->end(), unit.messages.begin(), unit.messages.end());
                messages->push_back(unit.shown + ':' + std::to_string(line)
                    + ": note: the program needs `" + name
                    + "' from this file, which does not assemble");
                break;
            }
        }
        // ld names what is missing; that the search did not see the whole project is ours.
        if (m_project && m_project->cutShort())
            messages->push_back(m_units.front().shown + ": note: the project "
                + withControlsEscaped(
                    spelt(m_project->top()).empty() ? std::string("./") : spelt(m_project->top()))
                + " holds more than " + std::to_string(Project::MaxEntries)
                + " files and folders; tarnwick looked for what is missing in the first "
                + std::to_string(Project::MaxEntries) + " only");
        return true;
    }
    return true;
}

int ProgramFiles::addPictures(
    const std::vector<std::string> &needed, std::vector<std::string> *messages)
{
    if (std::none_of(needed.begin(), needed.end(),
            [](const std::string &name) { return !Pictures::pictureName(name).empty(); }))
        return 0;
    const std::vector<Pictures::Folder> folders = pictureFolders();
    std::vector<std::string> taken;
    for (const Unit &unit : m_units)
        taken.push_back(unit.asPassed);
    std::vector<Pictures::Found> pictures;
    std::vector<std::string> said;
    const bool found = Pictures::findPictures(needed, folders, taken, &pictures, &said);
    // A warning of an options file, said already when the picture's header was made, once.
    for (std::string &message : said) {
        if (std::find(messages->begin(), messages->end(), message) == messages->end())
            messages->push_back(std::move(message));
    }
    if (!found)
        return -1;
    for (Pictures::Found &picture : pictures) {
        Unit unit;
        unit.asGiven = picture.asGiven;
        unit.shown = withControlsEscaped(picture.asGiven);
        unit.asPassed = picture.path;
        unit.folder = SourceText::folderPart(picture.path);
        unit.inputs = std::move(picture.inputs);
        const std::string problem = unit.object.read(std::move(picture.object));
        if (!problem.empty()) {
            messages->push_back(
                "tarnwick: cannot read the data made of " + unit.shown + ": " + problem);
            return -1;
        }
        unit.assembled = true;
        m_units.push_back(std::move(unit));
        m_linked.push_back(m_units.size() - 1);
    }
    return int(pictures.size());
}

std::vector<Pictures::Folder> ProgramFiles::pictureFolders()
{
    std::vector<Pictures::Folder> folders;
    if (project()) {
        // Another program's folder lends no pictures, as it lends no sources.
        for (const Project::Folder &folder : m_project->folders()) {
            if (!isForeign(folder.path))
                folders.push_back({ folder.path, spelt(folder.path), folder.distance });
        }
    } else {
        folders.push_back({ m_units.front().folder, m_units.front().folderAsGiven, 0 });
    }
    return folders;
}

bool ProgramFiles::addPictureHeaders(Unit *unit, std::vector<std::string> *messages)
{
    std::string text;
    std::string problem;
    if (!unit->preprocessed || !unit->lacksInclude || !readFile(unit->asPassed, &text, &problem))
        return true;
    // A header anywhere the preprocessor would look, or in the project's folders that are
    // added when one is missing, is the program's own and wins.
    std::vector<std::string> searched = unit->includeFolders;
    if (project()) {
        for (const Project::Folder &folder : m_project->folders())
            searched.push_back(withoutSlash(folder.path));
    }
    std::vector<std::string> missing;
    for (const std::string &name : SourceText::includedNames(text)) {
        bool found = name.front() == '/' || fileKind(unit->folder + name) != FileKind::Missing;
        for (std::size_t i = 0; i < searched.size() && !found; ++i)
            found = fileKind(searched[i] + '/' + name) != FileKind::Missing;
        if (!found)
            missing.push_back(name);
    }
    if (missing.empty())
        return true;
    if (!m_headers)
        m_headers = std::make_unique<Pictures::HeaderFolder>();
    std::vector<std::string> inputs;
    if (!m_headers->make(missing, pictureFolders(), &inputs, messages))
        return false;
    if (!inputs.empty()) {
        unit->madeHeaders = m_headers->path();
        unit->pictureInputs = std::move(inputs);
    }
    return true;
}

bool ProgramFiles::findStartupScript(std::vector<std::string> *messages)
{
    // The nearest script that names an entry; two as near name none. The project's
    // folders are not listed for it when the source's own sufficed.
    std::vector<Project::Folder> own(1);
    if (!m_project) {
        own.front().path = m_units.front().folder;
        for (const std::string &name : folderEntries(own.front().path)) {
            if (name.size() > 3 && name.compare(name.size() - 3, 3, ".ld") == 0
                && fileKind(own.front().path + name) == FileKind::Regular)
                own.front().scripts.push_back(name);
        }
    }
    std::optional<Script> found;
    int distance = 0;
    for (const Project::Folder &folder : m_project ? m_project->folders() : own) {
        if (found && folder.distance > distance)
            break;
        if (isForeign(folder.path))
            continue;
        for (const std::string &name : folder.scripts) {
            Script script;
            std::string problem;
            script.path = folder.path + name;
            if (!readFile(script.path, &script.text, &problem)
                || (script.entry = SourceText::scriptEntry(script.text)).empty())
                continue;
            if (found)
                return false;
            script.asGiven = withControlsEscaped(spelt(folder.path) + name);
            found = std::move(script);
            distance = folder.distance;
        }
    }
    if (!found)
        return false;
    // Its entry defined by a source already assembled, or by one beside the script.
    const std::string scriptFolder = SourceText::folderPart(found->path);
    for (std::size_t group = 0; group < m_groups.size(); ++group) {
        const bool besideScript = std::any_of(m_groups[group].paths.begin(),
            m_groups[group].paths.end(), [&](const std::string &path) {
                return resolvedPath(SourceText::folderPart(path).empty()
                               ? std::string(".")
                               : SourceText::folderPart(path))
                    + '/'
                    == scriptFolder;
            });
        std::vector<std::string> ignored;
        if (!m_groups[group].assembled && (!besideScript || !assembleGroup(group, &ignored)))
            continue;
        for (const std::size_t unit : m_groups[group].units) {
            if (!m_units[unit].assembled || isForeign(m_units[unit].folder)
                || !m_units[unit].object.definesGlobal(found->entry))
                continue;
            if (std::find(m_linked.begin(), m_linked.end(), unit) == m_linked.end()) {
                m_linked.push_back(unit);
                messages->insert(
                    messages->end(), m_units[unit].messages.begin(), m_units[unit].messages.end());
            }
            m_script = std::move(found);
            return true;
        }
    }
    if (m_units.front().object.definesGlobal(found->entry)) {
        m_script = std::move(found);
        return true;
    }
    return false;
}

bool ProgramFiles::findScript(
    const std::vector<std::string> &needed, std::vector<std::string> *messages)
{
    // The nearest script that defines a name the program needs; two as near are refused.
    std::vector<Script> nearest;
    int distance = 0;
    for (const Project::Folder &folder : m_project->folders()) {
        if (!nearest.empty() && folder.distance > distance)
            break;
        if (isForeign(folder.path))
            continue;
        for (const std::string &name : folder.scripts) {
            Script script;
            std::string problem;
            script.path = folder.path + name;
            if (!readFile(script.path, &script.text, &problem)) {
                messages->push_back(withControlsEscaped(spelt(folder.path) + name)
                    + ": note: not read for the names it defines: " + problem);
                continue;
            }
            if (std::none_of(needed.begin(), needed.end(), [&script](const std::string &symbol) {
                    return scriptGives(script.text, symbol);
                }))
                continue;
            script.asGiven = withControlsEscaped(spelt(folder.path) + name);
            script.entry = SourceText::scriptEntry(script.text);
            nearest.push_back(std::move(script));
            distance = folder.distance;
        }
    }
    if (nearest.size() > 1) {
        messages->push_back(m_units.front().shown + ": Error: the linker scripts "
            + nearest[0].asGiven + " and " + nearest[1].asGiven
            + " both define names the program uses, so tarnwick cannot tell which one the "
              "program means; move the other one into a folder of its own");
        return false;
    }
    if (!nearest.empty())
        m_script = std::move(nearest.front());
    return true;
}

} // namespace Tarnwick

namespace Tarnwick {

void ProgramFiles::tellCut(
    const std::string &name, const Unit &provider, std::vector<std::string> *messages) const
{
    const std::string top = withControlsEscaped(spelt(m_project->top()));
    messages->push_back(m_units.front().shown + ": note: `" + name + "' is taken from "
        + provider.shown + ", but the project " + (top.empty() ? std::string("./") : top)
        + " holds more than " + std::to_string(Project::MaxEntries)
        + " files and folders, and a source as near among those past the first "
        + std::to_string(Project::MaxEntries) + " may define it too");
}

} // namespace Tarnwick
