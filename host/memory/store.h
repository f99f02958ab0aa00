// Storage behind SheetData: rows of cells, both keyed by number, so that a
// cell is found in O(log n), references to cells stay valid while other cells
// come and go, and moving rows (sort, insert, delete) moves map nodes
// without copying cells.
#pragma once

#include <map>

#include "host/memory/model.h"

namespace lczs::memory {

struct SheetData::Store {
  using Row = std::map<int, Cell>;
  std::map<int, Row> rows;        // rows holding at least one cell
  std::map<int, int> col_counts;  // column -> number of stored cells in it
  std::size_t count = 0;

  void clear() {
    rows.clear();
    col_counts.clear();
    count = 0;
  }
  // Bookkeeping after a cell was added to / removed from column `col`.
  void added(int col) {
    ++col_counts[col];
    ++count;
  }
  void removed(int col) {
    auto it = col_counts.find(col);
    if (it != col_counts.end() && --it->second == 0) col_counts.erase(it);
    --count;
  }
  // Rebuilds col_counts and count from the rows (after bulk moves).
  void recount() {
    col_counts.clear();
    count = 0;
    for (auto& [r, row] : rows)
      for (auto& [c, cell] : row) {
        ++col_counts[c];
        ++count;
      }
  }
};

}  // namespace lczs::memory
