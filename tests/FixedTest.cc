#include <gtest/gtest.h>

#include <cmath>

#include "TestUtil.h"
#include "report/Extended.h"
#include "report/Output.h"

namespace sondrax {
namespace {

// The text right-aligned in `width`, as the report writes it.
std::string Written(double x, int width, int decimals) {
  return test::CaptureWrites([&] { WritePadded(FixedText(x, decimals), width); }).Out;
}

struct FixedRow {
  double X;
  int Width;
  int Decimals;
  const char* Text;
};

TEST(FixedText, EveryRowOfTheWorkedExamples) {
  const FixedRow rows[] = {
      {3.14159, 8, 2, "    3.14"},
      {65.25, 8, 2, "   65.25"},
      {-12.5, 8, 2, "  -12.50"},
      {0, 8, 2, "    0.00"},
      {0, 0, 2, "0.00"},
      {5.3, 0, 2, "5.30"},
      {0.125, 0, 2, "0.13"},
      {-0.125, 0, 2, "-0.13"},
      {2.5, 0, 0, "3"},
      {0.5, 0, 0, "1"},
      {2.675, 0, 2, "2.67"},
      {9.995, 0, 2, "9.99"},
      {9.996, 0, 2, "10.00"},
      {59.999, 0, 2, "60.00"},
      {99.995, 8, 2, "  100.00"},
      {0.999, 0, 2, "1.00"},
      {123456789.125, 8, 2, "123456789.13"},
      {2147483647, 8, 2, "2147483647.00"},
      {1e-20, 0, 2, "0.00"},
  };
  for (const FixedRow& row : rows) {
    SCOPED_TRACE(row.Text);
    EXPECT_EQ(Written(row.X, row.Width, row.Decimals), row.Text);
  }
}

TEST(FixedText, SignBitGivesMinusEvenWhenTheValueRoundsToZero) {
  EXPECT_EQ(FixedText(-0.001, 2), "-0.00");
  EXPECT_EQ(FixedText(-0.0, 2), "-0.00");
  EXPECT_EQ(Written(-0.0, 8, 2), "   -0.00");
}

TEST(FixedText, CarryRunsThroughAllDigitsAndAddsOne) {
  EXPECT_EQ(FixedText(999.996, 2), "1000.00");
  EXPECT_EQ(FixedText(9.9999, 3), "10.000");
  EXPECT_EQ(FixedText(0.004, 2), "0.00");
  EXPECT_EQ(FixedText(0.005, 2), "0.01");  // 0.005 is stored just above the tie
}

TEST(FixedText, PlayTimeQuotients) {
  // Data size / byte rate as the report computes them: extended quotient, stored as double.
  auto play_time = [](int size, int rate) { return PlayTimeQuotient(size, rate); };
  EXPECT_EQ(FixedText(play_time(12348000, 176400), 2), "70.00");
  EXPECT_EQ(FixedText(play_time(9996, 1000), 2), "10.00");
  EXPECT_EQ(FixedText(play_time(1000, -100), 2), "-10.00");
  EXPECT_EQ(FixedText(play_time(2147483647, 1), 2), "2147483647.00");
  EXPECT_EQ(FixedText(play_time(-2147483647 - 1, 1), 2), "-2147483648.00");
  EXPECT_EQ(FixedText(play_time(1, 2147483647), 2), "0.00");
}

TEST(FixedText, ManyDecimalsAreZeroBeyondTheComputedDigits) {
  EXPECT_EQ(FixedText(1.5, 20), "1.50000000000000000000");
  EXPECT_EQ(FixedText(12345.0, 16), "12345.0000000000000000");
}

}  // namespace
}  // namespace sondrax
