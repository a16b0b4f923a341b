// The fixed-point rendering of real numbers. The digits come from 64-bit-significand
// arithmetic in a fixed sequence of steps (report/Extended.h), so that the same value gives the
// same text on every platform.
#include <cmath>
#include <cstdint>

#include "report/Extended.h"
#include "report/Output.h"

namespace sondrax {

std::string FixedText(double x, std::int32_t decimals) {
  if (decimals < 0) {
    decimals = 0;
  }
  std::string text;
  if (std::signbit(x)) {
    text.push_back('-');
  }
  ExtendedRec m = ExtendedFromDouble(std::fabs(x));

  // Scale the magnitude into [1, 16) with exact decimal exponents; below 10 it stays as it is.
  int exponent10 = 0;
  if (std::fabs(x) >= 10.0) {
    for (;;) {
      const std::int32_t e = ExtendedBinaryExponent(m);
      const int k = static_cast<int>((static_cast<std::int64_t>(e) * 19728) >> 16);
      if (k == 0) {
        break;
      }
      // 10^k is exact for every k a play time needs; far larger magnitudes get the powers
      // rounded as the x87 unit rounds them.
      m = ExtendedDivide(m, ExtendedPowerOfTen(k));
      exponent10 += k;
    }
  }

  // Nineteen digits c0 ... c18 of m * 10^17; c0 is 0 or 1.
  const std::uint64_t whole = ExtendedRoundedMagnitude(ExtendedMultiply(m, ExtendedPowerOfTen(17)));
  char digits[19];
  std::uint64_t rest = whole;
  for (int i = 18; i >= 0; --i) {
    digits[i] = static_cast<char>('0' + rest % 10);
    rest /= 10;
  }

  // Keep c0 ... cn and round on c(n+1) alone; beyond c18 every digit is zero.
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

  // A leading 0 in c0 is not shown; the integer part ends at c(E+1).
  const std::size_t integer_end = static_cast<std::size_t>(exponent10) + 2;
  const std::size_t integer_begin = kept[0] == '0' ? 1 : 0;
  text.append(kept, integer_begin, integer_end - integer_begin);
  if (decimals > 0) {
    text.push_back('.');
    text.append(kept, integer_end, static_cast<std::size_t>(decimals));
  }
  return text;
}

}  // namespace sondrax
