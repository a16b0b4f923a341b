// Hexadecimal text of bytes and 16-bit words: uppercase digits, no prefix or suffix.
#pragma once

#include <cstdint>
#include <string>

namespace sondrax {

/// Two digits, the high nibble first: 10 gives "0A".
std::string ByteToHex(std::uint8_t value);

/// Four digits, the high byte first (the ordinary number, not the file's byte order).
std::string WordToHex(std::uint16_t value);

}  // namespace sondrax
