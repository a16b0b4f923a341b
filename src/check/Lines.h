// The lines sondrax-check writes: one file's line in each of its three forms (a row of the
// terminal's table, a tab-separated line for programs, a JSON object), the table's closing
// counts, and how a name or a reason is shown so that no control character and no byte that
// is not UTF-8 reaches the output as it is.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "diagnosis/Diagnosis.h"
#include "platform/Folders.h"

namespace sondrax {

/// `text` as it is shown: valid UTF-8 stays, but for these, written as `\xNN` (two lowercase
/// hexadecimal digits a byte): a byte that is not part of valid UTF-8, a control character
/// (0x00 to 0x1F, 0x7F, and U+0080 to U+009F, which an 8-bit terminal takes for controls),
/// and with `ascii_only` every byte above 0x7F. A backslash is doubled where it stands before
/// an `x`, another backslash or an escaped byte, so that the shown text can be read back
/// exactly: `\\` is a backslash, `\xNN` a byte, any other backslash itself.
std::string ShownText(std::string_view text, bool ascii_only = false);

/// Whether `text` is valid UTF-8.
bool IsUtf8(std::string_view text);

/// Why a call of the folder seam failed, as the end of a sentence: "no such file or folder".
std::string FsErrorText(FsError error);

/// What a repair did for a file, for its line.
struct RepairNote {
  bool Tried = false;    // the file's only faults were its sizes
  bool Written = false;  // the copy was written and judged ok
  std::string Copy;      // the copy's path
  std::string Why;       // when not written: why, one sentence
};

/// The reason a line shows: the diagnosis's, and what became of a repair.
std::string LineReason(const DiagnosisRec& diagnosis, const RepairNote& repair);

/// "verdict<TAB>path<TAB>reason" and a line end.
std::string PipeLine(std::string_view path, const DiagnosisRec& diagnosis,
                     const RepairNote& repair);

/// A row of the terminal's table: the verdict in a column of its own, the path, the reason;
/// `ascii_only` for a terminal whose character set is not UTF-8.
std::string TableRow(std::string_view path, const DiagnosisRec& diagnosis, const RepairNote& repair,
                     bool ascii_only);

/// The diagnosis's JSON with the path first ("path", and "pathEscaped" when the name is not
/// UTF-8 and "path" holds its ShownText) and, when `with_repair`, "repair"; one line.
std::string JsonLine(std::string_view path, const DiagnosisRec& diagnosis, const RepairNote& repair,
                     bool with_repair);

/// How many files had each verdict, in the order ok, warning, problem, not-wave, unreadable.
using VerdictCounts = std::array<std::int64_t, 5>;

/// The index of a diagnosis's verdict in VerdictCounts.
std::size_t VerdictIndex(const DiagnosisRec& diagnosis);

/// The table's closing line: "5 files: 2 ok, 1 warning, 1 problem, 0 not-wave, 1
/// unreadable", and the repaired copies when a repair was asked for.
std::string CountsLine(const VerdictCounts& counts, bool repairing, std::int64_t repaired);

}  // namespace sondrax
