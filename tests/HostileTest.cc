// The real executable in a hostile environment: a pipe whose reader has gone, a closed
// standard error, files that shrink, vanish or cannot be read, odd names and very long paths,
// and a real terminal fed with escape sequences from the file. Every case must end with a
// message and the right exit code, leave the input file as it was, and never lose report bytes
// without saying so.
#ifndef _WIN32

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "Sondrax.h"
#include "TestUtil.h"
#include "platform/PathText.h"
#include "platform/Platform.h"
#include "report/InputFile.h"

namespace sondrax {
namespace {

using test::Cp437;

// ---- Starting the executable -------------------------------------------------------------

struct Child {
  std::vector<std::string> Args;       // after the program's name
  std::vector<std::string> Directory;  // working directory, entered one component at a time
  int Stdout = -1;                     // a descriptor to use as standard output; -1: captured
  bool CloseStderr = false;
  bool AsNobody = false;  // drop root's rights (uid and gid 65534) before exec
};

struct Outcome {
  std::string Out;
  std::string Err;
  int Code = -1;   // exit code, or -1 when the process did not exit by itself
  int Signal = 0;  // the signal that ended it, if any
  bool TimedOut = false;
  bool CouldNotStart = false;  // the child could not take the requested rights or exec
};

constexpr int kChildSetupFailed = 126;
constexpr int kExecFailed = 127;

// A started child whose standard output and error go to capture files.
struct Started {
  pid_t Pid = -1;
  std::string OutPath;
  std::string ErrPath;
};

Started Start(const Child& child) {
  Started started;
  started.OutPath = test::TempPath("hostile_stdout");
  started.ErrPath = test::TempPath("hostile_stderr");
  const int out_fd = open(started.OutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const int err_fd = open(started.ErrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const int null_fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (out_fd < 0 || err_fd < 0 || null_fd < 0) {
    ADD_FAILURE() << "cannot make the capture files: " << std::strerror(errno);
    return started;
  }
  // Everything the child needs is made before fork: after it only system calls are safe.
  std::vector<std::string> args = {SONDRAX_BINARY};
  if (*test::kEmulator != '\0') {
    args.insert(args.begin(), test::kEmulator);
  }
  args.insert(args.end(), child.Args.begin(), child.Args.end());
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (std::string& arg : args) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);

  started.Pid = fork();
  if (started.Pid == 0) {
    // The program must protect itself against SIGPIPE: do not inherit an ignored one.
    signal(SIGPIPE, SIG_DFL);
    dup2(null_fd, 0);
    dup2(child.Stdout >= 0 ? child.Stdout : out_fd, 1);
    dup2(err_fd, 2);
    if (child.CloseStderr) {
      close(2);
    }
    for (const std::string& step : child.Directory) {
      if (chdir(step.c_str()) != 0) {
        _exit(kChildSetupFailed);
      }
    }
    if (child.AsNobody) {
      const gid_t nobody = 65534;
      if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0) {
        _exit(kChildSetupFailed);
      }
    }
    execv(argv[0], argv.data());
    _exit(kExecFailed);
  }
  if (started.Pid < 0) {
    ADD_FAILURE() << "fork: " << std::strerror(errno);
  }
  close(out_fd);
  close(err_fd);
  close(null_fd);
  return started;
}

Outcome Finish(const Started& started) {
  Outcome outcome;
  if (started.Pid <= 0) {
    return outcome;
  }
  // Generous for a sanitizer build under load; a report takes milliseconds.
  int status = 0;
  const timespec pause = {0, 5'000'000};
  for (int waited = 0; waitpid(started.Pid, &status, WNOHANG) == 0; ++waited) {
    if (waited == 6000) {
      kill(started.Pid, SIGKILL);
      waitpid(started.Pid, &status, 0);
      outcome.TimedOut = true;
      break;
    }
    nanosleep(&pause, nullptr);
  }
  if (WIFEXITED(status)) {
    outcome.Code = WEXITSTATUS(status);
    outcome.CouldNotStart = outcome.Code == kChildSetupFailed || outcome.Code == kExecFailed;
  } else if (WIFSIGNALED(status)) {
    outcome.Signal = WTERMSIG(status);
  }
  outcome.Out = test::ReadFile(started.OutPath);
  outcome.Err = test::ReadFile(started.ErrPath);
  unlink(started.OutPath.c_str());
  unlink(started.ErrPath.c_str());
  return outcome;
}

Outcome Spawn(const Child& child) { return Finish(Start(child)); }

Outcome Report(const std::string& path) { return Spawn(Child{{path}, {}, -1, false, false}); }

// The fatal error text of the executable for a failure of input or output.
std::string FatalText(const std::string& message) {
  return test::FatalText("EInOutError", message, BaseName(SONDRAX_BINARY));
}

// ---- Files -------------------------------------------------------------------------------

std::string PcmWithInfo() {
  return test::WavBuilder()
      .Chunk("fmt ", test::FmtBody(1, 1, 8000, 8000, 1, 8))
      .Chunk("data", "samples")
      .Chunk("LIST", test::InfoList({{"INAM", "Title"}, {"IART", "Artist"}}))
      .Bytes();
}

// Many chunks reported as fact: a report of about 74 bytes for every 8 bytes of file.
std::string LongReportFile(int chunks) {
  test::WavBuilder builder;
  builder.Chunk("fmt ", test::FmtBody(1, 1, 8000, 8000, 1, 8));
  for (int i = 0; i < chunks; ++i) {
    builder.Chunk("fact", "");
  }
  return builder.Chunk("data", "ab").Bytes();
}

struct FileState {
  std::string Bytes;
  struct stat Info {};
};

FileState Snapshot(const std::string& path) {
  FileState state;
  state.Bytes = test::ReadFile(path);
  EXPECT_EQ(stat(path.c_str(), &state.Info), 0) << path;
  return state;
}

// Reading may change the access time; nothing else about the file may change.
void ExpectUnchanged(const FileState& before, const std::string& path) {
  const FileState after = Snapshot(path);
  EXPECT_EQ(after.Bytes, before.Bytes);
  EXPECT_EQ(after.Info.st_size, before.Info.st_size);
  EXPECT_EQ(after.Info.st_ino, before.Info.st_ino);
  EXPECT_EQ(after.Info.st_mode, before.Info.st_mode);
  EXPECT_EQ(after.Info.st_mtim.tv_sec, before.Info.st_mtim.tv_sec);
  EXPECT_EQ(after.Info.st_mtim.tv_nsec, before.Info.st_mtim.tv_nsec);
  EXPECT_EQ(after.Info.st_ctim.tv_sec, before.Info.st_ctim.tv_sec);
  EXPECT_EQ(after.Info.st_ctim.tv_nsec, before.Info.st_ctim.tv_nsec);
}

// A file whose modification time lies in the past, so that any write would show.
std::string OldFile(const std::string& name, const std::string& bytes) {
  std::string path = test::WriteTempFile(name, bytes);
  const timespec times[2] = {{978307200, 0}, {978307200, 0}};  // 2001-01-01
  EXPECT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  return path;
}

// ---- A pipe whose reader has gone --------------------------------------------------------

TEST(BrokenPipe, ReaderGoneBeforeTheFirstWrite) {
  const std::string path = test::WriteTempFile("hostile_pipe.wav", PcmWithInfo());
  int ends[2];
  // Close-on-exec: a read end left open in the program would keep the pipe from breaking.
  ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
  close(ends[0]);
  const Outcome outcome = Spawn(Child{{path}, {}, ends[1], false, false});
  close(ends[1]);
  EXPECT_EQ(outcome.Signal, 0) << "ended by a signal, not by the fatal error report";
  EXPECT_EQ(outcome.Code, 1);
  EXPECT_EQ(test::MaskLocation(outcome.Err), FatalText("E/A-Fehler 109."));
}

TEST(BrokenPipe, ReaderGoneInTheMiddleOfTheReport) {
  // 20000 chunks give a report of about 1.5 MB, far more than a pipe holds, so the program is
  // still writing when the reader goes away after 4096 bytes.
  const std::string path = test::WriteTempFile("hostile_pipe_long.wav", LongReportFile(20000));
  const Outcome whole = Report(path);
  ASSERT_EQ(whole.Code, 0);
  ASSERT_GT(whole.Out.size(), 1'000'000u);

  int ends[2];
  // Close-on-exec: a read end left open in the program would keep the pipe from breaking.
  ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
  const Started writer = Start(Child{{path}, {}, ends[1], false, false});
  close(ends[1]);
  std::string received(4096, '\0');
  std::size_t got = 0;
  while (got < received.size()) {
    const ssize_t n = read(ends[0], received.data() + got, received.size() - got);
    if (n <= 0) {
      break;
    }
    got += static_cast<std::size_t>(n);
  }
  close(ends[0]);
  const Outcome outcome = Finish(writer);
  EXPECT_EQ(got, received.size());
  EXPECT_EQ(received, whole.Out.substr(0, received.size()));
  EXPECT_EQ(outcome.Signal, 0);
  EXPECT_EQ(outcome.Code, 1);
  EXPECT_EQ(test::MaskLocation(outcome.Err), FatalText("E/A-Fehler 109."));
}

// ---- Standard error closed, standard output into the input file --------------------------

TEST(StandardStreams, ClosedStandardErrorStillEndsTheRunAndTheInputStaysUntouched) {
  // With descriptor 2 closed, the input file is opened as descriptor 2, and the error text is
  // written to it: the file is open for reading only, so the write fails and nothing changes.
  const std::string bytes = PcmWithInfo().substr(0, 30);
  const std::string path = OldFile("hostile_stderr.wav", bytes);
  const FileState before = Snapshot(path);
  const Outcome with_stderr = Report(path);
  ASSERT_EQ(with_stderr.Code, 1);

  const Outcome closed = Spawn(Child{{path}, {}, -1, true, false});
  EXPECT_EQ(closed.Signal, 0);
  EXPECT_EQ(closed.Code, 1);
  EXPECT_EQ(closed.Out, with_stderr.Out);
  ExpectUnchanged(before, path);

  const std::string good = test::WriteTempFile("hostile_stderr_good.wav", PcmWithInfo());
  const Outcome complete = Spawn(Child{{good}, {}, -1, true, false});
  EXPECT_EQ(complete.Code, 0);
  EXPECT_EQ(complete.Out, Report(good).Out);
}

TEST(StandardStreams, ReportAppendedToItsOwnInputFileStillEnds) {
  // `sondrax f.wav >>f.wav`: the file grows with every hand-over, and the LIST search reads the
  // report's own text as chunk headers. Text bytes make sizes of 0x20202020 and more, so the
  // search jumps past the end; the run must end like any other.
  const std::string bytes = PcmWithInfo();
  const std::string path = test::WriteTempFile("hostile_self.wav", bytes);
  const int appended = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  ASSERT_GE(appended, 0);
  const Outcome outcome = Spawn(Child{{path}, {}, appended, false, false});
  close(appended);
  EXPECT_FALSE(outcome.TimedOut);
  EXPECT_EQ(outcome.Code, 0);
  EXPECT_EQ(outcome.Err, "");
  const std::string grown = test::ReadFile(path);
  ASSERT_GT(grown.size(), bytes.size());
  EXPECT_EQ(grown.substr(0, bytes.size()), bytes);
  const std::string report = grown.substr(bytes.size());
  EXPECT_EQ(report.substr(0, test::Banner().size()), test::Banner());
  const std::string last = Cp437("■ LIST              :          ÷\n");
  ASSERT_GT(report.size(), last.size());
  EXPECT_EQ(report.substr(report.size() - last.size()), last);
}

// ---- Files that shrink, grow or vanish while open ----------------------------------------

// The report reaches a fake character device (every statement handed over at once), which
// changes the input file as soon as a given text has reached it. The program reads through a
// window: what it shows is the file as it was when the part shown was fetched.
test::FakeOptions ChangeAfter(const std::string& trigger,
                              std::function<void(test::MemoryFile&)> change) {
  test::FakeOptions options;
  options.Kind = StreamKind::kCharDevice;
  options.Trigger = trigger;
  options.Change = std::move(change);
  return options;
}

test::RunResult Masked(test::RunResult result) {
  EXPECT_TRUE(result.Changed) << "the trigger text never came";
  result.Err = test::MaskLocation(result.Err);
  return result;
}

const std::string kShortRead =
    test::FatalText("EInOutError", "Versuch hinter dem Dateiende zu lesen.");

// A PCM file whose INFO list lies far behind its first bytes: beyond the first window.
std::string PcmWithInfoFarOn() {
  return test::WavBuilder()
      .Chunk("fmt ", test::FmtBody(1, 1, 8000, 8000, 1, 8))
      .Chunk("data", std::string(2 * WindowMax, 's'))
      .Chunk("LIST", test::InfoList({{"INAM", "Title"}, {"IART", "Artist"}}))
      .Bytes();
}

TEST(ChangingFile, ShrinkingBeforeAReadEndsWithTheReadError) {
  // A JUNK chunk first, so that the "fmt " header lies beyond the first window.
  const std::string bytes = test::WavBuilder()
                                .Chunk("JUNK", std::string(3 * WindowMin, 'j'))
                                .Chunk("fmt ", test::FmtBody(1, 1, 8000, 8000, 1, 8))
                                .Chunk("data", "samples")
                                .Bytes();
  const auto cut = Masked(
      test::RunOnBytes(bytes, ChangeAfter(Cp437("WAVE                :          √\n"),
                                          [](test::MemoryFile& file) { file.Bytes.resize(12); })));
  const std::string end = Cp437("√\n■ fmt               : ");
  ASSERT_GE(cut.Out.size(), end.size());
  EXPECT_EQ(cut.Out.substr(cut.Out.size() - end.size()), end);
  EXPECT_EQ(cut.Err, kShortRead);
  EXPECT_EQ(cut.Code, 1);
}

TEST(ChangingFile, BytesAlreadyFetchedAreReportedAsTheyWere) {
  // The whole small file came with the first window: cutting it afterwards changes nothing.
  const std::string bytes = PcmWithInfo();
  const auto normal = test::RunOnBytes(bytes);
  const auto cut = Masked(
      test::RunOnBytes(bytes, ChangeAfter(Cp437("WAVE                :          √\n"),
                                          [](test::MemoryFile& file) { file.Bytes.resize(12); })));
  EXPECT_EQ(cut.Out, normal.Out);
  EXPECT_EQ(cut.Code, 0);
}

TEST(ChangingFile, AtTheEndTheLengthIsAskedAfresh) {
  const std::string bytes = PcmWithInfoFarOn();
  const std::size_t list_at = bytes.rfind("LIST");
  ASSERT_NE(list_at, std::string::npos);

  // Cut back to the end of the samples before the LIST search reads there: the file ended.
  const auto shrunk = Masked(test::RunOnBytes(
      bytes, ChangeAfter(Cp437("■ LIST              : "),
                         [&](test::MemoryFile& file) { file.Bytes.resize(list_at); })));
  EXPECT_EQ(shrunk.Out.substr(shrunk.Out.size() - 22), Cp437("■ LIST              : "));
  EXPECT_EQ(shrunk.Err, kShortRead);
  EXPECT_EQ(shrunk.Code, 1);

  // Grown after the search began: the LIST appended is found by the same search.
  const auto grown = Masked(test::RunOnBytes(
      bytes.substr(0, list_at), ChangeAfter(Cp437("■ LIST              : "),
                                            [&](test::MemoryFile& file) { file.Bytes = bytes; })));
  EXPECT_NE(grown.Out.find("    \xF9 \"IART\" size   :          6 [Artist]\r\n"),
            std::string::npos);
  EXPECT_EQ(grown.Code, 0);

  // Grown at the end of a small file, whose every byte came with the first window.
  const std::string small = PcmWithInfo();
  const std::size_t small_list = small.find("LIST");
  const auto appended =
      Masked(test::RunOnBytes(small.substr(0, small_list),
                              ChangeAfter(Cp437("■ LIST              : "),
                                          [&](test::MemoryFile& file) { file.Bytes = small; })));
  EXPECT_NE(appended.Out.find("    \xF9 \"IART\" size   :          6 [Artist]\r\n"),
            std::string::npos);
  EXPECT_EQ(appended.Code, 0);
}

TEST(ChangingFile, AFileRemovedOrReplacedWhileOpenIsReportedWhole) {
  // The open descriptor keeps the file's data until it is closed: the report is that of the
  // file as it was opened.
  const std::string bytes = PcmWithInfoFarOn();
  const std::string path = test::WriteTempFile("hostile_vanish.wav", bytes);
  const test::RunResult normal = test::RunOnBytes(bytes);
  ASSERT_EQ(normal.Code, 0);

  const auto removed = Masked(test::RunWithSystemFiles(
      {"sondrax", path},
      ChangeAfter(Cp437("RIFF                :          √\n"),
                  [&](test::MemoryFile&) { ASSERT_EQ(unlink(path.c_str()), 0); })));
  EXPECT_EQ(removed.Out, normal.Out);
  EXPECT_EQ(removed.Code, 0);

  test::WriteTempFile("hostile_vanish.wav", bytes);
  const std::string other = test::WriteTempFile("hostile_other.wav", "RIFF");
  const auto replaced = Masked(test::RunWithSystemFiles(
      {"sondrax", path},
      ChangeAfter(Cp437("WAVE                :          √\n"),
                  [&](test::MemoryFile&) { ASSERT_EQ(rename(other.c_str(), path.c_str()), 0); })));
  EXPECT_EQ(replaced.Out, normal.Out);
  EXPECT_EQ(replaced.Code, 0);
}

// ---- A file without read permission ------------------------------------------------------

TEST(Permissions, UnreadableFileGivesTheOpenError) {
  const std::string path = test::WriteTempFile("hostile_unreadable.wav", PcmWithInfo());
  // Permission bits do not stop root: as root, the program is started with the rights of
  // "nobody" instead; where even that is impossible the test says so and is skipped.
  const bool root = geteuid() == 0;
  ASSERT_EQ(chmod(path.c_str(), 0644), 0);
  const Outcome readable = Spawn(Child{{path}, {}, -1, false, root});
  if (readable.CouldNotStart) {
    GTEST_SKIP() << "running as root and cannot start the program as nobody";
  }
  if (readable.Code != 0) {
    // Under an emulator the emulator starts, but may not reach the program in a directory
    // closed to others (a checkout under /root).
    GTEST_SKIP() << "nobody cannot run the program here: " << readable.Out << readable.Err;
  }

  ASSERT_EQ(chmod(path.c_str(), 0), 0);
  const FileState before = Snapshot(path);
  const Outcome unreadable = Spawn(Child{{path}, {}, -1, false, root});
  EXPECT_EQ(unreadable.Out, test::Banner() + "*ERROR*: Could not open \"" + path + "\"\r\n");
  EXPECT_EQ(unreadable.Err, "");
  EXPECT_EQ(unreadable.Code, 1);
  ExpectUnchanged(before, path);
  chmod(path.c_str(), 0644);
}

// ---- Names and paths ---------------------------------------------------------------------

TEST(Names, NonAsciiBytesBlanksAndALeadingDash) {
  // Bytes of no valid UTF-8 sequence too: the name is bytes, passed through unchanged.
  const std::string name = "-n\xC3\xA4me with  blanks \xFF\xFE.wav";
  const std::string dir = test::TempPath("hostile_names");
  mkdir(dir.c_str(), 0700);
  const std::string path = dir + "/" + name;
  const std::string bytes = PcmWithInfo();
  test::RunResult reference = test::RunOnBytes(bytes);
  {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
  // A relative name starting with a dash is a file name: the program has no options.
  const Outcome relative = Spawn(Child{{name}, {dir}, -1, false, false});
  EXPECT_EQ(relative.Out, reference.Out);
  EXPECT_EQ(relative.Code, 0);
  const Outcome absolute = Report(path);
  EXPECT_EQ(absolute.Out, reference.Out);

  unlink(path.c_str());
  const Outcome missing = Spawn(Child{{name}, {dir}, -1, false, false});
  EXPECT_EQ(missing.Out, test::Banner() + "*ERROR*: Could not open \"" + path + "\"\r\n");
  EXPECT_EQ(missing.Err, "");
  EXPECT_EQ(missing.Code, 1);
  rmdir(dir.c_str());
}

TEST(Names, ControlBytesOfANameAreNeverObeyedByATerminal) {
  // A name the user typed or a wildcard found, shown in the open error: its escape byte and
  // its 0x9B (CSI on an 8-bit terminal of ISO 8859 kind) must not act on the terminal there.
  const std::string name = test::TempPath(
      "hostile_\x1B[2J_\x9B"
      "2J_\xE9.wav");
  test::FakeOptions other;
  other.Kind = StreamKind::kTerminal;
  other.Charset = TerminalCharset::kOther;
  const auto shown = test::RunCapture({"sondrax", name}, other);
  const std::string masked = test::TempPath("hostile_?[2J_?2J_\xE9.wav");
  EXPECT_EQ(shown.Out, test::Banner() + "*ERROR*: Could not open \"" + masked + "\"\r\n");
  EXPECT_EQ(shown.Code, 1);

  // A UTF-8 terminal gets the name's bytes as they are (é is \xC3\xA9 there), its control
  // bytes as glyphs; a pipe gets every byte unchanged.
  test::FakeOptions utf8;
  utf8.Kind = StreamKind::kTerminal;
  const std::string utf8_name = test::TempPath("hostile_\x1B[2J_\xC3\xA9.wav");
  EXPECT_EQ(test::RunCapture({"sondrax", utf8_name}, utf8).Out,
            "                       Sondrax\r\n                       ═══════\r\n\r\n"
            "*ERROR*: Could not open \"" +
                test::TempPath("hostile_←[2J_\xC3\xA9.wav") + "\"\r\n");
  EXPECT_EQ(test::RunCapture({"sondrax", name}).Out,
            test::Banner() + "*ERROR*: Could not open \"" + name + "\"\r\n");
}

// A chain of directories with 200-character names, made and removed relative to each other
// (a path this long cannot be handed to the system in one piece).
class DeepDirectory {
 public:
  DeepDirectory(const std::string& base, int levels) : base_(base) {
    mkdir(base.c_str(), 0700);
    fds_.push_back(open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (int i = 0; i < levels; ++i) {
      const std::string name = std::string(199, static_cast<char>('a' + i % 26)) + "d";
      mkdirat(fds_.back(), name.c_str(), 0700);
      fds_.push_back(openat(fds_.back(), name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      names_.push_back(name);
    }
  }
  ~DeepDirectory() {
    if (!file_.empty()) {
      unlinkat(fds_.back(), file_.c_str(), 0);
    }
    for (std::size_t i = names_.size(); i > 0; --i) {
      close(fds_[i]);
      unlinkat(fds_[i - 1], names_[i - 1].c_str(), AT_REMOVEDIR);
    }
    close(fds_[0]);
    rmdir(base_.c_str());
  }
  bool Valid() const {
    for (int fd : fds_) {
      if (fd < 0) {
        return false;
      }
    }
    return true;
  }
  void Put(const std::string& file, const std::string& bytes) {
    file_ = file;
    const int fd = openat(fds_.back(), file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
  }
  // The directory's full path and the steps to enter it.
  std::string Path() const {
    std::string path = base_;
    for (const std::string& name : names_) {
      path += "/" + name;
    }
    return path;
  }
  std::vector<std::string> Steps() const {
    std::vector<std::string> steps = {base_};
    steps.insert(steps.end(), names_.begin(), names_.end());
    return steps;
  }

 private:
  std::string base_;
  std::string file_;
  std::vector<int> fds_;
  std::vector<std::string> names_;
};

TEST(Names, PathsOfMoreThan4000Characters) {
  const std::string bytes = PcmWithInfo();
  const std::string reference = test::RunOnBytes(bytes).Out;

  // Within the system's limit for one path (4096 bytes): reported by its full name.
  const std::string base = test::TempPath("hostile_deep");
  const int levels = static_cast<int>((4060 - base.size()) / 201);
  DeepDirectory deep(base, levels);
  ASSERT_TRUE(deep.Valid());
  // The file's own name makes up the rest, so that the whole path is 4090 bytes long however
  // long the temporary directory's name is.
  ASSERT_LT(deep.Path().size(), 4090u - 6);
  const std::string name = std::string(4090 - deep.Path().size() - 1 - 4, 'f') + ".wav";
  deep.Put(name, bytes);
  const std::string full = deep.Path() + "/" + name;
  ASSERT_EQ(full.size(), 4090u);
  EXPECT_EQ(Report(full).Out, reference);
  const Outcome relative = Spawn(Child{{name}, deep.Steps(), -1, false, false});
  EXPECT_EQ(relative.Out, reference);
  EXPECT_EQ(relative.Code, 0);

  // Beyond it: the full path cannot be opened; the open error shows it whole.
  const std::string base2 = test::TempPath("hostile_deeper");
  DeepDirectory deeper(base2, 24);
  ASSERT_TRUE(deeper.Valid());
  deeper.Put("f.wav", bytes);
  const std::string too_long = deeper.Path() + "/f.wav";
  ASSERT_GT(too_long.size(), 4096u);
  const Outcome beyond = Spawn(Child{{"f.wav"}, deeper.Steps(), -1, false, false});
  EXPECT_EQ(beyond.Out, test::Banner() + "*ERROR*: Could not open \"" + too_long + "\"\r\n");
  EXPECT_EQ(beyond.Err, "");
  EXPECT_EQ(beyond.Code, 1);
}

// ---- The input file is never modified ----------------------------------------------------

TEST(InputFile, BytesAndTimesAreTheSameAfterEveryKindOfRun) {
  const std::string good = PcmWithInfo();
  struct Row {
    const char* Name;
    std::string Bytes;
    bool CloseStderr;
    int ExpectedCode;
  };
  const Row rows[] = {
      {"a complete report", good, false, 0},
      {"a stop on a bad file", good.substr(0, 8) + "WAVX" + good.substr(12), false, 0},
      {"a negative size", test::WavBuilder().ChunkSized("JUNK", 0xFFFFFFF8u, "").Bytes(), false, 0},
      {"a read past the end", good.substr(0, 40), false, 1},
      {"a read past the end, standard error closed", good.substr(0, 40), true, 1},
      {"a seek to a negative position",
       test::WavBuilder().ChunkSized("JUNK", 0x7FFFFFFFu, "").Bytes(), true, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    const std::string path = OldFile("hostile_unchanged.wav", row.Bytes);
    const FileState before = Snapshot(path);
    const Outcome outcome = Spawn(Child{{path}, {}, -1, row.CloseStderr, false});
    EXPECT_EQ(outcome.Code, row.ExpectedCode);
    ExpectUnchanged(before, path);
  }
}

// ---- A real terminal ---------------------------------------------------------------------

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return quoted + "'";
}

// The executable as a shell command, behind its emulator in a cross-build.
std::string EmulatedBinary() {
  const std::string binary = Quote(SONDRAX_BINARY);
  return *test::kEmulator != '\0' ? Quote(test::kEmulator) + " " + binary : binary;
}

bool HaveTool(const char* name) {
  return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

std::string ShellOutput(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return output;
  }
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
    output.append(buffer, n);
  }
  pclose(pipe);
  return output;
}

// A tmux server of its own, with one window of 200 x 80 cells that runs the program under a
// UTF-8 locale. The window's shell then writes an end mark and waits, so that its screen and
// modes are read while it is alive (tmux changes the modes of a window whose program has died).
class Terminal {
 public:
  Terminal() = default;
  ~Terminal() { Stop(); }

  struct Screen {
    std::string Text;    // the screen's characters (UTF-8), lines joined by "\n"
    std::string Styled;  // the same with the escape sequences of colours and attributes
    std::string Modes;   // alternate screen, cursor, insert, keypad, mouse, origin, wrap, title
  };

  Screen Show(const std::string& file) {
    // A new server for every run: a server being shut down could swallow the next session.
    Stop();
    socket_ = "sondrax-test-" + std::to_string(getpid()) + "-" + std::to_string(++runs_);
    const std::string command = "LC_ALL=C.UTF-8 " + EmulatedBinary() + " " + Quote(file) +
                                "; echo \"" + kEndMark + "$?\"; exec sleep 600";
    Tmux("-f /dev/null new-session -d -x 200 -y 80 -s t " + Quote(command));
    Screen screen;
    // From the first line of the history on: the window may have scrolled while it was made.
    for (int waited = 0;; ++waited) {
      screen.Text = Tmux("capture-pane -p -S - -t t");
      if (screen.Text.find(kEndMark) != std::string::npos) {
        break;
      }
      if (waited == 2000) {
        ADD_FAILURE() << "the program did not end in the terminal:\n" << screen.Text;
        return screen;
      }
      const timespec pause = {0, 5'000'000};
      nanosleep(&pause, nullptr);
    }
    screen.Styled = Tmux("capture-pane -p -e -S - -t t");
    screen.Modes = Tmux(
        "display-message -p -t t '#{alternate_on} #{cursor_flag} #{insert_flag} "
        "#{keypad_cursor_flag} #{keypad_flag} #{mouse_any_flag} #{origin_flag} #{wrap_flag} "
        "#{pane_title}'");
    return screen;
  }

  static constexpr const char* kEndMark = "== end of run, exit code ";

 private:
  // Ends the server and removes its socket, which tmux leaves behind.
  void Stop() {
    const std::string socket_path = Tmux("display-message -p '#{socket_path}' 2>/dev/null");
    Tmux("kill-server 2>/dev/null");
    if (!socket_path.empty()) {
      unlink(socket_path.substr(0, socket_path.size() - 1).c_str());
    }
  }

  // The socket's directory (tmux-<uid>) lies in the test's directory, so none is left in /tmp.
  std::string Tmux(const std::string& arguments) {
    return ShellOutput("TERM=xterm-256color LC_ALL=C.UTF-8 TMUX_TMPDIR=" +
                       Quote(test::TempPath("")) + " tmux -u -L " + socket_ + " " + arguments);
  }
  std::string socket_ = "sondrax-test-none";
  int runs_ = 0;
};

// Everything the program wrote to a terminal (a pseudo-terminal of `script`), as bytes.
std::string TerminalBytes(const std::string& file) {
  return ShellOutput("script -qec " +
                     Quote("LC_ALL=C.UTF-8 " + EmulatedBinary() + " " + Quote(file)) +
                     " /dev/null </dev/null");
}

TEST(RealTerminal, BannerRuleIsADoubleLineInAUtf8Locale) {
  if (!HaveTool("tmux")) {
    GTEST_SKIP() << "tmux is not installed (tools/install-deps.sh installs it)";
  }
  Terminal terminal;
  const auto screen = terminal.Show(test::WriteTempFile("hostile_banner.wav", PcmWithInfo()));
  const std::string banner =
      "                       Sondrax\n"
      "                       ═══════\n"
      "\n"
      "RIFF                :          √\n";
  EXPECT_EQ(screen.Text.substr(0, banner.size()), banner);
  EXPECT_NE(screen.Text.find("■ fmt               :          √\n"), std::string::npos);
  EXPECT_NE(screen.Text.find(std::string(Terminal::kEndMark) + "0\n"), std::string::npos);
}

// Escape sequences, other control bytes and bytes of no valid UTF-8 sequence in every text the
// report takes from the file: the list type, item ids and item texts.
const std::string kLongText = std::string("\x1B]0;title\x07", 10) + std::string(40, '\x1B');

std::string HostileTexts() {
  return test::WavBuilder()
      .Chunk("fmt ", test::FmtBody(1, 1, 8000, 8000, 1, 8))
      .Chunk("data", "samples!")
      .Chunk("LIST", "\x1B[5m")
      .Chunk("LIST", test::InfoList({
                         {"\x1B[2J", "\x1B]2;pwned\x07"},
                         {"\x1B"
                          "c\x07\x07",
                          "\x1B[?1049h\x1B[?25l\x1B[31mred"},
                         {"ICMT", "\x1B[?1000h\x1B=\x1B[4h\x1B[?6h\x1B[?7l"},
                         {"IART",
                          "\x9B"
                          "31m\xC3(\xFF\xE2\x82\x7F\b\b\r\tX"},
                         {"ISFT", kLongText},
                     }))
      .Bytes();
}

TEST(RealTerminal, TextsFromTheFileShowAsGlyphsAndChangeNoMode) {
  if (!HaveTool("tmux")) {
    GTEST_SKIP() << "tmux is not installed (tools/install-deps.sh installs it)";
  }
  Terminal terminal;
  const auto plain = terminal.Show(test::WriteTempFile("hostile_plain.wav", PcmWithInfo()));
  const auto hostile = terminal.Show(test::WriteTempFile("hostile_texts.wav", HostileTexts()));
  // The same modes and title as after a harmless report, and no colour or attribute at all.
  EXPECT_EQ(hostile.Modes, plain.Modes);
  EXPECT_EQ(hostile.Styled.find('\x1B'), std::string::npos) << hostile.Styled;
  EXPECT_EQ(hostile.Styled, hostile.Text);
  // Every byte shown as its code page 437 glyph (ESC as ←, BEL as •, NUL as a blank).
  for (const char* line : {
           " \"LIST\" data type   :       ←[5m\n",
           "    ∙ \"←[2J\" size   :         10 [←]2;pwned•]\n",
           "    ∙ \"←c••\" size   :         22 [←[?1049h←[?25l←[31mred]\n",
           "    ∙ \"ICMT\" size   :         24 [←[?1000h←=←[4h←[?6h←[?7l]\n",
           "    ∙ \"IART\" size   :         15 [¢31m├(\u00A0Γé⌂◘◘♪○X]\n",
       }) {
    EXPECT_NE(hostile.Text.find(line), std::string::npos) << line << "\nin\n" << hostile.Text;
  }
  std::string escapes;
  for (int i = 0; i < 26; ++i) {
    escapes += "←";
  }
  EXPECT_NE(
      hostile.Text.find("    ∙ \"ISFT\" size   :         50 [←]0;title•" + escapes + " ...]\n"),
      std::string::npos);
}

TEST(RealTerminal, ReachesTheTerminalAsGlyphsButAPipeAsTheFileBytes) {
  if (!HaveTool("script")) {
    GTEST_SKIP() << "script is not installed (tools/install-deps.sh installs it)";
  }
  const std::string path = test::WriteTempFile("hostile_raw.wav", HostileTexts());
  // On the terminal: only line ends, the dump's backspace and well-formed UTF-8.
  const std::string shown = TerminalBytes(path);
  ASSERT_NE(shown.find("Sondrax"), std::string::npos) << shown;
  std::size_t i = 0;
  while (i < shown.size()) {
    const auto byte = static_cast<unsigned char>(shown[i]);
    if (byte < 0x80) {
      EXPECT_TRUE(byte >= 0x20 ? byte != 0x7F : byte == '\r' || byte == '\n' || byte == '\b')
          << "control byte " << int{byte} << " at " << i;
      ++i;
      continue;
    }
    const std::size_t length = byte >= 0xE0 ? 3 : 2;
    ASSERT_TRUE(byte >= 0xC2 && byte < 0xF0 && i + length <= shown.size()) << "at " << i;
    for (std::size_t k = 1; k < length; ++k) {
      ASSERT_EQ(static_cast<unsigned char>(shown[i + k]) & 0xC0, 0x80) << "at " << i + k;
    }
    i += length;
  }
  // To a pipe or a file: exactly the bytes of the file.
  const Outcome piped = Report(path);
  EXPECT_EQ(piped.Code, 0);
  const std::string report = piped.Out;
  EXPECT_NE(report.find(Cp437(" \"LIST\" data type   :       ") + "\x1B[5m\r\n"),
            std::string::npos);
  EXPECT_NE(report.find(" [" + kLongText.substr(0, 36) + " ...]\r\n"), std::string::npos);
  EXPECT_NE(report.find("    \xF9 \"\x1B[2J\" size   :         10 [\x1B]2;pwned\x07]\r\n"),
            std::string::npos);
  EXPECT_NE(report.find("\" size   :         15 [\x9B"
                        "31m\xC3(\xFF\xE2\x82\x7F\b\b\r\tX]\r\n"),
            std::string::npos);
}

}  // namespace
}  // namespace sondrax

#endif  // _WIN32
