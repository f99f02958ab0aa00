// Values, formulas and their recalculation, typed entry, Replace, the
// current region and End(xlDown).
#include "helpers.h"

#include <functional>
#include <utility>

namespace lczs::memory::testing {
namespace {

TEST(Cells, ValuesAndFormulaText) {
  OneSheet s({});
  s.ws->set_value(1, 1, N(88.5));
  s.ws->set_value(1, 2, T("男"));
  s.ws->set_value(1, 3, Value::boolean(true));
  s.ws->set_value(1, 4, T(""));  // "" empties the cell
  EXPECT_EQ(s.ws->formula(1, 1), "88.5");
  EXPECT_EQ(s.ws->formula(1, 2), "男");
  EXPECT_EQ(s.ws->formula(1, 3), "TRUE");
  EXPECT_TRUE(s.ws->value(1, 4).is_empty());
  EXPECT_EQ(s.ws->data().get(1, 4), nullptr);
  EXPECT_THROW(s.ws->value(0, 1), host::HostError);
  EXPECT_THROW(s.ws->set_value(1, host::kMaxCols + 1, N(1)), host::HostError);
  // The last cells of the sheet are usable.
  s.ws->set_value(host::kMaxRows, host::kMaxCols, N(7));
  EXPECT_EQ(s.ws->value(host::kMaxRows, host::kMaxCols), N(7));
}

TEST(Cells, EnteredAsTyped) {
  struct Case {
    const char* typed;
    Value stored;
  } cases[] = {
      {"42", N(42)},       {"-3.5", N(-3.5)},          {"1E3", N(1000)},
      {"50%", N(0.5)},     {"true", Value::boolean(true)}, {"#N/A", Value::error(host::ErrorCode::NA)},
      {"高一(1)班", T("高一(1)班")}, {"12abc", T("12abc")}, {"inf", T("inf")},
      {"0x10", T("0x10")}, {"", Value()},
  };
  for (const auto& c : cases) {
    OneSheet s({});
    s.ws->set_formula(Area::cell(1, 1), c.typed);
    EXPECT_EQ(s.ws->value(1, 1), c.stored) << c.typed;
  }
}

TEST(Cells, FormulasOverAreaAndR1C1) {
  OneSheet s({{1, 10}, {2, 20}, {3, 30}});
  s.ws->set_formula(Area{1, 3, 3, 3}, "=A1+$B$1");
  EXPECT_EQ(s.ws->formula(3, 3), "=A3+$B$1");
  EXPECT_EQ(column(*s.ws, 3, 1, 3), (Strings{"11", "12", "13"}));
  s.ws->set_formula_r1c1(Area{1, 4, 3, 4}, "=RC[-3]*2");
  EXPECT_EQ(s.ws->formula(2, 4), "=A2*2");
  EXPECT_EQ(column(*s.ws, 4, 1, 3), (Strings{"2", "4", "6"}));
  EXPECT_THROW(s.ws->set_formula(Area::cell(5, 5), "=SUM(("), host::HostError);
}

TEST(Cells, RecalculatesAfterChanges) {
  OneSheet s({{"语文"}, {90}, {"缺考"}, {60}, {"=AVERAGEA(A2:A4)"}, {"=AVERAGE(A2:A4)"}, {"=A5+A6"}});
  EXPECT_EQ(s.ws->value(5, 1), N(50));  // text counts as 0
  EXPECT_EQ(s.ws->value(6, 1), N(75));  // text skipped
  EXPECT_EQ(s.ws->value(7, 1), N(125));
  s.ws->set_value(3, 1, N(30));
  EXPECT_EQ(s.ws->value(5, 1), N(60));
  EXPECT_EQ(s.ws->value(7, 1), N(120));
}

TEST(Cells, UnsupportedFormulaKeepsItsValueAndAsksForRecalc) {
  WorkbookData data;
  SheetData& sheet = add_sheet(data, "S", {});
  Cell cell;
  cell.set_formula("NOSUCHFUNCTION(B1:C3)");
  cell.value = N(5);
  sheet.put(1, 1, cell);
  MemoryApplication app;
  MemoryWorkbook& book = app.open(std::move(data));
  EXPECT_EQ(book.mem_sheet(1).value(1, 1), N(5));
  EXPECT_TRUE(std::as_const(book).data().needs_full_recalc);
}

TEST(Cells, CircularReferenceSettlesOnTheLastValues) {
  OneSheet s({{Lit("=B1+1"), Lit("=A1+1")}});
  // The cycle is cut where it closes: each cell is a number that reading
  // again does not move.
  const auto a = s.ws->value(1, 1), b = s.ws->value(1, 2);
  EXPECT_TRUE(a.is_number() && b.is_number());
  EXPECT_EQ(s.ws->value(1, 1), a);
  EXPECT_EQ(s.ws->value(1, 2), b);
}

TEST(Cells, TodayIsSettable) {
  OneSheet s({{"=TODAY()"}});
  s.app.set_today(2026, 12, 7);
  EXPECT_EQ(s.ws->value(1, 1), N(46363));
}

TEST(Cells, ReplaceWholeCellCaseInsensitive) {
  OneSheet s({{0, "0", "a0", "=0"}, {"Abc", "abc", "abcd", 10}});
  EXPECT_EQ(s.ws->replace_whole(Area{1, 1, 2, 4}, "0", ""), 2);
  EXPECT_TRUE(s.ws->value(1, 1).is_empty());
  EXPECT_TRUE(s.ws->value(1, 2).is_empty());
  EXPECT_EQ(s.ws->value(1, 3), T("a0"));
  EXPECT_EQ(s.ws->formula(1, 4), "=0");  // formulas are not constants
  EXPECT_EQ(s.ws->replace_whole(Area::columns(1, 4), "ABC", "7"), 2);
  EXPECT_EQ(s.ws->value(2, 1), N(7));
  EXPECT_EQ(s.ws->value(2, 3), T("abcd"));
}

// A number is replaced when the text it shows is the one asked for.
TEST(Cells, ReplaceWholeNumberByItsShownText) {
  const struct {
    double number;
    const char* what;
    bool replaced;
  } cases[] = {{0, "0", true},          {1e-7, "0", false},       {0.1000000000000001, "0.1", true},
               {0.1001, "0.1", false},  {1e20, "1e+20", true},    {2.5, "2.50", false},
               {12, "12 ", false},      {-3, "-3", true},         {1234567890123456789.0, "1.23456789012346E+18", true}};
  for (const auto& c : cases) {
    OneSheet s({{c.number}});
    EXPECT_EQ(s.ws->replace_whole(Area::cell(1, 1), c.what, "x") == 1, c.replaced) << c.number << " / " << c.what;
  }
}

TEST(Cells, ClearContentsKeepsFormats) {
  OneSheet s({{1, 2}});
  s.ws->set_font(Area::cell(1, 1), {.bold = true});
  s.ws->clear_contents(Area::rows(1, 1));
  EXPECT_TRUE(s.ws->value(1, 1).is_empty());
  EXPECT_TRUE(s.ws->format(1, 1).font.bold);
  EXPECT_EQ(s.ws->data().get(1, 2), nullptr);
}

// Range.Value and every other way a value goes in keeps the cell's format,
// and an empty cell written in a formatted column takes the column's.
TEST(Cells, EveryValueWriteKeepsTheFormat) {
  using Write = void (*)(MemoryWorksheet&, int row, int col);
  const struct {
    const char* path;
    Write write;
  } paths[] = {
      {"set_value", [](MemoryWorksheet& ws, int r, int c) { ws.set_value(r, c, N(7)); }},
      {"set_values", [](MemoryWorksheet& ws, int r, int c) { ws.set_values(Area::cell(r, c), T("x")); }},
      {"write_values",
       [](MemoryWorksheet& ws, int r, int c) {
         host::ValueGrid g(1, 1);
         g.at(0, 0) = N(3);
         ws.write_values({r, c}, g);
       }},
      {"set_formula constant", [](MemoryWorksheet& ws, int r, int c) { ws.set_formula(Area::cell(r, c), "12"); }},
      {"set_formula", [](MemoryWorksheet& ws, int r, int c) { ws.set_formula(Area::cell(r, c), "=1+1"); }},
      {"set_formula_r1c1", [](MemoryWorksheet& ws, int r, int c) { ws.set_formula_r1c1(Area::cell(r, c), "=RC[-1]"); }},
      {"replace_whole", [](MemoryWorksheet& ws, int r, int c) { ws.replace_whole(Area::cell(r, c), "5", "6"); }},
      {"clear_contents", [](MemoryWorksheet& ws, int r, int c) { ws.clear_contents(Area::cell(r, c)); }},
  };
  const host::BorderSpec thin{.style = host::LineStyle::Continuous, .weight = host::BorderWeight::Thin};
  for (const auto& p : paths) {
    SCOPED_TRACE(p.path);
    OneSheet s({{1, 5}, {1, nullptr}});
    // B1 formatted itself; B2 empty under a formatted column B.
    s.ws->set_font(Area::cell(1, 2), {.name = "宋体", .bold = true});
    s.ws->set_border(Area::cell(1, 2), host::BorderIndex::EdgeBottom, thin);
    s.ws->set_number_format(Area::cell(1, 2), "0.0");
    s.ws->set_font(Area::columns(2, 2), {.name = "楷体"});
    s.ws->set_font(Area::cell(1, 2), {.name = "宋体"});
    const memory::Format own = s.ws->format(1, 2), column = s.ws->format(2, 2);
    p.write(*s.ws, 1, 2);
    EXPECT_EQ(s.ws->format(1, 2), own);
    p.write(*s.ws, 2, 2);
    EXPECT_EQ(s.ws->format(2, 2), column);
    EXPECT_EQ(s.ws->format(2, 2).font.name, "楷体");
  }
}

struct RegionCase {
  const char* name;
  std::vector<std::vector<Lit>> rows;
  int row, col;
  Area expected;
};

TEST(Region, CurrentRegion) {
  const Lit _ = nullptr;
  const RegionCase cases[] = {
      {"block", {{1, 2}, {3, 4}}, 1, 1, {1, 1, 2, 2}},
      {"empty isolated cell", {{1, _, _}, {_, _, _}, {_, _, 5}}, 3, 1, {3, 1, 3, 1}},
      {"diagonal neighbour joins", {{1, _}, {_, 2}}, 1, 1, {1, 1, 2, 2}},
      {"diagonal chain", {{1, _, _}, {_, 2, _}, {_, _, 3}}, 3, 3, {1, 1, 3, 3}},
      {"blank row separates", {{1, 2}, {_, _}, {3, 4}}, 1, 1, {1, 1, 1, 2}},
      {"blank column separates", {{1, _, 2}, {3, _, 4}}, 2, 3, {1, 3, 2, 3}},
      {"ragged table", {{1, 2, 3}, {4, _, _}, {5, 6, _}, {_, 7, 8}}, 1, 1, {1, 1, 4, 3}},
      {"from an empty cell next to data", {{_, _, _}, {_, _, 1}}, 1, 2, {1, 2, 2, 3}},
      {"gap inside the block", {{1, 2, 3}, {4, _, 6}, {7, 8, 9}}, 2, 2, {1, 1, 3, 3}},
  };
  for (const auto& tc : cases) {
    OneSheet s(tc.rows);
    EXPECT_EQ(s.ws->current_region(tc.row, tc.col), tc.expected) << tc.name;
  }
}

TEST(Region, FormattedEmptyCellsDoNotCount) {
  OneSheet s({{Lit(1)}});
  s.ws->set_font(Area::cell(2, 2), {.bold = true});
  EXPECT_EQ(s.ws->current_region(1, 1), Area::cell(1, 1));
}

TEST(Region, EndDown) {
  const Lit _ = nullptr;
  OneSheet s({{1}, {2}, {3}, {_}, {_}, {6}, {7}});
  struct {
    int from, to;
  } cases[] = {{1, 3}, {2, 3}, {3, 6}, {4, 6}, {6, 7}, {7, host::kMaxRows}, {8, host::kMaxRows}};
  for (auto c : cases) EXPECT_EQ(s.ws->end_down(c.from, 1).row, c.to) << c.from;
}

TEST(Region, UsedExtent) {
  OneSheet s({});
  EXPECT_EQ(s.ws->used_extent(), (host::CellRef{0, 0}));
  s.ws->set_value(5, 3, N(1));
  s.ws->set_value(2, 7, N(1));
  EXPECT_EQ(s.ws->used_extent(), (host::CellRef{5, 7}));
}

}  // namespace
}  // namespace lczs::memory::testing

namespace lczs::memory::testing {
namespace {

// Values kept across changes must be exactly those a full recalculation
// gives: each step below is followed by a comparison with a fresh copy.
TEST(Recalc, KeptValuesMatchAFullRecalculation) {
  WorkbookData data;
  add_sheet(data, "S", {{1, 2, "=SUM(A1:B1)", "=C1*2", "=AVERAGEA($A$1:$A$3)"}, {3}, {"x"}});
  // T!C1 reads a formula that reads a formula: it goes stale through both.
  add_sheet(data, "T", {{"=S!A1+1", "=SUM(S!A:A)", "=S!D1+A1"}});
  MemoryApplication app;
  MemoryWorkbook& book = app.open(std::move(data));
  MemoryWorksheet& s = book.mem_sheet("S");
  bool s_alive = true;
  const std::vector<std::pair<const char*, std::function<void()>>> steps = {
      {"cell outside every range", [&] { s.set_value(10, 10, N(5)); }},
      {"cell inside a range", [&] { s.set_value(1, 2, N(20)); }},
      {"chained formula source", [&] { s.set_value(1, 1, N(7)); }},
      {"text inside AVERAGEA range", [&] { s.set_value(3, 1, N(9)); }},
      {"same formula written again", [&] {
         s.set_value(1, 4, N(0));
         s.set_formula(Area::cell(1, 4), "=C1*2");
       }},
      {"paste into a range", [&] {
         app.copy(s, Area::cell(2, 1));
         app.paste(s, {3, 1});
       }},
      {"sheet read by T replaced by one of the same name", [&] {
         s.set_name("S0");
         host::Worksheet& n = book.add_sheet();
         n.set_name("S");
         n.set_value(1, 1, N(100));
         book.mem_sheet("T").set_formula(Area::cell(1, 1), "=S!A1+1");
         book.mem_sheet("T").set_formula(Area::cell(1, 2), "=SUM(S!A:A)");
         book.delete_sheet(s);
         s_alive = false;
       }},
  };
  for (const auto& [name, step] : steps) {
    step();
    Strings kept = row_texts(book.mem_sheet("T"), 1, 1, 3);
    if (s_alive) {
      for (auto& v : row_texts(s, 1, 1, 5)) kept.push_back(v);
    }
    // The same sheets in a workbook of their own compute everything afresh.
    WorkbookData copy;
    for (const auto& sheet : std::as_const(book).data().sheets)
      copy.sheets.push_back(std::make_unique<SheetData>(*sheet));
    MemoryApplication other;
    MemoryWorkbook& again = other.open(std::move(copy));
    Strings fresh = row_texts(again.mem_sheet("T"), 1, 1, 3);
    if (s_alive) {
      for (auto& v : row_texts(again.mem_sheet("S"), 1, 1, 5)) fresh.push_back(v);
    }
    EXPECT_EQ(kept, fresh) << name;
  }
}

TEST(Recalc, FormulaOnDeletedThenRecreatedSheet) {
  WorkbookData data;
  add_sheet(data, "A", {{"=B!A1"}});
  add_sheet(data, "B", {{1}});
  MemoryApplication app;
  MemoryWorkbook& book = app.open(std::move(data));
  EXPECT_EQ(book.mem_sheet("A").value(1, 1), N(1));
  book.delete_sheet(book.sheet("B"));
  EXPECT_EQ(book.mem_sheet("A").value(1, 1), Value::error(host::ErrorCode::Ref));
}

}  // namespace
}  // namespace lczs::memory::testing
