#include "X87Oracle.h"

#include <bit>
#include <cmath>
#include <iterator>

#include "report/Output.h"

namespace sondrax::test {

std::uint64_t RandomBits::Next() {
  State += 0x9E3779B97F4A7C15;
  std::uint64_t z = State;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EB;
  return z ^ (z >> 31);
}

namespace {

constexpr std::int64_t kMinSize = -(std::int64_t{1} << 31);
constexpr std::int64_t kSizeSpan = std::int64_t{3} << 31;  // [-2^31, 2^32)

// A magnitude of 1 to `max_bits` bits, each length equally likely.
std::uint64_t RandomMagnitude(RandomBits& bits, int max_bits) {
  const int length = 1 + static_cast<int>(bits.Next() % static_cast<std::uint64_t>(max_bits));
  return bits.Next() >> (64 - length);
}

}  // namespace

PlayTimePair RandomPair(RandomBits& bits) {
  static constexpr std::int32_t kCommonRates[] = {
      4000,  8000,    11025,  16000,  22050,  24000,  32000,  44100,  48000,   64000,
      88200, 96000,   128000, 176400, 192000, 264600, 352800, 384000, 1411200, 4096,
      1625,  2822400, 705600, 768000, 10584,  31250,  2000,   200,    1000,    4};
  const std::uint64_t choice = bits.Next();
  PlayTimePair pair{};
  if ((choice & 1) == 0) {
    pair.Size = kMinSize + static_cast<std::int64_t>(bits.Next() % kSizeSpan);
  } else {
    pair.Size = static_cast<std::int64_t>(RandomMagnitude(bits, 32));
    if ((choice & 0x70) == 0) {
      pair.Size = -pair.Size;  // a negative size, one in eight
    }
    if (pair.Size < kMinSize) {
      pair.Size = kMinSize;
    }
  }
  switch ((choice >> 1) & 3) {
  case 0:
    pair.Rate = kCommonRates[(choice >> 8) % std::size(kCommonRates)];
    break;
  case 1:
    pair.Rate = static_cast<std::int32_t>(static_cast<std::uint32_t>(bits.Next()));
    break;
  default: {
    const auto magnitude = static_cast<std::int64_t>(RandomMagnitude(bits, 31));
    pair.Rate = static_cast<std::int32_t>((choice & 0x380) == 0 ? -magnitude : magnitude);
    break;
  }
  }
  if (pair.Rate == 0) {
    pair.Rate = 1;
  }
  return pair;
}

std::vector<PlayTimePair> EdgePairs() {
  std::vector<PlayTimePair> pairs = {// The report's and the README's play times.
                                     {12348000, 176400},
                                     {22932000, 176400},
                                     {131, 2},
                                     {7, 2},
                                     {9996, 1000},
                                     {119996, 1000},
                                     {1000, -100},
                                     {1323000, 176400},
                                     {0x7FFFFFFF, 1},
                                     {kMinSize, 1},
                                     {3599999, 1000},
                                     {0, 1000},
                                     {1102, 22050},
                                     {11999, 200},
                                     {123457, 200},
                                     {337509231, 22050},
                                     {0xFFFFFFFF, 1},
                                     {0xFFFFFFFF, 176400},
                                     // The fixed-point examples as far as a quotient reaches them.
                                     {314159, 100000},
                                     {6525, 100},
                                     {25, -2},
                                     {53, 10},
                                     {1, 8},
                                     {1, -8},
                                     {2675, 1000},
                                     {9995, 1000},
                                     {59999, 1000},
                                     {99995, 1000},
                                     {999, 1000},
                                     {987654313, 8},
                                     {1, 0x7FFFFFFF},
                                     {1, -0x7FFFFFFF - 1},
                                     {100, 3},
                                     {200, 3},
                                     {2000000000, 7},
                                     {5, 9},
                                     {0x7FFFFFFF, 0x7FFFFFFE},
                                     {7, 123456},
                                     {999999999, 1000}};
  // Multiples of 1/8: exact binary values, and decimal ties at 2 decimals for the odd ones.
  for (std::int64_t k = -1000; k <= 1000; ++k) {
    pairs.push_back({k, 8});
    pairs.push_back({k, -8});
  }
  for (std::int64_t k : {std::int64_t{0x7FFFFFFF}, kMinSize + 1, std::int64_t{0xFFFFFFFF},
                         std::int64_t{0xFFFFFFF7}, std::int64_t{123456789}}) {
    pairs.push_back({k, 8});
    pairs.push_back({k, 16});
    pairs.push_back({k, -8});
  }
  // x.xx5 in decimal, which no double holds exactly: odd sizes at 200 and 40 bytes per
  // second, sizes ending in 5 at 1000 and 10000 (x.xxx5), small and near the 32-bit limits.
  for (std::int64_t k = 1; k <= 4001; k += 2) {
    pairs.push_back({k, 200});
    pairs.push_back({k, -200});
    pairs.push_back({k, 40});
    pairs.push_back({5 * k, 1000});
    pairs.push_back({5 * k, 10000});
  }
  for (std::int64_t top : {std::int64_t{0x7FFFFFFF}, std::int64_t{0xFFFFFFFF}}) {
    for (std::int64_t k = top - 400; k <= top; k += 5) {
      pairs.push_back({k, 200});
      pairs.push_back({k, 1000});
      pairs.push_back({k, 44100});
    }
  }
  // The 32-bit extremes against each other, negative rates included (the report never divides
  // by a rate of 0).
  const std::int64_t sizes[] = {
      kMinSize,   kMinSize + 1, -2,         -1,         0,          1,         2,
      0x7FFFFFFE, 0x7FFFFFFF,   0x80000000, 0x80000001, 0xFFFFFFFE, 0xFFFFFFFF};
  const std::int32_t rates[] = {
      -0x7FFFFFFF - 1, -0x7FFFFFFF, -176400,    -3,        -1, 1, 2, 3, 7, 10,
      44100,           176400,      0x7FFFFFFE, 0x7FFFFFFF};
  for (std::int64_t size : sizes) {
    for (std::int32_t rate : rates) {
      pairs.push_back({size, rate});
    }
  }
  return pairs;
}

std::uint64_t DoubleBits(double x) { return std::bit_cast<std::uint64_t>(x); }

std::uint64_t PortableDigest(std::uint64_t seed, std::int64_t count) {
  std::uint64_t digest = 0xCBF29CE484222325;  // FNV-1a
  auto add = [&](unsigned char byte) {
    digest ^= byte;
    digest *= 0x100000001B3;
  };
  RandomBits bits{seed};
  for (std::int64_t i = 0; i < count; ++i) {
    const PlayTimePair pair = RandomPair(bits);
    const double quotient = PlayTimeQuotient(pair.Size, pair.Rate);
    const std::uint64_t quotient_bits = DoubleBits(quotient);
    for (int shift = 0; shift < 64; shift += 8) {
      add(static_cast<unsigned char>(quotient_bits >> shift));
    }
    for (const std::string& text : {FixedText(quotient, 2), FixedText(quotient, 20)}) {
      for (char c : text) {
        add(static_cast<unsigned char>(c));
      }
      add(0);
    }
  }
  return digest;
}

#if SONDRAX_HAVE_X87

long double ToLongDouble(const ExtendedRec& x) {
  const long double magnitude = std::ldexp(static_cast<long double>(x.Significand), x.Exponent);
  return x.Negative ? -magnitude : magnitude;
}

ExtendedRec FromLongDouble(long double x) {
  ExtendedRec result;
  result.Negative = std::signbit(x);
  if (x == 0) {
    return result;
  }
  int exponent = 0;
  const long double fraction = std::frexp(std::fabs(x), &exponent);
  result.Significand = static_cast<std::uint64_t>(std::ldexp(fraction, 64));
  result.Exponent = exponent - 64;
  return result;
}

double X87PlayTime(std::int64_t size, std::int32_t rate) {
  // volatile: the division is made at run time by the unit, even for constant operands.
  volatile long double dividend = static_cast<long double>(size);
  volatile long double divisor = static_cast<long double>(rate);
  return static_cast<double>(dividend / divisor);
}

namespace {

long double X87PowerOfTen(int k) {
  long double result = 1.0L;
  for (int i = 0; i < k; ++i) {
    result *= 10.0L;
  }
  return result;
}

}  // namespace

std::string X87FixedText(long double x, std::int32_t decimals) {
  if (decimals < 0) {
    decimals = 0;
  }
  std::string text;
  if (std::signbit(x)) {
    text.push_back('-');
  }
  long double m = std::fabs(x);
  int exponent10 = 0;
  if (m >= 10.0L) {
    for (;;) {
      const int e = std::ilogb(m);
      const int k = static_cast<int>((static_cast<std::int64_t>(e) * 19728) >> 16);
      if (k == 0) {
        break;
      }
      m /= X87PowerOfTen(k);
      exponent10 += k;
    }
  }
  const long double scaled = m * X87PowerOfTen(17);
  const auto whole = static_cast<std::uint64_t>(std::nearbyint(scaled));
  char digits[19];
  std::uint64_t rest = whole;
  for (int i = 18; i >= 0; --i) {
    digits[i] = static_cast<char>('0' + rest % 10);
    rest /= 10;
  }
  const std::int64_t n = static_cast<std::int64_t>(exponent10) + 1 + decimals;
  std::string kept;
  if (n >= 18) {
    kept.assign(digits, 19);
    kept.append(static_cast<std::size_t>(n - 18), '0');
  } else {
    kept.assign(digits, static_cast<std::size_t>(n + 1));
    if (digits[n + 1] >= '5') {
      for (std::int64_t i = n; i >= 0; --i) {
        if (kept[static_cast<std::size_t>(i)] == '9') {
          kept[static_cast<std::size_t>(i)] = '0';
        } else {
          ++kept[static_cast<std::size_t>(i)];
          break;
        }
      }
    }
  }
  const std::size_t integer_end = static_cast<std::size_t>(exponent10) + 2;
  const std::size_t integer_begin = kept[0] == '0' ? 1 : 0;
  text.append(kept, integer_begin, integer_end - integer_begin);
  if (decimals > 0) {
    text.push_back('.');
    text.append(kept, integer_end, static_cast<std::size_t>(decimals));
  }
  return text;
}

std::string ComparePair(const PlayTimePair& pair) {
  const std::string name = std::to_string(pair.Size) + " / " + std::to_string(pair.Rate);
  const double portable = PlayTimeQuotient(pair.Size, pair.Rate);
  const double x87 = X87PlayTime(pair.Size, pair.Rate);
  if (DoubleBits(portable) != DoubleBits(x87)) {
    return name + ": quotient bits " + std::to_string(DoubleBits(portable)) + ", x87 " +
           std::to_string(DoubleBits(x87));
  }
  if (!std::isfinite(x87)) {
    return "";
  }
  for (int decimals : {2, 20}) {
    const std::string text = FixedText(portable, decimals);
    const std::string expected = X87FixedText(x87, decimals);
    if (text != expected) {
      return name + ": text \"" + text + "\", x87 \"" + expected + "\"";
    }
  }
  return "";
}

#endif

}  // namespace sondrax::test
