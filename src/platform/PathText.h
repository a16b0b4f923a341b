// Pure text operations of the platform layers (paths, and where a piece of UTF-8 text ends),
// unit-tested on every platform.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace sondrax {

/// The absolute POSIX form of `name`: a name starting with "/" is kept, any other is joined
/// to `current_dir`; then "." components are dropped, ".." removes the component before it
/// (never going above "/"), and repeated "/" collapse. Symbolic links are not looked at and
/// the file need not exist. A trailing "/" is dropped, except for the root itself.
std::string ResolvePosixPath(const std::string& current_dir, const std::string& name);

/// The text after the last '/' or '\\' of `path` (the whole path when it has neither).
std::string BaseName(const std::string& path);

/// How many bytes at the end of `text` (0 to 3) begin a UTF-8 sequence that `text` ends
/// before completing: the part of a glyph that a piece of text cut off from the next piece.
std::size_t Utf8IncompleteTail(std::string_view text);

}  // namespace sondrax
