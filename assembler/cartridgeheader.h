#pragma once

#include <QByteArray>
#include <QString>

namespace Tarnwick {

// The first 192 bytes of a cartridge image are its header. The handheld's
// boot code refuses to start a cartridge unless two of those bytes are right,
// so every image we write gets them filled in here.
class CartridgeHeader
{
public:
    static constexpr int Size = 0xC0;
    static constexpr int FixedValueOffset = 0xB2;
    static constexpr char FixedValue = char(0x96);
    static constexpr int ChecksumOffset = 0xBD;
    static constexpr int ChecksumFirst = 0xA0;
    static constexpr int ChecksumBias = 0x19;
    // Cartridge space the CPU can address; a bigger image cannot run.
    static constexpr qsizetype MaxImageSize = 32 * 1024 * 1024;

    // The byte that makes ChecksumBias plus the bytes ChecksumFirst..ChecksumOffset
    // add up to zero modulo 256. Needs at least ChecksumOffset bytes.
    static char checksumFor(const QByteArray &image);

    // Fills in the fixed byte and the checksum. Returns an empty string on
    // success, otherwise why the image cannot carry a header; the image is
    // left unchanged then.
    static QString complete(QByteArray &image);
};

} // namespace Tarnwick
