// The bounds on settings numbers at their ends, and the refusal that names
// the cell.
#include "helpers.h"

#include <cmath>
#include <limits>

#include "host/setting_numbers.h"

namespace lczs::memory::testing {
namespace {

using host::Bounds;

TEST(SettingNumbers, BoundsAtTheirEnds) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double v;
    Bounds bounds;
    const char* what;  // "" = accepted
  } cases[] = {
      {1000, host::kSubjectFullBounds, ""},
      {0.01, host::kSubjectFullBounds, ""},
      {1000.5, host::kSubjectFullBounds, "不能大于1000"},
      {1e308, host::kSubjectFullBounds, "不能大于1000"},
      {0, host::kSubjectFullBounds, "必须是正数"},
      {-3, host::kSubjectFullBounds, "必须是正数"},
      {10000, host::kTotalFullBounds, ""},
      {10001, host::kTotalFullBounds, "不能大于10000"},
      {inf, host::kTotalFullBounds, "不是有效的数"},
      {std::nan(""), host::kSubjectFullBounds, "不是有效的数"},
      {0.5, host::kBandWidthBounds, ""},
      {0.4, host::kBandWidthBounds, "不能小于0.5"},
      {-5, host::kBandWidthBounds, "必须是正数"},
      {0, host::line_bounds(150), ""},
      {150, host::line_bounds(150), ""},
      {150.5, host::line_bounds(150), "高于满分150"},
      {-1, host::line_bounds(150), "不能是负数"},
      {2, host::kClassCountBounds, ""},
      {32767, host::kClassCountBounds, ""},
      {1, host::kClassCountBounds, "不能小于2"},
      {32768, host::kClassCountBounds, "不能大于32767"},
      {6.5, host::kClassCountBounds, "必须是整数"},
      {0, host::kTimeLimitMinutesBounds, ""},
      {547, host::kTimeLimitMinutesBounds, "不能大于546.116666666667"},
  };
  for (const Case& c : cases) EXPECT_EQ(host::out_of_bounds(c.v, c.bounds), c.what) << c.v;
}

TEST(SettingNumbers, CellRefusalNamesSheetRowAndCell) {
  OneSheet s({{"科目", "满分"}, {"语文", 1e308}, {"数学", "一百"}, {"英语", nullptr}, {"物理", 120}},
             "分析设置");
  const auto full = [&](int row) {
    return host::read_setting_number(*s.ws, row, 2, "满分", host::kSubjectFullBounds);
  };
  EXPECT_EQ(full(2).problem, "工作表“分析设置”第2行：满分（单元格 B2）不能大于1000，请修改后再运行。");
  EXPECT_FALSE(full(2).value);
  EXPECT_EQ(full(3).problem, "工作表“分析设置”第3行：满分（单元格 B3）“一百”不是数字，请修改后再运行。");
  EXPECT_EQ(full(4).problem, "");
  EXPECT_FALSE(full(4).value);
  EXPECT_EQ(full(5).problem, "");
  EXPECT_EQ(full(5).value, 120);
}

}  // namespace
}  // namespace lczs::memory::testing
