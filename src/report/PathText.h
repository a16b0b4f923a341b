// Pure path text operations, shared by the platform layers and unit-tested everywhere.
#pragma once

#include <string>

namespace sondrax {

/// The absolute POSIX form of `name`: a name starting with "/" is kept, any other is joined
/// to `current_dir`; then "." components are dropped, ".." removes the component before it
/// (never going above "/"), and repeated "/" collapse. Symbolic links are not looked at and
/// the file need not exist. A trailing "/" is dropped, except for the root itself.
std::string ResolvePosixPath(const std::string& current_dir, const std::string& name);

/// The text after the last '/' or '\\' of `path` (the whole path when it has neither).
std::string BaseName(const std::string& path);

}  // namespace sondrax
