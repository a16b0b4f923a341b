// The folder and new-file calls of sondrax-check in the WebAssembly build, run by a JavaScript
// host with a file system (node). As in PlatformWeb.cc, each call is one call of a function the
// host sets on the module object; paths travel as PlatformWeb.cc's hostPath gives them (text,
// or the bytes of a name that is not UTF-8), and handles as integers >= 0:
//   kindOf(path)              -> the kind, following symbolic links: 0 a file, 1 a folder,
//                                2 a FIFO, 3 a device, 4 a socket, 5 anything else
//   listFolder(path)          -> an array of { name, kind } for every name but "." and "..",
//                                the name as text or bytes, kind as kindOf's, or 6 for a
//                                symbolic link (not followed)
//   openList(path)            -> a handle to read a list of names from
//   readList(handle, count)   -> a Uint8Array of up to `count` bytes; empty at the end
//   closeList(handle)
//   makeFolder(path)          -> makes the folder and those above it that are missing
//   createNew(path)           -> a handle of a new file, created exclusively: never one that
//                                exists
//   writeAll(handle, bytes)   -> writes all the bytes
//   finishNew(handle)         -> flushes the file to the device and closes it
//   link(from, to)            -> a second name for a file, never over an existing one
//   remove(path)              -> removes the name of a file
// and, where it has them, pathSeparator (a property: "/" or "\\"). Standard input is the
// handle 0 for readList and closeList. A host reports a failure by throwing an error with
// node's `code` ("ENOENT") and, for anything else, `errno` (the system's negative number); the
// program decides here what each means.
#include <emscripten.h>

#include <algorithm>

#include "platform/Folders.h"
#include "platform/PlatformWeb.h"
#include "platform/PosixRules.h"

namespace sondrax {

namespace {

// What kindOf and listFolder answer, in this order.
constexpr PathKind kHostKinds[] = {PathKind::kFile,   PathKind::kFolder, PathKind::kFifo,
                                   PathKind::kDevice, PathKind::kSocket, PathKind::kOther};
constexpr int kHostLink = 6;

// Each function returns a negative number when the host threw, and keeps what it threw in
// Module["hostError"] for LastError. The folder listed last stays with the host until its
// names are taken.
EM_JS(int, HostKind, (const char* path), {
  try {
    return Module["kindOf"](Module["hostPath"](path));
  } catch (error) {
    Module["hostError"] = error;
    return -1;
  }
});

EM_JS(int, HostListFolder, (const char* path), {
  try {
    Module["hostListing"] = Module["listFolder"](Module["hostPath"](path));
    return Module["hostListing"].length;
  } catch (error) {
    Module["hostError"] = error;
    return -1;
  }
});

// The name of entry `index` into `buffer` when it fits `size` bytes with its NUL; returns the
// bytes it needs with the NUL.
EM_JS(int, HostEntryName, (int index, char* buffer, int size),
      { return Module["hostText"](Module["hostListing"][index].name, buffer, size); });

EM_JS(int, HostEntryKind, (int index), { return Module["hostListing"][index].kind; });

EM_JS(void, HostListingDone, (), { Module["hostListing"] = null; });

EM_JS(int, HostOpenList, (const char* path), {
  try {
    return Module["openList"](Module["hostPath"](path));
  } catch (error) {
    Module["hostError"] = error;
    return -1;
  }
});

EM_JS(int, HostReadList, (int handle, void* buffer, int count), {
  try {
    const bytes = Module["readList"](handle, count);
    const got = Math.min(bytes.length, count);
    HEAPU8.set(bytes.subarray(0, got), buffer);
    return got;
  } catch (error) {
    Module["hostError"] = error;
    return -1;
  }
});

EM_JS(void, HostCloseList, (int handle), {
  try {
    Module["closeList"](handle);
  } catch (error) {
  }
});

EM_JS(int, HostMakeFolder, (const char* path), {
  try {
    Module["makeFolder"](Module["hostPath"](path));
    return 0;
  } catch (error) {
    Module["hostError"] = error;
    return -1;
  }
});

EM_JS(int, HostCreateNew, (const char* path), {
  try {
    return Module["createNew"](Module["hostPath"](path));
  } catch (error) {
    Module["hostError"] = error;
    return -1;
  }
});

EM_JS(int, HostWriteAll, (int handle, const void* bytes, int count), {
  try {
    Module["writeAll"](handle, HEAPU8.subarray(bytes, bytes + count));
    return 0;
  } catch (error) {
    Module["hostError"] = error;
    return -1;
  }
});

EM_JS(int, HostFinishNew, (int handle), {
  try {
    Module["finishNew"](handle);
    return 0;
  } catch (error) {
    Module["hostError"] = error;
    return -1;
  }
});

EM_JS(int, HostLink, (const char* from, const char* to), {
  try {
    Module["link"](Module["hostPath"](from), Module["hostPath"](to));
    return 0;
  } catch (error) {
    Module["hostError"] = error;
    return -1;
  }
});

EM_JS(int, HostRemove, (const char* path), {
  try {
    Module["remove"](Module["hostPath"](path));
    return 0;
  } catch (error) {
    Module["hostError"] = error;
    return -1;
  }
});

// The separator's character code: 92 (a backslash) or 47 ("/").
EM_JS(int, HostSeparator, (),
      { return Module["pathSeparator"] == String.fromCharCode(92) ? 92 : 47; });

int Detail = 0;

// The host's last error as the reason a line gives, by the same rules as on a POSIX system
// (ErrnoFsError). A host error without a code (a host missing a function, a broken host) is
// a device's error: the program cannot tell more.
FsError LastError() {
  const std::string code = HostErrorCode();
  if (code.empty()) {
    return FsError::kDeviceIo;
  }
  const int named = ErrnoNamed(code);
  const int error = named != 0 ? named : HostErrorErrno();
  const FsError reason = ErrnoFsError(error);
  if (reason == FsError::kOther) {
    Detail = error;
  }
  return reason;
}

FsError WebKindOf(const std::string& path, PathKind* kind) {
  const int host_kind = HostKind(path.c_str());
  if (host_kind < 0) {
    return LastError();
  }
  *kind = host_kind < kHostLink ? kHostKinds[host_kind] : PathKind::kOther;
  return FsError::kNone;
}

FsError WebListFolder(const std::string& path, std::vector<FolderEntry>* entries) {
  const int count = HostListFolder(path.c_str());
  if (count < 0) {
    return LastError();
  }
  for (int i = 0; i < count; ++i) {
    FolderEntry& entry = entries->emplace_back();
    HostText([&](char* buffer, int size) { return HostEntryName(i, buffer, size); }, &entry.Name);
    const int host_kind = HostEntryKind(i);
    if (host_kind >= 0 && host_kind < kHostLink) {
      entry.Kind = kHostKinds[host_kind];
    } else if (host_kind == kHostLink) {
      entry.Link = true;
      entry.Error = WebKindOf(path + Folders.Separator + entry.Name, &entry.Kind);
    }
  }
  HostListingDone();
  return FsError::kNone;
}

FsError WebOpenList(const std::string& path, FileHandle* handle) {
  const int id = HostOpenList(path.c_str());
  if (id < 0) {
    return LastError();
  }
  *handle = id;
  return FsError::kNone;
}

FileHandle WebStdinHandle() { return 0; }

FsError WebReadList(FileHandle handle, void* buffer, std::size_t count, std::size_t* got) {
  *got = 0;
  constexpr std::size_t kLargestRead = 1 << 30;
  const int done = HostReadList(static_cast<int>(handle), buffer,
                                static_cast<int>(std::min(count, kLargestRead)));
  if (done < 0) {
    return LastError();
  }
  *got = static_cast<std::size_t>(done);
  return FsError::kNone;
}

void WebCloseList(FileHandle handle) { HostCloseList(static_cast<int>(handle)); }

FsError WebMakeFolders(const std::string& path) {
  // What stands at the path decides, whatever the making said: a folder made by another
  // program meanwhile is as good as one made here.
  const FsError made = HostMakeFolder(path.c_str()) == 0 ? FsError::kNone : LastError();
  PathKind kind = PathKind::kOther;
  const FsError there = WebKindOf(path, &kind);
  if (there == FsError::kNone) {
    return kind == PathKind::kFolder ? FsError::kNone : FsError::kNoPath;
  }
  return made != FsError::kNone ? made : there;
}

FsError WebCreateNew(const std::string& path, FileHandle* handle) {
  const int id = HostCreateNew(path.c_str());
  if (id < 0) {
    return LastError();
  }
  *handle = id;
  return FsError::kNone;
}

FsError WebWriteAll(FileHandle handle, const void* bytes, std::size_t count) {
  const auto* next = static_cast<const unsigned char*>(bytes);
  constexpr std::size_t kLargestWrite = 1 << 30;
  while (count > 0) {
    const std::size_t part = std::min(count, kLargestWrite);
    if (HostWriteAll(static_cast<int>(handle), next, static_cast<int>(part)) != 0) {
      return LastError();
    }
    next += part;
    count -= part;
  }
  return FsError::kNone;
}

FsError WebFinishNew(FileHandle handle) {
  return HostFinishNew(static_cast<int>(handle)) == 0 ? FsError::kNone : LastError();
}

// A second name cannot replace an existing one, so the new name appears whole or not at all;
// the temporary name is removed after. A file system without hard links says so, and the copy
// is not given its name: node has no renaming that refuses an existing target.
FsError WebMoveNoReplace(const std::string& from, const std::string& to) {
  if (HostLink(from.c_str(), to.c_str()) != 0) {
    return LastError();
  }
  HostRemove(from.c_str());
  return FsError::kNone;
}

FsError WebRemove(const std::string& path) {
  return HostRemove(path.c_str()) == 0 ? FsError::kNone : LastError();
}

int WebLastDetail() { return Detail; }

FolderCalls WebFolderCalls() {
  return {
      WebKindOf,        WebListFolder,
      WebOpenList,      WebStdinHandle,
      WebReadList,      WebCloseList,
      WebMakeFolders,   WebCreateNew,
      WebWriteAll,      WebFinishNew,
      WebMoveNoReplace, WebRemove,
      WebLastDetail,    static_cast<char>(HostSeparator()),
  };
}

// Made when the module starts: the host's separator is known by then.
const FolderCalls kFolderCalls = WebFolderCalls();

}  // namespace

FolderCalls Folders = kFolderCalls;

const FolderCalls& FolderDefaults() { return kFolderCalls; }

}  // namespace sondrax
