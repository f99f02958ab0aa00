// Application.WorksheetFunction: CountBlank, CountIf, Max, Min, Average,
// Match.
#include "helpers.h"

namespace lczs::memory::testing {
namespace {

TEST(Functions, CountIf) {
  OneSheet s({{0}, {"0"}, {"男"}, {"男 "}, {"A"}, {"a"}, {nullptr}, {"=\"\""}, {5}, {"5"}, {true}, {"AB"}});
  auto& f = s.app.worksheet_function();
  Area a{1, 1, 12, 1};
  struct {
    Value crit;
    int count;
  } cases[] = {
      {T("0"), 2},     // number 0 and text "0"
      {N(0), 2},
      {T("男"), 1},    // whole-cell equality
      {T("A"), 2},     // case-insensitive
      {T(""), 2},      // the empty cell and the formula giving ""
      {N(5), 2},
      {T("5"), 2},
      {T("TRUE"), 1},
      {T("女"), 0},
      {T("A*"), 3},
  };
  for (const auto& c : cases) EXPECT_EQ(f.count_if(*s.ws, a, c.crit), c.count) << c.crit.display_text();
  // Whole column: the empty cells of the column count for "".
  EXPECT_EQ(f.count_if(*s.ws, Area::columns(1, 1), T("男")), 1);
  EXPECT_EQ(f.count_if(*s.ws, Area::columns(1, 1), T("")), host::kMaxRows - 10);
}

TEST(Functions, CountBlank) {
  OneSheet s({{1, nullptr, "=\"\""}, {"x", 0, nullptr}});
  auto& f = s.app.worksheet_function();
  EXPECT_EQ(f.count_blank(*s.ws, Area{1, 1, 2, 3}), 3);
  EXPECT_EQ(f.count_blank(*s.ws, Area{1, 1, 1, 1}), 0);
}

TEST(Functions, MaxMinAverage) {
  OneSheet s({{90, "x", 70.5, true, nullptr, "=10*8"}});
  auto& f = s.app.worksheet_function();
  Area a{1, 1, 1, 6};
  EXPECT_EQ(f.max(*s.ws, a), 90);
  EXPECT_EQ(f.min(*s.ws, a), 70.5);
  EXPECT_DOUBLE_EQ(f.average(*s.ws, a), (90 + 70.5 + 80) / 3);
  EXPECT_EQ(f.max(*s.ws, Area{2, 1, 2, 5}), 0);
  EXPECT_THROW(f.average(*s.ws, Area{2, 1, 2, 5}), host::HostError);
  s.ws->set_formula(Area::cell(1, 7), "=1/0");
  EXPECT_THROW(f.max(*s.ws, Area{1, 1, 1, 7}), host::HostError);
}

TEST(Functions, MatchExact) {
  OneSheet s({{"班级", 3, "abc", 3.0, nullptr, "3"}});
  auto& f = s.app.worksheet_function();
  Area a{1, 1, 1, 6};
  EXPECT_EQ(f.match_exact(N(3), *s.ws, a), 2);
  EXPECT_EQ(f.match_exact(T("ABC"), *s.ws, a), 3);
  EXPECT_EQ(f.match_exact(T("3"), *s.ws, a), 6);  // text matches text only
  EXPECT_THROW(f.match_exact(N(4), *s.ws, a), host::HostError);
  EXPECT_THROW(f.match_exact(N(3), *s.ws, Area{1, 1, 2, 2}), host::HostError);
  OneSheet col({{5}, {7}, {9}});
  EXPECT_EQ(col.app.worksheet_function().match_exact(N(9), *col.ws, Area::columns(1, 1)), 3);
}

}  // namespace
}  // namespace lczs::memory::testing
