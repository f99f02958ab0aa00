#include "ui/make_ui.h"

#include <cstdlib>
#include <iostream>

#include "ui/scripted_ui.h"
#include "ui/terminal_ui.h"

namespace lczs::ui {

std::optional<UiKind> parse_ui_kind(std::string_view text) {
  if (text == "auto") return UiKind::Auto;
  if (text == "terminal") return UiKind::Terminal;
  if (text == "flags") return UiKind::Flags;
  if (text == "scripted") return UiKind::Scripted;
  return std::nullopt;
}

UiKind ui_kind_from_env(UiKind fallback) {
  const char* v = std::getenv("LCZS_UI");
  if (!v) return fallback;
  return parse_ui_kind(v).value_or(fallback);
}

std::unique_ptr<Ui> make_ui(UiKind kind, UiSetup s) {
  std::istream& in = s.in ? *s.in : std::cin;
  std::ostream& out = s.out ? *s.out : std::cout;
  std::ostream& err = s.err ? *s.err : std::cerr;
  switch (kind) {
    case UiKind::Scripted:
      return std::make_unique<ScriptedUi>();
    case UiKind::Terminal:
      return std::make_unique<TerminalUi>(in, out, err, s.stderr_is_terminal);
    case UiKind::Flags:
      return std::make_unique<FlagsUi>(std::move(s.registry), std::move(s.values), out, err, true,
                                       nullptr, s.stderr_is_terminal);
    case UiKind::Auto:
      break;
  }
  if (!s.stdin_is_terminal)
    return std::make_unique<FlagsUi>(std::move(s.registry), std::move(s.values), out, err, true,
                                     nullptr, s.stderr_is_terminal);
  return std::make_unique<FlagsUi>(std::move(s.registry), std::move(s.values), out, err,
                                   s.answer_yes,
                                   std::make_unique<TerminalUi>(in, out, err, s.stderr_is_terminal));
}

}  // namespace lczs::ui
