// What a file given as a workbook really is, told from its content: a
// teacher picks an .ods, a saved web page or a picture as readily as an
// .xlsx, and the name's extension says little (a school system's export
// named .xls is often a web page). Each kind says what to do with it.
#include <zip.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <string>
#include <string_view>

#include "io/internal.h"

namespace lczs::io::detail {

namespace {

// The first bytes read to tell a kind; enough for every signature below
// and for the opening tags of a web page after a long doctype.
constexpr std::size_t kHeadBytes = 4096;
// The most of a package's "mimetype" entry read (OpenDocument puts it
// first and stores it uncompressed).
constexpr zip_uint64_t kMaxMimetypeBytes = 256;

constexpr std::string_view kSaveAsXlsx = "请在电子表格程序中打开它，另存为“Excel 工作簿 (.xlsx)”后再试。";
constexpr std::string_view kNotATable =
    "请选择成绩所在的工作簿（.xlsx，或 .csv 文本）；要把其中的表格用作成绩，请先复制到电子表格程序中，保存为 .xlsx 后再试。";

struct Signature {
  std::string_view magic;
  std::size_t offset;
  std::string_view kind;
  std::string_view advice;
};

// Kinds told by bytes at a fixed place. Signatures of one or two bytes are
// left out: a text file may begin with them.
constexpr Signature kSignatures[] = {
    {"%PDF-", 0, "PDF 文档", kNotATable},
    {"\x89PNG\r\n\x1a\n", 0, "PNG 图片", kNotATable},
    {"\xFF\xD8\xFF", 0, "JPEG 图片", kNotATable},
    {"GIF87a", 0, "GIF 图片", kNotATable},
    {"GIF89a", 0, "GIF 图片", kNotATable},
    {std::string_view("II*\0", 4), 0, "TIFF 图片", kNotATable},
    {std::string_view("MM\0*", 4), 0, "TIFF 图片", kNotATable},
    {"ftypheic", 4, "HEIC 图片（手机照片）", kNotATable},
    {"ftypmif1", 4, "HEIF 图片（手机照片）", kNotATable},
    {"Rar!\x1A\x07", 0, "RAR 压缩包", "请先解压，再选择其中的 .xlsx 工作簿。"},
    {"7z\xBC\xAF\x27\x1C", 0, "7z 压缩包", "请先解压，再选择其中的 .xlsx 工作簿。"},
    {"\x1F\x8B\x08", 0, "gzip 压缩文件", "请先解压，再选择其中的 .xlsx 工作簿。"},
    {"{\\rtf", 0, "RTF 文档", kNotATable},
};

bool at(std::string_view bytes, std::size_t offset, std::string_view magic) {
  return bytes.size() >= offset + magic.size() && bytes.substr(offset, magic.size()) == magic;
}

// A Windows bitmap: "BM", then a header whose size is one of the known
// ones. "BM" alone begins many a text ("BMI,...").
bool is_bitmap(std::string_view b) {
  if (!at(b, 0, "BM") || b.size() < 18) return false;
  auto byte = [&](std::size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(b[i])); };
  unsigned header = byte(14) | byte(15) << 8 | byte(16) << 16 | byte(17) << 24;
  bool reserved_zero = byte(6) == 0 && byte(7) == 0 && byte(8) == 0 && byte(9) == 0;
  return reserved_zero && (header == 12 || header == 40 || header == 52 || header == 56 || header == 108 ||
                           header == 124);
}

std::string lowercase(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

// A web page or an XML spreadsheet, as export functions write them under
// the name .xls: text whose first tag tells.
std::string markup_kind(std::string_view head) {
  std::size_t i = at(head, 0, "\xEF\xBB\xBF") ? 3 : 0;
  while (i < head.size() && std::isspace(static_cast<unsigned char>(head[i]))) ++i;
  if (i >= head.size() || head[i] != '<') return "";
  const std::string text = lowercase(head.substr(i));
  if (text.find("urn:schemas-microsoft-com:office:spreadsheet") != std::string::npos)
    return "Excel 2003 XML 表格";
  for (const char* tag : {"<!doctype html", "<html", "<table"})
    if (text.find(tag) != std::string::npos) return "网页（HTML）";
  return "";
}

// A compound file of the Office 97-2003 programs: its directory names the
// streams in UTF-16.
std::string compound_kind(const std::string& path) {
  const std::string bytes = read_file_bytes(path);
  auto has = [&](std::string_view name) {
    std::string wide;
    for (char c : name) {
      wide += c;
      wide += '\0';
    }
    return bytes.find(wide) != std::string::npos;
  };
  if (has("WordDocument")) return "Word 97-2003 文档（.doc）";
  if (has("PowerPoint Document")) return "PowerPoint 97-2003 演示文稿（.ppt）";
  return "";
}

// A zip package that is no .xlsx: an OpenDocument file, another Office
// file, a binary workbook, or a plain archive. "" for what may be an .xlsx
// (the reader then tells what is wrong with it).
std::string package_kind(const std::string& path, std::string& advice) {
  int error = 0;
  zip_t* za = zip_open(path.c_str(), ZIP_RDONLY, &error);
  if (za == nullptr) return "";
  auto has = [&](const char* name) { return zip_name_locate(za, name, 0) >= 0; };
  std::string mimetype;
  if (zip_file_t* f = zip_fopen(za, "mimetype", 0)) {
    char buf[kMaxMimetypeBytes];
    zip_int64_t n = zip_fread(f, buf, sizeof buf);
    if (n > 0) mimetype.assign(buf, static_cast<std::size_t>(n));
    zip_fclose(f);
  }
  std::string kind;
  advice = std::string(kSaveAsXlsx);
  if (mimetype.rfind("application/vnd.oasis.opendocument.spreadsheet", 0) == 0) {
    kind = "OpenDocument 电子表格（.ods）";
    advice = "请在 LibreOffice、WPS 或 Excel 中打开它，另存为“Excel 工作簿 (.xlsx)”后再试。";
  } else if (mimetype.rfind("application/vnd.oasis.opendocument.", 0) == 0) {
    kind = "OpenDocument 文档（不是电子表格）";
    advice = std::string(kNotATable);
  } else if (has("xl/workbook.bin")) {
    kind = "Excel 二进制工作簿（.xlsb）";
  } else if (has("word/document.xml")) {
    kind = "Word 文档（.docx）";
    advice = std::string(kNotATable);
  } else if (has("ppt/presentation.xml")) {
    kind = "PowerPoint 演示文稿（.pptx）";
    advice = std::string(kNotATable);
  } else if (!has("[Content_Types].xml") && !has("xl/workbook.xml")) {
    kind = "zip 压缩包";
    advice = "请先解压，再选择其中的 .xlsx 工作簿。";
  }
  zip_discard(za);
  return kind;
}

}  // namespace

std::string foreign_file_text(const std::string& path) {
  std::string head(kHeadBytes, '\0');
  {
    std::ifstream in(path, std::ios::binary);
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
  }
  std::string kind, advice;
  for (const Signature& s : kSignatures)
    if (at(head, s.offset, s.magic)) {
      kind = s.kind;
      advice = s.advice;
      break;
    }
  if (kind.empty() && (is_bitmap(head) || (at(head, 0, "RIFF") && at(head, 8, "WEBP")))) {
    kind = is_bitmap(head) ? "BMP 图片" : "WebP 图片";
    advice = kNotATable;
  }
  if (kind.empty() && at(head, 0, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) {
    kind = compound_kind(path);
    advice = kNotATable;
  }
  if (kind.empty() && (at(head, 0, "PK\x03\x04") || at(head, 0, "PK\x05\x06")))
    kind = package_kind(path, advice);
  if (kind.empty()) {
    kind = markup_kind(head);
    advice = kSaveAsXlsx;
  }
  if (kind.empty()) return "";
  return "无法读取文件“" + path + "”：它是" + kind + "，不是本程序能读的工作簿。" + advice;
}

}  // namespace lczs::io::detail
