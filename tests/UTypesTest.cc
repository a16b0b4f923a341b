#include <gtest/gtest.h>

#include <set>

#include "UTypes.h"

namespace sondrax {
namespace {

TEST(IdText, StopsAtTheFirstZeroByteAndTakesAtMostFour) {
  const unsigned char in[] = {'I', 'N', 0, 'X'};
  const unsigned char zero[] = {0, 'A', 'B', 'C'};
  const unsigned char full[] = {'f', 'm', 't', ' ', 'X'};
  const unsigned char high[] = {0xFA, 0xFA, 0xFA, 0xFA};
  EXPECT_EQ(IdText(in), "IN");
  EXPECT_EQ(IdText(zero), "");
  EXPECT_EQ(IdText(full), "fmt ");
  EXPECT_EQ(IdText(high), "\xFA\xFA\xFA\xFA");
}

TEST(Records, FieldsDecodeLittleEndianAndSizesAreSigned) {
  FormatChunkRec format;
  const unsigned char body[18] = {0xFE, 0xFF, 2,    0, 0x44, 0xAC, 0, 0,    0,
                                  0,    0,    0x80, 4, 0,    16,   0, 0xFF, 0xFF};
  std::copy(std::begin(body), std::end(body), format.Bytes);
  EXPECT_EQ(format.FormatTag(), 65534);
  EXPECT_EQ(format.Channels(), 2);
  EXPECT_EQ(format.SamplesPerSec(), 44100);
  EXPECT_EQ(format.AvgBytesPerSec(), -2147483647 - 1);
  EXPECT_EQ(format.BlockAlign(), 4);
  EXPECT_EQ(format.BitsPerSample(), 16);
  EXPECT_EQ(format.ExtraSize(), 65535);
}

TEST(FormatTagName, CatalogueHas114DistinctTextsAndADefault) {
  std::set<std::string> texts;
  int named = 0;
  for (int tag = 0; tag <= 0xFFFF; ++tag) {
    const std::string text = FormatTagName(static_cast<std::uint16_t>(tag));
    ASSERT_FALSE(text.empty());
    if (text != "(unknown)") {
      ++named;
      texts.insert(text);
    }
  }
  EXPECT_EQ(named, 114);
  EXPECT_EQ(texts.size(), 114u);
  EXPECT_EQ(FormatTagCount(), 114);
}

TEST(FormatTagName, EdgesOfTheTable) {
  const std::pair<int, const char*> rows[] = {
      {0x0000, "(Microsoft - unknown)"},
      {0x0001, "Microsoft - uncompressed PCM"},
      {0x0003, "Microsoft - IEEE floating point"},
      {0x0055, "AT&T Labs, Inc. - ISO/MPEG Layer-3 Audio"},
      {0x0100, "Rhetorex, Inc. - Rhetorex ADPCM"},
      {0x0203, "Creative Labs, Inc. - Creative FastSpeech10"},
      {0x1C07, "Lucent SX8300P Speech"},
      {0xFFFA, "VDOwave SA"},
      {0xFFFC, "VDOwave I"},
      {0xFFFF, "(reserved for development)"},
  };
  for (const auto& [tag, text] : rows) {
    EXPECT_EQ(FormatTagName(static_cast<std::uint16_t>(tag)), text);
  }
  for (int tag : {8, 15, 0x0068, 0x0087, 0x1005, 0x8000, 0xFFFB, 0xFFFD, 0xFFFE}) {
    EXPECT_EQ(FormatTagName(static_cast<std::uint16_t>(tag)), "(unknown)") << tag;
  }
}

TEST(FormatTagName, MuLawTextCarriesTheCodePageByte) {
  const std::string text = FormatTagName(7);
  ASSERT_EQ(text.size(), 23u);
  EXPECT_EQ(text[18], '\xE6');
  EXPECT_EQ(text, "Microsoft - CCITT \xE6-Law");
}

}  // namespace
}  // namespace sondrax
