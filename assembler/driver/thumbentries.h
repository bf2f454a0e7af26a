#pragma once

#include "programfiles.h"

#include <string>
#include <vector>

namespace Tarnwick {

// Warns of Thumb code that the program's ARM code enters through `bx` with an address that
// lacks the Thumb bit (bit 0): a label in Thumb code without .thumb_func, loaded with
// "ldr rN, =label" or taken with "adr", which the processor would run in ARM state. Such a
// program assembles and links, and crashes on the handheld. It reads the objects that the
// units hold in memory, looking back from each `bx` along the straight line of code for the
// instruction that set its register; a register set in any other way, or by a jump from
// elsewhere, is not followed, so it warns only where it is sure. It runs no tool and changes
// nothing: the build goes on as before.
void warnOfUnmarkedThumbEntries(const ProgramFiles &program, std::vector<std::string> *messages);

} // namespace Tarnwick
