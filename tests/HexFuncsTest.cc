#include <gtest/gtest.h>

#include "HexFuncs.h"
#include "Sondrax.h"
#include "TestUtil.h"

namespace sondrax {
namespace {

TEST(HexFuncs, ByteAndWordDigitsAreUppercaseHighFirst) {
  const std::pair<int, const char*> bytes[] = {{0, "00"},  {9, "09"},   {10, "0A"},  {15, "0F"},
                                               {16, "10"}, {127, "7F"}, {171, "AB"}, {255, "FF"}};
  for (const auto& [value, text] : bytes) {
    EXPECT_EQ(ByteToHex(static_cast<std::uint8_t>(value)), text);
  }
  const std::pair<int, const char*> words[] = {{0, "0000"},     {1, "0001"},    {85, "0055"},
                                               {255, "00FF"},   {256, "0100"},  {4660, "1234"},
                                               {65534, "FFFE"}, {65535, "FFFF"}};
  for (const auto& [value, text] : words) {
    EXPECT_EQ(WordToHex(static_cast<std::uint16_t>(value)), text);
  }
}

TEST(HexDump, ClosingDependsOnTheCountNotOnTheBytesShown) {
  unsigned char bytes[256];
  for (int i = 0; i < 256; ++i) {
    bytes[i] = static_cast<unsigned char>(i);
  }
  bytes[0] = 0x7F;
  const std::pair<int, std::string> rows[] = {
      {1, " [7F \b]\r\n"},
      {3, " [7F 01 02 \b]\r\n"},
      {12, " [7F 01 02 03 04 05 06 07 08 09 0A 0B \b]\r\n"},
      {13, " [7F 01 02 03 04 05 06 07 08 09 0A 0B ...]\r\n"},
      {65535, " [7F 01 02 03 04 05 06 07 08 09 0A 0B ...]\r\n"},
      {2147483647, " [7F 01 02 03 04 05 06 07 08 09 0A 0B ...]\r\n"},
      {0, " [\b]\r\n"},
      {-1, " [\b]\r\n"},
      {-2147483647 - 1, " [\b]\r\n"},
  };
  for (const auto& row : rows) {
    const std::int32_t count = row.first;
    SCOPED_TRACE(count);
    const auto result = test::CaptureWrites([&] { HexDump(bytes, count); });
    EXPECT_EQ(result.Out, row.second);
  }
}

}  // namespace
}  // namespace sondrax
