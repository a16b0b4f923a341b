#include <gtest/gtest.h>

#include "TestUtil.h"
#include "report/InputFile.h"
#include "report/Output.h"
#include "report/PathText.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace sondrax {
namespace {

TEST(IoErrorMessage, TableTextsInCodePage437) {
  EXPECT_EQ(IoErrorMessage(2), "Datei nicht gefunden");
  EXPECT_EQ(IoErrorMessage(3), "Ung\x81ltiger Dateiname");
  EXPECT_EQ(IoErrorMessage(4), "Zu viele ge\x94" "ffnete Dateien");
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
            "Exception EInOutError in Modul " + PlatformModuleName() +
                " bei XXXXXXXX.\r\nVersuch hinter dem Dateiende zu lesen.\r\n\r\n");
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
            "Exception EInOutError in Modul " + PlatformModuleName() +
                " bei XXXXXXXX.\r\nVersuch hinter dem Dateiende zu lesen.\r\n\r\n"
                "Exception EInOutError in Modul " +
                PlatformModuleName() + " bei XXXXXXXX.\r\nE/A-Fehler 112.\r\n\r\n");
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

}  // namespace
}  // namespace sondrax
