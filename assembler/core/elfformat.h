#pragma once

#include <cstddef>
#include <cstdint>

// The numbers of the 32-bit little-endian ARM ELF format that tarnwick reads and writes: the
// sizes of its records, and the values of the fields it looks at. One place for them, so
// that every reader and writer of objects means the same by each.
namespace Tarnwick::ElfFormat {

constexpr std::size_t HeaderSize = 52;
constexpr std::size_t SectionHeaderSize = 40;
constexpr std::size_t ProgramHeaderSize = 32;
constexpr std::size_t SymbolSize = 16;
constexpr std::size_t RelocationSize = 8;

constexpr unsigned char ElfClass32 = 1;
constexpr unsigned char LittleEndian = 1;
constexpr std::uint16_t MachineArm = 40;
// EABI version 5, as GNU as marks its objects for this target.
constexpr std::uint32_t FlagsEabi5 = 0x05000000;

constexpr std::uint32_t SectionTypeProgramData = 1;
constexpr std::uint32_t SectionTypeSymbolTable = 2;
constexpr std::uint32_t SectionTypeStrings = 3;
constexpr std::uint32_t SectionTypeNoBits = 8;
constexpr std::uint32_t SectionTypeRelocations = 9;
constexpr std::uint32_t SectionFlagAlloc = 0x2;
constexpr std::uint32_t SectionFlagExecutable = 0x4;
constexpr std::uint32_t SegmentTypeLoad = 1;

constexpr std::uint16_t SectionIndexUndefined = 0;
constexpr std::uint16_t SectionIndexReserved = 0xFF00;
constexpr std::uint16_t SectionIndexAbsolute = 0xFFF1;

constexpr unsigned char BindingLocal = 0;
constexpr unsigned char BindingGlobal = 1;
constexpr unsigned char BindingWeak = 2;
constexpr unsigned char TypeNone = 0;
constexpr unsigned char TypeObject = 1;
constexpr unsigned char TypeFunction = 2;
constexpr unsigned char TypeSection = 3;
constexpr unsigned char TypeFile = 4;

// A symbol's info byte: its binding in the high nibble, its type in the low one.
constexpr unsigned char symbolInfo(unsigned char binding, unsigned char type)
{
    return static_cast<unsigned char>(binding << 4 | type);
}

constexpr std::uint32_t RelocationArmBranch = 1; // R_ARM_PC24
constexpr std::uint32_t RelocationAbsolute32 = 2; // R_ARM_ABS32
constexpr std::uint32_t RelocationArmCall = 28; // R_ARM_CALL
constexpr std::uint32_t RelocationArmJump = 29; // R_ARM_JUMP24

} // namespace Tarnwick::ElfFormat
