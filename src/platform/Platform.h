// The operating-system seam. Every function here is implemented once per platform
// (PlatformPosix.cc, PlatformWin32.cc, PlatformWeb.cc); CMake compiles exactly one of them.
// The platform layers include no header of the program outside platform/.
//
// The functions never throw and never touch IoError: they return 0 on success or a
// Windows-style error number (2 no such file, 3 no such path, 5 access denied, 131 negative
// seek ...), and the file layer decides what to do with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sondrax {

/// An open input file: a file descriptor on POSIX, a HANDLE on Windows.
using FileHandle = std::intptr_t;

/// Every error number the program names: the numbers of Windows' own family, into which the
/// other platform layers translate their native errors, so that the fatal error text reads the
/// same on every system. Windows' own numbers that the program does not name pass unchanged.
enum PlatformError : int {
  kErrFileNotFound = 2,
  kErrPathNotFound = 3,
  kErrTooManyOpenFiles = 4,
  kErrAccessDenied = 5,
  kErrInvalidHandle = 6,
  kErrNotEnoughMemory = 8,
  kErrShortRead = 100,       // the program's own: a read delivered fewer bytes than asked for
  kErrLowOnSpace = 101,      // has a text in the message table; no platform call returns it
  kErrOutputUnusable = 105,  // the program's own: standard output cannot be used for writing
  kErrInvalidNumber = 106,   // has a text in the message table; no platform call returns it
  kErrBrokenPipe = 109,
  kErrDiskFull = 112,
  kErrNegativeSeek = 131,
  kErrFileTooLarge = 223,
  kErrDeviceIo = 1117,
  // A POSIX error without a number of this family becomes kErrOtherErrno + errno, which no
  // message of the table uses.
  kErrOtherErrno = 1000,
  // The in-memory platform of the tests and the fuzz target (testing/): a run made more calls
  // on its file than the file's length allows.
  kErrCallLimit = 9998,
};

/// What a standard stream is connected to.
enum class StreamKind {
  kFileOrPipe,  // bytes are collected in the report buffer until it is full
  kCharDevice,  // a character device that is not a terminal (/dev/null, a printer ...)
  kTerminal,    // a character device a person is looking at
};

/// What a terminal can display; decides how code page 437 bytes are shown on it.
enum class TerminalCharset {
  kUtf8,   // a UTF-8 terminal, or a Windows console (written as UTF-16 by Write)
  kOther,  // an 8-bit terminal, which may take 0x80 to 0x9F as control codes
};

/// Every call the program makes on the operating system, in one table: its input file, its
/// standard streams, its command line, paths and name. Tests and the fuzzer replace the table
/// with one of their own (a file held in memory, a read that fails, a file that shrinks, a full
/// disk, a closed pipe, a terminal). Every entry returns 0 or an error number unless it says
/// otherwise.
struct PlatformCalls {
  /// Opens an existing file for reading only, sharing read and write with other programs.
  /// Never creates, truncates or writes. Anything but a regular file (directory, FIFO, device)
  /// fails, and opening a FIFO never blocks. Sets *handle.
  int (*OpenRead)(const std::string& path, FileHandle* handle);
  /// One read attempt of up to `count` bytes at the platform's position. Sets *got to the
  /// bytes delivered (0 at the end of the file); fewer than asked is not an error. The file
  /// layer loops; an interrupted call is retried inside.
  int (*Read)(FileHandle handle, void* buffer, std::size_t count, std::size_t* got);
  /// Sets the platform's absolute position. A position past the end is accepted and does not
  /// extend the file; a negative one returns 131.
  int (*Seek)(FileHandle handle, std::int64_t position);
  /// The file's full length in bytes, asked afresh.
  int (*FileSize)(FileHandle handle, std::int64_t* size);
  /// Releases the handle.
  int (*Close)(FileHandle handle);

  /// Sets *kind for standard stream 1 (output) or 2 (error); an error number when the stream
  /// is not usable (closed).
  int (*StreamType)(int stream, StreamKind* kind);
  /// One write attempt to stream 1 or 2. Sets *written (may be fewer than count).
  /// Interrupted calls are retried inside. On Windows a stream that is a console takes UTF-8
  /// text, which it shows whatever the console's code page.
  int (*Write)(int stream, const void* bytes, std::size_t count, std::size_t* written);
  /// The character set a terminal shows: from the locale settings on POSIX; on Windows a
  /// console always takes UTF-8 (see Write).
  TerminalCharset (*Charset)();
  /// A text the user gave the program (the file name) in UTF-8, for a terminal of charset
  /// kUtf8: on POSIX its bytes are the terminal's own already and come back unchanged; on
  /// Windows they are in the ANSI code page and are converted.
  std::string (*UserTextUtf8)(std::string_view text);

  /// The absolute form of `name`: relative names are joined to the current directory, "."
  /// and ".." resolved textually; the file need not exist.
  int (*FullPath)(const std::string& name, std::string* full_path);
  /// The file name of the running program, without its directory.
  std::string (*ModuleName)();
  /// The program's arguments, program name first, by the platform's own rules (POSIX: argv
  /// as given; Windows: the raw command line split). Empty arguments are kept; the caller
  /// counts.
  std::vector<std::string> (*Arguments)(int argc, char** argv);
  /// One-time process set-up before the run: on POSIX a closed pipe must come back as an
  /// error from write() instead of killing the process.
  void (*Startup)();
};

/// The table in force; it starts as the platform's own.
extern PlatformCalls Platform;

/// The platform's own table (defined by the one platform layer that is built), for restoring
/// after a test.
const PlatformCalls& PlatformDefaults();

}  // namespace sondrax
