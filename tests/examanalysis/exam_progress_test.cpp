// 进退步: ranks then and now against a reference counted here, matching by
// name with repeated names, both layouts of the earlier exam, and the
// refusals.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "exam_harness.h"
#include "examanalysis/ksfx_progress.h"

namespace lczs::examanalysis::testing {
namespace {

using jobs::JobOutcome;

struct Pupil {
  int code, number;
  std::string name;
  double a, b;  // 语文, 数学; 0 = empty
};

Rows rows_of(const std::vector<Pupil>& pupils) {
  Rows rows = {{"班级", "学号", "姓名", "语文", "数学"}};
  for (const Pupil& p : pupils)
    rows.push_back({p.code, p.number, p.name, p.a ? Lit(p.a) : Lit(nullptr), p.b ? Lit(p.b) : Lit(nullptr)});
  return rows;
}

// 1 + how many present totals are higher; 0 when absent.
int rank_of(const std::vector<Pupil>& all, const Pupil& p) {
  if (!p.a || !p.b) return 0;
  int r = 1;
  for (const Pupil& q : all) r += q.a && q.b && q.a + q.b > p.a + p.b;
  return r;
}

int find_row(const host::Worksheet& s, const std::string& text) {
  for (int r = 1; r <= s.used_extent().row; ++r)
    if (s.value(r, 1).display_text() == text) return r;
  ADD_FAILURE() << "no row " << text;
  return 0;
}

TEST(ExamProgress, RanksThenAndNowMatchTheReference) {
  std::mt19937 rng(11);
  std::vector<Pupil> now, then;
  for (int i = 0; i < 60; ++i) {
    const std::string name = "生" + std::to_string(i);
    now.push_back({1 + i % 3, i / 3 + 1, name, 50.0 + rng() % 50, 40.0 + rng() % 60});
    // Classes change between the exams.
    then.push_back({1 + (i + 1) % 3, i / 3 + 1, name, 50.0 + rng() % 50, 40.0 + rng() % 60});
  }
  now[5].b = 0;                               // absent now: matched, no change
  then.erase(then.begin() + 7);               // new this time: unmatched now
  then.push_back({2, 30, "转出生", 80, 80});  // left: unmatched then
  // A repeated name: same class and 学号 in both exams, matched; another
  // pair of the same name in different classes stays unmatched.
  now.push_back({1, 40, "王芳", 70, 70});
  now.push_back({2, 40, "王芳", 60, 60});
  then.push_back({1, 40, "王芳", 65, 65});
  then.push_back({3, 40, "王芳", 75, 75});

  memory::WorkbookData book;
  memory::add_sheet(book, "成绩", rows_of(now));
  memory::add_sheet(book, "上次成绩", rows_of(then));
  memory::add_sheet(book, "分析选项", {{"名称", "值"}, {"进退步阈值", 5}});
  Harness h(std::move(book));
  h.expect_done();
  ASSERT_EQ(h.run(), JobOutcome::Completed) << h.ui.report();
  EXPECT_EQ(h.sheet_names().back(), "进退步");
  const host::Worksheet& s = h.sheet("进退步");

  // Every matched student: class, 学号, name, rank then, now, change.
  std::map<std::string, int> row_of;  // name|class -> row
  const int head = find_row(s, "学生进退步") + 1;
  for (int r = head + 1; s.value(r, 1).is_number(); ++r)
    row_of[s.value(r, 3).display_text() + "|" + s.value(r, 1).display_text()] = r;
  int checked = 0, up = 0, down = 0;
  for (const Pupil& p : now) {
    const std::string key = p.name + "|" + std::to_string(p.code);
    const Pupil* before = nullptr;
    int same = 0;
    for (const Pupil& q : then) same += q.name == p.name;
    for (const Pupil& q : then)
      if (q.name == p.name && (same == 1 || (q.code == p.code && q.number == p.number))) before = &q;
    if (p.name == "王芳" && p.code == 2) before = nullptr;
    if (!before) {
      EXPECT_FALSE(row_of.count(key)) << key;
      continue;
    }
    ASSERT_TRUE(row_of.count(key)) << key;
    const int r = row_of[key];
    const int was = rank_of(then, *before), is = rank_of(now, p);
    EXPECT_EQ(s.value(r, 4).as_number(), was) << key;
    if (is) {
      EXPECT_EQ(s.value(r, 5).as_number(), is) << key;
      EXPECT_EQ(s.value(r, 6).as_number(), was - is) << key;
      up += was - is > 5;
      down += is - was > 5;
    } else {
      EXPECT_TRUE(s.value(r, 5).is_empty()) << key;
      EXPECT_TRUE(s.value(r, 6).is_empty()) << key;
    }
    // 语文's rank among those who sat it.
    int a_was = 1, a_is = 1;
    for (const Pupil& q : then) a_was += q.a > before->a;
    for (const Pupil& q : now) a_is += q.a && q.b && q.a > p.a;
    EXPECT_EQ(s.value(r, 7).as_number(), a_was) << key;
    if (is) {
      EXPECT_EQ(s.value(r, 8).as_number(), a_is) << key;
    }
    ++checked;
  }
  EXPECT_EQ(checked, static_cast<int>(row_of.size()));
  EXPECT_EQ(checked, 60);

  // The grade row of the per-class table.
  const int grade = find_row(s, "年级");
  EXPECT_EQ(s.value(grade, 4).as_number(), up);
  EXPECT_EQ(s.value(grade, 5).as_number(), down);

  // The unmatched of both sides.
  std::vector<std::string> left;
  for (int r = find_row(s, "未对应的学生") + 2; !s.value(r, 3).is_empty(); ++r)
    left.push_back(s.value(r, 3).display_text() + s.value(r, 4).display_text().substr(0, 6));
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"王芳上次", "王芳本次", "生7本次", "转出生上次"}));
}

TEST(ExamProgress, ReadsAReportsRankedSheet) {
  // A report's 年级实考 carries 总分 and ranks after the subjects.
  Rows report = {{"班级", "学号", "姓名", "语文", "数学", "总分", "班名次", "年级名次"},
                 {1, 1, "甲", 50, 50, 100, 2, 3},
                 {1, 2, "乙", 90, 90, 180, 1, 1},
                 {2, 1, "丙", 70, 70, 140, 1, 2}};
  memory::MemoryApplication app;
  memory::WorkbookData b;
  memory::add_sheet(b, "上次成绩", report);
  std::string problem;
  Roster r = read_previous(app.open(std::move(b)).sheet(1), "姓名", {"语文", "数学"}, {false, false}, problem);
  EXPECT_EQ(problem, "");
  EXPECT_EQ(r.rank, (std::vector<int>{3, 1, 2}));
  EXPECT_EQ(r.subject_rank[1], (std::vector<int>{3, 1, 2}));
  EXPECT_EQ(grade_ranks({600, 590, std::nan(""), 590, 580}), (std::vector<int>{1, 2, 0, 2, 4}));
}

struct BadProgress {
  const char* name;
  Rows previous;
  Rows options;  // empty: no 分析选项
  std::vector<std::string> parts;
};

class ExamProgressRefusal : public ::testing::TestWithParam<BadProgress> {};

TEST_P(ExamProgressRefusal, SaysWhyAndWritesNothing) {
  memory::WorkbookData book;
  memory::add_sheet(book, "成绩", rows_of({{1, 1, "甲", 80, 80}, {1, 2, "乙", 70, 70}, {2, 1, "丙", 60, 60}, {2, 2, "丁", 50, 50}}));
  memory::add_sheet(book, "上次成绩", GetParam().previous);
  if (!GetParam().options.empty()) memory::add_sheet(book, "分析选项", GetParam().options);
  expect_refused(std::move(book), GetParam().parts);
}

const Rows kTwoOfFour = rows_of({{1, 1, "甲", 80, 80}, {3, 1, "戊", 70, 70}, {3, 2, "己", 70, 70}});

INSTANTIATE_TEST_SUITE_P(
    Cases, ExamProgressRefusal,
    ::testing::Values(
        BadProgress{"FewerThanHalfMatched", rows_of({{1, 1, "甲", 80, 80}, {3, 1, "戊", 70, 70}}), {},
                    {"只对上了1名学生", "本次4名学生"}},
        BadProgress{"NoNameColumn", {{"班级", "学号", "名字", "语文"}, {1, 1, "甲", 80}}, {}, {"没有“姓名”列"}},
        BadProgress{"UnknownOption", kTwoOfFour, {{"名称", "值"}, {"排序", "升序"}}, {"单元格 A2", "没有名为“排序”的选项"}},
        BadProgress{"BadMatchColumn", kTwoOfFour, {{"名称", "值"}, {"匹配依据", "考号"}}, {"匹配依据（单元格 B2）只能是"}},
        BadProgress{"BadThreshold", kTwoOfFour, {{"名称", "值"}, {"进退步阈值", -1}}, {"进退步阈值（单元格 B2）不能是负数"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lczs::examanalysis::testing
