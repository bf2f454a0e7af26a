#pragma once

#include "elffile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Tarnwick {

// The line table (.debug_line, DWARF versions 2 to 4) of an object that as wrote with -g:
// for each instruction, the file and line it comes from. Each sequence of the table is
// tied to its section by the relocation of its start address, as in an object; a linked
// program's table, whose addresses are final, is not read. A damaged or unknown table
// gives no places, never a read past its end.
class LineTable
{
public:
    struct Place
    {
        // As the table names it: relative to the folder as ran in, or absolute.
        std::string file;
        // Counted from 1; 0 when the table says nothing of the place.
        unsigned line = 0;
    };

    explicit LineTable(const ElfFile &object);

    // Where the instruction at offset in the section at that index comes from.
    Place at(std::size_t section, std::uint32_t offset) const;

private:
    struct Row
    {
        std::uint32_t address = 0;
        std::uint32_t file = 0;
        unsigned line = 0;
    };
    struct Sequence
    {
        std::size_t section = 0;
        // Where the instructions it describes end.
        std::uint32_t end = 0;
        std::vector<Row> rows;
        // The file names of the table's unit that the rows count, from 1.
        std::size_t files = 0;
    };

    void readUnit(const ElfFile &object, std::size_t table, std::size_t *offset);

    std::vector<std::vector<std::string>> m_files;
    std::vector<Sequence> m_sequences;
};

} // namespace Tarnwick
