// Sheets of a workbook: positions, names, activation, deletion; saving.
#include "helpers.h"

namespace lczs::memory::testing {
namespace {

Strings names(host::Workbook& wb) {
  Strings out;
  for (int i = 1; i <= wb.sheet_count(); ++i) out.push_back(wb.sheet(i).name());
  return out;
}

struct Book {
  MemoryApplication app;
  MemoryWorkbook* wb;
  explicit Book(Strings sheet_names, int active = 0) {
    WorkbookData data;
    for (auto& n : sheet_names) add_sheet(data, n, {{n.c_str()}});
    data.active_sheet = active;
    wb = &app.open(std::move(data));
  }
};

TEST(Sheets, AddGoesBeforeTheActiveSheetAndBecomesActive) {
  Book b({"A", "B", "C"}, 1);
  host::Worksheet& added = b.wb->add_sheet();
  EXPECT_EQ(names(*b.wb), (Strings{"A", added.name(), "B", "C"}));
  EXPECT_EQ(added.index(), 2);
  EXPECT_EQ(&b.wb->active_sheet(), &added);
  host::Worksheet& last = b.wb->add_sheet_after(b.wb->sheet(b.wb->sheet_count()));
  EXPECT_EQ(last.index(), 5);
  EXPECT_EQ(&b.wb->active_sheet(), &last);
  EXPECT_NE(added.name(), last.name());
}

TEST(Sheets, CopyNames) {
  struct Case {
    Strings existing;
    const char* source;
    const char* expected;
  } cases[] = {
      {{"原始数据"}, "原始数据", "原始数据 (2)"},
      {{"原始数据", "原始数据 (2)"}, "原始数据", "原始数据 (3)"},
      {{"原始数据", "原始数据 (2)"}, "原始数据 (2)", "原始数据 (3)"},
      {{"abcdefghijklmnopqrstuvwxyz01234"}, "abcdefghijklmnopqrstuvwxyz01234", "abcdefghijklmnopqrstuvwxyz0 (2)"},
  };
  for (const auto& c : cases) {
    Book b(c.existing);
    host::Worksheet& src = b.wb->sheet(c.source);
    host::Worksheet& copy = b.wb->copy_sheet_after(src, src);
    EXPECT_EQ(copy.name(), c.expected);
    EXPECT_EQ(copy.index(), src.index() + 1);
    EXPECT_EQ(&b.wb->active_sheet(), &copy);
    EXPECT_EQ(copy.value(1, 1), src.value(1, 1));
  }
}

TEST(Sheets, CopyCarriesEverything) {
  OneSheet s({{1, "=A1*2"}}, "原始数据");
  s.ws->set_column_width(1, 1, 20);
  s.ws->set_row_height(1, 1, 30);
  s.ws->merge(Area{2, 1, 2, 2});
  s.ws->add_page_break(3);
  s.ws->set_font(Area::cell(1, 1), {.bold = true});
  s.ws->data().settings.view.zoom = 130;
  s.ws->data().settings.page.landscape = true;
  auto& copy = dynamic_cast<MemoryWorksheet&>(s.book->copy_sheet_after(*s.ws, *s.ws));
  EXPECT_EQ(copy.data().settings, s.ws->data().settings);
  EXPECT_EQ(copy.column_width(1), 20);
  EXPECT_EQ(copy.row_height(1), 30);
  EXPECT_EQ(copy.merges(), s.ws->merges());
  EXPECT_EQ(copy.page_breaks(), (std::vector<int>{3}));
  EXPECT_TRUE(copy.format(1, 1).font.bold);
  copy.set_value(1, 1, N(5));
  EXPECT_EQ(copy.value(1, 2), N(10));
  EXPECT_EQ(s.ws->value(1, 2), N(2));
}

TEST(Sheets, RenameRules) {
  Book b({"A", "B"});
  host::Worksheet& a = b.wb->sheet("A");
  struct {
    const char* name;
    bool ok;
  } cases[] = {{"b", false}, {"B", false}, {"", false}, {"x:y", false}, {"a[1]", false},
               {"abcdefghijklmnopqrstuvwxyz012345", false}, {"年级实考", true}, {"a", true}};
  for (auto c : cases) {
    if (c.ok) {
      a.set_name(c.name);
      EXPECT_EQ(a.name(), c.name);
    } else {
      EXPECT_THROW(a.set_name(c.name), host::HostError) << c.name;
    }
  }
  try {
    a.set_name("B");
    FAIL();
  } catch (const host::HostError& e) {
    EXPECT_NE(std::string(e.what()).find("B"), std::string::npos);
  }
}

TEST(Sheets, RenameRewritesReferences) {
  Book b({"A", "B"});
  b.wb->sheet("A").set_formula(Area::cell(2, 1), "=B!A1");
  b.wb->sheet("B").set_name("成绩");
  EXPECT_EQ(b.wb->sheet("A").formula(2, 1), "=成绩!A1");
  EXPECT_EQ(b.wb->sheet("A").value(2, 1), T("B"));
}

TEST(Sheets, DeleteActivatesNeighbourAndKeepsOneVisible) {
  Book b({"A", "B", "C"}, 1);
  b.wb->delete_sheet(b.wb->sheet("B"));
  EXPECT_EQ(b.wb->active_sheet().name(), "C");
  b.wb->delete_sheet(b.wb->sheet("C"));
  EXPECT_EQ(b.wb->active_sheet().name(), "A");
  EXPECT_THROW(b.wb->delete_sheet(b.wb->sheet("A")), host::HostError);
}

TEST(Sheets, DeletedSheetReferencesBecomeRefErrors) {
  Book b({"A", "B"});
  b.wb->sheet("A").set_formula(Area::cell(2, 1), "=B!A1");
  b.wb->delete_sheet(b.wb->sheet("B"));
  EXPECT_EQ(b.wb->sheet("A").value(2, 1), Value::error(host::ErrorCode::Ref));
}

TEST(Sheets, MoveAndActivate) {
  Book b({"A", "B", "C"});
  b.wb->move_sheet_before(b.wb->sheet("C"), b.wb->sheet(1));
  EXPECT_EQ(names(*b.wb), (Strings{"C", "A", "B"}));
  EXPECT_EQ(b.wb->active_sheet().name(), "C");
  b.wb->mem_sheet("B").data().hidden = true;
  EXPECT_THROW(b.wb->sheet("B").activate(), host::HostError);
  b.wb->sheet("A").activate();
  EXPECT_EQ(b.wb->active_sheet().name(), "A");
  // Selecting needs the sheet to be active.
  EXPECT_THROW(b.wb->sheet("C").select(Area::cell(1, 1)), host::HostError);
  b.wb->sheet("A").select(Area{1, 1, 3, 3}, {2, 2});
  EXPECT_EQ(b.wb->sheet("A").active_cell(), (host::CellRef{2, 2}));
}

TEST(Save, StoreConfirmationAndFailure) {
  Book b({"A"});
  auto store = std::make_shared<MemoryStore>();
  b.app.set_store(store);
  EXPECT_THROW(b.wb->save(), host::SaveError);  // never saved: no name
  b.wb->save_as("out.xlsx");
  EXPECT_EQ(b.wb->full_name(), "out.xlsx");
  EXPECT_EQ(store->save_count, 1);
  EXPECT_NE(store->files["out.xlsx"].find("sheet 1 \"A\" active"), std::string::npos);
  bool asked = false;
  b.app.set_confirm_replace([&](const std::string&) {
    asked = true;
    return false;
  });
  EXPECT_THROW(b.wb->save_as("out.xlsx"), host::SaveError);
  EXPECT_TRUE(asked);
  b.app.set_display_alerts(false);  // the application then replaces unasked
  asked = false;
  b.wb->save_as("out.xlsx");
  EXPECT_FALSE(asked);
  b.wb->save_as("年级成绩分析");  // the default extension is added
  EXPECT_EQ(b.wb->full_name(), "年级成绩分析.xlsx");
  EXPECT_EQ(store->save_count, 3);
  store->fail = true;
  EXPECT_THROW(b.wb->save(), host::SaveError);
  EXPECT_EQ(store->save_count, 3);
}

TEST(Save, DumpShowsCurrentFormulaValues) {
  OneSheet s({{1, "=A1+1"}});
  s.ws->set_value(1, 1, N(41));
  std::string d = dump(*s.book);
  EXPECT_NE(d.find("B1 = 42 | =A1+1"), std::string::npos) << d;
  s.ws->set_value(1, 1, N(1));
  d = dump(std::as_const(*s.book).data());  // the data alone also shows current values
  EXPECT_NE(d.find("B1 = 2 | =A1+1"), std::string::npos) << d;
}

}  // namespace
}  // namespace lczs::memory::testing
