// Helpers shared by the sources of the in-memory host. Not an interface.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "model/memory_host.h"
#include "model/store.h"

namespace lczs::memory::detail {

using host::Area;
using host::CellRef;
using host::Value;

// Reaches the model behind the host objects without marking it changed.
struct Access {
  static SheetData& sheet(MemoryWorksheet& ws) { return *ws.data_; }
  static WorkbookData& book(MemoryWorkbook& b) { return b.data_; }
  static MemoryApplication::Mark& mark(MemoryApplication& app) { return app.mark_; }
};

[[noreturn]] void fail(const std::string& message);

// Throw HostError for areas and cells outside the sheet.
void check_area(const Area& area);
void check_cell(int row, int col);
void check_row(int row);
void check_col(int col);

inline bool whole_rows(const Area& a) { return a.left == 1 && a.right == host::kMaxCols; }
inline bool whole_cols(const Area& a) { return a.top == 1 && a.bottom == host::kMaxRows; }
inline bool intersects(const Area& a, const Area& b) {
  return a.top <= b.bottom && b.top <= a.bottom && a.left <= b.right && b.left <= a.right;
}
inline bool inside(const Area& inner, const Area& outer) {
  return inner.top >= outer.top && inner.bottom <= outer.bottom && inner.left >= outer.left &&
         inner.right <= outer.right;
}

// ASCII letters folded; other characters compared as they are (Chinese has no
// case; the application folds Latin letters in names and comparisons).
std::string fold(std::string_view text);
bool iequals(std::string_view a, std::string_view b);

// What typing `text` into a cell stores: a number, TRUE/FALSE, an error
// value, nothing for "", otherwise the text.
Value typed_entry(const std::string& text);

// The text a cell shows for a value under a number format (General, 0, 0.0,
// 0.00, #,##0.00, 0%, 0.00%, and text formats; others show as General).
std::string shown_text(const Value& v, const std::string& number_format);

// Number of UTF-8 characters, and the width in digit widths: East Asian wide
// and full-width characters count 2, others 1.
int char_count(std::string_view text);
double text_units(std::string_view text);

// The value of a formula cell, recalculated when the workbook changed since
// its last evaluation. Writes the value into the cell as its last value.
Value formula_value(const MemoryWorksheet& ws, int row, int col, const Cell& cell);
// The value of a cell as Range.Value reads it (nullptr: empty).
Value cell_value(const MemoryWorksheet& ws, int row, int col, const Cell* cell);

// Rewrites every formula of the workbook: f(own sheet name, formula) returns
// the new text. Formulas whose text does not change are left alone.
void rewrite_formulas(MemoryWorkbook& book,
                      const std::function<std::string(const std::string& own, std::string_view f)>& f);

// rewrite_formulas, and the same rewrite of what belongs to ranges (areas
// of validations, conditional formats and filters, their formulas, defined
// names: model/ranges.h). For the edits that move ranges: inserting and
// deleting, renaming and deleting sheets; a cut and paste or a sort leaves
// ranges where they are. Workbook-scoped names are rewritten with an own
// sheet of "".
void rewrite_references(MemoryWorkbook& book,
                        const std::function<std::string(const std::string& own, std::string_view f)>& f);

// Creates the cell for writing: a new cell takes the format its position
// shows (row, else column format), so that writing a value keeps the look.
Cell& cell_for_write(SheetData& sheet, int row, int col);
// Drops a cell that holds nothing and shows the format its position would
// show anyway.
void drop_if_blank(SheetData& sheet, int row, int col);
// Format id a position shows when no cell is stored there.
FormatId level_format(const SheetData& sheet, int row, int col);

// Moves the cells of `area` by (drow, dcol), overwriting the destination
// (cells, nothing else). Cells pushed off the sheet are dropped.
void shift_cells(SheetData& sheet, const Area& area, int drow, int dcol);
// Erases every stored cell of an area.
void erase_area(SheetData& sheet, const Area& area);

// The workbook's sheet of a name (case-insensitive), or nullptr.
MemoryWorksheet* sheet_by_name(MemoryWorkbook& book, std::string_view name);

// The host workbook whose data this is, or nullptr.
MemoryWorkbook* owner_of(const WorkbookData& data);

// Paste of the application's marked area (copy or cut) onto `dest` at `at`.
void paste(MemoryApplication& app, MemoryWorksheet& dest, CellRef at);

// ---- Carried content (model/carried.cpp) ----
// Cells of `area` on `sheet` move (a sort, an insertion or deletion, a
// cut): carried objects standing over them are taken out and recorded in
// `book.lost`; with `shifts`, so are charts reading `sheet`, whose
// references the application would rewrite.
void carried_cells_moved(WorkbookData& book, SheetData& sheet, const Area& area, bool shifts);
// A sheet copy: the copy keeps its pictures, shapes and printer settings, as
// the application's copy does; the charts it would have had are recorded
// lost. What the copy keeps is no loss of the user's when it goes later.
void carried_sheet_copied(WorkbookData& book, const SheetData& source, SheetData& copy);
// A sheet deleted (before it goes) or renamed (`old_name`): its objects,
// and charts elsewhere reading it, are recorded lost.
void carried_sheet_deleted(WorkbookData& book, SheetData& sheet);
void carried_sheet_renamed(WorkbookData& book, const std::string& old_name);
// A chart made by a job on a sheet whose file drawing cannot be merged with
// it: the file's drawing is taken out.
void carried_chart_added(WorkbookData& book, SheetData& sheet);

}  // namespace lczs::memory::detail
