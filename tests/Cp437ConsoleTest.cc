// A console that shows code page 437 itself (the Windows console): the report's bytes reach it
// unchanged, except that bytes taken from the input file or the user's file name never act on
// it as control codes.
#include <gtest/gtest.h>

#include "TestUtil.h"
#include "report/Output.h"

namespace sondrax {
namespace {

test::FakeOptions Cp437Console() {
  test::FakeOptions console;
  console.Kind = StreamKind::kTerminal;
  console.Charset = TerminalCharset::kCp437;
  return console;
}

TEST(Cp437Console, ProgramBytesPassAndFileControlsAreMasked) {
  const auto result = test::CaptureWrites(
      [] {
        WriteText("\xCD\xFB\xF6\xFE\xF9\xD4\xE6 [01 \b]");
        EndLine();
        // Letters of the code page's upper half (0x81 is "ü") stay; 0x80 to 0x9F are not
        // control codes on this console.
        WriteFileText(std::string("\x1B[2J\x07\x00\x7F\x81\x9B\xE1", 10));
        WritePadded("\033b", 4, TextSource::kInputFile);
        EndLine();
        WritePadded("C:\\\x1B[0m\x82.wav", 0, TextSource::kUserText);
      },
      Cp437Console());
  EXPECT_EQ(result.Out,
            "\xCD\xFB\xF6\xFE\xF9\xD4\xE6 [01 \b]\r\n"
            "?[2J? ?\x81\x9B\xE1  ?b\r\n"
            "C:\\?[0m\x82.wav");
  // A console gets every statement as it is made.
  EXPECT_EQ(result.OutWrites.size(), 3u);
}

TEST(Cp437Console, AWholeReportIsTheFileReportWithMaskedFileControls) {
  const std::string info_text("Bell\x07\x1B[2J\x00\x84", 10);
  const auto bytes = test::WavBuilder()
                         .Chunk("fmt ", test::FmtBody(1, 1, 8000, 8000, 1, 8))
                         .Chunk("data", "ab")
                         .Chunk("LIST", test::InfoList({{"INAM", info_text}}))
                         .Bytes();
  const auto to_file = test::RunOnBytes(bytes);
  const auto to_console = test::RunOnBytes(bytes, Cp437Console());
  ASSERT_EQ(to_file.Code, 0);
  std::string expected = to_file.Out;
  const std::size_t at = expected.find(info_text);
  ASSERT_NE(at, std::string::npos);
  expected.replace(at, info_text.size(), std::string("Bell??[2J \x84", 10));
  EXPECT_EQ(to_console.Out, expected);
  EXPECT_EQ(to_console.Code, 0);
}

TEST(Cp437Console, FatalErrorTextKeepsItsCodePageBytes) {
  test::FakeOptions console = Cp437Console();
  console.ErrKind = StreamKind::kTerminal;
  const auto result = test::RunOnBytes("RIFF", console);
  EXPECT_EQ(result.Code, 1);
  EXPECT_NE(result.Err.find("\r\nVersuch hinter dem Dateiende zu lesen.\r\n"), std::string::npos);
  const auto umlaut = test::RunOnBytes(test::WavBuilder()
                                           .Chunk("fmt ", test::FmtBody(1, 1, 8000, 0, 1, 8))
                                           .Chunk("data", "")
                                           .Bytes(),
                                       console);
  EXPECT_NE(umlaut.Err.find("\r\nUng\x81ltige Gleitkommaoperation.\r\n"), std::string::npos);
}

}  // namespace
}  // namespace sondrax
