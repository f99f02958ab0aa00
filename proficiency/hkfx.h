// The steps of 会考成绩分析 and its data-format form, callable one by one so
// that tests and the driver share them. The driver (Proficiency::hkfx_run)
// runs them in order: hkfx_prepare, hkfx_grade_stats, hkfx_format.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "proficiency/hk_state.h"
#include "jobs/job.h"
#include "ui/flags_ui.h"
#include "ui/form.h"

namespace lczs::proficiency {

// Sheet names the run makes.
inline constexpr std::string_view kRawSheet = "原始数据";
inline constexpr std::string_view kPresentSheet = "年级实考";
inline constexpr std::string_view kAbsentSheet = "年级缺考";
inline constexpr std::string_view kReportSheet = "会考成绩分析";

// Messages.
inline constexpr std::string_view kAskStart = "开始进行会考成绩分析，继续吗？";
inline constexpr std::string_view kDone = "分析完成!";
inline constexpr std::string_view kQuit = "现在退出程序!";

// The statistics table starts this many rows below the last student.
inline constexpr int kTableGap = 12;
// Moved students are parked this many rows below the last student.
inline constexpr int kParkGap = 9;
// A run needing a row beyond the sheet's last is refused before it starts.
inline constexpr int kLastUsableRow = host::kMaxRows;

// The data-format form hkgssz, fresh in its designed state.
std::unique_ptr<ui::Form> make_hkgssz(HkState& st);
// What the `lczs` command knows of hkgssz: a data-format form, no options.
ui::FormFlags hkgssz_flags();
// Its two buttons.
void hkfx_tz_bt_Click(ui::Form& form, HkState& st);
void hkfx_zx_bt_Click(ui::Form& form);

// Confirmation, format form, input checks, "原始数据", "年级实考" and
// "年级缺考". Leaves hk_go_on false when the user declined or the input was
// refused (the refusal box already shown).
void hkfx_prepare(jobs::JobEnv& env, HkState& st);
// Grade counts and rates below the students on "年级实考".
void hkfx_grade_stats(jobs::JobEnv& env, HkState& st);
// The report sheet "会考成绩分析", the blanks on "年级缺考", the save.
void hkfx_format(jobs::JobEnv& env, HkState& st);

// What the checks learnt of the input block, so that the preparation need
// not search the sheet again.
struct InputShape {
  int students = 0;                   // N: rows below the header
  int columns = 0;                    // C: columns of the block
  std::vector<host::CellRef> blanks;  // empty grade cells, row by row
};

// Checks the input sheet before anything changes. Returns the refusal
// message naming the sheet and the cell or row, or nullopt when the run may
// go on (then `shape`, when given, describes the input block).
std::optional<std::string> hkfx_check_input(host::Workbook& book, host::Worksheet& input,
                                            InputShape* shape = nullptr);

// Whether the class in one row differs from the next, as the application's
// language compares two cell values: numbers by value, texts exactly, a
// number never equal to a text.
bool class_differs(const host::Value& a, const host::Value& b);

}  // namespace lczs::proficiency
