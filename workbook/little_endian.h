// Numbers stored little-endian, as the compound file and BIFF records (and UTF-16LE and UTF-32LE
// text) hold them, read from bytes without regard to the machine's byte order or alignment.
#pragma once

#include <cstdint>
#include <cstring>

namespace quenly::wb {

inline std::uint16_t le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

/// An IEEE 754 double of eight bytes.
inline double leDouble(const std::uint8_t* p) {
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) {
        bits = (bits << 8) | p[i];
    }
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

} // namespace quenly::wb
