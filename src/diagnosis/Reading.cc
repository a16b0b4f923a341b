// The diagnosis's walk: every chunk from the RIFF header to the end of the file, whatever the
// RIFF size says, read through the input layer's window with a buffer of its own. Headers and
// small chunks are read; samples never are, so a 3 GiB file costs what a 3 KiB one does.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "LittleEndian.h"
#include "diagnosis/Diagnosis.h"
#include "diagnosis/Walk.h"
#include "platform/Platform.h"
#include "report/InputFile.h"
#include "report/Output.h"

namespace sondrax {

namespace {

// The reader's own window: large enough for the headers of an ordinary file in one read, and
// it doubles no further than this for a file of many small chunks.
constexpr std::size_t kReadBuffer = std::size_t{64} * 1024;
// How much of an INFO item's or a bext field's text is read.
constexpr std::size_t kTagTextMax = 1024;
// How many entries of the ds64 table are read.
constexpr std::uint32_t kDs64TableMax = 64;
// The error of a file whose length changed while it was read.
constexpr int kChangedWhileRead = -1;

// The one way out of the walk for a read that failed: caught in Diagnose.
struct ReadFailed {
  int Error;
};

struct ReaderRec {
  InputFileRec File;
  std::int64_t Length = 0;
};

// Reads up to `count` bytes at `at` into `dest`, fewer at the end of the file; returns how
// many. The length is the one of the open: a file that changes meanwhile cannot be judged.
std::size_t ReadAt(ReaderRec& reader, std::int64_t at, unsigned char* dest, std::size_t count) {
  if (at >= reader.Length) {
    return 0;
  }
  const auto available = static_cast<std::uint64_t>(reader.Length - at);
  const std::size_t wanted = available < count ? static_cast<std::size_t>(available) : count;
  SeekTo(reader.File, at);
  ReadExact(reader.File, dest, static_cast<std::int32_t>(wanted));
  const std::int32_t error = IoError;
  IoError = 0;
  if (error != 0) {
    throw ReadFailed{error == kErrShortRead ? kChangedWhileRead : error};
  }
  if (TotalSize(reader.File) != reader.Length) {
    throw ReadFailed{kChangedWhileRead};
  }
  return wanted;
}

std::uint64_t LeU64(const unsigned char* bytes) {
  return std::uint64_t{LeU32(bytes)} | (std::uint64_t{LeU32(bytes + 4)} << 32);
}

bool IdIs(const unsigned char* id, const char* text) { return std::memcmp(id, text, 4) == 0; }

// A chunk id is four printable ASCII characters; anything else is not a chunk header.
bool ValidId(const unsigned char* id) {
  return std::all_of(id, id + 4, [](unsigned char c) { return c >= 0x20 && c < 0x7F; });
}

std::string IdString(const unsigned char* id) { return std::string(id, id + 4); }

// The walk's state for one file.
struct WalkState {
  WalkRec Walk;
  ReaderRec Reader;
  std::uint64_t Ds64Data = 0;
  std::uint64_t Ds64Samples = 0;
  std::vector<std::pair<std::string, std::uint64_t>> Ds64Table;
  bool LastPadAssumed = false;   // the chunk before ended odd and a byte was taken as its pad
  std::int64_t LastOffset = -1;  // that chunk's offset
  std::int64_t LastKept = -1;    // its index in the kept list, -1 when not kept
};

DiagnosisRec& Diag(WalkState& state) { return *state.Walk.Diagnosis; }

// ---- Texts of tags --------------------------------------------------------------------------

// A tag's bytes as UTF-8 text: up to the first zero byte, without trailing blanks. Tags are
// written in UTF-8 by today's tools and in an 8-bit code page by older ones; bytes that are not
// UTF-8 are taken as Latin-1.
std::string TagText(const unsigned char* bytes, std::size_t count) {
  std::string raw(bytes, std::find(bytes, bytes + count, 0));
  while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\r' || raw.back() == '\n')) {
    raw.pop_back();
  }
  for (std::size_t i = 0; i < raw.size();) {
    const std::size_t length = Utf8SequenceLength(raw, i);
    if (length == 0) {
      return Latin1Text(raw);
    }
    i += length;
  }
  return raw;
}

const char* InfoName(const std::string& id) {
  static constexpr const char* kNames[][2] = {
      {"IARL", "archival location"},
      {"IART", "artist"},
      {"ICMS", "commissioned by"},
      {"ICMT", "comment"},
      {"ICOP", "copyright"},
      {"ICRD", "date"},
      {"IENG", "engineer"},
      {"IGNR", "genre"},
      {"IKEY", "keywords"},
      {"IMED", "medium"},
      {"INAM", "title"},
      {"IPRD", "album"},
      {"ISBJ", "subject"},
      {"ISFT", "software"},
      {"ISRC", "source"},
      {"ISRF", "source form"},
      {"ITCH", "technician"},
      {"ITRK", "track"},
      {"IPRT", "track"},
      {"ILNG", "language"},
      {"ISMP", "SMPTE time"},
  };
  for (const auto& entry : kNames) {
    if (id == entry[0]) {
      return entry[1];
    }
  }
  return "";
}

void AddTag(WalkState& state, const char* chunk, std::string id, const char* name, std::string text,
            std::int64_t offset) {
  DiagnosisRec& diagnosis = Diag(state);
  if (diagnosis.Tags.size() >= DiagnosisRec::kTagsKept) {
    ++diagnosis.TagsLeftOut;
    return;
  }
  diagnosis.Tags.push_back({chunk, std::move(id), name, std::move(text), offset});
}

// ---- The chunks the diagnosis looks into ----------------------------------------------------

void ReadFormat(WalkState& state, std::int64_t offset, std::uint64_t size) {
  DiagnosisRec& diagnosis = Diag(state);
  if (diagnosis.Format.Offset >= 0) {
    Note(diagnosis, "duplicate-chunk", Severity::kWarning, offset,
         "a second \"fmt \" chunk at byte " + Grouped(offset) + "; readers take the first");
    return;
  }
  if (diagnosis.Data.Offset >= 0) {
    Note(diagnosis, "format-after-data", Severity::kWarning, offset,
         "the format chunk comes after the samples; a reader that streams the file needs it "
         "first");
  }
  unsigned char body[40] = {};
  const std::size_t wanted = size < sizeof body ? static_cast<std::size_t>(size) : sizeof body;
  const std::size_t got = ReadAt(state.Reader, offset + 8, body, wanted);
  DiagFormatRec& format = diagnosis.Format;
  format.Offset = offset;
  format.Size = size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(size);
  state.Walk.FormatCut = got < wanted;
  format.Tag = LeU16(body);
  format.Channels = LeU16(body + 2);
  format.Rate = LeU32(body + 4);
  format.ByteRate = LeU32(body + 8);
  format.BlockAlign = LeU16(body + 12);
  format.Bits = LeU16(body + 14);
  if (format.Tag == 0xFFFE) {
    format.Extensible = true;
    format.ValidBits = LeU16(body + 18);
    format.ChannelMask = LeU32(body + 20);
    // The sub-format GUID: a format tag, then the fixed tail of the standard family.
    static constexpr unsigned char kTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    format.SubTag = LeU16(body + 24);
    format.SubTagKnown = got >= 40 && std::memcmp(body + 26, kTail, sizeof kTail) == 0;
  }
}

void ReadFact(WalkState& state, std::int64_t offset, std::uint64_t size) {
  DiagnosisRec& diagnosis = Diag(state);
  if (diagnosis.FactSamples >= 0 || size < 4) {
    return;
  }
  unsigned char body[4] = {};
  if (ReadAt(state.Reader, offset + 8, body, 4) == 4) {
    const std::uint32_t samples = LeU32(body);
    diagnosis.FactSamples = state.Walk.Wide && samples == 0xFFFFFFFFu
                                ? static_cast<std::int64_t>(state.Ds64Samples & 0x7FFFFFFFFFFFFFFF)
                                : std::int64_t{samples};
  }
}

void ReadBext(WalkState& state, std::int64_t offset, std::uint64_t size) {
  struct Field {
    const char* Id;
    const char* Name;
    std::size_t At;
    std::size_t Length;
  };
  static constexpr Field kFields[] = {
      {"Description", "description", 0, 256},
      {"Originator", "originator", 256, 32},
      {"OriginatorReference", "originator reference", 288, 32},
      {"OriginationDate", "date", 320, 10},
      {"OriginationTime", "time", 330, 8},
  };
  unsigned char body[338] = {};
  const std::size_t wanted = size < sizeof body ? static_cast<std::size_t>(size) : sizeof body;
  const std::size_t got = ReadAt(state.Reader, offset + 8, body, wanted);
  for (const Field& field : kFields) {
    if (field.At >= got) {
      break;
    }
    std::string text = TagText(body + field.At, std::min(field.Length, got - field.At));
    if (!text.empty()) {
      AddTag(state, "bext", field.Id, field.Name, std::move(text),
             offset + 8 + static_cast<std::int64_t>(field.At));
    }
  }
}

void InfoMalformed(WalkState& state, std::int64_t list, std::int64_t at, const std::string& why) {
  Note(Diag(state), "info-malformed", Severity::kWarning, list,
       "malformed INFO list at byte " + Grouped(list) + ": " + why + " at byte " + Grouped(at) +
           "; its items from there on are not read",
       {{"at", at}});
}

// The items of a LIST chunk of type INFO, as far as they stand inside the list and the file.
// A list that runs past the end of the file is the walk's finding, not the list's.
void ReadInfo(WalkState& state, std::int64_t offset, std::uint64_t size) {
  const std::int64_t length = state.Reader.Length;
  const std::int64_t body = offset + 8;
  const bool whole = size <= static_cast<std::uint64_t>(length - body);
  const std::int64_t list_end = whole ? body + static_cast<std::int64_t>(size) : length;
  std::int64_t at = body + 4;
  bool pad_assumed = false;  // the item before was odd and a byte was taken as its pad
  unsigned char header[8] = {};
  unsigned char earlier[8] = {};
  std::vector<unsigned char> text(kTagTextMax);
  while (at < list_end) {
    if (list_end - at < 8) {
      if (whole) {
        InfoMalformed(state, offset, at, "an item header is cut short by the list's end");
      }
      return;
    }
    ReadAt(state.Reader, at, header, 8);
    if (!ValidId(header) && pad_assumed && ReadAt(state.Reader, at - 1, earlier, 8) == 8 &&
        ValidId(earlier)) {
      // An odd item without its pad byte, as some writers leave them.
      Note(Diag(state), "no-pad", Severity::kWarning, at - 1,
           "an INFO item before byte " + Grouped(at - 1) +
               " has an odd size but no pad byte after it; readers that follow the rules miss "
               "the next item");
      std::memcpy(header, earlier, 8);
      --at;
    }
    pad_assumed = false;
    if (!ValidId(header)) {
      InfoMalformed(state, offset, at, "bytes that are not an item header");
      return;
    }
    const std::uint64_t item = LeU32(header + 4);
    if (item > static_cast<std::uint64_t>(list_end - at - 8)) {
      if (whole) {
        // Built by appending: GCC 12 warns falsely (-Wrestrict) on the chained + for 32 bits.
        std::string why = "the item \"";
        why.append(IdString(header)).append("\" runs past the list's end");
        InfoMalformed(state, offset, at, why);
      }
      return;
    }
    const std::size_t wanted = item < kTagTextMax ? static_cast<std::size_t>(item) : kTagTextMax;
    const std::size_t got = ReadAt(state.Reader, at + 8, text.data(), wanted);
    const std::string id = IdString(header);
    AddTag(state, "INFO", id, InfoName(id), TagText(text.data(), got), at);
    at += 8 + static_cast<std::int64_t>(item);
    if (item % 2 == 1 && at < list_end) {
      ++at;
      pad_assumed = true;
    }
  }
}

void ReadList(WalkState& state, std::int64_t offset, std::uint64_t size) {
  if (size < 4) {
    return;
  }
  unsigned char type[4];
  if (ReadAt(state.Reader, offset + 8, type, 4) == 4 && IdIs(type, "INFO")) {
    ReadInfo(state, offset, size);
  }
}

// The size of the header at `at` fits in the file (with a pad byte the file may lack).
bool Fits(const WalkState& state, const unsigned char* header, std::int64_t at) {
  const std::uint64_t size = LeU32(header + 4);
  return size <= static_cast<std::uint64_t>(state.Reader.Length - at - 8) + 1 ||
         (state.Walk.Wide && size == 0xFFFFFFFFu);
}

// A header that a chunk of some writer could have: an id and a size that fits in the file.
bool Plausible(WalkState& state, std::int64_t at) {
  unsigned char header[8] = {};
  return ReadAt(state.Reader, at, header, 8) == 8 && ValidId(header) && Fits(state, header, at);
}

// The data chunk's header. Returns true when its samples run to the end of the file whatever
// its size says, which ends the walk.
bool ReadData(WalkState& state, std::int64_t offset, std::uint32_t field, std::uint64_t size) {
  DiagnosisRec& diagnosis = Diag(state);
  DiagDataRec& data = diagnosis.Data;
  if (data.Offset >= 0) {
    Note(diagnosis, "duplicate-chunk", Severity::kWarning, offset,
         "a second \"data\" chunk at byte " + Grouped(offset) + "; readers take the first");
    return false;
  }
  const std::int64_t body = offset + 8;
  const std::int64_t available = state.Reader.Length - body;
  data.Offset = offset;
  data.Declared = size;
  data.Present =
      size < static_cast<std::uint64_t>(available) ? static_cast<std::int64_t>(size) : available;
  // A writer that cannot seek back leaves its own mark for "length unknown".
  // An RF64 writer that cannot seek back leaves its ds64 chunk as it began: all sizes 0.
  const bool placeholder =
      state.Walk.Wide
          ? field == 0xFFFFFFFFu && size == 0 && diagnosis.RiffSize == 0 && available > 0
          : (field == 0xFFFFFFFFu || field == 0x7FFFFFFFu || field == 0x7FFFF000u) &&
                size > static_cast<std::uint64_t>(available);
  if (placeholder) {
    data.Sizing = DataSizing::kPlaceholder;
  } else if (size == 0 && available >= 8 && !Plausible(state, body)) {
    data.Sizing = DataSizing::kZero;  // the header of an empty file, then the samples
  } else if (!state.Walk.Wide && available > 0xFFFFFFFF &&
             size < static_cast<std::uint64_t>(available) &&
             !Plausible(state, body + static_cast<std::int64_t>(size + (size & 1)))) {
    data.Sizing = DataSizing::kWrapped;
  } else {
    return false;
  }
  data.Present = available;
  return true;
}

// The size of a chunk whose field says 0xFFFFFFFF in an RF64 file: from the ds64 chunk.
std::uint64_t WideSize(const WalkState& state, const unsigned char* id, std::uint32_t field) {
  if (!state.Walk.Wide || field != 0xFFFFFFFFu) {
    return field;
  }
  if (IdIs(id, "data")) {
    return state.Ds64Data;
  }
  for (const auto& [table_id, size] : state.Ds64Table) {
    if (table_id == IdString(id)) {
      return size;
    }
  }
  return field;
}

// Keeps the chunk in the bounded list; returns its index there, -1 past the bound.
std::int64_t Keep(WalkState& state, const unsigned char* id, std::int64_t offset,
                  std::uint64_t size) {
  DiagnosisRec& diagnosis = Diag(state);
  if (diagnosis.Chunks.size() >= DiagnosisRec::kChunksKept) {
    ++diagnosis.ChunksLeftOut;
    return -1;
  }
  DiagChunkRec& chunk = diagnosis.Chunks.emplace_back();
  std::memcpy(chunk.Id, id, 4);
  chunk.Offset = offset;
  chunk.Size = size;
  const std::int64_t body = offset + 8;
  const auto room = static_cast<std::uint64_t>(state.Reader.Length - body);
  chunk.Present = size < room ? static_cast<std::int64_t>(size) : static_cast<std::int64_t>(room);
  if (size % 2 == 1) {
    chunk.Pad = size + 1 <= room ? 1 : 0;
  }
  return static_cast<std::int64_t>(diagnosis.Chunks.size()) - 1;
}

// The ds64 chunk at 12 of an RF64 or BW64 file. False when it is not there.
bool ReadDs64(WalkState& state) {
  DiagnosisRec& diagnosis = Diag(state);
  unsigned char header[8] = {};
  if (ReadAt(state.Reader, 12, header, 8) < 8 || !IdIs(header, "ds64") || LeU32(header + 4) < 24) {
    Note(diagnosis, "no-ds64", Severity::kProblem, 12,
         "an " + diagnosis.Form + " file without its ds64 chunk, which holds its sizes");
    return false;
  }
  const std::uint32_t size = LeU32(header + 4);
  std::vector<unsigned char> body(28 + 12 * kDs64TableMax);
  const std::size_t got =
      ReadAt(state.Reader, 20, body.data(), std::min<std::size_t>(size, body.size()));
  if (got < 24) {
    Note(diagnosis, "cut-header", Severity::kProblem, 12,
         "cut off inside the ds64 chunk: the file ends at byte " + Grouped(state.Reader.Length));
    return false;
  }
  diagnosis.RiffSize = static_cast<std::int64_t>(LeU64(body.data()) & 0x7FFFFFFFFFFFFFFF);
  state.Ds64Data = LeU64(body.data() + 8);
  state.Ds64Samples = LeU64(body.data() + 16);
  const std::uint32_t entries = got >= 28 ? LeU32(body.data() + 24) : 0;
  for (std::uint32_t i = 0; i < entries && i < kDs64TableMax && 28 + 12 * (i + 1) <= got; ++i) {
    const unsigned char* entry = body.data() + 28 + std::size_t{12} * i;
    state.Ds64Table.emplace_back(IdString(entry), LeU64(entry + 4));
  }
  Keep(state, header, 12, size);
  Note(diagnosis, "rf64", Severity::kInfo, 0,
       "an " + diagnosis.Form +
           " file, judged by the sizes of its ds64 chunk; the report reads RIFF files only");
  return true;
}

// The walk from `at` to the end of the file.
void WalkChunks(WalkState& state, std::int64_t at) {
  DiagnosisRec& diagnosis = Diag(state);
  const std::int64_t length = state.Reader.Length;
  unsigned char header[8] = {};
  state.Walk.ChunksEnd = at;
  while (at < length) {
    if (length - at < 8) {
      state.Walk.End = WalkEnd::kPartial;
      state.Walk.StopAt = at;
      return;
    }
    ReadAt(state.Reader, at, header, 8);
    // A writer that left out the pad byte after an odd chunk: the next header starts one byte
    // earlier, where the pad byte was taken to be. It is taken to be there when the header
    // one byte earlier has an id and the one after the pad byte is no whole chunk.
    unsigned char earlier[8] = {};
    if (state.LastPadAssumed && !(ValidId(header) && Fits(state, header, at)) &&
        ReadAt(state.Reader, at - 1, earlier, 8) == 8 && ValidId(earlier)) {
      Note(diagnosis, "no-pad", Severity::kWarning, state.LastOffset,
           "the chunk at byte " + Grouped(state.LastOffset) +
               " has an odd size but no pad byte after it; readers that follow the rules "
               "miss the next chunk");
      if (state.LastKept >= 0) {
        diagnosis.Chunks[static_cast<std::size_t>(state.LastKept)].Pad = 0;
      }
      state.LastPadAssumed = false;
      --at;
      state.Walk.ChunksEnd = at;
      continue;
    }
    if (!ValidId(header)) {
      // An id that is not text, but a size that leads to the end of the file or to another
      // chunk's header: a chunk of a writer with ids of its own, walked past by its size.
      // Anything else ends the walk there.
      const std::uint64_t skip = std::uint64_t{LeU32(header + 4)} + (LeU32(header + 4) & 1);
      if (!Fits(state, header, at) ||
          (skip < static_cast<std::uint64_t>(length - at - 8) &&
           !Plausible(state, at + 8 + static_cast<std::int64_t>(skip)))) {
        state.Walk.End = WalkEnd::kStray;
        state.Walk.StopAt = at;
        return;
      }
      Note(diagnosis, "odd-id", Severity::kInfo, at,
           "the chunk at byte " + Grouped(at) +
               " has an id that is not text; it is walked past by its size");
    }
    const std::uint32_t field = LeU32(header + 4);
    const std::uint64_t size = WideSize(state, header, field);
    const std::int64_t kept = Keep(state, header, at, size);
    const std::int64_t body = at + 8;
    const auto room = static_cast<std::uint64_t>(length - body);
    if (at >= state.Walk.RiffEnd) {
      state.Walk.BeyondRiff = true;
    }
    if (IdIs(header, "fmt ")) {
      ReadFormat(state, at, size);
    } else if (IdIs(header, "data")) {
      if (ReadData(state, at, field, size)) {
        state.Walk.End = WalkEnd::kUnsizedData;
        return;
      }
    } else if (IdIs(header, "fact")) {
      ReadFact(state, at, size);
    } else if (IdIs(header, "LIST")) {
      ReadList(state, at, size);
    } else if (IdIs(header, "bext")) {
      ReadBext(state, at, size);
    }
    if (size > room) {
      state.Walk.End = WalkEnd::kPastEnd;
      std::memcpy(state.Walk.PastEndId, header, 4);
      state.Walk.PastEndOffset = at;
      state.Walk.PastEndSize = size;
      return;
    }
    at = body + static_cast<std::int64_t>(size);
    state.LastPadAssumed = false;
    if (size % 2 == 1) {
      if (at == length) {
        Note(diagnosis, "no-pad", Severity::kInfo, body - 8,
             "the last chunk has an odd size and no pad byte at the end of the file");
      } else {
        ++at;
        state.LastPadAssumed = true;
      }
    }
    state.LastOffset = body - 8;
    state.LastKept = kept;
    state.Walk.ChunksEnd = at;
  }
  state.Walk.End = WalkEnd::kEndOfFile;
}

// What a file that is not a WAVE file looks like, from its first bytes.
std::string LookAlike(const unsigned char* head, std::size_t count) {
  const auto starts = [&](const char* text, std::size_t at = 0) {
    const std::size_t length = std::strlen(text);
    return count >= at + length && std::memcmp(head + at, text, length) == 0;
  };
  if (starts("RIFF") || starts("RF64") || starts("BW64")) {
    const std::string form = IdString(head + 8);
    const char* what = form == "AVI "   ? " (a video)"
                       : form == "WEBP" ? " (an image)"
                       : form == "RMID" ? " (MIDI)"
                                        : "";
    return "not a WAVE file: a RIFF file of the form \"" + IdShown(head + 8) + "\"" + what;
  }
  static constexpr const char* kStarts[][2] = {
      {"ID3", "an MP3 file"},
      {"fLaC", "a FLAC file"},
      {"OggS", "an Ogg file"},
      {"RIFX", "a big-endian RIFF file"},
      {"\x89PNG", "a PNG image"},
      {"%PDF", "a PDF document"},
      {"PK\x03\x04", "a ZIP archive"},
      {"\xFF\xD8\xFF", "a JPEG image"},
      {"GIF8", "a GIF image"},
      {"caff", "a Core Audio file"},
      {"wvpk", "a WavPack file"},
      {"MThd", "a MIDI file"},
      {".snd", "an AU file"},
      {"#!AMR", "an AMR file"},
      {"MAC ", "a Monkey's Audio file"},
      {"\x30\x26\xB2\x75", "a WMA or ASF file"},
      {"\x1A\x45\xDF\xA3", "a Matroska or WebM file"},
      {"riff\x2E\x91\xCF\x11", "a Wave64 file"},
      {"\x7F"
       "ELF",
       "a program"},
  };
  for (const auto& entry : kStarts) {
    if (starts(entry[0])) {
      return std::string("not a WAVE file: it looks like ") + entry[1];
    }
  }
  if (starts("FORM") && (starts("AIFF", 8) || starts("AIFC", 8))) {
    return "not a WAVE file: it looks like an AIFF file";
  }
  if (starts("ftyp", 4)) {
    return "not a WAVE file: it looks like an MP4 or M4A file";
  }
  if (count >= 2 && head[0] == 0xFF && (head[1] & 0xF6) == 0xF0) {
    return "not a WAVE file: it looks like an AAC stream";
  }
  if (count >= 2 && head[0] == 0xFF && (head[1] & 0xE0) == 0xE0) {
    return "not a WAVE file: it looks like an MP3 file";
  }
  return "not a WAVE file: it does not start with \"RIFF\"";
}

void Walk(WalkState& state) {
  DiagnosisRec& diagnosis = Diag(state);
  const std::int64_t length = state.Reader.Length;
  if (length == 0) {
    Note(diagnosis, "empty", Severity::kProblem, -1, "the file is empty");
    return;
  }
  unsigned char head[12] = {};
  const std::size_t got = ReadAt(state.Reader, 0, head, sizeof head);
  const bool riff = got >= 4 && (IdIs(head, "RIFF") || IdIs(head, "RF64") || IdIs(head, "BW64"));
  if (riff ? got < 12 : got < 4 && std::memcmp(head, "RIFF", got) == 0) {
    Note(diagnosis, "cut-header", Severity::kProblem, 0,
         "cut off inside the RIFF header: the file has only " + Grouped(length) + " byte" +
             (length == 1 ? "" : "s"));
    return;
  }
  if (!riff || !IdIs(head + 8, "WAVE")) {
    Note(diagnosis, "not-wave", Severity::kNotWave, 0, LookAlike(head, got));
    return;
  }
  diagnosis.Form = IdString(head);
  state.Walk.Wide = !IdIs(head, "RIFF");
  diagnosis.RiffSize = LeU32(head + 4);
  Keep(state, head, 0, static_cast<std::uint64_t>(diagnosis.RiffSize));
  diagnosis.Chunks[0].Pad = -1;  // the file's own header: its body is the rest of the file
  if (state.Walk.Wide && !ReadDs64(state)) {
    return;
  }
  state.Walk.RiffEnd = diagnosis.RiffSize > INT64_MAX - 8
                           ? INT64_MAX
                           : 8 + diagnosis.RiffSize;  // a ds64 of any value
  std::int64_t at = 12;
  if (state.Walk.Wide) {
    const std::uint64_t ds64 = diagnosis.Chunks.size() > 1 ? diagnosis.Chunks[1].Size : 28;
    at = 20 + static_cast<std::int64_t>(ds64 + (ds64 & 1));
  }
  WalkChunks(state, at);
  Judge(state.Walk);
}

}  // namespace

DiagnosisRec Diagnose(const std::string& name) {
  DiagnosisRec diagnosis;
  // Not zeroed: only the bytes a fill delivers are ever looked at.
  const std::unique_ptr<unsigned char[]> buffer(new unsigned char[kReadBuffer]);
  WalkState state;
  state.Walk.Diagnosis = &diagnosis;
  state.Reader.File.Buffer = buffer.get();
  state.Reader.File.BufferSize = kReadBuffer;
  const int error = OpenForReading(state.Reader.File, name);
  if (error != 0) {
    Note(diagnosis, "unreadable", Severity::kUnreadable, -1, UnreadableText(error, true));
  } else {
    state.Reader.Length = state.Reader.File.Length;
    diagnosis.Length = state.Reader.Length;
    try {
      Walk(state);
    } catch (const ReadFailed& failed) {
      const std::int64_t length = diagnosis.Length;
      diagnosis = DiagnosisRec{};
      diagnosis.Length = length;
      Note(diagnosis, "unreadable", Severity::kUnreadable, -1, UnreadableText(failed.Error, false));
    }
    CloseInput(state.Reader.File);
    IoError = 0;  // the file was read to the end of what the diagnosis needs
  }
  Conclude(diagnosis);
  return diagnosis;
}

}  // namespace sondrax
