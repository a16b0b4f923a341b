// The platform layer on Windows (32-bit console program).
//
// Error numbers are Windows' own (GetLastError): 2 no such file, 3 no such path, 5 access
// denied, 32 locked by another program, 112 disk full ... They are the numbers the fatal error
// text was made for, so they pass unchanged. 131 (negative seek) is also what Windows gives.
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/CommandLine.h"
#include "platform/PathText.h"
#include "platform/Platform.h"

namespace sondrax {

namespace {

// A HANDLE is an opaque pointer; the portable layers carry it as an integer.
HANDLE Native(FileHandle handle) {
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast,performance-no-int-to-ptr)
  return reinterpret_cast<HANDLE>(handle);
}

FileHandle Portable(HANDLE handle) {
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast)
  return reinterpret_cast<FileHandle>(handle);
}

// The error of the call that just failed; never 0, so a failure is never taken for success.
int LastError() {
  const DWORD error = GetLastError();
  return error != 0 ? static_cast<int>(error) : kErrInvalidHandle;
}

HANDLE StandardHandle(int stream) {
  return GetStdHandle(stream == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
}

// GetConsoleMode succeeds only on a console's own handles: the null device and other
// character devices fail it.
bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) != 0;
}

// The bytes of a glyph that the last write to a console ended inside, for standard output
// and standard error: the report's buffer is handed over in pieces of 128 bytes, and a piece
// may end between the bytes of one glyph. They are sent with the next write's bytes, so a
// glyph is never shown as two replacement characters. A stream of the program's own text is
// always complete at the end of a statement, so nothing stays here when a run ends.
std::string ConsoleCarry[2];

// Shows UTF-8 text on a console as UTF-16, which needs no code page: the console shows the
// glyphs themselves, whatever its output code page is.
int WriteConsoleText(int stream, HANDLE console, const void* bytes, std::size_t count) {
  std::string& carry = ConsoleCarry[stream == 2 ? 1 : 0];
  std::string text = carry;
  text.append(static_cast<const char*>(bytes), count);
  const std::size_t tail = Utf8IncompleteTail(text);
  carry.assign(text, text.size() - tail, tail);
  text.resize(text.size() - tail);
  if (text.empty()) {
    return 0;
  }
  const int size = static_cast<int>(text.size());
  const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  if (units <= 0) {
    carry.clear();
    return LastError();
  }
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), units);
  const wchar_t* next = wide.data();
  auto left = static_cast<DWORD>(units);
  while (left > 0) {
    DWORD done = 0;
    if (!WriteConsoleW(console, next, left, &done, nullptr)) {
      carry.clear();
      return LastError();
    }
    if (done == 0) {
      carry.clear();
      return kErrDiskFull;  // a console that takes nothing would make this loop spin
    }
    next += done;
    left -= done;
  }
  return 0;
}

// A character device is a console or another device such as the null device. Only a console
// has a person watching: it gets the report's glyphs as text (see PlatformWrite), and bytes
// from the input file are kept from acting on it as control codes. The null device gets the
// bytes as they are, statement by statement.
int PlatformStreamType(int stream, StreamKind* kind) {
  const HANDLE handle = StandardHandle(stream);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
    return kErrInvalidHandle;
  }
  SetLastError(NO_ERROR);
  switch (GetFileType(handle)) {
  case FILE_TYPE_DISK:
  case FILE_TYPE_PIPE:
    *kind = StreamKind::kFileOrPipe;
    return 0;
  case FILE_TYPE_CHAR:
    *kind = IsConsole(handle) ? StreamKind::kTerminal : StreamKind::kCharDevice;
    return 0;
  default:
    return LastError();
  }
}

// A file, a pipe or the null device gets the bytes through WriteFile, unchanged. A console
// shows bytes in its own output code page, which is 437 only on some systems; it gets UTF-8
// text instead (the report's glyphs, translated by the output layer) through WriteConsoleW.
int PlatformWrite(int stream, const void* bytes, std::size_t count, std::size_t* written) {
  *written = 0;
  const HANDLE handle = StandardHandle(stream);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
    return kErrInvalidHandle;
  }
  if (IsConsole(handle)) {
    const int error = WriteConsoleText(stream, handle, bytes, count);
    if (error == 0) {
      *written = count;
    }
    return error;
  }
  DWORD done = 0;
  if (!WriteFile(handle, bytes, static_cast<DWORD>(count), &done, nullptr)) {
    return LastError();
  }
  *written = done;
  return 0;
}

TerminalCharset PlatformCharset() { return TerminalCharset::kUtf8; }

// The command line and the full path are in the ANSI code page.
std::string PlatformUserTextUtf8(std::string_view text) {
  if (text.empty()) {
    return std::string();
  }
  const int size = static_cast<int>(text.size());
  const int units = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  if (units <= 0) {
    return std::string(text);
  }
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), units);
  for (wchar_t& c : wide) {
    // The ANSI code page gives a few bytes the code points of C1 control codes (0x81, 0x8D,
    // 0x8F, 0x90 and 0x9D in code page 1252): shown as '?', as on a terminal of 8-bit
    // characters, so that they cannot act on a console that takes escape sequences.
    if (c >= 0x80 && c < 0xA0) {
      c = L'?';
    }
  }
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
  if (length <= 0) {
    return std::string(text);
  }
  std::string utf8(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, utf8.data(), length, nullptr, nullptr);
  return utf8;
}

// CharNextA with the signature the command line splitter steps with.
const char* NextAnsiChar(const char* at) { return CharNextA(at); }

int PlatformOpenRead(const std::string& path, FileHandle* handle) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return LastError();
  }
  // Device names (NUL, CON, COM1 ...) open like files; reading one would wait for input or
  // end at once. Only a disk file is a WAVE file.
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return kErrAccessDenied;
  }
  *handle = Portable(file);
  return 0;
}

int PlatformRead(FileHandle handle, void* buffer, std::size_t count, std::size_t* got) {
  *got = 0;
  DWORD done = 0;
  if (!ReadFile(Native(handle), buffer, static_cast<DWORD>(count), &done, nullptr)) {
    return LastError();
  }
  *got = done;
  return 0;
}

int PlatformSeek(FileHandle handle, std::int64_t position) {
  if (position < 0) {
    return kErrNegativeSeek;
  }
  // The distance in two halves: positions of 4 GiB and more, and a low half of 0xFFFFFFFF,
  // which alone would look like INVALID_SET_FILE_POINTER.
  LONG high = static_cast<LONG>(static_cast<std::uint64_t>(position) >> 32);
  const auto low = static_cast<LONG>(static_cast<std::uint32_t>(position));
  SetLastError(NO_ERROR);
  if (SetFilePointer(Native(handle), low, &high, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
      GetLastError() != NO_ERROR) {
    return LastError();
  }
  return 0;
}

int PlatformFileSize(FileHandle handle, std::int64_t* size) {
  DWORD high = 0;
  SetLastError(NO_ERROR);
  const DWORD low = GetFileSize(Native(handle), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
    return LastError();
  }
  *size = static_cast<std::int64_t>((static_cast<std::uint64_t>(high) << 32) | low);
  return 0;
}

int PlatformClose(FileHandle handle) {
  if (!CloseHandle(Native(handle))) {
    return LastError();
  }
  return 0;
}

int PlatformFullPath(const std::string& name, std::string* full_path) {
  // A full path of MAX_PATH characters or more is taken whole in a larger buffer, never cut:
  // the open then either finds the file or shows the whole name in its error line.
  std::vector<char> buffer(MAX_PATH);
  for (int attempt = 0; attempt < 4; ++attempt) {
    const DWORD length =
        GetFullPathNameA(name.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0) {
      return LastError();
    }
    if (length < buffer.size()) {
      full_path->assign(buffer.data(), length);
      return 0;
    }
    buffer.resize(length + 1);  // the size asked for includes the terminating zero
  }
  return kErrPathNotFound;
}

std::string PlatformModuleName() {
  std::vector<char> path(MAX_PATH);
  DWORD length = 0;
  for (;;) {
    length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) {
      return "SONDRAX.EXE";
    }
    if (length < path.size() || path.size() >= 32768) {
      break;
    }
    path.resize(path.size() * 2);  // the name was cut to fit
  }
  std::string name(path.data(), length);
  name.erase(0, name.rfind('\\') + 1);  // npos + 1 == 0: no backslash keeps the whole name
  // The name is in the ANSI code page; the rest of the error text is already in the OEM code
  // page (its umlauts are stored as code page 437 bytes), so only the name is converted.
  CharToOemA(name.c_str(), name.data());
  return name;
}

std::vector<std::string> PlatformArguments(int /*argc*/, char** /*argv*/) {
  // The C runtime's argv follows other quoting rules (backslash escapes): the program splits
  // the raw command line itself.
  return SplitCommandLine(GetCommandLineA(), NextAnsiChar);
}

// Nothing to set up: the play time and its digits are integer arithmetic, whatever precision
// the x87 unit runs with, and the division faults are tested for before the division.
void PlatformStartup() {}

constexpr PlatformCalls kPlatformCalls = {
    PlatformOpenRead,   PlatformRead,      PlatformSeek,    PlatformFileSize,     PlatformClose,
    PlatformStreamType, PlatformWrite,     PlatformCharset, PlatformUserTextUtf8, PlatformFullPath,
    PlatformModuleName, PlatformArguments, PlatformStartup,
};

}  // namespace

PlatformCalls Platform = kPlatformCalls;

const PlatformCalls& PlatformDefaults() { return kPlatformCalls; }

}  // namespace sondrax
