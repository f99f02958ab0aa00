#include "classdiv/conditions.h"

#include <algorithm>
#include <array>
#include <optional>
#include <map>
#include <numeric>
#include <random>
#include <set>

#include "classdiv/name_reading.h"
#include "host/numbers.h"
#include "host/utf8.h"

namespace lczs::classdiv {

using host::Area;
using host::Value;
using host::ValueGrid;

namespace {

std::string num(long long v) { return host::int_text(v); }

int ceil_div(int n, int k) { return (n + k - 1) / k; }

std::string trim(std::string_view s) {
  // Half- and full-width spaces, tabs and line breaks around a word.
  auto space_at_front = [&](std::size_t& len) {
    if (s.empty()) return false;
    if (s[0] == ' ' || s[0] == '\t' || s[0] == '\n' || s[0] == '\r') return len = 1, true;
    if (s.substr(0, 3) == "\u3000") return len = 3, true;
    return false;
  };
  auto space_at_back = [&](std::size_t& len) {
    if (s.empty()) return false;
    const char c = s.back();
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') return len = 1, true;
    if (s.size() >= 3 && s.substr(s.size() - 3) == "\u3000") return len = 3, true;
    return false;
  };
  std::size_t len = 0;
  while (space_at_front(len)) s.remove_prefix(len);
  while (space_at_back(len)) s.remove_suffix(len);
  return std::string(s);
}

// The words of the 条件 column; the second names are those teaching
// offices also use for the same conditions.
struct KindWord {
  std::string_view word;
  ConditionKind kind;
};
constexpr KindWord kKindWords[] = {
    {"指定班级", ConditionKind::Fixed},     {"预设班级", ConditionKind::Fixed},
    {"同班", ConditionKind::Together},      {"分开", ConditionKind::Apart},
    {"互斥", ConditionKind::Apart},         {"同名分开", ConditionKind::SameSound},
    {"同名同音分开", ConditionKind::SameSound}, {"均衡", ConditionKind::Balanced},
    {"特别条件均衡", ConditionKind::Balanced},
};

// Students in one cell are separated by 、 or a comma, half- or full-width.
std::vector<std::string> split_students(const std::string& text) {
  std::vector<std::string> out;
  std::string cur;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t start = i;
    const char32_t cp = host::next_code_point(text, i);
    if (cp == U'、' || cp == U',' || cp == U'，') {
      out.push_back(trim(cur));
      cur.clear();
    } else {
      cur += text.substr(start, i - start);
    }
  }
  out.push_back(trim(cur));
  return out;
}

std::string row_ref(int row) { return "工作表“" + std::string(kConditionsSheet) + "”第 " + num(row) + " 行"; }

std::string rows_ref(std::vector<int> rows) {
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  std::string text = "工作表“" + std::string(kConditionsSheet) + "”第 ";
  for (std::size_t i = 0; i < rows.size(); ++i) text += (i ? "、" : "") + num(rows[i]);
  return text + " 行";
}

}  // namespace

StudentFinder::StudentFinder(const Roster& roster, std::string sheet) : roster_(roster), sheet_(std::move(sheet)) {
  for (int s = 0; s < roster.size(); ++s) {
    if (!roster.ids[s].empty()) by_id_[roster.ids[s]].push_back(s);
    by_name_[roster.names[s]].push_back(s);
  }
}

int StudentFinder::find(const std::string& ref, int row) const {
  const std::vector<int> hits = matches(ref);
  if (hits.size() == 1) return hits[0];
  const std::string at = "工作表“" + sheet_ + "”第 " + num(row) + " 行";
  if (hits.empty())
    throw at + "的学生“" + ref +
        "”在数据表中找不到：请写统一学号、姓名、姓名(统一学号) 或 第N行（学生在数据表中的行号）。";
  std::string where;
  for (std::size_t i = 0; i < hits.size() && i < 5; ++i) where += (i ? "、" : "") + num(hits[i] + 2);
  throw at + "的学生“" + ref + "”对应不止一个学生（数据表第 " + where + " 行），请写成 姓名(统一学号) 或 第N行。";
}

std::vector<int> StudentFinder::matches(const std::string& ref) const {
  // 第N行: the student's row on the data sheet.
  if (ref.starts_with("第") && ref.ends_with("行")) {
    const auto n = host::parse_user_number(trim(ref.substr(3, ref.size() - 6)));
    if (n && *n == static_cast<long long>(*n) && *n >= 2 && *n <= roster_.size() + 1)
      return {static_cast<int>(*n) - 2};
    return {};
  }
  // 姓名(统一学号), with half- or full-width brackets.
  for (auto [open, close] : {std::pair<std::string_view, std::string_view>{"(", ")"}, {"（", "）"}}) {
    const std::size_t at = ref.find(open);
    if (at == std::string::npos || !ref.ends_with(close) || at == 0) continue;
    const std::string name = trim(ref.substr(0, at));
    const std::string id = trim(ref.substr(at + open.size(), ref.size() - at - open.size() - close.size()));
    std::vector<int> hits;
    auto it = by_name_.find(name);
    if (it != by_name_.end())
      for (int s : it->second)
        if (roster_.ids[s] == id) hits.push_back(s);
    return hits;
  }
  std::set<int> hits;
  if (auto it = by_id_.find(ref); it != by_id_.end()) hits.insert(it->second.begin(), it->second.end());
  if (auto it = by_name_.find(ref); it != by_name_.end()) hits.insert(it->second.begin(), it->second.end());
  return {hits.begin(), hits.end()};
}

namespace {

std::string who(const Roster& roster, int s) { return roster.names[s] + "（数据表第 " + num(s + 2) + " 行）"; }

// Union-find over roster indices for the 同班 rows.
struct Groups {
  explicit Groups(int n) : parent(n) { std::iota(parent.begin(), parent.end(), 0); }
  int root(int x) {
    while (parent[x] != x) x = parent[x] = parent[parent[x]];
    return x;
  }
  void join(int a, int b) { parent[root(a)] = root(b); }
  std::vector<int> parent;
};

std::optional<int> fixed_value(const Value& v) {
  std::optional<double> n;
  if (v.is_number()) n = v.as_number();
  if (v.is_text()) {
    std::string t = trim(v.as_text());
    if (t.starts_with("第")) t = t.substr(3);
    if (t.ends_with("班")) t = t.substr(0, t.size() - 3);
    n = host::parse_user_number(trim(t));
  }
  if (!n || *n != static_cast<long long>(*n) || *n < -1e9 || *n > 1e9) return std::nullopt;
  return static_cast<int>(*n);
}

}  // namespace

Roster read_roster(const host::Worksheet& data, int students) {
  Roster r;
  const ValueGrid grid = data.values(Area{2, 1, students + 1, 4});
  for (int i = 0; i < students; ++i) {
    r.ids.push_back(trim(grid.at(i, 0).display_text()));
    r.names.push_back(trim(grid.at(i, 2).display_text()));
    r.boys.push_back(grid.at(i, 3).is_text() && grid.at(i, 3).as_text() == "男");
  }
  return r;
}

std::variant<ConditionSheet, std::string> read_conditions(const host::Worksheet& sheet,
                                                          const Roster& roster,
                                                          const std::vector<int>& sizes) {
  const int K = static_cast<int>(sizes.size()) - 1;
  const int N = roster.size();
  ConditionSheet out;
  int kind_col = 0, who_col = 0, value_col = 0, last_col = 0;
  const ValueGrid header = sheet.values(Area{1, 1, 1, kConditionHeaderCols});
  for (int c = 1; c <= kConditionHeaderCols; ++c) {
    const std::string h = trim(header.at(0, c - 1).display_text());
    if (h.empty()) continue;
    last_col = c;
    if (h == "条件" && !kind_col) kind_col = c;
    if (h == "学生" && !who_col) who_col = c;
    if (h == "值" && !value_col) value_col = c;
    if (h == kResultHeader && !out.result_col) {
      out.result_col = c;
      out.had_results = true;
    }
  }
  if (!kind_col || !who_col)
    return row_ref(1) + "应是表头“条件”“学生”“值”，每行写一个分班条件。";
  if (!out.result_col) out.result_col = std::min(last_col + 1, host::kMaxCols);
  const int width = std::max({kind_col, who_col, value_col});

  try {
    const StudentFinder resolver(roster, std::string(kConditionsSheet));
    for (int top = 2; top <= host::kMaxRows; top += kConditionBlockRows) {
      const int bottom = std::min(host::kMaxRows, top + kConditionBlockRows - 1);
      const ValueGrid rows = sheet.values(Area{top, 1, bottom, width});
      bool any = false;
      for (int i = 0; i < rows.rows(); ++i) {
        const int row = top + i;
        const std::string word = trim(rows.at(i, kind_col - 1).display_text());
        const std::string names = trim(rows.at(i, who_col - 1).display_text());
        const Value empty;
        const Value& value = value_col ? rows.at(i, value_col - 1) : empty;
        if (!word.empty() || !names.empty() || !value.is_empty()) any = true;
        if (word.empty()) continue;
        Condition cond;
        cond.row = row;
        const auto kw = std::find_if(std::begin(kKindWords), std::end(kKindWords),
                                     [&](const KindWord& k) { return k.word == word; });
        if (kw == std::end(kKindWords))
          return row_ref(row) + "的条件“" + word + "”不认识；可用的条件是：指定班级、同班、分开、同名分开、均衡。";
        cond.kind = kw->kind;
        if (cond.kind == ConditionKind::SameSound && (names == "全体" || names == "全部")) {
          cond.everyone = true;
        } else {
          for (const std::string& ref : split_students(names)) {
            if (ref.empty()) continue;
            const int s = resolver.find(ref, row);
            if (std::find(cond.students.begin(), cond.students.end(), s) == cond.students.end())
              cond.students.push_back(s);
          }
          if (cond.students.empty()) return row_ref(row) + "没有写学生。";
          if ((cond.kind == ConditionKind::Together || cond.kind == ConditionKind::Apart ||
               cond.kind == ConditionKind::SameSound) &&
              cond.students.size() < 2)
            return row_ref(row) + "的“" + word + "”只写了一名学生，至少要写两名。";
        }
        if (cond.kind == ConditionKind::Fixed) {
          const auto c = fixed_value(value);
          if (!c || *c < 1 || *c > K)
            return row_ref(row) + "把学生指定到“" + value.display_text() + "”班，只能是 1 到 " + num(K) +
                   " 班（分班数是 " + num(K) + "）。";
          cond.fixed_class = *c;
        }
        if (cond.kind == ConditionKind::Balanced) {
          cond.tag = trim(value.display_text());
          if (cond.tag.empty()) return row_ref(row) + "的“均衡”没有在“值”一列写标签（如 班干部）。";
        }
        out.conditions.push_back(std::move(cond));
      }
      if (!any) break;
    }
  } catch (const std::string& refusal) {
    return refusal;
  }

  // Each student's class, by the row that fixed it.
  std::vector<int> fixed(N, 0), fixed_row(N, 0);
  for (const Condition& c : out.conditions) {
    if (c.kind != ConditionKind::Fixed) continue;
    for (int s : c.students) {
      if (fixed[s] && fixed[s] != c.fixed_class)
        return rows_ref({fixed_row[s], c.row}) + "把" + who(roster, s) + "指定到了两个班（第 " +
               num(fixed[s]) + " 班和第 " + num(c.fixed_class) + " 班）。";
      fixed[s] = c.fixed_class;
      fixed_row[s] = c.row;
    }
  }
  Groups groups(N);
  for (const Condition& c : out.conditions)
    if (c.kind == ConditionKind::Together)
      for (std::size_t i = 1; i < c.students.size(); ++i) groups.join(c.students[0], c.students[i]);
  // Rows and members of every group that has more than one student.
  std::map<int, std::vector<int>> group_rows, members;
  for (const Condition& c : out.conditions)
    if (c.kind == ConditionKind::Together) group_rows[groups.root(c.students[0])].push_back(c.row);
  for (int s = 0; s < N; ++s)
    if (group_rows.count(groups.root(s))) members[groups.root(s)].push_back(s);
  const int largest = *std::max_element(sizes.begin() + 1, sizes.end());
  // The class each group is bound to, and every row that binds it.
  std::vector<int> class_of(N, 0);
  std::vector<std::vector<int>> bound_by(N);
  for (auto& [root, list] : members) {
    if (static_cast<int>(list.size()) > largest)
      return rows_ref(group_rows[root]) + "要求同班的学生共 " + num(static_cast<long long>(list.size())) +
             " 人，多于每班最多的 " + num(largest) + " 人。";
    int cls = 0, first = -1;
    for (int s : list) {
      if (!fixed[s]) continue;
      if (cls && fixed[s] != cls) {
        std::vector<int> rows = group_rows[root];
        rows.push_back(fixed_row[s]);
        rows.push_back(fixed_row[first]);
        return rows_ref(rows) + "要求同班的" + who(roster, first) + "和" + who(roster, s) +
               "被指定到了不同的班（第 " + num(cls) + " 班和第 " + num(fixed[s]) + " 班）。";
      }
      cls = fixed[s];
      first = s;
    }
    for (int s : list) {
      class_of[s] = cls;
      bound_by[s] = group_rows[root];
      if (cls) bound_by[s].push_back(fixed_row[first]);
    }
  }
  for (int s = 0; s < N; ++s)
    if (fixed[s] && !class_of[s]) {
      class_of[s] = fixed[s];
      bound_by[s] = {fixed_row[s]};
    }
  // Students bound to each class must fit in it.
  std::vector<int> count(K + 1, 0);
  std::vector<std::vector<int>> count_rows(K + 1);
  for (int s = 0; s < N; ++s)
    if (class_of[s]) {
      ++count[class_of[s]];
      count_rows[class_of[s]].insert(count_rows[class_of[s]].end(), bound_by[s].begin(), bound_by[s].end());
    }
  for (int c = 1; c <= K; ++c)
    if (count[c] > sizes[c])
      return rows_ref(count_rows[c]) + "要求在第 " + num(c) + " 班的学生共 " + num(count[c]) + " 人，多于该班的 " +
             num(sizes[c]) + " 人。";
  for (const Condition& c : out.conditions) {
    if (c.kind != ConditionKind::Apart) continue;
    for (std::size_t i = 0; i < c.students.size(); ++i)
      for (std::size_t k = i + 1; k < c.students.size(); ++k) {
        const int a = c.students[i], b = c.students[k];
        if (group_rows.count(groups.root(a)) && groups.root(a) == groups.root(b)) {
          std::vector<int> rows = group_rows[groups.root(a)];
          rows.push_back(c.row);
          return rows_ref(rows) + "要求" + who(roster, a) + "和" + who(roster, b) + "既同班又分开，互相矛盾。";
        }
      }
    // Those bound to one class cannot be spread by the search.
    const int cap = ceil_div(static_cast<int>(c.students.size()), K);
    std::map<int, std::vector<int>> in_class;
    for (int s : c.students)
      if (class_of[s]) in_class[class_of[s]].push_back(s);
    for (auto& [cls, list] : in_class)
      if (static_cast<int>(list.size()) > cap) {
        std::vector<int> rows{c.row};
        for (int s : list) rows.insert(rows.end(), bound_by[s].begin(), bound_by[s].end());
        return rows_ref(rows) + "要求" + who(roster, list[0]) + "和" + who(roster, list[1]) + "分开，却都被定在第 " +
               num(cls) + " 班。";
      }
  }
  return out;
}

ClassRules::ClassRules(const std::vector<Condition>& conditions, const Roster& roster, int classes,
                       const std::vector<int>& key_of)
    : classes_(classes), conditions_(conditions), key_of_(key_of) {
  const int N = roster.size();
  const int keys = *std::max_element(key_of.begin(), key_of.end()) + 1;
  names_.assign(keys, "");
  fixed_.assign(keys, 0);
  group_of_.assign(keys, -1);
  bounds_of_.assign(keys, {});
  for (int s = 0; s < N; ++s) names_[key_of[s]] = roster.names[s];

  Groups groups(N);
  std::vector<bool> grouped(N, false);
  for (const Condition& c : conditions) {
    if (c.kind == ConditionKind::Fixed)
      for (int s : c.students) fixed_[key_of[s]] = c.fixed_class;
    if (c.kind == ConditionKind::Together)
      for (int s : c.students) {
        groups.join(c.students[0], s);
        grouped[s] = true;
      }
  }
  std::map<int, int> index;  // root -> group
  for (int s = 0; s < N; ++s) {
    if (!grouped[s]) continue;
    auto [it, added] = index.emplace(groups.root(s), static_cast<int>(groups_.size()));
    if (added) groups_.emplace_back();
    groups_[it->second].push_back(key_of[s]);
    group_of_[key_of[s]] = it->second;
  }
  companions_.assign(keys, {});
  for (const auto& g : groups_)
    for (int k : g)
      for (int m : g)
        if (m != k) companions_[k].push_back(m);
  // A group goes where any of its members is fixed.
  for (const auto& g : groups_) {
    int cls = 0;
    for (int k : g) cls = std::max(cls, fixed_[k]);
    for (int k : g) fixed_[k] = cls;
  }

  auto add_bound = [&](std::vector<int> members, bool balanced) {
    const int n = static_cast<int>(members.size());
    Bound b{std::move(members), balanced ? n / classes_ : 0, ceil_div(n, classes_)};
    for (int k : b.members) bounds_of_[k].push_back(static_cast<int>(bounds_.size()));
    bounds_.push_back(std::move(b));
    return static_cast<int>(bounds_.size()) - 1;
  };
  std::map<std::string, std::vector<int>> tags;  // tag -> keys
  for (const Condition& c : conditions)
    if (c.kind == ConditionKind::Balanced)
      for (int s : c.students) {
        auto& list = tags[c.tag];
        if (std::find(list.begin(), list.end(), key_of[s]) == list.end()) list.push_back(key_of[s]);
      }
  std::map<std::string, int> tag_bound;
  for (auto& [tag, list] : tags) tag_bound[tag] = add_bound(list, true);
  bound_of_condition_.assign(conditions.size(), -1);
  sound_bounds_of_condition_.assign(conditions.size(), {});
  for (std::size_t x = 0; x < conditions.size(); ++x) {
    const Condition& c = conditions[x];
    if (c.kind == ConditionKind::Balanced) bound_of_condition_[x] = tag_bound[c.tag];
    if (c.kind == ConditionKind::Apart) {
      std::vector<int> list;
      for (int s : c.students) list.push_back(key_of[s]);
      bound_of_condition_[x] = add_bound(list, false);
    }
    if (c.kind == ConditionKind::SameSound) {
      std::map<std::string, std::vector<int>> by_sound;
      if (c.everyone)
        for (int s = 0; s < N; ++s) by_sound[name_reading(roster.names[s])].push_back(key_of[s]);
      else
        for (int s : c.students) by_sound[name_reading(roster.names[s])].push_back(key_of[s]);
      for (auto& [sound, list] : by_sound)
        if (list.size() >= 2 && !sound.empty()) sound_bounds_of_condition_[x].push_back(add_bound(list, false));
    }
  }
}

int ClassRules::excess(const Bound& b, int count) const {
  return std::max(0, count - b.high) + std::max(0, b.low - count);
}

std::vector<int> ClassRules::tally(std::span<const int> class_of) const {
  std::vector<int> t(bounds_.size() * (classes_ + 1), 0);
  for (std::size_t b = 0; b < bounds_.size(); ++b)
    for (int k : bounds_[b].members) ++t[b * (classes_ + 1) + class_of[k]];
  return t;
}

void ClassRules::shift(std::vector<int>& tally, int key, int from, int to) const {
  for (int b : bounds_of_[key]) {
    --tally[b * (classes_ + 1) + from];
    ++tally[b * (classes_ + 1) + to];
  }
}

int ClassRules::bound_excess(const std::vector<int>& tally, int b) const {
  int total = 0;
  for (int c = 1; c <= classes_; ++c) total += excess(bounds_[b], tally[b * (classes_ + 1) + c]);
  return total;
}

void ClassRules::made(const Exchange& x) {
  for (int k : x.out_of_a) {
    shift(counts_, k, x.a, x.b);
    class_of_[k] = x.b;
  }
  for (int k : x.out_of_b) {
    shift(counts_, k, x.b, x.a);
    class_of_[k] = x.a;
  }
}

void ClassRules::reset(std::span<const int> class_of) {
  class_of_.assign(class_of.begin(), class_of.end());
  counts_ = tally(class_of);
}

bool ClassRules::allowed(const Exchange& x) const {
  auto whole = [&](int key, std::span<const int> side) {
    if (group_of_[key] < 0) return true;
    for (int m : groups_[group_of_[key]])
      if (std::find(side.begin(), side.end(), m) == side.end()) return false;
    return true;
  };
  bool bounded = false;
  for (auto side : {x.out_of_a, x.out_of_b})
    for (int k : side) {
      if (fixed_[k] || !whole(k, side)) return false;
      bounded = bounded || !bounds_of_[k].empty();
    }
  if (!bounded) return true;
  // Each bound the exchange touches: members leaving a for b, less those
  // coming back, must not take its counts in a and b further from the bound.
  std::vector<std::pair<int, int>> moved;  // bound, net members a -> b
  auto count = [&](int key, int by) {
    for (int b : bounds_of_[key]) {
      auto it = std::find_if(moved.begin(), moved.end(), [b](auto& m) { return m.first == b; });
      if (it == moved.end()) moved.emplace_back(b, by);
      else it->second += by;
    }
  };
  for (int k : x.out_of_a) count(k, +1);
  for (int k : x.out_of_b) count(k, -1);
  for (auto [b, net] : moved) {
    if (net == 0) continue;
    const Bound& bd = bounds_[b];
    const int ca = counts_[b * (classes_ + 1) + x.a], cb = counts_[b * (classes_ + 1) + x.b];
    if (excess(bd, ca - net) + excess(bd, cb + net) > excess(bd, ca) + excess(bd, cb)) return false;
  }
  return true;
}

int ClassRules::violation(std::span<const int> class_of) const {
  const std::vector<int> t = tally(class_of);
  int total = 0;
  for (std::size_t b = 0; b < bounds_.size(); ++b) total += bound_excess(t, static_cast<int>(b));
  return total;
}

void ClassRules::repair(std::vector<int>& class_of, const std::vector<bool>& boy_by_key, std::uint64_t seed,
                        long long tries) const {
  std::mt19937_64 rng(seed);
  // The high 32 bits scaled, as the search draws, so every library agrees.
  auto below = [&](std::size_t n) { return static_cast<std::size_t>(((rng() >> 32) * n) >> 32); };
  const int keys = static_cast<int>(class_of.size());
  auto movable = [&](int k) { return class_of[k] > 0 && !fixed_[k] && group_of_[k] < 0; };
  // Free students by class and gender, to draw partners from.
  std::vector<std::vector<int>> free((classes_ + 1) * 2);
  std::vector<int> slot(keys, -1);
  for (int k = 0; k < keys; ++k)
    if (movable(k)) {
      auto& list = free[class_of[k] * 2 + boy_by_key[k]];
      slot[k] = static_cast<int>(list.size());
      list.push_back(k);
    }
  std::vector<int> t = tally(class_of);
  // Excess over the bounds of x and y, in the two classes they stand in.
  std::vector<int> seen;
  auto local = [&](int x, int y) {
    int total = 0;
    seen.clear();
    for (int k : {x, y})
      for (int b : bounds_of_[k]) {
        if (std::find(seen.begin(), seen.end(), b) != seen.end()) continue;
        seen.push_back(b);
        total += excess(bounds_[b], t[b * (classes_ + 1) + class_of[x]]) +
                 excess(bounds_[b], t[b * (classes_ + 1) + class_of[y]]);
      }
    return total;
  };
  auto swap = [&](int x, int y) {
    const int a = class_of[x], c = class_of[y];
    shift(t, x, a, c);
    shift(t, y, c, a);
    std::swap(class_of[x], class_of[y]);
  };
  long long spent = 0;
  for (int pass = 0; pass < kRepairPasses && spent < tries; ++pass) {
    std::vector<int> broken;
    for (std::size_t b = 0; b < bounds_.size(); ++b)
      if (bound_excess(t, static_cast<int>(b)) > 0) broken.push_back(static_cast<int>(b));
    if (broken.empty()) return;
    for (int b : broken) {
      const Bound& bd = bounds_[b];
      // A member moves, in either direction: out of a class with too many,
      // or into one with too few; the partner is anyone free of its gender.
      for (int n = 0; n < kRepairAttempts && spent < tries && bound_excess(t, b) > 0; ++n, ++spent) {
        const int x = bd.members[below(bd.members.size())];
        if (!movable(x)) continue;
        const int c = 1 + static_cast<int>(below(classes_));
        if (c == class_of[x]) continue;
        const auto& partners = free[c * 2 + boy_by_key[x]];
        if (partners.empty()) continue;
        const int y = partners[below(partners.size())];
        const int before = local(x, y);
        const int a = class_of[x];
        swap(x, y);
        const int after = local(x, y);
        if (after > before || (after == before && below(2))) {
          swap(x, y);
          continue;
        }
        // Keep the lists of free students by class in step.
        auto move = [&](int k, int from, int to) {
          auto& src = free[from * 2 + boy_by_key[k]];
          src[slot[k]] = src.back();
          slot[src.back()] = slot[k];
          src.pop_back();
          auto& dst = free[to * 2 + boy_by_key[k]];
          slot[k] = static_cast<int>(dst.size());
          dst.push_back(k);
        };
        move(x, a, c);
        move(y, c, a);
      }
    }
  }
}

std::vector<std::string> ClassRules::results(std::span<const int> class_of) const {
  std::vector<std::string> out;
  const std::string K = num(classes_);
  auto cls = [&](int c) { return "第 " + num(c) + " 班"; };
  // "甲、乙同在第 3 班" for every class that holds more than one of `keys`.
  auto crowded = [&](const std::vector<int>& keys, std::vector<std::string>& parts) {
    std::map<int, std::vector<int>> in;
    for (int k : keys) in[class_of[k]].push_back(k);
    for (auto& [c, list] : in) {
      if (list.size() < 2) continue;
      std::string names;
      for (std::size_t i = 0; i < list.size(); ++i) names += (i ? "、" : "") + names_[list[i]];
      parts.push_back(names + "同在" + cls(c));
    }
  };
  auto joined = [&](const std::vector<std::string>& parts) {
    std::string text;
    for (std::size_t i = 0; i < parts.size() && static_cast<int>(i) < kResultPairsShown; ++i)
      text += (i ? "；" : "") + parts[i];
    if (static_cast<int>(parts.size()) > kResultPairsShown)
      text += "等 " + num(static_cast<long long>(parts.size())) + " 处";
    return text;
  };
  for (std::size_t x = 0; x < conditions_.size(); ++x) {
    const Condition& c = conditions_[x];
    std::vector<std::string> parts;
    switch (c.kind) {
      case ConditionKind::Fixed:
        for (int s : c.students)
          if (class_of[key_of_[s]] != c.fixed_class) parts.push_back(names_[key_of_[s]] + "在" + cls(class_of[key_of_[s]]));
        out.push_back(parts.empty() ? std::string(kMet) : "未满足：" + joined(parts));
        break;
      case ConditionKind::Together: {
        std::set<int> seen;
        for (int s : c.students) seen.insert(class_of[key_of_[s]]);
        if (seen.size() == 1) {
          out.emplace_back(kMet);
        } else {
          for (int s : c.students) parts.push_back(names_[key_of_[s]] + "在" + cls(class_of[key_of_[s]]));
          out.push_back("未满足：" + joined(parts));
        }
        break;
      }
      case ConditionKind::Apart: {
        const Bound& b = bounds_[bound_of_condition_[x]];
        crowded(b.members, parts);
        const int n = static_cast<int>(b.members.size());
        if (parts.empty())
          out.emplace_back(kMet);
        else if (n > classes_ && violation_free(b, class_of))
          out.push_back("未全分开：共 " + num(n) + " 人，多于 " + K + " 个班，每班至多 " + num(b.high) + " 人（" +
                        joined(parts) + "）");
        else
          out.push_back("未满足：" + joined(parts));
        break;
      }
      case ConditionKind::SameSound: {
        for (int bi : sound_bounds_of_condition_[x]) {
          const Bound& b = bounds_[bi];
          std::vector<std::string> here;
          crowded(b.members, here);
          const int n = static_cast<int>(b.members.size());
          for (auto& p : here) {
            if (n > classes_ && violation_free(b, class_of))
              p += "（同名同音的有 " + num(n) + " 人，多于 " + K + " 个班）";
            parts.push_back(p);
          }
        }
        out.push_back(parts.empty() ? std::string(kMet) : "未满足：" + joined(parts));
        break;
      }
      case ConditionKind::Balanced: {
        const Bound& b = bounds_[bound_of_condition_[x]];
        std::vector<int> count(classes_ + 1, 0);
        for (int k : b.members) ++count[class_of[k]];
        const auto [lo, hi] = std::minmax_element(count.begin() + 1, count.end());
        if (*hi - *lo <= 1) {
          out.emplace_back(kMet);
        } else {
          std::string text = "未满足：“" + c.tag + "”各班人数 ";
          for (int k = 1; k <= classes_; ++k) text += (k > 1 ? "、" : "") + num(count[k]);
          out.push_back(text + "，相差超过 1");
        }
        break;
      }
    }
  }
  return out;
}

bool ClassRules::violation_free(const Bound& b, std::span<const int> class_of) const {
  std::vector<int> count(classes_ + 1, 0);
  for (int k : b.members) ++count[class_of[k]];
  for (int c = 1; c <= classes_; ++c)
    if (excess(b, count[c]) > 0) return false;
  return true;
}

std::vector<int> deal_with_conditions(const std::vector<int>& sorted, const std::vector<int>& plain,
                                      const Roster& roster, const ClassRules& rules,
                                      const std::vector<int>& key_of, int classes) {
  const int K = classes, N = static_cast<int>(sorted.size());
  // Room left per class, in all and per gender (1 = boys).
  std::vector<int> room(K + 1, 0);
  std::vector<std::array<int, 2>> gender_room(K + 1, {0, 0});
  for (int n = 0; n < N; ++n) {
    ++room[plain[n]];
    ++gender_room[plain[n]][roster.boys[sorted[n]]];
  }
  std::vector<int> class_of_key(*std::max_element(key_of.begin(), key_of.end()) + 1, 0);
  std::vector<bool> boy_by_key(class_of_key.size(), false);
  for (int s = 0; s < N; ++s) boy_by_key[key_of[s]] = roster.boys[s];
  auto place = [&](int key, int c) {
    class_of_key[key] = c;
    --room[c];
    const int g = boy_by_key[key];
    // A bound student may take the other gender's place in the class.
    if (gender_room[c][g] > 0)
      --gender_room[c][g];
    else
      --gender_room[c][1 - g];
  };
  for (int s = 0; s < N; ++s)
    if (rules.fixed_class(key_of[s]) && rules.group_of(key_of[s]) < 0) place(key_of[s], rules.fixed_class(key_of[s]));
  // Groups go to their class, or to where there is most room, the larger
  // groups first.
  std::vector<const std::vector<int>*> groups;
  for (const auto& g : rules.groups()) groups.push_back(&g);
  std::stable_sort(groups.begin(), groups.end(), [](auto* a, auto* b) { return a->size() > b->size(); });
  for (auto* g : groups) {
    int c = rules.fixed_class(g->front());
    if (!c) c = static_cast<int>(std::max_element(room.begin() + 1, room.end()) - room.begin());
    for (int k : *g) place(k, c);
  }
  // The others in the plain deal's order, each gender along its own places.
  for (int g = 1; g >= 0; --g) {
    std::size_t next = 0;
    std::vector<int> places;  // classes of this gender's places in deal order
    for (int n = 0; n < N; ++n)
      if (roster.boys[sorted[n]] == (g == 1)) places.push_back(plain[n]);
    for (int n = 0; n < N; ++n) {
      const int key = key_of[sorted[n]];
      if (boy_by_key[key] != (g == 1) || class_of_key[key]) continue;
      while (next < places.size() && gender_room[places[next]][g] == 0) ++next;
      if (next < places.size()) {
        place(key, places[next]);
        continue;
      }
      // This gender's places went to bound students of it; the other
      // gender's left over are taken instead.
      const int c = static_cast<int>(std::max_element(room.begin() + 1, room.end()) - room.begin());
      place(key, c);
    }
  }
  rules.repair(class_of_key, boy_by_key, kRepairSeed, kRepairTries);
  std::vector<int> out(N);
  for (int n = 0; n < N; ++n) out[n] = class_of_key[key_of[sorted[n]]];
  return out;
}

std::string conditions_summary(const FbConditions& c) {
  const long long n = static_cast<long long>(c.read.conditions.size());
  if (c.met == n) return "分班条件共 " + num(n) + " 条，全部满足。";
  return "分班条件共 " + num(n) + " 条，满足 " + num(c.met) + " 条，" + num(n - c.met) + " 条未满足，原因见工作表“" +
         std::string(kConditionsSheet) + "”的“" + std::string(kResultHeader) + "”列。";
}

void write_condition_results(FbConditions& c, host::Workbook& book, std::span<const int> class_of) {
  const std::vector<std::string> results = c.rules->results(class_of);
  const int col = c.read.result_col;
  host::Worksheet& sheet = book.sheet(std::string(kConditionsSheet));
  sheet.set_value(1, col, Value::text(std::string(kResultHeader)));
  if (results.empty()) return;
  // Rows between the conditions (skipped ones) lose what an earlier run
  // wrote there, and keep what the user did in a column of their own.
  const int first = 2, last = c.read.conditions.back().row;
  ValueGrid grid = c.read.had_results ? ValueGrid(last - first + 1, 1)
                                      : sheet.values(Area{first, col, last, col});
  c.met = 0;
  for (std::size_t x = 0; x < results.size(); ++x) {
    grid.at(c.read.conditions[x].row - first, 0) = Value::text(results[x]);
    c.met += results[x] == kMet;
  }
  sheet.write_values({first, col}, grid);
}

}  // namespace lczs::classdiv
