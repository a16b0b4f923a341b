// The records the file's structures are read into, the state of one run, IdText and the
// format tag catalogue.
//
// A record holds the file's bytes exactly as read; its accessors decode the little-endian
// fields at their offsets. A size field has no accessor: the driver reads it signed or
// unsigned, by the file's length (SizeField in Sondrax.cc). Bytes beyond a short read keep what
// they held before (zero at the start of a run), which the report relies on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "LittleEndian.h"

namespace sondrax {

/// The first 12 bytes of the file: "RIFF", the declared body size, "WAVE".
struct RiffHeaderRec {
  unsigned char Bytes[12] = {};
  const unsigned char* Id() const { return Bytes; }
  const unsigned char* Form() const { return Bytes + 8; }
};

/// An 8-byte chunk header: id and body size. Also the header of an INFO item.
struct ChunkHeaderRec {
  unsigned char Bytes[8] = {};
  const unsigned char* Id() const { return Bytes; }
};
using InfoHeaderRec = ChunkHeaderRec;

/// The body of the "fmt " chunk: 18 bytes of fixed fields and 256 format-specific bytes.
struct FormatChunkRec {
  static constexpr std::int32_t Capacity = 274;
  unsigned char Bytes[Capacity] = {};
  std::uint16_t FormatTag() const { return LeU16(Bytes); }
  std::uint16_t Channels() const { return LeU16(Bytes + 2); }
  std::int32_t SamplesPerSec() const { return LeI32(Bytes + 4); }
  std::int32_t AvgBytesPerSec() const { return LeI32(Bytes + 8); }
  std::uint16_t BlockAlign() const { return LeU16(Bytes + 12); }
  std::uint16_t BitsPerSample() const { return LeU16(Bytes + 14); }
  std::uint16_t ExtraSize() const { return LeU16(Bytes + 16); }
  const unsigned char* Extra() const { return Bytes + 18; }
};

/// A chunk header followed by room for 256 body bytes.
struct ChunkBufferRec {
  static constexpr std::int32_t DataCapacity = 256;
  unsigned char Bytes[8 + DataCapacity] = {};
  const unsigned char* Id() const { return Bytes; }
  unsigned char* Data() { return Bytes + 8; }
  const unsigned char* Data() const { return Bytes + 8; }
};

/// A LIST chunk's header and its list type.
struct ListChunkRec {
  unsigned char Bytes[12] = {};
  const unsigned char* Id() const { return Bytes; }
  const unsigned char* ListType() const { return Bytes + 8; }
};

/// One chunk header the walk read: where, its id bytes and the size it declares, as the walk
/// used it. A run of zero headers passed over in one step is one entry of `Headers` headers.
struct WalkChunkRec {
  std::int64_t Offset = 0;
  unsigned char Id[4] = {};
  std::int64_t Size = 0;
  std::int64_t Headers = 1;
};

/// How a run ended.
enum class RunEnd {
  kComplete,    // the report reached the end of the file
  kStopped,     // a stop on a bad file, after its "*ERROR*: " message (or the syntax text)
  kFatal,       // the fatal error report on standard error
  kOpenFailed,  // the file could not be opened
};

/// Which message a stop on a bad file wrote; `kNone` for the syntax text.
enum class StopReason {
  kNone,
  kNoRiffId,       // "*ERROR*: File has no RIFF ID."
  kNoWaveId,       // "*ERROR*: RIFF file has no WAVE ID."
  kNoFormat,       // "*ERROR*: Format chunk not found in WAVE file."
  kNoData,         // "*ERROR*: Data chunk not found in WAVE file."
  kBrokenData,     // "*ERROR*: Possibly broken wave file."
  kNegativeChunk,  // "*ERROR*: Negative chunk size in WAVE file."
  kNegativeItem,   // "*ERROR*: Negative INFO item size in WAVE file."
};

/// What one run's walk met, for readers that are not a person at a console (the page): filled
/// beside the report, which it never changes. At most `kChunksKept` headers are kept, so a file
/// of millions of tiny chunks costs no more memory than a small one.
struct RunRecordRec {
  static constexpr std::size_t kChunksKept = 1000;
  std::vector<WalkChunkRec> Chunks;  // in the order read; the RIFF header first
  std::int64_t ChunksLeftOut = 0;    // headers read beyond kChunksKept
  std::int64_t Length = -1;          // the file's length as last asked; -1 when never opened
  unsigned char Form[4] = {};        // the RIFF form type
  bool SizeExact = false;            // the RIFF size matched the length ("exactly, OK")
  RunEnd End = RunEnd::kComplete;
  StopReason Stop = StopReason::kNone;
  std::int32_t Error = 0;    // the error number of a failed open or of the fatal error report
  std::string ErrorClass;    // the fatal error report's exception class ("EInOutError" ...)
  bool FactMissing = false;  // a compressed format without its fact chunk (the report goes on)
};

/// Everything one run reads and keeps. `Run = RunState{}` starts a run from all zeros.
struct RunState {
  RiffHeaderRec RiffHeader;
  ChunkHeaderRec ChunkHeader;
  FormatChunkRec FormatChunk;
  ChunkBufferRec FactChunk;
  ChunkBufferRec DataChunk;
  ListChunkRec ListChunk;
  InfoHeaderRec InfoHeader;
  std::string InfoText;
  std::string FileName;
  std::int64_t ListStart = 0;
  bool LargeFile = false;  // 2 GiB or more: sizes unsigned, positions and sums exact
  double PlayTime = 0;
  bool FactSeen = false;
  RunRecordRec Record;
};

extern RunState Run;

/// The id's bytes up to, not including, the first zero byte; at most four.
std::string IdText(const unsigned char* id);

/// The codec description of a format tag, "(unknown)" for a tag not in the catalogue.
std::string FormatTagName(std::uint16_t tag);

/// How many tags the catalogue names.
int FormatTagCount();

}  // namespace sondrax
