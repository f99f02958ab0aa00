// 普通考试成绩分析(年级) on generated grades of 2,000 and 30,000 students with
// nine subjects in 30 classes, bands top 50/100/200 and bottom 50/100/200:
// the analysis alone on the in-memory host, and (when the file formats are
// built in) the whole run from reading the .xlsx file to saving the report,
// so the share of the analysis can be compared. BM_ExamClasses runs 30,000
// students in 30 and in 300 classes: the band counts take one pass over the
// ranked list, so ten times the classes must not cost ten times the time.
// BM_ExamFigures compares a run of 30,000 students with and without the
// figures (学科分析, 分数段, 图表).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <unistd.h>

#include "examanalysis/examanalysis.h"
#include "host/clock.h"
#include "model/memory_host.h"
#include "ui/ui.h"
#ifdef LCZS_BENCH_WITH_IO
#include "io/io.h"
#endif

namespace {

using namespace lczs;

// Goes on at every question and fills the options form.
class GoOnUi : public ui::Ui {
 public:
  int message_box(std::string_view, ui::Buttons, std::string_view) override { return ui::kOk; }
  void show_modal(ui::Form& form) override {
    if (form.name() == "ksgssz") {
      form.click("ksfx_zx_bt");
      return;
    }
    form.set_text("txtstdjie", "2001");
    form.set_text("txtnj", "G1");
    form.set_text("txtfilename", "期中考试成绩分析");
    const char* boxes[] = {"nq1", "nq2", "nq3", "nh1", "nh2", "nh3"};
    const char* sizes[] = {"50", "100", "200", "50", "100", "200"};
    for (int i = 0; i < 6; ++i) form.set_text(boxes[i], sizes[i]);
    form.click("btnOk");
  }
};

// Saves nothing: the analysis alone is timed.
class NullStore : public memory::WorkbookStore {
 public:
  bool exists(const std::string&) const override { return false; }
  void save(const memory::WorkbookData&, const std::string&) override {}
};

// Scores 30 to 150 in steps of 0.5; about one score in a thousand missing.
memory::WorkbookData grade(int students, int classes) {
  std::mt19937 rng(20240601);
  std::normal_distribution<double> score(95, 20);
  std::uniform_int_distribution<int> pct(0, 999);
  const char* subjects[] = {"语文", "数学", "英语", "物理", "化学", "生物", "政治", "历史", "地理"};
  std::vector<std::vector<memory::Lit>> rows;
  rows.reserve(students + 1);
  std::vector<memory::Lit> header = {"班级", "学号", "姓名"};
  for (const char* s : subjects) header.emplace_back(s);
  rows.push_back(std::move(header));
  for (int i = 0; i < students; ++i) {
    std::vector<memory::Lit> row = {101 + i % classes, 1 + i / classes, "学生" + std::to_string(i + 1)};
    for (int s = 0; s < 9; ++s) {
      if (pct(rng) < 1) {
        row.emplace_back(nullptr);
        continue;
      }
      double v = std::round(std::clamp(score(rng), 30.0, 150.0) * 2) / 2;
      row.emplace_back(v);
    }
    rows.push_back(std::move(row));
  }
  memory::WorkbookData book;
  memory::add_sheet(book, "成绩", std::move(rows));
  return book;
}

// With `figures`, a 分析设置 sheet adds 学科分析, 分数段 and the charts.
void run_analysis(benchmark::State& state, int students, int classes, bool figures = false) {
  memory::WorkbookData source = grade(students, classes);
  if (figures)
    memory::add_sheet(source, "分析设置", {{"科目", "满分", "优秀线", "及格线", "低分线", "分数段宽"},
                                            {"语文", 150, 120, 90, 60, 15},
                                            {"数学", 150}});
  for (auto _ : state) {
    state.PauseTiming();
    memory::WorkbookData book;
    for (const auto& sheet : source.sheets) book.sheets.push_back(std::make_unique<memory::SheetData>(*sheet));
    book.path = "/bench/成绩.xlsx";
    memory::MemoryApplication app;
    app.set_store(std::make_shared<NullStore>());
    app.open(std::move(book));
    GoOnUi ui;
    host::SteadyClock clock;
    jobs::JobEnv env{app, ui, clock};
    examanalysis::ExamAnalysis job;
    state.ResumeTiming();
    if (job.ksfx_run(env) != jobs::JobOutcome::Completed) state.SkipWithError("run did not complete");
  }
  state.SetItemsProcessed(state.iterations() * students);
}

void BM_ExamAnalysis(benchmark::State& state) {
  run_analysis(state, static_cast<int>(state.range(0)), 30);
}
BENCHMARK(BM_ExamAnalysis)->Arg(2000)->Arg(30000)->Unit(benchmark::kMillisecond);

void BM_ExamClasses(benchmark::State& state) {
  run_analysis(state, 30000, static_cast<int>(state.range(0)));
}
BENCHMARK(BM_ExamClasses)->Arg(30)->Arg(300)->Unit(benchmark::kMillisecond);

// 30,000 students without (0) and with (1) the figures: the second may take
// at most 1.2 times the first.
void BM_ExamFigures(benchmark::State& state) { run_analysis(state, 30000, 30, state.range(0) != 0); }
BENCHMARK(BM_ExamFigures)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

#ifdef LCZS_BENCH_WITH_IO
// The whole command: read the file, analyse, save the report.
void BM_ExamWholeRun(benchmark::State& state) {
  const std::string stem = "/tmp/lczs_exam_bench_" + std::to_string(getpid());
  const std::string input = stem + "_in.xlsx";
  const std::string report = "/tmp/期中考试成绩分析.xlsx";
  io::write_xlsx(grade(static_cast<int>(state.range(0)), 30), input);
  for (auto _ : state) {
    state.PauseTiming();
    std::remove(report.c_str());
    state.ResumeTiming();
    memory::WorkbookData book = io::read_workbook(input);
    book.path = input;
    memory::MemoryApplication app;
    app.set_store(std::make_shared<io::XlsxStore>());
    app.open(std::move(book));
    GoOnUi ui;
    host::SteadyClock clock;
    jobs::JobEnv env{app, ui, clock};
    examanalysis::ExamAnalysis job;
    if (job.ksfx_run(env) != jobs::JobOutcome::Completed) state.SkipWithError("run did not complete");
  }
  std::remove(input.c_str());
  std::remove(report.c_str());
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ExamWholeRun)->Arg(2000)->Arg(30000)->Unit(benchmark::kMillisecond);
#endif

}  // namespace
