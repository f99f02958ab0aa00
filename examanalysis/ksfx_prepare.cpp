// Checks before the run, data preparation, the split into sat and absent
// students, totals and ranks.
#include <algorithm>
#include <set>

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

std::string cell_name(int row, int col) { return host::address(Area::cell(row, col), false); }

std::string quoted_sheet(const host::Worksheet& sheet) { return "工作表“" + sheet.name() + "”"; }

// " 不是数字（“缺考”）". A number stored as text looks like a number on the
// screen, so saying only that it is not one would puzzle the user.
std::string not_a_number(const Value& v) {
  const std::string shown = v.display_text();
  if (v.is_text() && host::parse_user_number(shown))
    return " 是以文本存放的“" + shown + "”，不是数字";
  return " 不是数字（“" + shown + "”）";
}

}  // namespace

KsSurvey ksfx_survey(host::Worksheet& sheet, const std::vector<bool>* elective) {
  KsSurvey s;
  const std::string where = quoted_sheet(sheet);
  Area region = sheet.current_region(1, 1);
  if (sheet.value(1, 1).is_empty() && region.is_single_cell()) region = Area::cell(1, 1);
  s.students = region.bottom - 1;
  s.subjects = region.right - 3;
  if (s.students <= 0) {
    s.problem = where + "从A1开始的表格中没有学生，请按格式整理后再运行。";
    return s;
  }
  if (s.subjects <= 0) {
    s.problem = where + "的表格在班级、学号、姓名之后没有学科成绩列，请按格式整理后再运行。";
    return s;
  }
  std::set<double> classes;
  std::vector<bool> complete(s.students, true);
  auto chosen_only = [&](int c) { return elective && (*elective)[c - 4]; };
  const ValueGrid table = sheet.values(Area{2, 1, s.students + 1, 3 + s.subjects});
  for (int r = 2; r <= s.students + 1; ++r) {
    const Value& code = table.at(r - 2, 0);
    if (!code.is_number() && s.problem.empty()) {
      s.problem = where + "的单元格 " + cell_name(r, 1) +
                  (code.is_empty() ? " 是空的" : not_a_number(code)) +
                  "，班级必须是数字，请处理后再运行。";
    }
    if (code.is_number()) classes.insert(code.as_number());
    for (int c = 4; c <= 3 + s.subjects; ++c) {
      const Value& v = table.at(r - 2, c - 1);
      if (v.is_empty()) {
        s.has_blank = true;
        if (!chosen_only(c)) complete[r - 2] = false;
      } else if (!v.is_number()) {
        if (s.problem.empty())
          s.problem = where + "的单元格 " + cell_name(r, c) + not_a_number(v) +
                      "，成绩必须是数字或空着，请处理后再运行。";
      } else if (v.as_number() == 0) {
        complete[r - 2] = false;
      }
    }
  }
  s.classes.assign(classes.begin(), classes.end());
  // A genuine 0 only counts as missing when some score is empty.
  s.sat = s.has_blank ? static_cast<int>(std::count(complete.begin(), complete.end(), true))
                      : s.students;
  if (s.problem.empty() && s.sat == 0)
    s.problem = where + "中没有一名学生各科都有成绩，无法排名，请处理后再运行。";
  return s;
}

const KsSurvey& Ksfx::survey() {
  if (!survey_) {
    const ExamPlan& p = plan();
    survey_ = std::make_unique<KsSurvey>(ksfx_survey(*work_sheet, p.electives ? &p.elective : nullptr));
  }
  return *survey_;
}

std::string Ksfx::ksfx_check_workbook() {
  // Sheets the run would make: naming a new sheet after one of them would
  // fail half way through.
  std::vector<std::string> made = {kSheetAll, kSheetSat, kSheetAbsent, kSheetBands,
                                   kSheetAverages, kSheetCover};
  int top = 0, bottom = 0;
  for (int k = 1; k <= 6; ++k) {
    int n = static_cast<int>(st_.ks_band_input[k]);
    (k <= 3 ? top : bottom) = std::max(k <= 3 ? top : bottom, n);
  }
  if (top > 0) made.push_back(ksfx_extract_name(true, top));
  if (bottom > 0) made.push_back(ksfx_extract_name(false, bottom));
  rates_on_ = rates_requested_ || settings_sheet() != nullptr;
  if (rates_on_) made.insert(made.end(), {kSheetSubjects, kSheetBandCounts, kSheetCharts});
  if (plan().grading) made.push_back(kSheetGrading);
  const bool lines_on = companion_sheet(kSheetLines) != nullptr;
  if (lines_on) {
    made.push_back(kSheetLineReport);
    if (!rates_on_) made.push_back(kSheetCharts);
  }
  const bool progress_on = companion_sheet(kSheetPrevious) != nullptr;
  if (progress_on) made.push_back(kSheetProgress);
  // The data sheet itself is renamed 原始数据 before any of them is made.
  for (const std::string& name : made) {
    host::Worksheet* taken = work_book->find_sheet(name);
    if (taken && taken->index() != work_sheet->index())
      return "工作簿中已有工作表“" + name + "”（可能是上次分析的结果），请删除或改名后再运行。";
  }
  if (host::Worksheet* raw = work_book->find_sheet(kSheetRaw);
      raw && raw->index() != work_sheet->index())
    return std::string("工作簿中已有工作表“") + kSheetRaw + "”，而当前工作表是“" +
           work_sheet->name() + "”，请删除或改名后再运行。";

  if (!plan().problem.empty()) return plan().problem;
  const KsSurvey& s = survey();
  if (!s.problem.empty()) return s.problem;
  // Lines are checked against the total's 满分, which the figures' settings
  // give (or default).
  if (rates_on_ || lines_on || progress_on) {
    std::string problem = ksfx_collect_rates();
    if (problem.empty() && plan().grading) problem = ksfx_collect_grading();
    if (problem.empty() && lines_on) problem = ksfx_collect_lines();
    if (problem.empty() && progress_on) problem = ksfx_collect_progress();
    if (!problem.empty()) return problem;
  }

  // Every row the run writes must stay within the sheet.
  const long long n = s.students, t = s.sat, c = static_cast<long long>(s.classes.size());
  const long long absent = s.has_blank ? n - t : 0;
  long long largest = n + 1;
  if (absent > 0) largest = std::max(largest, n + 10 + absent - 1);
  largest = std::max(largest, t + 12 + c + 1);
  largest = std::max(largest, 2 + c + 1 + 2 + c + (absent > 0 ? 2 + absent : 0));
  if (largest > host::kMaxRows)
    return quoted_sheet(*work_sheet) + "有" + host::int_text(n) + "名学生，分析要用到第" +
           host::int_text(largest) + "行，超过了工作表的" + host::int_text(host::kMaxRows) +
           "行，请分开处理后再运行。";
  return "";
}

void Ksfx::ksfx_prepare() {
  step_ = "准备原始数据";
  host_app.set_display_alerts(false);
  host::Worksheet& first = work_book->sheet(1);
  if (work_sheet->index() != 1) work_book->move_sheet_before(*work_sheet, first);
  host::Worksheet& raw = work_book->sheet(1);
  raw.activate();
  raw.set_name(kSheetRaw);
  work_sheet = &raw;

  host::Worksheet& all = work_book->copy_sheet_after(raw, raw);
  all.activate();
  all.set_name(kSheetAll);
  work_sheet = &all;

  Area region = all.current_region(1, 1);
  st_.ks_student_count = region.row_count() - 1;
  const int n = st_.ks_student_count;
  const int cols = region.col_count();
  const int id = st_.ks_id_cols;
  if (n > 0 && cols > id) {
    // Only the empty scores are written: the rest of the table stays as the
    // user typed it.
    const ValueGrid scores = all.values(Area{2, id + 1, n + 1, cols});
    const ExamPlan& p = plan();
    for (int r = 2; r <= n + 1; ++r) {
      for (int c = id + 1; c <= cols; ++c) {
        // An elective left empty was not chosen: it stays empty.
        if (p.electives && p.elective[c - id - 1]) continue;
        if (scores.at(r - 2, c - id - 1).is_empty()) {
          all.set_value(r, c, Value::number(0));
          st_.ks_has_absent = true;
        }
      }
    }
  }
  // With electives a 0 makes a student absent whenever some score is empty,
  // also where no required score is.
  if (plan().electives) st_.ks_has_absent = survey().sat < survey().students;
  all.select(region);
  all.sort(region, SortSpec{.key1 = {1, SortOrder::Descending}, .header = SortHeader::Yes});

  // One table row per class code that occurs, whatever the gaps between codes.
  // The last student always closes a class: the empty cell below would equal
  // a code of 0.
  class_codes_.clear();
  int classes = 0;
  const ValueGrid codes = all.values(Area{2, 1, n + 1, 1});
  for (int r = 2; r <= n + 1; ++r) {
    const Value& code = codes.at(r - 2, 0);
    if (r == n + 1 || !code.vba_equals(codes.at(r - 1, 0))) {
      ++classes;
      class_codes_.push_back(code.as_number());
    }
  }
  std::reverse(class_codes_.begin(), class_codes_.end());
  st_.ks_class_count = st_.ks_class_count + classes;

  ksfx_analyse();
}

void Ksfx::ksfx_analyse() {
  step_ = "分出实考和缺考学生";
  host::Worksheet& all = *work_sheet;
  host::Worksheet& sat = work_book->copy_sheet_after(all, all);
  sat.activate();
  sat.set_name(kSheetSat);
  work_sheet = &sat;

  const int id = st_.ks_id_cols;
  const int n = st_.ks_student_count;
  st_.ks_subject_count = sat.current_region(1, 1).col_count() - id;
  const int s = st_.ks_subject_count;

  if (st_.ks_has_absent) {
    host::Worksheet& absent = work_book->add_sheet();
    absent.set_name(kSheetAbsent);
    work_book->move_sheet_before(sat, absent);

    sat.activate();
    sat.select(Area::rows(1, 1));
    host_app.copy(sat, Area::rows(1, 1));
    absent.activate();
    absent.select(Area::cell(1, 1));
    host_app.paste(absent, {1, 1});
    sat.activate();
    host_app.end_copy_mode();

    Area region = sat.current_region(1, 1);
    sat.sort(region, SortSpec{.key1 = {1, SortOrder::Ascending},
                              .key2 = SortKey{2, SortOrder::Ascending},
                              .header = SortHeader::Yes});

    // Park every student with a missing (0) score below the table, keeping
    // class and student-number order, then move them to 年级缺考.
    const int park = n + 10;
    int p = park;
    // Moving a row out changes no row read later, so one read serves all.
    const ValueGrid scores = sat.values(Area{2, id + 1, n + 1, id + s});
    for (int i = 2; i <= n + 1; ++i) {
      for (int c = id + 1; c <= id + s; ++c) {
        const Value& score = scores.at(i - 2, c - id - 1);
        if (score.is_empty() && plan().electives && plan().elective[c - id - 1]) continue;
        if (score.vba_equals(Value::number(0))) {
          host_app.copy(sat, Area::rows(i, i));
          host_app.paste(sat, {p, 1});
          sat.clear_contents(Area::rows(i, i));
          host_app.end_copy_mode();
          ++p;
          break;
        }
      }
    }
    if (p > park) {
      Area parked = sat.current_region(park, 1);
      host_app.copy(sat, parked);
      absent.activate();
      host_app.paste(absent, {2, 1});
      host_app.end_copy_mode();
      sat.activate();
      sat.delete_cells(sat.current_region(park, 1), host::Shift::Auto);
    }
  }

  // Close the gaps left by the parked rows: emptied rows sort last.
  sat.sort(Area{2, 1, n + 1, id + s}, SortSpec{.key1 = {1, SortOrder::Descending},
                                               .header = SortHeader::No});
  st_.ks_sat_count = sat.current_region(1, 1).row_count() - 1;
  const int t = st_.ks_sat_count;
  if (st_.ks_has_absent) {
    if (n > t) sat.delete_cells(Area{t + 2, 1, n + 1, id + s}, host::Shift::Auto);
    st_.ks_absent_count = n - t;
  } else {
    st_.ks_absent_count = 0;
  }

  ksfx_rank_students(sat, t, id, s);
  if (plan().grading) ksfx_graded_columns(sat, t, id, s);
  if (lines_) ksfx_keep_present(sat, t, id, s);
  if (rates_on_) {
    sat_codes_.clear();
    sat_totals_.clear();
    if (t > 0) {
      const host::ValueGrid codes = sat.values(Area{2, 1, t + 1, 1});
      const host::ValueGrid totals = sat.values(Area{2, id + s + 1, t + 1, id + s + 1});
      for (int i = 0; i < t; ++i) {
        sat_codes_.push_back(codes.at(i, 0).as_number());
        sat_totals_.push_back(totals.at(i, 0).as_number());
      }
    }
  }

  bool any = false;
  for (int k = 1; k <= 6; ++k) {
    st_.ks_band_sizes[k] = host::to_int32(st_.ks_band_input[k]);
    if (st_.ks_band_sizes[k] > 0) any = true;
  }
  st_.ks_has_bands = any;

  if (st_.ks_has_bands) {
    ksfx_count_bands(sat, t, st_.ks_band_sizes, st_.ks_class_count, s, id);
    ksfx_move_block(sat, kSheetBands, t, st_.ks_block_gap);
  }
  ksfx_subject_averages(sat, t, st_.ks_block_gap, s, st_.ks_class_count, id);
  ksfx_move_block(sat, kSheetAverages, t, st_.ks_block_gap);

  if (st_.ks_has_bands) {
    // The first of equal largest sizes wins; only a strictly greater one replaces it.
    int top = st_.ks_band_sizes[1], bottom = st_.ks_band_sizes[4];
    for (int k = 2; k <= 3; ++k)
      if (st_.ks_band_sizes[k] > top) top = st_.ks_band_sizes[k];
    for (int k = 5; k <= 6; ++k)
      if (st_.ks_band_sizes[k] > bottom) bottom = st_.ks_band_sizes[k];
    if (top > 0) ksfx_rank_extract(sat, ksfx_extract_name(true, top), top, id, s);
    if (bottom > 0) ksfx_rank_extract(sat, ksfx_extract_name(false, bottom), -bottom, id, s);
  }

  host::Worksheet& averages = work_book->sheet(kSheetAverages);
  ksfx_average_format(averages);
  for (int i = 1; i <= work_book->sheet_count(); ++i) ksfx_format_sheet(work_book->sheet(i));
  ksfx_paginate(sat);
  ksfx_title_row(averages);
  // Title, header, one row per class and the grade row.
  averages_end_ = st_.ks_class_count + 3;
  if (st_.ks_has_bands) ksfx_title_row(work_book->sheet(kSheetBands));
  if (st_.ks_has_absent) ksfx_title_row(work_book->sheet(kSheetAbsent));
  if (st_.ks_has_bands) ksfx_append_to_averages(averages, kSheetBands);
  if (st_.ks_has_absent) ksfx_append_to_averages(averages, kSheetAbsent);
  if (rates_on_) ksfx_rate_sheets();
  if (plan().grading) ksfx_grading_sheet();
  if (lines_) ksfx_line_sheet();
  if (options_) ksfx_progress_sheet();
  work_sheet = &sat;
}

void Ksfx::ksfx_rank_students(host::Worksheet& sheet, int sat_count, int id_cols,
                              int subject_count) {
  step_ = "计算总分和名次";
  const int t = sat_count;
  const int k = id_cols + subject_count;
  sheet.activate();
  sheet.set_value(1, k + 1, Value::text("总分"));
  sheet.set_value(1, k + 2, Value::text("班名次"));
  sheet.set_value(1, k + 3, Value::text("年级名次"));
  {
    const ValueGrid scores = sheet.values(Area{2, id_cols + 1, t + 1, k});
    ValueGrid totals(t, 1);
    for (int i = 0; i < t; ++i) {
      double sum = 0;
      for (int c = 0; c < subject_count; ++c) sum += scores.at(i, c).as_number();
      totals.at(i, 0) = Value::number(sum);
    }
    sheet.write_values({2, k + 1}, totals);
  }

  Area region = sheet.current_region(1, 1);
  sheet.select(region);
  sheet.sort(region, SortSpec{.key1 = {k + 1, SortOrder::Descending}, .header = SortHeader::Yes});
  // Equal totals share the better rank; the next lower total takes its
  // position (600, 590, 590, 580 -> 1, 2, 2, 4).
  {
    const ValueGrid totals = sheet.values(Area{2, k + 1, t + 1, k + 1});
    ValueGrid ranks(t, 1);
    ranks.at(0, 0) = Value::number(1);
    double prev_total = totals.at(0, 0).as_number();
    double prev_rank = 1;
    for (int i = 3; i <= t + 1; ++i) {
      double total = totals.at(i - 2, 0).as_number();
      if (total < prev_total) prev_rank = i - 1;
      ranks.at(i - 2, 0) = Value::number(prev_rank);
      prev_total = total;
    }
    sheet.write_values({2, k + 3}, ranks);
  }

  region = sheet.current_region(1, 1);
  sheet.sort(region, SortSpec{.key1 = {1, SortOrder::Ascending},
                              .key2 = SortKey{k + 1, SortOrder::Descending},
                              .header = SortHeader::Yes});
  const ValueGrid rows = sheet.values(Area{2, 1, t + 1, k + 1});
  ValueGrid ranks(t, 1);
  ranks.at(0, 0) = Value::number(1);
  int pos = 2;
  double rank = 1;
  double prev_total = rows.at(0, k).as_number();
  const Value* prev_class = &rows.at(0, 0);
  for (int i = 3; i <= t + 1; ++i) {
    const Value& code = rows.at(i - 2, 0);
    double total = rows.at(i - 2, k).as_number();
    if (code.vba_equals(*prev_class)) {
      if (total < prev_total) rank = pos;
      ++pos;
    } else {
      rank = 1;
      pos = 2;
    }
    ranks.at(i - 2, 0) = Value::number(rank);
    prev_class = &code;
    prev_total = total;
  }
  sheet.write_values({2, k + 2}, ranks);
}

}  // namespace lczs::examanalysis
