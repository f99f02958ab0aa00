#include "host/chart.h"

namespace lczs::host {

namespace {

int points(const Area& a) { return a.row_count() == 1 ? a.col_count() : a.row_count(); }
bool one_line(const Area& a) { return a.valid() && (a.row_count() == 1 || a.col_count() == 1); }

}  // namespace

std::string chart_problem(const Chart& chart) {
  if (chart.series.empty()) return "图表没有数据系列";
  if (chart.series.size() > kMaxChartSeries) return "图表的数据系列太多";
  if (!chart.position.valid()) return "图表的位置超出了工作表";
  for (const ChartSeries& s : chart.series) {
    const std::string which = "数据系列“" + s.name + "”";
    if (s.sheet.empty()) return which + "没有指明工作表";
    if (!one_line(s.values) || !one_line(s.categories)) return which + "的区域不是一行或一列";
    if (points(s.values) != points(s.categories)) return which + "的数值和分类个数不同";
    if (points(s.values) > kMaxChartPoints) return which + "的数据点太多";
  }
  return "";
}

}  // namespace lczs::host
