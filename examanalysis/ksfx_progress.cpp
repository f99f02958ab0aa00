// The analysis options, the earlier exam's roster and the matching of its
// students with this exam's.
#include "examanalysis/ksfx_progress.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>

#include "host/numbers.h"
#include "host/setting_numbers.h"

namespace lczs::examanalysis {

using host::Area;
using host::Value;

namespace {

// Who a student is on both sides when the key repeats: key, 学号 and 班级.
std::string full_key(const Roster& r, int i) {
  return r.key[i] + '\x1f' + r.number[i] + '\x1f' + Value::number(r.code[i]).display_text();
}

}  // namespace

AnalysisOptions read_options(const host::Worksheet* sheet) {
  AnalysisOptions o;
  if (!sheet) return o;
  const Area region = sheet->current_region(1, 1);
  const std::string where = std::string("工作表“") + sheet->name() + "”";
  if (host::trim(sheet->value(1, 1).display_text()) != "名称" ||
      host::trim(sheet->value(1, 2).display_text()) != "值") {
    o.problem = where + "的第1行应为 名称、值 两列，请修改后再运行。";
    return o;
  }
  for (int row = 2; row <= region.bottom; ++row) {
    const std::string name = host::trim(sheet->value(row, 1).display_text());
    const Value v = sheet->value(row, 2);
    const std::string text = host::trim(v.display_text());
    auto refuse = [&](const std::string& what) { o.problem = host::setting_refusal(*sheet, row, 2, name, what); };
    if (name.empty() && text.empty()) continue;
    if (name == "匹配依据") {
      if (text != "姓名" && text != "学号") return refuse("只能是“姓名”或“学号”"), o;
      o.match_by = text;
    } else if (name == "进退步阈值") {
      const host::SettingNumber n = host::read_setting_number(*sheet, row, 2, name, {.low = 0, .whole = true});
      if (!n.problem.empty()) {
        o.problem = n.problem;
        return o;
      }
      if (!n.value) return refuse("是空的"), o;
      o.threshold = *n.value;
    } else {
      o.problem = host::setting_refusal(*sheet, row, 1, "名称",
                                        "：没有名为“" + name + "”的选项（可用的有：匹配依据、进退步阈值）");
      return o;
    }
  }
  return o;
}

std::vector<int> grade_ranks(const std::vector<double>& scores) {
  std::vector<int> order;
  for (std::size_t i = 0; i < scores.size(); ++i)
    if (!std::isnan(scores[i])) order.push_back(static_cast<int>(i));
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return scores[a] > scores[b]; });
  std::vector<int> rank(scores.size(), 0);
  for (std::size_t p = 0; p < order.size(); ++p)
    rank[order[p]] = p > 0 && scores[order[p - 1]] == scores[order[p]] ? rank[order[p - 1]] : static_cast<int>(p) + 1;
  return rank;
}

Roster read_previous(const host::Worksheet& sheet, const std::string& match_by,
                     const std::vector<std::string>& subjects, const std::vector<bool>& elective,
                     std::string& problem) {
  Roster r;
  const std::string where = std::string("工作表“") + sheet.name() + "”";
  const Area region = sheet.current_region(1, 1);
  const host::ValueGrid grid = sheet.values(Area{1, 1, std::max(1, region.bottom), std::max(1, region.right)});
  std::map<std::string, int> col;  // header -> column from 0
  for (int c = 0; c < grid.cols(); ++c) col.emplace(host::trim(grid.at(0, c).display_text()), c);
  for (const char* needed : {"班级", "学号", "姓名"})
    if (!col.count(needed)) {
      problem = where + "的第1行没有“" + needed + "”列，不像成绩表（班级、学号、姓名、各科成绩）或上次报告的“年级实考”，请检查后再运行。";
      return r;
    }
  // Subjects run from the column after 姓名 up to 总分 (a report) or the end.
  const int first = col["姓名"] + 1;
  const int last = col.count("总分") ? col["总分"] - 1 : grid.cols() - 1;
  std::vector<int> subject_col(subjects.size(), -1);
  for (int c = first; c <= last; ++c) {
    const std::string h = host::trim(grid.at(0, c).display_text());
    auto it = std::find(subjects.begin(), subjects.end(), h);
    if (it != subjects.end()) subject_col[it - subjects.begin()] = c;
  }
  if (last < first) {
    problem = where + "在姓名之后没有成绩列，请检查后再运行。";
    return r;
  }
  const int n = grid.rows() - 1;
  bool any_blank = false;
  for (int i = 1; i <= n; ++i)
    for (int c = first; c <= last; ++c)
      if (grid.at(i, c).is_empty()) any_blank = true;
  std::vector<double> totals(n, std::nan(""));
  std::vector<std::vector<double>> scores(subjects.size(), std::vector<double>(n, std::nan("")));
  const int key_col = col[match_by];
  for (int i = 0; i < n; ++i) {
    const auto& row = [&](int c) -> const Value& { return grid.at(i + 1, c); };
    r.key.push_back(host::trim(row(key_col).display_text()));
    r.name.push_back(host::trim(row(col["姓名"]).display_text()));
    r.number.push_back(host::trim(row(col["学号"]).display_text()));
    r.code.push_back(row(col["班级"]).as_number());
    for (std::size_t j = 0; j < subjects.size(); ++j)
      if (subject_col[j] >= 0 && row(subject_col[j]).is_number() && !(any_blank && row(subject_col[j]).as_number() == 0))
        scores[j][i] = row(subject_col[j]).as_number();
    if (col.count("总分")) {
      if (row(col["总分"]).is_number()) totals[i] = row(col["总分"]).as_number();
      continue;
    }
    // The input layout: ranked when present in every required subject.
    double sum = 0;
    bool present = true;
    for (int c = first; c <= last; ++c) {
      const std::string h = host::trim(grid.at(0, c).display_text());
      auto it = std::find(subjects.begin(), subjects.end(), h);
      const bool optional = it != subjects.end() && elective[it - subjects.begin()];
      const Value& v = row(c);
      if (v.is_number() && !(any_blank && v.as_number() == 0)) sum += v.as_number();
      else if (!optional || (v.is_number() && v.as_number() == 0)) present = false;
    }
    if (present) totals[i] = sum;
  }
  r.rank = grade_ranks(totals);
  for (const auto& s : scores) r.subject_rank.push_back(grade_ranks(s));
  return r;
}

Matching match_students(const Roster& now, const Roster& then) {
  Matching m;
  std::map<std::string, std::vector<int>> by_key_now, by_key_then;
  for (std::size_t i = 0; i < now.key.size(); ++i) by_key_now[now.key[i]].push_back(static_cast<int>(i));
  for (std::size_t i = 0; i < then.key.size(); ++i) by_key_then[then.key[i]].push_back(static_cast<int>(i));
  std::vector<int> partner_then(then.key.size(), -1);
  for (std::size_t i = 0; i < now.key.size(); ++i) {
    const std::string& key = now.key[i];
    auto there = by_key_then.find(key);
    int partner = -1;
    if (!key.empty() && there != by_key_then.end()) {
      const std::vector<int>& here = by_key_now[key];
      if (here.size() == 1 && there->second.size() == 1) {
        partner = there->second.front();
      } else {
        const std::string full = full_key(now, static_cast<int>(i));
        int same_now = 0, found = -1, same_then = 0;
        for (int k : here) same_now += full_key(now, k) == full;
        for (int k : there->second)
          if (full_key(then, k) == full) ++same_then, found = k;
        if (same_now == 1 && same_then == 1) partner = found;
      }
    }
    if (partner < 0) {
      m.unmatched_now.push_back(static_cast<int>(i));
    } else {
      m.pairs.emplace_back(static_cast<int>(i), partner);
      partner_then[partner] = static_cast<int>(i);
    }
  }
  for (std::size_t k = 0; k < partner_then.size(); ++k)
    if (partner_then[k] < 0) m.unmatched_then.push_back(static_cast<int>(k));
  return m;
}

}  // namespace lczs::examanalysis
