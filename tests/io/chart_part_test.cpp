// Charts written into the package, as another reader (openpyxl) reads them
// back: kinds, titles, anchors, series ranges and their cached values.
#include <gtest/gtest.h>

#include "io/io.h"
#include "io_test_util.h"
#include "model/memory_host.h"

namespace lczs::io::test {
namespace {

using memory::Lit;

TEST(ChartPart, ColumnsWithALineAndAChartOnAnotherSheet) {
  memory::WorkbookData book;
  memory::add_sheet(book, "图表", {{"班级", "平均分", "年级平均分"}, {"1班", 80.5, 82}, {"2班", nullptr, 82}, {"3班", 85, 82}});
  memory::add_sheet(book, "O'Neil", {{"x"}});
  const host::Area labels{2, 1, 4, 1};
  book.sheets[0]->charts.push_back(
      {.title = "语文各班平均分", .category_title = "班级", .value_title = "平均分",
       .series = {{.name = "平均分", .type = host::ChartType::Column, .sheet = "图表", .categories = labels,
                   .values = {2, 2, 4, 2}},
                  {.name = "年级平均分", .type = host::ChartType::Line, .sheet = "图表", .categories = labels,
                   .values = {2, 3, 4, 3}}},
       .position = {2, 5, 17, 12}});
  book.sheets[1]->charts.push_back(
      {.title = "", .series = {{.name = "x", .type = host::ChartType::Column, .sheet = "O'Neil",
                                .categories = {1, 1, 1, 1}, .values = {1, 1, 1, 1}}},
       .position = {3, 2, 10, 6}});
  TempDir tmp;
  const std::string file = (tmp.dir / "charts.xlsx").string();
  write_xlsx(book, file);
  const std::string out = (tmp.dir / "charts.txt").string();
  ASSERT_EQ(python("read_charts.py", "'" + file + "' > '" + out + "'"), 0);
  EXPECT_EQ(slurp(out),
            "图表: BarChart+LineChart '语文各班平均分' at 2,5-17,12 axes '班级' '平均分'\n"
            "  平均分 '图表'!$B$2:$B$4 by '图表'!$A$2:$A$4 = [80.5, 85.0]\n"
            "  年级平均分 '图表'!$C$2:$C$4 by '图表'!$A$2:$A$4 = [82.0, 82.0, 82.0]\n"
            "O'Neil: BarChart '' at 3,2-10,6 axes '' ''\n"
            "  x 'O''Neil'!$A$1 by 'O''Neil'!$A$1 = []\n");
}

}  // namespace
}  // namespace lczs::io::test
