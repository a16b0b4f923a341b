#include "FakePlatform.h"

#include <algorithm>
#include <cstring>

#include "Sondrax.h"
#include "platform/PathText.h"
#include "report/InputFile.h"
#include "report/Output.h"

namespace sondrax::test {

namespace {

// The handle of the open memory file.
constexpr FileHandle kMemoryHandle = 4242;

struct FakeState {
  FakeOptions Options;
  RunResult* Result = nullptr;
  bool HasFile = false;  // the file system holds the memory file
  MemoryFile File;
  bool Open = false;
  std::int64_t Position = 0;  // the memory file's platform position
  std::int64_t ReadAttempts = 0;
  std::int64_t Accepted = 0;  // bytes standard output took
};
FakeState Fake;

// One more platform call on the input; false once the call fuse has blown.
bool CountCall() {
  ++Fake.Result->InputCalls;
  if (Fake.Options.CallLimit != 0 && Fake.Result->InputCalls > Fake.Options.CallLimit) {
    Fake.Result->CallLimitReached = true;
    return false;
  }
  return true;
}

// `path` itself or a name inside it.
bool IsAtOrBelow(const std::string& path, const std::string& directory) {
  return directory == "/" || path == directory || path.rfind(directory + "/", 0) == 0;
}

// The directories of the fake's file system: the current directory, the memory file's, and
// those above them.
bool IsDirectory(const std::string& path) {
  return IsAtOrBelow(kFakeDirectory, path) ||
         (Fake.HasFile && path != kMemoryFileName && IsAtOrBelow(kMemoryFileName, path));
}

int FakeOpenRead(const std::string& path, FileHandle* handle) {
  if (!CountCall()) {
    return kErrCallLimit;
  }
  if (!Fake.HasFile || path != kMemoryFileName) {
    // As the platform layers answer: a directory is no file to read.
    return IsDirectory(path) ? kErrAccessDenied : kErrFileNotFound;
  }
  if (Fake.Options.InputOpenError != 0) {
    return Fake.Options.InputOpenError;
  }
  Fake.Open = true;
  Fake.Position = 0;
  *handle = kMemoryHandle;
  return 0;
}

bool IsOpen(FileHandle handle) { return Fake.Open && handle == kMemoryHandle; }

int FakeRead(FileHandle handle, void* buffer, std::size_t count, std::size_t* got) {
  *got = 0;
  if (!CountCall()) {
    return kErrCallLimit;
  }
  if (!IsOpen(handle)) {
    return kErrInvalidHandle;
  }
  if (Fake.ReadAttempts++ == Fake.Options.FailReadAt) {
    return Fake.Options.ReadError;
  }
  const std::int64_t length = Fake.File.Size();
  if (Fake.Position >= length) {
    return 0;
  }
  std::size_t take = static_cast<std::size_t>(
      std::min<std::int64_t>(static_cast<std::int64_t>(count), length - Fake.Position));
  if (Fake.Options.MaxPerRead != 0) {
    take = std::min(take, Fake.Options.MaxPerRead);
  }
  // The stored bytes, the zeros of a sparse middle, then the tail.
  auto* out = static_cast<unsigned char*>(buffer);
  const std::int64_t tail_at = length - static_cast<std::int64_t>(Fake.File.Tail.size());
  for (std::size_t i = 0; i < take;) {
    const std::int64_t at = Fake.Position + static_cast<std::int64_t>(i);
    const auto stored = static_cast<std::int64_t>(Fake.File.Bytes.size());
    std::size_t piece = take - i;
    if (at < stored) {
      piece = std::min<std::size_t>(piece, static_cast<std::size_t>(stored - at));
      std::memcpy(out + i, Fake.File.Bytes.data() + at, piece);
    } else if (at >= tail_at) {
      std::memcpy(out + i, Fake.File.Tail.data() + (at - tail_at), piece);
    } else {
      // The distance is taken in 64 bits: it may be 4 GiB or more, which a 32-bit size_t
      // would wrap.
      piece = static_cast<std::size_t>(
          std::min<std::int64_t>(static_cast<std::int64_t>(piece), tail_at - at));
      std::memset(out + i, 0, piece);
    }
    i += piece;
  }
  Fake.Position += static_cast<std::int64_t>(take);
  *got = take;
  return 0;
}

int FakeSeek(FileHandle handle, std::int64_t position) {
  if (!CountCall()) {
    return kErrCallLimit;
  }
  if (!IsOpen(handle)) {
    return kErrInvalidHandle;
  }
  if (position < 0) {
    return kErrNegativeSeek;
  }
  Fake.Position = position;
  return 0;
}

int FakeFileSize(FileHandle handle, std::int64_t* size) {
  if (!CountCall()) {
    return kErrCallLimit;
  }
  if (!IsOpen(handle)) {
    return kErrInvalidHandle;
  }
  *size = Fake.File.Size();
  return 0;
}

int FakeClose(FileHandle handle) {
  if (!CountCall()) {
    return kErrCallLimit;
  }
  if (!IsOpen(handle)) {
    return kErrInvalidHandle;
  }
  Fake.Open = false;
  return 0;
}

int FakeStreamType(int stream, StreamKind* kind) {
  if (stream == 1) {
    if (Fake.Options.OpenError != 0) {
      return Fake.Options.OpenError;
    }
    *kind = Fake.Options.Kind;
  } else {
    *kind = Fake.Options.ErrKind;
  }
  return 0;
}

int FakeWrite(int stream, const void* bytes, std::size_t count, std::size_t* written) {
  const auto* text = static_cast<const char*>(bytes);
  *written = 0;
  if (stream == 2) {
    Fake.Result->Err.append(text, count);
    *written = count;
    return 0;
  }
  Fake.Result->OutWrites.push_back(count);
  std::size_t take = count;
  if (Fake.Options.MaxPerWrite != 0 && take > Fake.Options.MaxPerWrite) {
    take = Fake.Options.MaxPerWrite;
  }
  if (Fake.Options.FailAfter >= 0) {
    const std::int64_t room = Fake.Options.FailAfter - Fake.Accepted;
    if (room <= 0) {
      return Fake.Options.FailError;
    }
    if (static_cast<std::int64_t>(take) > room) {
      take = static_cast<std::size_t>(room);
    }
  }
  Fake.Result->Out.append(text, take);
  Fake.Accepted += static_cast<std::int64_t>(take);
  *written = take;
  if (Fake.Options.Change && !Fake.Result->Changed &&
      Fake.Result->Out.find(Fake.Options.Trigger) != std::string::npos) {
    Fake.Result->Changed = true;
    Fake.Options.Change(Fake.File);
  }
  return 0;
}

TerminalCharset FakeCharset() { return Fake.Options.Charset; }

// The fake terminal is a UTF-8 terminal whose user texts are UTF-8 too, on every platform.
std::string FakeUserTextUtf8(std::string_view text) { return std::string(text); }

int FakeFullPath(const std::string& name, std::string* full_path) {
  *full_path = ResolvePosixPath(kFakeDirectory, name);
  return 0;
}

std::string FakeModuleName() { return kFakeModuleName; }

std::vector<std::string> FakeArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

void FakeStartup() {}

constexpr PlatformCalls kFakeCalls = {
    FakeOpenRead,   FakeRead,      FakeSeek,    FakeFileSize,     FakeClose,
    FakeStreamType, FakeWrite,     FakeCharset, FakeUserTextUtf8, FakeFullPath,
    FakeModuleName, FakeArguments, FakeStartup,
};

void Install(const FakeOptions& options, RunResult* result, const MemoryFile* file) {
  Fake = FakeState{};
  Fake.Options = options;
  Fake.Result = result;
  Fake.HasFile = file != nullptr;
  if (file != nullptr) {
    Fake.File = *file;
  }
  Platform = kFakeCalls;
}

void Uninstall() {
  Platform = PlatformDefaults();
  Fake = FakeState{};
}

}  // namespace

std::uint64_t SystemCallBudget(std::int64_t file_length) {
  return 16 + 3 * (static_cast<std::uint64_t>(file_length) / WindowMin + 4);
}

RunResult RunFake(const std::vector<std::string>& args, const MemoryFile& file,
                  const FakeOptions& options) {
  RunResult result;
  Install(options, &result, &file);
  result.Code = RunSondrax(args);
  Uninstall();
  return result;
}

RunResult RunOnFile(const MemoryFile& file, const FakeOptions& options) {
  return RunFake({"sondrax", kMemoryFileName}, file, options);
}

RunResult RunOnBytes(const std::string& bytes, const FakeOptions& options) {
  return RunOnFile(MemoryFile{bytes, -1, ""}, options);
}

RunResult WithFake(const MemoryFile& file, const FakeOptions& options,
                   const std::function<void()>& body) {
  RunResult result;
  Install(options, &result, &file);
  body();
  Uninstall();
  return result;
}

RunResult RunCapture(const std::vector<std::string>& args, const FakeOptions& options) {
  RunResult result;
  Install(options, &result, nullptr);
  result.Code = RunSondrax(args);
  Uninstall();
  return result;
}

RunResult RunWithSystemFiles(const std::vector<std::string>& args, const FakeOptions& options) {
  RunResult result;
  Install(options, &result, nullptr);
  PlatformCalls calls = PlatformDefaults();
  calls.StreamType = FakeStreamType;
  calls.Write = FakeWrite;
  calls.Charset = FakeCharset;
  calls.UserTextUtf8 = FakeUserTextUtf8;
  Platform = calls;
  result.Code = RunSondrax(args);
  Uninstall();
  return result;
}

RunResult CaptureWrites(const std::function<void()>& body, const FakeOptions& options) {
  RunResult result;
  Install(options, &result, nullptr);
  ResetOutput();
  IoError = 0;
  body();
  FlushOutput();
  result.Code = IoError;
  IoError = 0;
  Uninstall();
  return result;
}

}  // namespace sondrax::test
