// What the diagnosis's walk leaves for its judgement, beside the record itself: where and why
// the walk ended, and the few facts a finding needs that the record does not keep.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "diagnosis/Diagnosis.h"

namespace sondrax {

/// Where the walk of the chunks ended and what stood there.
enum class WalkEnd {
  kNone,         // no walk: the file was judged from its first bytes
  kEndOfFile,    // the last chunk ended at the end of the file
  kPastEnd,      // a chunk runs past the end of the file (PastEnd*)
  kPartial,      // fewer bytes than a chunk header at StopAt
  kStray,        // bytes at StopAt that do not start a chunk
  kUnsizedData,  // the data chunk's samples run to the end of the file (DataSizing)
};

struct WalkRec {
  DiagnosisRec* Diagnosis = nullptr;
  bool Wide = false;         // RF64 or BW64: sizes from the ds64 chunk
  std::int64_t RiffEnd = 0;  // where the RIFF size says the file ends
  WalkEnd End = WalkEnd::kNone;
  std::int64_t StopAt = -1;    // kPartial, kStray: where
  std::int64_t ChunksEnd = 0;  // where the last whole chunk (with its pad byte) ended
  char PastEndId[4] = {};      // kPastEnd: the chunk's id, offset and declared size
  std::int64_t PastEndOffset = -1;
  std::uint64_t PastEndSize = 0;
  bool BeyondRiff = false;  // the walk met a whole chunk past the RIFF size's end
  bool FormatCut = false;   // the format chunk's fields are not all in the file
};

/// Appends a finding, or counts one more of its code when the walk met the code before (the
/// first one's offset and sentence stand).
void Note(DiagnosisRec& diagnosis, const char* code, Severity level, std::int64_t offset,
          std::string text, std::vector<std::pair<const char*, std::int64_t>> numbers = {});

/// A count with its thousands grouped: "764,044".
std::string Grouped(std::int64_t value);

/// A chunk id's four bytes as text: printable ASCII as it is, any other byte as "\\xNN".
std::string IdShown(const void* id);

/// Bytes taken as Latin-1 (the characters U+0000 to U+00FF), as UTF-8.
std::string Latin1Text(std::string_view bytes);

/// The judgement after the walk: the findings about the sizes, the format and the play time.
void Judge(WalkRec& walk);

/// Orders the findings worst first and sets the verdict and the reason.
void Conclude(DiagnosisRec& diagnosis);

/// The sentence of a file that could not be opened (at_open) or read, by the platform's error.
std::string UnreadableText(int error, bool at_open);

}  // namespace sondrax
