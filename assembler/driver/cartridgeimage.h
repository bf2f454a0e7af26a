#pragma once

#include "bytes.h"
#include "logo.h"
#include "programfiles.h"
#include "tools.h"

#include <string>
#include <vector>

namespace Tarnwick {

// A cartridge image and the program that ld linked, with the image's bytes.
struct Cartridge
{
    Bytes image;
    Bytes program;
};

// The cartridge image of a program, with its header completed, linked once the way the
// link plan (linkplan) decides: a chosen source that reserves the header itself is linked
// at the start of ROM; one that defines a global `main` instead, behind our start-up
// (startup.s), which provides the header, titled after the output's name; a program with
// the project's own script, behind the project's own start-up.
// Either way a kept logo goes into a blank logo area, then the fixed byte and the
// complement are filled in. The linked program comes with it, its loaded sections holding
// exactly the image's bytes, so that a debugger shows what runs. It makes both in memory;
// writing them is the caller's.
bool makeImage(const Toolchain &tools, const ProgramFiles &program, const std::string &output,
    KeptLogo *logo, Cartridge *cartridge, std::vector<std::string> *messages);

} // namespace Tarnwick
