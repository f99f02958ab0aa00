#include <sys/ioctl.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <atomic>
#include <functional>
#include <iostream>
#include <map>
#include <new>
#include <optional>

#include "cli/commands.h"
#include "cli/lczs.h"
#include "cli/sheet_choice.h"
#include "cli/signals.h"
#include "host/clock.h"
#include "model/commandbars.h"
#include "model/memory_host.h"
#include "io/io.h"
#include "io/run_files.h"
#include "io/test_points.h"
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

// How a user keeps the work of a run that may not save over its workbook.
constexpr const char* kRunWithOutput = "请加上 -o 另一个文件.xlsx 重新运行，结果写到那个文件，原文件不变。";

bool ends_with_xlsx(const std::string& path) {
  std::string ext = fs::path(path).extension().string();
  for (auto& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return ext == ".xlsx" || ext == ".xlsm";
}

// Leftovers of a run that was killed while saving, gone now that this run
// holds the file.
void say_removed_file(const std::string& file) {
  std::cerr << "lczs: 已删除上次中断的保存留下的临时文件“" << file << "”。\n";
}
void say_removed(const io::FileLock& lock) {
  for (const auto& f : lock.removed()) say_removed_file(f);
}

// What an interrupted run prints: the job's own closing line, then what
// was written (nothing, unless the save already happened).
std::string interrupt_message(const Command& cmd, const std::vector<std::string>& written,
                              const std::string& writing = "") {
  std::string text = "\n已中断。" + cmd.exit_message + "\n";
  if (!written.empty()) text += io::saved_text(written) + "\n";
  // A file replaces its old self only whole, so it is one or the other.
  if (!writing.empty()) text += "正在保存的“" + writing + "”要么仍是原来的文件，要么已完整保存。\n";
  if (written.empty() && writing.empty()) text += "没有写入任何文件。\n";
  return text;
}

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

int outcome_status(std::optional<jobs::JobOutcome> outcome) {
  if (!outcome) return kExitStopped;
  switch (*outcome) {
    case jobs::JobOutcome::Completed: return kExitDone;
    case jobs::JobOutcome::SaveFailed: return kExitFile;
    case jobs::JobOutcome::Stopped:
    case jobs::JobOutcome::Unavailable: return kExitStopped;
  }
  return kExitStopped;
}

int usage_error(const std::string& message, const Command* command = nullptr) {
  std::cerr << "lczs: " << message << "\n（"
            << (command ? "lczs " + command->name + " --help 列出这个命令的选项" : "lczs --help 列出命令和选项")
            << "）\n";
  return kExitUsage;
}

// Columns of the terminal the help is read on; 80 when there is none.
int help_width() {
  winsize ws{};
  if (isatty(1) == 1 && ioctl(1, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0)
    return std::clamp<int>(ws.ws_col, 40, 100);
  if (const char* columns = std::getenv("COLUMNS")) {
    int n = std::atoi(columns);
    if (n > 0) return std::clamp(n, 40, 100);
  }
  return 80;
}

// "--sheet" for "--sheet=说明", the argument itself otherwise.
// Puts the values of a sheet of `path` into `book` as its last sheet; the
// book's active sheet stays active. The reason it could not, or "".
std::string copy_sheet_from_file(const std::string& path, const jobs::Command::SheetFromFile& from,
                                 host::Workbook& book) {
  if (book.find_sheet(from.sheet))
    return "工作簿中已有工作表“" + from.sheet + "”，不能再用 " + from.option + " 放入，请删除或改名后再运行。";
  memory::MemoryApplication other;
  try {
    other.open(io::read_workbook(path));
    host::Workbook& source_book = other.active_workbook();
    host::Worksheet* source = source_book.find_sheet(from.prefer);
    if (!source) source = &source_book.sheet(1);
    host::Worksheet& active = book.active_sheet();
    host::Worksheet& target = book.add_sheet_after(book.sheet(book.sheet_count()));
    target.set_name(from.sheet);
    const host::CellRef extent = source->used_extent();
    if (extent.row > 0 && extent.col > 0)
      target.write_values({1, 1}, source->values(host::Area{1, 1, extent.row, extent.col}));
    active.activate();
  } catch (const host::HostError& e) {
    return from.option + " 的工作簿“" + path + "”无法读取：" + e.what();
  }
  return "";
}

std::string option_part(const std::string& arg) { return arg.substr(0, arg.find('=')); }

// Parses the command line; nullopt with `status` set when the run ends here.
std::optional<Args> parse(int argc, char** argv, int& status) {
  Args a;
  CLI::App app{"", "lczs"};
  // The help, the version and every error are the command's own, in Chinese.
  app.set_help_flag();
  app.allow_extras();
  bool help = false, version = false;
  app.add_option("COMMAND", a.command);
  CLI::Option* book_opt = app.add_option("BOOK", a.book);
  CLI::Option* output_opt = nullptr;
  std::map<std::string, std::string> texts;  // stable addresses for the parser
  for (const auto& g : general_options()) {
    if (g.names == "--yes") app.add_flag(g.names, a.yes);
    else if (g.names == "-h,--help") app.add_flag(g.names, help);
    else if (g.names == "--version") app.add_flag(g.names, version);
    else if (CLI::Option* opt = app.add_option(g.names, texts[g.names]); g.names == "-o,--output")
      output_opt = opt;
  }
  std::vector<std::pair<std::string, CLI::Option*>> command_options;
  for (const ui::FlagField* field : all_command_options()) {
    if (app.get_option_no_throw(field->option)) continue;  // declared by two commands
    // An option without a placeholder is a switch: given means "".
    command_options.emplace_back(field->option, field->value_name.empty()
                                                    ? app.add_flag(field->option)
                                                    : app.add_option(field->option, texts[field->option]));
  }
  for (auto& [name, opt] : command_options) opt->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  // "--" ends the options, as in every command: the words after it are the
  // command and the book even when they begin with "-".
  int options_end = argc;
  for (int i = 1; i < argc; ++i)
    if (std::string_view(argv[i]) == "--") {
      options_end = i;
      break;
    }
  std::vector<std::string> words(argv + std::min(options_end + 1, argc), argv + argc);
  try {
    app.parse(options_end, argv);
  } catch (const CLI::ParseError& e) {
    // What the parser can refuse once unknown words are left to us: an
    // option without its value, or a switch given one. Its message begins
    // with the option's name.
    std::string what = e.what(), option;
    std::vector<std::string> names;
    for (auto& [name, opt] : command_options) names.push_back(name);
    for (const auto& g : general_options()) names.push_back(g.names.substr(g.names.rfind(',') + 1));
    for (const auto& name : names)
      if (what.find(name) != std::string::npos && name.size() > option.size()) option = name;
    if (option.empty())
      status = usage_error("看不懂这行命令。");
    else if (dynamic_cast<const CLI::ArgumentMismatch*>(&e))
      status = usage_error("选项 " + option + " 后面要跟一个值。");
    else
      status = usage_error("选项 " + option + " 的用法不对。");
    return std::nullopt;
  }
  bool book_given = book_opt->count() > 0;
  for (const std::string& word : words) {
    if (a.command.empty()) {
      a.command = word;
    } else if (!book_given) {
      a.book = word;
      book_given = true;
    } else {
      status = usage_error("多出了“" + word + "”：命令后面只能跟一个工作簿。", find_command(a.command));
      return std::nullopt;
    }
  }
  if (version) {
    std::cout << "lczs（栎川助手）" << LCZS_VERSION << "\n";
    status = kExitDone;
    return std::nullopt;
  }
  // "lczs help [COMMAND]" reads as --help.
  if (a.command == "help") {
    help = true;
    a.command = a.book;
    a.book.clear();
  }
  const Command* cmd = a.command.empty() ? nullptr : find_command(a.command);
  if (help) {
    if (!a.command.empty() && !cmd) {
      std::string guess = closest_command(a.command);
      status = usage_error("没有命令“" + a.command + "”。" +
                           (guess.empty() ? "" : "你是不是想输入 " + guess + "？"));
      return std::nullopt;
    }
    std::cout << (cmd ? command_help(*cmd, help_width()) : general_help(help_width()));
    status = kExitDone;
    return std::nullopt;
  }
  for (const std::string& extra : app.remaining()) {
    if (extra.rfind("-", 0) == 0 && extra.size() > 1) {
      std::string guess = closest_option(option_part(extra));
      status = usage_error("没有选项 " + option_part(extra) + "。" +
                               (guess.empty() ? "" : "你是不是想输入 " + guess + "？"),
                           cmd);
    } else {
      status = usage_error("多出了“" + extra + "”：命令后面只能跟一个工作簿。", cmd);
    }
    return std::nullopt;
  }
  // An empty path is a mistake, most often an unset variable in a script
  // ("-o \"$OUT\""); taken as no path, -o "" would save over BOOK.
  if (book_given && a.book.empty()) {
    status = usage_error("工作簿的文件名是空的。");
    return std::nullopt;
  }
  if (output_opt->count() > 0 && texts["-o,--output"].empty()) {
    status = usage_error("-o 的文件名是空的（是不是脚本中的变量没有赋值？）。");
    return std::nullopt;
  }
  if (a.command.empty()) {
    std::cerr << short_usage();
    status = kExitUsage;
    return std::nullopt;
  }
  a.sheet = texts["--sheet"];
  a.output = texts["-o,--output"];
  for (auto& [name, opt] : command_options) {
    if (opt->count() > 1) {
      status = usage_error("选项 " + name + " 只能给一次。", cmd);
      return std::nullopt;
    }
    if (opt->count() > 0) a.values[name] = texts[name];
  }
  return a;
}

}  // namespace

// One run of the command; run() turns what escapes it into a status.
static int run_command(int argc, char** argv) {
  int status = kExitDone;
  std::optional<Args> parsed = parse(argc, argv, status);
  if (!parsed) return status;
  Args& a = *parsed;

  const Command* cmd = find_command(a.command);
  if (!cmd) {
    std::string guess = closest_command(a.command);
    return usage_error("没有命令“" + a.command + "”。" +
                       (guess.empty() ? "" : "你是不是想输入 " + guess + "？"));
  }
  for (const auto& [option, value] : a.values) {
    if (owner_of(option) != cmd)
      return usage_error("选项 " + option + " 不是命令 " + cmd->name + " 的选项。", cmd);
    for (const auto& form : cmd->forms)
      for (const auto& field : form.fields)
        if (field.option == option && field.text_boxes.size() > 1 &&
            ui::split_list(value).size() > field.text_boxes.size())
          return usage_error("选项 " + option + " 最多 " + std::to_string(field.text_boxes.size()) +
                                 " 个数（用逗号分开）。",
                             cmd);
  }
  if (cmd->book_required && a.book.empty())
    return usage_error("命令 " + cmd->name + " 要在一个工作簿上做：lczs " + cmd->name + " 工作簿.xlsx", cmd);
  if (!a.output.empty()) {
    if (!ends_with_xlsx(a.output)) return usage_error("-o 的文件名须以 .xlsx 或 .xlsm 结尾：" + a.output, cmd);
    if (!a.book.empty() && io::same_file_path(a.output, a.book))
      return usage_error("-o 的文件不能是工作簿本身：" + a.output, cmd);
  }

  // The host and its workbook.
  memory::MemoryApplication app;
  fs::path save_folder = fs::current_path();
  std::unique_ptr<io::FileLock> lock;
  std::optional<io::FileState> read_state;
  std::string sheet_hint;  // said when the run stops
  if (!a.book.empty()) {
    std::string target = a.output.empty() ? io::save_target(a.book) : a.output;
    // A job's results go to this folder; one that cannot take them would
    // refuse the run only after all its work; checked before its lock, whose
    // file would fail there in other words.
    if (cmd->book_required) {
      try {
        io::check_save_folder(target);
      } catch (const host::HostError& e) {
        std::cerr << "lczs: " << e.what() << "\n";
        return kExitFile;
      }
    }
    if (cmd->saves) {
      // Held from reading to saving: a second run on the same book would
      // save over this one's results, or this one over its.
      try {
        lock = std::make_unique<io::FileLock>(target);
      } catch (const host::HostError& e) {
        std::cerr << "lczs: " << e.what() << "\n";
        return kExitFile;
      }
      say_removed(*lock);
      try {
        io::refuse_read_only(target);
      } catch (const host::HostError& e) {
        std::cerr << "lczs: " << e.what() << "。"
                  << (a.output.empty() ? "请用 -o 把结果另存为其他文件，或先取消它的只读属性。"
                                       : "请换一个输出文件，或先取消它的只读属性。")
                  << "\n";
        return kExitFile;
      }
      std::string open_elsewhere = io::office_lock_warning(a.book);
      if (!open_elsewhere.empty()) std::cerr << "lczs: " << open_elsewhere << "\n";
    }
    // Taken before the book is read: a change in between is then taken
    // for a change after it, which only keeps the results aside.
    if (cmd->saves && a.output.empty() && io::same_file_path(target, a.book)) read_state = io::file_state(a.book);
    memory::WorkbookData data;
    try {
      data = io::read_workbook(a.book);
      io::test_points::reach(io::test_points::kBookRead);
    } catch (const host::HostError& e) {
      std::cerr << "lczs: " << e.what() << "\n";
      return kExitFile;
    }
    std::string warning = io::warning_text(data);
    if (!warning.empty()) std::cerr << warning << "\n";
    if (cmd->saves) {
      try {
        io::check_saveable(data, a.book, target, kRunWithOutput);
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
      if (!sheet) return usage_error("工作簿中没有工作表“" + a.sheet + "”。", cmd);
      try {
        sheet->activate();
      } catch (const host::HostError& e) {
        return usage_error("工作表“" + a.sheet + "”不能激活：" + e.what());
      }
    }
    if (cmd->sheet_fits) {
      std::cerr << sheet_in_use(app.active_workbook());
      sheet_hint = sheet_to_choose(*cmd, app.active_workbook());
    }
    for (const jobs::Command::SheetFromFile& from : cmd->sheets_from_files) {
      auto given = a.values.find(from.option);
      if (given == a.values.end()) continue;
      std::string problem = copy_sheet_from_file(given->second, from, app.active_workbook());
      if (!problem.empty()) {
        std::cerr << "lczs: " << problem << "\n";
        return kExitFile;
      }
    }
  } else {
    if (!a.sheet.empty()) return usage_error("--sheet 要和工作簿一起用。", cmd);
    app.new_workbook();
  }
  auto store = std::make_shared<io::RunStore>(a.book.empty() ? "" : fs::absolute(a.book).string(),
                                             save_folder.string(), !a.output.empty());
  store->on_left_out = [](const std::string& line) { std::cerr << "lczs: " << line << "\n"; };
  store->how_to_keep = kRunWithOutput;
  if (lock) store->hold(std::move(lock));
  store->on_leftover_removed = [](const std::string& file) { say_removed_file(file); };
  if (read_state) store->expect_unchanged(fs::absolute(a.book).string(), *read_state);
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
  addin.state().job_options.clear();
  for (const auto& field : cmd->options)
    if (a.values.count(field.option)) addin.state().job_options[field.option] = a.values[field.option];
  signals::set_message(interrupt_message(*cmd, {}));
  store->on_saved = [cmd](const std::vector<std::string>& written, const std::string& writing) {
    signals::set_message(interrupt_message(*cmd, written, writing));
  };
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
  if (status == kExitStopped) std::cerr << sheet_hint;
  if (!store->written().empty()) std::cerr << io::saved_text(store->written()) << "\n";
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
