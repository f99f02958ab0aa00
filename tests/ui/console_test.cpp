#include "ui/console.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/ui/sample_forms.h"
#include "ui/make_ui.h"
#include "ui/scripted_ui.h"

namespace lczs::ui {
namespace {

TEST(Console, DisplayWidthCountsWideCharactersTwice) {
  const std::vector<std::pair<std::string, int>> cases = {
      {"", 0},          {"abc", 3},       {"统一学号", 8},      {"（1）", 5},
      {"a中b", 4},      {"→ 确定", 6},     {"e\xCC\x81", 1},     {"\xFF", 1},
      {"가", 2},         {"ｶ", 1},          {"，。", 4},           {"88.5", 4},
  };
  for (const auto& [text, width] : cases) EXPECT_EQ(display_width(text), width) << text;
  EXPECT_EQ(pad_right("班级", 6), "班级  ");
  EXPECT_EQ(pad_right("班级", 3), "班级");
}

TEST(Console, WrappingKeepsWordsAndPunctuationWhole) {
  struct Case {
    std::string text;
    int width, indent;
    std::string wrapped;
  };
  const std::vector<Case> cases = {
      {"abc def ghi", 7, 0, "abc def\nghi"},
      {"中文中文中文", 6, 0, "中文中\n文中文"},
      {"分钟，例如", 6, 0, "分钟，\n例如"},        // no line starts with a comma
      {"选“手动调整”", 4, 0, "选\n“手\n动调\n整”"},  // nor ends with an opening quote
      {"--save-name 文件名", 8, 2, "--save-name\n  文件名"},  // a word wider than the line stays whole
      {"一行\n两行", 80, 2, "一行\n  两行"},
  };
  for (const auto& c : cases) EXPECT_EQ(wrap_text(c.text, c.width, c.indent), c.wrapped) << c.text;
}

TEST(Console, APictureIsATableAlignedByDisplayWidth) {
  PictureTable p;
  p.cells = {{"统一学号", "班级", "性别"}, {"1", "", "男"}, {"10", "3"}};
  p.first_row_number = 9;
  std::string drawn = draw_picture(p);
  std::istringstream lines(drawn);
  std::vector<std::string> all;
  for (std::string line; std::getline(lines, line);) all.push_back(line);
  ASSERT_EQ(all.size(), 5u);  // letters, rule, three rows
  for (const auto& line : all) EXPECT_EQ(display_width(line), display_width(all[0])) << line;
  EXPECT_NE(all[0].find("| A "), std::string::npos);
  EXPECT_NE(all[0].find("| C "), std::string::npos);
  EXPECT_EQ(all[2].rfind(" 9 | 统一学号 | 班级 | 性别 |", 0), 0u) << all[2];
  EXPECT_EQ(all[4].rfind("11 | 10 ", 0), 0u) << all[4];
  EXPECT_EQ(draw_picture(PictureTable{}), "");
}

TEST(Console, AMessageBoxPrintsItsTitleLinesAndAnswer) {
  std::ostringstream out;
  print_message(out, "第一行\r\n第二行", kTitle);
  print_answer(out, kCancel);
  print_message(out, "请输入基本信息!", "");
  print_answer(out, kOk);
  EXPECT_EQ(out.str(), "[栎川提示]\n第一行\n第二行\n→ 取消\n[]\n请输入基本信息!\n→ 确定\n");
}

TEST(Console, ButtonsAreKnownByRoleHintOrElseByCaption) {
  testing::Record rec;
  for (bool hints : {true, false}) {
    SCOPED_TRACE(hints);
    auto s = testing::settings_form(rec, hints);
    auto g = testing::format_form(rec, hints);
    auto h = testing::info_form(rec, hints);
    EXPECT_EQ(find_button(*s, "confirm")->name, "CommandButton1");
    EXPECT_EQ(find_button(*s, "cancel")->name, "CommandButton2");
    EXPECT_EQ(find_button(*g, "confirm")->name, "zx_bt");
    EXPECT_EQ(find_button(*g, "cancel")->name, "gstz_bt");
    EXPECT_EQ(find_button(*h, "close")->name, "CommandButton1");
    EXPECT_EQ(find_button(*h, "cancel"), nullptr);
  }
  // A hint wins over the caption.
  Form f("f", "f");
  f.add({.name = "b", .kind = ControlKind::CommandButton, .caption = "取消", .role = "confirm"});
  EXPECT_EQ(find_button(f, "cancel"), nullptr);
  EXPECT_EQ(find_button(f, "confirm")->name, "b");
}

TEST(Console, CancellingAFormPressesItsCancelButtonNeverTheCloseBox) {
  testing::Record rec;
  auto s = testing::settings_form(rec);
  EXPECT_EQ(cancel_form(*s), "取消");
  auto g = testing::format_form(rec, false);
  EXPECT_EQ(cancel_form(*g), "格式调整>>");
  auto h = testing::info_form(rec);
  EXPECT_EQ(cancel_form(*h), "关闭");
  EXPECT_EQ(rec.events, (std::vector<std::string>{"cancel", "adjust", "closed"}));
  // A cancel button that leaves the form open: the form is unloaded anyway.
  testing::Record rec2;
  auto stuck = testing::settings_form(rec2);
  stuck->on("CommandButton2", "Click", [] {});
  cancel_form(*stuck);
  EXPECT_FALSE(stuck->loaded());
}

TEST(MakeUi, KindsComeFromTheirNamesAndTheEnvironment) {
  EXPECT_EQ(parse_ui_kind("terminal"), UiKind::Terminal);
  EXPECT_EQ(parse_ui_kind("flags"), UiKind::Flags);
  EXPECT_EQ(parse_ui_kind("scripted"), UiKind::Scripted);
  EXPECT_EQ(parse_ui_kind("auto"), UiKind::Auto);
  EXPECT_EQ(parse_ui_kind("Terminal"), std::nullopt);
  setenv("LCZS_UI", "scripted", 1);
  EXPECT_EQ(ui_kind_from_env(UiKind::Flags), UiKind::Scripted);
  setenv("LCZS_UI", "nonsense", 1);
  EXPECT_EQ(ui_kind_from_env(UiKind::Flags), UiKind::Flags);
  unsetenv("LCZS_UI");
  EXPECT_EQ(ui_kind_from_env(), UiKind::Auto);

  auto scripted = make_ui(UiKind::Scripted, {});
  EXPECT_THROW(scripted->message_box("x", Buttons::Ok, kTitle), ScriptViolation);

  // Auto without a terminal: questions are answered 确定 and forms filled.
  std::istringstream in("2\n");
  std::ostringstream out, err;
  auto ui = make_ui(UiKind::Auto, {.in = &in, .out = &out, .err = &err, .stdin_is_terminal = false});
  EXPECT_EQ(ui->message_box("继续吗？", Buttons::OkCancel, kTitle), kOk);
  // Auto on a terminal without --yes: the question is asked.
  auto asked = make_ui(UiKind::Auto, {.in = &in, .out = &out, .err = &err, .stdin_is_terminal = true});
  EXPECT_EQ(asked->message_box("继续吗？", Buttons::OkCancel, kTitle), kCancel);
}

}  // namespace
}  // namespace lczs::ui
