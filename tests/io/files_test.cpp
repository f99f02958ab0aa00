// Files from other writers, damaged files, .csv, and the rules of saving.
#include <sys/stat.h>

#include "io/io.h"
#include "tests/io/io_test_util.h"

namespace lczs::io::test {
namespace {

using host::Value;
using memory::Cell;
using memory::SheetData;
using memory::WorkbookData;

WorkbookData small_book(const std::string& text = "张三") {
  WorkbookData book;
  auto s = std::make_unique<SheetData>();
  s->name = "成绩";
  Cell a;
  a.value = Value::text("姓名");
  s->put(1, 1, a);
  Cell b;
  b.value = Value::text(text);
  s->put(2, 1, b);
  Cell c;
  c.value = Value::number(88.5);
  s->put(2, 2, c);
  book.sheets.push_back(std::move(s));
  return book;
}

std::string error_of(const std::function<void()>& f) {
  try {
    f();
  } catch (const host::HostError& e) {
    return e.what();
  }
  return "(no error)";
}

// ---- Files from other writers ----------------------------------------------------

class Handmade : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(python("make_files.py", "handmade " + tmp.dir.string()), 0); }
  TempDir tmp;
};

TEST_F(Handmade, ReadsWhatTheUsualWritersDoNotMake) {
  for (const char* name : {"handmade.xlsx", "absolute.xlsx"}) {
    SCOPED_TRACE(name);
    WorkbookData book = read_xlsx(tmp / name);
    ASSERT_EQ(book.sheets.size(), 2u);
    const SheetData& s = *book.sheets[0];
    EXPECT_EQ(s.name, "手工");
    EXPECT_TRUE(book.sheets[1]->hidden);
    EXPECT_TRUE(book.sheets[1]->very_hidden);
    EXPECT_TRUE(book.unsupported.empty());
    EXPECT_EQ(book.formats.get(0).font.name, "宋体");
    EXPECT_EQ(book.formats.get(0).font.charset, 134);

    EXPECT_EQ(s.get(1, 1)->value, Value::text("姓名"));
    // A rich shared string: its runs, the phonetic guide left out.
    const Cell* rich = s.get(1, 2);
    ASSERT_NE(rich, nullptr);
    EXPECT_EQ(rich->value, Value::text("红 黑"));
    ASSERT_EQ(rich->runs().size(), 2u);
    EXPECT_TRUE(rich->runs()[0].font->bold);
    EXPECT_EQ(rich->runs()[0].font->color.argb, 0xFFFF0000u);
    EXPECT_FALSE(rich->runs()[1].font.has_value());
    EXPECT_EQ(book.formats.get(rich->format).number_format, "0.0\"分\"");
    EXPECT_EQ(book.formats.get(rich->format).font.name, "黑体");
    // A rich inline string, in a cell without a reference (column C).
    ASSERT_NE(s.get(1, 3), nullptr);
    EXPECT_EQ(s.get(1, 3)->value, Value::text("斜正"));
    EXPECT_TRUE(s.get(1, 3)->runs()[0].font->italic);
    // Shared formulas re-based to each cell (row 2 has no number).
    EXPECT_EQ(s.get(2, 2)->formula(), "A2*2+$A$2");
    EXPECT_EQ(s.get(3, 2)->formula(), "A3*2+$A$2");
    EXPECT_EQ(s.get(3, 2)->value, Value::number(50));
    EXPECT_EQ(s.get(4, 2)->formula(), "A4*2+$A$2");
    EXPECT_TRUE(s.get(4, 2)->value.is_empty());
    EXPECT_TRUE(book.needs_full_recalc);  // B4 has no cached value
    EXPECT_EQ(s.get(2, 3)->value, Value::boolean(true));
    EXPECT_EQ(s.get(2, 4)->value, Value::error(host::ErrorCode::Value));
    EXPECT_EQ(s.get(3, 3)->value, Value::text("ab"));
    EXPECT_EQ(s.get(3, 3)->formula(), "\"a\"&\"b\"");
    EXPECT_EQ(s.get(3, 4)->value, Value::number(45352.5));  // 2024-03-01 12:00
    EXPECT_EQ(book.formats.get(s.get(3, 4)->format).number_format, "mm-dd-yy");
    EXPECT_EQ(s.get(4, 1)->value, Value::number(150));
    EXPECT_EQ(s.get(4, 3)->value, Value::text("tab\there"));
    // Sheet settings.
    EXPECT_EQ(s.merges, std::vector<host::Area>({{1, 5, 2, 6}}));
    EXPECT_EQ(s.row_breaks, std::vector<int>({3}));
    EXPECT_EQ(s.view.selection, (host::Area{3, 3, 4, 4}));
    EXPECT_EQ(s.view.active_cell, (host::CellRef{3, 3}));
    EXPECT_DOUBLE_EQ(*s.columns.at(3).width, 10);
    EXPECT_EQ(s.columns.count(5), 0u);
    EXPECT_DOUBLE_EQ(s.default_row_height, 13.5);
    // A fitted height is kept; the default height written out is no height.
    EXPECT_DOUBLE_EQ(*s.rows.at(4).height, 27);
    EXPECT_EQ(s.rows.count(3), 0u);

    // What we read we write and read back the same.
    write_xlsx(book, tmp / "again.xlsx");
    WorkbookData again = read_xlsx(tmp / "again.xlsx");
    expect_same_book(book, again);
  }
}

TEST_F(Handmade, PartsTheModelCannotCarryAreNamed) {
  WorkbookData book = read_xlsx(tmp / "unsupported.xlsx");
  std::vector<std::string> what;
  for (const auto& u : book.unsupported) what.push_back(u.what + "@" + u.where);
  for (const char* expected : {"外部链接@xl/externalLinks/externalLink1.xml"})
    EXPECT_NE(std::find(what.begin(), what.end(), expected), what.end()) << expected;
  // What belongs to ranges is carried, whatever prefix the file's elements have.
  const memory::RangeItems& ranges = book.sheets[0]->ranges;
  EXPECT_EQ(ranges.conditional_formats.size(), 1u);
  EXPECT_EQ(ranges.validations.size(), 1u);
  EXPECT_EQ(book.names.at(0).formula, "手工!$A$1");
  EXPECT_EQ(*memory::find_name(ranges.names, memory::kPrintTitles), "手工!$1:$1");

  // Page setup and headers are carried, not refused.
  for (const auto& u : book.unsupported) EXPECT_TRUE(u.what != "页面设置" && u.what != "页眉页脚") << u.what;
  const memory::PageSetup& page = book.sheets[0]->settings.page;
  EXPECT_TRUE(page.landscape);
  EXPECT_EQ(page.paper_size, 9);
  EXPECT_EQ(page.header_footer.odd_footer, "第 &P 页");
  std::string warning = warning_text(book);
  EXPECT_EQ(warning.find("条件格式"), std::string::npos) << warning;
  EXPECT_NE(warning.find("外部链接"), std::string::npos);
  EXPECT_EQ(warning_text(read_xlsx(tmp / "handmade.xlsx")), "");
  // Print settings as every writer leaves them are no loss.
  for (const auto& u : read_xlsx(tmp / "handmade.xlsx").unsupported) ADD_FAILURE() << u.what;
  // The cells are read all the same.
  EXPECT_EQ(book.sheets[0]->get(1, 1)->value, Value::text("姓名"));
}

// ---- Damaged files ------------------------------------------------------------------

TEST(BadFiles, EachFaultHasItsMessageAndNoCrash) {
  TempDir tmp;
  write_xlsx(small_book(), tmp / "good.xlsx");
  ASSERT_EQ(python("make_files.py", "bad " + (tmp / "good.xlsx") + " " + tmp.dir.string()), 0);
  struct Case {
    const char* file;
    const char* says;
  } cases[] = {
      {"notzip.xlsx", "不是有效的 .xlsx 文件"},
      {"truncated.xlsx", "不是有效的 .xlsx 文件"},
      {"empty.xlsx", "不是有效的 .xlsx 文件"},
      {"bomb.xlsx", "压缩炸弹"},
      {"badxml.xlsx", "XML 格式错误"},
      {"entity.xlsx", "实体声明"},
      {"deep.xlsx", "嵌套过深"},
      {"outside.xlsx", "超出工作表范围"},
      {"toomany.xlsx", "行数超过上限"},
      {"badstyle.xlsx", "不存在的样式"},
      {"badstring.xlsx", "不存在的共享字符串"},
      {"badmerge.xlsx", "合并区域"},
      {"badnumber.xlsx", "数值无效"},
      {"nostyles.xlsx", "不存在的字体"},
      {"nosheet.xlsx", "缺少部件"},
      {"crc.xlsx", "已损坏"},
  };
  for (const auto& c : cases) {
    std::string path = tmp / c.file;
    std::string msg = error_of([&] { read_xlsx(path); });
    EXPECT_NE(msg.find(c.says), std::string::npos) << c.file << ": " << msg;
    EXPECT_NE(msg.find(path), std::string::npos) << c.file << ": " << msg;
    // The same fault by bytes, as the fuzz target reads.
    std::string bytes = slurp(path);
    EXPECT_THROW(read_xlsx_bytes(bytes, c.file), FileError) << c.file;
  }
  EXPECT_NE(error_of([&] { read_xlsx(tmp / "missing.xlsx"); }).find("文件不存在"), std::string::npos);
  EXPECT_NE(error_of([&] { read_workbook(tmp.dir.string()); }).find("文件夹"), std::string::npos);
}

TEST(BadFiles, XlsIsNotReadButExplained) {
  TempDir tmp;
  spit(tmp / "old.xls", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(504, '\0'));
  std::string msg = error_of([&] { read_workbook(tmp / "old.xls"); });
  EXPECT_NE(msg.find(".xls"), std::string::npos) << msg;
  EXPECT_NE(msg.find("另存为 .xlsx"), std::string::npos) << msg;
  // The content decides when the name does not tell.
  spit(tmp / "renamed.dat", slurp(tmp / "old.xls"));
  EXPECT_NE(error_of([&] { read_workbook(tmp / "renamed.dat"); }).find("另存为 .xlsx"), std::string::npos);
}

// What a file picked by mistake is, said from its content whatever its
// name, with what to do; a name alone never makes a picture a CSV.
TEST(BadFiles, AFileIsNamedByWhatItHolds) {
  TempDir tmp;
  ASSERT_EQ(python("make_files.py", "foreign " + tmp.dir.string()), 0);
  const std::string ole("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
  auto wide = [](const std::string& name) {
    std::string out;
    for (char c : name) out += std::string(1, c) + '\0';
    return out;
  };
  // A bitmap header: "BM", size, four reserved zero bytes, offset, and the
  // size of the info header (40).
  const std::string bmp = std::string("BM\x46\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0", 18) + std::string(40, '\0');
  spit(tmp / "photo.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16) + std::string(64, '\x01'));
  spit(tmp / "scan.jpg", std::string("\xFF\xD8\xFF\xE0\0\x10JFIF", 10) + std::string(64, 'x'));
  spit(tmp / "anim.gif", "GIF89a" + std::string(32, '\0'));
  spit(tmp / "pic.bmp", bmp);
  spit(tmp / "fax.tif", std::string("II*\0\x08\0\0\0", 8) + std::string(32, '\0'));
  spit(tmp / "pic.webp", std::string("RIFF\x24\0\0\0WEBPVP8 ", 16) + std::string(32, '\0'));
  spit(tmp / "report.pdf", "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n1 0 obj\n");
  spit(tmp / "export.xls", "\xEF\xBB\xBF\r\n<html><head><meta charset=utf-8></head><body><table><tr><td>1</td></tr></table>");
  spit(tmp / "xml2003.xls", "<?xml version=\"1.0\"?>\n<Workbook xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\">");
  spit(tmp / "old.doc", ole + std::string(504, '\0') + wide("WordDocument"));
  spit(tmp / "old.ppt", ole + std::string(504, '\0') + wide("PowerPoint Document"));
  spit(tmp / "packed.rar", "Rar!\x1A\x07\x01\0");
  const struct {
    std::string file;  // also read under the names 成绩.xlsx and 成绩.csv
    const char* says;
  } cases[] = {
      {"sheet.ods", "它是OpenDocument 电子表格（.ods）"},
      {"letter.odt", "它是OpenDocument 文档"},
      {"letter.docx", "它是Word 文档（.docx）"},
      {"slides.pptx", "它是PowerPoint 演示文稿"},
      {"binary.xlsb", "它是Excel 二进制工作簿（.xlsb）"},
      {"archive.zip", "它是zip 压缩包"},
      {"photo.png", "它是PNG 图片"},
      {"scan.jpg", "它是JPEG 图片"},
      {"anim.gif", "它是GIF 图片"},
      {"pic.bmp", "它是BMP 图片"},
      {"fax.tif", "它是TIFF 图片"},
      {"pic.webp", "它是WebP 图片"},
      {"report.pdf", "它是PDF 文档"},
      {"export.xls", "它是网页（HTML）"},
      {"xml2003.xls", "它是Excel 2003 XML 表格"},
      {"old.doc", "它是Word 97-2003 文档"},
      {"old.ppt", "它是PowerPoint 97-2003 演示文稿"},
      {"packed.rar", "它是RAR 压缩包"},
  };
  for (const auto& c : cases) {
    for (const std::string& name : {c.file, std::string("成绩.xlsx"), std::string("成绩.csv")}) {
      SCOPED_TRACE(c.file + " as " + name);
      if (name != c.file) spit(tmp / name, slurp(tmp / c.file));
      const std::string msg = error_of([&] { read_workbook(tmp / name); });
      EXPECT_NE(msg.find(c.says), std::string::npos) << msg;
      EXPECT_NE(msg.find(tmp / name), std::string::npos) << msg;
      EXPECT_NE(msg.find("请"), std::string::npos) << msg;  // and what to do
    }
  }
  // Texts that begin as a signature might, and a package under another
  // name, are read as what they are.
  spit(tmp / "bmi.csv", "BMI,身高\n21.5,170\n");
  EXPECT_EQ(read_workbook(tmp / "bmi.csv").sheets[0]->get(2, 2)->value, Value::number(170));
  spit(tmp / "tag.csv", "<b>,x\n1,2\n");
  EXPECT_EQ(read_workbook(tmp / "tag.csv").sheets[0]->get(1, 1)->value, Value::text("<b>"));
  write_xlsx(small_book(), tmp / "book.xlsx");
  spit(tmp / "book.csv", slurp(tmp / "book.xlsx"));
  EXPECT_EQ(read_workbook(tmp / "book.csv").sheets[0]->name, "成绩");
}

// ---- CSV ------------------------------------------------------------------------------

TEST(Csv, EncodingsNumbersAndQuoting) {
  TempDir tmp;
  const std::string utf8 = "学号,姓名,语文\r\n1001,张三,88.5\r\n1002,\"李,四\",\"多\n行\"\r\n,,\r\n1003,王五, 75 \r\n";
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"plain.csv", utf8},
      {"bom.csv", "\xEF\xBB\xBF" + utf8},
      // GBK / GB18030 bytes of the same text.
      {"gbk.csv", "\xd1\xa7\xba\xc5,\xd0\xd5\xc3\xfb,\xd3\xef\xce\xc4\r\n1001,\xd5\xc5\xc8\xfd,88.5\r\n"
                  "1002,\"\xc0\xee,\xcb\xc4\",\"\xb6\xe0\n\xd0\xd0\"\r\n,,\r\n1003,\xcd\xf5\xce\xe5, 75 \r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    spit(tmp / c.name, c.bytes);
    WorkbookData book = read_workbook(tmp / c.name);
    ASSERT_EQ(book.sheets.size(), 1u);
    const SheetData& s = *book.sheets[0];
    EXPECT_EQ(s.name, std::string(c.name).substr(0, std::string(c.name).size() - 4));
    EXPECT_EQ(s.get(1, 1)->value, Value::text("学号"));
    EXPECT_EQ(s.get(2, 1)->value, Value::number(1001));
    EXPECT_EQ(s.get(2, 2)->value, Value::text("张三"));
    EXPECT_EQ(s.get(2, 3)->value, Value::number(88.5));
    EXPECT_EQ(s.get(3, 2)->value, Value::text("李,四"));
    EXPECT_EQ(s.get(3, 3)->value, Value::text("多\n行"));
    EXPECT_EQ(s.get(4, 1), nullptr);  // an empty row stays a row
    EXPECT_EQ(s.get(5, 2)->value, Value::text("王五"));
    EXPECT_EQ(s.get(5, 3)->value, Value::number(75));
    EXPECT_EQ(book.path, tmp / c.name);
  }
}

TEST(Csv, WhatStaysText) {
  TempDir tmp;
  spit(tmp / "t.csv", "110101200001011234,00123,1e3,12abc,-0.5,TRUE,+7\n");
  WorkbookData book = read_csv(tmp / "t.csv");
  const SheetData& s = *book.sheets[0];
  EXPECT_EQ(s.get(1, 1)->value, Value::text("110101200001011234"));  // identity number: 18 digits
  EXPECT_EQ(s.get(1, 2)->value, Value::number(123));
  EXPECT_EQ(s.get(1, 3)->value, Value::number(1000));
  EXPECT_EQ(s.get(1, 4)->value, Value::text("12abc"));
  EXPECT_EQ(s.get(1, 5)->value, Value::number(-0.5));
  EXPECT_EQ(s.get(1, 6)->value, Value::text("TRUE"));
  EXPECT_EQ(s.get(1, 7)->value, Value::number(7));
}

TEST(Csv, SheetNamesFromFileNames) {
  TempDir tmp;
  struct Case {
    const char* file;
    const char* sheet;
  } cases[] = {
      {"高一[3]班:期末?.csv", "高一_3_班_期末_"},
      {"一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十一二三.csv",
       "一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十一"},
      {"'quoted'.csv", "_quoted_"},
  };
  for (const auto& c : cases) {
    spit(tmp / c.file, "1\n");
    EXPECT_EQ(read_csv(tmp / c.file).sheets[0]->name, c.sheet);
  }
}

TEST(Csv, BadInput) {
  TempDir tmp;
  spit(tmp / "bom-bad.csv", "\xEF\xBB\xBF\xff\xfe,1\n");
  EXPECT_NE(error_of([&] { read_csv(tmp / "bom-bad.csv"); }).find("UTF-8"), std::string::npos);
  std::string wide(host::kMaxCols + 1, ',');
  spit(tmp / "wide.csv", wide + "\n");
  EXPECT_NE(error_of([&] { read_csv(tmp / "wide.csv"); }).find("列数超过上限"), std::string::npos);
  EXPECT_NE(error_of([&] { read_csv(tmp / "none.csv"); }).find("none.csv"), std::string::npos);
}

// ---- Saving ---------------------------------------------------------------------------

TEST(Saving, FailedWriteLeavesTheOldFileWhole) {
  TempDir tmp;
  std::string path = tmp / "book.xlsx";
  write_xlsx(small_book(), path);
  std::string before = slurp(path);
  // Text longer than a cell can hold.
  WorkbookData bad = small_book(std::string(40000, 'x'));
  EXPECT_THROW(write_xlsx(bad, path), host::SaveError);
  EXPECT_EQ(slurp(path), before);
  // A sheet name the application refuses.
  WorkbookData bad_name = small_book();
  bad_name.sheets[0]->name = "a/b";
  std::string msg = error_of([&] { write_xlsx(bad_name, path); });
  EXPECT_NE(msg.find("a/b"), std::string::npos) << msg;
  EXPECT_EQ(slurp(path), before);
  // No temporary file is left behind.
  int files = 0;
  for (const auto& e : fs::directory_iterator(tmp.dir)) files += e.is_regular_file() ? 1 : 0;
  EXPECT_EQ(files, 1);
  // Nor into a folder that does not exist.
  EXPECT_THROW(write_xlsx(small_book(), tmp / "no/such/dir.xlsx"), host::SaveError);
}

TEST(Saving, ReplacesAtomicallyAndKeepsPermissions) {
  TempDir tmp;
  std::string path = tmp / "book.xlsx";
  write_xlsx(small_book("旧"), path);
  ::chmod(path.c_str(), 0640);
  write_xlsx(small_book("新"), path);
  EXPECT_EQ(read_xlsx(path).sheets[0]->get(2, 1)->value, Value::text("新"));
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(Saving, Refusals) {
  TempDir tmp;
  std::string xlsx = tmp / "book.xlsx";
  std::string csv = tmp / "list.csv";
  spit(csv, "1,2\n");
  WorkbookData carried = small_book();
  WorkbookData lossy = small_book();
  lossy.unsupported.push_back({"图表", "成绩"});
  EXPECT_EQ(save_target(xlsx), xlsx);
  EXPECT_EQ(save_target(csv), tmp / "list.xlsx");
  EXPECT_EQ(save_target(tmp / "Old.XLSX"), tmp / "Old.XLSX");
  EXPECT_EQ(save_target(tmp / "macro.xlsm"), tmp / "macro.xlsm");
  WorkbookData moved = small_book();  // an image a sort had to take out
  moved.lost.push_back({"图片", "成绩"});
  WorkbookData macros = small_book();
  macros.carried.book_links.push_back({"rId9", std::string(memory::kMacroProjectType), "xl/vbaProject.bin"});

  struct Case {
    const WorkbookData* book;
    std::string source, target;
    const char* refusal;  // nullptr: allowed
  } cases[] = {
      {&carried, xlsx, xlsx, nullptr},
      {&lossy, xlsx, xlsx, "图表"},
      {&lossy, xlsx, tmp / "other.xlsx", nullptr},
      {&carried, csv, csv, "不能覆盖原文件"},
      {&carried, csv, tmp / "list.xlsx", nullptr},  // not there yet
      {&moved, xlsx, xlsx, "图片（成绩）"},
      {&moved, xlsx, tmp / "other.xlsx", nullptr},
      {&macros, tmp / "m.xlsm", tmp / "m.xlsm", nullptr},
      {&macros, tmp / "m.xlsx", tmp / "m.xlsx", "宏"},  // a save as .xlsx would lose them
  };
  for (const auto& c : cases) {
    std::string msg = error_of([&] { check_saveable(*c.book, c.source, c.target); });
    if (c.refusal == nullptr)
      EXPECT_EQ(msg, "(no error)") << c.target;
    else
      EXPECT_NE(msg.find(c.refusal), std::string::npos) << c.target << ": " << msg;
  }
  // Once an .xlsx of that name exists, the .csv's save does not replace it.
  write_xlsx(carried, tmp / "list.xlsx");
  EXPECT_NE(error_of([&] { check_saveable(carried, csv, tmp / "list.xlsx"); }).find("已经存在"), std::string::npos);
  // The same file reached by another spelling is the same file.
  EXPECT_NE(error_of([&] { check_saveable(lossy, xlsx, tmp.dir.string() + "/./book.xlsx"); }).find("图表"),
            std::string::npos);
}

TEST(Saving, StoreWritesCsvWorkbooksBesideTheirFile) {
  TempDir tmp;
  std::string csv = tmp / "名单.csv";
  spit(csv, "学号,姓名\n1,张三\n");
  WorkbookData book = read_workbook(csv);
  XlsxStore store;
  EXPECT_FALSE(store.exists(tmp / "名单.xlsx"));
  store.save(book, csv);  // Save of a .csv workbook
  EXPECT_TRUE(store.exists(tmp / "名单.xlsx"));
  EXPECT_EQ(slurp(csv), "学号,姓名\n1,张三\n");
  EXPECT_EQ(read_xlsx(tmp / "名单.xlsx").sheets[0]->get(2, 2)->value, Value::text("张三"));
  store.save(book, csv);  // saving again replaces the store's own .xlsx
  EXPECT_THROW(XlsxStore().save(book, csv), host::SaveError);  // but is an .xlsx already there for others

  // A workbook with parts the model cannot carry is not saved over itself.
  write_xlsx(small_book(), tmp / "lossy.xlsx");
  WorkbookData lossy = read_xlsx(tmp / "lossy.xlsx");
  lossy.unsupported.push_back({"数组公式", "成绩"});
  std::string before = slurp(tmp / "lossy.xlsx");
  EXPECT_THROW(store.save(lossy, tmp / "lossy.xlsx"), host::SaveError);
  EXPECT_EQ(slurp(tmp / "lossy.xlsx"), before);
  store.save(lossy, tmp / "elsewhere.xlsx");
  EXPECT_TRUE(store.exists(tmp / "elsewhere.xlsx"));
}

TEST(Saving, ChineseNamesAndPathsThroughTheWholeWay) {
  TempDir tmp;
  fs::create_directories(tmp.dir / "期末 成绩");
  std::string path = (tmp.dir / "期末 成绩" / "高一（3）班.xlsx").string();
  WorkbookData book = small_book("欧阳𠀀");  // a character outside the BMP
  book.sheets[0]->name = "高一（3）班成绩「总表」";
  write_xlsx(book, path);
  WorkbookData back = read_workbook(path);
  EXPECT_EQ(back.sheets[0]->name, "高一（3）班成绩「总表」");
  EXPECT_EQ(back.sheets[0]->get(2, 1)->value, Value::text("欧阳𠀀"));
}

}  // namespace
}  // namespace lczs::io::test
