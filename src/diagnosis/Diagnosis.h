// The diagnosis: a sound reading of a WAVE file and a verdict on it, with findings in plain
// English. It stands beside the report and shares only the input layer with it: it never reads
// the report's text or its run, and the report never reads it. It keeps no global state, so
// files can be judged one after another or on several threads at once.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sondrax {

/// How bad a finding is, mildest first; the verdict is the worst of a file's findings ("ok"
/// where the worst is kInfo or there is none).
enum class Severity { kInfo, kWarning, kProblem, kNotWave, kUnreadable };

/// One thing the reading found. Each code keeps its meaning for good, so that scripts can
/// filter on it; the README lists them all.
struct FindingRec {
  const char* Code = "";
  Severity Level = Severity::kInfo;
  std::int64_t Offset = -1;  // the byte the finding is about; -1 for the file as a whole
  std::int64_t Count = 1;    // how often the walk met it; Offset and Text are the first's
  std::string Text;          // one sentence, UTF-8
  std::vector<std::pair<const char*, std::int64_t>> Numbers;  // named by the code's entry
};

/// A chunk as the walk met it. Sizes are the declared ones, after RF64's ds64 table.
struct DiagChunkRec {
  char Id[4] = {};
  std::int64_t Offset = 0;
  std::uint64_t Size = 0;    // declared
  std::int64_t Present = 0;  // body bytes the file holds
  int Pad = -1;              // even size: -1; odd: 1 the pad byte is there, 0 it is not
};

/// The format chunk's fields.
struct DiagFormatRec {
  std::int64_t Offset = -1;  // -1: no format chunk was read
  std::uint32_t Size = 0;
  std::uint16_t Tag = 0;
  bool Extensible = false;
  std::uint16_t SubTag = 0;  // the extensible format's sub-format, when it is one of the tags
  bool SubTagKnown = false;  // the sub-format GUID is a tag in the standard GUID family
  std::uint16_t Channels = 0;
  std::uint32_t Rate = 0;
  std::uint32_t ByteRate = 0;
  std::uint16_t BlockAlign = 0;
  std::uint16_t Bits = 0;
  std::uint16_t ValidBits = 0;
  std::uint32_t ChannelMask = 0;
};

/// How the data chunk's size field relates to its samples.
enum class DataSizing {
  kSized,        // the size field counts the samples
  kZero,         // 0, and samples follow the header to the end of the file: never finalised
  kPlaceholder,  // a streaming writer's "length unknown" (0xFFFFFFFF, 0x7FFFF000 ...)
  kWrapped,      // a RIFF file past 4 GiB: the samples run on past what the field can say
};

/// The sample data.
struct DiagDataRec {
  std::int64_t Offset = -1;  // of its header; -1: no data chunk
  std::uint64_t Declared = 0;
  std::int64_t Present = 0;  // the sample bytes the file holds, by what the reading concluded
  DataSizing Sizing = DataSizing::kSized;
};

/// A text tag: an INFO item or a field of the broadcast extension chunk.
struct DiagTagRec {
  std::string Chunk;  // "INFO" or "bext"
  std::string Id;     // "INAM", or the bext field's name ("Description")
  std::string Name;   // what it means to a person ("title"); empty when unknown
  std::string Text;   // UTF-8
  std::int64_t Offset = 0;
};

/// Everything the reading found out about one file.
struct DiagnosisRec {
  static constexpr std::size_t kChunksKept = 1000;
  static constexpr std::size_t kTagsKept = 64;

  std::int64_t Length = -1;  // -1 when the file could not be opened
  std::string Form;          // "RIFF", "RF64", "BW64"; empty for anything else
  std::int64_t RiffSize = -1;
  DiagFormatRec Format;
  DiagDataRec Data;
  std::int64_t FactSamples = -1;
  std::int64_t DeclaredMicros = -1;  // the play time the sizes declare; -1 unknown
  std::int64_t PresentMicros = -1;   // the play time of the samples in the file; -1 unknown
  std::vector<DiagTagRec> Tags;
  std::int64_t TagsLeftOut = 0;
  std::vector<DiagChunkRec> Chunks;  // in file order, the first kChunksKept
  std::int64_t ChunksLeftOut = 0;
  std::vector<FindingRec> Findings;  // worst first
  Severity Worst = Severity::kInfo;
  std::string Reason;  // the chief finding's sentence, or what the file holds when it is ok
};

/// Reads the file `name` (as the platform opens it) and judges it. Never throws, never ends
/// the process, touches no state of the report's; a file that cannot be opened or read is
/// judged "unreadable".
DiagnosisRec Diagnose(const std::string& name);

/// "ok", "warning", "problem", "not-wave" or "unreadable".
const char* VerdictName(const DiagnosisRec& diagnosis);

/// "info", "warning", "problem", "not-wave", "unreadable".
const char* SeverityName(Severity severity);

/// The diagnosis as one line of JSON (no line end), the schema of version DiagnosisVersion.
std::string DiagnosisJson(const DiagnosisRec& diagnosis);

inline constexpr int DiagnosisVersion = 1;

// ---- Shared by the reading and its sentences ------------------------------------------------

/// A format's short name: "PCM 16-bit", "IEEE float 32", "PCM 24-bit, extensible", "MP3".
std::string FormatName(const DiagFormatRec& format);

/// `micros` as seconds with `decimals` (1 or 2) decimals, rounded half up: "5.67".
std::string SecondsText(std::int64_t micros, int decimals);

/// The length of the valid UTF-8 sequence that starts at text[at] (at < size), or 0 when none
/// does (a stray byte, an overlong form, a surrogate, past U+10FFFF).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at);

/// floor(a * b / c) without overflow, for c > 0; the largest int64 when it does not fit.
std::int64_t MulDiv(std::uint64_t a, std::uint64_t b, std::uint64_t c);

}  // namespace sondrax
