// xl/worksheets/sheetN.xml: a sheet's view, sizes, rows and cells, merged
// ranges and page breaks, streamed from the model in the order the file
// format wants.
#include <algorithm>
#include <cmath>
#include <iterator>

#include "host/host.h"
#include "io/internal.h"
#include "io/parts.h"

namespace lczs::io::detail {

using memory::Cell;
using memory::SheetData;

namespace {

// Row heights the application derives from the standard font by itself; a
// sheet whose default is one of them needs no custom default height.
bool natural_row_height(double h) { return h == 13.5 || h == 14.25 || h == 15; }

constexpr double kStandardColumnWidth = 8.43;

void append_ref(std::string& out, int row, int col) {
  char letters[4];
  int n = 0;
  for (int c = col; c > 0; c = (c - 1) / 26) letters[n++] = static_cast<char>('A' + (c - 1) % 26);
  while (n > 0) out += letters[--n];
  out += std::to_string(row);
}

std::string ref(int row, int col) {
  std::string s;
  append_ref(s, row, col);
  return s;
}

std::string range_ref(const host::Area& a) {
  return a.is_single_cell() ? ref(a.top, a.left) : ref(a.top, a.left) + ":" + ref(a.bottom, a.right);
}

class SheetWriter {
 public:
  SheetWriter(const SheetData& sheet, StyleTable& styles, StringTable& strings, const std::string& path)
      : sheet_(sheet), styles_(styles), strings_(strings), path_(path) {}

  std::string write(bool selected) {
    w_.start("worksheet").attr("xmlns", kMainNs).attr("xmlns:r", kRelNs);
    int last_row = sheet_.max_row(), last_col = sheet_.max_col();
    w_.start("dimension").attr("ref", last_row > 0 && last_col > 0 ? "A1:" + ref(last_row, last_col) : "A1").end();
    view(selected);
    sizes();
    columns();
    cells();
    merges();
    w_.start("pageMargins").attr("left", 0.7).attr("right", 0.7).attr("top", 0.75).attr("bottom", 0.75)
        .attr("header", 0.3).attr("footer", 0.3).end();
    breaks();
    w_.end();
    return w_.take();
  }

 private:
  void view(bool selected) {
    const auto& v = sheet_.view;
    w_.start("sheetViews").start("sheetView");
    if (selected) w_.attr("tabSelected", "1");
    w_.attr("workbookViewId", 0);
    if (v.top_left.row > 1 || v.top_left.col > 1) w_.attr("topLeftCell", ref(v.top_left.row, v.top_left.col));
    host::Area sel = v.selection;
    if (sel.valid() && !(sel.is_single_cell() && sel.top == 1 && sel.left == 1)) {
      host::CellRef a = sel.contains(v.active_cell.row, v.active_cell.col) ? v.active_cell : sel.top_left();
      w_.start("selection").attr("activeCell", ref(a.row, a.col)).attr("sqref", range_ref(sel)).end();
    }
    w_.end().end();
  }

  void sizes() {
    double h = sheet_.default_row_height;
    bool custom_height = !natural_row_height(h) && h > 0 && h <= 409;
    default_width_ = sheet_.default_column_width;
    if (!(default_width_ > 0 && default_width_ <= 255)) default_width_ = kStandardColumnWidth;
    bool custom_width = file_width_from_column_width(default_width_) != file_width_from_column_width(kStandardColumnWidth);
    w_.start("sheetFormatPr");
    if (custom_width) w_.attr("defaultColWidth", file_width_from_column_width(default_width_));
    w_.attr("defaultRowHeight", h > 0 && h <= 409 ? h : 13.5);
    if (custom_height) w_.attr("customHeight", "1");
    w_.end();
  }

  void columns() {
    bool any = false;
    for (auto it = sheet_.columns.begin(); it != sheet_.columns.end();) {
      int first = it->first;
      if (first < 1 || first > host::kMaxCols) {
        ++it;
        continue;
      }
      auto last_it = it;
      int last = first;
      for (auto jt = std::next(it); jt != sheet_.columns.end() && jt->first == last + 1 && jt->second == it->second; ++jt)
        last_it = jt, last = jt->first;
      const memory::ColumnInfo& info = it->second;
      it = std::next(last_it);
      if (!any) w_.start("cols");
      any = true;
      // A column without a width of its own is written at the sheet's
      // default width, which the application would otherwise take as zero.
      double width = info.width.value_or(default_width_);
      if (!(width >= 0 && width <= 255)) width = default_width_;
      w_.start("col").attr("min", first).attr("max", std::min(last, host::kMaxCols));
      w_.attr("width", file_width_from_column_width(width));
      if (info.format) w_.attr("style", styles_.xf(*info.format));
      if (info.hidden) w_.attr("hidden", "1");
      if (info.width) w_.attr("customWidth", "1");
      w_.end();
    }
    if (any) w_.end();
  }

  void row_start(int row, const memory::RowInfo* info) {
    w_.start("row").attr("r", row);
    if (info == nullptr) return;
    if (info->format) w_.attr("s", styles_.xf(*info->format)).attr("customFormat", "1");
    if (info->height) {
      double h = *info->height;
      if (h >= 0 && h <= 409) w_.attr("ht", h).attr("customHeight", "1");
    }
    if (info->hidden) w_.attr("hidden", "1");
  }

  const memory::RowInfo* row_info(int row) const {
    auto it = sheet_.rows.find(row);
    return it == sheet_.rows.end() ? nullptr : &it->second;
  }

  static bool worth_writing(const memory::RowInfo& info) { return info.height || info.format || info.hidden; }

  // Rows that hold no cell but a height, format or hidden flag, before
  // `limit`.
  void bare_rows_until(int limit) {
    while (next_row_ != sheet_.rows.end() && next_row_->first < limit) {
      if (next_row_->first >= 1 && next_row_->first <= host::kMaxRows && worth_writing(next_row_->second)) {
        row_start(next_row_->first, &next_row_->second);
        w_.end();
      }
      ++next_row_;
    }
  }

  void cells() {
    w_.start("sheetData");
    next_row_ = sheet_.rows.begin();
    int open_row = 0;
    sheet_.for_each([&](int row, int col, const Cell& cell) {
      if (row < 1 || row > host::kMaxRows || col < 1 || col > host::kMaxCols) return;
      if (row != open_row) {
        if (open_row != 0) w_.end();
        bare_rows_until(row);
        if (next_row_ != sheet_.rows.end() && next_row_->first == row) ++next_row_;
        row_start(row, row_info(row));
        open_row = row;
      }
      this->cell(row, col, cell);
    });
    if (open_row != 0) w_.end();
    bare_rows_until(host::kMaxRows + 1);
    w_.end();
  }

  void cell(int row, int col, const Cell& c) {
    const host::Value& v = c.value;
    using K = host::Value::Kind;
    bool rich = v.kind() == K::Text && c.formula.empty() &&
                std::any_of(c.runs.begin(), c.runs.end(), [](const memory::TextRun& r) { return r.font && !r.text.empty(); });
    // An empty text is no value; without a format there is nothing to write.
    bool blank = c.formula.empty() && (v.kind() == K::Empty || (v.kind() == K::Text && v.as_text().empty()));
    if (blank && c.format == 0) return;
    if (v.kind() == K::Text && v.as_text().size() > static_cast<std::size_t>(host::kMaxCellTextLength) &&
        utf8_length(v.as_text()) > static_cast<std::size_t>(host::kMaxCellTextLength))
      fail_cell(row, col, "的文本超过 " + std::to_string(host::kMaxCellTextLength) + " 个字符");
    cell_ref_.clear();
    append_ref(cell_ref_, row, col);
    w_.start("c").attr("r", cell_ref_);
    if (c.format != 0) w_.attr("s", styles_.xf(c.format));
    if (blank) {
      w_.end();
      return;
    }
    bool finite = v.kind() != K::Number || std::isfinite(v.as_number());
    std::string_view type;
    switch (v.kind()) {
      case K::Text: type = c.formula.empty() ? "s" : "str"; break;
      case K::Boolean: type = "b"; break;
      case K::Error: type = "e"; break;
      case K::Number: type = finite ? "" : "e"; break;
      case K::Empty: break;
    }
    if (!type.empty()) w_.attr("t", type);
    if (!c.formula.empty()) w_.element("f", c.formula);
    switch (v.kind()) {
      case K::Empty:
        break;
      case K::Number:
        value_.clear();
        // A number a double cannot hold shows as #NUM!, as in the application.
        if (finite) append_double(value_, v.as_number());
        else value_ = "#NUM!";
        w_.element("v", value_);
        break;
      case K::Text:
        if (!c.formula.empty()) w_.element("v", v.as_text());
        else w_.element("v", std::to_string(rich ? strings_.index(c.runs) : strings_.index(v.as_text())));
        break;
      case K::Boolean:
        w_.element("v", v.as_boolean() ? "1" : "0");
        break;
      case K::Error:
        w_.element("v", host::error_text(v.as_error()));
        break;
    }
    w_.end();
  }

  void merges() {
    // Overlapping ranges would make the application repair the file: the
    // first one stays.
    std::vector<host::Area> merged;
    for (const auto& m : sheet_.merges)
      if (m.valid() && !m.is_single_cell() && m.bottom <= host::kMaxRows && m.right <= host::kMaxCols) merged.push_back(m);
    while (auto o = first_overlap(merged)) merged.erase(merged.begin() + static_cast<long>(o->second));
    if (merged.empty()) return;
    w_.start("mergeCells").attr("count", merged.size());
    for (const auto& m : merged) w_.start("mergeCell").attr("ref", range_ref(m)).end();
    w_.end();
  }

  void breaks() {
    // A break with id n is below row n.
    std::vector<int> ids;
    for (int r : sheet_.row_breaks)
      if (r > 1 && r <= host::kMaxRows && (ids.empty() || ids.back() < r - 1)) ids.push_back(r - 1);
    if (ids.size() > kMaxRowBreaks) ids.resize(kMaxRowBreaks);
    if (ids.empty()) return;
    w_.start("rowBreaks").attr("count", ids.size()).attr("manualBreakCount", ids.size());
    for (int id : ids) w_.start("brk").attr("id", id).attr("max", host::kMaxCols - 1).attr("man", "1").end();
    w_.end();
  }

  [[noreturn]] void fail_cell(int row, int col, const std::string& what) const {
    throw host::SaveError("无法保存文件“" + path_ + "”：工作表“" + sheet_.name + "”的单元格 " + ref(row, col) + what);
  }

  const SheetData& sheet_;
  StyleTable& styles_;
  StringTable& strings_;
  const std::string& path_;
  XmlWriter w_;
  double default_width_ = kStandardColumnWidth;
  std::map<int, memory::RowInfo>::const_iterator next_row_;
  std::string cell_ref_, value_;
};

}  // namespace

std::string sheet_part(const SheetData& sheet, bool selected, StyleTable& styles, StringTable& strings,
                       const std::string& shown_path) {
  return SheetWriter(sheet, styles, strings, shown_path).write(selected);
}

}  // namespace lczs::io::detail
