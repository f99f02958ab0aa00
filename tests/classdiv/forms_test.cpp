// The three dialogs and the settings loop of fb_confirm.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "classdiv/fb_forms.h"
#include "classdiv/fb_main.h"
#include "tests/classdiv/harness.h"

namespace lczs::classdiv {
namespace {

using testing::kConfirm;
using testing::kTypeError;
using ui::FormDriver;

TEST(Forms, SettingsFormOpensWithTheDefaultAndTheManualPartGreyed) {
  FbState st;
  ui::ScriptedUi ui;
  auto f = make_c_fbsz(st, ui);
  EXPECT_EQ(f->caption(), "分班相关数据设置");
  const char* names[] = {"c_2_lable", "c_fbs_txtbox", "c_1_lable", "c_3_lable", "OptionButton1",
                         "OptionButton2", "c_4_lable", "c_5_lable", "c_6_lable", "c_fbsj_txtbox",
                         "c_7_lable", "c_8_lable", "c_gkcz_txtbox", "c_9_lable", "CommandButton1",
                         "CommandButton2", "Label1", "Label2", "Label3"};
  ASSERT_EQ(f->controls().size(), std::size(names));
  for (std::size_t n = 0; n < std::size(names); ++n) {
    EXPECT_EQ(f->controls()[n]->name, names[n]);
    EXPECT_EQ(f->controls()[n]->font.name, "宋体");
    EXPECT_EQ(f->controls()[n]->font.size, 9);
  }
  const std::set<std::string> manual = {"c_5_lable", "c_6_lable", "c_7_lable", "c_8_lable",
                                        "c_9_lable", "c_fbsj_txtbox", "c_gkcz_txtbox"};
  for (const auto& c : f->controls()) EXPECT_EQ(c->enabled, !manual.count(c->name)) << c->name;
  EXPECT_TRUE(f->control("OptionButton1").value);
  EXPECT_FALSE(f->control("OptionButton2").value);
  EXPECT_EQ(f->control("OptionButton1").label, "c_4_lable");
  EXPECT_EQ(f->control("OptionButton2").label, "c_5_lable");
  EXPECT_EQ(f->control("Label1").caption,
            "提醒：各科及总分允许差值设得越小，则程序执行时间需设得长些，否    ");
  EXPECT_EQ(f->control("c_4_lable").caption, "默认(程序执行时间为2分钟，各科最大差值为1分)");
  EXPECT_EQ(f->control("CommandButton1").role, "confirm");
  EXPECT_EQ(f->control("CommandButton2").role, "cancel");

  f->choose("OptionButton2");
  for (const auto& c : f->controls())
    EXPECT_EQ(c->enabled, c->name != "c_4_lable") << c->name;
  f->choose("OptionButton1");
  for (const auto& c : f->controls()) EXPECT_EQ(c->enabled, !manual.count(c->name)) << c->name;
}

TEST(Forms, FormatFormAndHelpFormHoldTheirTexts) {
  FbState st;
  auto gs = make_gs(st);
  EXPECT_EQ(gs->caption(), "数据格式要求");
  EXPECT_EQ(gs->control("ts_text").font.size, 10.5);
  EXPECT_EQ(gs->control("zx_bt").caption, "继续执行>>");
  EXPECT_EQ(gs->control("gstz_bt").caption, "格式调整>>");
  const auto& pic = gs->control("分班原始数据格式图片").picture;
  ASSERT_EQ(pic.cells.size(), 9u);
  EXPECT_EQ(pic.cells[0], (std::vector<std::string>{"统一学号", "班级", "姓名", "性别", "语文",
                                                    "数学", "英语", "总分"}));
  for (int r = 1; r <= 8; ++r) {
    const auto& row = pic.cells[r];
    EXPECT_EQ(row[0], std::to_string(r));
    EXPECT_EQ(row[1], "");
    EXPECT_TRUE(row[3] == "男" || row[3] == "女");
    EXPECT_EQ(std::stoi(row[4]) + std::stoi(row[5]) + std::stoi(row[6]), std::stoi(row[7]));
  }

  auto help = make_fb_help();
  EXPECT_EQ(help->caption(), "分班帮助");
  std::string text;
  for (const auto& c : help->controls())
    if (c->kind == ui::ControlKind::Label) text += c->caption;
  EXPECT_EQ(text.rfind("   栎川助手软件是一款在Excel平台上开发的应用程序，而分班只是其中的一个子程序。", 0), 0u);
  EXPECT_NE(text.find("绝对是你的得力助手。具体使用：使用时，你只要按提示信息正确输入相关数据即可。"),
            std::string::npos);
  EXPECT_NE(text.find("必须是汉字男或女，你不可用其它符号表示。"), std::string::npos);
  EXPECT_NE(text.find("README"), std::string::npos);
  EXPECT_EQ(text.find('@'), std::string::npos);
  EXPECT_EQ(text.find("QQ"), std::string::npos);
  EXPECT_EQ(help->control("CommandButton1").caption, "关闭");
  EXPECT_EQ(help->control("CommandButton1").role, "close");
}

// One showing of c_fbsz: what is typed, and the message it answers with.
struct Showing {
  std::string classes;
  bool manual = false;
  std::string minutes, diff;
  bool back_to_default = false;  // type the manual values, then choose the default
  const char* message = nullptr;
  bool cancel = false;
  bool close_box = false;
};

// Types one showing into the form and presses its button.
void fill(FormDriver& f, const Showing& s) {
  if (s.cancel) {
    f.click("CommandButton2");
    return;
  }
  if (s.close_box) {
    f.close_box();
    return;
  }
  f.set_text("c_fbs_txtbox", s.classes);
  if (s.manual) {
    f.choose("OptionButton2");
    f.set_text("c_fbsj_txtbox", s.minutes);
    f.set_text("c_gkcz_txtbox", s.diff);
    if (s.back_to_default) f.choose("OptionButton1");
  }
  f.click("CommandButton1");
}

// The settings dialogs of one run, as the script answers them.
FbState confirm(ui::ScriptedUi& ui) {
  memory::MemoryApplication app;
  host::FakeClock clock;
  jobs::JobEnv env{app, ui, clock};
  FbState st;
  fb_confirm(env, st);
  EXPECT_TRUE(ui.finished()) << ui.report();
  return st;
}

struct SettingsCase {
  const char* what;
  std::vector<Showing> showings;
  bool go_on;
  int classes;
  int time_limit;
  float diff;
};

TEST(Forms, SettingsRules) {
  const SettingsCase cases[] = {
      {"negative", {{.classes = "-3", .message = kTypeError}, {.cancel = true}}, false, 0, 120, 1.0f},
      {"letters", {{.classes = "abc", .message = kTypeError}, {.cancel = true}}, false, 0, 120, 1.0f},
      {"empty", {{.classes = "", .message = "请输入分班数!"}, {.cancel = true}}, false, 0, 120, 1.0f},
      {"one comes back silently", {{.classes = "1"}, {.classes = "0"}, {.classes = "3"}}, true, 3, 120, 1.0f},
      {"half to even", {{.classes = "2.5"}}, true, 2, 120, 1.0f},
      {"3.5 to 4", {{.classes = " 3.5 "}}, true, 4, 120, 1.0f},
      {"full-width digits", {{.classes = "１２"}}, true, 12, 120, 1.0f},
      {"too many", {{.classes = "32768", .message = kTypeError}, {.classes = "32767"}}, true, 32767, 120, 1.0f},
      {"default ignores typed manual values",
       {{.classes = "6", .manual = true, .minutes = "3", .diff = "0.8", .back_to_default = true}}, true, 6, 120, 1.0f},
      {"manual", {{.classes = "6", .manual = true, .minutes = "3", .diff = "0.8"}}, true, 6, 180, 0.8f},
      {"manual 2.5 minutes", {{.classes = "6", .manual = true, .minutes = "2.5"}}, true, 6, 150, 1.0f},
      {"manual empty boxes keep defaults", {{.classes = "6", .manual = true}}, true, 6, 120, 1.0f},
      {"manual blank boxes keep defaults",
       {{.classes = "6", .manual = true, .minutes = " ", .diff = "　"}}, true, 6, 120, 1.0f},
      {"negative difference", {{.classes = "6", .manual = true, .diff = "-0.5"}}, true, 6, 120, -0.5f},
      {"time kept when the count is refused",
       {{.classes = "", .manual = true, .minutes = "3", .diff = "0.8", .message = "请输入分班数!"}, {.classes = "4"}},
       true, 4, 180, 0.8f},
      {"bad minutes store nothing",
       {{.classes = "6", .manual = true, .minutes = "三", .diff = "0.8", .message = kTypeError}, {.classes = "5"}},
       true, 5, 120, 1.0f},
      {"the class count is checked before a bad manual box",
       {{.classes = "", .manual = true, .minutes = "三", .diff = "0.8", .message = "请输入分班数!"},
        {.classes = "5"}},
       true, 5, 120, 1.0f},
      {"bad difference stores nothing",
       {{.classes = "6", .manual = true, .minutes = "3", .diff = "1e1", .message = kTypeError}, {.classes = "5"}},
       true, 5, 120, 1.0f},
      {"minutes out of range",
       {{.classes = "6", .manual = true, .minutes = "546.2", .message = kTypeError},
        {.classes = "6", .manual = true, .minutes = "-1", .message = kTypeError},
        {.classes = "6", .manual = true, .minutes = "546.1"}},
       true, 6, 32766, 1.0f},
      {"close box comes back", {{.close_box = true}, {.classes = "2"}}, true, 2, 120, 1.0f},
      // Numbers beyond what a double holds are refused like any unusable text.
      {"class count beyond a double",
       {{.classes = "1" + std::string(400, '0'), .message = kTypeError}, {.classes = "2"}}, true, 2, 120, 1.0f},
      {"minutes beyond a double",
       {{.classes = "6", .manual = true, .minutes = "9" + std::string(400, '9'), .message = kTypeError},
        {.classes = "5"}},
       true, 5, 120, 1.0f},
      {"difference beyond a double",
       {{.classes = "6", .manual = true, .diff = "-1" + std::string(400, '0'), .message = kTypeError},
        {.classes = "5"}},
       true, 5, 120, 1.0f},
  };
  for (const SettingsCase& c : cases) {
    SCOPED_TRACE(c.what);
    ui::ScriptedUi ui;
    ui.expect_message(kConfirm, ui::kOk).expect_form("gs", [](FormDriver& f) { f.close_box(); });
    for (const Showing& s : c.showings) {
      ui.expect_form("c_fbsz", [s](FormDriver& f) { fill(f, s); });
      if (s.message) ui.expect_message(s.message);
    }
    const FbState st = confirm(ui);
    EXPECT_EQ(st.fb_go_on, c.go_on);
    EXPECT_EQ(st.fb_class_count, c.classes);
    EXPECT_EQ(st.fb_time_limit, c.time_limit);
    EXPECT_EQ(st.fb_max_diff, c.diff);
  }
}

// The line a text dialog shows when the settings form comes back names
// what was refused, not always the class count's lower bound.
TEST(Forms, TheSettingsFormSaysWhyItIsBack) {
  const struct {
    Showing typed;
    std::string why;
  } cases[] = {
      {{.classes = "abc", .message = kTypeError}, "再次显示：分班数“abc”不是数字，各框重新为空"},
      {{.classes = "-3", .message = kTypeError}, "再次显示：分班数“-3”是负数，各框重新为空"},
      {{.classes = "32768", .message = kTypeError}, "再次显示：分班数“32768”超过 32767，各框重新为空"},
      {{.classes = "", .message = "请输入分班数!"}, "再次显示：没有填写分班数，各框重新为空"},
      {{.classes = "1"}, "再次显示：分班数须为 2 或以上，各框重新为空"},
      {{.classes = "6", .manual = true, .minutes = "三", .message = kTypeError},
       "再次显示：程序执行时间“三”不是数字，各框重新为空"},
      {{.classes = "6", .manual = true, .minutes = "-1", .message = kTypeError},
       "再次显示：程序执行时间“-1”是负数，各框重新为空"},
      {{.classes = "6", .manual = true, .minutes = "546.2", .message = kTypeError},
       "再次显示：程序执行时间“546.2”超过 546 分钟（32767 秒），各框重新为空"},
      {{.classes = "6", .manual = true, .diff = "1e1", .message = kTypeError},
       "再次显示：各科及总分允许最大差值“1e1”不是数字，各框重新为空"},
      // The count is judged first, as its message is the one shown.
      {{.classes = "x", .manual = true, .minutes = "三", .message = kTypeError},
       "再次显示：分班数“x”不是数字，各框重新为空"},
      {{.close_box = true}, "再次显示：关闭窗口不会离开这个窗体，要停止分班请按“取消”"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    ui::ScriptedUi ui;
    ui.expect_message(kConfirm, ui::kOk).expect_form("gs", [](FormDriver& f) { f.close_box(); });
    const Showing s = c.typed;
    ui.expect_form("c_fbsz", [s](FormDriver& f) {
      EXPECT_EQ(f.form().shown_again, "");
      fill(f, s);
    });
    if (s.message) ui.expect_message(s.message);
    std::string why;
    ui.expect_form("c_fbsz", [&why](FormDriver& f) {
      why = f.form().shown_again;
      f.click("CommandButton2");
    });
    const FbState st = confirm(ui);
    EXPECT_EQ(why, c.why);
  }
}

TEST(Forms, FormatAdjustmentEndsBeforeTheSettings) {
  ui::ScriptedUi ui;
  ui.expect_message(kConfirm, ui::kOk).expect_form("gs", [](FormDriver& f) { f.click("gstz_bt"); });
  const FbState st = confirm(ui);
  EXPECT_FALSE(st.fb_go_on);
}

}  // namespace
}  // namespace lczs::classdiv
