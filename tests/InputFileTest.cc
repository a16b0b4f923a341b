#include <gtest/gtest.h>

#include <cstring>

#include "TestUtil.h"
#include "platform/PathText.h"
#include "report/InputFile.h"
#include "report/Output.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace sondrax {
namespace {

TEST(IoErrorMessage, TableTextsInCodePage437) {
  EXPECT_EQ(IoErrorMessage(2), "Datei nicht gefunden");
  EXPECT_EQ(IoErrorMessage(3), "Ung\x81ltiger Dateiname");
  EXPECT_EQ(IoErrorMessage(4),
            "Zu viele ge\x94"
            "ffnete Dateien");
  EXPECT_EQ(IoErrorMessage(5), "Dateizugriff verweigert");
  EXPECT_EQ(IoErrorMessage(100), "Versuch hinter dem Dateiende zu lesen");
  EXPECT_EQ(IoErrorMessage(101), "Zu wenig Speicherplatz");
  EXPECT_EQ(IoErrorMessage(106), "Ung\x81ltige numerische Eingabe");
  EXPECT_EQ(IoErrorMessage(105), "E/A-Fehler 105");
  EXPECT_EQ(IoErrorMessage(131), "E/A-Fehler 131");
  EXPECT_EQ(IoErrorMessage(-7), "E/A-Fehler -7");
}

// Runs CheckIo with a pending error after some report bytes; returns what came out.
test::RunResult FailWith(std::int32_t code, const test::FakeOptions& fake = {}) {
  int exit_code = -1;
  auto result = test::CaptureWrites(
      [&] {
        WriteText("report so far");
        EndWrite();
        IoError = code;
        try {
          CheckIo();
        } catch (const RunEnded& ended) {
          exit_code = ended.ExitCode;
        }
      },
      fake);
  result.Code = exit_code;
  return result;
}

TEST(FatalErrorReport, ThreeLinesAfterThePendingReport) {
  const auto result = FailWith(100);
  EXPECT_EQ(result.Code, 1);
  EXPECT_EQ(result.Out, "report so far");
  EXPECT_EQ(test::MaskLocation(result.Err),
            test::FatalText("EInOutError", "Versuch hinter dem Dateiende zu lesen."));
  EXPECT_EQ(IoError, 0);
}

TEST(FatalErrorReport, UmlautsAreCodePageBytesAndUtf8OnATerminal) {
  EXPECT_NE(FailWith(3).Err.find("\r\nUng\x81ltiger Dateiname.\r\n"), std::string::npos);
  test::FakeOptions terminal;
  terminal.ErrKind = StreamKind::kTerminal;
  terminal.Charset = TerminalCharset::kUtf8;
  EXPECT_NE(FailWith(3, terminal).Err.find("\r\nUngültiger Dateiname.\r\n"), std::string::npos);
}

TEST(FatalErrorReport, AFailingFinalHandOverIsReportedToo) {
  test::FakeOptions full;
  full.FailAfter = 0;
  full.FailError = kErrDiskFull;
  const auto result = FailWith(100, full);
  EXPECT_EQ(result.Code, 1);
  EXPECT_EQ(test::MaskLocation(result.Err),
            test::FatalText("EInOutError", "Versuch hinter dem Dateiende zu lesen.") +
                test::FatalText("EInOutError", "E/A-Fehler 112."));
}

TEST(CodeLocation, DiffersBetweenStatementsAndIsStable) {
  const auto first = CodeLocation(__FILE__, __LINE__);
  const auto second = CodeLocation(__FILE__, __LINE__);
  EXPECT_NE(first, second);
  EXPECT_EQ(first & 0xFFFF0000u, second & 0xFFFF0000u);
}

class InputFileTest : public testing::Test {
 protected:
  void TearDown() override {
    CloseInput(file_);
    IoError = 0;
  }
  InputFileRec file_;
};

TEST_F(InputFileTest, ExactReadsPositionsAndTheEnd) {
  const std::string path = test::WriteTempFile("input_ops.bin", "0123456789");
  ASSERT_EQ(OpenForReading(file_, path), 0);
  char bytes[16] = {};
  ReadExact(file_, bytes, 4);
  EXPECT_EQ(IoError, 0);
  EXPECT_EQ(std::string(bytes, 4), "0123");
  EXPECT_EQ(CurrentPos(file_), 4);
  EXPECT_EQ(TotalSize(file_), 10);
  EXPECT_FALSE(AtEnd(file_));

  ReadExact(file_, bytes, 0);
  EXPECT_EQ(IoError, 0);

  ReadExact(file_, bytes, 8);  // only 6 are left
  EXPECT_EQ(IoError, 100);
  EXPECT_EQ(std::string(bytes, 6), "456789");
  IoError = 0;
  EXPECT_TRUE(AtEnd(file_));

  SeekTo(file_, 1000);  // past the end is accepted
  EXPECT_EQ(IoError, 0);
  EXPECT_TRUE(AtEnd(file_));
  EXPECT_EQ(TotalSize(file_), 10);  // and does not extend the file

  SeekTo(file_, -1);
  EXPECT_EQ(IoError, 131);
  IoError = 0;
  SeekTo(file_, -2147483647 - 1);
  EXPECT_EQ(IoError, 131);
  IoError = 0;
  EXPECT_EQ(test::ReadFile(path), "0123456789");
}

TEST_F(InputFileTest, OpenFailsForMissingFilesAndDirectories) {
  EXPECT_EQ(OpenForReading(file_, testing::TempDir() + "no_such_file.wav"), kErrFileNotFound);
  EXPECT_FALSE(file_.Open);
  EXPECT_NE(OpenForReading(file_, testing::TempDir()), 0);
  EXPECT_FALSE(file_.Open);
  EXPECT_EQ(IoError, 0);
}

#ifndef _WIN32
TEST_F(InputFileTest, OpenOfAFifoFailsWithoutWaitingForAWriter) {
  const std::string path = test::TempPath("fifo");
  unlink(path.c_str());
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  EXPECT_NE(OpenForReading(file_, path), 0);
  unlink(path.c_str());
}
#endif

// ---- The window ---------------------------------------------------------------------------

// Bytes that differ from position to position, so a read from the wrong place shows.
std::string Pattern(std::size_t length) {
  std::string bytes(length, '\0');
  std::uint32_t state = 12345;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  return bytes;
}

TEST(InputWindow, EveryReadDeliversTheFileBytesWhereverItFalls) {
  const std::string bytes = Pattern(3 * WindowMax + 777);
  for (const std::size_t max_per_read : {std::size_t{0}, std::size_t{1000}}) {
    SCOPED_TRACE(max_per_read);
    test::FakeOptions options;
    options.MaxPerRead = max_per_read;  // a platform that delivers a little at a time
    test::WithFake(test::MemoryFile{bytes, -1, ""}, options, [&] {
      InputFileRec file;
      ASSERT_EQ(OpenForReading(file, test::kMemoryFileName), 0);
      EXPECT_EQ(TotalSize(file), static_cast<std::int64_t>(bytes.size()));
      // Forward in steps that straddle every window boundary, back a little, and far jumps.
      std::int64_t at = 0;
      std::uint32_t step = 1;
      while (at < static_cast<std::int64_t>(bytes.size()) - 300) {
        const auto count = static_cast<std::int32_t>(1 + step % 274);
        unsigned char got[274];
        SeekTo(file, at);
        ReadExact(file, got, count);
        ASSERT_EQ(IoError, 0) << at;
        ASSERT_EQ(std::string(got, got + count),
                  bytes.substr(static_cast<std::size_t>(at), static_cast<std::size_t>(count)))
            << at;
        EXPECT_EQ(CurrentPos(file), at + count);
        step = step * 7 + 3;
        at += count + (step % 5 == 0 ? -1 : static_cast<std::int64_t>(step % 9000));
      }
      CloseInput(file);
    });
  }
}

TEST(InputWindow, AWalkCostsFewCallsAndAJumpStartsSmall) {
  const test::MemoryFile silence{"", 64 << 20, ""};
  std::int64_t eights = 0;
  const auto walk = test::WithFake(silence, {}, [&] {
    InputFileRec file;
    ASSERT_EQ(OpenForReading(file, test::kMemoryFileName), 0);
    unsigned char header[8];
    while (!AtEnd(file)) {
      ReadExact(file, header, 8);
      ++eights;
    }
    EXPECT_EQ(IoError, 0);
    CloseInput(file);
  });
  EXPECT_EQ(eights, (64 << 20) / 8);
  // Open, length and close; then per fill a length and a read: 16 KiB doubling to 1 MiB
  // (7 fills for the first 2 MiB less 16 KiB) and 62 fills of 1 MiB, and the last length.
  EXPECT_LE(walk.InputCalls, 3u + 2 * (7 + 63) + 2);

  // Far jumps (past the samples, say) read a small window each time.
  const auto jumps = test::WithFake(silence, {}, [&] {
    InputFileRec file;
    ASSERT_EQ(OpenForReading(file, test::kMemoryFileName), 0);
    unsigned char header[8];
    for (std::int64_t at = 0; at < (64 << 20); at += 4 << 20) {
      SeekTo(file, at);
      ReadExact(file, header, 8);
    }
    EXPECT_EQ(IoError, 0);
    EXPECT_EQ(file.WindowBytes, WindowMin);
    CloseInput(file);
  });
  EXPECT_LE(jumps.InputCalls, 3u + 3 * 16);
}

TEST(InputWindow, FailuresKeepTheirCodes) {
  const std::string bytes = Pattern(100);
  test::FakeOptions failing;
  failing.FailReadAt = 0;
  failing.ReadError = 1117;
  test::WithFake(test::MemoryFile{bytes, -1, ""}, failing, [&] {
    InputFileRec file;
    ASSERT_EQ(OpenForReading(file, test::kMemoryFileName), 0);
    unsigned char got[8];
    ReadExact(file, got, 8);
    EXPECT_EQ(IoError, 1117);
    IoError = 0;
    ReadExact(file, got, 8);  // the next attempt succeeds
    EXPECT_EQ(IoError, 0);
    EXPECT_EQ(std::memcmp(got, bytes.data(), 8), 0);
    SeekTo(file, 96);
    ReadExact(file, got, 8);  // 4 bytes are left
    EXPECT_EQ(IoError, 100);
    IoError = 0;
    EXPECT_EQ(std::memcmp(got, bytes.data() + 96, 4), 0);
    EXPECT_EQ(CurrentPos(file), 100);
    EXPECT_TRUE(AtEnd(file));
    SeekTo(file, -1);
    EXPECT_EQ(IoError, 131);
    IoError = 0;
    CloseInput(file);
  });
  test::FakeOptions unopenable;
  unopenable.InputOpenError = 32;
  test::WithFake(test::MemoryFile{bytes, -1, ""}, unopenable, [&] {
    InputFileRec file;
    EXPECT_EQ(OpenForReading(file, test::kMemoryFileName), 32);
    EXPECT_FALSE(file.Open);
    EXPECT_EQ(IoError, 0);
  });
}

TEST(InputWindow, ZeroRunsAreCountedAcrossWindowsUpToTheEnd) {
  std::string bytes(3 * WindowMax, '\0');
  bytes[WindowMin - 1] = 'x';
  bytes[2 * WindowMax + 5] = 'y';
  test::WithFake(test::MemoryFile{bytes, 5 * WindowMax, ""}, {}, [&] {
    InputFileRec file;
    ASSERT_EQ(OpenForReading(file, test::kMemoryFileName), 0);
    EXPECT_EQ(ZeroRunLength(file), WindowMin - 1);
    EXPECT_EQ(CurrentPos(file), 0);  // counting does not move the position
    SeekTo(file, WindowMin);
    EXPECT_EQ(ZeroRunLength(file), 2 * WindowMax + 5 - WindowMin);
    SeekTo(file, 2 * WindowMax + 6);
    EXPECT_EQ(ZeroRunLength(file), 5 * WindowMax - (2 * WindowMax + 6));
    SeekTo(file, 9 * WindowMax);
    EXPECT_EQ(ZeroRunLength(file), 0);
    EXPECT_EQ(IoError, 0);
    CloseInput(file);
  });
}

}  // namespace
}  // namespace sondrax
