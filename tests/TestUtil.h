// Shared test helpers: WAVE files composed in code, the report's expected bytes written
// readably, and whole runs captured in-process through a replaced output table.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "FakePlatform.h"
#include "platform/Platform.h"

namespace sondrax::test {

/// Little-endian bytes of a 16-bit and a 32-bit value.
std::string Le16(std::uint16_t value);
std::string Le32(std::uint32_t value);

/// A chunk header: the id, then the size as four little-endian bytes.
std::string ChunkHeader(const std::string& id, std::uint32_t size);
/// A whole chunk: its header, the body, and the zero pad byte after an odd body.
std::string PaddedChunk(const std::string& id, const std::string& body);

/// The common 16-byte "fmt " body, plus optional trailing bytes (cbSize and extra data).
std::string FmtBody(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                    std::uint32_t byte_rate, std::uint16_t align, std::uint16_t bits,
                    const std::string& tail = "");

/// The body of the common 16-bit stereo PCM "fmt " chunk (44100 samples per second), and the
/// whole chunk.
std::string Pcm16StereoFmt();
std::string PcmFmtChunk();

/// A RIFF/WAVE file of these chunks, whose RIFF size is right.
std::string Riff(const std::string& chunks);
/// A short PCM file (the common "fmt " chunk, 4 bytes of samples) followed by `tail`.
std::string PcmThen(const std::string& tail);

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

/// The format section of the common 16-bit stereo PCM "fmt " chunk (Pcm16StereoFmt), as
/// written readably for Cp437.
inline constexpr char kFmtPcm16Stereo[] =
    "■ fmt               :          √\n"
    " \"fmt \" chunk size  :         16\n"
    "  ∙ Format          :          1 = 0001h\n"
    "    ╘═> CODEC       : Microsoft - uncompressed PCM\n"
    "  ∙ Channels        :          2 (stereo)\n"
    "  ∙ Sample Freq.    :      44100\n"
    "  ∙ avg. Byte rate  :     176400\n"
    "  ∙ block size      :          4\n"
    "  ∙ bits / sample   :         16\n";

/// The banner the report starts with, as bytes.
std::string Banner();

/// Standard error of a fatal error report, with the code location replaced by "XXXXXXXX".
std::string MaskLocation(const std::string& err);

/// The fatal error text as MaskLocation leaves it: "Exception <class> in Modul <module> bei
/// XXXXXXXX.", the message (with its closing point) and an empty line, each ending in CR LF.
std::string FatalText(const std::string& class_name, const std::string& message,
                      const std::string& module);
/// The same for the program running the report in-process, on the fake platform.
std::string FatalText(const std::string& class_name, const std::string& message);

/// Runs a shell command line with no standard input; returns its standard output, standard
/// error (what the command line does not redirect itself) and exit status.
RunResult RunShell(const std::string& command);

/// Runs the built executable through RunShell with `arguments_and_redirections` appended to
/// its name, behind the emulator in a cross-build.
RunResult RunBinary(const std::string& arguments_and_redirections);

}  // namespace sondrax::test
