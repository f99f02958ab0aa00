// Writing .xlsx: the model's parts made by the part writers (io/parts.h)
// and packed by PackageWriter; the save (io/save.cpp) puts the bytes in
// place. Each sheet's XML is made only while it is compressed, so a large
// workbook is not held twice in memory.
#include <algorithm>
#include <vector>

#include "io/carried.h"
#include "io/internal.h"
#include "io/io.h"
#include "io/package_writer.h"
#include "io/parts.h"

namespace lczs::io {

using memory::SheetData;
using memory::WorkbookData;

namespace {

[[noreturn]] void fail(const std::string& path, const std::string& what) {
  throw host::SaveError("无法保存文件“" + path + "”：" + what);
}

void check_sheet_names(const WorkbookData& book, const std::string& path) {
  std::vector<std::string> seen;
  for (const auto& s : book.sheets) {
    const std::string& n = s->name;
    if (n.empty() || detail::utf8_length(n) > static_cast<std::size_t>(host::kMaxSheetNameLength) ||
        n.find_first_of(":\\/?*[]") != std::string::npos || n.front() == '\'' || n.back() == '\'' ||
        !detail::valid_utf8(n))
      fail(path, "工作表名称“" + n + "”无效");
    std::string key;
    for (char c : n) key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (std::find(seen.begin(), seen.end(), key) != seen.end()) fail(path, "工作表名称“" + n + "”重复");
    seen.push_back(key);
  }
}

// The active sheet as the file can have it: a visible one.
int visible_active(const WorkbookData& book, const std::string& path) {
  int active = book.active_sheet;
  if (active >= 0 && active < static_cast<int>(book.sheets.size()) && !book.sheets[active]->hidden) return active;
  for (std::size_t i = 0; i < book.sheets.size(); ++i)
    if (!book.sheets[i]->hidden) return static_cast<int>(i);
  fail(path, "工作簿中没有可见的工作表");
}

}  // namespace

// The whole .xlsx package of `book`.
detail::MadePackage detail::make_package(const WorkbookData& book, const std::string& path) {
  if (book.sheets.empty()) fail(path, "工作簿中没有工作表");
  check_sheet_names(book, path);
  int active = visible_active(book, path);

  detail::PartNames names;
  for (const char* fixed : {"[Content_Types].xml", "_rels/.rels", "docProps/app.xml", "docProps/core.xml",
                            "docProps/custom.xml", "xl/workbook.xml", "xl/_rels/workbook.xml.rels",
                            "xl/theme/theme1.xml", "xl/styles.xml", "xl/sharedStrings.xml"})
    names.take(fixed);
  detail::PackageParts parts;
  parts.macro_enabled = detail::macro_enabled_name(path);
  // Carried parts keep their names; the parts made here take free ones.
  detail::CarriedPlan carried = detail::plan_carried(book, parts.macro_enabled, names);
  parts.package_links = carried.package_links;
  parts.book_links = carried.book_links;
  parts.content_types = carried.content_types;
  for (std::size_t i = 0; i < book.sheets.size(); ++i)
    parts.sheet_parts.push_back(names.fresh("xl/worksheets/sheet", ".xml", static_cast<int>(i) + 1));
  // Whether there are shared strings is known only once the sheets are
  // written; the table is always written, empty if need be.
  parts.shared_strings = true;
  parts.custom_properties = !book.settings.custom_properties.empty();

  // Each sheet's relationships: its carried links, and the drawing of the
  // charts made here with the drawing's own parts.
  std::vector<std::pair<std::string, std::string>> made;  // name, content
  std::vector<detail::Relationships> sheet_rels(book.sheets.size());
  std::vector<detail::SheetLinks> links(book.sheets.size());
  int vml_block = 1;
  for (std::size_t i = 0; i < book.sheets.size(); ++i) {
    for (const auto& l : carried.sheet_links[i]) sheet_rels[i].keep(l.id, l.type, l.target, l.external);
    // What belongs to cells: comments with the drawing of their boxes,
    // and hyperlinks out.
    detail::SheetLinks& own = links[i];
    detail::collect_attachments(*book.sheets[i], own);
    if (!own.comments.empty()) {
      std::string comments = names.fresh("xl/comments", ".xml");
      std::string boxes = names.fresh("xl/drawings/vmlDrawing", ".vml");
      sheet_rels[i].add(std::string(detail::kRelTypes) + "comments", comments);
      own.legacy_drawing = sheet_rels[i].add(std::string(detail::kRelTypes) + "vmlDrawing", boxes);
      parts.content_types.emplace_back(comments, "application/vnd.openxmlformats-officedocument.spreadsheetml.comments+xml");
      parts.content_types.emplace_back(boxes, "application/vnd.openxmlformats-officedocument.vmlDrawing");
      made.emplace_back(comments, detail::comments_part(own.comments));
      made.emplace_back(boxes, detail::comment_boxes_part(*book.sheets[i], own.comments, vml_block, vml_block));
    }
    for (auto& h : own.hyperlinks)
      if (!h.link->address.empty()) h.rel = sheet_rels[i].add(std::string(detail::kRelTypes) + "hyperlink", h.link->address, true);
    const auto& charts = book.sheets[i]->charts;
    if (charts.empty()) continue;
    std::string drawing = names.fresh("xl/drawings/drawing", ".xml");
    sheet_rels[i].keep(std::string(detail::kSheetDrawingRelId), std::string(detail::kRelTypes) + "drawing", drawing);
    parts.content_types.emplace_back(drawing, "application/vnd.openxmlformats-officedocument.drawing+xml");
    made.emplace_back(drawing, detail::drawing_part(charts));
    std::vector<std::string> targets;
    for (const host::Chart& c : charts) {
      std::string chart = names.fresh("xl/charts/chart", ".xml");
      parts.content_types.emplace_back(chart, "application/vnd.openxmlformats-officedocument.drawingml.chart+xml");
      made.emplace_back(chart, detail::chart_part(book, c));
      targets.push_back(detail::relative_target(drawing, chart));
    }
    made.emplace_back(detail::rels_name(drawing), detail::drawing_rels_part(targets));
  }

  detail::StyleTable styles(book.formats, path);
  detail::StringTable strings;
  detail::PackageWriter pkg(path);
  pkg.add("[Content_Types].xml", detail::content_types_part(parts));
  pkg.add("_rels/.rels", detail::root_rels_part(parts));
  pkg.add("docProps/app.xml", detail::app_properties_part(book));
  pkg.add("docProps/core.xml", detail::core_properties_part(book));
  if (parts.custom_properties) pkg.add("docProps/custom.xml", detail::custom_properties_part(book));
  pkg.add("xl/workbook.xml", detail::workbook_part(book, active));
  pkg.add("xl/_rels/workbook.xml.rels", detail::workbook_rels_part(parts));
  pkg.add("xl/theme/theme1.xml", detail::theme_part());
  // Parts are made in the order they were added: the sheets fill the style
  // and string tables that the last two parts write out.
  for (std::size_t i = 0; i < book.sheets.size(); ++i) {
    const SheetData& sheet = *book.sheets[i];
    bool selected = static_cast<int>(i) == active || (sheet.view.tab_selected && !sheet.hidden);
    const detail::SheetLinks& own = links[i];
    pkg.add_pieces(parts.sheet_parts[i], [&sheet, selected, &own, &styles, &strings, &path](const detail::PieceSink& put) {
      return detail::sheet_part(sheet, selected, own, styles, strings, path, put);
    });
    if (!sheet_rels[i].empty())
      pkg.add(detail::rels_name(parts.sheet_parts[i]), sheet_rels[i].part(parts.sheet_parts[i]));
  }
  for (auto& [name, content] : made) pkg.add(name, std::move(content));
  if (!carried.copies.empty() && !book.carried.archive) fail(path, "原文件的图片、图表等部件已不在内存中");
  for (const auto& [name, from] : carried.copies) pkg.add_copy(name, *book.carried.archive, from);
  pkg.add_lazy("xl/styles.xml", [&styles] { return styles.part(); });
  pkg.add_lazy("xl/sharedStrings.xml", [&strings] { return strings.part(); });
  return pkg.finish();
}

}  // namespace lczs::io
