// libFuzzer target: one whole report, in-process, on the fuzzer's bytes as the input file, and
// the diagnosis of the same bytes.
//
// Each input is held as a file in memory and reported four times through the fake platform
// table: to a pipe, to a UTF-8 terminal, to a terminal of another 8-bit character set, and to
// a pipe that fails part of the way through the report, so that nothing is printed. Besides
// the sanitizers' findings, a run that breaks one of the report's promises aborts, which
// libFuzzer records as a crash:
//   - the exit code is 0 or 1; 1 comes with a fatal error text on standard error, 0 without;
//   - the pipe gets the banner first, and all runs end alike;
//   - a terminal never receives a control byte other than CR, LF and the dump's backspace;
//     a UTF-8 one only well-formed UTF-8, another one no byte from 0x80 to 0x9F (C1 controls);
//   - a write that fails ends the run with exit code 1 and the error text, after exactly the
//     bytes that went out;
//   - the platform calls on the input file and the report's length grow at most in proportion
//     to the file's length: no walk can go round in circles over the file. A walk that went
//     round inside the file layer's window would make no call; libFuzzer's per-input timeout
//     (tools/fuzz.sh) catches it;
//   - the diagnosis judges every file it can read (never "unreadable" on the in-memory file),
//     its JSON is valid JSON in UTF-8, and its platform calls grow at most in proportion to
//     the file's length too.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "FakePlatform.h"
#include "diagnosis/Diagnosis.h"
#include "platform/Platform.h"

namespace sondrax {
namespace {

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "FuzzReport: broken promise: %s\n", what);
    std::abort();
  }
}

test::RunResult ReportTo(const std::string& file, StreamKind kind, TerminalCharset charset,
                         std::int64_t fail_after = -1) {
  test::FakeOptions options;
  options.Kind = kind;
  options.Charset = charset;
  options.FailAfter = fail_after;
  options.CallLimit = test::SystemCallBudget(static_cast<std::int64_t>(file.size()));
  test::RunResult result = test::RunOnBytes(file, options);
  Require(!result.CallLimitReached, "platform calls in proportion to the file's length");
  return result;
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

// A strict reader of JSON text (RFC 8259) in UTF-8: true when `text` is one value and nothing
// else.
struct JsonCheck {
  std::string_view Text;
  std::size_t At = 0;
  int Depth = 0;

  bool Eat(char c) {
    if (At < Text.size() && Text[At] == c) {
      ++At;
      return true;
    }
    return false;
  }
  bool Word(std::string_view word) {
    if (Text.substr(At, word.size()) != word) {
      return false;
    }
    At += word.size();
    return true;
  }
  bool Digits() {
    const std::size_t start = At;
    while (At < Text.size() && Text[At] >= '0' && Text[At] <= '9') {
      ++At;
    }
    return At > start;
  }
  bool Number() {
    Eat('-');
    if (Eat('0')) {
      // no leading zeros
    } else if (!Digits()) {
      return false;
    }
    if (Eat('.') && !Digits()) {
      return false;
    }
    return true;
  }
  bool String() {
    if (!Eat('"')) {
      return false;
    }
    while (At < Text.size()) {
      const auto byte = static_cast<unsigned char>(Text[At]);
      if (byte == '"') {
        ++At;
        return true;
      }
      if (byte < 0x20) {
        return false;
      }
      if (byte == '\\') {
        ++At;
        if (Eat('u')) {
          for (int i = 0; i < 4; ++i, ++At) {
            if (At >= Text.size() || std::isxdigit(static_cast<unsigned char>(Text[At])) == 0) {
              return false;
            }
          }
        } else if (At >= Text.size() ||
                   std::string_view("\"\\/bfnrt").find(Text[At]) == std::string_view::npos) {
          return false;
        } else {
          ++At;
        }
        continue;
      }
      const std::size_t length = byte < 0x80                   ? 1
                                 : byte >= 0xF0 && byte < 0xF5 ? 4
                                 : byte >= 0xE0                ? 3
                                 : byte >= 0xC2 && byte < 0xE0 ? 2
                                                               : 0;
      if (length == 0 || At + length > Text.size()) {
        return false;
      }
      for (std::size_t k = 1; k < length; ++k) {
        if ((static_cast<unsigned char>(Text[At + k]) & 0xC0) != 0x80) {
          return false;
        }
      }
      At += length;
    }
    return false;
  }
  bool Value() {
    if (++Depth > 16) {
      return false;
    }
    bool ok = false;
    if (Eat('{')) {
      ok = Eat('}');
      while (!ok) {
        if (!String() || !Eat(':') || !Value()) {
          break;
        }
        ok = Eat('}');
        if (!ok && !Eat(',')) {
          break;
        }
      }
    } else if (Eat('[')) {
      ok = Eat(']');
      while (!ok) {
        if (!Value()) {
          break;
        }
        ok = Eat(']');
        if (!ok && !Eat(',')) {
          break;
        }
      }
    } else if (At < Text.size() && Text[At] == '"') {
      ok = String();
    } else {
      ok = Word("null") || Word("true") || Word("false") || Number();
    }
    --Depth;
    return ok;
  }
};

bool ValidJson(std::string_view text) {
  JsonCheck check{text};
  return check.Value() && check.At == text.size();
}

}  // namespace
}  // namespace sondrax

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace sondrax;
  const std::string file(data, data + size);

  const test::RunResult piped = ReportTo(file, StreamKind::kFileOrPipe, TerminalCharset::kUtf8);
  const int code = piped.Code;
  Require(code == 0 || code == 1, "exit code 0 or 1");
  Require(code == 1 ? piped.Err.rfind("Exception ", 0) == 0 : piped.Err.empty(),
          "a fatal error text exactly when the exit code is 1");
  static const std::string kBanner =
      "                       Sondrax\r\n                       "
      "\xCD\xCD\xCD\xCD\xCD\xCD\xCD\r\n\r\n";
  Require(piped.Out.rfind(kBanner, 0) == 0, "the report starts with the banner");
  Require(piped.Out.size() <= 1024 + 16 * static_cast<std::uint64_t>(size),
          "report length in proportion to the file's length");

  const test::RunResult utf8 = ReportTo(file, StreamKind::kTerminal, TerminalCharset::kUtf8);
  Require(utf8.Code == code, "the same exit code on a UTF-8 terminal");
  Require(utf8.Err == piped.Err, "the same error text on a UTF-8 terminal");
  Require(SafeForUtf8Terminal(utf8.Out), "only glyphs and line ends reach a UTF-8 terminal");

  const test::RunResult other = ReportTo(file, StreamKind::kTerminal, TerminalCharset::kOther);
  Require(other.Code == code, "the same exit code on another terminal");
  Require(other.Err == piped.Err, "the same error text on another terminal");
  Require(SafeFor8BitTerminal(other.Out), "no control byte reaches another terminal");

  // A full disk somewhere in the report, at a place the input chooses.
  std::uint32_t hash = 2166136261u;
  for (std::size_t i = 0; i < size; ++i) {
    hash = (hash ^ data[i]) * 16777619u;
  }
  const auto fail_after = static_cast<std::int64_t>(hash % piped.Out.size());
  const test::RunResult failed =
      ReportTo(file, StreamKind::kFileOrPipe, TerminalCharset::kUtf8, fail_after);
  Require(failed.Code == 1, "a failed write ends the run with exit code 1");
  Require(failed.Err.find("\r\nE/A-Fehler 112.\r\n") != std::string::npos,
          "a failed write is reported");
  Require(failed.Out == piped.Out.substr(0, static_cast<std::size_t>(fail_after)),
          "the bytes before a failed write are the report's");

  test::MemoryFile memory;
  memory.Bytes = file;
  test::FakeOptions options;
  options.CallLimit = test::SystemCallBudget(static_cast<std::int64_t>(size));
  DiagnosisRec diagnosis;
  const test::RunResult judged =
      test::WithFake(memory, options, [&] { diagnosis = Diagnose(test::kMemoryFileName); });
  Require(!judged.CallLimitReached, "the diagnosis's platform calls in proportion to the length");
  Require(std::string_view(VerdictName(diagnosis)) != "unreadable", "a readable file is judged");
  Require(!diagnosis.Reason.empty(), "every verdict has its reason");
  Require(ValidJson(DiagnosisJson(diagnosis)), "the diagnosis's JSON is valid");
  return 0;
}
