// The entry point of the WebAssembly build. The page's worker calls SondraxReport for each file
// the user gives it, in the same module: every run starts from fresh state.
#include <emscripten.h>

#include "Sondrax.h"
#include "platform/Platform.h"

namespace sondrax {
namespace {

// A UTF-8 terminal, as far as the report is concerned: its code page 437 bytes arrive as the
// glyphs a console shows, and bytes from the file never act as control codes.
int TerminalStreamType(int stream, StreamKind* kind) {
  const int error = PlatformStreamType(stream, kind);
  if (error == 0) {
    *kind = StreamKind::kTerminal;
  }
  return error;
}

TerminalCharset Utf8Charset() { return TerminalCharset::kUtf8; }

}  // namespace
}  // namespace sondrax

/// Makes the report on the host's file `name` (see PlatformWeb.cc); the report and any error
/// text go to the host's writeOutput. With `as_shown` 0 they are the exact bytes a file or a
/// pipe receives; otherwise they are what a UTF-8 terminal receives, which is what the page
/// shows: only there can the program tell its own line ends and backspace from the file's
/// bytes. Returns the exit code.
extern "C" EMSCRIPTEN_KEEPALIVE int SondraxReport(const char* name, int as_shown) {
  using namespace sondrax;
  Platform = PlatformDefaults();
  if (as_shown != 0) {
    Platform.StreamType = TerminalStreamType;
    Platform.Charset = Utf8Charset;
  }
  return RunSondrax({"sondrax", name});
}
