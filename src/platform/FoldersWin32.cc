// The folder and new-file calls of sondrax-check on Windows. Names are in the ANSI code page,
// as the command line and the input file's name are (PlatformWin32.cc).
#include <windows.h>

#include "platform/Folders.h"

namespace sondrax {

namespace {

thread_local int Detail = 0;

HANDLE Native(FileHandle handle) {
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast,performance-no-int-to-ptr)
  return reinterpret_cast<HANDLE>(handle);
}

FileHandle Portable(HANDLE handle) {
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast)
  return reinterpret_cast<FileHandle>(handle);
}

FsError FromError(DWORD error) {
  switch (error) {
  case ERROR_FILE_NOT_FOUND:
    return FsError::kNotFound;
  case ERROR_PATH_NOT_FOUND:
  case ERROR_DIRECTORY:
    return FsError::kNoPath;
  case ERROR_ACCESS_DENIED:
  case ERROR_SHARING_VIOLATION:
    return FsError::kAccessDenied;
  case ERROR_CANT_RESOLVE_FILENAME:
    return FsError::kLinkLoop;
  case ERROR_FILENAME_EXCED_RANGE:
    return FsError::kNameTooLong;
  case ERROR_FILE_EXISTS:
  case ERROR_ALREADY_EXISTS:
    return FsError::kExists;
  case ERROR_DISK_FULL:
  case ERROR_HANDLE_DISK_FULL:
    return FsError::kDiskFull;
  case ERROR_WRITE_PROTECT:
    return FsError::kReadOnly;
  case ERROR_IO_DEVICE:
  case ERROR_CRC:
    return FsError::kDeviceIo;
  default:
    Detail = static_cast<int>(error);
    return FsError::kOther;
  }
}

FsError LastFsError() { return FromError(GetLastError()); }

// A file's kind by opening it for nothing but its attributes (links are followed by the open).
FsError WinKindOf(const std::string& path, PathKind* kind) {
  const HANDLE file =
      CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return LastFsError();
  }
  BY_HANDLE_FILE_INFORMATION info;
  const bool known = GetFileInformationByHandle(file, &info) != 0;
  const DWORD type = GetFileType(file);
  CloseHandle(file);
  if (!known) {
    *kind = type == FILE_TYPE_PIPE ? PathKind::kFifo : PathKind::kDevice;
  } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    *kind = PathKind::kFolder;
  } else {
    *kind = type == FILE_TYPE_DISK ? PathKind::kFile : PathKind::kDevice;
  }
  return FsError::kNone;
}

FsError WinListFolder(const std::string& path, std::vector<FolderEntry>* entries) {
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? FsError::kNone : FromError(error);
  }
  FsError result = FsError::kNone;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") {
      continue;
    }
    FolderEntry& entry = entries->emplace_back();
    entry.Name = name;
    entry.Link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (entry.Link) {
      // A junction or a symbolic link: where it leads decides.
      entry.Error = WinKindOf(path + "\\" + name, &entry.Kind);
    } else {
      entry.Kind = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::kFolder
                                                                            : PathKind::kFile;
    }
  } while (FindNextFileA(search, &found));
  if (GetLastError() != ERROR_NO_MORE_FILES) {
    result = LastFsError();
  }
  FindClose(search);
  return result;
}

FsError WinOpenList(const std::string& path, FileHandle* handle) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return LastFsError();
  }
  *handle = Portable(file);
  return FsError::kNone;
}

FileHandle WinStdinHandle() { return Portable(GetStdHandle(STD_INPUT_HANDLE)); }

FsError WinReadList(FileHandle handle, void* buffer, std::size_t count, std::size_t* got) {
  DWORD done = 0;
  *got = 0;
  if (!ReadFile(Native(handle), buffer, static_cast<DWORD>(count), &done, nullptr)) {
    // The writer of a pipe closed it: the end of the list.
    return GetLastError() == ERROR_BROKEN_PIPE ? FsError::kNone : LastFsError();
  }
  *got = done;
  return FsError::kNone;
}

void WinCloseList(FileHandle handle) { CloseHandle(Native(handle)); }

FsError WinMakeFolders(const std::string& path) {
  for (std::size_t end = path.find_first_of("\\/", 1);; end = path.find_first_of("\\/", end + 1)) {
    const std::string part = path.substr(0, end);
    // "C:" is a drive, not a folder to make.
    if (!part.empty() && part.back() != ':' && !CreateDirectoryA(part.c_str(), nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
      return LastFsError();
    }
    if (end == std::string::npos) {
      break;
    }
  }
  PathKind kind = PathKind::kOther;
  const FsError error = WinKindOf(path, &kind);
  if (error != FsError::kNone) {
    return error;
  }
  return kind == PathKind::kFolder ? FsError::kNone : FsError::kNoPath;
}

FsError WinCreateNew(const std::string& path, FileHandle* handle) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return LastFsError();
  }
  *handle = Portable(file);
  return FsError::kNone;
}

FsError WinWriteAll(FileHandle handle, const void* bytes, std::size_t count) {
  const auto* next = static_cast<const unsigned char*>(bytes);
  while (count > 0) {
    const DWORD piece = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
    DWORD done = 0;
    if (!WriteFile(Native(handle), next, piece, &done, nullptr)) {
      return LastFsError();
    }
    next += done;
    count -= done;
  }
  return FsError::kNone;
}

FsError WinFinishNew(FileHandle handle) {
  const FsError error = FlushFileBuffers(Native(handle)) ? FsError::kNone : LastFsError();
  if (!CloseHandle(Native(handle)) && error == FsError::kNone) {
    return LastFsError();
  }
  return error;
}

FsError WinMoveNoReplace(const std::string& from, const std::string& to) {
  // Without MOVEFILE_REPLACE_EXISTING an existing target makes the move fail.
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) ? FsError::kNone
                                                                       : LastFsError();
}

FsError WinRemove(const std::string& path) {
  return DeleteFileA(path.c_str()) ? FsError::kNone : LastFsError();
}

int WinLastDetail() { return Detail; }

constexpr FolderCalls kFolderCalls = {
    WinKindOf,        WinListFolder,  WinOpenList,   WinStdinHandle, WinReadList,
    WinCloseList,     WinMakeFolders, WinCreateNew,  WinWriteAll,    WinFinishNew,
    WinMoveNoReplace, WinRemove,      WinLastDetail, '\\',
};

}  // namespace

FolderCalls Folders = kFolderCalls;

const FolderCalls& FolderDefaults() { return kFolderCalls; }

}  // namespace sondrax
