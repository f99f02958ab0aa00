// Numbers typed on settings sheets (分析设置 and every sheet like it): the
// bounds each kind of number must keep, in one place, and the refusal that
// names its cell.
//
// A settings number outside sense (满分 1e308, a band width of 0.001) would
// run through the figures as INF or NaN and print nonsense under a finished
// run's exit status, so a job checks each one here before anything changes.
// A new setting picks the bounds below or states its own with Bounds; the
// forms' own limits on the class count and the time limit are the same
// numbers, so a settings sheet and a form refuse alike.
#pragma once

#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "host/host.h"
#include "host/numbers.h"

namespace lczs::host {

// An interval a number must lie in. `high_name` names the upper end in the
// refusal when it is another setting ("满分"), so a user reads "高于满分150"
// rather than a bare number.
struct Bounds {
  double low = -std::numeric_limits<double>::infinity();
  double high = std::numeric_limits<double>::infinity();
  bool low_open = false;   // `low` itself is refused
  bool high_open = false;  // `high` itself is refused
  bool whole = false;      // only integers
  const char* high_name = nullptr;
};

// A subject's 满分 and the 满分 of the total.
inline constexpr Bounds kSubjectFullBounds{.low = 0, .high = 1000, .low_open = true};
inline constexpr Bounds kTotalFullBounds{.low = 0, .high = 10000, .low_open = true};
// A line (优秀线, 及格线, a score line) lies within [0, 满分].
inline Bounds line_bounds(double full) { return {.low = 0, .high = full, .high_name = "满分"}; }
// Score bands narrower than this are a width typed in the wrong unit.
inline constexpr double kMinBandWidth = 0.5;
inline constexpr Bounds kBandWidthBounds{.low = kMinBandWidth};
// The class count and the time limit, as the class-division settings form
// takes them: 2 classes or more within the 16-bit count, a time limit whose
// seconds fit the 16-bit count.
inline constexpr int kMinClassCount = 2;
inline constexpr int kMaxClassCount = kInt16Max;
inline constexpr int kMaxTimeLimitSeconds = kInt16Max;
inline constexpr Bounds kClassCountBounds{.low = kMinClassCount, .high = kMaxClassCount, .whole = true};
inline constexpr Bounds kTimeLimitMinutesBounds{.low = 0, .high = kMaxTimeLimitSeconds / 60.0};

// "" when `v` lies within `bounds`; otherwise what is wrong with it
// ("必须是正数", "不能大于1000", "高于满分150", "必须是整数").
std::string out_of_bounds(double v, const Bounds& bounds);

// The refusal for cell (row, col) of a settings sheet:
// 工作表“分析设置”第2行：满分（单元格 B2）不能大于1000，请修改后再运行。
// `col` 0 leaves the cell out (a column the sheet does not have).
std::string setting_refusal(const Worksheet& sheet, int row, int col, std::string_view label,
                            std::string_view what);

// One number read from a settings sheet: its value (nullopt for an empty
// cell), or the refusal naming the cell when it holds text or lies outside
// its bounds.
struct SettingNumber {
  std::optional<double> value;
  std::string problem;
};
SettingNumber read_setting_number(const Worksheet& sheet, int row, int col, std::string_view label,
                                  const Bounds& bounds);

}  // namespace lczs::host
