#include "report/PathText.h"

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

}  // namespace sondrax
