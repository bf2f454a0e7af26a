#pragma once

#include "programfiles.h"

#include <string>
#include <vector>

namespace Tarnwick {

// Warns of mistakes that assemble and link without a word and then misbehave on the
// handheld, read from the objects that the units hold in memory:
// - a section with contents that is not allocated (".section .iwram" without flags), of
//   which nothing reaches the image;
// - an ARM `b` or `bl` to a label in Thumb code that lacks .thumb_func, for which the
//   linker adds no change of state;
// - a byte store (`strb`) into palette RAM, video RAM or object attributes, its address
//   built from a constant shortly before in the same straight line of code;
// - a word at an address not a multiple of 4, or a halfword at an odd one, that the code
//   loads through `ldr rN, =label` shortly before;
// - an ARM `swi` with a number below 0x100, which the firmware reads from bits 16–23;
// - a symbol set with `.equ` or `.set` to a number, and later in the same source to another,
//   which the object cannot show: for this one the source's text is read;
// - code that runs on from its last instruction into data (a literal pool, a table),
//   with no branch or return before it.
// Each warning names the place the object gives: the line of the instruction at fault (the
// store, the `swi`, the last instruction before the data) by the object's line table, else
// a label's line or a section's directive; the hints table explains it. It warns only where the object shows the mistake for sure:
// a branch to no label, or code that ends its section, is left alone. It runs no tool and
// changes nothing: the build goes on as before.
void warnOfRunningMistakes(const ProgramFiles &program, std::vector<std::string> *messages);

} // namespace Tarnwick
