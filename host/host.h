// The spreadsheet host as the jobs see it: application, workbooks and
// worksheets, with the operations of the application's object model that the
// jobs call and the effects they rely on.
//
// Two implementations stand behind this interface: the in-memory workbook
// model (model/), used by the `lczs` command and by every test, and the
// real spreadsheet application reached through IDispatch (win/). A job never
// sees which one it talks to.
//
// Conventions for every member:
//   - rows and columns are counted from 1; areas are inclusive rectangles;
//   - an area or cell outside the sheet, a taken or invalid sheet name, a
//     failed save and every other failure throw HostError (or a subclass)
//     whose what() is a Chinese message fit to show a user; the object is
//     then unchanged;
//   - objects are owned by the host; a Worksheet* stays valid until that
//     sheet is deleted, a Workbook* while the application lives.
// Objects are not copyable.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/chart.h"
#include "host/types.h"

namespace lczs::host {

class CommandBar;  // host/commandbars.h

// Every failure of a host call. The message is Chinese and names what failed.
class HostError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A save or save-as that failed or was refused (the file could not be
// written, the user declined to replace it, or the workbook holds content the
// model could not carry in full). Nothing was written.
class SaveError : public HostError {
 public:
  using HostError::HostError;
};

class Worksheet {
 public:
  Worksheet() = default;
  Worksheet(const Worksheet&) = delete;
  Worksheet& operator=(const Worksheet&) = delete;
  virtual ~Worksheet() = default;

  // ---- Identity -----------------------------------------------------------
  virtual std::string name() const = 0;
  // Worksheet.Name = name. Throws HostError when another sheet of the
  // workbook has the name (compared case-insensitively), when it is empty,
  // longer than kMaxSheetNameLength, or holds one of  : \ / ? * [ ]
  virtual void set_name(const std::string& name) = 0;
  // Position in its workbook's sheet list, from 1.
  virtual int index() const = 0;
  virtual bool visible() const = 0;

  // ---- View -----------------------------------------------------------------
  // Worksheet.Activate / Select: makes this the active sheet of its workbook
  // (and the only selected sheet). Throws HostError on a hidden sheet.
  virtual void activate() = 0;
  // Range.Select on this sheet (the sheet must be active): the selection
  // becomes `area`, the active cell its top-left cell or `active` when given
  // inside it.
  virtual void select(const Area& area) = 0;
  virtual void select(const Area& area, CellRef active) = 0;
  virtual Area selection() const = 0;
  virtual CellRef active_cell() const = 0;

  // ---- Cells ----------------------------------------------------------------
  // Range.Value of one cell; for a formula cell its calculated value.
  virtual Value value(int row, int col) const = 0;
  // Range.Value = v: stores a constant, removing any formula. Text is stored
  // as text (no conversion to numbers).
  virtual void set_value(int row, int col, const Value& v) = 0;
  // Range.Value = v over an area (every cell gets v).
  virtual void set_values(const Area& area, const Value& v) = 0;
  // Range.Value of an area as one array: element (r, c) is what value()
  // gives for the cell at (area.top + r, area.left + c). A job reads a table
  // with one call instead of one per cell, which is what makes a large sheet
  // affordable in the real application. Throws HostError when the area
  // leaves the sheet or holds more than kMaxGridCells cells.
  virtual ValueGrid values(const Area& area) const = 0;
  // Range.Value = array over the area of grid's size at `top_left`: each
  // cell takes its element as set_value would store it (an empty element or
  // empty text empties the cell). Throws HostError when the area leaves the
  // sheet, holds more than kMaxGridCells cells or a text is longer than a
  // cell holds; the sheet is then unchanged.
  virtual void write_values(CellRef top_left, const ValueGrid& grid) = 0;
  // Range.Formula: "=..." for a formula cell, otherwise the constant as the
  // application shows it in the formula bar ("" for empty).
  virtual std::string formula(int row, int col) const = 0;
  // Range.Formula = text over an area. Text starting with "=" is a formula in
  // A1 form (every cell of the area gets it, relative references adjusted
  // from the top-left cell); other text is entered as typed: a number becomes
  // a number, TRUE/FALSE a boolean, anything else text.
  virtual void set_formula(const Area& area, const std::string& text) = 0;
  // Range.FormulaR1C1 = text; same as set_formula with R1C1 references.
  virtual void set_formula_r1c1(const Area& area, const std::string& text) = 0;

  // The last row and column holding anything (value or format of a cell);
  // 0 on an empty sheet. Bounds for loops, not an application member.
  virtual CellRef used_extent() const = 0;

  // Range.CurrentRegion of a cell: the rectangle of non-empty cells around it,
  // grown until no non-empty cell touches its edges (diagonals included).
  // An empty cell with no non-empty neighbour gives the cell itself.
  virtual Area current_region(int row, int col) const = 0;
  // Range.End(xlDown) from a cell: the last non-empty cell of the run of
  // non-empty cells below it; from an empty cell (or the last cell of a run)
  // the next non-empty cell below; kMaxRows when there is none.
  virtual CellRef end_down(int row, int col) const = 0;

  // ---- Editing --------------------------------------------------------------
  // Range.ClearContents: values and formulas go, formats stay; so do the
  // comments and hyperlinks of the cells, which only the two calls below
  // remove.
  virtual void clear_contents(const Area& area) = 0;
  // Range.ClearComments: the comments (notes) of the area's cells go.
  virtual void clear_comments(const Area& area) = 0;
  // Range.ClearHyperlinks: the hyperlinks of the area's cells go; their
  // text and formats stay (unlike Hyperlinks.Delete, which clears formats).
  virtual void clear_hyperlinks(const Area& area) = 0;
  // Range.Delete(shift). Shift::Auto chooses as the application does: up
  // when the area is at least as wide as it is tall, otherwise left. Whole
  // rows always shift up and whole columns left. Formulas elsewhere follow
  // the moved cells; references into the deleted cells become #REF!.
  // Merged ranges crossing the edge of the area make it fail.
  virtual void delete_cells(const Area& area, Shift shift) = 0;
  // Range.Insert(shift) (EntireRow.Insert inserts whole rows above).
  virtual void insert_cells(const Area& area, Shift shift) = 0;
  // Range.Sort over `area` with the fixed options of SortSpec. Stable;
  // ascending: numbers, then text (pinyin order, case-insensitive), then
  // booleans, then errors; descending reverses that; empty keys go last
  // either way. Header Guess follows the rule written in the implementation.
  virtual void sort(const Area& area, const SortSpec& spec) = 0;
  // Range.Replace(What, Replacement, LookAt:=xlWhole, SearchOrder:=xlByRows,
  // MatchCase:=False): every constant cell of the area whose whole shown
  // text equals `what` (case-insensitive) gets `replacement`, entered as
  // typed ("" empties the cell). Returns the number of cells replaced.
  virtual int replace_whole(const Area& area, const std::string& what,
                            const std::string& replacement) = 0;

  // ---- Formats --------------------------------------------------------------
  virtual void set_font(const Area& area, const FontPatch& font) = 0;
  // Range.Characters(start, length).Font for one cell holding text (start from
  // 1, in characters). On a cell holding a number or formula the host applies
  // the font to the whole cell.
  virtual void set_characters_font(int row, int col, int start, int length,
                                   const FontPatch& font) = 0;
  virtual void set_alignment(const Area& area, const AlignmentPatch& alignment) = 0;
  // Range.Merge: one merged cell over the area keeping the top-left value.
  virtual void merge(const Area& area) = 0;
  // Range.Borders(index): Inside* apply between the cells of the area, edges
  // to its outline, diagonals to every cell.
  virtual void set_border(const Area& area, BorderIndex index, const BorderSpec& border) = 0;
  // The same as set_border(area, e.index, e.border) for each edit in order,
  // which is what this default does, one application call after another. A
  // host that pays per cell for each call (the in-memory model) overrides it
  // to set them all in one pass over the area. When an edit fails, the ones
  // before it may already be set.
  virtual void set_borders(const Area& area, const std::vector<BorderEdit>& edits) {
    for (const BorderEdit& e : edits) set_border(area, e.index, e.border);
  }
  // Range.NumberFormatLocal = format.
  virtual void set_number_format(const Area& area, const std::string& format) = 0;
  // Range.ColumnWidth, in characters of the standard font's digit width.
  virtual void set_column_width(int first_col, int last_col, double width) = 0;
  virtual double column_width(int col) const = 0;
  // EntireColumn.AutoFit: each column of the range as wide as its widest
  // shown content (default width when empty).
  virtual void autofit_columns(int first_col, int last_col) = 0;
  // Range.RowHeight, in points.
  virtual void set_row_height(int first_row, int last_row, double points) = 0;
  virtual double row_height(int row) const = 0;

  // ---- Page breaks ------------------------------------------------------------
  // HPageBreaks.Add(Before:=Cells(row, 1)) on this sheet: a manual break
  // above `row`. Adding an existing break changes nothing.
  virtual void add_page_break(int before_row) = 0;
  virtual std::vector<int> page_breaks() const = 0;

  // ---- Charts -----------------------------------------------------------------
  // ChartObjects.Add over chart.position, then one NewSeries per series with
  // its chart type, name, values and categories, the titles, and a legend.
  // Throws HostError with chart_problem()'s text for a chart that cannot be
  // made. The ranges are not followed when cells move later.
  virtual void add_chart(const Chart& chart) = 0;
};

class Workbook {
 public:
  Workbook() = default;
  Workbook(const Workbook&) = delete;
  Workbook& operator=(const Workbook&) = delete;
  virtual ~Workbook() = default;

  // Workbook.FullName: path of the file ("" for a workbook never saved).
  virtual std::string full_name() const = 0;
  // The user's own file, which a save-as must never replace: full_name() in
  // the application; the `lczs` command working on a copy (-o) keeps the
  // original here while full_name() is the copy's path. Not an application
  // member.
  virtual std::string opened_from() const { return full_name(); }

  virtual int sheet_count() const = 0;
  // Sheets(index), from 1. Throws HostError when out of range.
  virtual Worksheet& sheet(int index) = 0;
  // Sheets(name), compared case-insensitively. Throws HostError when absent.
  virtual Worksheet& sheet(const std::string& name) = 0;
  // Like sheet(name) but nullptr when absent (no application error).
  virtual Worksheet* find_sheet(const std::string& name) = 0;
  virtual Worksheet& active_sheet() = 0;

  // Worksheets.Add with no position: a new empty sheet "SheetN" before the
  // active sheet; it becomes the active sheet.
  virtual Worksheet& add_sheet() = 0;
  // Worksheets.Add(After:=after); the new sheet becomes active.
  virtual Worksheet& add_sheet_after(Worksheet& after) = 0;
  // Worksheet.Copy(After:=after): the copy holds every cell, format, merge,
  // width, height and break of `source` and is named as the application
  // names copies ("原始数据 (2)", then " (3)" ...); it becomes active.
  virtual Worksheet& copy_sheet_after(Worksheet& source, Worksheet& after) = 0;
  // Worksheet.Move(Before:=before).
  virtual void move_sheet_before(Worksheet& sheet, Worksheet& before) = 0;
  // Worksheet.Delete. With alerts on the application would ask; this
  // interface is only called with alerts off. The last visible sheet cannot
  // be deleted (HostError). The next sheet becomes active.
  virtual void delete_sheet(Worksheet& sheet) = 0;

  // Workbook.Save: under the current name and format. Throws SaveError.
  virtual void save() = 0;
  // Workbook.SaveAs(path): the workbook becomes that file. When the file
  // exists the application asks whether to replace it; declining throws
  // SaveError. Throws SaveError when it cannot be written.
  virtual void save_as(const std::string& path) = 0;
  // Told that a save_as(path) will come at the end of the run, as soon as
  // the name is known, so that a home which keeps other runs off the files
  // it writes (the `lczs` command) claims the file before the work begins.
  // Throws SaveError when it cannot be had (another run is writing it).
  // Not an application member: the application has nothing to claim.
  virtual void reserve_save_as(const std::string& path) { (void)path; }
};

// Application.WorksheetFunction members the jobs call.
class WorksheetFunctions {
 public:
  virtual ~WorksheetFunctions() = default;
  // CountBlank: empty cells and cells whose value is "".
  virtual int count_blank(const Worksheet& sheet, const Area& area) = 0;
  // CountIf(area, criterion) with an equality criterion: a number or numeric
  // text matches numbers equal to it (and text that reads as that number), a
  // text criterion matches text equal to it ignoring case, "" matches empty
  // cells and empty text. (The jobs pass "0", "男", "女", "A".."E" and numbers.)
  virtual int count_if(const Worksheet& sheet, const Area& area, const Value& criterion) = 0;
  // Max/Min/Average over the numbers of an area (text, booleans and empty
  // cells skipped; Max/Min of no numbers give 0; Average of none throws).
  virtual double max(const Worksheet& sheet, const Area& area) = 0;
  virtual double min(const Worksheet& sheet, const Area& area) = 0;
  virtual double average(const Worksheet& sheet, const Area& area) = 0;
  // Match(value, area, 0): position from 1 of the first cell equal to
  // `value` (text case-insensitive). Throws HostError when there is none.
  virtual int match_exact(const Value& value, const Worksheet& sheet, const Area& area) = 0;
};

class Application {
 public:
  Application() = default;
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;
  virtual ~Application() = default;

  // Application.ActiveWorkbook; throws HostError when no workbook is open.
  virtual Workbook& active_workbook() = 0;

  virtual bool screen_updating() const = 0;
  virtual void set_screen_updating(bool on) = 0;
  virtual bool display_alerts() const = 0;
  virtual void set_display_alerts(bool on) = 0;

  // Range.Copy / Range.Cut of an area: marks it for the next paste.
  virtual void copy(Worksheet& sheet, const Area& area) = 0;
  virtual void cut(Worksheet& sheet, const Area& area) = 0;
  // Worksheet.Paste / ActiveSheet.Paste at `at`: values, formulas (relative
  // references shifted as in the application) and formats of the marked
  // area, including merged ranges, row heights of whole copied rows and column
  // widths of whole copied columns. After a cut the source cells are empty
  // and formulas that referred to them follow them; the cut mode ends.
  // Throws HostError when nothing is marked or the area would leave the sheet.
  virtual void paste(Worksheet& sheet, CellRef at) = 0;
  // Application.CutCopyMode = False.
  virtual void end_copy_mode() = 0;
  virtual bool copy_mode() const = 0;

  virtual WorksheetFunctions& worksheet_function() = 0;

  // Application.CommandBars(name); nullptr when the application has no such
  // bar (the menu is then not installed).
  virtual CommandBar* command_bar(const std::string& name) = 0;
};

}  // namespace lczs::host
