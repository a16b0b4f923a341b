// libFuzzer target: one whole report, in-process, on the fuzzer's bytes as the input file.
//
// Each input is written to one temporary file of this process (in memory where possible) and
// reported four times: to a pipe, to a UTF-8 terminal, to a terminal of another 8-bit
// character set, and to a pipe that fails part of the way through the report, all faked
// through the output table so that nothing is printed. Besides the sanitizers' findings, a
// run that breaks one of the report's promises aborts, which libFuzzer records as a crash:
//   - the exit code is 0 or 1; 1 comes with a fatal error text on standard error, 0 without;
//   - the pipe gets the banner first, and all runs end alike;
//   - a terminal never receives a control byte other than CR, LF and the dump's backspace;
//     a UTF-8 one only well-formed UTF-8, another one no byte from 0x80 to 0x9F (C1 controls);
//   - a write that fails ends the run with exit code 1 and the error text, after exactly the
//     bytes that went out;
//   - the work (platform calls on the input file) and the report's length grow at most in
//     proportion to the file's length: no walk can go round in circles.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "CallFuse.h"
#include "Sondrax.h"
#include "report/InputFile.h"
#include "report/Platform.h"

namespace sondrax {
namespace {

std::string InputPath;
int InputFd = -1;

struct Capture {
  StreamKind Kind = StreamKind::kFileOrPipe;
  TerminalCharset Charset = TerminalCharset::kUtf8;
  std::int64_t FailAfter = -1;  // standard output takes this many bytes, then fails
  std::string Out;
  std::string Err;
  bool BudgetExceeded = false;
};
Capture Current;

int FakeStreamType(int stream, StreamKind* kind) {
  *kind = stream == 1 ? Current.Kind : StreamKind::kFileOrPipe;
  return 0;
}

int FakeWrite(int stream, const void* bytes, std::size_t count, std::size_t* written) {
  *written = 0;
  if (stream == 1 && Current.FailAfter >= 0) {
    const std::int64_t room = Current.FailAfter - static_cast<std::int64_t>(Current.Out.size());
    if (room <= 0) {
      return kErrDiskFull;
    }
    count = std::min(count, static_cast<std::size_t>(room));
  }
  (stream == 1 ? Current.Out : Current.Err).append(static_cast<const char*>(bytes), count);
  *written = count;
  return 0;
}

TerminalCharset FakeCharset() { return Current.Charset; }

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "FuzzReport: broken promise: %s\n", what);
    std::abort();
  }
}

int ReportTo(StreamKind kind, TerminalCharset charset, std::uint64_t call_budget,
             std::int64_t fail_after = -1) {
  Current = Capture{};
  Current.Kind = kind;
  Current.Charset = charset;
  Current.FailAfter = fail_after;
  test::ArmInputFuse(call_budget);
  const int code = RunSondrax({"sondrax", InputPath});
  Current.BudgetExceeded = test::InputFuse.Exceeded;
  return code;
}

bool HarmlessControl(unsigned char byte) {
  return byte >= 0x20 ? byte != 0x7F : byte == '\r' || byte == '\n' || byte == '\b';
}

// Well-formed UTF-8 without control bytes other than CR, LF and backspace.
bool SafeForUtf8Terminal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      if (!HarmlessControl(byte)) {
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

// Neither C0 control bytes other than CR, LF and backspace nor C1 ones (0x80 to 0x9F).
bool SafeFor8BitTerminal(std::string_view text) {
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (!HarmlessControl(byte) || (byte >= 0x80 && byte < 0xA0)) {
      return false;
    }
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

  const std::uint64_t budget = test::WorkBudget(size);
  const int code = ReportTo(StreamKind::kFileOrPipe, TerminalCharset::kUtf8, budget);
  const Capture piped = Current;
  Require(!piped.BudgetExceeded, "platform calls in proportion to the file's length");
  Require(code == 0 || code == 1, "exit code 0 or 1");
  Require(code == 1 ? piped.Err.rfind("Exception ", 0) == 0 : piped.Err.empty(),
          "a fatal error text exactly when the exit code is 1");
  static const std::string kBanner =
      "                       Sondrax\r\n                       "
      "\xCD\xCD\xCD\xCD\xCD\xCD\xCD\r\n\r\n";
  Require(piped.Out.rfind(kBanner, 0) == 0, "the report starts with the banner");
  Require(piped.Out.size() <= 1024 + 16 * static_cast<std::uint64_t>(size),
          "report length in proportion to the file's length");

  const int utf8_code = ReportTo(StreamKind::kTerminal, TerminalCharset::kUtf8, budget);
  Require(utf8_code == code, "the same exit code on a UTF-8 terminal");
  Require(Current.Err == piped.Err, "the same error text on a UTF-8 terminal");
  Require(SafeForUtf8Terminal(Current.Out), "only glyphs and line ends reach a UTF-8 terminal");

  const int other_code = ReportTo(StreamKind::kTerminal, TerminalCharset::kOther, budget);
  Require(other_code == code, "the same exit code on another terminal");
  Require(Current.Err == piped.Err, "the same error text on another terminal");
  Require(SafeFor8BitTerminal(Current.Out), "no control byte reaches another terminal");

  // A full disk somewhere in the report, at a place the input chooses.
  std::uint32_t hash = 2166136261u;
  for (std::size_t i = 0; i < size; ++i) {
    hash = (hash ^ data[i]) * 16777619u;
  }
  const auto fail_after = static_cast<std::int64_t>(hash % piped.Out.size());
  const int failed_code =
      ReportTo(StreamKind::kFileOrPipe, TerminalCharset::kUtf8, budget, fail_after);
  Require(failed_code == 1, "a failed write ends the run with exit code 1");
  Require(Current.Err.find("\r\nE/A-Fehler 112.\r\n") != std::string::npos,
          "a failed write is reported");
  Require(Current.Out == piped.Out.substr(0, static_cast<std::size_t>(fail_after)),
          "the bytes before a failed write are the report's");
  return 0;
}
