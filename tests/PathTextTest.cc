#include <gtest/gtest.h>

#include "platform/PathText.h"

namespace sondrax {
namespace {

TEST(ResolvePosixPath, JoinsResolvesAndCollapses) {
  struct Row {
    const char* Dir;
    const char* Name;
    const char* Full;
  };
  const Row rows[] = {
      {"/home/u", "a.wav", "/home/u/a.wav"},
      {"/home/u", "./a.wav", "/home/u/a.wav"},
      {"/home/u", "../a.wav", "/home/a.wav"},
      {"/home/u", "../../../../a.wav", "/a.wav"},
      {"/home/u", "x//y///a.wav", "/home/u/x/y/a.wav"},
      {"/home/u", "/abs/./b/../c.wav", "/abs/c.wav"},
      {"/home/u", "dir/", "/home/u/dir"},
      {"/home/u", ".", "/home/u"},
      {"/", "..", "/"},
      {"/", "a", "/a"},
      {"/home/u", "-dash name .wav", "/home/u/-dash name .wav"},
      {"/home/u", "...", "/home/u/..."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    EXPECT_EQ(ResolvePosixPath(row.Dir, row.Name), row.Full);
  }
}

TEST(ResolvePosixPath, LongNamesAreKeptWhole) {
  const std::string component(200, 'x');
  std::string name;
  for (int i = 0; i < 30; ++i) {
    name += component + "/";
  }
  name += "f.wav";
  const std::string full = ResolvePosixPath("/d", name);
  EXPECT_EQ(full, "/d/" + name);
  EXPECT_EQ(full.substr(full.size() - 6), "/f.wav");
}

TEST(BaseName, TakesTheTextAfterTheLastSeparator) {
  EXPECT_EQ(BaseName("/usr/bin/sondrax"), "sondrax");
  EXPECT_EQ(BaseName("C:\\Tools\\SONDRAX.EXE"), "SONDRAX.EXE");
  EXPECT_EQ(BaseName("sondrax"), "sondrax");
}

}  // namespace
}  // namespace sondrax
