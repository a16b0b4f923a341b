// Compares the play time and its digits from the portable extended arithmetic with the x87
// unit's, bit for bit, on the edge pairs and on many seeded random pairs.
//
//   sondrax_x87_compare [COUNT [SEED]]     (default: 10000000 random pairs, seed 1)
//
// Prints the pairs compared, how many differ (the exit code is 1 if any does, with the first
// few shown), how many quotients the double rounding (64-bit significand, then double) makes
// differ from a single rounding to double, how many texts that changes, and the time taken.
#include <cfloat>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "X87Oracle.h"
#include "report/Output.h"

#if !SONDRAX_HAVE_X87
#error "the comparison needs the x87 unit: long double with a 64-bit significand on x86"
#endif

namespace {

using sondrax::test::PlayTimePair;

struct Tally {
  long long Compared = 0;
  long long Differ = 0;
  long long DoubleRounded = 0;  // quotient differs from size / rate rounded once
  long long TextChanged = 0;    // ... and so does its text with 2 decimals
};

void Compare(const PlayTimePair& pair, Tally& tally) {
  ++tally.Compared;
  const std::string difference = sondrax::test::ComparePair(pair);
  if (!difference.empty()) {
    if (++tally.Differ <= 10) {
      std::printf("DIFFERENT %s\n", difference.c_str());
    }
    return;
  }
#if FLT_EVAL_METHOD == 0
  if (pair.Rate != 0) {
    const double once = static_cast<double>(pair.Size) / static_cast<double>(pair.Rate);
    const double twice = sondrax::PlayTimeQuotient(pair.Size, pair.Rate);
    if (once != twice) {
      ++tally.DoubleRounded;
      if (sondrax::FixedText(once, 2) != sondrax::FixedText(twice, 2)) {
        ++tally.TextChanged;
      }
    }
  }
#endif
}

void Print(const char* what, const Tally& tally) {
  std::printf("%-13s %10lld compared, %lld differ; %lld double-rounded quotients", what,
              tally.Compared, tally.Differ, tally.DoubleRounded);
  std::printf(" (%lld with other digits)\n", tally.TextChanged);
}

}  // namespace

int main(int argc, char** argv) {
  long long count = 10000000;
  unsigned long long seed = 1;
  if (argc > 3 || (argc > 1 && (count = std::atoll(argv[1])) <= 0)) {
    std::fprintf(stderr, "usage: %s [COUNT [SEED]]\n", argv[0]);
    return 2;
  }
  if (argc > 2) {
    seed = std::strtoull(argv[2], nullptr, 10);
  }
  const auto start = std::chrono::steady_clock::now();

  Tally edges;
  for (const PlayTimePair& pair : sondrax::test::EdgePairs()) {
    Compare(pair, edges);
  }
  Tally random;
  sondrax::test::RandomBits bits{seed};
  for (long long i = 0; i < count; ++i) {
    Compare(sondrax::test::RandomPair(bits), random);
  }

  const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
  std::printf("x87 comparison (seed %llu, %.1f s)\n", seed, seconds.count());
  Print("edge pairs", edges);
  Print("random pairs", random);
  return edges.Differ + random.Differ == 0 ? 0 : 1;
}
