// What electives and 等级赋分 add to the report: the settings read before
// anything changes, the converted columns with 赋分总分 and its ranks on
// 年级实考, and the sheet 赋分对照 from which every converted score can be
// checked by hand.
#include <algorithm>
#include <cmath>
#include <numeric>

#include "examanalysis/ksfx.h"
#include "host/numbers.h"

namespace lczs::examanalysis {

using host::Area;
using host::Value;
using host::ValueGrid;

namespace {

constexpr double kColumnWidth = 10;
// Rows between two blocks of the sheet.
constexpr int kBlockGap = 1;
constexpr const char* kBandHeaders[] = {"等级",       "比例(%)",    "目标人数", "实际人数", "实际比例",
                                        "原始分最高", "原始分最低", "赋分上限", "赋分下限"};
constexpr const char* kPointHeaders[] = {"原始分", "人数", "累计人数", "累计比例", "等级", "赋分"};
constexpr int kBandColumns = static_cast<int>(std::size(kBandHeaders));
constexpr int kPointColumns = static_cast<int>(std::size(kPointHeaders));

// Shared ranks over `totals` (the highest 1; equal totals share the better
// rank, the next lower total takes its position), within the groups that
// `group` gives.
std::vector<int> shared_ranks(const std::vector<double>& totals, const std::vector<double>& group) {
  std::vector<int> order(totals.size());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](int a, int b) {
    if (group[a] != group[b]) return group[a] < group[b];
    return totals[a] > totals[b];
  });
  std::vector<int> rank(totals.size(), 0);
  int pos = 0;
  for (std::size_t i = 0; i < order.size(); ++i) {
    const int at = order[i];
    const bool new_group = i == 0 || group[order[i - 1]] != group[at];
    pos = new_group ? 1 : pos + 1;
    rank[at] = !new_group && totals[order[i - 1]] == totals[at] ? rank[order[i - 1]] : pos;
  }
  return rank;
}

}  // namespace

host::Worksheet* Ksfx::companion_sheet(const std::string& name) {
  host::Worksheet* s = work_book->find_sheet(name);
  return s && s->index() != work_sheet->index() ? s : nullptr;
}

const ExamPlan& Ksfx::plan() {
  if (plan_) return *plan_;
  host::Worksheet& data = *work_sheet;
  const Area region = data.current_region(1, 1);
  std::vector<std::string> subjects;
  for (int c = 4; c <= region.right; ++c) subjects.push_back(host::trim(data.value(1, c).display_text()));
  host::Worksheet* settings = settings_sheet();
  schemes_ = read_schemes(companion_sheet(kSheetSchemes));
  plan_ = std::make_unique<ExamPlan>(read_exam_plan(settings, subjects, schemes_));
  // The schemes sheet only matters to a book that converts scores; where it
  // does, its faults come before a name it may have been meant to define.
  if (plan_->scheme_col && !schemes_.problem.empty()) plan_->problem = schemes_.problem;
  return *plan_;
}

std::string Ksfx::ksfx_collect_grading() {
  const ExamPlan& p = plan();
  const bool zero_is_absent = survey().has_blank;
  gradings_.assign(student_scores_.size(), Grading{});
  for (std::size_t j = 0; j < student_scores_.size(); ++j) {
    if (p.scheme[j] < 0) continue;
    const GradingScheme& scheme = schemes_.schemes[p.scheme[j]];
    // Every student with a score in the subject, wherever else listed.
    std::vector<double> takers;
    for (double v : student_scores_[j])
      if (!std::isnan(v) && !(zero_is_absent && v == 0)) takers.push_back(v);
    if (takers.size() < scheme.bands.size())
      return "工作表“" + p.settings_name + "”第" + host::int_text(p.scheme_row[j]) + "行：赋分（单元格 " +
             host::address(Area::cell(p.scheme_row[j], p.scheme_col), false) + "）：" +
             rate_rules_.rules[j].subject + "只有" + host::int_text(static_cast<long long>(takers.size())) +
             "名考生，少于赋分方案“" + scheme.name + "”的" +
             host::int_text(static_cast<long long>(scheme.bands.size())) + "个等级，无法赋分，请修改后再运行。";
    gradings_[j] = grade_scores(std::move(takers), scheme);
  }
  return "";
}

void Ksfx::ksfx_graded_columns(host::Worksheet& sheet, int sat_count, int id_cols, int subject_count) {
  step_ = std::string("计算") + kGradedTotal;
  const ExamPlan& p = plan();
  const int t = sat_count;
  const int k = id_cols + subject_count;
  // Right of 总分, 班名次 and 年级名次.
  const int left = k + 4;
  std::vector<int> graded;
  for (int j = 0; j < subject_count; ++j)
    if (p.scheme[j] >= 0) graded.push_back(j);
  const int width = static_cast<int>(graded.size()) + 3;
  ValueGrid headers(1, width);
  for (std::size_t g = 0; g < graded.size(); ++g)
    headers.at(0, static_cast<int>(g)) =
        Value::text(host::trim(sheet.value(1, id_cols + 1 + graded[g]).display_text()) + kGradedSuffix);
  headers.at(0, width - 3) = Value::text(kGradedTotal);
  headers.at(0, width - 2) = Value::text("赋分班名次");
  headers.at(0, width - 1) = Value::text("赋分年级名次");
  sheet.write_values({1, left}, headers);
  if (t <= 0) return;

  const ValueGrid rows = sheet.values(Area{2, 1, t + 1, k});
  std::vector<double> totals(t, 0), codes(t, 0), everyone(t, 0);
  ValueGrid out(t, width);
  for (int i = 0; i < t; ++i) {
    codes[i] = rows.at(i, 0).as_number();
    std::size_t g = 0;
    for (int j = 0; j < subject_count; ++j) {
      const Value& raw = rows.at(i, id_cols + j);
      double score = raw.as_number();
      if (g < graded.size() && graded[g] == j) {
        // Every present student's score is one a taker has; a raw score
        // the conversion did not see would keep its raw value.
        const double converted = raw.is_number() ? gradings_[j].convert(raw.as_number()) : std::nan("");
        if (!std::isnan(converted)) {
          score = converted;
          out.at(i, static_cast<int>(g)) = Value::number(score);
        }
        ++g;
      }
      totals[i] += score;
    }
    out.at(i, width - 3) = Value::number(totals[i]);
  }
  const std::vector<int> class_rank = shared_ranks(totals, codes);
  const std::vector<int> grade_rank = shared_ranks(totals, everyone);
  for (int i = 0; i < t; ++i) {
    out.at(i, width - 2) = Value::number(class_rank[i]);
    out.at(i, width - 1) = Value::number(grade_rank[i]);
  }
  sheet.write_values({2, left}, out);
}

void Ksfx::ksfx_grading_sheet() {
  step_ = std::string("制作工作表“") + kSheetGrading + "”";
  host::Worksheet& back = work_book->active_sheet();
  host::Worksheet& sheet = ksfx_last_sheet(kSheetGrading);
  const ExamPlan& p = plan();
  int top = 1;
  for (std::size_t j = 0; j < gradings_.size(); ++j) {
    if (p.scheme[j] < 0) continue;
    const GradingScheme& scheme = schemes_.schemes[p.scheme[j]];
    const Grading& g = gradings_[j];
    const std::string& subject = rate_rules_.rules[j].subject;
    const int bands = static_cast<int>(scheme.bands.size());

    sheet.set_value(top, 1, Value::text(subject + "　赋分方案 " + scheme.name + "　考生 " +
                                        host::int_text(g.takers) + " 人"));
    ValueGrid table(bands + 1, kBandColumns);
    for (int c = 0; c < kBandColumns; ++c) table.at(0, c) = Value::text(kBandHeaders[c]);
    for (int b = 0; b < bands; ++b) {
      const GradeBand& range = scheme.bands[b];
      const BandResult& r = g.bands[b];
      table.at(b + 1, 0) = Value::text(range.grade);
      table.at(b + 1, 1) = Value::number(range.percent);
      table.at(b + 1, 2) = Value::number(r.target);
      table.at(b + 1, 3) = Value::number(r.count);
      table.at(b + 1, 4) = Value::number(g.takers ? static_cast<double>(r.count) / g.takers : 0);
      if (r.count > 0) {
        table.at(b + 1, 5) = Value::number(r.top_raw);
        table.at(b + 1, 6) = Value::number(r.bottom_raw);
      }
      table.at(b + 1, 7) = Value::number(range.high);
      table.at(b + 1, 8) = Value::number(range.low);
    }
    sheet.write_values({top + 1, 1}, table);
    sheet.set_number_format(Area{top + 2, 3, top + 1 + bands, 3}, "0.00");
    sheet.set_number_format(Area{top + 2, 5, top + 1 + bands, 5}, "0.00%");
    ksfx_block_style(sheet, Area{top, 1, top + 1 + bands, kBandColumns});
    top += 2 + bands + kBlockGap;

    const int points = static_cast<int>(g.points.size());
    sheet.set_value(top, 1, Value::text(subject + "　一分一段"));
    ValueGrid list(points + 1, kPointColumns);
    for (int c = 0; c < kPointColumns; ++c) list.at(0, c) = Value::text(kPointHeaders[c]);
    for (int i = 0; i < points; ++i) {
      const ScorePoint& pt = g.points[i];
      list.at(i + 1, 0) = Value::number(pt.raw);
      list.at(i + 1, 1) = Value::number(pt.count);
      list.at(i + 1, 2) = Value::number(pt.cumulative);
      list.at(i + 1, 3) = Value::number(static_cast<double>(pt.cumulative) / g.takers);
      list.at(i + 1, 4) = Value::text(scheme.bands[pt.band].grade);
      list.at(i + 1, 5) = Value::number(pt.converted);
    }
    sheet.write_values({top + 1, 1}, list);
    sheet.set_number_format(Area{top + 2, 4, top + 1 + points, 4}, "0.00%");
    ksfx_block_style(sheet, Area{top, 1, top + 1 + points, kPointColumns});
    top += 2 + points + kBlockGap;
  }
  sheet.set_column_width(1, kBandColumns, kColumnWidth);
  ksfx_title_row(sheet);
  back.activate();
}

}  // namespace lczs::examanalysis
