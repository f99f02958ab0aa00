#include "host/numbers.h"

#include <cmath>

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
// Reads one UTF-8 code point; returns 0 and advances nothing at the end.
char32_t next_cp(std::string_view s, std::size_t& i) {
  if (i >= s.size()) return 0;
  unsigned char c = static_cast<unsigned char>(s[i]);
  char32_t cp;
  int len;
  if (c < 0x80) { cp = c; len = 1; }
  else if ((c >> 5) == 6) { cp = c & 0x1F; len = 2; }
  else if ((c >> 4) == 14) { cp = c & 0x0F; len = 3; }
  else if ((c >> 3) == 30) { cp = c & 0x07; len = 4; }
  else { ++i; return 0xFFFD; }
  if (i + len > s.size()) { i = s.size(); return 0xFFFD; }
  for (int k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
  i += len;
  return cp;
}

bool is_space(char32_t cp) { return cp == ' ' || cp == '\t' || cp == 0x3000; }
}  // namespace

std::string trim(std::string_view text) {
  std::size_t start = 0, end = text.size();
  // leading
  while (start < end) {
    std::size_t j = start;
    char32_t cp = next_cp(text, j);
    if (!is_space(cp)) break;
    start = j;
  }
  // trailing: scan forward remembering the end of the last non-space
  std::size_t i = start, last = start;
  while (i < end) {
    char32_t cp = next_cp(text, i);
    if (!is_space(cp)) last = i;
  }
  return std::string(text.substr(start, last - start));
}

std::optional<double> parse_user_number(std::string_view text) {
  std::string t = trim(text);
  std::string ascii;
  std::size_t i = 0;
  while (i < t.size()) {
    char32_t cp = next_cp(t, i);
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
  return std::stod(ascii);
}

std::string int_text(long long v) { return std::to_string(v); }

}  // namespace lczs::host
