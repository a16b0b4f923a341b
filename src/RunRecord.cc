// Filling the run's record (UTypes) as the walk goes: each function stands in one statement of
// the walk, so that the report's statements, and the code locations of their failures, stay
// where they are.
#include "RunRecord.h"

#include <cstring>

#include "report/Output.h"

namespace sondrax {

namespace {

// A header's size as the walk reads it: unsigned in a file of 2 GiB or more.
std::int64_t WalkSize(const unsigned char* bytes) {
  return Run.LargeFile ? std::int64_t{LeU32(bytes)} : std::int64_t{LeI32(bytes)};
}

void NoteChunk(std::int64_t offset, const unsigned char* header) {
  RunRecordRec& record = Run.Record;
  if (record.Chunks.size() >= RunRecordRec::kChunksKept) {
    ++record.ChunksLeftOut;
    return;
  }
  WalkChunkRec& chunk = record.Chunks.emplace_back();
  chunk.Offset = offset;
  std::memcpy(chunk.Id, header, 4);
  chunk.Size = WalkSize(header + 4);
}

}  // namespace

void ReadHeaderNoted(InputFileRec& file, std::uint8_t* header, bool walk) {
  const std::int64_t offset = CurrentPos(file);
  ReadExact(file, header, 8);
  if (walk && IoError == 0) {
    NoteChunk(offset, header);
  }
}

std::int64_t NoteZeroRun(std::int64_t zeros) {
  RunRecordRec& record = Run.Record;
  if (record.ChunksLeftOut == 0 && !record.Chunks.empty()) {
    record.Chunks.back().Headers += zeros / 8;
  } else {
    record.ChunksLeftOut += zeros / 8;
  }
  return zeros / 8 * 8;
}

const RiffHeaderRec& NoteRiff(const RiffHeaderRec& header, std::int64_t length) {
  RunRecordRec& record = Run.Record;
  NoteChunk(0, header.Bytes);
  std::memcpy(record.Form, header.Form(), 4);
  // As the size line compares them: the length is the one the header's read left.
  const std::int64_t size = WalkSize(header.Bytes + 4);
  record.SizeExact = size != 0 && length - 8 == size;
  return header;
}

int NoteOpen(int error, const InputFileRec& file) {
  if (error != 0) {
    Run.Record.End = RunEnd::kOpenFailed;
    Run.Record.Error = error;
  } else {
    Run.Record.Length = file.Length;
  }
  return error;
}

void StopOnBadFile(StopReason reason) {
  Run.Record.End = RunEnd::kStopped;
  Run.Record.Stop = reason;
  StopRun();
}

int NoteEnd(const RunEnded& ended) {
  RunRecordRec& record = Run.Record;
  if (ended.ExitCode == 0) {
    record.End = RunEnd::kStopped;
  } else if (record.End != RunEnd::kOpenFailed) {
    record.End = RunEnd::kFatal;
    record.Error = ended.Error;
    record.ErrorClass = ended.ErrorClass;
  }
  return ended.ExitCode;
}

void NoteRunDone(const InputFileRec& file) {
  RunRecordRec& record = Run.Record;
  if (record.Length >= 0) {
    record.Length = file.Length;  // a file may grow while it is read
  }
  // The walk reached the data header without a chunk between "fmt " and "data", and the
  // format needs one: the report said so and went on.
  const std::uint16_t tag = Run.FormatChunk.FormatTag();
  record.FactMissing =
      IdText(Run.DataChunk.Id()) == "data" && !Run.FactSeen && tag != 1 && tag != 3;
}

}  // namespace sondrax
