#include "Sondrax.h"
#include "platform/Platform.h"

int main(int argc, char** argv) {
  sondrax::Platform.Startup();
  return sondrax::RunSondrax(sondrax::Platform.Arguments(argc, argv));
}
