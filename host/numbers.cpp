#include "host/numbers.h"

#include <charconv>
#include <cmath>
#include <system_error>

#include "host/utf8.h"

namespace lczs::host {

double round_half_even(double x) { return std::nearbyint(x); }  // default FE_TONEAREST

std::int16_t to_int16(double x) {
  if (!std::isfinite(x)) throw OverflowError("溢出：数值不是有限数");
  double r = round_half_even(x);
  if (r < kInt16Min || r > kInt16Max) throw OverflowError("溢出：数值超出 -32768 到 32767 的范围");
  return static_cast<std::int16_t>(r);
}

std::int32_t to_int32(double x) {
  if (!std::isfinite(x)) throw OverflowError("溢出：数值不是有限数");
  double r = round_half_even(x);
  if (r < -2147483648.0 || r > 2147483647.0) throw OverflowError("溢出：数值超出 32 位整数的范围");
  return static_cast<std::int32_t>(r);
}

namespace {
bool is_space(char32_t cp) { return cp == ' ' || cp == '\t' || cp == 0x3000; }
}  // namespace

std::string trim(std::string_view text) {
  std::size_t start = 0, end = text.size();
  // leading
  while (start < end) {
    std::size_t j = start;
    char32_t cp = next_code_point(text, j);
    if (!is_space(cp)) break;
    start = j;
  }
  // trailing: scan forward remembering the end of the last non-space
  std::size_t i = start, last = start;
  while (i < end) {
    char32_t cp = next_code_point(text, i);
    if (!is_space(cp)) last = i;
  }
  return std::string(text.substr(start, last - start));
}

std::optional<double> parse_user_number(std::string_view text) {
  std::string t = trim(text);
  std::string ascii;
  std::size_t i = 0;
  while (i < t.size()) {
    char32_t cp = next_code_point(t, i);
    if (cp >= 0xFF10 && cp <= 0xFF19) cp = '0' + (cp - 0xFF10);       // full-width digits
    else if (cp == 0xFF0B) cp = '+';
    else if (cp == 0xFF0D) cp = '-';
    else if (cp == 0xFF0E) cp = '.';
    if (cp >= 0x80) return std::nullopt;
    ascii.push_back(static_cast<char>(cp));
  }
  std::size_t p = 0;
  if (p < ascii.size() && (ascii[p] == '+' || ascii[p] == '-')) ++p;
  bool digits = false, point = false;
  for (std::size_t k = p; k < ascii.size(); ++k) {
    char c = ascii[k];
    if (c >= '0' && c <= '9') digits = true;
    else if (c == '.' && !point) point = true;
    else return std::nullopt;
  }
  if (!digits) return std::nullopt;
  // from_chars reads the same whatever the process locale, and refuses a
  // number too large for a double, which no user could mean.
  const char* first = ascii.data() + (ascii[0] == '+' ? 1 : 0);
  const char* last = ascii.data() + ascii.size();
  double v = 0;
  auto [end, ec] = std::from_chars(first, last, v, std::chars_format::fixed);
  if (ec != std::errc() || end != last || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::string int_text(long long v) { return std::to_string(v); }

}  // namespace lczs::host
