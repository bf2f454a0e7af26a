#pragma once

#include "elffile.h"
#include "linetable.h"
#include "tools.h"

#include <string>
#include <vector>

namespace Tarnwick {

// One source of a program, assembled on its own into an object in memory: the chosen
// source, or another source that the program may need. Knows nothing of the others.
struct Unit
{
    // The path as the user spelled it, or, for another source, as named from the chosen
    // source's folder as the user spelled that: what messages call it.
    std::string asGiven;
    // The same as messages show it, its control characters escaped.
    std::string shown;
    // What the tools open: absolute, so that a name such as "-x.s" is never read as an
    // option, and with symbolic links resolved by the file system, so that ".." after a
    // link means the folder the kernel means.
    std::string asPassed;
    // The folder the source lies in, absolute and resolved, ending in '/': the tools run
    // there, and includes are looked for there first. For a source reached through a
    // symbolic link (/dev/stdin among them), the folder of the file the link leads to.
    std::string folder;
    // The same as the user spelled it, where asGiven spells it ("src/" for "src/main.s",
    // empty for "main.s"); else the folder itself.
    std::string folderAsGiven;
    // Where includes are looked for after that, nearest first.
    std::vector<std::string> includeFolders;
    // The private folder of headers made of pictures (hero.h) that the preprocessor looks in
    // after all of those, so that a real header wins; empty for none. Its headers are no
    // inputs of the program: the pictures they were made of, pictureInputs, are.
    std::string madeHeaders;
    std::vector<std::string> pictureInputs;
    bool preprocessed = false;
    // Whether the source begins with a UTF-8 byte-order mark, which as would read as part of
    // its first statement; the preprocessor skips it itself.
    bool byteOrderMark = false;
    // Whether the source names an include that none of its include folders holds.
    bool lacksInclude = false;
    bool assembled = false;
    ElfFile object;
    // The files the tools read for it: the source and every file it included, absolute and
    // resolved.
    std::vector<std::string> inputs;
    std::vector<std::string> messages;
};

// Where a statement of the unit's object comes from: the file (the source, or a file it
// included) as messages name it and as a path to read, and the line; line 0 if unknown.
struct SourcePlace
{
    std::string shown;
    std::string path;
    unsigned line = 0;
};

// The place of the statement at offset in the section at that index of the unit's object,
// by the object's line table (table, read from unit.object).
SourcePlace placeIn(
    const Unit &unit, const LineTable &table, std::size_t section, std::uint32_t offset);

// The place where the symbol, defined in the unit's object, stands as a label: the line
// table's place of what it labels, and the line of the label itself where the text shows
// it there. Line 0 when the table knows no place for it (a symbol of .set or .equ, data).
SourcePlace labelPlace(const Unit &unit, const LineTable &table, const ElfFile::Symbol &symbol);

// A unit for the source at path, with its paths resolved and includes looked for in its
// folder and each folder above; false with the reason in *problem if the path cannot be
// resolved.
bool makeUnit(const std::string &asGiven, Unit *unit, std::string *problem);

// Reads the source to see whether it goes through the preprocessor, and finds that if so;
// false after saying why not in *messages.
bool prepareUnit(Unit *unit, Toolchain *tools, std::vector<std::string> *messages);

// Runs cpp (if the unit needs it) and as, and reads the object; what the tools said goes to
// unit->messages. Safe to run for several units at once, and again on one unit.
void assembleUnit(Unit *unit, const Toolchain &tools);

} // namespace Tarnwick
