#pragma once

#include "bytes.h"

#include <string>

namespace Tarnwick {

// The first 192 bytes of a cartridge image are its header. The handheld's boot code
// refuses to start a cartridge unless two of those bytes are right, so every image we
// write gets them filled in here. The logo area is never touched: we ship no logo.
class CartridgeHeader
{
public:
    static constexpr std::size_t Size = 0xC0;
    static constexpr std::size_t TitleOffset = 0xA0;
    static constexpr std::size_t TitleSize = 12;
    static constexpr std::size_t FixedValueOffset = 0xB2;
    static constexpr unsigned char FixedValue = 0x96;
    static constexpr std::size_t ChecksumOffset = 0xBD;
    static constexpr std::size_t ChecksumFirst = 0xA0;
    static constexpr unsigned ChecksumBias = 0x19;
    // Cartridge space the CPU can address; a bigger image cannot run.
    static constexpr std::size_t MaxImageSize = 32 * 1024 * 1024;

    enum class Fault { None, TooShort, TooLarge, NoBranchPastHeader };

    // Whether the image can carry a header: long enough, not too large, and starting
    // with an unconditional ARM branch past the header (the CPU starts at the first byte
    // in ARM state, and the header is data).
    static Fault check(const Bytes &image);

    // The byte that makes ChecksumBias plus the bytes ChecksumFirst..ChecksumOffset
    // add up to zero modulo 256. Needs more than ChecksumOffset bytes.
    static unsigned char checksumFor(const Bytes &image);

    // Fills in the fixed byte and the checksum if check() finds no fault; the image is
    // left unchanged otherwise.
    static Fault complete(Bytes &image);

    // The title field for an image written to outputPath: the file name without its
    // folder and last extension, upper-case ASCII, at most TitleSize characters. Other
    // characters are left out.
    static std::string titleFor(const std::string &outputPath);

    // Writes title into the title field, padded with zeros. Needs a whole header.
    static void setTitle(Bytes &image, const std::string &title);
};

} // namespace Tarnwick
