// The parts of an .xlsx package the writer makes, one file each:
// styles_part.cpp, shared_strings_part.cpp, sheet_part.cpp,
// workbook_part.cpp (the workbook, its relationships, the content types and
// the document properties) and theme_part.cpp. xlsx_writer.cpp puts them
// together. A part that another writer adds (a chart) follows the same
// shape: a function from the model to the part's XML, plus its entries in
// PackageParts.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "io/xml_writer.h"
#include "model/model.h"

namespace lczs::io::detail {

// ---- Limits of the file format that the writer keeps to ------------------------

// Manual page breaks per sheet the application accepts.
inline constexpr std::size_t kMaxRowBreaks = 1023;
// Cell styles (xf records) and fonts a workbook may hold.
inline constexpr std::size_t kMaxCellStyles = 64000;
// Deepest row or column grouping.
inline constexpr int kMaxOutlineLevel = 7;
// Sheet XML handed on at a time while a sheet is written.
inline constexpr std::size_t kSheetPiece = 1u << 20;
// Custom number formats are numbered from here; lower ids are built in.
inline constexpr int kFirstCustomNumFmt = 164;

// SpreadsheetML namespaces.
inline constexpr std::string_view kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
inline constexpr std::string_view kRelNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

// Cell styles of one file: each model format used gets an xf record, its
// font, fill, border and number format shared with equal ones. Format 0 is
// record 0, the workbook's standard style.
class StyleTable {
 public:
  StyleTable(const memory::FormatPool& pool, const std::string& shown_path);
  // The xf index of a model format, adding it on first use.
  int xf(memory::FormatId id);
  std::string part() const;

  // <color .../> (or `name`) of a colour; automatic as indexed 64, the
  // application's system foreground.
  static void color(XmlWriter& w, std::string_view name, const memory::Color& c);
  // A font's properties, inside <font> or a rich text run's <rPr>.
  static void font_properties(XmlWriter& w, const memory::Font& f, bool run);
  // The dxf index of a differential format, equal ones shared.
  int dxf(const memory::DiffFormat& format);

 private:
  int intern(std::vector<std::string>& list, std::unordered_map<std::string, int>& index, std::string xml);
  const memory::FormatPool& pool_;
  std::string path_;
  std::vector<int> xf_of_format_;  // -1: not yet used
  std::vector<std::string> xfs_;
  std::vector<std::string> fonts_, fills_, borders_;
  std::unordered_map<std::string, int> font_index_, fill_index_, border_index_;
  std::vector<std::string> dxfs_;
  std::unordered_map<std::string, int> dxf_index_;
  std::vector<std::pair<int, std::string>> numfmts_;  // custom ones
  std::unordered_map<std::string, int> numfmt_index_;
};

// The shared strings of a file, in order of first use.
class StringTable {
 public:
  // Index of a plain text.
  std::size_t index(const std::string& text);
  // Index of a rich text (runs each with its font or the cell's).
  std::size_t index(const std::vector<memory::TextRun>& runs);
  std::string part() const;
  bool empty() const { return count_ == 0; }

 private:
  XmlWriter items_{false};
  std::unordered_map<std::string, std::size_t> plain_;
  std::size_t count_ = 0;
  std::size_t uses_ = 0;
};

// What a sheet's XML refers to by relationship id besides its carried
// elements, planned before the sheet is written so that the package knows
// every part up front.
struct SheetLinks {
  std::string legacy_drawing;  // the drawing that shows the comment boxes; "" none
  struct Noted {
    int row, col;
    const memory::Comment* comment;
  };
  struct Linked {
    int row, col;
    const memory::Hyperlink* link;
    std::string rel;  // id of the external address; "" for a place in the workbook
  };
  std::vector<Noted> comments;     // row by row
  std::vector<Linked> hyperlinks;  // row by row
};

// The comments and hyperlinks of a sheet's cells (none looked for on a
// sheet where no cell can carry one).
void collect_attachments(const memory::SheetData& sheet, SheetLinks& links);

// A sheet's XML. `selected`: its tab is selected. Throws host::SaveError
// naming `shown_path`, the sheet and the cell for what the file cannot hold.
// With `spill`, pieces of about kSheetPiece bytes go there as they are
// written and the rest is returned.
std::string sheet_part(const memory::SheetData& sheet, bool selected, const SheetLinks& links, StyleTable& styles,
                       StringTable& strings, const std::string& shown_path, const PieceSink& spill = {});

// Runs of rich text (<r> with their <rPr>), as shared strings and comments
// hold them.
void write_runs(XmlWriter& w, const std::vector<memory::TextRun>& runs);

// ---- Comments (comments_part.cpp) -------------------------------------------------

// The comments part of a sheet: authors and each comment's text.
std::string comments_part(const std::vector<SheetLinks::Noted>& comments);
// The legacy drawing that shows them as boxes in the application. Shape ids
// are taken from blocks of kVmlShapeBlock starting at `first_block`; returns
// the next free block in `next_block`.
inline constexpr int kVmlShapeBlock = 1024;
std::string comment_boxes_part(const memory::SheetData& sheet, const std::vector<SheetLinks::Noted>& comments,
                               int first_block, int& next_block);

// Attributes carried from a file as they were, but never namespace
// declarations: the part declares its own.
void write_attributes(XmlWriter& w, const memory::Attributes& attributes);

// The relationships of one part, written as its .rels part. Ids that the
// part's XML names as it was read (carried elements) are kept; others get
// fresh ones that cannot collide with them.
class Relationships {
 public:
  // Full type URIs; `target` is a part name, or an address when external.
  void keep(const std::string& id, const std::string& type, const std::string& target, bool external = false);
  std::string add(const std::string& type, const std::string& target, bool external = false);
  bool empty() const { return rels_.empty(); }
  // The .rels part of the part named `source`.
  std::string part(const std::string& source) const;

 private:
  struct Rel {
    std::string id, type, target;
    bool external;
  };
  std::vector<Rel> rels_;
  int next_ = 1;
};

inline constexpr std::string_view kRelTypes = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

// ---- What belongs to ranges (range_items.cpp) -----------------------------------

// A carried element with its attributes, text and children.
void write_element(XmlWriter& w, const memory::Element& e);
// A sheet's <autoFilter>, its <conditionalFormatting>s and its
// <dataValidations>, each where the sheet part has its place.
void write_autofilter(XmlWriter& w, const memory::RangeItems& items, StyleTable& styles);
void write_conditional_formats(XmlWriter& w, const memory::RangeItems& items, StyleTable& styles);
void write_validations(XmlWriter& w, const memory::RangeItems& items);
// The workbook's <definedNames>: its own, each sheet's, and the hidden
// name of each sheet's filter range.
void write_defined_names(XmlWriter& w, const memory::WorkbookData& book);

// What a package holds besides the sheets, styles and strings.
struct PackageParts {
  std::vector<std::string> sheet_parts;  // "xl/worksheets/sheet1.xml", ...
  bool shared_strings = false;
  bool custom_properties = false;
  // The workbook keeps a macro project (an .xlsm file).
  bool macro_enabled = false;
  // Further parts and their content types: drawings and charts made here,
  // and the parts carried from the file read.
  std::vector<std::pair<std::string, std::string>> content_types;
  // Carried links of the package and the workbook, targets as written.
  std::vector<memory::CarriedLink> package_links, book_links;
};

// ---- Charts (chart_part.cpp) ----------------------------------------------------

// The relationship of a sheet to the drawing of its charts.
inline constexpr std::string_view kSheetDrawingRelId = "rIdDrawing1";
// A chart part; its series carry the values of `book`'s cells.
std::string chart_part(const memory::WorkbookData& book, const host::Chart& chart);
// Where a sheet's charts stand; chart i is the drawing's relationship rId(i+1).
std::string drawing_part(const std::vector<host::Chart>& charts);
// The drawing's relationships to its charts, in order (relative targets).
std::string drawing_rels_part(const std::vector<std::string>& chart_targets);

// xl/workbook.xml: sheets in order with their states, the active tab,
// recalculation on opening. `active`: index of the active sheet.
std::string workbook_part(const memory::WorkbookData& book, int active);
std::string workbook_rels_part(const PackageParts& parts);
std::string root_rels_part(const PackageParts& parts);
std::string content_types_part(const PackageParts& parts);
std::string core_properties_part(const memory::WorkbookData& book);
std::string custom_properties_part(const memory::WorkbookData& book);
std::string app_properties_part(const memory::WorkbookData& book);
std::string theme_part();

}  // namespace lczs::io::detail
