#include "ui/terminal_ui.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/ui/sample_forms.h"

namespace lczs::ui {
namespace {

using testing::Record;

struct Term {
  explicit Term(std::string input) : in(std::move(input)), ui(in, out, err) {}
  std::istringstream in;
  std::ostringstream out, err;
  TerminalUi ui;
};

TEST(TerminalUi, QuestionsAreAnsweredFromTheInputAndEndOfInputCancels) {
  struct Case {
    std::string input;
    int answer;
  };
  const std::vector<Case> cases = {
      {"1\n", kOk},  {"\n", kOk},         {"2\n", kCancel}, {"取消\n", kCancel},
      {"y\n", kOk},  {"what\n2\n", kCancel}, {"", kCancel},  {"what\n", kCancel},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    Term t(c.input);
    EXPECT_EQ(t.ui.message_box("开始分班，继续吗？", Buttons::OkCancel, kTitle), c.answer);
    EXPECT_EQ(t.out.str(), std::string("[栎川提示]\n开始分班，继续吗？\n") +
                               (c.answer == kOk ? "→ 确定\n" : "→ 取消\n"));
  }
  // A notice asks nothing.
  Term t("2\n");
  EXPECT_EQ(t.ui.message_box("分班结束!", Buttons::Ok, kTitle), kOk);
  EXPECT_EQ(t.ui.message_box("继续吗？", Buttons::OkCancel, kTitle), kCancel);
}

TEST(TerminalUi, ASettingsFormIsWalkedInDesignOrderFollowingTheEnabledStates) {
  struct Case {
    std::string input;
    std::vector<std::string> events;
  };
  const std::vector<Case> cases = {
      // 分班数, option 2 (enables the two boxes), minutes, difference, 确定
      {"6\n2\n3\n0.8\n1\n", {"OptionButton2", "ok:6/3/0.8"}},
      // keeping the default option skips the disabled boxes
      {"6\n\n1\n", {"ok:6//"}},
      // an empty line leaves a box empty; a bad choice is asked again
      {"\n9\n1\n\n\n确定\n", {"OptionButton1", "ok://"}},
      // the close box is a choice of its own
      {"6\n\n0\n", {"close"}},
      // 取消 by number
      {"6\n\n2\n", {"cancel"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    Record rec;
    auto form = testing::settings_form(rec);
    if (c.input.rfind("\n9", 0) == 0) {  // starts from the manual option
      form->choose("OptionButton2");
      rec.events.clear();
    }
    Term t(c.input);
    t.ui.show_modal(*form);
    EXPECT_FALSE(form->loaded());
    EXPECT_EQ(rec.events, c.events);
    EXPECT_TRUE(t.out.str().empty());  // forms never reach standard output
  }
}

TEST(TerminalUi, ControlsAreShownByTheirLabelsNeverByTheirNames) {
  Record rec;
  auto form = testing::settings_form(rec);
  form->control("c_fbs_txtbox").text = "4";
  form->shown_again = "分班数至少为 2";
  Term t("\n\n1\n");
  t.ui.show_modal(*form);
  EXPECT_EQ(rec.events, std::vector<std::string>{"ok:4//"});  // Enter kept the value
  const std::string e = t.err.str();
  const std::vector<std::pair<std::string, bool>> cases = {
      {"=== 分班相关数据设置 ===\n（分班数至少为 2）\n", true},
      {"一、设置需要分班的班级数目\n分班数：（现为“4”，直接回车保留）> ", true},
      {"1) 默认  ← 当前", true},
      {"2) 手动调整\n", true},
      {"程序执行时间：（不可用）\n", true},
      {"(单位为分钟", false},  // the hint of a box that cannot be filled
      {"\n手动调整", false},     // the label beside an option is its choice
      {"txtbox", false},
      {"lable", false},
  };
  for (const auto& [text, shown] : cases) EXPECT_EQ(e.find(text) != std::string::npos, shown) << text << "\n" << e;
}

TEST(TerminalUi, ButtonsAreNumberedByWhatTheyDo) {
  // Whatever their design order: 1 goes on, 2 stops, 0 is the close box.
  for (bool go_on_first : {true, false}) {
    Record rec;
    auto form = testing::format_form(rec);
    if (!go_on_first) std::swap(form->control("zx_bt").role, form->control("gstz_bt").role);
    // Numbers that are no button's are asked again, however large.
    Term t("99999999999999999999\n2.5\n1\n");
    t.ui.show_modal(*form);
    EXPECT_EQ(rec.events, std::vector<std::string>{go_on_first ? "go on" : "adjust"});
    EXPECT_NE(t.err.str().find(go_on_first ? "1) 继续执行>>\n  2) 格式调整>>" : "1) 格式调整>>\n  2) 继续执行>>"),
              std::string::npos)
        << t.err.str();
  }
}

TEST(TerminalUi, EndOfInputCancelsTheFormAndEveryDialogAfterIt) {
  Record rec;
  auto form = testing::settings_form(rec);
  Term t("6\n");  // ends at the option group
  t.ui.show_modal(*form);
  EXPECT_EQ(rec.events, std::vector<std::string>{"cancel"});
  EXPECT_TRUE(t.ui.input_ended());

  // The data-format form comes back: 格式调整>>, never the close box (which goes on).
  Record rec2;
  auto gs = testing::format_form(rec2, /*hints=*/false);
  t.ui.show_modal(*gs);
  EXPECT_EQ(rec2.events, std::vector<std::string>{"adjust"});
  auto help = testing::info_form(rec2);
  t.ui.show_modal(*help);
  EXPECT_EQ(rec2.events.back(), "closed");
  EXPECT_EQ(t.ui.message_box("继续吗？", Buttons::OkCancel, kTitle), kCancel);
  EXPECT_EQ(t.ui.message_box("结束", Buttons::Ok, kTitle), kOk);
}

TEST(TerminalUi, AFormThatKeepsComingBackEndsWithTheInput) {
  Record rec;
  // 确定 that never unloads (a refused value): the form is walked again
  // until the input ends, then cancelled.
  auto form = testing::settings_form(rec, true, /*ok_unloads=*/false);
  Term t("abc\n\n1\n\n\n1\nxyz\n");
  t.ui.show_modal(*form);
  EXPECT_FALSE(form->loaded());
  EXPECT_EQ(rec.events, (std::vector<std::string>{"ok:abc//", "ok:abc//", "cancel"}));
}

TEST(TerminalUi, PagesAreWalkedInOrderAndPicturesDrawn) {
  Record rec;
  auto form = testing::paged_form(rec);
  Term t("2001\n50\n\n200\n1\n");
  t.ui.show_modal(*form);
  EXPECT_EQ(rec.events, std::vector<std::string>{"ok:2001/50//200/"});
  const std::string e = t.err.str();
  EXPECT_LT(e.find("【基本信息设置】"), e.find("【按年级排名】"));
  EXPECT_NE(e.find("年级前X、Y、Z名 第 3 个：（现为空，直接回车留空）> "), std::string::npos) << e;

  Record rec2;
  auto gs = testing::format_form(rec2);
  Term g("1\n");
  g.ui.show_modal(*gs);
  EXPECT_EQ(rec2.events, std::vector<std::string>{"go on"});
  EXPECT_NE(g.err.str().find("| 统一学号 | 班级 | 姓名 |"), std::string::npos) << g.err.str();
}

TEST(TerminalUi, ProgressOverwritesOnATerminalAndIsEndedBeforeADialog) {
  std::istringstream in;
  std::ostringstream out, err;
  TerminalUi tty(in, out, err, true);
  tty.progress("第 1 轮");
  tty.progress("第 2 轮");
  tty.message_box("完", Buttons::Ok, kTitle);
  EXPECT_EQ(err.str(), "\r第 1 轮\x1b[K\r第 2 轮\x1b[K\n");
  std::ostringstream err2;
  TerminalUi pipe(in, out, err2, false);
  pipe.progress("第 1 轮");
  pipe.progress_done();
  EXPECT_EQ(err2.str(), "");
}

}  // namespace
}  // namespace lczs::ui
