// Repair, never in place: a copy of a file whose only fault is its size fields (never
// finalised, sizes left as a streaming writer's placeholders, a RIFF size that is off, a RIFF
// file past 4 GiB), the same bytes with the sizes rewritten, and RF64 where the samples need
// it. The original is opened for reading only; the copy is written under a temporary name,
// moved to its name only where nothing stands, read back, and removed unless it judges ok.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "check/Lines.h"
#include "diagnosis/Diagnosis.h"

namespace sondrax {

/// Bytes of the copy that differ from the original's at the same offset.
struct PatchRec {
  std::int64_t Offset = 0;  // in the original
  std::string Bytes;
};

/// How the copy is made from the original: its bytes with the patches, and `Inserted` after
/// the original's first `InsertAt` bytes (a ds64 chunk where a RIFF file becomes RF64).
struct RepairPlan {
  std::vector<PatchRec> Patches;
  std::int64_t InsertAt = 12;
  std::string Inserted;
  std::int64_t CopyLength = 0;  // the original's bytes that are copied
};

/// Whether the diagnosis's findings of warning and worse are all about the size fields, so
/// that rewriting them makes the file sound.
bool SizesOnlyFault(const DiagnosisRec& diagnosis);

/// The plan for a file that SizesOnlyFault accepts. An RF64 or BW64 file keeps its ds64
/// chunk, with the sizes in it rewritten; a RIFF file whose sizes no longer fit 32 bits gets
/// one after its header and becomes RF64. Without a ds64 chunk where one is needed the plan
/// copies nothing (CopyLength 0).
RepairPlan PlanRepair(const DiagnosisRec& diagnosis);

/// Writes over `bytes`, which hold the original's bytes from `offset` on, the patches that
/// fall into them.
void ApplyPatches(const RepairPlan& plan, std::int64_t offset, unsigned char* bytes,
                  std::size_t count);

/// Where the copy of `path` goes under `folder`: the path itself below it when it is relative
/// and never climbs with "..", else its absolute form `full_path` without its root.
std::string RepairTarget(const std::string& folder, const std::string& path,
                         const std::string& full_path, char separator);

/// Writes the plan's copy of `original` to `target`: under a temporary name in the target's
/// folder (made when missing), flushed, then moved to `target` only where nothing stands.
/// Returns "" or why no copy was written; nothing of a failed copy is left behind.
std::string WriteCopy(const std::string& original, const RepairPlan& plan,
                      const std::string& target);

/// Repairs `path` (judged `diagnosis`) into a copy under `folder`, for a file SizesOnlyFault
/// accepts; says what became of it. Never opens the original for writing and never writes over
/// an existing file.
RepairNote RepairCopy(const std::string& path, const DiagnosisRec& diagnosis,
                      const std::string& folder);

}  // namespace sondrax
