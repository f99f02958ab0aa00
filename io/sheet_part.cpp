// xl/worksheets/sheetN.xml: a sheet's view, sizes, rows and cells, merged
// ranges and page breaks, streamed from the model in the order the file
// format wants.
#include <algorithm>
#include <charconv>
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
  char digits[16];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, row);
  (void)ec;
  out.append(digits, end);
}

std::string ref(int row, int col) {
  std::string s;
  append_ref(s, row, col);
  return s;
}

std::string range_ref(const host::Area& a) {
  return a.is_single_cell() ? ref(a.top, a.left) : ref(a.top, a.left) + ":" + ref(a.bottom, a.right);
}

// The local name of the element an XML text starts with.
std::string_view element_name(std::string_view xml) {
  std::size_t start = xml.find('<');
  if (start == std::string_view::npos) return {};
  std::size_t end = xml.find_first_of(" \t\r\n/>", start + 1);
  std::string_view name = xml.substr(start + 1, end == std::string_view::npos ? std::string_view::npos : end - start - 1);
  if (auto colon = name.find(':'); colon != std::string_view::npos) name.remove_prefix(colon + 1);
  return name;
}

class SheetWriter {
 public:
  SheetWriter(const SheetData& sheet, const SheetLinks& links, StyleTable& styles, StringTable& strings,
              const std::string& path, const PieceSink& spill)
      : sheet_(sheet), links_(links), styles_(styles), strings_(strings), path_(path) {
    if (spill) w_.spill_to(spill, kSheetPiece);
  }

  std::string write(bool selected) {
    w_.start("worksheet").attr("xmlns", kMainNs).attr("xmlns:r", kRelNs);
    properties();
    int last_row = sheet_.max_row(), last_col = sheet_.max_col();
    w_.start("dimension").attr("ref", last_row > 0 && last_col > 0 ? "A1:" + ref(last_row, last_col) : "A1").end();
    view(selected);
    sizes();
    columns();
    cells();
    if (const auto& p = sheet_.settings.protection) {
      w_.start("sheetProtection");
      write_attributes(w_, *p);
      w_.end();
    }
    write_autofilter(w_, sheet_.ranges, styles_);
    merges();
    write_conditional_formats(w_, sheet_.ranges, styles_);
    write_validations(w_, sheet_.ranges);
    hyperlinks();
    page();
    breaks();
    if (!sheet_.charts.empty()) w_.start("drawing").attr("r:id", kSheetDrawingRelId).end();
    // Carried elements as they were read; they name their relationships by
    // the ids the sheet's relationships keep. The comment boxes' drawing
    // stands after the drawings and before the header pictures.
    for (const auto& o : sheet_.carried.objects)
      if (element_name(o.element) == "drawing") w_.raw(o.element);
    if (!links_.legacy_drawing.empty()) w_.start("legacyDrawing").attr("r:id", links_.legacy_drawing).end();
    for (const auto& o : sheet_.carried.objects)
      if (element_name(o.element) != "drawing") w_.raw(o.element);
    w_.end();
    return w_.take();
  }

 private:
  void properties() {
    const memory::SheetSettings& st = sheet_.settings;
    bool outline = st.outline != memory::OutlineSettings{};
    const std::string& code_name = sheet_.carried.code_name;
    if (!st.view.tab_color && !outline && !st.page.fit_to_page && code_name.empty()) return;
    w_.start("sheetPr");
    if (!code_name.empty()) w_.attr("codeName", code_name);
    if (st.view.tab_color) StyleTable::color(w_, "tabColor", *st.view.tab_color);
    if (outline) {
      w_.start("outlinePr");
      if (!st.outline.summary_below) w_.attr("summaryBelow", "0");
      if (!st.outline.summary_right) w_.attr("summaryRight", "0");
      w_.end();
    }
    if (st.page.fit_to_page) w_.start("pageSetUpPr").attr("fitToPage", "1").end();
    w_.end();
  }

  void view(bool selected) {
    const auto& v = sheet_.view;
    const memory::ViewSettings& vs = sheet_.settings.view;
    w_.start("sheetViews").start("sheetView");
    if (!vs.gridlines) w_.attr("showGridLines", "0");
    if (!vs.headings) w_.attr("showRowColHeaders", "0");
    if (vs.right_to_left) w_.attr("rightToLeft", "1");
    if (selected) w_.attr("tabSelected", "1");
    if (v.top_left.row > 1 || v.top_left.col > 1) w_.attr("topLeftCell", ref(v.top_left.row, v.top_left.col));
    if (vs.zoom != 100 && vs.zoom >= 10 && vs.zoom <= 400) w_.attr("zoomScale", vs.zoom).attr("zoomScaleNormal", vs.zoom);
    w_.attr("workbookViewId", 0);
    std::string_view active_pane;
    if (const auto& p = vs.panes) {
      bool frozen = p->kind == memory::Panes::Kind::Frozen;
      w_.start("pane");
      if (p->x > 0) w_.attr("xSplit", p->x);
      if (p->y > 0) w_.attr("ySplit", p->y);
      w_.attr("topLeftCell", ref(p->top_left.row, p->top_left.col));
      // A pane that does not exist cannot be the active one.
      active_pane = p->active;
      if (p->x <= 0 && (active_pane == "topRight" || active_pane == "bottomRight")) active_pane = "bottomLeft";
      if (p->y <= 0 && (active_pane == "bottomLeft" || active_pane == "bottomRight")) active_pane = p->x > 0 ? "topRight" : "topLeft";
      if (active_pane != "topLeft") w_.attr("activePane", active_pane);
      if (frozen) w_.attr("state", "frozen");
      w_.end();
    }
    host::Area sel = v.selection;
    if (sel.valid() && (!active_pane.empty() || !(sel.is_single_cell() && sel.top == 1 && sel.left == 1))) {
      host::CellRef a = sel.contains(v.active_cell.row, v.active_cell.col) ? v.active_cell : sel.top_left();
      w_.start("selection");
      if (!active_pane.empty() && active_pane != "topLeft") w_.attr("pane", active_pane);
      w_.attr("activeCell", ref(a.row, a.col)).attr("sqref", range_ref(sel)).end();
    }
    w_.end().end();
  }

  void page() {
    const memory::PageSetup& p = sheet_.settings.page;
    if (p.center_horizontally || p.center_vertically || p.print_gridlines || p.print_headings) {
      w_.start("printOptions");
      if (p.center_horizontally) w_.attr("horizontalCentered", "1");
      if (p.center_vertically) w_.attr("verticalCentered", "1");
      if (p.print_headings) w_.attr("headings", "1");
      if (p.print_gridlines) w_.attr("gridLines", "1");
      w_.end();
    }
    w_.start("pageMargins").attr("left", p.margin_left).attr("right", p.margin_right).attr("top", p.margin_top)
        .attr("bottom", p.margin_bottom).attr("header", p.margin_header).attr("footer", p.margin_footer).end();
    memory::PageSetup plain;
    plain.margin_left = p.margin_left, plain.margin_right = p.margin_right, plain.margin_top = p.margin_top;
    plain.margin_bottom = p.margin_bottom, plain.margin_header = p.margin_header, plain.margin_footer = p.margin_footer;
    plain.center_horizontally = p.center_horizontally, plain.center_vertically = p.center_vertically;
    plain.print_gridlines = p.print_gridlines, plain.print_headings = p.print_headings;
    plain.fit_to_page = p.fit_to_page;
    plain.header_footer = p.header_footer;
    const memory::CarriedObject* printer = nullptr;
    for (const auto& o : sheet_.carried.objects)
      if (o.element.empty() && !o.links.empty()) printer = &o;
    if (!(p == plain) || printer != nullptr) {
      w_.start("pageSetup");
      if (p.paper_size > 0) w_.attr("paperSize", p.paper_size);
      if (p.scale != 100) w_.attr("scale", p.scale);
      if (p.first_page_number) w_.attr("firstPageNumber", *p.first_page_number);
      if (p.fit_width != 1) w_.attr("fitToWidth", p.fit_width);
      if (p.fit_height != 1) w_.attr("fitToHeight", p.fit_height);
      if (p.over_then_down) w_.attr("pageOrder", "overThenDown");
      w_.attr("orientation", p.landscape ? "landscape" : "portrait");
      if (p.black_and_white) w_.attr("blackAndWhite", "1");
      if (p.draft) w_.attr("draft", "1");
      if (p.first_page_number) w_.attr("useFirstPageNumber", "1");
      if (printer != nullptr) w_.attr("r:id", printer->links.front().id);
      w_.end();
    }
    const memory::HeaderFooter& h = p.header_footer;
    if (h != memory::HeaderFooter{}) {
      w_.start("headerFooter");
      if (h.different_odd_even) w_.attr("differentOddEven", "1");
      if (h.different_first) w_.attr("differentFirst", "1");
      if (!h.scale_with_doc) w_.attr("scaleWithDoc", "0");
      if (!h.align_with_margins) w_.attr("alignWithMargins", "0");
      for (const auto& [element, text] : memory::kHeaderFooterTexts)
        if (!(h.*text).empty()) w_.element(element, h.*text);
      w_.end();
    }
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
    int row_levels = 0, col_levels = 0;
    for (const auto& [r, info] : sheet_.rows) row_levels = std::max(row_levels, info.outline_level);
    for (const auto& [c, info] : sheet_.columns) col_levels = std::max(col_levels, info.outline_level);
    if (row_levels > 0) w_.attr("outlineLevelRow", std::min(row_levels, kMaxOutlineLevel));
    if (col_levels > 0) w_.attr("outlineLevelCol", std::min(col_levels, kMaxOutlineLevel));
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
      if (info.outline_level > 0) w_.attr("outlineLevel", std::min(info.outline_level, kMaxOutlineLevel));
      if (info.collapsed) w_.attr("collapsed", "1");
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
    if (info->outline_level > 0) w_.attr("outlineLevel", std::min(info->outline_level, kMaxOutlineLevel));
    if (info->collapsed) w_.attr("collapsed", "1");
  }

  const memory::RowInfo* row_info(int row) const {
    auto it = sheet_.rows.find(row);
    return it == sheet_.rows.end() ? nullptr : &it->second;
  }

  static bool worth_writing(const memory::RowInfo& info) { return !(info == memory::RowInfo{}); }

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
    bool rich = v.kind() == K::Text && c.formula().empty() &&
                std::any_of(c.runs().begin(), c.runs().end(), [](const memory::TextRun& r) { return r.font && !r.text.empty(); });
    // An empty text is no value; without a format there is nothing to write.
    bool blank = c.formula().empty() && (v.kind() == K::Empty || (v.kind() == K::Text && v.as_text().empty()));
    if (blank && c.format == 0) return;
    if (v.kind() == K::Text && v.as_text().size() > static_cast<std::size_t>(host::kMaxCellTextLength) &&
        utf8_length(v.as_text()) > static_cast<std::size_t>(host::kMaxCellTextLength))
      fail_cell(row, col, "的文本超过 " + std::to_string(host::kMaxCellTextLength) + " 个字符");
    cell_ref_.clear();
    append_ref(cell_ref_, row, col);
    w_.start("c").attr_plain("r", cell_ref_);
    if (c.format != 0) w_.attr("s", styles_.xf(c.format));
    if (blank) {
      w_.end();
      return;
    }
    bool finite = v.kind() != K::Number || std::isfinite(v.as_number());
    std::string_view type;
    switch (v.kind()) {
      case K::Text: type = c.formula().empty() ? "s" : "str"; break;
      case K::Boolean: type = "b"; break;
      case K::Error: type = "e"; break;
      case K::Number: type = finite ? "" : "e"; break;
      case K::Empty: break;
    }
    if (!type.empty()) w_.attr("t", type);
    if (!c.formula().empty()) w_.element("f", c.formula());
    switch (v.kind()) {
      case K::Empty:
        break;
      case K::Number:
        value_.clear();
        // A number a double cannot hold shows as #NUM!, as in the application.
        if (finite) append_double(value_, v.as_number());
        else value_ = "#NUM!";
        w_.element_plain("v", value_);
        break;
      case K::Text:
        if (!c.formula().empty()) {
          w_.element("v", v.as_text());
        } else {
          char digits[24];
          auto [end, ec] = std::to_chars(digits, digits + sizeof digits,
                                         rich ? strings_.index(c.runs()) : strings_.index(v.as_text()));
          (void)ec;
          w_.element_plain("v", std::string_view(digits, static_cast<std::size_t>(end - digits)));
        }
        break;
      case K::Boolean:
        w_.element_plain("v", v.as_boolean() ? "1" : "0");
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

  void hyperlinks() {
    if (links_.hyperlinks.empty()) return;
    w_.start("hyperlinks");
    for (const SheetLinks::Linked& h : links_.hyperlinks) {
      w_.start("hyperlink").attr("ref", ref(h.row, h.col));
      if (!h.rel.empty()) w_.attr("r:id", h.rel);
      if (!h.link->location.empty()) w_.attr("location", h.link->location);
      if (!h.link->tooltip.empty()) w_.attr("tooltip", h.link->tooltip);
      if (!h.link->display.empty()) w_.attr("display", h.link->display);
      w_.end();
    }
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
  const SheetLinks& links_;
  StyleTable& styles_;
  StringTable& strings_;
  const std::string& path_;
  XmlWriter w_;
  double default_width_ = kStandardColumnWidth;
  std::map<int, memory::RowInfo>::const_iterator next_row_;
  std::string cell_ref_, value_;
};

}  // namespace

void collect_attachments(const SheetData& sheet, SheetLinks& links) {
  if (!sheet.maybe_attached()) return;
  sheet.for_each([&](int row, int col, const Cell& cell) {
    if (!cell.attached || row > host::kMaxRows || col > host::kMaxCols) return;
    if (const memory::Comment* c = cell.attached.comment()) links.comments.push_back({row, col, c});
    if (const memory::Hyperlink* h = cell.attached.hyperlink()) links.hyperlinks.push_back({row, col, h, ""});
  });
}

std::string sheet_part(const SheetData& sheet, bool selected, const SheetLinks& links, StyleTable& styles,
                       StringTable& strings, const std::string& shown_path, const PieceSink& spill) {
  return SheetWriter(sheet, links, styles, strings, shown_path, spill).write(selected);
}

}  // namespace lczs::io::detail
