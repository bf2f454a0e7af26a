#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Tarnwick::Pictures {

// What a picture becomes, as a NAME.grit file beside it says in the usual template
// converter's spelling ("-gt -gB4 -p -m -mRtf", one line or several, '#' starting a
// comment). Options that take a number take it joined ("-pn16") or as the next word
// ("-pn 16"). Every field left at its default means what that converter does by default.
struct Options
{
    enum class Graphics { Default, Tiles, Bitmap, None };

    Graphics graphics = Graphics::Default;
    // Bits a pixel: 4, 8 or 16; 0 for the picture's own.
    int bits = 0;
    bool palette = true;
    // Colours in the palette; 0 for as many as the picture has.
    int paletteCount = 0;
    int paletteStart = 0;
    // One past the last palette entry written; 0 for the palette's end.
    int paletteEnd = 0;
    // The index swapped with 0, which the hardware shows as transparent; -1 for none.
    int transparentIndex = -1;
    // The colour, as 0xRRGGBB, that becomes index 0; set says whether the file named it.
    std::uint32_t transparentColour = 0xFF00FF;
    bool transparentColourSet = false;

    bool map = false;
    // Map reduction: identical tiles, tiles equal but for their palette bank, and mirrored
    // tiles; reductionSet says whether the file chose, else the default applies.
    bool reduceTiles = true;
    bool reducePalettes = true;
    bool reduceFlips = true;
    bool screenBlocks = false;

    bool packGraphics = false;
    bool packMap = false;
    bool packPalette = false;

    // Metatile size in tiles, for sprites larger than 8x8.
    int metaWidth = 1;
    int metaHeight = 1;
};

// One line of the file with something wrong on it, for "file:line: warning: ...".
struct OptionProblem
{
    int line = 0;
    std::string text;
};

// Reads the options' text; an option it does not know, or a number it cannot read, is
// named in *problems and otherwise ignored.
Options readOptions(const std::string &text, std::vector<OptionProblem> *problems);

} // namespace Tarnwick::Pictures
