// What belongs to ranges (model/ranges.h) as the file holds it: the
// autofilter, conditional formats and data validations of a sheet's part
// and the defined names of the workbook part. Their differential formats
// are the style table's (styles_part.cpp).
#include "io/parts.h"
#include "model/formula.h"

namespace lczs::io::detail {

namespace {

std::string sqref(const memory::Areas& areas) {
  std::string out;
  for (const auto& a : areas) {
    if (!out.empty()) out += ' ';
    out += host::address(a, false);
  }
  return out;
}

bool writable(const host::Area& a) {
  return a.valid() && a.bottom <= host::kMaxRows && a.right <= host::kMaxCols;
}

memory::Areas writable_areas(const memory::Areas& areas) {
  memory::Areas out;
  for (const auto& a : areas)
    if (writable(a)) out.push_back(a);
  return out;
}

}  // namespace

void write_element(XmlWriter& w, const memory::Element& e) {
  w.start(e.name);
  write_attributes(w, e.attributes);
  if (!e.text.empty()) w.text(e.text);
  for (const auto& c : e.children) write_element(w, c);
  w.end();
}

void write_autofilter(XmlWriter& w, const memory::RangeItems& items, StyleTable& styles) {
  const auto& filter = items.autofilter;
  if (!filter || !writable(filter->area)) return;
  w.start("autoFilter").attr("ref", host::address(filter->area, false));
  for (const auto& c : filter->columns) {
    if (c.column < 0 || c.column >= filter->area.col_count()) continue;
    w.start("filterColumn").attr("colId", c.column);
    write_attributes(w, c.attributes);
    if (c.criteria) {
      w.start(c.criteria->name);
      if (c.color) w.attr("dxfId", styles.dxf(*c.color));
      write_attributes(w, c.criteria->attributes);
      for (const auto& e : c.criteria->children) write_element(w, e);
      w.end();
    }
    w.end();
  }
  w.end();
}

void write_conditional_formats(XmlWriter& w, const memory::RangeItems& items, StyleTable& styles) {
  for (const auto& cf : items.conditional_formats) {
    memory::Areas areas = writable_areas(cf.areas);
    if (areas.empty() || cf.rules.empty()) continue;
    w.start("conditionalFormatting");
    if (cf.pivot) w.attr("pivot", "1");
    w.attr("sqref", sqref(areas));
    for (const auto& rule : cf.rules) {
      w.start("cfRule");
      write_attributes(w, rule.attributes);
      if (rule.format) w.attr("dxfId", styles.dxf(*rule.format));
      for (const auto& f : rule.formulas) w.element("formula", f);
      if (rule.scale) write_element(w, *rule.scale);
      w.end();
    }
    w.end();
  }
}

void write_validations(XmlWriter& w, const memory::RangeItems& items) {
  std::vector<std::pair<const memory::DataValidation*, memory::Areas>> kept;
  for (const auto& v : items.validations)
    if (auto areas = writable_areas(v.areas); !areas.empty()) kept.emplace_back(&v, std::move(areas));
  if (kept.empty()) return;
  w.start("dataValidations").attr("count", kept.size());
  write_attributes(w, items.validations_attributes);
  for (const auto& [v, areas] : kept) {
    w.start("dataValidation");
    write_attributes(w, v->attributes);
    w.attr("sqref", sqref(areas));
    if (!v->formula1.empty()) w.element("formula1", v->formula1);
    if (!v->formula2.empty()) w.element("formula2", v->formula2);
    w.end();
  }
  w.end();
}

void write_defined_names(XmlWriter& w, const memory::WorkbookData& book) {
  bool any = !book.names.empty();
  for (const auto& s : book.sheets) any = any || !s->ranges.names.empty() || s->ranges.autofilter;
  if (!any) return;
  w.start("definedNames");
  auto name = [&](const memory::DefinedName& n, std::optional<std::size_t> sheet) {
    if (n.name.empty() || n.formula.empty()) return;
    w.start("definedName").attr("name", n.name);
    if (sheet) w.attr("localSheetId", *sheet);
    write_attributes(w, n.attributes);
    w.text(n.formula).end();
  };
  for (const auto& n : book.names) name(n, std::nullopt);
  for (std::size_t i = 0; i < book.sheets.size(); ++i) {
    const memory::SheetData& s = *book.sheets[i];
    for (const auto& n : s.ranges.names) name(n, i);
    // The application finds a sheet's filter range by this hidden name.
    if (s.ranges.autofilter && writable(s.ranges.autofilter->area) &&
        !memory::find_name(s.ranges.names, memory::kFilterDatabase))
      name({std::string(memory::kFilterDatabase),
            memory::formula::quote_sheet_name(s.name) + "!" + host::address(s.ranges.autofilter->area),
            {{"hidden", "1"}}},
           i);
  }
  w.end();
}

}  // namespace lczs::io::detail
