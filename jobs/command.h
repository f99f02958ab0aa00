// A command of `lczs` as the job that answers it declares it: the menu
// button it clicks, and the options that fill the controls of the job's
// forms or that the job reads itself. The command builds its table, its
// parser and its help from these, so a job's control names and the words
// that explain them stay with the job.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host/host.h"
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
  // Whether a sheet is laid out as the job reads it, as the job's first
  // check of the table from A1 judges; the command names a sheet that is
  // when the active one is not. Empty for a job that reads no sheet.
  std::function<bool(const host::Worksheet&)> sheet_fits;
  // Options among `options` whose value is a workbook file: the command
  // copies the values of one of its sheets (the one named `prefer` where it
  // has one, else the first) into the book as a new last sheet named
  // `sheet` before the job runs, since the jobs know no files.
  struct SheetFromFile {
    std::string option;
    std::string sheet;
    std::string prefer;
  };
  std::vector<SheetFromFile> sheets_from_files;
};

// A table from A1 with at least `columns` columns and a row under its
// header: the layout every job's first check asks for.
inline bool table_from_a1(const host::Worksheet& sheet, int columns) {
  const host::Area region = sheet.current_region(1, 1);
  return region.top == 1 && region.left == 1 && region.right >= columns && region.bottom >= 2;
}

}  // namespace lczs::jobs
