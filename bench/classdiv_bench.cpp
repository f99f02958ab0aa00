// Class division (分班).
//
// BM_ClassdivJudge: candidate exchanges judged per second by the search held
// in memory, against the plain judge that recomputes every class's spread
// per candidate, on the same data in the same run; both must make the same
// exchanges. Counters: fast and plain candidates per CPU second and their
// ratio.
//
// BM_ClassdivRun: a whole run without the search (time limit 0) on the
// in-memory host: checks, sorts, deal, statistics block, write-back, page
// breaks and the save into a memory store.
#include <benchmark/benchmark.h>

#include <time.h>
#include <random>
#include <string>

#include "classdiv/classdiv.h"
#include "classdiv/fb_search.h"
#include "host/clock.h"
#include "model/memory_host.h"
#include "ui/ui.h"

namespace {

using namespace lczs;

// N students in K equal classes, each class its boys first; ten score
// columns (nine subjects and the total) with one decimal.
classdiv::SearchInput make_input(int N, int K, unsigned seed) {
  std::mt19937 rng(seed);
  classdiv::SearchInput in;
  in.students = N;
  in.columns = 10;
  in.classes = K;
  for (int r = 0; r < N; ++r) {
    double total = 0;
    for (int j = 0; j < 9; ++j) {
      double x = 30 + (rng() % 1200) / 10.0;
      in.scores.push_back(x);
      total += x;
    }
    in.scores.push_back(total);
  }
  in.rows.assign(K + 1, {0, 0, 0, 0});
  in.sizes.assign(K + 1, 0);
  int first = 2;
  for (int c = 1; c <= K; ++c) {
    int size = N / K + (c <= N % K ? 1 : 0);
    int boys = size / 2;
    in.rows[c] = {first, first + boys - 1, first + boys, first + size - 1};
    in.sizes[c] = size;
    first += size;
  }
  return in;
}

// CPU time of this process: the machine is shared, so wall time would
// charge other programs' work to whichever judge happened to run meanwhile.
double cpu_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

void BM_ClassdivJudge(benchmark::State& state) {
  const int N = static_cast<int>(state.range(0)), K = static_cast<int>(state.range(1));
  const int cycles = static_cast<int>(state.range(2));
  const auto input = make_input(N, K, 42);
  double fast_s = 0, plain_s = 0;
  long long fast_n = 0, plain_n = 0;
  for (auto _ : state) {
    classdiv::FbSearch fast(input, classdiv::Judge::Fast);
    classdiv::FbSearch plain(input, classdiv::Judge::Plain);
    std::vector<std::pair<int, int>> a, b;
    const double t0 = cpu_seconds();
    for (int n = 0; n < cycles; ++n) a.push_back(*fast.cycle());
    const double t1 = cpu_seconds();
    for (int n = 0; n < cycles; ++n) b.push_back(*plain.cycle());
    const double t2 = cpu_seconds();
    if (a != b) {
      state.SkipWithError("the two judges made different exchanges");
      return;
    }
    fast_s += t1 - t0;
    plain_s += t2 - t1;
    fast_n += fast.candidates_judged();
    plain_n += plain.candidates_judged();
  }
  state.counters["fast_cand_per_s"] = fast_n / fast_s;
  state.counters["plain_cand_per_s"] = plain_n / plain_s;
  state.counters["ratio"] = (fast_n / fast_s) / (plain_n / plain_s);
}
BENCHMARK(BM_ClassdivJudge)
    ->Args({1000, 10, 20})
    ->Args({5000, 40, 20})
    ->Unit(benchmark::kMillisecond);

// Answers every box with OK, 继续执行>> on gs, and K classes with a time
// limit of 0 on c_fbsz.
class RunUi : public ui::Ui {
 public:
  explicit RunUi(int classes) : classes_(classes) {}
  int message_box(std::string_view, ui::Buttons, std::string_view) override { return ui::kOk; }
  void show_modal(ui::Form& form) override {
    if (form.name() == "gs") {
      form.click("zx_bt");
      return;
    }
    form.set_text("c_fbs_txtbox", std::to_string(classes_));
    form.choose("OptionButton2");
    form.set_text("c_fbsj_txtbox", "0");
    form.click("CommandButton1");
  }

 private:
  int classes_;
};

memory::WorkbookData make_book(int N) {
  std::mt19937 rng(7);
  std::vector<std::vector<memory::Lit>> rows;
  std::vector<memory::Lit> head = {"统一学号", "班级", "姓名", "性别"};
  for (const char* s : {"语文", "数学", "英语", "物理", "化学", "生物", "政治", "历史", "地理"})
    head.emplace_back(s);
  head.emplace_back("总分");
  rows.push_back(head);
  for (int n = 1; n <= N; ++n) {
    std::vector<memory::Lit> row = {n, nullptr, "学生" + std::to_string(n), rng() % 2 ? "男" : "女"};
    double total = 0;
    for (int j = 0; j < 9; ++j) {
      double x = 30 + (rng() % 1200) / 10.0;
      row.emplace_back(x);
      total += x;
    }
    row.emplace_back(total);
    rows.push_back(row);
  }
  memory::WorkbookData book;
  memory::add_sheet(book, "成绩", rows);
  book.path = "/bench/分班.xlsx";
  return book;
}

void BM_ClassdivRun(benchmark::State& state) {
  const int N = static_cast<int>(state.range(0)), K = static_cast<int>(state.range(1));
  for (auto _ : state) {
    state.PauseTiming();
    memory::MemoryApplication app;
    app.set_store(std::make_shared<memory::MemoryStore>());
    app.open(make_book(N));
    RunUi ui(K);
    host::SteadyClock clock;
    jobs::JobEnv env{app, ui, clock};
    classdiv::ClassDivision job;
    state.ResumeTiming();
    if (job.fb_run(env) != jobs::JobOutcome::Completed) {
      state.SkipWithError("the run did not complete");
      return;
    }
  }
  state.SetItemsProcessed(state.iterations() * N);
}
// 300,000 against 30,000 is the growth a tenfold grade may cost (at most 12x):
//   classdiv_bench --benchmark_filter='Run/.*0000/' --benchmark_repetitions=5
//     --benchmark_enable_random_interleaving=true
BENCHMARK(BM_ClassdivRun)
    ->Args({1000, 20})
    ->Args({30000, 600})
    ->Args({300000, 6000})
    ->Unit(benchmark::kMillisecond);

}  // namespace
