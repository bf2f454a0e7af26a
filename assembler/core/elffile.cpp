#include "elffile.h"

#include "elfformat.h"

#include <algorithm>

namespace Tarnwick {

namespace {

using namespace ElfFormat;

void setLittleEndian32(Bytes *bytes, std::size_t offset, std::uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i)
        (*bytes)[offset + i] = std::uint8_t(value >> (8 * i));
}

bool fits(const Bytes &bytes, std::uint64_t offset, std::uint64_t size)
{
    return offset <= bytes.size() && size <= bytes.size() - offset;
}

// A NUL-terminated name in a string table; empty if it runs off the table.
std::string nameAt(
    const Bytes &bytes, std::uint32_t tableOffset, std::uint32_t tableSize, std::uint32_t index)
{
    if (index >= tableSize)
        return {};
    const auto first = bytes.begin() + tableOffset + index;
    const auto last = bytes.begin() + tableOffset + tableSize;
    const auto end = std::find(first, last, 0);
    return end == last ? std::string() : std::string(first, end);
}

} // namespace

bool ElfFile::Section::isAllocated() const
{
    return (flags & SectionFlagAlloc) != 0;
}

bool ElfFile::Section::isLoaded() const
{
    return isAllocated() && type != SectionTypeNoBits && size > 0;
}

std::string ElfFile::read(Bytes bytes)
{
    m_bytes = std::move(bytes);
    m_sections.clear();
    m_symbols.clear();
    m_segments.clear();
    if (!fits(m_bytes, 0, HeaderSize) || m_bytes[0] != 0x7F || m_bytes[1] != 'E'
        || m_bytes[2] != 'L' || m_bytes[3] != 'F')
        return "not an ELF file";
    if (m_bytes[4] != ElfClass32 || m_bytes[5] != LittleEndian)
        return "not a 32-bit little-endian ELF file";

    const std::uint32_t programHeaders = littleEndian32(m_bytes, 28);
    const std::uint16_t programHeaderSize = littleEndian16(m_bytes, 42);
    const std::uint16_t programHeaderCount = littleEndian16(m_bytes, 44);
    if (programHeaderCount > 0
        && (programHeaderSize < ProgramHeaderSize
            || !fits(
                m_bytes, programHeaders, std::uint64_t(programHeaderSize) * programHeaderCount)))
        return "its program headers lie outside the file";
    for (std::uint16_t i = 0; i < programHeaderCount; ++i) {
        const std::size_t at = programHeaders + std::size_t(i) * programHeaderSize;
        if (littleEndian32(m_bytes, at) != SegmentTypeLoad)
            continue;
        m_segments.push_back({ at, littleEndian32(m_bytes, at + 4), littleEndian32(m_bytes, at + 8),
            littleEndian32(m_bytes, at + 12), littleEndian32(m_bytes, at + 16),
            littleEndian32(m_bytes, at + 20), littleEndian32(m_bytes, at + 28) });
    }

    std::string problem = readSections();
    if (problem.empty())
        problem = readSymbols();
    if (problem.empty())
        assignLoadAddresses();
    return problem;
}

std::string ElfFile::readSections()
{
    const std::uint32_t sectionHeaders = littleEndian32(m_bytes, 32);
    const std::uint16_t sectionHeaderSize = littleEndian16(m_bytes, 46);
    const std::uint16_t sectionCount = littleEndian16(m_bytes, 48);
    const std::uint16_t namesIndex = littleEndian16(m_bytes, 50);
    if (sectionCount == 0)
        return {};
    if (sectionHeaderSize < SectionHeaderSize
        || !fits(m_bytes, sectionHeaders, std::uint64_t(sectionHeaderSize) * sectionCount))
        return "its section headers lie outside the file";
    if (namesIndex >= sectionCount)
        return "it has no table of section names";

    const auto header = [&](std::uint16_t index, std::size_t field) {
        return littleEndian32(
            m_bytes, sectionHeaders + std::size_t(index) * sectionHeaderSize + field);
    };
    const std::uint32_t namesOffset = header(namesIndex, 16);
    const std::uint32_t namesSize = header(namesIndex, 20);
    if (!fits(m_bytes, namesOffset, namesSize))
        return "its section names lie outside the file";

    for (std::uint16_t i = 0; i < sectionCount; ++i) {
        Section section;
        section.header = sectionHeaders + std::size_t(i) * sectionHeaderSize;
        section.name = nameAt(m_bytes, namesOffset, namesSize, header(i, 0));
        section.type = header(i, 4);
        section.flags = header(i, 8);
        section.address = header(i, 12);
        section.loadAddress = section.address;
        section.offset = header(i, 16);
        section.size = header(i, 20);
        if (section.type != SectionTypeNoBits && !fits(m_bytes, section.offset, section.size))
            return "section " + section.name + " lies outside the file";
        m_sections.push_back(section);
    }
    return {};
}

std::string ElfFile::readSymbols()
{
    const auto table = std::find_if(m_sections.begin(), m_sections.end(),
        [](const Section &section) { return section.type == SectionTypeSymbolTable; });
    if (table == m_sections.end())
        return {};
    const std::size_t tableIndex = std::size_t(table - m_sections.begin());
    const std::uint32_t sectionHeaders = littleEndian32(m_bytes, 32);
    const std::uint16_t sectionHeaderSize = littleEndian16(m_bytes, 46);
    const std::uint32_t linked
        = littleEndian32(m_bytes, sectionHeaders + tableIndex * sectionHeaderSize + 24);
    if (linked >= m_sections.size())
        return "its symbol table has no table of names";
    const Section &names = m_sections[linked];
    if (names.type == SectionTypeNoBits)
        return "its symbol names lie outside the file";
    for (std::uint32_t at = 0; at + SymbolSize <= table->size; at += SymbolSize) {
        const std::size_t entry = table->offset + std::size_t(at);
        Symbol symbol;
        symbol.name = nameAt(m_bytes, names.offset, names.size, littleEndian32(m_bytes, entry));
        symbol.value = littleEndian32(m_bytes, entry + 4);
        symbol.binding = m_bytes[entry + 12] >> 4;
        symbol.type = m_bytes[entry + 12] & 0xF;
        symbol.entry = entry;
        symbol.sectionIndex = littleEndian16(m_bytes, entry + 14);
        m_symbols.push_back(symbol);
    }
    return {};
}

// A linked program says where each section is loaded only through its segments: a
// section inside a loadable segment is loaded at the segment's load address plus its
// place in the segment, the way objcopy and the rest of binutils read it.
void ElfFile::assignLoadAddresses()
{
    for (Section &section : m_sections) {
        if (!section.isAllocated())
            continue;
        for (const Segment &segment : m_segments) {
            const bool inAddresses = section.address >= segment.address
                && std::uint64_t(section.address) + section.size
                    <= std::uint64_t(segment.address) + segment.memorySize;
            if (!inAddresses)
                continue;
            if (section.isLoaded()) {
                if (section.offset < segment.offset
                    || std::uint64_t(section.offset) + section.size
                        > std::uint64_t(segment.offset) + segment.fileSize)
                    continue;
                section.loadAddress = segment.loadAddress + (section.offset - segment.offset);
            } else {
                section.loadAddress = segment.loadAddress + (section.address - segment.address);
            }
            break;
        }
    }
}

bool ElfFile::Symbol::isDefinedGlobal() const
{
    return !name.empty() && (binding == BindingGlobal || binding == BindingWeak)
        && sectionIndex != SectionIndexUndefined
        && (sectionIndex < SectionIndexReserved || sectionIndex == SectionIndexAbsolute);
}

bool ElfFile::Symbol::isNeededFromElsewhere() const
{
    return !name.empty() && binding == BindingGlobal && sectionIndex == SectionIndexUndefined;
}

bool ElfFile::definesGlobal(std::string_view name) const
{
    return std::any_of(m_symbols.begin(), m_symbols.end(),
        [name](const Symbol &symbol) { return symbol.name == name && symbol.isDefinedGlobal(); });
}

std::vector<std::string> ElfFile::neededSymbols() const
{
    std::vector<std::string> names;
    for (const Symbol &symbol : m_symbols) {
        if (symbol.isNeededFromElsewhere())
            names.push_back(symbol.name);
    }
    return names;
}

std::vector<std::string> ElfFile::definedGlobals() const
{
    std::vector<std::string> names;
    for (const Symbol &symbol : m_symbols) {
        if (symbol.isDefinedGlobal())
            names.push_back(symbol.name);
    }
    return names;
}

Bytes ElfFile::withThumbFunction(std::string_view name) const
{
    const auto symbol = std::find_if(m_symbols.begin(), m_symbols.end(),
        [name](const Symbol &symbol) { return symbol.name == name && symbol.isDefinedGlobal(); });
    if (symbol == m_symbols.end())
        return {};
    Bytes bytes = m_bytes;
    const std::uint32_t value = symbol->value | 1;
    for (int i = 0; i < 4; ++i)
        bytes[symbol->entry + 4 + std::size_t(i)] = std::uint8_t(value >> (8 * i));
    bytes[symbol->entry + 12] = std::uint8_t((symbol->binding << 4) | TypeFunction);
    return bytes;
}

bool ElfFile::labelsUnmarkedThumbCode(std::string_view name) const
{
    const auto label
        = std::find_if(m_symbols.begin(), m_symbols.end(), [name](const Symbol &symbol) {
              return symbol.name == name && symbol.binding != 0
                  && symbol.sectionIndex != SectionIndexUndefined
                  && symbol.sectionIndex < SectionIndexReserved;
          });
    if (label == m_symbols.end() || (label->value & 1) != 0)
        return false;
    // The mapping symbols $a (ARM), $t (Thumb) and $d (data) mark where each kind of
    // contents begins in a section; the last one at or before the label tells its kind.
    const Symbol *mapping = nullptr;
    for (const Symbol &symbol : m_symbols) {
        const bool isMapping = symbol.name.size() >= 2 && symbol.name[0] == '$'
            && (symbol.name[1] == 'a' || symbol.name[1] == 't' || symbol.name[1] == 'd')
            && (symbol.name.size() == 2 || symbol.name[2] == '.');
        if (isMapping && symbol.sectionIndex == label->sectionIndex && symbol.value <= label->value
            && (!mapping || symbol.value >= mapping->value))
            mapping = &symbol;
    }
    return mapping && mapping->name[1] == 't';
}

ElfFile::FlatImage ElfFile::flatImage(std::uint64_t sizeLimit) const
{
    FlatImage image;
    std::uint64_t low = UINT64_MAX;
    std::uint64_t high = 0;
    for (const Section &section : m_sections) {
        if (!section.isLoaded())
            continue;
        low = std::min<std::uint64_t>(low, section.loadAddress);
        high = std::max<std::uint64_t>(high, std::uint64_t(section.loadAddress) + section.size);
    }
    if (high == 0)
        return image;
    image.base = std::uint32_t(low);
    image.size = high - low;
    if (image.size > sizeLimit)
        return image;
    image.bytes.assign(std::size_t(image.size), 0);
    for (const Section &section : m_sections) {
        if (!section.isLoaded())
            continue;
        std::copy_n(m_bytes.begin() + section.offset, section.size,
            image.bytes.begin() + (section.loadAddress - image.base));
    }
    return image;
}

Bytes ElfFile::withImage(
    const Bytes &image, std::uint32_t base, const std::vector<std::string> &filled) const
{
    Bytes bytes = m_bytes;
    const auto covered = [&](const Section &section) {
        return section.loadAddress >= base
            && std::uint64_t(section.loadAddress - base) + section.size <= image.size();
    };
    for (const Section &section : m_sections) {
        if (!section.isLoaded())
            continue;
        if (!covered(section))
            return {};
        std::copy_n(image.begin() + (section.loadAddress - base), section.size,
            bytes.begin() + section.offset);
    }
    for (const Section &section : m_sections) {
        if (section.type != SectionTypeNoBits || section.size == 0
            || std::find(filled.begin(), filled.end(), section.name) == filled.end())
            continue;
        if (!covered(section))
            return {};
        // A loader expects a segment's contents at an offset that lies as far into a page
        // of the segment's alignment as its address does.
        const auto segment = std::find_if(
            m_segments.begin(), m_segments.end(), [&section](const Segment &segment) {
                return segment.fileSize == 0 && segment.address == section.address
                    && segment.memorySize == section.size;
            });
        std::uint64_t alignment = 4;
        if (segment != m_segments.end() && segment->alignment > alignment
            && (segment->alignment & (segment->alignment - 1)) == 0)
            alignment = segment->alignment;
        std::uint64_t offset = bytes.size();
        offset += (section.address - offset) & (alignment - 1);
        if (offset + section.size > UINT32_MAX)
            return {};
        bytes.resize(std::size_t(offset), 0);
        const auto first = image.begin() + (section.loadAddress - base);
        bytes.insert(bytes.end(), first, first + section.size);
        setLittleEndian32(&bytes, section.header + 4, SectionTypeProgramData);
        setLittleEndian32(&bytes, section.header + 16, std::uint32_t(offset));
        if (segment != m_segments.end()) {
            setLittleEndian32(&bytes, segment->header + 4, std::uint32_t(offset));
            setLittleEndian32(&bytes, segment->header + 16, section.size);
        }
    }
    return bytes;
}

std::vector<ElfFile::Relocation> ElfFile::relocations(std::size_t section) const
{
    std::vector<Relocation> found;
    const std::uint32_t sectionHeaders = littleEndian32(m_bytes, 32);
    const std::uint16_t sectionHeaderSize = littleEndian16(m_bytes, 46);
    for (std::size_t i = 0; i < m_sections.size(); ++i) {
        // The section a table of relocations applies to is its header's sh_info.
        const Section &table = m_sections[i];
        if (table.type != SectionTypeRelocations
            || littleEndian32(m_bytes, sectionHeaders + i * sectionHeaderSize + 28) != section)
            continue;
        for (std::uint32_t at = 0; at + RelocationSize <= table.size; at += RelocationSize) {
            const std::uint32_t info = littleEndian32(m_bytes, table.offset + std::size_t(at) + 4);
            if ((info >> 8) < m_symbols.size())
                found.push_back({ littleEndian32(m_bytes, table.offset + std::size_t(at)),
                    info & 0xFF, info >> 8 });
        }
    }
    return found;
}

std::vector<ElfFile::Contents> ElfFile::contentsOf(std::size_t section) const
{
    std::vector<Contents> contents;
    for (const Symbol &symbol : m_symbols) {
        const bool isMapping = symbol.name.size() >= 2 && symbol.name[0] == '$'
            && (symbol.name[1] == 'a' || symbol.name[1] == 't' || symbol.name[1] == 'd')
            && (symbol.name.size() == 2 || symbol.name[2] == '.');
        if (isMapping && symbol.sectionIndex == section)
            contents.push_back({ symbol.value, symbol.name[1] });
    }
    std::stable_sort(contents.begin(), contents.end(),
        [](const Contents &one, const Contents &other) { return one.offset < other.offset; });
    return contents;
}

const ElfFile::Section *ElfFile::firstText() const
{
    const auto isText = [](const Section &section, bool exact) {
        if (!section.isLoaded())
            return false;
        return exact ? section.name == ".text" : section.name.rfind(".text.", 0) == 0;
    };
    for (const bool exact : { true, false }) {
        for (const Section &section : m_sections) {
            if (isText(section, exact))
                return &section;
        }
    }
    return nullptr;
}

Bytes ElfFile::firstTextWord() const
{
    const Section *text = firstText();
    if (!text)
        return {};
    const auto first = m_bytes.begin() + text->offset;
    return Bytes(first, first + std::min<std::uint32_t>(text->size, 4));
}

bool ElfFile::branchesPast(std::uint32_t size) const
{
    const Bytes first = firstTextWord();
    if (first.size() < 4 || first[3] != 0xEA)
        return false;
    // b's offset counts words from two instructions on; as writes a branch to a global
    // symbol as a relocation, with that offset as its addend.
    std::int64_t target = std::int64_t(
        std::uint32_t(first[0]) | std::uint32_t(first[1]) << 8 | std::uint32_t(first[2]) << 16);
    target = (target >= 0x800000 ? target - 0x1000000 : target) * 4 + 8;
    const std::size_t index = std::size_t(firstText() - m_sections.data());
    for (const Relocation &relocation : relocations(index)) {
        if (relocation.offset != 0 || relocation.symbol >= m_symbols.size())
            continue;
        const Symbol &symbol = m_symbols[relocation.symbol];
        if (symbol.sectionIndex != index)
            return true;
        target += symbol.value;
    }
    return target >= std::int64_t(size);
}

bool ElfFile::labelsFirstInstruction(std::string_view name) const
{
    const Section *text = firstText();
    if (!text)
        return false;
    const std::size_t index = std::size_t(text - m_sections.data());
    return std::any_of(m_symbols.begin(), m_symbols.end(), [&](const Symbol &symbol) {
        return symbol.name == name && symbol.isDefinedGlobal() && symbol.sectionIndex == index
            && (symbol.value & ~1U) == 0;
    });
}

} // namespace Tarnwick
