// Charts as the jobs make them: a small model of the application's embedded
// charts (ChartObjects.Add, SeriesCollection.NewSeries), enough for columns
// with a line over them. Each home makes the real thing from it: the
// in-memory model keeps it and the .xlsx writer writes it as a chart part;
// the Windows add-in builds it with the application's own chart objects.
#pragma once

#include <string>
#include <vector>

#include "host/types.h"

namespace lczs::host {

// The kinds of series a chart can mix (Series.ChartType).
enum class ChartType {
  Column = 51,  // xlColumnClustered
  Line = 65,    // xlLineMarkers
};

struct ChartSeries {
  std::string name;  // Series.Name, shown in the legend
  ChartType type = ChartType::Column;
  std::string sheet;  // the worksheet holding both ranges
  Area categories;    // Series.XValues: one row or one column of labels
  Area values;        // Series.Values: numbers, as many cells as categories
  bool operator==(const ChartSeries&) const = default;
};

// One embedded chart. The value axis is shared by every series; titles left
// empty are not shown.
struct Chart {
  std::string title;
  std::string category_title;  // Axes(xlCategory).AxisTitle
  std::string value_title;     // Axes(xlValue).AxisTitle
  std::vector<ChartSeries> series;
  // The cells the chart covers: its top-left corner is the top-left corner
  // of `position`, its bottom-right corner that of the cell below and right
  // of it.
  Area position;
  bool operator==(const Chart&) const = default;
};

// Limits a chart must keep to.
inline constexpr std::size_t kMaxChartSeries = 255;
inline constexpr int kMaxChartPoints = 4000;

// Why `chart` cannot be made ("" when it can): no series or too many, a
// range that is not one row or column or leaves the sheet, values and
// categories of different lengths, a position outside the sheet.
std::string chart_problem(const Chart& chart);

}  // namespace lczs::host
