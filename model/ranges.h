// What belongs to a range of a sheet rather than to its cells: data
// validation, conditional formats, the autofilter and defined names (the
// print area and print titles among them).
//
// The one rule, as in the spreadsheet application: these stay where they
// are when cells are sorted, copied, or cut and pasted; they shift, shrink
// or go only when rows, columns or cells are inserted or deleted, and the
// formulas they hold are rewritten then (and on a sheet's rename or
// deletion) the way cell formulas are (rewrite_range_items below). A sheet
// copy carries the sheet's own, its sheet-scoped names included.
//
// Attributes the model does not act on (a validation's messages, a rule's
// operator and priority, a filter's criteria) are carried as the file held
// them; what moves (areas, formulas) and what lives in another part (the
// differential formats of the styles part) is modelled.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/types.h"
#include "model/color.h"
#include "model/sheet_settings.h"

namespace lczs::memory {

// The areas a validation or conditional format covers, as the file lists
// them ("A2:A50 C2:C50").
using Areas = std::vector<host::Area>;

// What a conditional format or a colour filter changes in a cell's look:
// only what it sets, everything else stays as the cell's own format has it.
struct DiffFont {
  std::optional<bool> bold, italic, strikethrough;
  std::optional<host::Underline> underline;
  std::optional<Color> color;
  std::optional<std::string> name;
  std::optional<double> size;
  friend bool operator==(const DiffFont&, const DiffFont&) = default;
};
struct DiffLine {
  std::string style;  // the file's border style name: thin, medium, dashed ...
  std::optional<Color> color;
  friend bool operator==(const DiffLine&, const DiffLine&) = default;
};
struct DiffFormat {
  DiffFont font;
  std::optional<std::string> number_format;
  // Fill: in a differential format the solid colour is the background one.
  std::optional<std::string> fill_pattern;  // "" when the file gave none
  std::optional<Color> fill_fg, fill_bg;
  bool has_fill = false;
  std::optional<DiffLine> left, right, top, bottom;
  friend bool operator==(const DiffFormat&, const DiffFormat&) = default;
};

// An element carried as the file held it (a filter's criteria, a colour
// scale's points). Names are the file's, without namespace prefixes.
struct Element {
  std::string name;
  Attributes attributes;
  std::string text;
  std::vector<Element> children;
  friend bool operator==(const Element&, const Element&) = default;
};

struct DataValidation {
  Areas areas;
  // type, operator, allowBlank, showErrorMessage, error, prompt, ... (all
  // but the areas), as the file held them.
  Attributes attributes;
  std::string formula1, formula2;  // without "="; "" when absent
  friend bool operator==(const DataValidation&, const DataValidation&) = default;
};

struct ConditionalRule {
  // type, priority, operator, stopIfTrue, text, rank, ... as the file held
  // them, without the differential format's number.
  Attributes attributes;
  std::vector<std::string> formulas;  // without "="
  std::optional<DiffFormat> format;
  // A colour scale, data bar or icon set, carried whole; the values of its
  // points (cfvo val) are formulas and rewritten with the others.
  std::optional<Element> scale;
  friend bool operator==(const ConditionalRule&, const ConditionalRule&) = default;
};

struct ConditionalFormat {
  Areas areas;
  bool pivot = false;
  std::vector<ConditionalRule> rules;
  friend bool operator==(const ConditionalFormat&, const ConditionalFormat&) = default;
};

struct FilterColumn {
  int column = 0;  // from the filter's first column, 0-based (colId)
  Attributes attributes;        // hiddenButton, showButton
  std::optional<Element> criteria;  // filters, customFilters, top10, dynamicFilter, colorFilter, iconFilter
  std::optional<DiffFormat> color;  // a colour filter's format
  friend bool operator==(const FilterColumn&, const FilterColumn&) = default;
};

struct AutoFilter {
  host::Area area;
  std::vector<FilterColumn> columns;
  friend bool operator==(const AutoFilter&, const AutoFilter&) = default;
};

// A defined name. The print area and print titles are the sheet-scoped
// names below; the autofilter's own hidden name is made when writing.
struct DefinedName {
  std::string name;
  std::string formula;    // without "="
  Attributes attributes;  // hidden, comment, function, ... (not name, localSheetId)
  friend bool operator==(const DefinedName&, const DefinedName&) = default;
};
inline constexpr std::string_view kPrintArea = "_xlnm.Print_Area";
inline constexpr std::string_view kPrintTitles = "_xlnm.Print_Titles";
inline constexpr std::string_view kFilterDatabase = "_xlnm._FilterDatabase";

// Everything of a sheet that belongs to ranges.
struct RangeItems {
  std::vector<DataValidation> validations;
  Attributes validations_attributes;  // disablePrompts, xWindow, yWindow
  std::vector<ConditionalFormat> conditional_formats;
  std::optional<AutoFilter> autofilter;
  std::vector<DefinedName> names;  // sheet scope
  bool empty() const {
    return validations.empty() && conditional_formats.empty() && !autofilter && names.empty();
  }
  friend bool operator==(const RangeItems&, const RangeItems&) = default;
};

// The text of a sheet-scoped name of `items` (print area, print titles),
// nullptr when absent.
const std::string* find_name(const std::vector<DefinedName>& names, std::string_view name);

// Applies a rewrite of formulas standing on the items' sheet to what
// `items` holds: f is called for every formula (validation and rule
// formulas, scale points, names) and for each area as the reference
// "A1:B5". An area that comes back as anything but a reference is gone; a
// validation, format or filter left without areas goes, and so do filter
// columns whose column went.
void rewrite_range_items(RangeItems& items, const std::function<std::string(std::string_view)>& f);

}  // namespace lczs::memory
