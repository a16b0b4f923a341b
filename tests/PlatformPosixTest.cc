// The POSIX platform layer's module name, which the fatal error text shows: the name of the file
// that runs, from /proc/self/exe, or where there is no /proc the name the program was started by.
#ifndef _WIN32

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "TestUtil.h"
#include "platform/PathText.h"
#include "platform/Platform.h"

namespace sondrax {
namespace {

TEST(PosixModuleName, IsTheRunningFilesNameWhateverArgvZeroSays) {
  char name[] = "/elsewhere/renamed";
  char* argv[] = {name, nullptr};
  ASSERT_EQ(PlatformDefaults().Arguments(1, argv).size(), 1u);
  EXPECT_EQ(PlatformDefaults().ModuleName(), "sondrax_tests");
}

TEST(PosixModuleName, WithoutProcItIsTheNameTheProgramWasStartedBy) {
  if (*test::kEmulator != '\0') {
    GTEST_SKIP() << "qemu answers /proc/self/exe itself, whether /proc exists or not";
  }
  // A file that ends after "RIFF" gives the fatal error text, with the module name in it. The
  // program is started through a link of another name.
  const std::string file = test::WriteTempFile("module_name.wav", "RIFF");
  const std::string link = test::TempPath("renamed-sondrax");
  unlink(link.c_str());
  ASSERT_EQ(symlink(SONDRAX_BINARY, link.c_str()), 0);
  auto error_line = [&](const std::string& prefix) {
    const std::string command = prefix + "'" + link + "' '" + file + "'";
    const test::RunResult result = test::RunShell(command);
    EXPECT_EQ(result.Code, 1) << command;
    // From "Exception" on: a sanitizer build without /proc warns before it.
    const std::string text = test::MaskLocation(result.Err);
    const std::size_t begin = std::min(text.find("Exception "), text.size());
    return text.substr(begin, text.find('\r', begin) - begin);
  };

  EXPECT_EQ(error_line(""),
            "Exception EInOutError in Modul " + BaseName(SONDRAX_BINARY) + " bei XXXXXXXX.");
  // A mount namespace of its own with an empty /proc.
  const char hide_proc[] = "unshare -rm sh -c 'mount -t tmpfs none /proc && exec \"$0\" \"$1\"' ";
  if (std::system("unshare -rm sh -c 'mount -t tmpfs none /proc' >/dev/null 2>&1") != 0) {
    unlink(link.c_str());
    GTEST_SKIP() << "cannot hide /proc here: unshare -rm needs user namespaces";
  }
  EXPECT_EQ(error_line(hide_proc),
            "Exception EInOutError in Modul " + BaseName(link) + " bei XXXXXXXX.");
  unlink(link.c_str());
}

}  // namespace
}  // namespace sondrax

#endif
