#include "picture.h"

#include <spng.h>

#include <memory>

namespace Tarnwick::Pictures {

namespace {

constexpr unsigned char PngSignature[] = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n' };
// A PNG's chunks other than the pixels (text, profiles) are of no use here; this bounds what
// libspng keeps of them.
constexpr std::size_t ChunkLimit = 1 << 20;

std::string tooLarge(std::uint64_t width, std::uint64_t height, std::uint64_t maxPixels)
{
    return "the picture is " + std::to_string(width) + "x" + std::to_string(height)
        + " pixels, more than a cartridge can hold (at most " + std::to_string(maxPixels)
        + " pixels)";
}

std::string decodePng(const Bytes &file, std::uint64_t maxPixels, Picture *picture)
{
    const std::unique_ptr<spng_ctx, void (*)(spng_ctx *)> context(spng_ctx_new(0), spng_ctx_free);
    if (!context)
        return "cannot start the PNG decoder";
    spng_ctx *png = context.get();
    spng_set_chunk_limits(png, ChunkLimit, ChunkLimit);
    spng_set_png_buffer(png, file.data(), file.size());
    spng_ihdr header {};
    if (const int error = spng_get_ihdr(png, &header))
        return std::string("the PNG picture is damaged: ") + spng_strerror(error);
    if (std::uint64_t(header.width) * header.height > maxPixels)
        return tooLarge(header.width, header.height, maxPixels);
    picture->width = int(header.width);
    picture->height = int(header.height);
    picture->paletted = header.color_type == SPNG_COLOR_TYPE_INDEXED;
    std::size_t size = 0;
    if (picture->paletted) {
        spng_plte palette {};
        if (const int error = spng_get_plte(png, &palette))
            return std::string("the PNG picture's palette is damaged: ") + spng_strerror(error);
        spng_trns transparency {};
        const bool hasAlpha = spng_get_trns(png, &transparency) == 0;
        for (std::uint32_t i = 0; i < palette.n_entries; ++i) {
            const spng_plte_entry &entry = palette.entries[i];
            picture->palette.push_back({ entry.red, entry.green, entry.blue,
                std::uint8_t(hasAlpha && i < transparency.n_type3_entries
                        ? transparency.type3_alpha[i]
                        : 255) });
        }
        picture->depth = header.bit_depth;
        // Packed as the file packs them, the leftmost pixel in the highest bits.
        Bytes rows;
        if (spng_decoded_image_size(png, SPNG_FMT_PNG, &size) == 0)
            rows.resize(size);
        if (const int error = spng_decode_image(png, rows.data(), rows.size(), SPNG_FMT_PNG, 0))
            return std::string("the PNG picture is cut short or damaged: ") + spng_strerror(error);
        const std::size_t stride = size / header.height;
        picture->indices.resize(std::size_t(header.width) * header.height);
        const int perByte = 8 / header.bit_depth;
        for (std::uint32_t y = 0; y < header.height; ++y) {
            for (std::uint32_t x = 0; x < header.width; ++x) {
                const unsigned char byte = rows[y * stride + x / perByte];
                const int shift = 8 - header.bit_depth * int(x % perByte + 1);
                const int index = (byte >> shift) & ((1 << header.bit_depth) - 1);
                if (std::size_t(index) >= picture->palette.size())
                    return "pixel (" + std::to_string(x) + ", " + std::to_string(y)
                        + ") uses colour " + std::to_string(index)
                        + ", which the picture's palette does not have";
                picture->indices[y * header.width + x] = std::uint8_t(index);
            }
        }
        return {};
    }
    picture->depth = 32;
    if (spng_decoded_image_size(png, SPNG_FMT_RGBA8, &size) == 0)
        picture->pixels.resize(size / sizeof(Colour));
    if (const int error = spng_decode_image(png, picture->pixels.data(),
            picture->pixels.size() * sizeof(Colour), SPNG_FMT_RGBA8, SPNG_DECODE_TRNS))
        return std::string("the PNG picture is cut short or damaged: ") + spng_strerror(error);
    return {};
}

std::string decodeBmp(const Bytes &file, std::uint64_t maxPixels, Picture *picture)
{
    constexpr std::size_t InfoStart = 14;
    constexpr std::size_t InfoSize = 40;
    if (file.size() < InfoStart + InfoSize)
        return "the BMP picture is cut short in its header";
    const std::uint32_t dataStart = littleEndian32(file, 10);
    const std::uint32_t infoSize = littleEndian32(file, 14);
    const auto width = std::int32_t(littleEndian32(file, 18));
    const auto height = std::int32_t(littleEndian32(file, 22));
    const int depth = littleEndian16(file, 28);
    const std::uint32_t compression = littleEndian32(file, 30);
    std::uint32_t colours = littleEndian32(file, 46);
    if (infoSize < InfoSize || width <= 0 || height == 0 || height == INT32_MIN)
        return "the BMP picture's header is damaged";
    // Only the plain forms are read: rows of palette indices or of blue, green, red.
    if ((compression != 0 && !(compression == 3 && depth == 32))
        || (depth != 1 && depth != 4 && depth != 8 && depth != 24 && depth != 32))
        return "the BMP picture is compressed or has " + std::to_string(depth)
            + " bits a pixel; only uncompressed pictures of 1, 4, 8, 24 or 32 bits are read";
    const std::uint64_t rows = std::uint64_t(height < 0 ? -std::int64_t(height) : height);
    if (std::uint64_t(width) * rows > maxPixels)
        return tooLarge(std::uint64_t(width), rows, maxPixels);
    const std::uint64_t stride = (std::uint64_t(width) * depth + 31) / 32 * 4;
    if (dataStart > file.size() || stride * rows > file.size() - dataStart)
        return "the BMP picture is cut short: its rows need " + std::to_string(stride * rows)
            + " bytes after offset " + std::to_string(dataStart);
    picture->width = width;
    picture->height = int(rows);
    picture->paletted = depth <= 8;
    picture->depth = depth;
    if (picture->paletted) {
        if (colours == 0 || colours > (1U << depth))
            colours = 1U << depth;
        const std::size_t paletteStart = InfoStart + infoSize;
        if (paletteStart + 4ULL * colours > dataStart)
            return "the BMP picture's palette is cut short";
        for (std::uint32_t i = 0; i < colours; ++i) {
            const std::size_t at = paletteStart + 4 * i;
            picture->palette.push_back({ file[at + 2], file[at + 1], file[at], 255 });
        }
        picture->indices.resize(std::size_t(width) * rows);
    } else {
        picture->pixels.resize(std::size_t(width) * rows);
    }
    for (std::uint64_t y = 0; y < rows; ++y) {
        // Rows are stored bottom up unless the height is negative.
        const std::size_t row = dataStart + (height > 0 ? rows - 1 - y : y) * stride;
        for (std::int32_t x = 0; x < width; ++x) {
            const std::size_t pixel = y * std::uint64_t(width) + std::uint64_t(x);
            if (depth > 8) {
                const std::size_t at = row + std::size_t(x) * std::size_t(depth / 8);
                picture->pixels[pixel] = { file[at + 2], file[at + 1], file[at], 255 };
                continue;
            }
            const int perByte = 8 / depth;
            const int shift = 8 - depth * (x % perByte + 1);
            const unsigned index
                = (file[row + std::size_t(x / perByte)] >> shift) & ((1U << depth) - 1);
            if (index >= colours)
                return "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") uses colour "
                    + std::to_string(index) + ", which the picture's palette does not have";
            picture->indices[pixel] = std::uint8_t(index);
        }
    }
    return {};
}

} // namespace

std::string decode(const Bytes &file, std::uint64_t maxPixels, Picture *picture)
{
    *picture = Picture();
    if (file.size() >= sizeof PngSignature
        && std::equal(std::begin(PngSignature), std::end(PngSignature), file.begin()))
        return decodePng(file, maxPixels, picture);
    if (file.size() >= 2 && file[0] == 'B' && file[1] == 'M')
        return decodeBmp(file, maxPixels, picture);
    return "it is not a picture: neither a PNG nor a BMP file";
}

} // namespace Tarnwick::Pictures
