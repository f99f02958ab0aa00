// Reference rewriting: copy, row/column/cell insertion and deletion, cut and
// paste, sheet renames and deletions, A1 <-> R1C1.
#include <gtest/gtest.h>

#include "model/formula.h"

namespace {

namespace f = lczs::memory::formula;
using lczs::host::Area;
using lczs::host::kMaxCols;
using lczs::host::kMaxRows;
using lczs::host::Shift;

struct Copy {
  const char* formula;
  int drow, dcol;
  const char* expected;
};

TEST(Translate, RelativePartsShiftAbsolutePartsStayOffSheetIsRef) {
  const Copy cases[] = {
      {"A1", 1, 0, "A2"},
      {"A1", -1, 0, "#REF!"},  // =A1 copied from B2 to B1
      {"A1", 0, 0, "A1"},
      {"$A$1+A1", 5, 5, "$A$1+F6"},
      {"A$1*$A1", 3, 2, "C$1*$A4"},
      {"SUM(A1:B2)", 0, 1, "SUM(B1:C2)"},
      {"AVERAGEA($E$2:$E$41)", 7, 3, "AVERAGEA($E$2:$E$41)"},
      {"SUM(A1:A10)", -1, 0, "SUM(#REF!)"},
      {"Sheet2!A1", -1, 0, "Sheet2!#REF!"},
      {"'my sheet'!A1:B2", 1, 0, "'my sheet'!A2:B3"},
      {"A:A", 5, 1, "B:B"},
      {"$A:A", 0, 1, "$A:B"},
      {"1:1", 2, 3, "3:3"},
      {"XFD1", 0, 1, "#REF!"},
      {"A1048576", 1, 0, "#REF!"},
      {"A1048575", 1, 0, "A1048576"},
      {"\"A1\"&A1", 1, 0, "\"A1\"&A2"},
      {"LOG10(A1)", 1, 0, "LOG10(A2)"},
      {"if( a1 > 0 , \"x\" , b2 )", 1, 1, "if( B2 > 0 , \"x\" , C3 )"},
      {"A1:$A$1", 5, 0, "A$1:$A6"},  // rows and columns order separately
      {"#REF!+A1", 1, 0, "#REF!+A2"},
      {"#REF!A1+1", 1, 0, "#REF!A2+1"},
      {"SUM(D2:F2)/3", 1, 0, "SUM(D3:F3)/3"},
      {"D2+E2", 39, 0, "D41+E41"},
      {"1.5E3+A1", 1, 0, "1.5E3+A2"},
      {"成绩!B2", 1, 0, "成绩!B3"},
      {"FOO(A1)+myname", 1, 0, "FOO(A2)+myname"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(f::translate(c.formula, c.drow, c.dcol), c.expected)
        << c.formula << " by " << c.drow << "," << c.dcol;
}

struct Edit {
  const char* formula;
  const char* own;
  const char* edited;
  int at, count;
  const char* expected;
};

TEST(Structure, RowsInserted) {
  const Edit cases[] = {
      {"AVERAGEA($E$2:$E$41)", "S", "S", 5, 1, "AVERAGEA($E$2:$E$42)"},
      {"AVERAGEA($E$2:$E$41)", "S", "S", 2, 1, "AVERAGEA($E$3:$E$42)"},
      {"AVERAGEA($E$2:$E$41)", "S", "S", 41, 1, "AVERAGEA($E$2:$E$42)"},
      {"AVERAGEA($E$2:$E$41)", "S", "S", 42, 1, "AVERAGEA($E$2:$E$41)"},
      {"A5+A4", "S", "S", 5, 2, "A7+A4"},
      {"Sheet2!A5", "S", "S", 1, 1, "Sheet2!A5"},
      {"Sheet2!A5", "S", "sheet2", 1, 1, "Sheet2!A6"},
      {"A5", "Sheet2", "S", 1, 1, "A5"},
      {"S!A5+A5", "Sheet2", "S", 1, 1, "S!A6+A5"},
      {"A:A", "S", "S", 1, 3, "A:A"},
      {"5:6", "S", "S", 5, 1, "6:7"},
      {"A1048576", "S", "S", 1, 1, "#REF!"},
      {"SUM(A2:A1048576)", "S", "S", 1, 1, "SUM(A3:A1048576)"},
      {"#REF!A5", "S", "S", 1, 1, "#REF!A5"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(f::on_rows_inserted(c.formula, c.own, c.edited, c.at, c.count), c.expected)
        << c.formula << " at " << c.at;
}

TEST(Structure, RowsDeleted) {
  const Edit cases[] = {
      {"SUM(A1:A10)", "S", "S", 3, 2, "SUM(A1:A8)"},
      {"A3", "S", "S", 3, 2, "#REF!"},
      {"A5", "S", "S", 3, 2, "A3"},
      {"A2", "S", "S", 3, 2, "A2"},
      {"SUM(A3:A4)", "S", "S", 3, 2, "SUM(#REF!)"},
      {"SUM(A1:A3)", "S", "S", 3, 2, "SUM(A1:A2)"},
      {"SUM(A4:A6)", "S", "S", 3, 2, "SUM(A3:A4)"},
      {"AVERAGEA($E$2:$E$41)", "S", "S", 2, 40, "AVERAGEA(#REF!)"},
      {"AVERAGEA($E$2:$E$41)", "S", "S", 1, 2, "AVERAGEA($E$1:$E$39)"},
      {"B:B", "S", "S", 1, 5, "B:B"},
      {"3:5", "S", "S", 3, 2, "3:3"},
      {"'my sheet'!A9", "S", "My Sheet", 1, 1, "'my sheet'!A8"},
      {"Sheet2!A9", "S", "S", 1, 1, "Sheet2!A9"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(f::on_rows_deleted(c.formula, c.own, c.edited, c.at, c.count), c.expected)
        << c.formula << " at " << c.at;
}

TEST(Structure, ColumnsInsertedAndDeleted) {
  EXPECT_EQ(f::on_cols_inserted("SUM(A1:C1)", "S", "S", 2, 1), "SUM(A1:D1)");
  EXPECT_EQ(f::on_cols_inserted("$C$1+A1", "S", "S", 2, 2), "$E$1+A1");
  EXPECT_EQ(f::on_cols_inserted("1:1+B:B", "S", "S", 1, 1), "1:1+C:C");
  EXPECT_EQ(f::on_cols_inserted("XFD1", "S", "S", 1, 1), "#REF!");
  EXPECT_EQ(f::on_cols_deleted("C1", "S", "S", 3, 1), "#REF!");
  EXPECT_EQ(f::on_cols_deleted("D1", "S", "S", 2, 2), "B1");
  EXPECT_EQ(f::on_cols_deleted("B:D", "S", "S", 3, 1), "B:C");
  EXPECT_EQ(f::on_cols_deleted("SUM(A1:E9)", "S", "S", 1, 2), "SUM(A1:C9)");
  EXPECT_EQ(f::on_cols_deleted("1:1", "S", "S", 1, 2), "1:1");
}

struct Cells {
  const char* formula;
  const char* expected;
};

TEST(Structure, CellsInsertedMoveOnlyReferencesWithinTheMovingBand) {
  const Area b5c5{5, 2, 5, 3};
  for (const Cells& c : std::initializer_list<Cells>{
           {"B7", "B8"}, {"D7", "D7"}, {"SUM(B1:B10)", "SUM(B1:B11)"}, {"SUM(A1:D10)", "SUM(A1:D10)"},
           {"B4", "B4"}, {"B:B", "B:B"}, {"SUM(B5:C9)", "SUM(B6:C10)"}})
    EXPECT_EQ(f::on_cells_inserted(c.formula, "S", "S", b5c5, Shift::Down), c.expected)
        << c.formula;
  const Area b2b3{2, 2, 3, 2};
  for (const Cells& c : std::initializer_list<Cells>{
           {"C2", "D2"}, {"C4", "C4"}, {"C2:C3", "D2:D3"}, {"C1:C3", "C1:C3"}, {"A2", "A2"}})
    EXPECT_EQ(f::on_cells_inserted(c.formula, "S", "S", b2b3, Shift::Right), c.expected)
        << c.formula;
  // The general form: the same move given as the moving block.
  EXPECT_EQ(f::on_cells_shifted("B7+SUM(B1:B10)+D7", "S", "S", Area{5, 2, kMaxRows, 3}, 1, 0),
            "B8+SUM(B1:B11)+D7");
  EXPECT_EQ(f::on_cells_shifted("SUM(B1:B10)", "S", "S", Area{5, 2, kMaxRows, 3}, -2, 0),
            "SUM(B1:B8)");
  EXPECT_EQ(f::on_cells_shifted("C2", "S", "S", Area{2, 3, 2, kMaxCols}, 0, 3), "F2");
}

TEST(Structure, CellsDeletedShrinkOrBreakReferences) {
  const Area b5c6{5, 2, 6, 3};
  for (const Cells& c : std::initializer_list<Cells>{
           {"B5", "#REF!"}, {"B7", "B5"}, {"SUM(B1:B10)", "SUM(B1:B8)"}, {"D7", "D7"},
           {"SUM(B5:C6)", "SUM(#REF!)"}, {"SUM(B1:D10)", "SUM(B1:D10)"}, {"SUM(B6:C9)", "SUM(B5:C7)"}})
    EXPECT_EQ(f::on_cells_deleted(c.formula, "S", "S", b5c6, Shift::Up), c.expected) << c.formula;
  const Area b2c2{2, 2, 2, 3};
  for (const Cells& c : std::initializer_list<Cells>{{"D2", "B2"}, {"B2", "#REF!"}, {"D3", "D3"}})
    EXPECT_EQ(f::on_cells_deleted(c.formula, "S", "S", b2c2, Shift::Left), c.expected)
        << c.formula;
}

TEST(CutPaste, ReferencesIntoTheCutCellsFollowThem) {
  const Area a1a3{1, 1, 3, 1};
  // A1:A3 moved to C5:C7 on the same sheet.
  for (const Cells& c : std::initializer_list<Cells>{
           {"A1", "C5"}, {"SUM(A1:A3)", "SUM(C5:C7)"}, {"SUM(A1:A4)", "SUM(A1:A4)"},
           {"$A$2", "$C$6"}, {"C6", "#REF!"}, {"C4", "C4"}, {"Sheet2!A1", "Sheet2!A1"},
           {"S!A2", "S!C6"}})
    EXPECT_EQ(f::on_moved(c.formula, "S", "S", a1a3, "S", 4, 2), c.expected) << c.formula;
  // To another sheet.
  EXPECT_EQ(f::on_moved("A1+B1", "S", "S", a1a3, "my sheet", 0, 0), "'my sheet'!A1+B1");
  EXPECT_EQ(f::on_moved("S!A1", "T", "S", a1a3, "T", 0, 1), "T!B1");
  EXPECT_EQ(f::on_moved("B1", "T", "S", a1a3, "T", 0, 1), "#REF!");
  EXPECT_EQ(f::on_moved("A1", "T", "S", a1a3, "T", 0, 1), "A1");
  // A moved formula keeps reading the sheet it came from.
  EXPECT_EQ(f::rehome("A1+Sheet3!B2", "Sheet1", "Sheet2"), "Sheet1!A1+Sheet3!B2");
  EXPECT_EQ(f::rehome("A1", "Sheet1", "sheet1"), "A1");
}

TEST(Sheets, RenameAndDelete) {
  EXPECT_EQ(f::on_sheet_renamed("Sheet1!A1+'Sheet1'!B1+A1+SHEET1!C1", "Sheet1", "my sheet"),
            "'my sheet'!A1+'my sheet'!B1+A1+'my sheet'!C1");
  EXPECT_EQ(f::on_sheet_renamed("'my sheet'!A1", "MY SHEET", "成绩"), "成绩!A1");
  EXPECT_EQ(f::on_sheet_renamed("Other!A1", "Sheet1", "X"), "Other!A1");
  EXPECT_EQ(f::on_sheet_deleted("Sheet2!A1+A1+SUM(sheet2!B1:B3)", "Sheet2"),
            "#REF!A1+A1+SUM(#REF!B1:B3)");
  EXPECT_TRUE(f::parses("#REF!A1+A1"));

  const std::pair<const char*, const char*> quotes[] = {
      {"Sheet1", "Sheet1"}, {"my sheet", "'my sheet'"}, {"2024", "'2024'"},
      {"A1", "'A1'"},       {"R1C1", "'R1C1'"},        {"成绩", "成绩"},
      {"it's", "'it''s'"},  {"Sheet-1", "'Sheet-1'"},  {"TRUE", "'TRUE'"},
      {"高一(1)班", "'高一(1)班'"},
  };
  for (auto& [name, quoted] : quotes) EXPECT_EQ(f::quote_sheet_name(name), quoted) << name;
}

struct R1C1 {
  const char* a1;
  int row, col;
  const char* r1c1;
};

TEST(R1C1, BothWays) {
  const R1C1 cases[] = {
      {"A1", 5, 3, "R[-4]C[-2]"},
      {"$A$1", 5, 3, "R1C1"},
      {"C5", 5, 3, "RC"},
      {"AVERAGEA($E$2:$E$41)", 50, 5, "AVERAGEA(R2C5:R41C5)"},
      {"SUM(E2:E41)", 42, 5, "SUM(R[-40]C:R[-1]C)"},
      {"A:A", 5, 3, "C[-2]"},
      {"$A:$B", 5, 3, "C1:C2"},
      {"5:5", 5, 3, "R"},
      {"$1:$3", 5, 3, "R1:R3"},
      {"Sheet2!A$1", 5, 3, "Sheet2!R1C[-2]"},
      {"'my sheet'!$B2", 1, 1, "'my sheet'!R[1]C2"},
      {"TODAY()", 40, 4, "TODAY()"},
      {"\"A1\"&RC", 1, 1, "\"A1\"&RC"},  // RC is a name in A1 notation
      {"#REF!+1", 1, 1, "#REF!+1"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(f::to_r1c1(c.a1, c.row, c.col), c.r1c1) << c.a1;
    if (std::string_view(c.a1).find("RC") == std::string_view::npos) {
      EXPECT_EQ(f::from_r1c1(c.r1c1, c.row, c.col), c.a1) << c.r1c1;
    }
  }
  // Relative references that leave the sheet wrap around it.
  EXPECT_EQ(f::from_r1c1("R[-1]C", 1, 1), "A1048576");
  EXPECT_EQ(f::from_r1c1("RC[-1]", 1, 1), "XFD1");
  EXPECT_EQ(f::from_r1c1("r1c1:r2c2", 9, 9), "$A$1:$B$2");
  EXPECT_EQ(f::from_r1c1("ROUND(R[-1]C,1)", 3, 2), "ROUND(B2,1)");
  EXPECT_EQ(f::from_r1c1("R", 7, 2), "7:7");
  EXPECT_EQ(f::from_r1c1("C", 7, 2), "B:B");
}

TEST(References, ListsWhatTheFormulaReads) {
  auto refs = f::references("SUM(A1:B2)+'my sheet'!C3+#REF!A1+Sheet2!#REF!+A:A+\"D4\"+2:3");
  std::vector<f::Ref> expected{
      {"", Area{1, 1, 2, 2}},
      {"my sheet", Area::cell(3, 3)},
      {"", Area::columns(1, 1)},
      {"", Area::rows(2, 3)},
  };
  EXPECT_EQ(refs, expected);
  EXPECT_TRUE(f::references("TODAY()").empty());
}

TEST(Rewrite, LeavesUnparseableTextAlone) {
  // Stray characters stay; references around them still follow.
  EXPECT_EQ(f::translate("A1+`+\"open A1", 1, 0), "A2+`+\"open A1");
  EXPECT_EQ(f::on_rows_inserted("SUM(A1:A3", "S", "S", 1, 1), "SUM(A2:A4");
  EXPECT_EQ(f::translate("", 1, 1), "");
}

}  // namespace
