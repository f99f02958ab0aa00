// Parts of a workbook file that the model does not understand and carries
// into the saved file as they were: images, drawings and charts on sheets,
// printer settings, custom XML, a macro project and any other part.
//
// The model never looks inside them. It knows only which cells a sheet's
// drawn objects stand over and which sheets their charts read, so that a
// step that would have to move them (a sort or an insertion over those
// cells, a copy or deletion of their sheet, a renamed source sheet) takes
// them out and records the loss: a save over the user's own file is then
// refused, and a new file is written without them, with a warning.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/types.h"

namespace lczs::memory {

// A relationship from a part the writer makes (the package, the workbook,
// a sheet) to a carried part or an outside address.
struct CarriedLink {
  std::string id;      // the id the carried XML refers to
  std::string type;    // the full relationship type
  std::string target;  // part name without leading '/', or the address when external
  bool external = false;
  friend bool operator==(const CarriedLink&, const CarriedLink&) = default;
};

// One thing on a sheet that is carried: an element of the sheet's XML with
// the relationships it names, or the printer settings behind <pageSetup>.
struct CarriedObject {
  std::string what;      // in messages: "图片", "图表", "图形", "打印机设置", ...
  std::string element;   // the XML element written back as it was; "" for printer settings
  std::vector<CarriedLink> links;
  std::vector<host::Area> covers;  // cells the objects stand over
  bool covers_sheet = false;       // stands anywhere on the sheet (positions not read)
  std::vector<std::string> reads;  // sheets its charts take their data from
  // A copy of the sheet holds it too, as the application's copy does
  // (pictures and shapes; the printer settings always).
  bool copies = false;
  // On a copy made since the file was read: the file never held it, so
  // dropping it loses nothing of the user's.
  bool on_copy = false;
  friend bool operator==(const CarriedObject&, const CarriedObject&) = default;
};

struct SheetCarried {
  std::vector<CarriedObject> objects;  // in the sheet's XML order
  std::string code_name;               // the macro project's name of the sheet
  bool empty() const { return objects.empty() && code_name.empty(); }
  friend bool operator==(const SheetCarried&, const SheetCarried&) = default;
};

struct BookCarried {
  // The carried parts themselves, as a zip archive holding each part
  // compressed as the source file had it: a save copies them without
  // inflating them. Shared by copies of the workbook data.
  std::shared_ptr<const std::string> archive;
  struct Part {
    std::string name;  // as in the source package and in `archive`
    std::string content_type;
    std::vector<std::string> reaches;  // parts it needs: its relationships and their targets
    friend bool operator==(const Part&, const Part&) = default;
  };
  std::vector<Part> parts;
  std::vector<CarriedLink> package_links;  // from the package root (a thumbnail, ribbon XML)
  std::vector<CarriedLink> book_links;     // from the workbook part (custom XML, the macro project)
  std::string code_name;                   // the macro project's name of the workbook
  // Whether a macro project is among the links: such a workbook is saved
  // with it only under a macro-enabled name (.xlsm).
  bool has_macros() const;
  bool empty() const { return parts.empty() && package_links.empty() && book_links.empty(); }
};

inline constexpr std::string_view kMacroProjectType =
    "http://schemas.microsoft.com/office/2006/relationships/vbaProject";

inline bool BookCarried::has_macros() const {
  for (const auto& l : book_links)
    if (l.type == kMacroProjectType) return true;
  return false;
}

}  // namespace lczs::memory
