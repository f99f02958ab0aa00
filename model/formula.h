// The formula engine of the in-memory workbook model.
//
// Formulas are kept as the user (or the system) wrote them, in A1 form
// without the leading "=". The engine evaluates the functions and operators
// that the system writes and that school workbooks commonly hold, with the
// spreadsheet application's rules for text, blanks, booleans and errors; it
// rewrites references the way the application does when cells are copied,
// moved, inserted or deleted, and when sheets are renamed or deleted. Text
// outside the rewritten references is kept character for character.
//
// Only the C++ standard library is used: the model also builds for Windows.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/types.h"

namespace lczs::memory::formula {

// Reads cell values for evaluation. Sheet names are given as written in the
// formula, unquoted ("my sheet" for 'my sheet'!A1); "" means the sheet the
// formula stands on.
class Resolver {
 public:
  virtual ~Resolver() = default;

  // The value of a cell (a formula cell's current value). Called only for
  // sheets for which sheet_exists() is true.
  virtual host::Value cell(std::string_view sheet, int row, int col) const = 0;

  // Calls f(row, col, value) for the stored cells of `area`, row by row, left
  // to right within a row (the order decides how sums round). Cells not
  // visited are empty; visiting empty cells is allowed. Big areas such as A:A
  // rely on an override that skips the empty part of the sheet; the default
  // walks every cell of the area through cell().
  virtual void for_each_in(std::string_view sheet, const host::Area& area,
                           const std::function<void(int, int, const host::Value&)>& f) const;

  // Whether the workbook has a sheet of that name ("" always exists).
  virtual bool sheet_exists(std::string_view sheet) const = 0;

  // The date serial of today (1900 date system, 2026-12-07 = 46363).
  virtual double today_serial() const = 0;
};

// The outcome of an evaluation. supported is false when the formula uses a
// function, a defined name or a construct the engine does not compute (or
// does not parse); value is then meaningless and the caller keeps the value
// the cell came with and asks for a full recalculation when the file is
// opened.
struct Result {
  host::Value value;
  bool supported = true;
};

// A parsed formula, for evaluating the same text many times without parsing
// it again. Immutable and cheap to share.
class Parsed;
using ParsedPtr = std::shared_ptr<const Parsed>;

// Parses `formula` (A1 form without "="). Never returns null: a text that does
// not parse gives a Parsed whose evaluation is unsupported.
ParsedPtr parse(std::string_view formula);

// Evaluates `formula` standing in cell (row, col) of the resolver's own sheet.
// A formula that is a reference to an empty cell gives the number 0, as the
// application shows it. A reference to a missing sheet gives #REF!. Sums add
// left to right, row by row, in doubles; comparison operators look at 15
// significant digits of numbers, as the application does.
//
// Computed: the operators (: space - % ^ * / + - & = <> < > <= >=), SUM,
// AVERAGE, AVERAGEA, COUNT, COUNTA, COUNTBLANK, MAX, MIN, MAXA, MINA, ROUND,
// ROUNDUP, ROUNDDOWN, TODAY, IF, IFERROR, AND, OR, NOT, TRUE, FALSE, ABS,
// INT, MOD, SQRT, COUNTIF, SUMIF, AVERAGEIF, COUNTIFS, SUMIFS, AVERAGEIFS,
// DATE, YEAR, MONTH, DAY, RANK (RANK.EQ), MEDIAN, LARGE, SMALL, STDEV(.S),
// STDEVP (STDEV.P), VAR(.S), VARP (VAR.P), VLOOKUP, HLOOKUP, MATCH, INDEX,
// LEN, LEFT, RIGHT, MID, CONCATENATE, TRIM, VALUE, PRODUCT, SUMPRODUCT (of
// references), CHOOSE, NA, ISBLANK, ISNUMBER, ISTEXT, ISERROR, ISNA,
// ISLOGICAL; array constants and unions as arguments of the aggregates
// (SUM({1,2}), COUNT((A1,C3))). Not computed (supported = false): other
// functions, defined names, arrays and unions elsewhere, other workbooks,
// texts that read as dates, ranges where a single value belongs (implicit
// intersection or array evaluation), and approximate lookups in unsorted or
// mixed data.
Result evaluate(std::string_view formula, int row, int col, const Resolver& r);
Result evaluate(const Parsed& formula, int row, int col, const Resolver& r);

// Whether the text parses as a formula and uses only what evaluate() computes.
bool is_supported(std::string_view formula);
bool is_supported(const Parsed& formula);

// Whether the text is a syntactically valid formula (unknown functions and
// defined names allowed).
bool parses(std::string_view formula);

// The formula as it reads when its cell is copied and pasted (drow, dcol)
// away: relative rows and columns shift, absolute ones stay. A reference that
// leaves the sheet becomes #REF! as a whole (keeping its sheet prefix:
// Sheet2!#REF!). Also used for rows moved by sorting.
std::string translate(std::string_view formula, int drow, int dcol);

// Structural edits of sheet `edited_sheet`; the formula stands on sheet
// `own_sheet` (unqualified references point there). Every reference to the
// edited sheet, absolute or relative, follows the cells it points at: a
// reference into deleted cells becomes #REF!, a range losing one end shrinks,
// a range across the insertion point grows. Sheet names compare
// case-insensitively. `count` > 0.
std::string on_rows_inserted(std::string_view formula, std::string_view own_sheet,
                             std::string_view edited_sheet, int at_row, int count);
std::string on_rows_deleted(std::string_view formula, std::string_view own_sheet,
                            std::string_view edited_sheet, int first_row, int count);
std::string on_cols_inserted(std::string_view formula, std::string_view own_sheet,
                             std::string_view edited_sheet, int at_col, int count);
std::string on_cols_deleted(std::string_view formula, std::string_view own_sheet,
                            std::string_view edited_sheet, int first_col, int count);

// Range.Insert over part of a sheet: blank cells take the place of `inserted`
// and the cells there and beyond move down (Shift::Down) or right
// (Shift::Right). References follow the moving cells only when they lie
// within the moving columns (down) or rows (right), as in the application.
std::string on_cells_inserted(std::string_view formula, std::string_view own_sheet,
                              std::string_view edited_sheet, const host::Area& inserted,
                              host::Shift shift);

// Range.Delete over part of a sheet with Shift::Up or Shift::Left: references
// wholly inside `deleted` become #REF!, references below (right of) it within
// its columns (rows) move up (left), ranges that lose one end shrink.
std::string on_cells_deleted(std::string_view formula, std::string_view own_sheet,
                             std::string_view edited_sheet, const host::Area& deleted,
                             host::Shift shift);

// The cells of `moved` on `edited_sheet` moved by (drow, dcol) on the same
// sheet, the general form of the two above: a reference follows when it lies
// within the moved block's columns (drow != 0) or rows (dcol != 0); each of its
// row (column) ends inside the block shifts. Exactly one of drow, dcol is
// non-zero.
std::string on_cells_shifted(std::string_view formula, std::string_view own_sheet,
                             std::string_view edited_sheet, const host::Area& moved, int drow,
                             int dcol);

// Cut and paste of `from` on `from_sheet` to (from shifted by drow, dcol) on
// `to_sheet`. References lying wholly inside `from` now point at the moved
// cells (gaining a sheet prefix when they leave the formula's own sheet);
// references wholly inside the overwritten destination (and not in `from`)
// become #REF!; everything else stays. Call it for every formula of the
// workbook, the moved ones included (with own_sheet = from_sheet), then
// rehome() the moved ones when the sheet changes.
std::string on_moved(std::string_view formula, std::string_view own_sheet,
                     std::string_view from_sheet, const host::Area& from,
                     std::string_view to_sheet, int drow, int dcol);

// A formula moved from sheet `old_sheet` to sheet `new_sheet` without changing
// what it reads: its unqualified references gain the prefix old_sheet!.
std::string rehome(std::string_view formula, std::string_view old_sheet,
                   std::string_view new_sheet);

// Sheet renamed: references to old_name (case-insensitive) name new_name,
// quoted when the name needs it.
std::string on_sheet_renamed(std::string_view formula, std::string_view old_name,
                             std::string_view new_name);

// Sheet deleted: references to it become #REF! in their sheet part
// (Sheet2!A1 -> #REF!A1), as the application shows them.
std::string on_sheet_deleted(std::string_view formula, std::string_view name);

// A1 <-> R1C1 for a formula standing in (row, col) (Range.FormulaR1C1 read and
// write). Relative parts are written R[-1]C[2]; from_r1c1 wraps a relative
// reference that leaves the sheet around it, as the application does. Texts
// that do not parse come back unchanged.
std::string to_r1c1(std::string_view formula_a1, int row, int col);
std::string from_r1c1(std::string_view formula_r1c1, int row, int col);

// A reference the formula reads. sheet as in Resolver ("" = own sheet);
// whole columns and rows span the sheet. References that are #REF! or into
// deleted sheets are not listed.
struct Ref {
  std::string sheet;
  host::Area area;
  friend bool operator==(const Ref&, const Ref&) = default;
};

// Every reference in the formula, in order of appearance (duplicates kept),
// for dependency tracking. (row, col) is the formula's cell; A1 references do
// not depend on it.
std::vector<Ref> references(std::string_view formula, int row = 1, int col = 1);

// Quotes a sheet name for use in a formula when the application would
// ("my sheet" -> "'my sheet'", "Sheet1" -> "Sheet1", "2024" -> "'2024'").
std::string quote_sheet_name(std::string_view name);

}  // namespace lczs::memory::formula
