// Writing .xlsx: the model's parts made by the part writers (io/parts.h)
// and packed by PackageWriter; the save (io/save.cpp) puts the bytes in
// place. Each sheet's XML is made only while it is compressed, so a large
// workbook is not held twice in memory.
#include <algorithm>
#include <vector>

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

  detail::PackageParts parts;
  for (std::size_t i = 0; i < book.sheets.size(); ++i)
    parts.sheet_parts.push_back("xl/worksheets/sheet" + std::to_string(i + 1) + ".xml");
  // Whether there are shared strings is known only once the sheets are
  // written; the table is always written, empty if need be.
  parts.shared_strings = true;
  parts.custom_properties = !book.settings.custom_properties.empty();
  for (const auto& s : book.sheets) {
    if (s->charts.empty()) continue;
    ++parts.drawings;
    parts.charts += static_cast<int>(s->charts.size());
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
    pkg.add_pieces(parts.sheet_parts[i], [&sheet, selected, &styles, &strings, &path](const detail::PieceSink& put) {
      return detail::sheet_part(sheet, selected, styles, strings, path, put);
    });
  }
  int drawing = 0, chart = 0;
  for (std::size_t i = 0; i < book.sheets.size(); ++i) {
    const auto& charts = book.sheets[i]->charts;
    if (charts.empty()) continue;
    const std::string n = std::to_string(++drawing);
    pkg.add("xl/worksheets/_rels/sheet" + std::to_string(i + 1) + ".xml.rels", detail::sheet_rels_part(drawing));
    pkg.add("xl/drawings/drawing" + n + ".xml", detail::drawing_part(charts));
    pkg.add("xl/drawings/_rels/drawing" + n + ".xml.rels", detail::drawing_rels_part(chart + 1, charts.size()));
    for (const host::Chart& c : charts)
      pkg.add("xl/charts/chart" + std::to_string(++chart) + ".xml", detail::chart_part(book, c));
  }
  pkg.add_lazy("xl/styles.xml", [&styles] { return styles.part(); });
  pkg.add_lazy("xl/sharedStrings.xml", [&strings] { return strings.part(); });
  return pkg.finish();
}

}  // namespace lczs::io
