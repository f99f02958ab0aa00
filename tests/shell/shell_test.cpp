#include <gtest/gtest.h>

#include "model/commandbars.h"
#include "shell/CmdBarEvents.h"
#include "shell/addMenulczs.h"
#include "shell/addin.h"
#include "tests/shell/fake_app.h"
#include "ui/scripted_ui.h"

namespace lczs::shell {
namespace {

using host::ControlType;
using jobs::JobEnv;
using jobs::JobOutcome;
using jobs::Jobs;
using jobs::JobsFactory;
using memory::MemoryCommandBar;
using memory::MemoryCommandBarControl;
using memory::MemoryCommandBarControls;

// What the jobs were asked to do, shared by every Jobs the factory makes.
struct JobLog {
  std::vector<std::string> runs;  // "<jobs serial>:<driver>"
  int made = 0;
  int alive = 0;
  JobOutcome outcome = JobOutcome::Completed;
  bool fail = false;
  host::Application* expected_app = nullptr;
  std::string seed_seen;  // the job option --seed as the last run saw it
};

class FakeJobs : public Jobs {
 public:
  explicit FakeJobs(JobLog& log) : log_(log), serial_(++log.made) { ++log_.alive; }
  ~FakeJobs() override { --log_.alive; }
  JobOutcome fb_run(JobEnv& env) override { return run("fb_run", env); }
  JobOutcome fb_show_help(JobEnv& env) override { return run("fb_show_help", env); }
  JobOutcome hkfx_run(JobEnv& env) override { return run("hkfx_run", env); }
  JobOutcome ksfx_run(JobEnv& env) override { return run("ksfx_run", env); }

 private:
  JobOutcome run(const char* what, JobEnv& env) {
    EXPECT_EQ(&env.host_app, log_.expected_app);
    log_.runs.push_back(std::to_string(serial_) + ":" + what);
    log_.seed_seen = env.option("--seed").value_or("");
    if (log_.fail) throw host::HostError("失败");
    return log_.outcome;
  }
  JobLog& log_;
  int serial_;
};

JobsFactory fake_jobs(JobLog& log) {
  return [&log] { return std::make_unique<FakeJobs>(log); };
}

struct Fixture {
  Fixture() {
    auto owned = std::make_unique<MemoryCommandBar>();
    bar = owned.get();
    // The application's own menus come first.
    bar->controls().add(ControlType::Popup, 30002, 0, false).set_caption("文件(&F)");
    bar->controls().add(ControlType::Popup, 30003, 0, false).set_caption("编辑(&E)");
    app = std::make_unique<testing::BarOnlyApplication>(std::move(owned));
    log.expected_app = app.get();
  }
  MemoryCommandBarControl& top() { return bar->mem_controls().mem_item(bar->mem_controls().count()); }
  MemoryCommandBarControl& button(const std::string& caption) {
    auto* b = bar->find_by_caption(caption);
    if (!b) throw std::runtime_error("no button " + caption);
    return *b;
  }
  int menus() const {
    int n = 0;
    for (int i = 1; i <= bar->mem_controls().count(); ++i)
      n += bar->mem_controls().mem_item(i).caption() == "栎川助手(&Z)";
    return n;
  }

  MemoryCommandBar* bar;
  std::unique_ptr<testing::BarOnlyApplication> app;
  JobLog log;
  ui::ScriptedUi ui;
  host::FakeClock clock;
};

struct Expected {
  int level;
  std::string caption;
  ControlType type;
  std::string tooltip;
  int face_id;
  bool begin_group;
};

TEST(Menu, AfterConnectionTheMenuIsAsDesignedInOrder) {
  Fixture f;
  addin a(f.ui, f.clock, fake_jobs(f.log));
  a.IDTExtensibility2_OnConnection(*f.app, ext_cm_AfterStartup);

  ASSERT_EQ(f.bar->mem_controls().count(), 3);
  MemoryCommandBarControl& top = f.top();
  EXPECT_EQ(top.caption(), "栎川助手(&Z)");
  EXPECT_EQ(top.type(), ControlType::Popup);
  EXPECT_TRUE(top.temporary());
  EXPECT_EQ(top.tag(), "栎川助手(&Z)");
  EXPECT_EQ(top.tooltip_text(), "");

  const std::vector<Expected> expected = {
      {2, "分班", ControlType::Popup, "分班", 0, false},
      {3, "开始分班", ControlType::Button, "开始分班", 0, false},
      {3, "帮助", ControlType::Button, "帮助", 983, false},
      {2, "成绩分析", ControlType::Popup, "成绩分析", 0, false},
      {3, "普通考试成绩分析(年级)", ControlType::Button, "普通考试成绩分析(年级)", 0, false},
      {3, "会考成绩分析", ControlType::Button, "会考成绩分析", 0, false},
      {2, "关于栎川助手...", ControlType::Button, "关于栎川助手...", 49, true},
  };
  std::vector<std::pair<int, MemoryCommandBarControl*>> seen;
  for (int i = 1; i <= top.mem_controls().count(); ++i) {
    auto& c = top.mem_controls().mem_item(i);
    seen.push_back({2, &c});
    if (c.type() == ControlType::Popup)
      for (int j = 1; j <= c.mem_controls().count(); ++j) seen.push_back({3, &c.mem_controls().mem_item(j)});
  }
  ASSERT_EQ(seen.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const auto& e = expected[i];
    auto& c = *seen[i].second;
    SCOPED_TRACE(e.caption);
    EXPECT_EQ(seen[i].first, e.level);
    EXPECT_EQ(c.caption(), e.caption);
    EXPECT_EQ(c.type(), e.type);
    EXPECT_EQ(c.tooltip_text(), e.tooltip);
    EXPECT_EQ(c.begin_group(), e.begin_group);
    EXPECT_TRUE(c.enabled());
    EXPECT_EQ(c.tag(), "");
    EXPECT_EQ(c.id(), 1);
    if (c.type() == ControlType::Button) {
      EXPECT_EQ(c.face_id(), e.face_id);
      EXPECT_TRUE(c.has_click_handler());
    }
  }
  EXPECT_TRUE(f.ui.finished()) << f.ui.report();
}

TEST(Menu, EachButtonStartsItsOwnDriverAndLeavesTheCancelFlag) {
  Fixture f;
  f.ui.expect_form("gylc", [](ui::FormDriver& d) { d.click("CommandButton1"); })
      .expect_form("gylc", [](ui::FormDriver& d) { d.click("CommandButton1"); });
  addin a(f.ui, f.clock, fake_jobs(f.log));
  a.IDTExtensibility2_OnConnection(*f.app, ext_cm_Startup);

  const std::vector<std::pair<std::string, std::string>> cases = {
      {"开始分班", "1:fb_run"},
      {"帮助", "1:fb_show_help"},
      {"普通考试成绩分析(年级)", "1:ksfx_run"},
      {"会考成绩分析", "1:hkfx_run"},
      {"关于栎川助手...", ""},
  };
  for (bool flag : {false, true}) {
    for (const auto& [caption, run] : cases) {
      SCOPED_TRACE(caption);
      f.log.runs.clear();
      EXPECT_EQ(f.button(caption).click(flag), flag);
      EXPECT_EQ(f.log.runs, run.empty() ? std::vector<std::string>{} : std::vector<std::string>{run});
      EXPECT_EQ(a.last_outcome(), JobOutcome::Completed);
    }
  }
  EXPECT_TRUE(f.ui.finished()) << f.ui.report();
  EXPECT_EQ(f.log.made, 1);  // one set of job state for the loaded add-in
}

TEST(Menu, TheOutcomeOfTheRunIsKeptAndAnEscapingErrorReachesTheHost) {
  Fixture f;
  addin a(f.ui, f.clock, fake_jobs(f.log));
  a.IDTExtensibility2_OnConnection(*f.app, ext_cm_Startup);
  f.log.outcome = JobOutcome::SaveFailed;
  a.state().job_options["--seed"] = "7";  // reaches the job with its run
  f.button("开始分班").click();
  EXPECT_EQ(a.last_outcome(), JobOutcome::SaveFailed);
  EXPECT_EQ(f.log.seed_seen, "7");
  f.log.fail = true;
  EXPECT_THROW(f.button("会考成绩分析").click(), host::HostError);
  EXPECT_EQ(a.last_outcome(), std::nullopt);
}

TEST(Menu, AJobLeftOutOfTheBuildSaysSo) {
  Fixture f;
  struct NoJobs : Jobs {
    JobOutcome fb_run(JobEnv&) override { return JobOutcome::Unavailable; }
    JobOutcome fb_show_help(JobEnv&) override { return JobOutcome::Unavailable; }
    JobOutcome hkfx_run(JobEnv&) override { return JobOutcome::Unavailable; }
    JobOutcome ksfx_run(JobEnv&) override { return JobOutcome::Unavailable; }
  };
  addin a(f.ui, f.clock, [] { return std::make_unique<NoJobs>(); });
  a.IDTExtensibility2_OnConnection(*f.app, ext_cm_Startup);
  f.ui.expect_message("该功能尚未提供。");
  f.button("普通考试成绩分析(年级)").click();
  EXPECT_EQ(a.last_outcome(), JobOutcome::Unavailable);
  EXPECT_TRUE(f.ui.finished()) << f.ui.report();
  EXPECT_EQ(f.ui.shown()[0].title, "栎川提示");
}

TEST(Menu, ASecondConnectionFindsTheMenuAndRebindsItsButtons) {
  Fixture f;
  {
    addin first(f.ui, f.clock, fake_jobs(f.log));
    first.IDTExtensibility2_OnConnection(*f.app, ext_cm_Startup);
    first.IDTExtensibility2_OnConnection(*f.app, ext_cm_AfterStartup);  // same add-in again
    EXPECT_EQ(f.menus(), 1);
    first.IDTExtensibility2_OnDisconnection(ext_dm_UserClosed);
    f.button("开始分班").click();  // still working after the user closed it
    EXPECT_EQ(f.log.runs, std::vector<std::string>{"1:fb_run"});
  }
  // The add-in was unloaded and is loaded again while the host runs.
  f.log.runs.clear();
  addin second(f.ui, f.clock, fake_jobs(f.log));
  second.IDTExtensibility2_OnConnection(*f.app, ext_cm_AfterStartup);
  EXPECT_EQ(f.menus(), 1);
  EXPECT_EQ(f.bar->mem_controls().count(), 3);
  for (const char* caption : {"开始分班", "帮助", "普通考试成绩分析(年级)", "会考成绩分析"})
    f.button(caption).click();
  EXPECT_EQ(f.log.runs, (std::vector<std::string>{"2:fb_run", "2:fb_show_help", "2:ksfx_run",
                                                  "2:hkfx_run"}));
  f.ui.expect_form("gylc", [](ui::FormDriver& d) { d.click("CommandButton1"); });
  f.button("关于栎川助手...").click();
  EXPECT_TRUE(f.ui.finished()) << f.ui.report();
  EXPECT_EQ(second.state().menu_events->get(CmdBarEvents::Slot::aylczs), &f.button("关于栎川助手..."));
}

TEST(Menu, HostShutdownReleasesEverythingAndAnyOtherDisconnectionNothing) {
  Fixture f;
  addin a(f.ui, f.clock, fake_jobs(f.log));
  a.IDTExtensibility2_OnConnection(*f.app, ext_cm_Startup);
  a.IDTExtensibility2_OnAddInsUpdate();
  a.IDTExtensibility2_OnStartupComplete();
  a.IDTExtensibility2_OnDisconnection(ext_dm_UserClosed);
  const AddinState& s = a.state();
  EXPECT_EQ(s.host_app, f.app.get());
  EXPECT_NE(s.menu_bar, nullptr);
  EXPECT_NE(s.menu_events, nullptr);
  EXPECT_EQ(f.log.alive, 1);
  EXPECT_EQ(f.menus(), 1);

  a.IDTExtensibility2_OnBeginShutdown();
  EXPECT_EQ(s.host_app, f.app.get());
  a.IDTExtensibility2_OnDisconnection(ext_dm_HostShutdown);
  EXPECT_EQ(s.host_app, nullptr);
  EXPECT_EQ(s.menu_bar, nullptr);
  EXPECT_EQ(s.menu_events, nullptr);
  EXPECT_EQ(s.gylc, nullptr);
  EXPECT_EQ(f.log.alive, 0);
  for (const char* caption : {"开始分班", "帮助", "普通考试成绩分析(年级)", "会考成绩分析", "关于栎川助手..."})
    EXPECT_FALSE(f.button(caption).has_click_handler()) << caption;
  // The host drops its temporary menu as it closes.
  f.bar->drop_temporary();
  EXPECT_EQ(f.bar->mem_controls().count(), 2);
  EXPECT_TRUE(f.ui.finished()) << f.ui.report();
}

// A bar on which every call fails.
class BrokenBar : public host::CommandBar, public host::CommandBarControls {
 public:
  std::string name() const override { return "Worksheet Menu Bar"; }
  host::CommandBarControls& controls() override { return *this; }
  host::CommandBarControl* find_control_by_tag(const std::string&) override {
    throw host::HostError("失败");
  }
  int count() const override { throw host::HostError("失败"); }
  host::CommandBarControl& item(int) override { throw host::HostError("失败"); }
  host::CommandBarControl& add(ControlType, int, int, bool) override { throw host::HostError("失败"); }
};

TEST(Menu, AHostWithoutTheBarOrWithAFailingBarGetsNoMenuAndNoMessage) {
  for (bool broken : {false, true}) {
    SCOPED_TRACE(broken);
    ui::ScriptedUi ui;  // expects nothing: any dialog fails the test
    host::FakeClock clock;
    JobLog log;
    testing::BarOnlyApplication app(broken ? std::unique_ptr<host::CommandBar>(new BrokenBar)
                                           : nullptr);
    addin a(ui, clock, fake_jobs(log));
    EXPECT_NO_THROW(a.IDTExtensibility2_OnConnection(app, ext_cm_Startup));
    EXPECT_EQ(a.state().host_app, &app);
    EXPECT_TRUE(ui.finished()) << ui.report();
    EXPECT_NO_THROW(a.IDTExtensibility2_OnDisconnection(ext_dm_HostShutdown));
  }
}

TEST(About, ShownTwiceEachTimeInItsDesignedState) {
  Fixture f;
  std::vector<std::string> seen;
  auto look_and_close = [&](ui::FormDriver& d) {
    ui::Form& form = d.form();
    std::string s = form.caption();
    for (const auto& c : form.controls()) s += "|" + c->name + "=" + c->caption;
    seen.push_back(s);
    form.control("Label2").caption = "改过";  // whatever happens to this showing
    if (seen.size() == 1) {
      d.click("CommandButton1");
    } else {
      d.close_box();
    }
  };
  f.ui.expect_form("gylc", look_and_close).expect_form("gylc", look_and_close);
  addin a(f.ui, f.clock, fake_jobs(f.log));
  a.IDTExtensibility2_OnConnection(*f.app, ext_cm_Startup);
  f.button("关于栎川助手...").click();
  EXPECT_EQ(a.state().gylc, nullptr);
  f.button("关于栎川助手...").click();
  ASSERT_TRUE(f.ui.finished()) << f.ui.report();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], seen[1]);
  EXPECT_EQ(seen[0].rfind("关于栎川助手v2.0|", 0), 0u);
  EXPECT_NE(seen[0].find("CommandButton1=确定"), std::string::npos);
  EXPECT_EQ(f.ui.shown()[0].title, "关于栎川助手v2.0");
}

}  // namespace
}  // namespace lczs::shell
