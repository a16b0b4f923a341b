// The diagnosis as JSON: one object with the same keys every time, numbers as numbers, an
// absent value as null. The page, the npm package and the command for many files all show
// these bytes; none of them judges a file itself.
#include <string_view>

#include "diagnosis/Diagnosis.h"
#include "diagnosis/Walk.h"

namespace sondrax {

namespace {

// Every text of the diagnosis is UTF-8 already (tags are decoded when read); control
// characters (C0, DEL and C1), quotes and backslashes are escaped.
void AppendString(std::string_view text, std::string* json) {
  static constexpr char kDigits[] = "0123456789abcdef";
  json->push_back('"');
  // Bytes that go as they are are appended a run at a time: most texts have nothing to escape.
  std::size_t plain = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    // A C1 control character (U+0080 to U+009F) in a tag is escaped like the C0 ones, so that
    // a reader showing the text raw on a terminal shows no control.
    const bool c1 = byte == 0xC2 && next >= 0x80 && next < 0xA0;
    const bool control = byte < 0x20 || byte == 0x7F;
    if (!c1 && !control && byte != '"' && byte != '\\') {
      continue;
    }
    json->append(text.substr(plain, i - plain));
    if (c1 || control) {
      const unsigned char code = c1 ? next : byte;
      json->append("\\u00");
      json->push_back(kDigits[code >> 4]);
      json->push_back(kDigits[code & 15]);
      i += c1 ? 1 : 0;
    } else {
      json->push_back('\\');
      json->push_back(text[i]);
    }
    plain = i + 1;
  }
  json->append(text.substr(plain));
  json->push_back('"');
}

void AppendKey(const char* key, std::string* json) {
  if (json->back() != '{') {
    json->push_back(',');
  }
  AppendString(key, json);
  json->push_back(':');
}

void AppendNumber(const char* key, std::int64_t value, std::string* json) {
  AppendKey(key, json);
  json->append(std::to_string(value));
}

void AppendUnsigned(const char* key, std::uint64_t value, std::string* json) {
  AppendKey(key, json);
  json->append(std::to_string(value));
}

// A count where -1 stands for "not known".
void AppendKnown(const char* key, std::int64_t value, std::string* json) {
  AppendKey(key, json);
  json->append(value >= 0 ? std::to_string(value) : "null");
}

void AppendText(const char* key, std::string_view value, std::string* json) {
  AppendKey(key, json);
  AppendString(value, json);
}

// Seconds from microseconds, exact to the microsecond: "10", "5.67", "0.000125"; null when
// not known.
void AppendSeconds(const char* key, std::int64_t micros, std::string* json) {
  AppendKey(key, json);
  if (micros < 0) {
    json->append("null");
    return;
  }
  json->append(std::to_string(micros / 1000000));
  std::string fraction = std::to_string(micros % 1000000);
  fraction.insert(0, 6 - fraction.size(), '0');
  while (!fraction.empty() && fraction.back() == '0') {
    fraction.pop_back();
  }
  if (!fraction.empty()) {
    json->push_back('.');
    json->append(fraction);
  }
}

void AppendFormat(const DiagnosisRec& diagnosis, std::string* json) {
  AppendKey("format", json);
  const DiagFormatRec& format = diagnosis.Format;
  if (format.Offset < 0) {
    json->append("null");
    return;
  }
  json->push_back('{');
  AppendNumber("offset", format.Offset, json);
  AppendNumber("tag", format.Tag, json);
  AppendText("name", FormatName(format), json);
  AppendKey("extensible", json);
  json->append(format.Extensible ? "true" : "false");
  AppendKnown("subTag", format.Extensible && format.SubTagKnown ? format.SubTag : -1, json);
  AppendNumber("channels", format.Channels, json);
  AppendNumber("rate", format.Rate, json);
  AppendNumber("byteRate", format.ByteRate, json);
  AppendNumber("blockAlign", format.BlockAlign, json);
  AppendNumber("bits", format.Bits, json);
  AppendKnown("validBits", format.Extensible ? format.ValidBits : -1, json);
  AppendKnown("channelMask", format.Extensible ? std::int64_t{format.ChannelMask} : -1, json);
  json->push_back('}');
}

void AppendData(const DiagnosisRec& diagnosis, std::string* json) {
  AppendKey("data", json);
  const DiagDataRec& data = diagnosis.Data;
  if (data.Offset < 0) {
    json->append("null");
    return;
  }
  static constexpr const char* kSizings[] = {"sized", "never-finalised", "placeholder", "wrapped"};
  json->push_back('{');
  AppendNumber("offset", data.Offset, json);
  AppendUnsigned("declared", data.Declared, json);
  AppendNumber("present", data.Present, json);
  AppendText("sizing", kSizings[static_cast<std::size_t>(data.Sizing)], json);
  json->push_back('}');
}

void AppendFindings(const DiagnosisRec& diagnosis, std::string* json) {
  AppendKey("findings", json);
  json->push_back('[');
  for (const FindingRec& finding : diagnosis.Findings) {
    if (json->back() != '[') {
      json->push_back(',');
    }
    json->push_back('{');
    AppendText("code", finding.Code, json);
    AppendText("severity", SeverityName(finding.Level), json);
    AppendKnown("offset", finding.Offset, json);
    AppendNumber("count", finding.Count, json);
    AppendText("text", finding.Text, json);
    AppendKey("numbers", json);
    json->push_back('{');
    for (const auto& [name, value] : finding.Numbers) {
      AppendNumber(name, value, json);
    }
    json->append("}}");
  }
  json->push_back(']');
}

void AppendTags(const DiagnosisRec& diagnosis, std::string* json) {
  AppendKey("tags", json);
  json->push_back('[');
  for (const DiagTagRec& tag : diagnosis.Tags) {
    if (json->back() != '[') {
      json->push_back(',');
    }
    json->push_back('{');
    AppendText("chunk", tag.Chunk, json);
    AppendText("id", tag.Id, json);
    AppendText("name", tag.Name, json);
    AppendText("text", tag.Text, json);
    AppendNumber("offset", tag.Offset, json);
    json->push_back('}');
  }
  json->push_back(']');
  AppendNumber("tagsLeftOut", diagnosis.TagsLeftOut, json);
}

void AppendChunks(const DiagnosisRec& diagnosis, std::string* json) {
  AppendKey("chunks", json);
  json->push_back('[');
  for (const DiagChunkRec& chunk : diagnosis.Chunks) {
    if (json->back() != '[') {
      json->push_back(',');
    }
    json->push_back('{');
    // An id's bytes as the characters U+0000 to U+00FF: most are text, a few writers' are not.
    AppendKey("id", json);
    AppendString(Latin1Text(std::string_view(chunk.Id, 4)), json);
    AppendNumber("offset", chunk.Offset, json);
    AppendUnsigned("size", chunk.Size, json);
    AppendNumber("present", chunk.Present, json);
    AppendKey("pad", json);
    json->append(chunk.Pad < 0 ? "null" : chunk.Pad == 1 ? "true" : "false");
    json->push_back('}');
  }
  json->push_back(']');
  AppendNumber("chunksLeftOut", diagnosis.ChunksLeftOut, json);
}

}  // namespace

std::string DiagnosisJson(const DiagnosisRec& diagnosis) {
  std::string json;
  json.reserve(4096);  // a file's whole text but for many chunks or tags, in one allocation
  json += '{';
  AppendNumber("version", DiagnosisVersion, &json);
  AppendText("verdict", VerdictName(diagnosis), &json);
  AppendText("reason", diagnosis.Reason, &json);
  AppendFindings(diagnosis, &json);
  AppendKnown("length", diagnosis.Length, &json);
  AppendKey("form", &json);
  if (diagnosis.Form.empty()) {
    json.append("null");
  } else {
    AppendString(diagnosis.Form, &json);
  }
  AppendKnown("riffSize", diagnosis.RiffSize, &json);
  AppendFormat(diagnosis, &json);
  AppendData(diagnosis, &json);
  AppendKey("duration", &json);
  json.push_back('{');
  AppendSeconds("declared", diagnosis.DeclaredMicros, &json);
  AppendSeconds("present", diagnosis.PresentMicros, &json);
  json.push_back('}');
  AppendKnown("factSamples", diagnosis.FactSamples, &json);
  AppendTags(diagnosis, &json);
  AppendChunks(diagnosis, &json);
  json.push_back('}');
  return json;
}

}  // namespace sondrax
