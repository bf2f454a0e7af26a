#include "dataobject.h"

#include "elfformat.h"

#include <cstdint>

namespace Tarnwick::Pictures {

namespace {

using namespace ElfFormat;

constexpr unsigned char LocalFile = symbolInfo(BindingLocal, TypeFile);
constexpr unsigned char LocalSection = symbolInfo(BindingLocal, TypeSection);
constexpr unsigned char LocalNoType = symbolInfo(BindingLocal, TypeNone);
constexpr unsigned char GlobalObject = symbolInfo(BindingGlobal, TypeObject);
constexpr unsigned char GlobalNoType = symbolInfo(BindingGlobal, TypeNone);

enum Index : std::uint16_t { None, Rodata, Symbols, Strings, SectionNames, Sections };

void put16(Bytes *out, std::uint32_t value)
{
    out->push_back(std::uint8_t(value));
    out->push_back(std::uint8_t(value >> 8));
}

void put32(Bytes *out, std::uint32_t value)
{
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

void align(Bytes *out)
{
    out->resize((out->size() + 3) / 4 * 4, 0);
}

std::uint32_t addString(std::string *table, const std::string &text)
{
    const auto at = std::uint32_t(table->size());
    *table += text;
    *table += '\0';
    return at;
}

} // namespace

Bytes dataObject(const std::string &madeOf, const std::vector<NamedData> &pieces)
{
    Bytes rodata;
    Bytes symbols(SymbolSize, 0);
    std::string strings(1, '\0');
    const auto symbol = [&](std::uint32_t name, std::uint32_t value, std::uint32_t size,
                            unsigned char info, std::uint16_t section) {
        put32(&symbols, name);
        put32(&symbols, value);
        put32(&symbols, size);
        symbols.push_back(info);
        symbols.push_back(0);
        put16(&symbols, section);
    };
    // The file it was made of, as as names a source: the linked program's symbols say so.
    symbol(addString(&strings, madeOf), 0, 0, LocalFile, SectionIndexAbsolute);
    symbol(0, 0, 0, LocalSection, Rodata);
    // The mapping symbol that marks the section as data, for disassemblers.
    symbol(addString(&strings, "$d"), 0, 0, LocalNoType, Rodata);
    const auto firstGlobal = std::uint32_t(symbols.size() / SymbolSize);
    for (const NamedData &piece : pieces) {
        align(&rodata);
        symbol(addString(&strings, piece.name), std::uint32_t(rodata.size()),
            std::uint32_t(piece.bytes.size()), GlobalObject, Rodata);
        symbol(addString(&strings, piece.name + "Len"), std::uint32_t(piece.bytes.size()), 0,
            GlobalNoType, SectionIndexAbsolute);
        rodata.insert(rodata.end(), piece.bytes.begin(), piece.bytes.end());
    }
    align(&rodata);
    std::string names(1, '\0');
    const std::uint32_t nameOf[Sections]
        = { 0, addString(&names, ".rodata"), addString(&names, ".symtab"),
              addString(&names, ".strtab"), addString(&names, ".shstrtab") };

    Bytes file(HeaderSize, 0);
    std::uint32_t offsets[Sections] = {};
    std::uint32_t sizes[Sections] = {};
    const auto append = [&file, &offsets, &sizes](Index index, const void *data, std::size_t size) {
        align(&file);
        offsets[index] = std::uint32_t(file.size());
        sizes[index] = std::uint32_t(size);
        const auto *bytes = static_cast<const unsigned char *>(data);
        file.insert(file.end(), bytes, bytes + size);
    };
    append(Rodata, rodata.data(), rodata.size());
    append(Symbols, symbols.data(), symbols.size());
    append(Strings, strings.data(), strings.size());
    append(SectionNames, names.data(), names.size());
    align(&file);
    const auto sectionHeaders = std::uint32_t(file.size());
    struct Header
    {
        std::uint32_t type, flags, link, info, alignment, entrySize;
    };
    const Header headers[Sections] = { {}, { SectionTypeProgramData, SectionFlagAlloc, 0, 0, 4, 0 },
        { SectionTypeSymbolTable, 0, Strings, firstGlobal, 4, SymbolSize },
        { SectionTypeStrings, 0, 0, 0, 1, 0 }, { SectionTypeStrings, 0, 0, 0, 1, 0 } };
    for (int index = None; index < Sections; ++index) {
        const Header &header = headers[index];
        for (const std::uint32_t value :
            { nameOf[index], header.type, header.flags, 0U, offsets[index], sizes[index],
                header.link, header.info, header.alignment, header.entrySize })
            put32(&file, value);
    }

    Bytes header = { 0x7F, 'E', 'L', 'F', 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0 };
    put16(&header, 1); // relocatable
    put16(&header, MachineArm);
    put32(&header, 1);
    put32(&header, 0);
    put32(&header, 0);
    put32(&header, sectionHeaders);
    put32(&header, FlagsEabi5);
    put16(&header, HeaderSize);
    put16(&header, 0);
    put16(&header, 0);
    put16(&header, SectionHeaderSize);
    put16(&header, Sections);
    put16(&header, SectionNames);
    std::copy(header.begin(), header.end(), file.begin());
    return file;
}

} // namespace Tarnwick::Pictures
