// Manual page breaks within the limit of what a sheet holds.
#pragma once

#include <cstddef>
#include <vector>

#include "host/host.h"

namespace lczs::host {

// How many of `rows`, taken in order, can go in as manual breaks before the
// sheet holds kMaxPageBreaks; a row that already has a break, or comes twice,
// costs nothing. A job adds that many and goes on: a report with fewer
// breaks is still a report, while the application fails a little past the
// limit and the file format keeps no more.
std::size_t page_breaks_that_fit(const Worksheet& sheet, const std::vector<int>& rows);

}  // namespace lczs::host
