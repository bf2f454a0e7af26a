#include "datalabels.h"

#include "datatypes.h"
#include "inputfiles.h"

#include <map>

namespace Tarnwick {

void typeDataLabels(const ProgramFiles &program, Bytes *linked)
{
    ElfFile elf;
    if (!elf.read(*linked).empty())
        return;
    // Where each name lies, and how many symbols of the linked program have it.
    std::map<std::string, std::pair<std::uint32_t, int>> places;
    for (const ElfFile::Symbol &symbol : elf.symbols()) {
        auto &place = places[symbol.name];
        place.first = symbol.value;
        ++place.second;
    }
    std::vector<DataTypes::TypedLabel> labels;
    for (const Unit *unit : program.linked()) {
        std::string text;
        std::string problem;
        if (!readFile(unit->asPassed, &text, &problem))
            text.clear();
        const std::map<std::string, unsigned> sizes = DataTypes::elementSizes(text);
        for (const DataTypes::ObjectLabel &label : DataTypes::labelsOf(unit->object)) {
            const auto place = places.find(label.name);
            if (place == places.end() || place->second.second != 1)
                continue;
            const auto known = sizes.find(label.name);
            const unsigned size = known == sizes.end() ? 1 : known->second;
            if (label.bytes >= size)
                labels.push_back(
                    { label.name, label.global, place->second.first, size, label.bytes / size });
        }
    }
    *linked = DataTypes::withTypes(elf, labels);
}

} // namespace Tarnwick
