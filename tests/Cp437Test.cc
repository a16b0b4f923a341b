// The glyphs of code page 437 as UTF-8, and where a piece of UTF-8 text ends inside a glyph.
#include <gtest/gtest.h>

#include <string>

#include "platform/PathText.h"
#include "report/Cp437.h"

namespace sondrax {
namespace {

TEST(Utf8IncompleteTail, EveryCutThroughAGlyphIsFound) {
  for (int byte = 0; byte < 256; ++byte) {
    SCOPED_TRACE(byte);
    std::string glyph;
    AppendUtf8(Cp437Glyph(static_cast<unsigned char>(byte)), &glyph);
    for (std::size_t cut = 1; cut <= glyph.size(); ++cut) {
      const std::string text = "ab\xE2\x95\x90" + glyph.substr(0, cut);
      EXPECT_EQ(Utf8IncompleteTail(text), cut == glyph.size() ? 0u : cut) << cut;
    }
  }
}

TEST(Utf8IncompleteTail, OnlyABeginningThatCanStillBeCompletedIsHeldBack) {
  struct Row {
    const char* Text;
    std::size_t Tail;
  };
  const Row rows[] = {
      {"", 0},
      {"\r\n", 0},
      {"\b]", 0},
      {"\xC3", 1},              // the first of two
      {"\xF0\x9F\x8E", 3},      // three of four
      {"\xF0\x9F\x8E\xB5", 0},  // a whole sequence of four
      {"\xE2\x95\x90\xE2", 1},  // a whole glyph, then the start of the next
      {"\x95\x90", 0},          // continuation bytes without a start
      {"x\x80\x80\x80", 0},     // more continuation bytes than any start allows
      {"\xC1", 0},              // never the start of a sequence
      {"\xFF", 0},
      {"\xF5\x80", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(std::string(row.Text)));
    EXPECT_EQ(Utf8IncompleteTail(row.Text), row.Tail);
  }
}

}  // namespace
}  // namespace sondrax
