#include "platform/CommandLine.h"

#include <cstring>
#include <utility>

namespace sondrax {

namespace {

bool IsSeparator(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 1 && byte <= 32;
}

// The advance function is the system's; a step that does not move forward or that jumps
// over the terminating zero would make the loops below spin or read past the text.
const char* Step(const char* at, const char* end, CharAdvance advance) {
  const char* next = advance(at);
  if (next <= at) {
    next = at + 1;
  }
  return next > end ? end : next;
}

}  // namespace

const char* NextByte(const char* at) { return *at == '\0' ? at : at + 1; }

std::vector<std::string> SplitCommandLine(const char* line, CharAdvance advance) {
  std::vector<std::string> tokens;
  if (line == nullptr) {
    return tokens;
  }
  const char* const end = line + std::strlen(line);
  const char* at = line;
  for (;;) {
    // Separators and empty quoted pairs before a token do not start one.
    for (;;) {
      if (at < end && IsSeparator(*at)) {
        ++at;
      } else if (end - at >= 2 && at[0] == '"' && at[1] == '"') {
        at += 2;
      } else {
        break;
      }
    }
    if (at == end) {
      return tokens;
    }
    std::string token;
    bool quoted = false;
    while (at < end && (quoted || !IsSeparator(*at))) {
      if (*at == '"') {
        quoted = !quoted;
        ++at;
        continue;
      }
      const char* next = Step(at, end, advance);
      token.append(at, static_cast<std::size_t>(next - at));
      at = next;
    }
    tokens.push_back(std::move(token));
  }
}

}  // namespace sondrax
