// Application.WorksheetFunction of the in-memory host.
#include <cmath>
#include <limits>

#include "host/forwarding.h"
#include "model/memory_internal.h"

namespace lczs::memory {

using namespace detail;

namespace {

const MemoryWorksheet& memory_sheet(const host::Worksheet& sheet) {
  auto* ms = dynamic_cast<const MemoryWorksheet*>(&unwrap(sheet));
  if (!ms) fail("工作表不属于此应用程序");
  return *ms;
}

// Calls f(row, col, value) for the stored cells of an area, row by row.
template <class F>
void for_each_value(const MemoryWorksheet& ws, const Area& area, F&& f) {
  ws.data().store().each(area, [&](int r, int c, const Cell& cell) {
    if (cell.formula().empty()) f(r, c, cell.value);
    else f(r, c, formula_value(ws, r, c, cell));
  });
}

long long cell_total(const Area& a) { return static_cast<long long>(a.row_count()) * a.col_count(); }

bool blank(const Value& v) { return v.is_empty() || (v.is_text() && v.as_text().empty()); }

std::optional<double> number_in(const std::string& text) {
  Value v = typed_entry(text);
  if (v.is_number()) return v.as_number();
  return std::nullopt;
}

// Whole-text match with the criteria wildcards: * any run, ? one character,
// ~ takes the next character literally. Latin letters compare without case.
bool wild_match(std::string_view pat, std::string_view text) {
  auto next_char = [](std::string_view s, std::size_t i) {
    std::size_t n = 1;
    while (i + n < s.size() && (static_cast<unsigned char>(s[i + n]) & 0xC0) == 0x80) ++n;
    return n;
  };
  std::size_t p = 0, t = 0, star_p = std::string_view::npos, star_t = 0;
  while (t < text.size()) {
    if (p < pat.size() && pat[p] == '*') {
      star_p = ++p;
      star_t = t;
      continue;
    }
    if (p < pat.size()) {
      std::size_t pl = next_char(pat, p), tl = next_char(text, t);
      bool lit = pat[p] == '~' && p + 1 < pat.size();
      std::size_t q = lit ? p + 1 : p;
      if (lit) pl = next_char(pat, q);
      if ((!lit && pat[p] == '?') || iequals(pat.substr(q, pl), text.substr(t, tl))) {
        p = q + pl;
        t += tl;
        continue;
      }
    }
    if (star_p == std::string_view::npos) return false;
    p = star_p;
    star_t += next_char(text, star_t);
    t = star_t;
  }
  while (p < pat.size() && pat[p] == '*') ++p;
  return p == pat.size();
}

class MemoryFunctions : public host::WorksheetFunctions {
 public:
  int count_blank(const host::Worksheet& sheet, const Area& area) override {
    check_area(area);
    const MemoryWorksheet& ws = memory_sheet(sheet);
    long long filled = 0;
    for_each_value(ws, area, [&](int, int, const Value& v) { filled += blank(v) ? 0 : 1; });
    return clamp(cell_total(area) - filled);
  }

  int count_if(const host::Worksheet& sheet, const Area& area, const Value& criterion) override {
    check_area(area);
    const MemoryWorksheet& ws = memory_sheet(sheet);
    // A criterion that is "" (or nothing) counts blank cells; a number, or a
    // text that reads as one, counts numbers equal to it and texts that read
    // as it; TRUE/FALSE count booleans; an error counts that error; any other
    // text counts texts equal to it, ignoring case, with wildcards.
    Value crit = criterion;
    if (crit.is_text()) {
      std::string t = crit.as_text();
      if (!t.empty() && t[0] == '=') t = t.substr(1);
      if (t.empty()) crit = Value();
      else if (auto n = number_in(t)) crit = Value::number(*n);
      else if (iequals(t, "TRUE") || iequals(t, "FALSE")) crit = Value::boolean(iequals(t, "TRUE"));
      else if (auto e = host::parse_error(t)) crit = Value::error(*e);
      else crit = Value::text(t);
    }
    if (crit.is_empty()) {
      long long filled = 0;
      for_each_value(ws, area, [&](int, int, const Value& v) { filled += blank(v) ? 0 : 1; });
      return clamp(cell_total(area) - filled);
    }
    long long n = 0;
    for_each_value(ws, area, [&](int, int, const Value& v) {
      bool hit = false;
      switch (crit.kind()) {
        case Value::Kind::Number:
          if (v.is_number()) hit = v.as_number() == crit.as_number();
          else if (v.is_text())
            if (auto x = number_in(v.as_text())) hit = *x == crit.as_number();
          break;
        case Value::Kind::Boolean: hit = v.is_boolean() && v.as_boolean() == crit.as_boolean(); break;
        case Value::Kind::Error: hit = v.is_error() && v.as_error() == crit.as_error(); break;
        case Value::Kind::Text: hit = v.is_text() && wild_match(crit.as_text(), v.as_text()); break;
        case Value::Kind::Empty: break;
      }
      n += hit ? 1 : 0;
    });
    return clamp(n);
  }

  double max(const host::Worksheet& sheet, const Area& area) override {
    double m = -std::numeric_limits<double>::infinity();
    long long count = numbers(sheet, area, [&](double x) { m = std::max(m, x); });
    return count ? m : 0;
  }

  double min(const host::Worksheet& sheet, const Area& area) override {
    double m = std::numeric_limits<double>::infinity();
    long long count = numbers(sheet, area, [&](double x) { m = std::min(m, x); });
    return count ? m : 0;
  }

  double average(const host::Worksheet& sheet, const Area& area) override {
    double sum = 0;
    long long count = numbers(sheet, area, [&](double x) { sum += x; });
    if (count == 0) fail("求平均值的区域中没有数字（#DIV/0!）");
    return sum / static_cast<double>(count);
  }

  int match_exact(const Value& value, const host::Worksheet& sheet, const Area& area) override {
    check_area(area);
    if (area.row_count() != 1 && area.col_count() != 1) fail("查找区域必须是一行或一列（#N/A）");
    const MemoryWorksheet& ws = memory_sheet(sheet);
    int found = 0;
    for_each_value(ws, area, [&](int r, int c, const Value& v) {
      if (found) return;
      bool hit = false;
      if (value.is_number()) hit = v.is_number() && v.as_number() == value.as_number();
      else if (value.is_text()) hit = v.is_text() && wild_match(value.as_text(), v.as_text());
      else if (value.is_boolean()) hit = v.is_boolean() && v.as_boolean() == value.as_boolean();
      else if (value.is_error()) hit = v.is_error() && v.as_error() == value.as_error();
      if (hit) found = area.col_count() == 1 ? r - area.top + 1 : c - area.left + 1;
    });
    if (!found) fail("在查找区域中找不到匹配的值（#N/A）");
    return found;
  }

 private:
  static int clamp(long long n) {
    return n > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : static_cast<int>(n);
  }

  // Feeds the numbers of an area to f; an error value in it fails as the
  // application's function does.
  template <class F>
  long long numbers(const host::Worksheet& sheet, const Area& area, F&& f) {
    check_area(area);
    const MemoryWorksheet& ws = memory_sheet(sheet);
    long long count = 0;
    for_each_value(ws, area, [&](int, int, const Value& v) {
      if (v.is_error()) fail("区域中含有错误值" + std::string(host::error_text(v.as_error())));
      if (v.is_number()) {
        f(v.as_number());
        ++count;
      }
    });
    return count;
  }
};

}  // namespace

namespace detail {
std::unique_ptr<host::WorksheetFunctions> make_functions(MemoryApplication&) {
  return std::make_unique<MemoryFunctions>();
}
}  // namespace detail

}  // namespace lczs::memory
