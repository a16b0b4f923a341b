// The entry point of the WebAssembly build. The page's worker calls SondraxReport once for
// each file the user gives it, in the same module: every run starts from fresh state.
#include <emscripten.h>

#include "Sondrax.h"

/// Makes the report on the host's file `name` (see PlatformWeb.cc); the report and any error
/// text go to the host's writeOutput. Returns the exit code.
extern "C" EMSCRIPTEN_KEEPALIVE int SondraxReport(const char* name) {
  return sondrax::RunSondrax({"sondrax", name});
}
