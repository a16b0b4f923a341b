// The x87 unit as the oracle for report/Extended.h, and the play-time pairs it is asked about.
//
// `long double` is the x87 extended format (64-bit significand) with GCC and Clang on x86, and
// the unit rounds to nearest even with a 64-bit significand there unless a program changes
// its control word. SONDRAX_HAVE_X87 says whether this build has it; elsewhere only the pair
// generators exist, and the known-answer tests stand in for the oracle.
#pragma once

#include <cfloat>
#include <cstdint>
#include <string>
#include <vector>

#include "report/Extended.h"

#if (defined(__i386__) || defined(__x86_64__)) && LDBL_MANT_DIG == 64
#define SONDRAX_HAVE_X87 1
#else
#define SONDRAX_HAVE_X87 0
#endif

namespace sondrax::test {

/// A data size and a byte rate as the play time takes them.
struct PlayTimePair {
  std::int64_t Size;  // [-2^31, 2^32)
  std::int32_t Rate;
};

/// SplitMix64: the same sequence for a seed with every compiler and standard library.
struct RandomBits {
  std::uint64_t State;
  std::uint64_t Next();
};

/// One random pair: sizes over the whole range or of a random bit length, byte rates of every
/// magnitude and sign, and the byte rates of common formats. Never a rate of 0.
PlayTimePair RandomPair(RandomBits& bits);

/// The play times worth checking one by one: the report's documented examples, binary ties
/// (multiples of 1/8) and decimal ties (x.xx5), the 32-bit extremes against each other,
/// negative and zero rates, and zero sizes that give -0.0.
std::vector<PlayTimePair> EdgePairs();

/// A digest of what the portable code makes of `count` random pairs from `seed`: the
/// quotient's bits and its texts with 2 and 20 decimals.
std::uint64_t PortableDigest(std::uint64_t seed, std::int64_t count);

/// The bits of a double, for comparisons that tell -0.0 from 0.0 and compare NaNs.
std::uint64_t DoubleBits(double x);

#if SONDRAX_HAVE_X87
/// Exact conversions between the two forms of an extended number.
long double ToLongDouble(const ExtendedRec& x);
ExtendedRec FromLongDouble(long double x);

/// The play time as the x87 unit computes it.
double X87PlayTime(std::int64_t size, std::int32_t rate);
/// The fixed-point text with every step in x87 arithmetic.
std::string X87FixedText(long double x, std::int32_t decimals);

/// Empty when the portable code and the x87 unit agree on the pair bit for bit (the quotient,
/// and for a finite one its texts with 2 and 20 decimals); otherwise what differs.
std::string ComparePair(const PlayTimePair& pair);
#endif

}  // namespace sondrax::test
