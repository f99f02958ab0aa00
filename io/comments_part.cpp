// Comments (notes) of a sheet: xl/commentsN.xml holds their authors and
// text; xl/drawings/vmlDrawingN.vml the boxes the application shows them
// in, which it needs to show them at all.
#include <algorithm>
#include <array>
#include <cmath>

#include "host/host.h"
#include "io/parts.h"

namespace lczs::io::detail {

namespace {

constexpr std::string_view kVmlNs = "urn:schemas-microsoft-com:vml";
constexpr std::string_view kOfficeNs = "urn:schemas-microsoft-com:office:office";
constexpr std::string_view kExcelNs = "urn:schemas-microsoft-com:office:excel";

// The application's place for a new box: one column right of the cell,
// 15 pixels in, from a row above it, 10 pixels down (2 on the first row).
constexpr int kBoxLeftPixels = 15;
constexpr int kBoxTopPixels = 10;
constexpr int kBoxTopPixelsFirstRow = 2;

// Pixels of the standard font's digit, which column widths count in.
constexpr double kDigitPixels = 7;
constexpr double kPixelsPerPoint = 96.0 / 72.0;

std::string cell_name(int row, int col) { return host::address(host::Area::cell(row, col), false); }

// Sizes of the sheet's columns and rows in pixels, as the application lays
// them out (hidden ones take none).
class Grid {
 public:
  explicit Grid(const memory::SheetData& sheet) : sheet_(sheet) {}

  // Columns and rows from 0 as the drawing counts them.
  int col_pixels(int col0) const {
    auto it = sheet_.columns.find(col0 + 1);
    if (it != sheet_.columns.end() && it->second.hidden) return 0;
    double w = it != sheet_.columns.end() && it->second.width ? *it->second.width : sheet_.default_column_width;
    return w <= 0 ? 0 : static_cast<int>(std::trunc(w * kDigitPixels + 5));
  }
  int row_pixels(int row0) const {
    auto it = sheet_.rows.find(row0 + 1);
    if (it != sheet_.rows.end() && it->second.hidden) return 0;
    double h = it != sheet_.rows.end() && it->second.height ? *it->second.height : sheet_.default_row_height;
    return static_cast<int>(std::lround(h * kPixelsPerPoint));
  }
  // Pixels from the sheet's edge to column (row) `n` plus `offset`.
  long long x(int n, int offset) const {
    long long p = offset;
    for (int c = 0; c < n; ++c) p += col_pixels(c);
    return p;
  }
  // Comments come row by row: the sum goes on from the last row asked for.
  long long y(int n, int offset) const {
    if (n < row_cursor_) row_cursor_ = 0, row_sum_ = 0;
    for (; row_cursor_ < n; ++row_cursor_) row_sum_ += row_pixels(row_cursor_);
    return row_sum_ + offset;
  }
  // The column (row) where an edge `pixels` past (n, offset) falls, and the
  // offset into it.
  std::pair<int, int> walk_cols(int n, int offset, long long pixels) const {
    return walk(n, offset, pixels, host::kMaxCols, [this](int c) { return col_pixels(c); });
  }
  std::pair<int, int> walk_rows(int n, int offset, long long pixels) const {
    return walk(n, offset, pixels, host::kMaxRows, [this](int r) { return row_pixels(r); });
  }

 private:
  template <class Size>
  static std::pair<int, int> walk(int n, int offset, long long pixels, int limit, Size size) {
    long long at = offset + pixels;
    while (n < limit - 1 && at > size(n)) {
      at -= size(n);
      ++n;
    }
    return {n, static_cast<int>(std::min<long long>(at, size(n)))};
  }
  const memory::SheetData& sheet_;
  mutable int row_cursor_ = 0;
  mutable long long row_sum_ = 0;
};

// The box's corners as the drawing gives them: the file's own placement
// moved with the cell, or the application's default beside the cell.
std::array<int, 8> anchor(const Grid& grid, const SheetLinks::Noted& n) {
  int row0 = n.row - 1, col0 = n.col - 1;
  const memory::Comment& c = *n.comment;
  if (c.anchor) {
    std::array<int, 8> a = *c.anchor;
    for (int k : {0, 4}) a[static_cast<std::size_t>(k)] = std::clamp(a[static_cast<std::size_t>(k)] + col0, 0, host::kMaxCols - 1);
    for (int k : {2, 6}) a[static_cast<std::size_t>(k)] = std::clamp(a[static_cast<std::size_t>(k)] + row0, 0, host::kMaxRows - 1);
    return a;
  }
  int left = std::min(col0 + 1, host::kMaxCols - 1);
  int top = std::max(row0 - 1, 0);
  int top_offset = row0 == 0 ? kBoxTopPixelsFirstRow : kBoxTopPixels;
  auto [right, right_offset] = grid.walk_cols(left, kBoxLeftPixels, std::llround(c.width * kPixelsPerPoint));
  auto [bottom, bottom_offset] = grid.walk_rows(top, top_offset, std::llround(c.height * kPixelsPerPoint));
  return {left, kBoxLeftPixels, top, top_offset, right, right_offset, bottom, bottom_offset};
}

}  // namespace

std::string comments_part(const std::vector<SheetLinks::Noted>& comments) {
  std::vector<std::string> authors;
  std::vector<std::size_t> author_of;
  for (const auto& n : comments) {
    auto it = std::find(authors.begin(), authors.end(), n.comment->author);
    author_of.push_back(static_cast<std::size_t>(it - authors.begin()));
    if (it == authors.end()) authors.push_back(n.comment->author);
  }
  XmlWriter w;
  w.start("comments").attr("xmlns", kMainNs);
  w.start("authors");
  for (const auto& a : authors) w.element("author", a);
  w.end();
  w.start("commentList");
  for (std::size_t i = 0; i < comments.size(); ++i) {
    const memory::Comment& c = *comments[i].comment;
    w.start("comment").attr("ref", cell_name(comments[i].row, comments[i].col)).attr("authorId", author_of[i]);
    w.start("text");
    if (std::any_of(c.text.begin(), c.text.end(), [](const memory::TextRun& r) { return r.font.has_value(); })) {
      write_runs(w, c.text);
    } else {
      w.start("t").attr("xml:space", "preserve").text(c.plain_text()).end();
    }
    w.end().end();
  }
  w.end().end();
  return w.take();
}

std::string comment_boxes_part(const memory::SheetData& sheet, const std::vector<SheetLinks::Noted>& comments,
                               int first_block, int& next_block) {
  // Shape ids are 1024 * block + n; id n = 0 of a block is not used.
  int blocks = static_cast<int>(comments.size()) / kVmlShapeBlock + 1;
  next_block = first_block + blocks;
  std::string idmap;
  for (int b = first_block; b < next_block; ++b) idmap += (idmap.empty() ? "" : ",") + std::to_string(b);

  Grid grid(sheet);
  XmlWriter w(false);
  w.start("xml").attr("xmlns:v", kVmlNs).attr("xmlns:o", kOfficeNs).attr("xmlns:x", kExcelNs);
  w.start("o:shapelayout").attr("v:ext", "edit").start("o:idmap").attr("v:ext", "edit").attr("data", idmap).end().end();
  w.start("v:shapetype").attr("id", "_x0000_t202").attr("coordsize", "21600,21600").attr("o:spt", "202")
      .attr("path", "m,l,21600r21600,l21600,xe");
  w.start("v:stroke").attr("joinstyle", "miter").end();
  w.start("v:path").attr("gradientshapeok", "t").attr("o:connecttype", "rect").end();
  w.end();
  for (std::size_t i = 0; i < comments.size(); ++i) {
    const memory::Comment& c = *comments[i].comment;
    std::array<int, 8> a = anchor(grid, comments[i]);
    long long id = static_cast<long long>(first_block) * kVmlShapeBlock + static_cast<long long>(i) + 1;
    std::string style = "position:absolute;margin-left:" + double_text(grid.x(a[0], a[1]) / kPixelsPerPoint) +
                        "pt;margin-top:" + double_text(grid.y(a[2], a[3]) / kPixelsPerPoint) +
                        "pt;width:" + double_text(c.width) + "pt;height:" + double_text(c.height) +
                        "pt;z-index:" + std::to_string(i + 1) + ";visibility:" + (c.visible ? "visible" : "hidden");
    w.start("v:shape").attr("id", "_x0000_s" + std::to_string(id)).attr("type", "#_x0000_t202")
        .attr("style", style).attr("fillcolor", "#ffffe1").attr("o:insetmode", "auto");
    w.start("v:fill").attr("color2", "#ffffe1").end();
    w.start("v:shadow").attr("on", "t").attr("color", "black").attr("obscured", "t").end();
    w.start("v:path").attr("o:connecttype", "none").end();
    w.start("v:textbox").attr("style", "mso-direction-alt:auto").start("div").attr("style", "text-align:left").end().end();
    w.start("x:ClientData").attr("ObjectType", "Note");
    w.start("x:MoveWithCells").end().start("x:SizeWithCells").end();
    std::string corners;
    for (int v : a) corners += (corners.empty() ? "" : ", ") + std::to_string(v);
    w.element("x:Anchor", corners);
    w.element("x:AutoFill", "False");
    w.element("x:Row", std::to_string(comments[i].row - 1));
    w.element("x:Column", std::to_string(comments[i].col - 1));
    if (c.visible) w.start("x:Visible").end();
    w.end();
    w.end();
  }
  w.end();
  return w.take();
}

}  // namespace lczs::io::detail
