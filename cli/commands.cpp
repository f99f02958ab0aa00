#include "cli/commands.h"

#include <algorithm>
#include <sstream>

#include "ui/console.h"

namespace lczs::cli {

const std::vector<CommandSpec>& commands() {
  static const std::vector<CommandSpec> table = {
      {"classdiv", {"分班"}, "开始分班", true, true, {"gs", "c_fbsz"},
       "开始分班 (class division)"},
      {"exam", {"考试"}, "普通考试成绩分析(年级)", true, true, {"ksgssz", "ksfxForm"},
       "普通考试成绩分析(年级) (exam analysis)"},
      {"proficiency", {"会考"}, "会考成绩分析", true, true, {"hkgssz"},
       "会考成绩分析 (proficiency test)"},
      {"fbhelp", {"帮助"}, "帮助", false, false, {"fb_help"}, "分班帮助 (class-division help)"},
      {"about", {"关于"}, "关于栎川助手...", false, false, {"gylc"}, "关于栎川助手... (about)"},
      {"menu", {"菜单"}, "", false, false, {}, "列出菜单 (print the installed menu)"},
  };
  return table;
}

const CommandSpec* find_command(std::string_view name) {
  for (const auto& c : commands()) {
    if (c.name == name) return &c;
    for (auto a : c.aliases)
      if (a == name) return &c;
  }
  return nullptr;
}

namespace {

// Edit distance over bytes; good enough to catch a slip of the keyboard.
std::size_t distance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> prev(b.size() + 1), cur(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) prev[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    cur[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      std::size_t sub = prev[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
      cur[j] = std::min({prev[j] + 1, cur[j - 1] + 1, sub});
    }
    std::swap(prev, cur);
  }
  return prev[b.size()];
}

}  // namespace

std::string closest_command(std::string_view typed) {
  std::string best;
  std::size_t best_d = std::string::npos;
  for (const auto& c : commands()) {
    std::vector<std::string_view> names{c.name};
    names.insert(names.end(), c.aliases.begin(), c.aliases.end());
    for (auto n : names) {
      std::size_t d = distance(typed, n);
      if (d < best_d) {
        best_d = d;
        best = std::string(c.name);
      }
    }
  }
  // Anything further than half the word is a different word.
  return best_d <= std::max<std::size_t>(2, typed.size() / 2) ? best : "";
}

const ui::FlagRegistry& form_flags() {
  using ui::FormKind;
  static const ui::FlagRegistry registry = [] {
    ui::FlagRegistry r;
    r.add({.form = "c_fbsz",
           .kind = FormKind::Settings,
           .fields = {{"--classes", {"c_fbs_txtbox"}, ""},
                      {"--minutes", {"c_fbsj_txtbox"}, "OptionButton2"},
                      {"--max-diff", {"c_gkcz_txtbox"}, "OptionButton2"}},
           .confirm = "CommandButton1",
           .cancel = "CommandButton2"});
    r.add({.form = "ksfxForm",
           .kind = FormKind::Settings,
           .fields = {{"--cohort", {"txtstdjie"}, ""},
                      {"--grade", {"txtnj"}, ""},
                      {"--save-name", {"txtfilename"}, ""},
                      {"--top", {"nq1", "nq2", "nq3"}, ""},
                      {"--bottom", {"nh1", "nh2", "nh3"}, ""}},
           .confirm = "btnOk",
           .cancel = "btnCancel"});
    r.add({.form = "gs", .kind = FormKind::DataFormat, .confirm = "zx_bt", .cancel = "gstz_bt"});
    r.add({.form = "hkgssz", .kind = FormKind::DataFormat, .confirm = "hkfx_zx_bt", .cancel = "hkfx_tz_bt"});
    r.add({.form = "ksgssz", .kind = FormKind::DataFormat, .confirm = "ksfx_zx_bt", .cancel = "ksfx_tz_bt"});
    r.add({.form = "fb_help", .kind = FormKind::Info, .confirm = "CommandButton1"});
    r.add({.form = "gylc", .kind = FormKind::Info, .confirm = "CommandButton1"});
    return r;
  }();
  return registry;
}

std::string commands_help() {
  std::ostringstream os;
  os << "命令 COMMAND（点击的菜单按钮）/ commands (the menu button clicked):\n";
  for (const auto& c : commands()) {
    std::string names(c.name);
    for (auto a : c.aliases) names += ", " + std::string(a);
    os << "  " << ui::pad_right(names, 20) << ui::pad_right(c.help, 44)
       << (c.book_required ? "BOOK 必需 (required)" : c.button.empty() ? "" : "BOOK 可选 (optional)")
       << "\n";
  }
  os << "\n分班 / classdiv:   --classes K [--minutes M] [--max-diff D]\n"
        "考试 / exam:       --cohort C --grade G --save-name NAME [--top X[,Y[,Z]]] "
        "[--bottom X[,Y[,Z]]]\n"
        "\n退出状态 / exit status: 0 完成 done, 1 中止 stopped, 2 用法错误 usage error,\n"
        "  3 文件无法读写或被拒绝 a file could not be read or written, or was refused\n\n";
  return os.str();
}

}  // namespace lczs::cli
