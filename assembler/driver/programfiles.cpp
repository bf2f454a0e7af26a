#include "programfiles.h"

#include "arguments.h"
#include "embedded.h"
#include "paths.h"
#include "sourcetext.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <map>
#include <set>
#include <thread>

#include <unistd.h>

namespace Tarnwick {

namespace {

// How many of the project's folders a message names before it counts the rest.
constexpr std::size_t FoldersNamed = 4;

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
    const char *home = std::getenv("HOME");
    m_home = home ? home : "";
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

std::vector<ProgramFacts::Document> ProgramFiles::buildDescriptions() const
{
    std::vector<ProgramFacts::Document> documents;
    if (!m_project)
        return documents;
    for (const Project::Folder &folder : m_project->folders()) {
        for (const std::string &name : folder.builds) {
            ProgramFacts::Document document { withControlsEscaped(spelt(folder.path) + name), {} };
            std::string problem;
            if (readFile(folder.path + name, &document.text, &problem))
                documents.push_back(std::move(document));
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
        const auto work = [this, &units, &next] {
            for (std::size_t i = next++; i < units.size(); i = next++)
                assembleUnit(&m_units[units[i]], *m_tools);
        };
        const std::size_t workers = std::min<std::size_t>(
            std::max(1U, std::thread::hardware_concurrency()), units.size());
        std::vector<std::thread> threads;
        for (std::size_t i = 1; i < workers; ++i)
            threads.emplace_back(work);
        work();
        for (std::thread &thread : threads)
            thread.join();
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

bool ProgramFiles::gather(const std::string &source, std::vector<std::string> *messages)
{
    m_units.assign(1, Unit());
    m_linked.clear();
    m_groups.clear();
    m_projectLooked = false;
    m_project.reset();
    m_script.reset();
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
    assemble({ 0 });
    messages->insert(messages->end(), entry.messages.begin(), entry.messages.end());
    if (!entry.assembled)
        return false;
    m_linked.push_back(0);
    return resolveSymbols(messages);
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
        if (!makeUnit(path, &unit, &problem))
            continue;
        // Once the project is known, its sources find their includes in all its folders.
        if (m_project)
            addProjectIncludes(&unit);
        m_units.push_back(std::move(unit));
        if (!prepareUnit(&m_units.back(), m_tools, messages))
            return false;
        group.units.push_back(m_units.size() - 1);
    }
    assemble(group.units);
    return true;
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
            const bool scripted = m_script && SourceText::scriptDefines(m_script->text, name);
            if (!defined.count(name) && !scripted && (m_script || !runtimeProvides(name)))
                names.push_back(name);
        }
        return names;
    };
    take(0);

    for (std::vector<std::string> needed = stillNeeded(); !needed.empty(); needed = stillNeeded()) {
        // The nearest sources first: those of the chosen source's folder, then those of
        // the project's other folders, one distance after the other.
        if (m_groups.empty()) {
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
                    if (m_units[unit].assembled && m_units[unit].object.definesGlobal(name))
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
                found.insert(name);
                if (std::find(taken.begin(), taken.end(), providers[0]) == taken.end())
                    taken.push_back(providers[0]);
            }
            // The project's folders, once the chosen source's own does not suffice.
            if (group + 1 == m_groups.size() && found.size() < needed.size() && group == 0
                && project()) {
                std::map<int, Group> farther;
                for (const Project::Folder &folder : m_project->folders()) {
                    if (folder.distance == 0)
                        continue;
                    for (const std::string &name : folder.sources)
                        farther[folder.distance].paths.push_back(spelt(folder.path) + name);
                }
                for (auto &[distance, more] : farther)
                    m_groups.push_back(std::move(more));
            }
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
        // What ld will call undefined might have come from a source that did not assemble
        // and names it: its messages say why it could not.
        for (const Unit &unit : m_units) {
            std::string text;
            std::string problem;
            if (unit.assembled || !readFile(unit.asPassed, &text, &problem))
                continue;
            if (std::any_of(needed.begin(), needed.end(),
                    [&text](const std::string &name) { return containsWord(text, name); }))
                messages->insert(messages->end(), unit.messages.begin(), unit.messages.end());
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

bool ProgramFiles::findScript(
    const std::vector<std::string> &needed, std::vector<std::string> *messages)
{
    // The nearest script that defines a name the program needs; two as near are refused.
    std::vector<Script> nearest;
    int distance = 0;
    for (const Project::Folder &folder : m_project->folders()) {
        if (!nearest.empty() && folder.distance > distance)
            break;
        for (const std::string &name : folder.scripts) {
            Script script;
            std::string problem;
            script.path = folder.path + name;
            if (!readFile(script.path, &script.text, &problem)
                || std::none_of(needed.begin(), needed.end(), [&script](const std::string &symbol) {
                       return SourceText::scriptDefines(script.text, symbol);
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
