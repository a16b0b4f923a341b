// What the browser layer offers beyond the table of platform calls: the page asks for each
// report either as the bytes a file receives or as a terminal shows them.
#pragma once

namespace sondrax {

/// false (the start): both streams reach the host as the exact bytes a file or a pipe
/// receives. true: as a UTF-8 terminal receives them, which is what the page shows: only there
/// can the program tell its own line ends and backspace from the file's bytes.
void PlatformWebShownOnTerminal(bool shown);

}  // namespace sondrax
