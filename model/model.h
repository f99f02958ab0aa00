// The in-memory workbook model: what a workbook holds, as plain data.
//
// This header is the meeting point of the model's operations (model/
// memory_host.h implements the host interface over it) and the file formats
// (io/ reads files into it and writes files from it). Parsing stays in io/;
// behaviour stays in the operations.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/chart.h"
#include "host/types.h"
#include "model/carried.h"
#include "model/color.h"
#include "model/ranges.h"
#include "model/sheet_settings.h"

namespace lczs::memory {

using host::Area;
using host::CellRef;
using host::Value;

struct Font {
  std::string name = "宋体";
  double size = 11;
  bool bold = false;
  bool italic = false;
  bool strikethrough = false;
  bool superscript = false;
  bool subscript = false;
  bool outline = false;
  bool shadow = false;
  host::Underline underline = host::Underline::None;
  Color color;           // Auto = automatic colour
  int family = 0;        // 0: not given
  int charset = -1;      // -1: not given
  std::string scheme;    // "minor", "major" or ""
  friend bool operator==(const Font&, const Font&) = default;
};

struct Fill {
  std::string pattern = "none";  // OOXML patternType: none, solid, gray125 ...
  Color fg;
  Color bg;
  friend bool operator==(const Fill&, const Fill&) = default;
};

struct BorderLine {
  host::LineStyle style = host::LineStyle::None;
  host::BorderWeight weight = host::BorderWeight::Thin;
  Color color;  // Auto = automatic colour
  friend bool operator==(const BorderLine&, const BorderLine&) = default;
};

struct Borders {
  BorderLine left, right, top, bottom, diagonal;
  bool diagonal_up = false;
  bool diagonal_down = false;
  friend bool operator==(const Borders&, const Borders&) = default;
};

struct Alignment {
  host::HAlign horizontal = host::HAlign::General;
  host::VAlign vertical = host::VAlign::Bottom;
  bool wrap_text = false;
  int rotation = 0;  // degrees -90..90, or 255 for vertical text
  int indent = 0;
  bool shrink_to_fit = false;
  friend bool operator==(const Alignment&, const Alignment&) = default;
};

// Everything a cell's style holds. Cells, rows and columns refer to formats
// by their id in the workbook's FormatPool; id 0 is the default format.
struct Format {
  Font font;
  Fill fill;
  Borders borders;
  Alignment alignment;
  std::string number_format = "General";
  bool locked = true;
  bool hidden = false;
  friend bool operator==(const Format&, const Format&) = default;
};

using FormatId = std::uint32_t;

// Interned formats of one workbook. Ids are stable for the workbook's life.
class FormatPool {
 public:
  FormatPool();
  FormatId intern(const Format& format);
  const Format& get(FormatId id) const;
  std::size_t size() const;
  // The workbook's default format (id 0): changing it changes every cell
  // that uses id 0. Readers set it from the file's first cell style.
  void set_default(const Format& format);

 private:
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

// A run of characters of a rich text cell. A run without font uses the
// cell's font.
struct TextRun {
  std::string text;  // UTF-8
  std::optional<Font> font;
  friend bool operator==(const TextRun&, const TextRun&) = default;
};

// A note on a cell (what the application calls a comment): its text as
// runs (a run without font takes the box's), its author and its box.
struct Comment {
  std::string author;
  std::vector<TextRun> text;
  double width = 108, height = 59.25;  // points: the application's default box
  bool visible = false;                // shown all the time, not only on hover
  // Where the file placed the box, relative to the cell so that it follows
  // the cell: left column offset from the cell's, pixels into it, top row
  // offset, pixels, right column offset, pixels, bottom row offset, pixels.
  // Absent: placed beside the cell from width and height.
  std::optional<std::array<int, 8>> anchor;
  std::string plain_text() const;
  friend bool operator==(const Comment&, const Comment&) = default;
};

// A hyperlink on a cell: to an address outside the workbook, or to a place
// in it.
struct Hyperlink {
  std::string address;   // URL, file or mailto; "" for a place in the workbook
  std::string location;  // "'成绩'!A1" or a name; with an address, its fragment
  std::string tooltip;
  std::string display;
  friend bool operator==(const Hyperlink&, const Hyperlink&) = default;
};

// What belongs to a cell besides its content and format. It travels with
// the cell wherever the cell goes (sort, paste, insert and delete shifts)
// and goes only when the cell itself is deleted: clearing the contents
// keeps it.
struct CellAttachments {
  std::optional<Comment> comment;
  std::optional<Hyperlink> hyperlink;
  bool empty() const { return !comment && !hyperlink; }
  friend bool operator==(const CellAttachments&, const CellAttachments&) = default;
};

// A cell's attachments, held apart so that the many cells without any pay
// one pointer. Copies are deep.
class Attached {
 public:
  Attached() = default;
  Attached(const Attached& o) : p_(o.p_ ? std::make_unique<CellAttachments>(*o.p_) : nullptr) {}
  Attached& operator=(const Attached& o) {
    if (this != &o) p_ = o.p_ ? std::make_unique<CellAttachments>(*o.p_) : nullptr;
    return *this;
  }
  Attached(Attached&&) noexcept = default;
  Attached& operator=(Attached&&) noexcept = default;

  explicit operator bool() const { return p_ != nullptr; }
  const CellAttachments* get() const { return p_.get(); }
  const Comment* comment() const { return p_ && p_->comment ? &*p_->comment : nullptr; }
  const Hyperlink* hyperlink() const { return p_ && p_->hyperlink ? &*p_->hyperlink : nullptr; }
  void set(CellAttachments a) { p_ = a.empty() ? nullptr : std::make_unique<CellAttachments>(std::move(a)); }
  void set_comment(std::optional<Comment> c);
  void set_hyperlink(std::optional<Hyperlink> h);
  friend bool operator==(const Attached& a, const Attached& b) {
    return a.p_ == b.p_ || (a.p_ && b.p_ && *a.p_ == *b.p_);
  }

 private:
  std::unique_ptr<CellAttachments> p_;
};

// A stored cell. The common cell (a number, a text, an empty cell with a
// format) is 32 bytes; a formula and rich text runs are rare and kept aside
// in one record of their own that moves with the cell (model/store.h has
// the measurements).
class Cell {
 public:
  Value value;          // constant, or the formula's last value
  FormatId format = 0;
  Attached attached;    // comment and hyperlink; given through
                        // SheetData::set_comment/set_hyperlink or put()

  Cell() = default;
  Cell(const Cell& o) : value(o.value), format(o.format), attached(o.attached), aside_(o.aside_ ? new Aside(*o.aside_) : nullptr) {}
  Cell& operator=(const Cell& o) {
    if (this != &o) *this = Cell(o);
    return *this;
  }
  Cell(Cell&&) noexcept = default;
  Cell& operator=(Cell&&) noexcept = default;

  // A1 form without the leading "="; empty: a constant.
  const std::string& formula() const { return aside_ ? aside_->formula : kNone.formula; }
  bool has_formula() const { return aside_ && !aside_->formula.empty(); }
  void set_formula(std::string text);
  // Rich text; empty for plain cells.
  const std::vector<TextRun>& runs() const { return aside_ ? aside_->runs : kNone.runs; }
  std::vector<TextRun>& mutable_runs();
  void set_runs(std::vector<TextRun> runs);
  // Drops the formula and the runs.
  void clear_aside() { aside_.reset(); }

  bool empty() const { return value.is_empty() && !has_formula(); }
  // A cell that holds nothing, has the default format and nothing attached
  // can be dropped.
  bool blank_default() const { return empty() && format == 0 && runs().empty() && !attached; }

 private:
  struct Aside {
    std::string formula;
    std::vector<TextRun> runs;
  };
  static const Aside kNone;
  Aside& aside();
  void drop_empty_aside();
  std::unique_ptr<Aside> aside_;
};

struct ColumnInfo {
  std::optional<double> width;   // characters; nullopt: the sheet's default
  std::optional<FormatId> format;
  bool hidden = false;
  int outline_level = 0;         // grouping depth, 0..7
  bool collapsed = false;        // the group this column ends is collapsed
  friend bool operator==(const ColumnInfo&, const ColumnInfo&) = default;
};

struct RowInfo {
  std::optional<double> height;  // points; nullopt: default / automatic
  std::optional<FormatId> format;
  bool hidden = false;
  int outline_level = 0;         // grouping depth, 0..7
  bool collapsed = false;        // the group this row ends is collapsed
  friend bool operator==(const RowInfo&, const RowInfo&) = default;
};

struct SheetView {
  Area selection = Area::cell(1, 1);
  CellRef active_cell{1, 1};
  CellRef top_left{1, 1};  // first visible cell
  bool tab_selected = false;
  friend bool operator==(const SheetView&, const SheetView&) = default;
};

// One worksheet's content. Sparse: only cells that hold something or carry a
// format are stored, row by row in contiguous memory (model/store.h says
// why that layout).
class SheetData {
 public:
  SheetData();
  SheetData(const SheetData&);
  SheetData& operator=(const SheetData&);
  SheetData(SheetData&&) noexcept;
  SheetData& operator=(SheetData&&) noexcept;
  ~SheetData();

  std::string name;
  bool hidden = false;       // hidden or very hidden
  bool very_hidden = false;
  double default_column_width = 8.43;  // characters
  double default_row_height = 13.5;    // points
  std::map<int, ColumnInfo> columns;   // by column number
  std::map<int, RowInfo> rows;         // by row number
  std::vector<Area> merges;
  std::vector<int> row_breaks;         // manual breaks above these rows, ascending
  std::vector<host::Chart> charts;     // embedded charts, in the order added
  SheetView view;
  SheetSettings settings;
  SheetCarried carried;  // what the file held that the model carries unread
  RangeItems ranges;  // validation, conditional formats, autofilter, sheet-scoped names

  // Cell access. get() returns nullptr for a cell that was never stored.
  const Cell* get(int row, int col) const;
  Cell& at(int row, int col);          // creates the cell when absent
  void put(int row, int col, Cell cell);
  void erase(int row, int col);
  // Calls f(row, col, cell) for every stored cell, row by row, left to right.
  template <class F>
  void for_each(F&& f) const {
    for_each_impl([&](int r, int c, const Cell& cell) { f(r, c, cell); });
  }
  // Attaches a comment or hyperlink to a cell (made when absent); nullopt
  // removes it. Attachments reach a sheet only through these and put(),
  // which keeps the writer from looking for them on sheets without any.
  void set_comment(int row, int col, std::optional<Comment> comment);
  void set_hyperlink(int row, int col, std::optional<Hyperlink> link);
  // Whether a cell of the sheet may carry an attachment.
  bool maybe_attached() const;
  // Last row / column holding a stored cell (0 when none).
  int max_row() const;
  int max_col() const;
  std::size_t cell_count() const;

  // Implementation storage; the operations in host/memory reach into it.
  struct Store;
  Store& store();
  const Store& store() const;

 private:
  void for_each_impl(const std::function<void(int, int, const Cell&)>& f) const;
  std::unique_ptr<Store> store_;
};

// What a file held that the model cannot carry (pivot tables, array
// formulas, ...), or carried content a step took out. A workbook with any
// such part must not be saved over its file.
struct Unsupported {
  std::string what;   // Chinese, e.g. "数据透视表"
  std::string where;  // sheet name or part name
};

struct WorkbookData {
  std::vector<std::unique_ptr<SheetData>> sheets;  // in tab order
  int active_sheet = 0;                            // index into sheets
  FormatPool formats;
  std::vector<Unsupported> unsupported;
  BookCarried carried;
  // Carried content a step took out (an image on a sheet that was sorted,
  // copied or deleted): a save over the user's file would lose it.
  std::vector<Unsupported> lost;
  BookSettings settings;
  std::vector<DefinedName> names;  // workbook scope
  // Set when a formula's value could not be computed by the model, so a
  // saved file must ask the application to recalculate on opening.
  bool needs_full_recalc = false;
  std::string path;  // the file it was read from or last saved to
  // The user's file when `path` names a copy being worked on; "" otherwise.
  std::string opened_from;
};

}  // namespace lczs::memory
