// The diagnosis's judgement: from what the walk found to findings, each with a stable code, a
// severity and one sentence, and from the findings to the verdict.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <iterator>
#include <string>

#include "UTypes.h"
#include "diagnosis/Diagnosis.h"
#include "diagnosis/Walk.h"
#include "platform/Platform.h"
#include "report/Cp437.h"

namespace sondrax {

namespace {

// The codes in the order in which they explain a file best: among findings of one severity
// the first here is the reason. A cause comes before what follows from it (a file cut inside
// its headers has no data chunk either).
constexpr const char* kCodeOrder[] = {
    "unreadable",      "not-wave",          "empty",         "cut-header",     "no-ds64",
    "never-finalised", "cut-off",           "data-past-end", "format-short",   "extensible-short",
    "format-invalid",  "not-a-chunk",       "no-format",     "no-data",        "streamed",
    "over-4gib",       "byte-rate",         "block-align",   "riff-size",      "chunk-past-end",
    "trailing-bytes",  "data-empty",        "no-fact",       "info-malformed", "no-pad",
    "duplicate-chunk", "format-after-data", "channel-mask",  "odd-id",         "rf64",
};

std::size_t CodeRank(const char* code) {
  const auto* found =
      std::find_if(std::begin(kCodeOrder), std::end(kCodeOrder),
                   [&](const char* entry) { return std::string_view(entry) == code; });
  return static_cast<std::size_t>(found - std::begin(kCodeOrder));
}

bool HasWorse(const DiagnosisRec& diagnosis, Severity level) {
  return std::any_of(diagnosis.Findings.begin(), diagnosis.Findings.end(),
                     [&](const FindingRec& finding) { return finding.Level >= level; });
}

bool PcmLike(const DiagFormatRec& format) {
  const std::uint16_t tag =
      format.Extensible ? (format.SubTagKnown ? format.SubTag : std::uint16_t{0}) : format.Tag;
  return tag == 1 || tag == 3 || tag == 6 || tag == 7;
}

std::string Bytes(std::int64_t count) { return Grouped(count) + (count == 1 ? " byte" : " bytes"); }

std::string At(std::int64_t offset) { return "at byte " + Grouped(offset); }

// The longest play time told: about 31,700 years, so that rounding it cannot overflow.
constexpr std::int64_t kMaxMicros = 1000000000000000000;

// The play time of `bytes` of samples in microseconds; -1 when the format does not tell.
std::int64_t Micros(const DiagnosisRec& diagnosis, std::uint64_t frame, std::uint64_t bytes) {
  const DiagFormatRec& format = diagnosis.Format;
  std::int64_t micros = -1;
  if (frame > 0 && format.Rate > 0) {
    micros = MulDiv(bytes / frame, 1000000, format.Rate);
  } else if (format.ByteRate > 0) {
    micros = MulDiv(bytes, 1000000, format.ByteRate);
  }
  return std::min(micros, kMaxMicros);
}

// The format's fields: findings about them, and the bytes of one sample frame by what is
// consistent in them (0 where the format packs samples in blocks of its own).
std::uint64_t JudgeFormat(DiagnosisRec& diagnosis) {
  const DiagFormatRec& format = diagnosis.Format;
  const std::int64_t offset = format.Offset;
  if (format.Size < 16) {
    Note(diagnosis, "format-short", Severity::kProblem, offset,
         "the format chunk has only " + Bytes(format.Size) + "; it needs at least 16");
    return 0;
  }
  if (format.Extensible && format.Size < 40) {
    Note(diagnosis, "extensible-short", Severity::kProblem, offset,
         "the extensible format chunk has only " + Bytes(format.Size) +
             "; it needs 40 for its sub-format");
    return 0;
  }
  if (format.Channels == 0 || format.Rate == 0) {
    Note(diagnosis, "format-invalid", Severity::kProblem, offset,
         format.Channels == 0 ? "the format gives 0 channels"
                              : "the format gives a sample rate of 0");
    return 0;
  }
  if (format.Extensible && format.ChannelMask != 0 &&
      std::popcount(format.ChannelMask) > format.Channels) {
    Note(diagnosis, "channel-mask", Severity::kWarning, offset,
         "the channel mask names " + Grouped(std::popcount(format.ChannelMask)) + " speakers for " +
             Grouped(format.Channels) + " channels");
  }
  if (!PcmLike(format)) {
    if (format.ByteRate == 0) {
      Note(diagnosis, "byte-rate", Severity::kWarning, offset,
           diagnosis.FactSamples < 0
               ? "the byte rate is 0 and there is no fact chunk, so the play time is unknown"
               : "the byte rate is 0; the play time is from the fact chunk's sample count",
           {{"byteRate", 0}});
    }
    if (diagnosis.FactSamples < 0 && !format.Extensible && diagnosis.Data.Offset >= 0) {
      Note(diagnosis, "no-fact", Severity::kWarning, offset,
           "no fact chunk, which a compressed format needs for its length in samples");
    }
    return 0;
  }
  if (format.Bits == 0) {
    Note(diagnosis, "format-invalid", Severity::kProblem, offset,
         "the format gives 0 bits per sample");
    return 0;
  }
  const std::uint64_t computed = std::uint64_t{format.Channels} * ((format.Bits + 7u) / 8u);
  std::uint64_t frame = computed;
  if (format.BlockAlign != computed) {
    // The byte rate decides which of the two the writer meant.
    if (format.BlockAlign != 0 &&
        format.ByteRate == std::uint64_t{format.Rate} * format.BlockAlign) {
      frame = format.BlockAlign;
    }
    Note(diagnosis, "block-align", Severity::kWarning, offset,
         "the block align is " + Grouped(format.BlockAlign) +
             ", not channels \xC3\x97 bytes per sample = " +
             Grouped(static_cast<std::int64_t>(computed)) + "; the play time is from " +
             Grouped(static_cast<std::int64_t>(frame)),
         {{"blockAlign", format.BlockAlign}, {"expected", static_cast<std::int64_t>(computed)}});
  }
  const std::uint64_t expected = std::uint64_t{format.Rate} * frame;
  if (format.ByteRate != expected) {
    Note(diagnosis, "byte-rate", Severity::kWarning, offset,
         (format.ByteRate == 0 ? std::string("the byte rate is 0")
                               : "the byte rate is " + Grouped(format.ByteRate)) +
             ", not rate \xC3\x97 block align = " + Grouped(static_cast<std::int64_t>(expected)) +
             "; the play time is from the latter",
         {{"byteRate", format.ByteRate}, {"expected", static_cast<std::int64_t>(expected)}});
  }
  return frame;
}

// The sample data: how its size relates to its samples, and the play times.
void JudgeData(WalkRec& walk, std::uint64_t frame) {
  DiagnosisRec& diagnosis = *walk.Diagnosis;
  DiagDataRec& data = diagnosis.Data;
  const bool format_read = diagnosis.Format.Offset >= 0 && !walk.FormatCut;
  const auto present = static_cast<std::uint64_t>(data.Present);
  if (format_read) {
    diagnosis.PresentMicros = Micros(diagnosis, frame, present);
    if (data.Sizing == DataSizing::kSized) {
      diagnosis.DeclaredMicros = Micros(diagnosis, frame, data.Declared);
      // A compressed format without a byte rate: its fact chunk gives the length.
      if (diagnosis.DeclaredMicros < 0 && diagnosis.FactSamples >= 0 && diagnosis.Format.Rate > 0) {
        diagnosis.DeclaredMicros =
            std::min(MulDiv(static_cast<std::uint64_t>(diagnosis.FactSamples), 1000000,
                            diagnosis.Format.Rate),
                     kMaxMicros);
        if (present == data.Declared) {
          diagnosis.PresentMicros = diagnosis.DeclaredMicros;
        }
      }
    }
  }
  const std::int64_t seconds = diagnosis.PresentMicros;
  // Tenths of a second say enough of a take; a short one gets hundredths, and one too short
  // for those its bytes.
  std::string samples = Bytes(data.Present) + " of samples";
  if (seconds >= 50000) {
    samples = SecondsText(seconds, seconds >= 1000000 ? 1 : 2) + " s of samples";
  } else if (seconds >= 5000 || (seconds >= 0 && data.Present == 0)) {
    samples = SecondsText(seconds, 2) + " s of samples";
  }
  std::vector<std::pair<const char*, std::int64_t>> numbers = {
      {"declared", static_cast<std::int64_t>(data.Declared & 0x7FFFFFFFFFFFFFFF)},
      {"present", data.Present}};
  switch (data.Sizing) {
  case DataSizing::kZero:
    Note(diagnosis, "never-finalised", Severity::kProblem, data.Offset,
         "never finalised: " + samples + " follow the header; recoverable", numbers);
    return;
  case DataSizing::kPlaceholder:
    Note(diagnosis, "streamed", Severity::kWarning, data.Offset,
         "streamed: sizes never filled in; " + samples + " to the end of the file", numbers);
    return;
  case DataSizing::kWrapped:
    Note(diagnosis, "over-4gib", Severity::kWarning, data.Offset,
         "past 4 GiB, more than a RIFF size can count: " + samples +
             " run to the end of the file; RF64 is the form for files this long",
         numbers);
    return;
  case DataSizing::kSized:
    break;
  }
  if (data.Declared > present) {
    if (walk.RiffEnd == diagnosis.Length) {
      // A file cut short whose RIFF size was then mended to its length, or a data size
      // written wrong: either way a reader that trusts it runs out of samples.
      Note(diagnosis, "data-past-end", Severity::kProblem, data.Offset,
           "the data chunk declares " +
               Bytes(static_cast<std::int64_t>((data.Declared - present) & 0x7FFFFFFFFFFFFFFF)) +
               " more than the file holds, though the RIFF size matches the file; " + samples +
               " are there",
           numbers);
    } else if (diagnosis.DeclaredMicros >= 0 && diagnosis.PresentMicros >= 0 &&
               (diagnosis.DeclaredMicros + 5000) / 10000 !=
                   (diagnosis.PresentMicros + 5000) / 10000) {
      const std::int64_t whole = (diagnosis.DeclaredMicros + 5000) / 10000;
      const std::int64_t there = (diagnosis.PresentMicros + 5000) / 10000;
      Note(diagnosis, "cut-off", Severity::kProblem, data.Offset,
           "cut off: " + SecondsText(diagnosis.PresentMicros, 2) + " s of " +
               SecondsText(diagnosis.DeclaredMicros, 2) + " s present (" +
               SecondsText((whole - there) * 10000, 2) + " s missing)",
           numbers);
    } else {
      // Less than a hundredth of a second missing, or a format that does not tell the time.
      Note(diagnosis, "cut-off", Severity::kProblem, data.Offset,
           "cut off: " + Grouped(data.Present) + " of " +
               Bytes(static_cast<std::int64_t>(data.Declared & 0x7FFFFFFFFFFFFFFF)) +
               " of samples present",
           numbers);
    }
  } else if (data.Declared == 0) {
    Note(diagnosis, "data-empty", Severity::kWarning, data.Offset,
         "no samples: the data chunk is empty");
  }
}

// Where the walk ended, when that was not at the end of the file after a whole chunk.
void JudgeWalkEnd(WalkRec& walk) {
  DiagnosisRec& diagnosis = *walk.Diagnosis;
  const std::int64_t length = diagnosis.Length;
  const std::int64_t data = diagnosis.Data.Offset;
  switch (walk.End) {
  case WalkEnd::kPastEnd: {
    // A chunk walked past by its size may have an id that is not text.
    const std::string id = IdShown(walk.PastEndId);
    if (walk.PastEndOffset == data) {
      return;  // the samples' own finding says how much of them is there
    }
    const std::int64_t short_by = static_cast<std::int64_t>(walk.PastEndSize & 0x7FFFFFFFFFFFFFFF) -
                                  (length - walk.PastEndOffset - 8);
    if (data < 0 || id == "fmt ") {
      Note(diagnosis, "cut-header", Severity::kProblem, walk.PastEndOffset,
           "cut off inside the \"" + id + "\" chunk " + At(walk.PastEndOffset) +
               ": the file ends " + Bytes(short_by) + " short of its end");
    } else {
      Note(diagnosis, "chunk-past-end", Severity::kWarning, walk.PastEndOffset,
           "the \"" + id + "\" chunk " + At(walk.PastEndOffset) + " after the samples runs " +
               Bytes(short_by) + " past the end of the file",
           {{"missing", short_by}});
    }
    return;
  }
  case WalkEnd::kPartial:
  case WalkEnd::kStray: {
    const std::int64_t rest = length - walk.StopAt;
    const bool partial = walk.End == WalkEnd::kPartial;
    if (data < 0) {
      Note(diagnosis, partial ? "cut-header" : "not-a-chunk", Severity::kProblem, walk.StopAt,
           partial ? "cut off inside a chunk header " + At(walk.StopAt)
                   : "the bytes " + At(walk.StopAt) +
                         " do not start a chunk, and no data chunk came before them");
    } else if (walk.StopAt >= walk.RiffEnd) {
      Note(diagnosis, "trailing-bytes", Severity::kWarning, walk.StopAt,
           Bytes(rest) + " after the RIFF body are not a chunk", {{"bytes", rest}});
    } else {
      Note(diagnosis, "not-a-chunk", Severity::kWarning, walk.StopAt,
           "the bytes " + At(walk.StopAt) + " do not start a chunk; the last " + Bytes(rest) +
               " of the file, after the samples, are not read",
           {{"bytes", rest}});
    }
    return;
  }
  case WalkEnd::kNone:
  case WalkEnd::kEndOfFile:
  case WalkEnd::kUnsizedData:
    return;
  }
}

// The RIFF size against the chunks, when the data is whole and nothing else explains it.
void JudgeRiffSize(WalkRec& walk) {
  DiagnosisRec& diagnosis = *walk.Diagnosis;
  if (walk.End == WalkEnd::kPastEnd || walk.End == WalkEnd::kUnsizedData ||
      HasWorse(diagnosis, Severity::kProblem)) {
    return;
  }
  const std::int64_t end = walk.End == WalkEnd::kEndOfFile ? diagnosis.Length : walk.StopAt;
  const bool pad_left_out = std::any_of(
      diagnosis.Findings.begin(), diagnosis.Findings.end(), [](const FindingRec& finding) {
        return finding.Level == Severity::kInfo && std::string_view(finding.Code) == "no-pad";
      });
  if (walk.RiffEnd == end || (pad_left_out && walk.RiffEnd == end + 1)) {
    return;
  }
  const std::int64_t size = diagnosis.RiffSize;
  Note(diagnosis, "riff-size", Severity::kWarning, 4,
       size == 0 || size == 0xFFFFFFFF
           ? "the RIFF size was never filled in (" + Grouped(size) + "); the chunks are whole"
           : "RIFF size off: it says " + Bytes(size) + ", the chunks fill " + Bytes(end - 8) +
                 "; the samples are whole",
       {{"riffSize", size}, {"expected", end - 8}});
}

}  // namespace

void Note(DiagnosisRec& diagnosis, const char* code, Severity level, std::int64_t offset,
          std::string text, std::vector<std::pair<const char*, std::int64_t>> numbers) {
  for (FindingRec& finding : diagnosis.Findings) {
    if (std::string_view(finding.Code) == code && finding.Level == level) {
      ++finding.Count;
      return;
    }
  }
  diagnosis.Findings.push_back({code, level, offset, 1, std::move(text), std::move(numbers)});
}

std::string Grouped(std::int64_t value) {
  const bool negative = value < 0;
  std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  std::string digits;
  int count = 0;
  do {
    if (count > 0 && count % 3 == 0) {
      digits.push_back(',');
    }
    digits.push_back(static_cast<char>('0' + magnitude % 10));
    magnitude /= 10;
    ++count;
  } while (magnitude != 0);
  if (negative) {
    digits.push_back('-');
  }
  return {digits.rbegin(), digits.rend()};
}

std::string IdShown(const void* id) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string shown;
  for (const unsigned char byte : std::string_view(static_cast<const char*>(id), 4)) {
    if (byte >= 0x20 && byte < 0x7F) {
      shown.push_back(static_cast<char>(byte));
    } else {
      shown.append("\\x").push_back(kDigits[byte >> 4]);
      shown.push_back(kDigits[byte & 15]);
    }
  }
  return shown;
}

std::string Latin1Text(std::string_view bytes) {
  std::string text;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      text.push_back(c);
    } else {
      text.push_back(static_cast<char>(0xC0 | (byte >> 6)));
      text.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
  return text;
}

std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
  const auto byte = static_cast<unsigned char>(text[at]);
  if (byte < 0x80) {
    return 1;
  }
  const std::size_t length = byte >= 0xC2 && byte < 0xE0   ? 2
                             : byte >= 0xE0 && byte < 0xF0 ? 3
                             : byte >= 0xF0 && byte < 0xF5 ? 4
                                                           : 0;
  if (length == 0 || at + length > text.size()) {
    return 0;
  }
  for (std::size_t k = 1; k < length; ++k) {
    if ((static_cast<unsigned char>(text[at + k]) & 0xC0) != 0x80) {
      return 0;
    }
  }
  const auto second = static_cast<unsigned char>(text[at + 1]);
  if ((byte == 0xE0 && second < 0xA0) || (byte == 0xED && second >= 0xA0) ||
      (byte == 0xF0 && second < 0x90) || (byte == 0xF4 && second >= 0x90)) {
    return 0;  // overlong, a surrogate, or past U+10FFFF
  }
  return length;
}

void Judge(WalkRec& walk) {
  DiagnosisRec& diagnosis = *walk.Diagnosis;
  JudgeWalkEnd(walk);
  std::uint64_t frame = 0;
  if (diagnosis.Format.Offset >= 0 && !walk.FormatCut) {
    frame = JudgeFormat(diagnosis);
  }
  if (diagnosis.Data.Offset >= 0) {
    JudgeData(walk, frame);
  }
  // What is missing, where nothing else explains it.
  if (!HasWorse(diagnosis, Severity::kProblem)) {
    if (diagnosis.Format.Offset < 0) {
      Note(diagnosis, "no-format", Severity::kProblem, -1,
           "no format (\"fmt \") chunk in the file");
    }
    if (diagnosis.Data.Offset < 0) {
      Note(diagnosis, "no-data", Severity::kProblem, -1, "no data chunk in the file");
    }
  }
  JudgeRiffSize(walk);
}

void Conclude(DiagnosisRec& diagnosis) {
  std::stable_sort(diagnosis.Findings.begin(), diagnosis.Findings.end(),
                   [](const FindingRec& a, const FindingRec& b) {
                     return a.Level != b.Level ? a.Level > b.Level
                                               : CodeRank(a.Code) < CodeRank(b.Code);
                   });
  for (FindingRec& finding : diagnosis.Findings) {
    if (finding.Count > 1) {
      finding.Text += " (" + Grouped(finding.Count) + " times in all)";
    }
  }
  diagnosis.Worst = diagnosis.Findings.empty() ? Severity::kInfo : diagnosis.Findings[0].Level;
  if (diagnosis.Worst > Severity::kInfo) {
    diagnosis.Reason = diagnosis.Findings[0].Text;
    return;
  }
  const DiagFormatRec& format = diagnosis.Format;
  diagnosis.Reason =
      "a sound " + (diagnosis.Form == "RIFF" ? std::string("WAVE") : diagnosis.Form) +
      " file: " + FormatName(format) + ", " + Grouped(format.Channels) +
      (format.Channels == 1 ? " channel, " : " channels, ") + Grouped(format.Rate) + " Hz";
  if (diagnosis.PresentMicros >= 0) {
    diagnosis.Reason += ", " + SecondsText(diagnosis.PresentMicros, 2) + " s";
  }
}

std::string UnreadableText(int error, bool at_open) {
  const std::string start =
      at_open ? "the file could not be opened: " : "the file could not be read: ";
  switch (error) {
  case -1:
    return "the file changed while it was read";
  case kErrFileNotFound:
    return start + "no such file";
  case kErrPathNotFound:
    return start + "a folder on its path does not exist";
  case kErrTooManyOpenFiles:
    return start + "too many open files";
  case kErrAccessDenied:
    return start + "access denied, or not a regular file (a folder, a device or a pipe)";
  case kErrNotEnoughMemory:
    return start + "not enough memory";
  case kErrDeviceIo:
    return start + "an input/output error, or it changed after it was chosen";
  default:
    return start + "system error " +
           Grouped(error >= kErrOtherErrno && error < kErrCallLimit ? error - kErrOtherErrno
                                                                    : error);
  }
}

const char* SeverityName(Severity severity) {
  static constexpr const char* kNames[] = {"info", "warning", "problem", "not-wave", "unreadable"};
  return kNames[static_cast<std::size_t>(severity)];
}

const char* VerdictName(const DiagnosisRec& diagnosis) {
  return diagnosis.Worst == Severity::kInfo ? "ok" : SeverityName(diagnosis.Worst);
}

std::string FormatName(const DiagFormatRec& format) {
  if (format.Offset < 0) {
    return "";
  }
  if (format.Extensible && !format.SubTagKnown) {
    return "extensible, sub-format unknown";
  }
  const std::uint16_t tag = format.Extensible ? format.SubTag : format.Tag;
  const std::uint16_t bits =
      format.Extensible && format.ValidBits != 0 ? format.ValidBits : format.Bits;
  std::string name;
  switch (tag) {
  case 1:
    name = "PCM " + Grouped(bits) + "-bit";
    break;
  case 3:
    name = "IEEE float " + Grouped(bits);
    break;
  case 6:
    name = "A-law";
    break;
  case 7:
    name = "\xC2\xB5-law";
    break;
  case 0x11:
    name = "IMA ADPCM";
    break;
  case 0x55:
    name = "MP3";
    break;
  default: {
    // The catalogue's text without its maker: "Microsoft - MS ADPCM" is "MS ADPCM".
    const std::string text = FormatTagName(tag);
    const std::size_t dash = text.find(" - ");
    const std::string shown = dash == std::string::npos ? text : text.substr(dash + 3);
    if (text == "(unknown)") {
      static constexpr char kDigits[] = "0123456789ABCDEF";
      name = "format 0x";
      for (int shift = 12; shift >= 0; shift -= 4) {
        name.push_back(kDigits[(tag >> shift) & 15]);
      }
    } else {
      for (const char c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
          name.push_back(c);
        } else {
          AppendUtf8(Cp437Glyph(byte), &name);
        }
      }
    }
  }
  }
  return format.Extensible ? name + ", extensible" : name;
}

std::string SecondsText(std::int64_t micros, int decimals) {
  const std::int64_t unit = decimals == 1 ? 100000 : 10000;
  const std::int64_t scaled = (micros + unit / 2) / unit;
  const std::int64_t per_second = decimals == 1 ? 10 : 100;
  std::string fraction = std::to_string(scaled % per_second);
  fraction.insert(0, static_cast<std::size_t>(decimals) - fraction.size(), '0');
  return Grouped(scaled / per_second) + "." + fraction;
}

std::int64_t MulDiv(std::uint64_t a, std::uint64_t b, std::uint64_t c) {
  // The 128-bit product from 32-bit halves, then long division bit by bit.
  constexpr std::uint64_t kLow = 0xFFFFFFFFu;
  const std::uint64_t low_low = (a & kLow) * (b & kLow);
  const std::uint64_t low_high = (a & kLow) * (b >> 32);
  const std::uint64_t high_low = (a >> 32) * (b & kLow);
  const std::uint64_t middle = (low_low >> 32) + (low_high & kLow) + (high_low & kLow);
  std::uint64_t low = (middle << 32) | (low_low & kLow);
  std::uint64_t high = (a >> 32) * (b >> 32) + (low_high >> 32) + (high_low >> 32) + (middle >> 32);
  if (high >= c) {
    return INT64_MAX;
  }
  std::uint64_t quotient = 0;
  for (int i = 0; i < 64; ++i) {
    const bool carry = (high >> 63) != 0;
    high = (high << 1) | (low >> 63);
    low <<= 1;
    quotient <<= 1;
    if (carry || high >= c) {
      high -= c;
      quotient |= 1;
    }
  }
  return quotient > static_cast<std::uint64_t>(INT64_MAX) ? INT64_MAX
                                                          : static_cast<std::int64_t>(quotient);
}

}  // namespace sondrax
