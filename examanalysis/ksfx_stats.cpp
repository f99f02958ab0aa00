// Rank-band counts, per-class subject averages, and the top and bottom
// extract sheets.
#include <algorithm>
#include <cmath>

#include "examanalysis/ksfx.h"
#include "host/numbers.h"

namespace lczs::examanalysis {

using host::Area;
using host::SortHeader;
using host::SortKey;
using host::SortOrder;
using host::SortSpec;
using host::Value;
using host::ValueGrid;

namespace {

// Row (from 0) of a class code in the ascending list of codes.
int class_row(const std::vector<double>& codes, double code) {
  auto it = std::lower_bound(codes.begin(), codes.end(), code);
  if (it == codes.end() || *it != code) return -1;
  return static_cast<int>(it - codes.begin());
}

// The class codes as one column.
ValueGrid code_column(const std::vector<double>& codes, int count) {
  ValueGrid grid(count, 1);
  for (int i = 0; i < count; ++i) grid.at(i, 0) = Value::number(codes[i]);
  return grid;
}

}  // namespace

void Ksfx::ksfx_count_bands(host::Worksheet& sheet, int sat_count,
                            const std::array<int, 7>& band_sizes, int class_count,
                            int subject_count, int id_cols) {
  step_ = "统计各班各名次段人数";
  const int t = sat_count;
  const int total_col = id_cols + subject_count + 1;
  sheet.activate();
  Area region = sheet.current_region(1, 1);
  sheet.select(region);
  sheet.sort(region, SortSpec{.key1 = {1, SortOrder::Ascending}, .header = SortHeader::Yes});

  const int r0 = t + st_.ks_block_gap;
  sheet.set_value(r0, 1, Value::text("班级"));
  for (int k = 1; k <= 6; ++k)
    sheet.set_value(r0, k + 1,
                    Value::text((k < 4 ? "前" : "后") + host::int_text(band_sizes[k]) + "名"));
  if (class_count > 0) sheet.write_values({r0 + 1, 1}, code_column(class_codes_, class_count));

  // Stable: equal totals stay in ascending class order, so ties at a cut go
  // to the lower class codes.
  region = sheet.current_region(1, 1);
  sheet.sort(region, SortSpec{.key1 = {total_col, SortOrder::Descending},
                              .header = SortHeader::Yes});

  // One pass over the ranked list: position p (from 1) is in top band k when
  // p <= n_k and in bottom band k when p > T - n_k.
  std::vector<std::array<int, 7>> counts(class_count, std::array<int, 7>{});
  const ValueGrid ranked = sheet.values(Area{2, 1, t + 1, 1});
  for (int p = 1; p <= t; ++p) {
    int row = class_row(class_codes_, ranked.at(p - 1, 0).as_number());
    if (row < 0) continue;
    for (int k = 1; k <= 6; ++k) {
      int n = band_sizes[k];
      bool in = k < 4 ? p <= n : p > t - n;
      if (n > 0 && in) ++counts[row][k];
    }
  }
  if (class_count > 0) {
    ValueGrid table(class_count, 6);
    for (int i = 0; i < class_count; ++i)
      for (int k = 1; k <= 6; ++k) table.at(i, k - 1) = Value::number(counts[i][k]);
    sheet.write_values({r0 + 1, 2}, table);
  }

  for (int c = 7; c >= 2; --c) {
    if (band_sizes[c - 1] != 0) continue;
    Area column{r0, c, r0 + class_count, c};
    sheet.select(column);
    sheet.delete_cells(column, host::Shift::Left);
  }
}

void Ksfx::ksfx_move_block(host::Worksheet& sheet, const std::string& sheet_name, int sat_count,
                           int block_gap) {
  step_ = "把统计表移到工作表“" + sheet_name + "”";
  host::Worksheet& target = work_book->add_sheet();
  target.set_name(sheet_name);
  sheet.activate();
  const int r0 = sat_count + block_gap;
  sheet.select(Area::cell(r0, 1));
  Area block = sheet.current_region(r0, 1);
  sheet.select(block);
  host_app.cut(sheet, block);
  host::Worksheet& dest = work_book->sheet(sheet_name);
  dest.activate();
  dest.select(Area::cell(1, 1));
  host_app.paste(dest, {1, 1});
}

void Ksfx::ksfx_subject_averages(host::Worksheet& sheet, int sat_count, int block_gap,
                                 int subject_count, int class_count, int id_cols) {
  step_ = "计算各班各科均分";
  const int t = sat_count;
  const int s = subject_count;
  const int first = id_cols + 1;  // first subject column
  sheet.activate();
  Area region = sheet.current_region(1, 1);
  sheet.select(region);
  sheet.sort(region, SortSpec{.key1 = {1, SortOrder::Ascending}, .header = SortHeader::Yes});

  const int r0 = t + block_gap;
  sheet.set_value(r0, 1, Value::text("班级"));
  sheet.set_value(r0, 2, Value::text("人数"));
  Area headers{1, first, 1, first + s};
  sheet.select(headers);
  host_app.copy(sheet, headers);
  sheet.select(Area::cell(r0, 3));
  host_app.paste(sheet, {r0, 3});
  host_app.end_copy_mode();

  if (class_count > 0) sheet.write_values({r0 + 1, 1}, code_column(class_codes_, class_count));

  // Class averages sum in single precision, as the report always has; each
  // class's numbers go on its own code's row, and a class nobody of which
  // sat every subject keeps a count of 0 and no averages.
  std::vector<int> sizes(class_count, 0);
  std::vector<std::vector<float>> acc(class_count, std::vector<float>(s + 1, 0.0f));
  std::vector<long double> grade(s + 1, 0.0L);
  // An elective's averages are over those who took it: per class and column,
  // and for the grade.
  const ExamPlan& p = plan();
  std::vector<std::vector<int>> takers(class_count, std::vector<int>(s + 1, 0));
  std::vector<int> grade_takers(s + 1, 0);
  const ValueGrid rows = sheet.values(Area{2, 1, t + 1, first + s});
  for (int m = 2; m <= t + 1; ++m) {
    int row = class_row(class_codes_, rows.at(m - 2, 0).as_number());
    for (int j = 0; j <= s; ++j) {
      const Value& cell = rows.at(m - 2, first - 1 + j);
      if (p.electives && j < s && p.elective[j] && cell.is_empty()) continue;
      double v = cell.as_number();
      grade[j] += v;
      ++grade_takers[j];
      if (row >= 0) {
        acc[row][j] = static_cast<float>(v + static_cast<double>(acc[row][j]));
        ++takers[row][j];
      }
    }
    if (row >= 0) ++sizes[row];
  }
  if (class_count > 0) {
    // A class of no one leaves its averages empty.
    ValueGrid table(class_count, s + 2);
    for (int i = 0; i < class_count; ++i) {
      table.at(i, 0) = Value::number(sizes[i]);
      if (sizes[i] == 0) continue;
      for (int j = 0; j <= s; ++j) {
        if (takers[i][j] == 0) continue;
        const float n = static_cast<float>(takers[i][j]);
        table.at(i, 1 + j) = Value::number(static_cast<double>(acc[i][j] / n));
      }
    }
    sheet.write_values({r0 + 1, 2}, table);
  }

  // The grade row holds the exact mean of every column.
  const int g = r0 + class_count + 1;
  sheet.set_value(g, 1, Value::text("年级均分"));
  sheet.set_value(g, 2, Value::number(t));
  ValueGrid means(1, s + 1);
  for (int j = 0; j <= s; ++j)
    if (grade_takers[j] > 0) means.at(0, j) = Value::number(static_cast<double>(grade[j] / grade_takers[j]));
  sheet.write_values({t + 2, first}, means);
  Area grade_row{t + 2, first, t + 2, first + s};
  sheet.select(grade_row);
  host_app.cut(sheet, grade_row);
  sheet.select(Area::cell(g, 3));
  host_app.paste(sheet, {g, 3});
  host_app.end_copy_mode();
}

void Ksfx::ksfx_rank_extract(host::Worksheet& sheet, const std::string& sheet_name,
                             int band_size, int id_cols, int subject_count) {
  step_ = "生成工作表“" + sheet_name + "”";
  host::Worksheet& extract = work_book->add_sheet();
  extract.set_name(sheet_name);
  extract_names_.push_back(sheet_name);

  sheet.activate();
  Area region = sheet.current_region(1, 1);
  sheet.select(region);
  sheet.sort(region, SortSpec{.key1 = {id_cols + subject_count + 1, SortOrder::Descending},
                              .header = SortHeader::Yes});
  region = sheet.current_region(1, 1);
  if (band_size >= 1) {
    const int k = band_size;
    Area rows = region.resize(k + 1, region.col_count());
    sheet.select(rows);
    host_app.copy(sheet, rows);
    extract.activate();
    extract.select(Area::cell(1, 1));
    host_app.paste(extract, {1, 1});
    host_app.end_copy_mode();
    sheet.activate();
  } else {
    const int k = -band_size;
    sheet.select(Area::rows(1, 1));
    host_app.copy(sheet, Area::rows(1, 1));
    extract.activate();
    extract.select(Area::cell(1, 1));
    host_app.paste(extract, {1, 1});
    host_app.end_copy_mode();
    sheet.activate();
    region = sheet.current_region(1, 1);
    Area rows = region.offset(region.row_count() - k, 0).resize(k, region.col_count());
    sheet.select(rows);
    host_app.copy(sheet, rows);
    extract.activate();
    extract.select(Area::cell(2, 1));
    host_app.paste(extract, {2, 1});
    host_app.end_copy_mode();
    sheet.activate();
  }
  host_app.end_copy_mode();

  extract.activate();
  extract.select(Area::cell(1, 1));
  Area listed = extract.current_region(1, 1);
  extract.sort(listed, SortSpec{.key1 = {1, SortOrder::Ascending},
                                .key2 = SortKey{2, SortOrder::Ascending},
                                .header = SortHeader::Yes});
  listed = extract.current_region(1, 1);
  const int w = listed.col_count();
  const int rows = listed.row_count();
  extract.set_value(1, w + 1, Value::text("人数"));
  // One merged 人数 cell over every run of rows of one class.
  int start = 2;
  const ValueGrid codes = extract.values(Area{2, 1, rows + 1, 1});
  Value current = codes.at(0, 0);
  for (int i = 2; i <= rows; ++i) {
    const Value& next = codes.at(i - 1, 0);
    // The empty cell below the list equals a class code of 0.
    if (i < rows && next.vba_equals(current)) continue;
    Area run{start, w + 1, i, w + 1};
    extract.select(run);
    extract.set_alignment(run, host::AlignmentPatch{.horizontal = host::HAlign::Center,
                                                     .vertical = host::VAlign::Bottom,
                                                     .wrap_text = false,
                                                     .orientation = 0,
                                                     .add_indent = false,
                                                     .shrink_to_fit = false,
                                                     .merge_cells = false});
    if (i > start) extract.merge(run);
    extract.set_value(start, w + 1, Value::number(i - start + 1));
    start = i + 1;
    current = next;
  }
}

}  // namespace lczs::examanalysis
