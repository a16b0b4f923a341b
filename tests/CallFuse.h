// Platform calls on the input file, counted through a replaced table, with a fuse: once a run
// has made more calls than its budget, every further call fails, so a walk that would go round
// for ever ends at once with a fatal error ("E/A-Fehler 9999.") instead of hanging. Shared by
// the termination tests and the fuzz target; header-only, so the fuzz target needs no test
// framework.
#pragma once

#include <cstddef>
#include <cstdint>

#include "report/InputFile.h"

namespace sondrax::test {

struct CallFuse {
  std::uint64_t Calls = 0;
  std::uint64_t Budget = 0;
  bool Exceeded = false;
};

/// The count of the run in progress.
inline CallFuse InputFuse;

/// The error every call returns once the fuse has blown.
inline constexpr int kFuseError = 9999;

/// Every step of a walk reads a header and moves the position at least 8 bytes on, at a cost of
/// at most 12 calls; the fixed sections cost a few dozen. Two calls per byte of the file is a
/// generous ceiling that still fails at once for a walk that does not advance.
inline std::uint64_t WorkBudget(std::size_t file_length) {
  return 64 + 2 * static_cast<std::uint64_t>(file_length);
}

namespace fuse_detail {

inline int Blow() {
  if (++InputFuse.Calls > InputFuse.Budget) {
    InputFuse.Exceeded = true;
    return kFuseError;
  }
  return 0;
}

inline int Read(FileHandle handle, void* buffer, std::int32_t count, std::int32_t* got) {
  *got = 0;
  const int blown = Blow();
  return blown != 0 ? blown : PlatformInputCalls().Read(handle, buffer, count, got);
}
inline int Seek(FileHandle handle, std::int32_t position) {
  const int blown = Blow();
  return blown != 0 ? blown : PlatformInputCalls().Seek(handle, position);
}
inline int Tell(FileHandle handle, std::int32_t* position) {
  const int blown = Blow();
  return blown != 0 ? blown : PlatformInputCalls().Tell(handle, position);
}
inline int FileSize(FileHandle handle, std::int64_t* size) {
  const int blown = Blow();
  return blown != 0 ? blown : PlatformInputCalls().FileSize(handle, size);
}

}  // namespace fuse_detail

/// Starts a count with this budget and routes the file operations through it.
inline void ArmInputFuse(std::uint64_t budget) {
  InputFuse = CallFuse{0, budget, false};
  InputCalls = InputSystemCalls{fuse_detail::Read, fuse_detail::Seek, fuse_detail::Tell,
                                fuse_detail::FileSize};
}

/// Routes the file operations to the platform again.
inline void DisarmInputFuse() { InputCalls = PlatformInputCalls(); }

}  // namespace sondrax::test
