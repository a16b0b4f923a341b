#include "check/Check.h"
#include "platform/Platform.h"

int main(int argc, char** argv) {
  sondrax::Platform.Startup();
  return sondrax::RunCheck(sondrax::Platform.Arguments(argc, argv));
}
