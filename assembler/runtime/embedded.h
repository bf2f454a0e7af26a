#pragma once

#include <string_view>

// Files that tarnwick carries inside its executable, made at build time by embed.cmake.
namespace Tarnwick::Embedded {

// startup.s, assembled by arm-none-eabi-as when tarnwick was built.
extern const std::string_view StartupObject;
// The linker script for a source linked with the start-up.
extern const std::string_view StartupScript;
// The linker script for a source that reserves the cartridge header itself.
extern const std::string_view ReservedHeaderScript;
// The routines a program may call (integer division), an archive of one object each,
// assembled and archived when tarnwick was built.
extern const std::string_view RuntimeArchive;

} // namespace Tarnwick::Embedded
