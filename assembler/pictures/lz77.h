#pragma once

#include "bytes.h"

namespace Tarnwick::Pictures {

// Packs data in the handheld firmware's LZ77 format: a word with 0x10 in its low byte and the
// unpacked length above; then groups of a flag byte (read from its high bit down) and eight
// items, a literal byte for a clear flag and a two-byte reference for a set one (length 3 to
// 18, distance 1 to 4096). No reference has a distance of 1, so the firmware's routine that
// writes video memory a halfword at a time unpacks it as well as the one for work RAM. The
// result is padded to a multiple of 4 bytes.
Bytes packLz77(const Bytes &data);

} // namespace Tarnwick::Pictures
