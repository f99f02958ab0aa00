// Embedded charts: a sheet with charts gets a drawing part (where each chart
// stands) with one chart part per chart (DrawingML charts). Columns and a
// line share one category and one value axis, which is what the
// application writes for a combined chart. Each series carries the values
// it showed when written, so a reader that does not recalculate still
// draws it.
#include <algorithm>
#include <cmath>

#include "io/parts.h"

namespace lczs::io::detail {

namespace {

constexpr std::string_view kChartNs = "http://schemas.openxmlformats.org/drawingml/2006/chart";
constexpr std::string_view kDrawingMlNs = "http://schemas.openxmlformats.org/drawingml/2006/main";
constexpr std::string_view kSpreadsheetDrawingNs =
    "http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing";
constexpr std::string_view kPackageRelNs = "http://schemas.openxmlformats.org/package/2006/relationships";
constexpr std::string_view kOfficeRelTypes = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
// The axes every chart's series share.
constexpr int kCategoryAxisId = 500000001;
constexpr int kValueAxisId = 500000002;

// 'Sheet name'!$A$1:$A$5: quotes doubled inside the quoted name.
std::string formula_ref(const std::string& sheet, const host::Area& area) {
  std::string quoted = "'";
  for (char c : sheet) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  return quoted + "'!" + host::address(area, true);
}

const memory::SheetData* find_sheet(const memory::WorkbookData& book, const std::string& name) {
  for (const auto& s : book.sheets)
    if (s->name == name) return s.get();
  return nullptr;
}

// The cells of a one-row or one-column range, in order.
std::vector<host::Value> range_values(const memory::WorkbookData& book, const host::ChartSeries& s,
                                      const host::Area& area) {
  std::vector<host::Value> out;
  const memory::SheetData* sheet = find_sheet(book, s.sheet);
  for (int r = area.top; r <= area.bottom; ++r)
    for (int c = area.left; c <= area.right; ++c) {
      const memory::Cell* cell = sheet ? sheet->get(r, c) : nullptr;
      out.push_back(cell ? cell->value : host::Value());
    }
  return out;
}

void rich_title(XmlWriter& w, const std::string& text) {
  w.start("c:title").start("c:tx").start("c:rich");
  w.start("a:bodyPr").end().start("a:lstStyle").end();
  w.start("a:p").start("a:r").element("a:t", text).end().end();
  w.end().end();
  w.val("c:overlay", 0LL);
  w.end();
}

void series(XmlWriter& w, const memory::WorkbookData& book, const host::ChartSeries& s, int index) {
  w.start("c:ser");
  w.val("c:idx", static_cast<long long>(index)).val("c:order", static_cast<long long>(index));
  w.start("c:tx").element("c:v", s.name).end();
  if (s.type == host::ChartType::Line) {
    w.start("c:marker").val("c:symbol", "circle").end();
  } else {
    w.val("c:invertIfNegative", 0LL);
  }
  const std::vector<host::Value> labels = range_values(book, s, s.categories);
  w.start("c:cat").start("c:strRef").element("c:f", formula_ref(s.sheet, s.categories));
  w.start("c:strCache").val("c:ptCount", static_cast<long long>(labels.size()));
  for (std::size_t i = 0; i < labels.size(); ++i) {
    if (labels[i].is_empty()) continue;
    w.start("c:pt").attr("idx", i).element("c:v", labels[i].display_text()).end();
  }
  w.end().end().end();
  const std::vector<host::Value> values = range_values(book, s, s.values);
  w.start("c:val").start("c:numRef").element("c:f", formula_ref(s.sheet, s.values));
  w.start("c:numCache").element("c:formatCode", "General").val("c:ptCount", static_cast<long long>(values.size()));
  for (std::size_t i = 0; i < values.size(); ++i) {
    // An empty cell is a gap in the series.
    if (!values[i].is_number() || !std::isfinite(values[i].as_number())) continue;
    w.start("c:pt").attr("idx", i).element("c:v", double_text(values[i].as_number())).end();
  }
  w.end().end().end();
  if (s.type == host::ChartType::Line) w.val("c:smooth", 0LL);
  w.end();
}

void axis_ids(XmlWriter& w) {
  w.val("c:axId", static_cast<long long>(kCategoryAxisId)).val("c:axId", static_cast<long long>(kValueAxisId));
}

void axis(XmlWriter& w, bool category, const std::string& title) {
  w.start(category ? "c:catAx" : "c:valAx");
  w.val("c:axId", static_cast<long long>(category ? kCategoryAxisId : kValueAxisId));
  w.start("c:scaling").val("c:orientation", "minMax").end();
  w.val("c:delete", 0LL).val("c:axPos", category ? "b" : "l");
  if (!category) w.start("c:majorGridlines").end();
  if (!title.empty()) rich_title(w, title);
  w.start("c:numFmt").attr("formatCode", "General").attr("sourceLinked", "1").end();
  w.val("c:majorTickMark", "out").val("c:minorTickMark", "none").val("c:tickLblPos", "nextTo");
  w.val("c:crossAx", static_cast<long long>(category ? kValueAxisId : kCategoryAxisId));
  w.val("c:crosses", "autoZero");
  if (category) {
    w.val("c:auto", 1LL).val("c:lblAlgn", "ctr").val("c:lblOffset", 100LL).val("c:noMultiLvlLbl", 0LL);
  } else {
    w.val("c:crossBetween", "between");
  }
  w.end();
}

// The anchor's corner at the top-left of a cell.
void corner(XmlWriter& w, const char* name, int row, int col) {
  w.start(name);
  w.element("xdr:col", std::to_string(col - 1)).element("xdr:colOff", "0");
  w.element("xdr:row", std::to_string(row - 1)).element("xdr:rowOff", "0");
  w.end();
}

}  // namespace

std::string chart_part(const memory::WorkbookData& book, const host::Chart& chart) {
  XmlWriter w;
  w.start("c:chartSpace").attr("xmlns:c", kChartNs).attr("xmlns:a", kDrawingMlNs).attr("xmlns:r", kRelNs);
  w.val("c:roundedCorners", 0LL);
  w.start("c:chart");
  if (!chart.title.empty()) rich_title(w, chart.title);
  w.val("c:autoTitleDeleted", chart.title.empty() ? 1LL : 0LL);
  w.start("c:plotArea").start("c:layout").end();
  // Columns first, so that a line is drawn over them.
  int index = 0;
  for (host::ChartType type : {host::ChartType::Column, host::ChartType::Line}) {
    bool any = std::any_of(chart.series.begin(), chart.series.end(),
                           [type](const host::ChartSeries& s) { return s.type == type; });
    if (!any) continue;
    if (type == host::ChartType::Column) {
      w.start("c:barChart").val("c:barDir", "col").val("c:grouping", "clustered").val("c:varyColors", 0LL);
    } else {
      w.start("c:lineChart").val("c:grouping", "standard").val("c:varyColors", 0LL);
    }
    for (const host::ChartSeries& s : chart.series)
      if (s.type == type) series(w, book, s, index++);
    if (type == host::ChartType::Column) w.val("c:gapWidth", 150LL);
    else w.val("c:marker", 1LL);
    axis_ids(w);
    w.end();
  }
  axis(w, true, chart.category_title);
  axis(w, false, chart.value_title);
  w.end();  // plotArea
  w.start("c:legend").val("c:legendPos", "b").val("c:overlay", 0LL).end();
  w.val("c:plotVisOnly", 1LL).val("c:dispBlanksAs", "gap");
  w.end();  // chart
  w.end();
  return w.take();
}

std::string drawing_part(const std::vector<host::Chart>& charts) {
  XmlWriter w;
  w.start("xdr:wsDr").attr("xmlns:xdr", kSpreadsheetDrawingNs).attr("xmlns:a", kDrawingMlNs);
  for (std::size_t i = 0; i < charts.size(); ++i) {
    const host::Area& at = charts[i].position;
    w.start("xdr:twoCellAnchor");
    corner(w, "xdr:from", at.top, at.left);
    corner(w, "xdr:to", at.bottom + 1, at.right + 1);
    w.start("xdr:graphicFrame").attr("macro", "");
    w.start("xdr:nvGraphicFramePr");
    w.start("xdr:cNvPr").attr("id", i + 2).attr("name", "图表 " + std::to_string(i + 1)).end();
    w.start("xdr:cNvGraphicFramePr").end();
    w.end();
    w.start("xdr:xfrm").start("a:off").attr("x", "0").attr("y", "0").end();
    w.start("a:ext").attr("cx", "0").attr("cy", "0").end().end();
    w.start("a:graphic").start("a:graphicData").attr("uri", kChartNs);
    w.start("c:chart").attr("xmlns:c", kChartNs).attr("xmlns:r", kRelNs)
        .attr("r:id", "rId" + std::to_string(i + 1)).end();
    w.end().end();  // graphicData, graphic
    w.end();        // graphicFrame
    w.start("xdr:clientData").end();
    w.end();
  }
  w.end();
  return w.take();
}

std::string drawing_rels_part(const std::vector<std::string>& chart_targets) {
  XmlWriter w;
  w.start("Relationships").attr("xmlns", kPackageRelNs);
  for (std::size_t i = 0; i < chart_targets.size(); ++i)
    w.start("Relationship").attr("Id", "rId" + std::to_string(i + 1))
        .attr("Type", std::string(kOfficeRelTypes) + "chart").attr("Target", chart_targets[i]).end();
  w.end();
  return w.take();
}

}  // namespace lczs::io::detail
