// The rules of 三率一分 and score bands, read from the settings sheet or
// defaulted, and the figures computed from them.
#include "examanalysis/ksfx_rates.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

#include "host/numbers.h"
#include "host/setting_numbers.h"

namespace lczs::examanalysis {

using host::Area;
using host::Value;

namespace {

std::string number_text(double v) { return Value::number(v).display_text(); }

// Lines are percentages of 满分 computed as full * p / 100, so that the
// usual marks give exact lines (72, not 71.99999999999999, for 60 % of 120).
double share(double full, double percent) { return full * percent / 100; }

enum Field { kSubject, kFull, kExcellent, kPass, kLow, kWidth, kFieldCount };
const char* const kHeaders[kFieldCount] = {"科目", "满分", "优秀线", "及格线", "低分线", "分数段宽"};

class SettingsReader {
 public:
  explicit SettingsReader(const host::Worksheet& sheet) : sheet_(sheet) {}

  // "" when fine; otherwise the refusal.
  std::string columns() {
    region_ = sheet_.current_region(1, 1);
    for (int c = region_.left; c <= region_.right; ++c) {
      const std::string h = host::trim(sheet_.value(1, c).display_text());
      for (int f = 0; f < kFieldCount; ++f)
        if (h == kHeaders[f] && !col_[f]) col_[f] = c;
    }
    for (int f : {kSubject, kFull})
      if (!col_[f])
        return where() + "的第1行没有“" + kHeaders[f] + "”列（表头应为 科目、满分，可选 优秀线、"
               "及格线、低分线、分数段宽），请修改后再运行。";
    return "";
  }
  int last_row() const { return region_.bottom; }
  bool blank_row(int row) const {
    for (int f = 0; f < kFieldCount; ++f)
      if (col_[f] && !sheet_.value(row, col_[f]).is_empty()) return false;
    return true;
  }
  std::string subject(int row) const {
    return host::trim(sheet_.value(row, col_[kSubject]).display_text());
  }
  // The number of a field within `bounds`; nullopt for an empty (or absent)
  // cell. Sets `problem` when the cell holds something else.
  std::optional<double> number(int row, Field f, const host::Bounds& bounds,
                               std::string& problem) const {
    host::SettingNumber n = host::read_setting_number(sheet_, row, col_[f], kHeaders[f], bounds);
    problem = std::move(n.problem);
    return n.value;
  }
  std::string refusal(int row, Field f, const std::string& what) const {
    return host::setting_refusal(sheet_, row, col_[f], kHeaders[f], what);
  }
  std::string where() const { return std::string("工作表“") + sheet_.name() + "”"; }

 private:
  const host::Worksheet& sheet_;
  Area region_;
  int col_[kFieldCount] = {};
};

// Fills `rule` from one settings row; "" or the refusal.
std::string read_row(const SettingsReader& in, int row, SubjectRule& rule) {
  std::string problem;
  const host::Bounds& full_bounds =
      rule.subject == kTotal ? host::kTotalFullBounds : host::kSubjectFullBounds;
  std::optional<double> full = in.number(row, kFull, full_bounds, problem);
  if (!problem.empty()) return problem;
  if (!full) return in.refusal(row, kFull, "必须是正数");
  rule = default_rule(rule.subject, *full);
  struct Line {
    Field field;
    double* into;
  } lines[] = {{kExcellent, &rule.excellent}, {kPass, &rule.pass}, {kLow, &rule.low}};
  for (const Line& line : lines) {
    std::optional<double> v = in.number(row, line.field, host::line_bounds(*full), problem);
    if (!problem.empty()) return problem;
    if (v) *line.into = *v;
  }
  if (rule.excellent < rule.pass)
    return in.refusal(row, kExcellent, number_text(rule.excellent) + "低于及格线" +
                                           number_text(rule.pass));
  if (rule.low > rule.pass)
    return in.refusal(row, kLow, number_text(rule.low) + "高于及格线" + number_text(rule.pass));
  std::optional<double> width = in.number(row, kWidth, host::kBandWidthBounds, problem);
  if (!problem.empty()) return problem;
  if (width) {
    if (*full / *width > kMaxBands)
      return in.refusal(row, kWidth, "太小，满分会分成" + host::int_text(kMaxBands) + "段以上");
    rule.width = *width;
  }
  return "";
}

}  // namespace

SubjectRule default_rule(const std::string& subject, double full) {
  SubjectRule r;
  r.subject = subject;
  r.full = full;
  r.excellent = share(full, kExcellentPercent);
  r.pass = share(full, kPassPercent);
  r.low = share(full, kLowPercent);
  r.width = share(full, kBandPercent);
  return r;
}

double inferred_full(double highest) {
  for (double usual : kUsualFullMarks)
    if (highest <= usual) return usual;
  return std::ceil(highest / kFullStep) * kFullStep;
}

RateRules read_rate_rules(const host::Worksheet* settings, const std::vector<std::string>& subjects,
                          const std::vector<double>& highest) {
  RateRules out;
  std::map<std::string, SubjectRule> given;
  if (settings) {
    SettingsReader in(*settings);
    out.problem = in.columns();
    if (!out.problem.empty()) return out;
    std::map<std::string, int> row_of;
    for (int row = 2; row <= in.last_row(); ++row) {
      if (in.blank_row(row)) continue;
      SubjectRule rule;
      rule.subject = in.subject(row);
      if (rule.subject.empty()) {
        out.problem = in.refusal(row, kSubject, "是空的");
        return out;
      }
      if (rule.subject != kTotal &&
          std::find(subjects.begin(), subjects.end(), rule.subject) == subjects.end()) {
        out.problem = in.refusal(row, kSubject, "“" + rule.subject + "”不是成绩表中的学科列");
        return out;
      }
      if (auto seen = row_of.find(rule.subject); seen != row_of.end()) {
        out.problem = in.refusal(row, kSubject, "“" + rule.subject + "”在第" +
                                                    host::int_text(seen->second) + "行已经设置过");
        return out;
      }
      row_of[rule.subject] = row;
      out.problem = read_row(in, row, rule);
      if (!out.problem.empty()) return out;
      given[rule.subject] = rule;
    }
  }
  double total_full = 0;
  for (std::size_t i = 0; i < subjects.size(); ++i) {
    auto it = given.find(subjects[i]);
    SubjectRule rule;
    if (it != given.end()) {
      rule = it->second;
    } else {
      rule = default_rule(subjects[i], inferred_full(i < highest.size() ? highest[i] : 0));
      rule.inferred = true;
    }
    total_full += rule.full;
    out.rules.push_back(rule);
  }
  auto total = given.find(kTotal);
  if (total != given.end()) {
    out.rules.push_back(total->second);
  } else {
    out.rules.push_back(default_rule(kTotal, total_full));
    out.rules.back().summed = true;
  }
  return out;
}

std::vector<double> band_edges(const SubjectRule& rule) {
  std::vector<double> edges;
  // An edge closer to 0 than a millionth of 满分 is 0 itself (rounding of
  // full - k * width).
  const double eps = rule.full * 1e-9;
  for (int k = 0; k <= kMaxBands; ++k) {
    double e = rule.full - k * rule.width;
    if (e <= eps) break;
    edges.push_back(e);
  }
  edges.push_back(0);
  return edges;
}

int band_of(double score, const std::vector<double>& edges) {
  const int bands = static_cast<int>(edges.size()) - 1;
  // edges descend: the first lower edge not above the score.
  auto it = std::lower_bound(edges.begin() + 1, edges.end(), score, std::greater<double>());
  int k = static_cast<int>(it - (edges.begin() + 1));
  return std::min(k, bands - 1);
}

std::string band_label(const std::vector<double>& edges, int k) {
  return number_text(edges[k + 1]) + "–" + number_text(edges[k]);
}

Figures compute_figures(const std::vector<double>& scores, const SubjectRule& rule) {
  Figures f;
  const std::vector<double> edges = band_edges(rule);
  f.bands.assign(edges.size() - 1, 0);
  f.count = static_cast<int>(scores.size());
  if (scores.empty()) return f;
  double sum = 0;
  f.highest = f.lowest = scores.front();
  for (double x : scores) {
    sum += x;
    f.highest = std::max(f.highest, x);
    f.lowest = std::min(f.lowest, x);
    if (x >= rule.excellent) ++f.excellent;
    if (x >= rule.pass) ++f.pass;
    if (x < rule.low) ++f.low;
    ++f.bands[band_of(x, edges)];
  }
  f.mean = sum / f.count;
  double squares = 0;
  for (double x : scores) squares += (x - f.mean) * (x - f.mean);
  f.deviation = std::sqrt(squares / f.count);
  return f;
}

std::vector<int> average_ranks(const std::vector<double>& means) {
  std::vector<int> ranks(means.size(), 0);
  for (std::size_t i = 0; i < means.size(); ++i) {
    if (std::isnan(means[i])) continue;
    int above = 0;
    for (double m : means)
      if (!std::isnan(m) && m > means[i]) ++above;
    ranks[i] = above + 1;
  }
  return ranks;
}

}  // namespace lczs::examanalysis
