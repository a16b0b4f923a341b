// The run of sondrax-check. The main thread walks the inputs and hands the files to the
// workers; a worker judges a file, repairs it when asked, and makes its line. The lines leave
// in the order of the input: whichever worker finishes the file whose turn it is writes it and
// every finished one after it. At most a window of files is between the walk and the output,
// so the memory does not grow with the number of files. Where no thread can be started (a
// system without threads, as WebAssembly without shared memory, or one out of them), the walk's
// own thread judges each file as it comes: one worker, whatever --jobs says.
#include "check/Check.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "check/Lines.h"
#include "check/Repair.h"
#include "platform/Platform.h"

#ifndef SONDRAX_VERSION_TEXT
#define SONDRAX_VERSION_TEXT "unknown"
#endif

namespace sondrax {

namespace {

constexpr unsigned kJobsMax = 1024;

constexpr char kHelp[] =
    "Usage: sondrax-check [OPTION]... [FILE|FOLDER]...\n"
    "Judges WAVE files: one line a file with its verdict (ok, warning, problem, not-wave,\n"
    "unreadable) and the reason. Folders are walked; in them only files named .wav, .wave,\n"
    ".bwf or .rf64 (any case) are taken.\n"
    "\n"
    "  --all                take every file of a folder, whatever its name\n"
    "  --files-from FILE    also judge the files listed in FILE, one a line ('-': standard\n"
    "                       input)\n"
    "  -0, --null           the list's names end in a NUL byte, not a line end\n"
    "  --json               one JSON object a file (JSON Lines): the diagnosis with the path\n"
    "  --fail-on VERDICT    exit 1 when a file's verdict is VERDICT or worse: warning,\n"
    "                       problem (the default), not-wave or unreadable\n"
    "  -j, --jobs N         judge N files at a time (default: one for each processor)\n"
    "  --repair-to FOLDER   write a repaired copy of each file whose only fault is its size\n"
    "                       fields into FOLDER; the original is never written to\n"
    "  -h, --help           show this text\n"
    "      --version        show the version\n"
    "\n"
    "To a terminal the lines are a table with a count of each verdict at the end; to a pipe\n"
    "or a file they are 'verdict<TAB>path<TAB>reason'. Exit status: 0, 1 when a verdict\n"
    "reached --fail-on, 2 for a usage error or an output that could not be written.\n"
    "The manual page, man sondrax-check, says more.\n";

bool TakesValue(const std::string& option) {
  return option == "--files-from" || option == "--fail-on" || option == "--jobs" ||
         option == "-j" || option == "--repair-to";
}

std::string SetValue(const std::string& option, const std::string& value, CheckOptions* options) {
  if (option == "--files-from") {
    if (options->Sources.FromList) {
      return "--files-from is given twice";
    }
    options->Sources.FromList = true;
    options->Sources.List = value;
  } else if (option == "--fail-on") {
    constexpr std::pair<const char*, Severity> kLevels[] = {{"warning", Severity::kWarning},
                                                            {"problem", Severity::kProblem},
                                                            {"not-wave", Severity::kNotWave},
                                                            {"unreadable", Severity::kUnreadable}};
    const auto* found = std::find_if(std::begin(kLevels), std::end(kLevels),
                                     [&](const auto& level) { return value == level.first; });
    if (found == std::end(kLevels)) {
      return "--fail-on takes warning, problem, not-wave or unreadable, not '" + value + "'";
    }
    options->FailOn = found->second;
  } else if (option == "--jobs" || option == "-j") {
    unsigned jobs = 0;
    bool digits = !value.empty() && value.size() <= 4;
    for (const char c : value) {
      digits = digits && c >= '0' && c <= '9';
      jobs = jobs * 10 + static_cast<unsigned>(c - '0');
    }
    if (!digits || jobs < 1 || jobs > kJobsMax) {
      return option + " takes a number from 1 to " + std::to_string(kJobsMax) + ", not '" + value +
             "'";
    }
    options->Jobs = jobs;
  } else {
    if (value.empty()) {
      return "--repair-to needs a folder";
    }
    options->Repair = true;
    options->RepairTo = value;
  }
  return "";
}

// ---- The output ------------------------------------------------------------------------------

// Writes all of `text` to stream 1 or 2; false when the stream refused it. The error of the
// last refusal is kept: a reader that left early (`| head`) is no news to the user.
int LastWriteError = 0;

bool WriteAllOut(int stream, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    std::size_t written = 0;
    const int error = Platform.Write(stream, text.data() + done, text.size() - done, &written);
    if (error != 0 || written == 0) {
      LastWriteError = error;
      return false;
    }
    done += written;
  }
  return true;
}

bool IsTerminal(int stream) {
  StreamKind kind = StreamKind::kFileOrPipe;
  return Platform.StreamType(stream, &kind) == 0 && kind == StreamKind::kTerminal;
}

using Clock = std::chrono::steady_clock;

// The progress line is drawn once the run has taken this long, and redrawn this often.
constexpr auto kProgressAfter = std::chrono::seconds(1);
constexpr auto kProgressEvery = std::chrono::milliseconds(200);
// "\r" and "erase to the end of the line": the progress line's start and its removal.
constexpr char kClearLine[] = "\r\x1b[K";
// The most files a worker takes at a time.
constexpr std::size_t kBatchMax = 8;
// How many bytes of lines are gathered before they are handed over, while files are on their
// way.
constexpr std::size_t kOutputBlock = std::size_t{32} * 1024;

// One file between the walk and the output.
struct Slot {
  bool Done = false;
  std::string Line;
  std::size_t Verdict = 0;
  bool Repaired = false;
};

class Run {
 public:
  Run(const CheckOptions& options, unsigned jobs)
      : options_(options), window_(std::max<std::size_t>(64, std::size_t{jobs} * 16)) {
    slots_.resize(window_);
    table_ = !options.Json && IsTerminal(1);
    ascii_only_ = table_ && Platform.Charset() != TerminalCharset::kUtf8;
    progress_ = IsTerminal(2);
    start_ = Clock::now();
  }

  // The walk, in the calling thread, while `jobs` workers judge; returns when all is written.
  void Go(unsigned jobs) {
    std::vector<std::thread> workers;
    workers.reserve(jobs);
    try {
      for (unsigned i = 0; i < jobs; ++i) {
        workers.emplace_back([this] { Work(); });
      }
    } catch (const std::system_error&) {
      // The workers started so far share the files; with none, the walk judges them itself.
    }
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      workers_ = std::max<std::size_t>(workers.size(), 1);
    }
    Share share;
    InputWalk walk(options_.Sources);
    InputItem item;
    while (walk.Next(&item)) {
      {
        std::unique_lock<std::mutex> lock(mutex_);
        room_.wait(lock, [&] { return produced_ - written_ < window_ || failed_; });
        if (failed_) {
          break;
        }
        slots_[produced_ % window_] = Slot{};
        queue_.emplace_back(produced_++, std::move(item));
        item = InputItem{};
        work_.notify_one();
      }
      if (workers.empty()) {
        JudgeShare(&share);
      }
    }
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      walked_ = true;
    }
    work_.notify_all();
    for (std::thread& worker : workers) {
      worker.join();
    }
    if (!pending_.empty() && !failed_) {
      WritePending();
    }
    if (progress_shown_) {
      WriteAllOut(2, kClearLine);
    }
  }

  bool Failed() const { return failed_; }
  const VerdictCounts& Counts() const { return counts_; }
  std::int64_t Repaired() const { return repaired_; }
  bool Table() const { return table_; }

 private:
  // A worker's files and their judged lines, kept from one share to the next.
  struct Share {
    std::vector<std::pair<std::uint64_t, InputItem>> Batch;
    std::vector<Slot> Done;
  };

  void Work() {
    Share share;
    while (JudgeShare(&share)) {
    }
  }

  // Waits for files, judges a share of them and writes the lines whose turn has come; false
  // when the walk has ended and nothing waits, or the output failed.
  bool JudgeShare(Share* share) {
    auto& batch = share->Batch;
    auto& done = share->Done;
    batch.clear();
    {
      std::unique_lock<std::mutex> lock(mutex_);
      work_.wait(lock, [&] { return !queue_.empty() || walked_ || failed_; });
      if (queue_.empty() || failed_) {
        return false;
      }
      // A worker takes its share of what is waiting, up to a few files: one lock for several
      // small files instead of two for each, and still every worker busy.
      const std::size_t count = std::clamp<std::size_t>(queue_.size() / workers_, 1, kBatchMax);
      for (std::size_t i = 0; i < count; ++i) {
        batch.push_back(std::move(queue_.front()));
        queue_.pop_front();
      }
    }
    done.clear();
    for (const auto& [sequence, item] : batch) {
      done.push_back(Judge(item));
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t i = 0; i < batch.size(); ++i) {
      slots_[batch[i].first % window_] = std::move(done[i]);
    }
    Flush();
    return true;
  }

  Slot Judge(const InputItem& item) {
    DiagnosisRec diagnosis;
    if (item.Unreadable.empty()) {
      diagnosis = Diagnose(item.Path);
    } else {
      FindingRec finding;
      finding.Code = "unreadable";
      finding.Level = Severity::kUnreadable;
      finding.Text = item.Unreadable;
      diagnosis.Findings.push_back(std::move(finding));
      diagnosis.Worst = Severity::kUnreadable;
      diagnosis.Reason = item.Unreadable;
    }
    RepairNote repair;
    if (options_.Repair && SizesOnlyFault(diagnosis)) {
      repair = RepairCopy(item.Path, diagnosis, options_.RepairTo);
    }
    const std::string shown = Platform.UserTextUtf8(item.Path);
    Slot slot;
    slot.Done = true;
    slot.Verdict = VerdictIndex(diagnosis);
    slot.Repaired = repair.Written;
    slot.Line = options_.Json ? JsonLine(shown, diagnosis, repair, options_.Repair)
                : table_      ? TableRow(shown, diagnosis, repair, ascii_only_)
                              : PipeLine(shown, diagnosis, repair);
    return slot;
  }

  // With the lock held: writes every finished line whose turn has come.
  void Flush() {
    const std::uint64_t before = written_;
    while (written_ < produced_ && slots_[written_ % window_].Done) {
      Slot& slot = slots_[written_ % window_];
      pending_ += slot.Line;
      ++counts_[slot.Verdict];
      repaired_ += slot.Repaired ? 1 : 0;
      slot = Slot{};
      ++written_;
    }
    if (written_ == before || failed_) {
      return;
    }
    room_.notify_one();
    // Lines go out in blocks while more files are on their way, which saves a system call a
    // file; and at once when every file handed out is written, so that the lines of a list
    // that comes slowly appear as its names come.
    if (pending_.size() < kOutputBlock && written_ != produced_) {
      return;
    }
    WritePending();
    DrawProgress();
  }

  // With the lock held, or after the workers ended.
  void WritePending() {
    // The progress line shares the terminal with a table: it is taken away while lines come.
    if (progress_shown_ && table_) {
      WriteAllOut(2, kClearLine);
      progress_shown_ = false;
    }
    const bool written = WriteAllOut(1, pending_);
    pending_.clear();
    if (!written) {
      failed_ = true;
      work_.notify_all();
      room_.notify_all();
    }
  }

  void DrawProgress() {
    if (!progress_) {
      return;
    }
    const Clock::time_point now = Clock::now();
    if (now - start_ < kProgressAfter || (progress_shown_ && now - drawn_ < kProgressEvery)) {
      return;
    }
    drawn_ = now;
    const auto millis = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now - start_).count());
    std::string line = std::string(kClearLine) + std::to_string(written_) + " files";
    if (walked_) {
      line += " of " + std::to_string(produced_);
    }
    line += ", " + std::to_string(written_ * 1000 / millis) + " a second";
    progress_shown_ = WriteAllOut(2, line);
  }

  const CheckOptions& options_;
  std::size_t workers_ = 1;  // the workers that share the files
  const std::size_t window_;
  bool table_ = false;
  bool ascii_only_ = false;
  bool progress_ = false;
  Clock::time_point start_;

  std::mutex mutex_;
  std::condition_variable work_;  // a file to judge, or the end of the walk
  std::condition_variable room_;  // a line was written: the walk may go on
  std::deque<std::pair<std::uint64_t, InputItem>> queue_;
  std::vector<Slot> slots_;
  std::uint64_t produced_ = 0;
  std::uint64_t written_ = 0;
  bool walked_ = false;
  bool failed_ = false;
  bool progress_shown_ = false;
  std::string pending_;  // lines not yet handed to standard output
  Clock::time_point drawn_;
  VerdictCounts counts_ = {};
  std::int64_t repaired_ = 0;
};

int UsageError(const std::string& text) {
  WriteAllOut(2, "sondrax-check: " + text + "\nTry 'sondrax-check --help'.\n");
  return 2;
}

}  // namespace

std::string ParseCheckArguments(const std::vector<std::string>& arguments, CheckOptions* options) {
  bool options_end = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string argument = arguments[i];
    if (options_end || argument.size() < 2 || argument[0] != '-') {
      options->Sources.Paths.push_back(argument);
      continue;
    }
    std::string value;
    bool has_value = false;
    const std::size_t equals = argument.find('=');
    if (argument.compare(0, 2, "--") == 0 && equals != std::string::npos) {
      value = argument.substr(equals + 1);
      argument.resize(equals);
      has_value = true;
    }
    if (TakesValue(argument)) {
      if (!has_value) {
        if (i + 1 == arguments.size()) {
          return argument + " needs a value";
        }
        value = arguments[++i];
      }
      std::string error = SetValue(argument, value, options);
      if (!error.empty()) {
        return error;
      }
      continue;
    }
    if (has_value) {
      return argument + " takes no value";
    }
    if (argument == "--") {
      options_end = true;
    } else if (argument == "--all") {
      options->Sources.All = true;
    } else if (argument == "-0" || argument == "--null") {
      options->Sources.Separator = '\0';
    } else if (argument == "--json") {
      options->Json = true;
    } else if (argument == "-h" || argument == "--help") {
      options->Help = true;
    } else if (argument == "--version") {
      options->Version = true;
    } else {
      return "unknown option '" + ShownText(argument) + "'";
    }
  }
  if (options->Help || options->Version) {
    return "";
  }
  if (options->Sources.Separator == '\0' && !options->Sources.FromList) {
    return "-0 is for the list of --files-from";
  }
  if (options->Sources.Paths.empty() && !options->Sources.FromList) {
    return "no file or folder given";
  }
  return "";
}

int RunCheck(const std::vector<std::string>& arguments) {
  CheckOptions options;
  const std::string error = ParseCheckArguments(
      std::vector<std::string>(arguments.begin() + (arguments.empty() ? 0 : 1), arguments.end()),
      &options);
  if (!error.empty()) {
    return UsageError(error);
  }
  if (options.Help || options.Version) {
    const bool written =
        WriteAllOut(1, options.Help ? std::string(kHelp)
                                    : std::string("sondrax-check ") + SONDRAX_VERSION_TEXT + "\n");
    return written ? 0 : 2;
  }
  unsigned jobs = options.Jobs;
  if (jobs == 0) {
    jobs = std::clamp(std::thread::hardware_concurrency(), 1U, kJobsMax);
  }
  Run run(options, jobs);
  run.Go(jobs);
  if (run.Failed()) {
    if (LastWriteError != kErrBrokenPipe) {
      WriteAllOut(2, "sondrax-check: the output could not be written (error " +
                         std::to_string(LastWriteError) + ")\n");
    }
    return 2;
  }
  if (run.Table()) {
    // An empty line between the table and its counts.
    std::string closing(1, '\n');
    closing += CountsLine(run.Counts(), options.Repair, run.Repaired());
    if (!WriteAllOut(1, closing)) {
      return 2;
    }
  }
  const VerdictCounts& counts = run.Counts();
  for (std::size_t level = static_cast<std::size_t>(options.FailOn); level < counts.size();
       ++level) {
    if (counts[level] > 0) {
      return 1;
    }
  }
  return 0;
}

}  // namespace sondrax
