// The lines of sondrax-check. Every name and reason passes through ShownText or the JSON
// string escape before it is written: a file named with an escape sequence must not retitle
// or recolour the terminal that lists it, and a line end in a name must not start a line.
#include "check/Lines.h"

#include <cstddef>
#include <string>

namespace sondrax {

namespace {

constexpr char kHex[] = "0123456789abcdef";

// U+0080 to U+009F: the C1 controls, 0xC2 0x80 to 0xC2 0x9F in UTF-8.
bool IsC1(std::string_view text, std::size_t at) {
  return static_cast<unsigned char>(text[at]) == 0xC2 &&
         static_cast<unsigned char>(text[at + 1]) < 0xA0;
}

// How many bytes at text[at] are shown as they are; 0 when the byte there is escaped.
std::size_t KeptLength(std::string_view text, std::size_t at, bool ascii_only) {
  const auto byte = static_cast<unsigned char>(text[at]);
  if (byte < 0x20 || byte == 0x7F) {
    return 0;
  }
  const std::size_t length = Utf8SequenceLength(text, at);
  if (length == 0 || (length > 1 && ascii_only) || (length == 2 && IsC1(text, at))) {
    return 0;
  }
  return length;
}

void AppendEscaped(unsigned char byte, std::string* out) {
  out->append("\\x");
  out->push_back(kHex[byte >> 4]);
  out->push_back(kHex[byte & 15]);
}

// A JSON string: quotes, backslashes and every control character escaped, C1 included, so
// that the line is as safe on a terminal as the other forms.
void AppendJsonString(std::string_view text, std::string* json) {
  json->push_back('"');
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '"' || byte == '\\') {
      json->push_back('\\');
      json->push_back(static_cast<char>(byte));
    } else if (byte < 0x20 || byte == 0x7F) {
      json->append("\\u00");
      json->push_back(kHex[byte >> 4]);
      json->push_back(kHex[byte & 15]);
    } else if (i + 1 < text.size() && IsC1(text, i)) {
      json->append("\\u00");
      const auto code = static_cast<unsigned char>(text[i + 1]);
      json->push_back(kHex[code >> 4]);
      json->push_back(kHex[code & 15]);
      ++i;
    } else {
      json->push_back(static_cast<char>(byte));
    }
  }
  json->push_back('"');
}

constexpr const char* kVerdicts[] = {"ok", "warning", "problem", "not-wave", "unreadable"};

}  // namespace

bool IsUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = Utf8SequenceLength(text, i);
    if (length == 0) {
      return false;
    }
    i += length;
  }
  return true;
}

std::string FsErrorText(FsError error) {
  switch (error) {
  case FsError::kNone:
    return "no error";
  case FsError::kNotFound:
    return "no such file or folder";
  case FsError::kNoPath:
    return "a folder on its path does not exist or is not a folder";
  case FsError::kAccessDenied:
    return "permission denied";
  case FsError::kLinkLoop:
    return "a loop of symbolic links";
  case FsError::kNameTooLong:
    return "the name is too long";
  case FsError::kIsFolder:
    return "it is a folder";
  case FsError::kExists:
    return "it exists already";
  case FsError::kDiskFull:
    return "the disk is full";
  case FsError::kReadOnly:
    return "a read-only file system";
  case FsError::kDeviceIo:
    return "an input/output error";
  case FsError::kOther:
    break;
  }
  return "system error " + std::to_string(Folders.LastDetail());
}

std::string ShownText(std::string_view text, bool ascii_only) {
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t kept = KeptLength(text, i, ascii_only);
    if (kept == 0) {
      AppendEscaped(static_cast<unsigned char>(text[i]), &shown);
      ++i;
      continue;
    }
    if (text[i] == '\\' && i + 1 < text.size() &&
        (text[i + 1] == 'x' || text[i + 1] == '\\' || KeptLength(text, i + 1, ascii_only) == 0)) {
      shown.push_back('\\');
    }
    shown.append(text, i, kept);
    i += kept;
  }
  return shown;
}

std::string LineReason(const DiagnosisRec& diagnosis, const RepairNote& repair) {
  std::string reason = diagnosis.Reason;
  if (repair.Tried) {
    reason += repair.Written ? "; repaired copy: " + repair.Copy : "; not repaired: " + repair.Why;
  }
  return reason;
}

std::size_t VerdictIndex(const DiagnosisRec& diagnosis) {
  return static_cast<std::size_t>(diagnosis.Worst);
}

std::string PipeLine(std::string_view path, const DiagnosisRec& diagnosis,
                     const RepairNote& repair) {
  return std::string(VerdictName(diagnosis)) + "\t" + ShownText(path) + "\t" +
         ShownText(LineReason(diagnosis, repair)) + "\n";
}

std::string TableRow(std::string_view path, const DiagnosisRec& diagnosis, const RepairNote& repair,
                     bool ascii_only) {
  std::string row = VerdictName(diagnosis);
  // "unreadable", the longest verdict, and two spaces.
  row.resize(12, ' ');
  return row + ShownText(path, ascii_only) + "  " +
         ShownText(LineReason(diagnosis, repair), ascii_only) + "\n";
}

std::string JsonLine(std::string_view path, const DiagnosisRec& diagnosis, const RepairNote& repair,
                     bool with_repair) {
  std::string json = "{\"path\":";
  const bool escaped = !IsUtf8(path);
  AppendJsonString(escaped ? ShownText(path) : std::string(path), &json);
  json.append(escaped ? ",\"pathEscaped\":true" : ",\"pathEscaped\":false");
  if (with_repair) {
    json.append(",\"repair\":");
    if (!repair.Tried) {
      json.append("null");
    } else {
      json.append("{\"copy\":");
      AppendJsonString(repair.Copy, &json);
      json.append(repair.Written ? ",\"written\":true,\"why\":null}"
                                 : ",\"written\":false,\"why\":");
      if (!repair.Written) {
        AppendJsonString(repair.Why, &json);
        json.push_back('}');
      }
    }
  }
  // The diagnosis's own object, whose keys follow.
  const std::string own = DiagnosisJson(diagnosis);
  json.push_back(',');
  json.append(own, 1);
  json.push_back('\n');
  return json;
}

std::string CountsLine(const VerdictCounts& counts, bool repairing, std::int64_t repaired) {
  std::int64_t total = 0;
  for (const std::int64_t count : counts) {
    total += count;
  }
  std::string line = std::to_string(total) + (total == 1 ? " file: " : " files: ");
  for (std::size_t i = 0; i < counts.size(); ++i) {
    line += (i > 0 ? ", " : "") + std::to_string(counts[i]) + " " + kVerdicts[i];
  }
  if (repairing) {
    line +=
        "; " + std::to_string(repaired) + (repaired == 1 ? " repaired copy" : " repaired copies");
  }
  return line + "\n";
}

}  // namespace sondrax
