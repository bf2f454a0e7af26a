#pragma once

#include "bytes.h"
#include "elffile.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace Tarnwick {

// What gdb needs to print a label that defines data: DWARF that gives each such label of a
// linked program a type, an array of the elements its statement lays down as many as lie up
// to the next label (or its .size), so that "print garden_colours" shows the table, in a
// gdb started by tarnwick --debug or by hand. Without it gdb knows the label's address
// alone, and refuses to print it. It types what assembly says and no more: the elements
// are unsigned, and a label whose statement is none of the directives known here is taken
// for bytes.
namespace DataTypes {

// A label that defines data, in an object: where its data ends.
struct ObjectLabel
{
    std::string name;
    bool global = false;
    // Its extent in bytes: its .size, or up to the next label, the next code or the end of
    // its section.
    std::uint32_t bytes = 0;
};

// The labels of an object that define data: those in a data region by the assembler's
// mapping symbols, or in an allocated section that holds no code.
std::vector<ObjectLabel> labelsOf(const ElfFile &object);

// The size of the elements that the statement each label of an assembly source's text
// labels lays down: 2 for .hword, .2byte and .short, 4 for .word, .4byte, .long and .int, 1
// for anything else. Read in one pass, however many labels the source has.
std::map<std::string, unsigned> elementSizes(std::string_view text);

// A label of the linked program with its type.
struct TypedLabel
{
    std::string name;
    bool global = false;
    std::uint32_t address = 0;
    unsigned elementSize = 1;
    std::uint32_t count = 1;
};

// The linked program's bytes with one more compilation unit in its .debug_info (and its
// abbreviations in .debug_abbrev) that types the labels: one element alone, more as an
// array. The bytes as they are when the program has no such sections or no labels.
Bytes withTypes(const ElfFile &program, const std::vector<TypedLabel> &labels);

} // namespace DataTypes

} // namespace Tarnwick
