// Cells of the in-memory host: identity and view of a sheet, values and
// formulas, the lazy recalculation, current region and End(xlDown).
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "model/memory_internal.h"

namespace lczs::memory {

using host::ErrorCode;
using host::kMaxCols;
using host::kMaxRows;

namespace detail {

void fail(const std::string& message) { throw host::HostError(message); }

namespace {
std::string where(const Area& a) {
  return "第" + std::to_string(a.top) + "行第" + std::to_string(a.left) + "列至第" +
         std::to_string(a.bottom) + "行第" + std::to_string(a.right) + "列";
}
}  // namespace

void check_area(const Area& area) {
  if (!area.valid()) fail("区域超出工作表范围：" + where(area));
}
void check_cell(int row, int col) { check_area(Area::cell(row, col)); }
void check_row(int row) {
  if (row < 1 || row > kMaxRows) fail("行号超出工作表范围：" + std::to_string(row));
}
void check_col(int col) {
  if (col < 1 || col > kMaxCols) fail("列号超出工作表范围：" + std::to_string(col));
}

std::string fold(std::string_view text) {
  std::string s(text);
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

Value typed_entry(const std::string& text) {
  if (text.empty()) return Value();
  if (iequals(text, "TRUE")) return Value::boolean(true);
  if (iequals(text, "FALSE")) return Value::boolean(false);
  if (auto e = host::parse_error(text)) return Value::error(*e);
  std::string t = text;
  while (!t.empty() && t.back() == ' ') t.pop_back();
  std::size_t lead = t.find_first_not_of(' ');
  if (lead == std::string::npos) return Value::text(text);
  t = t.substr(lead);
  bool percent = false;
  if (t.size() > 1 && t.back() == '%') {
    percent = true;
    t.pop_back();
  }
  // Only plain decimal notation (with an optional exponent) reads as a number;
  // strtod alone would also take "inf", "nan" and hexadecimal.
  bool ok = !t.empty();
  bool digits = false;
  for (std::size_t i = 0; i < t.size() && ok; ++i) {
    char c = t[i];
    if (c >= '0' && c <= '9') digits = true;
    else if (c == '.' || c == 'e' || c == 'E' || ((c == '+' || c == '-') && (i == 0 || t[i - 1] == 'e' || t[i - 1] == 'E')))
      continue;
    else
      ok = false;
  }
  if (ok && digits) {
    char* end = nullptr;
    double v = std::strtod(t.c_str(), &end);
    if (end == t.c_str() + t.size() && std::isfinite(v)) return Value::number(percent ? v / 100 : v);
  }
  return Value::text(text);
}

int char_count(std::string_view text) {
  int n = 0;
  for (unsigned char c : text)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

double text_units(std::string_view s) {
  double units = 0;
  std::size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    char32_t cp = c;
    int len = 1;
    if (c >= 0xF0) { cp = c & 0x07; len = 4; }
    else if (c >= 0xE0) { cp = c & 0x0F; len = 3; }
    else if (c >= 0xC0) { cp = c & 0x1F; len = 2; }
    for (int k = 1; k < len && i + k < s.size(); ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    i += len;
    bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
                (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
                (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD);
    units += wide ? 2 : 1;
  }
  return units;
}

// ---- Recalculation -------------------------------------------------------------

MemoryWorksheet* sheet_by_name(MemoryWorkbook& book, std::string_view name) {
  for (int i = 1; i <= book.sheet_count(); ++i) {
    MemoryWorksheet& s = book.mem_sheet(i);
    if (iequals(std::as_const(s).data().name, name)) return &s;
  }
  return nullptr;
}

namespace {

// A long chain or a range of formulas would pile up their inputs one by one;
// past this many the areas become one rectangle per sheet, which may call
// the formula stale more often but never keeps a changed value.
constexpr std::size_t kMaxInheritedAreas = 64;

void collapse(std::vector<std::pair<const SheetData*, Area>>& areas) {
  std::vector<std::pair<const SheetData*, Area>> out;
  for (const auto& [sheet, a] : areas) {
    auto it = std::find_if(out.begin(), out.end(), [&](const auto& x) { return x.first == sheet; });
    if (it == out.end()) {
      out.emplace_back(sheet, a);
      continue;
    }
    Area& b = it->second;
    b = {std::min(a.top, b.top), std::min(a.left, b.left), std::max(a.bottom, b.bottom), std::max(a.right, b.right)};
  }
  areas = std::move(out);
}

class SheetResolver : public formula::Resolver {
 public:
  explicit SheetResolver(const MemoryWorksheet& ws) : ws_(ws) {}

  const MemoryWorksheet* target(std::string_view sheet) const {
    if (sheet.empty()) return &ws_;
    return sheet_by_name(const_cast<MemoryWorkbook&>(ws_.workbook()), sheet);
  }
  Value cell(std::string_view sheet, int row, int col) const override {
    const MemoryWorksheet* s = target(sheet);
    if (!s) return Value::error(ErrorCode::Ref);
    const Cell* c = s->data().get(row, col);
    if (!c || c->formula().empty()) return cell_value(*s, row, col, c);
    Value v = formula_value(*s, row, col, *c);
    inherit(*s, row, col);
    return v;
  }
  void for_each_in(std::string_view sheet, const Area& area,
                   const std::function<void(int, int, const Value&)>& f) const override {
    const MemoryWorksheet* s = target(sheet);
    if (!s) return;
    s->data().store().each(area, [&](int r, int c, const Cell& cell) {
      if (cell.formula().empty()) {
        f(r, c, cell.value);
        return;
      }
      Value v = formula_value(*s, r, c, cell);
      inherit(*s, r, c);
      f(r, c, v);
    });
  }
  bool sheet_exists(std::string_view sheet) const override { return target(sheet) != nullptr; }
  double today_serial() const override {
    return const_cast<MemoryWorkbook&>(ws_.workbook()).application().today_serial();
  }

  // What the formula cells read depend on: a formula reading another one
  // is stale exactly when the other one's inputs change (or its own direct
  // ones do), so it takes over the other one's areas.
  mutable std::vector<std::pair<const SheetData*, Area>> inherited;
  mutable bool inherited_unknown = false;  // some formula read has no known inputs

 private:
  void inherit(const MemoryWorksheet& s, int row, int col) const {
    if (inherited_unknown) return;
    const auto& entries = s.data().store().calc.entries;
    auto it = entries.find(SheetData::Store::key(row, col));
    // Busy: a circular reference, whose value stands on nothing known.
    if (it == entries.end() || it->second.busy || !it->second.areas_known || it->second.always_stale) {
      inherited_unknown = true;
      inherited.clear();
      return;
    }
    inherited.insert(inherited.end(), it->second.areas.begin(), it->second.areas.end());
    if (inherited.size() > kMaxInheritedAreas) collapse(inherited);
  }
  const MemoryWorksheet& ws_;
};

int eval_depth = 0;

// Functions whose references are computed, or whose value changes by itself.
bool volatile_formula(const std::string& text) {
  std::string up = text;
  for (char& ch : up)
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  for (const char* name : {"OFFSET(", "INDIRECT(", "INDEX(", "TODAY(", "NOW(", "RAND(", "RANDBETWEEN(",
                           "CELL(", "INFO(", "ROW(", "COLUMN(", "ROWS(", "COLUMNS("})
    if (up.find(name) != std::string::npos) return true;
  return false;
}

// Records what a freshly evaluated formula reads. Sheets are looked up
// again at every evaluation: a sheet of the same name may have replaced the
// one read last time.
void note_dependencies(const MemoryWorksheet& ws, int row, int col, SheetData::Store::CalcEntry& e,
                       const SheetResolver& resolver) {
  e.areas.clear();
  e.areas_known = true;
  e.always_stale = resolver.inherited_unknown || volatile_formula(e.text);
  if (e.always_stale) return;
  e.areas = resolver.inherited;
  for (const formula::Ref& ref : formula::references(e.text, row, col)) {
    const MemoryWorksheet* s =
        ref.sheet.empty() ? &ws : sheet_by_name(const_cast<MemoryWorkbook&>(ws.workbook()), ref.sheet);
    if (!s) {
      e.always_stale = true;
      return;
    }
    e.areas.emplace_back(&s->data(), ref.area);
  }
}

}  // namespace

Value formula_value(const MemoryWorksheet& ws, int row, int col, const Cell& cell) {
  const MemoryWorkbook& book = ws.workbook();
  std::uint64_t gen = book.generation();
  auto& cache = const_cast<SheetData::Store&>(ws.data().store()).calc.entries;
  Cell& mutable_cell = const_cast<Cell&>(cell);
  if (eval_depth == 0 && cache.size() > 2 * ws.data().cell_count() + 4096) cache.clear();
  auto& e = cache[SheetData::Store::key(row, col)];
  if (e.busy) return cell.value;  // circular reference: the last value stands
  bool same_text = e.parsed && e.text == cell.formula();
  if (same_text && e.stamp == gen) return cell.value;
  if (same_text && e.areas_known && !e.always_stale && !book.changed_since(e.stamp, e.areas)) {
    e.stamp = gen;
    return cell.value;
  }
  if (!same_text) {
    e.parsed = formula::parse(cell.formula());
    e.text = cell.formula();
  }
  struct Guard {
    SheetData::Store::CalcEntry& e;
    Guard(SheetData::Store::CalcEntry& x) : e(x) {
      e.busy = true;
      ++eval_depth;
    }
    ~Guard() {
      e.busy = false;
      --eval_depth;
    }
  };
  formula::Result result;
  SheetResolver resolver(ws);
  {
    Guard guard(e);
    result = formula::evaluate(*e.parsed, row, col, resolver);
  }
  note_dependencies(ws, row, col, e, resolver);
  if (result.supported)
    mutable_cell.value = result.value;
  else
    const_cast<WorkbookData&>(book.data()).needs_full_recalc = true;
  e.stamp = gen;
  return cell.value;
}

Value cell_value(const MemoryWorksheet& ws, int row, int col, const Cell* cell) {
  if (!cell) return Value();
  if (cell->formula().empty()) return cell->value;
  return formula_value(ws, row, col, *cell);
}

void rewrite_formulas(MemoryWorkbook& book,
                      const std::function<std::string(const std::string&, std::string_view)>& f) {
  for (auto& sheet : Access::book(book).sheets) {
    auto& st = sheet->store();
    if (!st.maybe_formulas) continue;
    bool any = false;
    st.each([&](int, int, Cell& cell) {
      if (cell.formula().empty()) return;
      any = true;
      std::string next = f(sheet->name, cell.formula());
      if (next != cell.formula()) cell.set_formula(std::move(next));
    });
    if (!any) st.maybe_formulas = false;
  }
}

void rewrite_references(MemoryWorkbook& book,
                        const std::function<std::string(const std::string&, std::string_view)>& f) {
  rewrite_formulas(book, f);
  WorkbookData& data = Access::book(book);
  for (auto& sheet : data.sheets) {
    if (sheet->ranges.empty()) continue;
    const std::string& own = sheet->name;
    rewrite_range_items(sheet->ranges, [&](std::string_view text) { return f(own, text); });
  }
  for (auto& n : data.names)
    if (!n.formula.empty()) n.formula = f("", n.formula);
}

namespace {
// The cells of columns [left, right] of a row, as iterators.
std::pair<SheetData::Store::Row::iterator, SheetData::Store::Row::iterator> span(SheetData::Store::Row& cells,
                                                                                int left, int right) {
  auto lo = SheetData::Store::lower(cells, left);
  auto hi = lo;
  while (hi != cells.end() && hi->col <= right) ++hi;
  return {lo, hi};
}
}  // namespace

void erase_area(SheetData& sheet, const Area& area) {
  auto& st = sheet.store();
  int bottom = std::min(area.bottom, st.last_row());
  for (int r = std::max(area.top, 1); r <= bottom; ++r) {
    auto& cells = st.rows[static_cast<std::size_t>(r - 1)];
    if (cells.empty()) continue;
    auto [lo, hi] = span(cells, area.left, area.right);
    for (auto it = lo; it != hi; ++it) st.removed(it->col);
    cells.erase(lo, hi);
  }
  st.forget(area);
  st.trim();
}

void shift_cells(SheetData& sheet, const Area& area, int drow, int dcol) {
  auto& st = sheet.store();
  using Row = SheetData::Store::Row;
  // Each row's cells of the area leave as one piece (the whole row vector
  // when the row holds nothing else), then land as one piece.
  struct Piece {
    int row;
    Row cells;
  };
  std::vector<Piece> moved;
  int bottom = std::min(area.bottom, st.last_row());
  for (int r = std::max(area.top, 1); r <= bottom; ++r) {
    Row& cells = st.rows[static_cast<std::size_t>(r - 1)];
    if (cells.empty()) continue;
    auto [lo, hi] = span(cells, area.left, area.right);
    if (lo == hi) continue;
    for (auto it = lo; it != hi; ++it) st.removed(it->col);
    if (lo == cells.begin() && hi == cells.end()) {
      moved.push_back({r, std::move(cells)});
      cells = Row();
    } else {
      moved.push_back({r, Row(std::make_move_iterator(lo), std::make_move_iterator(hi))});
      cells.erase(lo, hi);
    }
  }
  st.forget(area);
  Area dest = area.offset(drow, dcol);
  dest.top = std::max(dest.top, 1);
  dest.left = std::max(dest.left, 1);
  dest.bottom = std::min(dest.bottom, kMaxRows);
  dest.right = std::min(dest.right, kMaxCols);
  if (dest.top <= dest.bottom && dest.left <= dest.right) erase_area(sheet, dest);
  for (auto& m : moved) {
    int nr = m.row + drow;
    if (nr < 1 || nr > kMaxRows) continue;
    Row& piece = m.cells;
    if (dcol != 0) {
      for (auto& e : piece) e.col += dcol;
      piece.erase(std::remove_if(piece.begin(), piece.end(),
                                 [](const SheetData::Store::Entry& e) { return e.col < 1 || e.col > kMaxCols; }),
                  piece.end());
    }
    if (piece.empty()) continue;
    for (auto& e : piece) st.added(e.col);
    Row& target = st.make_row(nr);
    if (target.empty()) {
      target = std::move(piece);
    } else {
      auto at = SheetData::Store::lower(target, piece.front().col);
      target.insert(at, std::make_move_iterator(piece.begin()), std::make_move_iterator(piece.end()));
    }
  }
  st.trim();
}

}  // namespace detail

using namespace detail;

// ---- Identity and view --------------------------------------------------------------

MemoryWorksheet::MemoryWorksheet(MemoryWorkbook& book, SheetData& data) : book_(&book), data_(&data) {}

std::string MemoryWorksheet::name() const { return data_->name; }

void MemoryWorksheet::set_name(const std::string& name) {
  if (name.empty()) fail("工作表名称不能为空");
  if (char_count(name) > host::kMaxSheetNameLength)
    fail("工作表名称“" + name + "”超过31个字符");
  if (name.find_first_of(":\\/?*[]") != std::string::npos || name.front() == '\'' ||
      name.back() == '\'')
    fail("工作表名称“" + name + "”含有不允许的字符");
  for (auto& other : book_->data_.sheets)
    if (other.get() != data_ && iequals(other->name, name))
      fail("工作表名称“" + name + "”已被其他工作表使用");
  if (name == data_->name) return;
  std::string old = data_->name;
  data_->name = name;
  carried_sheet_renamed(book_->data_, old);
  rewrite_references(*book_, [&](const std::string&, std::string_view f) {
    return formula::on_sheet_renamed(f, old, name);
  });
  book_->touch();
}

int MemoryWorksheet::index() const {
  const auto& sheets = book_->data_.sheets;
  for (std::size_t i = 0; i < sheets.size(); ++i)
    if (sheets[i].get() == data_) return static_cast<int>(i) + 1;
  return 0;
}

bool MemoryWorksheet::visible() const { return !data_->hidden && !data_->very_hidden; }

void MemoryWorksheet::activate() {
  if (!visible()) fail("工作表“" + data_->name + "”已隐藏，不能激活");
  book_->set_active(index() - 1);
}

void MemoryWorksheet::select(const Area& area) { select(area, area.top_left()); }

void MemoryWorksheet::select(const Area& area, host::CellRef active) {
  check_area(area);
  if (index() - 1 != book_->data_.active_sheet)
    fail("工作表“" + data_->name + "”不是活动工作表，不能选定其中的区域");
  if (!area.contains(active.row, active.col)) fail("活动单元格不在选定区域内");
  data_->view.selection = area;
  data_->view.active_cell = active;
}

Area MemoryWorksheet::selection() const { return data_->view.selection; }
host::CellRef MemoryWorksheet::active_cell() const { return data_->view.active_cell; }

// ---- Values and formulas --------------------------------------------------------------

Value MemoryWorksheet::value(int row, int col) const {
  check_cell(row, col);
  return cell_value(*this, row, col, data_->get(row, col));
}

namespace {
void store_value(SheetData& sheet, int row, int col, const Value& v) {
  if (v.is_empty() || (v.is_text() && v.as_text().empty())) {
    if (Cell* cell = const_cast<Cell*>(sheet.get(row, col))) {
      cell->value = Value();
      cell->clear_aside();
      drop_if_blank(sheet, row, col);
    }
    return;
  }
  Cell& cell = cell_for_write(sheet, row, col);
  cell.value = v;
  cell.clear_aside();
}

void check_text(const Value& v) {
  if (v.is_text() && char_count(v.as_text()) > host::kMaxCellTextLength)
    fail("文本超过单元格能容纳的32767个字符");
}

constexpr long long kMaxCellsPerCall = host::kMaxGridCells;

void check_size(const Area& area) {
  if (static_cast<long long>(area.row_count()) * area.col_count() > kMaxCellsPerCall)
    fail("区域过大，无法逐个单元格写入");
}
}  // namespace

void MemoryWorksheet::set_value(int row, int col, const Value& v) {
  check_cell(row, col);
  check_text(v);
  store_value(*data_, row, col, v);
  book_->touch(*data_, Area::cell(row, col));
}

void MemoryWorksheet::set_values(const Area& area, const Value& v) {
  check_area(area);
  check_text(v);
  if (v.is_empty() || (v.is_text() && v.as_text().empty())) {
    clear_contents(area);
    return;
  }
  check_size(area);
  for (int r = area.top; r <= area.bottom; ++r)
    for (int c = area.left; c <= area.right; ++c) store_value(*data_, r, c, v);
  book_->touch(*data_, area);
}

namespace {
void check_grid(const Area& area) {
  check_area(area);
  if (static_cast<long long>(area.row_count()) * area.col_count() > host::kMaxGridCells)
    fail("区域过大，无法一次读写：" + host::address(area, false));
}
}  // namespace

host::ValueGrid MemoryWorksheet::values(const Area& area) const {
  check_grid(area);
  host::ValueGrid grid(area.row_count(), area.col_count());
  // One walk along each row's stored cells, not a lookup per cell; working
  // out a formula's value changes no cell's place.
  data_->store().each(area, [&](int r, int c, const Cell& cell) {
    grid.at(r - area.top, c - area.left) = cell_value(*this, r, c, &cell);
  });
  return grid;
}

void MemoryWorksheet::write_values(host::CellRef at, const host::ValueGrid& grid) {
  if (grid.rows() == 0 || grid.cols() == 0) return;
  const Area area = Area::cell(at.row, at.col).resize(grid.rows(), grid.cols());
  check_grid(area);
  // Every text is checked before the first cell changes.
  for (int r = 0; r < grid.rows(); ++r)
    for (int c = 0; c < grid.cols(); ++c) check_text(grid.at(r, c));
  for (int r = 0; r < grid.rows(); ++r)
    for (int c = 0; c < grid.cols(); ++c) store_value(*data_, area.top + r, area.left + c, grid.at(r, c));
  book_->touch(*data_, area);
}

std::string MemoryWorksheet::formula(int row, int col) const {
  check_cell(row, col);
  const Cell* cell = data_->get(row, col);
  if (!cell) return "";
  if (!cell->formula().empty()) return "=" + cell->formula();
  return cell->value.display_text();
}

void MemoryWorksheet::set_formula(const Area& area, const std::string& text) {
  check_area(area);
  if (text.size() < 2 || text[0] != '=') {
    Value v = typed_entry(text);
    set_values(area, v);
    return;
  }
  std::string f = text.substr(1);
  if (!formula::parses(f)) fail("公式“" + text + "”有误");
  check_size(area);
  data_->store().maybe_formulas = true;
  for (int r = area.top; r <= area.bottom; ++r)
    for (int c = area.left; c <= area.right; ++c) {
      Cell& cell = cell_for_write(*data_, r, c);
      cell.set_formula((r == area.top && c == area.left) ? f : formula::translate(f, r - area.top, c - area.left));
      cell.value = Value();
      cell.set_runs({});
      data_->store().forget(r, c);
    }
  book_->touch(*data_, area);
}

void MemoryWorksheet::set_formula_r1c1(const Area& area, const std::string& text) {
  check_area(area);
  if (text.size() < 2 || text[0] != '=') {
    set_formula(area, text);
    return;
  }
  std::string r1c1 = text.substr(1);
  check_size(area);
  std::string first = formula::from_r1c1(r1c1, area.top, area.left);
  if (!formula::parses(first)) fail("公式“" + text + "”有误");
  data_->store().maybe_formulas = true;
  for (int r = area.top; r <= area.bottom; ++r)
    for (int c = area.left; c <= area.right; ++c) {
      Cell& cell = cell_for_write(*data_, r, c);
      cell.set_formula(formula::from_r1c1(r1c1, r, c));
      cell.value = Value();
      cell.set_runs({});
      data_->store().forget(r, c);
    }
  book_->touch(*data_, area);
}

host::CellRef MemoryWorksheet::used_extent() const { return {data_->max_row(), data_->max_col()}; }

// ---- Regions ---------------------------------------------------------------------------

Area MemoryWorksheet::current_region(int row, int col) const {
  check_cell(row, col);
  using Store = SheetData::Store;
  const Store& st = data_->store();
  auto& cache = const_cast<Store&>(st).regions;
  std::uint64_t gen = book_->generation();
  Store::RegionMemo* stale = nullptr;
  for (auto& m : cache.memos) {
    if (m.row != row || m.col != col) continue;
    stale = &m;
    Area around{std::max(m.area.top - 1, 1), std::max(m.area.left - 1, 1), std::min(m.area.bottom + 1, kMaxRows),
                std::min(m.area.right + 1, kMaxCols)};
    if (m.stamp == gen || !book_->changed_since(m.stamp, {{data_, around}})) {
      m.stamp = gen;
      return m.area;
    }
  }
  auto has_filled = [&](int r, int c1, int c2) {
    const Store::Row* cells = st.row(r);
    if (!cells) return false;
    for (auto it = Store::lower(*cells, std::max(c1, 1)); it != cells->end() && it->col <= c2; ++it)
      if (!it->cell.empty()) return true;
    return false;
  };
  // Grow the rectangle until no filled cell touches it, corners included.
  // A row joining the rectangle widens it at once by the runs of filled
  // cells beside it, so a table whose header row is as wide as its body is
  // found in one pass over its rows. Only a widening after other rows were
  // checked sends the search over every row again at the new width.
  Area a = Area::cell(row, col);
  auto widen = [&](int r) {
    const Store::Row* cells = st.row(r);
    if (!cells || cells->empty()) return false;
    bool changed = false;
    int c = a.right + 1;
    for (auto it = Store::lower(*cells, c); it != cells->end() && it->col == c && !it->cell.empty(); ++it) ++c;
    if (c - 1 != a.right) a.right = c - 1, changed = true;
    c = a.left - 1;
    for (auto it = Store::lower(*cells, a.left); c >= 1 && it != cells->begin();) {
      --it;
      if (it->col != c || it->cell.empty()) break;
      --c;
    }
    if (c + 1 != a.left) a.left = c + 1, changed = true;
    return changed;
  };
  widen(row);
  for (;;) {
    bool recheck = false;
    while (a.bottom < kMaxRows && has_filled(a.bottom + 1, a.left - 1, a.right + 1)) {
      st.prefetch(a.bottom + 1 + Store::kPrefetchRows);
      recheck |= widen(++a.bottom);
    }
    while (a.top > 1 && has_filled(a.top - 1, a.left - 1, a.right + 1)) recheck |= widen(--a.top);
    if (!recheck) break;
    // Rows checked before the widening, and those just beyond the top and
    // the bottom, are checked again at the new width; the loop above then
    // looks past the top and bottom again.
    for (bool widened = true; widened;) {
      widened = false;
      int last = std::min(a.bottom + 1, st.last_row());
      for (int r = std::max(a.top - 1, 1); r <= last; ++r) widened |= widen(r);
    }
  }
  Store::RegionMemo memo{gen, row, col, a};
  if (stale) {
    *stale = memo;
  } else if (cache.memos.size() < Store::RegionCache::kKept) {
    cache.memos.push_back(memo);
  } else {
    cache.memos[cache.next] = memo;
    cache.next = (cache.next + 1) % Store::RegionCache::kKept;
  }
  return a;
}

host::CellRef MemoryWorksheet::end_down(int row, int col) const {
  check_cell(row, col);
  const auto& st = data_->store();
  auto filled = [&](int r) {
    const Cell* c = st.find(r, col);
    return c && !c->empty();
  };
  if (filled(row) && row < kMaxRows && filled(row + 1)) {
    int r = row + 1;
    while (r < kMaxRows && filled(r + 1)) ++r;
    return {r, col};
  }
  for (int r = row + 1; r <= st.last_row(); ++r)
    if (filled(r)) return {r, col};
  return {kMaxRows, col};
}

// ---- Editing ------------------------------------------------------------------------------

void MemoryWorksheet::clear_contents(const Area& area) {
  check_area(area);
  for (const Area& m : data_->merges)
    if (intersects(m, area) && !inside(m, area)) fail("不能对合并单元格的一部分进行更改");
  // Cells are emptied in place, then the blank ones dropped in one pass.
  auto& st = data_->store();
  st.each(area, [&](int, int, Cell& cell) {
    cell.value = Value();
    cell.clear_aside();
  });
  int bottom = std::min(area.bottom, st.last_row());
  for (int r = std::max(area.top, 1); r <= bottom; ++r) {
    auto& cells = st.rows[static_cast<std::size_t>(r - 1)];
    if (cells.empty()) continue;
    auto lo = SheetData::Store::lower(cells, area.left), hi = lo;
    while (hi != cells.end() && hi->col <= area.right) ++hi;
    auto keep = std::remove_if(lo, hi, [&](const SheetData::Store::Entry& e) {
      bool drop = !e.cell.attached && e.cell.format == level_format(*data_, r, e.col);
      if (drop) st.removed(e.col);
      return drop;
    });
    cells.erase(keep, hi);
  }
  st.forget(area);
  st.trim();
  book_->touch(*data_, area);
}

namespace {

// Takes from the area's cells what `held` finds, through `drop`; a cell left
// with nothing goes. Values never change, so nothing is recalculated.
template <class Held, class Drop>
void detach(SheetData& sheet, const Area& area, Held held, Drop drop) {
  if (!sheet.maybe_attached()) return;
  std::vector<host::CellRef> at;
  sheet.store().each(area, [&](int r, int c, const Cell& cell) {
    if (held(cell.attached)) at.push_back({r, c});
  });
  for (host::CellRef c : at) drop(c.row, c.col);
}

}  // namespace

void MemoryWorksheet::clear_comments(const Area& area) {
  check_area(area);
  detach(*data_, area, [](const Attached& a) { return a.comment() != nullptr; },
         [&](int r, int c) { data_->set_comment(r, c, std::nullopt); });
}

void MemoryWorksheet::clear_hyperlinks(const Area& area) {
  check_area(area);
  detach(*data_, area, [](const Attached& a) { return a.hyperlink() != nullptr; },
         [&](int r, int c) { data_->set_hyperlink(r, c, std::nullopt); });
}

int MemoryWorksheet::replace_whole(const Area& area, const std::string& what,
                                   const std::string& replacement) {
  check_area(area);
  if (what.empty()) return 0;
  Value v = typed_entry(replacement);
  check_text(v);
  // A number shows `what` only if `what` reads back as about that number:
  // the shown text keeps 15 significant digits. The test spares making the
  // text of every number of a table that cannot match.
  double target = 0;
  auto [end, ec] = std::from_chars(what.data(), what.data() + what.size(), target);
  const bool numeric = ec == std::errc() && end == what.data() + what.size();
  auto may_show = [&](const Value& x) {
    if (!x.is_number()) return true;
    double n = x.as_number();
    if (!std::isfinite(n)) return true;
    return numeric && std::fabs(n - target) <= 1e-13 * std::fabs(target);
  };
  std::vector<std::pair<int, int>> hits;
  data_->store().each(area, [&](int r, int c, const Cell& cell) {
    if (cell.formula().empty() && !cell.value.is_empty() && may_show(cell.value) &&
        iequals(cell.value.display_text(), what))
      hits.emplace_back(r, c);
  });
  for (auto [r, c] : hits) store_value(*data_, r, c, v);
  if (!hits.empty()) book_->touch(*data_, area);
  return static_cast<int>(hits.size());
}

}  // namespace lczs::memory
