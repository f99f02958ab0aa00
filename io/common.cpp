#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <tuple>

#include "io/internal.h"

namespace lczs::io::detail {

// ---- Colours -------------------------------------------------------------------

namespace {

constexpr std::uint32_t kIndexed[64] = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
    0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080,
    0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF,
    0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF,
    0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
    0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696,
    0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333,
};

const ThemePalette kDefaultTheme = {0xFFFFFF, 0x000000, 0xEEECE1, 0x1F497D, 0x4F81BD, 0xC0504D,
                                    0x9BBB59, 0x8064A2, 0x4BACC6, 0xF79646, 0x0000FF, 0x800080};

double hue_to_rgb(double p, double q, double t) {
  if (t < 0) t += 1;
  if (t > 1) t -= 1;
  if (t < 1.0 / 6) return p + (q - p) * 6 * t;
  if (t < 1.0 / 2) return q;
  if (t < 2.0 / 3) return p + (q - p) * (2.0 / 3 - t) * 6;
  return p;
}

}  // namespace

std::uint32_t indexed_rgb(int index) {
  if (index >= 0 && index < 64) return kIndexed[index];
  if (index == 65) return 0xFFFFFF;  // system background
  return 0x000000;
}

const ThemePalette& default_theme() { return kDefaultTheme; }

std::uint32_t apply_tint(std::uint32_t rgb, double tint) {
  if (tint == 0) return rgb;
  double r = ((rgb >> 16) & 0xFF) / 255.0, g = ((rgb >> 8) & 0xFF) / 255.0, b = (rgb & 0xFF) / 255.0;
  double mx = std::max({r, g, b}), mn = std::min({r, g, b});
  double h = 0, s = 0, l = (mx + mn) / 2;
  if (mx != mn) {
    double d = mx - mn;
    s = l > 0.5 ? d / (2 - mx - mn) : d / (mx + mn);
    if (mx == r)
      h = (g - b) / d + (g < b ? 6 : 0);
    else if (mx == g)
      h = (b - r) / d + 2;
    else
      h = (r - g) / d + 4;
    h /= 6;
  }
  tint = std::clamp(tint, -1.0, 1.0);
  l = tint < 0 ? l * (1 + tint) : l * (1 - tint) + tint;
  if (s == 0) {
    r = g = b = l;
  } else {
    double q = l < 0.5 ? l * (1 + s) : l + s - l * s;
    double p = 2 * l - q;
    r = hue_to_rgb(p, q, h + 1.0 / 3);
    g = hue_to_rgb(p, q, h);
    b = hue_to_rgb(p, q, h - 1.0 / 3);
  }
  auto byte = [](double v) { return static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
  return (byte(r) << 16) | (byte(g) << 8) | byte(b);
}

std::uint32_t resolve_rgb(const memory::Color& c, const ThemePalette& theme, std::uint32_t automatic) {
  using K = memory::Color::Kind;
  switch (c.kind) {
    case K::Auto:
      return automatic;
    case K::Indexed:
      return c.index == 64 ? automatic : indexed_rgb(c.index);
    case K::Rgb:
      return apply_tint(c.argb & 0xFFFFFF, c.tint);
    case K::Theme: {
      std::uint32_t base = c.theme >= 0 && c.theme < 12 ? theme[c.theme] : 0;
      return apply_tint(base, c.tint);
    }
  }
  return automatic;
}

// ---- Number formats --------------------------------------------------------------

namespace {

struct Builtin {
  int id;
  std::string_view code;
  bool unique;  // the code maps back to this id
};

constexpr Builtin kBuiltins[] = {
    {0, "General", true},
    {1, "0", true},
    {2, "0.00", true},
    {3, "#,##0", true},
    {4, "#,##0.00", true},
    {5, "\"$\"#,##0_);(\"$\"#,##0)", true},
    {6, "\"$\"#,##0_);[Red](\"$\"#,##0)", true},
    {7, "\"$\"#,##0.00_);(\"$\"#,##0.00)", true},
    {8, "\"$\"#,##0.00_);[Red](\"$\"#,##0.00)", true},
    {9, "0%", true},
    {10, "0.00%", true},
    {11, "0.00E+00", true},
    {12, "# ?/?", true},
    {13, "# ?\?/?\?", true},
    {14, "mm-dd-yy", true},
    {15, "d-mmm-yy", true},
    {16, "d-mmm", true},
    {17, "mmm-yy", true},
    {18, "h:mm AM/PM", true},
    {19, "h:mm:ss AM/PM", true},
    {20, "h:mm", true},
    {21, "h:mm:ss", true},
    {22, "m/d/yy h:mm", true},
    {27, "yyyy\"年\"m\"月\"", false},
    {28, "m\"月\"d\"日\"", false},
    {29, "m\"月\"d\"日\"", false},
    {30, "m-d-yy", false},
    {31, "yyyy\"年\"m\"月\"d\"日\"", false},
    {32, "h\"时\"mm\"分\"", false},
    {33, "h\"时\"mm\"分\"ss\"秒\"", false},
    {34, "上午/下午h\"时\"mm\"分\"", false},
    {35, "上午/下午h\"时\"mm\"分\"ss\"秒\"", false},
    {36, "yyyy\"年\"m\"月\"", false},
    {37, "#,##0_);(#,##0)", true},
    {38, "#,##0_);[Red](#,##0)", true},
    {39, "#,##0.00_);(#,##0.00)", true},
    {40, "#,##0.00_);[Red](#,##0.00)", true},
    {41, "_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)", true},
    {42, "_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)", true},
    {43, "_(* #,##0.00_);_(* \\(#,##0.00\\);_(* \"-\"??_);_(@_)", true},
    {44, "_(\"$\"* #,##0.00_)_(\"$\"* \\(#,##0.00\\)_(\"$\"* \"-\"??_)_(@_)", true},
    {45, "mm:ss", true},
    {46, "[h]:mm:ss", true},
    {47, "mmss.0", true},
    {48, "##0.0E+0", true},
    {49, "@", true},
    {50, "yyyy\"年\"m\"月\"", false},
    {51, "m\"月\"d\"日\"", false},
    {52, "yyyy\"年\"m\"月\"", false},
    {53, "m\"月\"d\"日\"", false},
    {54, "m\"月\"d\"日\"", false},
    {55, "上午/下午h\"时\"mm\"分\"", false},
    {56, "上午/下午h\"时\"mm\"分\"ss\"秒\"", false},
    {57, "yyyy\"年\"m\"月\"", false},
    {58, "m\"月\"d\"日\"", false},
};

}  // namespace

std::optional<std::string_view> builtin_format(int id) {
  for (const auto& b : kBuiltins)
    if (b.id == id) return b.code;
  return std::nullopt;
}

std::optional<int> builtin_format_id(std::string_view code) {
  for (const auto& b : kBuiltins)
    if (b.unique && b.code == code) return b.id;
  return std::nullopt;
}

// ---- Borders ----------------------------------------------------------------------

namespace {

using host::BorderWeight;
using host::LineStyle;

struct BorderName {
  std::string_view name;
  LineStyle style;
  BorderWeight weight;
};

constexpr BorderName kBorders[] = {
    {"hair", LineStyle::Continuous, BorderWeight::Hairline},
    {"thin", LineStyle::Continuous, BorderWeight::Thin},
    {"medium", LineStyle::Continuous, BorderWeight::Medium},
    {"thick", LineStyle::Continuous, BorderWeight::Thick},
    {"dashed", LineStyle::Dash, BorderWeight::Thin},
    {"mediumDashed", LineStyle::Dash, BorderWeight::Medium},
    {"dotted", LineStyle::Dot, BorderWeight::Thin},
    {"dashDot", LineStyle::DashDot, BorderWeight::Thin},
    {"mediumDashDot", LineStyle::DashDot, BorderWeight::Medium},
    {"dashDotDot", LineStyle::DashDotDot, BorderWeight::Thin},
    {"mediumDashDotDot", LineStyle::DashDotDot, BorderWeight::Medium},
    {"slantDashDot", LineStyle::SlantDashDot, BorderWeight::Medium},
    {"double", LineStyle::Double, BorderWeight::Thick},
};

}  // namespace

memory::BorderLine border_from_style(std::string_view style) {
  memory::BorderLine line;
  for (const auto& b : kBorders)
    if (b.name == style) {
      line.style = b.style;
      line.weight = b.weight;
      return line;
    }
  return line;  // "none", "" and unknown names: no line
}

std::string_view border_style_name(const memory::BorderLine& line) {
  bool heavy = line.weight == BorderWeight::Medium || line.weight == BorderWeight::Thick;
  switch (line.style) {
    case LineStyle::None:
      return "none";
    case LineStyle::Continuous:
      switch (line.weight) {
        case BorderWeight::Hairline: return "hair";
        case BorderWeight::Thin: return "thin";
        case BorderWeight::Medium: return "medium";
        case BorderWeight::Thick: return "thick";
      }
      return "thin";
    case LineStyle::Dash: return heavy ? "mediumDashed" : "dashed";
    case LineStyle::Dot: return "dotted";
    case LineStyle::DashDot: return heavy ? "mediumDashDot" : "dashDot";
    case LineStyle::DashDotDot: return heavy ? "mediumDashDotDot" : "dashDotDot";
    case LineStyle::SlantDashDot: return "slantDashDot";
    case LineStyle::Double: return "double";
  }
  return "none";
}

// ---- Cells ----------------------------------------------------------------------------

namespace {

bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }
bool is_alpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// Column letters (1-3 of them) to a number; 0 when not a column of the sheet.
int column_number(std::string_view letters) {
  if (letters.empty() || letters.size() > 3) return 0;
  int col = 0;
  for (char c : letters) {
    if (!is_alpha(c)) return 0;
    col = col * 26 + (upper(c) - 'A' + 1);
  }
  return col <= host::kMaxCols ? col : 0;
}

// Digits to a row number; 0 when not a row of the sheet.
int row_number(std::string_view digits) {
  if (digits.empty() || digits.size() > 7 || digits[0] == '0') return 0;
  int row = 0;
  for (char c : digits) {
    if (!is_digit(c)) return 0;
    row = row * 10 + (c - '0');
  }
  return row <= host::kMaxRows ? row : 0;
}

}  // namespace

std::optional<host::CellRef> parse_cell(std::string_view ref) {
  std::size_t i = 0;
  while (i < ref.size() && is_upper(ref[i])) ++i;
  int col = column_number(ref.substr(0, i));
  int row = row_number(ref.substr(i));
  if (col == 0 || row == 0) return std::nullopt;
  return host::CellRef{row, col};
}

std::optional<std::pair<std::size_t, std::size_t>> first_overlap(const std::vector<host::Area>& areas) {
  std::vector<std::size_t> order(areas.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return std::tie(areas[a].top, areas[a].left, a) < std::tie(areas[b].top, areas[b].left, b);
  });
  // Areas crossing the current top row, by left column; they cannot overlap
  // each other (or the overlap was found), so neighbours are enough.
  std::map<int, std::size_t> active;
  std::multimap<int, std::size_t> by_bottom;
  for (std::size_t i : order) {
    const host::Area& m = areas[i];
    while (!by_bottom.empty() && by_bottom.begin()->first < m.top) {
      active.erase(areas[by_bottom.begin()->second].left);
      by_bottom.erase(by_bottom.begin());
    }
    auto next = active.lower_bound(m.left);
    if (next != active.end() && areas[next->second].left <= m.right) return std::pair{std::min(i, next->second), std::max(i, next->second)};
    if (next != active.begin()) {
      auto prev = std::prev(next);
      if (areas[prev->second].right >= m.left) return std::pair{std::min(i, prev->second), std::max(i, prev->second)};
    }
    active.emplace(m.left, i);
    by_bottom.emplace(m.bottom, i);
  }
  return std::nullopt;
}

// ---- Column widths ------------------------------------------------------------------

double column_width_from_file(double file_width) {
  if (!(file_width > 0)) return 0;
  double pixels = std::round(file_width * 7);
  return pixels >= 12 ? (pixels - 5) / 7 : pixels / 12;
}

double file_width_from_column_width(double width) {
  if (!(width > 0)) return 0;
  double pixels = width < 1 ? std::floor(width * 12 + 0.5) : std::floor(width * 7 + 0.5) + 5;
  return std::floor(pixels / 7 * 256) / 256;
}

// ---- Shared formulas ------------------------------------------------------------------

namespace {

struct RefToken {
  bool col_abs = false, row_abs = false;
  int col = 0, row = 0;
};

// "$A$1", "A1", "$A" or "$1" forms; `want` says which parts must be present.
enum class Want { Cell, Column, Row };

std::optional<RefToken> parse_ref(std::string_view t, Want want) {
  RefToken r;
  std::size_t i = 0;
  if (want != Want::Row) {
    if (i < t.size() && t[i] == '$') r.col_abs = true, ++i;
    std::size_t s = i;
    while (i < t.size() && is_alpha(t[i])) ++i;
    r.col = column_number(t.substr(s, i - s));
    if (r.col == 0) return std::nullopt;
  }
  if (want != Want::Column) {
    if (i < t.size() && t[i] == '$') r.row_abs = true, ++i;
    std::size_t s = i;
    while (i < t.size() && is_digit(t[i])) ++i;
    r.row = row_number(t.substr(s, i - s));
    if (r.row == 0) return std::nullopt;
  }
  if (i != t.size()) return std::nullopt;
  return r;
}

// Writes a shifted reference; false when it leaves the sheet.
bool put_ref(std::string& out, RefToken r, Want want, int drow, int dcol) {
  if (want != Want::Row) {
    int col = r.col_abs ? r.col : r.col + dcol;
    if (col < 1 || col > host::kMaxCols) return false;
    if (r.col_abs) out += '$';
    out += host::column_letters(col);
  }
  if (want != Want::Column) {
    int row = r.row_abs ? r.row : r.row + drow;
    if (row < 1 || row > host::kMaxRows) return false;
    if (r.row_abs) out += '$';
    out += std::to_string(row);
  }
  return true;
}

bool word_char(char c) {
  return is_alpha(c) || is_digit(c) || c == '_' || c == '.' || c == '$' || c == '\\' ||
         static_cast<unsigned char>(c) >= 0x80;
}

}  // namespace

std::string shift_formula(std::string_view f, int drow, int dcol) {
  std::string out;
  out.reserve(f.size() + 8);
  std::size_t i = 0, n = f.size();
  // Reads the word starting at j (letters, digits, $, _, .).
  auto word_end = [&](std::size_t j) {
    while (j < n && word_char(f[j])) ++j;
    return j;
  };
  while (i < n) {
    char c = f[i];
    if (c == '"' || c == '\'') {  // text literal or quoted sheet name
      std::size_t j = i + 1;
      while (j < n) {
        if (f[j] == c) {
          if (j + 1 < n && f[j + 1] == c) {
            j += 2;
            continue;
          }
          break;
        }
        ++j;
      }
      j = std::min(j + 1, n);
      out.append(f.substr(i, j - i));
      i = j;
      continue;
    }
    if (c == '[') {  // external book or structured reference: left alone
      std::size_t j = f.find(']', i);
      j = j == std::string_view::npos ? n : j + 1;
      out.append(f.substr(i, j - i));
      i = j;
      continue;
    }
    if (c == '#') {  // error literal
      std::size_t j = i + 1;
      while (j < n && (is_alpha(f[j]) || is_digit(f[j]) || f[j] == '/' || f[j] == '!' || f[j] == '?')) ++j;
      out.append(f.substr(i, j - i));
      i = j;
      continue;
    }
    if (!word_char(c)) {
      out += c;
      ++i;
      continue;
    }
    // A number that is not the start of a row range.
    if (is_digit(c) || c == '.') {
      std::size_t j = i;
      while (j < n && is_digit(f[j])) ++j;
      bool row_range = j < n && f[j] == ':' && j > i;
      if (!row_range) {
        while (j < n && (is_digit(f[j]) || f[j] == '.')) ++j;
        if (j < n && (f[j] == 'E' || f[j] == 'e')) {
          std::size_t k = j + 1;
          if (k < n && (f[k] == '+' || f[k] == '-')) ++k;
          if (k < n && is_digit(f[k])) {
            j = k;
            while (j < n && is_digit(f[j])) ++j;
          }
        }
        out.append(f.substr(i, j - i));
        i = j;
        continue;
      }
    }
    std::size_t j = word_end(i);
    std::string_view w = f.substr(i, j - i);
    // Function names and sheet prefixes stay as they are.
    if ((j < n && (f[j] == '(' || f[j] == '!'))) {
      out.append(w);
      i = j;
      continue;
    }
    // Whole columns (A:C) and whole rows (2:5).
    if (j < n && f[j] == ':') {
      std::size_t k = word_end(j + 1);
      std::string_view w2 = f.substr(j + 1, k - j - 1);
      for (Want want : {Want::Column, Want::Row}) {
        auto a = parse_ref(w, want), b = parse_ref(w2, want);
        if (a && b) {
          std::string part;
          if (put_ref(part, *a, want, drow, dcol) && (part += ':', put_ref(part, *b, want, drow, dcol)))
            out += part;
          else
            out += "#REF!";
          i = k;
          goto next;
        }
      }
    }
    if (auto r = parse_ref(w, Want::Cell)) {
      std::string part;
      if (put_ref(part, *r, Want::Cell, drow, dcol))
        out += part;
      else
        out += "#REF!";
    } else {
      out.append(w);
    }
    i = j;
  next:;
  }
  return out;
}

// ---- Text -----------------------------------------------------------------------------

bool valid_utf8(std::string_view s) {
  std::size_t i = 0, n = s.size();
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    int len;
    std::uint32_t cp;
    if ((c & 0xE0) == 0xC0) len = 2, cp = c & 0x1F;
    else if ((c & 0xF0) == 0xE0) len = 3, cp = c & 0x0F;
    else if ((c & 0xF8) == 0xF0) len = 4, cp = c & 0x07;
    else return false;
    if (i + len > n) return false;
    for (int k = 1; k < len; ++k) {
      unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) ||
        cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += len;
  }
  return true;
}

std::size_t utf8_length(std::string_view s) {
  std::size_t n = 0;
  for (char c : s)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

std::size_t utf8_offset(std::string_view s, std::size_t n) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
      if (count == n) return i;
      ++count;
    }
  }
  return s.size();
}

std::string clean_sheet_name(std::string_view s) {
  std::string out;
  std::size_t chars = 0;
  for (std::size_t i = 0; i < s.size() && chars < static_cast<std::size_t>(host::kMaxSheetNameLength);) {
    std::size_t len = 1;
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c >= 0xF0) len = 4;
    else if (c >= 0xE0) len = 3;
    else if (c >= 0xC0) len = 2;
    len = std::min(len, s.size() - i);
    if (len == 1 && (std::strchr(":\\/?*[]", s[i]) != nullptr || c < 0x20 || c >= 0x80))
      out += '_';
    else
      out.append(s.substr(i, len));
    i += len;
    ++chars;
  }
  // A name may not begin or end with an apostrophe.
  if (!out.empty() && out.front() == '\'') out.front() = '_';
  if (!out.empty() && out.back() == '\'') out.back() = '_';
  if (out.empty()) out = "Sheet1";
  return out;
}

}  // namespace lczs::io::detail
