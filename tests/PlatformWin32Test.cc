// The Windows platform layer: the open's access and sharing, full paths, the module name,
// standard output through GetStdHandle / GetFileType / WriteFile, what a console shows on
// every code page, and the real executable started with a raw
// command line of the test's choosing.
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Sondrax.h"
#include "TestUtil.h"
#include "platform/Platform.h"
#include "report/InputFile.h"
#include "report/Output.h"

namespace sondrax {
namespace {

std::string PcmBytes() {
  return test::WavBuilder()
      .Chunk("fmt ", test::FmtBody(1, 1, 8000, 8000, 1, 8))
      .Chunk("data", "ab")
      .Bytes();
}

// The complete report on PcmBytes(), as the in-process run writes it to a file.
std::string PcmReport() {
  const auto run = test::RunOnBytes(PcmBytes());
  EXPECT_EQ(run.Code, 0);
  EXPECT_NE(run.Out.find(test::Cp437("■ LIST              :          ÷\n")), std::string::npos);
  return run.Out;
}

std::string OpenError(const std::string& path) {
  return test::Banner() + "*ERROR*: Could not open \"" + path + "\"\r\n";
}

HANDLE OpenOther(const std::string& path, DWORD access, DWORD share) {
  return CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

// ---- Opening the input file ---------------------------------------------------------------

TEST(Win32Open, AFileHeldOpenForWritingByAnotherProgramCanStillBeRead) {
  const std::string path = test::WriteTempFile("held_open.wav", PcmBytes());
  const HANDLE writer = OpenOther(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  const auto result = test::RunWithSystemFiles({"sondrax", path});
  CloseHandle(writer);
  EXPECT_EQ(result.Out, PcmReport());
  EXPECT_EQ(result.Code, 0);
}

TEST(Win32Open, AFileLockedByAnotherProgramGivesTheOpenError) {
  const std::string path = test::WriteTempFile("locked.wav", PcmBytes());
  const HANDLE locker = OpenOther(path, GENERIC_READ, 0);
  ASSERT_NE(locker, INVALID_HANDLE_VALUE);
  InputFileRec file;
  EXPECT_EQ(OpenForReading(file, path), 32);  // ERROR_SHARING_VIOLATION
  EXPECT_FALSE(file.Open);
  const auto result = test::RunWithSystemFiles({"sondrax", path});
  CloseHandle(locker);
  EXPECT_EQ(result.Out, OpenError(path));
  EXPECT_EQ(result.Err, "");
}

TEST(Win32Open, ReadingNeverWritesTheFile) {
  // A reader opened with write sharing refused: the program's own open must not ask for
  // write access, or this reader would lock it out.
  const std::string path = test::WriteTempFile("read_only_share.wav", PcmBytes());
  const HANDLE reader = OpenOther(path, GENERIC_READ, FILE_SHARE_READ);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  const auto result = test::RunWithSystemFiles({"sondrax", path});
  CloseHandle(reader);
  EXPECT_EQ(result.Code, 0);
  EXPECT_EQ(test::ReadFile(path), PcmBytes());
}

TEST(Win32Open, DirectoriesAndDevicesAreNotFiles) {
  InputFileRec file;
  std::string dir = testing::TempDir();
  while (!dir.empty() && dir.back() == '\\') {
    dir.pop_back();
  }
  EXPECT_EQ(OpenForReading(file, dir), kErrAccessDenied);
  EXPECT_EQ(OpenForReading(file, "NUL"), kErrAccessDenied);
  EXPECT_FALSE(file.Open);
  EXPECT_EQ(test::RunWithSystemFiles({"sondrax", dir}).Out, OpenError(dir));
  EXPECT_EQ(test::RunWithSystemFiles({"sondrax", "nul"}).Out, OpenError("\\\\.\\nul"));
}

TEST(Win32Open, MissingFilesAndPathsKeepTheSystemsNumbers) {
  InputFileRec file;
  const std::string base = test::TempPath("absent");
  EXPECT_EQ(OpenForReading(file, base + ".wav"), 2);     // ERROR_FILE_NOT_FOUND
  EXPECT_EQ(OpenForReading(file, base + "\\x.wav"), 3);  // ERROR_PATH_NOT_FOUND
}

// ---- Full paths ---------------------------------------------------------------------------

std::string CurrentDirectory() {
  char buffer[MAX_PATH * 4];
  const DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
  return std::string(buffer, length);
}

TEST(Win32FullPath, RelativeNamesJoinTheCurrentDirectory) {
  std::string full;
  ASSERT_EQ(PlatformDefaults().FullPath("sub/../x y.wav", &full), 0);
  std::string expected = CurrentDirectory();
  if (expected.back() != '\\') {
    expected += '\\';
  }
  EXPECT_EQ(full, expected + "x y.wav");
  ASSERT_EQ(PlatformDefaults().FullPath("C:\\a\\.\\b\\..\\c.wav", &full), 0);
  EXPECT_EQ(full, "C:\\a\\c.wav");
}

TEST(Win32FullPath, LongPathsAreNeverCut) {
  for (std::size_t length : {258u, 259u, 260u, 261u, 600u}) {
    SCOPED_TRACE(length);
    const std::string name = "C:\\" + std::string(length - 7, 'x') + ".wav";
    ASSERT_EQ(name.size(), length);
    std::string full;
    const int status = PlatformDefaults().FullPath(name, &full);
    if (length < MAX_PATH) {
      EXPECT_EQ(status, 0);
    }
    // From MAX_PATH characters on, the system's ANSI functions may refuse the name
    // (ERROR_FILENAME_EXCED_RANGE); when they take it, it comes back whole.
    if (status == 0) {
      EXPECT_EQ(full, name);
    } else {
      EXPECT_EQ(status, 206);
    }
  }
  // The open error shows the whole name.
  const std::string long_name = test::TempPath(std::string(300, 'L') + ".wav");
  EXPECT_EQ(test::RunWithSystemFiles({"sondrax", long_name}).Out, OpenError(long_name));
}

// ---- Module name --------------------------------------------------------------------------

TEST(Win32Module, NameIsTheTextAfterTheLastBackslash) {
  char path[MAX_PATH * 4];
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  ASSERT_GT(length, 0u);
  const std::string whole(path, length);
  EXPECT_EQ(PlatformDefaults().ModuleName(), whole.substr(whole.rfind('\\') + 1));
  EXPECT_EQ(PlatformDefaults().ModuleName(), "sondrax_tests.exe");
}

// ---- The file name on a console -----------------------------------------------------------

TEST(Win32UserText, AnsiNamesBecomeUtf8WithoutC1Codes) {
  if (GetACP() != 1252) {
    GTEST_SKIP() << "the names are spelt in code page 1252";
  }
  EXPECT_EQ(PlatformDefaults().UserTextUtf8("C:\\M\xFCller \x80.wav"), "C:\\Müller €.wav");
  // Code page 1252 gives these five bytes the code points of C1 controls (0x90 is DCS, 0x9D
  // is OSC); 0x9B is a letter there, not CSI.
  EXPECT_EQ(PlatformDefaults().UserTextUtf8("\x81\x8D\x8F\x90\x9D\x9B"), "?????›");
  // Control bytes stay: the output layer shows them as their glyphs.
  const std::string controls(
      "a\x1B[0m\x00"
      "b",
      7);
  EXPECT_EQ(PlatformDefaults().UserTextUtf8(controls), controls);
  EXPECT_EQ(PlatformDefaults().UserTextUtf8(""), "");
}

// ---- Standard output ----------------------------------------------------------------------

// Points standard output (and standard error) at other handles for one test.
class StandardHandles : public testing::Test {
 protected:
  void SetUp() override {
    saved_out_ = GetStdHandle(STD_OUTPUT_HANDLE);
    saved_err_ = GetStdHandle(STD_ERROR_HANDLE);
  }
  void TearDown() override {
    SetStdHandle(STD_OUTPUT_HANDLE, saved_out_);
    SetStdHandle(STD_ERROR_HANDLE, saved_err_);
    Platform = PlatformDefaults();
  }
  static HANDLE NewFile(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  HANDLE saved_out_ = nullptr;
  HANDLE saved_err_ = nullptr;
};

TEST_F(StandardHandles, DeviceTypeDecidesHowBytesAreHandedOver) {
  StreamKind kind = StreamKind::kCharDevice;
  const HANDLE file = NewFile(test::TempPath("stdout_type.txt"));
  SetStdHandle(STD_OUTPUT_HANDLE, file);
  ASSERT_EQ(PlatformDefaults().StreamType(1, &kind), 0);
  EXPECT_EQ(kind, StreamKind::kFileOrPipe);

  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
  SetStdHandle(STD_OUTPUT_HANDLE, write_end);
  ASSERT_EQ(PlatformDefaults().StreamType(1, &kind), 0);
  EXPECT_EQ(kind, StreamKind::kFileOrPipe);

  // The null device is a character device, but not a console: nobody watches it, so it gets
  // the exact bytes (statement by statement), through WriteFile.
  const HANDLE nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  SetStdHandle(STD_OUTPUT_HANDLE, nul);
  ASSERT_EQ(PlatformDefaults().StreamType(1, &kind), 0);
  EXPECT_EQ(kind, StreamKind::kCharDevice);
  std::size_t written = 0;
  EXPECT_EQ(PlatformDefaults().Write(1, "\xFB\xE2\x95", 3, &written), 0);
  EXPECT_EQ(written, 3u);
  // A console is written as UTF-16, so the output layer hands it UTF-8.
  EXPECT_EQ(PlatformDefaults().Charset(), TerminalCharset::kUtf8);

  SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
  EXPECT_NE(PlatformDefaults().StreamType(1, &kind), 0);
  SetStdHandle(STD_OUTPUT_HANDLE, INVALID_HANDLE_VALUE);
  EXPECT_NE(PlatformDefaults().StreamType(1, &kind), 0);

  CloseHandle(file);
  CloseHandle(read_end);
  CloseHandle(write_end);
  CloseHandle(nul);
}

TEST_F(StandardHandles, AWholeRunWritesThroughWriteFile) {
  const std::string out_path = test::TempPath("stdout_run.txt");
  const std::string err_path = test::TempPath("stderr_run.txt");
  const HANDLE out = NewFile(out_path);
  const HANDLE err = NewFile(err_path);
  SetStdHandle(STD_OUTPUT_HANDLE, out);
  SetStdHandle(STD_ERROR_HANDLE, err);
  const std::string wav = test::WriteTempFile("stdout_run.wav", PcmBytes());
  const int code = RunSondrax({"sondrax", wav});
  const std::string short_wav = test::WriteTempFile("stdout_short.wav", "RIFF\x04");
  const int short_code = RunSondrax({"sondrax", short_wav});
  CloseHandle(out);
  CloseHandle(err);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(short_code, 1);
  EXPECT_EQ(test::ReadFile(out_path), PcmReport() + test::Banner());
  EXPECT_EQ(test::MaskLocation(test::ReadFile(err_path)),
            "Exception EInOutError in Modul sondrax_tests.exe bei XXXXXXXX.\r\n"
            "Versuch hinter dem Dateiende zu lesen.\r\n\r\n");
}

TEST_F(StandardHandles, NoStandardOutputIsError105) {
  const std::string err_path = test::TempPath("stderr_closed.txt");
  const HANDLE err = NewFile(err_path);
  SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
  SetStdHandle(STD_ERROR_HANDLE, err);
  const int code = RunSondrax({"sondrax", test::WriteTempFile("closed.wav", PcmBytes())});
  CloseHandle(err);
  EXPECT_EQ(code, 1);
  EXPECT_EQ(test::MaskLocation(test::ReadFile(err_path)),
            "Exception EInOutError in Modul sondrax_tests.exe bei XXXXXXXX.\r\n"
            "E/A-Fehler 105.\r\n\r\n");
}

TEST_F(StandardHandles, AReaderThatGoesAwayFailsTheNextHandOver) {
  const std::string err_path = test::TempPath("stderr_pipe.txt");
  const HANDLE err = NewFile(err_path);
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
  CloseHandle(read_end);
  SetStdHandle(STD_OUTPUT_HANDLE, write_end);
  SetStdHandle(STD_ERROR_HANDLE, err);
  const int code = RunSondrax({"sondrax", test::WriteTempFile("pipe.wav", PcmBytes())});
  CloseHandle(write_end);
  CloseHandle(err);
  EXPECT_EQ(code, 1);
  // The system's own number for a closed pipe (109 or 232), shown as "E/A-Fehler n.".
  const std::string text = test::ReadFile(err_path);
  EXPECT_TRUE(text.find("\r\nE/A-Fehler 109.\r\n") != std::string::npos ||
              text.find("\r\nE/A-Fehler 232.\r\n") != std::string::npos)
      << text;
}

// ---- The real executable ------------------------------------------------------------------

// Built by appending: GCC 12 warns falsely (-Wrestrict) about '"\"" + text + "\""'.
std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  quoted += text;
  quoted += '"';
  return quoted;
}

// Runs `command_line` with these standard output and error handles (inheritable ones) and
// waits for it; returns its exit code (0xDEAD when it could not start).
DWORD RunProcess(const std::string& command_line, HANDLE out, HANDLE err, DWORD flags = 0) {
  std::string line = command_line;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process = {};
  DWORD code = 0xDEAD;
  if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                     &startup, &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  } else {
    ADD_FAILURE() << "CreateProcessA failed: " << GetLastError();
  }
  return code;
}

// A new file that a started process inherits as its standard output or error.
HANDLE InheritedFile(const std::string& path) {
  SECURITY_ATTRIBUTES inherit = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// sondrax.exe's quoted full name, then `arguments` exactly as written: the program splits the
// raw command line itself.
std::string ExeCommandLine(const std::string& arguments) {
  std::string exe;
  EXPECT_EQ(PlatformDefaults().FullPath(SONDRAX_BINARY, &exe), 0);
  return Quoted(exe) + " " + arguments;
}

// Starts sondrax.exe with `arguments`. A null standard output is a closed one.
test::RunResult RunExe(const std::string& arguments, bool with_stdout = true) {
  const std::string out_path = test::TempPath("exe_stdout.txt");
  const std::string err_path = test::TempPath("exe_stderr.txt");
  const HANDLE out = InheritedFile(out_path);
  const HANDLE err = InheritedFile(err_path);
  test::RunResult result;
  result.Code =
      static_cast<int>(RunProcess(ExeCommandLine(arguments), with_stdout ? out : nullptr, err));
  CloseHandle(out);
  CloseHandle(err);
  result.Out = test::ReadFile(out_path);
  result.Err = test::ReadFile(err_path);
  return result;
}

const char kSyntax[] =
    "Syntax: SONDRAX <RIFFfile.ext>\r\n\r\n"
    "*** NOTE: In this state it works only with most proper built WAVE files ***\r\n\r\n";

TEST(Win32Executable, NoArgumentAnEmptyPairOrALoneQuoteGiveTheSyntaxText) {
  for (const char* arguments : {"", "   ", "\"\"", "\"\" \"\"", "\""}) {
    SCOPED_TRACE(arguments);
    const auto result = RunExe(arguments);
    EXPECT_EQ(result.Out, test::Banner() + kSyntax);
    EXPECT_EQ(result.Err, "");
    EXPECT_EQ(result.Code, 0);
  }
}

TEST(Win32Executable, QuotedRunsFormOneNameAndFurtherArgumentsAreIgnored) {
  const std::string path = test::WriteTempFile("ab cd.wav", PcmBytes());
  const std::string dir = path.substr(0, path.rfind('\\') + 1);
  const std::string file = path.substr(dir.size());  // "sondrax_<pid>_ab cd.wav"
  const std::string split = file.substr(0, file.size() - 8) + "\"b c\"d.wav";
  ASSERT_EQ(split.substr(split.size() - 11), "a\"b c\"d.wav");
  for (const std::string& arguments :
       {Quoted(path), "\"\" " + dir + split, Quoted(path) + " second.wav third"}) {
    SCOPED_TRACE(arguments);
    const auto result = RunExe(arguments);
    EXPECT_EQ(result.Out, PcmReport());
    EXPECT_EQ(result.Code, 0);
  }
}

TEST(Win32Executable, ExitCodesOfFailures) {
  const std::string missing = test::TempPath("missing.wav");
  const auto open_error = RunExe(Quoted(missing));
  EXPECT_EQ(open_error.Out, OpenError(missing));
  EXPECT_EQ(open_error.Err, "");
  EXPECT_EQ(open_error.Code, 1);

  const std::string fatal = "Exception EInOutError in Modul sondrax.exe bei XXXXXXXX.\r\n";
  const auto short_file = RunExe(Quoted(test::WriteTempFile("exe_short.wav", "RIFF\x04")));
  EXPECT_EQ(short_file.Out, test::Banner());
  EXPECT_EQ(test::MaskLocation(short_file.Err),
            fatal + "Versuch hinter dem Dateiende zu lesen.\r\n\r\n");
  EXPECT_EQ(short_file.Code, 1);

  const auto closed = RunExe(Quoted(test::WriteTempFile("exe_closed.wav", PcmBytes())),
                             /*with_stdout=*/false);
  EXPECT_EQ(test::MaskLocation(closed.Err), fatal + "E/A-Fehler 105.\r\n\r\n");
  EXPECT_EQ(closed.Code, 1);
}

// ---- The console --------------------------------------------------------------------------

// The console tests run in a console of their own, without a window: Win32Console starts this
// test program again with CREATE_NO_WINDOW, which gives it such a console, and with
// kInConsole set, so that the tests know their console is theirs. Standard output and standard
// error then point at the console's screen, whose code page a test sets and whose characters
// it reads back: what a person in front of it would see.
constexpr const char* kInConsole = "SONDRAX_TEST_IN_OWN_CONSOLE";

class Console : public StandardHandles {
 protected:
  void SetUp() override {
    if (std::getenv(kInConsole) == nullptr) {
      GTEST_SKIP() << "runs in a console of its own, started by Win32Console";
    }
    StandardHandles::SetUp();
    screen_ = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(screen_, INVALID_HANDLE_VALUE);
    // Wide and tall enough that no report line wraps and nothing scrolls away.
    ASSERT_TRUE(SetConsoleScreenBufferSize(screen_, COORD{kWidth, kHeight}));
    // A console that takes escape sequences, where the system has them.
    DWORD mode = 0;
    GetConsoleMode(screen_, &mode);
    SetConsoleMode(screen_, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    SetStdHandle(STD_OUTPUT_HANDLE, screen_);
    SetStdHandle(STD_ERROR_HANDLE, screen_);
  }

  void TearDown() override {
    if (screen_ != INVALID_HANDLE_VALUE) {
      StandardHandles::TearDown();
      CloseHandle(screen_);
    }
  }

  // An empty screen with the cursor at the top, showing bytes in `code_page`.
  void Clear(UINT code_page) {
    ASSERT_TRUE(SetConsoleOutputCP(code_page));
    ASSERT_EQ(GetConsoleOutputCP(), code_page);
    DWORD done = 0;
    FillConsoleOutputCharacterW(screen_, L' ', kWidth * kHeight, COORD{0, 0}, &done);
    SetConsoleCursorPosition(screen_, COORD{0, 0});
  }

  // The screen's lines down to the cursor's, without trailing blanks, in UTF-8, each ended
  // by "\n". A control code that reached the console shows here as itself.
  std::string Screen() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    EXPECT_TRUE(GetConsoleScreenBufferInfo(screen_, &info));
    std::string text;
    for (SHORT row = 0; row <= info.dwCursorPosition.Y; ++row) {
      wchar_t cells[kWidth];
      DWORD got = 0;
      ReadConsoleOutputCharacterW(screen_, cells, kWidth, COORD{0, row}, &got);
      while (got > 0 && cells[got - 1] == L' ') {
        --got;
      }
      char utf8[kWidth * 3];
      const int length = WideCharToMultiByte(CP_UTF8, 0, cells, static_cast<int>(got), utf8,
                                             sizeof utf8, nullptr, nullptr);
      text.append(utf8, static_cast<std::size_t>(length));
      text += '\n';
    }
    return text;
  }

  static constexpr SHORT kWidth = 200;
  static constexpr SHORT kHeight = 300;
  HANDLE screen_ = INVALID_HANDLE_VALUE;
};

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// The code pages of a United States, a Western European and a UTF-8 console.
constexpr UINT kCodePages[] = {437, 850, 65001};

// A hex dump, a fact chunk, and an INFO text that would clear a console taking escape sequences.
std::string DumpAndEscapeBytes() {
  return test::WavBuilder()
      .Chunk("fmt ", test::FmtBody(17, 1, 8000, 4055, 256, 4, test::Le16(2) + "\xF9\x01"))
      .Chunk("fact", test::Le32(10))
      .Chunk("data", std::string(4, '\0'))
      .Chunk("LIST", test::InfoList({{"INAM", std::string("Clear\x1B[2J\x07me\x00", 13)}}))
      .Bytes();
}

TEST_F(Console, ShowsTheReportsGlyphsOnEveryCodePage) {
  const std::string marks = test::WriteTempFile("console_marks.wav", PcmBytes());
  const std::string escapes = test::WriteTempFile("console_escapes.wav", DumpAndEscapeBytes());
  for (const UINT code_page : kCodePages) {
    SCOPED_TRACE(code_page);
    Clear(code_page);
    EXPECT_EQ(RunSondrax({"sondrax", marks}), 0);
    EXPECT_EQ(RunSondrax({"sondrax", escapes}), 0);
    const std::string screen = Screen();
    const std::string top =
        "                       Sondrax\n"
        "                       ═══════\n"
        "\n"
        "RIFF                :          √\n"
        "\"RIFF\" body size    :         38 - file length is reported exactly, OK.\n";
    EXPECT_EQ(screen.substr(0, top.size()), top);
    for (const char* line : {
             "■ fmt               :          √\n",
             "    ╘═> CODEC       : Microsoft - uncompressed PCM\n",
             "  ∙ Channels        :          1 (mono)\n",
             "■ fact              :          ÷\n",
             "■ LIST              :          ÷\n",
             // The backspace takes back the blank after the last byte.
             "  ∙ fmt.-spec. data :  [F9 01]\n",
             "■ fact              :          √\n",
             // The file's control bytes as their glyphs: ESC as ←, BEL as •, NUL as a blank.
             "    ∙ \"INAM\" size   :         13 [Clear←[2J•me ]\n",
         }) {
      EXPECT_NE(screen.find(line), std::string::npos) << line << "in\n" << screen;
    }
    // Nothing cleared the screen: both reports are on it, the first at the top.
    EXPECT_EQ(Count(screen, "Sondrax\n"), 2u);
    EXPECT_TRUE(std::none_of(screen.begin(), screen.end(), [](char c) {
      return c != '\n' && static_cast<unsigned char>(c) < 0x20;
    })) << screen;
  }
}

TEST_F(Console, AGlyphCutBetweenWritesShowsWhole) {
  Clear(850);
  const auto write = [](int stream, const char* bytes) {
    std::size_t written = 0;
    EXPECT_EQ(PlatformDefaults().Write(stream, bytes, std::strlen(bytes), &written), 0);
    EXPECT_EQ(written, std::strlen(bytes));
  };
  // "═" in three pieces on standard output, and between them the two pieces of a "ü" on
  // standard error: each stream's glyph is shown once its last byte has come.
  write(1, "[\xE2");
  write(2, "(\xC3");
  write(1, "\x95");
  write(1, "\x90]");
  write(2, "\xBC)\r\n");
  EXPECT_EQ(Screen(), "[(═]ü)\n\n");
}

TEST_F(Console, ALongNameShowsEveryLetterAcrossTheBuffersPieces) {
  if (GetACP() != 1252) {
    GTEST_SKIP() << "the name is spelt in code page 1252";
  }
  Clear(437);
  // A line of more than 128 bytes of UTF-8, with the euro sign (0x80 in code page 1252, three
  // bytes in UTF-8) at every offset from the start of the buffer once.
  for (const std::string lead : {"", "x", "xx"}) {
    const std::string name = test::TempPath(lead + std::string(40, '\x80') + ".wav");
    EXPECT_EQ(RunSondrax({"sondrax", name}), 1);
    std::string shown = "*ERROR*: Could not open \"";
    for (const char c : name) {
      shown += c == '\x80' ? std::string("€") : std::string(1, c);
    }
    EXPECT_NE(Screen().find(shown + "\"\n"), std::string::npos) << shown << "\nin\n" << Screen();
  }
}

TEST_F(Console, AFailingConsoleWriteEndsTheRunWithTheErrorText) {
  Clear(437);
  // A console handle without write access: the console's mode can be read, writes fail.
  const HANDLE read_only = CreateFileA("CONOUT$", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(read_only, INVALID_HANDLE_VALUE);
  DWORD mode = 0;
  ASSERT_TRUE(GetConsoleMode(read_only, &mode));
  const std::string err_path = test::TempPath("stderr_console_write.txt");
  const HANDLE err = NewFile(err_path);
  SetStdHandle(STD_OUTPUT_HANDLE, read_only);
  SetStdHandle(STD_ERROR_HANDLE, err);
  const int code = RunSondrax({"sondrax", test::WriteTempFile("console_write.wav", PcmBytes())});
  CloseHandle(err);
  CloseHandle(read_only);
  EXPECT_EQ(code, 1);
  // The system's number for the refused write: 5 on Windows, 6 under wine.
  const std::string text = test::MaskLocation(test::ReadFile(err_path));
  const std::string fatal = "Exception EInOutError in Modul sondrax_tests.exe bei XXXXXXXX.\r\n";
  EXPECT_TRUE(text == fatal + "Dateizugriff verweigert.\r\n\r\n" ||
              text == fatal + "E/A-Fehler 6.\r\n\r\n")
      << text;
  EXPECT_EQ(Screen(), "\n");
}

// The real program in the console, started as a command prompt starts it: its standard
// output and standard error are the console's screen. Returns its exit code.
int RunInConsole(const std::string& arguments) {
  SECURITY_ATTRIBUTES inherit = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  const HANDLE screen =
      CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  &inherit, OPEN_EXISTING, 0, nullptr);
  const DWORD code = RunProcess(ExeCommandLine(arguments), screen, screen);
  CloseHandle(screen);
  return static_cast<int>(code);
}

TEST_F(Console, TheProgramsFatalErrorTextShowsItsUmlautsOnEveryCodePage) {
  const std::string path = test::WriteTempFile(
      "console_invalid_op.wav", test::WavBuilder()
                                    .Chunk("fmt ", test::FmtBody(1, 1, 8000, 0, 1, 8))
                                    .Chunk("data", "")
                                    .Bytes());
  for (const UINT code_page : kCodePages) {
    SCOPED_TRACE(code_page);
    Clear(code_page);
    EXPECT_EQ(RunInConsole(Quoted(path)), 1);
    const std::string screen = Screen();
    EXPECT_NE(screen.find("                       ═══════\n"), std::string::npos) << screen;
    EXPECT_NE(screen.find("■ data              :          √\n"
                          "Exception EInvalidOp in Modul sondrax.exe bei "),
              std::string::npos)
        << screen;
    EXPECT_NE(screen.find(".\nUngültige Gleitkommaoperation.\n\n"), std::string::npos) << screen;
  }
}

// Starts this test program once more, in a console of its own, to run the Console tests there.
TEST(Win32Console, TheConsoleTestsRunInAConsoleOfTheirOwn) {
  char self[MAX_PATH * 4];
  const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
  ASSERT_GT(length, 0u);
  const std::string command_line = Quoted(std::string(self, length)) + " --gtest_filter=Console.*";
  const std::string out_path = test::TempPath("console_tests.txt");
  const HANDLE out = InheritedFile(out_path);
  ASSERT_NE(out, INVALID_HANDLE_VALUE);
  SetEnvironmentVariableA(kInConsole, "1");
  const DWORD code = RunProcess(command_line, out, out, CREATE_NO_WINDOW);
  SetEnvironmentVariableA(kInConsole, nullptr);
  CloseHandle(out);
  const std::string report = test::ReadFile(out_path);
  EXPECT_EQ(code, 0u) << report;
  EXPECT_NE(report.find("[  PASSED  ]"), std::string::npos) << report;
  EXPECT_EQ(Count(report, "[ RUN      ] Console."), Count(report, "[       OK ] Console."))
      << report;
  EXPECT_EQ(report.find("[  SKIPPED ]"), std::string::npos) << report;
}

}  // namespace
}  // namespace sondrax

#endif  // _WIN32
