// Reading .csv: one sheet named after the file. Text is UTF-8 when it is
// valid UTF-8 (with or without BOM), UTF-16 with a BOM, and GB18030 (which
// covers GBK) otherwise.
#include <csv.h>
#include <unicode/ucnv.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>

#include "host/numbers.h"
#include "io/internal.h"
#include "io/io.h"

namespace lczs::io {

using memory::Cell;
using memory::SheetData;
using memory::WorkbookData;

namespace {

std::string convert(std::string_view bytes, const char* from, const std::string& path) {
  UErrorCode status = U_ZERO_ERROR;
  // UTF-8 takes at most 3 bytes for each 2 bytes of GB18030 or UTF-16 text,
  // and 4 for each 4.
  std::string out(bytes.size() * 2 + 16, '\0');
  int32_t n = ucnv_convert("UTF-8", from, out.data(), static_cast<int32_t>(out.size()), bytes.data(),
                           static_cast<int32_t>(bytes.size()), &status);
  if (U_FAILURE(status)) throw FileError("无法读取文件“" + path + "”：文字编码无法识别（既不是 UTF-8 也不是 GB18030/GBK）");
  out.resize(static_cast<std::size_t>(n));
  return out;
}

// A field the application would take as a number when opening the file:
// plain decimals with optional sign, point and exponent. Longer digit runs
// than a number can hold (identity card numbers) stay text.
std::optional<double> csv_number(const std::string& s) {
  if (auto v = host::parse_user_number(s)) {
    std::size_t digits = 0;
    bool leading = true;
    for (char c : s) {
      if (c >= '0' && c <= '9') {
        if (c != '0' || !leading) ++digits, leading = false;
      }
    }
    if (digits > 15) return std::nullopt;
    return v;
  }
  // Exponent form, "1.5E+3".
  std::string_view t = s;
  while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
  while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
  if (t.find_first_of("eE") == std::string_view::npos) return std::nullopt;
  if (!t.empty() && t.front() == '+') t.remove_prefix(1);
  double v = 0;
  auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v, std::chars_format::scientific);
  if (ec != std::errc() || p != t.data() + t.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

struct Parse {
  SheetData* sheet = nullptr;
  const std::string* path = nullptr;
  int row = 1;
  int col = 1;
  bool row_has_fields = false;
  int last_term = -1;
  std::string error;

  void field(const char* data, std::size_t len) {
    if (!error.empty()) return;
    row_has_fields = true;
    if (col > host::kMaxCols) {
      error = "第 " + std::to_string(row) + " 行的列数超过上限（" + std::to_string(host::kMaxCols) + " 列）";
      return;
    }
    if (row > host::kMaxRows) {
      error = "行数超过上限（" + std::to_string(host::kMaxRows) + " 行）";
      return;
    }
    if (len > 0) {
      std::string text(data, len);
      if (detail::utf8_length(text) > static_cast<std::size_t>(host::kMaxCellTextLength)) {
        error = "第 " + std::to_string(row) + " 行的字段超过 " + std::to_string(host::kMaxCellTextLength) + " 个字符";
        return;
      }
      Cell cell;
      if (auto v = csv_number(text)) cell.value = host::Value::number(*v);
      else cell.value = host::Value::text(std::move(text));
      sheet->put(row, col, std::move(cell));
    }
    ++col;
  }

  void end_row(int term) {
    // "\r\n" ends one row, not two.
    bool crlf_tail = term == '\n' && last_term == '\r' && !row_has_fields;
    last_term = term;
    if (crlf_tail) return;
    ++row;
    col = 1;
    row_has_fields = false;
  }
};

void on_field(void* data, std::size_t len, void* p) {
  static_cast<Parse*>(p)->field(static_cast<const char*>(data), len);
}
void on_row(int term, void* p) { static_cast<Parse*>(p)->end_row(term); }
int no_space(unsigned char) { return 0; }

}  // namespace

WorkbookData read_csv_bytes(std::string_view bytes, const std::string& path) {
  std::string text;
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    bytes.remove_prefix(3);
    if (!detail::valid_utf8(bytes)) throw FileError("无法读取文件“" + path + "”：文件标明为 UTF-8 编码，但内容不是有效的 UTF-8");
    text = std::string(bytes);
  } else if (bytes.size() >= 2 && (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF")) {
    text = convert(bytes.substr(2), bytes[0] == '\xFF' ? "UTF-16LE" : "UTF-16BE", path);
  } else if (detail::valid_utf8(bytes)) {
    text = std::string(bytes);
  } else {
    text = convert(bytes, "GB18030", path);
  }

  WorkbookData book;
  auto sheet = std::make_unique<SheetData>();
  sheet->name = detail::clean_sheet_name(std::filesystem::path(path).stem().string());

  // Tab-separated text (what the application saves as "Unicode text") when
  // the first line has tabs and no commas.
  std::string_view first(text.data(), std::min(text.find('\n'), text.size()));
  bool tabs = first.find('\t') != std::string_view::npos && first.find(',') == std::string_view::npos;

  csv_parser parser;
  if (csv_init(&parser, CSV_REPALL_NL) != 0) throw FileError("无法读取文件“" + path + "”：内存不足");
  csv_set_space_func(&parser, no_space);
  if (tabs) csv_set_delim(&parser, CSV_TAB);
  Parse state;
  state.sheet = sheet.get();
  state.path = &path;
  // Fed in blocks so that a file that goes wrong stops early.
  constexpr std::size_t kBlock = 1 << 16;
  bool ok = true;
  for (std::size_t i = 0; i < text.size() && state.error.empty(); i += kBlock) {
    std::size_t len = std::min(kBlock, text.size() - i);
    if (csv_parse(&parser, text.data() + i, len, on_field, on_row, &state) != len) {
      ok = false;
      break;
    }
  }
  if (ok && state.error.empty()) csv_fini(&parser, on_field, on_row, &state);
  int err = csv_error(&parser);
  csv_free(&parser);
  if (!state.error.empty()) throw FileError("无法读取文件“" + path + "”：" + state.error);
  if (!ok) throw FileError("无法读取文件“" + path + "”：" + (err == CSV_ENOMEM ? "内存不足" : "CSV 格式错误"));

  book.sheets.push_back(std::move(sheet));
  book.sheets[0]->view.tab_selected = true;
  book.active_sheet = 0;
  book.path = path;
  return book;
}

WorkbookData read_csv(const std::string& path) { return read_csv_bytes(detail::read_file_bytes(path), path); }

}  // namespace lczs::io
