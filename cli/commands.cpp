#include "cli/commands.h"

#include <algorithm>
#include <sstream>

#include "jobs/jobs.h"
#include "ui/console.h"

namespace lczs::cli {

const std::vector<Command>& commands() {
  static const std::vector<Command> table = [] {
    std::vector<Command> t = jobs::job_commands();
    t.push_back({.name = "about",
                 .aliases = {"关于"},
                 .button = "关于栎川助手...",
                 .summary = "关于栎川助手：版本和反馈方式"});
    t.push_back({.name = "menu",
                 .aliases = {"菜单"},
                 .summary = "列出装好的“栎川助手(&Z)”菜单"});
    return t;
  }();
  return table;
}

const Command* find_command(std::string_view name) {
  for (const auto& c : commands()) {
    if (c.name == name) return &c;
    for (const auto& a : c.aliases)
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

// Of `candidates` (each with what to suggest for it): the only one that
// `typed` begins, else the closest within half the word.
std::string closest(std::string_view typed,
                    const std::vector<std::pair<std::string, std::string>>& candidates) {
  std::vector<std::string> prefixed;
  for (const auto& [word, suggest] : candidates)
    if (!typed.empty() && word.size() > typed.size() && word.compare(0, typed.size(), typed) == 0 &&
        std::find(prefixed.begin(), prefixed.end(), suggest) == prefixed.end())
      prefixed.push_back(suggest);
  if (prefixed.size() == 1) return prefixed[0];
  std::string best;
  std::size_t best_d = std::string::npos;
  for (const auto& [word, suggest] : candidates) {
    std::size_t d = distance(typed, word);
    if (d < best_d) {
      best_d = d;
      best = suggest;
    }
  }
  return best_d <= std::max<std::size_t>(2, typed.size() / 2) ? best : "";
}

}  // namespace

std::string closest_command(std::string_view typed) {
  std::vector<std::pair<std::string, std::string>> words;
  for (const auto& c : commands()) {
    words.emplace_back(c.name, c.name);
    for (const auto& a : c.aliases) words.emplace_back(a, c.name);
  }
  return closest(typed, words);
}

const std::vector<GeneralOption>& general_options() {
  static const std::vector<GeneralOption> options = {
      {"--sheet", "工作表", "先激活工作簿中的这个工作表，再点击菜单按钮"},
      {"-o,--output", "路径", "在副本上工作：结果保存到这个 .xlsx 文件，工作簿本身不改写"},
      {"--yes", "", "所有提问都答“确定”，数据格式窗体都按“继续执行>>”"},
      {"-h,--help", "", "显示帮助；lczs 命令 --help 显示这个命令的选项"},
      {"--version", "", "显示版本"},
  };
  return options;
}

std::vector<const ui::FlagField*> all_command_options() {
  std::vector<const ui::FlagField*> out;
  for (const auto& c : commands()) {
    for (const auto& f : c.forms)
      for (const auto& field : f.fields) out.push_back(&field);
    for (const auto& field : c.options) out.push_back(&field);
  }
  return out;
}

const Command* owner_of(std::string_view option) {
  for (const auto& c : commands()) {
    for (const auto& f : c.forms)
      for (const auto& field : f.fields)
        if (field.option == option) return &c;
    for (const auto& field : c.options)
      if (field.option == option) return &c;
  }
  return nullptr;
}

std::string closest_option(std::string_view typed) {
  std::vector<std::pair<std::string, std::string>> words;
  for (const ui::FlagField* f : all_command_options()) words.emplace_back(f->option, f->option);
  for (const auto& g : general_options()) {
    std::string_view names = g.names;
    std::string last(names.substr(names.rfind(',') == std::string_view::npos ? 0 : names.rfind(',') + 1));
    words.emplace_back(last, last);
  }
  return closest(typed, words);
}

ui::FlagRegistry form_flags() {
  ui::FlagRegistry r;
  for (const auto& c : commands())
    for (const auto& f : c.forms) r.add(f);
  return r;
}

namespace {

constexpr int kNameColumn = 22;  // where the explanations start in the help

// "  NAME      explanation", the explanation wrapped in its column.
void row(std::ostringstream& os, const std::string& left, const std::string& text, int width) {
  std::string head = "  " + left;
  if (ui::display_width(head) + 2 > kNameColumn) {
    os << head << "\n" << std::string(kNameColumn, ' ');
  } else {
    os << ui::pad_right(head, kNameColumn);
  }
  os << ui::wrap_text(text, width, kNameColumn) << "\n";
}

std::string option_names(const GeneralOption& g) {
  std::string names = g.names;
  std::size_t comma = names.find(',');
  if (comma != std::string::npos) names.replace(comma, 1, ", ");
  return g.value_name.empty() ? names : names + " " + g.value_name;
}

void general_section(std::ostringstream& os, int width) {
  os << "通用选项：\n";
  for (const auto& g : general_options()) row(os, option_names(g), g.meaning, width);
}

std::string names_of(const Command& c) {
  std::string names = c.name;
  for (const auto& a : c.aliases) names += ", " + a;
  return names;
}

}  // namespace

std::string short_usage() {
  std::string list;
  for (const auto& c : commands()) {
    if (!list.empty()) list += "、";
    list += c.name + (c.aliases.empty() ? "" : "（" + c.aliases[0] + "）");
  }
  return "用法：lczs 命令 [工作簿] [选项]\n命令：" + list +
         "\nlczs --help 显示全部帮助，lczs 命令 --help 显示一个命令的选项。\n";
}

std::string general_help(int width) {
  std::ostringstream os;
  os << ui::wrap_text("栎川助手：在工作簿上点击“栎川助手(&Z)”菜单中的一个按钮，"
                      "由它的提问和窗体完成分班或成绩分析。",
                      width)
     << "\n\n用法：lczs 命令 [工作簿] [选项]\n"
     << ui::wrap_text("选项可以写在命令之前或之后。工作簿是 .xlsx 或 .csv 文件。", width) << "\n\n";
  os << "命令：\n";
  for (const auto& c : commands())
    row(os, names_of(c), c.summary + (c.book_required ? "（需要工作簿）" : ""), width);
  os << "\n";
  general_section(os, width);
  os << "\n"
     << ui::wrap_text("各命令填写窗体的选项见 lczs 命令 --help。没有用选项填写的窗体和提问，"
                      "在终端上逐项询问；不在终端上时都按“确定”或“继续执行>>”。",
                      width)
     << "\n\n"
     << ui::wrap_text("退出状态：0 完成；1 中止；2 用法错误；3 文件无法读写或被拒绝。", width) << "\n";
  return os.str();
}

std::string command_help(const Command& c, int width) {
  std::ostringstream os;
  os << ui::wrap_text("lczs " + c.name + (c.aliases.empty() ? "" : "（" + c.aliases[0] + "）") + "：" +
                          c.summary,
                      width)
     << "\n\n用法：lczs " << c.name << (c.book_required ? " 工作簿" : " [工作簿]") << " [选项]\n";
  for (const auto& f : c.forms) {
    if (f.fields.empty()) continue;
    os << "\n“" << f.caption << "”窗体的选项：\n";
    for (const auto& field : f.fields) row(os, field.option + " " + field.value_name, field.meaning, width);
  }
  if (!c.options.empty()) {
    os << "\n其他选项：\n";
    for (const auto& field : c.options)
      row(os, field.value_name.empty() ? field.option : field.option + " " + field.value_name, field.meaning, width);
  }
  os << "\n";
  general_section(os, width);
  bool fills = false;
  for (const auto& f : c.forms) fills = fills || !f.fields.empty();
  if (fills)
    os << "\n"
       << ui::wrap_text("给了选项的窗体由选项填写后按“确定”；没有给选项的窗体和提问在终端上询问。", width)
       << "\n";
  return os.str();
}

}  // namespace lczs::cli
