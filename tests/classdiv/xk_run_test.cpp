// Division by elective combination, end to end on the in-memory host:
// refusals with the book untouched, plans that need walking classes and
// plans that need none, checked student by student on the sheets written.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "classdiv/xk_input.h"
#include "tests/classdiv/harness.h"

namespace lczs::classdiv {
namespace {

using namespace testing;
using memory::Lit;
using Rows = std::vector<std::vector<Lit>>;

const jobs::OptionValues kWork = {{"--evaluations", "20000"}};

// Students 学生1.. (random scores) with the combinations given in order on
// 选科, by 统一学号.
Harness with_electives(const std::vector<std::string>& combos, const Rows& settings = {},
                       const Rows& extra_rows = {}) {
  const std::vector<Student> students =
      random_students(5, static_cast<int>(combos.size()), 3, static_cast<int>(combos.size()) / 2);
  memory::WorkbookData book = make_book({"语文", "数学", "英语"}, students);
  Rows sheet = {{"学生", "选科"}};
  for (std::size_t i = 0; i < combos.size(); ++i) sheet.push_back({static_cast<double>(i + 1), combos[i]});
  sheet.insert(sheet.end(), extra_rows.begin(), extra_rows.end());
  memory::add_sheet(book, "选科", sheet);
  if (!settings.empty()) {
    Rows s = {{"名称", "值"}};
    s.insert(s.end(), settings.begin(), settings.end());
    memory::add_sheet(book, "选科设置", s);
  }
  book.active_sheet = 0;
  return Harness(std::move(book));
}

std::vector<std::string> repeat(std::initializer_list<std::pair<const char*, int>> parts) {
  std::vector<std::string> out;
  for (auto& [combo, n] : parts)
    for (int i = 0; i < n; ++i) out.push_back(combo);
  return out;
}

struct Finished {
  std::map<int, std::string> fixed;  // class -> 定科 (long form)
  std::map<int, std::string> kind;
  std::map<std::string, int> class_of;  // 统一学号 -> class
};

// Runs to the end and checks, student by student, that every class holds
// only students who chose its fixed subjects and that the sheets agree.
Finished run_to_end(Harness& h, int classes, int students, const std::string& summary) {
  h.options = &kWork;
  script_start(h.ui, {std::to_string(classes), "", ""});
  h.ui.expect_message(kWait).expect_message(summary).expect_message_containing("程序共执行了");
  Finished f;
  EXPECT_EQ(h.run(), jobs::JobOutcome::Completed) << h.ui.report();
  const int result = h.wb->sheet_count();
  EXPECT_EQ(h.wb->sheet(result).name(), "选科分班");
  for (int c = 1; c <= classes; ++c) {
    EXPECT_EQ(h.cell(c + 1, 1, result), std::to_string(c));
    f.kind[c] = h.cell(c + 1, 2, result);
    f.fixed[c] = h.cell(c + 1, 3, result);
  }
  std::map<int, int> size;
  for (int r = 2; r <= students + 1; ++r) {
    const int c = static_cast<int>(h.sheet(1).value(r, 2).as_number());
    f.class_of[h.cell(r, 1)] = c;
    ++size[c];
  }
  for (int c = 1; c <= classes; ++c) EXPECT_EQ(h.cell(c + 1, 4, result), std::to_string(size[c]));
  // 选科 is the second sheet: each student's combination holds the class's
  // fixed subjects, and 结果 names the class.
  for (int r = 2; r <= students + 1; ++r) {
    const std::string id = h.cell(r, 1, 2);
    const int c = f.class_of.at(id);
    const auto combo = xk_parse_combo(h.cell(r, 2, 2), nullptr);
    const std::string& fixed = f.fixed[c];
    const auto fixed_mask = fixed == "无" ? std::optional<XkMask>(0) : std::nullopt;
    XkMask need = fixed_mask.value_or(0);
    if (!fixed_mask)
      for (int s = 0; s < kXkSubjectCount; ++s)
        if (fixed.find(kXkSubjects[s].name) != std::string::npos) need |= 1u << s;
    EXPECT_EQ(*combo & need, need) << "row " << r;
    EXPECT_TRUE(h.cell(r, 3, 2).starts_with("第 " + std::to_string(c) + " 班")) << h.cell(r, 3, 2);
  }
  return f;
}

TEST(Electives, RefusesBeforeAnythingChanges) {
  struct Case {
    const char* what;
    std::vector<std::string> combos;
    Rows settings, extra;
    std::string message;
  };
  const auto ok = repeat({{"物化生", 20}, {"史地政", 20}});
  auto with = [&](int at, const char* combo) {
    auto c = ok;
    c[at] = combo;
    return c;
  };
  const Case cases[] = {
      {"unknown subject", with(3, "物化音"), {}, {}, "工作表“选科”第 5 行的选科“物化音”中有不认识的科目“音”"},
      {"two of a subject", with(4, "物物生"), {}, {}, "工作表“选科”第 6 行的选科“物物生”应是三门不同的科目"},
      {"only two", with(4, "物化"), {}, {}, "第 6 行的选科“物化”应是三门不同的科目"},
      {"both first choices", with(7, "物理历史地理"), {{"选科制度", "3+1+2"}}, {}, "第 9 行的选科“物理历史地理”同时选了物理和历史"},
      {"no first choice", with(7, "化生地"), {{"选科制度", "3+1+2"}}, {}, "第 9 行的选科“化生地”没有首选科目"},
      {"listed twice", ok, {}, {{3.0, "物化生"}}, "工作表“选科”第 4 行和第 42 行都写了"},
      {"nobody", ok, {}, {{"张三", "物化生"}}, "工作表“选科”第 42 行的学生“张三”在数据表中找不到"},
      {"unknown setting", ok, {{"班额", "3"}}, {}, "工作表“选科设置”第 2 行的设置“班额”不认识"},
      {"bad float", ok, {{"班额浮动", "-1"}}, {}, "工作表“选科设置”第 2 行的班额浮动“-1”应是 0 或正整数"},
      {"bad system", ok, {{"选科制度", "3+2"}}, {}, "第 2 行的选科制度“3+2”不认识"},
      {"no plan", repeat({{"物化生", 25}, {"史地政", 15}}), {{"班额浮动", "0"}}, {},
       "没有能让每班学生都选了本班定科的方案。把班额浮动改为 5 就有方案"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Harness h = with_electives(c.combos, c.settings, c.extra);
    script_start(h.ui, {"2", "", ""});
    h.ui.expect_message_containing(c.message).expect_message(kExit);
    EXPECT_EQ(h.run(), jobs::JobOutcome::Stopped) << h.ui.report();
    EXPECT_TRUE(h.ui.finished()) << h.ui.report();
    EXPECT_EQ(h.wb->sheet(1).name(), "成绩");
    EXPECT_EQ(h.cell(2, 2), "");
    EXPECT_EQ(h.cell(1, 3, 2), "");  // no 结果
  }
  // A student left out of 选科.
  Harness h = with_electives(ok);
  h.sheet(2).set_value(41, 1, host::Value());
  h.sheet(2).set_value(41, 2, host::Value());
  script_start(h.ui, {"2", "", ""});
  h.ui.expect_message_containing("数据表第 41 行的").expect_message(kExit);
  EXPECT_EQ(h.run(), jobs::JobOutcome::Stopped) << h.ui.report();
  EXPECT_EQ(h.cell(2, 2), "");
}

// 3+1+2: 40 物化生 fill two classes; 12 物化政 and 8 物化地 share 物化 in a
// third whose students walk to 政治 or 地理; the 历史 side fills its own.
TEST(Electives, FirstChoiceGradeNeedsAClassFixingTwo) {
  auto combos = repeat({{"物化生", 40}, {"物理、化学、政治", 12}, {"物/化/地", 8}, {"历政地", 20}});
  Harness h = with_electives(combos, {{"班额浮动", "2"}});
  const Finished f = run_to_end(h, 4, 80, "选科分班：80 名学生，4 个班（组合班 3 个、定二走一 1 个、定一走二 0 个），走班共 20 科次，是所有可行方案中最少的。");
  EXPECT_EQ(f.kind.at(1), "组合班");
  EXPECT_EQ(f.kind.at(4), "定二走一");
  EXPECT_EQ(f.fixed.at(4), "物理、化学");
  // Students on 选科 rows 42.. (物化政) are in class 4 and walk to 政治.
  EXPECT_EQ(h.cell(42, 3, 2), "第 4 班（定二走一），走班：政治");
  EXPECT_EQ(h.cell(54, 3, 2), "第 4 班（定二走一），走班：地理");
  // The statistics block's extremes are per group, the group in column D.
  const int S = 80 + 9;
  EXPECT_EQ(h.cell(S + 4 + 3, 3), "最高平均分的班");
  EXPECT_EQ(h.cell(S + 4 + 3, 4), "物化生");
  EXPECT_EQ(h.cell(S + 4 + 6, 4), "政历地");
}

// 12 walk to 政治 and 8 to 地理; with 教学班上限 5 they fill the fewest
// teaching classes that fit, as evenly as the cap allows, and every walker
// is in one teaching class of each subject walked.
TEST(Electives, TeachingClassesStayWithinTheCap) {
  auto combos = repeat({{"物化生", 40}, {"物化政", 12}, {"物化地", 8}, {"历政地", 20}});
  Harness h = with_electives(combos, {{"班额浮动", "2"}, {"教学班上限", "5"}});
  run_to_end(h, 4, 80, "选科分班：80 名学生，4 个班（组合班 3 个、定二走一 1 个、定一走二 0 个），走班共 20 科次，是所有可行方案中最少的。");
  const int sheet = h.wb->sheet_count();
  const int taught = 4 + 3 + 3 + 2;  // below the classes and the groups
  EXPECT_EQ(h.cell(taught, 1, sheet), "教学班");
  const std::pair<const char*, const char*> rows[] = {
      {"政治1", "4"}, {"政治2", "4"}, {"政治3", "4"}, {"地理1", "4"}, {"地理2", "4"}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(h.cell(taught + 1 + i, 1, sheet), rows[i].first);
    EXPECT_EQ(h.cell(taught + 1 + i, 3, sheet), rows[i].second);
    EXPECT_EQ(h.cell(taught + 1 + i, 6, sheet), "4");  // all from class 4
  }
  const int list = taught + 5 + 2;
  std::map<std::string, int> in_class;
  for (int r = list + 1; r <= list + 80; ++r) {
    const std::string walks = h.cell(r, 5, sheet), taught_in = h.cell(r, 6, sheet);
    if (walks == "无") {
      EXPECT_EQ(taught_in, "无");
      continue;
    }
    EXPECT_TRUE(taught_in.starts_with(walks)) << walks << " / " << taught_in;
    ++in_class[taught_in];
  }
  EXPECT_EQ(in_class.size(), 5u);
  for (auto& [name, n] : in_class) EXPECT_EQ(n, 4) << name;
}

// 3+3 (a combination without 物理 or 历史): 物化技 are too few for a class and
// share 物化 with 物化生's overflow.
TEST(Electives, AnyThreeGradeNeedsAClassFixingTwo) {
  auto combos = repeat({{"物化生", 26}, {"物化技", 14}, {"生政地", 20}});
  Harness h = with_electives(combos, {{"班额浮动", "0"}});
  const Finished f = run_to_end(h, 3, 60,
                                "选科分班：60 名学生，3 个班（组合班 2 个、定二走一 1 个、定一走二 0 个、全走班 0 个），"
                                "走班共 20 科次，是所有可行方案中最少的。");
  EXPECT_EQ(f.fixed.at(1), "物理、化学、生物");
  EXPECT_EQ(f.fixed.at(2), "生物、政治、地理");
  EXPECT_EQ(f.fixed.at(3), "物理、化学");
}

// Every combination fills whole classes: nobody walks.
TEST(Electives, WholeClassesWalkNobody) {
  auto combos = repeat({{"物化生", 30}, {"历政地", 15}, {"物生地", 15}});
  Harness h = with_electives(combos, {{"班额浮动", "0"}});
  const Finished f = run_to_end(h, 4, 60, "选科分班：60 名学生，4 个班（组合班 4 个、定二走一 0 个、定一走二 0 个），走班共 0 科次，是所有可行方案中最少的。");
  for (int c = 1; c <= 4; ++c) EXPECT_EQ(f.kind.at(c), "组合班");
  for (int r = 2; r <= 61; ++r) EXPECT_TRUE(h.cell(r, 3, 2).ends_with("走班：无"));
}

TEST(Electives, CombinationsAsSchoolsWriteThem) {
  const std::pair<const char*, const char*> cases[] = {
      {"物化生", "物化生"}, {"物理化学生物", "物化生"}, {"物理、化学、生物", "物化生"}, {"物/化/生", "物化生"},
      {"历史 思想政治 地理", "政历地"}, {"史政地", "政历地"}, {"物理+化学+技术", "物化技"}};
  for (auto [text, expected] : cases) {
    const auto m = xk_parse_combo(text, nullptr);
    ASSERT_TRUE(m.has_value()) << text;
    EXPECT_EQ(xk_combo_text(*m, true), expected);
  }
}

}  // namespace
}  // namespace lczs::classdiv
