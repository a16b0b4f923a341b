// Shared test helpers: WAVE files composed in code, the report's expected bytes written
// readably, and whole runs captured in-process through a replaced output table.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "report/Platform.h"

namespace sondrax::test {

/// Little-endian bytes of a 16-bit and a 32-bit value.
std::string Le16(std::uint16_t value);
std::string Le32(std::uint32_t value);

/// The common 16-byte "fmt " body, plus optional trailing bytes (cbSize and extra data).
std::string FmtBody(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                    std::uint32_t byte_rate, std::uint16_t align, std::uint16_t bits,
                    const std::string& tail = "");

/// Composes a RIFF file chunk by chunk. The RIFF size is the real body length unless set.
class WavBuilder {
 public:
  WavBuilder();
  /// Replaces the container id / form type (default "RIFF" / "WAVE").
  WavBuilder& Id(const std::string& id);
  WavBuilder& Form(const std::string& form);
  /// Stores this value as the RIFF body size instead of the real one.
  WavBuilder& RawSize(std::uint32_t size);
  /// A chunk whose size is the body's length; an odd body gets its zero pad byte.
  WavBuilder& Chunk(const std::string& id, const std::string& body);
  /// The same without the pad byte (a writer that omits it).
  WavBuilder& ChunkNoPad(const std::string& id, const std::string& body);
  /// A chunk header declaring `size`, followed by exactly `body` (no pad).
  WavBuilder& ChunkSized(const std::string& id, std::uint32_t size, const std::string& body);
  /// Bytes appended as they are.
  WavBuilder& Raw(const std::string& bytes);
  /// The file's bytes.
  std::string Bytes() const;

 private:
  std::string id_ = "RIFF";
  std::string form_ = "WAVE";
  bool raw_size_set_ = false;
  std::uint32_t raw_size_ = 0;
  std::string body_;
};

/// A LIST chunk body of type INFO from (id, text) items; odd texts get their pad byte.
std::string InfoList(const std::vector<std::pair<std::string, std::string>>& items);

/// Converts a readable expected report to its bytes: the glyphs √ ÷ ■ ∙ ═ ╘ µ become their
/// code page 437 bytes, "\b" stays the backspace byte and "\n" becomes CR LF. Any other
/// non-ASCII character is a mistake in the test and fails it.
std::string Cp437(const std::string& utf8);

/// A path in the test's temporary directory that no parallel test process uses.
std::string TempPath(const std::string& name);
/// Writes bytes to a new file in the test's temporary directory and returns its path.
std::string WriteTempFile(const std::string& name, const std::string& bytes);
/// Reads a whole file.
std::string ReadFile(const std::string& path);

/// The emulator a cross-build runs the target's executables in (qemu), to be put in front of
/// the sondrax executable when a test starts it; empty where it runs natively.
#ifdef SONDRAX_EMULATOR
inline constexpr const char* kEmulator = SONDRAX_EMULATOR;
#else
inline constexpr const char* kEmulator = "";
#endif

/// What a run wrote and returned.
struct RunResult {
  std::string Out;
  std::string Err;
  int Code = -1;
  std::vector<std::size_t> OutWrites;  // the size of each hand-over to standard output
};

/// How the fake standard output behaves.
struct FakeStdout {
  StreamKind Kind = StreamKind::kFileOrPipe;
  TerminalCharset Charset = TerminalCharset::kUtf8;
  int OpenError = 0;               // non-zero: the stream is unusable (closed)
  std::int64_t FailAfter = -1;     // accept this many bytes, then fail with FailError
  int FailError = kErrDiskFull;
  std::size_t MaxPerWrite = 0;     // non-zero: take at most this many bytes per call
  StreamKind ErrKind = StreamKind::kFileOrPipe;
};

/// Runs the whole program in-process on `args` (program name first), with standard output
/// and standard error captured as described by `fake`.
RunResult RunCapture(const std::vector<std::string>& args, const FakeStdout& fake = {});

/// Runs `body` (calls of the output operations) against a fresh fake standard output, then
/// hands the pending bytes over. Code holds the IoError left at the end (0 for none).
RunResult CaptureWrites(const std::function<void()>& body, const FakeStdout& fake = {});

/// Runs the report on a file with these bytes.
RunResult RunOnBytes(const std::string& bytes, const FakeStdout& fake = {});

/// The banner the report starts with, as bytes.
std::string Banner();

/// Standard error of a fatal error report, with the code location replaced by "XXXXXXXX".
std::string MaskLocation(const std::string& err);

/// Runs the built executable through /bin/sh with `shell_tail` appended to its name (for
/// redirections); returns stdout, stderr and the exit status.
RunResult RunBinary(const std::string& arguments_and_redirections);

}  // namespace sondrax::test
