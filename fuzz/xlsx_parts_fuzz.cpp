// The .xlsx reader behind a valid container: the input is a worksheet, a
// style sheet, a shared string table and (optionally) a workbook part
// separated by "\n=====\n", packed into a zip with the other parts fixed, so
// that mutations reach the XML readers instead of failing the zip checksums.
#include <zip.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "io/io.h"

namespace {

constexpr std::string_view kRels =
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
    "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>";
constexpr std::string_view kWorkbookRels =
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
    "worksheet\" Target=\"worksheets/sheet1.xml\"/>"
    "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
    "styles\" Target=\"styles.xml\"/>"
    "<Relationship Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
    "sharedStrings\" Target=\"sharedStrings.xml\"/></Relationships>";
constexpr std::string_view kWorkbook =
    "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
    "<sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";

std::string zip_of(const std::vector<std::pair<std::string, std::string>>& parts) {
  zip_error_t err;
  zip_error_init(&err);
  zip_source_t* src = zip_source_buffer_create(nullptr, 0, 0, &err);
  std::string out;
  if (src == nullptr) return out;
  zip_source_keep(src);
  zip_t* za = zip_open_from_source(src, ZIP_TRUNCATE, &err);
  if (za == nullptr) {
    zip_source_free(src);
    return out;
  }
  for (const auto& [name, data] : parts) {
    zip_source_t* s = zip_source_buffer(za, data.data(), data.size(), 0);
    zip_int64_t i = zip_file_add(za, name.c_str(), s, ZIP_FL_ENC_UTF_8);
    if (i >= 0) zip_set_file_compression(za, static_cast<zip_uint64_t>(i), ZIP_CM_STORE, 0);
  }
  if (zip_close(za) == 0 && zip_source_open(src) == 0) {
    char buf[65536];
    zip_int64_t n;
    while ((n = zip_source_read(src, buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
    zip_source_close(src);
  }
  zip_source_free(src);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view in(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> xml;
  while (xml.size() < 3) {
    auto cut = in.find("\n=====\n");
    if (cut == std::string_view::npos) break;
    xml.emplace_back(in.substr(0, cut));
    in.remove_prefix(cut + 7);
  }
  xml.emplace_back(in);
  std::vector<std::pair<std::string, std::string>> parts = {
      {"_rels/.rels", std::string(kRels)},
      {"xl/workbook.xml", xml.size() > 3 ? xml[3] : std::string(kWorkbook)},
      {"xl/_rels/workbook.xml.rels", std::string(kWorkbookRels)},
      {"xl/worksheets/sheet1.xml", xml[0]}};
  if (xml.size() > 1) parts.emplace_back("xl/styles.xml", xml[1]);
  if (xml.size() > 2) parts.emplace_back("xl/sharedStrings.xml", xml[2]);
  std::string bytes = zip_of(parts);
  try {
    lczs::io::read_xlsx_bytes(bytes, "fuzz.xlsx");
  } catch (const lczs::io::FileError&) {
  }
  return 0;
}
