// The platform layer on POSIX systems (Linux first).
//
// Error numbers: the fatal error text shows the numbers of the program's own table, so errno
// values are translated (ErrnoError, PosixRules.h) and never shown raw.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/PathText.h"
#include "platform/Platform.h"
#include "platform/PosixRules.h"

namespace sondrax {

namespace {

int Fd(FileHandle handle) { return static_cast<int>(handle); }

int PlatformStreamType(int stream, StreamKind* kind) {
  struct stat info;
  if (fstat(stream, &info) != 0) {
    return ErrnoError(errno);
  }
  if (!S_ISCHR(info.st_mode)) {
    *kind = StreamKind::kFileOrPipe;
  } else {
    *kind = isatty(stream) ? StreamKind::kTerminal : StreamKind::kCharDevice;
  }
  return 0;
}

int PlatformWrite(int stream, const void* bytes, std::size_t count, std::size_t* written) {
  *written = 0;
  for (;;) {
    const ssize_t done = write(stream, bytes, count);
    if (done >= 0) {
      *written = static_cast<std::size_t>(done);
      return 0;
    }
    if (errno != EINTR) {
      return ErrnoError(errno);
    }
  }
}

// The locale's character set from this process's environment (LocaleCharset).
TerminalCharset PlatformCharset() {
  return LocaleCharset([](const char* name) {
    const char* value = std::getenv(name);
    return std::string(value != nullptr ? value : "");
  });
}

// A name from the command line is in the locale's character set already, which is what the
// terminal shows.
std::string PlatformUserTextUtf8(std::string_view text) { return std::string(text); }

int PlatformOpenRead(const std::string& path, FileHandle* handle) {
  // O_NONBLOCK keeps a FIFO from waiting for a writer; it has no effect on a regular file,
  // and anything that is not a regular file is refused right after.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    return ErrnoError(errno);
  }
  struct stat info;
  if (fstat(fd, &info) != 0) {
    const int error = ErrnoError(errno);
    close(fd);
    return error;
  }
  if (!S_ISREG(info.st_mode)) {
    close(fd);
    return kErrAccessDenied;
  }
  *handle = fd;
  return 0;
}

int PlatformRead(FileHandle handle, void* buffer, std::size_t count, std::size_t* got) {
  *got = 0;
  for (;;) {
    const ssize_t done = read(Fd(handle), buffer, count);
    if (done >= 0) {
      *got = static_cast<std::size_t>(done);
      return 0;
    }
    if (errno != EINTR) {
      return ErrnoError(errno);
    }
  }
}

int PlatformSeek(FileHandle handle, std::int64_t position) {
  if (position < 0) {
    return kErrNegativeSeek;
  }
  if (lseek(Fd(handle), static_cast<off_t>(position), SEEK_SET) < 0) {
    return ErrnoError(errno);
  }
  return 0;
}

int PlatformFileSize(FileHandle handle, std::int64_t* size) {
  struct stat info;
  if (fstat(Fd(handle), &info) != 0) {
    return ErrnoError(errno);
  }
  *size = static_cast<std::int64_t>(info.st_size);
  return 0;
}

int PlatformClose(FileHandle handle) {
  if (close(Fd(handle)) != 0 && errno != EINTR) {
    return ErrnoError(errno);
  }
  return 0;
}

int PlatformFullPath(const std::string& name, std::string* full_path) {
  if (!name.empty() && name[0] == '/') {
    *full_path = ResolvePosixPath("/", name);
    return 0;
  }
  std::string current(256, '\0');
  while (getcwd(current.data(), current.size()) == nullptr) {
    if (errno != ERANGE) {
      return ErrnoError(errno);
    }
    current.resize(current.size() * 2);
  }
  current.resize(std::strlen(current.c_str()));
  *full_path = ResolvePosixPath(current, name);
  return 0;
}

std::string ProgramName;  // argv[0], kept by PlatformArguments

std::string PlatformModuleName() {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
  if (length > 0) {
    return BaseName(std::string(path, static_cast<std::size_t>(length)));
  }
  // No /proc (another Unix, or a container without it): the name the program was started by.
  return ProgramName.empty() ? "sondrax" : BaseName(ProgramName);
}

std::vector<std::string> PlatformArguments(int argc, char** argv) {
  std::vector<std::string> arguments;
  arguments.reserve(static_cast<std::size_t>(argc > 0 ? argc : 0));
  for (int i = 0; i < argc; ++i) {
    arguments.emplace_back(argv[i] != nullptr ? argv[i] : "");
  }
  if (!arguments.empty()) {
    ProgramName = arguments[0];
  }
  return arguments;
}

void PlatformStartup() { signal(SIGPIPE, SIG_IGN); }

constexpr PlatformCalls kPlatformCalls = {
    PlatformOpenRead,   PlatformRead,      PlatformSeek,    PlatformFileSize,     PlatformClose,
    PlatformStreamType, PlatformWrite,     PlatformCharset, PlatformUserTextUtf8, PlatformFullPath,
    PlatformModuleName, PlatformArguments, PlatformStartup,
};

}  // namespace

PlatformCalls Platform = kPlatformCalls;

const PlatformCalls& PlatformDefaults() { return kPlatformCalls; }

}  // namespace sondrax
