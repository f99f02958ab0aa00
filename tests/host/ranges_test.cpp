// What belongs to ranges under the sheet's edits: it stays under a cut and
// paste, shifts, shrinks or goes when rows and columns are inserted or
// deleted, and comes with a sheet copy naming the copy.
#include <functional>

#include "helpers.h"

namespace lczs::memory::testing {
namespace {

std::string areas_text(const Areas& areas) {
  std::string out;
  for (const auto& a : areas) out += (out.empty() ? "" : " ") + host::address(a, false);
  return out;
}

// One line of what the sheet's items cover and hold, and the workbook's
// name.
std::string summary(const WorkbookData& book, const SheetData& sheet) {
  const RangeItems& r = sheet.ranges;
  std::string out;
  for (const auto& v : r.validations) out += "dv " + areas_text(v.areas) + " =" + v.formula1 + " | ";
  for (const auto& cf : r.conditional_formats) {
    out += "cf " + areas_text(cf.areas);
    for (const auto& rule : cf.rules) {
      for (const auto& f : rule.formulas) out += " =" + f;
      if (rule.scale) out += " =" + rule.scale->children.at(0).attributes.at(1).second;
    }
    out += " | ";
  }
  if (r.autofilter) {
    out += "filter " + host::address(r.autofilter->area, false);
    for (const auto& c : r.autofilter->columns) out += " " + std::to_string(c.column);
    out += " | ";
  }
  for (const auto& n : r.names) out += n.name + " " + n.formula + " | ";
  for (const auto& n : book.names) out += n.name + " " + n.formula;
  return out;
}

struct Ranged {
  OneSheet s{{{"学号", "姓名", "语文"}}, "成绩"};
  Ranged() {
    WorkbookData& book = s.book->data();
    RangeItems& r = book.sheets[0]->ranges;
    r.validations.push_back({{Area{2, 2, 10, 2}, Area{2, 5, 10, 5}}, {{"type", "decimal"}}, "$H$1", ""});
    r.validations.push_back({{Area::columns(8, 8)}, {{"type", "list"}}, "\"男,女\"", ""});
    ConditionalRule rule{{{"type", "expression"}}, {"C2>AVERAGE($C$2:$C$10)"}, std::nullopt, std::nullopt};
    ConditionalRule bar{{{"type", "dataBar"}}, {}, std::nullopt,
                        Element{"dataBar", {}, "", {Element{"cfvo", {{"type", "num"}, {"val", "$H$12"}}, "", {}}}}};
    r.conditional_formats.push_back({{Area{2, 3, 10, 3}}, false, {rule, bar}});
    r.autofilter = AutoFilter{Area{1, 1, 10, 6}, {FilterColumn{1, {}, std::nullopt, std::nullopt},
                                                  FilterColumn{4, {}, std::nullopt, std::nullopt}}};
    r.names.push_back({std::string(kPrintArea), "'成绩'!$A$1:$F$10", {}});
    r.names.push_back({std::string(kPrintTitles), "'成绩'!$1:$1", {}});
    book.names.push_back({"全体", "'成绩'!$B$2:$B$10", {}});
  }
  std::string now() { return summary(s.book->data(), *s.book->data().sheets[0]); }
};

TEST(RangeItems, StayOrShiftUnderTheSheetsEdits) {
  struct Case {
    const char* what;
    std::function<void(MemoryApplication&, MemoryWorksheet&)> edit;
    std::string expected;
  } cases[] = {
      {"nothing", [](auto&, auto&) {},
       "dv B2:B10 E2:E10 =$H$1 | dv H1:H1048576 =\"男,女\" | cf C2:C10 =C2>AVERAGE($C$2:$C$10) =$H$12 | filter A1:F10 1 4 | "
       "_xlnm.Print_Area '成绩'!$A$1:$F$10 | _xlnm.Print_Titles '成绩'!$1:$1 | 全体 '成绩'!$B$2:$B$10"},
      {"rows inserted", [](auto&, auto& ws) { ws.insert_cells(Area::rows(2, 4), host::Shift::Auto); },
       "dv B5:B13 E5:E13 =$H$1 | dv H1:H1048576 =\"男,女\" | cf C5:C13 =C5>AVERAGE($C$5:$C$13) =$H$15 | filter A1:F13 1 4 | "
       "_xlnm.Print_Area '成绩'!$A$1:$F$13 | _xlnm.Print_Titles '成绩'!$1:$1 | 全体 '成绩'!$B$5:$B$13"},
      {"rows deleted", [](auto&, auto& ws) { ws.delete_cells(Area::rows(3, 4), host::Shift::Auto); },
       "dv B2:B8 E2:E8 =$H$1 | dv H1:H1048576 =\"男,女\" | cf C2:C8 =C2>AVERAGE($C$2:$C$8) =$H$10 | filter A1:F8 1 4 | "
       "_xlnm.Print_Area '成绩'!$A$1:$F$8 | _xlnm.Print_Titles '成绩'!$1:$1 | 全体 '成绩'!$B$2:$B$8"},
      {"a column deleted", [](auto&, auto& ws) { ws.delete_cells(Area::columns(2, 2), host::Shift::Auto); },
       "dv D2:D10 =$G$1 | dv G1:G1048576 =\"男,女\" | cf B2:B10 =B2>AVERAGE($B$2:$B$10) =$G$12 | filter A1:E10 3 | "
       "_xlnm.Print_Area '成绩'!$A$1:$E$10 | _xlnm.Print_Titles '成绩'!$1:$1 | 全体 '成绩'!#REF!"},
      {"a column inserted", [](auto&, auto& ws) { ws.insert_cells(Area::columns(1, 1), host::Shift::Auto); },
       "dv C2:C10 F2:F10 =$I$1 | dv I1:I1048576 =\"男,女\" | cf D2:D10 =D2>AVERAGE($D$2:$D$10) =$I$12 | filter B1:G10 1 4 | "
       "_xlnm.Print_Area '成绩'!$B$1:$G$10 | _xlnm.Print_Titles '成绩'!$1:$1 | 全体 '成绩'!$C$2:$C$10"},
      {"all their rows deleted", [](auto&, auto& ws) { ws.delete_cells(Area::rows(1, 10), host::Shift::Auto); },
       "dv H1:H1048576 =\"男,女\" | _xlnm.Print_Area '成绩'!#REF! | _xlnm.Print_Titles '成绩'!#REF! | 全体 '成绩'!#REF!"},
      {"cells cut and pasted",
       [](auto& app, auto& ws) {
         app.cut(ws, Area{1, 1, 10, 6});
         app.paste(ws, host::CellRef{21, 11});
       },
       "dv B2:B10 E2:E10 =$H$1 | dv H1:H1048576 =\"男,女\" | cf C2:C10 =C2>AVERAGE($C$2:$C$10) =$H$12 | filter A1:F10 1 4 | "
       "_xlnm.Print_Area '成绩'!$A$1:$F$10 | _xlnm.Print_Titles '成绩'!$1:$1 | 全体 '成绩'!$B$2:$B$10"},
      {"the sheet renamed", [](auto&, auto& ws) { ws.set_name("期中"); },
       "dv B2:B10 E2:E10 =$H$1 | dv H1:H1048576 =\"男,女\" | cf C2:C10 =C2>AVERAGE($C$2:$C$10) =$H$12 | filter A1:F10 1 4 | "
       "_xlnm.Print_Area 期中!$A$1:$F$10 | _xlnm.Print_Titles 期中!$1:$1 | 全体 期中!$B$2:$B$10"},
  };
  for (const auto& c : cases) {
    Ranged r;
    c.edit(r.s.app, *r.s.ws);
    EXPECT_EQ(r.now(), c.expected) << c.what;
  }
}

TEST(RangeItems, ASheetCopyCarriesThemForItself) {
  Ranged r;
  r.s.book->data().sheets[0]->settings.page.landscape = true;
  std::string before = r.now();
  r.s.book->copy_sheet_after(*r.s.ws, *r.s.ws);
  const WorkbookData& book = r.s.book->data();
  EXPECT_EQ(summary(book, *book.sheets[0]), before);
  EXPECT_TRUE(book.sheets[1]->settings.page.landscape);
  EXPECT_EQ(summary(book, *book.sheets[1]),
            "dv B2:B10 E2:E10 =$H$1 | dv H1:H1048576 =\"男,女\" | cf C2:C10 =C2>AVERAGE($C$2:$C$10) =$H$12 | filter A1:F10 1 4 | "
            "_xlnm.Print_Area '成绩 (2)'!$A$1:$F$10 | _xlnm.Print_Titles '成绩 (2)'!$1:$1 | 全体 '成绩'!$B$2:$B$10");
}

}  // namespace
}  // namespace lczs::memory::testing
