#pragma once

#include <cstdint>
#include <vector>

namespace Tarnwick {

// File contents and images: raw bytes.
using Bytes = std::vector<unsigned char>;

inline std::uint32_t littleEndian32(const Bytes &bytes, std::size_t offset)
{
    return std::uint32_t(bytes[offset]) | std::uint32_t(bytes[offset + 1]) << 8
        | std::uint32_t(bytes[offset + 2]) << 16 | std::uint32_t(bytes[offset + 3]) << 24;
}

inline std::uint16_t littleEndian16(const Bytes &bytes, std::size_t offset)
{
    return std::uint16_t(bytes[offset] | bytes[offset + 1] << 8);
}

} // namespace Tarnwick
