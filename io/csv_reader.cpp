// Reading .csv: one sheet named after the file. Text is UTF-8 when it is
// valid UTF-8 throughout (with or without BOM), UTF-16 with a BOM, and
// GB18030 (which covers GBK) when it decodes cleanly throughout. Anything
// else is refused naming the line and byte where it goes wrong: a file
// read in the wrong encoding gives garbage headers that the jobs would
// take at their word.
#include <csv.h>
#include <unicode/ucnv.h>
#include <unicode/ustring.h>

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

[[noreturn]] void refuse(const std::string& path, const std::string& what) {
  throw FileError("无法读取文件“" + path + "”：" + what);
}

// "第 3 行第 17 个字节（0xFF）": where byte `offset` of the file lies, lines
// counted by the newlines before it in code units of `unit` bytes.
std::string place(std::string_view file, std::size_t offset, std::size_t unit = 1) {
  std::size_t line = 1, line_start = 0;
  for (std::size_t i = 0; i + unit <= offset; i += unit) {
    bool newline = unit == 1 ? file[i] == '\n'
                             : (file[i] == '\n' && file[i + 1] == '\0') || (file[i] == '\0' && file[i + 1] == '\n');
    if (newline) ++line, line_start = i + unit;
  }
  static const char kHex[] = "0123456789ABCDEF";
  unsigned char c = offset < file.size() ? static_cast<unsigned char>(file[offset]) : 0;
  return "第 " + std::to_string(line) + " 行第 " + std::to_string(offset - line_start + 1) + " 个字节（0x" +
         kHex[c >> 4] + kHex[c & 15] + "）";
}

// Decodes `bytes` to UTF-8, stopping at the first sequence the encoding
// does not have; nullopt with `bad` set to its offset then.
std::optional<std::string> decode(std::string_view bytes, const char* from, std::size_t& bad) {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* conv = ucnv_open(from, &status);
  if (U_FAILURE(status)) throw std::bad_alloc();
  std::unique_ptr<UConverter, void (*)(UConverter*)> owner(conv, ucnv_close);
  ucnv_setToUCallBack(conv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  // Every encoding here makes at most one UTF-16 unit of each byte.
  std::u16string units(bytes.size() + 1, u'\0');
  UChar* target = units.data();
  const char* source = bytes.data();
  ucnv_toUnicode(conv, &target, units.data() + units.size(), &source, bytes.data() + bytes.size(), nullptr, true,
                 &status);
  if (U_FAILURE(status)) {
    char invalid[32];
    int8_t len = sizeof invalid;
    UErrorCode ignored = U_ZERO_ERROR;
    ucnv_getInvalidChars(conv, invalid, &len, &ignored);
    bad = static_cast<std::size_t>(source - bytes.data()) - static_cast<std::size_t>(std::max<int8_t>(len, 0));
    return std::nullopt;
  }
  int32_t n = static_cast<int32_t>(target - units.data());
  std::string out(static_cast<std::size_t>(n) * 3, '\0');
  int32_t written = 0;
  status = U_ZERO_ERROR;
  u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &written, units.data(), n, &status);
  if (U_FAILURE(status)) throw std::bad_alloc();
  out.resize(static_cast<std::size_t>(written));
  return out;
}

// The first byte that is not part of valid UTF-8 (npos when there is none),
// and whether the text looks like UTF-8 with a few bad bytes rather than
// another encoding: its valid multi-byte sequences far outnumber its bad
// bytes, which almost never happens in GB18030 text.
struct Utf8Survey {
  std::size_t first_bad = std::string_view::npos;
  bool mostly_utf8 = false;
};

Utf8Survey survey_utf8(std::string_view s) {
  Utf8Survey r;
  std::size_t good = 0, bad = 0;
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (len == 1) {
      ++i;
      continue;
    }
    if (len != 0 && i + len <= s.size() && detail::valid_utf8(s.substr(i, len))) {
      ++good;
      i += len;
      continue;
    }
    if (r.first_bad == std::string_view::npos) r.first_bad = i;
    ++bad;
    ++i;
  }
  r.mostly_utf8 = good > 4 * bad;
  return r;
}

std::string text_of(std::string_view bytes, const std::string& path) {
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    Utf8Survey u = survey_utf8(bytes.substr(3));
    if (u.first_bad != std::string_view::npos)
      refuse(path, "文件标明为 UTF-8 编码，但" + place(bytes, u.first_bad + 3) + "不是有效的 UTF-8");
    return std::string(bytes.substr(3));
  }
  if (bytes.size() >= 2 && (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF")) {
    std::size_t bad = 0;
    auto text = decode(bytes.substr(2), bytes[0] == '\xFF' ? "UTF-16LE" : "UTF-16BE", bad);
    if (!text) refuse(path, "文件标明为 UTF-16 编码，但" + place(bytes, bad + 2, 2) + "不是有效的 UTF-16");
    return *text;
  }
  // A NUL is no text character: most likely UTF-16 saved without its mark,
  // which no reading can tell from other text for sure.
  if (std::size_t nul = bytes.find('\0'); nul != std::string_view::npos)
    refuse(path, place(bytes, nul) + "是空字符：文件可能是没有 BOM 的 UTF-16 文本。请另存为 UTF-8 编码的 CSV 后再试");
  Utf8Survey u = survey_utf8(bytes);
  if (u.first_bad == std::string_view::npos) return std::string(bytes);
  if (u.mostly_utf8)
    refuse(path, "文件是 UTF-8 编码，但" + place(bytes, u.first_bad) + "不是有效的 UTF-8（文件可能已损坏）");
  std::size_t bad = 0;
  auto text = decode(bytes, "GB18030", bad);
  if (!text)
    refuse(path, "文字编码无法识别：既不是有效的 UTF-8，也不是 GB18030/GBK（" + place(bytes, bad) +
                     "）。请另存为 UTF-8 编码的 CSV 后再试");
  return *text;
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
  // Physical lines, which quoted fields may span: where an unterminated
  // quote began.
  int line = 1;
  int row_line = 1;  // where the current row began
  bool row_has_fields = false;
  int last_term = -1;
  std::string error;

  void field(const char* data, std::size_t len) {
    if (!error.empty()) return;
    row_has_fields = true;
    for (std::size_t i = 0; i < len; ++i)
      if (data[i] == '\n' || (data[i] == '\r' && (i + 1 == len || data[i + 1] != '\n'))) ++line;
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
    ++line;
    row_line = line;
    ++row;
    col = 1;
    row_has_fields = false;
  }
};

// Where a quote that libcsv found open at the end went wrong, scanning
// from the start of `line` (1-based), where that field's row began. Text
// after a closing quote ("张三"丰,) makes libcsv take the quote as part of
// the field, which then runs on to the end. "" when the quote truly never
// closes.
std::string misquoted(std::string_view text, int line, char delim) {
  std::size_t i = 0;
  for (int l = 1; l < line && i < text.size(); ++i)
    if (text[i] == '\n') ++l;
  int at = line;
  bool field_start = true;
  while (i < text.size()) {
    char c = text[i];
    if (field_start && c == '"') {
      for (++i; i < text.size(); ++i) {
        if (text[i] == '\n') ++at;
        if (text[i] != '"') continue;
        if (i + 1 < text.size() && text[i + 1] == '"') {
          ++i;  // a doubled quote stands for one
          continue;
        }
        break;
      }
      if (i >= text.size()) return "";
      ++i;
      if (i < text.size() && text[i] != delim && text[i] != '\n' && text[i] != '\r') {
        std::size_t end = text.find_first_of(std::string{delim, '\n', '\r'}, i);
        std::string after(text.substr(i, std::min<std::size_t>(end == std::string_view::npos ? text.size() - i : end - i, 30)));
        return "第 " + std::to_string(at) + " 行有一个字段在结束它的引号之后还有文字“" + after +
               "”（一个字段要么整个在引号内、其中的引号写成两个 \"\"，要么不用引号）";
      }
      field_start = false;
      continue;
    }
    field_start = c == delim || c == '\n' || c == '\r';
    if (c == '\n') ++at;
    ++i;
  }
  return "";
}

void on_field(void* data, std::size_t len, void* p) {
  static_cast<Parse*>(p)->field(static_cast<const char*>(data), len);
}
void on_row(int term, void* p) { static_cast<Parse*>(p)->end_row(term); }
int no_space(unsigned char) { return 0; }

}  // namespace

WorkbookData read_csv_bytes(std::string_view bytes, const std::string& path) {
  std::string text = text_of(bytes, path);

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
  // A quote left open would swallow the rest of the file as one field.
  // libcsv tells so only in its strict mode, which also refuses quotes
  // inside unquoted fields (5"3) that the application takes literally; its
  // state is public: still inside a field that began with a quote.
  constexpr int kInsideField = 2;
  bool open_quote = ok && state.error.empty() && parser.quoted != 0 && parser.pstate == kInsideField;
  if (ok && state.error.empty() && !open_quote) csv_fini(&parser, on_field, on_row, &state);
  int err = csv_error(&parser);
  csv_free(&parser);
  if (!state.error.empty()) refuse(path, state.error);
  if (open_quote) {
    std::string why = misquoted(text, state.row_line, tabs ? '\t' : ',');
    refuse(path, !why.empty() ? why
                              : "第 " + std::to_string(state.line) + " 行开始的引号没有结束（到文件末尾都没有配对的引号）");
  }
  if (!ok) refuse(path, err == CSV_ENOMEM ? "内存不足" : "CSV 格式错误");

  book.sheets.push_back(std::move(sheet));
  book.sheets[0]->view.tab_selected = true;
  book.active_sheet = 0;
  book.path = path;
  return book;
}

WorkbookData read_csv(const std::string& path) { return read_csv_bytes(detail::read_file_bytes(path), path); }

}  // namespace lczs::io
