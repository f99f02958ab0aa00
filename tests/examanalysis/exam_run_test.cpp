// 普通考试成绩分析(年级) end to end on workbooks built here, through the
// scripted dialogs, checked sheet by sheet and cell by cell.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "exam_harness.h"

namespace lczs::examanalysis::testing {
namespace {

using host::Area;
using jobs::JobOutcome;

// No score empty; 丙 has a real 0, so he stays and is ranked. 甲 and 乙 tie.
Rows complete_grade() {
  return {{"班级", "学号", "姓名", "语文", "数学"},
          {102, 2, "丁", 90, 80},
          {101, 1, "甲", 95, 85},
          {102, 1, "丙", 70, 0},
          {101, 2, "乙", 88, 92},
          {101, 3, "戊", 60, 75}};
}

TEST(ExamRun, CompleteGradeGivesRanksAveragesCoverAndReportFile) {
  memory::WorkbookData book;
  memory::add_sheet(book, "备注", {{"说明"}});
  memory::add_sheet(book, "成绩", complete_grade());
  book.active_sheet = 1;
  Harness h(std::move(book));
  h.expect_done();
  EXPECT_EQ(h.run(), JobOutcome::Completed);
  EXPECT_TRUE(h.ui.finished()) << h.ui.report();

  EXPECT_EQ(h.sheet_names(), (std::vector<std::string>{"原始数据", "封面", "年级各科均分",
                                                       "年级实考", "备注"}));
  // The raw sheet keeps its cells, but it gets the uniform style too, which
  // shows the real 0 as an empty cell.
  Rows raw = complete_grade();
  raw[3][4] = nullptr;
  expect_block(h.sheet("原始数据"), raw);
  expect_block(h.sheet("年级实考"), {{"班级", "学号", "姓名", "语文", "数学", "总分", "班名次", "年级名次"},
                                     {101, 1, "甲", 95, 85, 180, 1, 1},
                                     {101, 2, "乙", 88, 92, 180, 1, 1},
                                     {101, 3, "戊", 60, 75, 135, 3, 4},
                                     {102, 1, "丙", 70, nullptr, 70, 2, 5},
                                     {102, 2, "丁", 90, 80, 170, 1, 3}});
  EXPECT_EQ(h.sheet("年级实考").page_breaks(), (std::vector<int>{5, 7}));
  expect_block(h.sheet("年级各科均分"), {{"年级各科均分"},
                                         {"班级", "人数", "语文", "数学", "总分"},
                                         {101, 3, 81, 84, 165},
                                         {102, 2, 80, 40, 120},
                                         {"年级均分", 5, 80.6, 66.4, 147}});
  EXPECT_EQ(h.sheet("年级各科均分").format(5, 3).number_format, "0.00");
  EXPECT_EQ(h.sheet("年级各科均分").format(3, 3).number_format, "0.00");
  EXPECT_EQ(h.sheet("年级各科均分").format(3, 2).number_format, "General");

  // Every visible sheet has the uniform style, the user's own included.
  for (const char* name : {"原始数据", "年级实考", "年级各科均分", "备注"}) {
    const memory::Format& f = h.sheet(name).format(std::string(name) == "备注" ? 1 : 2, 1);
    EXPECT_EQ(f.font.name, "宋体") << name;
    EXPECT_EQ(f.font.size, 10) << name;
    EXPECT_EQ(f.borders.left.style, host::LineStyle::Continuous) << name;
    EXPECT_EQ(f.alignment.horizontal, host::HAlign::Center) << name;
    EXPECT_TRUE(f.alignment.shrink_to_fit) << name;
  }

  const KsState& st = h.job.state();
  EXPECT_EQ(st.ks_subject_count, 2);
  EXPECT_EQ(st.ks_sat_count, 0);  // reset at the end of the run
  EXPECT_TRUE(st.ks_save_name.empty());
  EXPECT_EQ(st.ks_grade, "G1");
  EXPECT_FALSE(st.ks_has_absent);

  // The report is a new file beside the workbook; the user's file is not written.
  EXPECT_EQ(h.store->save_count, 1);
  ASSERT_EQ(h.store->files.count("/data/期中成绩分析.xlsx"), 1u);
  EXPECT_EQ(without_first_line(h.store->files["/data/期中成绩分析.xlsx"]), without_first_line(h.dump()));
  EXPECT_EQ(h.store->files.count(kBookPath), 0u);
  EXPECT_EQ(h.wb->full_name(), "/data/期中成绩分析.xlsx");
  EXPECT_TRUE(h.app.screen_updating());
  EXPECT_FALSE(h.app.display_alerts());
}

// 丙, 庚 and 己 lack a score (庚 also has a 0); top 2 and bottom 1 asked for.
Rows grade_with_absent() {
  return {{"班级", "学号", "姓名", "语文", "数学", "英语"},
          {101, 2, "乙", 80, 70, 60},
          {102, 1, "丙", 90, nullptr, 85},
          {101, 1, "甲", 100, 90, 80},
          {102, 3, "庚", 0, 50, 50},
          {102, 2, "丁", 85, 95, 75},
          {101, 3, "己", nullptr, nullptr, 70},
          {103, 1, "辛", 60, 60, 60}};
}

TEST(ExamRun, AbsentStudentsBandsAndExtractsAppendedBelowAverages) {
  Harness h(book_of("成绩", grade_with_absent()));
  Options o;
  o.top = {"2", "", ""};
  o.bottom = {"1", "", ""};
  h.expect_done(o);
  EXPECT_EQ(h.run(), JobOutcome::Completed);
  EXPECT_TRUE(h.ui.finished()) << h.ui.report();

  EXPECT_EQ(h.sheet_names(), (std::vector<std::string>{"原始数据", "年级后1名", "年级前2名", "封面",
                                                       "年级各科均分", "年级实考"}));
  expect_block(h.sheet("年级实考"),
               {{"班级", "学号", "姓名", "语文", "数学", "英语", "总分", "班名次", "年级名次"},
                {101, 1, "甲", 100, 90, 80, 270, 1, 1},
                {101, 2, "乙", 80, 70, 60, 210, 2, 3},
                {102, 2, "丁", 85, 95, 75, 255, 1, 2},
                {103, 1, "辛", 60, 60, 60, 180, 1, 4}});
  EXPECT_EQ(h.sheet("年级实考").page_breaks(), (std::vector<int>{4, 5, 6}));

  // Averages, then the band table, then the absentees (their missing scores
  // blank again), each under its own merged title.
  expect_block(h.sheet("年级各科均分"),
               {{"年级各科均分"},
                {"班级", "人数", "语文", "数学", "英语", "总分"},
                {101, 2, 90, 80, 70, 240},
                {102, 1, 85, 95, 75, 255},
                {103, 1, 60, 60, 60, 180},
                {"年级均分", 4, 81.25, 78.75, 68.75, 228.75},
                {"各班各名次段统计"},
                {"班级", "前2名", "后1名"},
                {101, 1, nullptr},
                {102, 1, nullptr},
                {103, nullptr, 1},
                {"年级缺考"},
                {"班级", "学号", "姓名", "语文", "数学", "英语"},
                {101, 3, "己", nullptr, nullptr, 70},
                {102, 1, "丙", 90, nullptr, 85},
                {102, 3, "庚", nullptr, 50, 50}});
  const auto merges = h.sheet("年级各科均分").merges();
  for (Area a : {Area{1, 1, 1, 6}, Area{7, 1, 7, 3}, Area{12, 1, 12, 6}})
    EXPECT_NE(std::find(merges.begin(), merges.end(), a), merges.end()) << host::address(a);
  EXPECT_EQ(h.sheet("年级各科均分").row_height(1), 45);

  expect_block(h.sheet("年级前2名"),
               {{"班级", "学号", "姓名", "语文", "数学", "英语", "总分", "班名次", "年级名次", "人数"},
                {101, 1, "甲", 100, 90, 80, 270, 1, 1, 1},
                {102, 2, "丁", 85, 95, 75, 255, 1, 2, 1}});
  expect_block(h.sheet("年级后1名"),
               {{"班级", "学号", "姓名", "语文", "数学", "英语", "总分", "班名次", "年级名次", "人数"},
                {103, 1, "辛", 60, 60, 60, 180, 1, 4, 1}});

  const KsState& st = h.job.state();
  EXPECT_TRUE(st.ks_has_absent);
  EXPECT_TRUE(st.ks_has_bands);
  EXPECT_EQ(st.ks_band_sizes[1], 0);  // reset
}

TEST(ExamRun, TiesShareTheBetterRankInGradeAndClass) {
  Harness h(book_of("成绩", {{"班级", "学号", "姓名", "总评"},
                             {101, 1, "甲", 600},
                             {101, 2, "乙", 590},
                             {101, 3, "丙", 590},
                             {101, 4, "丁", 580},
                             {102, 1, "戊", 590}}));
  h.expect_done();
  EXPECT_EQ(h.run(), JobOutcome::Completed);
  expect_block(h.sheet("年级实考"), {{"班级", "学号", "姓名", "总评", "总分", "班名次", "年级名次"},
                                     {101, 1, "甲", 600, 600, 1, 1},
                                     {101, 2, "乙", 590, 590, 2, 2},
                                     {101, 3, "丙", 590, 590, 2, 2},
                                     {101, 4, "丁", 580, 580, 4, 5},
                                     {102, 1, "戊", 590, 590, 1, 2}});
}

// Reference count: students ordered by total descending, equal totals by
// class ascending; position p is in top band n when p <= n.
std::map<int, std::array<int, 6>> reference_bands(const Rows& rows, std::array<int, 6> sizes) {
  std::vector<std::pair<double, int>> list;  // total, class
  for (std::size_t i = 1; i < rows.size(); ++i) {
    double total = 0;
    for (std::size_t c = 3; c < rows[i].size(); ++c) total += rows[i][c].v.as_number();
    list.push_back({total, static_cast<int>(rows[i][0].v.as_number())});
  }
  std::stable_sort(list.begin(), list.end(), [](auto a, auto b) {
    return a.first != b.first ? a.first > b.first : a.second < b.second;
  });
  std::map<int, std::array<int, 6>> out;
  const int t = static_cast<int>(list.size());
  for (int p = 1; p <= t; ++p) {
    auto& counts = out[list[p - 1].second];
    for (int k = 0; k < 6; ++k)
      if (k < 3 ? p <= sizes[k] : p > t - sizes[k]) ++counts[k];
  }
  return out;
}

struct BandCase {
  const char* name;
  std::array<int, 6> sizes;
  std::vector<std::string> headers;  // after 班级
  std::vector<int> columns;          // band index (0..5) of each header
  const char* top_sheet;
  const char* bottom_sheet;
};

class ExamBands : public ::testing::TestWithParam<BandCase> {};

TEST_P(ExamBands, CountsFollowPositionsInTheRankedList) {
  const BandCase& bc = GetParam();
  const Rows rows = generated_grade(400, 4, 2);
  Harness h(book_of("成绩", rows));
  Options o;
  for (int k = 0; k < 3; ++k) {
    o.top[k] = bc.sizes[k] ? std::to_string(bc.sizes[k]) : "0";
    o.bottom[k] = bc.sizes[k + 3] ? std::to_string(bc.sizes[k + 3]) : "";
  }
  h.expect_done(o);
  ASSERT_EQ(h.run(), JobOutcome::Completed) << h.ui.report();

  // Title, header, 4 classes, grade row; then the band table's title and header.
  const auto& avg = h.sheet("年级各科均分");
  Rows want = {{"各班各名次段统计"}, {"班级"}};
  for (const auto& head : bc.headers) want[1].push_back(head.c_str());
  auto ref = reference_bands(rows, bc.sizes);
  std::vector<int> sums(bc.columns.size(), 0);
  for (int code = 101; code <= 104; ++code) {
    std::vector<Lit> line = {code};
    for (std::size_t j = 0; j < bc.columns.size(); ++j) {
      int n = ref[code][bc.columns[j]];
      sums[j] += n;
      line.push_back(n ? Lit(n) : Lit(nullptr));
    }
    want.push_back(line);
  }
  expect_rows(avg, 8, want);
  for (std::size_t j = 0; j < bc.columns.size(); ++j)
    EXPECT_EQ(sums[j], bc.sizes[bc.columns[j]]) << bc.headers[j];

  auto check_extract = [&](const char* name, int size) {
    if (!name) return;
    const auto& sheet = h.sheet(name);
    EXPECT_EQ(sheet.current_region(1, 1).row_count(), size + 1) << name;
    int sum = 0;
    for (int r = 2; r <= size + 1; ++r) sum += static_cast<int>(sheet.value(r, 9).as_number());
    EXPECT_EQ(sum, size) << name;
  };
  check_extract(bc.top_sheet, *std::max_element(bc.sizes.begin(), bc.sizes.begin() + 3));
  check_extract(bc.bottom_sheet, *std::max_element(bc.sizes.begin() + 3, bc.sizes.end()));
  for (const std::string& name : h.sheet_names()) {
    if (name.rfind("年级前", 0) == 0) {
      EXPECT_EQ(bc.top_sheet ? bc.top_sheet : "", name);
    }
    if (name.rfind("年级后", 0) == 0) {
      EXPECT_EQ(bc.bottom_sheet ? bc.bottom_sheet : "", name);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ExamBands,
    ::testing::Values(BandCase{"TopAndBottom", {50, 100, 0, 0, 0, 30}, {"前50名", "前100名", "后30名"},
                               {0, 1, 5}, "年级前100名", "年级后30名"},
                      BandCase{"EqualSizes", {50, 50, 0, 0, 0, 0}, {"前50名", "前50名"}, {0, 1},
                               "年级前50名", nullptr},
                      BandCase{"BottomOnly", {0, 0, 0, 20, 0, 7}, {"后20名", "后7名"}, {3, 5},
                               nullptr, "年级后20名"},
                      BandCase{"WholeGrade", {400, 0, 0, 0, 400, 0}, {"前400名", "后400名"}, {0, 4},
                               "年级前400名", "年级后400名"}),
    [](const auto& info) { return std::string(info.param.name); });

// A grade past row 32,767, with a top band of every student: four classes of
// 10,000 with the same scores, falling by one every ten students, so that
// ranks tie in tens within a class and in forties across the grade.
TEST(ExamRun, GradePastRow32767WithATopBandOfEveryone) {
  const int per_class = 10000;
  Rows input = {{"班级", "学号", "姓名", "语文"}};
  for (int i = 0; i < 4 * per_class; ++i)
    input.push_back({101 + i % 4, i / 4 + 1, "生" + std::to_string(i + 1), 1000 - i / 40});
  Rows sat = {{"班级", "学号", "姓名", "语文", "总分", "班名次", "年级名次"}};
  Rows top = {{"班级", "学号", "姓名", "语文", "总分", "班名次", "年级名次", "人数"}};
  for (int c = 0; c < 4; ++c)
    for (int j = 0; j < per_class; ++j) {
      const int score = 1000 - j / 10;
      sat.push_back({101 + c, j + 1, "生" + std::to_string(4 * j + c + 1), score, score, j / 10 * 10 + 1,
                     j / 10 * 40 + 1});
      top.push_back(sat.back());
      top.back().push_back(j == 0 ? Lit(per_class) : Lit(nullptr));
    }
  Harness h(book_of("成绩", input));
  h.store->keep_dumps = false;
  Options o;
  o.top = {"40000", "", ""};
  h.expect_done(o);
  ASSERT_EQ(h.run(), JobOutcome::Completed) << h.ui.report();

  expect_block(h.sheet("年级实考"), sat);
  EXPECT_EQ(h.sheet("年级实考").page_breaks(), (std::vector<int>{10002, 20002, 30002, 40002}));
  expect_block(h.sheet("年级前40000名"), top);
  expect_block(h.sheet("年级各科均分"), {{"年级各科均分"},
                                         {"班级", "人数", "语文", "总分"},
                                         {101, per_class, 500.5, 500.5},
                                         {102, per_class, 500.5, 500.5},
                                         {103, per_class, 500.5, 500.5},
                                         {104, per_class, 500.5, 500.5},
                                         {"年级均分", 4 * per_class, 500.5, 500.5},
                                         {"各班各名次段统计"},
                                         {"班级", "前40000名"},
                                         {101, per_class},
                                         {102, per_class},
                                         {103, per_class},
                                         {104, per_class}});
}

// More classes than a sheet holds page breaks for: the run adds the first
// 1,023 and finishes, telling once which class is the first without one.
TEST(ExamRun, ClassesPastThePageBreakLimit) {
  const int classes = host::kMaxPageBreaks + 2;
  Harness h(book_of("成绩", generated_grade(classes, classes, 1)));
  h.expect_done();
  ASSERT_EQ(h.run(), JobOutcome::Completed) << h.ui.report();
  const std::vector<int> breaks = h.sheet("年级实考").page_breaks();
  ASSERT_EQ(breaks.size(), static_cast<std::size_t>(host::kMaxPageBreaks));
  EXPECT_EQ(breaks.back(), 1025);
  EXPECT_EQ(h.ui.notices(),
            (std::vector<std::string>{"工作表“年级实考”最多只能有 1023 个手动分页符，从班级 1125 起不再分页。"}));
}

TEST(ExamRun, TiesAtTheCutGoToTheLowerClassFirst) {
  // 乙 (101) and 丙 (102) tie on 290 across the cut of the top 2 and the
  // bottom 1: 乙 is the second, 丙 the last.
  Harness h(book_of("成绩", {{"班级", "学号", "姓名", "语文"},
                             {102, 1, "丙", 290},
                             {102, 2, "甲", 300},
                             {101, 1, "乙", 290}}));
  Options o;
  o.top = {"2", "", ""};
  o.bottom = {"1", "", ""};
  h.expect_done(o);
  ASSERT_EQ(h.run(), JobOutcome::Completed) << h.ui.report();
  expect_rows(h.sheet("年级各科均分"), 6, {{"各班各名次段统计"},
                                           {"班级", "前2名", "后1名"},
                                           {101, 1, nullptr},
                                           {102, 1, 1}});
  expect_block(h.sheet("年级前2名"), {{"班级", "学号", "姓名", "语文", "总分", "班名次", "年级名次", "人数"},
                                      {101, 1, "乙", 290, 290, 1, 2, 1},
                                      {102, 2, "甲", 300, 300, 1, 1, 1}});
  expect_block(h.sheet("年级后1名"), {{"班级", "学号", "姓名", "语文", "总分", "班名次", "年级名次", "人数"},
                                      {102, 1, "丙", 290, 290, 2, 2, 1}});
}

TEST(ExamRun, ExtractMergesOneCountCellPerClass) {
  Harness h(book_of("成绩", generated_grade(40, 3, 3)));
  Options o;
  o.top = {"12", "", ""};
  h.expect_done(o);
  ASSERT_EQ(h.run(), JobOutcome::Completed) << h.ui.report();
  const auto& sheet = h.sheet("年级前12名");
  const auto merges = sheet.merges();
  int covered = 0, sum = 0;
  for (int r = 2; r <= 13;) {
    auto m = sheet.merge_at(r, 10);
    int bottom = m ? m->bottom : r;
    for (int i = r; i <= bottom; ++i) EXPECT_EQ(sheet.value(i, 1), sheet.value(r, 1));
    EXPECT_NE(sheet.value(bottom + 1, 1), sheet.value(r, 1));
    EXPECT_EQ(sheet.value(r, 10).as_number(), bottom - r + 1);
    sum += static_cast<int>(sheet.value(r, 10).as_number());
    covered += bottom - r + 1;
    r = bottom + 1;
  }
  EXPECT_EQ(sum, 12);
  EXPECT_EQ(covered, 12);
}

struct AverageCase {
  const char* name;
  Rows input;
  Rows table;  // rows 2.. of 年级各科均分: header, classes, grade row
};

class ExamAverages : public ::testing::TestWithParam<AverageCase> {};

TEST_P(ExamAverages, TableHasOneRowPerClassCode) {
  Harness h(book_of("成绩", GetParam().input));
  h.expect_done();
  ASSERT_EQ(h.run(), JobOutcome::Completed) << h.ui.report();
  expect_rows(h.sheet("年级各科均分"), 2, GetParam().table);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExamAverages,
    ::testing::Values(
        AverageCase{"OneClass",
                    {{"班级", "学号", "姓名", "语文"}, {101, 1, "甲", 80}, {101, 2, "乙", 90}},
                    {{"班级", "人数", "语文", "总分"}, {101, 2, 85, 85}, {"年级均分", 2, 85, 85}}},
        AverageCase{"OneStudent",
                    {{"班级", "学号", "姓名", "语文"}, {101, 1, "甲", 77}},
                    {{"班级", "人数", "语文", "总分"}, {101, 1, 77, 77}, {"年级均分", 1, 77, 77}}},
        // The grade row is the exact mean, not a sum rounded at every step.
        AverageCase{"HalfPoints",
                    {{"班级", "学号", "姓名", "语文"}, {101, 1, "甲", 85.5}, {101, 2, "乙", 91.5}},
                    {{"班级", "人数", "语文", "总分"}, {101, 2, 88.5, 88.5}, {"年级均分", 2, 88.5, 88.5}}},
        AverageCase{"SinglePrecisionClassAverage",
                    {{"班级", "学号", "姓名", "语文"}, {101, 1, "甲", 250}, {101, 2, "乙", 251}, {101, 3, "丙", 251}},
                    {{"班级", "人数", "语文", "总分"},
                     {101, 3, static_cast<double>(752.0f / 3.0f), static_cast<double>(752.0f / 3.0f)},
                     {"年级均分", 3, 752.0 / 3, 752.0 / 3}}},
        // Codes with a gap, and class 103 whose only student missed a score:
        // it keeps its row (count 0, blanked like every zero) without averages.
        AverageCase{"CodesWithGapsAndAnEmptyClass",
                    {{"班级", "学号", "姓名", "语文"},
                     {104, 1, "丁", 90},
                     {101, 1, "甲", 80},
                     {103, 1, "丙", nullptr},
                     {102, 1, "乙", 70},
                     {104, 2, "戊", 100}},
                    {{"班级", "人数", "语文", "总分"},
                     {101, 1, 80, 80},
                     {102, 1, 70, 70},
                     {103, nullptr, nullptr, nullptr},
                     {104, 2, 95, 95},
                     {"年级均分", 4, 85, 85},
                     {"年级缺考"}}},
        // A code of 0 gets its own row like any other, and shows: the table
        // style blanks zeros everywhere but in the class codes.
        AverageCase{"ClassCodeZero",
                    {{"班级", "学号", "姓名", "语文"}, {2, 1, "丙", 90}, {0, 1, "甲", 80}, {1, 1, "乙", 70}},
                    {{"班级", "人数", "语文", "总分"},
                     {0, 1, 80, 80},
                     {1, 1, 70, 70},
                     {2, 1, 90, 90},
                     {"年级均分", 3, 80, 80}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExamRun, CodesWithGapsCountEveryClassInTheBandTable) {
  Harness h(book_of("成绩", {{"班级", "学号", "姓名", "语文"},
                             {104, 1, "丁", 90},
                             {101, 1, "甲", 80},
                             {102, 1, "乙", 70},
                             {104, 2, "戊", 100}}));
  Options o;
  o.top = {"2", "", ""};
  h.expect_done(o);
  ASSERT_EQ(h.run(), JobOutcome::Completed) << h.ui.report();
  expect_rows(h.sheet("年级各科均分"), 7, {{"各班各名次段统计"},
                                           {"班级", "前2名"},
                                           {101, nullptr},
                                           {102, nullptr},
                                           {104, 2}});
}

TEST(ExamRun, CoverSheetLayout) {
  Harness h(book_of("成绩", complete_grade()));
  Options o;
  o.name = "2001学年第二学期高一年级期中考试成绩分析";
  h.expect_done(o);
  ASSERT_EQ(h.run(), JobOutcome::Completed) << h.ui.report();
  auto& cover = h.sheet("封面");

  EXPECT_EQ(cover.value(1, 1), host::Value::text("教 务 处"));
  EXPECT_EQ(cover.value(3, 1), host::Value::text("届：2001"));
  EXPECT_EQ(cover.value(15, 1), host::Value::text(o.name));
  EXPECT_EQ(cover.value(19, 3), host::Value::text("(内部参考  严禁外传)"));
  EXPECT_EQ(cover.formula(40, 4), "=TODAY()");
  EXPECT_EQ(cover.value(40, 4).as_number(), h.app.today_serial());
  EXPECT_EQ(cover.format(40, 4).number_format, "[DBNum1]yyyy\"年\"m\"月\"d\"日\"");

  const auto merges = cover.merges();
  EXPECT_EQ(merges.size(), 4u);
  for (Area a : {Area{1, 1, 2, 2}, Area{15, 1, 15, 9}, Area{40, 4, 40, 6}, Area{19, 3, 19, 7}})
    EXPECT_NE(std::find(merges.begin(), merges.end(), a), merges.end()) << host::address(a);

  // Character runs: the first two characters in 宋体 14, the rest as the cell.
  auto first_run = [&](int r, int c) {
    const auto& runs = cover.runs(r, c);
    EXPECT_GE(runs.size(), 2u) << host::address(Area::cell(r, c));
    return runs.empty() ? memory::TextRun{} : runs.front();
  };
  for (auto [r, c, text] : {std::tuple{1, 1, "教 "}, std::tuple{3, 1, "届："}, std::tuple{19, 3, "(内"}}) {
    memory::TextRun run = first_run(r, c);
    EXPECT_EQ(run.text, text);
    ASSERT_TRUE(run.font.has_value());
    EXPECT_EQ(run.font->name, "宋体");
    EXPECT_EQ(run.font->size, 14);
    EXPECT_FALSE(run.font->bold);
  }
  EXPECT_EQ(cover.runs(3, 1).back().text, "2001");
  EXPECT_FALSE(cover.runs(3, 1).back().font.has_value());

  const memory::Format& office = cover.format(1, 1);
  EXPECT_EQ(office.alignment.horizontal, host::HAlign::Center);
  EXPECT_EQ(office.alignment.vertical, host::VAlign::Center);
  EXPECT_EQ(office.borders.left.style, host::LineStyle::Continuous);
  EXPECT_EQ(office.borders.top.style, host::LineStyle::Continuous);
  EXPECT_EQ(office.borders.right.style, host::LineStyle::None);  // inside line
  EXPECT_EQ(cover.format(2, 2).borders.right.style, host::LineStyle::Continuous);
  EXPECT_EQ(cover.format(2, 2).borders.bottom.style, host::LineStyle::Continuous);
  EXPECT_EQ(cover.format(2, 2).borders.left.style, host::LineStyle::None);

  const memory::Format& title = cover.format(15, 1);
  EXPECT_EQ(title.font.name, "黑体");
  EXPECT_EQ(title.font.size, 18);
  EXPECT_FALSE(title.alignment.wrap_text);
  EXPECT_FALSE(title.alignment.shrink_to_fit);
  EXPECT_EQ(title.alignment.vertical, host::VAlign::Bottom);
  EXPECT_EQ(cover.format(40, 4).font.size, 14);
  EXPECT_EQ(cover.format(40, 4).alignment.horizontal, host::HAlign::Center);
  EXPECT_EQ(cover.selection(), (Area{19, 3, 19, 7}));
}

TEST(ExamRun, HiddenSheetIsLeftAsItIs) {
  memory::WorkbookData book;
  memory::add_sheet(book, "成绩", complete_grade());
  memory::add_sheet(book, "隐藏", {{"旧", 0}}).hidden = true;
  Harness h(std::move(book));
  h.expect_done();
  ASSERT_EQ(h.run(), JobOutcome::Completed) << h.ui.report();
  EXPECT_EQ(h.sheet("隐藏").value(1, 2), host::Value::number(0));
  EXPECT_EQ(h.sheet("隐藏").format(1, 1).font.size, 11);
}

TEST(ExamRun, CloseBoxOnOptionsEndsTheRunUntouched) {
  Harness h(book_of("成绩", complete_grade()));
  const std::string before = memory::dump(h.wb->data());
  h.expect_start();
  h.ui.expect_form("ksfxForm", [](ui::FormDriver& f) {
    f.set_text("nq1", "2");
    f.close_box();
  });
  h.ui.expect_message("现在退出成绩分析程序!");
  EXPECT_EQ(h.run(), JobOutcome::Stopped);
  EXPECT_TRUE(h.ui.finished()) << h.ui.report();
  EXPECT_EQ(h.store->save_count, 0);
  EXPECT_EQ(memory::dump(h.wb->data()), before);
}

TEST(ExamRun, SecondRunDoesNotReuseTheFirstRunsBands) {
  Harness h(book_of("成绩", complete_grade()));
  Options banded;
  banded.top = {"2", "", ""};
  banded.bottom = {"1", "", ""};
  h.expect_done(banded);
  ASSERT_EQ(h.run(), JobOutcome::Completed) << h.ui.report();
  ASSERT_NE(h.wb->find_sheet("年级前2名"), nullptr);

  h.open(book_of("成绩", complete_grade()));
  Options plain;
  plain.name = "第二次";
  h.expect_done(plain);
  ASSERT_EQ(h.run(), JobOutcome::Completed) << h.ui.report();
  EXPECT_EQ(h.sheet_names(), (std::vector<std::string>{"原始数据", "封面", "年级各科均分", "年级实考"}));
  EXPECT_EQ(h.sheet("年级各科均分").current_region(1, 1).row_count(), 5);
}

}  // namespace
}  // namespace lczs::examanalysis::testing
