#include "report/Output.h"

#include <cstring>

#include "report/Cp437.h"

namespace sondrax {

thread_local std::int32_t IoError = 0;
ReportOutputRec ReportOutput;

namespace {

// Takes standard output on the first write of the run. A stream that cannot be used (closed,
// or of no known type) leaves the writer closed and records 105.
bool OpenOutput() {
  if (ReportOutput.Open) {
    return true;
  }
  StreamKind kind;
  if (Platform.StreamType(1, &kind) != 0) {
    IoError = kErrOutputUnusable;
    return false;
  }
  ReportOutput.Open = true;
  ReportOutput.Console = kind != StreamKind::kFileOrPipe;
  ReportOutput.Terminal = kind == StreamKind::kTerminal;
  if (ReportOutput.Terminal) {
    ReportOutput.Charset = Platform.Charset();
  }
  return true;
}

void HandOver() {
  if (ReportOutput.Pending == 0) {
    return;
  }
  const int error =
      WriteAll(1, ReportOutput.Buffer, static_cast<std::size_t>(ReportOutput.Pending));
  // The buffer is emptied whether or not the bytes got out: they are not written twice.
  ReportOutput.Pending = 0;
  if (error != 0) {
    IoError = error;
  }
}

void PutByte(unsigned char byte) {
  if (ReportOutput.Pending == OutputBufferSize) {
    HandOver();
    if (IoError != 0) {
      return;
    }
  }
  ReportOutput.Buffer[ReportOutput.Pending++] = byte;
}

void PutGlyph(char32_t glyph) {
  std::string utf8;
  AppendUtf8(glyph, &utf8);
  for (char c : utf8) {
    PutByte(static_cast<unsigned char>(c));
  }
}

// Puts one byte of the report as the device should receive it.
void PutDisplayed(unsigned char byte, TextSource source) {
  if (!ReportOutput.Terminal) {
    PutByte(byte);
    return;
  }
  const bool control = byte < 0x20 || byte == 0x7F;
  const bool foreign = source != TextSource::kProgram;
  const bool utf8 = ReportOutput.Charset == TerminalCharset::kUtf8;
  // A terminal of some other 8-bit character set may take 0x80 to 0x9F as control codes (C1).
  const bool c1 = byte >= 0x80 && byte < 0xA0 && !utf8;
  if (control && foreign) {
    // Bytes from outside must not reach the terminal as control codes (escape sequences).
    if (byte == 0) {
      PutByte(' ');
    } else if (utf8) {
      PutGlyph(Cp437Glyph(byte));
    } else {
      PutByte('?');
    }
  } else if (c1 && foreign) {
    PutByte('?');
  } else if (byte >= 0x80 && source != TextSource::kUserText && utf8) {
    PutGlyph(Cp437Glyph(byte));
  } else {
    // The program's own control bytes (CR LF, the dump's backspace) keep their effect, and an
    // 8-bit terminal gets the code page 437 bytes as they are.
    PutByte(byte);
  }
}

void Put(std::string_view text, TextSource source) {
  if (IoError != 0 || !OpenOutput()) {
    return;
  }
  std::string user_text;
  if (source == TextSource::kUserText && ReportOutput.Terminal &&
      ReportOutput.Charset == TerminalCharset::kUtf8) {
    // The file name is in the system's character set, which on Windows is not the console's.
    user_text = Platform.UserTextUtf8(text);
    text = user_text;
  }
  for (char c : text) {
    if (IoError != 0) {
      return;  // the statement failed: the rest of it is not written
    }
    PutDisplayed(static_cast<unsigned char>(c), source);
  }
}

void PutBlanks(std::int64_t count) {
  static constexpr char kBlanks[] = "                                ";
  while (count > 0) {
    const std::int64_t piece = count < 32 ? count : 32;
    Put(std::string_view(kBlanks, static_cast<std::size_t>(piece)), TextSource::kProgram);
    count -= piece;
  }
}

// Writes the decimal digits of value into out (at least 21 bytes); returns the length.
int FormatInt(std::int64_t value, char* out) {
  // The magnitude is taken unsigned so that the most negative value needs no special case.
  std::uint64_t magnitude =
      value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  char digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  int length = 0;
  if (value < 0) {
    out[length++] = '-';
  }
  while (count > 0) {
    out[length++] = digits[--count];
  }
  return length;
}

void WriteRightAligned(std::string_view text, std::int32_t width, TextSource source) {
  PutBlanks(static_cast<std::int64_t>(width) - static_cast<std::int64_t>(text.size()));
  Put(text, source);
}

void EndStatement() {
  if (ReportOutput.Console && IoError == 0) {
    HandOver();
  }
}

}  // namespace

void ResetOutput() { ReportOutput = ReportOutputRec{}; }

void WriteText(std::string_view text) { Put(text, TextSource::kProgram); }

void WriteFileText(std::string_view text) { Put(text, TextSource::kInputFile); }

void WriteChar(char c) { Put(std::string_view(&c, 1), TextSource::kProgram); }

void WriteChar(char c, std::int32_t width) {
  WriteRightAligned(std::string_view(&c, 1), width, TextSource::kProgram);
}

void WriteInt(std::int32_t value, std::int32_t width) { WriteInt64(value, width); }

void WriteInt64(std::int64_t value, std::int32_t width) {
  char text[24];
  const int length = FormatInt(value, text);
  WriteRightAligned(std::string_view(text, static_cast<std::size_t>(length)), width,
                    TextSource::kProgram);
}

void WritePadded(std::string_view text, std::int32_t width, TextSource source) {
  WriteRightAligned(text, width, source);
}

void EndLine() {
  Put("\r\n", TextSource::kProgram);
  EndStatement();
}

void EndWrite() { EndStatement(); }

void FlushOutput() {
  if (IoError == 0) {
    HandOver();
  }
}

std::string IntText(std::int64_t value) {
  char text[24];
  return std::string(text, static_cast<std::size_t>(FormatInt(value, text)));
}

int WriteAll(int stream, const void* bytes, std::size_t count) {
  const auto* next = static_cast<const unsigned char*>(bytes);
  while (count > 0) {
    std::size_t written = 0;
    const int error = Platform.Write(stream, next, count, &written);
    if (error != 0) {
      return error;
    }
    if (written == 0) {
      // A device that takes nothing and reports no error would make this loop spin.
      return kErrDiskFull;
    }
    next += written;
    count -= written;
  }
  return 0;
}

}  // namespace sondrax
