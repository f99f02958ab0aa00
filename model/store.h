// Storage behind SheetData: a vector of rows indexed by row number, each row
// a vector of its stored cells ordered by column.
//
// Why this layout: the jobs work on tables, reading and writing whole rows,
// columns and rectangles in row order. Measured on the exam analysis at
// 30,000 students, the former map of row maps spent about a third of the run
// stepping tree nodes; here a rectangle is one binary search per row and then
// cells side by side in memory, a cell lookup is an index and a short binary
// search, and moving whole rows (sort, insert, delete) moves row vectors
// without touching their cells. Rows past the last stored one are not kept,
// and a sheet costs one empty row header (24 bytes) per row above its last
// used one. Formats are ids into the workbook's FormatPool.
//
// A stored cell is 48 bytes (Entry: column, Value, format, and two
// pointers, one to the comment and hyperlink, one aside), where it was 128 with the formula text, the runs and a string inside
// every cell. A Value is 16 bytes: a number in place, a text as a shared
// immutable string, so the cells of a file's shared strings table point at
// one copy of each text (the text's id is its address). The formula and
// the rich text runs, which few cells have, sit aside in one record per
// such cell, owned by the cell and moved with it, so the row vectors that
// sort, insert and delete move stay small. Measured reading the 30,000 x 15
// book of bench/io_bench.cpp (numbers, shared strings, formats), peak
// resident memory over the cells read, the process's start included: 473
// bytes per cell before (a DOM of the whole sheet, its unpacked XML and
// 128-byte cells); bench/io_vs_openpyxl.sh reports the figure now.
//
// Cell addresses are not stable: anything that adds or removes a cell of a
// row may move that row's cells. Nothing keeps a Cell pointer across such a
// change; the formula cache is keyed by position and its entries are
// dropped where cells move.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/formula.h"
#include "model/model.h"

namespace lczs::memory {

struct SheetData::Store {
  struct Entry {
    int col;
    Cell cell;
  };
  // The layout above is what the memory bound of reading rests on.
  static_assert(sizeof(Value) <= 16 && sizeof(Cell) <= 40 && sizeof(Entry) <= 48);
  using Row = std::vector<Entry>;  // ordered by column
  std::vector<Row> rows;           // rows[r - 1]; the last one is never empty
  std::vector<std::uint32_t> col_counts;  // column -> stored cells; last entry non-zero
  std::size_t count = 0;
  // False only when a scan found no formula and none can have come since:
  // lets the reference rewriting after a rename, insert or delete pass over
  // sheets of plain values without reading every cell. Whatever may write a
  // formula into the sheet sets it (set_formula, paste, at(), put()).
  bool maybe_formulas = true;
  // False while no cell of the sheet can carry a comment or hyperlink
  // (set by put() and the attaching calls, copied with the sheet).
  bool maybe_attached = false;

  // Formula values computed since the workbook's last change, by position.
  // An entry belongs to whatever cell stands at its position and is trusted
  // only for the same formula text; moving or erasing cells drops the
  // entries of the positions concerned. A copy of the sheet starts empty.
  struct CalcEntry {
    std::uint64_t stamp = 0;   // workbook generation of the value
    std::string text;          // the formula the parse belongs to
    formula::ParsedPtr parsed;
    bool busy = false;         // being evaluated (circular reference guard)
    // What the value depends on, for keeping it across unrelated changes:
    // the areas the formula reads, unless it reads other formulas or its
    // references are computed (then any change makes it stale).
    bool areas_known = false;
    bool always_stale = false;
    std::vector<std::pair<const SheetData*, Area>> areas;
  };
  static std::uint64_t key(int row, int col) {
    return (static_cast<std::uint64_t>(row) << 16) | static_cast<std::uint64_t>(col);
  }
  struct CalcCache {
    std::unordered_map<std::uint64_t, CalcEntry> entries;
    CalcCache() = default;
    CalcCache(const CalcCache&) {}
    CalcCache& operator=(const CalcCache&) {
      entries.clear();
      return *this;
    }
    CalcCache(CalcCache&&) = default;
    CalcCache& operator=(CalcCache&&) = default;
  };
  CalcCache calc;

  // The latest current regions asked for, by starting cell. An answer
  // stands while no change since its stamp touched the region or the cells
  // around it: only a filled cell there could make it grow or shrink.
  struct RegionMemo {
    std::uint64_t stamp = 0;
    int row = 0, col = 0;
    Area area;
  };
  struct RegionCache {
    static constexpr std::size_t kKept = 8;
    std::vector<RegionMemo> memos;
    std::size_t next = 0;  // slot the next answer replaces
    RegionCache() = default;
    RegionCache(const RegionCache&) {}
    RegionCache& operator=(const RegionCache&) {
      memos.clear();
      next = 0;
      return *this;
    }
    RegionCache(RegionCache&&) = default;
    RegionCache& operator=(RegionCache&&) = default;
  };
  RegionCache regions;

  // ---- lookups ----
  int last_row() const { return static_cast<int>(rows.size()); }
  Row* row(int r) { return r >= 1 && r <= last_row() ? &rows[static_cast<std::size_t>(r - 1)] : nullptr; }
  const Row* row(int r) const {
    return r >= 1 && r <= last_row() ? &rows[static_cast<std::size_t>(r - 1)] : nullptr;
  }
  // The first cell at or right of `col`. Rows of a table are mostly dense
  // from their first column, so the column's own slot is tried before a
  // binary search: a dense row answers from one cache line, and walks over
  // many rows stay sequential instead of probing the middle of each row.
  static Row::iterator lower(Row& row, int col) {
    if (row.empty() || row.front().col >= col) return row.begin();
    // Columns rise by at least one per cell, so row[i].col >= front + i.
    std::size_t slot = static_cast<std::size_t>(col - row.front().col);
    if (slot < row.size()) {
      if (row[slot].col == col) return row.begin() + static_cast<std::ptrdiff_t>(slot);
    } else if (row.back().col < col) {
      return row.end();
    }
    return std::lower_bound(row.begin(), row.end(), col, [](const Entry& e, int c) { return e.col < c; });
  }
  static Row::const_iterator lower(const Row& row, int col) { return lower(const_cast<Row&>(row), col); }
  Cell* find(int r, int c) {
    Row* cells = row(r);
    if (!cells) return nullptr;
    auto it = lower(*cells, c);
    return it != cells->end() && it->col == c ? &it->cell : nullptr;
  }
  const Cell* find(int r, int c) const { return const_cast<Store*>(this)->find(r, c); }
  // The row, made when absent.
  Row& make_row(int r) {
    if (r > last_row()) rows.resize(static_cast<std::size_t>(r));
    return rows[static_cast<std::size_t>(r - 1)];
  }
  // The cell, made (default) when absent; `made` tells which.
  Cell& obtain(int r, int c, bool& made) {
    Row& cells = make_row(r);
    auto it = lower(cells, c);
    made = it == cells.end() || it->col != c;
    if (made) {
      it = cells.insert(it, Entry{c, Cell{}});
      added(c);
    }
    return it->cell;
  }

  // ---- walking ----
  // Each row's cells live in their own block: a walk down a table asks for
  // the next rows' first cells early, so that reaching a row does not wait
  // on memory once per row.
  // Always inlined: GCC finds a function whose only effect is a prefetch
  // free of side effects and drops the calls to it, prefetch and all.
  static constexpr int kPrefetchRows = 8;
  [[gnu::always_inline]] void prefetch(int r) const {
    if (r >= 1 && r <= last_row()) __builtin_prefetch(rows[static_cast<std::size_t>(r - 1)].data());
  }
  // The same for a walk that starts at column `col`: a row of a table is
  // dense from column 1, so its cell for `col` is guessed to sit in slot
  // col - 1 (the last slot when the row is shorter). A column walk down a
  // table wider than a cache line would otherwise fetch the row's first
  // cells and then still wait for the ones it reads, once per row, which at
  // hundreds of thousands of rows is most of its time.
  [[gnu::always_inline]] void prefetch(int r, int col) const {
    if (r < 1 || r > last_row()) return;
    const Row& cells = rows[static_cast<std::size_t>(r - 1)];
    if (cells.empty()) return;
    __builtin_prefetch(cells.data() + std::min(static_cast<std::size_t>(col - 1), cells.size() - 1));
  }

  // f(row, col, cell) for the stored cells of an area, row by row, left to
  // right. f must not add or remove cells.
  template <class F>
  void each(const Area& a, F&& f) {
    int bottom = std::min(a.bottom, last_row());
    for (int r = std::max(a.top, 1); r <= bottom; ++r) {
      if (r + kPrefetchRows <= bottom) {
        prefetch(r + kPrefetchRows);
        prefetch(r + kPrefetchRows, std::max(a.left, 1));
      }
      // lower() reads the row's first cell and the guessed slot, both
      // fetched ahead; a row ending left of the area gives its end.
      Row& cells = rows[static_cast<std::size_t>(r - 1)];
      for (auto it = lower(cells, a.left); it != cells.end() && it->col <= a.right; ++it) f(r, it->col, it->cell);
    }
  }
  template <class F>
  void each(const Area& a, F&& f) const {
    const_cast<Store*>(this)->each(a, [&](int r, int c, Cell& cell) { f(r, c, static_cast<const Cell&>(cell)); });
  }
  template <class F>
  void each(F&& f) {
    for (std::size_t i = 0; i < rows.size(); ++i)
      for (Entry& e : rows[i]) f(static_cast<int>(i) + 1, e.col, e.cell);
  }
  template <class F>
  void each(F&& f) const {
    for (std::size_t i = 0; i < rows.size(); ++i)
      for (const Entry& e : rows[i]) f(static_cast<int>(i) + 1, e.col, e.cell);
  }

  // ---- bookkeeping ----
  void clear() {
    rows.clear();
    col_counts.clear();
    count = 0;
    calc.entries.clear();
    regions = RegionCache();
  }
  void added(int col) {
    if (static_cast<std::size_t>(col) >= col_counts.size()) col_counts.resize(static_cast<std::size_t>(col) + 1);
    ++col_counts[static_cast<std::size_t>(col)];
    ++count;
  }
  void removed(int col) {
    auto& n = col_counts[static_cast<std::size_t>(col)];
    --n;
    --count;
    while (!col_counts.empty() && col_counts.back() == 0) col_counts.pop_back();
  }
  int last_col() const { return col_counts.empty() ? 0 : static_cast<int>(col_counts.size()) - 1; }
  // Drops empty rows at the end, after cells were removed.
  void trim() {
    while (!rows.empty() && rows.back().empty()) rows.pop_back();
  }
  // Rebuilds col_counts and count from the rows (after bulk moves).
  void recount() {
    col_counts.clear();
    count = 0;
    for (const Row& cells : rows)
      for (const Entry& e : cells) added(e.col);
    trim();
  }
  // Forgets the formula values of the cells of an area (they moved or went).
  void forget(const Area& a) {
    if (calc.entries.empty()) return;
    for (auto it = calc.entries.begin(); it != calc.entries.end();) {
      int r = static_cast<int>(it->first >> 16), c = static_cast<int>(it->first & 0xFFFF);
      if (a.contains(r, c)) it = calc.entries.erase(it);
      else ++it;
    }
  }
  void forget(int r, int c) {
    if (!calc.entries.empty()) calc.entries.erase(key(r, c));
  }
};

}  // namespace lczs::memory
