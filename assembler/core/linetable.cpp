#include "linetable.h"

#include "elfformat.h"

#include <algorithm>

namespace Tarnwick {

namespace {

using namespace ElfFormat;

// The standard opcodes of the line program, and the extended ones it uses.
enum Opcode : unsigned char {
    Extended = 0,
    Copy = 1,
    AdvancePc = 2,
    AdvanceLine = 3,
    SetFile = 4,
    ConstAddPc = 8,
    FixedAdvancePc = 9,
};
enum ExtendedOpcode : unsigned char { EndSequence = 1, SetAddress = 2, DefineFile = 3 };

// Reads the table's bytes in order up to an end; past it, every read gives zero and the
// reader is no longer good.
class Reader
{
public:
    Reader(const Bytes &bytes, std::size_t at, std::size_t end)
        : m_bytes(&bytes)
        , m_at(at)
        , m_end(std::min(end, bytes.size()))
    {
    }

    bool good() const { return m_good; }
    bool atEnd() const { return m_at >= m_end; }
    std::size_t at() const { return m_at; }

    std::uint64_t fixed(unsigned size)
    {
        std::uint64_t value = 0;
        for (unsigned i = 0; i < size; ++i)
            value |= std::uint64_t(byte()) << (8 * i);
        return value;
    }
    unsigned char byte()
    {
        if (m_at >= m_end) {
            m_good = false;
            return 0;
        }
        return (*m_bytes)[m_at++];
    }
    std::uint64_t unsignedNumber()
    {
        std::uint64_t value = 0;
        for (unsigned shift = 0;; shift += 7) {
            const unsigned char next = byte();
            if (shift < 64)
                value |= std::uint64_t(next & 0x7F) << shift;
            if (!(next & 0x80) || !m_good)
                return value;
        }
    }
    std::int64_t signedNumber()
    {
        std::uint64_t value = 0;
        unsigned shift = 0;
        unsigned char next = 0;
        do {
            next = byte();
            if (shift < 64)
                value |= std::uint64_t(next & 0x7F) << shift;
            shift += 7;
        } while ((next & 0x80) && m_good);
        if (shift < 64 && (next & 0x40))
            value |= ~std::uint64_t(0) << shift;
        return std::int64_t(value);
    }
    std::string text()
    {
        std::string value;
        for (unsigned char c = byte(); c != 0 && m_good; c = byte())
            value += char(c);
        return value;
    }
    void skip(std::uint64_t count)
    {
        if (count > m_end - std::min(m_at, m_end)) {
            m_good = false;
            m_at = m_end;
        } else {
            m_at += std::size_t(count);
        }
    }

private:
    const Bytes *m_bytes;
    std::size_t m_at;
    std::size_t m_end;
    bool m_good = true;
};

} // namespace

LineTable::LineTable(const ElfFile &object)
{
    const std::vector<ElfFile::Section> &sections = object.sections();
    for (std::size_t i = 0; i < sections.size(); ++i) {
        if (sections[i].name != ".debug_line")
            continue;
        std::size_t offset = 0;
        while (offset < sections[i].size)
            readUnit(object, i, &offset);
    }
}

void LineTable::readUnit(const ElfFile &object, std::size_t table, std::size_t *offset)
{
    const ElfFile::Section &section = object.sections()[table];
    const std::size_t start = section.offset + *offset;
    const std::size_t sectionEnd = std::size_t(section.offset) + section.size;
    Reader header(object.bytes(), start, sectionEnd);
    const std::uint64_t length = header.fixed(4);
    // A 64-bit table, or one longer than its section, ends the reading.
    if (!header.good() || length > sectionEnd - header.at()) {
        *offset = section.size;
        return;
    }
    const std::size_t end = header.at() + std::size_t(length);
    *offset = end - section.offset;
    Reader unit(object.bytes(), header.at(), end);
    const std::uint64_t version = unit.fixed(2);
    const std::uint64_t headerLength = unit.fixed(4);
    if (version < 2 || version > 4 || headerLength > end - unit.at())
        return;
    const std::size_t program = unit.at() + std::size_t(headerLength);
    const unsigned minimumLength = unit.byte();
    if (version >= 4)
        unit.byte(); // the operations of one instruction, always 1 here
    unit.byte(); // whether a row starts a statement
    const int lineBase = static_cast<signed char>(unit.byte());
    const unsigned lineRange = unit.byte();
    const unsigned opcodeBase = unit.byte();
    std::vector<unsigned char> operands(opcodeBase > 0 ? opcodeBase - 1 : 0);
    for (unsigned char &count : operands)
        count = unit.byte();
    std::vector<std::string> folders;
    for (std::string folder = unit.text(); !folder.empty() && unit.good(); folder = unit.text())
        folders.push_back(folder);
    std::vector<std::string> files;
    const auto addFile = [&folders, &files](Reader &reader) {
        const std::string name = reader.text();
        const std::uint64_t folder = reader.unsignedNumber();
        reader.unsignedNumber();
        reader.unsignedNumber();
        files.push_back(folder == 0 || folder > folders.size() || name.empty() || name[0] == '/'
                ? name
                : folders[folder - 1] + '/' + name);
        return !name.empty();
    };
    while (unit.good() && unit.at() < program) {
        Reader peek = unit;
        if (peek.byte() == 0) {
            unit.byte();
            break;
        }
        addFile(unit);
    }
    if (!unit.good() || lineRange == 0 || opcodeBase == 0)
        return;
    m_files.push_back(files);

    // The start address of each sequence is the linker's to fill in, from the section
    // symbol that its relocation names; the table holds the offset.
    std::vector<ElfFile::Relocation> relocations = object.relocations(table);
    const auto sectionAt = [&](std::size_t place, std::size_t *found) {
        for (const ElfFile::Relocation &relocation : relocations) {
            if (section.offset + std::size_t(relocation.offset) != place
                || relocation.type != RelocationAbsolute32)
                continue;
            const ElfFile::Symbol &symbol = object.symbols()[relocation.symbol];
            if (symbol.sectionIndex == 0 || symbol.sectionIndex >= SectionIndexReserved
                || symbol.type != TypeSection)
                return false;
            *found = symbol.sectionIndex;
            return true;
        }
        return false;
    };

    Reader code(object.bytes(), program, end);
    Sequence sequence;
    bool placed = false;
    Row row { 0, 1, 1 };
    const auto emit = [&] {
        if (placed)
            sequence.rows.push_back(row);
    };
    while (code.good() && !code.atEnd()) {
        const unsigned char opcode = code.byte();
        if (opcode >= opcodeBase) {
            const unsigned adjusted = opcode - opcodeBase;
            row.address += (adjusted / lineRange) * minimumLength;
            row.line += unsigned(lineBase + int(adjusted % lineRange));
            emit();
            continue;
        }
        switch (opcode) {
        case Extended: {
            const std::uint64_t size = code.unsignedNumber();
            const std::size_t from = code.at();
            const unsigned char extended = code.byte();
            if (extended == EndSequence) {
                if (placed) {
                    sequence.end = row.address;
                    sequence.files = m_files.size() - 1;
                    m_sequences.push_back(std::move(sequence));
                }
                sequence = Sequence();
                placed = false;
                row = { 0, 1, 1 };
            } else if (extended == SetAddress && size == 5) {
                const std::size_t operand = code.at();
                row.address = std::uint32_t(code.fixed(4));
                placed = sectionAt(operand, &sequence.section);
            } else if (extended == DefineFile) {
                addFile(code);
                m_files.back() = files;
            }
            code = Reader(object.bytes(), std::min<std::uint64_t>(from + size, end), end);
            break;
        }
        case Copy:
            emit();
            break;
        case AdvancePc:
            row.address += std::uint32_t(code.unsignedNumber() * minimumLength);
            break;
        case AdvanceLine:
            // Wraps as the table's own arithmetic would, whatever a damaged table holds.
            row.line = unsigned(std::uint64_t(row.line) + std::uint64_t(code.signedNumber()));
            break;
        case SetFile:
            row.file = std::uint32_t(code.unsignedNumber());
            break;
        case ConstAddPc:
            row.address += ((255 - opcodeBase) / lineRange) * minimumLength;
            break;
        case FixedAdvancePc:
            row.address += std::uint32_t(code.fixed(2));
            break;
        default:
            for (unsigned i = 0; i < operands[opcode - 1]; ++i)
                code.unsignedNumber();
            break;
        }
    }
}

LineTable::Place LineTable::at(std::size_t section, std::uint32_t offset) const
{
    for (const Sequence &sequence : m_sequences) {
        if (sequence.section != section || sequence.rows.empty()
            || offset < sequence.rows.front().address || offset >= sequence.end)
            continue;
        // The last row at or before the offset: the rows of a sequence rise in address.
        const auto after = std::upper_bound(sequence.rows.begin(), sequence.rows.end(), offset,
            [](std::uint32_t at, const Row &row) { return at < row.address; });
        const Row &row = *std::prev(after);
        const std::vector<std::string> &files = m_files[sequence.files];
        if (row.file == 0 || row.file > files.size())
            return {};
        return { files[row.file - 1], row.line };
    }
    return {};
}

} // namespace Tarnwick
