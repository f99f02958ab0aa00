// xl/workbook.xml and the package's bookkeeping parts: relationships,
// content types and the document properties.
#include <algorithm>
#include <ctime>

#include "io/carried.h"
#include "io/parts.h"

namespace lczs::io::detail {

namespace {

constexpr std::string_view kPackageRelNs = "http://schemas.openxmlformats.org/package/2006/relationships";
constexpr std::string_view kContentTypeNs = "http://schemas.openxmlformats.org/package/2006/content-types";
constexpr std::string_view kSheetMl = "application/vnd.openxmlformats-officedocument.spreadsheetml.";

void relationship(XmlWriter& w, const std::string& id, std::string_view type, const std::string& target) {
  w.start("Relationship").attr("Id", id).attr("Type", std::string(kRelTypes) + std::string(type))
      .attr("Target", target).end();
}

void override_type(XmlWriter& w, const std::string& part, std::string_view type) {
  w.start("Override").attr("PartName", "/" + part).attr("ContentType", type).end();
}

std::string now_w3c() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buf;
}

// Carried links after ours, with ids that follow ours: nothing refers to
// the ids of these.
void carried_links(XmlWriter& w, std::size_t n, const std::string& source,
                   const std::vector<memory::CarriedLink>& links) {
  for (const auto& l : links) {
    w.start("Relationship").attr("Id", "rId" + std::to_string(++n)).attr("Type", l.type)
        .attr("Target", l.external ? l.target : relative_target(source, l.target));
    if (l.external) w.attr("TargetMode", "External");
    w.end();
  }
}

}  // namespace

void Relationships::keep(const std::string& id, const std::string& type, const std::string& target, bool external) {
  rels_.push_back({id, type, target, external});
}

std::string Relationships::add(const std::string& type, const std::string& target, bool external) {
  std::string id;
  do {
    id = "rId" + std::to_string(next_++);
  } while (std::any_of(rels_.begin(), rels_.end(), [&](const Rel& r) { return r.id == id; }));
  rels_.push_back({id, type, target, external});
  return id;
}

std::string Relationships::part(const std::string& source) const {
  XmlWriter w;
  w.start("Relationships").attr("xmlns", kPackageRelNs);
  for (const auto& r : rels_) {
    w.start("Relationship").attr("Id", r.id).attr("Type", r.type)
        .attr("Target", r.external ? r.target : relative_target(source, r.target));
    if (r.external) w.attr("TargetMode", "External");
    w.end();
  }
  w.end();
  return w.take();
}

void write_attributes(XmlWriter& w, const memory::Attributes& attributes) {
  for (const auto& [name, value] : attributes)
    if (name.rfind("xmlns", 0) != 0 && name.find_first_of(" <>=\"'/&") == std::string::npos && !name.empty())
      w.attr(name, value);
}

std::string workbook_part(const memory::WorkbookData& book, int active) {
  XmlWriter w;
  w.start("workbook").attr("xmlns", kMainNs).attr("xmlns:r", kRelNs);
  w.start("workbookPr");
  if (!book.carried.code_name.empty()) w.attr("codeName", book.carried.code_name);
  if (book.settings.date1904) w.attr("date1904", "1");
  w.end();
  if (const auto& p = book.settings.protection) {
    w.start("workbookProtection");
    write_attributes(w, *p);
    w.end();
  }
  w.start("bookViews").start("workbookView").attr("activeTab", active).end().end();
  w.start("sheets");
  for (std::size_t i = 0; i < book.sheets.size(); ++i) {
    const memory::SheetData& s = *book.sheets[i];
    w.start("sheet").attr("name", s.name).attr("sheetId", i + 1);
    if (s.very_hidden) w.attr("state", "veryHidden");
    else if (s.hidden) w.attr("state", "hidden");
    w.attr("r:id", "rId" + std::to_string(i + 1)).end();
  }
  w.end();
  write_defined_names(w, book);
  // The application recalculates every formula on opening: values the
  // model could not compute are filled in, and stale ones corrected.
  w.start("calcPr").attr("calcId", 191029).attr("fullCalcOnLoad", "1").end();
  w.end();
  return w.take();
}

std::string workbook_rels_part(const PackageParts& parts) {
  XmlWriter w;
  w.start("Relationships").attr("xmlns", kPackageRelNs);
  std::size_t n = 0;
  for (const auto& sheet : parts.sheet_parts)
    relationship(w, "rId" + std::to_string(++n), "worksheet", sheet.substr(3));  // relative to xl/
  relationship(w, "rId" + std::to_string(++n), "theme", "theme/theme1.xml");
  relationship(w, "rId" + std::to_string(++n), "styles", "styles.xml");
  if (parts.shared_strings) relationship(w, "rId" + std::to_string(++n), "sharedStrings", "sharedStrings.xml");
  carried_links(w, n, "xl/workbook.xml", parts.book_links);
  w.end();
  return w.take();
}

std::string root_rels_part(const PackageParts& parts) {
  XmlWriter w;
  w.start("Relationships").attr("xmlns", kPackageRelNs);
  relationship(w, "rId1", "officeDocument", "xl/workbook.xml");
  w.start("Relationship").attr("Id", "rId2")
      .attr("Type", "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties")
      .attr("Target", "docProps/core.xml").end();
  relationship(w, "rId3", "extended-properties", "docProps/app.xml");
  if (parts.custom_properties) relationship(w, "rId4", "custom-properties", "docProps/custom.xml");
  carried_links(w, 4, "", parts.package_links);
  w.end();
  return w.take();
}

std::string content_types_part(const PackageParts& parts) {
  XmlWriter w;
  w.start("Types").attr("xmlns", kContentTypeNs);
  w.start("Default").attr("Extension", "rels").attr("ContentType", "application/vnd.openxmlformats-package.relationships+xml").end();
  w.start("Default").attr("Extension", "xml").attr("ContentType", "application/xml").end();
  override_type(w, "xl/workbook.xml", parts.macro_enabled ? "application/vnd.ms-excel.sheet.macroEnabled.main+xml"
                                                          : std::string(kSheetMl) + "sheet.main+xml");
  for (const auto& sheet : parts.sheet_parts) override_type(w, sheet, std::string(kSheetMl) + "worksheet+xml");
  override_type(w, "xl/theme/theme1.xml", "application/vnd.openxmlformats-officedocument.theme+xml");
  override_type(w, "xl/styles.xml", std::string(kSheetMl) + "styles+xml");
  if (parts.shared_strings) override_type(w, "xl/sharedStrings.xml", std::string(kSheetMl) + "sharedStrings+xml");
  for (const auto& [part, type] : parts.content_types) override_type(w, part, type);
  override_type(w, "docProps/core.xml", "application/vnd.openxmlformats-package.core-properties+xml");
  override_type(w, "docProps/app.xml", "application/vnd.openxmlformats-officedocument.extended-properties+xml");
  if (parts.custom_properties)
    override_type(w, "docProps/custom.xml", "application/vnd.openxmlformats-officedocument.custom-properties+xml");
  w.end();
  return w.take();
}

std::string core_properties_part(const memory::WorkbookData& book) {
  XmlWriter w;
  w.start("cp:coreProperties")
      .attr("xmlns:cp", "http://schemas.openxmlformats.org/package/2006/metadata/core-properties")
      .attr("xmlns:dc", "http://purl.org/dc/elements/1.1/")
      .attr("xmlns:dcterms", "http://purl.org/dc/terms/")
      .attr("xmlns:dcmitype", "http://purl.org/dc/dcmitype/")
      .attr("xmlns:xsi", "http://www.w3.org/2001/XMLSchema-instance");
  for (const auto& [name, text] : book.settings.core_properties) {
    // Names come from the reader, which spells them with these prefixes.
    if (name.rfind("dc:", 0) != 0 && name.rfind("cp:", 0) != 0 && name.rfind("dcterms:", 0) != 0) continue;
    if (name.find_first_of(" <>=\"'/&") != std::string::npos) continue;
    w.raw("<" + name + (name.rfind("dcterms:", 0) == 0 ? " xsi:type=\"dcterms:W3CDTF\">" : ">"));
    w.text(text);
    w.raw("</" + name + ">");
  }
  // The creation date is the workbook's (a workbook made here has none);
  // the save is its last modification.
  w.start("dcterms:modified").attr("xsi:type", "dcterms:W3CDTF").text(now_w3c()).end();
  w.end();
  return w.take();
}

std::string custom_properties_part(const memory::WorkbookData& book) {
  XmlWriter w;
  w.start("Properties")
      .attr("xmlns", "http://schemas.openxmlformats.org/officeDocument/2006/custom-properties")
      .attr("xmlns:vt", "http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes");
  // Property ids start at 2, as the format asks.
  int pid = 2;
  for (const auto& p : book.settings.custom_properties) {
    if (p.type.empty() || p.type.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789") != std::string::npos) continue;
    w.start("property").attr("fmtid", "{D5CDD505-2E9C-101B-9397-08002B2CF9AE}").attr("pid", pid++).attr("name", p.name);
    w.raw("<vt:" + p.type + ">");
    w.text(p.value);
    w.raw("</vt:" + p.type + ">");
    w.end();
  }
  w.end();
  return w.take();
}

std::string app_properties_part(const memory::WorkbookData& book) {
  XmlWriter w;
  w.start("Properties")
      .attr("xmlns", "http://schemas.openxmlformats.org/officeDocument/2006/extended-properties")
      .attr("xmlns:vt", "http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes");
  w.element("Application", "Microsoft Excel");
  w.element("DocSecurity", "0");
  w.element("ScaleCrop", "false");
  w.start("TitlesOfParts").start("vt:vector").attr("size", book.sheets.size()).attr("baseType", "lpstr");
  for (const auto& s : book.sheets) w.element("vt:lpstr", s->name);
  w.end().end();
  w.element("AppVersion", "12.0000");
  w.end();
  return w.take();
}

}  // namespace lczs::io::detail
