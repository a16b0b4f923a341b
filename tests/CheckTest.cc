// sondrax-check: how names are shown, its options, its repair plan, and whole runs of the real
// executable on folders of files composed here.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "TestUtil.h"
#include "check/Check.h"
#include "check/Lines.h"
#include "check/Repair.h"
#include "platform/Folders.h"

namespace sondrax {
namespace {

TEST(ShownText, EscapesWhatATerminalWouldObeyAndKeepsTheRestReadableBack) {
  const struct {
    std::string Name;
    bool AsciiOnly;
    std::string Shown;
  } kRows[] = {
      {"take 1.wav", false, "take 1.wav"},
      {"Gr\xC3\xBC\xC3\x9F"
       "e.wav",
       false,
       "Gr\xC3\xBC\xC3\x9F"
       "e.wav"},
      {"Gr\xC3\xBC\xC3\x9F"
       "e.wav",
       true, "Gr\\xc3\\xbc\\xc3\\x9fe.wav"},
      {"x\x1B]0;owned\x07y\n\t\x7F", false, "x\\x1b]0;owned\\x07y\\x0a\\x09\\x7f"},
      {"csi\xC2\x9B"
       "2J",
       false, "csi\\xc2\\x9b2J"},                       // U+009B, a C1 control
      {"bad\xFF\xC3.wav", false, "bad\\xff\\xc3.wav"},  // not UTF-8, and a cut sequence
      {"\xED\xA0\x80", false, "\\xed\\xa0\\x80"},       // a surrogate
      {"\xF0\x9F\x8E\xB5\xF4\x8F\xBF\xBF", false, "\xF0\x9F\x8E\xB5\xF4\x8F\xBF\xBF"},
      {"\xF4\x90\x80\x80\xF5", false, "\\xf4\\x90\\x80\\x80\\xf5"},  // past U+10FFFF
      {"C:\\Music\\take.wav", false, "C:\\Music\\take.wav"},         // backslashes kept ...
      {"a\\x41", false, "a\\\\x41"},                                 // ... but doubled before x,
      {"a\\\\b", false, "a\\\\\\b"},                                 // a backslash,
      {"a\\\xFF", false, "a\\\\\\xff"},                              // an escaped byte
      {"end\\", false, "end\\"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.Shown);
    EXPECT_EQ(ShownText(row.Name, row.AsciiOnly), row.Shown);
  }
}

DiagnosisRec Unreadable(const std::string& reason) {
  DiagnosisRec diagnosis;
  diagnosis.Findings.push_back({"unreadable", Severity::kUnreadable, -1, 1, reason, {}});
  diagnosis.Worst = Severity::kUnreadable;
  diagnosis.Reason = reason;
  return diagnosis;
}

TEST(JsonLine, PathFirstThenTheDiagnosisWithEveryControlEscaped) {
  const DiagnosisRec diagnosis = Unreadable("tag \xC2\x9B here");
  // The diagnosis's own JSON after its "{", with the C1 control escaped.
  std::string tail = DiagnosisJson(diagnosis).substr(1) + "\n";
  for (std::size_t at; (at = tail.find("\xC2\x9B")) != std::string::npos;) {
    tail.replace(at, 2, "\\u009b");
  }
  EXPECT_EQ(JsonLine("a\x1B\xC2\x85.wav", diagnosis, {}, false),
            "{\"path\":\"a\\u001b\\u0085.wav\",\"pathEscaped\":false," + tail);
  EXPECT_EQ(JsonLine("b\xFF\\x.wav", diagnosis, {}, false),
            "{\"path\":\"b\\\\xff\\\\\\\\x.wav\",\"pathEscaped\":true," + tail);
  RepairNote repair{true, false, "out/b.wav", "out/b.wav exists already and is kept"};
  EXPECT_EQ(JsonLine("b.wav", diagnosis, repair, true),
            "{\"path\":\"b.wav\",\"pathEscaped\":false,\"repair\":{\"copy\":\"out/b.wav\","
            "\"written\":false,\"why\":\"out/b.wav exists already and is kept\"}," +
                tail);
  repair.Written = true;
  EXPECT_EQ(JsonLine("b.wav", diagnosis, {}, true),
            "{\"path\":\"b.wav\",\"pathEscaped\":false,\"repair\":null," + tail);
  EXPECT_NE(JsonLine("b.wav", diagnosis, repair, true)
                .find("\"repair\":{\"copy\":\"out/b.wav\",\"written\":true,\"why\":null},"),
            std::string::npos);
}

TEST(CheckArguments, UsageErrorsAndValues) {
  const struct {
    std::vector<std::string> Arguments;
    std::string Error;  // "" for none
  } kRows[] = {
      {{}, "no file or folder given"},
      {{"--json"}, "no file or folder given"},
      {{"--help"}, ""},
      {{"-j", "0", "a"}, "-j takes a number from 1 to 1024, not '0'"},
      {{"--jobs=1025", "a"}, "--jobs takes a number from 1 to 1024, not '1025'"},
      {{"--jobs", "2x", "a"}, "--jobs takes a number from 1 to 1024, not '2x'"},
      {{"a", "--jobs"}, "--jobs needs a value"},
      {{"--fail-on", "ok", "a"},
       "--fail-on takes warning, problem, not-wave or unreadable, not 'ok'"},
      {{"-0", "a"}, "-0 is for the list of --files-from"},
      {{"--files-from", "x", "--files-from=y"}, "--files-from is given twice"},
      {{"--json=yes", "a"}, "--json takes no value"},
      {{"--repair-to=", "a"}, "--repair-to needs a folder"},
      {{"--colour", "a"}, "unknown option '--colour'"},
      {{"-x\x1B", "a"}, "unknown option '-x\\x1b'"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.Error);
    CheckOptions options;
    EXPECT_EQ(ParseCheckArguments(row.Arguments, &options), row.Error);
  }
  CheckOptions options;
  ASSERT_EQ(ParseCheckArguments({"--fail-on=warning", "-j", "3", "--", "-a.wav", "-", "--all", "-0",
                                 "--files-from", "-", "--repair-to", "out"},
                                &options),
            "");
  EXPECT_EQ(options.Sources.Paths,
            (std::vector<std::string>{"-a.wav", "-", "--all", "-0", "--files-from", "-",
                                      "--repair-to", "out"}));
  EXPECT_EQ(options.FailOn, Severity::kWarning);
  EXPECT_EQ(options.Jobs, 3U);
  EXPECT_FALSE(options.Sources.All || options.Sources.FromList || options.Repair);
}

TEST(RepairTarget, BelowTheFolderWithoutEverClimbingOut) {
  const struct {
    std::string Path, Full;
    char Separator;
    std::string Target;
  } kRows[] = {
      {"takes/a.wav", "/home/u/takes/a.wav", '/', "out/takes/a.wav"},
      {"./takes//./a.wav", "/home/u/takes/a.wav", '/', "out/takes/a.wav"},
      {"../a.wav", "/home/a.wav", '/', "out/home/a.wav"},
      {"/srv/a.wav", "/srv/a.wav", '/', "out/srv/a.wav"},
      {"C:\\rec\\a.wav", "C:\\rec\\a.wav", '\\', "out\\C\\rec\\a.wav"},
      {"rec\\..\\a.wav", "D:\\a.wav", '\\', "out\\D\\a.wav"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.Path);
    EXPECT_EQ(RepairTarget("out", row.Path, row.Full, row.Separator), row.Target);
  }
}

TEST(PlanRepair, ARiffFileStaysRiffWhileItsSizesFit32Bits) {
  for (const std::int64_t body : {std::int64_t{0xFFFFFFFE}, std::int64_t{0xFFFFFFFF}}) {
    SCOPED_TRACE(body);
    DiagnosisRec diagnosis;
    diagnosis.Form = "RIFF";
    diagnosis.Length = body + 8;
    diagnosis.Data = {36, 0, body - 36, DataSizing::kZero};
    const RepairPlan plan = PlanRepair(diagnosis);
    EXPECT_EQ(plan.Inserted.empty(), body == 0xFFFFFFFE);
    EXPECT_EQ(plan.Patches[0].Bytes,
              body == 0xFFFFFFFE ? test::Le32(0xFFFFFFFE) : "RF64" + test::Le32(0xFFFFFFFF));
  }
}

TEST(PlanRepair, ARiffFilePast4GiBBecomesRf64WithADs64Chunk) {
  DiagnosisRec diagnosis;
  diagnosis.Form = "RIFF";
  diagnosis.Length = std::int64_t{5} << 30;
  diagnosis.Format.Offset = 12;
  diagnosis.Format.BlockAlign = 4;
  diagnosis.Data = {36, 0x12345, diagnosis.Length - 44, DataSizing::kWrapped};
  const RepairPlan plan = PlanRepair(diagnosis);
  // The RIFF size of the copy, 36 bytes longer; the samples; their frames of 4 bytes.
  const std::string body = test::Le32(0x4000001C) + test::Le32(1) + test::Le32(0x3FFFFFD4) +
                           test::Le32(1) + test::Le32(0x4FFFFFF5) + test::Le32(0);
  EXPECT_EQ(plan.Inserted, test::ChunkHeader("ds64", 28) + body + test::Le32(0));
  EXPECT_EQ(plan.InsertAt, 12);
  EXPECT_EQ(plan.CopyLength, diagnosis.Length);
  // The copy's first 44 bytes, from a header whose sizes wrapped.
  const std::string head =
      "RIFF" + test::Le32(0x24) + "WAVE" + std::string(24, 'f') + "data" + test::Le32(0x12345);
  std::vector<unsigned char> bytes(head.begin(), head.end());
  ApplyPatches(plan, 0, bytes.data(), 12);
  ApplyPatches(plan, 12, bytes.data() + 12, bytes.size() - 12);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "RF64" + test::Le32(0xFFFFFFFF) + "WAVE" +
                                                         std::string(24, 'f') + "data" +
                                                         test::Le32(0xFFFFFFFF));
}

TEST(WriteCopy, PatchesAndTheInsertionAnywhereAndNeverOverAFile) {
  std::string original;
  for (int i = 0; i < 40; ++i) {
    original.push_back(static_cast<char>('a' + i % 26));
  }
  const std::string from = test::WriteTempFile("copy_from.wav", original);
  const std::string folder = test::TempPath("copy_to");
  std::filesystem::remove_all(folder);
  RepairPlan plan;
  plan.Patches = {{2, "XY"}, {10, "PQRS"}, {38, "Z"}};
  plan.Inserted = "123";
  plan.CopyLength = 40;
  ASSERT_EQ(WriteCopy(from, plan, folder + "/deep/copy.wav"), "");
  EXPECT_EQ(test::ReadFile(folder + "/deep/copy.wav"),
            "abXYefghijPQ123RSopqrstuvwxyzabcdefghijklZn");
  EXPECT_EQ(WriteCopy(from, plan, folder + "/deep/copy.wav"),
            folder + "/deep/copy.wav exists already and is kept");
  // A copy whose bytes cannot all be flushed to the disk is not given its name.
  Folders.FinishNew = [](FileHandle handle) {
    FolderDefaults().FinishNew(handle);
    return FsError::kDiskFull;
  };
  EXPECT_EQ(WriteCopy(from, plan, folder + "/full.wav"),
            "the copy could not be written: the disk is full");
  Folders = FolderDefaults();
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    left.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(left, (std::vector<std::string>{"deep", "copy.wav"}));
  EXPECT_EQ(test::ReadFile(from), original);
  std::filesystem::remove_all(folder);
}

// ---- Whole runs of the executable ------------------------------------------------------------

#ifndef _WIN32

std::string Quote(const std::string& text) { return "'" + text + "'"; }

const std::string kCheck = std::string(test::kEmulator) + " " + SONDRAX_CHECK_BINARY;

test::RunResult Check(const std::string& arguments) {
  return test::RunShell(kCheck + " " + arguments);
}

// A shell command line run in `folder`, where $CHECK is the program.
test::RunResult In(const std::string& folder, const std::string& command) {
  return test::RunShell("cd " + Quote(folder) + " && export CHECK=" + Quote(kCheck) + " && " +
                        command);
}

// A folder of one file of each verdict, and what is not a file.
class CheckRun : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_ + "/sub");
    const std::string samples(8000, '\0');
    Put("ok.wav", test::Riff(test::PcmFmtChunk() + test::PaddedChunk("data", samples)));
    Put("sub/Streamed.WAVE", "RIFF" + test::Le32(0xFFFFFFFF) + "WAVE" + test::PcmFmtChunk() +
                                 test::ChunkHeader("data", 0xFFFFFFFF) + samples);
    Put("sub/crash.bwf", "RIFF" + test::Le32(36) + "WAVE" + test::PcmFmtChunk() +
                             test::ChunkHeader("data", 0) + samples);
    Put("notes.txt", "not a sound");
    Put("picture.rf64", "\x89PNG\r\n\x1A\n0000000000000000");
    ASSERT_EQ(mkfifo((dir_ + "/pipe.wav").c_str(), 0600), 0);
    std::filesystem::create_symlink("loop.wav", dir_ + "/loop.wav");
    std::filesystem::create_directory_symlink("..", dir_ + "/sub/up");
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  void Put(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << bytes;
  }

  const std::string dir_ = test::TempPath("check");
};

TEST_F(CheckRun, EveryKindOfFileHasItsLineInTheWalksOrder) {
  const std::string kLines =
      "unreadable\tD/loop.wav\tthe file could not be opened: a loop of symbolic links\n"
      "ok\tD/ok.wav\ta sound WAVE file: PCM 16-bit, 2 channels, 44,100 Hz, 0.05 s\n"
      "not-wave\tD/picture.rf64\tnot a WAVE file: it looks like a PNG image\n"
      "unreadable\tD/pipe.wav\ta FIFO (named pipe), not a file\n"
      "warning\tD/sub/Streamed.WAVE\tstreamed: sizes never filled in; 0.05 s of samples to the "
      "end of the file\n"
      "problem\tD/sub/crash.bwf\tnever finalised: 0.05 s of samples follow the header; "
      "recoverable\n";
  for (const char* jobs : {"1", "2"}) {
    const auto result =
        Check("-j " + std::string(jobs) + " " + dir_ + " | sed 's|" + dir_ + "|D|'");
    EXPECT_EQ(result.Out, kLines);
    EXPECT_EQ(result.Err, "");
  }
  const auto all = Check("--all " + dir_);
  EXPECT_NE(all.Out.find("not-wave\t" + dir_ + "/notes.txt\t"), std::string::npos);
  EXPECT_EQ(all.Code, 1);
}

TEST_F(CheckRun, ExitStatusFollowsFailOn) {
  const struct {
    std::string Arguments;
    int Code;
  } kRows[] = {
      {"ok.wav", 0},
      {"ok.wav sub/Streamed.WAVE", 0},
      {"--fail-on warning ok.wav sub/Streamed.WAVE", 1},
      {"sub/crash.bwf", 1},
      {"--fail-on not-wave sub/crash.bwf", 0},
      {"--fail-on not-wave picture.rf64", 1},
      {"--fail-on unreadable picture.rf64", 0},
      {"--fail-on unreadable absent.wav", 1},
      {"--fail-on=bad ok.wav", 2},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.Arguments);
    EXPECT_EQ(In(dir_, "$CHECK " + row.Arguments + " >/dev/null").Code, row.Code);
  }
}

TEST_F(CheckRun, ListsFromStandardInputAndFilesWithNulOrLineEnds) {
  const auto lines =
      In(dir_, "printf 'ok.wav\\r\\n\\nabsent.wav\\nsub\\n' | $CHECK --files-from -");
  EXPECT_EQ(lines.Out,
            "ok\tok.wav\ta sound WAVE file: PCM 16-bit, 2 channels, 44,100 Hz, 0.05 s\n"
            "unreadable\tabsent.wav\tthe file could not be opened: no such file or folder\n"
            "warning\tsub/Streamed.WAVE\tstreamed: sizes never filled in; 0.05 s of samples to "
            "the end of the file\n"
            "problem\tsub/crash.bwf\tnever finalised: 0.05 s of samples follow the header; "
            "recoverable\n");
  EXPECT_EQ(lines.Code, 1);
  Put("list", std::string("ok.wav\0a\nb.wav\0", 15));
  const auto nul = In(dir_, "$CHECK ok.wav -0 --files-from list | cut -f1,2");
  EXPECT_EQ(nul.Out, "ok\tok.wav\nok\tok.wav\nunreadable\ta\\x0ab.wav\n");
  // More names than the window between the walk and the output holds, in their order, and a
  // "name" longer than any path, which is passed over.
  std::string many = std::string(40000, 'n') + "\n";
  for (int i = 0; i < 300; ++i) {
    many += i % 3 == 0 ? "ok.wav\n" : "absent" + std::to_string(i) + "\n";
  }
  Put("many", many);
  const auto one = In(dir_, "$CHECK -j 1 --files-from many | cut -f1,2");
  EXPECT_EQ(one.Out.substr(0, one.Out.find('\n')), "unreadable\t" + std::string(64, 'n') + "...");
  EXPECT_EQ(std::count(one.Out.begin(), one.Out.end(), '\n'), 301);
  EXPECT_NE(one.Out.find("ok\tok.wav\nunreadable\tabsent298\nunreadable\tabsent299\n"),
            std::string::npos);
  EXPECT_EQ(In(dir_, "$CHECK -j 2 --files-from many | cut -f1,2").Out, one.Out);
  const auto missing = Check("--files-from " + dir_ + "/none | cut -f1,3");
  EXPECT_EQ(missing.Out, "unreadable\tthe list could not be opened: no such file or folder\n");
  EXPECT_EQ(Check("--files-from " + dir_ + " | cut -f1,3").Out,
            "unreadable\tthe list could not be read to its end: it is a folder\n");
}

TEST_F(CheckRun, JsonLinesCarryThePathBeforeTheDiagnosis) {
  const auto result = Check("--json " + dir_ + "/ok.wav " + dir_ + "/pipe.wav");
  const std::size_t end = result.Out.find('\n');
  ASSERT_NE(end, std::string::npos);
  EXPECT_EQ(result.Out.substr(0, end + 1),
            "{\"path\":\"" + dir_ + "/ok.wav\",\"pathEscaped\":false," +
                DiagnosisJson(Diagnose(dir_ + "/ok.wav")).substr(1) + "\n");
  EXPECT_EQ(result.Out.find("{\"path\":\"" + dir_ +
                            "/pipe.wav\",\"pathEscaped\":false,"
                            "\"version\":1,\"verdict\":\"unreadable\""),
            end + 1);
  EXPECT_EQ(result.Code, 1);
}

TEST_F(CheckRun, ATerminalGetsATableWithCountsAndProgressOnlyThere) {
  if (std::system("command -v script >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "script is not installed (tools/install-deps.sh installs it)";
  }
  // The list's second name comes after more than a second, so that progress is drawn.
  const std::string slow = "(echo ok.wav; sleep 1.3; echo ok.wav) | $CHECK --files-from -";
  const auto terminal = In(dir_, "script -qec " + Quote(slow + " 2>&1 >/dev/null") + " /dev/null");
  // Two files in about 1.3 s: 1 a second, or 0 on a slow machine (a sanitizer, an emulator).
  const std::size_t progress = terminal.Out.find("\r\x1B[K2 files");
  ASSERT_NE(progress, std::string::npos) << terminal.Out;
  const std::size_t rate = terminal.Out.find(" a second", progress);
  ASSERT_NE(rate, std::string::npos) << terminal.Out;
  EXPECT_TRUE(terminal.Out.compare(rate - 3, 3, ", 1") == 0 ||
              terminal.Out.compare(rate - 3, 3, ", 0") == 0)
      << terminal.Out;
  EXPECT_EQ(terminal.Out.substr(terminal.Out.size() - 4), "\r\x1B[K");
  const auto piped = In(dir_, slow);
  EXPECT_EQ(piped.Err, "");
  EXPECT_EQ(piped.Out.size(), 2 * piped.Out.find('\n') + 2);
  const auto table = In(dir_,
                        "LC_ALL=C.UTF-8 script -qec \"$CHECK ok.wav pipe.wav Gr\xC3\xBC\xC3\x9F"
                        "e.wav\" /dev/null");
  EXPECT_EQ(table.Out,
            "ok          ok.wav  a sound WAVE file: PCM 16-bit, 2 channels, 44,100 Hz, 0.05 s\r\n"
            "unreadable  pipe.wav  a FIFO (named pipe), not a file\r\n"
            "unreadable  Gr\xC3\xBC\xC3\x9F"
            "e.wav  the file could not be opened: no such file or folder\r\n\r\n"
            "3 files: 1 ok, 0 warning, 0 problem, 0 not-wave, 2 unreadable\r\n");
  // A terminal whose character set is not UTF-8 sees no byte above 0x7F.
  EXPECT_EQ(
      In(dir_,
         "LC_ALL=C script -qec \"$CHECK Gr\xC3\xBC\xC3\x9F"
         "e.wav\" /dev/null")
          .Out,
      "unreadable  Gr\\xc3\\xbc\\xc3\\x9fe.wav  the file could not be opened: no such file or "
      "folder\r\n\r\n1 file: 0 ok, 0 warning, 0 problem, 0 not-wave, 1 unreadable\r\n");
}

TEST_F(CheckRun, RepairWritesSoundCopiesOnlyAndNeverTouchesTheOriginal) {
  const std::string crash = dir_ + "/sub/crash.bwf";
  const std::string before = test::ReadFile(crash);
  std::filesystem::last_write_time(crash, std::filesystem::file_time_type{});
  // An RF64 file never finalised: its ds64 sizes are rewritten.
  Put("rf64.wav", "RF64" + test::Le32(0xFFFFFFFF) + "WAVE" + test::ChunkHeader("ds64", 28) +
                      std::string(28, '\0') + test::PcmFmtChunk() + test::ChunkHeader("data", 0) +
                      std::string(400, '\0'));
  // A fault that is not about the sizes is never repaired.
  Put("tail.wav", test::Riff(test::PcmFmtChunk() + test::PaddedChunk("data", "abcd")) + "junk");
  const std::string out = test::TempPath("check-out");
  std::filesystem::remove_all(out);
  std::filesystem::create_directories(out + "/sub");
  std::ofstream(out + "/sub/Streamed.WAVE") << "kept";
  const auto result =
      In(dir_, "$CHECK --repair-to " + Quote(out) + " . | cut -f2,3 | sed 's|" + out + "|O|g'");
  EXPECT_EQ(result.Out,
            "./loop.wav\tthe file could not be opened: a loop of symbolic links\n"
            "./ok.wav\ta sound WAVE file: PCM 16-bit, 2 channels, 44,100 Hz, 0.05 s\n"
            "./picture.rf64\tnot a WAVE file: it looks like a PNG image\n"
            "./pipe.wav\ta FIFO (named pipe), not a file\n"
            "./rf64.wav\tnever finalised: 400 bytes of samples follow the header; recoverable; "
            "repaired copy: O/rf64.wav\n"
            "./sub/Streamed.WAVE\tstreamed: sizes never filled in; 0.05 s of samples to the end "
            "of the file; not repaired: O/sub/Streamed.WAVE exists already and is kept\n"
            "./sub/crash.bwf\tnever finalised: 0.05 s of samples follow the header; recoverable; "
            "repaired copy: O/sub/crash.bwf\n"
            "./tail.wav\t4 bytes after the RIFF body are not a chunk\n");
  EXPECT_EQ(test::ReadFile(crash), before);
  EXPECT_EQ(std::filesystem::last_write_time(crash), std::filesystem::file_time_type{});
  std::string repaired = before;
  repaired.replace(4, 4, test::Le32(static_cast<std::uint32_t>(before.size() - 8)));
  repaired.replace(40, 4, test::Le32(8000));
  EXPECT_EQ(test::ReadFile(out + "/sub/crash.bwf"), repaired);
  EXPECT_EQ(test::ReadFile(out + "/sub/Streamed.WAVE"), "kept");
  EXPECT_EQ(Check(out + "/rf64.wav | cut -f1").Out, "ok\n");
  // Nothing else is left in the folder: no temporary file, no copy of a file that is not
  // repaired.
  EXPECT_EQ(Check("--all " + out + " | wc -l").Out, "3\n");
  std::filesystem::remove_all(out);
}

TEST_F(CheckRun, AnOutputThatFailsIsExitStatusTwo) {
  EXPECT_EQ(Check(dir_ + "/ok.wav >/dev/full").Code, 2);
  EXPECT_EQ(Check(dir_ + "/ok.wav >/dev/full").Err,
            "sondrax-check: the output could not be written (error 112)\n");
  const auto closed = Check("--version >&-");
  EXPECT_EQ(closed.Code, 2);
  // A reader that went away (`| head`) is no news: no message, and still status 2.
  const auto left = Check("--version >/dev/null; { sleep 0.3; " + kCheck + " " + dir_ +
                          "; echo \"status $?\" >&2; } | true");
  EXPECT_EQ(left.Err, "status 2\n");
}

#endif  // _WIN32

// ---- A folder that cannot be read, through the seam ------------------------------------------

std::string Captured;

TEST(CheckFolders, AFolderThatCannotBeListedHasItsLineAndTheRunGoesOn) {
  Captured.clear();
  const PlatformCalls platform = Platform;
  Platform.StreamType = [](int, StreamKind* kind) {
    *kind = StreamKind::kFileOrPipe;
    return 0;
  };
  Platform.Write = [](int stream, const void* bytes, std::size_t count, std::size_t* written) {
    Captured.append(stream == 1 ? "" : "2>");
    Captured.append(static_cast<const char*>(bytes), count);
    *written = count;
    return 0;
  };
  Folders.KindOf = [](const std::string& path, PathKind* kind) {
    *kind = path == "locked" ? PathKind::kFolder : PathKind::kDevice;
    return FsError::kNone;
  };
  Folders.ListFolder = [](const std::string&, std::vector<FolderEntry>*) {
    return FsError::kAccessDenied;
  };
  const int code = RunCheck({"sondrax-check", "locked", "/dev/null"});
  Platform = platform;
  Folders = FolderDefaults();
  EXPECT_EQ(Captured,
            "unreadable\tlocked\tthe folder could not be read: permission denied\n"
            "unreadable\t/dev/null\ta device, not a file\n");
  EXPECT_EQ(code, 1);
}

}  // namespace
}  // namespace sondrax
