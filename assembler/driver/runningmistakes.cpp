#include "runningmistakes.h"

#include "elfformat.h"
#include "inputfiles.h"
#include "linetable.h"
#include "sourcetext.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <tuple>

namespace Tarnwick {

namespace {

using namespace ElfFormat;

// How far back from a byte store the instruction that built its address is looked for.
constexpr std::uint32_t LookBack = 16;

// The sections that the tools themselves keep out of the image.
constexpr std::string_view ToolSections[]
    = { ".debug", ".comment", ".note", ".ARM.attributes", ".gnu", ".stab" };

// The warnings' texts: {1} stands for the name they are about.
constexpr std::string_view UnallocatedSection
    = "section `{1}` has contents but no flags, so none of it reaches the image";
constexpr std::string_view ArmBranchIntoThumb
    = "ARM code branches to the Thumb code at `{1}`, which lacks `.thumb_func`, so the linker "
      "adds no change of state and the processor would run it in ARM state";
constexpr std::string_view ArmSwiNumber
    = "ARM `swi {1}` asks the firmware for function 0 (ARM takes the function's number from "
      "bits 16–23), which is a reset";
constexpr std::string_view SetAgain
    = "`{1}` is set again to another value, which holds from here on: line {2} set it "
      "to {3}";
// By the address's top byte, from 0x05 on: palette RAM, video RAM, object attributes.
constexpr std::string_view ByteStores[] = {
    "the code from `{1}` stores bytes into palette RAM (0x05000000), where the hardware "
    "writes each into both bytes of its halfword",
    "the code from `{1}` stores bytes into video RAM (0x06000000), where the hardware writes "
    "each into both bytes of its halfword",
    "the code from `{1}` stores bytes into object attribute memory (0x07000000), which "
    "ignores them",
};
constexpr std::uint32_t ByteStoreRegions = 0x05000000;
constexpr std::uint32_t ByteStoreRegionsEnd = 0x08000000;
// The sections that our linker scripts start at a multiple of 4, the chosen source's first.
constexpr std::string_view AlignedOutputs[]
    = { ".text", ".rodata", ".data", ".bss", ".iwram", ".ewram", ".sbss" };
constexpr std::string_view UnalignedWord
    = "`{1}` is not at a multiple of 4, and the code loads a word from it: the processor "
      "reads a rotated word";
constexpr std::string_view UnalignedHalfword
    = "`{1}` is at an odd address, and the code loads a halfword from it: the processor reads "
      "the wrong bytes";
constexpr std::string_view RunsIntoData
    = "the code from `{1}` runs on from its last instruction into data (a table or a literal "
      "pool), which the processor would run as code";

std::uint32_t wordAt(const ElfFile &object, std::size_t section, std::uint32_t offset)
{
    return littleEndian32(object.bytes(), object.sections()[section].offset + std::size_t(offset));
}

std::uint16_t halfwordAt(const ElfFile &object, std::size_t section, std::uint32_t offset)
{
    return littleEndian16(object.bytes(), object.sections()[section].offset + std::size_t(offset));
}

char kindAt(const std::vector<ElfFile::Contents> &contents, std::uint32_t offset)
{
    const auto after = std::upper_bound(contents.begin(), contents.end(), offset,
        [](std::uint32_t at, const ElfFile::Contents &run) { return at < run.offset; });
    return after == contents.begin() ? '\0' : std::prev(after)->kind;
}

// The relocations of a section in the order of their offsets, for relocationAt().
std::vector<ElfFile::Relocation> sortedRelocations(const ElfFile &object, std::size_t section)
{
    std::vector<ElfFile::Relocation> relocations = object.relocations(section);
    std::stable_sort(relocations.begin(), relocations.end(),
        [](const ElfFile::Relocation &one, const ElfFile::Relocation &other) {
            return one.offset < other.offset;
        });
    return relocations;
}

// The relocation at the offset, of relocations sorted by offset; null if there is none.
const ElfFile::Relocation *relocationAt(
    const std::vector<ElfFile::Relocation> &relocations, std::uint32_t offset)
{
    const auto found = std::lower_bound(relocations.begin(), relocations.end(), offset,
        [](const ElfFile::Relocation &relocation, std::uint32_t at) {
            return relocation.offset < at;
        });
    return found != relocations.end() && found->offset == offset ? &*found : nullptr;
}

// The stretches of code of a section, ARM or Thumb, from the start of each to its end: what
// the checks read instruction by instruction, leaving its data (an .incbin, say) alone.
std::vector<std::pair<std::uint32_t, std::uint32_t>> codeRanges(
    const std::vector<ElfFile::Contents> &contents, std::uint32_t size)
{
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges;
    for (std::size_t run = 0; run < contents.size(); ++run) {
        const std::uint32_t end
            = std::min(run + 1 < contents.size() ? contents[run + 1].offset : size, size);
        if ((contents[run].kind == 'a' || contents[run].kind == 't') && contents[run].offset < end)
            ranges.emplace_back(contents[run].offset, end);
    }
    return ranges;
}

// Whether the ARM instruction always leaves the straight line of code: a branch, `bx`, or a
// write to pc by a load, a load of several registers, or data processing.
bool endsArm(std::uint32_t instruction)
{
    if ((instruction >> 28) != 0xE)
        return false;
    return (instruction & 0x0F000000) == 0x0A000000 // b
        || (instruction & 0x0FFFFFF0) == 0x012FFF10 // bx
        || (instruction & 0x0E108000) == 0x08108000 // ldm with pc
        || (instruction & 0x0C10F000) == 0x0410F000 // ldr pc
        || ((instruction & 0x0C00F000) == 0x0000F000 // data processing into pc, but a test
            && !(((instruction >> 23) & 3) == 2 && !((instruction >> 20) & 1)));
}

// The same for a Thumb instruction: `b`, `bx`, `pop` with pc, or `mov pc, rN`.
bool endsThumb(std::uint16_t instruction)
{
    return (instruction & 0xF800) == 0xE000 || (instruction & 0xFF87) == 0x4700
        || (instruction & 0xFF00) == 0xBD00 || (instruction & 0xFF87) == 0x4687;
}

// Filling that as puts before aligned data: zeros, or the "nop" it aligns code with.
bool isFilling(std::uint32_t instruction, bool thumb)
{
    return instruction == 0 || instruction == (thumb ? 0x46C0U : 0xE1A00000U);
}

class Checker
{
public:
    explicit Checker(const ProgramFiles &program)
        : m_entry(&program.entry())
        , m_linked(program.linked())
        , m_ownScript(program.script().has_value())
    {
    }

    void check(const Unit &unit, std::vector<std::string> *messages);

private:
    void checkBranches(const Unit &unit, std::size_t section,
        const std::vector<ElfFile::Contents> &contents, std::vector<std::string> *messages);
    void checkByteStores(const Unit &unit, std::size_t section,
        const std::vector<ElfFile::Contents> &contents, std::vector<std::string> *messages);
    void checkLoads(const Unit &unit, std::size_t section,
        const std::vector<ElfFile::Contents> &contents, std::vector<std::string> *messages);
    void checkCalls(const Unit &unit, std::size_t section,
        const std::vector<ElfFile::Contents> &contents, std::vector<std::string> *messages);
    void checkSettings(const Unit &unit, std::vector<std::string> *messages);
    void checkEnds(const Unit &unit, std::size_t section,
        const std::vector<ElfFile::Contents> &contents, std::vector<std::string> *messages);
    const ElfFile::Symbol *labelAt(
        const Unit &unit, std::size_t section, std::uint32_t offset, bool before) const;
    const std::string &textOf(const Unit &unit);
    SourcePlace placeOf(const Unit &unit, std::size_t section, std::uint32_t offset);
    void warn(const Unit &unit, unsigned line, std::string_view text, const std::string &name,
        std::vector<std::string> *messages);
    void warn(const Unit &unit, const SourcePlace &place, std::string_view text,
        const std::string &name, std::vector<std::string> *messages);
    void warnAt(const Unit &unit, std::size_t section, std::uint32_t offset, std::string_view text,
        const std::string &label, std::vector<std::string> *messages);

    const Unit *m_entry;
    std::vector<const Unit *> m_linked;
    // Whether the project links with a script of its own, which may place sections anywhere.
    bool m_ownScript;
    // Each warning once per unit, by its text and name: by the text itself, not where it is
    // kept, as a setting's warning is made anew for each setting.
    std::set<std::tuple<const Unit *, std::string, std::string>> m_warned;
    const Unit *m_textUnit = nullptr;
    std::string m_text;
    const Unit *m_tableUnit = nullptr;
    std::unique_ptr<LineTable> m_table;
};

const std::string &Checker::textOf(const Unit &unit)
{
    if (m_textUnit != &unit) {
        std::string problem;
        m_text.clear();
        if (!readFile(unit.asPassed, &m_text, &problem))
            m_text.clear();
        m_textUnit = &unit;
    }
    return m_text;
}

// The place of the instruction at the offset by the unit's line table, which is read once
// per unit; line 0 when the table has no row for it.
SourcePlace Checker::placeOf(const Unit &unit, std::size_t section, std::uint32_t offset)
{
    if (m_tableUnit != &unit) {
        m_table = std::make_unique<LineTable>(unit.object);
        m_tableUnit = &unit;
    }
    return placeIn(unit, *m_table, section, offset);
}

void Checker::warn(const Unit &unit, unsigned line, std::string_view text, const std::string &name,
    std::vector<std::string> *messages)
{
    warn(unit, SourcePlace { unit.shown, unit.asPassed, line }, text, name, messages);
}

// Warns at the instruction at the offset; where the line table has nothing for it, at the
// line that defines the label of the code it belongs to.
void Checker::warnAt(const Unit &unit, std::size_t section, std::uint32_t offset,
    std::string_view text, const std::string &label, std::vector<std::string> *messages)
{
    const SourcePlace place = placeOf(unit, section, offset);
    if (place.line)
        warn(unit, place, text, label, messages);
    else
        warn(unit, SourceText::definitionLine(textOf(unit), label), text, label, messages);
}

void Checker::warn(const Unit &unit, const SourcePlace &place, std::string_view text,
    const std::string &name, std::vector<std::string> *messages)
{
    if (!m_warned.emplace(&unit, std::string(text), name).second)
        return;
    std::string said(text);
    said.replace(said.find("{1}"), 3, name);
    messages->push_back(place.shown
        + (place.line ? ':' + std::to_string(place.line) : std::string()) + ": Warning: " + said);
}

// The label at the offset of the section, or with before, the last one at or before it.
const ElfFile::Symbol *Checker::labelAt(
    const Unit &unit, std::size_t section, std::uint32_t offset, bool before) const
{
    const ElfFile::Symbol *found = nullptr;
    for (const ElfFile::Symbol &symbol : unit.object.symbols()) {
        if (symbol.sectionIndex != section || symbol.name.empty() || symbol.name[0] == '$'
            || symbol.type == TypeSection)
            continue;
        const std::uint32_t at = symbol.value & ~1U;
        if (at == offset || (before && at < offset && (!found || at > (found->value & ~1U))))
            found = &symbol;
        if (at == offset)
            break;
    }
    return found;
}

void Checker::checkBranches(const Unit &unit, std::size_t section,
    const std::vector<ElfFile::Contents> &contents, std::vector<std::string> *messages)
{
    const ElfFile &object = unit.object;
    const std::vector<ElfFile::Relocation> relocations = sortedRelocations(object, section);
    const std::uint32_t size = object.sections()[section].size;
    for (const auto &[start, end] : codeRanges(contents, size))
        for (std::uint32_t at = start; at + 4 <= end; at += 4) {
            const std::uint32_t instruction = wordAt(object, section, at);
            if (kindAt(contents, at) != 'a' || (instruction >> 28) == 0xF
                || (instruction & 0x0E000000) != 0x0A000000)
                continue;
            const std::int32_t displacement
                = std::int32_t((instruction & 0x00FFFFFF) << 8) / 64; // sign-extended, times 4
            const Unit *target = &unit;
            std::size_t targetSection = section;
            std::int64_t offset = std::int64_t(at) + 8 + displacement;
            const ElfFile::Relocation *relocation = relocationAt(relocations, at);
            if (relocation) {
                if (relocation->type != RelocationArmCall && relocation->type != RelocationArmJump
                    && relocation->type != RelocationArmBranch)
                    continue;
                const ElfFile::Symbol &symbol = object.symbols()[relocation->symbol];
                offset = std::int64_t(symbol.value) + displacement + 8;
                targetSection = symbol.sectionIndex;
                if (symbol.sectionIndex == 0) {
                    target = nullptr;
                    for (const Unit *other : m_linked) {
                        for (const ElfFile::Symbol &defined : other->object.symbols()) {
                            if (defined.name == symbol.name && defined.isDefinedGlobal()
                                && defined.sectionIndex < SectionIndexReserved) {
                                target = other;
                                targetSection = defined.sectionIndex;
                                offset = std::int64_t(defined.value) + displacement + 8;
                            }
                        }
                    }
                }
            }
            if (!target || targetSection == 0 || targetSection >= SectionIndexReserved
                || targetSection >= target->object.sections().size() || offset < 0
                || (offset & 1) != 0
                || kindAt(target->object.contentsOf(targetSection), std::uint32_t(offset)) != 't')
                continue;
            const ElfFile::Symbol *label
                = labelAt(*target, targetSection, std::uint32_t(offset), false);
            if (!label || label->type == TypeFunction
                || (target == m_entry && label->name == "main"))
                continue;
            warn(*target, SourceText::definitionLine(textOf(*target), label->name),
                ArmBranchIntoThumb, label->name, messages);
        }
}

// Whether the data from offset to end holds only zeros that nothing fills in (relocations
// sorted by offset): space that the processor runs through harmlessly (as `andeq r0, r0,
// r0`, or `movs r0, r0` in Thumb).
bool onlyZeros(const ElfFile &object, std::size_t section, std::uint32_t offset, std::uint32_t end,
    const std::vector<ElfFile::Relocation> &relocations)
{
    const std::size_t start = object.sections()[section].offset;
    for (std::uint32_t at = offset; at < end; ++at) {
        if (object.bytes()[start + at] != 0)
            return false;
    }
    // A word that a relocation fills in may begin up to three bytes before.
    const std::uint32_t from = offset - std::min<std::uint32_t>(offset, 3);
    const auto first = std::lower_bound(relocations.begin(), relocations.end(), from,
        [](const ElfFile::Relocation &relocation, std::uint32_t at) {
            return relocation.offset < at;
        });
    return first == relocations.end() || first->offset >= end;
}

// The line of the first `swi` or `svc` statement of the text whose number is the given one;
// 0 when none is written so (one a macro makes, say).
unsigned swiLine(std::string_view text, std::uint32_t number)
{
    unsigned line = 1;
    for (std::size_t at = 0; at < text.size(); ++line) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        std::string statement(text.substr(at, end - at));
        at = end + 1;
        for (char &c : statement)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        // The first word after the labels that begin the line.
        std::size_t word = statement.find_first_not_of(" \t");
        while (word != std::string::npos) {
            const std::size_t after = statement.find_first_of(" \t:", word);
            if (after == std::string::npos || statement[after] != ':')
                break;
            word = statement.find_first_not_of(" \t", after + 1);
        }
        if (word == std::string::npos || statement.size() < word + 4
            || (statement.compare(word, 3, "swi") != 0 && statement.compare(word, 3, "svc") != 0)
            || (statement[word + 3] != ' ' && statement[word + 3] != '\t'))
            continue;
        const std::size_t operand = statement.find_first_not_of(" \t#", word + 3);
        if (operand == std::string::npos)
            continue;
        char *rest = nullptr;
        const unsigned long value = std::strtoul(statement.c_str() + operand, &rest, 0);
        if (rest != statement.c_str() + operand && value == number)
            return line;
    }
    return 0;
}

void Checker::checkCalls(const Unit &unit, std::size_t section,
    const std::vector<ElfFile::Contents> &contents, std::vector<std::string> *messages)
{
    const ElfFile &object = unit.object;
    const std::uint32_t size = object.sections()[section].size;
    for (const auto &[start, end] : codeRanges(contents, size))
        for (std::uint32_t at = start; at + 4 <= end; at += 4) {
            const std::uint32_t instruction = wordAt(object, section, at);
            const std::uint32_t number = instruction & 0x00FFFFFF;
            // swi 0 is the reset it asks for in either state.
            if (kindAt(contents, at) != 'a' || (instruction >> 28) == 0xF
                || (instruction & 0x0F000000) != 0x0F000000 || number == 0 || number >= 0x100)
                continue;
            char written[16];
            std::snprintf(written, sizeof written, "0x%02X", unsigned(number));
            const SourcePlace place = placeOf(unit, section, at);
            if (place.line)
                warn(unit, place, ArmSwiNumber, written, messages);
            else
                warn(unit, swiLine(textOf(unit), number), ArmSwiNumber, written, messages);
        }
}

void Checker::checkSettings(const Unit &unit, std::vector<std::string> *messages)
{
    // By name: the line that set it and the value, for settings to a plain number outside
    // blocks that may repeat or skip them (macros, repeats, conditions).
    std::map<std::string, std::pair<unsigned, long long>> settings;
    const std::string_view text = textOf(unit);
    unsigned depth = 0;
    unsigned line = 1;
    for (std::size_t at = 0; at < text.size(); ++line) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        std::string statement(text.substr(at, std::min(text.find('@', at), end) - at));
        at = end + 1;
        for (char &c : statement) {
            if (c == '\t' || c == ',')
                c = ' ';
        }
        std::istringstream words(statement);
        std::string directive, name, value, more;
        words >> directive >> name >> value >> more;
        for (char &c : directive)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        if (directive == ".macro" || directive == ".rept" || directive == ".irp"
            || directive == ".irpc" || directive.rfind(".if", 0) == 0)
            ++depth;
        else if ((directive == ".endm" || directive == ".endr" || directive == ".endif")
            && depth > 0)
            --depth;
        if (depth > 0 || (directive != ".equ" && directive != ".set") || !more.empty())
            continue;
        char *rest = nullptr;
        const long long number = std::strtoll(value.c_str(), &rest, 0);
        if (value.empty() || *rest != '\0')
            continue;
        const auto [earlier, first] = settings.try_emplace(name, line, number);
        if (first || earlier->second.second == number)
            continue;
        std::string said(SetAgain);
        said.replace(said.find("{3}"), 3, std::to_string(earlier->second.second));
        said.replace(said.find("{2}"), 3, std::to_string(earlier->second.first));
        warn(unit, line, said, name, messages);
        earlier->second = { line, number };
    }
}

// The address that the ARM instruction at "at" stores a byte to, when the straight line of
// code before it builds it from a constant in its base register (a literal, `mov` of an
// immediate, then perhaps `add` or `sub` to itself); 0 when unknown.
std::uint32_t armByteAddress(const ElfFile &object, std::size_t section, std::uint32_t at,
    const std::vector<ElfFile::Contents> &contents,
    const std::vector<ElfFile::Relocation> &relocations)
{
    const unsigned reg = (wordAt(object, section, at) >> 16) & 0xF;
    for (std::uint32_t back = 0; at >= 4 && back < LookBack; ++back) {
        at -= 4;
        const std::uint32_t instruction = wordAt(object, section, at);
        const unsigned rd = (instruction >> 12) & 0xF;
        const unsigned rn = (instruction >> 16) & 0xF;
        if (kindAt(contents, at) != 'a' || (instruction >> 28) != 0xE)
            return 0;
        if ((instruction & 0x0F7F0000) == 0x051F0000 && rd == reg) { // ldr rN, [pc, #]
            const std::uint32_t offset = instruction & 0xFFF;
            const std::uint32_t literal
                = (instruction >> 23) & 1 ? at + 8 + offset : at + 8 - offset;
            const bool relocated = relocationAt(relocations, literal) != nullptr;
            return relocated || literal + 4 > object.sections()[section].size
                ? 0
                : wordAt(object, section, literal);
        }
        if ((instruction & 0x0FEF0000) == 0x03A00000 && rd == reg) { // mov rN, #
            const unsigned rotation = ((instruction >> 8) & 0xF) * 2;
            const std::uint32_t value = instruction & 0xFF;
            return rotation == 0 ? value : (value >> rotation) | (value << (32 - rotation));
        }
        const bool adjusts
            = ((instruction & 0x0DE00000) == 0x00800000 || (instruction & 0x0DE00000) == 0x00400000)
            && rd == reg && rn == reg; // add or sub rN, rN, ...
        const bool dataProcessing = (instruction & 0x0C000000) == 0;
        const bool transfers = (instruction & 0x0C000000) == 0x04000000;
        const bool writesBack = !((instruction >> 24) & 1) || ((instruction >> 21) & 1);
        if (!adjusts
            && ((dataProcessing && rd == reg) || (instruction & 0x0C000000) == 0x08000000
                || (instruction & 0x0C000000) == 0x0C000000
                || (instruction & 0x0FFFFFF0) == 0x012FFF10
                || (transfers && (((instruction >> 20) & 1) ? rd == reg : false))
                || (transfers && rn == reg && writesBack)))
            return 0;
    }
    return 0;
}

// The same for the Thumb `strb` at "at", whose base is also built as `movs rN, #`, then
// `lsls rN, rN, #`.
std::uint32_t thumbByteAddress(const ElfFile &object, std::size_t section, std::uint32_t at,
    const std::vector<ElfFile::Contents> &contents,
    const std::vector<ElfFile::Relocation> &relocations)
{
    unsigned reg = (halfwordAt(object, section, at) >> 3) & 7;
    unsigned shift = 0;
    for (std::uint32_t back = 0; at >= 2 && back < LookBack; ++back) {
        at -= 2;
        const std::uint16_t instruction = halfwordAt(object, section, at);
        const unsigned high = (instruction >> 8) & 7;
        if (kindAt(contents, at) != 't')
            return 0;
        if ((instruction & 0xF800) == 0x4800 && high == reg) { // ldr rN, [pc, #]
            const std::uint32_t literal = ((at + 4) & ~3U) + (instruction & 0xFFU) * 4;
            const bool relocated = relocationAt(relocations, literal) != nullptr;
            return relocated || literal + 4 > object.sections()[section].size
                ? 0
                : wordAt(object, section, literal) << shift;
        }
        if ((instruction & 0xF800) == 0x2000 && high == reg) // movs rN, #
            return shift < 32 ? (instruction & 0xFFU) << shift : 0;
        if ((instruction & 0xF800) == 0x0000 && (instruction & 7) == reg) { // lsls rD, rM, #
            shift += (instruction >> 6) & 31;
            reg = (instruction >> 3) & 7;
            continue;
        }
        const bool adjusts = (instruction & 0xF000) == 0x3000 && high == reg; // adds, subs #
        if (!adjusts && ((instruction & 7) == reg || high == reg || instruction >= 0xB000))
            return 0;
    }
    return 0;
}

// Where the ARM or Thumb load at "at" reads from, as an offset from the address in reg, and
// how many bytes; 0 bytes when it is no load from reg with an immediate offset.
std::pair<std::uint32_t, unsigned> loadFrom(std::uint32_t instruction, bool thumb, unsigned reg)
{
    if (thumb) {
        const unsigned base = (instruction >> 3) & 7;
        const std::uint32_t step = (instruction >> 6) & 31;
        if ((instruction & 0xF800) == 0x6800 && base == reg)
            return { step * 4, 4 };
        if ((instruction & 0xF800) == 0x8800 && base == reg)
            return { step * 2, 2 };
        return { 0, 0 };
    }
    const bool up = (instruction >> 23) & 1;
    const bool before = (instruction >> 24) & 1;
    if ((instruction >> 28) != 0xE || ((instruction >> 16) & 0xF) != reg)
        return { 0, 0 };
    if ((instruction & 0x0E500000) == 0x04100000) { // ldr, immediate offset
        const std::uint32_t offset = before ? instruction & 0xFFF : 0;
        return { up ? offset : 0 - offset, 4 };
    }
    if ((instruction & 0x0E5000F0) == 0x005000B0) { // ldrh, immediate offset
        const std::uint32_t offset = before ? ((instruction >> 4) & 0xF0) | (instruction & 0xF) : 0;
        return { up ? offset : 0 - offset, 2 };
    }
    return { 0, 0 };
}

// Whether the instruction may change reg or leave the straight line of code; erring
// towards yes.
bool mayChange(std::uint32_t instruction, bool thumb, unsigned reg)
{
    if (thumb)
        return (instruction & 7) == reg || ((instruction >> 8) & 7) == reg || instruction >= 0xB000
            || (instruction & 0xFF00) == 0x4700;
    const unsigned rd = (instruction >> 12) & 0xF;
    const unsigned rn = (instruction >> 16) & 0xF;
    return (instruction >> 28) != 0xE || rd == reg || (instruction & 0x0E000000) >= 0x08000000
        || (instruction & 0x0FFFFFF0) == 0x012FFF10
        || ((instruction & 0x0C000000) == 0x04000000 && rn == reg
            && (!((instruction >> 24) & 1) || ((instruction >> 21) & 1)));
}

void Checker::checkLoads(const Unit &unit, std::size_t section,
    const std::vector<ElfFile::Contents> &contents, std::vector<std::string> *messages)
{
    const ElfFile &object = unit.object;
    const std::vector<ElfFile::Relocation> relocations = sortedRelocations(object, section);
    const std::uint32_t size = object.sections()[section].size;
    for (const auto &[start, end] : codeRanges(contents, size))
        for (std::uint32_t at = start; at + 2 <= end; at += 2) {
            const bool thumb = kindAt(contents, at) == 't';
            if ((!thumb && (kindAt(contents, at) != 'a' || at % 4 != 0 || at + 4 > size)))
                continue;
            const std::uint32_t instruction
                = thumb ? halfwordAt(object, section, at) : wordAt(object, section, at);
            std::uint32_t literal = 0;
            unsigned reg = 0;
            if (thumb && (instruction & 0xF800) == 0x4800) {
                literal = ((at + 4) & ~3U) + (instruction & 0xFFU) * 4;
                reg = (instruction >> 8) & 7;
            } else if (!thumb && (instruction & 0x0F7F0000) == 0x051F0000) {
                const std::uint32_t offset = instruction & 0xFFF;
                literal = (instruction >> 23) & 1 ? at + 8 + offset : at + 8 - offset;
                reg = (instruction >> 12) & 0xF;
            } else {
                continue;
            }
            const ElfFile::Relocation *relocation = relocationAt(relocations, literal);
            if (!relocation || relocation->type != RelocationAbsolute32 || literal + 4 > size)
                continue;
            const ElfFile::Symbol &symbol = object.symbols()[relocation->symbol];
            if (symbol.sectionIndex == 0 || symbol.sectionIndex >= object.sections().size())
                continue;
            const std::uint32_t target = (symbol.type == TypeSection ? 0 : symbol.value)
                + wordAt(object, section, literal);
            // Where the section lands is known to a multiple of 4 when it is so aligned, or when
            // it is the chosen source's, which our linker scripts place first at such an address.
            const ElfFile::Section &data = object.sections()[symbol.sectionIndex];
            const std::uint32_t alignment = littleEndian32(object.bytes(), data.header + 32);
            const bool placedFirst = &unit == m_entry && !m_ownScript
                && std::any_of(std::begin(AlignedOutputs), std::end(AlignedOutputs),
                    [&data](std::string_view name) { return data.name.rfind(name, 0) == 0; });
            if (alignment < 4 && !placedFirst)
                continue;
            const std::uint32_t step = thumb ? 2 : 4;
            for (std::uint32_t next = at + step, count = 0; next + step <= size && count < LookBack;
                 next += step, ++count) {
                const std::uint32_t load
                    = thumb ? halfwordAt(object, section, next) : wordAt(object, section, next);
                if (kindAt(contents, next) != (thumb ? 't' : 'a'))
                    break;
                const auto [offset, bytes] = loadFrom(load, thumb, reg);
                if (bytes != 0) {
                    const std::uint32_t read = target + offset;
                    const ElfFile::Symbol *label = labelAt(unit, symbol.sectionIndex, read, true);
                    if ((read & (bytes - 1)) != 0 && label)
                        warn(unit, SourceText::definitionLine(textOf(unit), label->name),
                            bytes == 4 ? UnalignedWord : UnalignedHalfword, label->name, messages);
                    break;
                }
                if (mayChange(load, thumb, reg))
                    break;
            }
        }
}

void Checker::checkByteStores(const Unit &unit, std::size_t section,
    const std::vector<ElfFile::Contents> &contents, std::vector<std::string> *messages)
{
    const ElfFile &object = unit.object;
    const std::vector<ElfFile::Relocation> relocations = sortedRelocations(object, section);
    const std::uint32_t size = object.sections()[section].size;
    for (const auto &[start, end] : codeRanges(contents, size))
        for (std::uint32_t at = start; at + 2 <= end; at += 2) {
            const char kind = kindAt(contents, at);
            std::uint32_t address = 0;
            if (kind == 'a' && at % 4 == 0 && at + 4 <= size
                && (wordAt(object, section, at) & 0x0C500000) == 0x04400000)
                address = armByteAddress(object, section, at, contents, relocations);
            else if (kind == 't'
                && ((halfwordAt(object, section, at) & 0xF800) == 0x7000
                    || (halfwordAt(object, section, at) & 0xFE00) == 0x5400))
                address = thumbByteAddress(object, section, at, contents, relocations);
            if (address < ByteStoreRegions || address >= ByteStoreRegionsEnd)
                continue;
            const ElfFile::Symbol *label = labelAt(unit, section, at, true);
            if (label)
                warnAt(unit, section, at, ByteStores[(address - ByteStoreRegions) >> 24],
                    label->name, messages);
        }
}

void Checker::checkEnds(const Unit &unit, std::size_t section,
    const std::vector<ElfFile::Contents> &contents, std::vector<std::string> *messages)
{
    const ElfFile &object = unit.object;
    const std::vector<ElfFile::Relocation> relocations = sortedRelocations(object, section);
    const std::uint32_t size = object.sections()[section].size;
    for (std::size_t run = 0; run + 1 < contents.size(); ++run) {
        const bool thumb = contents[run].kind == 't';
        if ((!thumb && contents[run].kind != 'a') || contents[run + 1].kind != 'd'
            || contents[run + 1].offset >= size
            || onlyZeros(object, section, contents[run + 1].offset,
                run + 2 < contents.size() ? std::min(contents[run + 2].offset, size) : size,
                relocations))
            continue;
        const std::uint32_t step = thumb ? 2 : 4;
        std::uint32_t last = contents[run + 1].offset & ~(step - 1);
        std::uint32_t instruction = 0;
        do {
            if (last < contents[run].offset + step)
                break;
            last -= step;
            instruction = thumb ? halfwordAt(object, section, last) : wordAt(object, section, last);
        } while (isFilling(instruction, thumb));
        if (last < contents[run].offset || isFilling(instruction, thumb)
            || (thumb ? endsThumb(std::uint16_t(instruction)) : endsArm(instruction)))
            continue;
        const ElfFile::Symbol *label = labelAt(unit, section, last, true);
        if (label && (label->value & ~1U) >= contents[run].offset)
            warnAt(unit, section, last, RunsIntoData, label->name, messages);
    }
}

// The line of the first `.section` directive that names the section.
unsigned sectionLine(std::string_view text, const std::string &name)
{
    unsigned line = 1;
    for (std::size_t at = 0; at < text.size(); ++line) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::string_view statement = text.substr(at, end - at);
        const std::size_t directive = statement.find(".section");
        if (directive != std::string_view::npos && statement.find_first_not_of(" \t") == directive
            && SourceText::findWord(statement, name, directive + 8) != std::string_view::npos)
            return line;
        at = end + 1;
    }
    return 0;
}

void Checker::check(const Unit &unit, std::vector<std::string> *messages)
{
    checkSettings(unit, messages);
    const ElfFile &object = unit.object;
    for (std::size_t section = 0; section < object.sections().size(); ++section) {
        const ElfFile::Section &it = object.sections()[section];
        if (it.type == SectionTypeProgramData && !(it.flags & SectionFlagAlloc) && it.size > 0
            && std::none_of(std::begin(ToolSections), std::end(ToolSections),
                [&it](std::string_view tool) { return it.name.rfind(tool, 0) == 0; }))
            warn(unit, sectionLine(textOf(unit), it.name), UnallocatedSection, it.name, messages);
        if (!it.isLoaded() || !(it.flags & SectionFlagExecutable))
            continue;
        const std::vector<ElfFile::Contents> contents = object.contentsOf(section);
        checkBranches(unit, section, contents, messages);
        checkCalls(unit, section, contents, messages);
        checkLoads(unit, section, contents, messages);
        checkByteStores(unit, section, contents, messages);
        checkEnds(unit, section, contents, messages);
    }
}

} // namespace

void warnOfRunningMistakes(const ProgramFiles &program, std::vector<std::string> *messages)
{
    Checker checker(program);
    for (const Unit *unit : program.linked())
        checker.check(*unit, messages);
}

} // namespace Tarnwick
