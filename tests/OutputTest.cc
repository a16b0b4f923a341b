#include <gtest/gtest.h>

#include <limits>

#include "TestUtil.h"
#include "report/InputFile.h"
#include "report/Output.h"

namespace sondrax {
namespace {

using test::CaptureWrites;
using test::FakeOptions;

TEST(WriteInt, DecimalRightAlignedNeverCut) {
  struct Row {
    std::int64_t Value;
    int Width;
    const char* Text;
  };
  const Row rows[] = {
      {16, 10, "        16"},
      {-1, 10, "        -1"},
      {0, 10, "         0"},
      {2147483647, 10, "2147483647"},
      {-2147483647 - 1, 10, "-2147483648"},
      {8, 0, "8"},
      {123, 2, "123"},
      {65535, 10, "     65535"},
      {-5, -3, "-5"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Text);
    const auto result =
        CaptureWrites([&] { WriteInt(static_cast<std::int32_t>(row.Value), row.Width); });
    EXPECT_EQ(result.Out, row.Text);
  }
}

TEST(WriteInt64, FullRangeAndWidthTwo) {
  EXPECT_EQ(CaptureWrites([] { WriteInt64(0, 2); }).Out, " 0");
  EXPECT_EQ(CaptureWrites([] { WriteInt64(std::numeric_limits<std::int64_t>::min(), 2); }).Out,
            "-9223372036854775808");
  EXPECT_EQ(CaptureWrites([] { WriteInt64(std::numeric_limits<std::int64_t>::max(), 0); }).Out,
            "9223372036854775807");
}

TEST(WriteChar, MarksFillTheValueFieldAndSmallWidthsAddNothing) {
  EXPECT_EQ(CaptureWrites([] { WriteChar(FoundMark, ValueWidth); }).Out, "         \xFB");
  EXPECT_EQ(CaptureWrites([] { WriteChar(AbsentMark, ValueWidth); }).Out, "         \xF6");
  EXPECT_EQ(CaptureWrites([] { WriteChar('h'); }).Out, "h");
  EXPECT_EQ(CaptureWrites([] { WriteChar('x', 1); }).Out, "x");
  EXPECT_EQ(CaptureWrites([] { WriteChar('x', 0); }).Out, "x");
  EXPECT_EQ(CaptureWrites([] { WriteChar('x', -7); }).Out, "x");
}

TEST(WritePadded, ShortTextsRightAligned) {
  EXPECT_EQ(CaptureWrites([] { WritePadded("INFO", ValueWidth); }).Out, "      INFO");
  EXPECT_EQ(CaptureWrites([] { WritePadded("", ValueWidth); }).Out, "          ");
  EXPECT_EQ(CaptureWrites([] { WritePadded("ab", ValueWidth); }).Out, "        ab");
  EXPECT_EQ(CaptureWrites([] { WritePadded("long text here", 4); }).Out, "long text here");
  EXPECT_EQ(CaptureWrites([] { WritePadded("x", 100); }).Out, std::string(99, ' ') + "x");
}

TEST(ReportOutput, PipeGetsFullBuffersAndTheRestAtTheEnd) {
  const std::string text(300, 'a');
  const auto result = CaptureWrites([&] {
    WriteText(text);
    EndWrite();
    EndLine();
  });
  EXPECT_EQ(result.Out, text + "\r\n");
  EXPECT_EQ(result.OutWrites, (std::vector<std::size_t>{128, 128, 46}));
}

TEST(ReportOutput, CharacterDeviceGetsEveryStatement) {
  FakeOptions device;
  device.Kind = StreamKind::kCharDevice;
  const auto result = CaptureWrites(
      [] {
        WriteText("ab");
        EndWrite();
        WriteText("\xFB");
        EndLine();
        EndWrite();
      },
      device);
  // Not a terminal: the bytes are not translated, only handed over sooner.
  EXPECT_EQ(result.Out, "ab\xFB\r\n");
  EXPECT_EQ(result.OutWrites, (std::vector<std::size_t>{2, 3}));
}

TEST(ReportOutput, Utf8TerminalShowsCodePageGlyphsAndNeutralisesFileBytes) {
  FakeOptions terminal;
  terminal.Kind = StreamKind::kTerminal;
  terminal.Charset = TerminalCharset::kUtf8;
  const auto result = CaptureWrites(
      [] {
        WriteText("\xCD\xFB\xF6\xFE\xF9\xD4\xE6 [01 \b]");
        EndLine();
        WriteFileText(std::string("\x1B[2J\x07\x00\x7F\x81", 8));
        WritePadded(
            "\x1B"
            "b",
            4, TextSource::kInputFile);
        EndLine();
        WritePadded("/tmp/\x1B[0m\xC3\xA9.wav", 0, TextSource::kUserText);
      },
      terminal);
  EXPECT_EQ(result.Out,
            "═√÷■∙╘µ [01 \b]\r\n"
            "←[2J• ⌂ü  ←b\r\n"
            "/tmp/←[0mé.wav");
}

TEST(ReportOutput, OtherTerminalKeepsProgramBytesAndMasksFileControls) {
  FakeOptions terminal;
  terminal.Kind = StreamKind::kTerminal;
  terminal.Charset = TerminalCharset::kOther;
  const auto result = CaptureWrites(
      [] {
        WriteText("\xFB\r\n");
        WriteFileText(std::string("A\x1B\x00\x9B\xE9", 5));
      },
      terminal);
  EXPECT_EQ(result.Out, "\xFB\r\nA? ?\xE9");
}

TEST(ReportOutput, PipeAndFileGetTheExactBytes) {
  const std::string raw("\x1B[31m\x00\x08\xFF", 8);
  const auto result = CaptureWrites([&] {
    WriteFileText(raw);
    WriteText("\xCD");
  });
  EXPECT_EQ(result.Out, raw + "\xCD");
}

TEST(ReportOutput, ShortWritesAreContinuedUntilAllBytesAreOut) {
  FakeOptions slow;
  slow.MaxPerWrite = 7;
  const std::string text(500, 'z');
  const auto result = CaptureWrites([&] { WriteText(text); }, slow);
  EXPECT_EQ(result.Out, text);
  EXPECT_EQ(result.Code, 0);
}

TEST(ReportOutput, FailedHandOverRecordsTheErrorAndSkipsTheRestOfTheStatement) {
  FakeOptions full;
  full.FailAfter = 100;
  full.FailError = kErrDiskFull;
  const auto result = CaptureWrites(
      [] {
        WriteText(std::string(200, 'q'));
        EXPECT_EQ(IoError, kErrDiskFull);
        EXPECT_EQ(ReportOutput.Pending, 0);
        WriteText("more");
        EXPECT_EQ(ReportOutput.Pending, 0);
      },
      full);
  EXPECT_EQ(result.Out, std::string(100, 'q'));
  EXPECT_EQ(result.Code, kErrDiskFull);
}

TEST(ReportOutput, UnusableStandardOutputRecords105AndStaysClosed) {
  FakeOptions closed;
  closed.OpenError = kErrInvalidHandle;
  const auto result = CaptureWrites(
      [] {
        WriteText("banner");
        EXPECT_FALSE(ReportOutput.Open);
      },
      closed);
  EXPECT_EQ(result.Code, 105);
  EXPECT_TRUE(result.Out.empty());
  EXPECT_TRUE(result.OutWrites.empty());
}

}  // namespace
}  // namespace sondrax
