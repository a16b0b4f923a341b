// The one fake of the platform table, for the tests and the fuzz target: an input file held in
// memory (sparse, so a file of any length costs nothing), standard output and standard error
// captured, and every fault a test needs as an option of the same fake: an unusable or failing
// standard output, a terminal, a failing or short read, a file that changes while it is read,
// and two fuses that end a run which does more work than its file's length allows.
//
// No test framework is needed here, so the fuzz target links it as well.
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

  // The input file (when the run's file is the memory file).
  int InputOpenError = 0;        // non-zero: opening the file fails with it
  std::int64_t FailReadAt = -1;  // this read attempt (counting from 0) fails with ReadError
  int ReadError = 1117;
  std::size_t MaxPerRead = 0;  // non-zero: a read attempt delivers at most this many bytes

  // Something done to the memory file once `Trigger` has reached standard output.
  std::string Trigger;
  std::function<void(MemoryFile&)> Change;

  // Fuses (0: none). Past `CallLimit` platform calls on the input file, every further call
  // fails with kFuseError; past `WorkLimit` file operations, the file layer fails each one.
  std::uint64_t CallLimit = 0;
  std::uint64_t WorkLimit = 0;
};

/// The error a blown call fuse gives every call.
inline constexpr int kFuseError = 9998;

/// What a run wrote and returned, and what it cost.
struct RunResult {
  std::string Out;
  std::string Err;
  int Code = -1;
  std::vector<std::size_t> OutWrites;  // the size of each hand-over to standard output
  std::uint64_t InputCalls = 0;        // platform calls on the input file
  std::uint64_t Operations = 0;        // file operations of the file layer
  bool CallLimitReached = false;
  bool WorkLimitReached = false;
  bool Changed = false;  // the Change was made
};

/// The file operations a walk may make: each step of a walk reads a header and moves at least
/// eight bytes on, at a cost of at most a dozen operations; the fixed sections cost a few dozen.
/// Two per byte of the file is a generous ceiling that still ends a walk that does not advance.
inline std::uint64_t WorkBudget(std::int64_t file_length) {
  return 64 + 2 * static_cast<std::uint64_t>(file_length);
}

/// The platform calls a run on a file may make: the open, its length and the close, and for
/// each fill of the window at most three (the length, a seek, a read). Fills never go back, and
/// each covers at least the smallest window unless it reaches the end of the file.
std::uint64_t SystemCallBudget(std::int64_t file_length);

/// The name under which the run's file is the memory file.
inline constexpr const char* kMemoryFileName = "/memory/input.wav";

/// Runs the whole program in-process on `args` (program name first). The file named
/// kMemoryFileName is `file`; any other name is opened by the platform itself (still counted).
RunResult RunFake(const std::vector<std::string>& args, const MemoryFile& file,
                  const FakeOptions& options = {});

/// Runs the report on a memory file with these bytes.
RunResult RunOnBytes(const std::string& bytes, const FakeOptions& options = {});
RunResult RunOnFile(const MemoryFile& file, const FakeOptions& options = {});

/// Runs `body` (calls of the file operations on a file opened as kMemoryFileName) with the
/// fake in place; the result counts its platform calls.
RunResult WithFake(const MemoryFile& file, const FakeOptions& options,
                   const std::function<void()>& body);

/// Runs the whole program in-process on `args`, the file from the platform itself.
RunResult RunCapture(const std::vector<std::string>& args, const FakeOptions& options = {});

/// Runs `body` (calls of the output operations) against a fresh fake standard output, then
/// hands the pending bytes over. Code holds the IoError left at the end (0 for none).
RunResult CaptureWrites(const std::function<void()>& body, const FakeOptions& options = {});

}  // namespace sondrax::test
