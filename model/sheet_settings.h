// What a sheet and a workbook carry besides their cells: the view (panes,
// zoom, gridlines, tab colour), the outline's summary position and the
// page setup. The operations leave these alone except the sheet copy,
// which copies them with the sheet; the outline levels of single rows and
// columns live in RowInfo and ColumnInfo and move with them.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/types.h"
#include "model/color.h"

namespace lczs::memory {

// Frozen or split panes. Frozen: `cols`/`rows` are the numbers of columns
// and rows kept in view; split: the position of the split in twips.
struct Panes {
  enum class Kind { Frozen, Split };
  Kind kind = Kind::Frozen;
  double x = 0, y = 0;
  host::CellRef top_left{1, 1};  // first cell of the lower right pane
  std::string active = "bottomRight";  // topLeft, topRight, bottomLeft, bottomRight
  friend bool operator==(const Panes&, const Panes&) = default;
};

struct ViewSettings {
  int zoom = 100;  // percent, 10..400
  bool gridlines = true;
  bool headings = true;
  bool right_to_left = false;
  std::optional<Panes> panes;
  std::optional<Color> tab_color;
  friend bool operator==(const ViewSettings&, const ViewSettings&) = default;
};

struct OutlineSettings {
  bool summary_below = true;  // total rows below their detail
  bool summary_right = true;  // total columns right of their detail
  friend bool operator==(const OutlineSettings&, const OutlineSettings&) = default;
};

// Headers and footers in the application's code ("&C&P", "&L&D").
struct HeaderFooter {
  std::string odd_header, odd_footer, even_header, even_footer, first_header, first_footer;
  bool different_odd_even = false;
  bool different_first = false;
  bool scale_with_doc = true;
  bool align_with_margins = true;
  friend bool operator==(const HeaderFooter&, const HeaderFooter&) = default;
};

// The six texts by the file format's element names, in the order the format
// requires them; reading and writing both go by this one list.
struct HeaderFooterText {
  const char* element;
  std::string HeaderFooter::*text;
};
inline constexpr HeaderFooterText kHeaderFooterTexts[] = {
    {"oddHeader", &HeaderFooter::odd_header},     {"oddFooter", &HeaderFooter::odd_footer},
    {"evenHeader", &HeaderFooter::even_header},   {"evenFooter", &HeaderFooter::even_footer},
    {"firstHeader", &HeaderFooter::first_header}, {"firstFooter", &HeaderFooter::first_footer},
};

struct PageSetup {
  bool landscape = false;
  int paper_size = 0;       // the file format's numbers (9: A4); 0: not given
  int scale = 100;          // percent
  bool fit_to_page = false; // fit_width x fit_height pages instead of scale
  int fit_width = 1, fit_height = 1;  // 0: as many as needed
  std::optional<int> first_page_number;
  bool black_and_white = false;
  bool draft = false;
  bool over_then_down = false;  // page order
  // Inches.
  double margin_left = 0.7, margin_right = 0.7, margin_top = 0.75, margin_bottom = 0.75;
  double margin_header = 0.3, margin_footer = 0.3;
  bool center_horizontally = false, center_vertically = false;
  bool print_gridlines = false, print_headings = false;
  HeaderFooter header_footer;
  friend bool operator==(const PageSetup&, const PageSetup&) = default;
};

// Attributes of a protection element as the file holds them (the flags
// and the stored password hash with its algorithm, salt and spin count):
// carried, never interpreted.
using Attributes = std::vector<std::pair<std::string, std::string>>;

struct SheetSettings {
  ViewSettings view;
  OutlineSettings outline;
  PageSetup page;
  std::optional<Attributes> protection;
  friend bool operator==(const SheetSettings&, const SheetSettings&) = default;
};

// A custom document property: its name, its type as the file names it
// ("lpwstr", "i4", "r8", "bool", "filetime") and its value as text.
struct CustomProperty {
  std::string name, type, value;
  friend bool operator==(const CustomProperty&, const CustomProperty&) = default;
};

struct BookSettings {
  bool date1904 = false;  // serial dates count from 1904-01-01
  std::optional<Attributes> protection;
  // Core properties by their element name ("dc:title", "dc:creator",
  // "cp:keywords", "dcterms:created", ...) with their text.
  Attributes core_properties;
  std::vector<CustomProperty> custom_properties;
  friend bool operator==(const BookSettings&, const BookSettings&) = default;
};

}  // namespace lczs::memory
