// What the browser layer offers beyond the table of platform calls: the page asks for each
// report either as the bytes a file receives or as a terminal shows them.
#pragma once

#include <functional>
#include <string>

namespace sondrax {

/// false (the start): both streams reach the host as the exact bytes a file or a pipe
/// receives. true: as a UTF-8 terminal receives them, which is what the page shows: only there
/// can the program tell its own line ends and backspace from the file's bytes.
void PlatformWebShownOnTerminal(bool shown);

/// A text the host hands over as UTF-8 through `copy(buffer, size)`, which writes it with its
/// NUL into `buffer` when it fits in `size` bytes and returns the bytes it needs with the NUL,
/// or 0 when there is none. false when there is none.
bool HostText(const std::function<int(char*, int)>& copy, std::string* text);

/// The name of the system's error behind the host's last failure ("ENOENT", as node gives it),
/// "" when it was no system's error.
std::string HostErrorCode();

/// The system's errno value behind the host's last failure; 0 when it has none.
int HostErrorErrno();

}  // namespace sondrax
