#include "host/page_breaks.h"

#include <set>

namespace lczs::host {

std::size_t page_breaks_that_fit(const Worksheet& sheet, const std::vector<int>& rows) {
  if (rows.empty()) return 0;
  const std::vector<int> before = sheet.page_breaks();
  std::set<int> held(before.begin(), before.end());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (held.count(rows[i])) continue;
    if (held.size() >= static_cast<std::size_t>(kMaxPageBreaks)) return i;
    held.insert(rows[i]);
  }
  return rows.size();
}

}  // namespace lczs::host
