#pragma once

#include "bytes.h"
#include "logo.h"
#include "programfiles.h"
#include "tools.h"

#include <string>
#include <vector>

namespace Tarnwick {

// The cartridge image of a program, with its header completed. A chosen source that
// reserves the header itself (its image starts with an ARM branch past it) is linked on its
// own at the start of ROM; one that does not but defines a global `main` is linked behind
// our start-up (startup.s), which provides the header, titled after the output's name.
// Either way a kept logo goes into a blank logo area, then the fixed byte and the
// complement are filled in. It makes the image in memory; writing it is the caller's.
bool makeImage(const Toolchain &tools, const ProgramFiles &program, const std::string &output,
    KeptLogo *logo, Bytes *image, std::vector<std::string> *messages);

} // namespace Tarnwick
