#include "ui/flags_ui.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/ui/sample_forms.h"
#include "ui/scripted_ui.h"

namespace lczs::ui {
namespace {

using testing::Record;

FlagRegistry registry() {
  FlagRegistry r;
  r.add({.form = "c_fbsz",
         .kind = FormKind::Settings,
         .fields = {{"--classes", {"c_fbs_txtbox"}, ""},
                    {"--minutes", {"c_fbsj_txtbox"}, "OptionButton2"},
                    {"--max-diff", {"c_gkcz_txtbox"}, "OptionButton2"}}});
  r.add({.form = "ksfxForm",
         .kind = FormKind::Settings,
         .fields = {{"--cohort", {"txtstdjie"}, ""}, {"--top", {"nq1", "nq2", "nq3"}, ""}}});
  r.add({.form = "gs", .kind = FormKind::DataFormat});
  r.add({.form = "fb_help", .kind = FormKind::Info});
  return r;
}

struct Flags {
  Flags(FlagValues values, bool yes = true, std::unique_ptr<Ui> fallback = nullptr)
      : ui(registry(), std::move(values), out, err, yes, std::move(fallback)) {}
  std::ostringstream out, err;
  FlagsUi ui;
};

TEST(FlagsUi, OptionsAreTypedRawChoosingTheOptionTheyNeedThenConfirmed) {
  struct Case {
    FlagValues values;
    std::vector<std::string> events;
  };
  const std::vector<Case> cases = {
      {{{"--classes", "6"}}, {"ok:6//"}},
      {{{"--classes", "6"}, {"--minutes", "0.5"}}, {"OptionButton2", "ok:6/0.5/"}},
      {{{"--classes", " 6x"}, {"--max-diff", "0.8"}}, {"OptionButton2", "ok: 6x//0.8"}},
      {{}, {"ok://"}},  // nothing given and no one to ask: confirmed as it stands
  };
  for (const auto& c : cases) {
    Record rec;
    auto form = testing::settings_form(rec);
    Flags f(c.values);
    f.ui.show_modal(*form);
    EXPECT_FALSE(form->loaded());
    EXPECT_EQ(rec.events, c.events);
    EXPECT_TRUE(f.out.str().empty());
  }
}

TEST(FlagsUi, AFormThatComesBackAfterBeingFilledIsCancelled) {
  Record rec;
  Flags f(FlagValues{{"--classes", "abc"}});
  auto first = testing::settings_form(rec);
  f.ui.show_modal(*first);
  auto again = testing::settings_form(rec);
  f.ui.show_modal(*again);
  auto third = testing::settings_form(rec);
  f.ui.show_modal(*third);
  EXPECT_EQ(rec.events, (std::vector<std::string>{"ok:abc//", "cancel", "cancel"}));
}

TEST(FlagsUi, AListOptionFillsOneBoxPerItem) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"50,100,200", "ok:2001/50/100/200/"},
      {"50", "ok:2001/50///"},
      {"50，100", "ok:2001/50/100//"},
      {"50, ,200", "ok:2001/50//200/"},
      {"1,2,3,4", "ok:2001/1/2/3/"},
  };
  for (const auto& [top, expected] : cases) {
    Record rec;
    auto form = testing::paged_form(rec);
    Flags f(FlagValues{{"--cohort", "2001"}, {"--top", top}});
    f.ui.show_modal(*form);
    EXPECT_EQ(rec.events, std::vector<std::string>{expected}) << top;
  }
  EXPECT_EQ(split_list("a,b，c"), (std::vector<std::string>{"a", "b", "c"}));
}

TEST(FlagsUi, DataFormatFormsGoOnAndInformationFormsAreClosedWithTheirButton) {
  Record rec;
  Flags f(FlagValues{});
  auto gs = testing::format_form(rec);
  f.ui.show_modal(*gs);
  auto help = testing::info_form(rec);
  f.ui.show_modal(*help);
  auto help2 = testing::info_form(rec);
  f.ui.show_modal(*help2);
  EXPECT_EQ(rec.events, (std::vector<std::string>{"go on", "closed", "closed"}));
  EXPECT_NE(f.err.str().find("说明文字"), std::string::npos);
}

TEST(FlagsUi, QuestionsAreAnswered确定AndPrinted) {
  Flags f(FlagValues{});
  EXPECT_EQ(f.ui.message_box("继续吗？", Buttons::OkCancel, kTitle), kOk);
  EXPECT_EQ(f.ui.message_box("请输入基本信息!", Buttons::Ok, ""), kOk);
  EXPECT_EQ(f.out.str(), "[栎川提示]\n继续吗？\n→ 确定\n[]\n请输入基本信息!\n→ 确定\n");
}

TEST(FlagsUi, WhatTheOptionsDoNotCoverGoesToTheFallback) {
  // Without --yes: questions, data-format forms, information forms and
  // settings forms without options are the fallback's; a form with options
  // is filled here.
  auto scripted = std::make_unique<ScriptedUi>();
  ScriptedUi& s = *scripted;
  s.expect_message("继续吗？", kCancel)
      .expect_form("gs", [](FormDriver& d) { d.click("gstz_bt"); })
      .expect_form("fb_help", [](FormDriver& d) { d.close_box(); })
      .expect_form("ksfxForm", [](FormDriver& d) { d.click("btnCancel"); });
  Flags f(FlagValues{{"--classes", "6"}}, /*yes=*/false, std::move(scripted));
  Record rec;
  EXPECT_EQ(f.ui.message_box("继续吗？", Buttons::OkCancel, kTitle), kCancel);
  EXPECT_EQ(f.ui.message_box("好", Buttons::Ok, kTitle), kOk);  // a notice: nothing to ask
  auto gs = testing::format_form(rec);
  f.ui.show_modal(*gs);
  auto help = testing::info_form(rec);
  f.ui.show_modal(*help);
  auto c = testing::settings_form(rec);
  f.ui.show_modal(*c);
  auto k = testing::paged_form(rec);
  f.ui.show_modal(*k);
  EXPECT_TRUE(s.finished()) << s.report();
  EXPECT_EQ(rec.events, (std::vector<std::string>{"adjust", "close", "ok:6//", "cancel"}));

  // With --yes only the settings forms without options are asked.
  auto scripted2 = std::make_unique<ScriptedUi>();
  ScriptedUi& s2 = *scripted2;
  s2.expect_form("ksfxForm", [](FormDriver& d) { d.click("btnCancel"); });
  Flags y(FlagValues{}, /*yes=*/true, std::move(scripted2));
  EXPECT_EQ(y.ui.message_box("继续吗？", Buttons::OkCancel, kTitle), kOk);
  Record rec2;
  auto gs2 = testing::format_form(rec2);
  y.ui.show_modal(*gs2);
  auto k2 = testing::paged_form(rec2);
  y.ui.show_modal(*k2);
  EXPECT_TRUE(s2.finished()) << s2.report();
  EXPECT_EQ(rec2.events, (std::vector<std::string>{"go on", "cancel"}));
}

}  // namespace
}  // namespace lczs::ui

namespace lczs::ui {
namespace {

TEST(FlagsUi, ProgressOverwritesOnATerminalAndIsSilentOtherwise) {
  for (bool tty : {true, false}) {
    std::ostringstream out, err;
    FlagsUi ui(FlagRegistry{}, FlagValues{}, out, err, true, nullptr, tty);
    ui.progress("已用 1 秒");
    ui.progress("已用 2 秒");
    ui.message_box("完", Buttons::Ok, kTitle);
    EXPECT_EQ(err.str(), tty ? "\r已用 1 秒\x1b[K\r已用 2 秒\x1b[K\n" : "");
    EXPECT_EQ(out.str(), "[栎川提示]\n完\n→ 确定\n");
  }
}

}  // namespace
}  // namespace lczs::ui
