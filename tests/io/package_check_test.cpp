// The save's check: a package passes only when every XML part parses to its
// end and the written file holds every part exactly as it was made.
#include <functional>

#include "io/internal.h"
#include "io/io.h"
#include "io/parts.h"
#include "model/memory_host.h"
#include "tests/io/io_test_util.h"

namespace lczs::io::test {
namespace {

using detail::MadePackage;

memory::WorkbookData numbers_book(int rows) {
  memory::WorkbookData book;
  std::vector<std::vector<memory::Lit>> cells = {{"学号", "分数"}};
  for (int i = 1; i <= rows; ++i) cells.push_back({i, (i * 37) % 101});
  memory::add_sheet(book, "成绩", cells);
  return book;
}

std::string write(const TempDir& dir, const std::string& bytes) {
  std::string path = dir / "book.xlsx";
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

// What the check says of a piece of a part; "" when it passes.
std::string parsed(const std::string& name, std::string_view text, const detail::OpenElements& before = {},
                   const detail::OpenElements& after = {}) {
  try {
    detail::check_piece("book.xlsx", name, text, before.empty() ? 0 : 100, before, after);
    return "";
  } catch (const host::SaveError& e) {
    return e.what();
  }
}

// What reading `bytes` back against the digests of `made` says.
std::string read_back(const std::string& bytes, const MadePackage& made) {
  TempDir dir;
  try {
    detail::verify_package(write(dir, bytes), "book.xlsx", made.parts);
    return "";
  } catch (const host::SaveError& e) {
    return e.what();
  }
}

TEST(PackageCheck, RefusesEveryFaultAndPassesAnIntactPackage) {
  const MadePackage made = detail::make_package(numbers_book(300), "book.xlsx");
  const std::string sheet = "xl/worksheets/sheet1.xml";
  // A byte well inside the sheet's compressed data.
  const std::size_t inside = made.bytes.find(sheet) + sheet.size() + 300;
  const struct {
    std::string name;
    std::function<std::string()> check;
    std::string says;  // "" when it passes
  } cases[] = {
      {"an intact package", [&] { return read_back(made.bytes, made); }, ""},
      {"a part cut between elements",
       [] { return parsed("xl/worksheets/sheet1.xml", "<worksheet><sheetData><row r=\"1\"/>"); },
       "元素没有正确结束"},
      {"a part cut inside a tag", [] { return parsed("xl/workbook.xml", "<workbook><sheets><sheet na"); },
       "内容在中途截断"},
      {"a raw control character", [] { return parsed("xl/sharedStrings.xml", "<sst><si><t>a\x01</t></si></sst>"); },
       "不允许的字符"},
      {"a non-XML part is not parsed", [] { return parsed("xl/media/image1.png", "\x89PNG<"); }, ""},
      {"a piece that leaves open what it was handed",
       [] { return parsed("xl/worksheets/sheet1.xml", "<row/></sheetData>", {"worksheet", "sheetData"}, {"worksheet"}); },
       ""},
      {"a piece that does not end where the next begins",
       [] { return parsed("xl/worksheets/sheet1.xml", "<row/>", {"worksheet", "sheetData"}, {"worksheet"}); },
       "元素没有正确结束"},
      {"a damaged byte in the file",
       [&] {
         std::string bytes = made.bytes;
         bytes[inside] = static_cast<char>(bytes[inside] ^ 0x5A);
         return read_back(bytes, made);
       },
       "已损坏"},
      {"a file cut short", [&] { return read_back(made.bytes.substr(0, made.bytes.size() - 30), made); }, "无法打开"},
      {"a part other than the one parsed",
       [&] { return read_back(detail::make_package(numbers_book(301), "book.xlsx").bytes, made); },
       "与写出的内容不符"},
      {"a part missing from the file",
       [&] {
         MadePackage more = made;
         more.parts.push_back({"xl/extra.xml", 0, 0, ""});
         return read_back(made.bytes, more);
       },
       "目录与写出的部件不符"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string said = c.check();
    if (c.says.empty()) EXPECT_EQ(said, "");
    else EXPECT_NE(said.find(c.says), std::string::npos) << said;
  }
}

// A sheet larger than a piece goes to the check and into the file in
// pieces; the file holds it whole.
TEST(PackageCheck, ASheetWrittenInPiecesReadsBackAsItWas) {
  const memory::WorkbookData book = numbers_book(35000);
  const MadePackage made = detail::make_package(book, "book.xlsx");
  auto sheet = std::find_if(made.parts.begin(), made.parts.end(),
                            [](const detail::PartDigest& d) { return d.name == "xl/worksheets/sheet1.xml"; });
  ASSERT_NE(sheet, made.parts.end());
  EXPECT_GT(sheet->size, 2 * detail::kSheetPiece);
  TempDir dir;
  EXPECT_EQ(read_back(made.bytes, made), "");
  expect_same_book(book, io::read_xlsx(write(dir, made.bytes)));
}

}  // namespace
}  // namespace lczs::io::test
