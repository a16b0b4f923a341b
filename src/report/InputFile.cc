#include "report/InputFile.h"

#include <cstdlib>

#include "report/Cp437.h"
#include "report/Output.h"
#include "report/PathText.h"

namespace sondrax {

std::int32_t IoError = 0;

namespace {
constexpr InputSystemCalls kPlatformInputCalls = {PlatformRead, PlatformSeek, PlatformTell,
                                                  PlatformFileSize};
}  // namespace

InputSystemCalls InputCalls = kPlatformInputCalls;

const InputSystemCalls& PlatformInputCalls() { return kPlatformInputCalls; }

int OpenForReading(InputFileRec& file, const std::string& name) {
  file.Name = name;
  FileHandle handle = 0;
  const int status = PlatformOpenRead(name, &handle);
  if (status == 0) {
    file.Handle = handle;
    file.Open = true;
  }
  return status;
}

void ReadExact(InputFileRec& file, void* dest, std::int32_t count) {
  if (count < 0) {
    // The report sections never ask for a negative count; one would be a fault of the program.
    std::abort();
  }
  std::int32_t got = 0;
  const int error = InputCalls.Read(file.Handle, dest, count, &got);
  if (error != 0) {
    IoError = error;
  } else if (got < count) {
    IoError = 100;
  }
}

std::int32_t CurrentPos(InputFileRec& file) {
  std::int32_t position = 0;
  const int error = InputCalls.Tell(file.Handle, &position);
  if (error != 0) {
    IoError = error;
    return -1;
  }
  return position;
}

std::int32_t TotalSize(InputFileRec& file) {
  std::int64_t size = 0;
  const int error = InputCalls.FileSize(file.Handle, &size);
  if (error != 0) {
    IoError = error;
    return -1;
  }
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(size));
}

bool AtEnd(InputFileRec& file) {
  const std::int32_t position = CurrentPos(file);
  const std::int32_t size = TotalSize(file);
  return position >= size;
}

void SeekTo(InputFileRec& file, std::int32_t position) {
  const int error = InputCalls.Seek(file.Handle, position);
  if (error != 0) {
    IoError = error;
  }
}

void CloseInput(InputFileRec& file) {
  if (!file.Open) {
    return;
  }
  file.Open = false;
  const int error = PlatformClose(file.Handle);
  if (error != 0) {
    IoError = error;
  }
}

std::string IoErrorMessage(std::int32_t code) {
  switch (code) {
  case 2:
    return "Datei nicht gefunden";
  case 3:
    return "Ung\x81ltiger Dateiname";
  case 4:
    return "Zu viele ge\x94" "ffnete Dateien";
  case 5:
    return "Dateizugriff verweigert";
  case 100:
    return "Versuch hinter dem Dateiende zu lesen";
  case 101:
    return "Zu wenig Speicherplatz";
  case 106:
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
  FatalErrorReport("EInOutError", IoErrorMessage(code), CodeLocation(file, line));
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
  if (OutputCalls.StreamType(2, &kind) != 0 || kind != StreamKind::kTerminal ||
      OutputCalls.Charset() != TerminalCharset::kUtf8) {
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

void WriteErrorText(std::string_view class_name, std::string_view message,
                    std::uint32_t location) {
  std::string text = "Exception ";
  text += class_name;
  text += " in Modul ";
  text += PlatformModuleName();
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

void FatalErrorReport(std::string_view class_name, std::string_view message,
                      std::uint32_t location) {
  // Everything the report wrote before the failure goes out before the error text.
  FlushOutput();
  const std::int32_t flush_error = IoError;
  IoError = 0;
  WriteErrorText(class_name, message, location);
  if (flush_error != 0) {
    // The report bytes could not be handed over either: say so too, rather than let the
    // first error text hide the loss.
    WriteErrorText("EInOutError", IoErrorMessage(flush_error),
                   CodeLocation(__FILE__, __LINE__));
  }
  throw RunEnded{1};
}

void StopRun() { throw RunEnded{0}; }

}  // namespace sondrax
