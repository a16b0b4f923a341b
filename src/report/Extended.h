// The report's few steps in extended precision: a 64-bit significand with rounding to nearest,
// ties to even, as the x87 unit computes in its registers. They are done here in integer
// arithmetic, so that a play time and its digits come out the same on every processor and
// with every compiler, whether or not it offers that precision in hardware.
//
// Every value these functions meet lies far inside the exponent range of the x87 format, so
// there is no overflow, underflow or denormal to handle; the contracts below say so.
#pragma once

#include <cstdint>

namespace sondrax {

/// A finite number as an x87 register holds it: (-1)^Negative * Significand * 2^Exponent, with
/// the top bit of Significand set, or Significand 0 for a zero of either sign.
struct ExtendedRec {
  bool Negative = false;
  std::uint64_t Significand = 0;
  std::int32_t Exponent = 0;
};

/// The integer, exactly.
ExtendedRec ExtendedFromInt(std::int64_t value);
/// The double, exactly (its sign too: -0.0 stays negative). Only finite values.
ExtendedRec ExtendedFromDouble(double value);
/// x rounded to double, ties to even. x must lie in the range of normal doubles (or be zero).
double ExtendedToDouble(const ExtendedRec& x);
/// x / y rounded to the 64-bit significand, ties to even. y must not be zero.
ExtendedRec ExtendedDivide(const ExtendedRec& x, const ExtendedRec& y);
/// x * y rounded to the 64-bit significand, ties to even.
ExtendedRec ExtendedMultiply(const ExtendedRec& x, const ExtendedRec& y);
/// The magnitude of x rounded to an integer, ties to even. |x| must be below 2^64.
std::uint64_t ExtendedRoundedMagnitude(const ExtendedRec& x);
/// The integer e with 2^e <= |x| < 2^(e+1). x must not be zero.
std::int32_t ExtendedBinaryExponent(const ExtendedRec& x);
/// 10^k by k multiplications by ten, each rounded: exact for k <= 27.
ExtendedRec ExtendedPowerOfTen(std::int32_t k);

/// The play time in seconds: size / rate, both converted exactly, divided with a 64-bit
/// significand and then rounded to double (so rounded twice, ties to even each time). size is
/// any value in [-2^31, 2^32); rate must not be 0 (the report tests for it before it divides).
double PlayTimeQuotient(std::int64_t size, std::int32_t rate);

}  // namespace sondrax
