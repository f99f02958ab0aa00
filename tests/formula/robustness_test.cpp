// Formulas assembled at random from pieces of real syntax (and stray bytes):
// every entry point must come back without crashing, and its answers must
// agree with each other.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "model/formula.h"

namespace {

namespace f = lczs::memory::formula;
using lczs::host::Area;
using lczs::host::Value;

struct AnyBook : f::Resolver {
  Value cell(std::string_view, int row, int col) const override {
    switch ((row + col) % 5) {
      case 0: return Value();
      case 1: return Value::number(row * 0.5 - col);
      case 2: return Value::text(row % 2 ? "7" : "x");
      case 3: return Value::boolean(row % 2);
      default: return Value::error(lczs::host::ErrorCode::NA);
    }
  }
  void for_each_in(std::string_view sheet, const Area& a,
                   const std::function<void(int, int, const Value&)>& fn) const override {
    // Only the first few rows and columns hold anything.
    for (int r = a.top; r <= std::min(a.bottom, 30); ++r)
      for (int c = a.left; c <= std::min(a.right, 10); ++c) fn(r, c, cell(sheet, r, c));
  }
  bool sheet_exists(std::string_view s) const override { return s.empty() || s == "Sheet1"; }
  double today_serial() const override { return 46363; }
};

TEST(Robustness, RandomFormulasNeverBreakAnyEntryPoint) {
  static const char* pieces[] = {
      "A1", "$B$2", "C3:D4", ":", "Sheet1!", "'my sheet'!", "#REF!", "SUM(", "AVERAGEA(",
      "ROUND(", "IF(", "COUNTIF(", "RANK(", "VLOOKUP(", ")", ",", "+", "-", "*", "/", "^", "&",
      "=", "<>", "<=", "%", "\"x\"", "\"", "1.5E3", "0", "TRUE", "(", "{", "}", ";", "1:3",
      "A:C", "R[1]C", "RC", "R1C1", "#N/A", " ", "XFD1048576", "'", "!", "[1]", "$", "name",
      "\xe6\x88\x90", "\xff", "@", "A1048576", "9E999",
  };
  std::mt19937 rng(20261207);
  AnyBook book;
  for (int i = 0; i < 5000; ++i) {
    std::string text;
    int n = 1 + static_cast<int>(rng() % 12);
    for (int k = 0; k < n; ++k) text += pieces[rng() % std::size(pieces)];
    SCOPED_TRACE(text);
    int row = 1 + static_cast<int>(rng() % 40), col = 1 + static_cast<int>(rng() % 12);
    auto r = f::evaluate(text, row, col, book);
    bool parses = f::parses(text);
    if (r.supported) {
      EXPECT_TRUE(parses);
    }
    EXPECT_EQ(f::is_supported(text), f::is_supported(*f::parse(text)));
    if (!parses) {
      EXPECT_FALSE(f::is_supported(text));
    }
    int dr = static_cast<int>(rng() % 21) - 10, dc = static_cast<int>(rng() % 21) - 10;
    std::string moved = f::translate(text, dr, dc);
    EXPECT_EQ(f::parses(moved), parses) << moved;
    EXPECT_EQ(f::translate(text, 0, 0), text);
    (void)f::on_rows_deleted(text, "Sheet1", "Sheet1", 1 + static_cast<int>(rng() % 5), 2);
    (void)f::on_cols_inserted(text, "Sheet1", "Sheet1", 1 + static_cast<int>(rng() % 5), 2);
    (void)f::on_moved(text, "Sheet1", "Sheet1", Area{1, 1, 3, 3}, "Other", dr, dc);
    (void)f::on_sheet_renamed(text, "Sheet1", "a b");
    std::string rc = f::to_r1c1(text, row, col);
    (void)f::from_r1c1(rc, row, col);
    (void)f::from_r1c1(text, row, col);
    for (const auto& ref : f::references(text, row, col)) EXPECT_TRUE(ref.area.valid());
  }
}

TEST(Robustness, DeepNestingIsRefusedNotOverflowed) {
  std::string deep(100000, '(');
  deep += "1";
  deep += std::string(100000, ')');
  EXPECT_FALSE(f::parses(deep));
  std::string minus(100000, '-');
  EXPECT_FALSE(f::parses(minus + "1"));
  std::string nested;
  for (int i = 0; i < 60; ++i) nested += "ABS(";
  nested += "-1";
  nested += std::string(60, ')');
  AnyBook book;
  EXPECT_EQ(f::evaluate(nested, 1, 1, book).value, Value::number(1));
}

}  // namespace
