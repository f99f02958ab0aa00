// 会考成绩分析 on generated grade lists of 2,000 and 30,000 students with
// nine subjects: the analysis alone on the in-memory host, and the whole
// run from reading the .xlsx file to saving it, so the share of the
// analysis can be compared.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <unistd.h>

#include "host/clock.h"
#include "model/memory_host.h"
#include "proficiency/hkfx.h"
#include "proficiency/proficiency.h"
#include "ui/ui.h"
#include "io/io.h"

namespace {

using namespace lczs;

// Answers the question with OK and the format form with 继续执行>>.
class GoOnUi : public ui::Ui {
 public:
  int message_box(std::string_view, ui::Buttons, std::string_view) override { return ui::kOk; }
  void show_modal(ui::Form& form) override { form.click("hkfx_zx_bt"); }
};

// Takes the save and drops it, so the analysis is timed without the file.
class DiscardStore : public memory::WorkbookStore {
 public:
  bool exists(const std::string&) const override { return false; }
  void save(const memory::WorkbookData&, const std::string&) override {}
};

// Students in 30 classes (about 3% lack a grade), letters weighted like a
// real test, a few in lower case.
memory::WorkbookData grade_list(int students) {
  std::mt19937 rng(20240601);
  std::discrete_distribution<int> letter({25, 35, 25, 10, 5});
  std::uniform_int_distribution<int> pct(0, 99);
  const char* subjects[] = {"语文", "数学", "英语", "物理", "化学", "生物", "政治", "历史", "地理"};
  std::vector<std::vector<memory::Lit>> rows;
  rows.reserve(students + 1);
  std::vector<memory::Lit> header = {"班级", "学号", "姓名"};
  for (const char* s : subjects) header.emplace_back(s);
  rows.push_back(std::move(header));
  const int classes = 30;
  for (int i = 0; i < students; ++i) {
    std::vector<memory::Lit> row = {301 + i % classes, 1 + i / classes, "学生" + std::to_string(i + 1)};
    for (int s = 0; s < 9; ++s) {
      if (pct(rng) < 1 && s % 4 == 0) {
        row.emplace_back(nullptr);
        continue;
      }
      std::string l(1, static_cast<char>('A' + letter(rng)));
      if (pct(rng) < 3) l[0] = static_cast<char>(l[0] - 'A' + 'a');
      row.emplace_back(l);
    }
    rows.push_back(std::move(row));
  }
  memory::WorkbookData book;
  memory::add_sheet(book, "成绩", std::move(rows));
  return book;
}

// One run's host and job, made and dropped outside the timed part.
struct Run {
  memory::MemoryApplication app;
  GoOnUi ui;
  host::SteadyClock clock;
  proficiency::Proficiency job;
  jobs::JobOutcome go() {
    jobs::JobEnv env{app, ui, clock};
    return job.hkfx_run(env);
  }
};

void BM_ProficiencyAnalysis(benchmark::State& state) {
  const memory::WorkbookData source = grade_list(static_cast<int>(state.range(0)));
  std::unique_ptr<Run> run;
  for (auto _ : state) {
    state.PauseTiming();
    run.reset();
    memory::WorkbookData book;
    book.sheets.push_back(std::make_unique<memory::SheetData>(*source.sheets[0]));
    book.path = "/bench/会考.xlsx";
    run = std::make_unique<Run>();
    run->app.set_store(std::make_shared<DiscardStore>());
    run->app.open(std::move(book));
    state.ResumeTiming();
    if (run->go() != jobs::JobOutcome::Completed) state.SkipWithError("run did not complete");
  }
  run.reset();
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
// 300,000 against 30,000 is the growth a tenfold list may cost (at most 12x):
//   proficiency_bench --benchmark_filter='Analysis/.*0000' --benchmark_repetitions=5
//     --benchmark_enable_random_interleaving=true
BENCHMARK(BM_ProficiencyAnalysis)->Arg(2000)->Arg(30000)->Arg(300000)->Unit(benchmark::kMillisecond);

// The whole command: read the file, analyse, save the file.
void BM_ProficiencyWholeRun(benchmark::State& state) {
  const std::string dir = "/tmp/lczs_prof_bench_" + std::to_string(getpid());
  const std::string input = dir + "_in.xlsx";
  const std::string work = dir + "_work.xlsx";
  {
    memory::WorkbookData source = grade_list(static_cast<int>(state.range(0)));
    io::write_xlsx(source, input);
  }
  std::unique_ptr<Run> run;
  for (auto _ : state) {
    state.PauseTiming();
    run.reset();
    std::remove(work.c_str());
    {
      memory::WorkbookData copy = io::read_workbook(input);
      io::write_xlsx(copy, work);
    }
    run = std::make_unique<Run>();
    run->app.set_store(std::make_shared<io::XlsxStore>());
    state.ResumeTiming();
    memory::WorkbookData book = io::read_workbook(work);
    book.path = work;
    run->app.open(std::move(book));
    if (run->go() != jobs::JobOutcome::Completed) state.SkipWithError("run did not complete");
  }
  run.reset();
  std::remove(input.c_str());
  std::remove(work.c_str());
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ProficiencyWholeRun)->Arg(2000)->Arg(30000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
