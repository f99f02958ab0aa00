// The tokeniser: formulas in A1 or R1C1 notation, references with their
// sheet prefixes and '$' markers, and printing references back.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "model/formula_internal.h"

namespace lczs::memory::formula {

namespace detail {
namespace {

using host::kMaxCols;
using host::kMaxRows;

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::string upper_text(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = upper(c);
  return out;
}

// Where a cell-style reference may end: not inside a longer name.
bool ref_boundary(std::string_view s, std::size_t i) {
  if (i >= s.size()) return true;
  unsigned char c = static_cast<unsigned char>(s[i]);
  return !is_ident_char(c) && c != '(' && c != '$' && c != '!' && c != '[';
}

// ---- A1 pieces -----------------------------------------------------------

// [$]letters; up to 3 letters, within the sheet.
bool a1_col(std::string_view s, std::size_t& i, int& col, bool& abs) {
  std::size_t j = i;
  abs = j < s.size() && s[j] == '$';
  if (abs) ++j;
  long c = 0;
  std::size_t n = 0;
  while (j < s.size() && is_letter(s[j]) && n < 4) {
    c = c * 26 + (upper(s[j]) - 'A' + 1);
    ++j;
    ++n;
  }
  if (n == 0 || n > 3 || c > kMaxCols) return false;
  col = static_cast<int>(c);
  i = j;
  return true;
}

// [$]digits; within the sheet.
bool a1_row(std::string_view s, std::size_t& i, int& row, bool& abs) {
  std::size_t j = i;
  abs = j < s.size() && s[j] == '$';
  if (abs) ++j;
  long r = 0;
  std::size_t n = 0;
  while (j < s.size() && is_digit(s[j])) {
    r = r * 10 + (s[j] - '0');
    if (r > kMaxRows) return false;
    ++j;
    ++n;
  }
  if (n == 0 || r < 1) return false;
  row = static_cast<int>(r);
  i = j;
  return true;
}

bool a1_cell(std::string_view s, std::size_t& i, int& row, int& col, bool& arow, bool& acol) {
  std::size_t j = i;
  if (!a1_col(s, j, col, acol)) return false;
  if (!a1_row(s, j, row, arow)) return false;
  i = j;
  return true;
}

// The cells part of an A1 reference at i: A1, A1:B2, A:B, 1:2.
bool a1_body(std::string_view s, std::size_t& i, RefTok& r) {
  std::size_t j = i;
  if (a1_cell(s, j, r.r1, r.c1, r.ar1, r.ac1)) {
    std::size_t k = j;
    if (k < s.size() && s[k] == ':') {
      ++k;
      if (a1_cell(s, k, r.r2, r.c2, r.ar2, r.ac2) && ref_boundary(s, k)) {
        r.kind = RefTok::Kind::Area;
        i = k;
        return true;
      }
    }
    if (!ref_boundary(s, j)) return false;
    r.kind = RefTok::Kind::Cell;
    r.r2 = r.r1;
    r.c2 = r.c1;
    r.ar2 = r.ar1;
    r.ac2 = r.ac1;
    i = j;
    return true;
  }
  j = i;
  if (a1_col(s, j, r.c1, r.ac1) && j < s.size() && s[j] == ':') {
    ++j;
    if (a1_col(s, j, r.c2, r.ac2) && ref_boundary(s, j)) {
      r.kind = RefTok::Kind::Cols;
      r.r1 = 1;
      r.r2 = kMaxRows;
      i = j;
      return true;
    }
  }
  j = i;
  if (a1_row(s, j, r.r1, r.ar1) && j < s.size() && s[j] == ':') {
    ++j;
    if (a1_row(s, j, r.r2, r.ar2) && ref_boundary(s, j)) {
      r.kind = RefTok::Kind::Rows;
      r.c1 = 1;
      r.c2 = kMaxCols;
      i = j;
      return true;
    }
  }
  return false;
}

// ---- R1C1 pieces ---------------------------------------------------------

int wrap(long v, int max) {
  long m = ((v - 1) % max + max) % max;
  return static_cast<int>(m + 1);
}

// R, R5, R[-2] (letter already known to be at i). base is the formula's row.
bool rc_part(std::string_view s, std::size_t& i, char letter, int base, int max, int& out,
             bool& abs) {
  if (i >= s.size() || upper(s[i]) != letter) return false;
  std::size_t j = i + 1;
  if (j < s.size() && s[j] == '[') {
    ++j;
    bool neg = false;
    if (j < s.size() && (s[j] == '-' || s[j] == '+')) neg = s[j++] == '-';
    long d = 0;
    std::size_t n = 0;
    while (j < s.size() && is_digit(s[j]) && n < 8) d = d * 10 + (s[j++] - '0'), ++n;
    if (n == 0 || j >= s.size() || s[j] != ']') return false;
    ++j;
    out = wrap(base + (neg ? -d : d), max);
    abs = false;
  } else if (j < s.size() && is_digit(s[j])) {
    long v = 0;
    std::size_t n = 0;
    while (j < s.size() && is_digit(s[j]) && n < 8) v = v * 10 + (s[j++] - '0'), ++n;
    if (v < 1 || v > max) return false;
    out = static_cast<int>(v);
    abs = true;
  } else {
    out = base;
    abs = false;
  }
  i = j;
  return true;
}

// One R1C1 corner: 'c' cell, 'r' row only, 'k' column only.
char rc_corner(std::string_view s, std::size_t& i, const Notation& n, int& row, int& col,
               bool& arow, bool& acol) {
  std::size_t j = i;
  bool has_r = rc_part(s, j, 'R', n.row, kMaxRows, row, arow);
  bool has_c = rc_part(s, j, 'C', n.col, kMaxCols, col, acol);
  if (!has_r && !has_c) return 0;
  i = j;
  return has_r && has_c ? 'c' : has_r ? 'r' : 'k';
}

bool rc_body(std::string_view s, std::size_t& i, const Notation& n, RefTok& r) {
  std::size_t j = i;
  char k1 = rc_corner(s, j, n, r.r1, r.c1, r.ar1, r.ac1);
  if (!k1) return false;
  std::size_t after1 = j;
  char k2 = 0;
  if (j < s.size() && s[j] == ':') {
    std::size_t k = j + 1;
    RefTok t;
    k2 = rc_corner(s, k, n, t.r1, t.c1, t.ar1, t.ac1);
    if (k2 == k1 && ref_boundary(s, k)) {
      r.r2 = t.r1;
      r.c2 = t.c1;
      r.ar2 = t.ar1;
      r.ac2 = t.ac1;
      j = k;
    } else {
      k2 = 0;
    }
  }
  if (!k2) {
    if (!ref_boundary(s, after1)) return false;
    j = after1;
    r.r2 = r.r1;
    r.c2 = r.c1;
    r.ar2 = r.ar1;
    r.ac2 = r.ac1;
  }
  switch (k1) {
    case 'c': r.kind = k2 ? RefTok::Kind::Area : RefTok::Kind::Cell; break;
    case 'r': r.kind = RefTok::Kind::Rows; r.c1 = 1; r.c2 = kMaxCols; break;
    default: r.kind = RefTok::Kind::Cols; r.r1 = 1; r.r2 = kMaxRows; break;
  }
  i = j;
  return true;
}

bool ref_body(std::string_view s, std::size_t& i, const Notation& n, RefTok& r) {
  if (s.substr(i, 5) == "#REF!") {
    r.kind = RefTok::Kind::Bad;
    i += 5;
    return true;
  }
  return n.r1c1 ? rc_body(s, i, n, r) : a1_body(s, i, r);
}

constexpr std::string_view kErrorTexts[] = {"#NULL!", "#DIV/0!", "#VALUE!", "#REF!",
                                            "#NAME?", "#NUM!",   "#N/A"};

std::size_t name_run(std::string_view s, std::size_t i) {
  while (i < s.size() && is_ident_char(static_cast<unsigned char>(s[i]))) ++i;
  return i;
}

bool starts_name(unsigned char c) {
  return is_letter(static_cast<char>(c)) || c == '_' || c == '\\' || c >= 0x80;
}

std::optional<double> read_number(std::string_view s, std::size_t& i) {
  std::size_t j = i;
  while (j < s.size() && is_digit(s[j])) ++j;
  if (j < s.size() && s[j] == '.') {
    ++j;
    while (j < s.size() && is_digit(s[j])) ++j;
  }
  if (j == i || (j == i + 1 && s[i] == '.')) return std::nullopt;
  if (j < s.size() && (s[j] == 'E' || s[j] == 'e')) {
    std::size_t k = j + 1;
    if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
    if (k < s.size() && is_digit(s[k])) {
      while (k < s.size() && is_digit(s[k])) ++k;
      j = k;
    }
  }
  double v = decimal_value(s.substr(i, j - i));
  i = j;
  return v;
}

}  // namespace

bool is_ident_char(unsigned char c) {
  return is_letter(static_cast<char>(c)) || is_digit(static_cast<char>(c)) || c == '_' ||
         c == '.' || c == '\\' || c == '?' || c >= 0x80;
}

double decimal_value(std::string_view text) {
  double v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  (void)end;
  if (ec == std::errc::result_out_of_range) {
    auto e = text.find_first_of("eE");
    bool tiny = e != std::string_view::npos && e + 1 < text.size() && text[e + 1] == '-';
    return tiny ? 0.0 : HUGE_VAL;
  }
  return v;
}

bool same_sheet(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (upper(a[i]) != upper(b[i])) return false;
  return true;
}

host::Area RefTok::area() const {
  host::Area a{std::min(r1, r2), std::min(c1, c2), std::max(r1, r2), std::max(c1, c2)};
  if (kind == Kind::Cols) a.top = 1, a.bottom = kMaxRows;
  if (kind == Kind::Rows) a.left = 1, a.right = kMaxCols;
  return a;
}

void RefTok::normalize() {
  if (r1 > r2) std::swap(r1, r2), std::swap(ar1, ar2);
  if (c1 > c2) std::swap(c1, c2), std::swap(ac1, ac2);
}

std::vector<Token> tokenize(std::string_view s, Notation n) {
  std::vector<Token> out;
  std::size_t i = 0;
  auto push = [&](Tok type, std::size_t begin, std::size_t end) -> Token& {
    Token t;
    t.type = type;
    t.begin = begin;
    t.end = end;
    if (type == Tok::Op) t.text = std::string(s.substr(begin, end - begin));
    out.push_back(std::move(t));
    return out.back();
  };
  while (i < s.size()) {
    std::size_t b = i;
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
      while (i < s.size() && (s[i] == ' ' || s[i] == '\n' || s[i] == '\r' || s[i] == '\t')) ++i;
      push(Tok::Space, b, i);
      continue;
    }
    if (c == '"') {
      std::string text;
      ++i;
      bool closed = false;
      while (i < s.size()) {
        if (s[i] == '"') {
          if (i + 1 < s.size() && s[i + 1] == '"') {
            text += '"';
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        text += s[i++];
      }
      push(closed ? Tok::String : Tok::Unknown, b, i).text = std::move(text);
      continue;
    }
    if (c == '#') {
      // "#REF!A1": a reference into a deleted sheet.
      if (s.substr(i, 5) == "#REF!") {
        std::size_t j = i + 5;
        RefTok r;
        if (j < s.size() && s[j] != '#' && ref_body(s, j, n, r)) {
          r.has_sheet = true;
          r.sheet_deleted = true;
          i = j;
          push(Tok::Ref, b, i).ref = std::move(r);
          continue;
        }
      }
      bool found = false;
      for (std::size_t e = 0; e < std::size(kErrorTexts); ++e) {
        auto t = kErrorTexts[e];
        if (s.size() - i >= t.size() && same_sheet(s.substr(i, t.size()), t)) {
          i += t.size();
          push(Tok::Error, b, i).error = static_cast<host::ErrorCode>(e);
          found = true;
          break;
        }
      }
      if (!found) push(Tok::Unknown, b, ++i);
      continue;
    }
    if (c == '\'') {
      // 'sheet name'!ref
      std::string name;
      std::size_t j = i + 1;
      bool closed = false;
      while (j < s.size()) {
        if (s[j] == '\'') {
          if (j + 1 < s.size() && s[j + 1] == '\'') {
            name += '\'';
            j += 2;
            continue;
          }
          ++j;
          closed = true;
          break;
        }
        name += s[j++];
      }
      RefTok r;
      std::size_t k = j + 1;
      if (closed && j < s.size() && s[j] == '!' && ref_body(s, k, n, r)) {
        r.has_sheet = true;
        r.external = !name.empty() && name.front() == '[';
        r.sheet = std::move(name);
        r.sheet_text = std::string(s.substr(i, j - i));
        i = k;
        push(Tok::Ref, b, i).ref = std::move(r);
      } else {
        push(Tok::Unknown, b, ++i);
      }
      continue;
    }
    if (c == '[') {
      // [1]Sheet1!A1: a reference into another workbook.
      std::size_t close = s.find(']', i);
      if (close != std::string_view::npos) {
        std::size_t e = name_run(s, close + 1);
        RefTok r;
        std::size_t k = e + 1;
        if (e < s.size() && s[e] == '!' && ref_body(s, k, n, r)) {
          r.has_sheet = true;
          r.external = true;
          r.sheet = std::string(s.substr(i, e - i));
          r.sheet_text = r.sheet;
          i = k;
          push(Tok::Ref, b, i).ref = std::move(r);
          continue;
        }
      }
      push(Tok::Unknown, b, ++i);
      continue;
    }
    if (c == '$' || is_digit(static_cast<char>(c)) || starts_name(c) || c == '.') {
      if (starts_name(c) || is_digit(static_cast<char>(c))) {
        std::size_t e = name_run(s, i);
        if (e < s.size() && s[e] == '!' && starts_name(c)) {
          RefTok r;
          std::size_t k = e + 1;
          if (ref_body(s, k, n, r)) {
            r.has_sheet = true;
            r.sheet = std::string(s.substr(i, e - i));
            r.sheet_text = r.sheet;
            i = k;
            push(Tok::Ref, b, i).ref = std::move(r);
            continue;
          }
        }
        if (starts_name(c) && e < s.size() && s[e] == '(') {
          i = e;
          push(Tok::Func, b, i).text = upper_text(s.substr(b, e - b));
          continue;
        }
      }
      {
        RefTok r;
        std::size_t k = i;
        if (c != '.' && ref_body(s, k, n, r)) {
          i = k;
          push(Tok::Ref, b, i).ref = std::move(r);
          continue;
        }
      }
      if (is_digit(static_cast<char>(c)) || c == '.') {
        std::size_t k = i;
        if (auto v = read_number(s, k)) {
          i = k;
          push(Tok::Number, b, i).number = *v;
          continue;
        }
        push(Tok::Unknown, b, ++i);
        continue;
      }
      if (starts_name(c)) {
        std::size_t e = name_run(s, i);
        std::string up = upper_text(s.substr(i, e - i));
        i = e;
        if (up == "TRUE" || up == "FALSE") {
          push(Tok::Bool, b, i).number = up == "TRUE" ? 1 : 0;
        } else {
          push(Tok::Name, b, i).text = std::move(up);
        }
        continue;
      }
      push(Tok::Unknown, b, ++i);
      continue;
    }
    switch (c) {
      case '(': push(Tok::LParen, b, ++i); continue;
      case ')': push(Tok::RParen, b, ++i); continue;
      case ',': push(Tok::Comma, b, ++i); continue;
      case ';': push(Tok::Semicolon, b, ++i); continue;
      case '{': push(Tok::LBrace, b, ++i); continue;
      case '}': push(Tok::RBrace, b, ++i); continue;
      case '<':
        if (i + 1 < s.size() && (s[i + 1] == '=' || s[i + 1] == '>')) {
          i += 2;
          push(Tok::Op, b, i);
          continue;
        }
        push(Tok::Op, b, ++i);
        continue;
      case '>':
        if (i + 1 < s.size() && s[i + 1] == '=') {
          i += 2;
          push(Tok::Op, b, i);
          continue;
        }
        push(Tok::Op, b, ++i);
        continue;
      case '+': case '-': case '*': case '/': case '^': case '&': case '=': case '%':
      case ':': case '@':
        push(Tok::Op, b, ++i);
        continue;
      default:
        push(Tok::Unknown, b, ++i);
        continue;
    }
  }
  return out;
}

std::string print_ref(const RefTok& r, Notation n) {
  // Built by appending: GCC 12 at -O3 sees phantom overlaps in chains of
  // "literal" + std::string.
  std::string out;
  if (r.sheet_deleted && r.kind == RefTok::Kind::Bad) return "#REF!";
  if (r.sheet_deleted) {
    out = "#REF!";
  } else if (r.has_sheet) {
    out.append(r.sheet_text);
    out.push_back('!');
  }
  if (r.kind == RefTok::Kind::Bad) {
    out.append("#REF!");
    return out;
  }
  auto a1_col = [&](int col, bool abs) {
    if (abs) out.push_back('$');
    out.append(host::column_letters(col));
  };
  auto a1_row = [&](int row, bool abs) {
    if (abs) out.push_back('$');
    out.append(std::to_string(row));
  };
  // R5, R, R[-2] (or C...); returns what it wrote.
  auto rc = [](char letter, int v, bool abs, int base) {
    std::string s(1, letter);
    if (abs) {
      s.append(std::to_string(v));
    } else if (v != base) {
      s.push_back('[');
      s.append(std::to_string(v - base));
      s.push_back(']');
    }
    return s;
  };
  if (!n.r1c1) {
    switch (r.kind) {
      case RefTok::Kind::Cell:
        a1_col(r.c1, r.ac1);
        a1_row(r.r1, r.ar1);
        break;
      case RefTok::Kind::Area:
        a1_col(r.c1, r.ac1);
        a1_row(r.r1, r.ar1);
        out.push_back(':');
        a1_col(r.c2, r.ac2);
        a1_row(r.r2, r.ar2);
        break;
      case RefTok::Kind::Cols:
        a1_col(r.c1, r.ac1);
        out.push_back(':');
        a1_col(r.c2, r.ac2);
        break;
      case RefTok::Kind::Rows:
        a1_row(r.r1, r.ar1);
        out.push_back(':');
        a1_row(r.r2, r.ar2);
        break;
      case RefTok::Kind::Bad: break;
    }
    return out;
  }
  switch (r.kind) {
    case RefTok::Kind::Cell:
      out.append(rc('R', r.r1, r.ar1, n.row));
      out.append(rc('C', r.c1, r.ac1, n.col));
      break;
    case RefTok::Kind::Area:
      out.append(rc('R', r.r1, r.ar1, n.row));
      out.append(rc('C', r.c1, r.ac1, n.col));
      out.push_back(':');
      out.append(rc('R', r.r2, r.ar2, n.row));
      out.append(rc('C', r.c2, r.ac2, n.col));
      break;
    case RefTok::Kind::Cols:
    case RefTok::Kind::Rows: {
      bool rows = r.kind == RefTok::Kind::Rows;
      std::string a = rows ? rc('R', r.r1, r.ar1, n.row) : rc('C', r.c1, r.ac1, n.col);
      std::string b = rows ? rc('R', r.r2, r.ar2, n.row) : rc('C', r.c2, r.ac2, n.col);
      out.append(a);
      if (a != b) {
        out.push_back(':');
        out.append(b);
      }
      break;
    }
    case RefTok::Kind::Bad: break;
  }
  return out;
}

}  // namespace detail

std::string quote_sheet_name(std::string_view name) {
  bool quote = name.empty() || detail::is_digit(name.front());
  for (char ch : name) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x80 && !detail::is_letter(ch) && !detail::is_digit(ch) && ch != '_' && ch != '.')
      quote = true;
  }
  if (!quote) {
    // A name that reads as a reference (A1, R1C1, RC, R, C) or a boolean
    // would be taken for one.
    detail::RefTok r;
    std::size_t i = 0;
    if (detail::a1_body(name, i, r) && i == name.size()) quote = true;
    i = 0;
    detail::Notation n;
    n.r1c1 = true;
    if (detail::rc_body(name, i, n, r) && i == name.size()) quote = true;
    if (detail::same_sheet(name, "TRUE") || detail::same_sheet(name, "FALSE")) quote = true;
  }
  if (!quote) return std::string(name);
  std::string out = "'";
  for (char ch : name) {
    if (ch == '\'') out += '\'';
    out += ch;
  }
  return out + "'";
}

}  // namespace lczs::memory::formula
