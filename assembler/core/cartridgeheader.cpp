#include "cartridgeheader.h"

#include <algorithm>

#include <nettle/sha2.h>

namespace Tarnwick {

namespace {

constexpr std::uint32_t ConditionMask = 0xFF000000u;
constexpr std::uint32_t BranchAlways = 0xEA000000u;
constexpr std::uint32_t BranchWithLinkAlways = 0xEB000000u;
constexpr std::uint32_t OffsetMask = 0x00FFFFFFu;
constexpr std::int64_t PipelineAhead = 8;

// Checking this keeps us from patching bytes 0xB2 and 0xBD of a source that put code
// there.
bool branchesPastHeader(const Bytes &image)
{
    const std::uint32_t word = littleEndian32(image, 0);
    const std::uint32_t opcode = word & ConditionMask;
    if (opcode != BranchAlways && opcode != BranchWithLinkAlways)
        return false;
    std::int64_t offset = word & OffsetMask;
    if (offset & 0x00800000)
        offset -= 0x01000000;
    const std::int64_t target = PipelineAhead + offset * 4;
    return target >= std::int64_t(CartridgeHeader::Size) && target < std::int64_t(image.size());
}

} // namespace

CartridgeHeader::Fault CartridgeHeader::check(const Bytes &image)
{
    if (image.size() < Size)
        return Fault::TooShort;
    if (image.size() > MaxImageSize)
        return Fault::TooLarge;
    if (!branchesPastHeader(image))
        return Fault::NoBranchPastHeader;
    return Fault::None;
}

unsigned char CartridgeHeader::checksumFor(const Bytes &image)
{
    unsigned sum = ChecksumBias;
    for (std::size_t i = ChecksumFirst; i < ChecksumOffset; ++i)
        sum += image.at(i);
    return static_cast<unsigned char>((0x100 - (sum & 0xFF)) & 0xFF);
}

bool CartridgeHeader::isLogo(const Bytes &candidate, const Digest &expected)
{
    static_assert(std::tuple_size_v<Digest> == SHA256_DIGEST_SIZE);
    if (candidate.size() != LogoSize)
        return false;
    sha256_ctx context;
    sha256_init(&context);
    sha256_update(&context, candidate.size(), candidate.data());
    Digest digest;
    sha256_digest(&context, digest.size(), digest.data());
    return digest == expected;
}

CartridgeHeader::Fault CartridgeHeader::complete(Bytes &image, const Bytes &logo)
{
    const Fault fault = check(image);
    if (fault != Fault::None)
        return fault;
    const auto area = image.begin() + LogoOffset;
    if (logo.size() == LogoSize
        && std::all_of(area, area + LogoSize, [](auto b) { return b == 0; }))
        std::copy(logo.begin(), logo.end(), area);
    // The checksum comes last, over the header as it is written.
    image[FixedValueOffset] = FixedValue;
    image[ChecksumOffset] = checksumFor(image);
    return Fault::None;
}

std::string CartridgeHeader::titleFor(const std::string &outputPath)
{
    std::string name = outputPath.substr(outputPath.find_last_of('/') + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0)
        name.erase(dot);
    std::string title;
    for (const char c : name) {
        if (title.size() == TitleSize)
            break;
        if (c >= 'a' && c <= 'z')
            title += char(c - 'a' + 'A');
        else if (c >= 0x20 && c < 0x7F)
            title += c;
    }
    return title;
}

void CartridgeHeader::setTitle(Bytes &image, const std::string &title)
{
    const std::size_t length = std::min(title.size(), TitleSize);
    std::fill_n(image.begin() + TitleOffset, TitleSize, 0);
    std::copy_n(title.begin(), length, image.begin() + TitleOffset);
}

} // namespace Tarnwick
