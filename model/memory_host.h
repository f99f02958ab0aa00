// The in-memory spreadsheet host: the host interface implemented over the
// workbook model of model/model.h.
//
// This is the host that the `lczs` command and every test run on. It behaves
// like the spreadsheet application wherever a job relies on it: sheet
// placement and copy names, paste of values, formulas and formats, reference
// adjustment when cells move, the stable pinyin sort, the current region,
// the worksheet functions and column AutoFit.
//
// Formula cells are recalculated lazily: every change to a workbook bumps its
// generation and is logged with the cells it touched; reading a formula cell
// whose value is older evaluates it again (and, recursively, the formula
// cells it reads) unless no change since touched the cells it reads, or the
// cells that the formulas it reads depend on. A read costs at most
// O(cells referenced); class averages over blocks of rows are recomputed
// only for the blocks a row exchange changed, and the recalculation before
// a save evaluates only the formulas whose inputs changed, each once.
//
// Behaviour worth knowing beside the interface's own comments:
//   - select() needs the sheet to be active, as Range.Select does;
//   - paste() makes the pasted area the selection of an active sheet; copy
//     mode stays on after a paste of copied cells and ends after a cut;
//     inserting or deleting cells ends it;
//   - inserted cells take the format of the cells above (left of) them;
//   - a whole-sheet format goes on every column and on the stored cells;
//   - move_sheet_before() makes the moved sheet active;
//   - Shift::Auto shifts up (down) when the area is at least as wide as it
//     is tall, otherwise left (right), for delete_cells and insert_cells.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/commandbars.h"
#include "host/host.h"
#include "model/model.h"

namespace lczs::memory {

class MemoryApplication;
class MemoryWorkbook;
class Collator;
namespace detail {
struct Access;
}

// Where saves go; io/ provides the .xlsx one.
class WorkbookStore {
 public:
  virtual ~WorkbookStore() = default;
  virtual bool exists(const std::string& path) const = 0;
  // Writes atomically; throws host::SaveError with a Chinese message.
  virtual void save(const WorkbookData& book, const std::string& path) = 0;
  // A save to `path` will come: a store that keeps other runs off its files
  // claims it now. Throws host::SaveError when it cannot.
  virtual void reserve(const std::string& path) { (void)path; }
};

// Keeps saved workbooks as their text dump, for tests.
class MemoryStore : public WorkbookStore {
 public:
  bool exists(const std::string& path) const override;
  void save(const WorkbookData& book, const std::string& path) override;

  std::map<std::string, std::string> files;  // path -> dump(book)
  int save_count = 0;                         // successful saves
  bool fail = false;                          // every save throws SaveError
  // False: files keeps the paths with empty text, for books too large to
  // dump at every save in a test.
  bool keep_dumps = true;
};

class MemoryWorksheet : public host::Worksheet {
 public:
  MemoryWorksheet(MemoryWorkbook& book, SheetData& data);

  // The sheet's content. Changing cells through it is seen by later reads
  // (taking the non-const reference marks the workbook changed).
  SheetData& data();
  const SheetData& data() const { return *data_; }
  MemoryWorkbook& workbook() { return *book_; }
  const MemoryWorkbook& workbook() const { return *book_; }

  // Effective format of a cell: the cell's own, else its row's, else its
  // column's, else the workbook default.
  const Format& format(int row, int col) const;
  FormatId format_id(int row, int col) const;
  // Character runs of a rich-text cell (empty for a plain cell).
  const std::vector<TextRun>& runs(int row, int col) const;
  // The merged range that holds the cell, if any (its top-left cell is the
  // one that shows the value).
  std::optional<Area> merge_at(int row, int col) const;
  std::vector<Area> merges() const;

  // ---- host::Worksheet ----
  std::string name() const override;
  void set_name(const std::string& name) override;
  int index() const override;
  bool visible() const override;

  void activate() override;
  void select(const Area& area) override;
  void select(const Area& area, host::CellRef active) override;
  Area selection() const override;
  host::CellRef active_cell() const override;

  Value value(int row, int col) const override;
  void set_value(int row, int col, const Value& v) override;
  void set_values(const Area& area, const Value& v) override;
  host::ValueGrid values(const Area& area) const override;
  void write_values(host::CellRef top_left, const host::ValueGrid& grid) override;
  std::string formula(int row, int col) const override;
  void set_formula(const Area& area, const std::string& text) override;
  void set_formula_r1c1(const Area& area, const std::string& text) override;
  host::CellRef used_extent() const override;
  Area current_region(int row, int col) const override;
  host::CellRef end_down(int row, int col) const override;

  void clear_contents(const Area& area) override;
  void clear_comments(const Area& area) override;
  void clear_hyperlinks(const Area& area) override;
  void delete_cells(const Area& area, host::Shift shift) override;
  void insert_cells(const Area& area, host::Shift shift) override;
  void sort(const Area& area, const host::SortSpec& spec) override;
  int replace_whole(const Area& area, const std::string& what,
                    const std::string& replacement) override;

  void set_font(const Area& area, const host::FontPatch& font) override;
  void set_characters_font(int row, int col, int start, int length,
                           const host::FontPatch& font) override;
  void set_alignment(const Area& area, const host::AlignmentPatch& alignment) override;
  void merge(const Area& area) override;
  void set_border(const Area& area, host::BorderIndex index,
                  const host::BorderSpec& border) override;
  void set_borders(const Area& area, const std::vector<host::BorderEdit>& edits) override;
  void set_number_format(const Area& area, const std::string& format) override;
  void set_column_width(int first_col, int last_col, double width) override;
  double column_width(int col) const override;
  void autofit_columns(int first_col, int last_col) override;
  void set_row_height(int first_row, int last_row, double points) override;
  double row_height(int row) const override;

  void add_page_break(int before_row) override;
  std::vector<int> page_breaks() const override;

  void add_chart(const host::Chart& chart) override;

 private:
  friend class MemoryWorkbook;
  friend class MemoryApplication;
  friend struct detail::Access;
  MemoryWorkbook* book_;
  SheetData* data_;
};

class MemoryWorkbook : public host::Workbook {
 public:
  MemoryWorkbook(MemoryApplication& app, WorkbookData data);
  ~MemoryWorkbook() override;

  // Taking the non-const reference marks the workbook changed.
  WorkbookData& data();
  const WorkbookData& data() const { return data_; }
  MemoryWorksheet& mem_sheet(int index);  // from 1
  MemoryWorksheet& mem_sheet(const std::string& name);
  MemoryWorksheet& mem_active_sheet();
  MemoryApplication& application() { return *app_; }

  // Bumped by every change of a cell. A formula value computed at an older
  // generation is still good when none of the changes since then touched
  // the cells the formula reads.
  std::uint64_t generation() const { return generation_; }
  // A change that may affect any cell of the workbook.
  void touch();
  // A change of the cells of `area` on `sheet` only.
  void touch(const SheetData& sheet, const Area& area);
  // Whether a change since generation `stamp` touched one of `areas`
  // (sheet, area; sheet nullptr: changes of any sheet count).
  bool changed_since(std::uint64_t stamp,
                     const std::vector<std::pair<const SheetData*, Area>>& areas) const;
  // Evaluates every formula so that each cell's value is current (done
  // before saving and dumping).
  void recalculate();

  // ---- host::Workbook ----
  std::string full_name() const override;
  std::string opened_from() const override;
  int sheet_count() const override;
  host::Worksheet& sheet(int index) override;
  host::Worksheet& sheet(const std::string& name) override;
  host::Worksheet* find_sheet(const std::string& name) override;
  host::Worksheet& active_sheet() override;
  host::Worksheet& add_sheet() override;
  host::Worksheet& add_sheet_after(host::Worksheet& after) override;
  host::Worksheet& copy_sheet_after(host::Worksheet& source, host::Worksheet& after) override;
  // Worksheet.Move: the moved sheet becomes the active one.
  void move_sheet_before(host::Worksheet& sheet, host::Worksheet& before) override;
  void delete_sheet(host::Worksheet& sheet) override;
  // Recalculates, then saves through the application's store. A workbook
  // holding content the model cannot carry is not saved over its own file.
  void save() override;
  // A name without an extension gets the current file's (".xlsx" for a
  // workbook never saved), as the application's SaveAs without a format.
  // An existing file is replaced after the confirmation (skipped when
  // alerts are off).
  void save_as(const std::string& path) override;
  // The store reserves the file save_as(path) would write.
  void reserve_save_as(const std::string& path) override;

 private:
  friend class MemoryWorksheet;
  friend class MemoryApplication;
  friend struct detail::Access;
  // Makes sheets_[index] (from 0) the active, only selected sheet.
  void set_active(int index);
  void insert_view(int index, std::unique_ptr<SheetData> sheet);
  MemoryApplication* app_;
  WorkbookData data_;
  std::vector<std::unique_ptr<MemoryWorksheet>> views_;  // parallel to data_.sheets
  std::uint64_t generation_ = 1;
  struct Change {
    std::uint64_t generation;
    const SheetData* sheet;  // nullptr: anything may have changed
    Area area;
  };
  std::vector<Change> changes_;  // the latest changes, oldest first
};

class MemoryApplication : public host::Application {
 public:
  MemoryApplication();
  ~MemoryApplication() override;

  // Takes the workbook and makes it the active workbook.
  MemoryWorkbook& open(WorkbookData data);
  // A workbook with one empty sheet "Sheet1".
  MemoryWorkbook& new_workbook();
  MemoryWorkbook& mem_active_workbook();
  // Default: a MemoryStore.
  void set_store(std::shared_ptr<WorkbookStore> store);
  std::shared_ptr<WorkbookStore> store() const { return store_; }
  // Asked before a save-as replaces an existing file; false declines
  // (SaveError). Default: replace.
  void set_confirm_replace(std::function<bool(const std::string& path)> ask);
  // nullptr: the application has no "Worksheet Menu Bar".
  void set_command_bar(std::unique_ptr<host::CommandBar> bar);
  // TODAY() for tests; default: the real date.
  void set_today(int year, int month, int day);
  // Serial date number TODAY() returns.
  double today_serial() const;
  // Collation of text for sorting and comparisons (pinyin, secondary strength).
  const Collator& collator() const { return *collator_; }

  // ---- host::Application ----
  host::Workbook& active_workbook() override;
  bool screen_updating() const override { return screen_updating_; }
  void set_screen_updating(bool on) override { screen_updating_ = on; }
  bool display_alerts() const override { return display_alerts_; }
  void set_display_alerts(bool on) override { display_alerts_ = on; }
  void copy(host::Worksheet& sheet, const Area& area) override;
  void cut(host::Worksheet& sheet, const Area& area) override;
  void paste(host::Worksheet& sheet, host::CellRef at) override;
  void end_copy_mode() override;
  bool copy_mode() const override;
  host::WorksheetFunctions& worksheet_function() override;
  host::CommandBar* command_bar(const std::string& name) override;

  // The marked area of the clipboard (for tests and the shell).
  struct Mark {
    MemoryWorksheet* sheet = nullptr;
    Area area;
    bool cut = false;
  };
  const Mark& mark() const { return mark_; }

 private:
  friend class MemoryWorkbook;
  friend class MemoryWorksheet;
  friend struct detail::Access;
  std::vector<std::unique_ptr<MemoryWorkbook>> books_;
  MemoryWorkbook* active_ = nullptr;
  std::shared_ptr<WorkbookStore> store_;
  std::function<bool(const std::string&)> confirm_replace_;
  std::unique_ptr<host::CommandBar> command_bar_;
  std::unique_ptr<host::WorksheetFunctions> functions_;
  std::unique_ptr<Collator> collator_;
  Mark mark_;
  bool screen_updating_ = true;
  bool display_alerts_ = true;
  double today_ = 0;  // 0: the real date
};

// Literal cell values for tests and examples: 1, 2.5, "男", nullptr (empty).
struct Lit {
  Value v;
  Lit(int x) : v(Value::number(x)) {}
  Lit(double x) : v(Value::number(x)) {}
  Lit(const char* s) : v(Value::text(s)) {}
  Lit(std::string s) : v(Value::text(std::move(s))) {}
  Lit(std::nullptr_t) {}
  Lit(bool b) : v(Value::boolean(b)) {}
  Lit(Value x) : v(std::move(x)) {}
};

// Appends a sheet named `name` whose rows (from row 1, column A) hold `rows`.
// A text starting with "=" is stored as a formula (its value computed on
// first read).
SheetData& add_sheet(WorkbookData& book, std::string name, std::vector<std::vector<Lit>> rows);

// Text dump of a whole workbook: every sheet in order with name, hidden and
// active flags, every stored cell as "A1 = value | =formula | format
// differences from the default", merges, widths, heights, breaks, selection.
// When the data belongs to an open MemoryWorkbook its formulas are
// recalculated first, so formula cells show current values.
std::string dump(const WorkbookData& book);
// Recalculates the workbook first, so formula cells show current values.
std::string dump(MemoryWorkbook& book);
// The differences of a format from a base format, as the dump writes them
// ("size=14, bold, numfmt=0.00"); "" when equal.
std::string format_diff(const Format& format, const Format& base);
// The same for one sheet (without the workbook header).
std::string dump_sheet(const WorkbookData& book, const SheetData& sheet);

}  // namespace lczs::memory
