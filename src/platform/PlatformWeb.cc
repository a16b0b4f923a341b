// The platform layer of the WebAssembly build, which runs under node, in a web page and in its
// worker.
//
// There is no file system: the input file and the standard streams belong to the JavaScript
// host that loaded the module (npm/run.js), and every call here is one call of a function the
// host sets on the module object:
//   openInput(name)             -> an id (an integer >= 0) for the file of that name, given as
//                                  hostPath (below) gives it
//   inputSize(id)               -> its length in bytes
//   readInput(id, start, count) -> a Uint8Array of up to `count` bytes from `start` on, or a
//                                  promise of one
//   closeInput(id)
//   writeOutput(stream, bytes)  -> takes a copy of the bytes for stream 1 or 2
// and, where the host has them (a command line under node), more:
//   streamKind(stream)          -> 0 a file or a pipe, 1 another character device, 2 a terminal
//   environment(name)           -> the value of an environment variable, "" when unset
//   fullPath(name)              -> the full path of the file of that name, as text or bytes
// without which both streams are files or pipes, as the page collects them, and a file's name
// is all there is of its path.
// A read answered with a promise suspends the run until the promise settles (the module is
// built with emscripten's Asyncify), so a browser's Blob, which only gives its bytes
// asynchronously, is read by the slices the program asks for and nothing more, whatever the
// file's length; a read answered at once costs no suspension. A host reports a failure by
// throwing or rejecting: a system's error as node gives it (its name in `code`) or a
// DOMException, which HostError makes the program's error number. Positions are held here, so
// the host's reads need no state; they travel as doubles, exact up to 2^53.
#include "platform/PlatformWeb.h"

#include <emscripten.h>

#include <map>

#include "platform/Platform.h"
#include "platform/PosixRules.h"

namespace sondrax {

namespace {

// A path or a name between the program and the host is its bytes, which on a POSIX system
// need not be UTF-8 (a file named in Latin-1). hostPath(pointer) gives the host the path at
// `pointer` as text when it is UTF-8, else as a Uint8Array of its bytes, which node takes as a
// path too; hostText(value, buffer, size) copies a host's text or bytes into `buffer` when they
// fit `size` bytes with their NUL, and returns the bytes they need with the NUL.
EM_JS(void, DefineHostPaths, (), {
  const utf8 = new TextDecoder("utf-8", {fatal : true});
  Module["hostPath"] = function(pointer) {
    let end = pointer;
    while (HEAPU8[end] != 0) end += 1;
    const bytes = HEAPU8.slice(pointer, end);
    try {
      return utf8.decode(bytes);
    } catch (error) {
      return bytes;
    }
  };
  Module["hostText"] = function(value, buffer, size) {
    if (typeof value == "string") {
      const needed = lengthBytesUTF8(value) + 1;
      if (needed <= size)
        stringToUTF8(value, buffer, size);
      return needed;
    }
    if (value.length + 1 <= size) {
      HEAPU8.set(value, buffer);
      HEAPU8[buffer + value.length] = 0;
    }
    return value.length + 1;
  };
});

// Set when the module starts, before any run.
const bool kHostPathsDefined = (DefineHostPaths(), true);

// Each function returns -1 when the host threw, and keeps what it threw in Module["hostError"]
// for HostError.
EM_JS(int, HostOpen, (const char* name), {
  try {
    return Module["openInput"](Module["hostPath"](name));
  } catch (error) {
    Module["hostError"] = error;
    return -1;
  }
});

EM_JS(double, HostSize, (int id), {
  try {
    return Module["inputSize"](id);
  } catch (error) {
    Module["hostError"] = error;
    return -1;
  }
});

// clang-format off
// The one call that may suspend the run: emscripten's handleSleep returns at once when the
// answer is there, and otherwise unwinds the module's stack and rewinds it when it comes.
EM_JS(int, HostRead, (int id, double start, void* buffer, int count), {
  return Asyncify.handleSleep((wakeUp) => {
    const failed = (error) => {
      Module["hostError"] = error;
      wakeUp(-1);
    };
    const got = (bytes) => {
      let length;
      try {
        length = Math.min(bytes.length, count);
        HEAPU8.set(bytes.subarray(0, length), buffer);
      } catch (error) {
        failed(error);  // not bytes: a broken host
        return;
      }
      wakeUp(length);
    };
    let answer;
    try {
      answer = Module["readInput"](id, start, count);
    } catch (error) {
      failed(error);
      return;
    }
    if (answer instanceof Promise) {
      answer.then(got, failed);
    } else {
      got(answer);
    }
  });
});

// clang-format on

EM_JS(int, HostClose, (int id), {
  try {
    Module["closeInput"](id);
    return 0;
  } catch (error) {
    return -1;
  }
});

EM_JS(int, HostWrite, (int stream, const void* bytes, int count), {
  try {
    Module["writeOutput"](stream, HEAPU8.slice(bytes, bytes + count));
    return count;
  } catch (error) {
    Module["hostError"] = error;
    return -1;
  }
});

EM_JS(int, HostStreamKind, (int stream), {
  try {
    return Module["streamKind"] ? Module["streamKind"](stream) : 0;
  } catch (error) {
    Module["hostError"] = error;
    return -1;
  }
});

// The full path into `buffer` when it fits `size` bytes with its NUL; returns the bytes it
// needs with the NUL, or 0 when the host has no paths.
EM_JS(int, HostFullPath, (const char* name, char* buffer, int size), {
  if (!Module["fullPath"])
    return 0;
  return Module["hostText"](Module["fullPath"](Module["hostPath"](name)), buffer, size);
});

// The value of the host's environment variable `name` into `buffer` when it fits `size` bytes
// with its NUL; returns the bytes it needs with the NUL, or 0 when the host has no such
// variable or it is empty.
EM_JS(int, HostVariable, (const char* name, char* buffer, int size), {
  const value = Module["environment"] ? Module["environment"](UTF8ToString(name)) : "";
  if (typeof value != "string" || value == "")
    return 0;
  return Module["hostText"](value, buffer, size);
});

EM_JS(int, HostErrorIs, (const char* name), {
  const error = Module["hostError"];
  return error && error.name == UTF8ToString(name);
});

// The name of the system's error behind the host's last exception ("ENOENT", as node gives it
// in `code`) into `out` (at most `size` bytes); 0 when it has none.
EM_JS(int, HostErrorCodeInto, (char* out, int size), {
  const error = Module["hostError"];
  if (!error || typeof error.code != "string" || lengthBytesUTF8(error.code) >= size)
    return 0;
  stringToUTF8(error.code, out, size);
  return 1;
});

// The system's errno value behind the host's last exception (node gives it negated); 0 when
// it has none.
EM_JS(int, HostErrnoValue, (), {
  const error = Module["hostError"];
  return error && Number.isInteger(error.errno) ? Math.abs(error.errno) : 0;
});

std::string HostEnvironment(const char* name) {
  std::string value;
  HostText([&](char* buffer, int size) { return HostVariable(name, buffer, size); }, &value);
  return value;
}

// The host's last exception as the program's error number. A system's error (node's, with its
// name and errno) becomes what the POSIX layer makes of the same error. Otherwise: a file the
// host does not know is not found, one the browser may not read is access denied, and a file
// changed or removed on disk since the user chose it (NotReadableError) is a device I/O error;
// anything else (the host missing a function, a broken host) is a device I/O error too.
int HostError() {
  const std::string code = HostErrorCode();
  if (!code.empty()) {
    const int named = ErrnoNamed(code);
    const int error = named != 0 ? named : HostErrorErrno();
    if (error > 0) {
      return ErrnoError(error);
    }
  }
  if (HostErrorIs("NotFoundError")) {
    return kErrFileNotFound;
  }
  if (HostErrorIs("SecurityError")) {
    return kErrAccessDenied;
  }
  return kErrDeviceIo;
}

// Whether the streams reach the host as a terminal shows them (PlatformWebShownOnTerminal).
bool ShownOnTerminal = false;

// The position of each open input, by the host's id.
std::map<FileHandle, std::int64_t> Positions;

constexpr std::size_t kLargestRead = 1 << 30;

int PlatformOpenRead(const std::string& path, FileHandle* handle) {
  const int id = HostOpen(path.c_str());
  if (id < 0) {
    return HostError();
  }
  Positions[id] = 0;
  *handle = id;
  return 0;
}

int PlatformRead(FileHandle handle, void* buffer, std::size_t count, std::size_t* got) {
  *got = 0;
  const auto open = Positions.find(handle);
  if (open == Positions.end()) {
    return kErrInvalidHandle;
  }
  if (count > kLargestRead) {
    count = kLargestRead;  // a read may deliver fewer bytes than asked; the caller loops
  }
  const int done = HostRead(static_cast<int>(handle), static_cast<double>(open->second), buffer,
                            static_cast<int>(count));
  if (done < 0) {
    return HostError();
  }
  *got = static_cast<std::size_t>(done);
  open->second += done;
  return 0;
}

int PlatformSeek(FileHandle handle, std::int64_t position) {
  const auto open = Positions.find(handle);
  if (open == Positions.end()) {
    return kErrInvalidHandle;
  }
  if (position < 0) {
    return kErrNegativeSeek;
  }
  open->second = position;
  return 0;
}

int PlatformFileSize(FileHandle handle, std::int64_t* size) {
  if (Positions.count(handle) == 0) {
    return kErrInvalidHandle;
  }
  const double length = HostSize(static_cast<int>(handle));
  if (length < 0) {
    return HostError();
  }
  *size = static_cast<std::int64_t>(length);
  return 0;
}

int PlatformClose(FileHandle handle) {
  if (Positions.erase(handle) == 0) {
    return kErrInvalidHandle;
  }
  return HostClose(static_cast<int>(handle)) < 0 ? kErrDeviceIo : 0;
}

// The page knows a file by its name alone: a browser never tells where on disk a file lies. A
// host with a file system (node) knows its full path.
int PlatformFullPath(const std::string& name, std::string* full_path) {
  if (!HostText([&](char* buffer, int size) { return HostFullPath(name.c_str(), buffer, size); },
                full_path)) {
    *full_path = name;
  }
  return 0;
}

std::string PlatformModuleName() { return "sondrax"; }

std::vector<std::string> PlatformArguments(int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) {
    arguments.emplace_back(argv[i] != nullptr ? argv[i] : "");
  }
  return arguments;
}

void PlatformStartup() {}

// The page collects both streams as bytes, as a file or a pipe would: it can save the code
// page 437 bytes unchanged. Shown on a terminal, they are what a UTF-8 terminal receives: the
// glyphs a console shows, and bytes from the file never acting as control codes. A host on a
// command line says what each stream is, as the program asks the system.
int PlatformStreamType(int stream, StreamKind* kind) {
  if (stream != 1 && stream != 2) {
    return kErrInvalidHandle;
  }
  if (ShownOnTerminal) {
    *kind = StreamKind::kTerminal;
    return 0;
  }
  const int host_kind = HostStreamKind(stream);
  if (host_kind < 0) {
    return HostError();
  }
  *kind = host_kind == 2   ? StreamKind::kTerminal
          : host_kind == 1 ? StreamKind::kCharDevice
                           : StreamKind::kFileOrPipe;
  return 0;
}

int PlatformWrite(int stream, const void* bytes, std::size_t count, std::size_t* written) {
  *written = 0;
  if (stream != 1 && stream != 2) {
    return kErrInvalidHandle;
  }
  if (count > kLargestRead) {
    count = kLargestRead;
  }
  const int done = HostWrite(stream, bytes, static_cast<int>(count));
  if (done < 0) {
    return HostError();
  }
  *written = static_cast<std::size_t>(done);
  return 0;
}

// The locale's character set from the host's environment, as the POSIX layer decides it.
TerminalCharset PlatformCharset() {
  return ShownOnTerminal ? TerminalCharset::kUtf8 : LocaleCharset(HostEnvironment);
}

// The page hands the file's name over as UTF-8, which is what a terminal of kUtf8 takes.
std::string PlatformUserTextUtf8(std::string_view text) { return std::string(text); }

constexpr PlatformCalls kPlatformCalls = {
    PlatformOpenRead,   PlatformRead,      PlatformSeek,    PlatformFileSize,     PlatformClose,
    PlatformStreamType, PlatformWrite,     PlatformCharset, PlatformUserTextUtf8, PlatformFullPath,
    PlatformModuleName, PlatformArguments, PlatformStartup,
};

}  // namespace

PlatformCalls Platform = kPlatformCalls;

void PlatformWebShownOnTerminal(bool shown) { ShownOnTerminal = shown; }

bool HostText(const std::function<int(char*, int)>& copy, std::string* text) {
  // Most texts (names, paths) fit the first try.
  text->assign(255, '\0');
  int needed = copy(text->data(), static_cast<int>(text->size()) + 1);
  if (needed > static_cast<int>(text->size()) + 1) {
    text->assign(static_cast<std::size_t>(needed) - 1, '\0');
    needed = copy(text->data(), needed);
  }
  text->resize(needed > 0 ? static_cast<std::size_t>(needed) - 1 : 0);
  return needed > 0;
}

std::string HostErrorCode() {
  char code[32] = {};
  return HostErrorCodeInto(code, sizeof code) != 0 ? code : "";
}

int HostErrorErrno() { return HostErrnoValue(); }

const PlatformCalls& PlatformDefaults() { return kPlatformCalls; }

}  // namespace sondrax
