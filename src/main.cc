#include "Sondrax.h"
#include "platform/Platform.h"

int main(int argc, char** argv) {
  sondrax::PlatformStartup();
  return sondrax::RunSondrax(sondrax::PlatformArguments(argc, argv));
}
