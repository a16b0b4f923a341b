#include "platform/PathText.h"

#include <vector>

namespace sondrax {

std::string ResolvePosixPath(const std::string& current_dir, const std::string& name) {
  const std::string joined = (!name.empty() && name[0] == '/') ? name : current_dir + "/" + name;
  std::vector<std::string> parts;
  std::size_t begin = 0;
  while (begin <= joined.size()) {
    std::size_t end = joined.find('/', begin);
    if (end == std::string::npos) {
      end = joined.size();
    }
    const std::string part = joined.substr(begin, end - begin);
    if (part == "..") {
      if (!parts.empty()) {
        parts.pop_back();
      }
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    begin = end + 1;
  }
  std::string result;
  for (const std::string& part : parts) {
    result += '/';
    result += part;
  }
  return result.empty() ? "/" : result;
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::size_t Utf8IncompleteTail(std::string_view text) {
  // The last byte that is not a continuation byte (10xxxxxx) starts the last sequence; it is
  // incomplete when its lead byte announces more bytes than follow it.
  for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
    const auto byte = static_cast<unsigned char>(text[text.size() - back]);
    if ((byte & 0xC0) == 0x80) {
      continue;
    }
    // A byte that starts no sequence (C0, C1, F5 to FF) ends the text as it is.
    const std::size_t length = byte >= 0xF5   ? 1
                               : byte >= 0xF0 ? 4
                               : byte >= 0xE0 ? 3
                               : byte >= 0xC2 ? 2
                                              : 1;
    return length > back ? back : 0;
  }
  return 0;
}

}  // namespace sondrax
