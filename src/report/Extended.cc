// Extended precision in integers: each function gives the bits one x87 instruction gives with
// a 64-bit significand and rounding to nearest even (the precision the play time is computed in).
#include "report/Extended.h"

#include <bit>
#include <cmath>

namespace sondrax {

namespace {

constexpr std::uint64_t kTopBit = std::uint64_t{1} << 63;

// The significand `kept` (top bit set) with the dropped bits summed up as the first of them
// (`round_bit`) and whether any later one is set (`sticky`): rounded up when the dropped part
// is more than half a unit, or exactly half on an odd significand.
ExtendedRec Rounded(bool negative, std::uint64_t kept, std::int32_t exponent, bool round_bit,
                    bool sticky) {
  if (round_bit && (sticky || (kept & 1) != 0)) {
    ++kept;
    if (kept == 0) {  // all ones plus one: 2^64, one bit longer
      kept = kTopBit;
      ++exponent;
    }
  }
  return {negative, kept, exponent};
}

}  // namespace

// FILD: every 64-bit integer fits the significand.
ExtendedRec ExtendedFromInt(std::int64_t value) {
  const bool negative = value < 0;
  // Negated in unsigned arithmetic, so that the most negative value has a magnitude too.
  const std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  if (magnitude == 0) {
    return {};
  }
  const int shift = std::countl_zero(magnitude);
  return {negative, magnitude << shift, -shift};
}

// FLD of a double: its 53 bits fit the significand.
ExtendedRec ExtendedFromDouble(double value) {
  if (value == 0) {
    return {std::signbit(value), 0, 0};
  }
  int exponent = 0;
  const double fraction = std::frexp(std::fabs(value), &exponent);  // in [1/2, 1)
  return {std::signbit(value), static_cast<std::uint64_t>(std::ldexp(fraction, 64)), exponent - 64};
}

// FSTP to a double: 53 of the 64 bits are kept. A carry out of the kept bits gives 2^53,
// which a double holds, so it needs no renormalising here.
double ExtendedToDouble(const ExtendedRec& x) {
  std::uint64_t kept = x.Significand >> 11;
  const std::uint64_t dropped = x.Significand & 0x7FF;
  constexpr std::uint64_t kHalf = 0x400;
  if (dropped > kHalf || (dropped == kHalf && (kept & 1) != 0)) {
    ++kept;
  }
  const double magnitude = std::ldexp(static_cast<double>(kept), x.Exponent + 11);
  return x.Negative ? -magnitude : magnitude;
}

// FDIV: long division of the significands, one quotient bit per step, until 64 bits and the
// first dropped bit are known; the remainder says whether anything follows.
ExtendedRec ExtendedDivide(const ExtendedRec& x, const ExtendedRec& y) {
  const bool negative = x.Negative != y.Negative;
  if (x.Significand == 0) {
    return {negative, 0, 0};
  }
  const std::uint64_t divisor = y.Significand;
  std::uint64_t remainder = x.Significand;
  // The remainder stays below the divisor, but twice the remainder may need a 65th bit; when
  // it has one it exceeds the divisor, and the subtraction wraps back to the right value.
  auto next_bit = [&]() {
    const bool carry = (remainder & kTopBit) != 0;
    remainder <<= 1;
    const bool bit = carry || remainder >= divisor;
    if (bit) {
      remainder -= divisor;
    }
    return bit;
  };
  // Both significands lie in [2^63, 2^64), so the quotient lies in (1/2, 2): its leading bit
  // is the units bit or, when that is 0, the first bit after the point.
  std::int32_t exponent = x.Exponent - y.Exponent;
  if (remainder >= divisor) {
    remainder -= divisor;
  } else {
    next_bit();  // always 1
    --exponent;
  }
  std::uint64_t quotient = 1;
  for (int i = 1; i < 64; ++i) {
    quotient = (quotient << 1) | (next_bit() ? 1 : 0);
    --exponent;
  }
  const bool round_bit = next_bit();
  return Rounded(negative, quotient, exponent, round_bit, remainder != 0);
}

// FMUL: the 128-bit product of the significands, rounded to its top 64 bits.
ExtendedRec ExtendedMultiply(const ExtendedRec& x, const ExtendedRec& y) {
  const bool negative = x.Negative != y.Negative;
  if (x.Significand == 0 || y.Significand == 0) {
    return {negative, 0, 0};
  }
  // Four products of 32-bit halves; `middle` collects the carries into the upper word.
  const std::uint64_t x_low = x.Significand & 0xFFFFFFFF;
  const std::uint64_t x_high = x.Significand >> 32;
  const std::uint64_t y_low = y.Significand & 0xFFFFFFFF;
  const std::uint64_t y_high = y.Significand >> 32;
  const std::uint64_t low_low = x_low * y_low;
  const std::uint64_t low_high = x_low * y_high;
  const std::uint64_t high_low = x_high * y_low;
  const std::uint64_t middle = (low_low >> 32) + (low_high & 0xFFFFFFFF) + (high_low & 0xFFFFFFFF);
  std::uint64_t low = (low_low & 0xFFFFFFFF) | (middle << 32);
  std::uint64_t high = x_high * y_high + (low_high >> 32) + (high_low >> 32) + (middle >> 32);
  std::int32_t exponent = x.Exponent + y.Exponent + 64;
  if ((high & kTopBit) == 0) {  // the product lies in [2^126, 2^128): at most one bit short
    high = (high << 1) | (low >> 63);
    low <<= 1;
    --exponent;
  }
  return Rounded(negative, high, exponent, (low & kTopBit) != 0, (low << 1) != 0);
}

// FRNDINT, then the magnitude stored as an integer.
std::uint64_t ExtendedRoundedMagnitude(const ExtendedRec& x) {
  if (x.Exponent >= 0) {
    return x.Significand;  // below 2^64 with the top bit set, the exponent can only be 0
  }
  if (x.Exponent < -64) {
    return 0;  // below 1/2
  }
  const int shift = -x.Exponent;  // 1 to 64
  const std::uint64_t whole = shift == 64 ? 0 : x.Significand >> shift;
  const std::uint64_t half = std::uint64_t{1} << (shift - 1);
  const std::uint64_t fraction = x.Significand & ((half << 1) - 1);  // all bits when shift is 64
  if (fraction > half || (fraction == half && (whole & 1) != 0)) {
    return whole + 1;
  }
  return whole;
}

// FXTRACT's exponent (ilogb).
std::int32_t ExtendedBinaryExponent(const ExtendedRec& x) { return x.Exponent + 63; }

// Repeated FMUL by ten from one.
ExtendedRec ExtendedPowerOfTen(std::int32_t k) {
  const ExtendedRec ten = ExtendedFromInt(10);
  ExtendedRec result = ExtendedFromInt(1);
  for (std::int32_t i = 0; i < k; ++i) {
    result = ExtendedMultiply(result, ten);
  }
  return result;
}

// FILD, FILD, FDIV, FSTP to a double.
double PlayTimeQuotient(std::int64_t size, std::int32_t rate) {
  return ExtendedToDouble(ExtendedDivide(ExtendedFromInt(size), ExtendedFromInt(rate)));
}

}  // namespace sondrax
