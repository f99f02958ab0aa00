// Bounds on numbers read from settings sheets, and their refusals.
#include "host/setting_numbers.h"

#include <cmath>

namespace lczs::host {

namespace {

std::string number_text(double v) { return Value::number(v).display_text(); }

}  // namespace

std::string out_of_bounds(double v, const Bounds& b) {
  if (!std::isfinite(v)) return "不是有效的数";
  if (b.whole && v != std::floor(v)) return "必须是整数";
  const bool below = b.low_open ? !(v > b.low) : v < b.low;
  if (below) {
    // A value that is not even positive where a positive one is wanted says
    // so plainly; the exact lower end only matters above 0.
    const bool wants_positive = b.low > 0 || (b.low == 0 && b.low_open);
    if (wants_positive && v <= 0) return "必须是正数";
    if (b.low == 0) return "不能是负数";
    return (b.low_open ? "必须大于" : "不能小于") + number_text(b.low);
  }
  const bool above = b.high_open ? !(v < b.high) : v > b.high;
  if (above) {
    if (b.high_name) return std::string("高于") + b.high_name + number_text(b.high);
    return (b.high_open ? "必须小于" : "不能大于") + number_text(b.high);
  }
  return "";
}

std::string setting_refusal(const Worksheet& sheet, int row, int col, std::string_view label,
                            std::string_view what) {
  const std::string cell = col ? "（单元格 " + address(Area::cell(row, col), false) + "）" : "";
  return std::string("工作表“") + sheet.name() + "”第" + int_text(row) + "行：" + std::string(label) +
         cell + std::string(what) + "，请修改后再运行。";
}

SettingNumber read_setting_number(const Worksheet& sheet, int row, int col, std::string_view label,
                                  const Bounds& bounds) {
  SettingNumber out;
  if (!col) return out;
  const Value v = sheet.value(row, col);
  if (v.is_empty()) return out;
  if (!v.is_number()) {
    out.problem = setting_refusal(sheet, row, col, label, "“" + v.display_text() + "”不是数字");
    return out;
  }
  const std::string what = out_of_bounds(v.as_number(), bounds);
  if (!what.empty()) {
    out.problem = setting_refusal(sheet, row, col, label, what);
    return out;
  }
  out.value = v.as_number();
  return out;
}

}  // namespace lczs::host
