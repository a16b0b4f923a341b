#include "platform/PosixRules.h"

#include <cerrno>
#include <iterator>

namespace sondrax {

int ErrnoError(int error) {
  switch (error) {
  case ENOENT:
    return kErrFileNotFound;
  case ENOTDIR:
  case ENAMETOOLONG:
  case ELOOP:
    return kErrPathNotFound;
  case EMFILE:
  case ENFILE:
    return kErrTooManyOpenFiles;
  case EACCES:
  case EPERM:
  case EISDIR:
  case EROFS:
    return kErrAccessDenied;
  case EBADF:
    return kErrInvalidHandle;
  case ENOMEM:
    return kErrNotEnoughMemory;
  case EPIPE:
    return kErrBrokenPipe;
  case ENOSPC:
  case EDQUOT:
    return kErrDiskFull;
  case EINVAL:
    return kErrNegativeSeek;
  case EIO:
    return kErrDeviceIo;
  case EFBIG:
  case EOVERFLOW:
    return kErrFileTooLarge;
  default:
    return kErrOtherErrno + error;
  }
}

FsError ErrnoFsError(int error) {
  switch (error) {
  case ENOENT:
    return FsError::kNotFound;
  case ENOTDIR:
    return FsError::kNoPath;
  case EACCES:
  case EPERM:
    return FsError::kAccessDenied;
  case ELOOP:
    return FsError::kLinkLoop;
  case ENAMETOOLONG:
    return FsError::kNameTooLong;
  case EISDIR:
    return FsError::kIsFolder;
  case EEXIST:
    return FsError::kExists;
  case ENOSPC:
  case EDQUOT:
    return FsError::kDiskFull;
  case EROFS:
    return FsError::kReadOnly;
  case EIO:
    return FsError::kDeviceIo;
  default:
    return FsError::kOther;
  }
}

int ErrnoNamed(std::string_view name) {
  struct Named {
    std::string_view Name;
    int Value;
  };
  static constexpr Named kNamed[] = {
      {"ENOENT", ENOENT},       {"ENOTDIR", ENOTDIR}, {"ENAMETOOLONG", ENAMETOOLONG},
      {"ELOOP", ELOOP},         {"EMFILE", EMFILE},   {"ENFILE", ENFILE},
      {"EACCES", EACCES},       {"EPERM", EPERM},     {"EISDIR", EISDIR},
      {"EROFS", EROFS},         {"EBADF", EBADF},     {"ENOMEM", ENOMEM},
      {"EPIPE", EPIPE},         {"ENOSPC", ENOSPC},   {"EDQUOT", EDQUOT},
      {"EINVAL", EINVAL},       {"EIO", EIO},         {"EFBIG", EFBIG},
      {"EOVERFLOW", EOVERFLOW}, {"EEXIST", EEXIST},
  };
  for (const Named& named : kNamed) {
    if (named.Name == name) {
      return named.Value;
    }
  }
  return 0;
}

TerminalCharset LocaleCharset(std::string (*variable)(const char* name)) {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    std::string value = variable(name);
    if (value.empty()) {
      continue;
    }
    for (char& c : value) {
      if (c >= 'A' && c <= 'Z') {
        c = static_cast<char>(c - 'A' + 'a');
      }
    }
    return value.find("utf-8") != std::string::npos || value.find("utf8") != std::string::npos
               ? TerminalCharset::kUtf8
               : TerminalCharset::kOther;
  }
  return TerminalCharset::kOther;
}

}  // namespace sondrax
