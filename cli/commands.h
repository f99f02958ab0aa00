// The commands of `lczs`: each is a menu button to click (or the menu to
// print), with what it needs and which forms it shows. One table makes the
// parsing, the checks and the help text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ui/flags_ui.h"

namespace lczs::cli {

struct CommandSpec {
  std::string_view name;
  std::vector<std::string_view> aliases;
  std::string_view button;  // caption of the menu button; "" for menu
  bool book_required = false;
  bool saves = false;       // the job saves the workbook
  std::vector<std::string_view> forms;  // forms whose options it accepts
  std::string_view help;
};

const std::vector<CommandSpec>& commands();
// By name or alias; nullptr when unknown.
const CommandSpec* find_command(std::string_view name);
// The name or alias closest to a mistyped one ("" when nothing is close).
std::string closest_command(std::string_view typed);

// Which option fills which control of which form.
const ui::FlagRegistry& form_flags();

// The commands section of the help text.
std::string commands_help();

}  // namespace lczs::cli
