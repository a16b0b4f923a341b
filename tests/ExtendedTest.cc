#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "X87Oracle.h"
#include "report/Extended.h"
#include "report/Output.h"

namespace sondrax {

void PrintTo(const ExtendedRec& x, std::ostream* out) {
  *out << (x.Negative ? "-" : "+") << "0x" << std::hex << x.Significand << std::dec << " * 2^"
       << x.Exponent;
}

bool operator==(const ExtendedRec& a, const ExtendedRec& b) {
  return a.Negative == b.Negative && a.Significand == b.Significand && a.Exponent == b.Exponent;
}

namespace {

using test::DoubleBits;
using test::PlayTimePair;
using test::RandomBits;
#if SONDRAX_HAVE_X87
using test::FromLongDouble;
using test::ToLongDouble;
#endif

constexpr std::uint64_t kTop = std::uint64_t{1} << 63;
constexpr std::int64_t kMinInt32 = -(std::int64_t{1} << 31);

// ---- Known answers: these run on every processor --------------------------------------------

TEST(Extended, IntegersConvertExactly) {
  const struct {
    std::int64_t Value;
    ExtendedRec Expected;
  } rows[] = {
      {0, {false, 0, 0}},
      {1, {false, kTop, -63}},
      {-1, {true, kTop, -63}},
      {10, {false, 0xA000000000000000, -60}},
      {0x7FFFFFFF, {false, 0xFFFFFFFE00000000, -33}},
      {kMinInt32, {true, kTop, -32}},
      {0xFFFFFFFF, {false, 0xFFFFFFFF00000000, -32}},
      {std::numeric_limits<std::int64_t>::max(), {false, 0xFFFFFFFFFFFFFFFE, -1}},
      {std::numeric_limits<std::int64_t>::min(), {true, kTop, 0}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Value);
    EXPECT_EQ(ExtendedFromInt(row.Value), row.Expected);
  }
}

TEST(Extended, DoublesConvertExactlyAndComeBackUnchanged) {
  const struct {
    double Value;
    ExtendedRec Expected;
  } rows[] = {
      {0.0, {false, 0, 0}},
      {-0.0, {true, 0, 0}},
      {1.0, {false, kTop, -63}},
      {-2.5, {true, 0xA000000000000000, -62}},
      {0.1, {false, 0xCCCCCCCCCCCCD000, -67}},
      {DBL_MAX, {false, 0xFFFFFFFFFFFFF800, 960}},
      {DBL_MIN, {false, kTop, -1085}},
      {0x1p-1074, {false, kTop, -1137}},  // the smallest denormal, normalised here
      {0x1.8p-1070, {false, 0xC000000000000000, -1133}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Value);
    EXPECT_EQ(ExtendedFromDouble(row.Value), row.Expected);
    if (row.Value == 0 || std::fabs(row.Value) >= DBL_MIN) {
      EXPECT_EQ(DoubleBits(ExtendedToDouble(row.Expected)), DoubleBits(row.Value));
    }
  }
}

TEST(Extended, RoundingToDoubleGoesToTheNearestAndTiesToEven) {
  // Significands of values in [1, 2): the last 11 of the 64 bits are dropped.
  const struct {
    std::uint64_t Significand;
    double Expected;
  } rows[] = {
      {0x8000000000000000, 0x1p0},
      {0x80000000000003FF, 0x1p0},                // below half a unit
      {0x8000000000000400, 0x1p0},                // a tie on an even significand
      {0x8000000000000401, 0x1.0000000000001p0},  // above half
      {0x8000000000000C00, 0x1.0000000000002p0},  // a tie on an odd significand
      {0x8000000000000BFF, 0x1.0000000000001p0},
      {0xFFFFFFFFFFFFFBFF, 0x1.fffffffffffffp0},
      {0xFFFFFFFFFFFFFC00, 0x2p0},  // a tie that carries into the exponent
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Significand);
    EXPECT_EQ(ExtendedToDouble({false, row.Significand, -63}), row.Expected);
    EXPECT_EQ(ExtendedToDouble({true, row.Significand, -63 + 40}), -std::ldexp(row.Expected, 40));
  }
  EXPECT_EQ(DoubleBits(ExtendedToDouble({true, 0, 0})), DoubleBits(-0.0));
}

TEST(Extended, RoundingToAnIntegerTiesToEven) {
  // k + 1/2, made exactly as (2k + 1) / 2, goes to whichever of k and k + 1 is even.
  for (std::int64_t k : {std::int64_t{0}, std::int64_t{1}, std::int64_t{2}, std::int64_t{3},
                         std::int64_t{1} << 40, (std::int64_t{1} << 40) + 1,
                         std::int64_t{1234567890123456789}, (std::int64_t{1} << 62) - 1}) {
    SCOPED_TRACE(k);
    const ExtendedRec half_more = ExtendedDivide(ExtendedFromInt(2 * k + 1), ExtendedFromInt(2));
    EXPECT_EQ(ExtendedRoundedMagnitude(half_more), static_cast<std::uint64_t>(k + (k & 1)));
    const ExtendedRec negative = ExtendedDivide(ExtendedFromInt(2 * k + 1), ExtendedFromInt(-2));
    EXPECT_EQ(ExtendedRoundedMagnitude(negative), static_cast<std::uint64_t>(k + (k & 1)));
  }
  const struct {
    ExtendedRec Value;
    std::uint64_t Expected;
  } rows[] = {
      {{false, 0, 0}, 0},
      {{false, kTop, -64}, 0},                // exactly 1/2
      {{false, kTop + 1, -64}, 1},            // just above 1/2
      {{false, 0xFFFFFFFFFFFFFFFF, -65}, 0},  // just below 1/2
      {{false, 0xFFFFFFFFFFFFFFFF, -64}, 1},  // just below 1
      {{false, kTop, -200}, 0},
      {{false, 0xFFFFFFFFFFFFFFFF, -1}, kTop},      // 2^63 - 1/2: a tie, to the even 2^63
      {{false, 0xFFFFFFFFFFFFFFFD, -1}, kTop - 2},  // 2^63 - 3/2
      {{false, 0xFFFFFFFFFFFFFFFF, 0}, 0xFFFFFFFFFFFFFFFF},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Expected);
    EXPECT_EQ(ExtendedRoundedMagnitude(row.Value), row.Expected);
  }
}

TEST(Extended, QuotientsAndProductsRoundTheirLastBit) {
  // 1/3 = 0.0101...: 64 bits of 1010..., then 1010...: rounded up to ...AB.
  EXPECT_EQ(ExtendedDivide(ExtendedFromInt(1), ExtendedFromInt(3)),
            (ExtendedRec{false, 0xAAAAAAAAAAAAAAAB, -65}));
  EXPECT_EQ(ExtendedDivide(ExtendedFromInt(-2), ExtendedFromInt(3)),
            (ExtendedRec{true, 0xAAAAAAAAAAAAAAAB, -64}));
  EXPECT_EQ(ExtendedDivide(ExtendedFromInt(1), ExtendedFromInt(10)),
            (ExtendedRec{false, 0xCCCCCCCCCCCCCCCD, -67}));
  EXPECT_EQ(ExtendedDivide(ExtendedFromInt(0), ExtendedFromInt(-7)), (ExtendedRec{true, 0, 0}));
  // (2^64 - 1)^2 = 2^128 - 2^65 + 1: the top 64 bits are 2^64 - 2, and the rest is 1.
  const ExtendedRec all_ones = {false, 0xFFFFFFFFFFFFFFFF, 0};
  EXPECT_EQ(ExtendedMultiply(all_ones, all_ones), (ExtendedRec{false, 0xFFFFFFFFFFFFFFFE, 64}));
  // (2^63 + 1)^2 = 2^126 + 2^64 + 1, a 127-bit product: its top 64 bits are (2^63 + 2) * 2^63,
  // and the 1 below them is far less than half a unit.
  const ExtendedRec just_above = {false, kTop + 1, 0};
  EXPECT_EQ(ExtendedMultiply(just_above, just_above), (ExtendedRec{false, kTop + 2, 63}));
  // Exact ties below the last bit go to the even neighbour:
  // (2^32 + 1) * (2^31 + 1/2) = 2^63 + 2^32 + 1/2 and (2^32 + 1) * (2^31 + 3/2) = 2^63 + 2^33 +
  // 3/2.
  const ExtendedRec a = ExtendedFromInt((std::int64_t{1} << 32) + 1);
  const ExtendedRec b = {false, kTop + (std::uint64_t{1} << 31), -32};
  const ExtendedRec c = {false, kTop + (std::uint64_t{3} << 31), -32};
  EXPECT_EQ(ExtendedMultiply(a, b), (ExtendedRec{false, kTop + (std::uint64_t{1} << 32), 0}));
  EXPECT_EQ(ExtendedMultiply(a, c), (ExtendedRec{false, kTop + (std::uint64_t{1} << 33) + 2, 0}));
  // (2^63 + 1) * (2^64 - 2) = 2^127 - 2: 64 ones and then more than half a unit, so rounding
  // up carries out of the significand: 2^127.
  EXPECT_EQ(ExtendedMultiply({false, kTop + 1, 0}, {false, 0xFFFFFFFFFFFFFFFE, 0}),
            (ExtendedRec{false, kTop, 64}));
}

TEST(Extended, ExactQuotientsAndProductsStayExact) {
  RandomBits bits{7};
  for (int i = 0; i < 20000; ++i) {
    const auto q = static_cast<std::int64_t>(bits.Next() >> (33 + bits.Next() % 31)) + 1;
    const auto d = static_cast<std::int64_t>(bits.Next() >> (32 + bits.Next() % 32)) + 1;
    const std::int64_t sign = (i & 1) != 0 ? -1 : 1;
    SCOPED_TRACE(std::to_string(q) + " * " + std::to_string(d));
    ASSERT_EQ(ExtendedDivide(ExtendedFromInt(sign * q * d), ExtendedFromInt(d)),
              ExtendedFromInt(sign * q));
    ASSERT_EQ(ExtendedMultiply(ExtendedFromInt(q), ExtendedFromInt(sign * d)),
              ExtendedFromInt(sign * q * d));
  }
}

TEST(Extended, PowersOfTenAreExactUpTo27) {
  std::int64_t power = 1;
  for (int k = 0; k <= 18; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(ExtendedPowerOfTen(k), ExtendedFromInt(power));
    if (k < 18) {
      power *= 10;
    }
  }
  // 10^k = 5^k * 2^k, and 5^27 still fits 63 bits.
  std::int64_t five = 3814697265625;  // 5^18
  for (int k = 19; k <= 27; ++k) {
    five *= 5;
    SCOPED_TRACE(k);
    ExtendedRec expected = ExtendedFromInt(five);
    expected.Exponent += k;
    EXPECT_EQ(ExtendedPowerOfTen(k), expected);
  }
}

TEST(PlayTimeQuotient, KnownQuotientsAndTheirDigits) {
  // Checked against the x87 unit (see X87Oracle below).
  const struct {
    std::int64_t Size;
    std::int32_t Rate;
    double Quotient;
    const char* Text;
  } rows[] = {
      {12348000, 176400, 70, "70.00"},
      {22932000, 176400, 130, "130.00"},
      {131, 2, 65.5, "65.50"},
      {1000, -100, -10, "-10.00"},
      {9996, 1000, 0x1.3fdf3b645a1cbp+3, "10.00"},
      {119996, 1000, 0x1.dffbe76c8b439p+6, "120.00"},
      {3599999, 1000, 0x1.c1fff7ced9168p+11, "3600.00"},
      {1102, 22050, 0x1.996a0ba80af5bp-5, "0.05"},
      // On a two-decimal boundary: the stored quotient lies just below x.xx5.
      {11999, 200, 0x1.dff5c28f5c28fp+5, "59.99"},
      {123457, 200, 0x1.34a47ae147ae1p+9, "617.28"},
      {2675, 1000, 0x1.5666666666666p+1, "2.67"},
      {9995, 1000, 0x1.3fd70a3d70a3dp+3, "9.99"},
      // ... and the 17 digits of 0.005 and 0.015 end in a 5 followed by zeros: rounded up.
      {1, 200, 0x1.47ae147ae147bp-8, "0.01"},
      {3, 200, 0x1.eb851eb851eb8p-7, "0.02"},
      // Rounded twice: one rounding to double would give the neighbour ...717p+13.
      {337509231, 22050, 0x1.de5454262c716p+13, "15306.54"},
      {2147483647, 1, 2147483647, "2147483647.00"},
      {kMinInt32, 1, -2147483648.0, "-2147483648.00"},
      {kMinInt32, -1, 2147483648.0, "2147483648.00"},
      {0xFFFFFFFF, 1, 4294967295.0, "4294967295.00"},
      {0xFFFFFFFF, 176400, 0x1.7c6f8c73a2a7ep+14, "24347.89"},
      {2147483647, 2147483646, 0x1.00000002p+0, "1.00"},
      {1, kMinInt32, -0x1p-31, "-0.00"},
      {2000000000, 7, 0x1.107a76db6db6ep+28, "285714285.71"},
      {0, 1000, 0.0, "0.00"},
      {0, -5, -0.0, "-0.00"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.Size) + " / " + std::to_string(row.Rate));
    const double quotient = PlayTimeQuotient(row.Size, row.Rate);
    EXPECT_EQ(DoubleBits(quotient), DoubleBits(row.Quotient)) << std::hexfloat << quotient;
    EXPECT_EQ(FixedText(quotient, 2), row.Text);
  }
}

TEST(PlayTimeQuotient, MultiplesOfAnEighthRoundTheirDecimalTieAwayFromZero) {
  // k / 8 is exact, k * 125 its thousandths: the digits follow from integers alone.
  for (std::int32_t rate : {8, -8}) {
    for (std::int64_t k = -2000; k <= 2000; ++k) {
      const bool negative = (k < 0) != (rate < 0) || (k == 0 && rate < 0);
      const std::uint64_t hundredths = (static_cast<std::uint64_t>(k < 0 ? -k : k) * 125 + 5) / 10;
      std::string expected = negative ? "-" : "";
      expected += std::to_string(hundredths / 100) + "." + std::to_string(hundredths % 100 / 10) +
                  std::to_string(hundredths % 10);
      SCOPED_TRACE(std::to_string(k) + " / " + std::to_string(rate));
      ASSERT_EQ(FixedText(PlayTimeQuotient(k, rate), 2), expected);
    }
  }
}

TEST(PlayTimeQuotient, RandomPairsGiveTheDigitsCheckedAgainstTheX87Unit) {
  // The digest of the first 20000 random pairs of seed 1, whose every bit the x87 test below
  // compares with the unit. A change of the pair generator changes it too.
  EXPECT_EQ(test::PortableDigest(1, 20000), std::uint64_t{0x98d0e82ad10e8c25});
}

// ---- The x87 unit as the oracle: only where long double is its format --------------------------

#if SONDRAX_HAVE_X87

TEST(X87Oracle, EdgePairsAgreeBitForBit) {
  int differ = 0;
  for (const PlayTimePair& pair : test::EdgePairs()) {
    const std::string difference = test::ComparePair(pair);
    if (!difference.empty() && ++differ <= 10) {
      ADD_FAILURE() << difference;
    }
  }
  EXPECT_EQ(differ, 0);
}

TEST(X87Oracle, RandomPairsAgreeBitForBit) {
  RandomBits bits{1};
  int differ = 0;
  for (int i = 0; i < 100000; ++i) {
    const std::string difference = test::ComparePair(test::RandomPair(bits));
    if (!difference.empty() && ++differ <= 10) {
      ADD_FAILURE() << difference;
    }
  }
  EXPECT_EQ(differ, 0);
}

// A random extended number: a significand with its top bit set, often with many low bits
// cleared (so that products and conversions meet exact ties), and an exponent in the range.
ExtendedRec RandomExtended(RandomBits& bits, std::int32_t lowest, std::int32_t highest) {
  const std::uint64_t choice = bits.Next();
  std::uint64_t significand = bits.Next() | kTop;
  if ((choice & 3) == 0) {
    significand &= ~((std::uint64_t{1} << (choice >> 2) % 63) - 1);
  }
  const auto span = static_cast<std::uint64_t>(std::int64_t{highest} - lowest + 1);
  return {(choice & 0x100) != 0, significand,
          lowest + static_cast<std::int32_t>((choice >> 16) % span)};
}

// A random finite double of any magnitude, denormals included, or a value near an integer.
double RandomDouble(RandomBits& bits) {
  for (;;) {
    const double x = std::bit_cast<double>(bits.Next());
    if (std::isfinite(x)) {
      return x;
    }
  }
}

TEST(X87Oracle, EveryStepAgreesBitForBit) {
  RandomBits bits{2};
  for (int i = 0; i < 100000; ++i) {
    const ExtendedRec x = RandomExtended(bits, -100, 100);
    const ExtendedRec y = RandomExtended(bits, -100, 100);
    SCOPED_TRACE(testing::PrintToString(x) + ", " + testing::PrintToString(y));
    volatile long double lx = ToLongDouble(x);  // volatile: computed by the unit at run time
    volatile long double ly = ToLongDouble(y);
    ASSERT_EQ(ExtendedDivide(x, y), FromLongDouble(lx / ly));
    ASSERT_EQ(ExtendedMultiply(x, y), FromLongDouble(lx * ly));
    ASSERT_EQ(ExtendedBinaryExponent(x), std::ilogb(lx));

    const ExtendedRec below_2_64 = RandomExtended(bits, -130, 0);
    volatile long double lb = ToLongDouble(below_2_64);
    ASSERT_EQ(ExtendedRoundedMagnitude(below_2_64),
              static_cast<std::uint64_t>(std::nearbyint(std::fabs(lb))));

    const ExtendedRec in_double_range = RandomExtended(bits, -1000, 900);
    volatile long double ld = ToLongDouble(in_double_range);
    ASSERT_EQ(DoubleBits(ExtendedToDouble(in_double_range)), DoubleBits(static_cast<double>(ld)));

    const double d = RandomDouble(bits);
    ASSERT_EQ(ExtendedFromDouble(d), FromLongDouble(static_cast<long double>(d)));
  }
  volatile long double power = 1.0L;
  for (int k = 0; k <= 400; ++k) {
    SCOPED_TRACE(k);
    ASSERT_EQ(ExtendedPowerOfTen(k), FromLongDouble(power));
    power = power * 10.0L;
  }
}

TEST(X87Oracle, FixedTextAgreesOnTheWorkedExamplesAndOnRandomDoubles) {
  const double examples[] = {3.14159, 65.25, -12.5,         0.0,        -0.0,    5.3,     0.125,
                             -0.125,  2.5,   0.5,           2.675,      9.995,   9.996,   59.999,
                             99.995,  0.999, 123456789.125, 2147483647, 1e-20,   999.996, 9.9999,
                             0.004,   0.005, -0.001,        1.5,        12345.0, DBL_MAX};
  for (double x : examples) {
    for (int decimals : {0, 1, 2, 3, 16, 20}) {
      SCOPED_TRACE(std::to_string(x) + ", " + std::to_string(decimals));
      ASSERT_EQ(FixedText(x, decimals), test::X87FixedText(x, decimals));
    }
  }
  RandomBits bits{3};
  for (int i = 0; i < 50000; ++i) {
    const double x = (i & 1) != 0 ? RandomDouble(bits)
                                  : std::ldexp(static_cast<double>(bits.Next() >> 11),
                                               static_cast<int>(bits.Next() % 120) - 100);
    const auto decimals = static_cast<std::int32_t>(bits.Next() % 21);
    SCOPED_TRACE(std::to_string(x) + ", " + std::to_string(decimals));
    ASSERT_EQ(FixedText(x, decimals), test::X87FixedText(x, decimals));
  }
}

#else

TEST(X87Oracle, NeedsAnX87Unit) {
  GTEST_SKIP() << "no x87 unit on this processor: the known-answer tests above stand in for it";
}

#endif

}  // namespace
}  // namespace sondrax
