#include "conversion.h"

#include <libimagequant.h>

#include <algorithm>
#include <map>
#include <memory>

namespace Tarnwick::Pictures {

namespace {

constexpr int Tile = 8;
constexpr int ScreenBlock = 32;
constexpr int MaxTileNumber = 1023;
constexpr int BankColours = 16;

// A picture as palette indices, whatever it came as.
struct Indexed
{
    std::vector<Colour> palette;
    std::vector<std::uint8_t> indices;
};

Colour fromRgb(std::uint32_t rgb)
{
    return { std::uint8_t(rgb >> 16), std::uint8_t(rgb >> 8), std::uint8_t(rgb), 255 };
}

void swapIndices(Indexed *indexed, std::size_t first, std::size_t second)
{
    if (first == second || std::max(first, second) >= indexed->palette.size())
        return;
    std::swap(indexed->palette[first], indexed->palette[second]);
    for (std::uint8_t &index : indexed->indices) {
        if (index == first)
            index = std::uint8_t(second);
        else if (index == second)
            index = std::uint8_t(first);
    }
}

std::string quantize(const Picture &picture, const Options &options, int colours, Indexed *indexed)
{
    // Transparent pixels and the transparent colour become one transparent colour, which
    // libimagequant keeps as an entry of its own; without any, index 0 is kept free.
    const Colour key = fromRgb(options.transparentColour);
    std::vector<Colour> rgba = picture.pixels;
    bool transparent = false;
    for (Colour &pixel : rgba) {
        if (pixel.alpha < 128 || pixel.sameColour(key)) {
            pixel = { 0, 0, 0, 0 };
            transparent = true;
        } else {
            pixel.alpha = 255;
        }
    }
    const int wanted = transparent ? colours : colours - 1;
    const std::unique_ptr<liq_attr, void (*)(liq_attr *)> attributes(
        liq_attr_create(), liq_attr_destroy);
    if (!attributes || wanted < 2 || liq_set_max_colors(attributes.get(), wanted) != LIQ_OK
        || liq_set_quality(attributes.get(), 0, 100) != LIQ_OK)
        return "cannot reduce the picture to " + std::to_string(colours) + " colours";
    const std::unique_ptr<liq_image, void (*)(liq_image *)> image(
        liq_image_create_rgba(attributes.get(), rgba.data(), picture.width, picture.height, 0),
        liq_image_destroy);
    liq_result *made = nullptr;
    if (!image || liq_image_quantize(image.get(), attributes.get(), &made) != LIQ_OK)
        return "cannot reduce the picture to " + std::to_string(colours) + " colours";
    const std::unique_ptr<liq_result, void (*)(liq_result *)> result(made, liq_result_destroy);
    liq_set_dithering_level(made, 0);
    indexed->indices.resize(rgba.size());
    if (liq_write_remapped_image(
            made, image.get(), indexed->indices.data(), indexed->indices.size())
        != LIQ_OK)
        return "cannot reduce the picture to " + std::to_string(colours) + " colours";
    const liq_palette *palette = liq_get_palette(made);
    for (unsigned i = 0; i < palette->count; ++i) {
        const liq_color &entry = palette->entries[i];
        indexed->palette.push_back({ entry.r, entry.g, entry.b, entry.a });
    }
    if (!transparent) {
        indexed->palette.insert(indexed->palette.begin(), key);
        for (std::uint8_t &index : indexed->indices)
            ++index;
        return {};
    }
    std::size_t clear = 0;
    for (std::size_t i = 0; i < indexed->palette.size(); ++i) {
        if (indexed->palette[i].alpha < indexed->palette[clear].alpha)
            clear = i;
    }
    swapIndices(indexed, clear, 0);
    indexed->palette[0] = key;
    return {};
}

// The 64 pixels of the tile at (column, row), and the palette bank of a 4-bit tile.
struct TileData
{
    std::vector<std::uint8_t> pixels;
    int bank = 0;
};

std::string tileAt(const Indexed &indexed, int width, int bits, int column, int row, TileData *tile)
{
    tile->pixels.clear();
    tile->bank = -1;
    for (int y = 0; y < Tile; ++y) {
        for (int x = 0; x < Tile; ++x) {
            const std::uint8_t index
                = indexed.indices[std::size_t(row * Tile + y) * std::size_t(width)
                    + std::size_t(column * Tile + x)];
            if (bits == 4 && index % BankColours != 0) {
                if (tile->bank >= 0 && index / BankColours != tile->bank)
                    return "the tile at pixel (" + std::to_string(column * Tile) + ", "
                        + std::to_string(row * Tile)
                        + ") uses colours of more than one palette bank of 16, which a 4-bit "
                          "tile cannot";
                tile->bank = index / BankColours;
            }
            tile->pixels.push_back(bits == 4 ? index % BankColours : index);
        }
    }
    tile->bank = std::max(tile->bank, 0);
    return {};
}

std::vector<std::uint8_t> mirrored(const std::vector<std::uint8_t> &pixels, bool across, bool down)
{
    std::vector<std::uint8_t> result(pixels.size());
    for (int y = 0; y < Tile; ++y) {
        for (int x = 0; x < Tile; ++x)
            result[std::size_t(y * Tile + x)] = pixels[std::size_t(
                (down ? Tile - 1 - y : y) * Tile + (across ? Tile - 1 - x : x))];
    }
    return result;
}

void appendPixels(const std::vector<std::uint8_t> &pixels, int bits, Bytes *out)
{
    for (std::size_t i = 0; i < pixels.size(); i += bits == 4 ? 2 : 1)
        out->push_back(bits == 4
                ? std::uint8_t(pixels[i] | (i + 1 < pixels.size() ? pixels[i + 1] << 4 : 0))
                : pixels[i]);
}

void appendHalfword(std::uint16_t value, Bytes *out)
{
    out->push_back(std::uint8_t(value));
    out->push_back(std::uint8_t(value >> 8));
}

std::string makeTiles(const Picture &picture, const Options &options, const Indexed &indexed,
    int bits, Converted *converted)
{
    if (picture.width % Tile != 0 || picture.height % Tile != 0)
        return "the picture is " + std::to_string(picture.width) + "x"
            + std::to_string(picture.height)
            + " pixels; as tiles its width and height must be multiples of 8";
    const int columns = picture.width / Tile;
    const int rows = picture.height / Tile;
    TileData tile;
    if (!options.map) {
        if (columns % options.metaWidth != 0 || rows % options.metaHeight != 0)
            return "the picture is " + std::to_string(columns) + "x" + std::to_string(rows)
                + " tiles, which metatiles of " + std::to_string(options.metaWidth) + "x"
                + std::to_string(options.metaHeight) + " tiles do not divide";
        // Metatile by metatile, each row by row: the order of a sprite's 1D mapping.
        for (int metaRow = 0; metaRow < rows; metaRow += options.metaHeight) {
            for (int metaColumn = 0; metaColumn < columns; metaColumn += options.metaWidth) {
                for (int row = metaRow; row < metaRow + options.metaHeight; ++row) {
                    for (int column = metaColumn; column < metaColumn + options.metaWidth;
                         ++column) {
                        if (const std::string problem
                            = tileAt(indexed, picture.width, bits, column, row, &tile);
                            !problem.empty())
                            return problem;
                        if (tile.bank != 0)
                            return "the picture uses colours past the first 16, which 4-bit "
                                   "tiles without a map cannot show";
                        appendPixels(tile.pixels, bits, &converted->graphics);
                    }
                }
            }
        }
        return {};
    }

    // The tiles kept so far, by their pixels (and their bank, unless banks are reduced).
    std::map<std::pair<std::vector<std::uint8_t>, int>, int> kept;
    std::vector<std::uint16_t> entries;
    int count = 0;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            if (const std::string problem
                = tileAt(indexed, picture.width, bits, column, row, &tile);
                !problem.empty())
                return problem;
            const int bank = options.reducePalettes ? 0 : tile.bank;
            int entry = -1;
            for (int flips = 0;
                 flips < (options.reduceFlips ? 4 : 1) && entry < 0 && options.reduceTiles;
                 ++flips) {
                const auto found = kept.find({ mirrored(tile.pixels, flips & 1, flips & 2), bank });
                if (found != kept.end())
                    entry = found->second | (flips << 10);
            }
            if (entry < 0) {
                if (count > MaxTileNumber)
                    return "the picture needs more than " + std::to_string(MaxTileNumber + 1)
                        + " different tiles, more than a map can number";
                kept.emplace(std::make_pair(tile.pixels, bank), count);
                appendPixels(tile.pixels, bits, &converted->graphics);
                entry = count++;
            }
            entries.push_back(std::uint16_t(entry | (bits == 4 ? tile.bank << 12 : 0)));
        }
    }
    if (!options.screenBlocks) {
        for (const std::uint16_t entry : entries)
            appendHalfword(entry, &converted->map);
        return {};
    }
    // Block by block, left to right and top to bottom; outside the picture, tile 0.
    for (int blockRow = 0; blockRow < rows; blockRow += ScreenBlock) {
        for (int blockColumn = 0; blockColumn < columns; blockColumn += ScreenBlock) {
            for (int row = blockRow; row < blockRow + ScreenBlock; ++row) {
                for (int column = blockColumn; column < blockColumn + ScreenBlock; ++column)
                    appendHalfword(row < rows && column < columns
                            ? entries[std::size_t(row * columns + column)]
                            : 0,
                        &converted->map);
            }
        }
    }
    return {};
}

} // namespace

std::uint16_t toHandheld(const Colour &colour)
{
    const auto part = [](std::uint8_t value) { return (value * 31 + 127) / 255; };
    return std::uint16_t(part(colour.red) | part(colour.green) << 5 | part(colour.blue) << 10);
}

std::string convert(const Picture &picture, const Options &options, Converted *converted)
{
    *converted = Converted();
    const bool tiles = options.graphics == Options::Graphics::Tiles
        || (options.graphics == Options::Graphics::Default && picture.paletted);
    converted->bitmap = !tiles && options.graphics != Options::Graphics::None;
    int bits = options.bits;
    if (bits == 0)
        bits = picture.paletted ? (picture.depth <= 4 ? 4 : 8) : (tiles ? 8 : 16);
    if (tiles && bits == 16)
        return "tiles have 4 or 8 bits a pixel, not 16 (-gB16 needs -gb)";

    const std::size_t count = std::size_t(picture.width) * std::size_t(picture.height);
    if (bits == 16) {
        for (std::size_t i = 0; i < count && converted->bitmap; ++i)
            appendHalfword(toHandheld(picture.paletted ? picture.palette[picture.indices[i]]
                                                       : picture.pixels[i]),
                &converted->graphics);
        return {};
    }

    Indexed indexed;
    if (picture.paletted) {
        indexed.palette = picture.palette;
        indexed.indices = picture.indices;
        if (options.transparentColourSet) {
            const Colour key = fromRgb(options.transparentColour);
            for (std::size_t i = 0; i < indexed.palette.size(); ++i) {
                if (indexed.palette[i].sameColour(key)) {
                    swapIndices(&indexed, i, 0);
                    break;
                }
            }
        }
    } else {
        const int colours = options.paletteCount ? options.paletteCount : 1 << bits;
        if (const std::string problem
            = quantize(picture, options, std::min(colours, 1 << bits), &indexed);
            !problem.empty())
            return problem;
    }
    if (options.transparentIndex >= 0)
        swapIndices(&indexed, std::size_t(options.transparentIndex), 0);
    const std::uint8_t highest = indexed.indices.empty()
        ? 0
        : *std::max_element(indexed.indices.begin(), indexed.indices.end());
    // A 4-bit map takes the palette bank of each tile; elsewhere every index must fit.
    if (highest >= (1 << bits) && !(tiles && options.map && bits == 4))
        return "the picture uses colour " + std::to_string(highest) + ", more than "
            + std::to_string(bits) + " bits a pixel can number (use -gB8, or fewer colours)";

    if (tiles) {
        if (options.graphics != Options::Graphics::None || options.map)
            if (const std::string problem = makeTiles(picture, options, indexed, bits, converted);
                !problem.empty())
                return problem;
    } else if (converted->bitmap) {
        for (int y = 0; y < picture.height; ++y) {
            const auto row = indexed.indices.begin() + std::ptrdiff_t(y) * picture.width;
            appendPixels(
                std::vector<std::uint8_t>(row, row + picture.width), bits, &converted->graphics);
        }
    }
    if (options.graphics == Options::Graphics::None)
        converted->graphics.clear();

    if (options.palette) {
        std::vector<Colour> palette = indexed.palette;
        if (options.paletteCount)
            palette.resize(std::size_t(options.paletteCount));
        const std::size_t end
            = options.paletteEnd ? std::size_t(options.paletteEnd) : palette.size();
        palette.resize(std::max(end, palette.size()));
        for (std::size_t i = std::size_t(options.paletteStart); i < end; ++i)
            appendHalfword(toHandheld(palette[i]), &converted->palette);
    }
    return {};
}

} // namespace Tarnwick::Pictures
