// The commands of `lczs`: each is a menu button to click (or the menu to
// print). The jobs declare theirs with the options that fill their forms
// (jobs/command.h); the command adds its own two. This one table makes the
// parsing, the checks and the help.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "jobs/command.h"
#include "ui/flags_ui.h"

namespace lczs::cli {

using jobs::Command;

const std::vector<Command>& commands();
// By name or alias; nullptr when unknown.
const Command* find_command(std::string_view name);
// What a mistyped command may have meant: the one command it begins, else
// the name or alias closest to it ("" when nothing is close).
std::string closest_command(std::string_view typed);

// The options every command takes, besides its own.
struct GeneralOption {
  std::string names;       // "-o,--output": as the parser takes them
  std::string value_name;  // "路径"; "" for a switch
  std::string meaning;
};
const std::vector<GeneralOption>& general_options();

// Every form option and job option of every command.
std::vector<const ui::FlagField*> all_command_options();
// The command that declares `option`; nullptr when none does.
const Command* owner_of(std::string_view option);
// The option closest to a mistyped one ("" when nothing is close).
std::string closest_option(std::string_view typed);

// Which option fills which control of which form, for the dialogs.
ui::FlagRegistry form_flags();

// The texts, wrapped to `width` columns.
std::string short_usage();
std::string general_help(int width);
std::string command_help(const Command& command, int width);

}  // namespace lczs::cli
