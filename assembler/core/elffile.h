#pragma once

#include "bytes.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Tarnwick {

// What tarnwick reads from the 32-bit little-endian ELF files that as and ld write: the
// sections with their run-time and load addresses, and the symbols. It reads; it never
// relocates or links. Every offset and size in the file is checked against the file, so
// a damaged file gives a problem, never a read past the end.
class ElfFile
{
public:
    struct Section
    {
        std::string name;
        std::uint32_t type = 0;
        std::uint32_t flags = 0;
        std::uint32_t address = 0;
        // Where the contents lie in ROM before the start-up copies them; the run-time
        // address for a section that is not copied.
        std::uint32_t loadAddress = 0;
        std::uint32_t offset = 0;
        std::uint32_t size = 0;
        // Where its header lies in the file.
        std::size_t header = 0;

        bool isAllocated() const;
        // Allocated and with contents in the file: part of the flat image.
        bool isLoaded() const;
    };

    struct Symbol
    {
        std::string name;
        std::uint32_t value = 0;
        unsigned char binding = 0;
        unsigned char type = 0;
        std::uint16_t sectionIndex = 0;
        // Where its entry lies in the file.
        std::size_t entry = 0;

        // Defined here and visible to other files (global or weak).
        bool isDefinedGlobal() const;
        // Used here, defined elsewhere, and needed: a weak reference may stay undefined.
        bool isNeededFromElsewhere() const;
    };

    // The contents of the loaded sections, each at its load address counted from the
    // lowest one, with zeros between them: what objcopy -O binary writes.
    struct FlatImage
    {
        std::uint32_t base = 0;
        std::uint64_t size = 0;
        // Left empty when size exceeds the limit given to flatImage().
        Bytes bytes;
    };

    // A place in a section that the linker fills in, as as writes it (REL: the addend is
    // what the section holds there).
    struct Relocation
    {
        // Counted from the start of the section.
        std::uint32_t offset = 0;
        std::uint32_t type = 0;
        // The index of its symbol in symbols().
        std::uint32_t symbol = 0;
    };

    // Returns an empty string when the bytes are an ELF file tarnwick can read, else
    // what is wrong with them.
    std::string read(Bytes bytes);

    // The file as it was read.
    const Bytes &bytes() const { return m_bytes; }
    const std::vector<Section> &sections() const { return m_sections; }
    const std::vector<Symbol> &symbols() const { return m_symbols; }

    // Whether a symbol of that name is defined here and visible to other files.
    bool definesGlobal(std::string_view name) const;

    // The names of the symbols that another file must define for this one to link.
    std::vector<std::string> neededSymbols() const;
    // The names of the symbols this file defines for other files.
    std::vector<std::string> definedGlobals() const;

    // Whether the global symbol of that name labels Thumb code (by the assembler's
    // mapping symbols) without saying so in its value: a label in Thumb code that lacks
    // .thumb_func or .type %function, which a "bx" would enter in ARM state.
    bool labelsUnmarkedThumbCode(std::string_view name) const;

    // The file's bytes with the global symbol of that name made a Thumb function: typed
    // as a function, with bit 0 of its value set, as .thumb_func makes it. The linker then
    // gives its address with that bit to whatever takes it, and "bx" enters Thumb state.
    // Empty if there is no such symbol.
    Bytes withThumbFunction(std::string_view name) const;

    FlatImage flatImage(std::uint64_t sizeLimit) const;

    // The file's bytes with the contents of its loaded sections taken from image, a flat
    // image laid out as flatImage() lays it out from address base (with its header
    // completed, say), and the sections named in filled, which have no contents in the file
    // but whose bytes the image holds at their load address (zeros that a start-up copies
    // from ROM), given those bytes as contents of their own, appended to the file, with the
    // segment that loads them alone. So objcopy -O binary, which reads the sections, and a
    // loader that reads the segments both give the image. Empty if one of those sections
    // lies outside the image.
    Bytes withImage(
        const Bytes &image, std::uint32_t base, const std::vector<std::string> &filled) const;

    // The relocations that apply to the section at that index in sections(), in the order
    // of the file; none for a linked program or a damaged table.
    std::vector<Relocation> relocations(std::size_t section) const;

    // Where a kind of contents begins in a section, by the assembler's mapping symbols: 'a'
    // for ARM code, 't' for Thumb code, 'd' for data.
    struct Contents
    {
        std::uint32_t offset = 0;
        char kind = 0;
    };

    // The kinds of contents of the section at that index in sections(), in the order of
    // their offsets, each lasting until the next; none where the assembler marked none.
    std::vector<Contents> contentsOf(std::size_t section) const;

    // Whether the global symbol of that name labels the first instruction: the start of the
    // section whose first word firstTextWord() gives.
    bool labelsFirstInstruction(std::string_view name) const;

    // The first four bytes of the first non-empty .text or .text.* section, in the order
    // a linker script that lists "*(.text) *(.text.*)" places them: the word that opens
    // the image of an object linked on its own. Empty if there is no such section.
    Bytes firstTextWord() const;
    // Whether that word is an unconditional ARM b to a place at least size bytes on in its
    // section, or to a symbol outside it, which only linking places: the start of a source
    // that reserves a header of that size.
    bool branchesPast(std::uint32_t size) const;

private:
    // The section firstTextWord() reads; none if there is no such section.
    const Section *firstText() const;
    std::string readSections();
    std::string readSymbols();
    void assignLoadAddresses();

    Bytes m_bytes;
    std::vector<Section> m_sections;
    std::vector<Symbol> m_symbols;
    struct Segment
    {
        std::size_t header;
        std::uint32_t offset;
        std::uint32_t address;
        std::uint32_t loadAddress;
        std::uint32_t fileSize;
        std::uint32_t memorySize;
        std::uint32_t alignment;
    };
    std::vector<Segment> m_segments;
};

} // namespace Tarnwick
