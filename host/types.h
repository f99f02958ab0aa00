// Value types shared by every host: cell values, cell areas, and the
// enumerations of the spreadsheet application's object model.
//
// Rows and columns are counted from 1. An Area is a rectangle given by its
// inclusive corners. Enumeration values are the application's own numbers
// (xlCenter = -4108 and so on), so that a host over the real application can
// pass them through unchanged.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lczs::host {

// Size of a worksheet in the spreadsheet application (Excel 2007 and later).
inline constexpr int kMaxRows = 1048576;
inline constexpr int kMaxCols = 16384;
// Longest sheet name the application accepts.
inline constexpr int kMaxSheetNameLength = 31;
// Longest text a cell holds.
inline constexpr int kMaxCellTextLength = 32767;
// Most cells one bulk read or write (Worksheet::values, write_values) moves:
// a table of the sheet's full height and 32 columns. Bounds the memory of
// one array rather than any limit of the application.
inline constexpr long long kMaxGridCells = static_cast<long long>(kMaxRows) * 32;
// Manual page breaks a sheet holds: the file format keeps no more, and the
// application refuses to add breaks a little past it.
inline constexpr int kMaxPageBreaks = 1023;

struct CellRef {
  int row = 1;
  int col = 1;
  friend bool operator==(const CellRef&, const CellRef&) = default;
};

// A rectangle of cells, corners inclusive. Whole rows span columns
// 1..kMaxCols, whole columns rows 1..kMaxRows.
struct Area {
  int top = 1;
  int left = 1;
  int bottom = 1;
  int right = 1;

  static Area cell(int row, int col) { return {row, col, row, col}; }
  static Area rows(int first, int last) { return {first, 1, last, kMaxCols}; }
  static Area columns(int first, int last) { return {1, first, kMaxRows, last}; }
  static Area whole_sheet() { return {1, 1, kMaxRows, kMaxCols}; }

  int row_count() const { return bottom - top + 1; }
  int col_count() const { return right - left + 1; }
  bool contains(int row, int col) const {
    return row >= top && row <= bottom && col >= left && col <= right;
  }
  bool is_single_cell() const { return top == bottom && left == right; }
  bool valid() const {
    return top >= 1 && left >= 1 && top <= bottom && left <= right &&
           bottom <= kMaxRows && right <= kMaxCols;
  }
  CellRef top_left() const { return {top, left}; }

  // Range.Offset / Resize / EntireRow / EntireColumn. These only compute;
  // an area that leaves the sheet is reported by the host that receives it.
  Area offset(int rows, int cols) const {
    return {top + rows, left + cols, bottom + rows, right + cols};
  }
  Area resize(int rows, int cols) const {
    return {top, left, top + rows - 1, left + cols - 1};
  }
  Area entire_row() const { return Area::rows(top, bottom); }
  Area entire_column() const { return Area::columns(left, right); }

  friend bool operator==(const Area&, const Area&) = default;
};

// "A1", "$E$2:$E$41", "AB12". Column numbers 1..kMaxCols.
std::string column_letters(int col);
// Range.Address: absolute A1 form ("$E$5" for a single cell, "$E$2:$E$41"
// otherwise), or relative when absolute is false.
std::string address(const Area& area, bool absolute = true);
// Parses "A1", "$A$1", "A1:B2" (either corner order). Returns nullopt on
// anything else or on a reference outside the sheet.
std::optional<Area> parse_address(std::string_view text);

// Excel's error values.
enum class ErrorCode { Null, Div0, Value, Ref, Name, Num, NA };
std::string_view error_text(ErrorCode code);  // "#DIV/0!" ...
std::optional<ErrorCode> parse_error(std::string_view text);

// A cell's value as the application's Range.Value returns it.
//
// 16 bytes: a text is held once, out of line, and shared by every copy of
// the value, so a column that repeats a text (class names, the shared
// strings a file is read from) costs one string however many cells show
// it. A text never changes once made; copies count their owners.
class Value {
 public:
  enum class Kind { Empty, Number, Text, Boolean, Error };

  Value() noexcept {}
  Value(const Value& o) noexcept : kind_(o.kind_), err_(o.err_) {
    if (kind_ == Kind::Text) {
      text_ = o.text_;
      text_->owners.fetch_add(1, std::memory_order_relaxed);
    } else {
      num_ = o.num_;
    }
  }
  Value(Value&& o) noexcept : kind_(o.kind_), err_(o.err_) {
    if (kind_ == Kind::Text) {
      text_ = o.text_;
      o.kind_ = Kind::Empty;
      o.num_ = 0;
    } else {
      num_ = o.num_;
    }
  }
  Value& operator=(const Value& o) noexcept {
    if (this != &o) {
      Value copy(o);
      swap(copy);
    }
    return *this;
  }
  Value& operator=(Value&& o) noexcept {
    Value moved(std::move(o));
    swap(moved);
    return *this;
  }
  ~Value() {
    if (kind_ == Kind::Text && text_->owners.fetch_sub(1, std::memory_order_acq_rel) == 1) delete text_;
  }

  static Value number(double v) { Value x; x.kind_ = Kind::Number; x.num_ = v; return x; }
  static Value text(std::string s) {
    Value x;
    x.text_ = new SharedText{{1}, std::move(s)};
    x.kind_ = Kind::Text;
    return x;
  }
  static Value boolean(bool b) { Value x; x.kind_ = Kind::Boolean; x.num_ = b ? 1 : 0; return x; }
  static Value error(ErrorCode e) { Value x; x.kind_ = Kind::Error; x.err_ = e; return x; }

  Kind kind() const { return kind_; }
  bool is_empty() const { return kind_ == Kind::Empty; }
  bool is_number() const { return kind_ == Kind::Number; }
  bool is_text() const { return kind_ == Kind::Text; }
  bool is_boolean() const { return kind_ == Kind::Boolean; }
  bool is_error() const { return kind_ == Kind::Error; }

  double as_number() const { return num_; }         // Number; Boolean as 1/0
  const std::string& as_text() const { return kind_ == Kind::Text ? text_->text : kNoText; }  // Text (UTF-8)
  bool as_boolean() const { return num_ != 0; }
  ErrorCode as_error() const { return err_; }

  // VBA's comparison of two Variants read from cells with "=" / "<>":
  // Empty equals 0 and "", numbers compare as numbers, texts binary, and a
  // number never equals a text (301 and "301" are two values).
  // Used by the jobs' "value differs from the next row" loops.
  bool vba_equals(const Value& other) const;

  // What the cell shows as plain text without a number format: numbers in
  // the shortest form that round-trips to 15 significant digits ("88.5",
  // "1E+20"), TRUE/FALSE, the error text, "" for empty.
  std::string display_text() const;

  friend bool operator==(const Value& a, const Value& b);

 private:
  struct SharedText {
    std::atomic<std::uint32_t> owners;
    const std::string text;
  };
  static const std::string kNoText;
  void swap(Value& o) noexcept {
    std::swap(kind_, o.kind_);
    std::swap(err_, o.err_);
    std::swap(bits_, o.bits_);
  }

  Kind kind_ = Kind::Empty;
  ErrorCode err_ = ErrorCode::NA;
  union {
    double num_ = 0;       // Number, Boolean
    SharedText* text_;     // Text
    std::uint64_t bits_;   // either, for swapping
  };
};

// A rectangle of values row by row, as Range.Value of an area holds them.
// Elements are addressed from 0: at(0, 0) is the area's top-left cell.
class ValueGrid {
 public:
  ValueGrid() = default;
  // rows x cols empty values.
  ValueGrid(int rows, int cols)
      : rows_(rows), cols_(cols), cells_(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols)) {}

  int rows() const { return rows_; }
  int cols() const { return cols_; }
  Value& at(int row, int col) { return cells_[index(row, col)]; }
  const Value& at(int row, int col) const { return cells_[index(row, col)]; }

 private:
  std::size_t index(int row, int col) const {
    return static_cast<std::size_t>(row) * static_cast<std::size_t>(cols_) + static_cast<std::size_t>(col);
  }
  int rows_ = 0;
  int cols_ = 0;
  std::vector<Value> cells_;
};

// ---- Sorting (Range.Sort) ------------------------------------------------

enum class SortOrder { Ascending = 1, Descending = 2 };
enum class SortHeader { Guess = 0, Yes = 1, No = 2 };

struct SortKey {
  int column = 1;  // sheet column of the key (Key1 = Range("D1") gives 4)
  SortOrder order = SortOrder::Ascending;
};

// Every sort of the system passes OrderCustom 1, MatchCase False,
// Orientation top to bottom and SortMethod pinyin; those are fixed here.
struct SortSpec {
  SortKey key1;
  std::optional<SortKey> key2;
  std::optional<SortKey> key3;
  SortHeader header = SortHeader::Guess;
};

// ---- Range.Delete / Insert shift directions ----------------------------

enum class Shift {
  Auto = 0,        // no Shift argument: the application chooses from the shape
  Up = -4162,      // xlShiftUp
  Left = -4159,    // xlShiftToLeft
  Down = -4121,    // xlShiftDown
  Right = -4161,   // xlShiftToRight
};

// ---- Formats --------------------------------------------------------------

inline constexpr int kColorIndexAutomatic = -4105;  // xlColorIndexAutomatic
inline constexpr int kColorIndexNone = -4142;       // xlColorIndexNone

enum class HAlign {
  General = 1, Left = -4131, Center = -4108, Right = -4152, Fill = 5,
  Justify = -4130, CenterAcrossSelection = 7, Distributed = -4117,
};
enum class VAlign { Top = -4160, Center = -4108, Bottom = -4107, Justify = -4130, Distributed = -4117 };

enum class Underline { None = -4142, Single = 2, Double = -4119, SingleAccounting = 4, DoubleAccounting = 5 };

enum class BorderIndex {
  DiagonalDown = 5, DiagonalUp = 6, EdgeLeft = 7, EdgeTop = 8, EdgeBottom = 9,
  EdgeRight = 10, InsideVertical = 11, InsideHorizontal = 12,
};
enum class LineStyle {
  None = -4142, Continuous = 1, Dash = -4115, DashDot = 4, DashDotDot = 5,
  Dot = -4118, Double = -4119, SlantDashDot = 13,
};
enum class BorderWeight { Hairline = 1, Thin = 2, Medium = -4138, Thick = 4 };

struct BorderSpec {
  LineStyle style = LineStyle::None;
  BorderWeight weight = BorderWeight::Thin;
  int color_index = kColorIndexAutomatic;
};

// One border of a set given to Worksheet::set_borders.
struct BorderEdit {
  BorderIndex index = BorderIndex::EdgeLeft;
  BorderSpec border;
};

// Range.Font members; unset fields are left as they are.
struct FontPatch {
  std::optional<std::string> name;        // "宋体", "黑体"
  std::optional<std::string> font_style;  // "常规", "加粗" ... (sets bold/italic)
  std::optional<double> size;             // points
  std::optional<bool> bold;
  std::optional<bool> italic;
  std::optional<bool> strikethrough;
  std::optional<bool> superscript;
  std::optional<bool> subscript;
  std::optional<bool> outline;
  std::optional<bool> shadow;
  std::optional<Underline> underline;
  std::optional<int> color_index;  // kColorIndexAutomatic for automatic
};

// Range alignment members; unset fields are left as they are. Setting
// merge_cells true merges the area like Range.MergeCells = True.
struct AlignmentPatch {
  std::optional<HAlign> horizontal;
  std::optional<VAlign> vertical;
  std::optional<bool> wrap_text;
  std::optional<int> orientation;  // degrees, -90..90
  std::optional<bool> add_indent;
  std::optional<int> indent_level;
  std::optional<bool> shrink_to_fit;
  std::optional<bool> merge_cells;
};

}  // namespace lczs::host
