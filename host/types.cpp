#include "host/types.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace lczs::host {

std::string column_letters(int col) {
  char buf[8];
  int n = 0;
  while (col > 0 && n < 8) {
    buf[n++] = static_cast<char>('A' + (col - 1) % 26);
    col = (col - 1) / 26;
  }
  std::string s;
  while (n > 0) s.push_back(buf[--n]);
  return s;
}

std::string address(const Area& area, bool absolute) {
  auto one = [&](int row, int col) {
    std::string s;
    if (absolute) s.push_back('$');
    s.append(column_letters(col));
    if (absolute) s.push_back('$');
    s.append(std::to_string(row));
    return s;
  };
  std::string s = one(area.top, area.left);
  if (!area.is_single_cell()) {
    s.push_back(':');
    s.append(one(area.bottom, area.right));
  }
  return s;
}

namespace {
bool parse_cell(std::string_view t, int& row, int& col) {
  std::size_t i = 0;
  if (i < t.size() && t[i] == '$') ++i;
  long c = 0;
  std::size_t letters = 0;
  while (i < t.size()) {
    char ch = t[i];
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    if (ch < 'A' || ch > 'Z') break;
    c = c * 26 + (ch - 'A' + 1);
    if (c > kMaxCols) return false;
    ++i;
    ++letters;
  }
  if (letters == 0) return false;
  if (i < t.size() && t[i] == '$') ++i;
  long r = 0;
  std::size_t digits = 0;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
    r = r * 10 + (t[i] - '0');
    if (r > kMaxRows) return false;
    ++i;
    ++digits;
  }
  if (digits == 0 || i != t.size() || r < 1) return false;
  row = static_cast<int>(r);
  col = static_cast<int>(c);
  return true;
}
}  // namespace

std::optional<Area> parse_address(std::string_view text) {
  auto colon = text.find(':');
  int r1, c1, r2, c2;
  if (colon == std::string_view::npos) {
    if (!parse_cell(text, r1, c1)) return std::nullopt;
    return Area::cell(r1, c1);
  }
  if (!parse_cell(text.substr(0, colon), r1, c1) || !parse_cell(text.substr(colon + 1), r2, c2))
    return std::nullopt;
  return Area{std::min(r1, r2), std::min(c1, c2), std::max(r1, r2), std::max(c1, c2)};
}

namespace {
constexpr std::array<std::pair<ErrorCode, std::string_view>, 7> kErrors{{
    {ErrorCode::Null, "#NULL!"}, {ErrorCode::Div0, "#DIV/0!"}, {ErrorCode::Value, "#VALUE!"},
    {ErrorCode::Ref, "#REF!"},   {ErrorCode::Name, "#NAME?"},  {ErrorCode::Num, "#NUM!"},
    {ErrorCode::NA, "#N/A"},
}};
}  // namespace

std::string_view error_text(ErrorCode code) {
  for (auto& [c, t] : kErrors)
    if (c == code) return t;
  return "#N/A";
}

std::optional<ErrorCode> parse_error(std::string_view text) {
  for (auto& [c, t] : kErrors)
    if (t == text) return c;
  return std::nullopt;
}

const std::string Value::kNoText;

bool Value::vba_equals(const Value& o) const {
  auto numeric = [](const Value& v, double& out) {
    if (v.is_empty()) { out = 0; return true; }
    if (v.is_number()) { out = v.num_; return true; }
    if (v.is_boolean()) { out = v.num_ != 0 ? -1 : 0; return true; }
    return false;
  };
  if (is_error() || o.is_error()) return is_error() && o.is_error() && err_ == o.err_;
  if (is_empty() && o.is_empty()) return true;
  if (is_text() && o.is_text()) return as_text() == o.as_text();
  if (is_text() && o.is_empty()) return as_text().empty();
  if (is_empty() && o.is_text()) return o.as_text().empty();
  double a = 0, b = 0;
  if (numeric(*this, a) && numeric(o, b)) return a == b;
  // Two Variants read from cells, one a number and the other a string, are
  // never equal: VBA orders every number before every string.
  return false;
}

std::string Value::display_text() const {
  switch (kind_) {
    case Kind::Empty: return "";
    case Kind::Text: return as_text();
    case Kind::Boolean: return num_ != 0 ? "TRUE" : "FALSE";
    case Kind::Error: return std::string(error_text(err_));
    case Kind::Number: break;
  }
  if (num_ == 0) return "0";
  // Up to 15 significant digits, as the application shows a General cell
  // given enough width: to_chars gives printf's %.15G without its locale
  // and formatting machinery, which the jobs pay for on every number shown.
  char buf[64];
  if (!std::isfinite(num_)) {
    std::snprintf(buf, sizeof buf, "%G", num_);
    return buf;
  }
  // Most numbers shown are scores, counts and short decimals: the shortest
  // fixed text that reads back as the number is what %.15G prints whenever
  // it holds no more than 15 significant digits (rounding to 15 digits then
  // lands on it), and from 1E-4 up to 1E+15 %G writes no exponent. Only the
  // others pay for the 15-digit rounding.
  const double magnitude = std::fabs(num_);
  if (magnitude >= 1e-4 && magnitude < 1e15) {
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, num_, std::chars_format::fixed);
    if (ec == std::errc()) {
      int significant = 0;
      bool leading = true;
      for (const char* p = buf; p != end; ++p) {
        if (*p < '0' || *p > '9') continue;
        if (leading && *p == '0') continue;
        leading = false;
        ++significant;
      }
      if (significant <= 15) return std::string(buf, end);
    }
  }
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, num_, std::chars_format::general, 15);
  std::string s(buf, ec == std::errc() ? end : buf);
  auto e = s.find('e');
  if (e == std::string::npos) return s;
  // "1e+20" -> "1E+20"; at least two exponent digits, as printf writes them.
  std::string exp = s.substr(e + 2);
  if (exp.size() < 2) exp.insert(0, "0");
  return s.substr(0, e) + "E" + s[e + 1] + exp;
}

bool operator==(const Value& a, const Value& b) {
  if (a.kind_ != b.kind_) return false;
  switch (a.kind_) {
    case Value::Kind::Empty: return true;
    case Value::Kind::Number:
    case Value::Kind::Boolean: return a.num_ == b.num_;
    case Value::Kind::Text: return a.text_ == b.text_ || a.as_text() == b.as_text();
    case Value::Kind::Error: return a.err_ == b.err_;
  }
  return false;
}

}  // namespace lczs::host
