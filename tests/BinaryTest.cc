// The real executable, for what only a separate process shows: exit codes, redirections, a
// closed or full standard output, special files.
#ifndef _WIN32

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "TestUtil.h"

namespace sondrax {
namespace {

using test::RunBinary;

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

std::string PcmFile() {
  return test::WriteTempFile("binary_pcm.wav",
                             test::WavBuilder()
                                 .Chunk("fmt ", test::FmtBody(1, 1, 8000, 8000, 1, 8))
                                 .Chunk("data", "ab")
                                 .Bytes());
}

const char kFatalPrefix[] = "Exception EInOutError in Modul sondrax bei ";

TEST(Binary, SyntaxTextAndExitCodeZero) {
  const auto result = RunBinary("");
  EXPECT_EQ(result.Out,
            test::Banner() +
                "Syntax: SONDRAX <RIFFfile.ext>\r\n\r\n*** NOTE: In this state it works "
                "only with most proper built WAVE files ***\r\n\r\n");
  EXPECT_EQ(result.Err, "");
  EXPECT_EQ(result.Code, 0);
  EXPECT_EQ(RunBinary("''").Out, result.Out);
}

TEST(Binary, OpenErrorsFailWithExitCodeOne) {
  const auto missing = RunBinary(Quoted(testing::TempDir() + "sondrax_absent/none.wav"));
  EXPECT_NE(missing.Out.find("*ERROR*: Could not open \""), std::string::npos);
  EXPECT_EQ(missing.Err, "");
  EXPECT_EQ(missing.Code, 1);

  const auto directory = RunBinary("/");
  EXPECT_EQ(directory.Out, test::Banner() + "*ERROR*: Could not open \"/\"\r\n");
  EXPECT_EQ(directory.Code, 1);

  // A FIFO without a writer must not block the run.
  const std::string fifo = test::TempPath("binary_fifo");
  unlink(fifo.c_str());
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const auto fifo_result = RunBinary(Quoted(fifo));
  EXPECT_EQ(fifo_result.Out, test::Banner() + "*ERROR*: Could not open \"" + fifo + "\"\r\n");
  EXPECT_EQ(fifo_result.Code, 1);
  unlink(fifo.c_str());
}

TEST(Binary, ClosedStandardOutputIsError105) {
  const auto result = RunBinary(Quoted(PcmFile()) + " >&-");
  EXPECT_EQ(test::MaskLocation(result.Err),
            std::string(kFatalPrefix) + "XXXXXXXX.\r\nE/A-Fehler 105.\r\n\r\n");
  EXPECT_EQ(result.Code, 1);
}

TEST(Binary, FullStandardOutputIsReported) {
  const auto result = RunBinary(Quoted(PcmFile()) + " >/dev/full");
  EXPECT_EQ(test::MaskLocation(result.Err),
            std::string(kFatalPrefix) + "XXXXXXXX.\r\nE/A-Fehler 112.\r\n\r\n");
  EXPECT_EQ(result.Code, 1);
}

TEST(Binary, ReportGoesToStdoutAndTheErrorToStderrOnly) {
  const std::string path = test::WriteTempFile("binary_short.wav", "RIFF\x04");
  const auto result = RunBinary(Quoted(path));
  EXPECT_EQ(result.Out, test::Banner());
  EXPECT_EQ(
      test::MaskLocation(result.Err),
      std::string(kFatalPrefix) + "XXXXXXXX.\r\nVersuch hinter dem Dateiende zu lesen.\r\n\r\n");
  EXPECT_EQ(result.Code, 1);
  // /dev/null is a character device: bytes are handed over per statement, nothing fails.
  EXPECT_EQ(RunBinary(Quoted(PcmFile()) + " >/dev/null").Code, 0);
}

// Sparse files: no disk space is used, and the sample data is never read.
std::string SparseWav(const std::string& name, std::int64_t length) {
  std::string path =
      test::WriteTempFile(name, test::WavBuilder()
                                    .RawSize(static_cast<std::uint32_t>(length - 8))
                                    .Chunk("fmt ", test::FmtBody(1, 2, 44100, 176400, 4, 16))
                                    .ChunkSized("data", static_cast<std::uint32_t>(length - 44), "")
                                    .Bytes());
  EXPECT_EQ(truncate(path.c_str(), static_cast<off_t>(length)), 0);
  return path;
}

TEST(Binary, FilesOf2GiBAndMoreAreReportedInFull) {
  // Exactly 2 GiB: the sizes are read unsigned, so 2^31 - 8 is no negative number.
  const std::string large = SparseWav("binary_2gib.wav", 0x80000000LL);
  const auto at_2gib = RunBinary(Quoted(large));
  EXPECT_NE(at_2gib.Out.find(" 2147483640 - file length is reported exactly, OK."),
            std::string::npos)
      << at_2gib.Out;
  EXPECT_NE(at_2gib.Out.find(test::Cp437(" \"data\" chunk size  : 2147483604\n"
                                         "  ╘═> est. playtime : 12173.94 s = 202:53.94\n"
                                         "■ LIST              :          ÷\n")),
            std::string::npos)
      << at_2gib.Out;
  EXPECT_EQ(at_2gib.Err, "");
  EXPECT_EQ(at_2gib.Code, 0);
  unlink(large.c_str());

  // 3 GiB of samples with an INFO list behind them.
  const std::int64_t samples = 3LL << 30;
  const std::string list = "LIST" + test::Le32(4 + 8 + 6) + test::InfoList({{"INAM", "Title"}});
  const std::string three = test::WriteTempFile(
      "binary_3gib.wav", test::WavBuilder()
                             .RawSize(static_cast<std::uint32_t>(36 + samples + list.size()))
                             .Chunk("fmt ", test::FmtBody(1, 2, 44100, 176400, 4, 16))
                             .ChunkSized("data", static_cast<std::uint32_t>(samples), "")
                             .Bytes());
  const int fd = open(three.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(pwrite(fd, list.data(), list.size(), 44 + samples), static_cast<ssize_t>(list.size()));
  close(fd);
  const auto at_3gib = RunBinary(Quoted(three));
  EXPECT_NE(at_3gib.Out.find(test::Cp437(" \"data\" chunk size  : 3221225472\n"
                                         "  ╘═> est. playtime : 18260.92 s = 304:20.92\n"
                                         "■ LIST              :          √\n"
                                         " \"LIST\" chunk size  :         18\n"
                                         " \"LIST\" data type   :       INFO\n"
                                         "  - INFO block\n"
                                         "    ∙ \"INAM\" size   :          5 [Title")),
            std::string::npos)
      << at_3gib.Out;
  EXPECT_NE(at_3gib.Out.find(" 3221225534 - file length is reported exactly, OK."),
            std::string::npos);
  EXPECT_EQ(at_3gib.Code, 0);
  unlink(three.c_str());

  const std::string big = SparseWav("binary_1_9gib.wav", 0x7A000000LL);
  const auto reported = RunBinary(Quoted(big));
  EXPECT_NE(reported.Out.find(test::Cp437(" \"data\" chunk size  : 2046820308\n"
                                          "  ╘═> est. playtime : 11603.29 s = 193:23.29\n"
                                          "■ LIST              :          ÷\n")),
            std::string::npos);
  EXPECT_NE(reported.Out.find(" 2046820344 - file length is reported exactly, OK."),
            std::string::npos);
  EXPECT_EQ(reported.Code, 0);
  unlink(big.c_str());
}

}  // namespace
}  // namespace sondrax

#endif  // _WIN32
