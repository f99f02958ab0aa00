// The grading schemes, the 类别 and 赋分 settings, and the conversion of raw
// scores into graded ones, done in whole numbers so that a band's cut and a
// converted score never depend on how a share or a division rounds.
#include "examanalysis/ksfx_grading.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>

#include "host/numbers.h"
#include "host/setting_numbers.h"

namespace lczs::examanalysis {

using host::Area;
using host::Value;

namespace {

std::string number_text(double v) { return Value::number(v).display_text(); }

// Units of 10^-4 percent: shares are compared and summed in these.
constexpr std::int64_t kPercentUnits = 10000;
constexpr std::int64_t kWhole = 100 * kPercentUnits;

std::int64_t percent_units(double percent) { return std::llround(percent * kPercentUnits); }

// Column of each wanted header in row 1 of a settings sheet (0 = missing).
std::vector<int> header_columns(const host::Worksheet& sheet, const Area& region,
                                const std::vector<std::string>& headers) {
  std::vector<int> col(headers.size(), 0);
  for (int c = region.left; c <= region.right; ++c) {
    const std::string h = host::trim(sheet.value(1, c).display_text());
    for (std::size_t f = 0; f < headers.size(); ++f)
      if (h == headers[f] && !col[f]) col[f] = c;
  }
  return col;
}

std::string text_at(const host::Worksheet& sheet, int row, int col) {
  return col ? host::trim(sheet.value(row, col).display_text()) : std::string();
}

// A scheme's shares are percents; its range ends are scores.
constexpr host::Bounds kPercentBounds{.low = 0, .high = 100};
constexpr host::Bounds kRangeBounds{.low = 0, .high = 1000};

// floor(p / q) for q > 0.
std::int64_t floor_div(std::int64_t p, std::int64_t q) {
  std::int64_t d = p / q;
  if ((p % q != 0) && (p < 0)) --d;
  return d;
}

}  // namespace

std::vector<GradingScheme> builtin_schemes() {
  return {{"五级",
           {{"A", 15, 100, 86}, {"B", 35, 85, 71}, {"C", 35, 70, 56}, {"D", 13, 55, 41}, {"E", 2, 40, 30}}},
          {"八级",
           {{"A", 3, 100, 91},
            {"B+", 7, 90, 81},
            {"B", 16, 80, 71},
            {"C+", 24, 70, 61},
            {"C", 24, 60, 51},
            {"D+", 16, 50, 41},
            {"D", 7, 40, 31},
            {"E", 3, 30, 21}}}};
}

int SchemeBook::find(const std::string& name) const {
  for (std::size_t i = 0; i < schemes.size(); ++i)
    if (schemes[i].name == name) return static_cast<int>(i);
  return -1;
}

SchemeBook read_schemes(const host::Worksheet* sheet) {
  SchemeBook book;
  book.schemes = builtin_schemes();
  if (!sheet) return book;
  enum { kName, kGrade, kPercent, kHigh, kLow };
  const std::vector<std::string> headers = {"方案", "等级", "比例(%)", "赋分上限", "赋分下限"};
  const Area region = sheet->current_region(1, 1);
  std::vector<int> col = header_columns(*sheet, region, headers);
  for (std::size_t f = 0; f < headers.size(); ++f) {
    if (!col[f]) {
      book.problem = "工作表“" + sheet->name() + "”的第1行没有“" + headers[f] +
                     "”列（表头应为 方案、等级、比例(%)、赋分上限、赋分下限），请修改后再运行。";
      return book;
    }
  }
  // Rows of one scheme in the order typed; the first row of each, for the
  // refusals that concern a scheme as a whole.
  std::vector<GradingScheme> typed;
  std::vector<std::vector<int>> rows_of;
  for (int row = 2; row <= region.bottom; ++row) {
    bool blank = true;
    for (int c : col)
      if (!sheet->value(row, c).is_empty()) blank = false;
    if (blank) continue;
    GradeBand band;
    const std::string name = text_at(*sheet, row, col[kName]);
    band.grade = text_at(*sheet, row, col[kGrade]);
    if (name.empty()) {
      book.problem = host::setting_refusal(*sheet, row, col[kName], "方案", "是空的");
      return book;
    }
    if (band.grade.empty()) {
      book.problem = host::setting_refusal(*sheet, row, col[kGrade], "等级", "是空的");
      return book;
    }
    double* into[] = {&band.percent, &band.high, &band.low};
    for (int f = kPercent; f <= kLow; ++f) {
      host::SettingNumber v = host::read_setting_number(*sheet, row, col[f], headers[f],
                                                        f == kPercent ? kPercentBounds : kRangeBounds);
      if (v.problem.empty() && !v.value) v.problem = host::setting_refusal(*sheet, row, col[f], headers[f], "是空的");
      if (!v.problem.empty()) {
        book.problem = v.problem;
        return book;
      }
      *into[f - kPercent] = *v.value;
    }
    if (band.high < band.low) {
      book.problem = host::setting_refusal(*sheet, row, col[kHigh], "赋分上限",
                                           number_text(band.high) + "低于赋分下限" + number_text(band.low));
      return book;
    }
    auto it = std::find_if(typed.begin(), typed.end(),
                           [&](const GradingScheme& s) { return s.name == name; });
    if (it == typed.end()) {
      typed.push_back({name, {}});
      rows_of.emplace_back();
      it = typed.end() - 1;
    }
    const std::size_t k = static_cast<std::size_t>(it - typed.begin());
    if (!it->bands.empty()) {
      const GradeBand& above = it->bands.back();
      if (band.high >= above.low) {
        book.problem = host::setting_refusal(*sheet, row, col[kHigh], "赋分上限",
                                             "：方案“" + name + "”的等级" + band.grade + "的赋分上限" +
                                   number_text(band.high) + "不低于上一等级" + above.grade +
                                   "的赋分下限" + number_text(above.low) +
                                   "（各等级的赋分区间须从高到低、互不重叠）");
        return book;
      }
    }
    it->bands.push_back(band);
    rows_of[k].push_back(row);
  }
  for (std::size_t k = 0; k < typed.size(); ++k) {
    std::int64_t sum = 0;
    for (const GradeBand& b : typed[k].bands) sum += percent_units(b.percent);
    if (std::llabs(sum - kWhole) > std::llround(kShareTolerance * kPercentUnits)) {
      const int row = rows_of[k].front();
      book.problem = host::setting_refusal(*sheet, row, col[kPercent], "比例(%)",
                                           "：方案“" + typed[k].name + "”各等级的比例加起来是" +
                                 number_text(static_cast<double>(sum) / kPercentUnits) +
                                 "%，不是100%");
      return book;
    }
    if (int at = book.find(typed[k].name); at >= 0)
      book.schemes[at] = typed[k];
    else
      book.schemes.push_back(typed[k]);
  }
  return book;
}

ExamPlan read_exam_plan(const host::Worksheet* settings, const std::vector<std::string>& subjects,
                        const SchemeBook& book) {
  ExamPlan plan;
  plan.elective.assign(subjects.size(), false);
  plan.scheme.assign(subjects.size(), -1);
  plan.scheme_row.assign(subjects.size(), 0);
  if (!settings) return plan;
  plan.settings_name = settings->name();
  enum { kSubject, kCategory, kScheme };
  const Area region = settings->current_region(1, 1);
  const std::vector<int> col = header_columns(*settings, region, {"科目", "类别", "赋分"});
  if (!col[kSubject] || (!col[kCategory] && !col[kScheme])) return plan;
  plan.scheme_col = col[kScheme];
  for (int row = 2; row <= region.bottom; ++row) {
    const std::string subject = text_at(*settings, row, col[kSubject]);
    auto at = std::find(subjects.begin(), subjects.end(), subject);
    // Other rows (总分, or a name the settings reader refuses) say nothing here.
    if (at == subjects.end()) continue;
    const std::size_t j = static_cast<std::size_t>(at - subjects.begin());
    const std::string category = text_at(*settings, row, col[kCategory]);
    if (category == kCategoryElective) {
      plan.elective[j] = true;
      plan.electives = true;
    } else if (!category.empty() && category != kCategoryRequired) {
      plan.problem = host::setting_refusal(*settings, row, col[kCategory], "类别",
                                           "“" + category + "”只能是“必考”“选考”或空着（空着即必考）");
      return plan;
    }
    const std::string scheme = text_at(*settings, row, col[kScheme]);
    if (scheme.empty()) continue;
    const int k = book.find(scheme);
    if (k < 0) {
      std::string known;
      for (const GradingScheme& s : book.schemes) known += (known.empty() ? "" : "、") + s.name;
      plan.problem = host::setting_refusal(*settings, row, col[kScheme], "赋分",
                                           "：没有名为“" + scheme + "”的赋分方案（可用的有：" + known +
                                 "；其他方案写在工作表“" + kSheetSchemes + "”上）");
      return plan;
    }
    plan.scheme[j] = k;
    plan.scheme_row[j] = row;
    plan.grading = true;
  }
  return plan;
}

double Grading::convert(double raw) const {
  auto it = std::lower_bound(points.begin(), points.end(), raw,
                             [](const ScorePoint& p, double v) { return p.raw > v; });
  return it != points.end() && it->raw == raw ? it->converted : std::nan("");
}

Grading grade_scores(std::vector<double> raw, const GradingScheme& scheme) {
  Grading g;
  g.takers = static_cast<int>(raw.size());
  const std::size_t bands = scheme.bands.size();
  g.bands.assign(bands, BandResult{});
  std::sort(raw.begin(), raw.end(), std::greater<double>());
  for (std::size_t i = 0; i < raw.size();) {
    std::size_t j = i;
    while (j < raw.size() && raw[j] == raw[i]) ++j;
    g.points.push_back({raw[i], static_cast<int>(j - i), static_cast<int>(j), 0, 0});
    i = j;
  }
  const std::int64_t n = g.takers;

  // Each band's lower end sits at a count of takers above it that falls
  // between two distinct raw scores (0, or a cumulative count), the one
  // nearest n x the cumulative share; of two equally near, the smaller.
  // Compared in units of 10^-6 of a taker, exactly.
  std::vector<std::int64_t> places = {0};
  for (const ScorePoint& p : g.points) places.push_back(p.cumulative);
  std::vector<std::int64_t> cut(bands, n);
  std::int64_t share = 0;
  for (std::size_t k = 0; k < bands; ++k) {
    share += percent_units(scheme.bands[k].percent);
    g.bands[k].target = static_cast<double>(n) * scheme.bands[k].percent / 100;
    if (k + 1 == bands) break;  // the last band ends below every taker
    const std::int64_t target = n * share;  // x kWhole
    std::int64_t best = places.front();
    for (std::int64_t p : places) {
      const std::int64_t d = std::llabs(p * kWhole - target), bd = std::llabs(best * kWhole - target);
      if (d < bd) best = p;
    }
    cut[k] = best;
  }

  // Whole units of 10^-d in which every raw score and every range end is an
  // integer (d at most kMaxDecimals, and small enough for 64-bit products).
  double largest = 0;
  for (const ScorePoint& p : g.points) largest = std::max(largest, std::fabs(p.raw));
  for (const GradeBand& b : scheme.bands) largest = std::max({largest, std::fabs(b.high), std::fabs(b.low)});
  int decimals = 0;
  auto whole_at = [&](int d) {
    const double s = std::pow(10.0, d);
    auto whole = [&](double v) { return std::fabs(v * s - std::round(v * s)) < 1e-6; };
    for (const ScorePoint& p : g.points)
      if (!whole(p.raw)) return false;
    for (const GradeBand& b : scheme.bands)
      if (!whole(b.high) || !whole(b.low)) return false;
    return true;
  };
  while (decimals < kMaxDecimals && largest * std::pow(10.0, decimals + 1) < 1e9 && !whole_at(decimals))
    ++decimals;
  const double scale = std::pow(10.0, decimals);
  const std::int64_t s = std::llround(scale);
  auto units = [&](double v) { return std::llround(v * scale); };

  std::size_t first = 0;  // the first point of the band
  std::size_t k = 0;
  for (std::size_t i = 0; i < g.points.size(); ++i) {
    while (g.points[i].cumulative > cut[k]) ++k;
    g.points[i].band = static_cast<int>(k);
  }
  for (k = 0; k < bands; ++k) {
    std::size_t last = first;
    while (last < g.points.size() && g.points[last].band == static_cast<int>(k)) ++last;
    BandResult& b = g.bands[k];
    if (last == first) continue;
    const GradeBand& range = scheme.bands[k];
    b.top_raw = g.points[first].raw;
    b.bottom_raw = g.points[last - 1].raw;
    for (std::size_t i = first; i < last; ++i) b.count += g.points[i].count;
    const std::int64_t y1 = units(b.bottom_raw), y2 = units(b.top_raw);
    const std::int64_t t1 = units(range.low), t2 = units(range.high);
    for (std::size_t i = first; i < last; ++i) {
      ScorePoint& p = g.points[i];
      if (y1 == y2) {
        p.converted = range.high;
        continue;
      }
      // T1 + (Y - Y1)(T2 - T1)/(Y2 - Y1), in units of 10^-d over a whole
      // denominator, rounded half up: floor((2P + Q) / 2Q).
      const std::int64_t q = (y2 - y1) * s;
      const std::int64_t pnum = t1 * (y2 - y1) + (units(p.raw) - y1) * (t2 - t1);
      p.converted = static_cast<double>(floor_div(2 * pnum + q, 2 * q));
    }
    first = last;
  }
  return g;
}

}  // namespace lczs::examanalysis
