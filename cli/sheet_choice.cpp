#include "cli/sheet_choice.h"

#include <string_view>
#include <vector>

namespace lczs::cli {

namespace {

// A sheet name as the option takes it in a shell: quoted when it holds a
// character the shell would take otherwise.
std::string shell_word(const std::string& name) {
  constexpr std::string_view kSpecial = " \t\n'\"\\$`!*?[]{}()<>|&;#~=%";
  if (name.find_first_of(kSpecial) == std::string::npos && !name.empty() && name[0] != '-') return name;
  std::string out = "'";
  for (char c : name) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

std::string sheet_in_use(host::Workbook& book) {
  const int count = book.sheet_count();
  return "lczs: 使用工作表“" + book.active_sheet().name() + "”" +
         (count == 1 ? "（工作簿中只有这一张工作表）"
                     : "（工作簿中共 " + std::to_string(count) + " 张工作表，可用 --sheet 选择其他的）") +
         "。\n";
}

std::string sheet_to_choose(const Command& command, host::Workbook& book) {
  if (!command.sheet_fits) return "";
  host::Worksheet& active = book.active_sheet();
  if (command.sheet_fits(active)) return "";
  std::vector<std::string> fitting;
  for (int i = 1; i <= book.sheet_count(); ++i) {
    host::Worksheet& ws = book.sheet(i);
    if (&ws != &active && ws.visible() && command.sheet_fits(ws)) fitting.push_back(ws.name());
  }
  if (fitting.empty()) return "";
  std::string others;
  if (fitting.size() > 1) others = "（合格式的还有 " + std::to_string(fitting.size() - 1) + " 张）";
  return "lczs: 工作表“" + active.name() + "”从 A1 起的表格不合“" + command.button + "”的数据格式，工作表“" +
         fitting.front() + "”合格式" + others + "；要用它，请加 --sheet " + shell_word(fitting.front()) + "\n";
}

}  // namespace lczs::cli
