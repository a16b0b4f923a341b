// Repair, never in place. The copy is the original's bytes with the size fields rewritten;
// whether that made a sound file is not assumed: the copy is judged like any file.
#include "check/Repair.h"

#include <algorithm>
#include <memory>

#include "platform/Folders.h"
#include "platform/Platform.h"
#include "report/InputFile.h"

namespace sondrax {

namespace {

// What a copy is read in: large enough that a long file costs few calls.
constexpr std::size_t kCopyBlock = std::size_t{1024} * 1024;
// The largest value a 32-bit size field can hold that is not RF64's "see ds64".
constexpr std::uint64_t kMax32 = 0xFFFFFFFE;

std::string Le(std::uint64_t value, int bytes) {
  std::string text;
  for (int i = 0; i < bytes; ++i) {
    text.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  }
  return text;
}

bool IsSizeCode(std::string_view code) {
  return code == "never-finalised" || code == "streamed" || code == "riff-size" ||
         code == "over-4gib";
}

// The original, open for reading: a read that must deliver `count` bytes.
bool ReadFull(FileHandle handle, unsigned char* dest, std::size_t count) {
  while (count > 0) {
    std::size_t got = 0;
    if (Platform.Read(handle, dest, count, &got) != 0 || got == 0) {
      return false;
    }
    dest += got;
    count -= got;
  }
  return true;
}

// Writes the plan's copy of the open original to the new file; "" or why it failed.
std::string CopyBytes(FileHandle original, FileHandle copy, const RepairPlan& plan) {
  const std::unique_ptr<unsigned char[]> block(new unsigned char[kCopyBlock]);
  std::int64_t at = 0;
  while (at < plan.CopyLength) {
    auto count = static_cast<std::int64_t>(kCopyBlock);
    count = std::min(count, plan.CopyLength - at);
    if (at < plan.InsertAt) {
      count = std::min(count, plan.InsertAt - at);
    }
    if (!ReadFull(original, block.get(), static_cast<std::size_t>(count))) {
      return "the original could not be read again, or it changed";
    }
    ApplyPatches(plan, at, block.get(), static_cast<std::size_t>(count));
    FsError error = Folders.WriteAll(copy, block.get(), static_cast<std::size_t>(count));
    at += count;
    if (error == FsError::kNone && at == plan.InsertAt && !plan.Inserted.empty()) {
      error = Folders.WriteAll(copy, plan.Inserted.data(), plan.Inserted.size());
    }
    if (error != FsError::kNone) {
      return "the copy could not be written: " + FsErrorText(error);
    }
  }
  std::int64_t length = -1;
  if (Platform.FileSize(original, &length) != 0 || length != plan.CopyLength) {
    return "the original changed while it was copied";
  }
  return "";
}

std::vector<std::string> Components(const std::string& path, char separator) {
  std::vector<std::string> parts;
  std::string part;
  for (const char c : path + separator) {
    if (c == '/' || c == separator) {
      if (!part.empty() && part != ".") {
        parts.push_back(part);
      }
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  return parts;
}

}  // namespace

bool SizesOnlyFault(const DiagnosisRec& diagnosis) {
  if (diagnosis.Worst < Severity::kWarning || diagnosis.Worst > Severity::kProblem ||
      diagnosis.Data.Offset < 0 || diagnosis.Format.Offset < 0) {
    return false;
  }
  return std::all_of(diagnosis.Findings.begin(), diagnosis.Findings.end(),
                     [](const FindingRec& finding) {
                       return finding.Level < Severity::kWarning || IsSizeCode(finding.Code);
                     });
}

RepairPlan PlanRepair(const DiagnosisRec& diagnosis) {
  RepairPlan plan;
  const std::int64_t length = diagnosis.Length;
  const DiagDataRec& data = diagnosis.Data;
  const bool sized = data.Sizing == DataSizing::kSized;
  const auto samples = static_cast<std::uint64_t>(sized ? data.Declared : data.Present);
  const auto body = static_cast<std::uint64_t>(length - 8);
  if (diagnosis.Form == "RIFF" && body <= kMax32 && samples <= kMax32) {
    plan.Patches.push_back({4, Le(body, 4)});
    if (!sized) {
      plan.Patches.push_back({data.Offset + 4, Le(samples, 4)});
    }
    plan.CopyLength = length;
    return plan;
  }
  const std::uint64_t frames =
      diagnosis.FactSamples >= 0        ? static_cast<std::uint64_t>(diagnosis.FactSamples)
      : diagnosis.Format.BlockAlign > 0 ? samples / diagnosis.Format.BlockAlign
                                        : 0;
  if (diagnosis.Form == "RIFF") {
    // A ds64 chunk of the smallest size after "WAVE": the RIFF size, the data size, the
    // sample count and an empty table.
    plan.Patches.push_back({0, "RF64" + Le(0xFFFFFFFF, 4)});
    plan.Inserted =
        "ds64" + Le(28, 4) + Le(body + 36, 8) + Le(samples, 8) + Le(frames, 8) + Le(0, 4);
    plan.Patches.push_back({data.Offset + 4, Le(0xFFFFFFFF, 4)});
    plan.CopyLength = length;
    return plan;
  }
  const auto ds64 = std::find_if(
      diagnosis.Chunks.begin(), diagnosis.Chunks.end(),
      [](const DiagChunkRec& chunk) { return std::string_view(chunk.Id, 4) == "ds64"; });
  if (ds64 == diagnosis.Chunks.end() || ds64->Present < 24) {
    return plan;
  }
  plan.Patches.push_back({4, Le(0xFFFFFFFF, 4)});
  plan.Patches.push_back({ds64->Offset + 8, Le(body, 8)});
  if (!sized) {
    plan.Patches.push_back({ds64->Offset + 16, Le(samples, 8)});
    plan.Patches.push_back({data.Offset + 4, Le(0xFFFFFFFF, 4)});
  }
  plan.CopyLength = length;
  return plan;
}

void ApplyPatches(const RepairPlan& plan, std::int64_t offset, unsigned char* bytes,
                  std::size_t count) {
  const std::int64_t end = offset + static_cast<std::int64_t>(count);
  for (const PatchRec& patch : plan.Patches) {
    const auto size = static_cast<std::int64_t>(patch.Bytes.size());
    const std::int64_t from = std::max(offset, patch.Offset);
    const std::int64_t to = std::min(end, patch.Offset + size);
    for (std::int64_t at = from; at < to; ++at) {
      bytes[at - offset] = static_cast<unsigned char>(patch.Bytes[at - patch.Offset]);
    }
  }
}

std::string RepairTarget(const std::string& folder, const std::string& path,
                         const std::string& full_path, char separator) {
  std::vector<std::string> parts = Components(path, separator);
  const bool rooted = path.empty() || path[0] == '/' || path[0] == separator ||
                      (separator == '\\' && path.size() > 1 && path[1] == ':');
  if (rooted || std::find(parts.begin(), parts.end(), "..") != parts.end()) {
    parts = Components(full_path, separator);
    // A drive's name ("C:") becomes a folder's ("C").
    if (!parts.empty() && parts[0].size() == 2 && parts[0][1] == ':') {
      parts[0].pop_back();
    }
  }
  std::string target = folder;
  for (const std::string& part : parts) {
    if (!target.empty() && target.back() != '/' && target.back() != separator) {
      target.push_back(separator);
    }
    target += part;
  }
  return target;
}

std::string WriteCopy(const std::string& original, const RepairPlan& plan,
                      const std::string& target) {
  const std::size_t split = target.find_last_of(std::string("/") + Folders.Separator);
  const std::string parent = split == std::string::npos ? "." : target.substr(0, split);
  const std::string base = split == std::string::npos ? target : target.substr(split + 1);
  const FsError made = Folders.MakeFolders(parent);
  if (made != FsError::kNone) {
    return "the folder " + parent + " could not be made: " + FsErrorText(made);
  }
  FileHandle copy = 0;
  std::string temporary;
  FsError created = FsError::kExists;
  for (int attempt = 0; attempt < 100 && created == FsError::kExists; ++attempt) {
    temporary = parent + Folders.Separator + "." + base + ".sondrax-" + std::to_string(attempt);
    created = Folders.CreateNew(temporary, &copy);
  }
  if (created != FsError::kNone) {
    return "no temporary file could be made in " + parent + ": " + FsErrorText(created);
  }
  FileHandle input = 0;
  std::string failed = "the original could not be opened again";
  if (Platform.OpenRead(original, &input) == 0) {
    failed = CopyBytes(input, copy, plan);
    Platform.Close(input);
  }
  const FsError finished = Folders.FinishNew(copy);
  if (failed.empty() && finished != FsError::kNone) {
    failed = "the copy could not be written: " + FsErrorText(finished);
  }
  if (failed.empty()) {
    const FsError moved = Folders.MoveNoReplace(temporary, target);
    if (moved == FsError::kExists) {
      failed = target + " exists already and is kept";
    } else if (moved != FsError::kNone) {
      failed = "the copy could not be given its name: " + FsErrorText(moved);
    }
  }
  if (!failed.empty()) {
    Folders.Remove(temporary);
  }
  return failed;
}

RepairNote RepairCopy(const std::string& path, const DiagnosisRec& diagnosis,
                      const std::string& folder) {
  RepairNote note;
  note.Tried = true;
  note.Copy = RepairTarget(folder, path, FullPathOf(path), Folders.Separator);
  PathKind kind = PathKind::kOther;
  // Windows says "no such path" where a folder of the copy's path is still to be made.
  const FsError there = Folders.KindOf(note.Copy, &kind);
  if (there != FsError::kNotFound && there != FsError::kNoPath) {
    note.Why = there == FsError::kNone ? note.Copy + " exists already and is kept"
                                       : note.Copy + ": " + FsErrorText(there);
    return note;
  }
  const RepairPlan plan = PlanRepair(diagnosis);
  if (plan.CopyLength == 0) {
    note.Why = "the ds64 chunk cannot be found";
    return note;
  }
  note.Why = WriteCopy(path, plan, note.Copy);
  if (!note.Why.empty()) {
    return note;
  }
  const DiagnosisRec check = Diagnose(note.Copy);
  if (check.Worst != Severity::kInfo) {
    Folders.Remove(note.Copy);
    note.Why = "the copy was judged " + std::string(VerdictName(check)) + " (" + check.Reason +
               ") and removed";
    return note;
  }
  note.Written = true;
  return note;
}

}  // namespace sondrax
