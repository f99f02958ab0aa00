#include "shell/addMenulczs.h"

#include <string>

#include "shell/CmdBarEvents.h"

namespace lczs::shell {

namespace {

using host::CommandBarControl;
using host::ControlType;
using Slot = CmdBarEvents::Slot;

// The application's Id of a control of the add-in's own (what it reports
// when Controls.Add is given no Id).
constexpr int kCustomId = 1;

// One statement whose host error is skipped, as the menu installation does
// with every call it makes.
template <class Statement>
void skip_error(Statement statement) {
  try {
    statement();
  } catch (const std::exception&) {
    // A failing command-bar call leaves the menu without that piece.
  }
}

// An object variable that a failed statement left unset.
template <class T>
T& require(T* p) {
  if (!p) throw host::HostError("对象变量未设置。");
  return *p;
}

CmdBarEvents& events(AddinState& state) {
  if (!state.menu_events) state.menu_events = std::make_shared<CmdBarEvents>(state);
  return *state.menu_events;
}

struct ButtonBinding {
  std::string_view caption;
  Slot slot;
};
constexpr ButtonBinding kButtons[] = {
    {"开始分班", Slot::ksfb},
    {"帮助", Slot::fbhelp},
    {"普通考试成绩分析(年级)", Slot::ptfx},
    {"会考成绩分析", Slot::hkfx},
    {"关于栎川助手...", Slot::aylczs},
};

// Binds every button of an installed menu (two levels deep) whose caption
// is one of ours, so that a menu left by an earlier load works again.
void rebind(AddinState& state, CommandBarControl& menu, int depth) {
  int count = 0;
  skip_error([&] { count = menu.controls().count(); });
  for (int i = 1; i <= count; ++i) {
    skip_error([&] {
      CommandBarControl& c = menu.controls().item(i);
      if (c.type() == ControlType::Popup) {
        if (depth < 2) rebind(state, c, depth + 1);
        return;
      }
      std::string caption = c.caption();
      for (const auto& b : kButtons)
        if (caption == b.caption) events(state).set(b.slot, c);
    });
  }
}

}  // namespace

void install_menu(AddinState& state) {
  CommandBarControl* found = nullptr;
  skip_error([&] { state.menu_bar = require(state.host_app).command_bar(std::string(kMenuBarName)); });
  skip_error([&] { found = require(state.menu_bar).find_control_by_tag(std::string(kMenuTag)); });
  if (found) {
    rebind(state, *found, 1);
    return;
  }
  build_menu(state);
}

void build_menu(AddinState& state) {
  CommandBarControl* top = nullptr;
  CommandBarControl* fb = nullptr;
  CommandBarControl* cj = nullptr;
  CommandBarControl* btn = nullptr;
  auto bind = [&](Slot slot) {
    skip_error([&] {
      CmdBarEvents& e = events(state);
      e.set(slot, require(btn));
    });
  };

  // 1. the top popup, temporary, at the end of the bar
  skip_error([&] { top = &require(state.menu_bar).controls().add(ControlType::Popup, kCustomId, 0, true); });
  skip_error([&] { require(top).set_caption(std::string(kMenuCaption)); });
  skip_error([&] { require(top).set_tag(std::string(kMenuTag)); });

  // 2. 分班
  skip_error([&] { fb = &require(top).controls().add(ControlType::Popup, kCustomId, 0, false); });
  skip_error([&] { require(fb).set_caption("分班"); });
  skip_error([&] { require(fb).set_tooltip_text("分班"); });
  skip_error([&] { require(fb).set_enabled(true); });

  // 3. 帮助 at the end of 分班
  btn = nullptr;
  skip_error([&] { btn = &require(fb).controls().add(ControlType::Button, kCustomId, 0, false); });
  skip_error([&] { require(btn).set_caption("帮助"); });
  skip_error([&] { require(btn).set_tooltip_text("帮助"); });
  skip_error([&] { require(btn).set_face_id(kHelpFaceId); });
  bind(Slot::fbhelp);

  // 4. 开始分班 before it
  btn = nullptr;
  skip_error([&] { btn = &require(fb).controls().add(ControlType::Button, kCustomId, 1, false); });
  skip_error([&] { require(btn).set_caption("开始分班"); });
  skip_error([&] { require(btn).set_tooltip_text("开始分班"); });
  bind(Slot::ksfb);

  // 5. 成绩分析
  skip_error([&] { cj = &require(top).controls().add(ControlType::Popup, kCustomId, 0, false); });
  skip_error([&] { require(cj).set_caption("成绩分析"); });
  skip_error([&] { require(cj).set_tooltip_text("成绩分析"); });
  skip_error([&] { require(cj).set_enabled(true); });

  // 6. 会考成绩分析 at position 1
  btn = nullptr;
  skip_error([&] { btn = &require(cj).controls().add(ControlType::Button, kCustomId, 1, false); });
  skip_error([&] { require(btn).set_caption("会考成绩分析"); });
  skip_error([&] { require(btn).set_tooltip_text("会考成绩分析"); });
  bind(Slot::hkfx);

  // 7. 普通考试成绩分析(年级) at position 1, above it
  btn = nullptr;
  skip_error([&] { btn = &require(cj).controls().add(ControlType::Button, kCustomId, 1, false); });
  skip_error([&] { require(btn).set_caption("普通考试成绩分析(年级)"); });
  skip_error([&] { require(btn).set_tooltip_text("普通考试成绩分析(年级)"); });
  bind(Slot::ptfx);

  // 8. 关于栎川助手... after a separator
  btn = nullptr;
  skip_error([&] { btn = &require(top).controls().add(ControlType::Button, kCustomId, 0, false); });
  skip_error([&] { require(btn).set_begin_group(true); });
  skip_error([&] { require(btn).set_caption("关于栎川助手..."); });
  skip_error([&] { require(btn).set_tooltip_text("关于栎川助手..."); });
  skip_error([&] { require(btn).set_face_id(kAboutFaceId); });
  bind(Slot::aylczs);
}

}  // namespace lczs::shell
