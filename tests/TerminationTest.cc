// Every walk of the report ends, whatever sizes the file declares: the "fmt " search, the
// fact/data walk, the LIST cycles and the INFO item loop.
//
// The work of a run is counted as the platform calls it makes on its input file (the window
// makes them rare), by the in-memory platform, which has a fuse: once a run has made more calls
// than its file's length allows, every further call fails, so a walk that goes round over the
// file ends at once with a fatal error and the test reports the exceeded budget instead of
// hanging. A walk that went round inside one window would make no call; its test would run into
// the time limit that ctest sets.
#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "TestUtil.h"

namespace sondrax {
namespace {

using test::ChunkHeader;
using test::Cp437;
using test::Le32;
using test::Riff;

struct Work {
  test::RunResult Result;
  std::uint64_t SystemCalls = 0;  // platform calls on the input file
  bool BudgetExceeded = false;
};

Work RunCounted(const test::MemoryFile& file) {
  test::FakeOptions fuse;
  fuse.CallLimit = test::SystemCallBudget(file.Size());
  Work work;
  work.Result = test::RunOnFile(file, fuse);
  work.SystemCalls = work.Result.InputCalls;
  work.BudgetExceeded = work.Result.CallLimitReached;
  return work;
}

Work RunCounted(const std::string& bytes) { return RunCounted(test::MemoryFile{bytes, -1, ""}); }

// The report's last line, without its CR LF (the whole rest when the last line is open).
std::string LastLine(const std::string& out) {
  std::string text = out;
  if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) {
    text.resize(text.size() - 2);
  }
  const std::size_t start = text.rfind("\r\n");
  return start == std::string::npos ? text : text.substr(start + 2);
}

std::size_t CountOf(const std::string& text, const std::string& piece) {
  std::size_t count = 0;
  for (std::size_t at = text.find(piece); at != std::string::npos;
       at = text.find(piece, at + piece.size())) {
    ++count;
  }
  return count;
}

std::string Repeat(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) {
    text += piece;
  }
  return text;
}

const std::string kNegativeChunk = "*ERROR*: Negative chunk size in WAVE file.";
const std::string kPastEnd = "Versuch hinter dem Dateiende zu lesen.";
const std::string kNegativeSeek = "E/A-Fehler 131.";

struct Case {
  const char* Name;
  std::string File;
  std::string LastLine;  // code page 437 text as written readably, see test::Cp437
  int Code;
  std::string ErrorLine;  // the fatal error text's second line, or empty for none
};

void ExpectEnds(const Case& row) {
  SCOPED_TRACE(row.Name);
  const Work work = RunCounted(row.File);
  EXPECT_FALSE(work.BudgetExceeded) << work.SystemCalls << " calls";
  EXPECT_EQ(LastLine(work.Result.Out), test::Cp437(row.LastLine));
  EXPECT_EQ(work.Result.Code, row.Code);
  if (row.ErrorLine.empty()) {
    EXPECT_EQ(work.Result.Err, "");
  } else {
    EXPECT_NE(work.Result.Err.find("\r\n" + row.ErrorLine + "\r\n"), std::string::npos)
        << work.Result.Err;
  }
}

// ---- The fuse itself ---------------------------------------------------------------------

TEST(WorkBudget, AWalkOverItsBudgetWouldBeCaught) {
  // Prove the fuse works: with a budget too small for the file, the run is cut off with the
  // fuse's error instead of ending normally.
  const std::string file = test::PcmThen("");
  test::FakeOptions few_calls;
  few_calls.CallLimit = 2;
  const auto cut = test::RunOnBytes(file, few_calls);
  EXPECT_TRUE(cut.CallLimitReached);
  EXPECT_EQ(cut.Code, 1);
  EXPECT_NE(cut.Err.find("E/A-Fehler 9998."), std::string::npos);

  const Work normal = RunCounted(file);
  EXPECT_FALSE(normal.BudgetExceeded);
  EXPECT_GT(normal.SystemCalls, 2u);
  EXPECT_EQ(LastLine(normal.Result.Out), test::Cp437("■ LIST              :          ÷"));
}

// ---- The "fmt " search -------------------------------------------------------------------

TEST(FormatSearchEnds, NegativeWrappingAndSelfPointingSizes) {
  const std::string fmt_label = "■ fmt               : ";
  const Case rows[] = {
      {"size -8 points back at its own header",
       Riff(ChunkHeader("JUNK", 0xFFFFFFF8u) + test::PcmFmtChunk()), fmt_label + kNegativeChunk, 0,
       ""},
      {"size -1", Riff(ChunkHeader("JUNK", 0xFFFFFFFFu) + test::PcmFmtChunk()),
       fmt_label + kNegativeChunk, 0, ""},
      {"size -20 points before the file's start",
       Riff(ChunkHeader("JUNK", 0xFFFFFFECu) + test::PcmFmtChunk()), fmt_label + kNegativeChunk, 0,
       ""},
      {"size -2^31", Riff(ChunkHeader("JUNK", 0x80000000u) + test::PcmFmtChunk()),
       fmt_label + kNegativeChunk, 0, ""},
      {"a sum past 2^31 - 1 is a seek to a negative position",
       Riff(ChunkHeader("JUNK", 0x7FFFFFFFu) + test::PcmFmtChunk()), fmt_label, 1, kNegativeSeek},
      {"a sum just below 2^31 lands past the end",
       Riff(ChunkHeader("JUNK", 0x7FFFFFE0u) + test::PcmFmtChunk()),
       "*ERROR*: Format chunk not found in WAVE file.", 0, ""},
      {"zero sizes to the end of the file", Riff(Repeat(ChunkHeader("JUNK", 0), 200)),
       "*ERROR*: Format chunk not found in WAVE file.", 0, ""},
      {"odd sizes whose next byte is no pad", Riff(Repeat(ChunkHeader("JUNK", 1) + "x", 100)),
       "*ERROR*: Format chunk not found in WAVE file.", 0, ""},
      {"a header cut short", Riff(Repeat(ChunkHeader("JUNK", 0), 3) + "fmt"), fmt_label, 1,
       kPastEnd},
  };
  for (const Case& row : rows) {
    ExpectEnds(row);
  }
}

// ---- The fact/data walk ------------------------------------------------------------------

TEST(FactDataWalkEnds, NegativeWrappingAndSelfPointingSizes) {
  auto file = [](const std::string& walk) { return Riff(test::PcmFmtChunk() + walk); };
  const Case rows[] = {
      {"fact size -8", file(ChunkHeader("fact", 0xFFFFFFF8u) + ChunkHeader("data", 0)),
       kNegativeChunk, 0, ""},
      {"fact size -2^31", file(ChunkHeader("fact", 0x80000000u) + ChunkHeader("data", 0)),
       kNegativeChunk, 0, ""},
      {"fact body reaching past 2^31 - 1",
       file(ChunkHeader("fact", 0x7FFFFFFFu) + std::string(300, 'f') + ChunkHeader("data", 0)),
       " \"fact\" chunk size  : 2147483647", 1, kPastEnd},
      {"fact bodies of size 0 up to the end", file(Repeat(ChunkHeader("fact", 0), 100)),
       "■ data              : *ERROR*: Data chunk not found in WAVE file.", 0, ""},
      {"data size -8", file(ChunkHeader("data", 0xFFFFFFF8u) + "abcdefgh"),
       "*ERROR*: Possibly broken wave file.", 0, ""},
      {"data size -2^31", file(ChunkHeader("data", 0x80000000u)),
       "*ERROR*: Possibly broken wave file.", 0, ""},
      {"data size 2^31 - 1", file(ChunkHeader("data", 0x7FFFFFFFu)),
       "*ERROR*: Possibly broken wave file.", 0, ""},
  };
  for (const Case& row : rows) {
    ExpectEnds(row);
  }
}

// ---- The LIST cycles and the INFO item loop ---------------------------------------------

TEST(ListCyclesEnd, NegativeWrappingAndSelfPointingSizes) {
  const std::string absent = "■ LIST              :          ÷";
  const Case rows[] = {
      {"a chunk of size -8 after the data", test::PcmThen(ChunkHeader("JUNK", 0xFFFFFFF8u)),
       "■ LIST              : " + kNegativeChunk, 0, ""},
      {"a chunk of size -2^31 after the data",
       test::PcmThen(ChunkHeader("JUNK", 0x80000000u) + "INFO"),
       "■ LIST              : " + kNegativeChunk, 0, ""},
      {"a chunk whose end wraps past 2^31 - 1",
       test::PcmThen(ChunkHeader("JUNK", 0x7FFFFFFFu) + "INFO"), "■ LIST              : ", 1,
       kNegativeSeek},
      // A LIST is never entered backwards: the next cycle starts after its list type.
      {"a LIST of size -8",
       test::PcmThen(ChunkHeader("LIST", 0xFFFFFFF8u) + "adtl" + ChunkHeader("JUNK", 0)), absent, 0,
       ""},
      {"a LIST of size -2^31",
       test::PcmThen(ChunkHeader("LIST", 0x80000000u) + "INFO" + ChunkHeader("JUNK", 0)), absent, 0,
       ""},
      {"LISTs nested in LISTs",
       test::PcmThen(Repeat(ChunkHeader("LIST", 0x7FFFFFFFu) + "adtl", 50) +
                     ChunkHeader("JUNK", 0)),
       absent, 0, ""},
      {"an INFO LIST smaller than its list type",
       test::PcmThen(ChunkHeader("LIST", 2) + "INFO" + ChunkHeader("INAM", 2) + "ab"), absent, 0,
       ""},
      {"INFO items of size 0 to the end",
       test::PcmThen(ChunkHeader("LIST", 0x7FFFFF00u) + "INFO" +
                     Repeat(ChunkHeader("INAM", 0), 100)),
       "    ∙ \"INAM\" size   :          0 []", 0, ""},
      {"an INFO item of size -8",
       test::PcmThen(ChunkHeader("LIST", 20) + "INFO" + ChunkHeader("INAM", 0xFFFFFFF8u) +
                     "abcdefgh"),
       "*ERROR*: Negative INFO item size in WAVE file.", 0, ""},
      {"an INFO item whose end wraps past 2^31 - 1",
       test::PcmThen(ChunkHeader("LIST", 20) + "INFO" + ChunkHeader("INAM", 0x7FFFFFFFu) +
                     "abcdefgh"),
       "    ∙ \"INAM\" size   : 2147483647 (binary/large)", 1, kNegativeSeek},
      {"an INFO item passed over beyond the end",
       test::PcmThen(ChunkHeader("LIST", 20) + "INFO" + ChunkHeader("INAM", 0x7FFFFF00u) +
                     "abcdefgh"),
       "    ∙ \"INAM\" size   : 2147483392 (binary/large)", 0, ""},
  };
  for (const Case& row : rows) {
    ExpectEnds(row);
  }
}

// ---- Work in proportion to the file -------------------------------------------------------

// One more step of a walk costs the same at any length: within one window, no platform call.
TEST(WorkBudget, EachWalkCostsTheSameForEveryFurtherChunk) {
  struct Walk {
    const char* Name;
    std::string (*File)(int steps);
    std::string Step;  // what every step adds to the report, to count the steps
  };
  const Walk walks[] = {
      {"fmt search over empty chunks",
       [](int n) {
         return Riff(Repeat(ChunkHeader("JUNK", 0), n) + test::PcmFmtChunk() +
                     ChunkHeader("data", 0));
       },
       ""},
      {"fact walk over empty chunks",
       [](int n) {
         return Riff(test::PcmFmtChunk() + Repeat(ChunkHeader("fact", 0), n) +
                     ChunkHeader("data", 0));
       },
       " \"fact\" chunk size  :          0"},
      {"LIST search over empty chunks",
       [](int n) { return test::PcmThen(Repeat(ChunkHeader("JUNK", 0), n)); }, ""},
      {"LIST cycles over empty lists",
       [](int n) { return test::PcmThen(Repeat(ChunkHeader("LIST", 4) + "adtl", n)); },
       " \"LIST\" data type   :       adtl"},
      {"INFO items of size 0",
       [](int n) {
         return test::PcmThen(ChunkHeader("LIST", static_cast<std::uint32_t>(4 + 8 * n)) + "INFO" +
                              Repeat(ChunkHeader("INAM", 0), n));
       },
       "    ∙ \"INAM\" size   :          0 []"},
  };
  for (const Walk& walk : walks) {
    SCOPED_TRACE(walk.Name);
    std::uint64_t system_calls[3] = {};
    for (int k = 0; k < 3; ++k) {
      const int steps = 100 * (k + 1);
      const Work work = RunCounted(walk.File(steps));
      ASSERT_FALSE(work.BudgetExceeded);
      EXPECT_EQ(work.Result.Err, "");
      if (!walk.Step.empty()) {
        EXPECT_EQ(CountOf(work.Result.Out, test::Cp437(walk.Step)),
                  static_cast<std::size_t>(steps));
      }
      system_calls[k] = work.SystemCalls;
    }
    // The whole walk lies in one window: further steps cost no platform call at all.
    EXPECT_EQ(system_calls[2], system_calls[0]);
  }
}

// Every size field of a file that holds every kind of chunk, set to each value that could
// send a walk backwards, in circles or round 2^31: every run ends within its budget, with exit
// code 0 and no error text, or exit code 1 and the fatal error text.
TEST(WorkBudget, EveryHostileSizeInEverySizeField) {
  std::string file = "RIFF" + Le32(0) + "WAVE";
  std::vector<std::size_t> size_fields = {4};
  auto add = [&](const std::string& id, const std::string& body) {
    size_fields.push_back(file.size() + 4);
    file += ChunkHeader(id, static_cast<std::uint32_t>(body.size())) + body;
  };
  add("JUNK", "jjjj");
  add("fmt ", test::FmtBody(1, 1, 8000, 8000, 1, 8));
  add("fact", Le32(7));
  add("data", "sssssss");
  file += '\0';
  add("smpl", "");
  const std::size_t list_at = file.size();
  add("LIST", "adtl");
  const std::size_t info_at = file.size();
  file += ChunkHeader("LIST", 0) + "INFO";
  size_fields.push_back(info_at + 4);
  add("INAM", "Title");
  file += '\0';
  add("ICMT", std::string(40, 'c'));
  add("ISFT", std::string(255, 's'));
  add("IART", "");
  file.replace(info_at + 4, 4, Le32(static_cast<std::uint32_t>(file.size() - info_at - 8)));
  add("JUNK", "tail");
  ASSERT_EQ(file.compare(list_at, 4, "LIST"), 0);

  const std::uint32_t sizes[] = {0,           1,           3,
                                 4,           7,           8,
                                 39,          40,          255,
                                 0xFFFFFFFFu, 0xFFFFFFFCu, 0xFFFFFFF8u,
                                 0xFFFFFFF4u, 0xFFFFFFF0u, 0xFFFFFF00u,
                                 0x80000000u, 0x80000008u, 0x7FFFFFFFu,
                                 0x7FFFFFF8u, 0x7FFFFF00u, static_cast<std::uint32_t>(file.size())};
  int runs = 0;
  for (const std::size_t field : size_fields) {
    for (const std::uint32_t size : sizes) {
      SCOPED_TRACE("size field at " + std::to_string(field) + " := " + std::to_string(size));
      std::string hostile = file;
      hostile.replace(field, 4, Le32(size));
      const Work work = RunCounted(hostile);
      ASSERT_FALSE(work.BudgetExceeded) << work.SystemCalls << " calls";
      if (work.Result.Code == 0) {
        EXPECT_EQ(work.Result.Err, "");
      } else {
        EXPECT_EQ(work.Result.Code, 1);
        EXPECT_EQ(work.Result.Err.rfind("Exception ", 0), 0u) << work.Result.Err;
      }
      EXPECT_LE(work.Result.Out.size(), 1024 + 16 * hostile.size());
      ++runs;
    }
  }
  EXPECT_EQ(size_fields.size(), 13u);
  EXPECT_EQ(runs, static_cast<int>(size_fields.size() * std::size(sizes)));
}

// ---- Platform calls in proportion to the file over the window ---------------------------

TEST(WorkBudget, LongWalksCostFewPlatformCalls) {
  const std::string absent = Cp437("■ LIST              :          ÷");
  struct Long {
    const char* Name;
    test::MemoryFile File;
    std::uint64_t MaxSystemCalls;
  };
  // A header that was never updated after the recording stopped: 1000 bytes of samples, then
  // 64 MiB of digital silence (zero bytes) that the LIST search walks over.
  test::MemoryFile silence{test::PcmThen(""), 0, ""};
  silence.Length = static_cast<std::int64_t>(silence.Bytes.size()) + (64 << 20);
  const std::string many = Repeat(ChunkHeader("JUNK", 2) + "jj", 100000);
  const Long walks[] = {
      {"64 MiB of zero bytes after the samples", silence, 200},
      {"1,000 chunks reported as fact",
       {Riff(test::PcmFmtChunk() + Repeat(ChunkHeader("fact", 0), 1000) + ChunkHeader("data", 4) +
             "abcd"),
        -1, ""},
       20},
      {"100,000 small chunks after the data", {test::PcmThen(many), -1, ""}, 100},
      {"100,000 small chunks before the fmt chunk",
       {Riff(many + test::PcmFmtChunk() + ChunkHeader("data", 4) + "abcd"), -1, ""},
       100},
  };
  for (const Long& walk : walks) {
    SCOPED_TRACE(walk.Name);
    const Work work = RunCounted(walk.File);
    EXPECT_FALSE(work.BudgetExceeded) << work.SystemCalls << " platform calls";
    EXPECT_EQ(work.Result.Err, "");
    EXPECT_EQ(work.Result.Code, 0);
    EXPECT_EQ(LastLine(work.Result.Out), absent);
    EXPECT_LE(work.SystemCalls, walk.MaxSystemCalls);
  }
}

TEST(WorkBudget, AZeroTailEndsWhereItsLastWholeHeaderEnds) {
  // Zero bytes up to the end pass as empty chunks; a tail whose length is no multiple of 8
  // leaves a piece of a header, which the search reads past the end as it always did.
  for (const int extra : {0, 1, 7, 8, 9, 4096 * 8 + 3}) {
    SCOPED_TRACE(extra);
    test::MemoryFile file{test::PcmThen("") + std::string(16, '\0'), 0, ""};
    file.Length = static_cast<std::int64_t>(file.Bytes.size()) + (1 << 20) + extra;
    const Work work = RunCounted(file);
    EXPECT_FALSE(work.BudgetExceeded);
    if (extra % 8 == 0) {
      EXPECT_EQ(work.Result.Code, 0);
      EXPECT_EQ(LastLine(work.Result.Out), Cp437("■ LIST              :          ÷"));
    } else {
      EXPECT_EQ(work.Result.Code, 1);
      EXPECT_NE(work.Result.Err.find(kPastEnd), std::string::npos);
      EXPECT_EQ(LastLine(work.Result.Out), Cp437("■ LIST              : "));
    }
  }
  // A chunk with a name after the zeros is found, at the same place as header by header.
  const std::string list = ChunkHeader("LIST", 4) + "adtl";
  const std::string zeros_then_list = test::PcmThen(std::string(800000, '\0') + list);
  const Work found = RunCounted(zeros_then_list);
  EXPECT_EQ(found.Result.Code, 0);
  EXPECT_NE(found.Result.Out.find(Cp437(" \"LIST\" data type   :       adtl\n")),
            std::string::npos);
}

}  // namespace
}  // namespace sondrax
