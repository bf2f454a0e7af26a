#include "programfacts.h"

#include "inputfiles.h"
#include "paths.h"

#include <algorithm>

namespace Tarnwick {

namespace {

constexpr unsigned char SymbolTypeFunction = 2;
constexpr unsigned char SymbolTypeSection = 3;
constexpr unsigned char SymbolTypeFile = 4;
constexpr unsigned char BindingGlobal = 1;
constexpr unsigned char BindingWeak = 2;

bool isMappingSymbol(const std::string &name)
{
    return name.size() >= 2 && name[0] == '$' && (name.size() == 2 || name[2] == '.');
}

bool startsWith(const std::string &text, const std::string &prefix)
{
    return !prefix.empty() && text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

GatheredFacts::GatheredFacts(const ProgramFiles &program)
    : m_program(program)
{
}

std::string GatheredFacts::pathOf(const std::string &file) const
{
    const std::vector<Unit> &units = m_program.units();
    for (const Unit &unit : units) {
        if (unit.shown == file)
            return unit.asPassed;
    }
    // A name shown with escapes is no path to open.
    if (units.empty() || withControlsEscaped(file) != file)
        return {};
    const std::string path = resolvedPath(file);
    if (path.empty())
        return {};
    const Project *project = m_program.knownProject();
    if (startsWith(path, units.front().folder) || (project && startsWith(path, project->top())))
        return path;
    for (const Unit &unit : units) {
        if (std::find(unit.inputs.begin(), unit.inputs.end(), path) != unit.inputs.end())
            return path;
    }
    return {};
}

const std::string *GatheredFacts::text(const std::string &file)
{
    auto known = m_texts.find(file);
    if (known == m_texts.end()) {
        std::optional<std::string> text;
        const std::string path = pathOf(file);
        std::string contents;
        std::string problem;
        if (!path.empty() && fileKind(path) == FileKind::Regular
            && readFile(path, &contents, &problem))
            text = std::move(contents);
        known = m_texts.emplace(file, std::move(text)).first;
    }
    return known->second ? &*known->second : nullptr;
}

const std::vector<ProgramFacts::Definition> &GatheredFacts::definitions()
{
    if (!m_definitions) {
        m_definitions.emplace();
        for (const Unit &unit : m_program.units()) {
            if (!unit.assembled)
                continue;
            const LineTable table(unit.object);
            for (const ElfFile::Symbol &symbol : unit.object.symbols()) {
                if (symbol.name.empty() || symbol.sectionIndex == 0
                    || symbol.type == SymbolTypeSection || symbol.type == SymbolTypeFile
                    || isMappingSymbol(symbol.name))
                    continue;
                // The place of what it labels; the hints find the label's own line near it
                // when they name the place.
                const SourcePlace place = placeIn(unit, table, symbol.sectionIndex,
                    symbol.type == SymbolTypeFunction ? symbol.value & ~1U : symbol.value);
                m_definitions->push_back({ symbol.name, place.line ? place.shown : unit.shown,
                    symbol.binding == BindingGlobal || symbol.binding == BindingWeak, place.line });
            }
        }
    }
    return *m_definitions;
}

const std::vector<ProgramFacts::Document> &GatheredFacts::buildDescriptions()
{
    if (!m_buildDescriptions)
        m_buildDescriptions = m_program.buildDescriptions(&m_unread);
    return *m_buildDescriptions;
}

} // namespace Tarnwick
