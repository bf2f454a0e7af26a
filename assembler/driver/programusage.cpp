#include "programusage.h"

#include "elffile.h"

#include <algorithm>
#include <string_view>

namespace Tarnwick {

namespace {

constexpr std::uint32_t RomBase = 0x08000000;
constexpr std::uint32_t InternalRamBase = 0x03000000;
constexpr std::uint32_t ExternalRamBase = 0x02000000;
// The cartridge header, which a source that brings no start-up reserves itself.
constexpr std::size_t HeaderSize = 0xC0;
// What startup.ld defines at the end of our start-up.
constexpr std::string_view StartupEnd = "__tarnwick_startup_end";

} // namespace

ProgramUsage measureProgram(const Bytes &linkedProgram, std::size_t imageSize)
{
    ProgramUsage usage;
    ElfFile program;
    if (linkedProgram.empty() || !program.read(linkedProgram).empty())
        return usage;
    usage.header = std::min(HeaderSize, imageSize);
    for (const ElfFile::Symbol &symbol : program.symbols()) {
        if (symbol.name == StartupEnd && symbol.value >= RomBase)
            usage.header = std::min(std::size_t(symbol.value - RomBase), imageSize);
    }
    usage.program = imageSize - usage.header;
    for (const ElfFile::Section &section : program.sections()) {
        if (!section.isAllocated())
            continue;
        if (section.address >= InternalRamBase
            && section.address < InternalRamBase + InternalRamSize)
            usage.internalRam += section.size;
        if (section.address >= ExternalRamBase
            && section.address < ExternalRamBase + ExternalRamSize)
            usage.externalRam += section.size;
    }
    usage.known = true;
    return usage;
}

} // namespace Tarnwick
