// Parts of a package that the model carries unread (model/carried.h): the
// reader's side gathers them with everything they reach, the writer's side
// names them in the new package and copies them compressed as they were.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "model/model.h"

namespace lczs::io::detail {

// Relationship types of the parts the writer makes anew; a link of another
// type from the package or the workbook is carried.
bool made_anew(std::string_view relationship_type);

// "xl/worksheets/_rels/sheet1.xml.rels" for "xl/worksheets/sheet1.xml".
std::string rels_name(const std::string& part);
// A relationship's target relative to the part that names it, or absolute
// from the package root (as some writers put it), as a part name.
std::string resolve_target(const std::string& source_part, std::string_view target);

class CarriedReader {
 public:
  // `package`: the whole file, whose parts are copied from it compressed.
  // `read` inflates a part within the reader's limits (nullopt: absent);
  // `own_parts` are the parts the writer makes anew, which nothing carried
  // may reach. Throws FileError through `read` for damaged parts.
  using ReadPart = std::function<std::optional<std::string>(const std::string& name)>;
  CarriedReader(std::string_view package, ReadPart read, std::set<std::string> own_parts,
                std::string shown_name);
  ~CarriedReader();
  CarriedReader(const CarriedReader&) = delete;
  CarriedReader& operator=(const CarriedReader&) = delete;

  // A link of the package or the workbook; false when what it reaches
  // cannot be carried.
  bool carry_link(memory::CarriedLink& link);

  // An element of a sheet's XML (<drawing>, <picture>, ...) with the
  // relationships it names, given as id -> link; nullopt when it cannot be
  // carried. `xml` is the element as text with its namespaces declared.
  std::optional<memory::CarriedObject> sheet_object(std::string_view element_name, std::string xml,
                                                   const std::vector<memory::CarriedLink>& links);
  // Whether the drawing part `target` holds no drawn object at all (as
  // LibreOffice writes one beside an autofilter): nothing to carry or lose.
  bool empty_drawing(const std::string& target);
  // The printer settings behind <pageSetup r:id>.
  std::optional<memory::CarriedObject> printer_settings(const memory::CarriedLink& link);

  // The archive of every part carried so far.
  void finish(memory::BookCarried& into);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Names of the parts of one new package, so that parts made here never
// take a carried part's name.
class PartNames {
 public:
  bool take(const std::string& name);  // false when already taken
  // "<stem>N<ext>" for the first N from `first` that is free, taken.
  std::string fresh(const std::string& stem, const std::string& ext, int first = 1);

 private:
  std::set<std::string> taken_;  // lower case
};

// The writer's side: which carried parts a new package holds, under which
// names. Only parts still reached from a kept link are written; a leaf part
// linked from two sheets (the printer settings of a copied sheet) is
// written twice.
struct CarriedPlan {
  std::vector<std::pair<std::string, std::string>> copies;         // new name, name in the archive
  std::vector<std::pair<std::string, std::string>> content_types;  // new name, type
  std::vector<memory::CarriedLink> package_links, book_links;       // targets as written
  std::vector<std::vector<memory::CarriedLink>> sheet_links;        // per sheet, in order
};
// `macro_enabled`: the file is saved under a macro-enabled name and keeps
// the macro project. Takes the carried names in `names`.
CarriedPlan plan_carried(const memory::WorkbookData& book, bool macro_enabled, PartNames& names);

// Whether a file of this name holds a macro project: .xlsm.
bool macro_enabled_name(const std::string& path);

// A relationship target from `from` to `to`, both part names, relative as
// the application writes them ("../drawings/drawing1.xml").
std::string relative_target(const std::string& from, const std::string& to);

}  // namespace lczs::io::detail
