// Files of 2 GiB and more, held in memory as sparse files: their sizes read unsigned, their
// positions and sums exact; files below 2 GiB keep the signed 32-bit reading.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "TestUtil.h"

namespace sondrax {
namespace {

using test::ChunkHeader;
using test::Cp437;
using test::Le32;

constexpr std::int64_t kGiB = std::int64_t{1} << 30;

// The first bytes of a file: the RIFF header declaring `riff_size`, a 16-bit stereo "fmt "
// chunk (176400 bytes per second) and `walk`, the chunks up to and including the data header.
std::string Start(std::uint32_t riff_size, const std::string& walk) {
  return test::WavBuilder().RawSize(riff_size).Raw(test::PcmFmtChunk() + walk).Bytes();
}

// A file of `length` bytes whose samples (zeros) follow a data header declaring `data_size`,
// with `tail` as its last bytes; the RIFF size is what the header can hold of the length.
test::MemoryFile Recording(std::int64_t length, std::uint32_t data_size,
                           const std::string& tail = "") {
  return test::MemoryFile{
      Start(static_cast<std::uint32_t>(length - 8), ChunkHeader("data", data_size)), length, tail};
}

// The report from the RIFF lines on, as written readably.
std::string ReportOf(const test::MemoryFile& file, int* code = nullptr,
                     std::string* err = nullptr) {
  const test::RunResult result = test::RunOnFile(file);
  if (code != nullptr) {
    *code = result.Code;
  }
  if (err != nullptr) {
    *err = test::MaskLocation(result.Err);
  }
  return result.Out.substr(test::Banner().size());
}

TEST(LargeFile, ExactlyTwoGiBIsReadUnsigned) {
  int code = -1;
  EXPECT_EQ(ReportOf(Recording(2 * kGiB, 0x80000000u - 44), &code),
            Cp437(std::string("RIFF                :          √\n"
                              "\"RIFF\" body size    : 2147483640 - file length is reported "
                              "exactly, OK.\n"
                              "WAVE                :          √\n") +
                  test::kFmtPcm16Stereo +
                  "■ fact              :          ÷\n"
                  "■ data              :          √\n"
                  " \"data\" chunk size  : 2147483604\n"
                  "  ╘═> est. playtime : 12173.94 s = 202:53.94\n"
                  "■ LIST              :          ÷\n"));
  EXPECT_EQ(code, 0);

  // One byte less is the last file read signed: the same sizes are negative there.
  const std::string small = ReportOf(Recording(2 * kGiB - 1, 0x80000000u - 44), &code);
  EXPECT_NE(small.find("\"RIFF\" body size    : 2147483639"), std::string::npos);
  EXPECT_NE(small.find(Cp437(" \"data\" chunk size  : 2147483604\n")), std::string::npos);
  const std::string negative = ReportOf(Recording(2 * kGiB - 1, 0xFFFFFFF0u), &code);
  EXPECT_NE(negative.find(Cp437(" \"data\" chunk size  :        -16\n")), std::string::npos);
  EXPECT_NE(negative.find("*ERROR*: Possibly broken wave file."), std::string::npos);
}

TEST(LargeFile, AnInfoListAfterThreeGiBOfSamplesIsListed) {
  const std::string list = ChunkHeader("LIST", 18) + test::InfoList({{"INAM", "Title"}});
  const std::int64_t samples = 3 * kGiB;
  const test::MemoryFile file{Start(static_cast<std::uint32_t>(36 + samples + list.size()),
                                    ChunkHeader("data", static_cast<std::uint32_t>(samples))),
                              44 + samples + static_cast<std::int64_t>(list.size()), list};
  int code = -1;
  const std::string report = ReportOf(file, &code);
  EXPECT_NE(report.find(" 3221225534 - file length is reported exactly, OK."), std::string::npos)
      << report;
  EXPECT_NE(report.find(Cp437(" \"data\" chunk size  : 3221225472\n"
                              "  ╘═> est. playtime : 18260.92 s = 304:20.92\n"
                              "■ LIST              :          √\n"
                              " \"LIST\" chunk size  :         18\n"
                              " \"LIST\" data type   :       INFO\n"
                              "  - INFO block\n"
                              "    ∙ \"INAM\" size   :          5 [Title]\n")),
            std::string::npos)
      << report;
  EXPECT_EQ(code, 0);
}

TEST(LargeFile, SizesOfFourGiBAndMoreAreNeverNegative) {
  int code = -1;
  std::string err;
  // The largest data size: beyond the file, so broken, with its play time first.
  const std::string largest = ReportOf(Recording(3 * kGiB, 0xFFFFFFFFu), &code);
  EXPECT_NE(largest.find(Cp437(" \"data\" chunk size  : 4294967295\n"
                               "  ╘═> est. playtime : 24347.89 s = 405:47.89\n"
                               "*ERROR*: Possibly broken wave file.\n")),
            std::string::npos)
      << largest;
  EXPECT_EQ(code, 0);

  // A chunk of 4294967288 bytes, which a smaller file reads as -8: forward, past the end.
  const test::MemoryFile junk_first{
      "RIFF" + Le32(0xFFFFFFFFu) + "WAVE" + ChunkHeader("JUNK", 0xFFFFFFF8u), 3 * kGiB, ""};
  EXPECT_EQ(ReportOf(junk_first, &code),
            Cp437("RIFF                :          √\n"
                  "\"RIFF\" body size    : 4294967295 - file is 1073741831 bytes shorter than "
                  "header reports.\n"
                  "WAVE                :          √\n"
                  "■ fmt               : \n"
                  "*ERROR*: Format chunk not found in WAVE file.\n"));
  EXPECT_EQ(code, 0);

  // The same chunk between "fmt " and "data" is shown as the fact chunk with that size; its
  // body reaches beyond the file's end, so reading it fails.
  const test::MemoryFile junk_fact{
      Start(0xFFFFFFFFu, ChunkHeader("JUNK", 0xFFFFFFF8u) + std::string(300, 'j')), 3 * kGiB, ""};
  const std::string fact = ReportOf(junk_fact, &code, &err);
  EXPECT_NE(fact.find(Cp437("■ fact              :          √\n"
                            " \"fact\" chunk size  : 4294967288\n")),
            std::string::npos)
      << fact;
  EXPECT_EQ(code, 1);
  EXPECT_NE(err.find("\r\nVersuch hinter dem Dateiende zu lesen.\r\n"), std::string::npos);
}

TEST(LargeFile, FiveGiBWhoseHeaderSizesWrappedShowsWhatTheyDeclare) {
  // A writer that kept its sizes modulo 2^32: the header declares 1 GiB of samples.
  const std::int64_t length = 5 * kGiB;
  const test::MemoryFile file{Start(static_cast<std::uint32_t>(length - 8),
                                    ChunkHeader("data", static_cast<std::uint32_t>(length - 44))),
                              length, ""};
  int code = -1;
  const std::string report = ReportOf(file, &code);
  EXPECT_NE(report.find("\"RIFF\" body size    : 1073741816 - file is 4294967296 bytes longer "
                        "than header reports."),
            std::string::npos)
      << report;
  // The walk goes on by the declared size: from 1 GiB on it reads the samples as chunks.
  EXPECT_NE(report.find(Cp437(" \"data\" chunk size  : 1073741780\n"
                              "  ╘═> est. playtime :  6086.97 s = 101:26.97\n"
                              "■ LIST              :          ÷\n")),
            std::string::npos)
      << report;
  EXPECT_EQ(code, 0);
}

TEST(LargeFile, AnInfoItemBoundBeyondFourGiBIsExact) {
  // A LIST at 3 GiB whose declared end lies beyond 2^32 lists its items; in a smaller file
  // the same bound wraps negative and lists none.
  const std::string list =
      ChunkHeader("LIST", 0xFFFFFFF0u) + "INFO" + ChunkHeader("INAM", 2) + "ab";
  const std::int64_t length = 3 * kGiB;
  const test::MemoryFile file = Recording(
      length, static_cast<std::uint32_t>(length - 44 - static_cast<std::int64_t>(list.size())),
      list);
  int code = -1;
  const std::string report = ReportOf(file, &code);
  EXPECT_NE(report.find(Cp437(" \"LIST\" chunk size  : 4294967280\n"
                              " \"LIST\" data type   :       INFO\n"
                              "  - INFO block\n"
                              "    ∙ \"INAM\" size   :          2 [ab]\n")),
            std::string::npos)
      << report;
  EXPECT_EQ(code, 0);

  const test::MemoryFile small{Start(0, ChunkHeader("data", 4) + "abcd" + list), -1, ""};
  const std::string wrapped = ReportOf(small, &code);
  EXPECT_NE(wrapped.find(Cp437(" \"LIST\" chunk size  :        -16\n")), std::string::npos);
  EXPECT_EQ(wrapped.find("INAM"), std::string::npos);
}

}  // namespace
}  // namespace sondrax
