// Reading and writing a workbook of 30,000 students x 15 columns (学号, 姓名,
// 班级 and twelve scores, a formatted header row), as .xlsx, and reading it
// as .csv. bench/io_vs_openpyxl.sh runs this and openpyxl on the same file
// and prints the ratios.
//
// LCZS_IO_BENCH_DIR: where the files go (default: the system's temp folder);
// the .xlsx stays there as io_bench.xlsx for the comparison.
//
// For whole-process timing, `io_bench write PATH` builds the workbook and
// saves it once, and `io_bench read PATH` loads a file once and prints its
// cell count; anything else runs the benchmarks.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "io/internal.h"
#include "io/io.h"

namespace {

namespace fs = std::filesystem;
using lczs::host::Value;
namespace mem = lczs::memory;

constexpr int kRows = 30000;
constexpr int kSubjects = 12;

std::string bench_dir() {
  const char* d = std::getenv("LCZS_IO_BENCH_DIR");
  return d != nullptr ? d : fs::temp_directory_path().string();
}

// The same values bench/io_vs_openpyxl.sh makes for openpyxl.
mem::WorkbookData make_book() {
  static const char* surnames[] = {"张", "李", "王", "刘", "陈", "杨", "赵", "黄", "周", "吴"};
  static const char* given[] = {"伟", "芳", "娜", "敏", "静", "丽", "强", "磊", "军", "洋", "勇", "艳"};
  mem::WorkbookData book;
  auto sheet = std::make_unique<mem::SheetData>();
  sheet->name = "成绩";
  mem::Format header;
  header.font.bold = true;
  header.alignment.horizontal = lczs::host::HAlign::Center;
  header.borders.bottom.style = lczs::host::LineStyle::Continuous;
  mem::FormatId hid = book.formats.intern(header);
  mem::Format score;
  score.number_format = "0.0";
  mem::FormatId sid = book.formats.intern(score);
  auto put = [&](int r, int c, Value v, mem::FormatId f) {
    mem::Cell cell;
    cell.value = std::move(v);
    cell.format = f;
    sheet->put(r, c, std::move(cell));
  };
  put(1, 1, Value::text("学号"), hid);
  put(1, 2, Value::text("姓名"), hid);
  put(1, 3, Value::text("班级"), hid);
  for (int s = 0; s < kSubjects; ++s) put(1, 4 + s, Value::text("科目" + std::to_string(s + 1)), hid);
  for (int i = 0; i < kRows; ++i) {
    int r = i + 2;
    put(r, 1, Value::number(20240000 + i), 0);
    put(r, 2, Value::text(std::string(surnames[i % 10]) + given[(i / 10) % 12] + given[(i / 120) % 12]), 0);
    put(r, 3, Value::text("高一(" + std::to_string(i % 12 + 1) + ")班"), 0);
    for (int s = 0; s < kSubjects; ++s) put(r, 4 + s, Value::number(((i * 7 + s * 13) % 100) + 0.5 * ((i + s) % 2)), sid);
  }
  sheet->columns[2].width = 10;
  book.sheets.push_back(std::move(sheet));
  return book;
}

const std::string& xlsx_path() {
  static const std::string path = [] {
    std::string p = bench_dir() + "/io_bench.xlsx";
    lczs::io::write_xlsx(make_book(), p);
    return p;
  }();
  return path;
}

void BM_WriteXlsx(benchmark::State& state) {
  const mem::WorkbookData book = make_book();
  std::string path = bench_dir() + "/io_bench_write.xlsx";
  for (auto _ : state) lczs::io::write_xlsx(book, path);
  fs::remove(path);
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_WriteXlsx)->Unit(benchmark::kMillisecond)->UseRealTime();

// Making the package, its pieces checked and compressed by the workers as
// they are made: BM_WriteXlsx without the file and its read-back.
void BM_MakePackage(benchmark::State& state) {
  const mem::WorkbookData book = make_book();
  for (auto _ : state) benchmark::DoNotOptimize(lczs::io::detail::make_package(book, "io_bench").bytes.size());
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_MakePackage)->Unit(benchmark::kMillisecond)->UseRealTime();

// The read-back every save makes before its rename, alone: its share of
// BM_WriteXlsx.
void BM_VerifyXlsx(benchmark::State& state) {
  const std::string path = bench_dir() + "/io_bench_verify.xlsx";
  lczs::io::detail::MadePackage made = lczs::io::detail::make_package(make_book(), path);
  std::ofstream(path, std::ios::binary) << made.bytes;
  for (auto _ : state) lczs::io::detail::verify_package(path, path, made.parts);
  fs::remove(path);
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_VerifyXlsx)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadXlsx(benchmark::State& state) {
  const std::string& path = xlsx_path();
  for (auto _ : state) {
    mem::WorkbookData book = lczs::io::read_xlsx(path);
    benchmark::DoNotOptimize(book.sheets[0]->cell_count());
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_ReadXlsx)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadCsv(benchmark::State& state) {
  std::string path = bench_dir() + "/io_bench.csv";
  {
    mem::WorkbookData book = make_book();
    std::ofstream out(path, std::ios::binary);
    const auto& s = *book.sheets[0];
    for (int r = 1; r <= s.max_row(); ++r) {
      for (int c = 1; c <= s.max_col(); ++c) {
        if (c > 1) out << ',';
        if (const mem::Cell* cell = s.get(r, c)) out << cell->value.display_text();
      }
      out << "\r\n";
    }
  }
  for (auto _ : state) {
    mem::WorkbookData book = lczs::io::read_csv(path);
    benchmark::DoNotOptimize(book.sheets[0]->cell_count());
  }
  fs::remove(path);
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_ReadCsv)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "write") == 0) {
    lczs::io::write_xlsx(make_book(), argv[2]);
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "read") == 0) {
    mem::WorkbookData book = lczs::io::read_workbook(argv[2]);
    std::size_t cells = 0;
    for (const auto& sheet : book.sheets) cells += sheet->cell_count();
    std::printf("%zu\n", cells);
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
