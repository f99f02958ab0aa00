// Structural edits of the in-memory host: deleting and inserting cells and
// rows, and paste of copied or cut cells. References in formulas follow the
// cells they point at, as in the application.
#include <algorithm>
#include <map>
#include <utility>

#include "model/memory_internal.h"

namespace lczs::memory {

using host::kMaxCols;
using host::kMaxRows;
using host::Shift;
using namespace detail;

namespace {

// Shifts the keys of a row or column map: entries in [first, last] are
// dropped, entries after `last` move by -(last-first+1) (deletion); or
// entries from `first` on move by +count (insertion, count > 0, last
// ignored). Entries pushed beyond `limit` are dropped.
template <class Info>
void shift_infos(std::map<int, Info>& infos, int first, int count, bool insert, int limit) {
  std::map<int, Info> out;
  for (auto& [k, v] : infos) {
    if (insert) {
      int nk = k >= first ? k + count : k;
      if (nk <= limit) out.emplace(nk, std::move(v));
    } else {
      if (k >= first && k < first + count) continue;
      out.emplace(k >= first + count ? k - count : k, std::move(v));
    }
  }
  infos = std::move(out);
}

void shift_breaks(std::vector<int>& breaks, int first, int count, bool insert) {
  std::vector<int> out;
  for (int b : breaks) {
    if (insert) {
      b = b >= first ? b + count : b;
      if (b > kMaxRows) continue;
    } else {
      if (b > first && b < first + count) continue;  // above a deleted row
      if (b >= first + count) b -= count;
    }
    if (b >= 2 && (out.empty() || out.back() != b)) out.push_back(b);
  }
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  breaks = std::move(out);
}

Shift resolve_shift(const Area& area, Shift shift, bool for_delete) {
  if (whole_rows(area)) return for_delete ? Shift::Up : Shift::Down;
  if (whole_cols(area)) return for_delete ? Shift::Left : Shift::Right;
  // Without a direction the application shifts along the shorter side: an
  // area at least as wide as it is tall moves the cells below it.
  if (shift == Shift::Auto) {
    bool vertical = area.col_count() >= area.row_count();
    return for_delete ? (vertical ? Shift::Up : Shift::Left) : (vertical ? Shift::Down : Shift::Right);
  }
  return shift;
}

void end_copy_mode_of(MemoryWorkbook& book) {
  auto& mark = Access::mark(book.application());
  if (mark.sheet && &mark.sheet->workbook() == &book) mark = {};
}

}  // namespace

void MemoryWorksheet::delete_cells(const Area& area, Shift shift) {
  check_area(area);
  Shift s = resolve_shift(area, shift, true);
  if (s != Shift::Up && s != Shift::Left) fail("删除单元格只能向上或向左移动其余单元格");
  bool up = s == Shift::Up;
  bool rows_whole = whole_rows(area), cols_whole = whole_cols(area);
  int h = area.row_count(), w = area.col_count();
  // The cells that move: below the area within its columns, or right of it
  // within its rows.
  Area moving = up ? Area{area.bottom + 1, area.left, kMaxRows, area.right}
                   : Area{area.top, area.right + 1, area.bottom, kMaxCols};
  auto& merges = data_->merges;
  for (const Area& m : merges) {
    if (intersects(m, area) && !inside(m, area)) fail("不能删除合并单元格的一部分");
    bool in_band = up ? (m.right >= area.left && m.left <= area.right && m.bottom > area.bottom)
                      : (m.bottom >= area.top && m.top <= area.bottom && m.right > area.right);
    if (in_band && !inside(m, moving) && !(up ? rows_whole : cols_whole))
      fail("此操作会使合并单元格的一部分移动");
  }
  std::vector<Area> kept;
  for (const Area& m : merges) {
    if (inside(m, area)) continue;
    kept.push_back(moving.valid() && inside(m, moving) ? m.offset(up ? -h : 0, up ? 0 : -w) : m);
  }
  merges = std::move(kept);

  carried_cells_moved(book_->data_, *data_, Area{area.top, area.left, up ? kMaxRows : area.bottom, up ? area.right : kMaxCols},
                      true);
  erase_area(*data_, area);
  if (moving.valid()) shift_cells(*data_, moving, up ? -h : 0, up ? 0 : -w);
  if (up && rows_whole) {
    shift_infos(data_->rows, area.top, h, false, kMaxRows);
    shift_breaks(data_->row_breaks, area.top, h, false);
  }
  if (!up && cols_whole) shift_infos(data_->columns, area.left, w, false, kMaxCols);

  std::string me = data_->name;
  rewrite_references(*book_, [&](const std::string& own, std::string_view f) {
    if (up && rows_whole) return formula::on_rows_deleted(f, own, me, area.top, h);
    if (!up && cols_whole) return formula::on_cols_deleted(f, own, me, area.left, w);
    return formula::on_cells_deleted(f, own, me, area, s);
  });
  end_copy_mode_of(*book_);
  book_->touch();
}

void MemoryWorksheet::insert_cells(const Area& area, Shift shift) {
  check_area(area);
  Shift s = resolve_shift(area, shift, false);
  if (s != Shift::Down && s != Shift::Right) fail("插入单元格只能向下或向右移动其余单元格");
  bool down = s == Shift::Down;
  bool rows_whole = whole_rows(area), cols_whole = whole_cols(area);
  int h = area.row_count(), w = area.col_count();
  Area moving = down ? Area{area.top, area.left, kMaxRows, area.right}
                     : Area{area.top, area.left, area.bottom, kMaxCols};
  // Filled cells must not be pushed off the sheet.
  Area lost = down ? Area{kMaxRows - h + 1, area.left, kMaxRows, area.right}
                   : Area{area.top, kMaxCols - w + 1, area.bottom, kMaxCols};
  if (lost.valid()) {
    bool filled = false;
    std::as_const(*data_).store().each(lost, [&](int, int, const Cell& cell) { filled = filled || !cell.empty(); });
    if (filled) fail("无法插入：会把非空单元格移出工作表");
  }
  auto& merges = data_->merges;
  for (const Area& m : merges) {
    bool band = down ? (m.right >= area.left && m.left <= area.right && m.bottom >= area.top)
                     : (m.bottom >= area.top && m.top <= area.bottom && m.right >= area.left);
    bool within = down ? (m.left >= area.left && m.right <= area.right)
                       : (m.top >= area.top && m.bottom <= area.bottom);
    if (band && !within && !(down ? rows_whole : cols_whole)) fail("此操作会使合并单元格的一部分移动");
  }
  for (Area& m : merges) {
    bool within = down ? (m.left >= area.left && m.right <= area.right)
                       : (m.top >= area.top && m.bottom <= area.bottom);
    if (!within) continue;
    if (down) {
      if (m.top >= area.top) m = m.offset(h, 0);
      else if (m.bottom >= area.top) m.bottom += h;  // the insertion splits it: it grows
    } else {
      if (m.left >= area.left) m = m.offset(0, w);
      else if (m.right >= area.left) m.right += w;
    }
  }
  merges.erase(std::remove_if(merges.begin(), merges.end(), [](const Area& m) { return !m.valid(); }),
               merges.end());

  carried_cells_moved(book_->data_, *data_, moving, true);
  shift_cells(*data_, Area{moving.top, moving.left, down ? kMaxRows - h : moving.bottom,
                           down ? moving.right : kMaxCols - w},
              down ? h : 0, down ? 0 : w);
  if (down && rows_whole) {
    shift_infos(data_->rows, area.top, h, true, kMaxRows);
    shift_breaks(data_->row_breaks, area.top, h, true);
  }
  if (!down && cols_whole) shift_infos(data_->columns, area.left, w, true, kMaxCols);

  // New cells look like their neighbour above (left), as the application
  // formats inserted cells by default; at the top (left) edge of the sheet,
  // where there is none, like the cells they pushed down (right).
  if (down) {
    int src = area.top > 1 ? area.top - 1 : area.top + h;
    if (rows_whole) {
      auto info = data_->rows.find(src);
      for (int r = area.top; r < area.top + h; ++r) {
        if (info != data_->rows.end() && info->second.format) data_->rows[r].format = info->second.format;
      }
    }
    auto& st = data_->store();
    std::vector<std::pair<int, FormatId>> above;
    st.each(Area{src, area.left, src, area.right},
            [&](int, int c, const Cell& cell) { above.emplace_back(c, cell.format); });
    for (auto [c, f] : above)
      for (int r = area.top; r < area.top + h; ++r)
        if (f != level_format(*data_, r, c)) data_->at(r, c).format = f;
  } else {
    int src = area.left > 1 ? area.left - 1 : area.left + w;
    if (cols_whole) {
      auto info = data_->columns.find(src);
      for (int c = area.left; c < area.left + w; ++c)
        if (info != data_->columns.end() && info->second.format) data_->columns[c].format = info->second.format;
    }
    auto& st = data_->store();
    std::vector<std::pair<int, FormatId>> beside;
    st.each(Area{area.top, src, area.bottom, src},
            [&](int r, int, const Cell& cell) { beside.emplace_back(r, cell.format); });
    for (auto [r, f] : beside)
      for (int c = area.left; c < area.left + w; ++c)
        if (f != level_format(*data_, r, c)) data_->at(r, c).format = f;
  }

  std::string me = data_->name;
  rewrite_references(*book_, [&](const std::string& own, std::string_view f) {
    if (down && rows_whole) return formula::on_rows_inserted(f, own, me, area.top, h);
    if (!down && cols_whole) return formula::on_cols_inserted(f, own, me, area.left, w);
    return formula::on_cells_inserted(f, own, me, area, s);
  });
  end_copy_mode_of(*book_);
  book_->touch();
}

// ---- Clipboard ---------------------------------------------------------------------------------

namespace detail {

namespace {

struct Snapshot {
  struct Item {
    int dr, dc;  // offset from the area's top-left cell
    Cell cell;
  };
  std::vector<Item> cells;
  std::vector<Area> merges;  // relative to the top-left cell, as offsets from (1,1)
  std::map<int, RowInfo> rows;     // by offset, whole-row areas
  std::map<int, ColumnInfo> cols;  // by offset, whole-column areas
};

// Takes the cells of `area` (and, for small areas, the formats the empty
// positions show), the merges inside it and the row or column settings of
// whole rows or columns.
Snapshot take(MemoryWorksheet& ws, const Area& area, bool extract) {
  SheetData& sheet = Access::sheet(ws);
  Snapshot snap;
  bool rows = whole_rows(area), cols = whole_cols(area);
  sheet.store().each(area, [&](int r, int c, const Cell& stored) {
    Cell cell = stored;
    if (!cell.formula().empty()) cell.value = cell_value(ws, r, c, &stored);
    snap.cells.push_back({r - area.top, c - area.left, std::move(cell)});
  });
  if (!rows && !cols && static_cast<long long>(area.row_count()) * area.col_count() <= (1 << 20)) {
    // Empty positions carry the format of their row or column.
    std::vector<Snapshot::Item> extra;
    std::size_t k = 0;
    for (int r = area.top; r <= area.bottom; ++r)
      for (int c = area.left; c <= area.right; ++c) {
        while (k < snap.cells.size() && (snap.cells[k].dr < r - area.top ||
                                         (snap.cells[k].dr == r - area.top && snap.cells[k].dc < c - area.left)))
          ++k;
        if (k < snap.cells.size() && snap.cells[k].dr == r - area.top && snap.cells[k].dc == c - area.left)
          continue;
        FormatId f = level_format(sheet, r, c);
        if (f != 0) {
          Cell cell;
          cell.format = f;
          extra.push_back({r - area.top, c - area.left, std::move(cell)});
        }
      }
    for (auto& e : extra) snap.cells.push_back(std::move(e));
  }
  for (const Area& m : sheet.merges)
    if (inside(m, area)) snap.merges.push_back(m.offset(-area.top + 1, -area.left + 1));
  if (rows)
    for (auto it = sheet.rows.lower_bound(area.top); it != sheet.rows.end() && it->first <= area.bottom; ++it)
      snap.rows[it->first - area.top] = it->second;
  if (cols)
    for (auto it = sheet.columns.lower_bound(area.left); it != sheet.columns.end() && it->first <= area.right; ++it)
      snap.cols[it->first - area.left] = it->second;
  if (extract) {
    erase_area(sheet, area);
    auto& merges = sheet.merges;
    merges.erase(std::remove_if(merges.begin(), merges.end(), [&](const Area& m) { return inside(m, area); }),
                 merges.end());
  }
  return snap;
}

// Puts a snapshot at `dest` (same size as its source area).
void place(MemoryWorksheet& ws, const Area& dest, Snapshot& snap, const FormatPool& from_pool,
           const std::function<void(Cell&)>& adjust) {
  SheetData& sheet = Access::sheet(ws);
  FormatPool& pool = Access::book(ws.workbook()).formats;
  bool same_pool = &pool == &from_pool;
  std::map<FormatId, FormatId> remap;
  auto fmt = [&](FormatId id) {
    if (same_pool) return id;
    auto it = remap.find(id);
    if (it != remap.end()) return it->second;
    return remap[id] = pool.intern(from_pool.get(id));
  };
  erase_area(sheet, dest);
  auto& merges = sheet.merges;
  merges.erase(std::remove_if(merges.begin(), merges.end(), [&](const Area& m) { return inside(m, dest); }),
               merges.end());
  if (whole_rows(dest))
    for (int r = dest.top; r <= dest.bottom; ++r) {
      auto it = snap.rows.find(r - dest.top);
      if (it == snap.rows.end()) {
        sheet.rows.erase(r);
      } else {
        RowInfo info = it->second;
        if (info.format) info.format = fmt(*info.format);
        sheet.rows[r] = info;
      }
    }
  if (whole_cols(dest))
    for (int c = dest.left; c <= dest.right; ++c) {
      auto it = snap.cols.find(c - dest.left);
      if (it == snap.cols.end()) {
        sheet.columns.erase(c);
      } else {
        ColumnInfo info = it->second;
        if (info.format) info.format = fmt(*info.format);
        sheet.columns[c] = info;
      }
    }
  for (auto& item : snap.cells) {
    int r = dest.top + item.dr, c = dest.left + item.dc;
    Cell& cell = item.cell;
    cell.format = fmt(cell.format);
    adjust(cell);
    if (cell.empty() && cell.runs().empty() && !cell.attached && cell.format == level_format(sheet, r, c)) continue;
    sheet.put(r, c, std::move(cell));
  }
  for (const Area& m : snap.merges) merges.push_back(m.offset(dest.top - 1, dest.left - 1));
}

}  // namespace

void paste(MemoryApplication& app, MemoryWorksheet& dest, CellRef at) {
  auto& mark = Access::mark(app);
  if (!mark.sheet) fail("没有复制或剪切的内容，无法粘贴");
  check_cell(at.row, at.col);
  MemoryWorksheet& from = *mark.sheet;
  Area src = mark.area;
  Area to = src.offset(at.row - src.top, at.col - src.left);
  if (!to.valid()) fail("粘贴区域超出工作表范围");
  SheetData& dsheet = Access::sheet(dest);
  for (const Area& m : dsheet.merges)
    if (intersects(m, to) && !inside(m, to)) fail("不能对合并单元格的一部分进行粘贴");
  int drow = to.top - src.top, dcol = to.left - src.left;
  MemoryWorkbook& dbook = dest.workbook();
  MemoryWorkbook& sbook = from.workbook();
  const FormatPool& spool = Access::book(sbook).formats;

  if (!mark.cut) {
    Snapshot snap = take(from, src, false);
    place(dest, to, snap, spool, [&](Cell& cell) {
      if (!cell.formula().empty()) cell.set_formula(formula::translate(cell.formula(), drow, dcol));
    });
  } else {
    std::string from_name = Access::sheet(from).name, to_name = dsheet.name;
    bool same_book = &dbook == &sbook;
    if (same_book)
      rewrite_formulas(sbook, [&](const std::string& own, std::string_view f) {
        return formula::on_moved(f, own, from_name, src, to_name, drow, dcol);
      });
    Snapshot snap = take(from, src, true);
    carried_cells_moved(Access::book(sbook), Access::sheet(from), src, true);
    carried_cells_moved(Access::book(dbook), dsheet, to, false);
    bool other_sheet = &from != &dest;
    place(dest, to, snap, spool, [&](Cell& cell) {
      if (cell.formula().empty()) return;
      if (!same_book) cell.set_formula(formula::translate(cell.formula(), drow, dcol));
      else if (other_sheet) cell.set_formula(formula::rehome(cell.formula(), from_name, to_name));
    });
    mark = {};
    if (same_book) sbook.touch(Access::sheet(from), src);
    else sbook.touch();
  }
  // The pasted cells become the selection of the sheet when it is active.
  if (Access::book(dbook).active_sheet == dest.index() - 1) {
    dsheet.view.selection = to;
    dsheet.view.active_cell = to.top_left();
  }
  dbook.touch(dsheet, to);
}

}  // namespace detail

}  // namespace lczs::memory
