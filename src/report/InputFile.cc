#include "report/InputFile.h"

#include <cstdlib>
#include <cstring>

#include "platform/PathText.h"
#include "report/Cp437.h"
#include "report/Output.h"

namespace sondrax {

namespace {

// The shared window's bytes. Kept apart from the run's records, which a run starts by zeroing:
// the window's contents only count as far as InputFileRec::WindowBytes says.
unsigned char SharedWindow[WindowMax];

unsigned char* Window(const InputFileRec& file) {
  return file.Buffer != nullptr ? file.Buffer : SharedWindow;
}

std::size_t WindowCapacity(const InputFileRec& file) {
  return file.Buffer != nullptr ? file.BufferSize : WindowMax;
}

bool InWindow(const InputFileRec& file, std::int64_t position) {
  return position >= file.WindowStart &&
         position - file.WindowStart < static_cast<std::int64_t>(file.WindowBytes);
}

// Fills the window with the file's bytes from `position` on: the length is asked afresh, the
// platform's position set when it stands elsewhere, and the bytes up to the end of the file
// read (a window's worth at most). An empty window afterwards means the end of the file.
// Returns 0 or the platform's error number.
int Fill(InputFileRec& file, std::int64_t position) {
  // A walk that goes on where the window ended (header after header, a run of zero bytes)
  // doubles the window, so its calls grow with the logarithm of a stretch and then with
  // the stretch over WindowMax; a jump elsewhere (past the samples) starts small again.
  const bool onward =
      file.FillSize != 0 && position >= file.WindowStart &&
      position - file.WindowStart <= static_cast<std::int64_t>(file.WindowBytes + file.FillSize);
  std::size_t size = onward ? file.FillSize * 2 : WindowMin;
  if (size > WindowCapacity(file)) {
    size = WindowCapacity(file);
  }
  file.FillSize = size;
  file.WindowStart = position;
  file.WindowBytes = 0;

  std::int64_t length = 0;
  int error = Platform.FileSize(file.Handle, &length);
  if (error != 0) {
    return error;
  }
  file.Length = length;
  if (position >= length) {
    return 0;  // nothing to read there
  }
  if (static_cast<std::uint64_t>(length - position) < size) {
    size = static_cast<std::size_t>(length - position);
  }
  if (file.PlatformPosition != position) {
    error = Platform.Seek(file.Handle, position);
    if (error != 0) {
      file.PlatformPosition = -1;
      return error;
    }
    file.PlatformPosition = position;
  }
  // The one read loop of the program: a read attempt may deliver fewer bytes than asked.
  while (file.WindowBytes < size) {
    std::size_t got = 0;
    error =
        Platform.Read(file.Handle, Window(file) + file.WindowBytes, size - file.WindowBytes, &got);
    if (error != 0) {
      file.PlatformPosition = -1;
      return error;
    }
    if (got == 0) {
      break;  // the file is shorter than it was a moment ago
    }
    if (got > size - file.WindowBytes) {
      got = size - file.WindowBytes;  // a platform must not deliver more than asked
    }
    file.WindowBytes += got;
    file.PlatformPosition += static_cast<std::int64_t>(got);
  }
  return 0;
}

// Makes the window hold the byte at `position` if the file has it. False (with IoError set)
// when the platform failed; true with an empty window at the end of the file.
bool WindowAt(InputFileRec& file, std::int64_t position) {
  if (InWindow(file, position)) {
    return true;
  }
  const int error = Fill(file, position);
  if (error != 0) {
    IoError = error;
    return false;
  }
  return true;
}

}  // namespace

int OpenForReading(InputFileRec& file, const std::string& name) {
  unsigned char* const buffer = file.Buffer;
  const std::size_t buffer_size = file.BufferSize;
  file = InputFileRec{};
  file.Buffer = buffer;
  file.BufferSize = buffer_size;
  file.Name = name;
  FileHandle handle = 0;
  int status = Platform.OpenRead(name, &handle);
  if (status != 0) {
    return status;
  }
  std::int64_t length = 0;
  status = Platform.FileSize(handle, &length);
  if (status != 0) {
    (void)Platform.Close(handle);
    return status;
  }
  file.Handle = handle;
  file.Open = true;
  file.Length = length;
  return 0;
}

void ReadExact(InputFileRec& file, void* dest, std::int32_t count) {
  if (count < 0) {
    // The report sections never ask for a negative count; one would be a fault of the program.
    std::abort();
  }
  auto* out = static_cast<unsigned char*>(dest);
  auto wanted = static_cast<std::size_t>(count);
  while (wanted > 0) {
    if (!WindowAt(file, file.Position)) {
      return;
    }
    if (file.WindowBytes == 0) {
      IoError = kErrShortRead;
      return;
    }
    const auto offset = static_cast<std::size_t>(file.Position - file.WindowStart);
    std::size_t take = file.WindowBytes - offset;
    if (take > wanted) {
      take = wanted;
    }
    std::memcpy(out, Window(file) + offset, take);
    out += take;
    wanted -= take;
    file.Position += static_cast<std::int64_t>(take);
  }
}

std::int64_t CurrentPos(InputFileRec& file) { return file.Position; }

std::int64_t TotalSize(InputFileRec& file) { return file.Length; }

bool AtEnd(InputFileRec& file) {
  if (file.Position < file.Length) {
    return false;
  }
  // At or past the end known so far: the file may have grown since, so the length is asked
  // again. Every walk ends at the first true answer, so this costs a call or two per run.
  std::int64_t length = 0;
  const int error = Platform.FileSize(file.Handle, &length);
  if (error != 0) {
    IoError = error;
    return true;
  }
  file.Length = length;
  return file.Position >= length;
}

void SeekTo(InputFileRec& file, std::int64_t position) {
  if (position < 0) {
    IoError = kErrNegativeSeek;
    return;
  }
  file.Position = position;
}

std::int64_t ZeroRunLength(InputFileRec& file) {
  std::int64_t at = file.Position;
  for (;;) {
    if (!WindowAt(file, at) || file.WindowBytes == 0) {
      return at - file.Position;
    }
    const unsigned char* begin = Window(file) + (at - file.WindowStart);
    const unsigned char* end = Window(file) + file.WindowBytes;
    const unsigned char* p = begin;
    // Eight bytes at a time while they are all zero, then byte by byte.
    for (std::uint64_t word = 0; end - p >= 8; p += 8) {
      std::memcpy(&word, p, 8);
      if (word != 0) {
        break;
      }
    }
    while (p != end && *p == 0) {
      ++p;
    }
    at += p - begin;
    if (p != end) {
      return at - file.Position;
    }
  }
}

void CloseInput(InputFileRec& file) {
  if (!file.Open) {
    return;
  }
  file.Open = false;
  const int error = Platform.Close(file.Handle);
  if (error != 0) {
    IoError = error;
  }
}

std::string FullPathOf(const std::string& name) {
  std::string full_path;
  if (Platform.FullPath(name, &full_path) != 0) {
    return name;
  }
  return full_path;
}

std::string IoErrorMessage(std::int32_t code) {
  switch (code) {
  case kErrFileNotFound:
    return "Datei nicht gefunden";
  case kErrPathNotFound:
    return "Ung\x81ltiger Dateiname";
  case kErrTooManyOpenFiles:
    return "Zu viele ge\x94"
           "ffnete Dateien";
  case kErrAccessDenied:
    return "Dateizugriff verweigert";
  case kErrShortRead:
    return "Versuch hinter dem Dateiende zu lesen";
  case kErrLowOnSpace:
    return "Zu wenig Speicherplatz";
  case kErrInvalidNumber:
    return "Ung\x81ltige numerische Eingabe";
  default:
    return "E/A-Fehler " + IntText(code);
  }
}

std::uint32_t CodeLocation(const char* file, int line) {
  // The source file's name hashed into the high half and the line into the low half: the
  // same failing statement gives the same digits on every platform and in every build.
  std::uint32_t hash = 2166136261u;
  for (char c : BaseName(file)) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  }
  return ((hash ^ (hash >> 16)) << 16) | (static_cast<std::uint32_t>(line) & 0xFFFFu);
}

void CheckIo(const char* file, int line) {
  if (IoError == 0) {
    return;
  }
  const std::int32_t code = IoError;
  IoError = 0;
  FatalErrorReport("EInOutError", IoErrorMessage(code), CodeLocation(file, line), code);
}

namespace {

std::string HexLocation(std::uint32_t location) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text(8, '0');
  for (int i = 7; i >= 0; --i) {
    text[static_cast<std::size_t>(i)] = kDigits[location & 15];
    location >>= 4;
  }
  return text;
}

// Standard error gets the text's bytes unchanged, except on a UTF-8 terminal, which shows the
// code page 437 letters (ü, ö) as such.
std::string ForStandardError(const std::string& text) {
  StreamKind kind;
  if (Platform.StreamType(2, &kind) != 0 || kind != StreamKind::kTerminal ||
      Platform.Charset() != TerminalCharset::kUtf8) {
    return text;
  }
  std::string shown;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80) {
      AppendUtf8(Cp437Glyph(byte), &shown);
    } else {
      shown.push_back(c);
    }
  }
  return shown;
}

void WriteErrorText(std::string_view class_name, std::string_view message, std::uint32_t location) {
  std::string text = "Exception ";
  text += class_name;
  text += " in Modul ";
  text += Platform.ModuleName();
  text += " bei ";
  text += HexLocation(location);
  text += ".\r\n";
  text += message;
  if (!message.empty() && message.back() != '.') {
    text += '.';
  }
  text += "\r\n";
  const std::string shown = ForStandardError(text);
  // Nothing can be reported about a failing standard error: both results are ignored.
  (void)WriteAll(2, shown.data(), shown.size());
  (void)WriteAll(2, "\r\n", 2);
}

}  // namespace

void FatalErrorReport(std::string_view class_name, std::string_view message, std::uint32_t location,
                      std::int32_t error) {
  // Everything the report wrote before the failure goes out before the error text.
  FlushOutput();
  const std::int32_t flush_error = IoError;
  IoError = 0;
  WriteErrorText(class_name, message, location);
  if (flush_error != 0) {
    // The report bytes could not be handed over either: say so too, rather than let the
    // first error text hide the loss.
    WriteErrorText("EInOutError", IoErrorMessage(flush_error), CodeLocation(__FILE__, __LINE__));
  }
  // The class names are literals of the program: the view outlives the run.
  throw RunEnded{1, error, class_name};
}

void StopRun() { throw RunEnded{0}; }

}  // namespace sondrax
