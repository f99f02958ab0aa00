// The score lines read from 分数线 and the figures of one line.
#include "examanalysis/ksfx_lines.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "host/numbers.h"
#include "host/setting_numbers.h"

namespace lczs::examanalysis {

using host::Area;
using host::Value;

namespace {


// N of "前N名", 0 when the text is not of that form.
long long top_count(const std::string& text) {
  const std::string head = "前", tail = "名";
  if (text.size() <= head.size() + tail.size() || text.rfind(head, 0) != 0 ||
      text.compare(text.size() - tail.size(), tail.size(), tail) != 0)
    return 0;
  auto n = host::parse_user_number(text.substr(head.size(), text.size() - head.size() - tail.size()));
  if (!n || *n < 1 || *n != std::floor(*n) || *n > 1e9) return 0;
  return static_cast<long long>(*n);
}

}  // namespace

LineBook read_lines(const host::Worksheet& sheet, double highest_total, std::vector<double> totals) {
  LineBook book;
  enum { kName, kLine, kDelta };
  const char* const headers[] = {"名称", "分数线", "δ"};
  const Area region = sheet.current_region(1, 1);
  int col[3] = {};
  for (int c = region.left; c <= region.right; ++c) {
    const std::string h = host::trim(sheet.value(1, c).display_text());
    for (int f = 0; f < 3; ++f)
      if (h == headers[f] && !col[f]) col[f] = c;
  }
  const std::string where = std::string("工作表“") + sheet.name() + "”";
  for (int f : {kName, kLine})
    if (!col[f]) {
      book.problem = where + "的第1行没有“" + headers[f] + "”列（表头应为 名称、分数线，可选 δ），请修改后再运行。";
      return book;
    }
  auto refuse = [&](int row, int f, const std::string& what) {
    book.problem = host::setting_refusal(sheet, row, col[f], headers[f], what);
    return book;
  };
  std::sort(totals.begin(), totals.end(), std::greater<double>());
  for (int row = 2; row <= region.bottom; ++row) {
    bool blank = true;
    for (int c : col)
      if (c && !sheet.value(row, c).is_empty()) blank = false;
    if (blank) continue;
    ScoreLine line;
    line.name = host::trim(sheet.value(row, col[kName]).display_text());
    if (line.name.empty()) return refuse(row, kName, "是空的");
    const Value v = sheet.value(row, col[kLine]);
    line.typed = host::trim(v.display_text());
    if (v.is_number()) {
      line.line = v.as_number();
      const std::string wrong =
          host::out_of_bounds(line.line, {.low = 0, .high = highest_total, .high_name = "总分的满分"});
      if (!wrong.empty()) return refuse(row, kLine, wrong);
    } else {
      const long long n = top_count(line.typed);
      if (n == 0)
        return refuse(row, kLine, "“" + line.typed + "”既不是分数，也不是“前N名”（如“前100名”）");
      if (n > static_cast<long long>(totals.size()))
        return refuse(row, kLine, line.typed + "超过了各科都有成绩的学生人数（" +
                                      host::int_text(static_cast<long long>(totals.size())) + "人）");
      line.line = totals[static_cast<std::size_t>(n - 1)];
    }
    const host::SettingNumber delta = host::read_setting_number(
        sheet, row, col[kDelta], headers[kDelta], {.low = 0, .high = host::kTotalFullBounds.high, .low_open = true});
    if (!delta.problem.empty()) {
      book.problem = delta.problem;
      return book;
    }
    if (delta.value) line.delta = *delta.value;
    book.lines.push_back(line);
  }
  if (book.lines.empty()) book.problem = where + "中没有分数线，请填写或删除这张工作表后再运行。";
  return book;
}

LineFigures line_figures(const LineStudents& students, const std::vector<double>& classes,
                         const ScoreLine& line) {
  LineFigures f;
  const int groups = static_cast<int>(classes.size());
  const int n = static_cast<int>(students.totals.size());
  f.above.assign(groups + 1, 0);
  f.present.assign(groups + 1, 0);
  std::vector<int> group(n, -1);
  for (int i = 0; i < n; ++i) {
    auto it = std::lower_bound(classes.begin(), classes.end(), students.codes[i]);
    if (it != classes.end() && *it == students.codes[i]) group[i] = static_cast<int>(it - classes.begin());
    const bool up = students.totals[i] >= line.line;
    for (int g : {group[i], groups}) {
      if (g < 0) continue;
      ++f.present[g];
      f.above[g] += up;
    }
  }
  // 有效分 = sum of the subject / sum of the totals x line over the takers
  // who reached the line; compared as products, so that a score equal to it
  // on paper counts as reaching it.
  for (const std::vector<double>& scores : students.scores) {
    SubjectAtLine s;
    double ss = 0, ts = 0;
    for (int i = 0; i < n; ++i) {
      if (std::isnan(scores[i]) || students.totals[i] < line.line) continue;
      ss += scores[i];
      ts += students.totals[i];
      ++s.reached;
    }
    s.defined = s.reached > 0 && ts > 0;
    if (s.defined) {
      s.effective = ss * line.line / ts;
      for (int i = 0; i < n; ++i) {
        if (std::isnan(scores[i]) || scores[i] * ts < ss * line.line) continue;
        ++s.single;
        s.both += students.totals[i] >= line.line;
      }
    }
    f.subjects.push_back(s);
  }
  for (int i = 0; i < n; ++i)
    if (students.totals[i] < line.line && students.totals[i] >= line.line - line.delta) f.near.push_back(i);
  std::stable_sort(f.near.begin(), f.near.end(), [&](int a, int b) {
    if (students.codes[a] != students.codes[b]) return students.codes[a] < students.codes[b];
    return students.totals[a] > students.totals[b];
  });
  for (int i : f.near) {
    int weakest = -1;
    double lowest = 0;
    for (std::size_t j = 0; j < students.scores.size(); ++j) {
      const double v = students.scores[j][i];
      if (std::isnan(v) || !f.subjects[j].defined || !(f.subjects[j].effective > 0)) continue;
      const double ratio = v / f.subjects[j].effective;
      if (weakest < 0 || ratio < lowest) weakest = static_cast<int>(j), lowest = ratio;
    }
    f.weakest.push_back(weakest);
  }
  return f;
}

}  // namespace lczs::examanalysis
