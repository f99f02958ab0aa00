// Storage behind SheetData: rows of cells, both keyed by number, so that a
// cell is found in O(log n), references to cells stay valid while other cells
// come and go, and moving rows (sort, insert, delete) moves map nodes
// without copying cells.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/formula.h"
#include "model/model.h"

namespace lczs::memory {

struct SheetData::Store {
  using Row = std::map<int, Cell>;
  std::map<int, Row> rows;        // rows holding at least one cell
  std::map<int, int> col_counts;  // column -> number of stored cells in it
  std::size_t count = 0;
  // False only when a scan found no formula and none can have come since:
  // lets the reference rewriting after a rename, insert or delete pass over
  // sheets of plain values without reading every cell. Whatever may write a
  // formula into the sheet sets it (set_formula, paste, at(), put()).
  bool maybe_formulas = true;

  // Formula values computed since the workbook's last change, by cell. Keyed
  // by address: cells are map nodes and keep their address while they live;
  // an entry of a cell that went away is stale (older stamp or other text)
  // and never trusted. A copy of the sheet starts with an empty cache.
  struct CalcEntry {
    std::uint64_t stamp = 0;   // workbook generation of the value
    std::string text;          // the formula the parse belongs to
    formula::ParsedPtr parsed;
    bool busy = false;         // being evaluated (circular reference guard)
    // What the value depends on, for keeping it across unrelated changes:
    // the areas the formula reads, unless it reads other formulas or its
    // references are computed (then any change makes it stale).
    bool areas_known = false;
    bool always_stale = false;
    std::vector<std::pair<const SheetData*, Area>> areas;
  };
  struct CalcCache {
    std::unordered_map<const Cell*, CalcEntry> entries;
    CalcCache() = default;
    CalcCache(const CalcCache&) {}
    CalcCache& operator=(const CalcCache&) {
      entries.clear();
      return *this;
    }
    CalcCache(CalcCache&&) = default;
    CalcCache& operator=(CalcCache&&) = default;
  };
  CalcCache calc;

  void clear() {
    rows.clear();
    col_counts.clear();
    count = 0;
    calc.entries.clear();
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
