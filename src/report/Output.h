// ReportOutput: the report's one buffered byte writer on standard output, with the line
// layout and every number rendering of the report.
//
// The report is code page 437 bytes with CR LF line ends. Every write appends to a 128-byte
// buffer; to a file or pipe the buffer is handed over when full, to a character device also
// at the end of every statement (EndWrite / EndLine). A failed hand-over stores its error
// number in IoError; writes after that are skipped until the caller's CheckIo ends the run.
//
// On a terminal the bytes are shown as a code page 437 console would show them: translated
// to UTF-8 where the locale says so, and bytes that come from the input file never reach the
// terminal as control codes. To a file, a pipe or /dev/null the bytes are written unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace sondrax {

/// Field width of every report value: values start in column 23 and end in column 32.
inline constexpr std::int32_t ValueWidth = 10;
/// "√": an expected chunk or id is present.
inline constexpr char FoundMark = '\xFB';
/// "÷": an optional chunk is absent.
inline constexpr char AbsentMark = '\xF6';
/// Capacity of the output buffer.
inline constexpr int OutputBufferSize = 128;

/// Pending error number, 0 for none. Set by the failing write or file operation, taken by
/// CheckIo (report/InputFile.h). Codes of the program's own: 100 a short read, 105 standard
/// output unusable. Each thread has its own, so that readers on several threads do not mix
/// their errors.
extern thread_local std::int32_t IoError;

struct ReportOutputRec {
  bool Open = false;
  bool Console = false;   // character device: hand over at every statement's end
  bool Terminal = false;  // a person is watching: translate for display
  TerminalCharset Charset = TerminalCharset::kOther;
  unsigned char Buffer[OutputBufferSize] = {};
  int Pending = 0;
};

extern ReportOutputRec ReportOutput;

/// Where the bytes of a text come from. On a terminal, the program's own bytes are shown as
/// code page 437; control bytes of the input file or of the user's file name are shown as
/// glyphs, never obeyed (0x80 to 0x9F too, on an 8-bit terminal that may take them as control
/// codes); the file name's other bytes are already in the terminal's own character set and pass
/// unchanged.
enum class TextSource { kProgram, kInputFile, kUserText };

/// Forgets the output state of an earlier run (pending bytes are dropped).
void ResetOutput();

/// Writes the text's bytes; the line stays open.
void WriteText(std::string_view text);
/// Writes bytes taken from the input file (INFO texts, ids, the list type).
void WriteFileText(std::string_view text);
/// Writes one byte.
void WriteChar(char c);
/// Writes width - 1 blanks (none when width <= 1), then the byte.
void WriteChar(char c, std::int32_t width);
/// Writes the decimal value right-aligned in width (never cut).
void WriteInt(std::int32_t value, std::int32_t width);
void WriteInt64(std::int64_t value, std::int32_t width);
/// Writes width - length blanks (when positive), then the text.
void WritePadded(std::string_view text, std::int32_t width,
                 TextSource source = TextSource::kProgram);
/// Writes CR LF; on a character device hands the pending bytes over.
void EndLine();
/// Ends a statement that leaves the line open; on a character device hands bytes over.
void EndWrite();
/// Hands the pending bytes over, whatever the device.
void FlushOutput();

/// Hands `count` bytes to stream 1 or 2, continuing after short writes. Returns 0 or the
/// error number of the failing write.
int WriteAll(int stream, const void* bytes, std::size_t count);

/// The decimal text of value (a minus sign for negatives, no grouping).
std::string IntText(std::int64_t value);

/// The fixed-point text of x with `decimals` decimals: the magnitude is reduced to about 18
/// significant digits in 64-bit-significand arithmetic, then rounded on the next decimal
/// digit alone (a decimal tie rounds away from zero); "-" whenever the sign bit is set.
/// Only finite values are handed to it.
std::string FixedText(double x, std::int32_t decimals);

}  // namespace sondrax
