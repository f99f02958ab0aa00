// The in-memory host on the jobs' heaviest host work, each measured against
// the same work on a plain table (std::vector rows, std::stable_sort) in the
// same run. The counter x_vector is the host's time over the table's.
//
//   cell read/write : reading and writing single cells through host::Worksheet
//   sort            : 30,000 rows x 15 columns by three keys (text, number,
//                     number descending), pinyin collation
//   current region  : the region of A1 over that block
//   exchange        : the class-division search's row exchange through a
//                     scratch row and the re-read of 90 class averages
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <random>
#include <vector>

#include "model/collation.h"
#include "model/memory_host.h"

namespace {

using lczs::host::Area;
using lczs::host::SortKey;
using lczs::host::SortOrder;
using lczs::host::SortSpec;
using lczs::host::Value;
namespace mem = lczs::memory;

constexpr int kRows = 30000;
constexpr int kCols = 15;

using Table = std::vector<std::vector<Value>>;

// Students: 姓名, 性别, 班级, twelve scores; row 1 is the header.
Table make_table() {
  std::mt19937 rng(42);
  const char* surnames[] = {"张", "李", "王", "刘", "陈", "杨", "赵", "黄", "周", "吴"};
  const char* given[] = {"伟", "芳", "娜", "敏", "静", "丽", "强", "磊", "军", "洋", "勇", "艳"};
  Table t;
  std::vector<Value> header;
  for (int c = 1; c <= kCols; ++c) header.push_back(Value::text("列" + std::to_string(c)));
  t.push_back(header);
  for (int r = 0; r < kRows; ++r) {
    std::vector<Value> row;
    row.push_back(Value::text(std::string(surnames[rng() % 10]) + given[rng() % 12] + given[rng() % 12]));
    row.push_back(Value::text(rng() % 2 ? "男" : "女"));
    row.push_back(Value::number(1 + rng() % 20));
    for (int c = 3; c < kCols; ++c) row.push_back(Value::number(static_cast<double>(rng() % 1500) / 10));
    t.push_back(std::move(row));
  }
  return t;
}

const Table& table() {
  static const Table t = make_table();
  return t;
}

mem::MemoryWorkbook& load(mem::MemoryApplication& app) {
  mem::WorkbookData data;
  auto sheet = std::make_unique<mem::SheetData>();
  sheet->name = "data";
  const Table& t = table();
  for (std::size_t r = 0; r < t.size(); ++r)
    for (std::size_t c = 0; c < t[r].size(); ++c) {
      mem::Cell cell;
      cell.value = t[r][c];
      sheet->put(static_cast<int>(r) + 1, static_cast<int>(c) + 1, std::move(cell));
    }
  data.sheets.push_back(std::move(sheet));
  return app.open(std::move(data));
}

const SortSpec kSpec{.key1 = {2, SortOrder::Ascending},
                     .key2 = SortKey{3, SortOrder::Ascending},
                     .key3 = SortKey{kCols, SortOrder::Descending},
                     .header = lczs::host::SortHeader::Yes};

// The plain way: std::stable_sort of the rows, comparing the values of the
// key columns with the same order rules (texts through the collator).
void vector_sort(Table& t, const mem::Collator& coll) {
  auto rank = [](const Value& v) {
    switch (v.kind()) {
      case Value::Kind::Number: return 0;
      case Value::Kind::Text: return 1;
      case Value::Kind::Boolean: return 2;
      case Value::Kind::Error: return 3;
      default: return 4;
    }
  };
  const int keys[3] = {1, 2, kCols - 1};
  const bool desc[3] = {false, false, true};
  std::stable_sort(t.begin() + 1, t.end(), [&](const std::vector<Value>& a, const std::vector<Value>& b) {
    for (int k = 0; k < 3; ++k) {
      const Value& x = a[static_cast<std::size_t>(keys[k])];
      const Value& y = b[static_cast<std::size_t>(keys[k])];
      int rx = rank(x), ry = rank(y);
      if (rx == 4 || ry == 4) {
        if (rx == ry) continue;
        return ry == 4;
      }
      int cmp = rx != ry ? (rx < ry ? -1 : 1)
                : rx == 1 ? coll.compare(x.as_text(), y.as_text())
                          : (x.as_number() < y.as_number() ? -1 : x.as_number() > y.as_number() ? 1 : 0);
      if (cmp != 0) return desc[k] ? cmp > 0 : cmp < 0;
    }
    return false;
  });
}

// The ratios use the thread's CPU time: the machine may be shared, and
// waiting for a processor is not work done.
struct CpuClock {
  using time_point = double;
  static double now() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
  }
};

double seconds(double a, double b) { return b - a; }

void BM_Sort(benchmark::State& state) {
  auto coll = mem::make_pinyin_collator();
  double host_time = 0, vector_time = 0;
  for (auto _ : state) {
    state.PauseTiming();
    mem::MemoryApplication app;
    mem::MemoryWorkbook& book = load(app);
    Table t = table();
    state.ResumeTiming();
    auto t0 = CpuClock::now();
    book.mem_sheet(1).sort(Area{1, 1, kRows + 1, kCols}, kSpec);
    auto t1 = CpuClock::now();
    state.PauseTiming();
    vector_sort(t, *coll);
    auto t2 = CpuClock::now();
    host_time += seconds(t0, t1);
    vector_time += seconds(t1, t2);
    // Both orders agree.
    for (int r : {2, kRows / 2, kRows + 1})
      if (!(book.mem_sheet(1).value(r, 1) == t[static_cast<std::size_t>(r - 1)][0]))
        state.SkipWithError("the host's order differs from the table's");
    state.ResumeTiming();
  }
  state.counters["x_vector"] = host_time / vector_time;
}
BENCHMARK(BM_Sort)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_CellReadWrite(benchmark::State& state) {
  mem::MemoryApplication app;
  mem::MemoryWorkbook& book = load(app);
  lczs::host::Worksheet& ws = book.mem_sheet(1);
  Table t = table();
  std::mt19937 rng(7);
  std::vector<std::pair<int, int>> cells;
  for (int i = 0; i < 4096; ++i)
    cells.emplace_back(2 + static_cast<int>(rng() % kRows), 1 + static_cast<int>(rng() % kCols));
  double host_time = 0, vector_time = 0, sum = 0;
  for (auto _ : state) {
    auto t0 = CpuClock::now();
    for (auto [r, c] : cells) {
      Value v = ws.value(r, c);
      ws.set_value(r, c, v);
      sum += v.is_number() ? v.as_number() : 1;
    }
    auto t1 = CpuClock::now();
    for (auto [r, c] : cells) {
      Value v = t[static_cast<std::size_t>(r - 1)][static_cast<std::size_t>(c - 1)];
      t[static_cast<std::size_t>(r - 1)][static_cast<std::size_t>(c - 1)] = v;
      sum += v.is_number() ? v.as_number() : 1;
    }
    auto t2 = CpuClock::now();
    host_time += seconds(t0, t1);
    vector_time += seconds(t1, t2);
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 4096);
  state.counters["x_vector"] = host_time / vector_time;
}
BENCHMARK(BM_CellReadWrite);

void BM_CurrentRegion(benchmark::State& state) {
  mem::MemoryApplication app;
  mem::MemoryWorkbook& book = load(app);
  const lczs::host::Worksheet& ws = book.mem_sheet(1);
  const Table& t = table();
  double host_time = 0, vector_time = 0;
  int sink = 0;
  for (auto _ : state) {
    auto t0 = CpuClock::now();
    Area a = ws.current_region(1, 1);
    auto t1 = CpuClock::now();
    // The table's own: rows until an all-empty row, columns until an
    // all-empty column.
    int rows = 0, cols = 0;
    for (const auto& row : t) {
      bool any = false;
      for (std::size_t c = 0; c < row.size(); ++c)
        if (!row[c].is_empty()) {
          any = true;
          cols = std::max(cols, static_cast<int>(c) + 1);
        }
      if (!any) break;
      ++rows;
    }
    auto t2 = CpuClock::now();
    if (a.bottom != rows || a.right != cols) state.SkipWithError("regions differ");
    sink += a.bottom + rows;
    host_time += seconds(t0, t1);
    vector_time += seconds(t1, t2);
  }
  benchmark::DoNotOptimize(sink);
  state.counters["x_vector"] = host_time / vector_time;
}
BENCHMARK(BM_CurrentRegion)->Unit(benchmark::kMillisecond);

// The class-division search's host work: exchange two student rows through
// a scratch row (copy, paste, clear), then read every class average
// (AVERAGEA over a fixed block of rows per class and subject).
void BM_ExchangeAndAverages(benchmark::State& state) {
  constexpr int kStudents = 3000, kClasses = 10, kSubjects = 9, kFirst = 2;
  constexpr int kSize = kStudents / kClasses;
  constexpr int kScratch = kStudents + 4, kStats = kStudents + 10;
  mem::MemoryApplication app;
  mem::MemoryWorkbook& book = app.new_workbook();
  mem::MemoryWorksheet& ws = book.mem_sheet(1);
  std::mt19937 rng(3);
  std::vector<std::vector<double>> t(kStudents, std::vector<double>(kSubjects));
  for (int r = 0; r < kStudents; ++r)
    for (int c = 0; c < kSubjects; ++c) {
      t[r][c] = static_cast<double>(rng() % 1000) / 10;
      ws.set_value(kFirst + r, 5 + c, Value::number(t[r][c]));
    }
  for (int k = 0; k < kClasses; ++k)
    for (int c = 0; c < kSubjects; ++c) {
      Area block{kFirst + k * kSize, 5 + c, kFirst + (k + 1) * kSize - 1, 5 + c};
      ws.set_formula(Area::cell(kStats + k, 5 + c), "=AVERAGEA(" + lczs::host::address(block) + ")");
    }
  double host_time = 0, vector_time = 0, sink = 0;
  for (auto _ : state) {
    int i = kFirst + static_cast<int>(rng() % kStudents), j = kFirst + static_cast<int>(rng() % kStudents);
    auto t0 = CpuClock::now();
    app.copy(ws, Area::rows(i, i));
    app.paste(ws, {kScratch, 1});
    app.copy(ws, Area::rows(j, j));
    app.paste(ws, {i, 1});
    app.copy(ws, Area::rows(kScratch, kScratch));
    app.paste(ws, {j, 1});
    app.end_copy_mode();
    ws.clear_contents(Area::rows(kScratch, kScratch));
    for (int k = 0; k < kClasses; ++k)
      for (int c = 0; c < kSubjects; ++c) sink += ws.value(kStats + k, 5 + c).as_number();
    auto t1 = CpuClock::now();
    std::swap(t[static_cast<std::size_t>(i - kFirst)], t[static_cast<std::size_t>(j - kFirst)]);
    for (int k = 0; k < kClasses; ++k)
      for (int c = 0; c < kSubjects; ++c) {
        double sum = 0;
        for (int r = k * kSize; r < (k + 1) * kSize; ++r) sum += t[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
        sink += sum / kSize;
      }
    auto t2 = CpuClock::now();
    host_time += seconds(t0, t1);
    vector_time += seconds(t1, t2);
  }
  benchmark::DoNotOptimize(sink);
  state.counters["x_vector"] = host_time / vector_time;
}
BENCHMARK(BM_ExchangeAndAverages)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
