#include "lz77.h"

#include <algorithm>

namespace Tarnwick::Pictures {

namespace {

constexpr std::size_t MinLength = 3;
constexpr std::size_t MaxLength = 18;
// The video memory routine writes a halfword at a time, so the byte just unpacked is not
// yet there to copy: distance 1 is never used.
constexpr std::size_t MinDistance = 2;
constexpr std::size_t MaxDistance = 4096;
// How many earlier places with the same three bytes are tried: enough for pictures, whose
// repeats are near, and a bound on the time a long run of one byte takes.
constexpr int MaxTries = 256;
constexpr int HashBits = 14;

std::size_t hashAt(const Bytes &data, std::size_t at)
{
    const std::uint32_t three = std::uint32_t(data[at]) | std::uint32_t(data[at + 1]) << 8
        | std::uint32_t(data[at + 2]) << 16;
    return (three * 2654435761U) >> (32 - HashBits);
}

} // namespace

Bytes packLz77(const Bytes &data)
{
    const std::size_t size = data.size();
    Bytes packed = { 0x10, std::uint8_t(size), std::uint8_t(size >> 8), std::uint8_t(size >> 16) };
    // The latest place of each hash, and before each place the previous one with its hash.
    std::vector<std::ptrdiff_t> latest(std::size_t(1) << HashBits, -1);
    std::vector<std::ptrdiff_t> previous(size, -1);
    std::size_t hashed = 0;
    const auto hashUpTo = [&](std::size_t end) {
        for (; hashed < end && hashed + MinLength <= size; ++hashed) {
            const std::size_t hash = hashAt(data, hashed);
            previous[hashed] = latest[hash];
            latest[hash] = std::ptrdiff_t(hashed);
        }
    };

    std::size_t at = 0;
    while (at < size) {
        const std::size_t flags = packed.size();
        packed.push_back(0);
        for (int item = 7; item >= 0 && at < size; --item) {
            hashUpTo(at);
            std::size_t bestLength = 0;
            std::size_t bestDistance = 0;
            if (at + MinLength <= size) {
                const std::size_t limit = std::min(MaxLength, size - at);
                int tries = 0;
                for (std::ptrdiff_t from = latest[hashAt(data, at)];
                     from >= 0 && at - std::size_t(from) <= MaxDistance && tries < MaxTries;
                     from = previous[std::size_t(from)], ++tries) {
                    if (at - std::size_t(from) < MinDistance)
                        continue;
                    std::size_t length = 0;
                    while (length < limit && data[std::size_t(from) + length] == data[at + length])
                        ++length;
                    if (length > bestLength) {
                        bestLength = length;
                        bestDistance = at - std::size_t(from);
                    }
                    if (length == limit)
                        break;
                }
            }
            if (bestLength >= MinLength) {
                packed[flags] |= std::uint8_t(1 << item);
                packed.push_back(
                    std::uint8_t((bestLength - MinLength) << 4 | (bestDistance - 1) >> 8));
                packed.push_back(std::uint8_t(bestDistance - 1));
                at += bestLength;
            } else {
                packed.push_back(data[at++]);
            }
        }
    }
    packed.resize((packed.size() + 3) / 4 * 4, 0);
    return packed;
}

} // namespace Tarnwick::Pictures
