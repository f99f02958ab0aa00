#include "host/types.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

namespace lczs::host {
namespace {

TEST(Address, AbsoluteAndRelativeForms) {
  EXPECT_EQ(address({2, 5, 41, 5}), "$E$2:$E$41");
  EXPECT_EQ(address(Area::cell(5, 5)), "$E$5");
  EXPECT_EQ(address(Area::cell(12, 28), false), "AB12");
  EXPECT_EQ(column_letters(1), "A");
  EXPECT_EQ(column_letters(26), "Z");
  EXPECT_EQ(column_letters(27), "AA");
  EXPECT_EQ(column_letters(16384), "XFD");
}

TEST(Address, ParsesBackWhatItWrites) {
  for (Area a : {Area{2, 5, 41, 5}, Area::cell(1, 1), Area{3, 27, 9, 16384}}) {
    auto p = parse_address(address(a));
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(*p, a);
  }
  EXPECT_EQ(parse_address("B2:A1"), (Area{1, 1, 2, 2}));
  EXPECT_FALSE(parse_address("XFE1").has_value());
  EXPECT_FALSE(parse_address("A0").has_value());
  EXPECT_FALSE(parse_address("A1048577").has_value());
  EXPECT_FALSE(parse_address("1A").has_value());
}

TEST(Value, DisplayTextLikeAGeneralCell) {
  EXPECT_EQ(Value::number(88.5).display_text(), "88.5");
  EXPECT_EQ(Value::number(101).display_text(), "101");
  EXPECT_EQ(Value::number(-0.25).display_text(), "-0.25");
  EXPECT_EQ(Value::number(0.1 + 0.2).display_text(), "0.3");
  EXPECT_EQ(Value::number(1e20).display_text(), "1E+20");
  EXPECT_EQ(Value::boolean(true).display_text(), "TRUE");
  EXPECT_EQ(Value::error(ErrorCode::Ref).display_text(), "#REF!");
  EXPECT_EQ(Value().display_text(), "");
}

// The shown text was printf's "%.15G" with its trailing zeros and spare
// exponent digits dropped; it must read the same for any number.
TEST(Value, DisplayTextIsPrintfsGeneralFormForAnyNumber) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> mantissa(-10, 10);
  std::uniform_int_distribution<int> exponent(-320, 308), digits(0, 17);
  for (int i = 0; i < 200000; ++i) {
    double x = mantissa(rng) * std::pow(10.0, exponent(rng) / (i % 3 == 0 ? 1 : 20));
    if (i % 2) x = std::round(x * std::pow(10.0, digits(rng))) / std::pow(10.0, digits(rng));
    if (!std::isfinite(x) || x == 0) continue;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15G", x);
    ASSERT_EQ(Value::number(x).display_text(), buf) << x;
  }
  // Where the plain fixed text stops being the answer: at 1E-4 and 1E+15,
  // and at 15 significant digits.
  for (double edge : {1e-4, 1e15, 999999999999999.0, 99999999999999.9, 0.000123456789012345,
                      123456789012345.0, 12345678901234.56}) {
    for (double x : {std::nextafter(edge, 0.0), edge, std::nextafter(edge, 1e300), -edge}) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.15G", x);
      EXPECT_EQ(Value::number(x).display_text(), buf) << x;
    }
  }
}

TEST(Value, VbaEqualityOfCellValues) {
  EXPECT_TRUE(Value().vba_equals(Value::number(0)));
  EXPECT_TRUE(Value().vba_equals(Value::text("")));
  EXPECT_FALSE(Value().vba_equals(Value::number(101)));
  EXPECT_TRUE(Value::number(101).vba_equals(Value::number(101)));
  EXPECT_FALSE(Value::number(101).vba_equals(Value::text("101")));
  EXPECT_FALSE(Value::text("a").vba_equals(Value::text("A")));
  EXPECT_FALSE(Value::text("高一(1)班").vba_equals(Value::text("高一(2)班")));
}

}  // namespace
}  // namespace lczs::host
