// The diagnosis on files built here and on real files: verdict, finding codes, key numbers.
#include <gtest/gtest.h>

#include <string>

#include "TestUtil.h"
#include "diagnosis/Diagnosis.h"

namespace sondrax {
namespace {

using test::ChunkHeader;
using test::FmtBody;
using test::InfoList;
using test::Le32;
using test::MemoryFile;
using test::WavBuilder;

struct Judged {
  DiagnosisRec Diagnosis;
  test::RunResult Run;
  std::string Codes;  // the findings' codes, worst first, joined by blanks
};

MemoryFile Memory(const std::string& bytes) {
  MemoryFile file;
  file.Bytes = bytes;
  return file;
}

Judged Judge(const MemoryFile& file, const test::FakeOptions& options = {}) {
  Judged judged;
  judged.Run =
      test::WithFake(file, options, [&] { judged.Diagnosis = Diagnose(test::kMemoryFileName); });
  for (const FindingRec& finding : judged.Diagnosis.Findings) {
    judged.Codes += judged.Codes.empty() ? "" : " ";
    judged.Codes += finding.Code;
  }
  return judged;
}

Judged Judge(const std::string& bytes) { return Judge(Memory(bytes)); }

// Mono 8-bit at 1,000 Hz: a byte is a millisecond.
const std::string kFmt = FmtBody(1, 1, 1000, 1000, 1, 8);
const std::string kSamples(10000, '\x80');  // 10.00 s

struct Row {
  const char* Name;
  std::string Bytes;
  const char* Verdict;
  const char* Codes;
  const char* Reason;  // exact, or "" when the codes say enough
};

TEST(Diagnosis, VerdictsCodesAndReasons) {
  const std::string riff = WavBuilder().Chunk("fmt ", kFmt).Chunk("data", kSamples).Bytes();
  const std::string cut = riff.substr(0, 44 + 5670);
  auto with_sizes = [&](std::uint32_t riff_size, std::uint32_t data_size) {
    std::string bytes = riff;
    bytes.replace(4, 4, Le32(riff_size));
    bytes.replace(40, 4, Le32(data_size));
    return bytes;
  };
  const std::string list_after = InfoList({{"INAM", "Take"}});
  const Row rows[] = {
      {"ok", riff, "ok", "", "a sound WAVE file: PCM 8-bit, 1 channel, 1,000 Hz, 10.00 s"},
      {"cut off", cut, "problem", "cut-off", "cut off: 5.67 s of 10.00 s present (4.33 s missing)"},
      {"cut off, RIFF size mended to the length",
       WavBuilder().Chunk("fmt ", kFmt).ChunkSized("data", 10000, kSamples.substr(0, 5670)).Bytes(),
       "problem", "data-past-end", ""},
      {"never finalised", with_sizes(36, 0), "problem", "never-finalised",
       "never finalised: 10.0 s of samples follow the header; recoverable"},
      {"never finalised, RIFF size 0", with_sizes(0, 0), "problem", "never-finalised", ""},
      {"streamed", with_sizes(0xFFFFFFFF, 0xFFFFFFFF), "warning", "streamed",
       "streamed: sizes never filled in; 10.0 s of samples to the end of the file"},
      {"streamed by another writer", with_sizes(0x7FFFF024, 0x7FFFF000), "warning", "streamed", ""},
      {"RIFF size too large", with_sizes(20000, 10000), "warning", "riff-size",
       "RIFF size off: it says 20,000 bytes, the chunks fill 10,036 bytes; the samples are whole"},
      {"RIFF size 0, data whole", with_sizes(0, 10000), "warning", "riff-size", ""},
      {"bytes after the RIFF body", riff + "\x01\x02\x03\x04\x05\x06\x07\x08\x09", "warning",
       "trailing-bytes", "9 bytes after the RIFF body are not a chunk"},
      {"chunks after the RIFF body",
       with_sizes(10036, 10000) + test::PaddedChunk("LIST", list_after), "warning", "riff-size",
       ""},
      {"byte rate 0",
       WavBuilder().Chunk("fmt ", FmtBody(1, 1, 1000, 0, 1, 8)).Chunk("data", kSamples).Bytes(),
       "warning", "byte-rate",
       "the byte rate is 0, not rate \xC3\x97 block align = 1,000; the play time is from the "
       "latter"},
      {"block align off, the byte rate agrees with the fields",
       WavBuilder().Chunk("fmt ", FmtBody(1, 2, 1000, 4000, 2, 16)).Chunk("data", "abcd").Bytes(),
       "warning", "block-align", ""},
      {"block align and byte rate off",
       WavBuilder().Chunk("fmt ", FmtBody(1, 2, 1000, 3000, 2, 16)).Chunk("data", "abcd").Bytes(),
       "warning", "byte-rate block-align", ""},
      {"odd chunk without its pad byte",
       WavBuilder().Chunk("fmt ", kFmt).ChunkNoPad("JUNK", "abc").Chunk("data", kSamples).Bytes(),
       "warning", "no-pad", ""},
      {"last chunk without its pad byte",
       WavBuilder().Chunk("fmt ", kFmt).ChunkNoPad("data", "abc").Bytes(), "ok", "no-pad", ""},
      {"chunk after the samples runs past the end",
       riff.substr(0, 4) + Le32(10036 + 8 + 100) + riff.substr(8) + ChunkHeader("LIST", 100) +
           "INFO",
       "warning", "chunk-past-end", ""},
      {"malformed INFO list after the samples",
       WavBuilder()
           .Chunk("fmt ", kFmt)
           .Chunk("data", kSamples)
           .Chunk("LIST", "INFO" + ChunkHeader("INAM", 4) + "Take" + ChunkHeader("IART", 50) + "Me")
           .Bytes(),
       "warning", "info-malformed", ""},
      {"cut off by a few bytes", riff.substr(0, riff.size() - 3), "problem", "cut-off",
       "cut off: 9,997 of 10,000 bytes of samples present"},
      {"a chunk whose id is not text",
       WavBuilder().Chunk("fmt ", kFmt).Chunk("\x01\xFFxy", "abcd").Chunk("data", "ab").Bytes(),
       "ok", "odd-id", ""},
      {"INFO item without its pad byte",
       WavBuilder()
           .Chunk("fmt ", kFmt)
           .Chunk("data", "ab")
           .Chunk("LIST", "INFO" + ChunkHeader("INAM", 3) + "abc" + ChunkHeader("IART", 2) + "Me")
           .Bytes(),
       "warning", "no-pad", ""},
      {"empty", "", "problem", "empty", "the file is empty"},
      {"cut inside the RIFF header", std::string("RIFF\x10\0", 6), "problem", "cut-header", ""},
      {"cut inside the format chunk", riff.substr(0, 30), "problem", "cut-header", ""},
      {"cut inside a chunk header", riff.substr(0, 40), "problem", "cut-header", ""},
      {"no format chunk", WavBuilder().Chunk("data", kSamples).Bytes(), "problem", "no-format", ""},
      {"no data chunk", WavBuilder().Chunk("fmt ", kFmt).Bytes(), "problem", "no-data", ""},
      {"bytes that are not a chunk before the data",
       WavBuilder().Chunk("fmt ", kFmt).Raw(std::string(8, '\x01')).Chunk("data", kSamples).Bytes(),
       "problem", "not-a-chunk", ""},
      {"a second data chunk",
       WavBuilder().Chunk("fmt ", kFmt).Chunk("data", "ab").Chunk("data", "cd").Bytes(), "warning",
       "duplicate-chunk", ""},
      {"format after the data", WavBuilder().Chunk("data", "ab").Chunk("fmt ", kFmt).Bytes(),
       "warning", "format-after-data", ""},
      {"empty data chunk", WavBuilder().Chunk("fmt ", kFmt).Chunk("data", "").Bytes(), "warning",
       "data-empty", ""},
      {"format chunk too short",
       WavBuilder().Chunk("fmt ", kFmt.substr(0, 12)).Chunk("data", "ab").Bytes(), "problem",
       "format-short", ""},
      {"no channels",
       WavBuilder().Chunk("fmt ", FmtBody(1, 0, 1000, 1000, 1, 8)).Chunk("data", "ab").Bytes(),
       "problem", "format-invalid", ""},
      {"extensible without its sub-format",
       WavBuilder().Chunk("fmt ", FmtBody(0xFFFE, 1, 1000, 1000, 1, 8)).Chunk("data", "ab").Bytes(),
       "problem", "extensible-short", ""},
      {"compressed without fact",
       WavBuilder().Chunk("fmt ", FmtBody(2, 1, 8000, 4096, 256, 4)).Chunk("data", "ab").Bytes(),
       "warning", "no-fact", ""},
      {"MP3 with byte rate 0",
       WavBuilder()
           .Chunk("fmt ", FmtBody(0x55, 1, 8000, 0, 576, 0))
           .Chunk("fact", Le32(16000))
           .Chunk("data", "ab")
           .Bytes(),
       "warning", "byte-rate",
       "the byte rate is 0; the play time is from the fact chunk's sample count"},
      {"RF64 without ds64", "RF64" + Le32(0xFFFFFFFF) + "WAVE" + test::PaddedChunk("fmt ", kFmt),
       "problem", "no-ds64", ""},
      {"RF64 with a chunk of an id that is not text running past the end",
       "RF64" + Le32(0xFFFFFFFF) + "WAVE" + test::PaddedChunk("ds64", std::string(28, '\0')) +
           ChunkHeader("\xFF\xFF\xFF\xFF", 0xFFFFFFFF),
       "problem", "cut-header odd-id rf64",
       "cut off inside the \"\\xFF\\xFF\\xFF\\xFF\" chunk at byte 48: the file ends 4,294,967,295 "
       "bytes short of its end"},
      {"RF64 cut inside ds64", "RF64" + Le32(0xFFFFFFFF) + "WAVE" + ChunkHeader("ds64", 28) + "abc",
       "problem", "cut-header", ""},
      {"RF64 with a chunk sized by the ds64 table",
       "RF64" + Le32(0xFFFFFFFF) + "WAVE" +
           test::PaddedChunk("ds64", Le32(100) + Le32(0) + Le32(2) + Le32(0) + Le32(2) + Le32(0) +
                                         Le32(1) + "JUNK" + Le32(6) + Le32(0)) +
           test::PaddedChunk("fmt ", kFmt) + ChunkHeader("JUNK", 0xFFFFFFFF) + "abcdef" +
           ChunkHeader("data", 0xFFFFFFFF) + "ab",
       "ok", "rf64", ""},
      {"unknown format tag",
       WavBuilder()
           .Chunk("fmt ", FmtBody(0x1234, 1, 1000, 1000, 1, 8))
           .Chunk("fact", Le32(2))
           .Chunk("data", "ab")
           .Bytes(),
       "ok", "", "a sound WAVE file: format 0x1234, 1 channel, 1,000 Hz, 0.00 s"},
      {"MP3", "ID3\x04" + std::string(60, '\0'), "not-wave", "not-wave",
       "not a WAVE file: it looks like an MP3 file"},
      {"AIFF", "FORM" + Le32(4) + "AIFF", "not-wave", "not-wave",
       "not a WAVE file: it looks like an AIFF file"},
      {"RIFF of another form", WavBuilder().Form("AVI ").Bytes(), "not-wave", "not-wave",
       "not a WAVE file: a RIFF file of the form \"AVI \" (a video)"},
      {"text", "hello, world", "not-wave", "not-wave",
       "not a WAVE file: it does not start with \"RIFF\""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    const Judged judged = Judge(row.Bytes);
    EXPECT_STREQ(VerdictName(judged.Diagnosis), row.Verdict);
    EXPECT_EQ(judged.Codes, row.Codes);
    if (*row.Reason != '\0') {
      EXPECT_EQ(judged.Diagnosis.Reason, row.Reason);
    }
  }
}

TEST(Diagnosis, PlayTimeFromTheConsistentFields) {
  // 16-bit stereo at 1,000 Hz whose block align says 2: the byte rate agrees with 4.
  const DiagnosisRec diagnosis = Judge(WavBuilder()
                                           .Chunk("fmt ", FmtBody(1, 2, 1000, 4000, 2, 16))
                                           .Chunk("data", std::string(4000, '\x01'))
                                           .Bytes())
                                     .Diagnosis;
  EXPECT_EQ(diagnosis.PresentMicros, 1000000);
  EXPECT_EQ(std::string(diagnosis.Findings.at(0).Code), "block-align");
  // A compressed format: from the byte rate.
  EXPECT_EQ(Judge(WavBuilder()
                      .Chunk("fmt ", FmtBody(0x11, 1, 8000, 4055, 256, 4))
                      .Chunk("fact", Le32(16000))
                      .Chunk("data", std::string(std::size_t{4055} * 3, '\x01'))
                      .Bytes())
                .Diagnosis.PresentMicros,
            3000000);
}

TEST(Diagnosis, UnreadableOnlyWhenTheFileCannotBeOpenedOrRead) {
  test::FakeOptions missing;
  missing.InputOpenError = kErrFileNotFound;
  const Judged gone = Judge(Memory("RIFF"), missing);
  EXPECT_STREQ(VerdictName(gone.Diagnosis), "unreadable");
  EXPECT_EQ(gone.Diagnosis.Reason, "the file could not be opened: no such file");

  test::FakeOptions failing;
  failing.FailReadAt = 0;
  const Judged broken = Judge(Memory(WavBuilder().Chunk("fmt ", kFmt).Bytes()), failing);
  EXPECT_EQ(broken.Codes, "unreadable");
  EXPECT_EQ(broken.Diagnosis.Reason,
            "the file could not be read: an input/output error, or it changed after it was chosen");

  test::FakeOptions shrinking;
  shrinking.MaxPerRead = 4;
  shrinking.FailReadAt = 1;
  shrinking.ReadError = kErrShortRead;
  EXPECT_EQ(Judge(Memory(WavBuilder().Chunk("fmt ", kFmt).Bytes()), shrinking).Diagnosis.Reason,
            "the file changed while it was read");
}

TEST(Diagnosis, TagsWhereverTheyStand) {
  std::string bext(602, '\0');
  bext.replace(0, 6, "Take 4");
  bext.replace(256, 5, "Field");
  bext.replace(320, 10, "2026-12-01");
  const std::string bytes = WavBuilder()
                                .Chunk("bext", bext)
                                .Chunk("fmt ", kFmt)
                                .Chunk("LIST", InfoList({{"INAM", "Before"}}))
                                .Chunk("data", "ab")
                                .Chunk("LIST", InfoList({{"IART", "Zo\xEB"},  // Latin-1
                                                         {"ICMT", "\xC9t\xE9"},
                                                         {"IGNR", "\xE2\x82\xAC \xF0\x9F\x8E\xB5"},
                                                         {"IENG", "\xED\xA0\x80"},    // a surrogate
                                                         {"ISFT", "\xE0\x80\xAF"}}))  // overlong
                                .Bytes();
  const DiagnosisRec diagnosis = Judge(bytes).Diagnosis;
  ASSERT_EQ(diagnosis.Tags.size(), 9u);
  EXPECT_EQ(diagnosis.Tags[0].Text, "Take 4");
  EXPECT_EQ(diagnosis.Tags[1].Id, "Originator");
  EXPECT_EQ(diagnosis.Tags[2].Text, "2026-12-01");
  EXPECT_EQ(diagnosis.Tags[3].Name, "title");
  // UTF-8 stays as it is; anything else is taken as Latin-1.
  EXPECT_EQ(diagnosis.Tags[4].Text, "Zo\xC3\xAB");
  EXPECT_EQ(diagnosis.Tags[5].Text, "\xC3\x89t\xC3\xA9");
  EXPECT_EQ(diagnosis.Tags[6].Text, "\xE2\x82\xAC \xF0\x9F\x8E\xB5");
  EXPECT_EQ(diagnosis.Tags[7].Text, "\xC3\xAD\xC2\xA0\xC2\x80");
  EXPECT_EQ(diagnosis.Tags[8].Text, "\xC3\xA0\xC2\x80\xC2\xAF");
}

TEST(Diagnosis, ManyChunksInBoundedMemoryAndFindingsOverTheWholeWalk) {
  // 998 two-byte JUNK chunks, then a data chunk declaring more than the file holds.
  WavBuilder many;
  many.RawSize(99999).Chunk("fmt ", kFmt);
  for (int i = 0; i < 998; ++i) {
    many.Chunk("JUNK", "ab");
  }
  many.ChunkSized("data", 5000, std::string(100, '\x80'));
  Judged judged = Judge(many.Bytes());
  EXPECT_EQ(judged.Codes, "cut-off");
  EXPECT_EQ(judged.Diagnosis.Reason, "cut off: 0.10 s of 5.00 s present (4.90 s missing)");

  // 1,200 odd chunks without pad bytes, the last one cut short: every one counted.
  WavBuilder odd;
  odd.Chunk("fmt ", kFmt).Chunk("data", "ab");
  for (int i = 0; i < 1200; ++i) {
    odd.ChunkNoPad("JUNK", "abc");
  }
  odd.ChunkSized("JUNK", 50, "abc");
  judged = Judge(odd.Bytes());
  EXPECT_EQ(judged.Codes, "chunk-past-end no-pad");
  EXPECT_EQ(judged.Diagnosis.Findings.at(1).Count, 1200);
  EXPECT_EQ(judged.Diagnosis.Chunks.size(), DiagnosisRec::kChunksKept);
  EXPECT_EQ(judged.Diagnosis.ChunksLeftOut,
            1203 + 1 - static_cast<std::int64_t>(DiagnosisRec::kChunksKept));
}

TEST(Diagnosis, AHugeFileCostsAFewReads) {
  // 3 GiB of samples, sparse, and an INFO list after them.
  const std::string list = test::PaddedChunk("LIST", InfoList({{"INAM", "Long"}}));
  const std::int64_t samples = std::int64_t{3} << 30;
  MemoryFile file;
  file.Bytes = WavBuilder()
                   .RawSize(static_cast<std::uint32_t>(36 + samples + list.size()))
                   .Chunk("fmt ", test::Pcm16StereoFmt())
                   .Raw(ChunkHeader("data", static_cast<std::uint32_t>(samples)))
                   .Bytes();
  file.Tail = list;
  file.Length = 44 + samples + static_cast<std::int64_t>(list.size());
  const Judged judged = Judge(file);
  EXPECT_STREQ(VerdictName(judged.Diagnosis), "ok");
  ASSERT_EQ(judged.Diagnosis.Tags.size(), 1u);
  EXPECT_EQ(judged.Diagnosis.Tags[0].Text, "Long");
  // Open, length, close; a window at the start and one at the list (length, seek, read each).
  EXPECT_LE(judged.Run.InputCalls, 3u + 2 * 3);

  // Past 4 GiB in a RIFF file: the data size wrapped, the samples run to the end.
  MemoryFile wrapped;
  wrapped.Length = (std::int64_t{5} << 30) + 44;
  wrapped.Bytes = WavBuilder()
                      .RawSize(0xFFFFFFFF)
                      .Chunk("fmt ", test::Pcm16StereoFmt())
                      .Raw(ChunkHeader("data", static_cast<std::uint32_t>(wrapped.Length - 44)))
                      .Bytes();
  EXPECT_EQ(Judge(wrapped).Codes, "over-4gib");
}

TEST(Diagnosis, RealFilesFromSoxAndFfmpeg) {
  struct RealRow {
    const char* File;
    const char* Verdict;
    const char* Codes;
    const char* Format;
    const char* Tag;  // the text of one tag the file holds, or ""
  };
  const RealRow rows[] = {
      {"sox-s24-stereo.wav", "ok", "", "PCM 24-bit, extensible", ""},
      {"sox-6ch.wav", "ok", "", "PCM 16-bit, extensible", ""},
      {"sox-float32.wav", "ok", "", "IEEE float 32", ""},
      {"sox-pipe.wav", "warning", "streamed", "PCM 16-bit", ""},
      {"ffmpeg-pipe.wav", "warning", "streamed", "PCM 16-bit", "Lavf59.27.100"},
      {"ffmpeg-rf64.wav", "ok", "rf64", "PCM 16-bit", "Lavf59.27.100"},
      {"ffmpeg-rf64-pipe.wav", "warning", "streamed rf64", "PCM 16-bit", ""},
      {"ffmpeg-s24-title.wav", "ok", "", "PCM 24-bit, extensible", "My take"},
      {"ffmpeg-bext.wav", "ok", "", "PCM 16-bit", "Scene 4 take 2"},
      {"ffmpeg-mp3.wav", "warning", "byte-rate", "MP3", "Lavf59.27.100"},
  };
  for (const RealRow& row : rows) {
    SCOPED_TRACE(row.File);
    const DiagnosisRec diagnosis = Diagnose(std::string(SONDRAX_TEST_DATA) + "/real/" + row.File);
    EXPECT_STREQ(VerdictName(diagnosis), row.Verdict);
    std::string codes;
    for (const FindingRec& finding : diagnosis.Findings) {
      codes += codes.empty() ? "" : " ";
      codes += finding.Code;
    }
    EXPECT_EQ(codes, row.Codes);
    EXPECT_EQ(FormatName(diagnosis.Format), row.Format);
    const std::string json = DiagnosisJson(diagnosis);
    EXPECT_NE(json.find(std::string("\"name\":\"") + row.Format + "\""), std::string::npos);
    if (*row.Tag != '\0') {
      EXPECT_NE(json.find(std::string("\"text\":\"") + row.Tag + "\""), std::string::npos) << json;
    }
  }
}

TEST(DiagnosisJson, TheWholeObjectOfACutOffTake) {
  const std::string bytes = WavBuilder()
                                .RawSize(1036)
                                .Chunk("fmt ", kFmt)
                                .ChunkSized("data", 1000, "\x80\x80\x80")
                                .Bytes();
  EXPECT_EQ(
      DiagnosisJson(Judge(bytes).Diagnosis),
      R"j({"version":1,"verdict":"problem","reason":"cut off: 0.00 s of 1.00 s present (1.00 s missing)",)j"
      R"j("findings":[{"code":"cut-off","severity":"problem","offset":36,"count":1,)j"
      R"j("text":"cut off: 0.00 s of 1.00 s present (1.00 s missing)","numbers":{"declared":1000,"present":3}}],)j"
      R"j("length":47,"form":"RIFF","riffSize":1036,)j"
      R"j("format":{"offset":12,"tag":1,"name":"PCM 8-bit","extensible":false,"subTag":null,"channels":1,)j"
      R"j("rate":1000,"byteRate":1000,"blockAlign":1,"bits":8,"validBits":null,"channelMask":null},)j"
      R"j("data":{"offset":36,"declared":1000,"present":3,"sizing":"sized"},)j"
      R"j("duration":{"declared":1,"present":0.003},"factSamples":null,"tags":[],"tagsLeftOut":0,)j"
      R"j("chunks":[{"id":"RIFF","offset":0,"size":1036,"present":39,"pad":null},)j"
      R"j({"id":"fmt ","offset":12,"size":16,"present":16,"pad":null},)j"
      R"j({"id":"data","offset":36,"size":1000,"present":3,"pad":null}],"chunksLeftOut":0})j");
}

TEST(DiagnosisJson, TextsAreEscaped) {
  const std::string bytes = WavBuilder()
                                .Chunk("fmt ", kFmt)
                                .Chunk("data", "ab")
                                .Chunk("LIST", InfoList({{"ICMT", "a\"b\\c\x1b[31m\xC2\x9B"}}))
                                .Chunk("\x01\xFFxy", "")
                                .Bytes();
  const std::string json = DiagnosisJson(Judge(bytes).Diagnosis);
  EXPECT_NE(json.find(R"("text":"a\"b\\c\u001b[31m\u009b")"), std::string::npos) << json;
  // An id's bytes as the characters U+0000 to U+00FF.
  EXPECT_NE(json.find("\"id\":\"\\u0001\xC3\xBFxy\""), std::string::npos) << json;
}

TEST(MulDiv, ExactPastSixtyFourBits) {
  EXPECT_EQ(MulDiv(10000, 1000000, 1000), 10000000);
  EXPECT_EQ(MulDiv(0xFFFFFFFFFFFFFFFFu, 1000000, 1000000), INT64_MAX);
  EXPECT_EQ(MulDiv(std::uint64_t{1} << 62, 1000000, 1u << 30), std::int64_t{1000000} << 32);
  EXPECT_EQ(MulDiv(0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu), 0xFFFFFFFF);
}

}  // namespace
}  // namespace sondrax
