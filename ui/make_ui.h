// One way to choose the dialogs, for the command, the tests and the Windows
// add-in's tests alike: a kind, taken from the caller or from the
// environment variable LCZS_UI (scripted | terminal | flags | auto).
#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <string_view>

#include "ui/flags_ui.h"
#include "ui/ui.h"

namespace lczs::ui {

enum class UiKind {
  Auto,      // the options fill what they name; the rest is asked on the
             // terminal when standard input is one, else answered 确定
  Terminal,  // every dialog asked on the terminal
  Flags,     // every dialog answered from the options, questions 确定
  Scripted,  // a strict ScriptedUi with nothing expected (any dialog fails)
};

std::optional<UiKind> parse_ui_kind(std::string_view text);
// LCZS_UI when set to a known kind, else `fallback`.
UiKind ui_kind_from_env(UiKind fallback = UiKind::Auto);

struct UiSetup {
  std::istream* in = nullptr;   // default std::cin
  std::ostream* out = nullptr;  // message boxes; default std::cout
  std::ostream* err = nullptr;  // forms, prompts, progress; default std::cerr
  bool stdin_is_terminal = false;
  bool stderr_is_terminal = false;
  bool answer_yes = false;  // --yes
  FlagRegistry registry;
  FlagValues values;
};

std::unique_ptr<Ui> make_ui(UiKind kind, UiSetup setup);

}  // namespace lczs::ui
