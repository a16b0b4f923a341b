// The input file, the pending I/O error and the fatal error report.
//
// Every file operation and every write statement is followed at once by CheckIo, so the
// first failure ends the run before anything else is read or written. Ending the run means
// throwing RunEnded; RunSondrax catches it, hands the pending output over and returns its
// exit code, so a whole run can also execute inside a test or a fuzzer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "report/Platform.h"

namespace sondrax {

/// The one exception type of the program: the run is over, with this exit code.
struct RunEnded {
  int ExitCode;
};

/// The input file: opened once for reading, with one-byte records.
struct InputFileRec {
  FileHandle Handle = 0;
  bool Open = false;
  std::string Name;
};

/// The platform calls the file operations make, in a table so that tests can count them
/// (every walk of the report must end within a number of calls its file's length bounds) or
/// make them fail. Starts with the platform's own functions.
struct InputSystemCalls {
  int (*Read)(FileHandle handle, void* buffer, std::int32_t count, std::int32_t* got);
  int (*Seek)(FileHandle handle, std::int32_t position);
  int (*Tell)(FileHandle handle, std::int32_t* position);
  int (*FileSize)(FileHandle handle, std::int64_t* size);
};
extern InputSystemCalls InputCalls;
/// The table of the platform's own functions, for restoring after a test.
const InputSystemCalls& PlatformInputCalls();

/// Pending error number, 0 for none. Set by the failing file operation or write, taken by
/// CheckIo. Codes of the program's own: 100 a short read, 105 standard output unusable.
extern std::int32_t IoError;

/// Opens `name` (the full path) for reading. Returns 0, or the platform's error number with
/// the file left closed; IoError is not touched.
int OpenForReading(InputFileRec& file, const std::string& name);
/// Reads exactly `count` bytes (0 <= count <= capacity of dest). IoError: the platform's code,
/// or 100 when the file ended first; the bytes that came are in dest either way.
void ReadExact(InputFileRec& file, void* dest, std::int32_t count);
/// The position; on failure IoError is set and the result is -1.
std::int32_t CurrentPos(InputFileRec& file);
/// The length, asked afresh (its low 32 bits as a signed number); -1 and IoError on failure.
std::int32_t TotalSize(InputFileRec& file);
/// CurrentPos >= TotalSize, as signed numbers.
bool AtEnd(InputFileRec& file);
/// Sets the absolute position. Past the end is accepted; a negative position sets IoError 131.
void SeekTo(InputFileRec& file, std::int32_t position);
/// Closes the file. IoError: the platform's code on failure.
void CloseInput(InputFileRec& file);

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
/// code 1. Does not return.
[[noreturn]] void FatalErrorReport(std::string_view class_name, std::string_view message,
                                   std::uint32_t location);

/// Ends the run after a message on a bad file: exit code 0, nothing more is written.
[[noreturn]] void StopRun();

}  // namespace sondrax
