// What the program makes of a POSIX system's answers: its error number for an errno value (and
// sondrax-check's reason for one), and the terminal's character set from the locale's
// variables. The POSIX layer asks its own
// system; the WebAssembly layer asks its host, which under node answers for the system node
// runs on, and follows the same rules, so that both show the same texts.
#pragma once

#include <string>
#include <string_view>

#include "platform/Folders.h"
#include "platform/Platform.h"

namespace sondrax {

/// The program's error number for an errno value (see PlatformError):
///   ENOENT -> 2      ENOTDIR, ENAMETOOLONG, ELOOP -> 3      EMFILE, ENFILE -> 4
///   EACCES, EPERM, EISDIR, EROFS -> 5      EBADF -> 6      ENOMEM -> 8
///   EPIPE -> 109 (broken pipe)      ENOSPC, EDQUOT -> 112 (disk full)
///   EINVAL on a seek, a negative position -> 131
///   EIO -> 1117 (device I/O error)      EFBIG, EOVERFLOW -> 223 (file too large)
///   any other errno e -> 1000 + e, which no message of the table uses.
/// Linux's EIO is 5, which the table calls "access denied": errno is never passed through.
int ErrnoError(int error);

/// The reason a line of sondrax-check gives for an errno value; kOther for one it does not name.
FsError ErrnoFsError(int error);

/// The errno value of the error named `name` ("ENOENT") among those ErrnoError and
/// ErrnoFsError tell apart; 0 for another name.
int ErrnoNamed(std::string_view name);

/// The locale's character set as the C library would choose it, without loading any locale
/// file: the first of LC_ALL, LC_CTYPE and LANG that is set and not empty decides, UTF-8 when
/// it names "UTF-8" or "utf8" in any case. `variable` gives a variable's value, "" when unset.
TerminalCharset LocaleCharset(std::string (*variable)(const char* name));

}  // namespace sondrax
