// The diagnosis's cost beside the report's, in one process: a small file judged many times
// (report alone, diagnosis alone, both), the reads for a 3 GiB file, and the memory for a file
// of 10 million chunks. Prints figures; it judges nothing itself.
//
//   build/bench/sondrax_bench_diagnosis [FILE]   (FILE: a small WAVE file; the example by default)
#include "diagnosis/Diagnosis.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>

#include "Sondrax.h"
#include "platform/Platform.h"

namespace {

using Clock = std::chrono::steady_clock;

std::uint64_t Reads = 0;
int (*RealRead)(sondrax::FileHandle, void*, std::size_t, std::size_t*) = nullptr;
int CountedRead(sondrax::FileHandle handle, void* buffer, std::size_t count, std::size_t* got) {
  ++Reads;
  return RealRead(handle, buffer, count, got);
}

// Processor time (user and system) per run, in microseconds: on a shared machine the wall
// clock grows with the load, this hardly.
double CpuMicros() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

template <typename Body>
double MicrosEach(int runs, Body body) {
  const double start = CpuMicros();
  for (int i = 0; i < runs; ++i) {
    body();
  }
  return (CpuMicros() - start) / runs;
}

void Put32(std::string* bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    bytes->push_back(static_cast<char>(value >> (8 * i)));
  }
}

std::string Header(const char* id, std::uint32_t size) {
  std::string bytes(id, 4);
  Put32(&bytes, size);
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string small = argc > 1 ? argv[1] : SONDRAX_EXAMPLE;
  // The report goes to /dev/null, as a pipe's reader would take it away.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) {
    return 2;
  }
  const std::vector<std::string> args = {"sondrax", small};
  const int runs = 20000;
  for (int round = 0; round < 3; ++round) {
    const double report = MicrosEach(runs, [&] { sondrax::RunSondrax(args); });
    const double diagnosis = MicrosEach(runs, [&] { (void)sondrax::Diagnose(small); });
    const double both = MicrosEach(runs, [&] {
      sondrax::RunSondrax(args);
      (void)sondrax::DiagnosisJson(sondrax::Diagnose(small));
    });
    std::fprintf(stderr,
                 "small file, processor time per run: report %.2f us, diagnosis %.2f us, both with "
                 "the JSON %.2f us (+%.0f %% over the report)\n",
                 report, diagnosis, both, (both / report - 1) * 100);
  }

  const std::string dir = "/tmp/sondrax-bench-diagnosis";
  mkdir(dir.c_str(), 0700);
  // 3 GiB of samples (sparse) and an INFO list after them.
  const std::string big = dir + "/big.wav";
  {
    const std::uint64_t samples = std::uint64_t{3} << 30;
    std::string head = "RIFF";
    Put32(&head, static_cast<std::uint32_t>(36 + samples + 20));
    head += "WAVE" + Header("fmt ", 16);
    head.append("\x01\x00\x02\x00\x44\xAC\x00\x00\x10\xB1\x02\x00\x04\x00\x10\x00", 16);
    head += Header("data", static_cast<std::uint32_t>(samples));
    std::ofstream out(big, std::ios::binary);
    out << head;
    out.seekp(static_cast<std::streamoff>(44 + samples));
    out << Header("LIST", 12) << "INFO" << Header("INAM", 4) << "Long";
  }
  RealRead = sondrax::Platform.Read;
  sondrax::Platform.Read = CountedRead;
  Reads = 0;
  const sondrax::DiagnosisRec judged = sondrax::Diagnose(big);
  std::fprintf(stderr, "3 GiB file: %s, %llu reads\n", sondrax::VerdictName(judged),
               static_cast<unsigned long long>(Reads));
  sondrax::Platform.Read = RealRead;

  // 10 million empty JUNK chunks: 80 MB of headers.
  const std::string many = dir + "/many.wav";
  {
    std::ofstream out(many, std::ios::binary);
    const std::uint32_t chunks = 10000000;
    std::string head = "RIFF";
    Put32(&head, 4 + 24 + 8 * chunks + 8);
    head += "WAVE" + Header("fmt ", 16);
    head.append("\x01\x00\x01\x00\x40\x1F\x00\x00\x40\x1F\x00\x00\x01\x00\x08\x00", 16);
    out << head;
    const std::string junk = Header("JUNK", 0);
    std::string block;
    for (int i = 0; i < 100000; ++i) {
      block += junk;
    }
    for (std::uint32_t i = 0; i < chunks / 100000; ++i) {
      out << block;
    }
    out << Header("data", 0);
  }
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  const long before = usage.ru_maxrss;
  const auto start = Clock::now();
  const sondrax::DiagnosisRec walked = sondrax::Diagnose(many);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  getrusage(RUSAGE_SELF, &usage);
  std::fprintf(stderr,
               "10 million chunks: %s, %zu kept, %lld left out, %.2f s, peak memory %ld KB "
               "(%ld KB before)\n",
               sondrax::VerdictName(walked), walked.Chunks.size(),
               static_cast<long long>(walked.ChunksLeftOut), seconds, usage.ru_maxrss, before);
  std::remove(big.c_str());
  std::remove(many.c_str());
  rmdir(dir.c_str());
  return 0;
}
