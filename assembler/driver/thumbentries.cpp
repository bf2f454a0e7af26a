#include "thumbentries.h"

#include "elfformat.h"

#include <algorithm>
#include <set>

namespace Tarnwick {

namespace {

using namespace ElfFormat;

// How far back from a `bx` the instruction that set its register is looked for.
constexpr std::uint32_t LookBack = 16;

// Where a `bx` goes: a place in a unit's object.
struct Target
{
    const Unit *unit = nullptr;
    std::size_t section = 0;
    std::uint32_t offset = 0;
    bool fromAdr = false;
};

char kindAt(const std::vector<ElfFile::Contents> &contents, std::uint32_t offset)
{
    const auto after = std::upper_bound(contents.begin(), contents.end(), offset,
        [](std::uint32_t at, const ElfFile::Contents &run) { return at < run.offset; });
    return after == contents.begin() ? '\0' : std::prev(after)->kind;
}

// Whether the ARM instruction may change the register, or leaves the straight line of code.
bool mayChange(std::uint32_t instruction, unsigned reg)
{
    const unsigned rd = (instruction >> 12) & 0xF;
    const unsigned rn = (instruction >> 16) & 0xF;
    const bool loads = (instruction >> 20) & 1;
    // Post-indexed, or pre-indexed with write-back: the base register changes.
    const bool writesBack = !((instruction >> 24) & 1) || ((instruction >> 21) & 1);
    if ((instruction >> 28) == 0xF)
        return true;
    switch ((instruction >> 25) & 7) {
    case 0:
        if ((instruction & 0x0FFFFFF0) == 0x012FFF10) // bx
            return true;
        if ((instruction & 0x0FC000F0) == 0x00000090) // mul, mla
            return rn == reg;
        if ((instruction & 0x0F8000F0) == 0x00800090) // the long multiplies
            return rn == reg || rd == reg;
        if ((instruction & 0x0FB00FF0) == 0x01000090) // swp
            return rd == reg;
        if ((instruction & 0x0E000090) == 0x00000090) // halfword and signed transfers
            return (loads && rd == reg) || (rn == reg && writesBack);
        [[fallthrough]];
    case 1: {
        const unsigned opcode = (instruction >> 21) & 0xF;
        // tst, teq, cmp and cmn set flags only; msr writes no register, mrs its Rd.
        if (opcode >= 8 && opcode <= 11)
            return !((instruction >> 20) & 1) && rd == reg && rd != 15;
        return rd == reg;
    }
    case 2:
    case 3:
        return (loads && rd == reg) || (rn == reg && writesBack);
    case 4:
        return (loads && ((instruction >> reg) & 1)) || (((instruction >> 21) & 1) && rn == reg);
    default: // branches, coprocessors, swi
        return true;
    }
}

class Checker
{
public:
    explicit Checker(const ProgramFiles &program)
        : m_entry(&program.entry())
        , m_linked(program.linked())
    {
    }

    void check(const Unit &unit, std::vector<std::string> *messages);

private:
    bool targetOf(const Unit &unit, std::size_t section, std::uint32_t bxAt,
        const std::vector<ElfFile::Contents> &contents, Target *target) const;
    bool resolve(const Unit &unit, const ElfFile::Relocation &relocation, std::uint32_t addend,
        Target *target) const;
    void warn(const Target &target, std::vector<std::string> *messages);

    const Unit *m_entry;
    std::vector<const Unit *> m_linked;
    std::set<std::pair<const Unit *, std::string>> m_warned;
};

std::uint32_t wordAt(const ElfFile &object, std::size_t section, std::uint32_t offset)
{
    return littleEndian32(object.bytes(), object.sections()[section].offset + std::size_t(offset));
}

bool Checker::resolve(const Unit &unit, const ElfFile::Relocation &relocation, std::uint32_t addend,
    Target *target) const
{
    const ElfFile::Symbol &symbol = unit.object.symbols()[relocation.symbol];
    if (symbol.sectionIndex != 0 && symbol.sectionIndex < SectionIndexReserved) {
        *target = { &unit, symbol.sectionIndex,
            (symbol.type == TypeSection ? 0 : symbol.value) + addend, false };
        return true;
    }
    // Defined in another source of the program.
    for (const Unit *other : m_linked) {
        for (const ElfFile::Symbol &defined : other->object.symbols()) {
            if (defined.name == symbol.name && defined.isDefinedGlobal()
                && defined.sectionIndex < SectionIndexReserved) {
                *target = { other, defined.sectionIndex, defined.value + addend, false };
                return true;
            }
        }
    }
    return false;
}

bool Checker::targetOf(const Unit &unit, std::size_t section, std::uint32_t bxAt,
    const std::vector<ElfFile::Contents> &contents, Target *target) const
{
    const ElfFile &object = unit.object;
    const std::uint32_t size = object.sections()[section].size;
    const unsigned reg = wordAt(object, section, bxAt) & 0xF;
    const std::vector<ElfFile::Relocation> relocations = object.relocations(section);
    const auto relocationAt = [&relocations](std::uint32_t offset) {
        return std::find_if(relocations.begin(), relocations.end(),
            [offset](
                const ElfFile::Relocation &relocation) { return relocation.offset == offset; });
    };
    for (std::uint32_t at = bxAt; at >= 4 && bxAt - at < LookBack * 4;) {
        at -= 4;
        if (kindAt(contents, at) != 'a')
            return false;
        const std::uint32_t instruction = wordAt(object, section, at);
        const unsigned rd = (instruction >> 12) & 0xF;
        // ldr rN, [pc, #offset]: the word at the offset, the linker's to fill in.
        if ((instruction & 0x0F7F0000) == 0x051F0000 && rd == reg) {
            const std::uint32_t offset = instruction & 0xFFF;
            const std::uint32_t literal
                = (instruction >> 23) & 1 ? at + 8 + offset : at + 8 - offset;
            const auto relocation = relocationAt(literal);
            return literal <= size && size - literal >= 4 && relocation != relocations.end()
                && relocation->type == RelocationAbsolute32
                && resolve(unit, *relocation, wordAt(object, section, literal), target);
        }
        // adr rN, label: add or sub rN, pc, #value, which as worked out itself.
        const bool adds = (instruction & 0x0FFF0000) == 0x028F0000;
        if ((adds || (instruction & 0x0FFF0000) == 0x024F0000) && rd == reg) {
            const unsigned rotation = ((instruction >> 8) & 0xF) * 2;
            const std::uint32_t value = instruction & 0xFF;
            const std::uint32_t rotated
                = rotation == 0 ? value : (value >> rotation) | (value << (32 - rotation));
            if (relocationAt(at) != relocations.end())
                return false;
            *target = { &unit, section, adds ? at + 8 + rotated : at + 8 - rotated, true };
            return true;
        }
        if (mayChange(instruction, reg))
            return false;
    }
    return false;
}

void Checker::warn(const Target &target, std::vector<std::string> *messages)
{
    const ElfFile &object = target.unit->object;
    if ((target.offset & 1) != 0 || target.section >= object.sections().size()
        || kindAt(object.contentsOf(target.section), target.offset) != 't')
        return;
    const auto label = std::find_if(
        object.symbols().begin(), object.symbols().end(), [&target](const ElfFile::Symbol &symbol) {
            return symbol.sectionIndex == target.section && symbol.value == target.offset
                && !symbol.name.empty() && symbol.name[0] != '$' && symbol.type != TypeSection;
        });
    // A Thumb `main` of the chosen source goes to ld marked as a Thumb function already.
    if (label == object.symbols().end() || (target.unit == m_entry && label->name == "main")
        || !m_warned.emplace(target.unit, label->name).second)
        return;
    // The label's place from the object, so that a label in an include is named there and
    // one of the same name in a block that .if left out is not taken for it.
    const SourcePlace place = labelPlace(*target.unit, LineTable(object), *label);
    messages->push_back(
        (place.line ? place.shown + ':' + std::to_string(place.line) : target.unit->shown)
        + ": Warning: ARM code enters the Thumb code at `" + label->name + "` through `bx` "
        + (target.fromAdr ? "with an address from `adr`, which lacks"
                          : "with an address that lacks")
        + " the Thumb bit (bit 0), so the processor would run it in ARM state");
}

void Checker::check(const Unit &unit, std::vector<std::string> *messages)
{
    const ElfFile &object = unit.object;
    for (std::size_t section = 0; section < object.sections().size(); ++section) {
        const ElfFile::Section &code = object.sections()[section];
        if (!code.isLoaded() || !(code.flags & SectionFlagExecutable))
            continue;
        const std::vector<ElfFile::Contents> contents = object.contentsOf(section);
        for (std::size_t run = 0; run < contents.size(); ++run) {
            if (contents[run].kind != 'a')
                continue;
            const std::uint32_t end = std::min(
                run + 1 < contents.size() ? contents[run + 1].offset : code.size, code.size);
            for (std::uint32_t at = (contents[run].offset + 3) & ~3U; at + 4 <= end; at += 4) {
                Target target;
                if ((wordAt(object, section, at) & 0x0FFFFFF0) == 0x012FFF10
                    && targetOf(unit, section, at, contents, &target))
                    warn(target, messages);
            }
        }
    }
}

} // namespace

void warnOfUnmarkedThumbEntries(const ProgramFiles &program, std::vector<std::string> *messages)
{
    Checker checker(program);
    for (const Unit *unit : program.linked())
        checker.check(*unit, messages);
}

} // namespace Tarnwick
