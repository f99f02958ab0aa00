// Formats of the in-memory host: fonts, borders, alignment, number formats,
// merged ranges, column widths with AutoFit, row heights and page breaks.
//
// Formats of whole rows, whole columns and the whole sheet are recorded on
// the rows and columns (a whole-sheet format goes on every column) and on the
// cells already stored, never by creating the million cells of the area.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <unordered_map>
#include <utility>

#include "model/memory_internal.h"

namespace lczs::memory {

using host::kMaxCols;
using host::kMaxRows;
using namespace detail;

namespace detail {

std::string shown_text(const Value& v, const std::string& number_format) {
  if (!v.is_number() || number_format == "General") return v.display_text();
  std::string fmt = number_format.substr(0, number_format.find(';'));
  if (fmt.empty() || iequals(fmt, "General") || fmt == "G/通用格式" || fmt.find('@') != std::string::npos)
    return v.display_text();
  std::size_t first = fmt.find_first_of("0#");
  if (first == std::string::npos) return v.display_text();
  std::size_t last = fmt.find_last_of("0#");
  bool percent = fmt.find('%') != std::string::npos;
  bool grouping = fmt.find(',', first) < last;
  int decimals = 0;
  if (std::size_t dot = fmt.find('.', first); dot != std::string::npos && dot < last)
    for (std::size_t i = dot + 1; i < fmt.size() && (fmt[i] == '0' || fmt[i] == '#'); ++i) ++decimals;
  double x = v.as_number() * (percent ? 100 : 1);
  // printf's %.*f, without its locale and formatting machinery.
  std::string num(64, '\0');
  for (;;) {
    auto [end, ec] = std::to_chars(num.data(), num.data() + num.size(), x, std::chars_format::fixed, decimals);
    if (ec == std::errc()) {
      num.resize(static_cast<std::size_t>(end - num.data()));
      break;
    }
    num.resize(num.size() * 4);
  }
  if (num == "-0" || (num.size() > 1 && num[0] == '-' && num.find_first_not_of("-0.") == std::string::npos))
    num.erase(0, 1);
  if (grouping) {
    std::size_t start = num[0] == '-' ? 1 : 0;
    std::size_t end = num.find('.');
    if (end == std::string::npos) end = num.size();
    for (std::size_t i = end; i > start + 3; i -= 3) num.insert(i - 3, ",");
  }
  // Literal text around the digits: quoted, escaped or plain characters;
  // colours, conditions, fill and spacing codes show nothing.
  auto literal = [](std::string_view part) {
    std::string out;
    for (std::size_t i = 0; i < part.size(); ++i) {
      char c = part[i];
      if (c == '"') {
        std::size_t end = part.find('"', i + 1);
        if (end == std::string_view::npos) end = part.size();
        out.append(part.substr(i + 1, end - i - 1));
        i = end;
      } else if (c == '\\' && i + 1 < part.size()) {
        out.push_back(part[++i]);
      } else if (c == '[') {
        std::size_t end = part.find(']', i);
        i = end == std::string_view::npos ? part.size() : end;
      } else if (c == '_' || c == '*') {
        ++i;
      } else if (c != ',' && c != '.') {
        out.push_back(c);
      }
    }
    return out;
  };
  std::string_view f(fmt);
  return literal(f.substr(0, first)) + num + literal(f.substr(last + 1));
}

}  // namespace detail

namespace {

// Applies a change to the formats of an area. `patch(format, row, col)`
// gets 0 for the row (column) when it changes a whole column's (row's)
// format. A positional patch (borders) may depend on the cell's position
// only through which edges of the area the cell lies on; so every patch is
// computed once per format id and edge class, which keeps a grid over a
// large table from re-interning a format for every cell.
class FormatEditor {
 public:
  using Patch = std::function<void(Format&, int row, int col)>;
  FormatEditor(SheetData& sheet, FormatPool& pool, Patch patch, bool positional, const Area& area)
      : sheet_(sheet), pool_(pool), patch_(std::move(patch)), positional_(positional), area_(area) {}

  FormatId patched(FormatId id, int row, int col) {
    std::uint64_t key = static_cast<std::uint64_t>(id) << 4;
    if (positional_) {
      key |= (row == area_.top ? 1u : 0u) | (row == area_.bottom ? 2u : 0u) |
             (col == area_.left ? 4u : 0u) | (col == area_.right ? 8u : 0u);
    }
    // Neighbouring cells mostly share a format: try the last answer first.
    if (key == last_key_) return last_out_;
    auto it = memo_.find(key);
    FormatId out;
    if (it != memo_.end()) {
      out = it->second;
    } else {
      Format f = pool_.get(id);
      patch_(f, row, col);
      out = pool_.intern(f);
      memo_.emplace(key, out);
    }
    last_key_ = key;
    last_out_ = out;
    return out;
  }

  void apply(const Area& area) {
    bool rows = whole_rows(area), cols = whole_cols(area);
    auto& st = sheet_.store();
    if (rows && cols) {
      for (auto& [r, info] : sheet_.rows)
        if (info.format) info.format = patched(*info.format, r, 0);
      for (int c = 1; c <= kMaxCols; ++c) {
        auto& info = sheet_.columns[c];
        info.format = patched(info.format.value_or(0), 0, c);
      }
      st.each([&](int r, int c, Cell& cell) { cell.format = patched(cell.format, r, c); });
      return;
    }
    if (rows) {
      // A row without its own format shows the column formats; cells are
      // made where a column's format would otherwise show through.
      for (int r = area.top; r <= area.bottom; ++r) {
        auto& info = sheet_.rows[r];
        bool had = info.format.has_value();
        info.format = patched(info.format.value_or(common_column_format()), r, 0);
        st.each(Area{r, 1, r, kMaxCols}, [&](int, int c, Cell& cell) { cell.format = patched(cell.format, r, c); });
        // Columns that all carry one format (after a whole-sheet format)
        // show through nowhere: the row's new format was made from it.
        bool uniform = !positional_ && common_column_format() != 0;
        if (!had && !uniform)
          for (auto& [c, cinfo] : sheet_.columns)
            if (cinfo.format && !st.find(r, c)) {
              FormatId f = patched(*cinfo.format, r, c);
              if (f != *info.format) {
                bool made = false;
                st.obtain(r, c, made).format = f;
              }
            }
      }
      return;
    }
    if (cols) {
      for (int c = area.left; c <= area.right; ++c) {
        auto& info = sheet_.columns[c];
        info.format = patched(info.format.value_or(0), 0, c);
      }
      st.each(area, [&](int r, int c, Cell& cell) { cell.format = patched(cell.format, r, c); });
      // Rows with their own format hide the column's: their cells are made.
      for (auto& [r, rinfo] : sheet_.rows) {
        if (!rinfo.format) continue;
        for (int c = area.left; c <= area.right; ++c)
          if (!sheet_.get(r, c)) {
            Cell& cell = sheet_.at(r, c);
            cell.format = patched(*rinfo.format, r, c);
          }
      }
      return;
    }
    // Row by row: the cells the area lacks are made in one insertion per
    // row, then every cell of the area is patched in a single pass.
    st.make_row(area.bottom);
    using Store = SheetData::Store;
    for (int r = area.top; r <= area.bottom; ++r) {
      st.prefetch(r + Store::kPrefetchRows);
      Store::Row& row = st.rows[static_cast<std::size_t>(r - 1)];
      auto lo = Store::lower(row, area.left);
      // Columns rise strictly along a row: when the first and the last
      // column of the area stand col_count() cells apart, every cell is
      // there, and the pass below reads nothing but the formats.
      const std::ptrdiff_t n = area.col_count();
      const bool complete = row.end() - lo >= n && lo->col == area.left && (lo + (n - 1))->col == area.right;
      if (!complete) {
        auto hi = lo;
        while (hi != row.end() && hi->col <= area.right) ++hi;
        Store::Row full;
        full.reserve(row.size() - static_cast<std::size_t>(hi - lo) + static_cast<std::size_t>(area.col_count()));
        full.insert(full.end(), std::make_move_iterator(row.begin()), std::make_move_iterator(lo));
        auto it = lo;
        for (int c = area.left; c <= area.right; ++c) {
          if (it != hi && it->col == c) {
            full.push_back(std::move(*it++));
            continue;
          }
          Cell cell;
          cell.format = level_format(sheet_, r, c);
          full.push_back(Store::Entry{c, std::move(cell)});
          st.added(c);
        }
        full.insert(full.end(), std::make_move_iterator(hi), std::make_move_iterator(row.end()));
        row = std::move(full);
        lo = Store::lower(row, area.left);
      }
      for (int c = area.left; c <= area.right; ++c, ++lo) lo->cell.format = patched(lo->cell.format, r, c);
    }
  }

 private:
  // The format every column carries after a whole-sheet format, if any.
  FormatId common_column_format() {
    if (common_) return *common_;
    common_ = 0;
    if (static_cast<int>(sheet_.columns.size()) == kMaxCols) {
      const auto& first = sheet_.columns.begin()->second.format;
      bool same = first.has_value();
      for (auto& [c, info] : sheet_.columns)
        if (info.format != first) {
          same = false;
          break;
        }
      if (same) common_ = *first;
    }
    return *common_;
  }

  SheetData& sheet_;
  FormatPool& pool_;
  Patch patch_;
  bool positional_;
  Area area_;
  std::unordered_map<std::uint64_t, FormatId> memo_;
  std::uint64_t last_key_ = ~std::uint64_t{0};  // no format id gives this key
  FormatId last_out_ = 0;
  std::optional<FormatId> common_;
};

// A job formats whole tables of up to the sheet's height; the bound only keeps a
// mistaken rectangle from filling memory with cells nobody stored.
constexpr long long kMaxFormatCells = host::kMaxGridCells;

Color color_from_index(int index) {
  Color c;
  if (index == host::kColorIndexAutomatic || index == host::kColorIndexNone) return c;
  // ColorIndex n is entry n-1 of the workbook palette, which a file numbers
  // from 8 (indexes 0-7 repeat the first colours).
  c.kind = Color::Kind::Indexed;
  c.index = index + 7;
  return c;
}

void patch_font(Font& f, const host::FontPatch& p) {
  if (p.name) f.name = *p.name;
  if (p.font_style) {
    const std::string& s = *p.font_style;
    bool bold = s.find("加粗") != std::string::npos || s.find("粗") != std::string::npos ||
                fold(s).find("bold") != std::string::npos;
    bool italic = s.find("倾斜") != std::string::npos || s.find("斜") != std::string::npos ||
                  fold(s).find("italic") != std::string::npos;
    f.bold = bold;
    f.italic = italic;
  }
  if (p.size) f.size = *p.size;
  if (p.bold) f.bold = *p.bold;
  if (p.italic) f.italic = *p.italic;
  if (p.strikethrough) f.strikethrough = *p.strikethrough;
  if (p.superscript) {
    f.superscript = *p.superscript;
    if (*p.superscript) f.subscript = false;
  }
  if (p.subscript) {
    f.subscript = *p.subscript;
    if (*p.subscript) f.superscript = false;
  }
  if (p.outline) f.outline = *p.outline;
  if (p.shadow) f.shadow = *p.shadow;
  if (p.underline) f.underline = *p.underline;
  if (p.color_index) f.color = color_from_index(*p.color_index);
}

void check_font(const host::FontPatch& p) {
  if (p.size && (*p.size < 1 || *p.size > 409)) fail("字号超出允许范围（1到409磅）");
  if (p.name && p.name->empty()) fail("字体名称不能为空");
  if (p.color_index && *p.color_index != host::kColorIndexAutomatic &&
      *p.color_index != host::kColorIndexNone && (*p.color_index < 1 || *p.color_index > 56))
    fail("颜色索引超出允许范围（1到56）");
}

void edit_formats(MemoryWorksheet& ws, const Area& area, FormatEditor::Patch patch, bool positional) {
  check_area(area);
  if (!whole_rows(area) && !whole_cols(area) &&
      static_cast<long long>(area.row_count()) * area.col_count() > kMaxFormatCells)
    fail("区域过大，无法设置格式");
  FormatEditor ed(Access::sheet(ws), Access::book(ws.workbook()).formats, std::move(patch), positional,
                  area);
  ed.apply(area);
}

}  // namespace

// ---- Reading formats ---------------------------------------------------------------------

FormatId MemoryWorksheet::format_id(int row, int col) const {
  if (const Cell* c = data_->get(row, col)) return c->format;
  return level_format(*data_, row, col);
}

const Format& MemoryWorksheet::format(int row, int col) const {
  return book_->data_.formats.get(format_id(row, col));
}

const std::vector<TextRun>& MemoryWorksheet::runs(int row, int col) const {
  static const std::vector<TextRun> none;
  const Cell* c = data_->get(row, col);
  return c ? c->runs() : none;
}

std::optional<Area> MemoryWorksheet::merge_at(int row, int col) const {
  for (const Area& m : data_->merges)
    if (m.contains(row, col)) return m;
  return std::nullopt;
}

std::vector<Area> MemoryWorksheet::merges() const { return data_->merges; }

// ---- Fonts ---------------------------------------------------------------------------------

void MemoryWorksheet::set_font(const Area& area, const host::FontPatch& font) {
  check_font(font);
  edit_formats(*this, area, [&](Format& f, int, int) { patch_font(f.font, font); }, false);
  // Runs of rich text cells take the change too, as the whole cell's font.
  data_->store().each(area, [&](int, int, Cell& cell) {
    if (cell.runs().empty()) return;
    for (TextRun& run : cell.mutable_runs())
      if (run.font) patch_font(*run.font, font);
  });
}

void MemoryWorksheet::set_characters_font(int row, int col, int start, int length,
                                          const host::FontPatch& font) {
  check_cell(row, col);
  check_font(font);
  Cell* cell = const_cast<Cell*>(data_->get(row, col));
  if (!cell || !cell->formula().empty() || !cell->value.is_text()) {
    set_font(Area::cell(row, col), font);
    return;
  }
  const std::string& text = cell->value.as_text();
  std::string joined;
  for (const TextRun& run : cell->runs()) joined += run.text;
  if (joined != text) cell->set_runs({TextRun{text, std::nullopt}});
  // Character positions to byte offsets.
  std::vector<std::size_t> offsets;
  for (std::size_t i = 0; i < text.size(); ++i)
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) offsets.push_back(i);
  offsets.push_back(text.size());
  int chars = static_cast<int>(offsets.size()) - 1;
  int first = std::max(start, 1) - 1;
  int last = std::min(first + std::max(length, 0), chars);
  if (first >= last) return;
  std::size_t b0 = offsets[first], b1 = offsets[last];
  const Font& base = book_->data_.formats.get(cell->format).font;
  std::vector<TextRun> out;
  std::size_t pos = 0;
  for (const TextRun& run : cell->runs()) {
    std::size_t s = pos, e = pos + run.text.size();
    pos = e;
    auto piece = [&](std::size_t from, std::size_t to, bool patched) {
      if (from >= to) return;
      TextRun part{run.text.substr(from - s, to - from), run.font};
      if (patched) {
        Font f = run.font ? *run.font : base;
        patch_font(f, font);
        part.font = f;
      }
      if (!out.empty() && out.back().font == part.font)
        out.back().text += part.text;
      else
        out.push_back(std::move(part));
    };
    piece(s, std::min(e, std::max(s, b0)), false);
    piece(std::max(s, b0), std::min(e, b1), true);
    piece(std::max(s, std::min(e, b1)), e, false);
  }
  cell->set_runs(std::move(out));
}

// ---- Alignment, merges, borders, number formats ------------------------------------------------

void MemoryWorksheet::set_alignment(const Area& area, const host::AlignmentPatch& p) {
  check_area(area);
  std::optional<int> rotation;
  if (p.orientation) {
    int o = *p.orientation;
    if (o == -4128) rotation = 0;          // xlHorizontal
    else if (o == -4171) rotation = 90;    // xlUpward
    else if (o == -4170) rotation = -90;   // xlDownward
    else if (o == -4166) rotation = 255;   // xlVertical
    else if (o >= -90 && o <= 90) rotation = o;
    else fail("文字方向超出允许范围（-90到90度）");
  }
  if (p.indent_level && (*p.indent_level < 0 || *p.indent_level > 250)) fail("缩进级别超出允许范围");
  bool any = p.horizontal || p.vertical || p.wrap_text || rotation || p.indent_level || p.shrink_to_fit;
  if (any)
    edit_formats(*this, area, [&](Format& f, int, int) {
      auto& a = f.alignment;
      if (p.horizontal) a.horizontal = *p.horizontal;
      if (p.vertical) a.vertical = *p.vertical;
      if (p.wrap_text) a.wrap_text = *p.wrap_text;
      if (rotation) a.rotation = *rotation;
      if (p.indent_level) a.indent = *p.indent_level;
      if (p.shrink_to_fit) a.shrink_to_fit = *p.shrink_to_fit;
    }, false);
  if (p.merge_cells) {
    if (*p.merge_cells) {
      merge(area);
    } else {
      auto& m = data_->merges;
      m.erase(std::remove_if(m.begin(), m.end(), [&](const Area& x) { return intersects(x, area); }),
              m.end());
    }
  }
}

void MemoryWorksheet::merge(const Area& area) {
  check_area(area);
  if (area.is_single_cell()) return;
  // Merged ranges the area touches join the new one.
  Area a = area;
  auto& merges = data_->merges;
  for (bool grown = true; grown;) {
    grown = false;
    for (const Area& m : merges)
      if (intersects(m, a) && !inside(m, a)) {
        a = {std::min(a.top, m.top), std::min(a.left, m.left), std::max(a.bottom, m.bottom),
             std::max(a.right, m.right)};
        grown = true;
      }
  }
  merges.erase(std::remove_if(merges.begin(), merges.end(), [&](const Area& m) { return inside(m, a); }),
               merges.end());
  // Only the upper-left value stays (the first filled cell, row by row).
  auto& st = data_->store();
  bool kept = false, cleared = false;
  std::optional<Cell> keep;
  st.each(a, [&](int r, int c, Cell& cell) {
    if (cell.empty()) return;
    if (!kept) {
      kept = true;
      if (r != a.top || c != a.left) keep = cell;
    }
    if (r != a.top || c != a.left) {
      cell.value = Value();
      cell.clear_aside();
      cleared = true;
    }
  });
  if (keep) {
    Cell& origin = cell_for_write(*data_, a.top, a.left);
    origin.value = keep->value;
    origin.set_formula(keep->formula());
    origin.set_runs(keep->runs());
  }
  merges.push_back(a);
  if (cleared || keep) book_->touch(*data_, a);
}

namespace {

// A border as the format stores it, checked before anything changes.
struct BorderStroke {
  host::BorderIndex index;
  BorderLine line;
  bool drawn;
};

BorderStroke border_stroke(host::BorderIndex index, const host::BorderSpec& border) {
  int idx = static_cast<int>(index);
  if (idx < 5 || idx > 12) fail("边框索引无效");
  BorderStroke s{index, BorderLine{}, border.style != host::LineStyle::None};
  if (s.drawn) {
    s.line.style = border.style;
    s.line.weight = border.weight;
    s.line.color = color_from_index(border.color_index);
  }
  return s;
}

// Row (column) 0 stands for every row (column) of a whole-column (row)
// format: an inner one, never the area's first or last.
void draw_border(Borders& b, const BorderStroke& s, const Area& area, int r, int c) {
  using host::BorderIndex;
  const BorderLine& line = s.line;
  bool top = r == area.top, bottom = r == area.bottom, left = c == area.left, right = c == area.right;
  switch (s.index) {
    case BorderIndex::EdgeLeft: if (left) b.left = line; break;
    case BorderIndex::EdgeRight: if (right) b.right = line; break;
    case BorderIndex::EdgeTop: if (top) b.top = line; break;
    case BorderIndex::EdgeBottom: if (bottom) b.bottom = line; break;
    case BorderIndex::InsideVertical:
      if (!right) b.right = line;
      if (!left) b.left = line;
      break;
    case BorderIndex::InsideHorizontal:
      if (!bottom) b.bottom = line;
      if (!top) b.top = line;
      break;
    case BorderIndex::DiagonalDown:
      b.diagonal = line;
      b.diagonal_down = s.drawn;
      break;
    case BorderIndex::DiagonalUp:
      b.diagonal = line;
      b.diagonal_up = s.drawn;
      break;
  }
}

}  // namespace

void MemoryWorksheet::set_border(const Area& area, host::BorderIndex index,
                                 const host::BorderSpec& border) {
  const BorderStroke s = border_stroke(index, border);
  edit_formats(*this, area, [&](Format& f, int r, int c) { draw_border(f.borders, s, area, r, c); }, true);
}

void MemoryWorksheet::set_borders(const Area& area, const std::vector<host::BorderEdit>& edits) {
  check_area(area);
  // Whole rows and columns make cells where a row's new format differs from
  // a column's, which depends on each single edit: those keep the calls.
  if (whole_rows(area) || whole_cols(area)) return host::Worksheet::set_borders(area, edits);
  std::vector<BorderStroke> strokes;
  strokes.reserve(edits.size());
  for (const host::BorderEdit& e : edits) strokes.push_back(border_stroke(e.index, e.border));
  if (strokes.empty()) return;
  // Every edit changes a cell's format by where it lies on the area alone,
  // so all of them together make one positional patch: one pass, and one new
  // format per old format and edge class.
  edit_formats(*this, area, [&](Format& f, int r, int c) {
    for (const BorderStroke& s : strokes) draw_border(f.borders, s, area, r, c);
  }, true);
}

void MemoryWorksheet::set_number_format(const Area& area, const std::string& format) {
  std::string fmt = format == "G/通用格式" || format.empty() ? "General" : format;
  edit_formats(*this, area, [&](Format& f, int, int) { f.number_format = fmt; }, false);
}

// ---- Column widths and row heights ------------------------------------------------------------

void MemoryWorksheet::set_column_width(int first_col, int last_col, double width) {
  check_col(first_col);
  check_col(last_col);
  if (!(width >= 0 && width <= 255)) fail("列宽超出允许范围（0到255）");
  for (int c = std::min(first_col, last_col); c <= std::max(first_col, last_col); ++c)
    data_->columns[c].width = width;
}

double MemoryWorksheet::column_width(int col) const {
  check_col(col);
  auto it = data_->columns.find(col);
  if (it != data_->columns.end() && it->second.width) return *it->second.width;
  return data_->default_column_width;
}

// AutoFit: a column becomes as wide as the widest text its cells show.
//   width = units * size / base + 0.75, rounded to hundredths, at most 255,
// where units counts each character of the shown text (its number format
// applied) as 1 digit width, or 2 for an East Asian wide or full-width
// character; size is the cell's font size, base the workbook's default font
// size (11 unless the file says otherwise), and a bold font adds 5%. 0.75
// leaves the margin the application leaves. Cells of merged ranges wider
// than one column do not count. A column with nothing to show gets the
// sheet's default width.
void MemoryWorksheet::autofit_columns(int first_col, int last_col) {
  check_col(first_col);
  check_col(last_col);
  int lo = std::min(first_col, last_col), hi = std::max(first_col, last_col);
  const FormatPool& pool = book_->data_.formats;
  double base = pool.get(0).font.size > 0 ? pool.get(0).font.size : 11;
  // Per column of the range; below zero: nothing shown.
  std::vector<double> widest(static_cast<std::size_t>(hi - lo + 1), -1.0);
  data_->store().each(Area{1, lo, kMaxRows, hi}, [&](int r, int c, const Cell& cell) {
    if (cell.empty()) return;
    if (!data_->merges.empty())
      if (auto m = merge_at(r, c); m && m->left != m->right) return;
    const Format& f = pool.get(cell.format);
    // A text shows as itself under any number format: measured in place,
    // without a copy per cell of a table of names.
    double shown_units;
    if (cell.formula().empty() && cell.value.is_text()) {
      if (cell.value.as_text().empty()) return;
      shown_units = text_units(cell.value.as_text());
    } else {
      std::string text = shown_text(cell_value(*this, r, c, &cell), f.number_format);
      if (text.empty()) return;
      shown_units = text_units(text);
    }
    double units = shown_units * f.font.size / base * (f.font.bold ? 1.05 : 1.0);
    double& w = widest[static_cast<std::size_t>(c - lo)];
    w = std::max(w, units);
  });
  for (int c = lo; c <= hi; ++c) {
    const double w = widest[static_cast<std::size_t>(c - lo)];
    if (w < 0) {
      auto col = data_->columns.find(c);
      if (col != data_->columns.end()) {
        col->second.width.reset();
        if (col->second == ColumnInfo{}) data_->columns.erase(col);
      }
      continue;
    }
    data_->columns[c].width = std::min(255.0, std::round((w + 0.75) * 100) / 100);
  }
}

void MemoryWorksheet::set_row_height(int first_row, int last_row, double points) {
  check_row(first_row);
  check_row(last_row);
  if (!(points >= 0 && points <= 409)) fail("行高超出允许范围（0到409磅）");
  for (int r = std::min(first_row, last_row); r <= std::max(first_row, last_row); ++r)
    data_->rows[r].height = points;
}

double MemoryWorksheet::row_height(int row) const {
  check_row(row);
  auto it = data_->rows.find(row);
  if (it != data_->rows.end() && it->second.height) return *it->second.height;
  return data_->default_row_height;
}

// ---- Page breaks ---------------------------------------------------------------------------------

void MemoryWorksheet::add_page_break(int before_row) {
  check_row(before_row);
  if (before_row < 2) fail("不能在第一行之前插入分页符");
  auto& b = data_->row_breaks;
  auto it = std::lower_bound(b.begin(), b.end(), before_row);
  if (it == b.end() || *it != before_row) b.insert(it, before_row);
}

std::vector<int> MemoryWorksheet::page_breaks() const { return data_->row_breaks; }

}  // namespace lczs::memory
