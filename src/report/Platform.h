// The operating-system seam. Every function here is implemented once per platform
// (PlatformPosix.cc, PlatformWin32.cc); CMake compiles exactly one of them.
//
// The functions never throw and never touch IoError: they return 0 on success or a
// Windows-style error number (2 no such file, 3 no such path, 5 access denied, 131 negative
// seek ...), and the file layer decides what to do with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sondrax {

/// An open input file: a file descriptor on POSIX, a HANDLE on Windows.
using FileHandle = std::intptr_t;

/// Error numbers the program shares across platforms. The platform layers translate their
/// native errors into these (and a few more of the same family) so that the fatal error text
/// reads the same on every system.
enum PlatformError : int {
  kErrFileNotFound = 2,
  kErrPathNotFound = 3,
  kErrTooManyOpenFiles = 4,
  kErrAccessDenied = 5,
  kErrInvalidHandle = 6,
  kErrNotEnoughMemory = 8,
  kErrBrokenPipe = 109,
  kErrDiskFull = 112,
  kErrNegativeSeek = 131,
};

/// Opens an existing file for reading only, sharing read and write with other programs.
/// Never creates, truncates or writes. Anything but a regular file (directory, FIFO, device)
/// fails, and opening a FIFO never blocks. Returns 0 and sets *handle, or an error number.
int PlatformOpenRead(const std::string& path, FileHandle* handle);

/// One read of up to `count` bytes (count >= 0). Sets *got to the bytes delivered; a short
/// count is not an error here. Returns 0 or an error number.
int PlatformRead(FileHandle handle, void* buffer, std::int32_t count, std::int32_t* got);

/// Sets the absolute position. A position past the end is accepted and does not extend the
/// file; a negative one returns 131.
int PlatformSeek(FileHandle handle, std::int32_t position);

/// The current position, as the low 32 bits of the platform's position.
int PlatformTell(FileHandle handle, std::int32_t* position);

/// The file's full length in bytes, asked afresh.
int PlatformFileSize(FileHandle handle, std::int64_t* size);

/// Releases the handle.
int PlatformClose(FileHandle handle);

/// The absolute form of `name`: relative names are joined to the current directory, "." and
/// ".." resolved textually; the file need not exist. Returns 0 or an error number.
int PlatformFullPath(const std::string& name, std::string* full_path);

/// The file name of the running program, without its directory.
std::string PlatformModuleName();

/// The program's arguments, program name first, by the platform's own rules (POSIX: argv as
/// given; Windows: the raw command line split). Empty arguments are kept; the caller counts.
std::vector<std::string> PlatformArguments(int argc, char** argv);

/// One-time process set-up before the run: on POSIX a closed pipe must come back as an
/// error from write() instead of killing the process.
void PlatformStartup();

// ---- Standard output and standard error -------------------------------------------------

/// What a standard stream is connected to.
enum class StreamKind {
  kFileOrPipe,   // bytes are collected in the report buffer until it is full
  kCharDevice,   // a character device that is not a terminal (/dev/null, a printer ...)
  kTerminal,     // a character device a person is looking at
};

/// What a terminal can display; decides how code page 437 bytes are shown on it.
enum class TerminalCharset {
  kUtf8,
  kOther,
  kCp437,  // a console that shows code page 437 bytes itself (Windows)
};

/// The few system calls the output layer makes, in a table so that tests can replace them to
/// simulate a full disk, a closed pipe or a terminal. `stream` is 1 (standard output) or 2
/// (standard error).
struct OutputSystemCalls {
  /// Returns 0 and sets *kind, or an error number when the stream is not usable (closed).
  int (*StreamType)(int stream, StreamKind* kind);
  /// One write attempt. Sets *written (may be fewer than count). Returns 0 or an error number.
  /// Interrupted calls are retried inside.
  int (*Write)(int stream, const void* bytes, std::size_t count, std::size_t* written);
  /// The character set a terminal shows, from the locale settings.
  TerminalCharset (*Charset)();
};

/// The table in force; starts with the platform's own calls.
extern OutputSystemCalls OutputCalls;

/// The platform's own table, for restoring after a test.
const OutputSystemCalls& PlatformOutputCalls();

}  // namespace sondrax
