// The sheet's embedded charts: kept as made, for the file writer.
#include "model/memory_host.h"
#include "model/memory_internal.h"

namespace lczs::memory {

void MemoryWorksheet::add_chart(const host::Chart& chart) {
  std::string problem = host::chart_problem(chart);
  if (!problem.empty()) detail::fail(problem);
  detail::carried_chart_added(book_->data_, *data_);
  data().charts.push_back(chart);
}

}  // namespace lczs::memory
