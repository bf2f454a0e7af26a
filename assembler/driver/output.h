#pragma once

#include "cartridgeimage.h"
#include "programfiles.h"

#include <string>
#include <vector>

namespace Tarnwick {

// The name of the linked program's file beside an output: a final ".gba" becomes ".elf", any
// other name gets ".elf" added, so it is never the output's own name.
std::string programFileFor(const std::string &output);

// Puts the image at the output and, when the output is a regular file or none yet, the linked
// program at programFileFor(output), as one pair in one piece each (see writeImages), unless
// one of them is one of the files in inputs (those the program was made from, and tarnwick's
// own data), existing or not, or both are one file: then it is refused, and nothing is
// changed. A device or a named pipe gets the image and no program is written. The program
// replaces only an ELF file for ARM: any other file at its name is left as it is, with a
// warning, and the image is written alone. *written is the program's file, empty if none was
// written. False after saying why in *messages.
bool writeOutput(const std::string &output, const Cartridge &cartridge,
    const std::vector<ProgramFiles::Input> &inputs, std::string *written,
    std::vector<std::string> *messages);

} // namespace Tarnwick
