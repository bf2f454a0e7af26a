#include "programfiles.h"

#include "arguments.h"
#include "embedded.h"
#include "sourcetext.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <map>
#include <set>
#include <thread>

#include <unistd.h>

namespace Tarnwick {

namespace {

// Whether the word stands in the text with no letter, digit, '_', '.' or '$' next to it.
bool containsWord(std::string_view text, std::string_view word)
{
    const auto isNamePart = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '$';
    };
    for (std::size_t at = text.find(word); at != std::string_view::npos;
         at = text.find(word, at + 1)) {
        const std::size_t end = at + word.size();
        if ((at == 0 || !isNamePart(text[at - 1]))
            && (end == text.size() || !isNamePart(text[end])))
            return true;
    }
    return false;
}

bool runtimeProvides(const std::string &symbol)
{
    // The division routines, and the names that the linker scripts give the memory layout.
    return symbol.rfind("__aeabi_", 0) == 0 || containsWord(Embedded::StartupScript, symbol)
        || containsWord(Embedded::ReservedHeaderScript, symbol);
}

// Each unit on its own, on as many processors as there are.
void assembleAll(std::vector<Unit> *units, std::size_t first, const Toolchain &tools)
{
    std::atomic<std::size_t> next { first };
    const auto work = [units, &next, &tools] {
        for (std::size_t i = next++; i < units->size(); i = next++)
            assembleUnit(&(*units)[i], tools);
    };
    const std::size_t workers = std::min<std::size_t>(
        std::max(1U, std::thread::hardware_concurrency()), units->size() - first);
    std::vector<std::thread> threads;
    for (std::size_t i = 1; i < workers; ++i)
        threads.emplace_back(work);
    work();
    for (std::thread &thread : threads)
        thread.join();
}

} // namespace

ProgramFiles::ProgramFiles(Toolchain *tools)
    : m_tools(tools)
{
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
                                                    : "a source of the program, " + unit.asGiven)
                                      : "a file that " + unit.asGiven + " includes" });
        }
    }
    return inputs;
}

bool ProgramFiles::gather(const std::string &source, std::vector<std::string> *messages)
{
    m_units.assign(1, Unit());
    m_linked.clear();
    Unit &entry = m_units.front();
    std::string problem;
    if (!makeUnit(source, &entry, &problem)) {
        messages->push_back(
            "tarnwick: cannot read source " + Arguments::quoted(source) + ": " + problem);
        return false;
    }
    if (!prepareUnit(&entry, m_tools, messages))
        return false;
    assembleUnit(&entry, *m_tools);
    messages->insert(messages->end(), entry.messages.begin(), entry.messages.end());
    if (!entry.assembled)
        return false;
    m_linked.push_back(0);
    return gatherOtherSources(messages);
}

bool ProgramFiles::gatherOtherSources(std::vector<std::string> *messages)
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
            if (!defined.count(name) && !runtimeProvides(name))
                names.push_back(name);
        }
        return names;
    };
    take(0);
    if (stillNeeded().empty())
        return true;

    const std::string folder = m_units.front().folder;
    const std::string folderAsGiven = m_units.front().folderAsGiven;
    for (const std::string &name : folderEntries(folder)) {
        const std::string path = folder + name;
        if (!SourceText::isSourceName(name) || fileKind(path) != FileKind::Regular
            || sameFile(path, m_units.front().asPassed) || ::access(path.c_str(), R_OK) != 0)
            continue;
        Unit unit;
        std::string problem;
        if (!makeUnit(folderAsGiven + name, &unit, &problem))
            continue;
        m_units.push_back(std::move(unit));
        if (!prepareUnit(&m_units.back(), m_tools, messages))
            return false;
    }
    if (m_units.size() == 1)
        return true;
    assembleAll(&m_units, 1, *m_tools);

    for (std::vector<std::string> needed = stillNeeded(); !needed.empty(); needed = stillNeeded()) {
        std::vector<std::size_t> taken;
        for (const std::string &name : needed) {
            std::vector<std::size_t> providers;
            for (std::size_t i = 1; i < m_units.size(); ++i) {
                if (m_units[i].assembled && m_units[i].object.definesGlobal(name))
                    providers.push_back(i);
            }
            if (providers.size() > 1) {
                messages->push_back(m_units[neededBy[name]].asGiven + ": Error: `" + name
                    + "' is defined both in " + m_units[providers[0]].asGiven + " and in "
                    + m_units[providers[1]].asGiven
                    + ", so tarnwick cannot tell which one the program means; rename one of "
                      "them, or move the other program into a folder of its own");
                return false;
            }
            if (providers.size() == 1
                && std::find(taken.begin(), taken.end(), providers[0]) == taken.end())
                taken.push_back(providers[0]);
        }
        if (taken.empty()) {
            // What ld will call undefined might have come from a source that did not
            // assemble and names it: its messages say why it could not.
            for (const Unit &unit : m_units) {
                std::string text;
                std::string problem;
                if (unit.assembled || !readFile(unit.asPassed, &text, &problem))
                    continue;
                if (std::any_of(needed.begin(), needed.end(),
                        [&text](const std::string &name) { return containsWord(text, name); }))
                    messages->insert(messages->end(), unit.messages.begin(), unit.messages.end());
            }
            return true;
        }
        for (const std::size_t index : taken) {
            m_linked.push_back(index);
            messages->insert(
                messages->end(), m_units[index].messages.begin(), m_units[index].messages.end());
            take(index);
        }
    }
    return true;
}

} // namespace Tarnwick
