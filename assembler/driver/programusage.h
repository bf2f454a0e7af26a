#pragma once

#include "bytes.h"

#include <cstddef>

namespace Tarnwick {

// How much of the cartridge and of each RAM a program takes, in bytes, for a person who
// wants to see where things landed.
struct ProgramUsage
{
    bool known = false;
    // The cartridge: its header and the start-up (our start-up, or the header that a source
    // reserves itself), and the rest of the image, the program's code and data.
    std::size_t header = 0;
    std::size_t program = 0;
    // Internal and external RAM, what the start-up copies there and what it clears.
    std::size_t internalRam = 0;
    std::size_t externalRam = 0;
};

static constexpr std::size_t InternalRamSize = 32 * 1024;
static constexpr std::size_t ExternalRamSize = 256 * 1024;

// The usage of the linked program whose image holds imageSize bytes, read from the
// program's sections and from the symbol that ends our start-up; not known when the
// program cannot be read.
ProgramUsage measureProgram(const Bytes &linkedProgram, std::size_t imageSize);

} // namespace Tarnwick
