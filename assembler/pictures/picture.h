#pragma once

#include "bytes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Tarnwick::Pictures {

struct Colour
{
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t alpha = 255;

    bool sameColour(const Colour &other) const
    {
        return red == other.red && green == other.green && blue == other.blue;
    }
};

// A decoded picture: either indices into its own palette, one a pixel, or true colour, one
// colour a pixel; rows top to bottom.
struct Picture
{
    int width = 0;
    int height = 0;
    bool paletted = false;
    // Bits a pixel as the file stores them: 1, 2, 4 or 8 for a paletted picture.
    int depth = 0;
    std::vector<Colour> palette;
    std::vector<std::uint8_t> indices;
    std::vector<Colour> pixels;
};

// Decodes a PNG (through libspng) or a BMP (a header and rows: uncompressed, 1 to 8 bits
// through a palette, or 24 and 32 bits) from the file's bytes. The size in the header is
// checked against maxPixels before anything is allocated for the pixels, so a header that
// claims 30000×30000 costs nothing. Returns an empty string, or what is wrong with the file
// in words that follow "file: error: ".
std::string decode(const Bytes &file, std::uint64_t maxPixels, Picture *picture);

} // namespace Tarnwick::Pictures
