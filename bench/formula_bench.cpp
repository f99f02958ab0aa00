// The formula engine on the class-division workload: class averages over
// fixed row blocks, re-evaluated after every exchange of two rows.
#include <benchmark/benchmark.h>

#include <map>
#include <utility>

#include "model/formula.h"

namespace {

namespace f = lczs::memory::formula;
using lczs::host::Area;
using lczs::host::Value;

// One sheet of scores in row-ordered storage, like the model's.
class Scores : public f::Resolver {
 public:
  explicit Scores(int rows) {
    for (int r = 2; r <= rows + 1; ++r)
      for (int c = 4; c <= 12; ++c) cells_[r][c] = Value::number(40 + (r * 7 + c * 13) % 61 + 0.5);
  }
  Value cell(std::string_view, int row, int col) const override {
    auto r = cells_.find(row);
    if (r == cells_.end()) return Value();
    auto c = r->second.find(col);
    return c == r->second.end() ? Value() : c->second;
  }
  void for_each_in(std::string_view, const Area& a,
                   const std::function<void(int, int, const Value&)>& fn) const override {
    for (auto r = cells_.lower_bound(a.top); r != cells_.end() && r->first <= a.bottom; ++r)
      for (auto c = r->second.lower_bound(a.left); c != r->second.end() && c->first <= a.right; ++c)
        fn(r->first, c->first, c->second);
  }
  bool sheet_exists(std::string_view) const override { return true; }
  double today_serial() const override { return 46363; }

 private:
  std::map<int, std::map<int, Value>> cells_;
};

void BM_ClassAverageParsedOnce(benchmark::State& state) {
  Scores book(800);
  auto p = f::parse("AVERAGEA($E$2:$E$41)");
  for (auto _ : state) benchmark::DoNotOptimize(f::evaluate(*p, 900, 5, book));
}
BENCHMARK(BM_ClassAverageParsedOnce);

void BM_ClassAverageFromText(benchmark::State& state) {
  Scores book(800);
  for (auto _ : state) benchmark::DoNotOptimize(f::evaluate("AVERAGEA($E$2:$E$41)", 900, 5, book));
}
BENCHMARK(BM_ClassAverageFromText);

void BM_GradeAverage800(benchmark::State& state) {
  Scores book(800);
  auto p = f::parse("AVERAGEA($E$2:$E$801)");
  for (auto _ : state) benchmark::DoNotOptimize(f::evaluate(*p, 900, 5, book));
}
BENCHMARK(BM_GradeAverage800);

void BM_TranslateRowFormula(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(f::translate("SUM(D2:F2)/3+$E$1", 17, 0));
}
BENCHMARK(BM_TranslateRowFormula);

void BM_RowsInserted(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(f::on_rows_inserted("AVERAGEA($E$2:$E$41)", "成绩", "成绩", 5, 1));
}
BENCHMARK(BM_RowsInserted);

}  // namespace

BENCHMARK_MAIN();
