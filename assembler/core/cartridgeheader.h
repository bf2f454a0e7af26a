#pragma once

#include "bytes.h"

#include <array>
#include <string>

namespace Tarnwick {

// The first 192 bytes of a cartridge image are its header. The handheld's boot code
// refuses to start a cartridge unless two of those bytes are right, so every image we
// write gets them filled in here. The boot code also compares the logo area with the logo
// in its firmware; we ship no logo, and know it only by its digest. A logo the person
// kept from an image of their own is put into an image's logo area when that area is
// blank; bytes a source wrote there are never replaced.
class CartridgeHeader
{
public:
    static constexpr std::size_t Size = 0xC0;
    static constexpr std::size_t LogoOffset = 0x04;
    static constexpr std::size_t LogoSize = 0x9C;
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

    // A SHA-256 digest.
    using Digest = std::array<unsigned char, 32>;

    // Whether the image can carry a header: long enough, not too large, and starting
    // with an unconditional ARM branch past the header (the CPU starts at the first byte
    // in ARM state, and the header is data).
    static Fault check(const Bytes &image);

    // The byte that makes ChecksumBias plus the bytes ChecksumFirst..ChecksumOffset
    // add up to zero modulo 256. Needs more than ChecksumOffset bytes.
    static unsigned char checksumFor(const Bytes &image);

    // Whether candidate is exactly LogoSize bytes whose SHA-256 digest is expected.
    static bool isLogo(const Bytes &candidate, const Digest &expected);

    // If check() finds no fault: puts logo into the logo area when it is LogoSize bytes
    // and the area holds only zeros, then fills in the fixed byte and the checksum. The
    // image is left unchanged otherwise. An empty logo leaves the area as it is.
    static Fault complete(Bytes &image, const Bytes &logo = {});

    // The title field for an image written to outputPath: the file name without its
    // folder and last extension, upper-case ASCII, at most TitleSize characters. Other
    // characters are left out.
    static std::string titleFor(const std::string &outputPath);

    // Writes title into the title field, padded with zeros. Needs a whole header.
    static void setTitle(Bytes &image, const std::string &title);
};

} // namespace Tarnwick
