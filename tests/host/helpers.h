// Small helpers for the in-memory host's tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/memory_host.h"

namespace lczs::memory::testing {

using host::Area;
using host::Value;

inline Value N(double x) { return Value::number(x); }
inline Value T(const char* s) { return Value::text(s); }

// An application with one workbook holding one sheet "S" (active) of rows.
struct OneSheet {
  MemoryApplication app;
  MemoryWorkbook* book;
  MemoryWorksheet* ws;
  OneSheet(std::initializer_list<std::vector<Lit>> rows, std::string name = "S")
      : OneSheet(std::vector<std::vector<Lit>>(rows), std::move(name)) {}
  explicit OneSheet(std::vector<std::vector<Lit>> rows, std::string name = "S") {
    WorkbookData data;
    add_sheet(data, std::move(name), std::move(rows));
    book = &app.open(std::move(data));
    ws = &book->mem_sheet(1);
  }
};

// Column `col` of rows from..to as display texts ("" for empty).
inline std::vector<std::string> column(const host::Worksheet& ws, int col, int from, int to) {
  std::vector<std::string> out;
  for (int r = from; r <= to; ++r) out.push_back(ws.value(r, col).display_text());
  return out;
}

inline std::vector<std::string> row_texts(const host::Worksheet& ws, int row, int from, int to) {
  std::vector<std::string> out;
  for (int c = from; c <= to; ++c) out.push_back(ws.value(row, c).display_text());
  return out;
}

using Strings = std::vector<std::string>;

}  // namespace lczs::memory::testing
