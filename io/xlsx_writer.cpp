// Writing .xlsx with libxlsxwriter.
//
// libxlsxwriter has its own ideas about a few things; each is steered here
// so that the file shows what the model holds:
//   - it writes an unset font colour as theme colour 1: automatic colour is
//     written as indexed colour 64 instead, on every font;
//   - it stores "0.00" and friends as custom formats: built-in codes go by
//     their built-in id;
//   - it pads a column width by 5 pixels of cell margin: the model holds the
//     width the user sees, which is exactly what it expects;
//   - a cell without format takes its row's or column's format, as in the
//     application;
//   - it always asks the application to recalculate on load (fullCalcOnLoad),
//     which also covers a workbook whose formula values are stale;
//   - it compresses at zlib's default level, with no option to change it:
//     while a workbook is written, deflateInit2_ below asks for the fastest
//     level instead (files about a quarter larger, written twice as fast).
#include <dlfcn.h>
#include <fcntl.h>
#include <zlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>
#include <vector>

#include <xlsxwriter.h>

#include "io/internal.h"
#include "io/io.h"

namespace {
// Set while this thread writes a workbook.
thread_local bool fast_deflate = false;
}  // namespace

// Interposes zlib's deflateInit2_ for the process (an executable's symbol
// comes before a shared library's), so that libxlsxwriter's zip writer gets
// the level we want; every other caller, and every call outside write_xlsx,
// gets zlib unchanged.
extern "C" int deflateInit2_(z_streamp strm, int level, int method, int window_bits, int mem_level,
                             int strategy, const char* version, int stream_size) {
  using Fn = int (*)(z_streamp, int, int, int, int, int, const char*, int);
  static const Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "deflateInit2_"));
  if (real == nullptr) return Z_VERSION_ERROR;
  if (fast_deflate && level != 0) level = Z_BEST_SPEED;
  return real(strm, level, method, window_bits, mem_level, strategy, version, stream_size);
}

namespace lczs::io {

using memory::Cell;
using memory::Color;
using memory::Font;
using memory::Format;
using memory::FormatId;
using memory::SheetData;
using memory::WorkbookData;

namespace {

constexpr double kLxwDefaultRowHeight = 15;  // LXW_DEF_ROW_HEIGHT
constexpr int kMaxRowBreaks = 1023;          // the application's limit per sheet

// Row heights the application derives from the standard font by itself; a
// sheet whose default is one of them needs no custom default height.
bool natural_row_height(double h) { return h == 13.5 || h == 14.25 || h == 15; }

[[noreturn]] void fail(const std::string& path, const std::string& what) {
  throw host::SaveError("无法保存文件“" + path + "”：" + what);
}

// Text as the file must hold it: invalid UTF-8 (which would make the file
// unreadable) becomes U+FFFD, and "_xHHHH_" in the text, which readers take
// for an escaped character, gets its underscore escaped. libxlsxwriter
// escapes control characters itself.
std::string file_text(const std::string& s) {
  bool plain = s.find("_x") == std::string::npos && detail::valid_utf8(s);
  if (plain) return s;
  std::string out;
  out.reserve(s.size() + 8);
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == '_' && i + 7 <= s.size() && s[i + 1] == 'x' && s[i + 6] == '_' &&
        std::all_of(s.begin() + static_cast<long>(i) + 2, s.begin() + static_cast<long>(i) + 6,
                    [](char h) { return std::isxdigit(static_cast<unsigned char>(h)) != 0; })) {
      out += "_x005F_";
      ++i;
      continue;
    }
    std::size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (len == 0 || i + len > s.size() || !detail::valid_utf8(std::string_view(s).substr(i, len))) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    out.append(s, i, len);
    i += len;
  }
  return out;
}

lxw_color_t lxw_rgb(std::uint32_t rgb) {
  rgb &= 0xFFFFFF;
  return rgb == 0 ? static_cast<lxw_color_t>(LXW_COLOR_BLACK) : rgb;
}

class Writer {
 public:
  Writer(const WorkbookData& book, const std::string& shown_path)
      : book_(book), path_(shown_path) {}

  void write(const std::string& file) {
    lxw_workbook_options options{};
    wb_ = workbook_new_opt(file.c_str(), &options);
    if (wb_ == nullptr) fail(path_, "无法创建文件");
    try {
      build();
    } catch (const std::exception&) {
      workbook_close(wb_);  // frees the workbook; the caller removes the file
      throw;
    }
    lxw_error err = workbook_close(wb_);
    if (err != LXW_NO_ERROR) fail(path_, std::string("写入失败（") + lxw_strerror(err) + "）");
  }

 private:
  void build() {
    if (book_.sheets.empty()) fail(path_, "工作簿中没有工作表");
    // Format 0 is the workbook's standard style: it becomes the file's first
    // cell style, which libxlsxwriter created with the workbook.
    lxw_format* standard = STAILQ_FIRST(wb_->formats);
    apply_format(standard, book_.formats.get(0));
    cell_formats_.assign(book_.formats.size(), nullptr);

    int active = book_.active_sheet;
    if (active < 0 || active >= static_cast<int>(book_.sheets.size()) || book_.sheets[active]->hidden) {
      active = -1;
      for (std::size_t i = 0; i < book_.sheets.size(); ++i)
        if (!book_.sheets[i]->hidden) {
          active = static_cast<int>(i);
          break;
        }
      if (active < 0) fail(path_, "工作簿中没有可见的工作表");
    }
    std::vector<std::string> seen;
    for (const auto& s : book_.sheets) {
      const std::string& n = s->name;
      if (n.empty() || detail::utf8_length(n) > static_cast<std::size_t>(host::kMaxSheetNameLength) ||
          n.find_first_of(":\\/?*[]") != std::string::npos || n.front() == '\'' || n.back() == '\'' ||
          !detail::valid_utf8(n))
        fail(path_, "工作表名称“" + n + "”无效");
      std::string key;
      for (char c : n) key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (std::find(seen.begin(), seen.end(), key) != seen.end()) fail(path_, "工作表名称“" + n + "”重复");
      seen.push_back(key);
    }
    for (std::size_t i = 0; i < book_.sheets.size(); ++i)
      write_sheet(*book_.sheets[i], static_cast<int>(i) == active);
  }

  lxw_format* cell_format(FormatId id) {
    if (id == 0) return nullptr;
    if (id >= cell_formats_.size()) cell_formats_.resize(id + 1, nullptr);
    if (cell_formats_[id] == nullptr) {
      lxw_format* f = workbook_add_format(wb_);
      apply_format(f, book_.formats.get(id));
      cell_formats_[id] = f;
    }
    return cell_formats_[id];
  }

  lxw_format* run_format(const Font& font) {
    for (auto& [f, lf] : run_formats_)
      if (f == font) return lf;
    lxw_format* lf = workbook_add_format(wb_);
    apply_font(lf, font);
    run_formats_.emplace_back(font, lf);
    return lf;
  }

  void apply_font(lxw_format* f, const Font& font) {
    if (font.name.size() >= LXW_FORMAT_FIELD_LEN) fail(path_, "字体名称过长：" + font.name);
    format_set_font_name(f, file_text(font.name).c_str());
    format_set_font_size(f, font.size);
    if (font.bold) format_set_bold(f);
    if (font.italic) format_set_italic(f);
    if (font.strikethrough) format_set_font_strikeout(f);
    if (font.outline) format_set_font_outline(f);
    if (font.shadow) format_set_font_shadow(f);
    if (font.superscript) format_set_font_script(f, LXW_FONT_SUPERSCRIPT);
    else if (font.subscript) format_set_font_script(f, LXW_FONT_SUBSCRIPT);
    switch (font.underline) {
      case host::Underline::None: break;
      case host::Underline::Single: format_set_underline(f, LXW_UNDERLINE_SINGLE); break;
      case host::Underline::Double: format_set_underline(f, LXW_UNDERLINE_DOUBLE); break;
      case host::Underline::SingleAccounting: format_set_underline(f, LXW_UNDERLINE_SINGLE_ACCOUNTING); break;
      case host::Underline::DoubleAccounting: format_set_underline(f, LXW_UNDERLINE_DOUBLE_ACCOUNTING); break;
    }
    format_set_font_family(f, static_cast<uint8_t>(std::clamp(font.family, 0, 255)));
    if (font.charset > 0 && font.charset < 256) format_set_font_charset(f, static_cast<uint8_t>(font.charset));
    if (!font.scheme.empty() && font.scheme.size() < LXW_FORMAT_FIELD_LEN)
      format_set_font_scheme(f, font.scheme.c_str());
    const Color& c = font.color;
    switch (c.kind) {
      case Color::Kind::Auto:
        format_set_color_indexed(f, 64);
        break;
      case Color::Kind::Indexed:
        if (c.index >= 1 && c.index <= 64) format_set_color_indexed(f, static_cast<uint8_t>(c.index));
        else if (c.index > 64) format_set_color_indexed(f, 64);
        else format_set_font_color(f, lxw_rgb(detail::indexed_rgb(c.index)));
        break;
      case Color::Kind::Theme:
        if (c.tint == 0 && c.theme >= 1 && c.theme < 12) {
          format_set_theme(f, static_cast<uint8_t>(c.theme));
          break;
        }
        [[fallthrough]];
      case Color::Kind::Rgb:
        format_set_font_color(f, lxw_rgb(detail::resolve_rgb(c, detail::default_theme(), 0)));
        break;
    }
  }

  // RGB for fills and borders, which libxlsxwriter writes only as RGB;
  // LXW_COLOR_UNSET for automatic.
  static lxw_color_t plain_rgb(const Color& c) {
    if (c.kind == Color::Kind::Auto || (c.kind == Color::Kind::Indexed && c.index >= 64))
      return LXW_COLOR_UNSET;
    return lxw_rgb(detail::resolve_rgb(c, detail::default_theme(), 0));
  }

  void apply_format(lxw_format* f, const Format& fmt) {
    apply_font(f, fmt.font);

    // Fill. libxlsxwriter swaps the two colours of a solid fill with both
    // set (it takes the first as the cell colour); hand them over swapped.
    static constexpr std::string_view kPatterns[] = {
        "none", "solid", "mediumGray", "darkGray", "lightGray", "darkHorizontal", "darkVertical",
        "darkDown", "darkUp", "darkGrid", "darkTrellis", "lightHorizontal", "lightVertical",
        "lightDown", "lightUp", "lightGrid", "lightTrellis", "gray125", "gray0625"};
    for (std::size_t p = 1; p < std::size(kPatterns); ++p) {
      if (kPatterns[p] != fmt.fill.pattern) continue;
      format_set_pattern(f, static_cast<uint8_t>(p));
      lxw_color_t fg = plain_rgb(fmt.fill.fg), bg = plain_rgb(fmt.fill.bg);
      if (p == LXW_PATTERN_SOLID && fg != LXW_COLOR_UNSET && bg != LXW_COLOR_UNSET) std::swap(fg, bg);
      if (fg != LXW_COLOR_UNSET) format_set_fg_color(f, fg);
      if (bg != LXW_COLOR_UNSET) format_set_bg_color(f, bg);
      break;
    }

    // Borders.
    auto style_index = [](const memory::BorderLine& line) -> uint8_t {
      static constexpr std::string_view kStyles[] = {
          "none", "thin", "medium", "dashed", "dotted", "thick", "double", "hair", "mediumDashed",
          "dashDot", "mediumDashDot", "dashDotDot", "mediumDashDotDot", "slantDashDot"};
      std::string_view name = detail::border_style_name(line);
      for (std::size_t i = 0; i < std::size(kStyles); ++i)
        if (kStyles[i] == name) return static_cast<uint8_t>(i);
      return 0;
    };
    const auto& b = fmt.borders;
    if (uint8_t s = style_index(b.left)) {
      format_set_left(f, s);
      if (auto c = plain_rgb(b.left.color)) format_set_left_color(f, c);
    }
    if (uint8_t s = style_index(b.right)) {
      format_set_right(f, s);
      if (auto c = plain_rgb(b.right.color)) format_set_right_color(f, c);
    }
    if (uint8_t s = style_index(b.top)) {
      format_set_top(f, s);
      if (auto c = plain_rgb(b.top.color)) format_set_top_color(f, c);
    }
    if (uint8_t s = style_index(b.bottom)) {
      format_set_bottom(f, s);
      if (auto c = plain_rgb(b.bottom.color)) format_set_bottom_color(f, c);
    }
    if (uint8_t s = style_index(b.diagonal)) {
      format_set_diag_border(f, s);
      if (auto c = plain_rgb(b.diagonal.color)) format_set_diag_color(f, c);
      if (b.diagonal_up && b.diagonal_down) format_set_diag_type(f, LXW_DIAGONAL_BORDER_UP_DOWN);
      else if (b.diagonal_up) format_set_diag_type(f, LXW_DIAGONAL_BORDER_UP);
      else if (b.diagonal_down) format_set_diag_type(f, LXW_DIAGONAL_BORDER_DOWN);
    }

    // Alignment.
    const auto& a = fmt.alignment;
    switch (a.horizontal) {
      case host::HAlign::General: break;
      case host::HAlign::Left: format_set_align(f, LXW_ALIGN_LEFT); break;
      case host::HAlign::Center: format_set_align(f, LXW_ALIGN_CENTER); break;
      case host::HAlign::Right: format_set_align(f, LXW_ALIGN_RIGHT); break;
      case host::HAlign::Fill: format_set_align(f, LXW_ALIGN_FILL); break;
      case host::HAlign::Justify: format_set_align(f, LXW_ALIGN_JUSTIFY); break;
      case host::HAlign::CenterAcrossSelection: format_set_align(f, LXW_ALIGN_CENTER_ACROSS); break;
      case host::HAlign::Distributed: format_set_align(f, LXW_ALIGN_DISTRIBUTED); break;
    }
    switch (a.vertical) {
      case host::VAlign::Bottom: break;
      case host::VAlign::Top: format_set_align(f, LXW_ALIGN_VERTICAL_TOP); break;
      case host::VAlign::Center: format_set_align(f, LXW_ALIGN_VERTICAL_CENTER); break;
      case host::VAlign::Justify: format_set_align(f, LXW_ALIGN_VERTICAL_JUSTIFY); break;
      case host::VAlign::Distributed: format_set_align(f, LXW_ALIGN_VERTICAL_DISTRIBUTED); break;
    }
    if (a.wrap_text) format_set_text_wrap(f);
    if (a.rotation == 255) format_set_rotation(f, 270);  // stacked letters
    else if (a.rotation != 0 && a.rotation >= -90 && a.rotation <= 90)
      format_set_rotation(f, static_cast<int16_t>(a.rotation));
    if (a.indent > 0) format_set_indent(f, static_cast<uint8_t>(std::min(a.indent, 250)));
    if (a.shrink_to_fit) format_set_shrink(f);

    // Number format.
    if (auto id = detail::builtin_format_id(fmt.number_format)) {
      if (*id != 0) format_set_num_format_index(f, static_cast<uint8_t>(*id));
    } else {
      if (fmt.number_format.size() >= LXW_FORMAT_FIELD_LEN)
        fail(path_, "数字格式过长：" + fmt.number_format);
      format_set_num_format(f, file_text(fmt.number_format).c_str());
    }

    if (!fmt.locked) format_set_unlocked(f);
    if (fmt.hidden) format_set_hidden(f);
  }

  void check(lxw_error err, const SheetData& sheet, int row, int col) {
    if (err == LXW_NO_ERROR) return;
    fail(path_, "工作表“" + sheet.name + "”的单元格 " + host::address(host::Area::cell(row, col), false) +
                    " 无法写入（" + lxw_strerror(err) + "）");
  }

  void write_rich(lxw_worksheet* ws, const SheetData& sheet, int row, int col, const Cell& cell,
                  lxw_format* fmt) {
    // libxlsxwriter wants at least two non-empty fragments; a lone run is
    // split after its first character. A fragment without format is
    // written bare only in first place; elsewhere it would get the standard
    // font, so it names the cell's font.
    std::vector<std::string> texts;
    std::vector<lxw_format*> formats;
    bool any_font = false;
    for (const auto& run : cell.runs) {
      if (run.text.empty()) continue;
      texts.push_back(file_text(run.text));
      if (run.font) formats.push_back(run_format(*run.font));
      else formats.push_back(texts.size() == 1 ? nullptr : run_format(book_.formats.get(cell.format).font));
      any_font |= run.font.has_value();
    }
    if (texts.size() == 1 && detail::utf8_length(texts[0]) >= 2) {
      std::size_t cut = detail::utf8_offset(texts[0], 1);
      texts.push_back(texts[0].substr(cut));
      texts[0].resize(cut);
      formats.push_back(formats[0]);
    }
    if (!any_font || texts.size() < 2) {
      check(worksheet_write_string(ws, row - 1, col - 1, file_text(cell.value.as_text()).c_str(), fmt), sheet, row, col);
      return;
    }
    std::vector<lxw_rich_string_tuple> tuples(texts.size());
    std::vector<lxw_rich_string_tuple*> list;
    for (std::size_t i = 0; i < texts.size(); ++i) {
      tuples[i].format = formats[i];
      tuples[i].string = const_cast<char*>(texts[i].c_str());
      list.push_back(&tuples[i]);
    }
    list.push_back(nullptr);
    check(worksheet_write_rich_string(ws, row - 1, col - 1, list.data(), fmt), sheet, row, col);
  }

  // The standard style spelt out, for cells of format 0 in a formatted row
  // or column: without a format libxlsxwriter gives them the row's or
  // column's.
  lxw_format* explicit_standard() {
    if (standard_copy_ == nullptr) {
      standard_copy_ = workbook_add_format(wb_);
      apply_format(standard_copy_, book_.formats.get(0));
    }
    return standard_copy_;
  }

  void write_cell(lxw_worksheet* ws, const SheetData& sheet, int row, int col, const Cell& cell) {
    lxw_format* fmt = cell_format(cell.format);
    if (fmt == nullptr && (has_format(sheet.rows, row) || has_format(sheet.columns, col))) fmt = explicit_standard();
    lxw_row_t r = static_cast<lxw_row_t>(row - 1);
    lxw_col_t c = static_cast<lxw_col_t>(col - 1);
    const host::Value& v = cell.value;
    if (!cell.formula.empty()) {
      std::string f = "=" + file_text(cell.formula);
      lxw_error err;
      switch (v.kind()) {
        case host::Value::Kind::Number:
          err = worksheet_write_formula_num(ws, r, c, f.c_str(), fmt, v.as_number());
          break;
        case host::Value::Kind::Text:
          err = worksheet_write_formula_str(ws, r, c, f.c_str(), fmt, file_text(v.as_text()).c_str());
          break;
        case host::Value::Kind::Boolean:
        case host::Value::Kind::Error:
          err = worksheet_write_formula_str(ws, r, c, f.c_str(), fmt, v.display_text().c_str());
          break;
        default:
          err = worksheet_write_formula_num(ws, r, c, f.c_str(), fmt, 0);
          break;
      }
      check(err, sheet, row, col);
      return;
    }
    switch (v.kind()) {
      case host::Value::Kind::Empty:
        if (fmt != nullptr) check(worksheet_write_blank(ws, r, c, fmt), sheet, row, col);
        break;
      case host::Value::Kind::Number:
        if (std::isfinite(v.as_number()))
          check(worksheet_write_number(ws, r, c, v.as_number(), fmt), sheet, row, col);
        else
          check(worksheet_write_formula_str(ws, r, c, "=#NUM!", fmt, "#NUM!"), sheet, row, col);
        break;
      case host::Value::Kind::Text:
        if (!cell.runs.empty())
          write_rich(ws, sheet, row, col, cell, fmt);
        else if (v.as_text().empty())
          check(worksheet_write_blank(ws, r, c, fmt), sheet, row, col);
        else
          check(worksheet_write_string(ws, r, c, file_text(v.as_text()).c_str(), fmt), sheet, row, col);
        break;
      case host::Value::Kind::Boolean:
        check(worksheet_write_boolean(ws, r, c, v.as_boolean(), fmt), sheet, row, col);
        break;
      case host::Value::Kind::Error: {
        // No constant error cells in libxlsxwriter: a formula that is the
        // error literal shows the same; the reader turns it back.
        std::string text(host::error_text(v.as_error()));
        check(worksheet_write_formula_str(ws, r, c, ("=" + text).c_str(), fmt, text.c_str()), sheet, row, col);
        break;
      }
    }
  }

  void write_sheet(const SheetData& sheet, bool active) {
    lxw_worksheet* ws = workbook_add_worksheet(wb_, sheet.name.c_str());
    if (ws == nullptr) fail(path_, "工作表名称“" + sheet.name + "”无效或重复");

    bool custom_default_height = !natural_row_height(sheet.default_row_height) &&
                                 sheet.default_row_height > 0 && sheet.default_row_height <= 409;
    if (custom_default_height) worksheet_set_default_row(ws, sheet.default_row_height, LXW_FALSE);

    // Columns, runs of equal columns together. Columns without a width of
    // their own take the sheet's default, which libxlsxwriter cannot write
    // other than as explicit widths.
    double default_width = sheet.default_column_width;
    bool custom_default_width = detail::file_width_from_column_width(default_width) !=
                                detail::file_width_from_column_width(LXW_DEF_COL_WIDTH);
    auto set_columns = [&](int first, int last, const memory::ColumnInfo& info) {
      lxw_row_col_options opt{};
      opt.hidden = info.hidden ? 1 : 0;
      double width = info.width.value_or(default_width);
      if (!(width >= 0) || width > 255) width = default_width;
      lxw_format* fmt = info.format ? cell_format(*info.format) : nullptr;
      lxw_error err = worksheet_set_column_opt(ws, static_cast<lxw_col_t>(first - 1),
                                               static_cast<lxw_col_t>(last - 1), width, fmt, &opt);
      if (err != LXW_NO_ERROR) fail(path_, "工作表“" + sheet.name + "”的列宽无法写入");
    };
    int next_col = 1;
    for (auto it = sheet.columns.begin(); it != sheet.columns.end();) {
      int first = it->first;
      if (first < 1 || first > host::kMaxCols) {
        ++it;
        continue;
      }
      auto last_it = it;
      int last = first;
      for (auto jt = std::next(it); jt != sheet.columns.end() && jt->first == last + 1 && jt->second == it->second; ++jt)
        last_it = jt, last = jt->first;
      if (custom_default_width && first > next_col) set_columns(next_col, first - 1, {});
      set_columns(first, std::min(last, host::kMaxCols), it->second);
      next_col = last + 1;
      it = std::next(last_it);
    }
    if (custom_default_width && next_col <= host::kMaxCols) set_columns(next_col, host::kMaxCols, {});

    // Rows.
    for (const auto& [row, info] : sheet.rows) {
      if (row < 1 || row > host::kMaxRows) continue;
      if (!info.height && !info.format && !info.hidden) continue;
      double height = info.height.value_or(custom_default_height ? sheet.default_row_height : kLxwDefaultRowHeight);
      // libxlsxwriter leaves a height of exactly 15 points unwritten (its
      // own default); a hair more keeps it.
      if (info.height && *info.height == kLxwDefaultRowHeight) height = kLxwDefaultRowHeight + 1e-7;
      lxw_row_col_options opt{};
      opt.hidden = info.hidden ? 1 : 0;
      lxw_format* fmt = info.format ? cell_format(*info.format) : nullptr;
      if (worksheet_set_row_opt(ws, static_cast<lxw_row_t>(row - 1), height, fmt, &opt) != LXW_NO_ERROR)
        fail(path_, "工作表“" + sheet.name + "”的行高无法写入");
    }

    // Merged ranges first: libxlsxwriter fills them with blanks, which the
    // cells written after replace.
    // Overlapping ranges would make the application repair the file: the
    // first one stays.
    std::vector<host::Area> merged;
    for (const auto& m : sheet.merges)
      if (m.valid() && !m.is_single_cell()) merged.push_back(m);
    while (auto o = detail::first_overlap(merged)) merged.erase(merged.begin() + static_cast<long>(o->second));
    for (const auto& m : merged) {
      lxw_error err = worksheet_merge_range(ws, static_cast<lxw_row_t>(m.top - 1), static_cast<lxw_col_t>(m.left - 1),
                                            static_cast<lxw_row_t>(m.bottom - 1),
                                            static_cast<lxw_col_t>(m.right - 1), "", nullptr);
      if (err != LXW_NO_ERROR) fail(path_, "工作表“" + sheet.name + "”的合并单元格 " + host::address(m, false) + " 无法写入");
    }

    sheet.for_each([&](int row, int col, const Cell& cell) {
      if (row < 1 || row > host::kMaxRows || col < 1 || col > host::kMaxCols) return;
      write_cell(ws, sheet, row, col, cell);
    });

    // Page breaks: libxlsxwriter counts a break as below its row.
    std::vector<lxw_row_t> breaks;
    for (int r : sheet.row_breaks)
      if (r > 1 && r <= host::kMaxRows && (breaks.empty() || breaks.back() < static_cast<lxw_row_t>(r - 1)))
        breaks.push_back(static_cast<lxw_row_t>(r - 1));
    if (breaks.size() > static_cast<std::size_t>(kMaxRowBreaks)) breaks.resize(kMaxRowBreaks);
    if (!breaks.empty()) {
      breaks.push_back(0);
      if (worksheet_set_h_pagebreaks(ws, breaks.data()) != LXW_NO_ERROR)
        fail(path_, "工作表“" + sheet.name + "”的分页符无法写入");
    }

    // View: the active cell goes first, the opposite corner second.
    const auto& view = sheet.view;
    host::Area sel = view.selection;
    if (sel.valid()) {
      host::CellRef a = view.active_cell;
      int r1 = sel.top, c1 = sel.left, r2 = sel.bottom, c2 = sel.right;
      if ((a.row == sel.top || a.row == sel.bottom) && (a.col == sel.left || a.col == sel.right)) {
        r1 = a.row, c1 = a.col;
        r2 = a.row == sel.top ? sel.bottom : sel.top;
        c2 = a.col == sel.left ? sel.right : sel.left;
      }
      if (!(sel.is_single_cell() && sel.top == 1 && sel.left == 1))
        worksheet_set_selection(ws, static_cast<lxw_row_t>(r1 - 1), static_cast<lxw_col_t>(c1 - 1),
                                static_cast<lxw_row_t>(r2 - 1), static_cast<lxw_col_t>(c2 - 1));
    }
    if (active) worksheet_activate(ws);
    else if (view.tab_selected && !sheet.hidden) worksheet_select(ws);
    if (sheet.hidden && !active) worksheet_hide(ws);
  }

  template <class Map>
  static bool has_format(const Map& m, int key) {
    auto it = m.find(key);
    return it != m.end() && it->second.format && *it->second.format != 0;
  }

  const WorkbookData& book_;
  std::string path_;
  lxw_format* standard_copy_ = nullptr;
  lxw_workbook* wb_ = nullptr;
  std::vector<lxw_format*> cell_formats_;
  std::vector<std::pair<Font, lxw_format*>> run_formats_;
};

}  // namespace

void write_xlsx(const WorkbookData& book, const std::string& path) {
  namespace fs = std::filesystem;
  fs::path target(path);
  fs::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) fail(path, "文件夹不存在");
  if (fs::is_directory(target, ec)) fail(path, "同名的文件夹已存在");

  // The temporary file sits beside the target so that the rename cannot
  // cross file systems.
  std::string tmpl = (dir / ("." + target.filename().string() + ".lczs-XXXXXX")).string();
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0) fail(path, "无法在文件夹中创建临时文件（" + std::string(std::strerror(errno)) + "）");
  // The new file gets the old one's permissions, or the usual ones for a
  // new file (mkstemp makes it private).
  struct stat st {};
  mode_t mode;
  if (::stat(path.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  fchmod(fd, mode);
  close(fd);
  std::string tmp(name.data());
  try {
    struct FastDeflate {
      FastDeflate() { fast_deflate = true; }
      ~FastDeflate() { fast_deflate = false; }
    };
    {
      FastDeflate fast;
      Writer(book, path).write(tmp);
    }
    // Make the new content durable before it replaces the old file.
    int wfd = ::open(tmp.c_str(), O_RDONLY);
    if (wfd >= 0) {
      fsync(wfd);
      close(wfd);
    }
    fs::rename(tmp, target, ec);
    if (ec) fail(path, "无法替换原文件（" + ec.message() + "）");
  } catch (const std::exception&) {
    fs::remove(tmp, ec);
    throw;
  }
}

}  // namespace lczs::io
