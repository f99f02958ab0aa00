#include "classdiv/fb_main.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <unordered_set>
#include <cstdio>
#include <functional>
#include <limits>

#include "classdiv/conditions.h"
#include "classdiv/fb_forms.h"
#include "classdiv/fb_refine.h"
#include "classdiv/fb_search.h"
#include "classdiv/xk_run.h"
#include "host/numbers.h"
#include "host/setting_numbers.h"
#include "host/page_breaks.h"

namespace lczs::classdiv {

using host::Area;
using host::SortHeader;
using host::SortKey;
using host::SortOrder;
using host::SortSpec;
using host::Value;
using host::ValueGrid;

namespace {

void box(jobs::JobEnv& env, std::string_view text) {
  env.ui.message_box(text, ui::Buttons::Ok, ui::kTitle);
}

// A refusal of the data: one box naming the sheet and the cell or row; the
// driver then shows its exit message.
void refuse(jobs::JobEnv& env, FbState& st, const std::string& text) {
  box(env, text);
  st.fb_go_on = false;
}

std::string sheet_ref(const host::Worksheet& ws) { return "工作表“" + ws.name() + "”"; }

std::string shown(const Value& v) {
  if (v.is_empty()) return "空白";
  return "“" + v.display_text() + "”";
}

std::string num(long long v) { return host::int_text(v); }

// One column of numbers as a grid for a single write.
ValueGrid number_column(int rows, const std::function<double(int)>& at) {
  ValueGrid grid(rows, 1);
  for (int i = 0; i < rows; ++i) grid.at(i, 0) = Value::number(at(i));
  return grid;
}

}  // namespace

void fb_confirm(jobs::JobEnv& env, FbState& st) {
  st.fb_go_on = true;
  if (env.ui.message_box("开始分班，请先选中分班数据所在的工作表，继续吗？", ui::Buttons::OkCancel,
                         ui::kTitle) == ui::kCancel) {
    st.fb_go_on = false;
    return;
  }
  {
    auto gs = make_gs(st);
    env.ui.show_modal(*gs);
  }
  if (!st.fb_go_on) return;
  std::string why;  // why the settings form is back, for the text dialogs
  do {
    auto form = make_c_fbsz(st, env.ui);
    form->shown_again = why;
    bool closed = false;
    form->on("c_fbsz", "QueryClose", [&closed] { closed = true; });
    env.ui.show_modal(*form);
    why = closed ? "再次显示：关闭窗口不会离开这个窗体，要停止分班请按“取消”"
                 : "再次显示：" +
                       (form->refused.empty() ? "分班数须为 " + host::int_text(host::kMinClassCount) + " 或以上"
                                              : form->refused) +
                       "，各框重新为空";
  } while (st.fb_go_on && st.fb_class_count < host::kMinClassCount);
}

std::vector<int> fb_deal(int boys, int girls, int classes) {
  const int K = classes;
  std::vector<int> out;
  out.reserve(boys + girls);
  auto serpentine = [&](int count, int c, int d) {
    for (int n = 0; n < count; ++n) {
      if (c > K || c < 1) {
        d = -d;
        c += d;
      }
      out.push_back(c);
      c += d;
    }
  };
  serpentine(boys, 1, +1);
  if (boys % K == 0) {
    serpentine(girls, K, -1);
  } else {
    const int rest = girls % K;
    serpentine(girls - rest, K, -1);
    if (rest != 0) {
      // The last girls finish the boys' unfinished pass over the classes.
      const int d = (boys / K) % 2 == 0 ? +1 : -1;
      int c = out[boys - 1] + d;
      for (int n = 0; n < rest; ++n) {
        if (c > K || c < 1) c = d < 0 ? K : 1;
        out.push_back(c);
        c += d;
      }
    }
  }
  return out;
}

void fb_prepare_classes(jobs::JobEnv& env, FbState& st) {
  host::Application& app = env.host_app;
  host::Workbook& wb = *st.work_book;
  host::Worksheet& data = *st.work_sheet;
  const int K = st.fb_class_count;

  const Area region = data.current_region(1, 1);
  const int N = region.row_count() - 1;
  const int M = region.col_count() - 4;

  // Refused before anything changes: the statistics block must stay within
  // the sheet, and there must be score columns.
  if (static_cast<long long>(N) + K + 14 > host::kMaxRows) {
    refuse(env, st, sheet_ref(data) + "有 " + num(N) + " 名学生，分 " + num(K) +
                        " 个班时统计表要用到第 " + num(static_cast<long long>(N) + K + 14) +
                        " 行，超过了工作表 " + num(host::kMaxRows) + " 行的上限，无法分班。");
    return;
  }
  if (M < 1) {
    refuse(env, st, sheet_ref(data) + "第 1 行的表头从 A1 起不足 5 列：应依次为统一学号、班级、姓名、性别、"
                        "各科成绩，最后一列为总分，请按格式调整后再运行。");
    return;
  }
  st.fb_student_count = N;
  st.fb_score_cols = M;

  // Conditions are refused, like the data, before anything changes.
  host::Worksheet* rules_sheet = wb.find_sheet(std::string(kConditionsSheet));
  host::Worksheet* elective_sheet = wb.find_sheet(std::string(kElectiveSheet));
  if (elective_sheet && elective_sheet->name() != data.name() && N >= 1 && K <= N) {
    if (rules_sheet && rules_sheet->name() != data.name()) {
      refuse(env, st, "工作簿中既有工作表“" + std::string(kElectiveSheet) + "”又有工作表“" +
                          std::string(kConditionsSheet) + "”：选科分班目前不能同时使用分班条件，请把其中一张表改名后再运行。");
      return;
    }
    auto got = xk_prepare(env, wb, data, N, K);
    if (auto* refusal = std::get_if<std::string>(&got)) {
      refuse(env, st, *refusal);
      return;
    }
    st.fb_electives = std::make_shared<XkRun>(std::move(std::get<XkRun>(got)));
  }
  if (rules_sheet && rules_sheet->name() != data.name() && N >= 1 && K <= N) {
    auto cond = std::make_shared<FbConditions>();
    cond->roster = read_roster(data, N);
    int boys = 0;
    for (bool b : cond->roster.boys) boys += b;
    std::vector<int> sizes(K + 1, 0);
    for (int c : fb_deal(boys, N - boys, K)) ++sizes[c];
    auto read = read_conditions(*rules_sheet, cond->roster, sizes);
    if (auto* refusal = std::get_if<std::string>(&read)) {
      refuse(env, st, *refusal);
      return;
    }
    cond->read = std::move(std::get<ConditionSheet>(read));
    st.fb_conditions = std::move(cond);
  }

  box(env, "开始分班，需要几分钟时间，请您稍等!\n\n请点击 确定 按钮\n\n(程序执行时鼠标变为漏斗状，表明正在进行分班)");
  app.set_screen_updating(false);
  wb.move_sheet_before(data, wb.sheet(1));
  st.work_sheet = &wb.sheet(1);
  host::Worksheet& ws = *st.work_sheet;
  host::WorksheetFunctions& wf = app.worksheet_function();

  if (N >= 1) {
    const Area scores{2, 5, N + 1, M + 4};
    // Genders and scores, read once for every check below (column 0 is D).
    const ValueGrid table = ws.values(Area{2, 4, N + 1, M + 4});
    // The two refusals keep their own words and add where the first such
    // cell is, so the user need not search the whole table for it.
    auto first_cell = [&](auto&& matches) {
      for (int r = 2; r <= N + 1; ++r)
        for (int x = 5; x <= M + 4; ++x)
          if (matches(table.at(r - 2, x - 4)))
            return "\n第一处：" + sheet_ref(ws) + "的单元格 " + host::address(Area::cell(r, x), false) + "。";
      return std::string();
    };
    if (wf.count_blank(ws, scores) > 0) {
      refuse(env, st, "有空白单元格（缺考），处理后进行分班！" + first_cell([](const Value& v) {
               return v.is_empty() || (v.is_text() && v.as_text().empty());
             }));
      return;
    }
    if (wf.count_if(ws, scores, Value::text("0")) > 0) {
      refuse(env, st, "有单元格为0，处理后进行分班！" + first_cell([&](const Value& v) {
               return v.vba_equals(Value::number(0)) ||
                      (v.is_text() && host::parse_user_number(v.as_text()) == 0.0);
             }));
      return;
    }
    for (int r = 2; r <= N + 1; ++r)
      for (int x = 5; x <= M + 4; ++x) {
        const Value& v = table.at(r - 2, x - 4);
        if (!v.is_number()) {
          refuse(env, st, sheet_ref(ws) + "的单元格 " + host::address(Area::cell(r, x), false) +
                              " 不是数字（" + shown(v) + "），请处理后再运行。");
          return;
        }
      }
    for (int r = 2; r <= N + 1; ++r) {
      const Value& v = table.at(r - 2, 0);
      if (!(v.is_text() && (v.as_text() == "男" || v.as_text() == "女"))) {
        refuse(env, st, sheet_ref(ws) + "第 " + num(r) + " 行的性别（单元格 D" + num(r) + "）是" +
                            shown(v) + "，只能是“男”或“女”，请处理后再运行。");
        return;
      }
    }
  }
  if (N == 0) {
    refuse(env, st, sheet_ref(ws) + "第 1 行的表头下面没有学生，无法分班。");
    return;
  }
  if (K > N) {
    refuse(env, st, sheet_ref(ws) + "只有 " + num(N) + " 名学生（第 2 行至第 " + num(N + 1) +
                        " 行），少于分班数 " + num(K) + "，无法分班，请重新设置分班数。");
    return;
  }

  ws.set_value(1, M + 5, Value::text("记录号"));
  // With conditions, each row carries its student (data row - 1) through
  // the sorts, so the deal and the search know who stands where.
  FbConditions* cond = st.fb_conditions.get();
  auto students_by_row = [&] {
    std::vector<int> out;
    const ValueGrid col = ws.values(Area{2, M + 5, N + 1, M + 5});
    for (int n = 0; n < N; ++n) out.push_back(static_cast<int>(col.at(n, 0).as_number()) - 1);
    return out;
  };
  XkRun* xk = st.fb_electives.get();
  if (cond || xk) ws.write_values({2, M + 5}, number_column(N, [](int n) { return n + 1; }));
  ws.activate();
  Area all = ws.current_region(1, 1);
  ws.select(all);
  ws.sort(all, SortSpec{.key1 = SortKey{4, SortOrder::Ascending},
                        .key2 = SortKey{M + 4, SortOrder::Descending},
                        .header = SortHeader::Guess});

  const Area genders{2, 4, N + 1, 4};
  st.fb_boy_count = wf.count_if(ws, genders, Value::text("男"));
  st.fb_girl_count = wf.count_if(ws, genders, Value::text("女"));
  const int B = st.fb_boy_count, G = st.fb_girl_count;

  std::vector<int> deal = fb_deal(B, G, K);
  if (cond) {
    const std::vector<int> sorted = students_by_row();
    std::vector<int> key_of(N);
    for (int s = 0; s < N; ++s) key_of[s] = s + 1;
    const ClassRules placing(cond->read.conditions, cond->roster, K, key_of);
    deal = deal_with_conditions(sorted, deal, cond->roster, placing, key_of, K);
  }
  if (xk) deal = xk_deal(*xk, students_by_row(), B);
  ws.write_values({2, 2}, number_column(N, [&](int n) { return deal[n]; }));

  st.fb_class_sizes.assign(K + 1, std::vector<int>(4, 0));
  for (int n = 0; n < N; ++n) {
    auto& s = st.fb_class_sizes[deal[n]];
    ++s[1];
    ++s[n < B ? 2 : 3];
  }

  all = ws.current_region(1, 1);
  ws.select(all);
  ws.sort(all, SortSpec{.key1 = SortKey{2, SortOrder::Ascending},
                        .key2 = SortKey{4, SortOrder::Ascending},
                        .key3 = SortKey{M + 4, SortOrder::Descending},
                        .header = SortHeader::Guess});

  st.fb_class_rows.assign(K + 1, std::vector<int>(5, 0));
  for (int c = 1; c <= K; ++c) {
    auto& r = st.fb_class_rows[c];
    r[1] = c == 1 ? 2 : st.fb_class_rows[c - 1][1] + st.fb_class_sizes[c - 1][1];
    r[2] = r[1] + st.fb_class_sizes[c][2] - 1;
    r[3] = r[1] + st.fb_class_sizes[c][2];
    r[4] = r[1] + st.fb_class_sizes[c][1] - 1;
  }

  if (cond) {
    // From here on students are named by record number: row r holds r - 1.
    const std::vector<int> by_row = students_by_row();
    std::vector<int> key_of(N);
    for (int n = 0; n < N; ++n) key_of[by_row[n]] = n + 1;
    auto rules = std::make_unique<ClassRules>(cond->read.conditions, cond->roster, K, key_of);
    cond->rules = rules.get();
    st.fb_rules = std::move(rules);
  }

  if (xk) {
    const std::vector<int> by_row = students_by_row();
    xk->roster_of_record.assign(N + 1, 0);
    for (int n = 0; n < N; ++n) xk->roster_of_record[n + 1] = by_row[n];
  }

  fb_build_stats(env, st);

  st.fb_record_no.assign(N + 2, 0);
  for (int r = 2; r <= N + 1; ++r) st.fb_record_no[r] = r - 1;
  ws.write_values({2, M + 5}, number_column(N, [](int n) { return n + 1; }));
}

void fb_build_stats(jobs::JobEnv& env, FbState& st) {
  host::Application& app = env.host_app;
  host::Worksheet& ws = *st.work_sheet;
  const int N = st.fb_student_count, M = st.fb_score_cols, K = st.fb_class_count;
  const int S = st.stats_row();

  ws.set_value(S, 1, Value::text("班人数"));
  ws.set_value(S, 2, Value::text("男生"));
  ws.set_value(S, 3, Value::text("女生"));
  ws.set_value(S, 4, Value::text("班级"));
  app.copy(ws, Area{1, 5, 1, M + 4});
  app.paste(ws, {S, 5});
  app.end_copy_mode();

  // Sizes, boys, girls and the class of every class, then the grade's.
  ValueGrid sizes(K + 1, 4);
  for (int c = 1; c <= K; ++c) {
    for (int x = 1; x <= 3; ++x) sizes.at(c - 1, x - 1) = Value::number(st.fb_class_sizes[c][x]);
    sizes.at(c - 1, 3) = Value::number(c);
  }
  sizes.at(K, 0) = Value::number(N);
  sizes.at(K, 1) = Value::number(st.fb_boy_count);
  sizes.at(K, 2) = Value::number(st.fb_girl_count);
  sizes.at(K, 3) = Value::text("年级");
  ws.write_values({S + 1, 1}, sizes);
  ws.set_value(S + K + 2, 3, Value::text("总平均分"));
  // With electives the extremes are per group, whose classes are not meant
  // to match those of another; each group's three rows name it in column D.
  const int blocks = st.fb_electives ? static_cast<int>(st.fb_electives->plan.groups.size()) : 1;
  for (int g = 0; g < blocks; ++g) {
    ws.set_value(S + K + 3 + 3 * g, 3, Value::text("最高平均分的班"));
    ws.set_value(S + K + 4 + 3 * g, 3, Value::text("最低平均分的班"));
    ws.set_value(S + K + 5 + 3 * g, 3, Value::text("平均分两最之差"));
    if (st.fb_electives)
      for (int x = 3; x <= 5; ++x) ws.set_value(S + K + x + 3 * g, 4, Value::text(st.fb_electives->group_name(g)));
  }

  for (int c = 1; c <= K; ++c)
    for (int x = 5; x <= M + 4; ++x) {
      const Area block{st.fb_class_rows[c][1], x, st.fb_class_rows[c][4], x};
      ws.set_formula(Area::cell(S + c, x), "=AVERAGEA(" + host::address(block) + ")");
    }
  for (int x = 5; x <= M + 4; ++x)
    ws.set_formula(Area::cell(S + K + 2, x), "=AVERAGEA(" + host::address(Area{2, x, N + 1, x}) + ")");

  fb_refresh_extremes(env, st);
}

void fb_refresh_extremes(jobs::JobEnv& env, FbState& st) {
  host::Worksheet& ws = *st.work_sheet;
  host::WorksheetFunctions& wf = env.host_app.worksheet_function();
  const int M = st.fb_score_cols, K = st.fb_class_count;
  const int S = st.stats_row();
  // The classes compared: all of them, or each group's with electives.
  std::vector<std::pair<int, int>> blocks{{1, K}};
  if (const XkRun* xk = st.fb_electives.get()) {
    blocks.clear();
    for (std::size_t g = 0; g < xk->plan.groups.size(); ++g)
      blocks.emplace_back(xk->first_class[g], xk->first_class[g] + xk->plan.groups[g].classes - 1);
  }
  for (std::size_t g = 0; g < blocks.size(); ++g) {
    const auto [first, last] = blocks[g];
    const int top = S + K + 3 + 3 * static_cast<int>(g);
    std::vector<double> spread(M + 5, 0.0);
    for (int x = 5; x <= M + 4; ++x) {
      const Area v{S + first, x, S + last, x};
      const double mx = wf.max(ws, v);
      const double mn = wf.min(ws, v);
      ws.set_value(top, x, Value::number(wf.match_exact(Value::number(mx), ws, v) + first - 1));
      ws.set_value(top + 1, x, Value::number(wf.match_exact(Value::number(mn), ws, v) + first - 1));
      spread[x] = mx - mn;
    }
    for (int x = 5; x <= M + 4; ++x) ws.set_value(top + 2, x, Value::number(spread[x]));
  }
}

void fb_exchange_rows(host::Application& app, host::Worksheet& ws, int i, int k, int scratch_row) {
  app.copy(ws, Area::rows(i, i));
  app.paste(ws, {scratch_row, 1});
  app.copy(ws, Area::rows(k, k));
  app.paste(ws, {i, 1});
  app.copy(ws, Area::rows(scratch_row, scratch_row));
  app.paste(ws, {k, 1});
  app.end_copy_mode();
  // Clearing contents keeps comments and hyperlinks, so the scratch row
  // would keep the copy of the last exchanged row's.
  const Area scratch = Area::rows(scratch_row, scratch_row);
  ws.clear_contents(scratch);
  ws.clear_comments(scratch);
  ws.clear_hyperlinks(scratch);
}

namespace {

// Clock readings of the search that goes on after the greedy cycles come
// this many candidates apart: often enough to stop within a millisecond,
// rarely enough to cost nothing.
constexpr long long kRefineBatch = 4096;

// The best state so far: the lowest largest spread, then the lowest sum of
// spreads.
struct Best {
  double max_spread = 0, spread_sum = 0;
  std::vector<int> ids;  // record numbers by row, [r - 2]
  bool offer(double mx, double sum, const std::vector<int>& at) {
    if (!ids.empty() && !(mx < max_spread || (mx == max_spread && sum < spread_sum))) return false;
    max_spread = mx;
    spread_sum = sum;
    ids = at;
    return true;
  }
};

double largest_spread(const FbSearch& search, int M) {
  double mx = search.spread(1);
  for (int j = 2; j <= M; ++j) mx = std::max(mx, search.spread(j));
  return mx;
}

// The search's input with its rows arranged as `ids` says.
SearchInput arranged(const SearchInput& now, const std::vector<int>& ids) {
  SearchInput in = now;
  const int M = now.columns;
  std::vector<int> row_of(now.students + 1, 0);
  for (int x = 0; x < now.students; ++x) row_of[now.ids[x]] = x;
  for (int x = 0; x < now.students; ++x) {
    const int from = row_of[ids[x]];
    std::copy_n(&now.scores[static_cast<std::size_t>(from) * M], M, &in.scores[static_cast<std::size_t>(x) * M]);
  }
  in.ids = ids;
  return in;
}

// Balances one group of classes (rows first_row.. of the sheet, classes
// first..last) on its own, for `seconds` or `evaluations` candidates, and
// puts its best state into fb_record_no. The search sees the group as a
// grade of its own: rows from 2, classes from 1, its students numbered 1..n.
void balance_group(jobs::JobEnv& env, FbState& st, const ValueGrid& scores, int first, int last, double seconds,
                   long long evaluations) {
  const int M = st.fb_score_cols;
  const int top = st.fb_class_rows[first][1], bottom = st.fb_class_rows[last][4];
  const int n = bottom - top + 1, shift = top - 2;
  SearchInput in;
  in.students = n;
  in.columns = M;
  in.classes = last - first + 1;
  in.scores.resize(static_cast<std::size_t>(n) * M);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < M; ++j) in.scores[static_cast<std::size_t>(i) * M + j] = scores.at(top - 2 + i, j).as_number();
  in.rows.assign(in.classes + 1, {0, 0, 0, 0});
  in.sizes.assign(in.classes + 1, 0);
  for (int c = first; c <= last; ++c) {
    for (int x = 0; x < 4; ++x) in.rows[c - first + 1][x] = st.fb_class_rows[c][x + 1] - shift;
    in.sizes[c - first + 1] = st.fb_class_sizes[c][1];
  }
  std::vector<int> record(n + 1, 0);  // the group's own numbers to record numbers
  for (int i = 0; i < n; ++i) {
    in.ids.push_back(i + 1);
    record[i + 1] = st.fb_record_no[top + i];
  }
  FbSearch search(std::move(in));
  Best best;
  best.offer(largest_spread(search, M), search.spread_sum(), search.ids());
  std::unordered_set<std::uint64_t> seen{search.state_hash()};
  const double start = env.clock.now_seconds();
  const bool by_work = evaluations >= 0;
  std::optional<FbRefine> refine;
  auto judged = [&] { return search.candidates_judged() + (refine ? refine->judged() : 0); };
  auto time_left = [&] { return by_work ? judged() < evaluations : env.clock.now_seconds() < start + seconds; };
  while (time_left() && best.max_spread > st.fb_max_diff) {
    if (!refine) {
      const auto pick = search.choose();
      if (pick && !seen.count(search.hash_after(pick->first, pick->second))) {
        search.exchange(pick->first, pick->second);
        seen.insert(search.state_hash());
        best.offer(largest_spread(search, M), search.spread_sum(), search.ids());
        continue;
      }
      refine.emplace(arranged(search.input(), best.ids), st.fb_seed, nullptr);
      if (!refine->has_moves()) break;
    }
    const long long batch = by_work ? std::min(kRefineBatch, evaluations - judged()) : kRefineBatch;
    refine->run(batch, static_cast<double>(st.fb_max_diff));
    best.offer(refine->best_max_spread(), refine->best_spread_sum(), refine->best_ids());
    if (!refine->has_moves()) break;
  }
  if (refine) {
    refine->polish_best(static_cast<double>(st.fb_max_diff));
    best.offer(refine->best_max_spread(), refine->best_spread_sum(), refine->best_ids());
  }
  st.fb_candidates += judged();
  st.fb_best_spread = std::max(st.fb_best_spread, best.max_spread);
  for (int i = 0; i < n; ++i) st.fb_record_no[top + i] = record[best.ids[i]];
}

// Each group of an elective division balanced on its own, the time (or
// the candidates) shared out by the group's students; then the sheets.
void balance_groups(jobs::JobEnv& env, FbState& st) {
  const XkRun& xk = *st.fb_electives;
  const int N = st.fb_student_count, M = st.fb_score_cols;
  host::Worksheet& ws = *st.work_sheet;
  const ValueGrid scores = ws.values(Area{2, 5, N + 1, M + 4});
  st.fb_start_time = env.clock.now_seconds();
  st.fb_best_spread = 0;
  for (std::size_t g = 0; g < xk.plan.groups.size(); ++g) {
    const XkGroup& group = xk.plan.groups[g];
    if (group.classes < 2) continue;
    const double share = static_cast<double>(group.students) / N;
    env.ui.progress("分班调整中：第 " + num(static_cast<long long>(g) + 1) + " 组（" + xk.group_name(static_cast<int>(g)) +
                    "，" + num(group.classes) + " 个班）");
    balance_group(env, st, scores, xk.first_class[g], xk.first_class[g] + group.classes - 1,
                  st.fb_time_limit * share,
                  st.fb_evaluation_limit >= 0 ? static_cast<long long>(st.fb_evaluation_limit * share) : -1);
  }
  env.ui.progress_done();
  st.fb_end_time = env.clock.now_seconds();
  st.fb_elapsed = st.fb_end_time - st.fb_start_time;
  st.fb_max_spread = static_cast<float>(st.fb_best_spread);

  // Each student's final class, by roster index, for the elective sheets.
  std::vector<int> class_of(N, 0);
  std::vector<std::vector<double>> by_student(N);
  const ValueGrid header = ws.values(Area{1, 5, 1, M + 4});
  std::vector<std::string> columns;
  for (int j = 0; j < M; ++j) columns.push_back(header.at(0, j).display_text());
  for (int c = 1; c <= st.fb_class_count; ++c)
    for (int r = st.fb_class_rows[c][1]; r <= st.fb_class_rows[c][4]; ++r) {
      const int s = xk.roster_of_record[st.fb_record_no[r]];
      class_of[s] = c;
      // The record number r - 1 stood in row r when the scores were read.
      const int from = st.fb_record_no[r] - 1;
      for (int j = 0; j < M; ++j) by_student[s].push_back(scores.at(from, j).as_number());
    }
  xk_write_results(xk, *st.work_book, class_of, by_student, columns);
  fb_write_back(env, st);
}

}  // namespace

void fb_balance_classes(jobs::JobEnv& env, FbState& st) {
  if (st.fb_electives) {
    balance_groups(env, st);
    return;
  }
  host::Worksheet& ws = *st.work_sheet;
  const int N = st.fb_student_count, M = st.fb_score_cols, K = st.fb_class_count;

  SearchInput in;
  in.students = N;
  in.columns = M;
  in.classes = K;
  in.scores.resize(static_cast<std::size_t>(N) * M);
  const ValueGrid scores = ws.values(Area{2, 5, N + 1, M + 4});
  for (int i = 0; i < N; ++i)
    for (int j = 0; j < M; ++j) in.scores[static_cast<std::size_t>(i) * M + j] = scores.at(i, j).as_number();
  in.rows.assign(K + 1, {0, 0, 0, 0});
  in.sizes.assign(K + 1, 0);
  for (int c = 1; c <= K; ++c) {
    for (int x = 0; x < 4; ++x) in.rows[c][x] = st.fb_class_rows[c][x + 1];
    in.sizes[c] = st.fb_class_sizes[c][1];
  }
  for (int r = 2; r <= N + 1; ++r) in.ids.push_back(st.fb_record_no[r]);
  FbSearch search(std::move(in));
  search.set_rules(st.fb_rules.get());
  std::optional<FbRefine> refine;
  Best best;
  best.offer(largest_spread(search, M), search.spread_sum(), search.ids());
  // States the greedy cycles have been in: coming back to one means they
  // would only go round, so the search that follows takes over.
  std::unordered_set<std::uint64_t> seen{search.state_hash()};

  st.fb_start_time = env.clock.now_seconds();
  st.fb_max_spread = search.max_spread();
  const bool by_work = st.fb_evaluation_limit >= 0;
  auto judged = [&] {
    return search.candidates_judged() + (refine ? refine->judged() : 0);
  };
  double last_progress = -std::numeric_limits<double>::infinity();
  bool progressed = false;
  for (;;) {
    // The one clock reading of the stop test also paces the progress line.
    const double now = env.clock.now_seconds();
    const bool time_left = by_work ? judged() < st.fb_evaluation_limit : now < st.fb_start_time + st.fb_time_limit;
    if (!(time_left && st.fb_max_spread > st.fb_max_diff)) break;
    if (now - last_progress >= 0.1) {
      char line[200];
      if (by_work)
        std::snprintf(line, sizeof line, "分班调整中：已判断 %lld / %lld 个交换，最佳最大差值 %.3f（允许 %.3f）",
                      judged(), st.fb_evaluation_limit, static_cast<double>(st.fb_max_spread),
                      static_cast<double>(st.fb_max_diff));
      else
        std::snprintf(line, sizeof line, "分班调整中：已用 %.1f 秒 / 限时 %d 秒，最佳最大差值 %.3f（允许 %.3f）",
                      now - st.fb_start_time, st.fb_time_limit, static_cast<double>(st.fb_max_spread),
                      static_cast<double>(st.fb_max_diff));
      env.ui.progress(line);
      last_progress = now;
      progressed = true;
    }
    if (!refine) {
      const auto pick = search.choose();
      if (pick && (!st.fb_whole_search || !seen.count(search.hash_after(pick->first, pick->second)))) {
        const auto [i, k] = *pick;
        search.exchange(i, k);
        seen.insert(search.state_hash());
        fb_exchange_rows(env.host_app, ws, i, k, N + 4);
        std::swap(st.fb_record_no[i], st.fb_record_no[k]);
        st.fb_exchanges.push_back(*pick);
        ++st.fb_cycles;
        st.fb_best_gain = search.best_gain();
        if (!st.fb_whole_search) {
          st.fb_max_spread = search.max_spread();
          best = Best{};
          best.offer(largest_spread(search, M), search.spread_sum(), search.ids());
        } else if (best.offer(largest_spread(search, M), search.spread_sum(), search.ids())) {
          st.fb_max_spread = static_cast<float>(best.max_spread);
        }
        continue;
      }
      if (!st.fb_whole_search) break;
      // Without a pair of the same gender in h and l, or at a state met
      // before, the greedy cycles are spent.
      st.fb_repeated = pick.has_value();
      refine.emplace(arranged(search.input(), best.ids), st.fb_seed, st.fb_rules.get());
      if (!refine->has_moves()) break;
    }
    const long long batch =
        by_work ? std::min(kRefineBatch, st.fb_evaluation_limit - judged()) : kRefineBatch;
    refine->run(batch, static_cast<double>(st.fb_max_diff));
    if (best.offer(refine->best_max_spread(), refine->best_spread_sum(), refine->best_ids()))
      st.fb_max_spread = static_cast<float>(best.max_spread);
    if (!refine->has_moves()) break;
  }
  if (refine) {
    // Whatever the walk was doing when the time ran out, the best state is
    // left where no single small exchange improves it.
    refine->polish_best(static_cast<double>(st.fb_max_diff));
    if (best.offer(refine->best_max_spread(), refine->best_spread_sum(), refine->best_ids()))
      st.fb_max_spread = static_cast<float>(best.max_spread);
  }
  if (progressed) env.ui.progress_done();
  st.fb_end_time = env.clock.now_seconds();
  st.fb_elapsed = st.fb_end_time - st.fb_start_time;
  st.fb_class_avg = search.class_avg_table();
  st.fb_cand_avg = st.fb_class_avg;
  st.fb_candidates = judged();
  st.fb_refine_candidates = refine ? refine->judged() : 0;
  st.fb_best_spread = best.max_spread;

  // The best state is written back, whatever state the search ended in.
  for (int r = 2; r <= N + 1; ++r) st.fb_record_no[r] = best.ids[r - 2];
  if (st.fb_conditions) {
    std::vector<int> class_of(N + 1, 0);
    for (int c = 1; c <= K; ++c)
      for (int r = st.fb_class_rows[c][1]; r <= st.fb_class_rows[c][4]; ++r) class_of[best.ids[r - 2]] = c;
    write_condition_results(*st.fb_conditions, *st.work_book, class_of);
  }
  fb_write_back(env, st);
}

void fb_write_back(jobs::JobEnv& env, FbState& st) {
  host::Application& app = env.host_app;
  host::Workbook& wb = *st.work_book;
  const int N = st.fb_student_count, M = st.fb_score_cols, K = st.fb_class_count;
  const SortSpec by_record{.key1 = SortKey{2, SortOrder::Ascending}, .header = SortHeader::No};

  host::Worksheet& scratch = wb.add_sheet_after(wb.sheet(wb.sheet_count()));
  scratch.activate();
  // Column A the class of each row, column B its record number.
  ValueGrid classes(N, 2);
  for (int r = 2; r <= N + 1; ++r) classes.at(r - 2, 1) = Value::number(st.fb_record_no[r]);
  for (int c = 1; c <= K; ++c)
    for (int r = st.fb_class_rows[c][1]; r <= st.fb_class_rows[c][4]; ++r)
      classes.at(r - 2, 0) = Value::number(c);
  scratch.write_values({2, 1}, classes);
  scratch.sort(Area{2, 1, N + 1, 2}, by_record);

  st.work_sheet = &wb.sheet(1);
  host::Worksheet& ws = *st.work_sheet;
  ws.activate();
  ws.sort(ws.current_region(1, 1),
          SortSpec{.key1 = SortKey{M + 5, SortOrder::Ascending}, .header = SortHeader::Guess});
  // The class numbers go in as values: a paste would bring the scratch
  // sheet's plain format over the teacher's font and borders of column B.
  ws.write_values({2, 2}, scratch.values(Area{2, 1, N + 1, 1}));
  ws.sort(ws.current_region(1, 1), SortSpec{.key1 = SortKey{2, SortOrder::Ascending},
                                            .key2 = SortKey{4, SortOrder::Ascending},
                                            .key3 = SortKey{M + 4, SortOrder::Descending},
                                            .header = SortHeader::Guess});
  st.work_sheet = &wb.sheet(1);
  fb_refresh_extremes(env, st);

  app.set_display_alerts(false);
  wb.delete_sheet(wb.sheet(wb.sheet_count()));
  wb.sheet(1).activate();
  ws.clear_contents(Area::columns(M + 5, M + 5));
  ws.select(Area::cell(1, 1));
}

void fb_format_result(jobs::JobEnv& env, FbState& st, host::Worksheet& sheet) {
  sheet.activate();
  sheet.select(Area::cell(1, 1));
  std::vector<int> rows;  // above the first row of every class but the first
  for (int c = 2; c <= st.fb_class_count; ++c) rows.push_back(st.fb_class_rows[c][1]);
  const std::size_t fit = host::page_breaks_that_fit(sheet, rows);
  for (std::size_t i = 0; i < fit; ++i) sheet.add_page_break(rows[i]);
  if (fit < rows.size())
    env.ui.notice(sheet_ref(sheet) + "最多只能有 " + num(host::kMaxPageBreaks) + " 个手动分页符，从第 " +
                  num(static_cast<long long>(fit) + 2) + " 班起不再分页。");
  host::FontPatch font;
  font.size = 10;
  sheet.set_font(Area::whole_sheet(), font);
  sheet.select(Area::cell(1, 1));
}

void fb_reset(FbState& st) {
  st.fb_class_count = 0;
  st.fb_time_limit = 120;
  st.fb_max_diff = 1.0f;
  st.fb_score_cols = 0;
  st.fb_student_count = 0;
  st.fb_boy_count = 0;
  st.fb_girl_count = 0;
  st.fb_max_spread = 0;
  st.fb_best_gain = 0;
}

std::string fb_end_message(double elapsed) {
  const long long secs = static_cast<long long>(host::round_half_even(elapsed));
  const long long minutes = secs / 60, seconds = secs % 60;
  std::string text = "程序共执行了";
  if (minutes > 0) text += host::int_text(minutes) + "分";
  text += host::int_text(seconds) + "秒" + "，" + "分班结束!";
  return text;
}

}  // namespace lczs::classdiv
