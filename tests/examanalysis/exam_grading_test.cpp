// Electives and 等级赋分: the conversion against a plain reference written
// here (half points counted as whole units, cuts found by trying every
// place), a 3+1+2 grade end to end, and the refusals of bad settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>

#include "exam_harness.h"
#include "examanalysis/ksfx_grading.h"

namespace lczs::examanalysis::testing {
namespace {

using jobs::JobOutcome;

// The rule as the manual states it, on scores in half points (2 units a
// point) and schemes of whole percents and whole range ends.
std::map<double, double> reference_conversion(const std::vector<double>& scores, const GradingScheme& scheme) {
  std::vector<long long> y;
  for (double v : scores) y.push_back(std::llround(v * 2));
  std::sort(y.rbegin(), y.rend());
  const long long n = static_cast<long long>(y.size());
  std::vector<long long> cut;  // takers above each band's lower end
  long long cum = 0;
  for (std::size_t k = 0; k < scheme.bands.size(); ++k) {
    cum += std::llround(scheme.bands[k].percent);
    if (k + 1 == scheme.bands.size()) {
      cut.push_back(n);
      break;
    }
    long long best = -1;
    for (long long p = 0; p <= n; ++p) {
      const bool between = p == 0 || p == n || y[p - 1] != y[p];
      if (!between) continue;
      // |p - n cum / 100|, times 100.
      if (best < 0 || std::llabs(100 * p - n * cum) < std::llabs(100 * best - n * cum)) best = p;
    }
    cut.push_back(best);
  }
  std::map<double, double> out;
  std::size_t band = 0;
  long long start = 0;
  for (long long i = 0; i < n;) {
    while (i >= cut[band]) start = cut[band++];
    const long long y2 = y[start], y1 = y[cut[band] - 1];
    const long long t1 = std::llround(scheme.bands[band].low), t2 = std::llround(scheme.bands[band].high);
    double converted;
    if (y1 == y2) {
      converted = static_cast<double>(t2);
    } else {
      const long long num = t1 * (y2 - y1) + (y[i] - y1) * (t2 - t1), den = y2 - y1;
      converted = static_cast<double>(num / den + (2 * (num % den) >= den ? 1 : 0));
    }
    out[y[i] / 2.0] = converted;
    ++i;
  }
  return out;
}

GradingScheme scheme_named(const std::string& name) {
  for (const GradingScheme& s : builtin_schemes())
    if (s.name == name) return s;
  ADD_FAILURE() << name;
  return {};
}

const GradingScheme kThreeBands{"三档", {{"甲", 30, 100, 81}, {"乙", 50, 80, 61}, {"丙", 20, 60, 40}}};

void expect_matches_reference(const std::vector<double>& scores, const GradingScheme& scheme) {
  const Grading g = grade_scores(scores, scheme);
  const std::map<double, double> want = reference_conversion(scores, scheme);
  ASSERT_EQ(g.points.size(), want.size());
  int counted = 0;
  for (const ScorePoint& p : g.points) {
    EXPECT_EQ(p.converted, want.at(p.raw)) << scheme.name << " raw " << p.raw;
    EXPECT_EQ(g.convert(p.raw), p.converted);
    counted += p.count;
    EXPECT_EQ(p.cumulative, counted);
  }
  int in_bands = 0;
  for (const BandResult& b : g.bands) in_bands += b.count;
  EXPECT_EQ(in_bands, g.takers);
}

TEST(ExamGrading, ConversionMatchesTheReferenceOnRandomScores) {
  std::mt19937 rng(20261208);
  const GradingScheme schemes[] = {scheme_named("五级"), scheme_named("八级"), kThreeBands};
  for (int round = 0; round < 300; ++round) {
    const int n = 8 + static_cast<int>(rng() % 400);
    // Narrow ranges give many ties, so cuts fall inside tied groups.
    const int spread = 1 + static_cast<int>(rng() % 60);
    std::vector<double> scores;
    for (int i = 0; i < n; ++i) scores.push_back(40 + static_cast<int>(rng() % (2 * spread + 1)) * 0.5);
    SCOPED_TRACE("round " + std::to_string(round));
    expect_matches_reference(scores, schemes[round % 3]);
  }
}

TEST(ExamGrading, CutsTiesAndEqualBands) {
  const GradingScheme five = scheme_named("五级");
  // 20 takers: A's target is 3; places 2 and 4 are equally near, the smaller
  // wins, so the tied 99s go to B.
  std::vector<double> tie = {100, 100, 99, 99};
  for (int i = 0; i < 16; ++i) tie.push_back(80 - i);
  Grading g = grade_scores(tie, five);
  EXPECT_EQ(g.bands[0].count, 2);
  EXPECT_EQ(g.convert(100), 100);  // a band of one raw score takes its top
  EXPECT_EQ(g.convert(99), 85);
  expect_matches_reference(tie, five);

  // Everyone equal: one band holds them all, the others are empty.
  g = grade_scores(std::vector<double>(10, 70), five);
  int holding = 0;
  for (const BandResult& b : g.bands) holding += b.count > 0;
  EXPECT_EQ(holding, 1);
  EXPECT_EQ(g.points.size(), 1u);

  // 100 takers 100..1: A takes 100..86, mapped onto 100..86 exactly; half up
  // at .5 (B: 85..51 onto 85..71 gives 85 - (85-Y)*14/34).
  std::vector<double> even;
  for (int i = 100; i >= 1; --i) even.push_back(i);
  g = grade_scores(even, five);
  EXPECT_EQ(g.bands[0].count, 15);
  EXPECT_EQ(g.bands[0].bottom_raw, 86);
  EXPECT_EQ(g.convert(90), 90);
  EXPECT_EQ(g.bands[1].count, 35);
  expect_matches_reference(even, five);
}

// ---- End to end: a 3+1+2 grade -------------------------------------------

const std::vector<std::string> kSubjects = {"语文", "数学", "英语", "物理", "历史", "化学", "生物", "政治", "地理"};
const std::vector<bool> kElective = {false, false, false, true, true, true, true, true, true};
const std::vector<std::string> kSchemeOf = {"", "", "", "", "", "五级", "五级", "八级", "三档"};

struct Student {
  int code = 0, number = 0;
  std::vector<double> score;  // NaN when empty
  bool absent = false;
};

std::vector<Student> reform_grade(int n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<Student> out;
  for (int i = 0; i < n; ++i) {
    Student s;
    s.code = 1 + i % 4;
    s.number = i / 4 + 1;
    s.score.assign(kSubjects.size(), std::nan(""));
    for (int j = 0; j < 3; ++j) s.score[j] = 60 + static_cast<int>(rng() % 90);
    s.score[3 + rng() % 2] = 40 + static_cast<int>(rng() % 60);
    int first = static_cast<int>(rng() % 4), second = static_cast<int>((first + 1 + rng() % 3) % 4);
    for (int j : {first, second}) {
      // Half points in a narrow range: many ties, some at the cuts.
      s.score[5 + j] = 55 + static_cast<int>(rng() % 41) * 0.5;
    }
    if (rng() % 30 == 0) s.score[0] = std::nan(""), s.absent = true;
    if (rng() % 40 == 0) s.score[5 + first] = 0, s.absent = true;
    out.push_back(s);
  }
  return out;
}

memory::WorkbookData reform_book(const std::vector<Student>& students) {
  Rows rows(1);
  rows[0] = {"班级", "学号", "姓名"};
  for (const auto& s : kSubjects) rows[0].push_back(s);
  for (const Student& s : students) {
    std::vector<Lit> row = {s.code, s.number, "生" + std::to_string(s.code) + "-" + std::to_string(s.number)};
    for (double v : s.score) row.push_back(std::isnan(v) ? Lit(nullptr) : Lit(v));
    rows.push_back(std::move(row));
  }
  Rows settings = {{"科目", "满分", "类别", "赋分"}};
  for (std::size_t j = 0; j < kSubjects.size(); ++j)
    settings.push_back({kSubjects[j], j < 3 ? 150 : 100, kElective[j] ? "选考" : "必考",
                        kSchemeOf[j].empty() ? Lit(nullptr) : Lit(kSchemeOf[j])});
  Rows schemes = {{"方案", "等级", "比例(%)", "赋分上限", "赋分下限"}};
  for (const GradeBand& b : kThreeBands.bands) schemes.push_back({"三档", b.grade, b.percent, b.high, b.low});
  memory::WorkbookData book;
  memory::add_sheet(book, "成绩", std::move(rows));
  memory::add_sheet(book, "分析设置", std::move(settings));
  memory::add_sheet(book, "赋分方案", std::move(schemes));
  return book;
}

// Column of a header in row `row`, 0 when none.
int column_of(const host::Worksheet& sheet, int row, const std::string& header) {
  for (int c = 1; c <= 60; ++c)
    if (sheet.value(row, c).display_text() == header) return c;
  return 0;
}

TEST(ExamGrading, ReformGradeEndToEnd) {
  const std::vector<Student> students = reform_grade(240, 5);
  Harness h(reform_book(students));
  h.expect_done();
  ASSERT_EQ(h.run(), JobOutcome::Completed) << h.ui.report();
  EXPECT_EQ(h.sheet_names().back(), "赋分对照");

  // The reference: conversions over every student with a score, totals and
  // ranks over those present.
  std::vector<std::map<double, double>> conv(kSubjects.size());
  std::vector<std::vector<double>> takers(kSubjects.size());
  for (const Student& s : students)
    for (std::size_t j = 0; j < kSubjects.size(); ++j)
      if (!std::isnan(s.score[j]) && s.score[j] != 0) takers[j].push_back(s.score[j]);
  for (std::size_t j = 0; j < kSubjects.size(); ++j)
    if (!kSchemeOf[j].empty())
      conv[j] = reference_conversion(takers[j], kSchemeOf[j] == "三档" ? kThreeBands : scheme_named(kSchemeOf[j]));
  std::map<std::pair<int, int>, const Student*> by_id;
  std::map<std::pair<int, int>, double> raw_total, graded_total;
  int present = 0;
  for (const Student& s : students) {
    if (s.absent) continue;
    ++present;
    by_id[{s.code, s.number}] = &s;
    for (std::size_t j = 0; j < kSubjects.size(); ++j) {
      if (std::isnan(s.score[j])) continue;
      raw_total[{s.code, s.number}] += s.score[j];
      graded_total[{s.code, s.number}] += conv[j].empty() ? s.score[j] : conv[j].at(s.score[j]);
    }
  }
  auto rank = [&](std::pair<int, int> id, bool in_class) {
    int r = 1;
    for (const auto& [other, t] : graded_total)
      if ((!in_class || other.first == id.first) && t > graded_total[id]) ++r;
    return r;
  };

  const host::Worksheet& sat = h.sheet("年级实考");
  int head = column_of(sat, 1, "班级") ? 1 : 2;
  ASSERT_EQ(sat.current_region(head, 1).row_count() - 1, present);
  const int total_col = column_of(sat, head, "总分"), graded_col = column_of(sat, head, "赋分总分");
  ASSERT_GT(graded_col, total_col);
  EXPECT_EQ(graded_col, total_col + 3 + 4);  // after the ranks and four converted columns
  EXPECT_EQ(sat.value(head, total_col + 3).display_text(), "化学赋分");
  for (int r = head + 1; r <= head + present; ++r) {
    const std::pair<int, int> id{static_cast<int>(sat.value(r, 1).as_number()),
                                 static_cast<int>(sat.value(r, 2).as_number())};
    ASSERT_TRUE(by_id.count(id)) << r;
    const Student& s = *by_id[id];
    EXPECT_EQ(sat.value(r, total_col).as_number(), raw_total[id]) << r;
    int g = 0;
    for (std::size_t j = 0; j < kSubjects.size(); ++j) {
      if (kSchemeOf[j].empty()) continue;
      const host::Value got = sat.value(r, total_col + 3 + g++);
      if (std::isnan(s.score[j])) EXPECT_TRUE(got.is_empty()) << r << kSubjects[j];
      else EXPECT_EQ(got.as_number(), conv[j].at(s.score[j])) << r << kSubjects[j];
    }
    EXPECT_EQ(sat.value(r, graded_col).as_number(), graded_total[id]) << r;
    EXPECT_EQ(sat.value(r, graded_col + 1).as_number(), rank(id, true)) << r;
    EXPECT_EQ(sat.value(r, graded_col + 2).as_number(), rank(id, false)) << r;
  }

  // Absent students are listed once each, whatever their electives.
  const host::Worksheet& averages = h.sheet("年级各科均分");
  // Class averages of an elective count its takers only (single precision).
  const int chem = column_of(averages, 2, "化学");
  ASSERT_GT(chem, 0);
  for (int code = 1; code <= 4; ++code) {
    double sum = 0;
    int n = 0;
    for (const auto& [id, s] : by_id)
      if (id.first == code && !std::isnan(s->score[5])) sum += s->score[5], ++n;
    EXPECT_NEAR(averages.value(2 + code, chem).as_number(), sum / n, 1e-3) << code;
  }

  // 赋分对照: each band's count, and one line per distinct raw score.
  const host::Worksheet& table = h.sheet("赋分对照");
  for (std::size_t j = 0; j < kSubjects.size(); ++j) {
    if (kSchemeOf[j].empty()) continue;
    SCOPED_TRACE(kSubjects[j]);
    int top = 0;
    for (int r = 1; r <= table.used_extent().row && !top; ++r)
      if (table.value(r, 1).display_text().rfind(kSubjects[j] + "　赋分方案", 0) == 0) top = r;
    ASSERT_GT(top, 0);
    const GradingScheme scheme = kSchemeOf[j] == "三档" ? kThreeBands : scheme_named(kSchemeOf[j]);
    std::map<std::string, int> counts;
    for (double v : takers[j]) {
      const double c = conv[j].at(v);
      for (const GradeBand& b : scheme.bands)
        if (c <= b.high && c >= b.low) {
          ++counts[b.grade];
          break;
        }
    }
    for (std::size_t b = 0; b < scheme.bands.size(); ++b) {
      EXPECT_EQ(table.value(top + 2 + static_cast<int>(b), 1).display_text(), scheme.bands[b].grade);
      EXPECT_EQ(table.value(top + 2 + static_cast<int>(b), 4).as_number(), counts[scheme.bands[b].grade]);
    }
    const int list = top + 2 + static_cast<int>(scheme.bands.size()) + 1;
    EXPECT_EQ(table.value(list, 1).display_text(), kSubjects[j] + "　一分一段");
    int row = list + 2;
    for (auto it = conv[j].rbegin(); it != conv[j].rend(); ++it, ++row) {
      EXPECT_EQ(table.value(row, 1).as_number(), it->first);
      EXPECT_EQ(table.value(row, 6).as_number(), it->second);
    }
  }
}

// ---- Refusals ----------------------------------------------------------------

struct BadGrading {
  const char* name;
  Rows settings;
  Rows schemes;  // empty: no 赋分方案 sheet
  std::vector<std::string> parts;
};

class ExamGradingRefusal : public ::testing::TestWithParam<BadGrading> {};

TEST_P(ExamGradingRefusal, NamesTheCellAndWritesNothing) {
  memory::WorkbookData book;
  Rows rows = {{"班级", "学号", "姓名", "语文", "化学", "生物"}};
  for (int i = 0; i < 6; ++i) rows.push_back({1 + i % 2, i + 1, "生" + std::to_string(i), 90 + i, 60 + i, nullptr});
  rows.push_back({1, 9, "丁", 80, nullptr, 70});
  memory::add_sheet(book, "成绩", std::move(rows));
  memory::add_sheet(book, "分析设置", GetParam().settings);
  if (!GetParam().schemes.empty()) memory::add_sheet(book, "赋分方案", GetParam().schemes);
  expect_refused(std::move(book), GetParam().parts);
}

const Rows kSchemeHead = {{"方案", "等级", "比例(%)", "赋分上限", "赋分下限"}};
Rows grading_settings(Lit category, Lit scheme) {
  return {{"科目", "满分", "类别", "赋分"}, {"语文", 150, "必考"}, {"化学", 100, category, scheme}, {"生物", 100, "选考"}};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExamGradingRefusal,
    ::testing::Values(
        BadGrading{"UnknownScheme", grading_settings("选考", "九级"), {}, {"第3行", "单元格 D3", "没有名为“九级”的赋分方案", "五级、八级"}},
        BadGrading{"UnknownCategory", grading_settings("任选", nullptr), {}, {"第3行", "类别（单元格 C3）“任选”只能是"}},
        BadGrading{"FewerTakersThanBands", grading_settings("选考", "八级"), {}, {"单元格 D3", "化学只有6名考生", "8个等级"}},
        BadGrading{"SharesNotHundred", grading_settings("选考", "两档"),
                   {kSchemeHead[0], {"两档", "甲", 60, 100, 61}, {"两档", "乙", 30, 60, 30}},
                   {"工作表“赋分方案”第2行", "单元格 C2", "加起来是90%"}},
        BadGrading{"RangesOverlap", grading_settings("选考", "两档"),
                   {kSchemeHead[0], {"两档", "甲", 60, 100, 60}, {"两档", "乙", 40, 60, 30}},
                   {"第3行", "单元格 D3", "不低于上一等级甲的赋分下限60"}},
        BadGrading{"RangeRunsUpward", grading_settings("选考", "两档"),
                   {kSchemeHead[0], {"两档", "甲", 60, 70, 90}, {"两档", "乙", 40, 60, 30}},
                   {"第2行", "赋分上限（单元格 D2）70低于赋分下限90"}},
        BadGrading{"RequiredBlankStillAbsent", {{"科目", "满分", "类别"}, {"语文", 150, "选考"}, {"化学", 100, "必考"}, {"生物", 100, "必考"}},
                   {}, {"没有一名学生各科都有成绩"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lczs::examanalysis::testing
