// Validations, conditional formats of every rule type with their
// differential formats, an autofilter with criteria, names of both scopes,
// print area and titles: a file openpyxl made comes through our reading
// and writing as openpyxl saw it, and as we read it.
#include <gtest/gtest.h>

#include "io/io.h"
#include "io_test_util.h"

namespace lczs::io::test {
namespace {

TEST(RangeItems, OpenpyxlItemsSurviveOurReadAndWrite) {
  TempDir tmp;
  const std::string orig = tmp / "orig.xlsx", ours = tmp / "ours.xlsx";
  ASSERT_EQ(python("openpyxl_files.py", "make '" + orig + "'"), 0);
  // Two sheets, one of them after hidden ones: a sheet's names are counted
  // among all the file's sheets.
  for (const char* sheet : {"成绩", "第三 Sheet"})
    ASSERT_EQ(python("range_items.py", "add '" + orig + "' '" + sheet + "'"), 0);
  memory::WorkbookData book = read_xlsx(orig);
  EXPECT_TRUE(book.unsupported.empty()) << warning_text(book);
  write_xlsx(book, ours);
  EXPECT_EQ(python("range_items.py", "compare '" + orig + "' '" + ours + "'"), 0);
  expect_same_book(book, read_xlsx(ours));
}

}  // namespace
}  // namespace lczs::io::test
