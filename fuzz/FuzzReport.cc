// libFuzzer target: one whole report, in-process, on the fuzzer's bytes as the input file.
//
// Each input is written to one temporary file of this process (in memory where possible) and
// reported twice: once to a pipe and once to a UTF-8 terminal, both faked through the output
// table so that nothing is printed. Besides the sanitizers' findings, a run that breaks one of the report's promises
// aborts, which libFuzzer records as a crash:
//   - the exit code is 0 or 1; 1 comes with a fatal error text on standard error, 0 without;
//   - the pipe gets the banner first, and both runs end alike;
//   - the terminal never receives a control byte other than CR, LF and the dump's backspace,
//     and only well-formed UTF-8;
//   - the work (platform calls on the input file) and the report's length grow at most in
//     proportion to the file's length: no walk can go round in circles.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "Sondrax.h"
#include "report/InputFile.h"
#include "report/Platform.h"

namespace sondrax {
namespace {

std::string InputPath;
int InputFd = -1;

struct Capture {
  StreamKind Kind = StreamKind::kFileOrPipe;
  std::string Out;
  std::string Err;
  std::uint64_t FileCalls = 0;
  std::uint64_t CallBudget = 0;
  bool BudgetExceeded = false;
};
Capture Current;

int FakeStreamType(int stream, StreamKind* kind) {
  *kind = stream == 1 ? Current.Kind : StreamKind::kFileOrPipe;
  return 0;
}

int FakeWrite(int stream, const void* bytes, std::size_t count, std::size_t* written) {
  (stream == 1 ? Current.Out : Current.Err).append(static_cast<const char*>(bytes), count);
  *written = count;
  return 0;
}

TerminalCharset FakeCharset() { return TerminalCharset::kUtf8; }

// Past its budget every call fails, so a walk that would never end ends at once and is
// reported as the broken promise it is, not as a time-out.
int Fuse() {
  if (++Current.FileCalls > Current.CallBudget) {
    Current.BudgetExceeded = true;
    return 9999;
  }
  return 0;
}

int CountedRead(FileHandle handle, void* buffer, std::int32_t count, std::int32_t* got) {
  *got = 0;
  const int blown = Fuse();
  return blown != 0 ? blown : PlatformInputCalls().Read(handle, buffer, count, got);
}
int CountedSeek(FileHandle handle, std::int32_t position) {
  const int blown = Fuse();
  return blown != 0 ? blown : PlatformInputCalls().Seek(handle, position);
}
int CountedTell(FileHandle handle, std::int32_t* position) {
  const int blown = Fuse();
  return blown != 0 ? blown : PlatformInputCalls().Tell(handle, position);
}
int CountedFileSize(FileHandle handle, std::int64_t* size) {
  const int blown = Fuse();
  return blown != 0 ? blown : PlatformInputCalls().FileSize(handle, size);
}

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "FuzzReport: broken promise: %s\n", what);
    std::abort();
  }
}

int ReportTo(StreamKind kind, std::uint64_t call_budget) {
  Current = Capture{};
  Current.Kind = kind;
  Current.CallBudget = call_budget;
  return RunSondrax({"sondrax", InputPath});
}

// Well-formed UTF-8 without control bytes other than CR, LF and backspace.
bool SafeForTerminal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      if ((byte < 0x20 && byte != '\r' && byte != '\n' && byte != '\b') || byte == 0x7F) {
        return false;
      }
      ++i;
      continue;
    }
    const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC2 ? 2 : 0;
    if (length == 0 || length == 4 || i + length > text.size()) {
      return false;  // the report's glyphs all lie in the Basic Multilingual Plane
    }
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
        return false;
      }
    }
    if (length == 3 && byte == 0xE0 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
      return false;  // overlong
    }
    i += length;
  }
  return true;
}

}  // namespace
}  // namespace sondrax

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  using namespace sondrax;
  // Memory-backed when the system has it: ext4 flushes a file that is truncated and written
  // again, which would make every input wait for the disk.
  const char* dir = std::getenv("TMPDIR");
  std::string base = "/tmp";
  if (access("/dev/shm", W_OK) == 0) {
    base = "/dev/shm";
  } else if (dir != nullptr && *dir != '\0') {
    base = dir;
  }
  InputPath = base + "/sondrax-fuzz-" + std::to_string(getpid()) + ".wav";
  InputFd = open(InputPath.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (InputFd < 0) {
    std::perror(InputPath.c_str());
    std::abort();
  }
  OutputCalls = OutputSystemCalls{FakeStreamType, FakeWrite, FakeCharset};
  InputCalls = InputSystemCalls{CountedRead, CountedSeek, CountedTell, CountedFileSize};
  std::atexit([] { unlink(sondrax::InputPath.c_str()); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace sondrax;
  // The same file for every input, rewritten in place; each report opens it afresh.
  if (ftruncate(InputFd, 0) != 0 ||
      (size != 0 && pwrite(InputFd, data, size, 0) != static_cast<ssize_t>(size))) {
    std::perror(InputPath.c_str());
    std::abort();
  }

  // Every loop step moves the position at least 8 bytes on and costs a few calls; the fixed
  // sections cost a few dozen.
  const std::uint64_t budget = 64 + 2 * static_cast<std::uint64_t>(size);
  const int code = ReportTo(StreamKind::kFileOrPipe, budget);
  const Capture piped = Current;
  Require(!piped.BudgetExceeded, "platform calls in proportion to the file's length");
  Require(code == 0 || code == 1, "exit code 0 or 1");
  Require(code == 1 ? piped.Err.rfind("Exception ", 0) == 0 : piped.Err.empty(),
          "a fatal error text exactly when the exit code is 1");
  static const std::string kBanner =
      "                       Sondrax\r\n                       \xCD\xCD\xCD\xCD\xCD\xCD\xCD\r\n\r\n";
  Require(piped.Out.rfind(kBanner, 0) == 0, "the report starts with the banner");
  Require(piped.Out.size() <= 1024 + 16 * static_cast<std::uint64_t>(size),
          "report length in proportion to the file's length");

  const int terminal_code = ReportTo(StreamKind::kTerminal, budget);
  Require(terminal_code == code, "the same exit code on a terminal");
  Require(Current.Err == piped.Err, "the same error text on a terminal");
  Require(SafeForTerminal(Current.Out), "only glyphs and line ends reach a terminal");
  return 0;
}
