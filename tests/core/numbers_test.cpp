#include "host/numbers.h"

#include <gtest/gtest.h>

namespace lczs::host {
namespace {

TEST(ToInt16, RoundsHalvesToEvenAndRefusesOverflow) {
  struct Case { double in; int out; };
  for (Case c : {Case{2.5, 2}, {3.5, 4}, {-2.5, -2}, {0.5, 0}, {1.5, 2}, {2.4999, 2},
                 {32767.4, 32767}, {-32768, -32768}, {150, 150}}) {
    EXPECT_EQ(to_int16(c.in), c.out) << c.in;
  }
  EXPECT_THROW(to_int16(32767.5), OverflowError);  // rounds to 32768
  EXPECT_THROW(to_int16(-32768.6), OverflowError);
  EXPECT_THROW(to_int16(1e300), OverflowError);
  EXPECT_THROW(to_int16(std::numeric_limits<double>::quiet_NaN()), OverflowError);
}

TEST(ParseUserNumber, AcceptsPlainAndFullWidthDecimals) {
  struct Case { const char* in; double out; };
  for (Case c : {Case{"3", 3}, {" 6 ", 6}, {"-3", -3}, {"+2.5", 2.5}, {"0.8", 0.8}, {".5", 0.5},
                 {"６", 6}, {"２．５", 2.5}, {"　１２　", 12}, {"－１", -1}, {"7.", 7}}) {
    auto v = parse_user_number(c.in);
    ASSERT_TRUE(v.has_value()) << c.in;
    EXPECT_DOUBLE_EQ(*v, c.out) << c.in;
  }
}

TEST(ParseUserNumber, RefusesWhatIsNotAPlainNumber) {
  for (const char* in : {"", "  ", "abc", "1e3", "1,000", "3分", "--1", "1.2.3", ".", "-", "0x10", "三"}) {
    EXPECT_FALSE(parse_user_number(in).has_value()) << in;
  }
  std::string huge = "1" + std::string(400, '0');
  EXPECT_FALSE(parse_user_number(huge).has_value());
  EXPECT_FALSE(parse_user_number("-" + huge).has_value());
}

TEST(Trim, StripsAsciiAndIdeographicSpaces) {
  EXPECT_EQ(trim("　 ab c\t　"), "ab c");
  EXPECT_EQ(trim(""), "");
  EXPECT_EQ(trim("　"), "");
}

}  // namespace
}  // namespace lczs::host
