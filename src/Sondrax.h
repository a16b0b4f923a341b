// The run sequence and the report sections.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sondrax {

/// One whole run: banner, argument, open, the report sections in file order, close.
/// `args` are the program's arguments, program name first. Resets all run state first, hands
/// the pending output over on every path and returns the exit code: 0 after a complete
/// report, the syntax text or a stop on a bad file; 1 after a failed open or the fatal error
/// report.
int RunSondrax(const std::vector<std::string>& args);

/// Writes " [", the first min(count, 12) bytes as "XX ", and the closing: backspace and "]"
/// for a count up to 12, "...]" above; then ends the line. A count of 0 or less shows no
/// byte. Never reads past bytes[11].
void HexDump(const unsigned char* bytes, std::int64_t count);

}  // namespace sondrax
