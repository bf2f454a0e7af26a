#include "cartridgeheader.h"

#include <QtGlobal>

namespace Tarnwick {

namespace {

constexpr quint32 ConditionMask = 0xFF000000u;
constexpr quint32 BranchAlways = 0xEA000000u;
constexpr quint32 BranchWithLinkAlways = 0xEB000000u;
constexpr quint32 OffsetMask = 0x00FFFFFFu;
constexpr qint64 PipelineAhead = 8;

quint32 littleEndianWord(const QByteArray &bytes, int offset)
{
    quint32 word = 0;
    for (int i = 3; i >= 0; --i)
        word = (word << 8) | quint8(bytes.at(offset + i));
    return word;
}

// The CPU starts at the first byte in ARM state, and the header is data, so
// the first word has to be an unconditional ARM branch over it. Checking this
// keeps us from patching bytes 0xB2 and 0xBD of a source that put code there.
bool branchesPastHeader(const QByteArray &image)
{
    const quint32 word = littleEndianWord(image, 0);
    const quint32 opcode = word & ConditionMask;
    if (opcode != BranchAlways && opcode != BranchWithLinkAlways)
        return false;
    qint64 offset = word & OffsetMask;
    if (offset & 0x00800000)
        offset -= 0x01000000;
    const qint64 target = PipelineAhead + offset * 4;
    return target >= CartridgeHeader::Size && target < image.size();
}

} // namespace

char CartridgeHeader::checksumFor(const QByteArray &image)
{
    Q_ASSERT(image.size() >= ChecksumOffset);
    unsigned sum = ChecksumBias;
    for (int i = ChecksumFirst; i < ChecksumOffset; ++i)
        sum += quint8(image.at(i));
    return char((0x100 - (sum & 0xFF)) & 0xFF);
}

QString CartridgeHeader::complete(QByteArray &image)
{
    if (image.size() < Size) {
        return QStringLiteral("the image is %1 bytes, shorter than the cartridge header; the "
                              "source must reserve the 192-byte header (start with a branch "
                              "past it, then .space 188)")
            .arg(image.size());
    }
    if (image.size() > MaxImageSize) {
        return QStringLiteral("the image is %1 bytes, more than the %2 bytes a cartridge can hold")
            .arg(image.size())
            .arg(MaxImageSize);
    }
    if (!branchesPastHeader(image)) {
        return QStringLiteral("the first instruction must be an ARM branch past the 192-byte "
                              "cartridge header (for example \"b start\", then .space 188)");
    }
    image[FixedValueOffset] = FixedValue;
    image[ChecksumOffset] = checksumFor(image);
    return {};
}

} // namespace Tarnwick
