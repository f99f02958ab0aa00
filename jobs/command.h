// A command of `lczs` as the job that answers it declares it: the menu
// button it clicks, and the options that fill the controls of the job's
// forms or that the job reads itself. The command builds its table, its
// parser and its help from these, so a job's control names and the words
// that explain them stay with the job.
#pragma once

#include <string>
#include <vector>

#include "ui/flags_ui.h"

namespace lczs::jobs {

struct Command {
  std::string name;                  // "classdiv"
  std::vector<std::string> aliases;  // "分班"
  std::string button;                // caption of the menu button it clicks
  std::string summary;               // one line for the command list
  bool book_required = false;
  bool saves = false;                // the job saves the workbook
  // The job's own closing line ("现在退出…"), repeated when the command is
  // interrupted; "" for a command that only shows a form.
  std::string exit_message;
  // The forms the job shows, each with the options filling its controls.
  std::vector<ui::FormFlags> forms;
  // Options that fill no control; the job reads them from JobEnv::option.
  std::vector<ui::FlagField> options;
};

}  // namespace lczs::jobs
