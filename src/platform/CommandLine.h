// Splitting a raw command line into the program's arguments.
//
// Windows hands a program its command line as one string; the program splits it itself. The
// splitting is kept apart from the system so that it can be tested on every platform.
#pragma once

#include <string>
#include <vector>

namespace sondrax {

/// Steps over one character of a zero-terminated text: returns the position of the next
/// character. At the terminating zero byte it may return its argument.
using CharAdvance = const char* (*)(const char* at);

/// One byte is one character.
const char* NextByte(const char* at);

/// Splits the zero-terminated `line` into tokens, program name first:
/// - separators are the bytes 1 to 32 (bytes 128 to 255 are ordinary characters);
/// - before each token, separators and pairs of adjacent double quotes are skipped;
/// - inside a token a double quote opens a quoted run up to the next double quote (or the
///   end); the quotes are dropped and separators inside belong to the token;
/// - there is no escape character: a backslash is an ordinary character.
/// A double quote at the very end yields an empty token. Characters are stepped over with
/// `advance`, so a multi-byte character is never taken apart.
std::vector<std::string> SplitCommandLine(const char* line, CharAdvance advance = NextByte);

}  // namespace sondrax
