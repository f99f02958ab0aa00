// Every form the jobs show, taken as they show it, laid out at 96 and 144
// DPI and held to the rules a drawn form keeps.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "host/clock.h"
#include "model/memory_host.h"
#include "shell/aboutgylc.h"
#include "jobs/jobs.h"
#include "ui/form_layout.h"
#include "ui/scripted_ui.h"

namespace lczs::ui {
namespace {

bool is_leaf(const Control& c) { return c.kind != ControlKind::MultiPage && c.kind != ControlKind::Page; }

// Both shown at once: on the form, or one on the form, or the same page.
bool seen_together(const Placement& a, const Placement& b) {
  return a.page.empty() || b.page.empty() || a.page == b.page;
}

// Controls on different pages are never seen together; a page lies on its
// multi-page container and holds its controls.
bool may_overlap(const Placement& a, const Placement& b) {
  if (!seen_together(a, b)) return true;
  auto holds = [](const Placement& outer, const Placement& inner) {
    return !is_leaf(*outer.control) && !inner.page.empty();
  };
  bool page_on_container = a.control->kind == ControlKind::Page || b.control->kind == ControlKind::Page;
  return page_on_container || holds(a, b) || holds(b, a);
}

void check_rules(const Form& form, int dpi, const std::string& focus) {
  SCOPED_TRACE(form.name() + " at " + std::to_string(dpi) + " DPI");
  FormLayout l = layout_form(form, dpi);
  EXPECT_LE(l.width + kLayoutFrameWidth, kLayoutScreenWidth);
  EXPECT_LE(l.height + kLayoutFrameHeight, kLayoutScreenHeight);
  EXPECT_EQ(l.first_focus, focus);
  const Rect client{0, 0, l.width, l.height};
  int pad = 2 * ((kLayoutPad * dpi + 48) / 96);
  for (const Placement& p : l.placements) {
    const Control& c = *p.control;
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(client.contains(p.rect));
    if (!p.page.empty()) {
      EXPECT_TRUE(l.find(p.page)->rect.contains(p.rect));
    }
    for (const Placement& q : l.placements) {
      if (&q < &p && !may_overlap(p, q)) {
        EXPECT_FALSE(p.rect.overlaps(q.rect)) << "overlaps " << q.control->name;
      }
    }

    int line = layout_line_height(c.font, dpi);
    switch (c.kind) {
      case ControlKind::Label: {
        std::string joined;
        for (const auto& text : p.lines) {
          EXPECT_LE(layout_text_width(text, c.font, dpi), p.rect.w) << text;
          joined += text;
        }
        EXPECT_EQ(joined, c.caption);
        EXPECT_GE(p.rect.h, static_cast<int>(p.lines.size()) * line);
        break;
      }
      case ControlKind::CommandButton:
        EXPECT_LE(layout_text_width(c.caption, c.font, dpi) + pad, p.rect.w);
        EXPECT_LE(line + pad, p.rect.h);
        break;
      case ControlKind::TextBox: {
        EXPECT_LE(layout_text_width(c.sample, c.font, dpi) + pad, p.rect.w);
        // Its label stands on its line, to its left.
        bool labelled = std::any_of(l.placements.begin(), l.placements.end(), [&](const Placement& q) {
          return q.control->kind == ControlKind::Label && q.page == p.page && q.rect.right() <= p.rect.x &&
                 q.rect.y < p.rect.bottom() && p.rect.y < q.rect.bottom();
        });
        EXPECT_TRUE(labelled);
        break;
      }
      case ControlKind::Picture: {
        std::size_t cols = 0;
        for (const auto& r : c.picture.cells) cols = std::max(cols, r.size());
        ASSERT_EQ(p.columns.size(), cols + 1);  // row numbers, then every sheet column
        int drawn = 1;
        for (int w : p.columns) drawn += w;
        EXPECT_EQ(drawn, p.rect.w);
        for (const auto& r : c.picture.cells)
          for (std::size_t j = 0; j < r.size(); ++j)
            EXPECT_LE(layout_text_width(r[j], c.font, dpi) + pad, p.columns[j + 1]) << r[j];
        EXPECT_GE(p.rect.h, static_cast<int>(c.picture.cells.size() + 1) * p.row_height);
        break;
      }
      default:
        break;
    }
  }
}

memory::WorkbookData book(std::vector<std::vector<memory::Lit>> rows) {
  memory::WorkbookData b;
  memory::add_sheet(b, "成绩", std::move(rows));
  b.path = "/data/成绩.xlsx";
  return b;
}

TEST(FormLayout, EveryFormOfTheJobsKeepsTheRules) {
  // Where the focus starts: the first text box, else the button Enter
  // should press.
  const std::map<std::string, std::string> focus = {
      {"gs", "zx_bt"},           {"c_fbsz", "c_fbs_txtbox"}, {"fb_help", "CommandButton1"},
      {"hkgssz", "hkfx_zx_bt"},  {"ksgssz", "ksfx_zx_bt"},   {"ksfxForm", "txtstdjie"},
      {"gylc", "CommandButton1"},
  };
  std::set<std::string> checked;
  auto check = [&](const char* name, const char* button) {
    return [&, name, button](FormDriver& f) {
      for (int dpi : {96, 144}) check_rules(f.form(), dpi, focus.at(name));
      checked.insert(name);
      f.click(button);
    };
  };

  memory::MemoryApplication app;
  app.open(book({{"统一学号", "班级", "姓名", "性别", "语文", "总分"}, {1, nullptr, "甲", "男", 90, 90},
                 {2, nullptr, "乙", "女", 80, 80}}));
  ScriptedUi ui;
  host::FakeClock clock(1.0);
  jobs::JobEnv env{app, ui, clock};
  auto jobs = jobs::make_jobs();
  ui.expect_message_containing("继续吗", kOk)
      .expect_form("gs", check("gs", "zx_bt"))
      .expect_form("c_fbsz", check("c_fbsz", "CommandButton2"))
      .expect_message_containing("退出");
  jobs->fb_run(env);
  ui.expect_form("fb_help", check("fb_help", "CommandButton1"));
  jobs->fb_show_help(env);
  ui.expect_message_containing("继续吗", kOk)
      .expect_form("hkgssz", check("hkgssz", "hkfx_tz_bt"))
      .expect_message_containing("退出");
  jobs->hkfx_run(env);
  ui.expect_message_containing("继续吗", kOk)
      .expect_form("ksgssz", check("ksgssz", "ksfx_zx_bt"))
      .expect_form("ksfxForm", check("ksfxForm", "btnCancel"))
      .expect_message_containing("退出");
  jobs->ksfx_run(env);
  EXPECT_TRUE(ui.finished()) << ui.report();

  auto about = shell::make_gylc();
  for (int dpi : {96, 144}) check_rules(*about, dpi, focus.at("gylc"));
  checked.insert("gylc");
  EXPECT_EQ(checked.size(), focus.size());
}

TEST(FormLayout, TextWidthModelAndLineBreaks) {
  const FontSpec font;  // 宋体 9 pt: a 12-pixel em at 96 DPI
  struct Case {
    const char* text;
    int dpi;
    int width;  // of the one line
  };
  const Case widths[] = {{"分班数：", 96, 48}, {"2001", 96, 24}, {"G1,G2", 96, 30}, {"分班数：", 144, 72}, {"", 96, 0}};
  for (const auto& c : widths) EXPECT_EQ(layout_text_width(c.text, font, c.dpi), c.width) << c.text;

  struct Wrap {
    const char* text;
    int width;
    std::vector<std::string> lines;
  };
  const Wrap wraps[] = {
      {"一二三四五", 36, {"一二三", "四五"}},
      {"一二三", 36, {"一二三"}},
      {"ab一二", 30, {"ab一", "二"}},
      {"一\n二", 100, {"一", "二"}},
      {"一二", 5, {"一", "二"}},  // a character wider than the line still gets one
      {"", 10, {""}},
  };
  for (const auto& w : wraps) EXPECT_EQ(layout_wrap(w.text, font, 96, w.width), w.lines) << w.text;
}

TEST(FormLayout, RowsShareALineAndAlignTheirBoxes) {
  Form f("f", "表");
  f.add({.name = "a", .kind = ControlKind::Label, .caption = "年级："});
  f.add({.name = "ta", .kind = ControlKind::TextBox});
  f.add({.name = "b", .kind = ControlKind::Label, .caption = "请输入学生届："});
  f.add({.name = "tb", .kind = ControlKind::TextBox});
  f.add({.name = "hint", .kind = ControlKind::Label, .caption = "(格式如：2001)"});
  f.add({.name = "ok", .kind = ControlKind::CommandButton, .caption = "确定"});
  f.rows = {{"b", "tb", "hint"}, {"a", "ta"}};
  FormLayout l = layout_form(f);
  const Rect ta = l.find("ta")->rect, tb = l.find("tb")->rect;
  EXPECT_EQ(ta.x, tb.x);                                  // boxes line up
  EXPECT_LT(tb.y, ta.y);                                  // rows in the order given
  EXPECT_EQ(l.find("hint")->rect.x, tb.right() + 6);      // beside its box
  EXPECT_EQ(l.find("ok")->rect.right(), l.width - 12);    // foot, right
  EXPECT_GT(l.find("ok")->rect.y, ta.bottom());

  f.rows = {{"b", "ok"}};  // a row cannot take a control twice
  f.rows.push_back({"ok"});
  EXPECT_THROW(layout_form(f), std::logic_error);
}

}  // namespace
}  // namespace lczs::ui
