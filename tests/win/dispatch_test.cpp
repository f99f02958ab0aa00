// The IDispatch host member by member against the fake application: what it
// reads equals what the memory model holds, what it writes arrives there,
// the wrappers keep their identity, and failures arrive as the host layer's
// exceptions with the application's description.
#include <string>

#include "model/memory_host.h"
#include "tests/win/check.h"
#include "tests/win/fake_app.h"
#include "win/dispatch_host.h"

namespace lczs::wintest {
namespace {

using host::Area;
using host::Value;

struct Fixture {
  memory::MemoryApplication memory;
  std::shared_ptr<memory::MemoryStore> store = std::make_shared<memory::MemoryStore>();
  memory::MemoryWorkbook* book = nullptr;
  IDispatch* fake = nullptr;
  std::unique_ptr<win::DispatchApplication> app;

  Fixture() {
    memory.set_store(store);
    memory::WorkbookData data;
    memory::add_sheet(data, "成绩", {{"班级", "姓名", "性别", "语文"},
                                     {101, "张三", "男", 88},
                                     {101, "李四", "女", 92.5},
                                     {102, "王五", "男", nullptr}});
    memory::add_sheet(data, "Data", {{"x"}});
    data.path = "/data/book.xlsx";
    book = &memory.open(std::move(data));
    book->sheet(1).activate();
    fake = make_fake_application(memory);
    app = std::make_unique<win::DispatchApplication>(fake);
  }
  ~Fixture() {
    app.reset();
    fake->Release();
  }
  host::Workbook& wb() { return app->active_workbook(); }
};

template <class E, class F>
std::string thrown(F f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  return "(nothing thrown)";
}

LCZS_TEST(dispatch_host_reads_and_writes_cells) {
  Fixture fx;
  host::Worksheet& s = fx.wb().sheet("成绩");
  host::Worksheet& direct = fx.book->sheet("成绩");
  CHECK_EQ(s.name(), std::string("成绩"));
  CHECK_EQ(s.index(), 1);
  CHECK(s.visible());
  for (int r = 1; r <= 4; ++r)
    for (int c = 1; c <= 4; ++c) CHECK(s.value(r, c) == direct.value(r, c));

  // Every kind of value goes in and comes back as itself.
  const Value values[] = {Value::number(-2.5), Value::text("012"), Value::text("班级"), Value::boolean(true),
                          Value::error(host::ErrorCode::Div0), Value::error(host::ErrorCode::NA), Value()};
  for (const Value& v : values) {
    s.set_value(6, 2, v);
    CHECK(direct.value(6, 2) == v);
    CHECK(s.value(6, 2) == v);
  }
  s.set_formula(Area{7, 1, 7, 1}, "=D2+D3");
  CHECK_EQ(s.formula(7, 1), std::string("=D2+D3"));
  CHECK(s.value(7, 1) == Value::number(180.5));
  s.set_formula_r1c1(Area{8, 1, 8, 1}, "=R2C4*2");
  CHECK(direct.value(8, 1) == Value::number(176));

  CHECK(s.current_region(1, 1) == direct.current_region(1, 1));
  CHECK(s.end_down(1, 1) == direct.end_down(1, 1));
  CHECK(s.end_down(1, 3) == direct.end_down(1, 3));
  CHECK(s.used_extent() == direct.used_extent());
  host::Worksheet& fresh = fx.wb().add_sheet();
  CHECK(fresh.used_extent() == (host::CellRef{0, 0}));  // an empty sheet, not A1
  CHECK_EQ(fx.memory.active_workbook().active_sheet().name(), fresh.name());
}

LCZS_TEST(dispatch_host_sheets_keep_identity) {
  Fixture fx;
  host::Workbook& wb = fx.wb();
  CHECK(&wb == &fx.app->active_workbook());
  CHECK(&wb.sheet(1) == &wb.sheet("成绩"));
  CHECK(&wb.sheet(1) == &wb.active_sheet());
  CHECK(wb.find_sheet("data") == &wb.sheet(2));  // names compare case-insensitively
  CHECK(wb.find_sheet("没有") == nullptr);
  CHECK_EQ(wb.sheet_count(), 2);

  host::Worksheet& copy = wb.copy_sheet_after(wb.sheet("成绩"), wb.sheet("Data"));
  CHECK_EQ(copy.name(), std::string("成绩 (2)"));
  CHECK(&copy == &wb.active_sheet());
  CHECK_EQ(copy.index(), 3);
  wb.move_sheet_before(copy, wb.sheet(1));
  CHECK_EQ(fx.book->sheet(1).name(), std::string("成绩 (2)"));
  host::Worksheet& added = wb.add_sheet_after(wb.sheet("Data"));
  CHECK_EQ(added.index(), 4);
  fx.app->set_display_alerts(false);
  CHECK(!fx.memory.display_alerts());
  wb.delete_sheet(added);
  CHECK_EQ(wb.sheet_count(), 3);
  CHECK_EQ(wb.full_name(), std::string("/data/book.xlsx"));
}

LCZS_TEST(dispatch_host_view_formats_and_breaks) {
  Fixture fx;
  host::Worksheet& s = fx.wb().sheet(1);
  memory::MemoryWorksheet& direct = fx.book->mem_sheet(1);
  s.select(Area{2, 1, 4, 3}, host::CellRef{3, 2});
  CHECK(s.selection() == (Area{2, 1, 4, 3}));
  CHECK(s.active_cell() == (host::CellRef{3, 2}));
  CHECK(direct.active_cell() == (host::CellRef{3, 2}));

  s.add_page_break(3);
  s.add_page_break(5);
  CHECK(s.page_breaks() == direct.page_breaks());
  CHECK_EQ(s.page_breaks().size(), 2u);

  s.set_column_width(2, 3, 12.5);
  CHECK_EQ(s.column_width(3), 12.5);
  s.set_row_height(2, 2, 20);
  CHECK_EQ(direct.row_height(2), 20.0);
  s.set_font(Area{1, 1, 1, 4}, {.name = "黑体", .size = 14, .bold = true});
  CHECK_EQ(direct.format(1, 2).font.name, std::string("黑体"));
  CHECK_EQ(direct.format(1, 2).font.size, 14.0);
  CHECK(direct.format(1, 2).font.bold);
  s.set_border(Area{1, 1, 4, 4}, host::BorderIndex::InsideHorizontal,
               {host::LineStyle::Continuous, host::BorderWeight::Medium, 3});
  s.merge(Area{6, 1, 6, 3});
  CHECK_EQ(direct.merges().size(), 1u);
  s.set_number_format(Area{2, 4, 4, 4}, "0.00");
  CHECK_EQ(direct.format(2, 4).number_format, std::string("0.00"));

  fx.app->copy(s, Area{1, 1, 2, 4});
  CHECK(fx.app->copy_mode());
  fx.app->paste(s, host::CellRef{10, 1});
  fx.app->end_copy_mode();
  CHECK(!fx.app->copy_mode());
  CHECK(direct.value(11, 2) == Value::text("张三"));

  s.sort(Area{2, 1, 4, 4}, {.key1 = {4, host::SortOrder::Descending}, .header = host::SortHeader::No});
  CHECK(direct.value(2, 2) == Value::text("李四"));
  CHECK(direct.value(4, 2) == Value::text("王五"));  // the empty key goes last
  CHECK_EQ(s.replace_whole(Area{1, 3, 4, 3}, "男", "M"), 2);
  CHECK(direct.value(3, 3) == Value::text("M"));
}

LCZS_TEST(dispatch_host_functions_and_failures) {
  Fixture fx;
  host::Worksheet& s = fx.wb().sheet(1);
  auto& f = fx.app->worksheet_function();
  CHECK_EQ(f.count_blank(s, Area{2, 4, 4, 4}), 1);
  CHECK_EQ(f.count_if(s, Area{2, 3, 4, 3}, Value::text("男")), 2);
  CHECK_EQ(f.max(s, Area{2, 4, 4, 4}), 92.5);
  CHECK_EQ(f.min(s, Area{2, 4, 4, 4}), 88.0);
  CHECK_EQ(f.average(s, Area{2, 4, 3, 4}), 90.25);
  CHECK_EQ(f.match_exact(Value::text("王五"), s, Area{1, 2, 4, 2}), 4);

  // The application's refusals arrive as HostError naming the member and
  // carrying the application's own description.
  std::string taken = thrown<host::HostError>([&] { s.set_name("data"); });
  CHECK_MSG(taken.find("Worksheet.Name") != std::string::npos, taken);
  std::string direct_text = thrown<host::HostError>([&] { fx.book->sheet(1).set_name("data"); });
  CHECK_MSG(taken.find(direct_text) != std::string::npos, taken + " / " + direct_text);
  CHECK(s.name() == "成绩");
  CHECK(thrown<host::HostError>([&] { fx.wb().sheet(9); }) != "(nothing thrown)");
  CHECK(thrown<host::HostError>([&] { f.match_exact(Value::text("无人"), s, Area{1, 2, 4, 2}); }) !=
        "(nothing thrown)");
  CHECK(thrown<host::HostError>([&] { f.average(s, Area{9, 9, 9, 9}); }) != "(nothing thrown)");
  CHECK(fx.app->command_bar("Standard") == nullptr);

  // A failed save is a SaveError, as the jobs tell the two apart.
  fx.store->fail = true;
  std::string save = thrown<host::SaveError>([&] { fx.wb().save(); });
  CHECK_MSG(save.find("Workbook.Save") != std::string::npos, save);
  std::string save_as = thrown<host::SaveError>([&] { fx.wb().save_as("/data/新.xlsx"); });
  CHECK_MSG(save_as.find("Workbook.SaveAs") != std::string::npos, save_as);

  // Its name titles the message boxes that carry no title of their own.
  CHECK_EQ(fx.app->name(), std::string("Microsoft Excel"));

  // Once the application is gone, every call fails cleanly.
  fx.app->release_all();
  CHECK(thrown<host::HostError>([&] { fx.app->screen_updating(); }).find("已断开") != std::string::npos);
  CHECK(thrown<host::HostError>([&] { s.value(1, 1); }) != "(nothing thrown)");
}

LCZS_TEST(dispatch_host_without_a_workbook) {
  memory::MemoryApplication empty;
  IDispatch* fake = make_fake_application(empty);
  {
    win::DispatchApplication app(fake);
    CHECK(thrown<host::HostError>([&] { app.active_workbook(); }) != "(nothing thrown)");
  }
  fake->Release();
}

}  // namespace
}  // namespace lczs::wintest
