// The opt-in figures of the report: the settings and scores they rest on,
// and the sheets 学科分析 (三率一分 with spread) and 分数段 (score bands),
// each a block per subject and 总分 with a row per class and a grade row.
#include <algorithm>
#include <cmath>
#include <limits>

#include "examanalysis/ksfx.h"
#include "host/numbers.h"

namespace lczs::examanalysis {

using host::Area;
using host::Value;

namespace {

constexpr double kNoScore = std::numeric_limits<double>::quiet_NaN();
constexpr const char* kGradeLabel = "年级";
constexpr const char* kSubjectHeaders[] = {"班级",     "实考人数", "平均分", "平均分名次", "最高分",
                                           "最低分",   "标准差",   "优秀人数", "优秀率",   "及格人数",
                                           "及格率",   "低分人数", "低分率"};
constexpr int kSubjectColumns = static_cast<int>(std::size(kSubjectHeaders));
constexpr double kColumnWidth = 10;
// Rows between two blocks of a sheet.
constexpr int kBlockGap = 1;
// A chart covers this many rows and columns below its table, narrow enough
// for the width of a printed page.
constexpr int kChartRows = 15;
constexpr int kChartColumns = 6;

std::string number_text(double v) { return Value::number(v).display_text(); }

std::string cell_name(int row, int col) { return host::address(Area::cell(row, col), false); }

// The caption over a block: the rule it was judged by, and where 满分 came
// from when the settings did not give it.
std::string rule_caption(const SubjectRule& r, bool bands) {
  std::string s = r.subject + "　满分 " + number_text(r.full);
  if (bands) {
    s += "　分数段宽 " + number_text(r.width);
  } else {
    s += "　优秀线 " + number_text(r.excellent) + "　及格线 " + number_text(r.pass) + "　低分线 " +
         number_text(r.low);
  }
  if (r.inferred)
    s += std::string("（“") + kSheetSettings + "”中没有这一科，满分按最高分推定）";
  else if (r.summed)
    s += "（各科满分之和）";
  return s;
}

}  // namespace

host::Worksheet* Ksfx::settings_sheet() {
  host::Worksheet* s = work_book->find_sheet(kSheetSettings);
  // A data sheet that happens to bear the name holds scores, not settings.
  return s && s->index() != work_sheet->index() ? s : nullptr;
}

std::string Ksfx::ksfx_collect_rates() {
  host::Worksheet& data = *work_sheet;
  const KsSurvey& s = survey();
  std::vector<std::string> subjects;
  for (int c = 4; c <= 3 + s.subjects; ++c) subjects.push_back(host::trim(data.value(1, c).display_text()));
  student_codes_.assign(s.students, 0);
  student_scores_.assign(s.subjects, std::vector<double>(s.students, kNoScore));
  std::vector<double> highest(s.subjects, 0);
  for (int r = 2; r <= s.students + 1; ++r) {
    student_codes_[r - 2] = data.value(r, 1).as_number();
    for (int j = 0; j < s.subjects; ++j) {
      Value v = data.value(r, 4 + j);
      if (!v.is_number()) continue;
      student_scores_[j][r - 2] = v.as_number();
      highest[j] = std::max(highest[j], v.as_number());
    }
  }
  rate_rules_ = read_rate_rules(settings_sheet(), subjects, highest);
  if (!rate_rules_.problem.empty()) return rate_rules_.problem;

  const std::string where = "工作表“" + data.name() + "”";
  for (int j = 0; j < s.subjects; ++j) {
    const SubjectRule& rule = rate_rules_.rules[j];
    for (int i = 0; i < s.students; ++i) {
      if (student_scores_[j][i] > rule.full)
        return where + "的单元格 " + cell_name(i + 2, 4 + j) + " 是" +
               number_text(student_scores_[j][i]) + "，高于" + rule.subject + "的满分" +
               number_text(rule.full) + "，请改正成绩或工作表“" + kSheetSettings +
               "”中的满分后再运行。";
    }
  }
  const ExamPlan& p = plan();
  if (p.electives && rate_rules_.rules.back().summed) {
    // A student's total adds the subjects taken: 满分 is the required
    // subjects' and the most any student's electives can add.
    double required = 0, most = 0;
    for (int j = 0; j < s.subjects; ++j)
      if (!p.elective[j]) required += rate_rules_.rules[j].full;
    for (int i = 0; i < s.students; ++i) {
      double chosen = 0;
      for (int j = 0; j < s.subjects; ++j)
        if (p.elective[j] && !std::isnan(student_scores_[j][i])) chosen += rate_rules_.rules[j].full;
      most = std::max(most, chosen);
    }
    rate_rules_.rules.back() = default_rule(kTotal, required + most);
    rate_rules_.rules.back().summed = true;
  }
  const SubjectRule& total = rate_rules_.rules.back();
  for (int i = 0; i < s.students; ++i) {
    double sum = 0;
    for (int j = 0; j < s.subjects; ++j) {
      // An elective not chosen adds nothing; a missing required score
      // leaves no total to check.
      if (p.electives && p.elective[j] && std::isnan(student_scores_[j][i])) continue;
      sum += student_scores_[j][i];
    }
    // NaN (a missing score) never compares greater.
    if (sum > total.full)
      return where + "第" + host::int_text(i + 2) + "行的总分" + number_text(sum) + "高于总分的满分" +
             number_text(total.full) + "，请改正工作表“" + kSheetSettings + "”中总分的满分后再运行。";
  }
  return "";
}

void Ksfx::ksfx_block_style(host::Worksheet& sheet, const Area& block) {
  // The caption spans the block, left-aligned above the table.
  const Area caption{block.top, block.left, block.top, block.right};
  sheet.set_alignment(caption, host::AlignmentPatch{.horizontal = host::HAlign::Left,
                                                     .vertical = host::VAlign::Center,
                                                     .wrap_text = false,
                                                     .shrink_to_fit = false});
  if (block.col_count() > 1) sheet.merge(caption);
  host::FontPatch bold = plain_song(10);
  bold.bold = true;
  sheet.set_font(caption, bold);
  const Area table{block.top + 1, block.left, block.bottom, block.right};
  sheet.set_font(table, plain_song(10));
  ksfx_grid(sheet, table);
}

int Ksfx::ksfx_notes(host::Worksheet& sheet, int row, const std::vector<std::string>& texts) {
  const int n = static_cast<int>(texts.size());
  for (int k = 0; k < n; ++k) sheet.set_value(row + k, 1, Value::text(texts[k]));
  if (n > 0) sheet.set_font(Area{row, 1, row + n - 1, 1}, plain_song(9));
  return row + n;
}

host::Worksheet& Ksfx::ksfx_last_sheet(const std::string& name) {
  host::Worksheet& sheet = work_book->add_sheet_after(work_book->sheet(work_book->sheet_count()));
  sheet.set_name(name);
  return sheet;
}

void Ksfx::ksfx_rate_sheets() {
  step_ = std::string("计算") + kSheetSubjects;
  host::Worksheet& back = work_book->active_sheet();
  const int classes = static_cast<int>(class_codes_.size());
  auto row_of = [&](double code) {
    auto it = std::lower_bound(class_codes_.begin(), class_codes_.end(), code);
    return it != class_codes_.end() && *it == code ? static_cast<int>(it - class_codes_.begin()) : -1;
  };
  // figures[rule][class], the grade last.
  std::vector<std::vector<Figures>> figures;
  auto add = [&](const SubjectRule& rule, const std::vector<double>& codes,
                 const std::vector<double>& scores) {
    std::vector<std::vector<double>> groups(classes + 1);
    for (std::size_t i = 0; i < scores.size(); ++i) {
      if (std::isnan(scores[i])) continue;
      int row = row_of(codes[i]);
      if (row >= 0) groups[row].push_back(scores[i]);
      groups[classes].push_back(scores[i]);
    }
    std::vector<Figures> out;
    for (const auto& g : groups) out.push_back(compute_figures(g, rule));
    figures.push_back(std::move(out));
  };
  for (std::size_t j = 0; j < student_scores_.size(); ++j)
    add(rate_rules_.rules[j], student_codes_, student_scores_[j]);
  add(rate_rules_.rules.back(), sat_codes_, sat_totals_);

  ksfx_subject_sheet(figures);
  ksfx_band_sheet(figures);
  ksfx_chart_sheet(figures);
  back.activate();
}

void Ksfx::ksfx_subject_sheet(const std::vector<std::vector<Figures>>& figures) {
  step_ = std::string("制作工作表“") + kSheetSubjects + "”";
  host::Worksheet& sheet = ksfx_last_sheet(kSheetSubjects);
  const int classes = static_cast<int>(class_codes_.size());
  int top = 1;
  for (std::size_t j = 0; j < figures.size(); ++j) {
    const SubjectRule& rule = rate_rules_.rules[j];
    sheet.set_value(top, 1, Value::text(rule_caption(rule, false)));
    for (int c = 0; c < kSubjectColumns; ++c)
      sheet.set_value(top + 1, c + 1, Value::text(kSubjectHeaders[c]));
    std::vector<double> means;
    for (int i = 0; i < classes; ++i)
      means.push_back(figures[j][i].count ? figures[j][i].mean : kNoScore);
    const std::vector<int> ranks = average_ranks(means);
    for (int i = 0; i <= classes; ++i) {
      const Figures& f = figures[j][i];
      const int row = top + 2 + i;
      sheet.set_value(row, 1, i < classes ? Value::number(class_codes_[i]) : Value::text(kGradeLabel));
      sheet.set_value(row, 2, Value::number(f.count));
      if (f.count == 0) continue;
      const double n = f.count;
      const Value cells[] = {Value::number(f.mean),
                             i < classes ? Value::number(ranks[i]) : Value(),
                             Value::number(f.highest),
                             Value::number(f.lowest),
                             Value::number(f.deviation),
                             Value::number(f.excellent),
                             Value::number(f.excellent / n),
                             Value::number(f.pass),
                             Value::number(f.pass / n),
                             Value::number(f.low),
                             Value::number(f.low / n)};
      for (int c = 0; c < static_cast<int>(std::size(cells)); ++c) sheet.set_value(row, 3 + c, cells[c]);
    }
    const int last = top + 2 + classes;
    sheet.set_number_format(Area{top + 2, 3, last, 3}, "0.00");
    sheet.set_number_format(Area{top + 2, 7, last, 7}, "0.00");
    for (int c : {9, 11, 13}) sheet.set_number_format(Area{top + 2, c, last, c}, "0.00%");
    ksfx_block_style(sheet, Area{top, 1, last, kSubjectColumns});
    top = last + 1 + kBlockGap;
  }
  sheet.set_column_width(1, kSubjectColumns, kColumnWidth);
  ksfx_title_row(sheet);
}

void Ksfx::ksfx_band_sheet(const std::vector<std::vector<Figures>>& figures) {
  step_ = std::string("制作工作表“") + kSheetBandCounts + "”";
  host::Worksheet& sheet = ksfx_last_sheet(kSheetBandCounts);
  const int classes = static_cast<int>(class_codes_.size());
  int top = 1;
  int widest = 1;
  for (std::size_t j = 0; j < figures.size(); ++j) {
    const SubjectRule& rule = rate_rules_.rules[j];
    const std::vector<double> edges = band_edges(rule);
    const int bands = static_cast<int>(edges.size()) - 1;
    sheet.set_value(top, 1, Value::text(rule_caption(rule, true)));
    sheet.set_value(top + 1, 1, Value::text("班级"));
    for (int k = 0; k < bands; ++k) sheet.set_value(top + 1, 2 + k, Value::text(band_label(edges, k)));
    for (int i = 0; i <= classes; ++i) {
      const int row = top + 2 + i;
      sheet.set_value(row, 1, i < classes ? Value::number(class_codes_[i]) : Value::text(kGradeLabel));
      for (int k = 0; k < bands; ++k) sheet.set_value(row, 2 + k, Value::number(figures[j][i].bands[k]));
    }
    ksfx_block_style(sheet, Area{top, 1, top + 2 + classes, 1 + bands});
    widest = std::max(widest, 1 + bands);
    top += 2 + classes + 1 + kBlockGap;
  }
  sheet.set_column_width(1, widest, kColumnWidth);
  ksfx_title_row(sheet);
}

void Ksfx::ksfx_chart_sheet(const std::vector<std::vector<Figures>>& figures) {
  step_ = std::string("制作工作表“") + kSheetCharts + "”";
  host::Worksheet& sheet = ksfx_last_sheet(kSheetCharts);
  const int classes = static_cast<int>(class_codes_.size());
  const std::string name = kSheetCharts;
  // Each chart stands below the small table it shows, which is its data.
  struct Placed {
    int top;
    host::Chart chart;
  };
  std::vector<Placed> placed;
  int top = 1;
  auto place = [&](int rows, host::Chart chart) {
    placed.push_back({top + rows + kBlockGap, std::move(chart)});
    top += rows + kBlockGap + kChartRows + kBlockGap;
  };
  for (std::size_t j = 0; j < figures.size(); ++j) {
    const SubjectRule& rule = rate_rules_.rules[j];
    sheet.set_value(top, 1, Value::text(rule.subject));
    sheet.set_value(top + 1, 1, Value::text("班级"));
    sheet.set_value(top + 1, 2, Value::text("平均分"));
    sheet.set_value(top + 1, 3, Value::text("年级平均分"));
    for (int i = 0; i < classes; ++i) {
      const int row = top + 2 + i;
      sheet.set_value(row, 1, Value::text(number_text(class_codes_[i]) + "班"));
      if (figures[j][i].count) sheet.set_value(row, 2, Value::number(figures[j][i].mean));
      sheet.set_value(row, 3, Value::number(figures[j][classes].mean));
    }
    sheet.set_number_format(Area{top + 2, 2, top + 1 + classes, 3}, "0.00");
    ksfx_block_style(sheet, Area{top, 1, top + 1 + classes, 3});
    host::Chart c{.title = rule.subject + "各班平均分", .category_title = "班级", .value_title = "平均分"};
    c.series = {{.name = "平均分", .type = host::ChartType::Column, .sheet = name,
                 .categories = Area{top + 2, 1, top + 1 + classes, 1},
                 .values = Area{top + 2, 2, top + 1 + classes, 2}},
                {.name = "年级平均分", .type = host::ChartType::Line, .sheet = name,
                 .categories = Area{top + 2, 1, top + 1 + classes, 1},
                 .values = Area{top + 2, 3, top + 1 + classes, 3}}};
    place(2 + classes, std::move(c));
  }
  const SubjectRule& total = rate_rules_.rules.back();
  const std::vector<double> edges = band_edges(total);
  const int bands = static_cast<int>(edges.size()) - 1;
  const Figures& grade = figures.back()[classes];
  sheet.set_value(top, 1, Value::text(std::string(kTotal) + "分布"));
  sheet.set_value(top + 1, 1, Value::text("分数段"));
  sheet.set_value(top + 1, 2, Value::text("人数"));
  for (int k = 0; k < bands; ++k) {
    sheet.set_value(top + 2 + k, 1, Value::text(band_label(edges, k)));
    sheet.set_value(top + 2 + k, 2, Value::number(grade.bands[k]));
  }
  ksfx_block_style(sheet, Area{top, 1, top + 1 + bands, 2});
  host::Chart c{.title = std::string("年级") + kTotal + "分布", .category_title = "分数段",
                .value_title = "人数"};
  c.series = {{.name = "人数", .type = host::ChartType::Column, .sheet = name,
               .categories = Area{top + 2, 1, top + 1 + bands, 1},
               .values = Area{top + 2, 2, top + 1 + bands, 2}}};
  place(2 + bands, std::move(c));

  sheet.set_column_width(1, kChartColumns, kColumnWidth);
  ksfx_title_row(sheet);
  // The title row moved every table down by one.
  for (Placed& p : placed) {
    for (host::ChartSeries& s : p.chart.series) {
      s.categories = s.categories.offset(1, 0);
      s.values = s.values.offset(1, 0);
    }
    p.chart.position = Area{p.top + 1, 1, p.top + kChartRows, kChartColumns};
    sheet.add_chart(p.chart);
  }
  chart_next_row_ = top + 1;
}

}  // namespace lczs::examanalysis
