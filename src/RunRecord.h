// Filling the run's record (RunRecordRec in UTypes) as the walk goes. The report never reads
// the record: it is for readers that are not a person at a console (the page).
#pragma once

#include <cstdint>

#include "UTypes.h"
#include "report/InputFile.h"

namespace sondrax {

/// ReadExact of an 8-byte header into `header`; when `walk` and the read succeeded, the header
/// is noted in Run.Record as one the walk met (INFO item headers are not).
void ReadHeaderNoted(InputFileRec& file, std::uint8_t* header, bool walk);

/// Notes that the walk passed over `zeros` more zero bytes after the empty header it noted
/// last, and returns the bytes of whole headers among them, which the walk passes over.
std::int64_t NoteZeroRun(std::int64_t zeros);

/// Notes the RIFF header, just read and checked against the file's `length`, as the record's
/// first chunk; returns it.
const RiffHeaderRec& NoteRiff(const RiffHeaderRec& header, std::int64_t length);

/// Notes the result of the open (0 or the platform's error number) and returns it.
int NoteOpen(int error, const InputFileRec& file);

/// Notes the reason and ends the run on a file the report rejects (the message is written).
[[noreturn]] void StopOnBadFile(StopReason reason);

/// Notes how the run ended, from the exception that ended it, and returns its exit code.
int NoteEnd(const RunEnded& ended);

/// Completes the record after the run: the length, a missing fact chunk.
void NoteRunDone(const InputFileRec& file);

}  // namespace sondrax
