// The entry point of the WebAssembly build. The page's worker calls SondraxReport for each file
// the user gives it, in the same module: every run starts from fresh state.
#include <emscripten.h>

#include "Sondrax.h"
#include "platform/PlatformWeb.h"

/// Makes the report on the host's file `name` (see PlatformWeb.cc); the report and any error
/// text go to the host's writeOutput. With `as_shown` 0 they are the exact bytes a file or a
/// pipe receives; otherwise they are what a UTF-8 terminal receives, which is what the page
/// shows. Returns the exit code.
extern "C" EMSCRIPTEN_KEEPALIVE int SondraxReport(const char* name, int as_shown) {
  sondrax::PlatformWebShownOnTerminal(as_shown != 0);
  return sondrax::RunSondrax({"sondrax", name});
}
