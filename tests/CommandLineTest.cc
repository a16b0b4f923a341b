#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/CommandLine.h"

namespace sondrax {
namespace {

using Tokens = std::vector<std::string>;

struct SplitRow {
  const char* Line;
  Tokens Expected;
};

void ExpectRows(const std::vector<SplitRow>& rows) {
  for (const SplitRow& row : rows) {
    SCOPED_TRACE(row.Line);
    EXPECT_EQ(SplitCommandLine(row.Line), row.Expected);
  }
}

TEST(SplitCommandLine, SeparatorsAreBlanksAndControlBytesOnly) {
  ExpectRows({
      {"", {}},
      {"   \t ", {}},
      {"sondrax", {"sondrax"}},
      {"sondrax a.wav", {"sondrax", "a.wav"}},
      {"  sondrax \t a.wav\r\n b.wav  ", {"sondrax", "a.wav", "b.wav"}},
      {"sondrax\001a\037b\040c", {"sondrax", "a", "b", "c"}},
      // 0x7F and the bytes of the upper half are ordinary characters.
      {"sondrax \x7F\x80\xA0\xFF", {"sondrax", "\x7F\x80\xA0\xFF"}},
  });
}

TEST(SplitCommandLine, QuotedRunsJoinTheirNeighbours) {
  ExpectRows({
      {"sondrax \"my file.wav\"", {"sondrax", "my file.wav"}},
      {"sondrax a\"b c\"d", {"sondrax", "ab cd"}},
      {"\"C:\\Program Files\\sondrax.exe\" x", {"C:\\Program Files\\sondrax.exe", "x"}},
      {"sondrax \"a\"\"b\"", {"sondrax", "ab"}},
      {"sondrax \"\ttab\"  next", {"sondrax", "\ttab", "next"}},
      // An unclosed quote runs to the end of the line, blanks included.
      {"sondrax \"open run  ", {"sondrax", "open run  "}},
  });
}

TEST(SplitCommandLine, EmptyPairsBeforeATokenAreSkippedALoneQuoteIsAnEmptyToken) {
  ExpectRows({
      {"sondrax \"\"", {"sondrax"}},
      {"sondrax \"\" \"\"  a.wav", {"sondrax", "a.wav"}},
      {"sondrax \"\"a.wav", {"sondrax", "a.wav"}},
      {"sondrax a.wav\"\"", {"sondrax", "a.wav"}},
      {"sondrax \"", {"sondrax", ""}},
      {"sondrax a.wav \"", {"sondrax", "a.wav", ""}},
      // A pair is skipped, then the third quote opens a run to the end.
      {"sondrax \"\"\" x", {"sondrax", " x"}},
  });
}

TEST(SplitCommandLine, BackslashIsAnOrdinaryCharacter) {
  ExpectRows({
      {"sondrax C:\\dir\\a.wav", {"sondrax", "C:\\dir\\a.wav"}},
      {"sondrax \"C:\\dir\\\" b", {"sondrax", "C:\\dir\\", "b"}},
      {"sondrax a\\\"b c\"", {"sondrax", "a\\b c"}},
      {"sondrax \\\\server\\share\\", {"sondrax", "\\\\server\\share\\"}},
  });
}

TEST(SplitCommandLine, TheTextEndsAtItsFirstZeroByte) {
  const std::string line("sondrax a.wav\0b.wav", 19);
  EXPECT_EQ(SplitCommandLine(line.c_str()), (Tokens{"sondrax", "a.wav"}));
  EXPECT_EQ(SplitCommandLine(nullptr), Tokens{});
}

// A double-byte code page: bytes from 0x81 lead a two-byte character whose second byte may
// be any byte, a quote or a blank included.
const char* DoubleByteAdvance(const char* at) {
  if (*at == '\0') {
    return at;
  }
  if (static_cast<unsigned char>(*at) >= 0x81 && at[1] != '\0') {
    return at + 2;
  }
  return at + 1;
}

TEST(SplitCommandLine, MultiByteCharactersAreNeverTakenApart) {
  const char* line = "sondrax \x81\"x \x82 y";
  EXPECT_EQ(SplitCommandLine(line, DoubleByteAdvance), (Tokens{"sondrax", "\x81\"x", "\x82 y"}));
  // Stepped byte by byte, the same bytes hold a quote and a separator.
  EXPECT_EQ(SplitCommandLine(line), (Tokens{"sondrax", "\x81x \x82 y"}));
  // A lead byte right before the end does not take the terminating zero with it.
  EXPECT_EQ(SplitCommandLine("sondrax \x81", DoubleByteAdvance), (Tokens{"sondrax", "\x81"}));
}

const char* StuckAdvance(const char* at) { return at; }
const char* OverlongAdvance(const char* at) { return at + 100; }

TEST(SplitCommandLine, AMisbehavingAdvanceNeitherSpinsNorOverruns) {
  EXPECT_EQ(SplitCommandLine("sondrax ab", StuckAdvance), (Tokens{"sondrax", "ab"}));
  EXPECT_EQ(SplitCommandLine("sondrax ab", OverlongAdvance), (Tokens{"sondrax ab"}));
}

}  // namespace
}  // namespace sondrax
