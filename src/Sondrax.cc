#include "Sondrax.h"

#include <cstring>
#include <string_view>

#include "HexFuncs.h"
#include "RunRecord.h"  // and UTypes.h
#include "report/Extended.h"
#include "report/InputFile.h"
#include "report/Output.h"

namespace sondrax {

namespace {

// A report label: exactly 22 bytes, so that every value starts in column 23.
template <std::size_t N>
constexpr std::string_view Label(const char (&text)[N]) {
  static_assert(N - 1 == 22, "a report label is 22 bytes long");
  return std::string_view(text, N - 1);
}

// ---- The arithmetic of a walk -----------------------------------------------------------
//
// A file below 2 GiB is read as the format was made for: sizes, positions and lengths are
// signed 32-bit numbers, and sums wrap like 32-bit arithmetic, so a sum beyond 2^31 - 1
// becomes negative and the seek to it fails with 131. A file of 2 GiB or more (decided once,
// at the open) cannot be read so: there a size is the unsigned 32-bit number RIFF stores, and
// positions, lengths and every sum of them are exact.

constexpr std::int64_t kLargeFileLength = std::int64_t{1} << 31;

std::int32_t WrapAdd(std::int64_t a, std::int64_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

std::int32_t WrapSub(std::int64_t a, std::int64_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

std::int64_t Sum(std::int64_t a, std::int64_t b) { return Run.LargeFile ? a + b : WrapAdd(a, b); }

std::int64_t Difference(std::int64_t a, std::int64_t b) {
  return Run.LargeFile ? a - b : WrapSub(a, b);
}

// A size field of a header at `bytes`.
std::int64_t SizeField(const unsigned char* bytes) {
  return Run.LargeFile ? std::int64_t{LeU32(bytes)} : std::int64_t{LeI32(bytes)};
}

bool IdIs(const unsigned char* id, std::string_view literal) { return IdText(id) == literal; }

// The input file of the run: opened once, read from the start towards the end.
InputFileRec InputFile;

InputFileRec& File() { return InputFile; }

bool AtEndChecked() {
  const bool end = AtEnd(File());
  CheckIo();
  return end;
}

std::int64_t CurrentPosChecked() {
  const std::int64_t position = CurrentPos(File());
  CheckIo();
  return position;
}

std::int64_t TotalSizeChecked() {
  const std::int64_t length = TotalSize(File());
  CheckIo();
  return length;
}

void WriteLine(std::string_view text) {
  WriteText(text);
  EndLine();
  CheckIo();
}

// Moves the position `size` bytes on, without reading them.
void PassOver(std::int64_t size) {
  SeekTo(File(), Sum(CurrentPosChecked(), size));
  CheckIo();
}

// RIFF pads a chunk body or INFO item of odd size with one zero byte. After such a body the
// pad is passed over when it is there; a non-zero byte is left alone, since some writers omit
// the pad and the next header starts right there.
void SkipPadByte(std::int64_t size) {
  if (size < 0 || size % 2 == 0 || AtEndChecked()) {
    return;
  }
  unsigned char pad = 0;
  ReadExact(File(), &pad, 1);
  CheckIo();
  if (pad != 0) {
    SeekTo(File(), CurrentPosChecked() - 1);
    CheckIo();
  }
}

// Reads a body of `size` bytes (size >= 0) into a record of `capacity` bytes. What does not
// fit is passed over, so the position always ends after the whole body; a body that reaches
// beyond the end of the file fails as the full read would have (100).
void ReadBody(unsigned char* dest, std::int32_t capacity, std::int64_t size) {
  const auto fits = static_cast<std::int32_t>(size < capacity ? size : capacity);
  ReadExact(File(), dest, fits);
  CheckIo();
  if (size > capacity) {
    const std::int64_t body_end = Sum(CurrentPosChecked(), size - capacity);
    const std::int64_t total = TotalSizeChecked();
    if (body_end < 0 || body_end > total) {
      IoError = kErrShortRead;
      CheckIo();
    }
    SeekTo(File(), body_end);
    CheckIo();
  }
  SkipPadByte(size);
}

// A negative size would move the walk backwards, possibly in a circle; no well-formed file
// has one (sizes of 2 GiB and more cannot occur in a file below 2 GiB, and in a larger file
// no size is negative).
[[noreturn]] void NegativeSizeStop(std::string_view message, StopReason reason) {
  WriteLine(message);
  StopOnBadFile(reason);
}

constexpr std::string_view kNegativeChunkSize = "*ERROR*: Negative chunk size in WAVE file.";

// ---- Walking from chunk to chunk ------------------------------------------------------

// Reads the 8-byte header at the position (a chunk's or an INFO item's): its id and size.
void ReadChunkHeader(unsigned char* header, bool walk = true) {
  ReadHeaderNoted(File(), header, walk);
  CheckIo();
}

// Passes over a body (or item) of `size` bytes, and its pad byte.
void PassOverBody(std::int64_t size) {
  PassOver(size);
  SkipPadByte(size);
}

// Passes over the chunk whose header the searches just read. Eight zero bytes make an empty
// chunk without a name; a run of them is the tail of a file whose header was never updated
// (a recorder that stopped) or plain zero padding, and is passed over in one step, as the
// search would pass over them header by header.
void PassOverChunk(const unsigned char* header) {
  const std::int64_t size = SizeField(header + 4);
  if (size < 0) {
    NegativeSizeStop(kNegativeChunkSize, StopReason::kNegativeChunk);
  }
  PassOverBody(size);
  static constexpr unsigned char kEmpty[8] = {};
  if (std::memcmp(header, kEmpty, 8) == 0) {
    const std::int64_t zeros = ZeroRunLength(File());
    CheckIo();
    SeekTo(File(), CurrentPosChecked() + NoteZeroRun(zeros));
    CheckIo();
  }
}

// ---- Banner and command line ----------------------------------------------------------

void WriteBanner() {
  WriteLine("                       Sondrax");
  WriteLine("                       \xCD\xCD\xCD\xCD\xCD\xCD\xCD");
  WriteLine("");
}

// Arguments count up to, not including, the first empty one.
std::size_t ArgumentCount(const std::vector<std::string>& args) {
  std::size_t count = 0;
  while (count + 1 < args.size() && !args[count + 1].empty()) {
    ++count;
  }
  return count;
}

[[noreturn]] void SyntaxStop() {
  WriteLine("Syntax: SONDRAX <RIFFfile.ext>");
  WriteLine("");
  WriteLine("*** NOTE: In this state it works only with most proper built WAVE files ***");
  WriteLine("");
  StopRun();
}

void WriteQuotedFileName() {
  WriteText("\"");
  WritePadded(Run.FileName, 0, TextSource::kUserText);
  WriteText("\"");
  EndLine();
  CheckIo();
}

void OpenInput(const std::string& argument) {
  Run.FileName = FullPathOf(argument);
  if (NoteOpen(OpenForReading(File(), Run.FileName), File()) != 0) {
    // A run that could not read its file must not report success.
    WriteText("*ERROR*: Could not open ");
    WriteQuotedFileName();
    throw RunEnded{1};
  }
  Run.LargeFile = File().Length >= kLargeFileLength;
}

// ---- RIFF header ----------------------------------------------------------------------

void RiffHeaderSection() {
  RiffHeaderRec& header = Run.RiffHeader;
  ReadExact(File(), header.Bytes, 12);
  CheckIo();

  WriteText(Label("RIFF                : "));
  EndWrite();
  CheckIo();
  if (!IdIs(NoteRiff(header, File().Length).Id(), "RIFF")) {
    CloseInput(File());
    CheckIo();
    WriteLine("*ERROR*: File has no RIFF ID.");
    StopOnBadFile(StopReason::kNoRiffId);
  }
  WriteChar(FoundMark, ValueWidth);
  EndLine();
  CheckIo();

  const std::int64_t size = SizeField(header.Bytes + 4);
  WriteText(Label("\"RIFF\" body size    : "));
  WriteInt64(size, ValueWidth);
  EndWrite();
  CheckIo();
  if (size == 0) {
    WriteLine(" - broken file, possibly aborted creation.");
  } else {
    const std::int64_t length = TotalSizeChecked();
    const std::int64_t body = Difference(length, 8);
    if (body < size) {
      WriteText(" - file is ");
      WriteInt64(Difference(Sum(size, 8), length), 0);
      WriteLine(" bytes shorter than header reports.");
    } else if (body > size) {
      WriteText(" - file is ");
      WriteInt64(Difference(body, size), 0);
      WriteLine(" bytes longer than header reports.");
    } else {
      WriteLine(" - file length is reported exactly, OK.");
    }
  }

  WriteText(Label("WAVE                : "));
  EndWrite();
  CheckIo();
  if (!IdIs(header.Form(), "WAVE")) {
    WriteLine("*ERROR*: RIFF file has no WAVE ID.");
    StopOnBadFile(StopReason::kNoWaveId);
  }
  WriteChar(FoundMark, ValueWidth);
  EndLine();
  CheckIo();
}

// ---- Format chunk ---------------------------------------------------------------------

std::string_view ChannelWord(std::uint16_t channels) {
  switch (channels) {
  case 1:
    return "mono";
  case 2:
    return "stereo";
  case 4:
    return "quadro";
  case 5:
    return "surround?";
  default:
    return "how would you call it?";
  }
}

void WriteField(std::string_view label, std::int64_t value) {
  WriteText(label);
  WriteInt64(value, ValueWidth);
  EndLine();
  CheckIo();
}

void FormatSection() {
  ChunkHeaderRec& header = Run.ChunkHeader;
  WriteText(Label("\xFE fmt               : "));
  EndWrite();
  CheckIo();

  bool found = false;
  for (;;) {
    ReadChunkHeader(header.Bytes);
    if (IdIs(header.Id(), "fmt ")) {
      found = true;
      break;
    }
    PassOverChunk(header.Bytes);
    if (AtEndChecked()) {
      break;
    }
  }
  if (!found) {
    EndLine();
    CheckIo();
    WriteLine("*ERROR*: Format chunk not found in WAVE file.");
    StopOnBadFile(StopReason::kNoFormat);
  }
  WriteChar(FoundMark, ValueWidth);
  EndLine();
  CheckIo();

  const std::int64_t size = SizeField(header.Bytes + 4);
  WriteField(Label(" \"fmt \" chunk size  : "), size);
  if (size < 0) {
    NegativeSizeStop(kNegativeChunkSize, StopReason::kNegativeChunk);
  }
  // A body longer than the record is read as far as it fits and the rest passed over.
  FormatChunkRec& format = Run.FormatChunk;
  ReadBody(format.Bytes, FormatChunkRec::Capacity, size);

  WriteText(Label("  \xF9 Format          : "));
  WriteInt(format.FormatTag(), ValueWidth);
  WriteText(" = ");
  WriteText(WordToHex(format.FormatTag()));
  WriteChar('h');
  EndLine();
  CheckIo();

  WriteText(Label("    \xD4\xCD> CODEC       : "));
  WriteText(FormatTagName(format.FormatTag()));
  EndLine();
  CheckIo();

  WriteText(Label("  \xF9 Channels        : "));
  WriteInt(format.Channels(), ValueWidth);
  WriteText(" (");
  EndWrite();
  CheckIo();
  WriteText(ChannelWord(format.Channels()));
  EndWrite();
  CheckIo();
  WriteChar(')');
  EndLine();
  CheckIo();

  WriteField(Label("  \xF9 Sample Freq.    : "), format.SamplesPerSec());
  WriteField(Label("  \xF9 avg. Byte rate  : "), format.AvgBytesPerSec());
  WriteField(Label("  \xF9 block size      : "), format.BlockAlign());
  WriteField(Label("  \xF9 bits / sample   : "), format.BitsPerSample());

  if (size > 16) {
    WriteField(Label("  \xF9 fmt.-spec. size : "), format.ExtraSize());
    if (format.ExtraSize() != 0) {
      WriteText(Label("  \xF9 fmt.-spec. data : "));
      EndWrite();
      CheckIo();
      HexDump(format.Extra(), format.ExtraSize());
    }
  }
}

// ---- Fact and data chunks -------------------------------------------------------------

// Seconds as the same rounded hundredths the seconds figure shows, split into minutes and
// seconds: 70 s is " 1:10.00", 119.996 s (shown as 120.00) is " 2:00.00".
void WriteMinutes(const std::string& seconds_text) {
  std::uint64_t hundredths = 0;
  for (char c : seconds_text) {
    if (c >= '0' && c <= '9') {
      hundredths = hundredths * 10 + static_cast<std::uint64_t>(c - '0');
    }
  }
  const bool negative = !seconds_text.empty() && seconds_text[0] == '-';
  const std::uint64_t rest = hundredths % 6000;
  std::string minutes = negative ? "-" : "";
  minutes += IntText(static_cast<std::int64_t>(hundredths / 6000));
  WritePadded(minutes, 2);
  WriteChar(':');
  const char seconds[] = {
      static_cast<char>('0' + rest / 1000), static_cast<char>('0' + rest / 100 % 10), '.',
      static_cast<char>('0' + rest / 10 % 10), static_cast<char>('0' + rest % 10)};
  WriteText(std::string_view(seconds, sizeof seconds));
}

void PlayTimeLine() {
  const std::int64_t size = SizeField(Run.DataChunk.Bytes + 4);
  const std::int32_t rate = Run.FormatChunk.AvgBytesPerSec();
  // The division faults are tested for explicitly, where the division is made.
  if (rate == 0) {
    if (size == 0) {
      FatalErrorReport("EInvalidOp", "Ung\x81ltige Gleitkommaoperation",
                       CodeLocation(__FILE__, __LINE__));
    }
    FatalErrorReport("EZeroDivide", "Gleitkommadivision durch Null",
                     CodeLocation(__FILE__, __LINE__));
  }
  // The quotient in extended precision, rounded to double when stored.
  Run.PlayTime = PlayTimeQuotient(size, rate);

  WriteField(Label(" \"data\" chunk size  : "), size);

  const std::string seconds = FixedText(Run.PlayTime, 2);
  WriteText(Label("  \xD4\xCD> est. playtime : "));
  WritePadded(seconds, 8);
  WriteText(" s = ");
  EndWrite();
  CheckIo();
  WriteMinutes(seconds);
  EndLine();
  CheckIo();
}

void FactDataSection() {
  ChunkBufferRec& fact = Run.FactChunk;
  ChunkBufferRec& data = Run.DataChunk;
  WriteText(Label("\xFE fact              : "));
  EndWrite();
  CheckIo();
  Run.FactSeen = false;

  for (;;) {
    ReadChunkHeader(fact.Bytes);
    if (IdIs(fact.Id(), "data")) {
      std::memcpy(data.Bytes, fact.Bytes, 8);
      if (!Run.FactSeen) {
        const std::uint16_t tag = Run.FormatChunk.FormatTag();
        if (tag == 1 || tag == 3) {
          WriteChar(AbsentMark, ValueWidth);
          EndLine();
          CheckIo();
        } else {
          WriteLine("*ERROR*: \"fact\" chunk necessary in non-std. WAVE file.");
        }
      }
    } else {
      // Every chunk between "fmt " and "data" is reported as the fact chunk.
      WriteChar(FoundMark, ValueWidth);
      EndLine();
      CheckIo();
      const std::int64_t size = SizeField(fact.Bytes + 4);
      WriteField(Label(" \"fact\" chunk size  : "), size);
      if (size < 0) {
        NegativeSizeStop(kNegativeChunkSize, StopReason::kNegativeChunk);
      }
      ReadBody(fact.Data(), ChunkBufferRec::DataCapacity, size);
      WriteText(Label(" \"fact\" data        : "));
      HexDump(fact.Data(), size);
      Run.FactSeen = true;
    }
    if (IdIs(data.Id(), "data") || AtEndChecked()) {
      break;
    }
  }

  WriteText(Label("\xFE data              : "));
  EndWrite();
  CheckIo();
  if (!IdIs(data.Id(), "data")) {
    WriteLine("*ERROR*: Data chunk not found in WAVE file.");
    StopOnBadFile(StopReason::kNoData);
  }
  WriteChar(FoundMark, ValueWidth);
  EndLine();
  CheckIo();

  PlayTimeLine();

  // A negative size is as impossible as one beyond the file's length, and the skip below
  // would walk backwards.
  const std::int64_t size = SizeField(data.Bytes + 4);
  const std::int64_t length = TotalSizeChecked();
  if (length < size || size <= 0) {
    WriteLine("*ERROR*: Possibly broken wave file.");
    StopOnBadFile(StopReason::kBrokenData);
  }
  PassOverBody(size);
}

// ---- LIST and INFO chunks -------------------------------------------------------------

void InfoItems() {
  ListChunkRec& list = Run.ListChunk;
  InfoHeaderRec& item = Run.InfoHeader;
  WriteLine("  - INFO block");
  // The byte after the LIST chunk's body; a bound that wraps negative lists no item.
  const std::int64_t list_end = Difference(Sum(Run.ListStart, SizeField(list.Bytes + 4)), 4);
  while (!AtEndChecked() && CurrentPosChecked() < list_end) {
    ReadChunkHeader(item.Bytes, false);
    // The item id is held in FileName: the input file's name is not needed any more.
    Run.FileName = IdText(item.Id());
    const std::int64_t size = SizeField(item.Bytes + 4);
    WriteText("    \xF9 \"");
    WriteFileText(Run.FileName);
    WriteText("\" size   : ");
    WriteInt64(size, ValueWidth);
    EndWrite();
    CheckIo();
    if (size < 0) {
      EndLine();
      CheckIo();
      NegativeSizeStop("*ERROR*: Negative INFO item size in WAVE file.", StopReason::kNegativeItem);
    }
    if (size < 255) {
      Run.InfoText.assign(static_cast<std::size_t>(size), '\0');
      ReadExact(File(), Run.InfoText.data(), static_cast<std::int32_t>(size));
      CheckIo();
      WriteText(" [");
      if (size < 40) {
        WriteFileText(Run.InfoText);
        WriteChar(']');
      } else {
        WriteFileText(std::string_view(Run.InfoText).substr(0, 36));
        WriteText(" ...]");
      }
      EndLine();
      CheckIo();
      SkipPadByte(size);
    } else {
      WriteLine(" (binary/large)");
      PassOverBody(size);
    }
  }
}

void ListSection() {
  ListChunkRec& list = Run.ListChunk;
  do {
    WriteText(Label("\xFE LIST              : "));
    EndWrite();
    CheckIo();

    // Each step reads a chunk header; the list type is read only behind a "LIST" id, so a
    // small chunk at the end of the file is no reason to read past it.
    bool found = false;
    while (!AtEndChecked()) {
      ReadChunkHeader(list.Bytes);
      if (IdIs(list.Id(), "LIST")) {
        ReadExact(File(), list.Bytes + 8, 4);
        CheckIo();
        found = true;
        break;
      }
      PassOverChunk(list.Bytes);
    }

    if (!found) {
      WriteChar(AbsentMark, ValueWidth);
      EndLine();
      CheckIo();
    } else {
      WriteChar(FoundMark, ValueWidth);
      EndLine();
      CheckIo();
      WriteField(Label(" \"LIST\" chunk size  : "), SizeField(list.Bytes + 4));
      WriteText(Label(" \"LIST\" data type   : "));
      WritePadded(IdText(list.ListType()), ValueWidth, TextSource::kInputFile);
      EndLine();
      CheckIo();
      Run.ListStart = CurrentPosChecked();
      // A list of another type is not entered: the next cycle walks its sub-chunks.
      if (IdIs(list.ListType(), "INFO")) {
        InfoItems();
      }
    }
  } while (!AtEndChecked());
}

void RunSequence(const std::vector<std::string>& args) {
  WriteBanner();
  if (ArgumentCount(args) == 0) {
    SyntaxStop();
  }
  OpenInput(args[1]);
  RiffHeaderSection();
  FormatSection();
  FactDataSection();
  ListSection();
  CloseInput(File());
  CheckIo();
}

}  // namespace

void HexDump(const unsigned char* bytes, std::int64_t count) {
  WriteText(" [");
  EndWrite();
  CheckIo();
  const std::int64_t shown = count <= 0 ? 0 : (count > 12 ? 12 : count);
  for (std::int64_t i = 0; i < shown; ++i) {
    WriteText(ByteToHex(bytes[i]));
    WriteChar(' ');
    EndWrite();
    CheckIo();
  }
  WriteText(count <= 12 ? std::string_view("\x08]") : std::string_view("...]"));
  EndLine();
  CheckIo();
}

int RunSondrax(const std::vector<std::string>& args) {
  Run = RunState{};
  InputFile = InputFileRec{};
  ResetOutput();
  IoError = 0;
  int exit_code = 0;
  try {
    RunSequence(args);
  } catch (const RunEnded& ended) {
    exit_code = NoteEnd(ended);
  }
  // However the run ended, the pending report bytes go out, and a failure to hand them over
  // is reported, not swallowed.
  try {
    FlushOutput();
    CheckIo();
  } catch (const RunEnded& ended) {
    exit_code = NoteEnd(ended);
  }
  NoteRunDone(InputFile);
  // A stop leaves the file open; the process's end would release it, a run in a test or
  // fuzzer must do so itself. The run's result stands: a failing close is not reported.
  CloseInput(InputFile);
  IoError = 0;
  return exit_code;
}

}  // namespace sondrax
