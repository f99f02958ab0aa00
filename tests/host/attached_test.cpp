// Comments and hyperlinks belong to their cell: each step a job takes
// moves them with the cell; only deleting the cell, or clearing them, removes
// them.
#include <functional>

#include "tests/host/helpers.h"

namespace lczs::memory::testing {
namespace {

using host::CellRef;
using host::Shift;

// Where the sheet's comments and links stand: "A2 comment 甲, B3 link 乙".
std::string attachments(const SheetData& sheet) {
  std::string out;
  sheet.for_each([&](int r, int c, const Cell& cell) {
    std::string at = host::address(Area::cell(r, c), false);
    if (const Comment* n = cell.attached.comment()) out += (out.empty() ? "" : ", ") + at + " comment " + n->plain_text();
    if (const Hyperlink* h = cell.attached.hyperlink()) out += (out.empty() ? "" : ", ") + at + " link " + h->display;
  });
  return out;
}

struct Step {
  const char* name;
  std::function<void(OneSheet&)> run;
  const char* after;
};

TEST(Attached, TravelWithTheirCellThroughEveryStep) {
  const Step steps[] = {
      {"nothing", [](OneSheet&) {}, "A2 comment 甲, B3 link 乙"},
      {"cut and paste", [](OneSheet& s) {
         s.app.cut(*s.ws, Area{2, 1, 3, 2});
         s.app.paste(*s.ws, CellRef{5, 3});
       }, "C5 comment 甲, D6 link 乙"},
      {"copy and paste", [](OneSheet& s) {
         s.app.copy(*s.ws, Area::cell(2, 1));
         s.app.paste(*s.ws, CellRef{4, 4});
       }, "A2 comment 甲, B3 link 乙, D4 comment 甲"},
      {"paste over them without any", [](OneSheet& s) {
         s.app.copy(*s.ws, Area{1, 1, 1, 2});
         s.app.paste(*s.ws, CellRef{2, 1});
       }, "B3 link 乙"},
      {"row inserted above", [](OneSheet& s) { s.ws->insert_cells(Area::rows(1, 1), Shift::Down); },
       "A3 comment 甲, B4 link 乙"},
      {"cells inserted to the left", [](OneSheet& s) { s.ws->insert_cells(Area{2, 1, 3, 1}, Shift::Right); },
       "B2 comment 甲, C3 link 乙"},
      {"row deleted above", [](OneSheet& s) { s.ws->delete_cells(Area::rows(1, 1), Shift::Up); },
       "A1 comment 甲, B2 link 乙"},
      {"their own row deleted", [](OneSheet& s) { s.ws->delete_cells(Area::rows(2, 2), Shift::Up); },
       "B2 link 乙"},
      {"contents cleared", [](OneSheet& s) { s.ws->clear_contents(Area{1, 1, 3, 2}); },
       "A2 comment 甲, B3 link 乙"},
      {"comments cleared", [](OneSheet& s) { s.ws->clear_comments(Area::whole_sheet()); }, "B3 link 乙"},
      {"links cleared", [](OneSheet& s) { s.ws->clear_hyperlinks(Area{3, 1, 3, 2}); }, "A2 comment 甲"},
      {"values written over them", [](OneSheet& s) {
         s.ws->write_values({2, 1}, host::ValueGrid(2, 2));
       }, "A2 comment 甲, B3 link 乙"},
      {"sorted", [](OneSheet& s) {
         s.ws->sort(Area{2, 1, 3, 2}, {.key1 = {2, host::SortOrder::Ascending}, .header = host::SortHeader::No});
       }, "B2 link 乙, A3 comment 甲"},
      {"rows exchanged through a scratch row", [](OneSheet& s) {
         s.app.copy(*s.ws, Area::rows(2, 2));
         s.app.paste(*s.ws, CellRef{9, 1});
         s.app.copy(*s.ws, Area::rows(3, 3));
         s.app.paste(*s.ws, CellRef{2, 1});
         s.app.copy(*s.ws, Area::rows(9, 9));
         s.app.paste(*s.ws, CellRef{3, 1});
         s.app.end_copy_mode();
         s.ws->clear_contents(Area::rows(9, 9));
       }, "B2 link 乙, A3 comment 甲, A9 comment 甲"},
      {"sheet copied", [](OneSheet& s) {
         s.book->copy_sheet_after(*s.ws, *s.ws);
         s.ws = &s.book->mem_sheet(2);
       }, "A2 comment 甲, B3 link 乙"},
  };
  for (const Step& step : steps) {
    OneSheet s({{"名", "分"}, {"甲", 3}, {"乙", 2}});
    Comment note;
    note.author = "班主任";
    note.text.push_back({"甲", std::nullopt});
    s.ws->data().set_comment(2, 1, note);
    s.ws->data().set_hyperlink(3, 2, Hyperlink{"https://example.com/", "", "", "乙"});
    step.run(s);
    EXPECT_EQ(attachments(s.ws->data()), step.after) << step.name;
  }
}

}  // namespace
}  // namespace lczs::memory::testing
