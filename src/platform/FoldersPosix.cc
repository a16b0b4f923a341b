// The folder and new-file calls of sondrax-check on POSIX systems (Linux first).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/Folders.h"
#include "platform/PosixRules.h"

namespace sondrax {

namespace {

thread_local int Detail = 0;

FsError FromErrno(int error) {
  const FsError reason = ErrnoFsError(error);
  if (reason == FsError::kOther) {
    Detail = error;
  }
  return reason;
}

FsError LastErrno() { return FromErrno(errno); }

PathKind KindOfMode(mode_t mode) {
  if (S_ISREG(mode)) {
    return PathKind::kFile;
  }
  if (S_ISDIR(mode)) {
    return PathKind::kFolder;
  }
  if (S_ISFIFO(mode)) {
    return PathKind::kFifo;
  }
  if (S_ISCHR(mode) || S_ISBLK(mode)) {
    return PathKind::kDevice;
  }
  if (S_ISSOCK(mode)) {
    return PathKind::kSocket;
  }
  return PathKind::kOther;
}

FsError PosixKindOf(const std::string& path, PathKind* kind) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    return LastErrno();
  }
  *kind = KindOfMode(info.st_mode);
  return FsError::kNone;
}

// The entry's kind as the folder's listing tells it, without a call for the common kinds; a
// link or an entry of unknown kind is looked at by its path.
void ResolveEntry(const std::string& folder, const dirent& entry, FolderEntry* out) {
  switch (entry.d_type) {
  case DT_REG:
    out->Kind = PathKind::kFile;
    return;
  case DT_DIR:
    out->Kind = PathKind::kFolder;
    return;
  case DT_FIFO:
    out->Kind = PathKind::kFifo;
    return;
  case DT_CHR:
  case DT_BLK:
    out->Kind = PathKind::kDevice;
    return;
  case DT_SOCK:
    out->Kind = PathKind::kSocket;
    return;
  default:
    break;
  }
  const std::string path = folder + "/" + out->Name;
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) {
    out->Error = LastErrno();
    return;
  }
  if (!S_ISLNK(info.st_mode)) {
    out->Kind = KindOfMode(info.st_mode);
    return;
  }
  out->Link = true;
  out->Error = PosixKindOf(path, &out->Kind);
}

FsError PosixListFolder(const std::string& path, std::vector<FolderEntry>* entries) {
  DIR* folder = opendir(path.c_str());
  if (folder == nullptr) {
    return LastErrno();
  }
  FsError result = FsError::kNone;
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(folder);
    if (entry == nullptr) {
      if (errno != 0) {
        result = LastErrno();
      }
      break;
    }
    const std::string name = entry->d_name;
    if (name == "." || name == "..") {
      continue;
    }
    FolderEntry& out = entries->emplace_back();
    out.Name = name;
    ResolveEntry(path, *entry, &out);
  }
  closedir(folder);
  return result;
}

FsError PosixOpenList(const std::string& path, FileHandle* handle) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    return LastErrno();
  }
  *handle = fd;
  return FsError::kNone;
}

FileHandle PosixStdinHandle() { return STDIN_FILENO; }

FsError PosixReadList(FileHandle handle, void* buffer, std::size_t count, std::size_t* got) {
  *got = 0;
  for (;;) {
    const ssize_t done = read(static_cast<int>(handle), buffer, count);
    if (done >= 0) {
      *got = static_cast<std::size_t>(done);
      return FsError::kNone;
    }
    if (errno != EINTR) {
      return LastErrno();
    }
  }
}

void PosixCloseList(FileHandle handle) { close(static_cast<int>(handle)); }

FsError PosixMakeFolders(const std::string& path) {
  // Each folder of the path from the top, so that a missing parent is made first.
  for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
    const std::string part = path.substr(0, end);
    if (!part.empty() && mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
      return LastErrno();
    }
    if (end == std::string::npos) {
      break;
    }
  }
  PathKind kind = PathKind::kOther;
  const FsError error = PosixKindOf(path, &kind);
  if (error != FsError::kNone) {
    return error;
  }
  return kind == PathKind::kFolder ? FsError::kNone : FsError::kNoPath;
}

FsError PosixCreateNew(const std::string& path, FileHandle* handle) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) {
    return LastErrno();
  }
  *handle = fd;
  return FsError::kNone;
}

FsError PosixWriteAll(FileHandle handle, const void* bytes, std::size_t count) {
  const auto* next = static_cast<const unsigned char*>(bytes);
  while (count > 0) {
    const ssize_t done = write(static_cast<int>(handle), next, count);
    if (done < 0) {
      if (errno == EINTR) {
        continue;
      }
      return LastErrno();
    }
    next += done;
    count -= static_cast<std::size_t>(done);
  }
  return FsError::kNone;
}

FsError PosixFinishNew(FileHandle handle) {
  const int fd = static_cast<int>(handle);
  // A full disk or a quota shows on some file systems only when the data is written out.
  const FsError error = fsync(fd) != 0 ? LastErrno() : FsError::kNone;
  if (close(fd) != 0 && errno != EINTR && error == FsError::kNone) {
    return LastErrno();
  }
  return error;
}

FsError PosixMoveNoReplace(const std::string& from, const std::string& to) {
  // A hard link cannot replace an existing name, so the new name appears whole or not at all;
  // the temporary name is removed after.
  if (link(from.c_str(), to.c_str()) == 0) {
    unlink(from.c_str());
    return FsError::kNone;
  }
  const int error = errno;
  if (error != EPERM && error != ENOTSUP && error != EOPNOTSUPP && error != EXDEV) {
    return FromErrno(error);
  }
#ifdef RENAME_NOREPLACE
  // A file system without hard links (FAT, some network ones): Linux's renaming that refuses
  // an existing target does the same.
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return FsError::kNone;
  }
  return LastErrno();
#else
  return FromErrno(error);
#endif
}

FsError PosixRemove(const std::string& path) {
  return unlink(path.c_str()) == 0 ? FsError::kNone : LastErrno();
}

int PosixLastDetail() { return Detail; }

constexpr FolderCalls kFolderCalls = {
    PosixKindOf,        PosixListFolder,
    PosixOpenList,      PosixStdinHandle,
    PosixReadList,      PosixCloseList,
    PosixMakeFolders,   PosixCreateNew,
    PosixWriteAll,      PosixFinishNew,
    PosixMoveNoReplace, PosixRemove,
    PosixLastDetail,    '/',
};

}  // namespace

FolderCalls Folders = kFolderCalls;

const FolderCalls& FolderDefaults() { return kFolderCalls; }

}  // namespace sondrax
