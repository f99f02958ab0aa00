// Any set of class codes, 0 and gaps included, against a plain reference:
// every sorted sheet, the averages with both appended tables, the extracts.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "exam_harness.h"

namespace lczs::examanalysis::testing {
namespace {

using jobs::JobOutcome;

struct ClassSpec {
  int code;
  int students;
  int absent;  // the first this many of the class miss 数学
};

struct CodesCase {
  const char* name;
  std::vector<ClassSpec> classes;
};

struct Student {
  int code, id;
  std::string name;
  int chinese;
  int maths;  // 0: absent
  int total() const { return chinese + maths; }
};

constexpr int kTop = 3;
constexpr int kBottom = 2;

// Students of every class dealt out in turn, so the data sheet is in no
// class order; totals all differ, so every rank is a position.
std::vector<Student> students_of(const CodesCase& c) {
  std::vector<Student> out;
  int n = 0;
  for (const ClassSpec& k : c.classes) n += k.students;
  int p = 0;
  for (int id = 1; static_cast<int>(out.size()) < n; ++id)
    for (const ClassSpec& k : c.classes) {
      if (id > k.students) continue;
      const int shuffled = (p++ * 7) % n;  // n is never a multiple of 7 here
      out.push_back({k.code, id, "生" + std::to_string(k.code) + "-" + std::to_string(id),
                     30 + shuffled, id <= k.absent ? 0 : 40 + shuffled});
    }
  return out;
}

Lit blank_zero(int v) { return v == 0 ? Lit(nullptr) : Lit(v); }

bool by_class_then_id(const Student& a, const Student& b) {
  return a.code != b.code ? a.code < b.code : a.id < b.id;
}

class ExamCodes : public ::testing::TestWithParam<CodesCase> {};

TEST_P(ExamCodes, EverySheetKeepsEveryClassInOrder) {
  const CodesCase& c = GetParam();
  const std::vector<Student> all = students_of(c);
  Rows input = {{"班级", "学号", "姓名", "语文", "数学"}};
  for (const Student& s : all)
    input.push_back({s.code, s.id, s.name, s.chinese, s.maths ? Lit(s.maths) : Lit(nullptr)});
  Harness h(book_of("成绩", input));
  Options o;
  o.top = {std::to_string(kTop), "", ""};
  o.bottom = {std::to_string(kBottom), "", ""};
  h.expect_done(o);
  ASSERT_EQ(h.run(), JobOutcome::Completed) << h.ui.report();

  // The reference: grade order by total, class ranks by position.
  std::vector<Student> sat, absent;
  for (const Student& s : all) (s.maths ? sat : absent).push_back(s);
  std::vector<Student> ranked = sat;
  std::sort(ranked.begin(), ranked.end(), [](auto& a, auto& b) { return a.total() > b.total(); });
  std::map<std::string, int> grade_rank, class_rank;
  std::map<int, int> seen;
  for (std::size_t i = 0; i < ranked.size(); ++i) {
    grade_rank[ranked[i].name] = static_cast<int>(i) + 1;
    class_rank[ranked[i].name] = ++seen[ranked[i].code];
  }
  std::sort(sat.begin(), sat.end(), by_class_then_id);
  std::sort(absent.begin(), absent.end(), by_class_then_id);
  auto ranked_row = [&](const Student& s) -> std::vector<Lit> {
    return {s.code, s.id, s.name, s.chinese, s.maths, s.total(), class_rank[s.name], grade_rank[s.name]};
  };

  expect_block(h.sheet("原始数据"), input);

  Rows sat_rows = {{"班级", "学号", "姓名", "语文", "数学", "总分", "班名次", "年级名次"}};
  std::vector<int> breaks;
  for (std::size_t i = 0; i < sat.size(); ++i) {
    sat_rows.push_back(ranked_row(sat[i]));
    if (i > 0 && sat[i].code != sat[i - 1].code) breaks.push_back(static_cast<int>(i) + 2);
  }
  breaks.push_back(static_cast<int>(sat.size()) + 2);
  expect_block(h.sheet("年级实考"), sat_rows);
  EXPECT_EQ(h.sheet("年级实考").page_breaks(), breaks);

  Rows summary = {{"年级各科均分"}, {"班级", "人数", "语文", "数学", "总分"}};
  std::array<double, 3> grade{};
  for (const ClassSpec& k : [&] {
         auto sorted = c.classes;
         std::sort(sorted.begin(), sorted.end(), [](auto& a, auto& b) { return a.code < b.code; });
         return sorted;
       }()) {
    std::array<double, 3> sum{};
    int n = 0;
    for (const Student& s : sat)
      if (s.code == k.code) {
        ++n;
        sum[0] += s.chinese, sum[1] += s.maths, sum[2] += s.total();
      }
    std::vector<Lit> row = {k.code, blank_zero(n)};
    for (int j = 0; j < 3; ++j) {
      grade[j] += sum[j];
      // A class's average is single precision, as the report has always shown it.
      row.push_back(n ? Lit(static_cast<double>(static_cast<float>(sum[j]) / static_cast<float>(n)))
                      : Lit(nullptr));
    }
    summary.push_back(row);
  }
  const double t = static_cast<double>(sat.size());
  summary.push_back({"年级均分", static_cast<int>(sat.size()), grade[0] / t, grade[1] / t, grade[2] / t});
  summary.push_back({"各班各名次段统计"});
  summary.push_back({"班级", "前" + std::to_string(kTop) + "名", "后" + std::to_string(kBottom) + "名"});
  for (std::size_t i = 2; i < 2 + c.classes.size(); ++i) {
    const int code = static_cast<int>(summary[i][0].v.as_number());
    int top = 0, bottom = 0;
    for (std::size_t p = 0; p < ranked.size(); ++p) {
      if (ranked[p].code != code) continue;
      top += p < static_cast<std::size_t>(kTop);
      bottom += p >= ranked.size() - kBottom;
    }
    summary.push_back({code, blank_zero(top), blank_zero(bottom)});
  }
  if (!absent.empty()) {
    summary.push_back({"年级缺考"});
    summary.push_back({"班级", "学号", "姓名", "语文", "数学"});
    for (const Student& s : absent) summary.push_back({s.code, s.id, s.name, s.chinese, nullptr});
  }
  expect_block(h.sheet("年级各科均分"), summary);

  auto extract = [&](const std::string& sheet, std::vector<Student> list) {
    std::sort(list.begin(), list.end(), by_class_then_id);
    Rows want = {{"班级", "学号", "姓名", "语文", "数学", "总分", "班名次", "年级名次", "人数"}};
    for (std::size_t i = 0; i < list.size(); ++i) {
      want.push_back(ranked_row(list[i]));
      if (i > 0 && list[i].code == list[i - 1].code) {
        want.back().push_back(nullptr);
      } else {
        want.back().push_back(static_cast<int>(std::count_if(
            list.begin(), list.end(), [&](const Student& s) { return s.code == list[i].code; })));
      }
    }
    expect_block(h.sheet(sheet), want);
  };
  extract("年级前" + std::to_string(kTop) + "名", {ranked.begin(), ranked.begin() + kTop});
  extract("年级后" + std::to_string(kBottom) + "名", {ranked.end() - kBottom, ranked.end()});
}

INSTANTIATE_TEST_SUITE_P(
    Sets, ExamCodes,
    ::testing::Values(CodesCase{"ZeroOneTwo", {{0, 20, 0}, {1, 20, 1}, {2, 20, 1}}},
                      CodesCase{"ZeroAndGaps", {{10, 6, 1}, {0, 5, 2}, {3, 4, 0}}},
                      CodesCase{"GapsWithoutZero", {{120, 2, 0}, {101, 3, 0}, {105, 4, 1}}},
                      // Nobody of class 0 sat every subject: its row holds the code alone.
                      CodesCase{"ZeroAllAbsent", {{0, 3, 3}, {1, 4, 1}, {2, 3, 0}}},
                      CodesCase{"OnlyZero", {{0, 6, 1}}},
                      CodesCase{"NegativeZeroPositive", {{4, 3, 0}, {-1, 3, 0}, {0, 3, 1}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lczs::examanalysis::testing
