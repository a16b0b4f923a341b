// Little-endian field decoding from raw bytes, independent of the host's byte order.
#pragma once

#include <cstdint>

namespace sondrax {

inline std::uint16_t LeU16(const unsigned char* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

inline std::uint32_t LeU32(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
         (static_cast<std::uint32_t>(bytes[2]) << 16) |
         (static_cast<std::uint32_t>(bytes[3]) << 24);
}

/// A stored 32-bit size or rate: values of 2^31 and more come out negative.
inline std::int32_t LeI32(const unsigned char* bytes) {
  return static_cast<std::int32_t>(LeU32(bytes));
}

}  // namespace sondrax
