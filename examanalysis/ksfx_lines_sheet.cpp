// What score lines add to the report: the lines read before anything
// changes, the sheet 上线分析 (上线人数, the subjects' figures per line and
// the 临界生, each table with its definitions under it) and a chart of 上线率
// per class on 图表.
#include <algorithm>
#include <cmath>
#include <limits>

#include "examanalysis/ksfx.h"
#include "host/numbers.h"

namespace lczs::examanalysis {

using host::Area;
using host::Value;
using host::ValueGrid;

namespace {

constexpr double kNoScore = std::numeric_limits<double>::quiet_NaN();
constexpr double kColumnWidth = 10;
constexpr int kBlockGap = 1;
constexpr int kChartRows = 15;
constexpr int kChartColumns = 6;
constexpr const char* kSubjectHeaders[] = {"学科", "有效分", "单上线", "双上线", "贡献率", "命中率"};
constexpr const char* kNearHeaders[] = {"班级", "学号", "姓名", "总分", "差分数线", "最弱学科", "该科成绩", "该科有效分"};
constexpr int kSubjectColumns = static_cast<int>(std::size(kSubjectHeaders));
constexpr int kNearColumns = static_cast<int>(std::size(kNearHeaders));

std::string number_text(double v) { return Value::number(v).display_text(); }

std::string line_title(const ScoreLine& l) {
  std::string s = l.name + "（" + number_text(l.line) + "分";
  if (l.typed != number_text(l.line)) s += "，" + l.typed;
  return s + "）";
}

}  // namespace

std::vector<double> Ksfx::present_totals() {
  const ExamPlan& p = plan();
  const bool zero_is_absent = survey().has_blank;
  std::vector<double> totals(student_codes_.size(), kNoScore);
  for (std::size_t i = 0; i < student_codes_.size(); ++i) {
    double sum = 0;
    bool present = true;
    for (std::size_t j = 0; j < student_scores_.size(); ++j) {
      const double v = student_scores_[j][i];
      const bool optional = p.electives && p.elective[j];
      if ((std::isnan(v) && !optional) || (zero_is_absent && v == 0)) present = false;
      if (!std::isnan(v)) sum += v;
    }
    if (present) totals[i] = sum;
  }
  return totals;
}

std::string Ksfx::ksfx_collect_lines() {
  std::vector<double> totals;
  for (double t : present_totals())
    if (!std::isnan(t)) totals.push_back(t);
  lines_ = std::make_unique<LineBook>(
      read_lines(*companion_sheet(kSheetLines), rate_rules_.rules.back().full, std::move(totals)));
  return lines_->problem;
}

void Ksfx::ksfx_keep_present(host::Worksheet& sheet, int sat_count, int id_cols, int subject_count) {
  const int t = sat_count;
  present_ = LineStudents{};
  present_.scores.assign(subject_count, std::vector<double>(t, kNoScore));
  if (t <= 0) return;
  const ValueGrid rows = sheet.values(Area{2, 1, t + 1, id_cols + subject_count + 1});
  present_ids_ = sheet.values(Area{2, 1, t + 1, id_cols});
  for (int i = 0; i < t; ++i) {
    present_.codes.push_back(rows.at(i, 0).as_number());
    present_.totals.push_back(rows.at(i, id_cols + subject_count).as_number());
    for (int j = 0; j < subject_count; ++j)
      if (rows.at(i, id_cols + j).is_number()) present_.scores[j][i] = rows.at(i, id_cols + j).as_number();
  }
}

void Ksfx::ksfx_line_sheet() {
  step_ = std::string("制作工作表“") + kSheetLineReport + "”";
  host::Worksheet& back = work_book->active_sheet();
  host::Worksheet& sheet = ksfx_last_sheet(kSheetLineReport);
  const std::vector<ScoreLine>& lines = lines_->lines;
  const int classes = static_cast<int>(class_codes_.size());
  const int subjects = static_cast<int>(present_.scores.size());
  std::vector<LineFigures> figures;
  for (const ScoreLine& l : lines) figures.push_back(line_figures(present_, class_codes_, l));
  auto group_label = [&](int i) { return i < classes ? Value::number(class_codes_[i]) : Value::text("年级"); };

  // 上线人数 and 上线率 per class and line.
  int top = 1;
  const int width = 2 + 2 * static_cast<int>(lines.size());
  sheet.set_value(top, 1, Value::text("上线人数和上线率"));
  ValueGrid table(classes + 2, width);
  table.at(0, 0) = Value::text("班级");
  table.at(0, 1) = Value::text("实考人数");
  for (std::size_t k = 0; k < lines.size(); ++k) {
    table.at(0, 2 + 2 * static_cast<int>(k)) = Value::text(line_title(lines[k]) + "上线人数");
    table.at(0, 3 + 2 * static_cast<int>(k)) = Value::text("上线率");
  }
  for (int i = 0; i <= classes; ++i) {
    table.at(i + 1, 0) = group_label(i);
    table.at(i + 1, 1) = Value::number(figures.front().present[i]);
    for (std::size_t k = 0; k < lines.size(); ++k) {
      const LineFigures& f = figures[k];
      table.at(i + 1, 2 + 2 * static_cast<int>(k)) = Value::number(f.above[i]);
      if (f.present[i] > 0)
        table.at(i + 1, 3 + 2 * static_cast<int>(k)) = Value::number(static_cast<double>(f.above[i]) / f.present[i]);
    }
  }
  sheet.write_values({top + 1, 1}, table);
  for (std::size_t k = 0; k < lines.size(); ++k) {
    const int c = 4 + 2 * static_cast<int>(k);
    sheet.set_number_format(Area{top + 2, c, top + 2 + classes, c}, "0.00%");
  }
  ksfx_block_style(sheet, Area{top, 1, top + 2 + classes, width});
  std::vector<std::string> defs = {"上线人数：总分不低于分数线的学生人数（只计“年级实考”的学生）；上线率＝上线人数÷实考人数。"};
  for (const ScoreLine& l : lines)
    if (l.typed != number_text(l.line))
      defs.push_back(l.name + "：" + l.typed + "，即年级第" + l.typed.substr(3, l.typed.size() - 6) +
                     "名学生的总分" + number_text(l.line) + "分。");
  top = ksfx_notes(sheet, top + 3 + classes, defs) + kBlockGap;

  for (std::size_t k = 0; k < lines.size(); ++k) {
    const ScoreLine& l = lines[k];
    const LineFigures& f = figures[k];
    // The subjects that carry the line.
    sheet.set_value(top, 1, Value::text(line_title(l) + "　各科有效分"));
    ValueGrid rows(subjects + 1, kSubjectColumns);
    for (int c = 0; c < kSubjectColumns; ++c) rows.at(0, c) = Value::text(kSubjectHeaders[c]);
    for (int j = 0; j < subjects; ++j) {
      const SubjectAtLine& s = f.subjects[j];
      rows.at(j + 1, 0) = Value::text(rate_rules_.rules[j].subject);
      if (!s.defined) continue;
      rows.at(j + 1, 1) = Value::number(s.effective);
      rows.at(j + 1, 2) = Value::number(s.single);
      rows.at(j + 1, 3) = Value::number(s.both);
      rows.at(j + 1, 4) = Value::number(static_cast<double>(s.both) / s.reached);
      if (s.single > 0) rows.at(j + 1, 5) = Value::number(static_cast<double>(s.both) / s.single);
    }
    sheet.write_values({top + 1, 1}, rows);
    sheet.set_number_format(Area{top + 2, 2, top + 1 + subjects, 2}, "0.00");
    sheet.set_number_format(Area{top + 2, 5, top + 1 + subjects, 6}, "0.00%");
    ksfx_block_style(sheet, Area{top, 1, top + 1 + subjects, kSubjectColumns});
    top = ksfx_notes(sheet, top + 2 + subjects,
                {"有效分：总分上线的学生该科的平均分 × 分数线 ÷ 这些学生的平均总分（选考科目只计选了该科的学生）；"
                 "没有人上线时为空。",
                 "单上线：该科成绩不低于有效分的人数；双上线：其中总分也上线的人数。",
                 "贡献率＝双上线÷总分上线人数（选考科目为选了该科且总分上线的人数）；命中率＝双上线÷单上线。"}) +
          kBlockGap;

    // 临界生.
    sheet.set_value(top, 1, Value::text(line_title(l) + "　临界生（总分在 " + number_text(l.line - l.delta) +
                                        " 分及以上、" + number_text(l.line) + " 分以下）"));
    const int near = static_cast<int>(f.near.size());
    ValueGrid list(near + 1, kNearColumns);
    for (int c = 0; c < kNearColumns; ++c) list.at(0, c) = Value::text(kNearHeaders[c]);
    for (int r = 0; r < near; ++r) {
      const int i = f.near[r];
      for (int c = 0; c < 3; ++c) list.at(r + 1, c) = present_ids_.at(i, c);
      list.at(r + 1, 3) = Value::number(present_.totals[i]);
      list.at(r + 1, 4) = Value::number(l.line - present_.totals[i]);
      const int w = f.weakest[r];
      if (w < 0) continue;
      list.at(r + 1, 5) = Value::text(rate_rules_.rules[w].subject);
      list.at(r + 1, 6) = Value::number(present_.scores[w][i]);
      list.at(r + 1, 7) = Value::number(f.subjects[w].effective);
    }
    sheet.write_values({top + 1, 1}, list);
    if (near > 0) sheet.set_number_format(Area{top + 2, 8, top + 1 + near, 8}, "0.00");
    ksfx_block_style(sheet, Area{top, 1, top + 1 + near, kNearColumns});
    top = ksfx_notes(sheet, top + 2 + near,
                {"临界生：总分低于分数线、但差距不超过 δ（“" + std::string(kSheetLines) + "”的 δ 列，默认 " +
                     number_text(kDefaultDelta) + " 分）的学生，按班级、总分排列。",
                 "最弱学科：该生所考各科中“成绩÷有效分”最小的一科。"}) +
          kBlockGap;
  }
  sheet.set_column_width(1, std::max(width, kNearColumns), kColumnWidth);
  ksfx_title_row(sheet);
  ksfx_line_chart(figures);
  back.activate();
}

void Ksfx::ksfx_line_chart(const std::vector<LineFigures>& figures) {
  step_ = std::string("在工作表“") + kSheetCharts + "”上画上线率图";
  const std::vector<ScoreLine>& lines = lines_->lines;
  const int classes = static_cast<int>(class_codes_.size());
  const bool fresh = chart_next_row_ == 0;
  host::Worksheet& sheet = fresh ? ksfx_last_sheet(kSheetCharts) : work_book->sheet(kSheetCharts);
  int top = fresh ? 1 : chart_next_row_;
  const int width = 1 + static_cast<int>(lines.size());
  sheet.set_value(top, 1, Value::text("各班上线率"));
  ValueGrid table(classes + 1, width);
  table.at(0, 0) = Value::text("班级");
  for (int i = 0; i < classes; ++i) {
    table.at(i + 1, 0) = Value::text(number_text(class_codes_[i]) + "班");
    for (std::size_t k = 0; k < lines.size(); ++k) {
      const LineFigures& f = figures[k];
      if (f.present[i] > 0)
        table.at(i + 1, 1 + static_cast<int>(k)) = Value::number(static_cast<double>(f.above[i]) / f.present[i]);
    }
  }
  for (std::size_t k = 0; k < lines.size(); ++k) table.at(0, 1 + static_cast<int>(k)) = Value::text(lines[k].name);
  sheet.write_values({top + 1, 1}, table);
  sheet.set_number_format(Area{top + 2, 2, top + 1 + classes, width}, "0.00%");
  ksfx_block_style(sheet, Area{top, 1, top + 1 + classes, width});
  if (fresh) {
    sheet.set_column_width(1, std::max(width, kChartColumns), kColumnWidth);
    ksfx_title_row(sheet);
    ++top;
  }
  const std::string name = kSheetCharts;
  host::Chart chart{.title = "各班上线率", .category_title = "班级", .value_title = "上线率"};
  for (std::size_t k = 0; k < lines.size(); ++k) {
    const int c = 2 + static_cast<int>(k);
    chart.series.push_back({.name = lines[k].name, .type = host::ChartType::Column, .sheet = name,
                            .categories = Area{top + 2, 1, top + 1 + classes, 1},
                            .values = Area{top + 2, c, top + 1 + classes, c}});
  }
  const int at = top + 2 + classes + kBlockGap;
  chart.position = Area{at, 1, at + kChartRows - 1, kChartColumns};
  sheet.add_chart(chart);
}

}  // namespace lczs::examanalysis
