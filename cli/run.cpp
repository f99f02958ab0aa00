#include <unistd.h>

#include <CLI/CLI.hpp>
#include <filesystem>
#include <atomic>
#include <iostream>
#include <map>
#include <new>
#include <optional>

#include "cli/commands.h"
#include "cli/lczs.h"
#include "cli/signals.h"
#include "host/clock.h"
#include "model/commandbars.h"
#include "model/memory_host.h"
#include "io/io.h"
#include "shell/addin.h"
#include "ui/console.h"
#include "ui/make_ui.h"
#include "ui/scripted_ui.h"

namespace lczs::cli {

namespace fs = std::filesystem;

namespace {

struct Args {
  std::string command;
  std::string book;
  std::string sheet;
  std::string output;
  bool yes = false;
  ui::FlagValues values;  // form options given
};

bool same_file(const fs::path& a, const fs::path& b) {
  std::error_code ec1, ec2;
  fs::path ca = fs::weakly_canonical(fs::absolute(a), ec1);
  fs::path cb = fs::weakly_canonical(fs::absolute(b), ec2);
  if (ec1 || ec2) return fs::absolute(a).lexically_normal() == fs::absolute(b).lexically_normal();
  return ca == cb;
}

bool ends_with_xlsx(const std::string& path) {
  std::string ext = fs::path(path).extension().string();
  for (auto& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return ext == ".xlsx";
}

// Saves through the file formats. A bare file name (a save-as typed in a
// form) goes to the save folder: the workbook's, or the output's with -o.
// With -o the original workbook is never written.
class CommandStore : public memory::WorkbookStore {
 public:
  CommandStore(std::string source, fs::path folder, bool protect_source)
      : source_(std::move(source)), folder_(std::move(folder)), protect_source_(protect_source) {}

  std::string resolve(const std::string& path) const {
    fs::path p(path);
    return (p.is_relative() ? folder_ / p : p).string();
  }
  bool is_source(const std::string& path) const {
    return !source_.empty() && same_file(resolve(path), source_);
  }

  bool exists(const std::string& path) const override {
    std::error_code ec;
    return fs::exists(resolve(path), ec);
  }
  void save(const memory::WorkbookData& book, const std::string& path) override {
    std::string target = resolve(path);
    if (protect_source_ && is_source(target))
      throw host::SaveError("不能写入原工作簿“" + source_ + "”：已用 -o 指定了输出文件。");
    // A save-as names a file other than the workbook's own; it may not be
    // the original workbook, even when the application would not ask.
    if (path != book.path && is_source(target))
      throw host::SaveError("另存为的文件“" + target + "”就是原工作簿，已拒绝。");
    if (!source_.empty()) io::check_saveable(book, source_, target);
    // The .xlsx beside a .csv was absent when checked; one that appears
    // before the rename is someone else's.
    bool beside_source = !source_.empty() && io::save_target(source_) != source_ &&
                         same_file(target, io::save_target(source_));
    io::write_xlsx(book, target, beside_source ? io::Replace::Never : io::Replace::Allowed);
  }

 private:
  std::string source_;
  fs::path folder_;
  bool protect_source_;
};

void print_menu(std::ostream& out, memory::MemoryCommandBarControls& controls, int depth) {
  for (int i = 1; i <= controls.count(); ++i) {
    auto& c = controls.mem_item(i);
    std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    if (c.begin_group() && i > 1) out << indent << "──────────\n";
    out << indent << c.caption();
    if (c.type() == host::ControlType::Popup) out << " ▸";
    if (c.face_id() != 0) out << "  [图标 " << c.face_id() << "]";
    out << "\n";
    if (c.type() == host::ControlType::Popup) print_menu(out, c.mem_controls(), depth + 1);
  }
}

constexpr const char* kOutOfMemory = "内存不足，运行已停止；原工作簿没有改动。";

// An allocation that fails reaches the jobs' messages as "内存不足", not as
// the library's English name, and is remembered for the exit status.
std::atomic<bool> g_out_of_memory{false};

class OutOfMemory : public std::bad_alloc {
 public:
  const char* what() const noexcept override { return "内存不足"; }
};

void on_out_of_memory() {
  g_out_of_memory.store(true);
  throw OutOfMemory();
}

int outcome_status(std::optional<shell::JobOutcome> outcome) {
  if (!outcome) return kExitStopped;
  switch (*outcome) {
    case shell::JobOutcome::Completed: return kExitDone;
    case shell::JobOutcome::SaveFailed: return kExitFile;
    case shell::JobOutcome::Stopped:
    case shell::JobOutcome::Unavailable: return kExitStopped;
  }
  return kExitStopped;
}

int usage_error(const std::string& message) {
  std::cerr << "lczs: " << message << "\n（lczs --help 列出命令和选项）\n";
  return kExitUsage;
}

// Parses the command line; nullopt with `status` set when the run ends here.
std::optional<Args> parse(int argc, char** argv, int& status) {
  Args a;
  CLI::App app{"栎川助手：在工作簿上点击“栎川助手(&Z)”菜单中的一个按钮。\n"
               "lczs (栎川助手): clicks one button of the add-in's menu on a workbook.\n\n"
               "lczs COMMAND [BOOK] [OPTIONS]   （选项可放在命令之前或之后 / options may stand "
               "before or after the command）",
               "lczs"};
  app.footer(commands_help());
  app.add_option("COMMAND", a.command, "要点击的菜单按钮 / the menu button to click")->required();
  CLI::Option* book_opt = app.add_option("BOOK", a.book, "工作簿 (.xlsx 或 .csv) / the workbook");
  app.add_option("--sheet", a.sheet, "点击前激活工作表 NAME / make sheet NAME active first");
  CLI::Option* output_opt = app.add_option("-o,--output", a.output,
                 "在副本上工作：保存写入 PATH（.xlsx），BOOK 不被改写 / work on a copy");
  app.add_flag("--yes", a.yes, "所有提问答“确定”，格式窗体按“继续执行>>” / answer 确定 to everything");
  std::map<std::string, std::string> texts;  // stable addresses for the parser
  std::vector<std::pair<std::string, CLI::Option*>> form_options;
  // What each option means to a user; the form and its text box follow.
  static const std::map<std::string, std::string> kMeaning = {
      {"--classes", "分班数 K"},
      {"--minutes", "程序执行时间 M 分钟（选“手动调整”）"},
      {"--max-diff", "各科及总分允许最大差值 D 分（选“手动调整”）"},
      {"--cohort", "学生届，如 2001"},
      {"--grade", "年级，如 G1"},
      {"--save-name", "保存文件名，即报告标题"},
      {"--top", "年级前 X[,Y[,Z]] 名"},
      {"--bottom", "年级后 X[,Y[,Z]] 名"},
  };
  for (const auto& f : form_flags().forms())
    for (const auto& field : f.fields) {
      auto meaning = kMeaning.find(field.option);
      std::string what = (meaning != kMeaning.end() ? meaning->second + "：" : std::string()) + "窗体 " +
                         f.form + " 的 " + field.text_boxes[0] + (field.text_boxes.size() > 1 ? " ..." : "");
      CLI::Option* opt = app.add_option(field.option, texts[field.option], what);
      opt->group("窗体选项 / form options");
      form_options.emplace_back(field.option, opt);
    }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    status = kExitDone;
    return std::nullopt;
  } catch (const CLI::ParseError& e) {
    status = usage_error(e.what());
    return std::nullopt;
  }
  // An empty path is a mistake, most often an unset variable in a script
  // ("-o \"$OUT\""); taken as no path, -o "" would save over BOOK.
  if (book_opt->count() > 0 && a.book.empty()) {
    status = usage_error("工作簿 BOOK 的文件名是空的。");
    return std::nullopt;
  }
  if (output_opt->count() > 0 && a.output.empty()) {
    status = usage_error("-o 的文件名是空的（是不是脚本中的变量没有赋值？）。");
    return std::nullopt;
  }
  for (auto& [name, opt] : form_options)
    if (opt->count() > 0) a.values[name] = texts[name];
  return a;
}

}  // namespace

// One run of the command; run() turns what escapes it into a status.
static int run_command(int argc, char** argv) {
  int status = kExitDone;
  std::optional<Args> parsed = parse(argc, argv, status);
  if (!parsed) return status;
  Args& a = *parsed;

  const CommandSpec* cmd = find_command(a.command);
  if (!cmd) {
    std::string guess = closest_command(a.command);
    return usage_error("未知命令“" + a.command + "”。" +
                       (guess.empty() ? "" : "你是不是想输入 " + guess + "？ (did you mean " + guess + "?)"));
  }
  for (const auto& [option, value] : a.values) {
    const ui::FormFlags* form = form_flags().form_of(option);
    bool ours = form && std::find(cmd->forms.begin(), cmd->forms.end(), form->form) != cmd->forms.end();
    if (!ours) return usage_error("选项 " + option + " 不属于命令 " + std::string(cmd->name) + "。");
    for (const auto& field : form->fields)
      if (field.option == option && ui::split_list(value).size() > field.text_boxes.size())
        return usage_error("选项 " + option + " 最多 " + std::to_string(field.text_boxes.size()) +
                           " 个数（X,Y,Z）。");
  }
  if (cmd->book_required && a.book.empty())
    return usage_error("命令 " + std::string(cmd->name) + " 需要工作簿 BOOK。");
  if (!a.output.empty()) {
    if (!ends_with_xlsx(a.output)) return usage_error("-o 的文件名须以 .xlsx 结尾：" + a.output);
    if (!a.book.empty() && same_file(a.output, a.book))
      return usage_error("-o 的文件不能是工作簿本身：" + a.output);
  }

  // The host and its workbook.
  memory::MemoryApplication app;
  fs::path save_folder = fs::current_path();
  std::optional<io::FileLock> lock;
  if (!a.book.empty()) {
    std::string target = a.output.empty() ? io::save_target(a.book) : a.output;
    if (cmd->saves) {
      // Held from reading to saving: a second run on the same book would
      // save over this one's results, or this one over its.
      try {
        lock.emplace(target);
      } catch (const host::HostError& e) {
        std::cerr << "lczs: " << e.what() << "\n";
        return kExitFile;
      }
      std::string open_elsewhere = io::office_lock_warning(a.book);
      if (!open_elsewhere.empty()) std::cerr << "lczs: " << open_elsewhere << "\n";
    }
    memory::WorkbookData data;
    try {
      data = io::read_workbook(a.book);
    } catch (const host::HostError& e) {
      std::cerr << "lczs: " << e.what() << "\n";
      return kExitFile;
    }
    std::string warning = io::warning_text(data);
    if (!warning.empty()) std::cerr << warning << "\n";
    if (cmd->saves) {
      try {
        io::check_saveable(data, a.book, target);
      } catch (const host::HostError& e) {
        std::cerr << "lczs: " << e.what() << "\n";
        return kExitFile;
      }
    }
    // Save writes the target; a save-as goes beside it.
    data.path = fs::absolute(target).string();
    if (!a.output.empty()) data.opened_from = fs::absolute(a.book).string();
    save_folder = fs::path(data.path).parent_path();
    app.open(std::move(data));
    if (!a.sheet.empty()) {
      host::Worksheet* sheet = app.active_workbook().find_sheet(a.sheet);
      if (!sheet) return usage_error("工作簿中没有工作表“" + a.sheet + "”。");
      try {
        sheet->activate();
      } catch (const host::HostError& e) {
        return usage_error("工作表“" + a.sheet + "”不能激活：" + e.what());
      }
    }
  } else {
    if (!a.sheet.empty()) return usage_error("--sheet 需要工作簿 BOOK。");
    app.new_workbook();
  }
  auto store = std::make_shared<CommandStore>(a.book.empty() ? "" : fs::absolute(a.book).string(),
                                              save_folder, !a.output.empty());
  app.set_store(store);

  // The dialogs.
  ui::UiSetup setup;
  setup.stdin_is_terminal = isatty(0) == 1;
  setup.stderr_is_terminal = isatty(2) == 1;
  setup.answer_yes = a.yes;
  setup.registry = form_flags();
  setup.values = a.values;
  std::unique_ptr<ui::Ui> dialogs = ui::make_ui(ui::ui_kind_from_env(ui::UiKind::Auto), std::move(setup));
  app.set_confirm_replace([&](const std::string& path) {
    std::string target = store->resolve(path);
    if (store->is_source(target)) {
      std::cerr << "lczs: 另存为的文件“" << target << "”就是工作簿本身，已拒绝。\n";
      return false;
    }
    return dialogs->message_box("文件“" + target + "”已存在。要替换它吗？", ui::Buttons::OkCancel,
                                ui::kTitle) == ui::kOk;
  });

  // The add-in, connected as the application would at start-up.
  auto bar_owned = std::make_unique<memory::MemoryCommandBar>();
  memory::MemoryCommandBar* bar = bar_owned.get();
  app.set_command_bar(std::move(bar_owned));
  host::SteadyClock clock;
  shell::addin addin(*dialogs, clock);
  addin.IDTExtensibility2_OnConnection(app, shell::ext_cm_CommandLine);

  if (cmd->button.empty()) {
    print_menu(std::cout, bar->mem_controls(), 0);
    addin.IDTExtensibility2_OnDisconnection(shell::ext_dm_HostShutdown);
    return kExitDone;
  }
  memory::MemoryCommandBarControl* button = bar->find_by_caption(std::string(cmd->button));
  if (!button) {
    std::cerr << "lczs: 菜单中没有“" << cmd->button << "”。\n";
    return kExitStopped;
  }
  try {
    button->click(false);
    status = outcome_status(addin.last_outcome());
  } catch (const std::bad_alloc&) {
    status = kExitFile;  // said below
  } catch (const std::exception& e) {
    std::cerr << "lczs: 运行出错：" << e.what() << "\n";
    status = kExitStopped;
  } catch (const ui::ScriptViolation& v) {
    std::cerr << "lczs: 未预期的对话框：" << v.what << "\n";
    status = kExitStopped;
  }
  std::cout.flush();
  addin.IDTExtensibility2_OnDisconnection(shell::ext_dm_HostShutdown);
  // The jobs end a failed step with their own message whatever the cause;
  // a run that ran out of memory ends as a failed save does, whatever it
  // was doing then.
  if (g_out_of_memory.load()) {
    std::cerr << "lczs: " << kOutOfMemory << "\n";
    status = kExitFile;
  }
  return status;
}

int run(int argc, char** argv) {
  signals::install();
  std::set_new_handler(on_out_of_memory);
  try {
    return run_command(argc, argv);
  } catch (const std::bad_alloc&) {
    std::cerr << "lczs: " << kOutOfMemory << "\n";
    return kExitFile;
  } catch (const std::exception& e) {
    // Whatever the run could not handle ends it with a message, never a crash.
    std::cerr << "lczs: " << e.what() << "\n";
    return kExitStopped;
  }
}

}  // namespace lczs::cli
