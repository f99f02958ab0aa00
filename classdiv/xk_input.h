// Division by elective combination (选科分班), its input: the sheet 选科
// (学生 | 选科, one student a row), the optional sheet 选科设置 (名称 | 值)
// and the subject table. Everything is checked before anything changes; a
// refusal is returned as its message, naming the sheet and the row.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "classdiv/conditions.h"
#include "classdiv/xk_plan.h"
#include "host/host.h"

namespace lczs::classdiv {

inline constexpr std::string_view kElectiveSheet = "选科";
inline constexpr std::string_view kElectiveSettingsSheet = "选科设置";
inline constexpr std::string_view kElectiveResultSheet = "选科分班";
// Columns of row 1 searched for the headers, rows read at a time.
inline constexpr int kElectiveHeaderCols = 26;
inline constexpr int kElectiveBlockRows = 1000;
// 班额浮动 when 选科设置 does not say.
inline constexpr int kDefaultSizeFloat = 5;
// Settings rows read from 选科设置.
inline constexpr int kElectiveSettingsRows = 100;

// One elective: its name and the one character schools write for it. The
// bit of a subject in a combination's mask is its place in this table.
struct XkSubject {
  std::string_view name;
  std::string_view short_name;
};
inline constexpr XkSubject kXkSubjects[] = {
    {"物理", "物"}, {"化学", "化"}, {"生物", "生"}, {"政治", "政"},
    {"历史", "历"}, {"地理", "地"}, {"技术", "技"},
};
inline constexpr int kXkSubjectCount = 7;
// The first choices of 3+1+2, and the subjects 3+1+2 offers.
inline constexpr XkMask kFirstChoices = (1u << 0) | (1u << 4);
inline constexpr XkMask kFirstChoiceSubjects = 0b0111111;

enum class XkSystem { FirstChoice, AnyThree };  // 3+1+2, 3+3

// A combination as text: 物化生 (short) or 物理、化学、生物 (long).
std::string xk_combo_text(XkMask m, bool short_form);

// Reads a combination as schools write it (物化生, 物理化学生物, 物理、化学、生物,
// 物/化/生); nullopt with the piece not understood in `unknown`.
std::optional<XkMask> xk_parse_combo(std::string_view text, std::string* unknown);

// Settings after 选科设置 and the command's options.
struct XkSettings {
  std::optional<XkSystem> system;
  int size_float = kDefaultSizeFloat;
  std::optional<int> teaching_cap;
};

// Options of the command that override 选科设置 (text as typed; empty = not given).
struct XkOverrides {
  std::optional<std::string> system, size_float, teaching_cap;
};

struct XkChoices {
  std::vector<XkMask> combo;  // by roster index
  std::vector<int> row;       // the student's row on 选科
  int result_col = 0;         // where 结果 goes on 选科
  XkSystem system = XkSystem::FirstChoice;
  int size_float = kDefaultSizeFloat;
  int teaching_cap = 0;
  int lo = 0, hi = 0;  // class size bounds
};

// Reads 选科 (and 选科设置 when there is one) for the roster and K classes.
std::variant<XkChoices, std::string> read_electives(host::Workbook& book, const Roster& roster, int classes,
                                                    const XkOverrides& overrides);

// The plan for the choices, or the refusal that says how many classes or
// how much 班额浮动 would make one.
std::variant<XkPlan, std::string> plan_electives(const XkChoices& choices, int classes);

// 组合班, 定二走一, 定一走二 or 全走班 for a class fixing `fixed`.
std::string_view xk_class_kind(XkMask fixed);

}  // namespace lczs::classdiv
