// The input file, the pending I/O error and the fatal error report.
//
// Every file operation and every write statement is followed at once by CheckIo, so the
// first failure ends the run before anything else is read or written. Ending the run means
// throwing RunEnded; RunSondrax catches it, hands the pending output over and returns its
// exit code, so a whole run can also execute inside a test or a fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace sondrax {

/// The one exception type of the program: the run is over, with this exit code. After the
/// fatal error report it names the report's exception class and the error number (0 for a
/// floating-point fault).
struct RunEnded {
  int ExitCode;
  std::int32_t Error = 0;
  std::string_view ErrorClass = {};
};

/// The input file: opened once for reading, with one-byte records, and read through a
/// window. The window holds a stretch of the file's bytes and the position is the program's
/// own, so a walk from header to header costs no system call until it leaves the window.
struct InputFileRec {
  FileHandle Handle = 0;
  bool Open = false;
  std::string Name;
  std::int64_t Position = 0;          // where the next read starts; may lie past the end
  std::int64_t Length = 0;            // the file's length, as last asked of the platform
  std::int64_t WindowStart = 0;       // the file offset of the window's first byte
  std::size_t WindowBytes = 0;        // how many bytes the window holds
  std::size_t FillSize = 0;           // how many bytes the last fill asked for
  std::int64_t PlatformPosition = 0;  // the platform's own position; -1 when unknown
  // Where the window's bytes are kept: a buffer of the owner's, for a reader that runs beside
  // others (another file, another thread), or, while null, the program's one shared window of
  // WindowMax bytes. The open keeps both.
  unsigned char* Buffer = nullptr;
  std::size_t BufferSize = 0;
};

/// The smallest and the largest window. A fill that continues where the last one ended
/// doubles the window, up to the largest; a fill anywhere else starts with the smallest.
inline constexpr std::size_t WindowMin = std::size_t{16} * 1024;
inline constexpr std::size_t WindowMax = std::size_t{1024} * 1024;

/// Opens `name` (the full path) for reading and asks its length. Returns 0, or the
/// platform's error number with the file left closed; IoError is not touched. The record
/// starts afresh but for its window buffer.
int OpenForReading(InputFileRec& file, const std::string& name);
/// Reads exactly `count` bytes (0 <= count <= capacity of dest) from the position on.
/// IoError: the platform's code, or 100 when the file ended first; the bytes that came are
/// in dest either way and the position has moved past them.
void ReadExact(InputFileRec& file, void* dest, std::int32_t count);
/// The position.
std::int64_t CurrentPos(InputFileRec& file);
/// The length, as the platform gave it when the window was last filled (or at the open).
std::int64_t TotalSize(InputFileRec& file);
/// CurrentPos >= TotalSize; at or past the end known so far the length is asked afresh, so
/// a file that grows while it is read is walked on into its new part.
bool AtEnd(InputFileRec& file);
/// Sets the position; nothing is read until the next ReadExact. Past the end is accepted; a
/// negative position sets IoError 131.
void SeekTo(InputFileRec& file, std::int64_t position);
/// How many zero bytes follow from the position on, up to the end of the file; the
/// position does not move. IoError: the platform's code when a read fails.
std::int64_t ZeroRunLength(InputFileRec& file);
/// Closes the file; nothing happens when it is not open. IoError: the platform's code on
/// failure.
void CloseInput(InputFileRec& file);

/// The full path under which `name` is opened and shown: the platform's absolute form of it,
/// or `name` itself where the platform cannot make one.
std::string FullPathOf(const std::string& name);

/// The message that belongs to an I/O error number ("Datei nicht gefunden" ...), in code
/// page 437 bytes; "E/A-Fehler n" for numbers without a text of their own.
std::string IoErrorMessage(std::int32_t code);

/// The eight-digit code location written for a failure in source `file` at `line`: the same
/// statement gives the same digits on every platform and in every build.
std::uint32_t CodeLocation(const char* file, int line);

/// When IoError is set: takes and clears it and makes the fatal error report, locating the
/// failure at the calling statement. Otherwise returns.
void CheckIo(const char* file = __builtin_FILE(), int line = __builtin_LINE());

/// Writes the three lines "Exception <class> in Modul <module> bei <location>." / message /
/// empty line to standard error, after the pending report bytes, and ends the run with exit
/// code 1. Does not return. `error` is the error number behind the failure, if any.
[[noreturn]] void FatalErrorReport(std::string_view class_name, std::string_view message,
                                   std::uint32_t location, std::int32_t error = 0);

/// Ends the run after a message on a bad file: exit code 0, nothing more is written.
[[noreturn]] void StopRun();

}  // namespace sondrax
