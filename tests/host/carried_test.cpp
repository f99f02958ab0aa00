// Carried objects under the steps: what a step would have to move is taken
// out and named, everything else stays.
#include "tests/host/helpers.h"

namespace lczs::memory::testing {
namespace {

CarriedObject object(std::string what, std::vector<Area> covers, std::vector<std::string> reads = {}) {
  CarriedObject o;
  o.what = std::move(what);
  o.element = "<drawing r:id=\"rId1\"/>";
  o.covers = std::move(covers);
  o.reads = std::move(reads);
  return o;
}

using Held = std::vector<std::pair<std::string, Strings>>;  // sheet, its objects in order

TEST(Carried, StepsTakeOutWhatTheyWouldHaveToMove) {
  const Held all{{"S", {"图片", "打印机设置"}}, {"T", {"图表"}}};
  const Held no_image{{"S", {"打印机设置"}}, {"T", {"图表"}}};
  const Held no_chart_no_image{{"S", {"打印机设置"}}, {"T", {}}};
  struct Case {
    const char* step;
    std::function<void(MemoryWorkbook&, MemoryWorksheet&)> run;
    std::vector<std::pair<std::string, std::string>> lost;  // what, where
    Held held;
  } cases[] = {
      {"sort beside the image", [](auto&, auto& ws) { ws.sort(Area{1, 1, 6, 1}, {.key1 = {.column = 1}}); }, {}, all},
      {"sort under the image", [](auto&, auto& ws) { ws.sort(Area{1, 1, 6, 3}, {.key1 = {.column = 1}}); },
       {{"图片", "S"}}, no_image},
      // Where the chart's ranges lie is not read: any shift of the sheet's
      // cells may move them.
      {"rows inserted below it",
       [](auto&, auto& ws) { ws.insert_cells(Area{9, 1, 9, host::kMaxCols}, host::Shift::Down); },
       {{"图表", "T"}}, {{"S", {"图片", "打印机设置"}}, {"T", {}}}},
      {"rows inserted above it",
       [](auto&, auto& ws) { ws.insert_cells(Area{1, 1, 1, host::kMaxCols}, host::Shift::Down); },
       {{"图片", "S"}, {"图表", "T"}}, no_chart_no_image},
      {"a column deleted left of it",
       [](auto&, auto& ws) { ws.delete_cells(Area{1, 1, host::kMaxRows, 1}, host::Shift::Left); },
       {{"图片", "S"}, {"图表", "T"}}, no_chart_no_image},
      {"values written under it", [](auto&, auto& ws) { ws.set_value(2, 2, N(9)); }, {}, all},
      {"the sheet copied", [](auto& b, auto& ws) { b.copy_sheet_after(ws, ws); }, {{"图片", "S"}},
       {{"S", {"图片", "打印机设置"}}, {"S (2)", {"打印机设置"}}, {"T", {"图表"}}}},
      {"the sheet deleted", [](auto& b, auto& ws) { b.delete_sheet(ws); }, {{"图片", "S"}, {"图表", "T"}},
       {{"T", {}}}},
      {"a sheet the chart reads renamed", [](auto&, auto& ws) { ws.set_name("新"); }, {{"图表", "T"}},
       {{"新", {"图片", "打印机设置"}}, {"T", {}}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.step);
    WorkbookData data;
    add_sheet(data, "S", {{3, "x", 1}, {1, "y", 2}, {2, "z", 3}, {5, "", 4}, {4, "", 5}, {6, "", 6}});
    add_sheet(data, "T", {{1}});
    CarriedObject printer;
    printer.what = "打印机设置";
    data.sheets[0]->carried.objects = {object("图片", {Area{2, 2, 3, 3}}), printer};
    data.sheets[1]->carried.objects = {object("图表", {Area{20, 20, 30, 30}}, {"S"})};
    MemoryApplication app;
    MemoryWorkbook& book = app.open(std::move(data));
    c.run(book, book.mem_sheet(1));
    std::vector<std::pair<std::string, std::string>> lost;
    for (const auto& l : book.data().lost) lost.emplace_back(l.what, l.where);
    EXPECT_EQ(lost, c.lost);
    Held held;
    for (const auto& s : book.data().sheets) {
      Strings whats;
      for (const auto& o : s->carried.objects) whats.push_back(o.what);
      held.emplace_back(s->name, whats);
    }
    EXPECT_EQ(held, c.held);
  }
}

}  // namespace
}  // namespace lczs::memory::testing
