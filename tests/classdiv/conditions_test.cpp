// Class division with a 分班条件 sheet: refusals before anything changes,
// each condition met alone and all together, names that sound alike, and
// random books whose conditions the search must never break.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <map>
#include <random>
#include <set>

#include "classdiv/name_reading.h"
#include "tests/classdiv/harness.h"

namespace lczs::classdiv {
namespace {

using namespace testing;
using memory::Lit;

using Rows = std::vector<std::vector<Lit>>;

// Students 学生1.. with random scores, some renamed for the conditions.
std::vector<Student> grade(unsigned seed, int count, int boys, const std::map<int, std::string>& names = {}) {
  // Indices after the shuffle of random_students.
  std::vector<Student> s = random_students(seed, count, 3, boys);
  for (auto& [index, name] : names) s[index].name = name;
  return s;
}

Harness with_conditions(const std::vector<Student>& students, const Rows& rows) {
  memory::WorkbookData book = make_book({"语文", "数学", "英语"}, students);
  Rows sheet = {{"条件", "学生", "值"}};
  sheet.insert(sheet.end(), rows.begin(), rows.end());
  memory::add_sheet(book, "分班条件", sheet);
  book.active_sheet = 0;
  return Harness(std::move(book));
}

// Each student's class and gender as the data sheet ends up.
struct Placed {
  std::map<std::string, int> class_of;
  std::map<int, int> size, boys;
};
Placed placed(Harness& h, int students) {
  Placed p;
  for (int r = 2; r <= students + 1; ++r) {
    const int c = static_cast<int>(h.sheet(1).value(r, 2).as_number());
    p.class_of[h.cell(r, 3)] = c;
    ++p.size[c];
    p.boys[c] += h.cell(r, 4) == "男";
  }
  return p;
}

int spread_of(const std::map<int, int>& counts, int classes) {
  int lo = 1 << 30, hi = 0;
  for (int c = 1; c <= classes; ++c) {
    const int n = counts.count(c) ? counts.at(c) : 0;
    lo = std::min(lo, n);
    hi = std::max(hi, n);
  }
  return hi - lo;
}

const jobs::OptionValues kWork = {{"--evaluations", "30000"}};

TEST(NameReading, NamesThatSoundAlikeReadAlike) {
  struct Case {
    const char* a;
    const char* b;
    bool same;
  };
  const Case cases[] = {{"李娜", "李纳", true},   {"张伟", "张玮", true},   {"刘洋", "柳阳", true},
                        {"陈杰", "陈洁", true},   {"李 娜", "李娜", true},  {"王芳", "王方", true},
                        {"李娜", "李娟", false},  {"张伟", "章伟", true},   {"周杰", "周洁伦", false},
                        {"Anna", "Anna", true},   {"赵磊", "孙磊", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " / " + c.b);
    EXPECT_EQ(name_reading(c.a) == name_reading(c.b), c.same) << name_reading(c.a) << " | " << name_reading(c.b);
  }
  EXPECT_EQ(name_reading("李娜"), "li na");
}

// Every refusal names the row(s) of 分班条件 and comes before the data
// sheet is touched.
TEST(Conditions, RefusesWhatCannotBeMetBeforeAnythingChanges) {
  struct Case {
    const char* what;
    Rows rows;
    std::string message;
  };
  // 学生1.. with two called 王芳; 4 classes of 10.
  const std::vector<Student> students = grade(3, 40, 20, {{5, "王芳"}, {6, "王芳"}});
  const std::string first = students[0].name;  // on data row 2
  const Case cases[] = {
      {"unknown word", {{"同桌", "学生1", nullptr}}, "第 2 行的条件“同桌”不认识"},
      {"nobody", {{"同班", "学生1、张三", nullptr}}, "第 2 行的学生“张三”在数据表中找不到"},
      {"ambiguous", {{"分开", "学生1、王芳", nullptr}}, "第 2 行的学生“王芳”对应不止一个学生（数据表第 7、8 行）"},
      {"class outside", {{nullptr, nullptr, nullptr}, {"指定班级", "学生1", 5}}, "第 3 行把学生指定到“5”班，只能是 1 到 4 班"},
      {"two classes", {{"指定班级", first, 1}, {"指定班级", "第2行", 2}}, "第 2、3 行把" + first + "（数据表第 2 行）指定到了两个班"},
      {"group too large",
       {{"同班", "学生1、学生2、学生3、学生4、学生5、学生6", nullptr}, {"同班", "学生6，学生7，学生8，学生9，学生10，学生11", nullptr}},
       "第 2、3 行要求同班的学生共 11 人，多于每班最多的 10 人"},
      {"together and apart", {{"同班", "学生1、学生2", nullptr}, {"分开", "学生2、学生1", nullptr}}, "第 2、3 行要求"},
      {"group fixed twice",
       {{"同班", "学生1、学生2", nullptr}, {"指定班级", "学生1", 1}, {"指定班级", "学生2", 2}},
       "第 2、3、4 行要求同班的"},
      {"class overfull", {{"指定班级", "学生1、学生2、学生3、学生4、学生5、学生6、学生7、学生8、学生9、学生10、学生11", 2}},
       "第 2 行要求在第 2 班的学生共 11 人，多于该班的 10 人"},
      {"tag missing", {{"均衡", "学生1、学生2", nullptr}}, "第 2 行的“均衡”没有在“值”一列写标签"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Harness h = with_conditions(students, c.rows);
    script_start(h.ui, {"4", "", ""});
    h.ui.expect_message_containing(c.message).expect_message(kExit);
    EXPECT_EQ(h.run(), jobs::JobOutcome::Stopped) << h.ui.report();
    EXPECT_TRUE(h.ui.finished()) << h.ui.report();
    EXPECT_EQ(h.wb->sheet(1).name(), "成绩");
    EXPECT_EQ(h.cell(2, 2), "");
    EXPECT_EQ(h.cell(1, 4, 2), "");  // no 结果
  }
}

// Each condition alone, then all of them in one run; the check is made on
// the data sheet as written, by name.
TEST(Conditions, EachConditionAndAllTogetherAreMet) {
  std::vector<Student> students = grade(21, 80, 38);
  // A boy and a girl for 同班, the others of either gender.
  const auto boy = std::find_if(students.begin(), students.end(), [](auto& s) { return s.sex == "男"; });
  const auto girl = std::find_if(students.begin(), students.end(), [](auto& s) { return s.sex == "女"; });
  boy->name = "李晓燕";
  girl->name = "李晓红";
  const char* others[] = {"王志强", "张伟", "张玮", "章伟", "李娜", "李纳", "刘洋", "陈杰"};
  for (int n = 0, x = 0; x < 8; ++n)
    if (students[n].name.starts_with("学生")) students[n].name = others[x++];
  std::vector<std::string> cadres;
  for (const auto& s : students)
    if (s.name.starts_with("学生") && cadres.size() < 11) cadres.push_back(s.name);
  auto listed = [&](int from, int to) {
    std::string text;
    for (int n = from; n < to; ++n) text += (text.empty() ? "" : "、") + cadres[n];
    return text;
  };
  struct Case {
    Rows rows;
    std::function<bool(const Placed&)> met;
  };
  const auto cls = [](const Placed& p, const std::string& n) { return p.class_of.at(n); };
  const std::vector<Case> cases = {
      {{{"指定班级", "王志强", 3}}, [&](const Placed& p) { return cls(p, "王志强") == 3; }},
      {{{"同班", "李晓燕、李晓红", nullptr}}, [&](const Placed& p) { return cls(p, "李晓燕") == cls(p, "李晓红"); }},
      {{{"分开", "张伟、刘洋、陈杰", nullptr}},
       [&](const Placed& p) { return std::set<int>{cls(p, "张伟"), cls(p, "刘洋"), cls(p, "陈杰")}.size() == 3; }},
      {{{"同名分开", "全体", nullptr}},
       [&](const Placed& p) {
         return std::set<int>{cls(p, "张伟"), cls(p, "张玮"), cls(p, "章伟")}.size() == 3 &&
                cls(p, "李娜") != cls(p, "李纳");
       }},
      // One tag over two rows.
      {{{"均衡", listed(0, 7), "班干部"}, {"均衡", listed(7, 11), "班干部"}},
       [&](const Placed& p) {
         std::map<int, int> n;
         for (const auto& name : cadres) ++n[p.class_of.at(name)];
         return spread_of(n, 4) <= 1;
       }},
  };
  auto run = [&](const Rows& rows, const std::vector<const Case*>& checked) {
    Harness h = with_conditions(students, rows);
    h.options = &kWork;
    script_start(h.ui, {"4", "", ""});
    h.ui.expect_message(kWait)
        .expect_message("分班条件共 " + std::to_string(rows.size()) + " 条，全部满足。")
        .expect_message_containing("程序共执行了");
    ASSERT_EQ(h.run(), jobs::JobOutcome::Completed) << h.ui.report();
    const Placed p = placed(h, 80);
    for (const Case* c : checked) EXPECT_TRUE(c->met(p));
    EXPECT_LE(spread_of(p.size, 4), 1);
    EXPECT_LE(spread_of(p.boys, 4), 1);
    EXPECT_EQ(h.cell(1, 4, 2), "结果");
    for (std::size_t r = 0; r < rows.size(); ++r) EXPECT_EQ(h.cell(static_cast<int>(r) + 2, 4, 2), "满足");
  };
  Rows all;
  std::vector<const Case*> every;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rows[0][0].v.display_text());
    run(c.rows, {&c});
    all.insert(all.end(), c.rows.begin(), c.rows.end());
    every.push_back(&c);
  }
  SCOPED_TRACE("all together");
  run(all, every);
}

// More names that sound alike than classes: at most ⌈n/K⌉ in a class, and
// 结果 says why they could not all be apart.
TEST(Conditions, SaysWhySameSoundingNamesShareAClass) {
  const std::vector<Student> students = grade(5, 20, 10, {{0, "李娜"}, {1, "李纳"}, {12, "李那"}});
  Harness h = with_conditions(students, {{"同名分开", "全体", nullptr}});
  h.options = &kWork;
  script_start(h.ui, {"2", "", ""});
  h.ui.expect_message(kWait)
      .expect_message_containing("分班条件共 1 条，满足 0 条，1 条未满足")
      .expect_message_containing("程序共执行了");
  ASSERT_EQ(h.run(), jobs::JobOutcome::Completed) << h.ui.report();
  const Placed p = placed(h, 20);
  std::map<int, int> n;
  for (const char* name : {"李娜", "李纳", "李那"}) ++n[p.class_of.at(name)];
  EXPECT_EQ(spread_of(n, 2), 1);
  EXPECT_NE(h.cell(2, 4, 2).find("（同名同音的有 3 人，多于 2 个班）"), std::string::npos) << h.cell(2, 4, 2);
}

// Random books and conditions that can all be met: after every run each
// condition holds on the sheet, whatever the search did.
TEST(Conditions, TheSearchNeverBreaksACondition) {
  for (unsigned seed = 1; seed <= 6; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    const int N = 60 + static_cast<int>(rng() % 60), K = 3 + static_cast<int>(rng() % 4);
    const std::vector<Student> students = grade(seed, N, N / 2 - 3 + static_cast<int>(rng() % 7));
    std::vector<int> pick(N);
    std::iota(pick.begin(), pick.end(), 0);
    std::shuffle(pick.begin(), pick.end(), rng);
    auto name = [&](int x) { return students[pick[x]].name; };
    // Disjoint students for each condition, so all can be met.
    Rows rows;
    int next = 0;
    std::vector<std::pair<std::string, int>> fixed;
    std::vector<std::vector<std::string>> together, apart;
    std::vector<std::string> tagged;
    for (int c = 0; c < 3; ++c) {
      fixed.emplace_back(name(next++), 1 + static_cast<int>(rng() % K));
      rows.push_back({"指定班级", fixed.back().first, fixed.back().second});
      together.push_back({name(next), name(next + 1)});
      rows.push_back({"同班", name(next) + "、" + name(next + 1), nullptr});
      next += 2;
      apart.push_back({});
      std::string text;
      for (int x = 0; x < K; ++x) {
        apart.back().push_back(name(next++));
        text += (x ? "，" : "") + apart.back().back();
      }
      rows.push_back({"分开", text, nullptr});
    }
    std::string text;
    for (int x = 0; x < 2 * K + 1; ++x) {
      tagged.push_back(name(next++));
      text += (x ? "、" : "") + tagged.back();
    }
    rows.push_back({"均衡", text, "住校"});
    Harness h = with_conditions(students, rows);
    const jobs::OptionValues work = {{"--evaluations", "40000"}, {"--seed", std::to_string(seed)}};
    h.options = &work;
    script_start(h.ui, {std::to_string(K), "", "-1"});
    h.ui.expect_message(kWait)
        .expect_message("分班条件共 " + std::to_string(rows.size()) + " 条，全部满足。")
        .expect_message_containing("程序共执行了");
    ASSERT_EQ(h.run(), jobs::JobOutcome::Completed) << h.ui.report();
    const Placed p = placed(h, N);
    for (auto& [who, c] : fixed) EXPECT_EQ(p.class_of.at(who), c) << who;
    for (auto& g : together) EXPECT_EQ(p.class_of.at(g[0]), p.class_of.at(g[1])) << g[0];
    for (auto& g : apart) {
      std::set<int> classes;
      for (auto& who : g) classes.insert(p.class_of.at(who));
      EXPECT_EQ(classes.size(), g.size()) << g[0];
    }
    std::map<int, int> n;
    for (auto& who : tagged) ++n[p.class_of.at(who)];
    EXPECT_LE(spread_of(n, K), 1);
    EXPECT_LE(spread_of(p.size, K), 1);
  }
}

}  // namespace
}  // namespace lczs::classdiv
