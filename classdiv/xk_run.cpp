#include "classdiv/xk_run.h"

#include <algorithm>
#include <set>

#include "classdiv/fb_main.h"
#include "host/numbers.h"

namespace lczs::classdiv {

using host::Area;
using host::Value;
using host::ValueGrid;

namespace {

std::string num(long long v) { return host::int_text(v); }

}  // namespace

int XkRun::group_of_class(int c) const {
  int g = 0;
  while (g + 1 < static_cast<int>(first_class.size()) && first_class[g + 1] <= c) ++g;
  return g;
}

std::string XkRun::group_name(int g) const {
  const XkMask f = plan.groups[g].fixed;
  return f ? xk_combo_text(f, true) : std::string("全走班");
}

std::variant<XkRun, std::string> xk_prepare(jobs::JobEnv& env, host::Workbook& book,
                                            const host::Worksheet& data, int students, int classes) {
  XkRun run;
  run.roster = read_roster(data, students);
  XkOverrides overrides{env.option(kElectiveSystemOption), env.option(kSizeFloatOption),
                        env.option(kTeachingCapOption)};
  auto read = read_electives(book, run.roster, classes, overrides);
  if (auto* refusal = std::get_if<std::string>(&read)) return *refusal;
  run.choices = std::move(std::get<XkChoices>(read));
  auto planned = plan_electives(run.choices, classes);
  if (auto* refusal = std::get_if<std::string>(&planned)) return *refusal;
  run.plan = std::move(std::get<XkPlan>(planned));
  int next = 1;
  for (const XkGroup& g : run.plan.groups) {
    run.first_class.push_back(next);
    next += g.classes;
  }
  return run;
}

std::vector<int> xk_deal(XkRun& run, const std::vector<int>& sorted, int boys) {
  const int N = static_cast<int>(sorted.size());
  const int G = static_cast<int>(run.plan.groups.size());
  run.group_of.assign(N, -1);
  // Each combination's students in the sorted order go to its groups in
  // proportion, so every group gets boys and girls of every level.
  std::vector<std::vector<int>> by_combo(1u << kXkSubjectCount);
  for (int s : sorted) by_combo[run.choices.combo[s]].push_back(s);
  for (XkMask m = 0; m < by_combo.size(); ++m) {
    const auto& list = by_combo[m];
    if (list.empty()) continue;
    std::vector<int> quota(G, 0), given(G, 0);
    for (int g = 0; g < G; ++g)
      for (auto& [c, n] : run.plan.groups[g].from)
        if (c == m) quota[g] = n;
    const long long total = static_cast<long long>(list.size());
    for (long long i = 0; i < total; ++i) {
      // The group furthest behind its share after this student.
      int pick = -1;
      long long behind = 0;
      for (int g = 0; g < G; ++g) {
        if (given[g] >= quota[g]) continue;
        const long long gap = quota[g] * (i + 1) - given[g] * total;
        if (pick < 0 || gap > behind) pick = g, behind = gap;
      }
      run.group_of[list[i]] = pick;
      ++given[pick];
    }
  }
  std::vector<int> out(N, 0);
  for (int g = 0; g < G; ++g) {
    std::vector<int> rows;
    int group_boys = 0;
    for (int x = 0; x < N; ++x)
      if (run.group_of[sorted[x]] == g) {
        rows.push_back(x);
        group_boys += x < boys;
      }
    const std::vector<int> dealt =
        fb_deal(group_boys, static_cast<int>(rows.size()) - group_boys, run.plan.groups[g].classes);
    for (std::size_t i = 0; i < rows.size(); ++i) out[rows[i]] = dealt[i] + run.first_class[g] - 1;
  }
  return out;
}

std::vector<XkTeachingClass> xk_teaching_classes(const XkRun& run, const std::vector<int>& class_of,
                                                 const std::vector<std::vector<double>>& scores,
                                                 const std::vector<std::string>& columns) {
  const int N = run.roster.size();
  std::vector<XkTeachingClass> out;
  for (int subject = 0; subject < kXkSubjectCount; ++subject) {
    // The subject's own score column where the data sheet has one, else
    // the total (the last column).
    int col = static_cast<int>(columns.size()) - 1;
    for (std::size_t j = 0; j < columns.size(); ++j)
      if (host::trim(columns[j]) == kXkSubjects[subject].name) col = static_cast<int>(j);
    std::vector<int> walkers;
    for (int s = 0; s < N; ++s)
      if ((run.choices.combo[s] & ~run.plan.groups[run.group_of[s]].fixed) & (1u << subject)) walkers.push_back(s);
    if (walkers.empty()) continue;
    // Boys first, each gender by the score from the top, dealt in
    // serpentine order: sizes and genders within one, scores level.
    std::stable_sort(walkers.begin(), walkers.end(), [&](int a, int b) {
      if (run.roster.boys[a] != run.roster.boys[b]) return static_cast<bool>(run.roster.boys[a]);
      if (scores[a][col] != scores[b][col]) return scores[a][col] > scores[b][col];
      return class_of[a] < class_of[b];
    });
    const int n = static_cast<int>(walkers.size());
    const int count = (n + run.choices.teaching_cap - 1) / run.choices.teaching_cap;
    int boys = 0;
    for (int s : walkers) boys += run.roster.boys[s];
    const std::vector<int> dealt = fb_deal(boys, n - boys, count);
    const std::size_t first = out.size();
    for (int t = 1; t <= count; ++t)
      out.push_back({subject, std::string(kXkSubjects[subject].name) + num(t), {}});
    for (int i = 0; i < n; ++i) out[first + dealt[i] - 1].students.push_back(walkers[i]);
  }
  return out;
}

void xk_write_results(const XkRun& run, host::Workbook& book, const std::vector<int>& class_of,
                      const std::vector<std::vector<double>>& scores, const std::vector<std::string>& columns) {
  const int N = run.roster.size();
  int K = 0;
  for (const XkGroup& g : run.plan.groups) K += g.classes;
  XkMask offered = 0;
  for (XkMask m : run.choices.combo) offered |= m;
  std::vector<int> subjects;
  for (int i = 0; i < kXkSubjectCount; ++i)
    if (offered & (1u << i)) subjects.push_back(i);
  const int S = static_cast<int>(subjects.size());

  // Per class: size, boys, girls, walkers per subject.
  std::vector<int> size(K + 1, 0), boys(K + 1, 0);
  std::vector<std::vector<int>> walkers(K + 1, std::vector<int>(S, 0));
  for (int s = 0; s < N; ++s) {
    const int c = class_of[s];
    ++size[c];
    boys[c] += run.roster.boys[s];
    const XkMask walked = run.choices.combo[s] & ~run.plan.groups[run.group_of[s]].fixed;
    for (int j = 0; j < S; ++j) walkers[c][j] += (walked >> subjects[j]) & 1;
  }

  host::Worksheet* sheet = book.find_sheet(std::string(kElectiveResultSheet));
  if (sheet) {
    sheet->clear_contents(Area::whole_sheet());
  } else {
    sheet = &book.add_sheet_after(book.sheet(book.sheet_count()));
    sheet->set_name(std::string(kElectiveResultSheet));
  }

  // The classes.
  ValueGrid classes(K + 1, 6 + S);
  const char* heads[] = {"班级", "类型", "定科", "人数", "男生", "女生"};
  for (int x = 0; x < 6; ++x) classes.at(0, x) = Value::text(heads[x]);
  for (int j = 0; j < S; ++j)
    classes.at(0, 6 + j) = Value::text("走班" + std::string(kXkSubjects[subjects[j]].name));
  for (int c = 1; c <= K; ++c) {
    const XkMask fixed = run.plan.groups[run.group_of_class(c)].fixed;
    classes.at(c, 0) = Value::number(c);
    classes.at(c, 1) = Value::text(std::string(xk_class_kind(fixed)));
    classes.at(c, 2) = Value::text(fixed ? xk_combo_text(fixed, false) : std::string("无"));
    classes.at(c, 3) = Value::number(size[c]);
    classes.at(c, 4) = Value::number(boys[c]);
    classes.at(c, 5) = Value::number(size[c] - boys[c]);
    for (int j = 0; j < S; ++j) classes.at(c, 6 + j) = Value::number(walkers[c][j]);
  }
  sheet->write_values({1, 1}, classes);

  // The groups: their classes and the largest spread of class averages
  // over the score columns, which the balance within the group evens out.
  const int top = K + 3;
  const int G = static_cast<int>(run.plan.groups.size());
  ValueGrid groups(G + 1, 6);
  const char* group_heads[] = {"组", "定科", "班级", "人数", "最大差值的科目", "班平均分最大差值"};
  for (int x = 0; x < 6; ++x) groups.at(0, x) = Value::text(group_heads[x]);
  const int M = static_cast<int>(columns.size());
  for (int g = 0; g < G; ++g) {
    const XkGroup& grp = run.plan.groups[g];
    const int first = run.first_class[g], last = first + grp.classes - 1;
    groups.at(g + 1, 0) = Value::number(g + 1);
    groups.at(g + 1, 1) = Value::text(run.group_name(g));
    groups.at(g + 1, 2) = Value::text(first == last ? num(first) : num(first) + "～" + num(last));
    groups.at(g + 1, 3) = Value::number(grp.students);
    std::vector<std::vector<double>> sum(M, std::vector<double>(K + 1, 0.0));
    for (int s = 0; s < N; ++s)
      if (run.group_of[s] == g)
        for (int j = 0; j < M; ++j) sum[j][class_of[s]] += scores[s][j];
    double widest = 0;
    int worst = 0;
    for (int j = 0; j < M && grp.classes > 1; ++j) {
      double hi = -1e300, lo = 1e300;
      for (int c = first; c <= last; ++c) {
        hi = std::max(hi, sum[j][c] / size[c]);
        lo = std::min(lo, sum[j][c] / size[c]);
      }
      if (hi - lo > widest) widest = hi - lo, worst = j;
    }
    groups.at(g + 1, 4) = grp.classes > 1 ? Value::text(columns[worst]) : Value::text("（一个班）");
    groups.at(g + 1, 5) = Value::number(widest);
  }
  sheet->write_values({top, 1}, groups);

  // The teaching classes of every walked subject, then the students.
  const std::vector<XkTeachingClass> teaching = xk_teaching_classes(run, class_of, scores, columns);
  const int taught = top + G + 2;
  ValueGrid table(static_cast<int>(teaching.size()) + 1, 6);
  const char* teaching_heads[] = {"教学班", "科目", "人数", "男生", "女生", "来自班级"};
  for (int x = 0; x < 6; ++x) table.at(0, x) = Value::text(teaching_heads[x]);
  std::vector<std::string> taught_in(N);
  for (std::size_t t = 0; t < teaching.size(); ++t) {
    const XkTeachingClass& tc = teaching[t];
    std::set<int> from;
    int tc_boys = 0;
    for (int s : tc.students) {
      from.insert(class_of[s]);
      tc_boys += run.roster.boys[s];
      taught_in[s] += (taught_in[s].empty() ? "" : "、") + tc.name;
    }
    std::string classes_text;
    for (int c : from) classes_text += (classes_text.empty() ? "" : "、") + num(c);
    const int n = static_cast<int>(tc.students.size());
    table.at(static_cast<int>(t) + 1, 0) = Value::text(tc.name);
    table.at(static_cast<int>(t) + 1, 1) = Value::text(std::string(kXkSubjects[tc.subject].name));
    table.at(static_cast<int>(t) + 1, 2) = Value::number(n);
    table.at(static_cast<int>(t) + 1, 3) = Value::number(tc_boys);
    table.at(static_cast<int>(t) + 1, 4) = Value::number(n - tc_boys);
    table.at(static_cast<int>(t) + 1, 5) = Value::text(classes_text);
  }
  sheet->write_values({taught, 1}, table);

  const int list = taught + static_cast<int>(teaching.size()) + 2;
  ValueGrid students(N + 1, 6);
  const char* student_heads[] = {"统一学号", "姓名", "班级", "选科", "走班科目", "教学班"};
  for (int x = 0; x < 6; ++x) students.at(0, x) = Value::text(student_heads[x]);
  std::vector<std::string> result(N);
  for (int s = 0; s < N; ++s) {
    const XkMask walked = run.choices.combo[s] & ~run.plan.groups[run.group_of[s]].fixed;
    const std::string walks = walked ? xk_combo_text(walked, false) : std::string("无");
    students.at(s + 1, 0) = Value::text(run.roster.ids[s]);
    students.at(s + 1, 1) = Value::text(run.roster.names[s]);
    students.at(s + 1, 2) = Value::number(class_of[s]);
    students.at(s + 1, 3) = Value::text(xk_combo_text(run.choices.combo[s], true));
    students.at(s + 1, 4) = Value::text(walks);
    students.at(s + 1, 5) = Value::text(taught_in[s].empty() ? std::string("无") : taught_in[s]);
    result[s] = "第 " + num(class_of[s]) + " 班（" + std::string(xk_class_kind(run.plan.groups[run.group_of[s]].fixed)) +
                "），走班：" + walks;
  }
  sheet->write_values({list, 1}, students);

  // 结果 beside each student's row of 选科.
  host::Worksheet& choices = book.sheet(std::string(kElectiveSheet));
  const int col = run.choices.result_col;
  int last_row = 1;
  for (int r : run.choices.row) last_row = std::max(last_row, r);
  ValueGrid column = choices.values(Area{1, col, last_row, col});
  column.at(0, 0) = Value::text(std::string(kResultHeader));
  for (int s = 0; s < N; ++s) column.at(run.choices.row[s] - 1, 0) = Value::text(result[s]);
  choices.write_values({1, col}, column);
}

std::string xk_summary(const XkRun& run) {
  int kinds[4] = {0, 0, 0, 0};  // by fixed subjects 3, 2, 1, 0
  int K = 0;
  for (const XkGroup& g : run.plan.groups) {
    kinds[3 - xk_popcount(g.fixed)] += g.classes;
    K += g.classes;
  }
  std::string text = "选科分班：" + num(run.roster.size()) + " 名学生，" + num(K) + " 个班（组合班 " + num(kinds[0]) +
                     " 个、定二走一 " + num(kinds[1]) + " 个、定一走二 " + num(kinds[2]) + " 个";
  if (run.choices.system == XkSystem::AnyThree) text += "、全走班 " + num(kinds[3]) + " 个";
  return text + "），走班共 " + num(run.plan.walked) + " 科次，是所有可行方案中最少的。";
}

}  // namespace lczs::classdiv
