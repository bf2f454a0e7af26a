#pragma once

#include "bytes.h"
#include "options.h"
#include "picture.h"

#include <string>

namespace Tarnwick::Pictures {

// The data the handheld reads, unpacked: graphics (tiles or a bitmap), a map and a palette,
// each empty when the options ask for none.
struct Converted
{
    bool bitmap = false;
    Bytes graphics;
    Bytes map;
    Bytes palette;
};

// A colour as the handheld's 15 bits, 0bbbbbgggggrrrrr, each part rounded.
std::uint16_t toHandheld(const Colour &colour);

// Converts the picture as the options ask: tiles of 8x8 pixels (in metatile order for
// sprites), or rows of a bitmap, at 4, 8 or 16 bits a pixel; a map of the tiles with the
// repeated, mirrored and other-bank tiles reduced, flat or in 32x32 screen blocks; and
// the palette in 15-bit colours. A true-colour picture asked for 4 or 8 bits is reduced to
// a palette by libimagequant, the transparent colour (and every transparent pixel) taking
// index 0; a paletted picture keeps its palette's order. Returns an empty string, or why
// the picture cannot become what the options ask.
std::string convert(const Picture &picture, const Options &options, Converted *converted);

} // namespace Tarnwick::Pictures
