#include "HexFuncs.h"

namespace sondrax {

namespace {
constexpr char HexDigits[] = "0123456789ABCDEF";
}  // namespace

std::string ByteToHex(std::uint8_t value) {
  return std::string{HexDigits[value >> 4], HexDigits[value & 15]};
}

std::string WordToHex(std::uint16_t value) {
  return ByteToHex(static_cast<std::uint8_t>(value >> 8)) +
         ByteToHex(static_cast<std::uint8_t>(value & 255));
}

}  // namespace sondrax
