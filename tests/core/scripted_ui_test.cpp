#include "ui/scripted_ui.h"

#include <gtest/gtest.h>

namespace lczs::ui {
namespace {

std::unique_ptr<Form> two_option_form(int* clicks) {
  auto f = std::make_unique<Form>("f", "测试");
  f->add({.name = "OptionButton1", .kind = ControlKind::OptionButton, .value = true, .group = "g"});
  f->add({.name = "OptionButton2", .kind = ControlKind::OptionButton, .group = "g"});
  f->add({.name = "box", .kind = ControlKind::TextBox, .enabled = false});
  f->add({.name = "ok", .kind = ControlKind::CommandButton, .caption = "确定"});
  Form* raw = f.get();
  f->on("OptionButton2", "Click", [raw, clicks] {
    ++*clicks;
    raw->control("box").enabled = true;
  });
  f->on("ok", "Click", [raw] { raw->unload(); });
  return f;
}

TEST(Form, ChoosingAnOptionSelectsItDeselectsTheGroupAndRaisesClick) {
  int clicks = 0;
  auto f = two_option_form(&clicks);
  EXPECT_THROW(f->set_text("box", "3"), std::logic_error);  // disabled
  f->choose("OptionButton2");
  EXPECT_TRUE(f->control("OptionButton2").value);
  EXPECT_FALSE(f->control("OptionButton1").value);
  EXPECT_EQ(clicks, 1);
  f->choose("OptionButton2");  // already selected: no second Click
  EXPECT_EQ(clicks, 1);
  f->set_text("box", "3");
  EXPECT_EQ(f->control("box").text, "3");
}

TEST(ScriptedUi, AnswersInOrderAndRecords) {
  ScriptedUi ui;
  int clicks = 0;
  ui.expect_message("继续吗？", kCancel).expect_form("f", [](FormDriver& d) { d.click("ok"); });
  EXPECT_EQ(ui.message_box("继续吗？", Buttons::OkCancel, kTitle), kCancel);
  auto f = two_option_form(&clicks);
  ui.show_modal(*f);
  EXPECT_TRUE(ui.finished()) << ui.report();
  EXPECT_EQ(ui.messages(), std::vector<std::string>{"继续吗？"});
  EXPECT_EQ(ui.forms(), std::vector<std::string>{"f"});
  EXPECT_EQ(ui.shown()[0].title, "栎川提示");
}

TEST(ScriptedUi, AnUnexpectedDialogIsAViolation) {
  ScriptedUi ui;
  EXPECT_THROW(ui.message_box("意外", Buttons::Ok, kTitle), ScriptViolation);
  EXPECT_FALSE(ui.finished());
  ScriptedUi ui2;
  ui2.expect_form("other", {});
  EXPECT_THROW(ui2.message_box("x", Buttons::Ok, kTitle), ScriptViolation);
  EXPECT_EQ(ui2.violations().size(), 1u);
}

TEST(ScriptedUi, AFormLeftOpenOrAnUnreachableControlIsAViolation) {
  ScriptedUi ui;
  int clicks = 0;
  auto f = two_option_form(&clicks);
  ui.expect_form("f", [](FormDriver&) {});
  EXPECT_THROW(ui.show_modal(*f), ScriptViolation);
  auto g = two_option_form(&clicks);
  ui.expect_form("f", [](FormDriver& d) { d.set_text("box", "1"); });
  EXPECT_THROW(ui.show_modal(*g), ScriptViolation);
}

TEST(ScriptedUi, OkOnlyBoxesAlwaysAnswerOk) {
  ScriptedUi ui;
  ui.expect_message_containing("分班结束", kCancel);
  EXPECT_EQ(ui.message_box("程序共执行了42秒，分班结束!", Buttons::Ok, kTitle), kOk);
  EXPECT_TRUE(ui.finished());
}

}  // namespace
}  // namespace lczs::ui
