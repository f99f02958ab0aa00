#include "classdiv/xk_input.h"

#include <algorithm>
#include <array>

#include "host/numbers.h"
#include "host/utf8.h"

namespace lczs::classdiv {

using host::Area;
using host::Value;
using host::ValueGrid;

namespace {

std::string num(long long v) { return host::int_text(v); }

std::string row_ref(std::string_view sheet, int row) {
  return "工作表“" + std::string(sheet) + "”第 " + num(row) + " 行";
}

// Other names schools use for a subject, matched like its own name.
struct Alias {
  std::string_view text;
  int subject;
};
constexpr Alias kAliases[] = {{"思想政治", 3}, {"思政", 3}, {"史", 4}, {"通用技术", 6}, {"信息技术", 6}};

// Characters that separate the subjects of a combination.
bool separator(char32_t cp) {
  return cp == U'、' || cp == U',' || cp == U'，' || cp == U'/' || cp == U'／' || cp == U'+' ||
         cp == U'＋' || cp == U' ' || cp == U'\u3000' || cp == U'\t' || cp == U';' || cp == U'；' ||
         cp == U'·' || cp == U'-' || cp == U'|';
}

int ceil_div(int n, int k) { return (n + k - 1) / k; }

std::optional<XkSystem> parse_system(std::string text) {
  text = host::trim(text);
  std::string plain;
  for (char c : text)
    if (c != ' ') plain += c;
  if (plain == "3+1+2" || plain == "3＋1＋2") return XkSystem::FirstChoice;
  if (plain == "3+3" || plain == "3＋3") return XkSystem::AnyThree;
  return std::nullopt;
}

std::optional<int> parse_count(const std::string& text, int least) {
  const auto v = host::parse_user_number(text);
  if (!v || *v != static_cast<long long>(*v) || *v < least || *v > host::kInt16Max) return std::nullopt;
  return static_cast<int>(*v);
}

std::string value_text(const Value& v) { return host::trim(v.display_text()); }

}  // namespace

std::string xk_combo_text(XkMask m, bool short_form) {
  std::string out;
  for (int i = 0; i < kXkSubjectCount; ++i)
    if (m & (1u << i)) {
      if (!short_form && !out.empty()) out += "、";
      out += short_form ? kXkSubjects[i].short_name : kXkSubjects[i].name;
    }
  return out;
}

std::string_view xk_class_kind(XkMask fixed) {
  switch (xk_popcount(fixed)) {
    case 3: return "组合班";
    case 2: return "定二走一";
    case 1: return "定一走二";
    default: return "全走班";
  }
}

std::optional<XkMask> xk_parse_combo(std::string_view text, std::string* unknown) {
  XkMask m = 0;
  int count = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t next = i;
    const char32_t cp = host::next_code_point(text, next);
    if (separator(cp)) {
      i = next;
      continue;
    }
    const std::string_view rest = text.substr(i);
    int subject = -1;
    std::size_t len = 0;
    // Whole names before one-character forms: 物理化学 is 物理 and 化学.
    for (int s = 0; s < kXkSubjectCount; ++s)
      if (rest.starts_with(kXkSubjects[s].name) && kXkSubjects[s].name.size() > len)
        subject = s, len = kXkSubjects[s].name.size();
    for (const Alias& a : kAliases)
      if (rest.starts_with(a.text) && a.text.size() > len) subject = a.subject, len = a.text.size();
    if (subject < 0)
      for (int s = 0; s < kXkSubjectCount; ++s)
        if (rest.starts_with(kXkSubjects[s].short_name)) subject = s, len = kXkSubjects[s].short_name.size();
    if (subject < 0) {
      if (unknown) *unknown = std::string(text.substr(i, next - i));
      return std::nullopt;
    }
    if (m & (1u << subject)) {
      if (unknown) unknown->clear();
      return std::nullopt;  // a subject twice
    }
    m |= 1u << subject;
    ++count;
    i += len;
  }
  if (count != 3) {
    if (unknown) unknown->clear();
    return std::nullopt;
  }
  return m;
}

std::variant<XkChoices, std::string> read_electives(host::Workbook& book, const Roster& roster, int classes,
                                                    const XkOverrides& overrides) {
  const int N = roster.size();
  XkChoices out;
  XkSettings settings;

  // 选科设置 first: the system decides which combinations are refused.
  if (host::Worksheet* sheet = book.find_sheet(std::string(kElectiveSettingsSheet))) {
    const ValueGrid grid = sheet->values(Area{1, 1, kElectiveSettingsRows, 2});
    for (int r = 1; r <= kElectiveSettingsRows; ++r) {
      const std::string name = value_text(grid.at(r - 1, 0));
      const std::string value = value_text(grid.at(r - 1, 1));
      if (name.empty() && value.empty()) continue;
      if (r == 1 && name == "名称") continue;
      const std::string at = row_ref(kElectiveSettingsSheet, r);
      if (name == "选科制度") {
        settings.system = parse_system(value);
        if (!settings.system) return at + "的选科制度“" + value + "”不认识，只能是 3+1+2 或 3+3。";
      } else if (name == "班额浮动") {
        const auto d = parse_count(value, 0);
        if (!d) return at + "的班额浮动“" + value + "”应是 0 或正整数（每班人数可比平均多或少的人数）。";
        settings.size_float = *d;
      } else if (name == "教学班上限") {
        const auto cap = parse_count(value, 1);
        if (!cap) return at + "的教学班上限“" + value + "”应是正整数（一个教学班最多的人数）。";
        settings.teaching_cap = *cap;
      } else {
        return at + "的设置“" + name + "”不认识；可用的设置是：选科制度、班额浮动、教学班上限。";
      }
    }
  }
  if (overrides.system) {
    settings.system = parse_system(*overrides.system);
    if (!settings.system) return "选项 --elective-system 的值“" + *overrides.system + "”不认识，只能是 3+1+2 或 3+3。";
  }
  if (overrides.size_float) {
    const auto d = parse_count(*overrides.size_float, 0);
    if (!d) return "选项 --size-float 的值“" + *overrides.size_float + "”应是 0 或正整数。";
    settings.size_float = *d;
  }
  if (overrides.teaching_cap) {
    const auto cap = parse_count(*overrides.teaching_cap, 1);
    if (!cap) return "选项 --teaching-cap 的值“" + *overrides.teaching_cap + "”应是正整数。";
    settings.teaching_cap = *cap;
  }

  host::Worksheet& sheet = book.sheet(std::string(kElectiveSheet));
  const ValueGrid header = sheet.values(Area{1, 1, 1, kElectiveHeaderCols});
  int who_col = 0, choice_col = 0, last_col = 0;
  for (int c = 1; c <= kElectiveHeaderCols; ++c) {
    const std::string h = value_text(header.at(0, c - 1));
    if (h.empty()) continue;
    last_col = c;
    if (h == "学生" && !who_col) who_col = c;
    if (h == "选科" && !choice_col) choice_col = c;
    if (h == kResultHeader && !out.result_col) out.result_col = c;
  }
  if (!who_col || !choice_col)
    return row_ref(kElectiveSheet, 1) + "应是表头“学生”“选科”，每行写一名学生和他选的三科。";
  if (!out.result_col) out.result_col = std::min(last_col + 1, host::kMaxCols);
  // A combination may also be written in three cells: 选科 and the two
  // columns after it that have no header of their own.
  int choice_cols = 1;
  while (choice_cols < 3 && choice_col + choice_cols <= kElectiveHeaderCols &&
         value_text(header.at(0, choice_col + choice_cols - 1)).empty())
    ++choice_cols;
  const int width = std::max(who_col, choice_col + choice_cols - 1);

  out.combo.assign(N, 0);
  out.row.assign(N, 0);
  bool not_first_choice = false;
  try {
    const StudentFinder finder(roster, std::string(kElectiveSheet));
    for (int top = 2; top <= host::kMaxRows; top += kElectiveBlockRows) {
      const int bottom = std::min(host::kMaxRows, top + kElectiveBlockRows - 1);
      const ValueGrid rows = sheet.values(Area{top, 1, bottom, width});
      bool any = false;
      for (int i = 0; i < rows.rows(); ++i) {
        const int row = top + i;
        const std::string ref = value_text(rows.at(i, who_col - 1));
        std::string text;
        for (int x = 0; x < choice_cols; ++x) {
          const std::string piece = value_text(rows.at(i, choice_col - 1 + x));
          if (!piece.empty()) text += (text.empty() ? "" : "、") + piece;
        }
        if (ref.empty() && text.empty()) continue;
        any = true;
        const std::string at = row_ref(kElectiveSheet, row);
        if (ref.empty()) return at + "写了选科“" + text + "”，却没有写学生。";
        const int s = finder.find(ref, row);
        if (out.row[s])
          return "工作表“" + std::string(kElectiveSheet) + "”第 " + num(out.row[s]) + " 行和第 " + num(row) +
                 " 行都写了" + roster.names[s] + "（数据表第 " + num(s + 2) + " 行），每名学生只能写一次。";
        std::string unknown;
        const auto m = xk_parse_combo(text, &unknown);
        if (!m) {
          if (!unknown.empty())
            return at + "的选科“" + text + "”中有不认识的科目“" + unknown +
                   "”；可用的科目是：物理、化学、生物、政治、历史、地理、技术（或物、化、生、政、历、地、技）。";
          return at + "的选科“" + text + "”应是三门不同的科目（如 物化生 或 物理、化学、生物）。";
        }
        const XkMask first = *m & kFirstChoices;
        if (settings.system == XkSystem::FirstChoice) {
          if (*m & ~kFirstChoiceSubjects) return at + "的选科“" + text + "”含有技术，3+1+2 制度下没有这门选考科目。";
          if (first == 0) return at + "的选科“" + text + "”没有首选科目：3+1+2 制度下须在物理和历史中选一门。";
          if (first == kFirstChoices) return at + "的选科“" + text + "”同时选了物理和历史：3+1+2 制度下只能选其中一门。";
        }
        not_first_choice = not_first_choice || first == 0 || first == kFirstChoices || (*m & ~kFirstChoiceSubjects);
        out.combo[s] = *m;
        out.row[s] = row;
      }
      if (!any) break;
    }
  } catch (const std::string& refusal) {
    return refusal;
  }
  for (int s = 0; s < N; ++s)
    if (!out.row[s])
      return "数据表第 " + num(s + 2) + " 行的" + roster.names[s] + "在工作表“" + std::string(kElectiveSheet) +
             "”中没有选科：选科分班要每名学生都写一行。";

  out.system = settings.system.value_or(not_first_choice ? XkSystem::AnyThree : XkSystem::FirstChoice);
  out.size_float = settings.size_float;
  const int below = N / classes - settings.size_float;
  out.lo = std::max(1, below);
  out.hi = ceil_div(N, classes) + settings.size_float;
  out.teaching_cap = settings.teaching_cap.value_or(out.hi);
  return out;
}

namespace {

XkPlanInput plan_input(const XkChoices& choices, int classes, int lo, int hi) {
  XkPlanInput in;
  in.first_choices = choices.system == XkSystem::FirstChoice ? kFirstChoices : 0;
  std::array<int, 1u << kXkSubjectCount> count{};
  for (XkMask m : choices.combo) ++count[m];
  for (XkMask m = 0; m < count.size(); ++m)
    if (count[m]) in.combos.emplace_back(m, count[m]);
  in.classes = classes;
  in.lo = lo;
  in.hi = hi;
  return in;
}

// Alternatives tried when a refusal suggests another setting.
constexpr int kFloatTried = 20;
constexpr int kClassesTried = 5;

}  // namespace

std::variant<XkPlan, std::string> plan_electives(const XkChoices& choices, int classes) {
  if (auto plan = xk_best_plan(plan_input(choices, classes, choices.lo, choices.hi))) return *plan;
  const int N = static_cast<int>(choices.combo.size());
  std::string text = "按工作表“" + std::string(kElectiveSheet) + "”的选科，" + num(N) + " 名学生分 " + num(classes) +
                     " 个班、班额浮动 " + num(choices.size_float) + "（每班 " + num(choices.lo) + "～" +
                     num(choices.hi) + " 人）时，没有能让每班学生都选了本班定科的方案。";
  std::string hints;
  for (int d = choices.size_float + 1; d <= choices.size_float + kFloatTried; ++d) {
    const int lo = std::max(1, N / classes - d), hi = ceil_div(N, classes) + d;
    if (xk_best_plan(plan_input(choices, classes, lo, hi))) {
      hints += "把班额浮动改为 " + num(d) + " 就有方案";
      break;
    }
  }
  bool other_count = false;
  for (int delta = 1; delta <= kClassesTried && !other_count; ++delta)
    for (int k : {classes - delta, classes + delta}) {
      if (k < 2 || k > N || other_count) continue;
      const int lo = std::max(1, N / k - choices.size_float), hi = ceil_div(N, k) + choices.size_float;
      if (xk_best_plan(plan_input(choices, k, lo, hi))) {
        hints += std::string(hints.empty() ? "" : "；或") + "分 " + num(k) + " 个班就有方案";
        other_count = true;
      }
    }
  if (hints.empty()) hints = "请调整分班数或在工作表“" + std::string(kElectiveSettingsSheet) + "”中加大班额浮动";
  return text + hints + "。";
}

}  // namespace lczs::classdiv
