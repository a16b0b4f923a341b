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
};

extern RunState Run;

/// The id's bytes up to, not including, the first zero byte; at most four.
std::string IdText(const unsigned char* id);

/// The codec description of a format tag, "(unknown)" for a tag not in the catalogue.
std::string FormatTagName(std::uint16_t tag);

/// How many tags the catalogue names.
int FormatTagCount();

}  // namespace sondrax
