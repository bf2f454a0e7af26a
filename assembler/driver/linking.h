#pragma once

#include "elffile.h"
#include "tools.h"
#include "unit.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Tarnwick {

// What ld made of a program: its ELF output, and the flat image read out of it.
struct LinkedProgram
{
    ElfFile program;
    ElfFile::FlatImage image;
};

// An object handed to ld: a unit's as assembled, or the same with bytes of its own.
struct LinkObject
{
    const Unit *unit = nullptr;
    // Empty: the unit's object as it is.
    Bytes changed;
};

// Which start-up goes in front of the objects, and where the program is entered.
enum class StartupKind {
    // None: the first object's first instruction starts the cartridge.
    None,
    // Ours, startup.s.
    Ours,
    // The project's own, among the objects: the linker script names the entry.
    Project,
};

// Links the objects, the chosen source's among them, with the linker script (behind our
// start-up, if asked), and with those run-time routines that they call. ld's messages,
// rewritten to name the sources, go to *messages. Empty if ld or reading its result failed.
// It knows nothing of cartridges beyond the size an image may have.
std::optional<LinkedProgram> link(const Toolchain &tools, std::string_view script,
    StartupKind startup, const Unit &entry, const std::vector<LinkObject> &objects,
    std::vector<std::string> *messages);

} // namespace Tarnwick
