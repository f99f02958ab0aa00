// Carried objects under the model's steps: whatever a step would have to
// move is taken out and named in WorkbookData::lost (model/carried.h).
#include <algorithm>

#include "model/memory_internal.h"

namespace lczs::memory::detail {

namespace {

void record(WorkbookData& book, const std::string& what, const std::string& where) {
  for (const auto& l : book.lost)
    if (l.what == what && l.where == where) return;
  book.lost.push_back({what, where});
}

// Takes out the objects of `sheet` for which `gone` holds.
template <class Pred>
void take_out(WorkbookData& book, SheetData& sheet, Pred gone) {
  auto& objects = sheet.carried.objects;
  for (const auto& o : objects)
    if (gone(o) && !o.on_copy) record(book, o.what, sheet.name);
  objects.erase(std::remove_if(objects.begin(), objects.end(), gone), objects.end());
}

bool reads(const CarriedObject& o, const std::string& sheet) {
  return std::any_of(o.reads.begin(), o.reads.end(), [&](const std::string& s) { return iequals(s, sheet); });
}

void take_out_readers(WorkbookData& book, const std::string& sheet) {
  for (auto& s : book.sheets) take_out(book, *s, [&](const CarriedObject& o) { return reads(o, sheet); });
}

bool printer_settings(const CarriedObject& o) { return o.element.empty(); }

// "drawing" for <drawing r:id="..."/> or <x:drawing .../>.
std::string_view element_name(const std::string& element) {
  std::string_view e(element);
  if (e.empty() || e.front() != '<') return {};
  e.remove_prefix(1);
  e = e.substr(0, e.find_first_of(" />"));
  auto colon = e.find(':');
  return colon == std::string_view::npos ? e : e.substr(colon + 1);
}

}  // namespace

void carried_cells_moved(WorkbookData& book, SheetData& sheet, const Area& area, bool shifts) {
  take_out(book, sheet, [&](const CarriedObject& o) {
    return o.covers_sheet ||
           std::any_of(o.covers.begin(), o.covers.end(), [&](const Area& a) { return intersects(a, area); });
  });
  if (shifts) take_out_readers(book, sheet.name);
}

void carried_sheet_copied(WorkbookData& book, const SheetData& source, SheetData& copy) {
  copy.carried.code_name.clear();  // the macro project has no module for the copy
  auto stays = [](const CarriedObject& o) { return printer_settings(o) || o.copies; };
  for (const auto& o : source.carried.objects)
    if (!stays(o)) record(book, o.what, source.name);
  auto& objects = copy.carried.objects;
  objects.erase(std::remove_if(objects.begin(), objects.end(), [&](const CarriedObject& o) { return !stays(o); }),
                objects.end());
  for (auto& o : objects) o.on_copy = true;
}

void carried_sheet_deleted(WorkbookData& book, SheetData& sheet) {
  take_out(book, sheet, [](const CarriedObject& o) { return !printer_settings(o); });
  take_out_readers(book, sheet.name);
}

void carried_sheet_renamed(WorkbookData& book, const std::string& old_name) { take_out_readers(book, old_name); }

void carried_chart_added(WorkbookData& book, SheetData& sheet) {
  take_out(book, sheet, [](const CarriedObject& o) { return element_name(o.element) == "drawing"; });
}

}  // namespace lczs::memory::detail
