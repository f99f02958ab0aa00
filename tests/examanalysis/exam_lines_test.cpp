// Score lines: 上线分析 against a reference computed here from the book's
// rows (with electives, absences, half points and lines falling on a
// score), the chart of 上线率, and the refusals of bad lines.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>

#include "exam_harness.h"

namespace lczs::examanalysis::testing {
namespace {

using jobs::JobOutcome;

const std::vector<std::string> kSubjects = {"语文", "数学", "物理", "历史"};

struct Row {
  int code, number;
  std::vector<double> score;  // NaN: empty
  bool absent = false;
  double total = 0;
};

std::vector<Row> line_grade(int n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<Row> out;
  for (int i = 0; i < n; ++i) {
    Row r{1 + i % 3, i / 3 + 1, std::vector<double>(4, std::nan(""))};
    r.score[0] = 60 + static_cast<int>(rng() % 40) * 0.5;
    r.score[1] = 50 + static_cast<int>(rng() % 60) * 0.5;
    r.score[2 + rng() % 2] = 30 + static_cast<int>(rng() % 70);
    if (rng() % 25 == 0) r.score[1] = std::nan(""), r.absent = true;
    for (double v : r.score)
      if (!std::isnan(v)) r.total += v;
    out.push_back(r);
  }
  return out;
}

memory::WorkbookData line_book(const std::vector<Row>& rows, Rows lines) {
  Rows data = {{"班级", "学号", "姓名", "语文", "数学", "物理", "历史"}};
  for (const Row& r : rows) {
    std::vector<Lit> row = {r.code, r.number, "生" + std::to_string(r.code) + "-" + std::to_string(r.number)};
    for (double v : r.score) row.push_back(std::isnan(v) ? Lit(nullptr) : Lit(v));
    data.push_back(std::move(row));
  }
  memory::WorkbookData book;
  memory::add_sheet(book, "成绩", std::move(data));
  memory::add_sheet(book, "分析设置", {{"科目", "满分", "类别"}, {"语文", 100}, {"数学", 100}, {"物理", 100, "选考"}, {"历史", 100, "选考"}});
  memory::add_sheet(book, "分数线", std::move(lines));
  return book;
}

// The first row at or below `from` whose column A begins with `text`.
int find_row(const host::Worksheet& s, const std::string& text, int from = 1) {
  for (int r = from; r <= s.used_extent().row; ++r)
    if (s.value(r, 1).display_text().rfind(text, 0) == 0) return r;
  ADD_FAILURE() << "no row " << text;
  return 0;
}

TEST(ExamLines, EveryFigureMatchesTheReference) {
  const std::vector<Row> rows = line_grade(150, 3);
  std::vector<const Row*> present;
  for (const Row& r : rows)
    if (!r.absent) present.push_back(&r);
  std::vector<double> totals;
  for (const Row* r : present) totals.push_back(r->total);
  std::sort(totals.rbegin(), totals.rend());
  // The first line falls on a student's total; the second is the 20th's.
  const double on_score = totals[40];
  Harness h(line_book(rows, {{"名称", "分数线", "δ"}, {"本科线", on_score, 6}, {"特控线", "前20名"}}));
  h.expect_done();
  ASSERT_EQ(h.run(), JobOutcome::Completed) << h.ui.report();
  const auto names = h.sheet_names();
  EXPECT_EQ(std::vector<std::string>(names.end() - 4, names.end()),
            (std::vector<std::string>{"学科分析", "分数段", "图表", "上线分析"}));
  const host::Worksheet& s = h.sheet("上线分析");

  struct Line {
    std::string name;
    double at, delta;
  } lines[] = {{"本科线", on_score, 6}, {"特控线", totals[19], 10}};
  const int head = find_row(s, "上线人数和上线率") + 1;
  for (int k = 0; k < 2; ++k) {
    const Line& l = lines[k];
    SCOPED_TRACE(l.name);
    // 上线人数 and 上线率 per class, then the grade.
    for (int g = 0; g <= 3; ++g) {
      int n = 0, up = 0;
      for (const Row* r : present)
        if (g == 3 || r->code == g + 1) ++n, up += r->total >= l.at;
      EXPECT_EQ(s.value(head + 1 + g, 2).as_number(), n);
      EXPECT_EQ(s.value(head + 1 + g, 3 + 2 * k).as_number(), up) << g;
      EXPECT_NEAR(s.value(head + 1 + g, 4 + 2 * k).as_number(), static_cast<double>(up) / n, 1e-12);
    }
    // 有效分 and its counts, subject by subject.
    const int top = find_row(s, l.name + "（" + host::Value::number(l.at).display_text() + "分") + 2;
    std::vector<double> effective(4, std::nan(""));
    for (int j = 0; j < 4; ++j) {
      double ss = 0, ts = 0;
      int reached = 0;
      for (const Row* r : present)
        if (!std::isnan(r->score[j]) && r->total >= l.at) ss += r->score[j], ts += r->total, ++reached;
      EXPECT_EQ(s.value(top + j, 1).as_text(), kSubjects[j]);
      if (reached == 0) {
        EXPECT_TRUE(s.value(top + j, 2).is_empty());
        continue;
      }
      effective[j] = (ss / reached) * l.at / (ts / reached);
      int single = 0, both = 0;
      for (const Row* r : present) {
        if (std::isnan(r->score[j]) || r->score[j] < effective[j] - 1e-9) continue;
        ++single;
        both += r->total >= l.at;
      }
      EXPECT_NEAR(s.value(top + j, 2).as_number(), effective[j], 1e-9) << kSubjects[j];
      EXPECT_EQ(s.value(top + j, 3).as_number(), single) << kSubjects[j];
      EXPECT_EQ(s.value(top + j, 4).as_number(), both) << kSubjects[j];
      EXPECT_NEAR(s.value(top + j, 5).as_number(), static_cast<double>(both) / reached, 1e-12);
      EXPECT_NEAR(s.value(top + j, 6).as_number(), static_cast<double>(both) / single, 1e-12);
    }
    // 临界生: [line - delta, line), by class and total, with the weakest subject.
    std::vector<const Row*> near;
    for (const Row* r : present)
      if (r->total < l.at && r->total >= l.at - l.delta) near.push_back(r);
    std::stable_sort(near.begin(), near.end(), [](const Row* a, const Row* b) {
      return a->code != b->code ? a->code < b->code : a->total > b->total;
    });
    int at = 0;
    for (int r = top; r <= s.used_extent().row && !at; ++r)
      if (s.value(r, 1).display_text().find("临界生（") != std::string::npos) at = r + 2;
    ASSERT_GT(at, 0);
    EXPECT_FALSE(near.empty());
    for (std::size_t i = 0; i < near.size(); ++i) {
      const int r = at + static_cast<int>(i);
      EXPECT_EQ(s.value(r, 1).as_number(), near[i]->code) << r;
      EXPECT_EQ(s.value(r, 4).as_number(), near[i]->total) << r;
      EXPECT_EQ(s.value(r, 5).as_number(), l.at - near[i]->total) << r;
      int weakest = -1;
      for (int j = 0; j < 4; ++j)
        if (!std::isnan(near[i]->score[j]) && !std::isnan(effective[j]) &&
            (weakest < 0 || near[i]->score[j] / effective[j] < near[i]->score[weakest] / effective[weakest]))
          weakest = j;
      ASSERT_GE(weakest, 0);
      EXPECT_EQ(s.value(r, 6).as_text(), kSubjects[weakest]) << r;
    }
    EXPECT_FALSE(s.value(at + static_cast<int>(near.size()), 1).is_number());
  }

  // The chart: one column series per line over the classes' 上线率.
  const host::Worksheet& charts = h.sheet("图表");
  const host::Chart& c = h.sheet("图表").data().charts.back();
  EXPECT_EQ(c.title, "各班上线率");
  ASSERT_EQ(c.series.size(), 2u);
  for (int k = 0; k < 2; ++k)
    for (int g = 0; g < 3; ++g)
      EXPECT_EQ(charts.value(c.series[k].values.top + g, c.series[k].values.left).as_number(),
                s.value(head + 1 + g, 4 + 2 * k).as_number());
  EXPECT_EQ(charts.value(c.series[0].categories.top, 1).as_text(), "1班");
}

TEST(ExamLines, LinesAloneMakeTheirOwnChartSheet) {
  Rows data = {{"班级", "学号", "姓名", "语文", "数学"}};
  for (int i = 0; i < 12; ++i) data.push_back({1 + i % 2, i + 1, "生" + std::to_string(i), 60 + i, 70 + i});
  memory::WorkbookData book;
  memory::add_sheet(book, "成绩", std::move(data));
  memory::add_sheet(book, "分数线", {{"名称", "分数线"}, {"线", 150}});
  Harness h(std::move(book));
  h.expect_done();
  ASSERT_EQ(h.run(), JobOutcome::Completed) << h.ui.report();
  const auto names = h.sheet_names();
  EXPECT_EQ(std::vector<std::string>(names.end() - 2, names.end()), (std::vector<std::string>{"上线分析", "图表"}));
  EXPECT_EQ(h.wb->find_sheet("学科分析"), nullptr);
  const host::Chart& c = h.sheet("图表").data().charts.at(0);
  // Totals 130..152 by 2: 150 and 152 reach the line, one in each class.
  EXPECT_EQ(h.sheet("图表").value(c.series[0].values.top, 2).as_number(), 1.0 / 6);
  EXPECT_EQ(h.sheet("图表").value(c.series[0].values.top + 1, 2).as_number(), 1.0 / 6);
}

struct BadLines {
  const char* name;
  Rows lines;
  std::vector<std::string> parts;
};

class ExamLinesRefusal : public ::testing::TestWithParam<BadLines> {};

TEST_P(ExamLinesRefusal, NamesTheCellAndWritesNothing) {
  memory::WorkbookData book;
  memory::add_sheet(book, "成绩", {{"班级", "学号", "姓名", "语文", "数学"}, {1, 1, "甲", 90, 80}, {1, 2, "乙", 70, nullptr}, {2, 1, "丙", 60, 50}});
  memory::add_sheet(book, "分数线", GetParam().lines);
  expect_refused(std::move(book), GetParam().parts);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExamLinesRefusal,
    ::testing::Values(
        BadLines{"AboveHighestTotal", {{"名称", "分数线"}, {"线", 201}}, {"第2行", "单元格 B2", "高于总分的满分200"}},
        BadLines{"Negative", {{"名称", "分数线"}, {"线", -1}}, {"单元格 B2", "不能是负数"}},
        BadLines{"TopMoreThanPresent", {{"名称", "分数线"}, {"线", "前3名"}}, {"单元格 B2", "前3名超过了", "（2人）"}},
        BadLines{"NeitherScoreNorTop", {{"名称", "分数线"}, {"线", "很高"}}, {"单元格 B2", "“很高”既不是分数"}},
        BadLines{"DeltaNotPositive", {{"名称", "分数线", "δ"}, {"线", 100, 0}}, {"单元格 C2", "必须是正数"}},
        BadLines{"NoName", {{"名称", "分数线"}, {nullptr, 100}}, {"第2行", "名称（单元格 A2）是空的"}},
        BadLines{"NoLineColumn", {{"名称", "线"}, {"甲", 100}}, {"没有“分数线”列"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lczs::examanalysis::testing
