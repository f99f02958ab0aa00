// 学科分析 and 分数段 against a reference computed here from the generated
// scores, band edges, and the refusals of bad settings.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "exam_harness.h"

namespace lczs::examanalysis::testing {
namespace {

using jobs::JobOutcome;

struct Rule {
  std::string subject;
  double full, excellent, pass, low, width;
};

// Scores on half points that hit the lines of `rule` often; about one in
// twelve missing.
Rows figures_grade(const std::vector<Rule>& rules, int n, int classes, unsigned seed) {
  Rows rows(1);
  rows[0] = {"班级", "学号", "姓名"};
  for (const Rule& r : rules) rows[0].push_back(r.subject);
  unsigned x = seed;
  auto next = [&x](unsigned m) {
    x = x * 1103515245u + 12345u;
    return (x >> 16) % m;
  };
  for (int i = 0; i < n; ++i) {
    std::vector<Lit> row = {1 + i % classes, i / classes + 1, "生" + std::to_string(i)};
    for (const Rule& r : rules) {
      const double at[] = {r.excellent, r.pass, r.low, r.full, r.full - r.width, r.pass - 0.5};
      if (next(12) == 0) row.push_back(nullptr);
      else if (next(3) == 0) row.push_back(at[next(6)]);
      else row.push_back(1 + next(static_cast<unsigned>(2 * r.full - 1)) * 0.5);
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

struct Reference {
  int count = 0;
  double sum = 0, squares = 0, highest = -1e9, lowest = 1e9;
  int excellent = 0, pass = 0, low = 0;
  std::map<int, int> bands;
  void add(double v, const Rule& r) {
    ++count;
    sum += v;
    squares += v * v;
    highest = std::max(highest, v);
    lowest = std::min(lowest, v);
    excellent += v >= r.excellent;
    pass += v >= r.pass;
    low += v < r.low;
    // Bands counted down from 满分, each holding its lower edge; 满分 itself
    // in the first.
    int k = std::max(0, static_cast<int>(std::ceil((r.full - v) / r.width)) - 1);
    int last = static_cast<int>(std::ceil(r.full / r.width - 1e-9)) - 1;
    ++bands[std::min(k, last)];
  }
};

double cell(const host::Worksheet& s, int row, int col) {
  host::Value v = s.value(row, col);
  EXPECT_TRUE(v.is_number()) << host::address(host::Area::cell(row, col), false) << " of " << s.name();
  return v.as_number();
}

TEST(ExamFigures, EveryFigureMatchesTheReference) {
  // 语文 and 总分 are set with lines of their own; 数学 takes the defaults;
  // 英语 is left out, so its 满分 is inferred from its highest score (120).
  const std::vector<Rule> rules = {{"语文", 150, 120, 90, 60, 20},
                                   {"数学", 100, 85, 60, 40, 10},
                                   {"英语", 120, 102, 72, 48, 12}};
  const Rule total{"总分", 400, 300, 200, 100, 50};
  memory::WorkbookData book;
  memory::add_sheet(book, "成绩", figures_grade(rules, 150, 4, 11));
  memory::add_sheet(book, "分析设置", {{"科目", "满分", "优秀线", "及格线", "低分线", "分数段宽"},
                                       {"语文", 150, 120, 90, 60, 20},
                                       {"数学", 100},
                                       {"总分", 400, 300, 200, 100, 50}});
  Harness h(std::move(book));
  h.expect_done();
  ASSERT_EQ(h.run(), JobOutcome::Completed) << h.ui.report();
  const auto names = h.sheet_names();
  EXPECT_EQ(std::vector<std::string>(names.end() - 3, names.end()),
            (std::vector<std::string>{"学科分析", "分数段", "图表"}));

  // The reference, from the raw sheet's scores (ranked rows are not used).
  const host::Worksheet& raw = h.sheet("原始数据");
  std::vector<std::map<int, Reference>> ref(rules.size() + 1);  // by class; -1 the grade
  for (int r = 2; r <= 151; ++r) {
    const int code = static_cast<int>(raw.value(r, 1).as_number());
    double sum = 0;
    bool complete = true;
    for (std::size_t j = 0; j < rules.size(); ++j) {
      host::Value v = raw.value(r, 4 + static_cast<int>(j));
      // The table style blanks a 0 but the generator never makes one.
      if (!v.is_number()) {
        complete = false;
        continue;
      }
      ref[j][code].add(v.as_number(), rules[j]);
      ref[j][-1].add(v.as_number(), rules[j]);
      sum += v.as_number();
    }
    if (complete) {
      ref.back()[code].add(sum, total);
      ref.back()[-1].add(sum, total);
    }
  }

  const host::Worksheet& subjects = h.sheet("学科分析");
  const host::Worksheet& bands = h.sheet("分数段");
  for (std::size_t j = 0; j <= rules.size(); ++j) {
    const Rule& rule = j < rules.size() ? rules[j] : total;
    SCOPED_TRACE(rule.subject);
    const int top = 2 + static_cast<int>(j) * 8;  // title row, then caption, header, 4 classes, grade, gap
    EXPECT_EQ(subjects.value(top, 1).as_text().rfind(rule.subject + "　满分", 0), 0u);
    EXPECT_EQ(bands.value(top, 1).as_text().rfind(rule.subject + "　满分", 0), 0u);
    std::vector<double> means;
    for (int i = 0; i < 4; ++i) means.push_back(ref[j][i + 1].sum / ref[j][i + 1].count);
    for (int i = 0; i <= 4; ++i) {
      const Reference& want = ref[j][i < 4 ? i + 1 : -1];
      const int row = top + 2 + i;
      const double n = want.count, mean = want.sum / n;
      int rank = 1;
      for (double m : means) rank += i < 4 && m > means[i];
      EXPECT_EQ(cell(subjects, row, 2), n) << row;
      EXPECT_NEAR(cell(subjects, row, 3), mean, 1e-9) << row;
      if (i < 4) EXPECT_EQ(cell(subjects, row, 4), rank) << row;
      else EXPECT_TRUE(subjects.value(row, 4).is_empty());
      EXPECT_EQ(cell(subjects, row, 5), want.highest) << row;
      EXPECT_EQ(cell(subjects, row, 6), want.lowest) << row;
      EXPECT_NEAR(cell(subjects, row, 7), std::sqrt(want.squares / n - mean * mean), 1e-6) << row;
      const int counts[] = {want.excellent, want.pass, want.low};
      for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(cell(subjects, row, 8 + 2 * k), counts[k]) << row;
        EXPECT_NEAR(cell(subjects, row, 9 + 2 * k), counts[k] / n, 1e-12) << row;
      }
      const int nbands = static_cast<int>(std::ceil(rule.full / rule.width - 1e-9));
      for (int k = 0; k < nbands; ++k) {
        auto it = want.bands.find(k);
        EXPECT_EQ(cell(bands, row, 2 + k), it == want.bands.end() ? 0 : it->second) << row << " band " << k;
      }
      EXPECT_TRUE(bands.value(row, 2 + nbands).is_empty());
    }
    EXPECT_EQ(h.sheet("学科分析").format(top + 2, 9).number_format, "0.00%");
    EXPECT_EQ(h.sheet("学科分析").format(top + 2, 3).number_format, "0.00");
  }
  EXPECT_NE(subjects.value(2 + 2 * 8, 1).as_text().find("满分按最高分推定"), std::string::npos);

  // Per subject and 总分: columns of the class averages under a line of the
  // grade's; then the grade's 总分 bands. The series show what the tables say.
  const std::vector<host::Chart>& charts = h.sheet("图表").data().charts;
  ASSERT_EQ(charts.size(), rules.size() + 2);
  const host::Worksheet& drawn = h.sheet("图表");
  auto shown = [&](const host::ChartSeries& s) {
    EXPECT_EQ(s.sheet, "图表");
    std::vector<double> out;
    for (int r = s.values.top; r <= s.values.bottom; ++r)
      for (int c = s.values.left; c <= s.values.right; ++c) out.push_back(drawn.value(r, c).as_number());
    return out;
  };
  for (std::size_t j = 0; j <= rules.size(); ++j) {
    const int top = 2 + static_cast<int>(j) * 8;
    const host::Chart& c = charts[j];
    ASSERT_EQ(c.series.size(), 2u);
    EXPECT_EQ(c.series[0].type, host::ChartType::Column);
    EXPECT_EQ(c.series[1].type, host::ChartType::Line);
    EXPECT_EQ(c.series[0].categories, c.series[1].categories);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(shown(c.series[0])[i], subjects.value(top + 2 + i, 3).as_number()) << c.title;
      EXPECT_EQ(shown(c.series[1])[i], subjects.value(top + 6, 3).as_number()) << c.title;
      EXPECT_EQ(drawn.value(c.series[0].categories.top + i, 1).as_text(), std::to_string(i + 1) + "班");
    }
  }
  const host::Chart& spread = charts.back();
  ASSERT_EQ(spread.series.size(), 1u);
  const std::vector<double> counts = shown(spread.series[0]);
  ASSERT_EQ(counts.size(), 8u);
  for (int k = 0; k < 8; ++k) EXPECT_EQ(counts[k], bands.value(2 + 3 * 8 + 6, 2 + k).as_number()) << k;
}

TEST(ExamFigures, BandEdgesAndLabels) {
  struct Case {
    double full, width;
    std::vector<std::string> labels;
    std::vector<std::pair<double, int>> scores;  // score, band
  };
  const Case cases[] = {
      {150, 15, {"135–150", "120–135", "105–120", "90–105", "75–90", "60–75", "45–60", "30–45", "15–30", "0–15"},
       {{150, 0}, {135, 0}, {134.5, 1}, {15, 8}, {14.5, 9}, {0, 9}}},
      {100, 30, {"70–100", "40–70", "10–40", "0–10"}, {{100, 0}, {70, 0}, {69.5, 1}, {10, 2}, {9.5, 3}}},
      {10, 2.5, {"7.5–10", "5–7.5", "2.5–5", "0–2.5"}, {{7.5, 0}, {7.4, 1}, {2.5, 2}, {-1, 3}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.full);
    SubjectRule rule = default_rule("科", c.full);
    rule.width = c.width;
    const std::vector<double> edges = band_edges(rule);
    std::vector<std::string> labels;
    for (int k = 0; k + 1 < static_cast<int>(edges.size()); ++k) labels.push_back(band_label(edges, k));
    EXPECT_EQ(labels, c.labels);
    for (auto [score, band] : c.scores) EXPECT_EQ(band_of(score, edges), band) << score;
  }
  const std::pair<double, double> inferred[] = {{0, 100}, {100, 100}, {100.5, 120}, {150, 150}, {151, 160}, {160, 160}};
  for (auto [highest, full] : inferred) EXPECT_EQ(inferred_full(highest), full) << highest;
}

struct BadSettings {
  const char* name;
  Rows settings;
  std::vector<std::string> parts;
};

class ExamSettingsRefusal : public ::testing::TestWithParam<BadSettings> {};

TEST_P(ExamSettingsRefusal, NamesTheRowAndWritesNothing) {
  memory::WorkbookData book;
  memory::add_sheet(book, "成绩", {{"班级", "学号", "姓名", "语文", "数学"}, {101, 1, "甲", 95, 85}, {102, 1, "乙", 120, 60}});
  memory::add_sheet(book, "分析设置", GetParam().settings);
  Harness h(std::move(book));
  const std::string before = h.dump();
  h.expect_start().expect_options({});
  h.ui.expect_message_containing(GetParam().parts.front());
  h.ui.expect_message(kMsgExit);
  EXPECT_EQ(h.run(), JobOutcome::Stopped);
  EXPECT_TRUE(h.ui.finished()) << h.ui.report();
  const std::string& text = h.ui.shown().at(h.ui.shown().size() - 2).text;
  for (const auto& part : GetParam().parts) EXPECT_NE(text.find(part), std::string::npos) << text;
  EXPECT_EQ(h.dump(), before);
  EXPECT_TRUE(h.store->files.empty());
}

const Rows kHead = {{"科目", "满分", "优秀线", "及格线", "低分线", "分数段宽"}};
Rows settings_with(std::vector<Lit> row) {
  Rows rows = kHead;
  rows.push_back(std::move(row));
  return rows;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExamSettingsRefusal,
    ::testing::Values(
        BadSettings{"FullNotPositive", settings_with({"语文", 0}), {"第2行", "满分（单元格 B2）必须是正数"}},
        BadSettings{"FullNotANumber", settings_with({"语文", "一百五"}), {"第2行", "B2", "不是数字"}},
        BadSettings{"LineAboveFull", settings_with({"语文", 150, 160}), {"第2行", "优秀线（单元格 C2）高于满分150"}},
        BadSettings{"ExcellentBelowPass", settings_with({"语文", 150, 80, 90}), {"第2行", "优秀线", "低于及格线90"}},
        BadSettings{"LowAbovePass", settings_with({"语文", 150, nullptr, 90, 95}), {"第2行", "低分线（单元格 E2）", "高于及格线90"}},
        BadSettings{"WidthNotPositive", settings_with({"数学", 150, nullptr, nullptr, nullptr, -5}), {"第2行", "分数段宽（单元格 F2）必须是正数"}},
        BadSettings{"NotASubject", settings_with({"物理", 100}), {"第2行", "“物理”不是成绩表中的学科列"}},
        BadSettings{"SubjectTwice", {kHead[0], {"语文", 150}, {"语文", 120}}, {"第3行", "第2行已经设置过"}},
        BadSettings{"NoFullColumn", {{"科目", "优秀线"}, {"语文", 90}}, {"工作表“分析设置”的第1行没有“满分”列"}},
        BadSettings{"ScoreAboveFull", settings_with({"语文", 100}), {"单元格 D3 是120，高于语文的满分100"}},
        BadSettings{"TotalAboveFull", settings_with({"总分", 150}), {"第2行的总分180高于总分的满分150"}},
        // Numbers beyond sense, which used to run through as INF and NaN.
        BadSettings{"FullHuge", settings_with({"语文", 1e308}), {"第2行", "满分（单元格 B2）不能大于1000"}},
        BadSettings{"FullAboveLimit", {kHead[0], {"语文", 150}, {"数学", 1000.5}}, {"第3行", "满分（单元格 B3）不能大于1000"}},
        BadSettings{"TotalFullAboveLimit", settings_with({"总分", 10000.5}), {"第2行", "满分（单元格 B2）不能大于10000"}},
        BadSettings{"LineNegative", settings_with({"语文", 150, nullptr, -1}), {"第2行", "及格线（单元格 D2）不能是负数"}},
        BadSettings{"WidthTooNarrow", settings_with({"语文", 20, nullptr, nullptr, nullptr, 0.25}), {"第2行", "分数段宽（单元格 F2）不能小于0.5"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lczs::examanalysis::testing
