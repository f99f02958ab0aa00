// Range-owned items under the edits of the sheet: areas and formulas
// rewritten by the same rules as cell formulas.
#include "model/ranges.h"

#include <algorithm>

namespace lczs::memory {

const std::string* find_name(const std::vector<DefinedName>& names, std::string_view name) {
  for (const auto& n : names)
    if (n.name == name) return &n.formula;
  return nullptr;
}

namespace {

using Rewrite = std::function<std::string(std::string_view)>;

// An area through the rewrite, as a reference on its own sheet; nullopt
// when its cells went. Whole columns and rows go as such ("C:C", "1:1"), so
// that they stay whole when rows (columns) go, as in the application.
std::optional<host::Area> rewrite_area(const host::Area& a, const Rewrite& f) {
  bool columns = a.top == 1 && a.bottom == host::kMaxRows, rows = a.left == 1 && a.right == host::kMaxCols;
  if (columns == rows) return host::parse_address(f(host::address(a, false)));
  std::string text = columns ? host::column_letters(a.left) + ":" + host::column_letters(a.right)
                             : std::to_string(a.top) + ":" + std::to_string(a.bottom);
  text = f(text);
  // Back from "D:E" or "2:3" by completing the corners.
  std::size_t colon = text.find(':');
  if (colon == std::string::npos) return std::nullopt;
  std::string first = text.substr(0, colon), last = text.substr(colon + 1);
  if (columns) return host::parse_address(first + "1:" + last + std::to_string(host::kMaxRows));
  return host::parse_address("A" + first + ":" + host::column_letters(host::kMaxCols) + last);
}

// Areas through the rewrite; false when none is left.
bool rewrite_areas(Areas& areas, const Rewrite& f) {
  Areas kept;
  for (const auto& a : areas)
    if (auto b = rewrite_area(a, f)) kept.push_back(*b);
  areas = std::move(kept);
  return !areas.empty();
}

void rewrite_text(std::string& formula, const Rewrite& f) {
  if (!formula.empty()) formula = f(formula);
}

// The values of a colour scale's, data bar's or icon set's points.
void rewrite_points(Element& e, const Rewrite& f) {
  if (e.name == "cfvo")
    for (auto& [name, value] : e.attributes)
      if (name == "val") rewrite_text(value, f);
  if (e.name == "f") rewrite_text(e.text, f);
  for (auto& c : e.children) rewrite_points(c, f);
}

}  // namespace

void rewrite_range_items(RangeItems& items, const Rewrite& f) {
  std::erase_if(items.validations, [&](DataValidation& v) {
    if (!rewrite_areas(v.areas, f)) return true;
    rewrite_text(v.formula1, f);
    rewrite_text(v.formula2, f);
    return false;
  });
  std::erase_if(items.conditional_formats, [&](ConditionalFormat& cf) {
    if (!rewrite_areas(cf.areas, f)) return true;
    for (auto& rule : cf.rules) {
      for (auto& formula : rule.formulas) rewrite_text(formula, f);
      if (rule.scale) rewrite_points(*rule.scale, f);
    }
    return false;
  });
  if (auto& filter = items.autofilter) {
    // Each criterion belongs to its column of the sheet: it follows that
    // column and goes with it.
    host::Area old_area = filter->area;
    if (auto area = rewrite_area(old_area, f)) {
      filter->area = *area;
      std::erase_if(filter->columns, [&](FilterColumn& c) {
        int col = old_area.left + c.column;
        auto moved = rewrite_area(host::Area{old_area.top, col, old_area.top, col}, f);
        if (!moved || moved->left < area->left || moved->left > area->right) return true;
        c.column = moved->left - area->left;
        return false;
      });
    } else {
      filter.reset();
    }
  }
  for (auto& n : items.names) rewrite_text(n.formula, f);
}

}  // namespace lczs::memory
