// Shared scaffolding of the class-division tests: a workbook of students in
// the documented layout, the scripted answers of a normal run, and a run on
// the in-memory host with a fake clock.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "classdiv/classdiv.h"
#include "classdiv/fb_state.h"
#include "host/clock.h"
#include "model/memory_host.h"
#include "ui/scripted_ui.h"

namespace lczs::classdiv::testing {

inline constexpr const char* kConfirm = "开始分班，请先选中分班数据所在的工作表，继续吗？";
inline constexpr const char* kWait =
    "开始分班，需要几分钟时间，请您稍等!\n\n请点击 确定 按钮\n\n(程序执行时鼠标变为漏斗状，表明正在进行分班)";
inline constexpr const char* kExit = "现在退出分班程序，要分班请重新运行程序！";
inline constexpr const char* kTypeError = "数据类型错误，请重新输入!";

struct Student {
  std::string name;
  std::string sex;
  std::vector<double> scores;  // subjects; the total is added
};

// Sheet "成绩" with headers 统一学号 班级 姓名 性别 <subjects> 总分, one row per
// student (统一学号 1, 2, ...; 班级 empty), total = sum of the subjects.
memory::WorkbookData make_book(const std::vector<std::string>& subjects,
                               const std::vector<Student>& students,
                               const std::string& sheet = "成绩");

// Settings typed into c_fbsz: class count, and manual minutes / difference
// when either is non-empty.
struct Settings {
  std::string classes;
  std::string minutes;
  std::string diff;
};
// Confirmation, gs (继续执行>>), c_fbsz answered with `s`.
void script_start(ui::ScriptedUi& ui, const Settings& s);

// Records progress lines on top of the scripted dialogs.
class RecordingUi : public ui::ScriptedUi {
 public:
  void progress(std::string_view line) override { lines.emplace_back(line); }
  void progress_done() override { ++done; }
  std::vector<std::string> lines;
  int done = 0;
};

struct Harness {
  explicit Harness(memory::WorkbookData book, double clock_step = 1.0);
  jobs::JobOutcome run();
  jobs::JobOutcome run_on(host::Application& app);
  memory::MemoryWorksheet& sheet(int index = 1) { return wb->mem_sheet(index); }
  // Cell text as the sheet shows it without number formats.
  std::string cell(int row, int col, int sheet_index = 1);

  memory::MemoryApplication app;
  std::shared_ptr<memory::MemoryStore> store = std::make_shared<memory::MemoryStore>();
  RecordingUi ui;
  host::FakeClock clock;
  ClassDivision job;
  memory::MemoryWorkbook* wb = nullptr;
  // The job's own options as the command passes them.
  const jobs::OptionValues* options = nullptr;
  // Most tests here pin the greedy exchanges, so that is what a run makes
  // unless a test asks for the whole search.
  ClassDivision::Search search = ClassDivision::Search::GreedyOnly;
};

// Students with random scores of one decimal (0.5 steps when halves is
// set), `boys` of them boys, for property tests.
std::vector<Student> random_students(unsigned seed, int count, int subjects, int boys,
                                     bool two_decimals = false);

}  // namespace lczs::classdiv::testing
