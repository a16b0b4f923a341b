// What sondrax-check asks of the operating system beyond reading one file (Platform.h): the
// kind of a path, the names in a folder, a list of names to read from a file or a pipe, and
// a new file to write, move into place and remove. Implemented once per platform
// (FoldersPosix.cc, FoldersWin32.cc); CMake compiles one of them into the second program only.
//
// The functions never throw and return FsError::kNone or the reason of a failure. They never
// open an existing file for writing: a new file is created exclusively, and a move never
// replaces what stands at its target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace sondrax {

/// Why a call failed, in the terms a line of sondrax-check gives the user.
enum class FsError {
  kNone,
  kNotFound,      // no such file or folder
  kNoPath,        // a folder on the path does not exist, or is not a folder
  kAccessDenied,  // permission denied
  kLinkLoop,      // symbolic links that lead in a circle
  kNameTooLong,
  kIsFolder,  // a folder where a file is read (a list)
  kExists,    // the target of a new file or a move exists already
  kDiskFull,  // no space left, or over a quota
  kReadOnly,  // a read-only file system
  kDeviceIo,  // an input/output error of the device
  kOther,     // anything else: Detail holds the system's own number
};

/// What a path is, after following symbolic links.
enum class PathKind { kFile, kFolder, kFifo, kDevice, kSocket, kOther };

/// One name in a folder.
struct FolderEntry {
  std::string Name;
  PathKind Kind = PathKind::kOther;  // after following a link; kOther when it cannot be
  bool Link = false;                 // the name is a symbolic link
  FsError Error = FsError::kNone;    // why a link could not be followed
};

/// The functions of this seam, in one table like PlatformCalls, so that a test can make any of
/// them fail.
struct FolderCalls {
  /// Sets *kind for `path`, following symbolic links.
  FsError (*KindOf)(const std::string& path, PathKind* kind);
  /// Every name in folder `path` but "." and "..", in the order the system gives them.
  FsError (*ListFolder)(const std::string& path, std::vector<FolderEntry>* entries);
  /// Opens a list of names for reading: a file, a FIFO or a device (a pipe blocks until a
  /// writer comes). "-" is never given here: standard input is StdinHandle.
  FsError (*OpenList)(const std::string& path, FileHandle* handle);
  /// Standard input as a list's handle.
  FileHandle (*StdinHandle)();
  /// One read of up to `count` bytes; *got 0 at the end. Interrupted calls are retried inside.
  FsError (*ReadList)(FileHandle handle, void* buffer, std::size_t count, std::size_t* got);
  /// Releases a list's handle (standard input's too, which nothing reads afterwards).
  void (*CloseList)(FileHandle handle);
  /// Makes folder `path` and the folders above it that are missing; kNone when it exists.
  FsError (*MakeFolders)(const std::string& path);
  /// Creates `path`, which must not exist, for writing only.
  FsError (*CreateNew)(const std::string& path, FileHandle* handle);
  /// Writes all of `count` bytes to a file CreateNew opened.
  FsError (*WriteAll)(FileHandle handle, const void* bytes, std::size_t count);
  /// Flushes a new file to the device and closes it; the result tells whether all its bytes
  /// reached the device.
  FsError (*FinishNew)(FileHandle handle);
  /// Moves `from` to `to` in one step; kExists, and nothing moved, when `to` exists.
  FsError (*MoveNoReplace)(const std::string& from, const std::string& to);
  /// Removes the file `path`.
  FsError (*Remove)(const std::string& path);
  /// The system's own number behind the last kOther of the calling thread.
  int (*LastDetail)();
  /// The path separator the system writes between folders: '/' or '\\'.
  char Separator;
};

/// The table in force; it starts as the platform's own.
extern FolderCalls Folders;

/// The platform's own table, for restoring after a test.
const FolderCalls& FolderDefaults();

}  // namespace sondrax
