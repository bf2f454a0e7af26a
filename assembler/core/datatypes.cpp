#include "datatypes.h"

#include "elfformat.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>

namespace Tarnwick::DataTypes {

namespace {

using namespace ElfFormat;

constexpr std::size_t SymbolSizeField = 8;
constexpr std::size_t SectionOffsetField = 16;
constexpr std::size_t SectionSizeField = 20;

bool isMappingSymbol(const std::string &name)
{
    return name.size() >= 2 && name[0] == '$' && (name.size() == 2 || name[2] == '.');
}

struct Directive
{
    std::string_view name;
    unsigned elementSize;
};

constexpr std::array<Directive, 7> Directives { {
    { ".hword", 2 },
    { ".2byte", 2 },
    { ".short", 2 },
    { ".word", 4 },
    { ".4byte", 4 },
    { ".long", 4 },
    { ".int", 4 },
} };

// The source's statements in order, comments removed: '@' and "//" end a line's statement,
// ';' separates statements, "/* */" is left out.
std::vector<std::string> statements(std::string_view text)
{
    std::vector<std::string> result(1);
    bool inComment = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (inComment) {
            if (c == '*' && next == '/') {
                inComment = false;
                ++i;
            }
            continue;
        }
        if (c == '/' && next == '*') {
            inComment = true;
            ++i;
        } else if (c == '@' || (c == '/' && next == '/')) {
            while (i + 1 < text.size() && text[i + 1] != '\n')
                ++i;
        } else if (c == '\n' || c == ';') {
            result.emplace_back();
        } else {
            result.back() += c;
        }
    }
    return result;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

// The label that opens statement, its colon removed from *rest; empty if none does.
std::string_view leadingLabel(std::string_view statement, std::string_view *rest)
{
    const std::string_view text = trimmed(statement);
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return {};
    const std::string_view name = text.substr(0, colon);
    for (const char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '.' && c != '$')
            return {};
    }
    *rest = text.substr(colon + 1);
    return name;
}

void put(Bytes *bytes, std::uint32_t value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes->push_back(static_cast<unsigned char>(value >> (8 * i)));
}

void putText(Bytes *bytes, const std::string &text)
{
    bytes->insert(bytes->end(), text.begin(), text.end());
    bytes->push_back(0);
}

void set32(Bytes *bytes, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        (*bytes)[offset + std::size_t(i)] = static_cast<unsigned char>(value >> (8 * i));
}

// DWARF's numbers for what the unit holds.
enum Abbreviation : unsigned char { Unit = 1, BaseType, ArrayType, Subrange, Global, Local };
constexpr std::uint16_t DwarfVersion = 4;
constexpr std::uint16_t LanguageAssembler = 0x8001;
constexpr unsigned char EncodingUnsigned = 0x07;
constexpr unsigned char OperationAddress = 0x03;

// The abbreviations: code, tag, whether it has children, and its attributes as
// (attribute, form) pairs, ended by a zero pair.
struct AbbreviationRow
{
    Abbreviation code;
    unsigned char tag;
    unsigned char children;
    std::array<std::pair<unsigned char, unsigned char>, 5> attributes;
};

constexpr std::array<AbbreviationRow, 6> AbbreviationRows { {
    { Unit, 0x11, 1, { { { 0x03, 0x08 }, { 0x13, 0x05 } } } }, // name, language
    { BaseType, 0x24, 0, { { { 0x03, 0x08 }, { 0x0b, 0x0b }, { 0x3e, 0x0b } } } }, // size, encoding
    { ArrayType, 0x01, 1, { { { 0x49, 0x13 } } } }, // element type
    { Subrange, 0x21, 0, { { { 0x2f, 0x06 } } } }, // upper bound
    { Global, 0x34, 0, { { { 0x03, 0x08 }, { 0x49, 0x13 }, { 0x3f, 0x19 }, { 0x02, 0x18 } } } },
    { Local, 0x34, 0, { { { 0x03, 0x08 }, { 0x49, 0x13 }, { 0x02, 0x18 } } } }, // no external
} };

Bytes abbreviationTable()
{
    Bytes table;
    for (const AbbreviationRow &row : AbbreviationRows) {
        table.insert(table.end(), { row.code, row.tag, row.children });
        for (const auto &[attribute, form] : row.attributes) {
            table.insert(table.end(), { attribute, form });
            if (attribute == 0)
                break;
        }
    }
    table.push_back(0);
    return table;
}

// The element types, by size, named as the directives that lay them down.
constexpr std::array<std::pair<unsigned, const char *>, 3> BaseTypes { {
    { 1, "byte" },
    { 2, "hword" },
    { 4, "word" },
} };

} // namespace

std::vector<ObjectLabel> labelsOf(const ElfFile &object)
{
    std::vector<ObjectLabel> labels;
    const std::vector<ElfFile::Section> &sections = object.sections();
    for (std::size_t index = 0; index < sections.size(); ++index) {
        const ElfFile::Section &section = sections[index];
        if ((section.flags & SectionFlagAlloc) == 0)
            continue;
        const std::vector<ElfFile::Contents> contents = object.contentsOf(index);
        std::vector<const ElfFile::Symbol *> named;
        for (const ElfFile::Symbol &symbol : object.symbols()) {
            if (symbol.sectionIndex == index && !symbol.name.empty()
                && !isMappingSymbol(symbol.name) && symbol.name.rfind(".L", 0) != 0
                && symbol.type != TypeSection && symbol.type != TypeFile)
                named.push_back(&symbol);
        }
        std::stable_sort(named.begin(), named.end(),
            [](const auto *one, const auto *other) { return one->value < other->value; });
        for (std::size_t i = 0; i < named.size(); ++i) {
            const ElfFile::Symbol &symbol = *named[i];
            char kind = (section.flags & SectionFlagExecutable) != 0 ? 'a' : 'd';
            std::uint32_t end = section.size;
            for (const ElfFile::Contents &part : contents) {
                if (part.offset <= symbol.value)
                    kind = part.kind;
                else if (part.kind != 'd')
                    end = std::min(end, part.offset);
            }
            if (kind != 'd' || symbol.type == TypeFunction)
                continue;
            for (std::size_t j = i + 1; j < named.size(); ++j) {
                if (named[j]->value > symbol.value) {
                    end = std::min(end, named[j]->value);
                    break;
                }
            }
            const std::uint32_t size = symbol.entry + SymbolSizeField + 4 <= object.bytes().size()
                ? littleEndian32(object.bytes(), symbol.entry + SymbolSizeField)
                : 0;
            const std::uint32_t bytes = size != 0 ? size
                : end > symbol.value              ? end - symbol.value
                                                  : 0;
            if (bytes != 0)
                labels.push_back({ symbol.name, symbol.isDefinedGlobal(), bytes });
        }
    }
    return labels;
}

std::map<std::string, unsigned> elementSizes(std::string_view text)
{
    std::map<std::string, unsigned> sizes;
    // The labels since the last statement that was more than labels: they label the next.
    std::vector<std::string_view> waiting;
    const std::vector<std::string> all = statements(text);
    for (const std::string &statement : all) {
        std::string_view rest = statement;
        std::string_view more;
        for (std::string_view label; !(label = leadingLabel(rest, &more)).empty(); rest = more)
            waiting.push_back(label);
        rest = trimmed(rest);
        if (rest.empty())
            continue;
        std::string word(rest.substr(0, rest.find_first_of(" \t")));
        std::transform(word.begin(), word.end(), word.begin(),
            [](unsigned char c) { return char(std::tolower(c)); });
        unsigned size = 1;
        for (const Directive &directive : Directives) {
            if (word == directive.name)
                size = directive.elementSize;
        }
        for (const std::string_view label : waiting)
            sizes.emplace(label, size);
        waiting.clear();
    }
    for (const std::string_view label : waiting)
        sizes.emplace(label, 1);
    return sizes;
}

Bytes withTypes(const ElfFile &program, const std::vector<TypedLabel> &labels)
{
    const ElfFile::Section *info = nullptr;
    const ElfFile::Section *abbreviations = nullptr;
    for (const ElfFile::Section &section : program.sections()) {
        if (section.name == ".debug_info")
            info = &section;
        else if (section.name == ".debug_abbrev")
            abbreviations = &section;
    }
    const Bytes &original = program.bytes();
    if (!info || !abbreviations || labels.empty()
        || std::uint64_t(info->offset) + info->size > original.size()
        || std::uint64_t(abbreviations->offset) + abbreviations->size > original.size())
        return original;

    // The unit: its header, the base types, then an array type and a variable for each label.
    Bytes unit;
    put(&unit, 0, 4); // its length, filled in below
    put(&unit, DwarfVersion, 2);
    put(&unit, abbreviations->size, 4);
    put(&unit, 4, 1); // the size of an address
    put(&unit, Unit, 1);
    putText(&unit, "data labels");
    put(&unit, LanguageAssembler, 2);
    std::map<unsigned, std::uint32_t> baseType;
    for (const auto &[size, name] : BaseTypes) {
        baseType[size] = std::uint32_t(unit.size());
        put(&unit, BaseType, 1);
        putText(&unit, name);
        put(&unit, size, 1);
        put(&unit, EncodingUnsigned, 1);
    }
    for (const TypedLabel &label : labels) {
        const auto element = baseType.find(label.elementSize);
        if (element == baseType.end() || label.count == 0)
            continue;
        std::uint32_t type = element->second;
        if (label.count > 1) {
            type = std::uint32_t(unit.size());
            put(&unit, ArrayType, 1);
            put(&unit, element->second, 4);
            put(&unit, Subrange, 1);
            put(&unit, label.count - 1, 4);
            put(&unit, 0, 1);
        }
        put(&unit, label.global ? Global : Local, 1);
        putText(&unit, label.name);
        put(&unit, type, 4);
        put(&unit, 5, 1); // the location's length: DW_OP_addr and the address
        put(&unit, OperationAddress, 1);
        put(&unit, label.address, 4);
    }
    put(&unit, 0, 1);
    set32(&unit, 0, std::uint32_t(unit.size() - 4));

    // Both sections move to the end of the file with what is added: nothing else of the file
    // changes place, and they belong to no segment.
    Bytes bytes = original;
    const auto appendSection
        = [&bytes, &original](const ElfFile::Section &section, const Bytes &added) {
              const std::uint32_t offset = std::uint32_t(bytes.size());
              bytes.insert(bytes.end(), original.begin() + section.offset,
                  original.begin() + section.offset + section.size);
              bytes.insert(bytes.end(), added.begin(), added.end());
              set32(&bytes, section.header + SectionOffsetField, offset);
              set32(&bytes, section.header + SectionSizeField,
                  section.size + std::uint32_t(added.size()));
          };
    appendSection(*info, unit);
    appendSection(*abbreviations, abbreviationTable());
    return bytes;
}

} // namespace Tarnwick::DataTypes
