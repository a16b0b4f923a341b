// The entry point of the WebAssembly build. The page's worker calls SondraxReport for each file
// the user gives it, in the same module: every run starts from fresh state. The module also
// holds sondrax-check (SondraxCheck), whose folders its host reaches (FoldersWeb.cc).
#include <emscripten.h>

#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "Sondrax.h"
#include "UTypes.h"
#include "check/Check.h"
#include "check/Lines.h"
#include "check/Repair.h"
#include "diagnosis/Diagnosis.h"
#include "platform/PlatformWeb.h"
#include "report/Cp437.h"
#include "report/Output.h"

/// Makes the report on the host's file `name` (see PlatformWeb.cc); the report and any error
/// text go to the host's writeOutput. With `as_shown` 0 they are the exact bytes a file or a
/// pipe receives; otherwise they are what a UTF-8 terminal receives, which is what the page
/// shows. Returns the exit code.
extern "C" EMSCRIPTEN_KEEPALIVE int SondraxReport(const char* name, int as_shown) {
  sondrax::PlatformWebShownOnTerminal(as_shown != 0);
  return sondrax::RunSondrax({"sondrax", name});
}

// ---- The record of the last run, for the page ---------------------------------------------

namespace sondrax {
namespace {

// A JSON string of `text`'s bytes. Raw bytes of the file (ids) travel as the characters
// U+0000 to U+00FF; the program's own code page 437 texts as the glyphs they stand for.
void AppendJsonString(std::string_view text, bool cp437, std::string* json) {
  static constexpr char kDigits[] = "0123456789abcdef";
  json->push_back('"');
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const char32_t code = cp437 && byte >= 0x80 ? Cp437Glyph(byte) : byte;
    if (code >= 0x20 && code < 0x7F && code != '"' && code != '\\') {
      json->push_back(c);
      continue;
    }
    json->append("\\u");
    for (int shift = 12; shift >= 0; shift -= 4) {
      json->push_back(kDigits[(code >> shift) & 15]);
    }
  }
  json->push_back('"');
}

void AppendJsonField(std::string_view name, std::int64_t value, std::string* json) {
  AppendJsonString(name, false, json);
  json->push_back(':');
  json->append(IntText(value));
  json->push_back(',');
}

// Ends a JSON list whose items each end in a comma, and the object it closes.
void CloseList(std::string* json) {
  if (json->back() == ',') {
    json->pop_back();
  }
  json->append("]}");
}

// The names of the record's enumerations, in their order.
const char* RunEndName(RunEnd end) {
  static constexpr const char* kNames[] = {"complete", "stopped", "fatal", "open-failed"};
  return kNames[static_cast<std::size_t>(end)];
}

const char* StopName(StopReason stop) {
  static constexpr const char* kNames[] = {
      "",        "no-riff-id",  "no-wave-id",          "no-format",
      "no-data", "broken-data", "negative-chunk-size", "negative-item-size"};
  return kNames[static_cast<std::size_t>(stop)];
}

// The walk reached past the chunk's body, so the format fields hold what the file holds.
bool FormatRead(const RunRecordRec& record) {
  for (const WalkChunkRec& chunk : record.Chunks) {
    if (chunk.Offset > 0 && IdText(chunk.Id) == "fmt ") {
      return chunk.Size >= 0 && chunk.Offset + 8 + chunk.Size <= record.Length;
    }
  }
  return false;
}

std::string RecordJson() {
  const RunRecordRec& record = Run.Record;
  std::string json = "{\"end\":";
  AppendJsonString(RunEndName(record.End), false, &json);
  json += ",\"stop\":";
  AppendJsonString(StopName(record.Stop), false, &json);
  json += ",\"errorClass\":";
  AppendJsonString(record.ErrorClass, false, &json);
  json += ",\"form\":";
  AppendJsonString(std::string(record.Form, record.Form + 4), false, &json);
  json += ',';
  AppendJsonField("error", record.Error, &json);
  AppendJsonField("length", record.Length, &json);
  AppendJsonField("sizeExact", record.SizeExact ? 1 : 0, &json);
  AppendJsonField("factMissing", record.FactMissing ? 1 : 0, &json);
  AppendJsonField("chunksLeftOut", record.ChunksLeftOut, &json);
  if (FormatRead(record)) {
    const FormatChunkRec& format = Run.FormatChunk;
    json += "\"format\":{";
    AppendJsonField("tag", format.FormatTag(), &json);
    AppendJsonField("channels", format.Channels(), &json);
    AppendJsonField("rate", format.SamplesPerSec(), &json);
    AppendJsonField("byteRate", format.AvgBytesPerSec(), &json);
    AppendJsonField("bits", format.BitsPerSample(), &json);
    json += "\"codec\":";
    AppendJsonString(FormatTagName(format.FormatTag()), true, &json);
    json += "},";
  }
  if (std::isfinite(Run.PlayTime) && Run.PlayTime != 0) {
    json += "\"playTime\":";
    AppendJsonString(FixedText(Run.PlayTime, 2), false, &json);
    json += ',';
  }
  json += "\"chunks\":[";
  for (const WalkChunkRec& chunk : record.Chunks) {
    json += "{\"id\":";
    AppendJsonString(std::string(chunk.Id, chunk.Id + 4), false, &json);
    json += ',';
    AppendJsonField("offset", chunk.Offset, &json);
    AppendJsonField("size", chunk.Size, &json);
    AppendJsonField("headers", chunk.Headers, &json);
    json.back() = '}';
    json += ',';
  }
  CloseList(&json);
  return json;
}

}  // namespace
}  // namespace sondrax

/// The record of the last SondraxReport run as JSON text (npm/record.js reads it): how the run
/// ended, the length, the chunk headers the walk read, and the format fields and
/// play time where the run got so far. Valid until the next call.
extern "C" EMSCRIPTEN_KEEPALIVE const char* SondraxRecord() {
  static std::string json;
  json = sondrax::RecordJson();
  return json.c_str();
}

/// The diagnosis of the host's file `name` as JSON text (the schema in the README): the verdict,
/// its reason, the findings, the format, the play time, the tags and the chunks. It reads the
/// file through the host as the report does and is independent of any report run. Valid until
/// the next call.
extern "C" EMSCRIPTEN_KEEPALIVE const char* SondraxDiagnosis(const char* name) {
  static std::string json;
  json = sondrax::DiagnosisJson(sondrax::Diagnose(name));
  return json.c_str();
}

/// The line sondrax-check --json writes for the host's file `name` (without a repair): the
/// path first, then the diagnosis's JSON, and a line end. `name` is the path as the page knows
/// it (a dropped folder's files by their path inside it), so a table saved from the page holds
/// the same bytes as the native program's for the same files. Valid until the next call.
extern "C" EMSCRIPTEN_KEEPALIVE const char* SondraxCheckLine(const char* name) {
  static std::string line;
  line = sondrax::JsonLine(name, sondrax::Diagnose(name), sondrax::RepairNote{}, false);
  return line.c_str();
}

namespace sondrax {
namespace {

std::string HexText(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    hex.push_back(kDigits[byte >> 4]);
    hex.push_back(kDigits[byte & 15]);
  }
  return hex;
}

// The plan as JSON, its bytes as hexadecimal text: {"copyLength":N, "insertAt":N, "inserted":
// "hex", "patches":[{"offset":N, "bytes":"hex"}]}; "null" when the file's faults are not its
// sizes alone, or when no plan makes a sound copy of it.
std::string RepairPlanJson(const DiagnosisRec& diagnosis) {
  if (!SizesOnlyFault(diagnosis)) {
    return "null";
  }
  const RepairPlan plan = PlanRepair(diagnosis);
  if (plan.CopyLength <= 0) {
    return "null";
  }
  std::string json = "{\"copyLength\":" + IntText(plan.CopyLength) +
                     ",\"insertAt\":" + IntText(plan.InsertAt) + ",\"inserted\":\"" +
                     HexText(plan.Inserted) + "\",\"patches\":[";
  for (const PatchRec& patch : plan.Patches) {
    json +=
        "{\"offset\":" + IntText(patch.Offset) + ",\"bytes\":\"" + HexText(patch.Bytes) + "\"},";
  }
  CloseList(&json);
  return json;
}

}  // namespace
}  // namespace sondrax

/// How to make a repaired copy of the host's file `name` (see RepairPlanJson): the original's
/// first copyLength bytes with the patches written over them at their offsets, and `inserted`
/// after its first insertAt bytes. The host builds the copy and judges it before offering it;
/// the original is never written. Valid until the next call.
extern "C" EMSCRIPTEN_KEEPALIVE const char* SondraxRepairPlan(const char* name) {
  static std::string json;
  json = sondrax::RepairPlanJson(sondrax::Diagnose(name));
  return json.c_str();
}

namespace {

// The host's arguments for sondrax-check: checkArguments() -> an array of strings, the
// program's name not among them. Argument `index` goes into `buffer` when it fits `size` bytes
// with its NUL; returns the bytes it needs with the NUL, or 0 past the last.
EM_JS(int, HostArgument, (int index, char* buffer, int size), {
  if (!Module["hostArguments"])
    Module["hostArguments"] = Module["checkArguments"]();
  if (index >= Module["hostArguments"].length) {
    Module["hostArguments"] = null;
    return 0;
  }
  const argument = Module["hostArguments"][index];
  const needed = lengthBytesUTF8(argument) + 1;
  if (needed <= size)
    stringToUTF8(argument, buffer, size);
  return needed;
});

}  // namespace

/// Runs sondrax-check on the host's arguments (checkArguments()), its files and folders reached
/// through the host (FoldersWeb.cc and PlatformWeb.cc), its lines to the host's writeOutput.
/// Returns the exit status.
extern "C" EMSCRIPTEN_KEEPALIVE int SondraxCheck() {
  std::vector<std::string> arguments = {"sondrax-check"};
  std::string argument;
  for (int i = 0; sondrax::HostText(
           [&](char*buffer, int size) { return HostArgument(i, buffer, size); }, &argument);
       ++i) {
    arguments.push_back(argument);
  }
  return sondrax::RunCheck(arguments);
}
