// Copy, cut and paste; deleting and inserting cells and rows; reference
// adjustment and merged ranges under these edits.
#include "helpers.h"

namespace lczs::memory::testing {
namespace {

using host::CellRef;
using host::Shift;

TEST(Paste, CopyShiftsRelativeReferencesAndKeepsFormats) {
  OneSheet s({{1, 2, "=A1+B1", "=$A$1+B$1"}, {10, 20}});
  s.ws->set_font(Area::cell(1, 3), {.size = 14, .bold = true});
  s.ws->merge(Area{1, 5, 1, 6});
  s.app.copy(*s.ws, Area{1, 1, 1, 6});
  s.app.paste(*s.ws, CellRef{2, 1});
  EXPECT_EQ(s.ws->formula(2, 3), "=A2+B2");
  EXPECT_EQ(s.ws->formula(2, 4), "=$A$1+B$1");  // same column: nothing moves
  EXPECT_EQ(s.ws->value(2, 3), N(3));  // the pasted 1 and 2
  EXPECT_TRUE(s.ws->format(2, 3).font.bold);
  EXPECT_EQ(s.ws->format(2, 3).font.size, 14);
  EXPECT_EQ(s.ws->merge_at(2, 6), (Area{2, 5, 2, 6}));
  EXPECT_TRUE(s.app.copy_mode());
  s.app.end_copy_mode();
  EXPECT_FALSE(s.app.copy_mode());
  EXPECT_THROW(s.app.paste(*s.ws, CellRef{5, 1}), host::HostError);
}

TEST(Paste, ReferenceLeavingTheSheetBecomesRefError) {
  OneSheet s({{nullptr, "=A1"}});
  s.app.copy(*s.ws, Area::cell(1, 2));
  s.app.paste(*s.ws, CellRef{1, 1});
  EXPECT_EQ(s.ws->formula(1, 1), "=#REF!");
  EXPECT_EQ(s.ws->value(1, 1), Value::error(host::ErrorCode::Ref));
}

TEST(Paste, WholeRowCopyCarriesHeightAndLandsAtColumnOne) {
  OneSheet s({{"a", "b", 3}, {"x"}});
  s.ws->set_row_height(1, 1, 30);
  s.app.copy(*s.ws, Area::rows(1, 1));
  s.app.paste(*s.ws, CellRef{5, 1});
  EXPECT_EQ(row_texts(*s.ws, 5, 1, 3), (Strings{"a", "b", "3"}));
  EXPECT_EQ(s.ws->row_height(5), 30);
  EXPECT_THROW(s.app.paste(*s.ws, CellRef{6, 2}), host::HostError);  // would leave the sheet
}

TEST(Paste, RowExchangeThroughScratchRow) {
  // The class-division exchange: averages over fixed ranges follow.
  OneSheet s({{"A", 90}, {"B", 60}, {"C", 70}, {nullptr}, {nullptr}, {"=AVERAGEA($B$1:$B$2)"}});
  EXPECT_EQ(s.ws->value(6, 1), N(75));
  auto swap_rows = [&](int i, int k) {
    s.app.copy(*s.ws, Area::rows(i, i));
    s.app.paste(*s.ws, CellRef{5, 1});
    s.app.copy(*s.ws, Area::rows(k, k));
    s.app.paste(*s.ws, CellRef{i, 1});
    s.app.copy(*s.ws, Area::rows(5, 5));
    s.app.paste(*s.ws, CellRef{k, 1});
    s.app.end_copy_mode();
    s.ws->clear_contents(Area::rows(5, 5));
  };
  swap_rows(1, 3);
  EXPECT_EQ(column(*s.ws, 1, 1, 3), (Strings{"C", "B", "A"}));
  EXPECT_EQ(s.ws->value(6, 1), N(65));
  EXPECT_TRUE(s.ws->value(5, 1).is_empty());
}

TEST(Paste, CutMovesCellsAndReferencesFollow) {
  OneSheet s({{1, 2}, {"=A1+B1"}});
  s.ws->set_font(Area::cell(1, 1), {.bold = true});
  s.app.cut(*s.ws, Area{1, 1, 1, 2});
  s.app.paste(*s.ws, CellRef{4, 3});
  EXPECT_TRUE(s.ws->value(1, 1).is_empty());
  EXPECT_FALSE(s.ws->format(1, 1).font.bold);
  EXPECT_TRUE(s.ws->format(4, 3).font.bold);
  EXPECT_EQ(s.ws->formula(2, 1), "=C4+D4");
  EXPECT_EQ(s.ws->value(2, 1), N(3));
  EXPECT_FALSE(s.app.copy_mode());
}

TEST(Paste, CutToAnotherSheetRehomesMovedFormulas) {
  OneSheet s({{5, "=A1*2"}});
  host::Worksheet& other = s.book->add_sheet();
  other.set_name("T");
  s.app.cut(*s.ws, Area{1, 1, 1, 2});
  s.app.paste(other, CellRef{1, 1});
  EXPECT_EQ(other.value(1, 2), N(10));
  EXPECT_TRUE(s.ws->value(1, 1).is_empty());
  // The moved formula reads the moved cell.
  other.set_value(1, 1, N(6));
  EXPECT_EQ(other.value(1, 2), N(12));
}

TEST(Paste, PasteSelectsPastedArea) {
  OneSheet s({{1, 2}});
  s.app.copy(*s.ws, Area{1, 1, 1, 2});
  s.app.paste(*s.ws, CellRef{3, 2});
  EXPECT_EQ(s.ws->selection(), (Area{3, 2, 3, 3}));
}

struct DeleteCase {
  const char* name;
  Area area;
  Shift shift;
  Strings col_a;        // rows 1..4 of column A afterwards
  std::string c1;       // C1 held =SUM(A1:A4)
};

TEST(Delete, CellsRowsAndReferences) {
  const DeleteCase cases[] = {
      {"whole row", Area::rows(2, 2), Shift::Auto, {"1", "3", "4", ""}, "=SUM(A1:A3)"},
      {"cell up", Area::cell(2, 1), Shift::Up, {"1", "3", "4", ""}, "=SUM(A1:A3)"},
      {"auto on a single cell goes up", Area::cell(2, 1), Shift::Auto, {"1", "3", "4", ""}, "=SUM(A1:A3)"},
      {"auto on a wide area goes up", Area{2, 1, 2, 2}, Shift::Auto, {"1", "3", "4", ""}, "=SUM(A1:A3)"},
      {"auto on a tall area goes left", Area{2, 1, 3, 1}, Shift::Auto, {"1", "", "", "4"}, "=SUM(A1:A4)"},
      {"two rows", Area::rows(2, 3), Shift::Up, {"1", "4", "", ""}, "=SUM(A1:A2)"},
  };
  for (const auto& tc : cases) {
    OneSheet s({{1, nullptr, "=SUM(A1:A4)"}, {2}, {3}, {4}});
    s.ws->delete_cells(tc.area, tc.shift);
    EXPECT_EQ(column(*s.ws, 1, 1, 4), tc.col_a) << tc.name;
    EXPECT_EQ(s.ws->formula(1, 3), tc.c1) << tc.name;
  }
}

TEST(Delete, ReferenceIntoDeletedCellsBecomesRefError) {
  OneSheet s({{1, "=A2*2"}, {2}});
  s.ws->delete_cells(Area::rows(2, 2), Shift::Auto);
  EXPECT_EQ(s.ws->formula(1, 2), "=#REF!*2");
  EXPECT_EQ(s.ws->value(1, 2), Value::error(host::ErrorCode::Ref));
}

TEST(Delete, LeftShiftMovesCellsAndMerges) {
  OneSheet s({{1, 2, 3, 4, 5}});
  s.ws->merge(Area{1, 4, 1, 5});
  s.ws->delete_cells(Area{1, 1, 1, 2}, Shift::Left);
  EXPECT_EQ(row_texts(*s.ws, 1, 1, 5), (Strings{"3", "4", "", "", ""}));
  EXPECT_EQ(s.ws->merges(), (std::vector<Area>{{1, 2, 1, 3}}));
}

TEST(Delete, MergedRangesUnderDelete) {
  OneSheet s({{1}, {2}, {3}});
  s.ws->merge(Area{1, 1, 2, 2});
  EXPECT_THROW(s.ws->delete_cells(Area::cell(2, 1), Shift::Up), host::HostError);
  s.ws->delete_cells(Area{1, 1, 2, 2}, Shift::Up);
  EXPECT_TRUE(s.ws->merges().empty());
  EXPECT_EQ(s.ws->value(1, 1), N(3));
  s.ws->merge(Area{3, 1, 4, 2});
  s.ws->delete_cells(Area::rows(1, 1), Shift::Auto);
  EXPECT_EQ(s.ws->merges(), (std::vector<Area>{{2, 1, 3, 2}}));
}

TEST(Insert, WholeRowsShiftContentHeightsBreaksAndFormats) {
  OneSheet s({{"h1"}, {"d1"}, {"d2"}, {"=COUNTA(A1:A3)"}});
  s.ws->set_font(Area::rows(1, 1), {.bold = true});
  s.ws->set_row_height(2, 2, 25);
  s.ws->add_page_break(3);
  s.ws->merge(Area{3, 2, 3, 3});
  s.ws->insert_cells(Area::rows(2, 3), Shift::Auto);
  EXPECT_EQ(column(*s.ws, 1, 1, 6), (Strings{"h1", "", "", "d1", "d2", "3"}));
  EXPECT_EQ(s.ws->formula(6, 1), "=COUNTA(A1:A5)");
  EXPECT_EQ(s.ws->row_height(4), 25);
  EXPECT_EQ(s.ws->page_breaks(), (std::vector<int>{5}));
  EXPECT_EQ(s.ws->merges(), (std::vector<Area>{{5, 2, 5, 3}}));
  EXPECT_TRUE(s.ws->format(2, 1).font.bold);  // formatted as the row above
}

TEST(Insert, AtTheTopEdgeNewCellsLookLikeThoseTheyPushed) {
  OneSheet s({{"班级", "人数"}, {101, 40}});
  s.ws->set_border(Area{1, 1, 1, 2}, host::BorderIndex::EdgeTop,
                   {.style = host::LineStyle::Continuous});
  s.ws->set_font(Area{1, 1, 1, 2}, {.size = 10});
  s.ws->insert_cells(Area::rows(1, 1), Shift::Auto);
  EXPECT_EQ(s.ws->value(2, 1), Value::text("班级"));
  EXPECT_EQ(s.ws->format(1, 2).font.size, 10);
  EXPECT_EQ(s.ws->format(1, 1).borders.top.style, host::LineStyle::Continuous);
  s.ws->insert_cells(Area{1, 1, 3, 1}, Shift::Right);
  EXPECT_EQ(s.ws->format(1, 1).font.size, 10);  // like B1, the cell pushed right
}

TEST(Insert, FormulasWrittenAfterAScanThatFoundNoneStillFollow) {
  OneSheet s({{1}, {2}});
  s.ws->set_name("成绩");  // rewrites references: finds no formula on the sheet
  s.ws->set_formula(Area::cell(5, 2), "=A1+A2");
  s.ws->insert_cells(Area::rows(1, 1), Shift::Auto);
  EXPECT_EQ(s.ws->formula(6, 2), "=A2+A3");
  s.ws->delete_cells(Area::rows(1, 1), Shift::Auto);
  s.ws->set_formula(Area::cell(1, 3), "=B5");
  s.ws->insert_cells(Area::rows(1, 1), Shift::Auto);
  EXPECT_EQ(s.ws->formula(2, 3), "=B6");
  EXPECT_EQ(s.ws->value(2, 3), N(3));
}

TEST(Insert, CellsShiftRightAndRefuseToPushFilledCellsOff) {
  OneSheet s({{1, 2}});
  s.ws->insert_cells(Area::cell(1, 1), Shift::Right);
  EXPECT_EQ(row_texts(*s.ws, 1, 1, 3), (Strings{"", "1", "2"}));
  s.ws->set_value(host::kMaxRows, 1, N(1));
  EXPECT_THROW(s.ws->insert_cells(Area::rows(1, 1), Shift::Auto), host::HostError);
}

}  // namespace
}  // namespace lczs::memory::testing

namespace lczs::memory::testing {
namespace {

TEST(Paste, WholeColumnCopyCarriesWidthAndFormat) {
  OneSheet s({{"a"}, {"b"}});
  s.ws->set_column_width(1, 1, 17);
  s.ws->set_font(Area::columns(1, 1), {.bold = true});
  s.app.copy(*s.ws, Area::columns(1, 1));
  s.app.paste(*s.ws, {1, 3});
  EXPECT_EQ(column(*s.ws, 3, 1, 2), (Strings{"a", "b"}));
  EXPECT_EQ(s.ws->column_width(3), 17);
  EXPECT_TRUE(s.ws->format(900, 3).font.bold);
  EXPECT_FALSE(s.ws->format(900, 2).font.bold);
}

TEST(Paste, CopiedEmptyCellsOverwriteAndFormatsOfRowsCome) {
  OneSheet s({{nullptr, nullptr}, {"x", "y"}});
  s.ws->set_font(Area::rows(1, 1), {.italic = true});
  s.app.copy(*s.ws, Area{1, 1, 1, 2});
  s.app.paste(*s.ws, {2, 1});
  EXPECT_TRUE(s.ws->value(2, 1).is_empty());
  EXPECT_TRUE(s.ws->format(2, 2).font.italic);
}

TEST(Paste, CutOverlappingItsSource) {
  OneSheet s({{1}, {2}, {3}, {"=SUM(A1:A3)"}});
  s.app.cut(*s.ws, Area{1, 1, 3, 1});
  s.app.paste(*s.ws, {2, 1});  // down one row, onto itself
  EXPECT_EQ(column(*s.ws, 1, 1, 4), (Strings{"", "1", "2", "3"}));
  // The formula cell was overwritten by the move: row 4 now holds 3.
  EXPECT_EQ(s.ws->formula(4, 1), "3");
}

struct InsertCase {
  const char* name;
  Area area;
  Shift shift;
  std::string formula;  // what D1's =SUM(A1:B3) becomes
  Strings col_a;        // rows 1..4
};

TEST(Insert, CellsAndReferences) {
  const InsertCase cases[] = {
      {"cells down inside the range's columns", Area{2, 1, 2, 2}, Shift::Down, "=SUM(A1:B4)", {"1", "", "2", "3"}},
      {"auto on a wide area goes down", Area{2, 1, 2, 2}, Shift::Auto, "=SUM(A1:B4)", {"1", "", "2", "3"}},
      {"one column only: the range does not follow", Area::cell(2, 1), Shift::Down, "=SUM(A1:B3)", {"1", "", "2", "3"}},
      {"cells right", Area{1, 1, 3, 1}, Shift::Right, "=SUM(B1:C3)", {"", "", "", ""}},
      {"whole rows", Area::rows(1, 1), Shift::Auto, "=SUM(A2:B4)", {"", "1", "2", "3"}},
  };
  for (const auto& tc : cases) {
    OneSheet s({{1, 10, nullptr, "=SUM(A1:B3)"}, {2, 20}, {3, 30}});
    s.ws->insert_cells(tc.area, tc.shift);
    EXPECT_EQ(column(*s.ws, 1, 1, 4), tc.col_a) << tc.name;
    // The formula cell itself moves with a whole-row insert or a right shift.
    int row = tc.area == Area::rows(1, 1) ? 2 : 1, col = tc.shift == Shift::Right ? 5 : 4;
    EXPECT_EQ(s.ws->formula(row, col), tc.formula) << tc.name;
  }
}

}  // namespace
}  // namespace lczs::memory::testing
