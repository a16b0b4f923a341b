// Whole reports, run in-process on WAVE files composed by the tests, compared byte for byte.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestUtil.h"
#include "UTypes.h"
#include "platform/Platform.h"

namespace sondrax {
namespace {

using test::Banner;
using test::Cp437;
using test::FmtBody;
using test::Le16;
using test::Le32;
using test::RunOnBytes;
using test::WavBuilder;

// The three RIFF lines of a file whose declared size is right.
std::string RiffOk(int size) {
  std::string digits = std::to_string(size);
  return "RIFF                :          √\n"
         "\"RIFF\" body size    : " +
         std::string(10 - digits.size(), ' ') + digits +
         " - file length is reported exactly, OK.\n"
         "WAVE                :          √\n";
}

using test::kFmtPcm16Stereo;

using test::FatalText;

void ExpectReport(const test::RunResult& result, const std::string& report_utf8, int code = 0,
                  const std::string& err = "") {
  EXPECT_EQ(result.Out, Banner() + Cp437(report_utf8));
  EXPECT_EQ(test::MaskLocation(result.Err), err);
  EXPECT_EQ(result.Code, code);
}

// ---- Run sequence -----------------------------------------------------------------------

TEST(RunSequence, NoArgumentOrAnEmptyOneGivesTheSyntaxText) {
  const std::string syntax = Cp437(
      "                       Sondrax\n"
      "                       ═══════\n"
      "\n"
      "Syntax: SONDRAX <RIFFfile.ext>\n"
      "\n"
      "*** NOTE: In this state it works only with most proper built WAVE files ***\n"
      "\n");
  for (const auto& args :
       {std::vector<std::string>{"sondrax"}, std::vector<std::string>{"sondrax", ""},
        std::vector<std::string>{"sondrax", "", "file.wav"}}) {
    const auto result = test::RunCapture(args);
    EXPECT_EQ(result.Out, syntax);
    EXPECT_EQ(result.Err, "");
    EXPECT_EQ(result.Code, 0);
  }
}

TEST(RunSequence, MissingRelativeNameShowsTheAbsolutePathAndFails) {
  const auto result = test::RunCapture({"sondrax", "./sub/../no such file.wav", "second.wav"});
  EXPECT_EQ(result.Out, Banner() + "*ERROR*: Could not open \"" + test::kFakeDirectory +
                            "/no such file.wav\"\r\n");
  EXPECT_EQ(result.Err, "");
  EXPECT_EQ(result.Code, 1);
}

TEST(RunSequence, DirectoryGivesTheOpenError) {
  const auto result = test::RunCapture({"sondrax", "."});
  EXPECT_EQ(result.Out, Banner() + "*ERROR*: Could not open \"" + test::kFakeDirectory + "\"\r\n");
  EXPECT_EQ(result.Code, 1);
}

TEST(RunSequence, CompleteReportOfAPlainPcmFile) {
  const auto bytes = WavBuilder()
                         .Chunk("fmt ", test::Pcm16StereoFmt())
                         .Chunk("data", std::string(176400, '\0'))
                         .Bytes();
  ASSERT_EQ(bytes.size(), 176444u);
  ExpectReport(RunOnBytes(bytes), RiffOk(176436) + kFmtPcm16Stereo +
                                      "■ fact              :          ÷\n"
                                      "■ data              :          √\n"
                                      " \"data\" chunk size  :     176400\n"
                                      "  ╘═> est. playtime :     1.00 s =  0:01.00\n"
                                      "■ LIST              :          ÷\n");
}

TEST(RunSequence, SecondRunInOneProcessStartsFromZero) {
  // The first run fills the fact record and Extra; the second must not see any of it.
  const auto first = WavBuilder()
                         .Chunk("fmt ", FmtBody(17, 1, 8000, 4055, 256, 4, Le16(2) + "\xF9\x01"))
                         .Chunk("fact", Le32(10))
                         .Chunk("data", std::string(4, '\0'))
                         .Bytes();
  EXPECT_EQ(RunOnBytes(first).Code, 0);
  const auto second =
      WavBuilder().Chunk("fmt ", FmtBody(2, 1, 8000, 4096, 256, 4)).Chunk("data", "").Bytes();
  const auto result = RunOnBytes(second);
  EXPECT_NE(result.Out.find(Cp437("■ fact              : *ERROR*: \"fact\" chunk necessary")),
            std::string::npos);
  EXPECT_EQ(result.Out.find("fmt.-spec."), std::string::npos);
}

// ---- RIFF header --------------------------------------------------------------------------

// An 844-byte file: RIFF header, a 16-byte fmt chunk and 800 bytes of samples.
WavBuilder File844() {
  WavBuilder builder;
  builder.Chunk("fmt ", test::Pcm16StereoFmt()).Chunk("data", std::string(800, '\0'));
  return builder;
}

TEST(RiffHeader, DeclaredSizeAgainstTheFileLength) {
  const std::pair<std::uint32_t, std::string> rows[] = {
      {836, "\"RIFF\" body size    :        836 - file length is reported exactly, OK.\n"},
      {900, "\"RIFF\" body size    :        900 - file is 64 bytes shorter than header reports.\n"},
      {837, "\"RIFF\" body size    :        837 - file is 1 bytes shorter than header reports.\n"},
      {800, "\"RIFF\" body size    :        800 - file is 36 bytes longer than header reports.\n"},
      {0, "\"RIFF\" body size    :          0 - broken file, possibly aborted creation.\n"},
      {0xFFFFFFFF,
       "\"RIFF\" body size    :         -1 - file is 837 bytes longer than header reports.\n"},
      {0x80000000,
       "\"RIFF\" body size    : -2147483648 - file is -2147482812 bytes longer than header "
       "reports.\n"},
      {0x7FFFFFFF,
       "\"RIFF\" body size    : 2147483647 - file is 2147482811 bytes shorter than header "
       "reports.\n"},
  };
  for (const auto& [size, line] : rows) {
    SCOPED_TRACE(line);
    const auto result = RunOnBytes(File844().RawSize(size).Bytes());
    const std::string expected = Cp437("RIFF                :          √\n" + line +
                                       "WAVE                :          √\n■ fmt");
    EXPECT_EQ(result.Out.substr(Banner().size(), expected.size()), expected);
    EXPECT_EQ(result.Code, 0);
  }
}

TEST(RiffHeader, WrongContainerIdStopsAfterItsLine) {
  for (const std::string& id :
       {std::string("RIFX"), std::string("riff"), std::string("RIF\0", 4)}) {
    const auto result = RunOnBytes(File844().Id(id).Bytes());
    ExpectReport(result, "RIFF                : *ERROR*: File has no RIFF ID.\n");
  }
}

TEST(RiffHeader, WrongFormTypeStopsAfterTheSizeLine) {
  ExpectReport(RunOnBytes(File844().Form("wave").Bytes()),
               "RIFF                :          √\n"
               "\"RIFF\" body size    :        836 - file length is reported exactly, OK.\n"
               "WAVE                : *ERROR*: RIFF file has no WAVE ID.\n");
}

TEST(RiffHeader, ShortFilesEndWithTheReadError) {
  ExpectReport(RunOnBytes(""), "", 1,
               FatalText("EInOutError", "Versuch hinter dem Dateiende zu lesen."));
  ExpectReport(RunOnBytes(std::string("RIFF\x04\x00\x00", 7)), "", 1,
               FatalText("EInOutError", "Versuch hinter dem Dateiende zu lesen."));
  ExpectReport(RunOnBytes(WavBuilder().Bytes()), RiffOk(4) + "■ fmt               : ", 1,
               FatalText("EInOutError", "Versuch hinter dem Dateiende zu lesen."));
}

// ---- Format chunk -------------------------------------------------------------------------

std::string ReportAfterFmt(const std::string& fmt_lines, int riff_size,
                           const std::string& fact_line = "■ fact              :          ÷\n") {
  return RiffOk(riff_size) + fmt_lines + fact_line +
         "■ data              :          √\n"
         " \"data\" chunk size  :          4\n"
         "  ╘═> est. playtime :     0.00 s =  0:00.00\n"
         "■ LIST              :          ÷\n";
}

TEST(FormatChunk, ChunksBeforeItArePassedOverPadIncluded) {
  const auto plain = WavBuilder().Chunk("fmt ", test::Pcm16StereoFmt()).Chunk("data", "abcd");
  const auto expected = ReportAfterFmt(kFmtPcm16Stereo, 40);
  ExpectReport(RunOnBytes(plain.Bytes()), expected);

  auto junk = WavBuilder()
                  .Chunk("JUNK", "12345")
                  .Chunk("fmt ", test::Pcm16StereoFmt())
                  .Chunk("data", "abcd");
  ExpectReport(RunOnBytes(junk.Bytes()), ReportAfterFmt(kFmtPcm16Stereo, 54));

  // A writer that left out the pad: the next header starts right after the odd body.
  auto unpadded = WavBuilder()
                      .ChunkNoPad("JUNK", "12345")
                      .Chunk("fmt ", test::Pcm16StereoFmt())
                      .Chunk("data", "abcd");
  ExpectReport(RunOnBytes(unpadded.Bytes()), ReportAfterFmt(kFmtPcm16Stereo, 53));
}

TEST(FormatChunk, ShortAndExtendedBodies) {
  struct Row {
    std::string Body;
    std::string Lines;
  };
  const std::string head = "■ fmt               :          √\n";
  const Row rows[] = {
      {FmtBody(1, 1, 8000, 8000, 1, 8).substr(0, 14),
       " \"fmt \" chunk size  :         14\n"
       "  ∙ Format          :          1 = 0001h\n"
       "    ╘═> CODEC       : Microsoft - uncompressed PCM\n"
       "  ∙ Channels        :          1 (mono)\n"
       "  ∙ Sample Freq.    :       8000\n"
       "  ∙ avg. Byte rate  :       8000\n"
       "  ∙ block size      :          1\n"
       "  ∙ bits / sample   :          0\n"},
      {FmtBody(3, 5, 48000, 960000, 20, 32, Le16(0)),
       " \"fmt \" chunk size  :         18\n"
       "  ∙ Format          :          3 = 0003h\n"
       "    ╘═> CODEC       : Microsoft - IEEE floating point\n"
       "  ∙ Channels        :          5 (surround?)\n"
       "  ∙ Sample Freq.    :      48000\n"
       "  ∙ avg. Byte rate  :     960000\n"
       "  ∙ block size      :         20\n"
       "  ∙ bits / sample   :         32\n"
       "  ∙ fmt.-spec. size :          0\n"},
      {FmtBody(7, 3, 8000, 8000, 3, 8, Le16(2) + "\xF9\x01"),
       " \"fmt \" chunk size  :         20\n"
       "  ∙ Format          :          7 = 0007h\n"
       "    ╘═> CODEC       : Microsoft - CCITT µ-Law\n"
       "  ∙ Channels        :          3 (how would you call it?)\n"
       "  ∙ Sample Freq.    :       8000\n"
       "  ∙ avg. Byte rate  :       8000\n"
       "  ∙ block size      :          3\n"
       "  ∙ bits / sample   :          8\n"
       "  ∙ fmt.-spec. size :          2\n"
       "  ∙ fmt.-spec. data :  [F9 01 \b]\n"},
      // 17 bytes: the low byte of the extra size comes from the file, the bytes it
      // announces were never read and stay zero.
      {FmtBody(0xFFFE, 4, 0x80000000u, 0xFFFFFFFFu, 65535, 65535, "\x05"),
       " \"fmt \" chunk size  :         17\n"
       "  ∙ Format          :      65534 = FFFEh\n"
       "    ╘═> CODEC       : (unknown)\n"
       "  ∙ Channels        :          4 (quadro)\n"
       "  ∙ Sample Freq.    : -2147483648\n"
       "  ∙ avg. Byte rate  :         -1\n"
       "  ∙ block size      :      65535\n"
       "  ∙ bits / sample   :      65535\n"
       "  ∙ fmt.-spec. size :          5\n"
       "  ∙ fmt.-spec. data :  [00 00 00 00 00 \b]\n"},
      {FmtBody(0x11, 65535, 22050, 11100, 512, 4,
               Le16(13) + "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D"),
       " \"fmt \" chunk size  :         31\n"
       "  ∙ Format          :         17 = 0011h\n"
       "    ╘═> CODEC       : intel - DVI/IMA ADPCM\n"
       "  ∙ Channels        :      65535 (how would you call it?)\n"
       "  ∙ Sample Freq.    :      22050\n"
       "  ∙ avg. Byte rate  :      11100\n"
       "  ∙ block size      :        512\n"
       "  ∙ bits / sample   :          4\n"
       "  ∙ fmt.-spec. size :         13\n"
       "  ∙ fmt.-spec. data :  [01 02 03 04 05 06 07 08 09 0A 0B 0C ...]\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Lines);
    const auto bytes = WavBuilder().Chunk("fmt ", row.Body).Chunk("data", "abcd").Bytes();
    const auto result = RunOnBytes(bytes);
    const std::string expected = Cp437(head + row.Lines + "■ fact              : ");
    EXPECT_EQ(result.Out.substr(Banner().size() + Cp437(RiffOk(0)).size(), expected.size()),
              expected);
  }
}

TEST(FormatChunk, EmptyBodyShowsZerosAndTagZero) {
  const auto bytes = WavBuilder().Chunk("fmt ", "").Chunk("fact", "").Chunk("data", "x").Bytes();
  ExpectReport(RunOnBytes(bytes),
               RiffOk(30) +
                   "■ fmt               :          √\n"
                   " \"fmt \" chunk size  :          0\n"
                   "  ∙ Format          :          0 = 0000h\n"
                   "    ╘═> CODEC       : (Microsoft - unknown)\n"
                   "  ∙ Channels        :          0 (how would you call it?)\n"
                   "  ∙ Sample Freq.    :          0\n"
                   "  ∙ avg. Byte rate  :          0\n"
                   "  ∙ block size      :          0\n"
                   "  ∙ bits / sample   :          0\n"
                   "■ fact              :          √\n"
                   " \"fact\" chunk size  :          0\n"
                   " \"fact\" data        :  [\b]\n"
                   "■ data              :          √\n",
               1, FatalText("EZeroDivide", "Gleitkommadivision durch Null."));
}

TEST(FormatChunk, BodyLargerThanTheRecordIsReadInPartAndPassedOver) {
  std::string extra;
  for (int i = 0; i < 282; ++i) {
    extra.push_back(static_cast<char>(i));
  }
  const auto body = FmtBody(1, 2, 44100, 176400, 4, 16, Le16(282) + extra);  // 300 bytes
  const auto bytes = WavBuilder().Chunk("fmt ", body).Chunk("data", "abcd").Bytes();
  const auto result = RunOnBytes(bytes);
  EXPECT_NE(result.Out.find(Cp437(" \"fmt \" chunk size  :        300\n")), std::string::npos);
  EXPECT_NE(result.Out.find(Cp437("  ∙ fmt.-spec. size :        282\n"
                                  "  ∙ fmt.-spec. data :  [00 01 02 03 04 05 06 07 08 09 0A 0B "
                                  "...]\n■ fact              :          ÷\n■ data")),
            std::string::npos);
  EXPECT_EQ(result.Code, 0);

  // The same body cut short by the end of the file fails as a full read would.
  const auto cut = bytes.substr(0, 12 + 8 + 290);
  const auto short_result = RunOnBytes(cut);
  EXPECT_EQ(short_result.Code, 1);
  EXPECT_EQ(test::MaskLocation(short_result.Err),
            FatalText("EInOutError", "Versuch hinter dem Dateiende zu lesen."));
}

TEST(FormatChunk, NotFoundTruncatedAndFoundAfterData) {
  ExpectReport(
      RunOnBytes(WavBuilder().Chunk("JUNK", "abcd").Bytes()),
      RiffOk(16) + "■ fmt               : \n*ERROR*: Format chunk not found in WAVE file.\n");
  // A body that reaches beyond the end counts as reaching the end.
  ExpectReport(RunOnBytes(WavBuilder().ChunkSized("JUNK", 1000, "ab").Bytes()),
               "RIFF                :          √\n"
               "\"RIFF\" body size    :         14 - file length is reported exactly, OK.\n"
               "WAVE                :          √\n"
               "■ fmt               : \n*ERROR*: Format chunk not found in WAVE file.\n");
  // The end comes inside a header.
  ExpectReport(RunOnBytes(WavBuilder().Chunk("JUNK", "ab").Raw("fmt").Bytes()),
               RiffOk(17) + "■ fmt               : ", 1,
               FatalText("EInOutError", "Versuch hinter dem Dateiende zu lesen."));
  // "fmt " after "data": the search passed the data chunk over, so the walk after "fmt "
  // meets no data chunk.
  const auto late = WavBuilder()
                        .Chunk("data", "abcd")
                        .Chunk("fmt ", test::Pcm16StereoFmt())
                        .Chunk("JUNK", "")
                        .Bytes();
  ExpectReport(RunOnBytes(late), RiffOk(48) + kFmtPcm16Stereo +
                                     "■ fact              :          √\n"
                                     " \"fact\" chunk size  :          0\n"
                                     " \"fact\" data        :  [\b]\n"
                                     "■ data              : *ERROR*: Data chunk not found in "
                                     "WAVE file.\n");
}

TEST(FormatChunk, SizesThatCannotBeRight) {
  // A size that points back at its own header would loop for ever.
  ExpectReport(RunOnBytes(WavBuilder().ChunkSized("JUNK", 0xFFFFFFF8u, "").Raw("xxxx").Bytes()),
               "RIFF                :          √\n"
               "\"RIFF\" body size    :         16 - file length is reported exactly, OK.\n"
               "WAVE                :          √\n"
               "■ fmt               : *ERROR*: Negative chunk size in WAVE file.\n");
  ExpectReport(
      RunOnBytes(WavBuilder().ChunkSized("fmt ", 0xFFFFFFFFu, test::Pcm16StereoFmt()).Bytes()),
      RiffOk(28) +
          "■ fmt               :          √\n"
          " \"fmt \" chunk size  :         -1\n"
          "*ERROR*: Negative chunk size in WAVE file.\n");
  // A skip whose target wraps past 2^31 - 1 is a seek to a negative position.
  ExpectReport(RunOnBytes(WavBuilder().ChunkSized("JUNK", 0x7FFFFFF0u, "").Raw("xxxx").Bytes()),
               RiffOk(16) + "■ fmt               : ", 1,
               FatalText("EInOutError", "E/A-Fehler 131."));
  // The body is shorter in the file than its size says.
  ExpectReport(RunOnBytes(WavBuilder().ChunkSized("fmt ", 16, "abc").Bytes()),
               RiffOk(15) +
                   "■ fmt               :          √\n"
                   " \"fmt \" chunk size  :         16\n",
               1, FatalText("EInOutError", "Versuch hinter dem Dateiende zu lesen."));
}

// ---- Fact and data chunks -----------------------------------------------------------------

TEST(FactData, MissingFactMattersOnlyForCompressedFormats) {
  for (int tag : {1, 3, 2}) {
    SCOPED_TRACE(tag);
    const auto bytes =
        WavBuilder()
            .Chunk("fmt ", FmtBody(static_cast<std::uint16_t>(tag), 1, 8000, 16000, 2, 16))
            .Chunk("data", std::string(1600, '\0'))
            .Bytes();
    const auto result = RunOnBytes(bytes);
    const std::string fact_line =
        tag == 2
            ? "■ fact              : *ERROR*: \"fact\" chunk necessary in non-std. WAVE file.\n"
            : "■ fact              :          ÷\n";
    EXPECT_NE(result.Out.find(Cp437(fact_line + "■ data              :          √\n"
                                                " \"data\" chunk size  :       1600\n"
                                                "  ╘═> est. playtime :     0.10 s =  0:00.10\n"
                                                "■ LIST              :          ÷\n")),
              std::string::npos);
    EXPECT_EQ(result.Code, 0);
  }
}

TEST(FactData, EveryChunkBeforeDataIsReportedAsFact) {
  const auto bytes = WavBuilder()
                         .Chunk("fmt ", FmtBody(0x11, 1, 8000, 4055, 256, 4, Le16(2) + "\xF9\x01"))
                         .Chunk("fact", std::string("\x0A\x00\x00\x00", 4))
                         .Chunk("LIST", test::InfoList({{"INAM", "x"}}))
                         .Chunk("data", std::string(4055, '\x11'))
                         .Bytes();
  const auto result = RunOnBytes(bytes);
  EXPECT_NE(
      result.Out.find(Cp437("  ∙ fmt.-spec. data :  [F9 01 \b]\n"
                            "■ fact              :          √\n"
                            " \"fact\" chunk size  :          4\n"
                            " \"fact\" data        :  [0A 00 00 00 \b]\n"
                            "         √\n"
                            " \"fact\" chunk size  :         14\n"
                            " \"fact\" data        :  [49 4E 46 4F 49 4E 41 4D 01 00 00 00 ...]\n"
                            "■ data              :          √\n"
                            " \"data\" chunk size  :       4055\n"
                            "  ╘═> est. playtime :     1.00 s =  0:01.00\n"
                            "■ LIST              :          ÷\n")),
      std::string::npos);
  EXPECT_EQ(result.Code, 0);
}

TEST(FactData, FactBodyLargerThanTheRecord) {
  std::string body;
  for (int i = 0; i < 301; ++i) {
    body.push_back(static_cast<char>(0xA0 + i % 16));
  }
  const auto bytes = WavBuilder()
                         .Chunk("fmt ", FmtBody(2, 1, 8000, 4096, 256, 4))
                         .Chunk("fact", body)
                         .Chunk("data", "ab")
                         .Bytes();
  const auto result = RunOnBytes(bytes);
  EXPECT_NE(result.Out.find(Cp437(" \"fact\" chunk size  :        301\n")), std::string::npos);
  EXPECT_NE(result.Out.find(" [A0 A1 A2 A3 A4 A5 A6 A7 A8 A9 AA AB ...]\r\n"), std::string::npos);
  EXPECT_NE(result.Out.find(Cp437("■ data              :          √\n")), std::string::npos);
  EXPECT_EQ(result.Code, 0);

  // Ending exactly at the end of the file is inside it; one byte more is not.
  const auto at_end =
      WavBuilder().Chunk("fmt ", FmtBody(2, 1, 8000, 4096, 256, 4)).ChunkNoPad("fact", body);
  const auto end_result = RunOnBytes(at_end.Bytes());
  EXPECT_NE(end_result.Out.find(
                Cp437("■ data              : *ERROR*: Data chunk not found in WAVE file.\n")),
            std::string::npos);
  EXPECT_EQ(end_result.Code, 0);
  const auto beyond =
      WavBuilder().Chunk("fmt ", FmtBody(2, 1, 8000, 4096, 256, 4)).ChunkSized("fact", 302, body);
  const auto beyond_result = RunOnBytes(beyond.Bytes());
  EXPECT_EQ(beyond_result.Code, 1);
  EXPECT_EQ(test::MaskLocation(beyond_result.Err),
            FatalText("EInOutError", "Versuch hinter dem Dateiende zu lesen."));
}

TEST(FactData, MissingDataAndEarlyEnd) {
  const auto fmt_only = WavBuilder().Chunk("fmt ", test::Pcm16StereoFmt());
  ExpectReport(RunOnBytes(fmt_only.Bytes()),
               RiffOk(28) + kFmtPcm16Stereo + "■ fact              : ", 1,
               FatalText("EInOutError", "Versuch hinter dem Dateiende zu lesen."));
  const auto no_data = WavBuilder().Chunk("fmt ", test::Pcm16StereoFmt()).Chunk("JUNK", "ab");
  ExpectReport(RunOnBytes(no_data.Bytes()),
               RiffOk(38) + kFmtPcm16Stereo +
                   "■ fact              :          √\n"
                   " \"fact\" chunk size  :          2\n"
                   " \"fact\" data        :  [61 62 \b]\n"
                   "■ data              : *ERROR*: Data chunk not found in WAVE file.\n");
}

std::string PlayTimeLine(std::uint32_t size, std::uint32_t rate) {
  const auto bytes = WavBuilder()
                         .Chunk("fmt ", FmtBody(1, 1, 8000, rate, 1, 8))
                         .ChunkSized("data", size, "")
                         .Bytes();
  const std::string out = RunOnBytes(bytes).Out;
  const std::string label = Cp437("  ╘═> est. playtime : ");
  const auto begin = out.find(label);
  if (begin == std::string::npos) {
    return "(no play-time line)";
  }
  return out.substr(begin + label.size(), out.find("\r\n", begin) - begin - label.size());
}

TEST(FactData, PlayTimeInSecondsAndMinutes) {
  const struct {
    std::uint32_t Size;
    std::uint32_t Rate;
    const char* Text;
  } rows[] = {
      {12348000, 176400, "   70.00 s =  1:10.00"},
      {22932000, 176400, "  130.00 s =  2:10.00"},
      {131, 2, "   65.50 s =  1:05.50"},
      {7, 2, "    3.50 s =  0:03.50"},
      {9996, 1000, "   10.00 s =  0:10.00"},
      {119996, 1000, "  120.00 s =  2:00.00"},
      {1000, static_cast<std::uint32_t>(-100), "  -10.00 s = -0:10.00"},
      {1323000, 176400, "    7.50 s =  0:07.50"},
      {0x7FFFFFFF, 1, "2147483647.00 s = 35791394:07.00"},
      {0x80000000u, 1, "-2147483648.00 s = -35791394:08.00"},
      {3599999, 1000, " 3600.00 s = 60:00.00"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(PlayTimeLine(row.Size, row.Rate), row.Text);
  }
}

TEST(FactData, ZeroRatesAndBrokenSizes) {
  auto file = [](std::uint32_t size, std::uint32_t rate) {
    return WavBuilder()
        .Chunk("fmt ", FmtBody(1, 1, 8000, rate, 1, 8))
        .ChunkSized("data", size, "")
        .Bytes();
  };
  const std::string fmt8 =
      "■ fmt               :          √\n"
      " \"fmt \" chunk size  :         16\n"
      "  ∙ Format          :          1 = 0001h\n"
      "    ╘═> CODEC       : Microsoft - uncompressed PCM\n"
      "  ∙ Channels        :          1 (mono)\n"
      "  ∙ Sample Freq.    :       8000\n"
      "  ∙ avg. Byte rate  :          0\n"
      "  ∙ block size      :          1\n"
      "  ∙ bits / sample   :          8\n"
      "■ fact              :          ÷\n"
      "■ data              :          √\n";
  ExpectReport(RunOnBytes(file(1000, 0)), RiffOk(36) + fmt8, 1,
               FatalText("EZeroDivide", "Gleitkommadivision durch Null."));
  ExpectReport(RunOnBytes(file(0, 0)), RiffOk(36) + fmt8, 1,
               FatalText("EInvalidOp", "Ung\x81ltige Gleitkommaoperation."));

  const auto zero = RunOnBytes(file(0, 8000));
  EXPECT_NE(zero.Out.find(Cp437(" \"data\" chunk size  :          0\n"
                                "  ╘═> est. playtime :     0.00 s =  0:00.00\n"
                                "*ERROR*: Possibly broken wave file.\n")),
            std::string::npos);
  EXPECT_EQ(zero.Code, 0);
  // Larger than the whole file, and negative: both are broken.
  for (std::uint32_t size : {45u, 0xFFFFFFFFu}) {
    const auto broken = RunOnBytes(file(size, 8000));
    EXPECT_EQ(broken.Out.substr(broken.Out.size() - 37), "*ERROR*: Possibly broken wave file.\r\n");
    EXPECT_EQ(broken.Code, 0);
  }
  // Larger than what follows the header but not than the file: passes, the LIST search
  // starts past the end.
  const auto beyond = RunOnBytes(file(44, 8000));
  EXPECT_EQ(beyond.Out.substr(beyond.Out.size() - 34), Cp437("■ LIST              :          ÷\n"));
  EXPECT_EQ(beyond.Code, 0);
}

TEST(FactData, OddDataWithItsPadByteEndsTheFileCleanly) {
  const auto bytes =
      WavBuilder().Chunk("fmt ", FmtBody(1, 1, 8000, 8000, 1, 8)).Chunk("data", "abc").Bytes();
  const auto result = RunOnBytes(bytes);
  EXPECT_EQ(result.Out.substr(result.Out.size() - 34), Cp437("■ LIST              :          ÷\n"));
  EXPECT_EQ(result.Err, "");
  EXPECT_EQ(result.Code, 0);
}

// ---- LIST and INFO chunks -----------------------------------------------------------------

std::string ListLines(const test::RunResult& result) {
  const std::string marker = Cp437("  ╘═> est. playtime :     0.00 s =  0:00.00\n");
  const auto at = result.Out.find(marker);
  return at == std::string::npos ? result.Out : result.Out.substr(at + marker.size());
}

TEST(ListInfo, ItemsOfEveryLength) {
  const std::string tail = test::PaddedChunk("LIST", test::InfoList({
                                                         {"INAM", std::string("Title\0", 6)},
                                                         {"ICMT", ""},
                                                         {"IART", std::string(39, 'a')},
                                                         {"ISFT", std::string(40, 'b')},
                                                         {"ICOP", std::string(254, 'c')},
                                                         {"IKEY", std::string(255, 'd')},
                                                         {std::string("IN\0\0", 4), "x"},
                                                         {std::string("\0ABC", 4), "yz"},
                                                     }));
  const auto result = RunOnBytes(test::PcmThen(tail));
  EXPECT_EQ(ListLines(result), Cp437("■ LIST              :          √\n"
                                     " \"LIST\" chunk size  :        668\n"
                                     " \"LIST\" data type   :       INFO\n"
                                     "  - INFO block\n"
                                     "    ∙ \"INAM\" size   :          6 [Title") +
                                   std::string(1, '\0') +
                                   Cp437("]\n"
                                         "    ∙ \"ICMT\" size   :          0 []\n"
                                         "    ∙ \"IART\" size   :         39 [" +
                                         std::string(39, 'a') +
                                         "]\n"
                                         "    ∙ \"ISFT\" size   :         40 [" +
                                         std::string(36, 'b') +
                                         " ...]\n"
                                         "    ∙ \"ICOP\" size   :        254 [" +
                                         std::string(36, 'c') +
                                         " ...]\n"
                                         "    ∙ \"IKEY\" size   :        255 (binary/large)\n"
                                         "    ∙ \"IN\" size   :          1 [x]\n"
                                         "    ∙ \"\" size   :          2 [yz]\n"));
  EXPECT_EQ(result.Code, 0);
}

TEST(ListInfo, OddItemsAreFollowedByTheirPadByte) {
  const std::string tail = test::PaddedChunk(
      "LIST", test::InfoList({{"INAM", std::string("Test\0", 5)}, {"ICMT", "abcd"}}));
  const auto result = RunOnBytes(test::PcmThen(tail));
  EXPECT_EQ(ListLines(result), Cp437("■ LIST              :          √\n"
                                     " \"LIST\" chunk size  :         30\n"
                                     " \"LIST\" data type   :       INFO\n"
                                     "  - INFO block\n"
                                     "    ∙ \"INAM\" size   :          5 [Test") +
                                   std::string(1, '\0') +
                                   Cp437("]\n"
                                         "    ∙ \"ICMT\" size   :          4 [abcd]\n"));
  EXPECT_EQ(result.Err, "");
  EXPECT_EQ(result.Code, 0);
}

TEST(ListInfo, ChunksAroundAndBetweenLists) {
  const std::string tail = test::PaddedChunk("JUNK", "zz") +
                           test::PaddedChunk("LIST", test::InfoList({{"INAM", "ab"}})) +
                           test::PaddedChunk("LIST", "adtl" + test::PaddedChunk("labl", "1234")) +
                           test::PaddedChunk("LIST", std::string("ab\0\0", 4)) +
                           test::PaddedChunk("smpl", "x");
  const auto result = RunOnBytes(test::PcmThen(tail));
  EXPECT_EQ(ListLines(result), Cp437("■ LIST              :          √\n"
                                     " \"LIST\" chunk size  :         14\n"
                                     " \"LIST\" data type   :       INFO\n"
                                     "  - INFO block\n"
                                     "    ∙ \"INAM\" size   :          2 [ab]\n"
                                     "■ LIST              :          √\n"
                                     " \"LIST\" chunk size  :         16\n"
                                     " \"LIST\" data type   :       adtl\n"
                                     "■ LIST              :          √\n"
                                     " \"LIST\" chunk size  :          4\n"
                                     " \"LIST\" data type   :         ab\n"
                                     "■ LIST              :          ÷\n"));
  EXPECT_EQ(result.Code, 0);
}

TEST(ListInfo, NonListChunkWhoseBytesSpellInfoIsNotAList) {
  const auto result = RunOnBytes(
      test::PcmThen(test::PaddedChunk("JUNK", "INFOxxxx") + test::PaddedChunk("tiny", "a")));
  EXPECT_EQ(ListLines(result), Cp437("■ LIST              :          ÷\n"));
  EXPECT_EQ(result.Code, 0);
}

TEST(ListInfo, SizesThatCannotBeRight) {
  // A LIST found with a negative size is shown and lists no item.
  const auto negative_list =
      RunOnBytes(test::PcmThen("LIST" + Le32(0xFFFFFFF0u) + "INFO" + "INAM" + Le32(2) + "ab"));
  EXPECT_EQ(ListLines(negative_list), Cp437("■ LIST              :          √\n"
                                            " \"LIST\" chunk size  :        -16\n"
                                            " \"LIST\" data type   :       INFO\n"
                                            "  - INFO block\n"
                                            "■ LIST              :          ÷\n"));
  EXPECT_EQ(negative_list.Code, 0);

  const auto negative_item =
      RunOnBytes(test::PcmThen("LIST" + Le32(14) + "INFO" + "INAM" + Le32(0xFFFFFFFEu) + "ab"));
  EXPECT_EQ(ListLines(negative_item), Cp437("■ LIST              :          √\n"
                                            " \"LIST\" chunk size  :         14\n"
                                            " \"LIST\" data type   :       INFO\n"
                                            "  - INFO block\n"
                                            "    ∙ \"INAM\" size   :         -2\n"
                                            "*ERROR*: Negative INFO item size in WAVE file.\n"));
  EXPECT_EQ(negative_item.Code, 0);

  const auto negative_chunk = RunOnBytes(test::PcmThen("JUNK" + Le32(0xFFFFFFF8u) + "abcd"));
  EXPECT_EQ(ListLines(negative_chunk),
            Cp437("■ LIST              : *ERROR*: Negative chunk size in WAVE file.\n"));

  // An item bound beyond 2^31 - 1 wraps negative: no item is listed.
  const auto huge_list =
      RunOnBytes(test::PcmThen("LIST" + Le32(0x7FFFFFFFu) + "INFO" + "INAM" + Le32(2) + "ab"));
  EXPECT_EQ(ListLines(huge_list), Cp437("■ LIST              :          √\n"
                                        " \"LIST\" chunk size  : 2147483647\n"
                                        " \"LIST\" data type   :       INFO\n"
                                        "  - INFO block\n"
                                        "■ LIST              :          ÷\n"));
}

TEST(ListInfo, TruncatedItemEndsWithTheReadError) {
  const auto result =
      RunOnBytes(test::PcmThen("LIST" + Le32(20) + "INFO" + "INAM" + Le32(8) + "abc"));
  EXPECT_EQ(ListLines(result), Cp437("■ LIST              :          √\n"
                                     " \"LIST\" chunk size  :         20\n"
                                     " \"LIST\" data type   :       INFO\n"
                                     "  - INFO block\n"
                                     "    ∙ \"INAM\" size   :          8"));
  EXPECT_EQ(test::MaskLocation(result.Err),
            FatalText("EInOutError", "Versuch hinter dem Dateiende zu lesen."));
  EXPECT_EQ(result.Code, 1);
}

TEST(ListInfo, FileBytesReachAPipeUnchanged) {
  const std::string text("\x1B]0;owned\x07\x1B[2J\x9B", 14);
  const auto result =
      RunOnBytes(test::PcmThen(test::PaddedChunk("LIST", "\x1B[1m") +
                               test::PaddedChunk("LIST", test::InfoList({{"\x1B[0m", text}}))));
  EXPECT_NE(result.Out.find(Cp437(" \"LIST\" data type   :       ") + "\x1B[1m\r\n"),
            std::string::npos);
  EXPECT_NE(result.Out.find(Cp437("    ∙ \"") + "\x1B[0m" + Cp437("\" size   :         14 [") +
                            text + "]\r\n"),
            std::string::npos);
}

// ---- The run's record -------------------------------------------------------------------

// How the run ended, as the record notes it beside the report.
TEST(RunRecord, HowTheRunEnded) {
  const std::string pcm = test::Pcm16StereoFmt();
  const auto adpcm = FmtBody(17, 1, 8000, 4055, 256, 4, Le16(2) + "\xF9\x01");
  const struct {
    std::string Bytes;
    StopReason Stop;
    std::int32_t Error;
    const char* ErrorClass;
  } rows[] = {
      {WavBuilder().Chunk("fmt ", pcm).Chunk("data", "abcd").Bytes(), StopReason::kNone, 0, ""},
      {WavBuilder().RawSize(99).Chunk("fmt ", pcm).Chunk("data", "abcd").Bytes(), StopReason::kNone,
       0, ""},
      {WavBuilder().RawSize(0).Chunk("fmt ", pcm).Chunk("data", "abcd").Bytes(), StopReason::kNone,
       0, ""},
      {WavBuilder().Chunk("fmt ", adpcm).Chunk("data", "abcd").Bytes(), StopReason::kNone, 0, ""},
      {WavBuilder().Chunk("fmt ", pcm).ChunkSized("data", 999, "abcd").Bytes(),
       StopReason::kBrokenData, 0, ""},
      {WavBuilder().Chunk("data", "abcd").Bytes(), StopReason::kNoFormat, 0, ""},
      {"ID3\x04" + std::string(60, '\0'), StopReason::kNoRiffId, 0, ""},
      {WavBuilder().Form("AVI ").Bytes(), StopReason::kNoWaveId, 0, ""},
      {"", StopReason::kNone, 100, "EInOutError"},
      {WavBuilder().Chunk("fmt ", FmtBody(1, 1, 8000, 0, 1, 8)).Chunk("data", "ab").Bytes(),
       StopReason::kNone, 0, "EZeroDivide"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Bytes.substr(0, 16));
    RunOnBytes(row.Bytes);
    const RunRecordRec& record = sondrax::Run.Record;
    EXPECT_EQ(record.Stop, row.Stop);
    EXPECT_EQ(record.Error, row.Error);
    EXPECT_EQ(record.ErrorClass, row.ErrorClass);
    EXPECT_EQ(record.Length, static_cast<std::int64_t>(row.Bytes.size()));
  }
}

TEST(RunRecord, ChunksOfTheWalkWithAZeroRunAsOneEntry) {
  const auto bytes = WavBuilder()
                         .Chunk("fmt ", test::Pcm16StereoFmt())
                         .Chunk("data", "abcd")
                         .Raw(std::string(64, '\0'))
                         .Chunk("LIST", "INFO" + test::ChunkHeader("INAM", 2) + "ab")
                         .Bytes();
  RunOnBytes(bytes);
  const struct {
    std::int64_t Offset;
    const char* Id;
    std::int64_t Size;
    std::int64_t Headers;
  } expected[] = {{0, "RIFF", static_cast<std::int64_t>(bytes.size()) - 8, 1},
                  {12, "fmt ", 16, 1},
                  {36, "data", 4, 1},
                  {48, "", 0, 8},
                  {112, "LIST", 14, 1}};
  const auto& chunks = sondrax::Run.Record.Chunks;
  ASSERT_EQ(chunks.size(), std::size(expected));
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    EXPECT_EQ(chunks[i].Offset, expected[i].Offset) << i;
    EXPECT_EQ(IdText(chunks[i].Id), expected[i].Id) << i;
    EXPECT_EQ(chunks[i].Size, expected[i].Size) << i;
    EXPECT_EQ(chunks[i].Headers, expected[i].Headers) << i;
  }
  EXPECT_EQ(sondrax::Run.Record.End, RunEnd::kComplete);
}

}  // namespace
}  // namespace sondrax

namespace sondrax {
namespace {

// Files written by sox and ffmpeg, with reports checked by hand (tests/data/make-data.sh).
TEST(RealFiles, ReportsMatchTheCheckedOnes) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(SONDRAX_TEST_DATA)) {
    if (entry.path().extension() != ".wav") {
      continue;
    }
    SCOPED_TRACE(entry.path().filename().string());
    auto report_path = entry.path();
    report_path.replace_extension(".report");
    const auto result = test::RunOnBytes(test::ReadFile(entry.path().string()));
    EXPECT_EQ(result.Out, test::ReadFile(report_path.string()));
    EXPECT_EQ(result.Err, "");
    EXPECT_EQ(result.Code, 0);
    ++files;
  }
  EXPECT_GE(files, 8);
}

}  // namespace
}  // namespace sondrax
