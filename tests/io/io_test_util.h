// Helpers of the io tests: a scratch folder, the Python helpers, and a
// comparison of two workbooks that names the first difference.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <algorithm>
#include <cmath>
#include <tuple>

#include "host/types.h"

#include "model/model.h"

namespace lczs::memory {

// Readable failure messages for the model's formats.
inline void PrintTo(const Color& c, std::ostream* os) {
  *os << "{kind " << static_cast<int>(c.kind) << " argb " << std::hex << c.argb << std::dec << " index "
      << c.index << " theme " << c.theme << " tint " << c.tint << "}";
}
inline void PrintTo(const Font& f, std::ostream* os) {
  *os << "{" << f.name << " " << f.size << (f.bold ? " b" : "") << (f.italic ? " i" : "")
      << (f.strikethrough ? " s" : "") << (f.superscript ? " sup" : "") << (f.subscript ? " sub" : "")
      << (f.outline ? " outline" : "") << (f.shadow ? " shadow" : "") << " u" << static_cast<int>(f.underline)
      << " fam " << f.family << " cs " << f.charset << " scheme '" << f.scheme << "' color ";
  PrintTo(f.color, os);
  *os << "}";
}
inline void PrintTo(const BorderLine& b, std::ostream* os) {
  *os << "{" << static_cast<int>(b.style) << "/" << static_cast<int>(b.weight) << " ";
  PrintTo(b.color, os);
  *os << "}";
}
inline void PrintTo(const Format& f, std::ostream* os) {
  *os << "font ";
  PrintTo(f.font, os);
  *os << " fill " << f.fill.pattern << " ";
  PrintTo(f.fill.fg, os);
  PrintTo(f.fill.bg, os);
  *os << " borders L";
  PrintTo(f.borders.left, os);
  *os << " R";
  PrintTo(f.borders.right, os);
  *os << " T";
  PrintTo(f.borders.top, os);
  *os << " B";
  PrintTo(f.borders.bottom, os);
  *os << " D";
  PrintTo(f.borders.diagonal, os);
  *os << (f.borders.diagonal_up ? " up" : "") << (f.borders.diagonal_down ? " down" : "") << " align "
      << static_cast<int>(f.alignment.horizontal) << "/" << static_cast<int>(f.alignment.vertical) << " wrap "
      << f.alignment.wrap_text << " rot " << f.alignment.rotation << " ind " << f.alignment.indent << " shrink "
      << f.alignment.shrink_to_fit << " nf '" << f.number_format << "' locked " << f.locked << " hidden "
      << f.hidden;
}
inline void PrintTo(const TextRun& r, std::ostream* os) {
  *os << "'" << r.text << "' ";
  if (r.font) PrintTo(*r.font, os);
  else *os << "(cell font)";
}

}  // namespace lczs::memory

namespace lczs::io::test {

namespace fs = std::filesystem;

struct TempDir {
  fs::path dir;
  TempDir() {
    std::random_device rd;
    dir = fs::temp_directory_path() / ("lczs-io-" + std::to_string(rd()) + std::to_string(rd()));
    fs::create_directories(dir);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  std::string operator/(const std::string& name) const { return (dir / name).string(); }
};

inline std::string source_dir() {
  const char* env = std::getenv("LCZS_SOURCE_DIR");
  return env != nullptr ? env : LCZS_SOURCE_DIR;
}

// Runs tests/io/<script> with /usr/bin/python3; returns its exit status.
inline int python(const std::string& script, const std::string& args) {
  std::string cmd = "/usr/bin/python3 '" + source_dir() + "/tests/io/" + script + "' " + args;
  return std::system(cmd.c_str());
}

inline std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void spit(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

// Width and height as shown, whether the sheet or the column holds them.
inline double shown_width(const memory::SheetData& s, int col) {
  auto it = s.columns.find(col);
  return it != s.columns.end() && it->second.width ? *it->second.width : s.default_column_width;
}
inline int pixels(double width) {
  return width < 1 ? static_cast<int>(std::floor(width * 12 + 0.5)) : static_cast<int>(std::floor(width * 7 + 0.5)) + 5;
}
inline double shown_height(const memory::SheetData& s, int row) {
  auto it = s.rows.find(row);
  return it != s.rows.end() && it->second.height ? *it->second.height : s.default_row_height;
}

// A format as the file holds it.
inline memory::Format look(const memory::WorkbookData& book, memory::FormatId id) {
  return book.formats.get(id);
}

// Runs with the font each shows (a run without font shows the cell's).
inline std::vector<memory::TextRun> runs_shown(const memory::WorkbookData& book, const memory::Cell& cell) {
  std::vector<memory::TextRun> out = cell.runs();
  for (auto& r : out) {
    if (!r.font) r.font = book.formats.get(cell.format).font;
  }
  return out;
}

// Everything a user sees of two workbooks is the same.
inline void expect_same_book(const memory::WorkbookData& a, const memory::WorkbookData& b) {
  ASSERT_EQ(a.sheets.size(), b.sheets.size());
  EXPECT_EQ(a.active_sheet, b.active_sheet);
  EXPECT_EQ(a.settings, b.settings);
  EXPECT_TRUE(a.names == b.names) << "defined names";
  EXPECT_EQ(look(a, 0), look(b, 0)) << "default format";
  for (std::size_t i = 0; i < a.sheets.size(); ++i) {
    const auto& x = *a.sheets[i];
    const auto& y = *b.sheets[i];
    SCOPED_TRACE("sheet " + x.name);
    EXPECT_EQ(x.name, y.name);
    EXPECT_EQ(x.hidden, y.hidden);
    EXPECT_EQ(x.very_hidden, y.very_hidden);
    EXPECT_EQ(x.settings, y.settings);
    EXPECT_TRUE(x.ranges == y.ranges) << "validations, conditional formats, filter, names";
    EXPECT_EQ(x.cell_count(), y.cell_count());
    x.for_each([&](int r, int c, const memory::Cell& cx) {
      SCOPED_TRACE("cell " + host::address(host::Area::cell(r, c), false));
      const memory::Cell* cy = y.get(r, c);
      ASSERT_NE(cy, nullptr);
      EXPECT_EQ(cx.value, cy->value) << cx.value.display_text() << " vs " << cy->value.display_text();
      EXPECT_EQ(cx.formula(), cy->formula());
      EXPECT_EQ(look(a, cx.format), look(b, cy->format));
      EXPECT_EQ(runs_shown(a, cx), runs_shown(b, *cy));
    });
    // Columns are drawn in whole pixels.
    for (int c = 1; c <= 40; ++c) EXPECT_EQ(pixels(shown_width(x, c)), pixels(shown_width(y, c))) << "column " << c;
    for (int r = 1; r <= std::max(x.max_row(), 40); ++r)
      EXPECT_NEAR(shown_height(x, r), shown_height(y, r), 1e-6) << "row " << r;
    for (const auto& [c, info] : x.columns) {
      auto it = y.columns.find(c);
      ASSERT_NE(it, y.columns.end()) << "column " << c;
      EXPECT_EQ(info.hidden, it->second.hidden);
      EXPECT_EQ(info.outline_level, it->second.outline_level);
      EXPECT_EQ(info.collapsed, it->second.collapsed);
      EXPECT_EQ(look(a, info.format.value_or(0)), look(b, it->second.format.value_or(0)));
    }
    for (const auto& [r, info] : x.rows) {
      if (!info.format && !info.hidden && info.outline_level == 0 && !info.collapsed) continue;
      auto it = y.rows.find(r);
      ASSERT_NE(it, y.rows.end()) << "row " << r;
      EXPECT_EQ(info.hidden, it->second.hidden);
      EXPECT_EQ(info.outline_level, it->second.outline_level);
      EXPECT_EQ(info.collapsed, it->second.collapsed);
      EXPECT_EQ(look(a, info.format.value_or(0)), look(b, it->second.format.value_or(0)));
    }
    auto mx = x.merges, my = y.merges;
    auto less = [](const host::Area& p, const host::Area& q) {
      return std::tie(p.top, p.left, p.bottom, p.right) < std::tie(q.top, q.left, q.bottom, q.right);
    };
    std::sort(mx.begin(), mx.end(), less);
    std::sort(my.begin(), my.end(), less);
    EXPECT_EQ(mx, my);
    EXPECT_EQ(x.row_breaks, y.row_breaks);
    EXPECT_EQ(x.view.selection, y.view.selection);
    EXPECT_EQ(x.view.active_cell, y.view.active_cell);
  }
}

}  // namespace lczs::io::test
