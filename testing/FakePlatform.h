// The in-memory platform of the tests and the fuzz target: a complete table of platform calls
// with nothing of the system behind it. Its file system is a current directory of its own and
// the one file a run is given, held in memory (sparse, so a file of any length costs nothing);
// standard output and standard error are captured. Every fault a test needs is an option of the
// same fake: an unusable or failing standard output, a terminal, a failing or short read, a
// file that changes while it is read, and a fuse on the calls a run makes on its file.
//
// No test framework is needed here: the tests and the fuzz target both link it. The program
// never does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace sondrax::test {

/// A file in memory: its first bytes, then zero bytes up to `Length` (-1: no more than them),
/// the last of which are `Tail` when it is given (the samples of a sparse file, then a chunk).
struct MemoryFile {
  std::string Bytes;
  std::int64_t Length = -1;
  std::string Tail;
  std::int64_t Size() const {
    return Length >= 0 ? Length : static_cast<std::int64_t>(Bytes.size() + Tail.size());
  }
};

/// How the fake behaves.
struct FakeOptions {
  // Standard output and standard error.
  StreamKind Kind = StreamKind::kFileOrPipe;
  TerminalCharset Charset = TerminalCharset::kUtf8;
  int OpenError = 0;            // non-zero: standard output is unusable (closed)
  std::int64_t FailAfter = -1;  // standard output takes this many bytes, then fails
  int FailError = kErrDiskFull;
  std::size_t MaxPerWrite = 0;  // non-zero: a write takes at most this many bytes
  StreamKind ErrKind = StreamKind::kFileOrPipe;

  // The input file (when the run has one).
  int InputOpenError = 0;        // non-zero: opening the file fails with it
  std::int64_t FailReadAt = -1;  // this read attempt (counting from 0) fails with ReadError
  int ReadError = kErrDeviceIo;
  std::size_t MaxPerRead = 0;  // non-zero: a read attempt delivers at most this many bytes

  // Something done to the memory file once `Trigger` has reached standard output.
  std::string Trigger;
  std::function<void(MemoryFile&)> Change;

  // The fuse (0: none): past `CallLimit` platform calls on the input file, every further call
  // fails with kErrCallLimit, so that a run which does more work than its file's length allows
  // ends at once.
  std::uint64_t CallLimit = 0;
};

/// What a run wrote and returned, and what it cost.
struct RunResult {
  std::string Out;
  std::string Err;
  int Code = -1;
  std::vector<std::size_t> OutWrites;  // the size of each hand-over to standard output
  std::uint64_t InputCalls = 0;        // platform calls on the input file
  bool CallLimitReached = false;
  bool Changed = false;  // the Change was made
};

/// The platform calls a run on a file may make: the open, its length and the close, and for
/// each fill of the window at most three (the length, a seek, a read). Fills never go back, and
/// each covers at least the smallest window unless it reaches the end of the file.
std::uint64_t SystemCallBudget(std::int64_t file_length);

/// The fake's current directory, the name under which a run's file lies in it, and the name the
/// fake gives the running program.
inline constexpr const char* kFakeDirectory = "/memory";
inline constexpr const char* kMemoryFileName = "/memory/input.wav";
inline constexpr const char* kFakeModuleName = "sondrax";

/// Runs the whole program in-process on `args` (program name first) with `file` as the one
/// file of the fake's file system, named kMemoryFileName. Any other name is a missing file, or
/// a directory where it names one above the file or the current directory.
RunResult RunFake(const std::vector<std::string>& args, const MemoryFile& file,
                  const FakeOptions& options = {});

/// Runs the report on a memory file with these bytes.
RunResult RunOnBytes(const std::string& bytes, const FakeOptions& options = {});
RunResult RunOnFile(const MemoryFile& file, const FakeOptions& options = {});

/// Runs `body` (calls of the file operations on a file opened as kMemoryFileName) with the
/// fake in place; the result counts its platform calls.
RunResult WithFake(const MemoryFile& file, const FakeOptions& options,
                   const std::function<void()>& body);

/// Runs the whole program in-process on `args` with a file system that holds no file.
RunResult RunCapture(const std::vector<std::string>& args, const FakeOptions& options = {});

/// Runs the whole program in-process on `args` with the system's own files, paths and program
/// name, and the fake's standard streams: for the tests of a platform layer's file access (a
/// file held open or locked by another program, one removed while it is read).
RunResult RunWithSystemFiles(const std::vector<std::string>& args, const FakeOptions& options = {});

/// Runs `body` (calls of the output operations) against a fresh fake standard output, then
/// hands the pending bytes over. Code holds the IoError left at the end (0 for none).
RunResult CaptureWrites(const std::function<void()>& body, const FakeOptions& options = {});

}  // namespace sondrax::test
