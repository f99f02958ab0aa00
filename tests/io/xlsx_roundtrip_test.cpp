// Our writer and our reader together, and files made by an independent
// writer (openpyxl) through our reader and writer and back to openpyxl.
#include <zip.h>

#include <algorithm>
#include <tuple>

#include "io/internal.h"
#include "io/io.h"
#include "tests/io/io_test_util.h"

namespace lczs::io::test {
namespace {

using host::Value;
using memory::Cell;
using memory::Color;
using memory::Format;
using memory::SheetData;
using memory::WorkbookData;

Color rgb(std::uint32_t v) {
  Color c;
  c.kind = Color::Kind::Rgb;
  c.argb = 0xFF000000u | v;
  return c;
}
Color indexed(int i) {
  Color c;
  c.kind = Color::Kind::Indexed;
  c.index = i;
  return c;
}
Color theme(int t) {
  Color c;
  c.kind = Color::Kind::Theme;
  c.theme = t;
  return c;
}

memory::BorderLine line(host::LineStyle s, host::BorderWeight w, Color c = {}) {
  memory::BorderLine l;
  l.style = s;
  l.weight = w;
  l.color = c;
  return l;
}

// Formats that between them set every member the model holds.
std::vector<Format> sample_formats() {
  std::vector<Format> out;
  Format f;
  f.font.name = "黑体";
  f.font.size = 14;
  f.font.bold = true;
  f.font.color = rgb(0xFF0000);
  out.push_back(f);

  f = {};
  f.font.italic = true;
  f.font.strikethrough = true;
  f.font.superscript = true;
  f.font.color = indexed(10);
  f.number_format = "0.00";
  out.push_back(f);

  f = {};
  f.font.subscript = true;
  f.font.underline = host::Underline::Double;
  f.font.color = theme(4);
  f.font.color.tint = 0.3999755851924192;  // kept as a tint, not the colour it shows
  f.number_format = "0.00%";
  f.font.family = 2;
  f.font.charset = 134;
  out.push_back(f);

  f = {};
  f.fill.pattern = "solid";
  f.fill.fg = rgb(0xFFFF00);
  f.borders.left = f.borders.right = f.borders.top = f.borders.bottom =
      line(host::LineStyle::Continuous, host::BorderWeight::Thin);
  f.alignment.horizontal = host::HAlign::Center;
  f.alignment.vertical = host::VAlign::Center;
  f.alignment.wrap_text = true;
  out.push_back(f);

  f = {};
  f.fill.pattern = "solid";
  f.fill.fg = rgb(0x00B050);
  f.fill.bg = rgb(0x123456);
  f.borders.bottom = line(host::LineStyle::Continuous, host::BorderWeight::Medium, rgb(0xFF0000));
  f.borders.left = line(host::LineStyle::Double, host::BorderWeight::Thick);
  f.borders.diagonal = line(host::LineStyle::Dash, host::BorderWeight::Thin, rgb(0x0000FF));
  f.borders.diagonal_up = true;
  f.borders.diagonal_down = true;
  f.alignment.horizontal = host::HAlign::Right;
  f.alignment.indent = 2;
  f.number_format = "0.0";
  out.push_back(f);

  f = {};
  f.fill.pattern = "gray125";
  f.fill.fg = rgb(0x808080);
  f.borders.top = line(host::LineStyle::Dot, host::BorderWeight::Thin);
  f.borders.right = line(host::LineStyle::DashDot, host::BorderWeight::Medium);
  f.borders.diagonal = line(host::LineStyle::Continuous, host::BorderWeight::Hairline);
  f.borders.diagonal_down = true;
  f.alignment.shrink_to_fit = true;
  f.alignment.rotation = 45;
  f.alignment.vertical = host::VAlign::Top;
  f.number_format = "yyyy\"年\"m\"月\"d\"日\"";
  out.push_back(f);

  f = {};
  f.alignment.rotation = -30;
  f.alignment.horizontal = host::HAlign::Distributed;
  f.alignment.vertical = host::VAlign::Distributed;
  f.locked = false;
  f.hidden = true;
  f.number_format = "@";
  out.push_back(f);

  f = {};
  f.alignment.rotation = 255;
  f.alignment.horizontal = host::HAlign::CenterAcrossSelection;
  f.font.size = 10.5;
  f.font.outline = true;
  f.font.shadow = true;
  f.font.underline = host::Underline::Single;
  f.number_format = "#,##0.00";
  out.push_back(f);
  return out;
}

WorkbookData sample_book() {
  WorkbookData book;
  Format standard;  // the model's standard style, as a Chinese workbook has it
  standard.font.name = "宋体";
  standard.font.size = 11;
  standard.font.charset = 134;
  book.formats.set_default(standard);
  std::vector<memory::FormatId> ids;
  for (const auto& f : sample_formats()) ids.push_back(book.formats.intern(f));

  auto s1 = std::make_unique<SheetData>();
  s1->name = "成绩表";
  auto put = [&](SheetData& s, int r, int c, Value v, memory::FormatId f = 0, std::string formula = "") {
    Cell cell;
    cell.value = std::move(v);
    cell.format = f;
    cell.set_formula(std::move(formula));
    s.put(r, c, std::move(cell));
  };
  put(*s1, 1, 1, Value::text("姓名"), ids[0]);
  put(*s1, 1, 2, Value::text("语文"), ids[3]);
  put(*s1, 1, 3, Value::text("  leading and trailing  "));
  put(*s1, 2, 1, Value::text("张三"));
  put(*s1, 2, 2, Value::number(88.5), ids[1]);
  put(*s1, 2, 3, Value::number(-3), ids[2]);
  put(*s1, 3, 2, Value::number(1e20), ids[4]);
  put(*s1, 3, 3, Value::number(0.1), ids[5]);
  put(*s1, 4, 1, Value::boolean(true));
  put(*s1, 4, 2, Value::boolean(false), ids[6]);
  put(*s1, 4, 3, Value::error(host::ErrorCode::Div0));
  put(*s1, 4, 4, Value::error(host::ErrorCode::NA), ids[7]);
  put(*s1, 5, 2, Value::number(176.5), 0, "SUM(B2:B3)");
  put(*s1, 5, 3, Value::text("及格"), 0, "IF(B2>=60,\"及格\",\"不及格\")");
  put(*s1, 5, 4, Value::boolean(true), 0, "B2>60");
  put(*s1, 5, 5, Value::error(host::ErrorCode::Div0), 0, "1/0");
  put(*s1, 6, 1, Value(), ids[3]);  // a blank cell with borders
  put(*s1, 7, 1, Value::text("line one\nline two"), ids[3]);
  // Rich text: a bold red run, a run in the cell's font, a superscript run.
  Cell rich;
  rich.value = Value::text("化学H2O");
  memory::Font red = sample_formats()[0].font;
  memory::Font sub;
  sub.subscript = true;
  sub.name = "宋体";
  rich.set_runs({{"化学", red}, {"H", std::nullopt}, {"2", sub}, {"O", std::nullopt}});
  s1->put(8, 1, rich);
  Cell lone;  // one run with a font of its own
  lone.value = Value::text("全部加粗");
  lone.set_runs({{"全部加粗", red}});
  s1->put(8, 2, lone);
  // Merged title over cells with their own borders.
  put(*s1, 10, 1, Value::text("合并标题"), ids[3]);
  put(*s1, 10, 2, Value(), ids[3]);
  put(*s1, 11, 1, Value(), ids[3]);
  s1->merges = {{10, 1, 11, 3}, {12, 1, 12, 2}};
  s1->columns[1].width = 12;
  s1->columns[2].width = 8.43;
  s1->columns[3].width = 30.5;
  s1->columns[4].width = 0.5;
  s1->columns[5].format = ids[3];
  s1->columns[6].hidden = true;
  s1->columns[6].width = 10;
  s1->rows[1].height = 30;
  s1->rows[2].height = 15;  // exactly the default of many writers
  s1->rows[3].height = 13.5;
  s1->rows[9].hidden = true;
  s1->rows[12].format = ids[2];
  s1->row_breaks = {5, 9, 40};
  // Numbers that need all 17 digits, and the extremes of a double.
  int col = 1;
  for (double v : {0.30000000000000004, 63.699999999999996, 5e-324, 1.7976931348623157e308, -0.1})
    put(*s1, 20, col++, Value::number(v));
  // Settings of the view, the outline and the page.
  memory::SheetSettings& st = s1->settings;
  st.view.zoom = 130;
  st.protection = memory::Attributes{{"sheet", "1"}, {"password", "CC1A"}, {"formatColumns", "0"}};
  st.view.gridlines = false;
  st.view.panes = memory::Panes{memory::Panes::Kind::Frozen, 1, 1, {2, 2}, "bottomRight"};
  st.view.tab_color = theme(5);
  st.view.tab_color->tint = -0.25;
  st.outline.summary_below = false;
  s1->rows[3].outline_level = 1;
  s1->rows[4].outline_level = 2;
  s1->rows[4].collapsed = true;
  s1->columns[3].outline_level = 1;
  st.page.landscape = true;
  st.page.paper_size = 9;
  st.page.fit_to_page = true;
  st.page.fit_height = 0;
  st.page.first_page_number = 3;
  st.page.margin_left = 0.25;
  st.page.center_horizontally = true;
  st.page.header_footer.odd_footer = "&C第 &P 页";
  st.page.header_footer.different_first = true;
  st.page.header_footer.first_header = "&L&\"黑体,加粗\"成绩";
  s1->view.selection = {2, 2, 5, 4};
  s1->view.active_cell = {5, 4};
  book.sheets.push_back(std::move(s1));

  auto s2 = std::make_unique<SheetData>();
  s2->name = "隐藏";
  s2->hidden = true;
  put(*s2, 1, 1, Value::number(1));
  book.sheets.push_back(std::move(s2));

  auto s3 = std::make_unique<SheetData>();
  s3->name = "Sheet (2)";
  s3->default_row_height = 20;  // a custom default height
  put(*s3, 3, 3, Value::number(3.25));
  s3->rows[4].height = 15;
  s3->view.selection = {7, 2, 7, 2};
  s3->view.active_cell = {7, 2};
  s3->settings.view.right_to_left = true;
  s3->settings.view.headings = false;
  s3->settings.view.panes = memory::Panes{memory::Panes::Kind::Split, 2400, 1200, {5, 4}, "topRight"};
  s3->settings.page.scale = 75;
  s3->settings.page.black_and_white = true;
  s3->settings.page.draft = true;
  book.sheets.push_back(std::move(s3));
  book.active_sheet = 2;
  auto s4 = std::make_unique<SheetData>();
  s4->name = "深藏";
  s4->hidden = s4->very_hidden = true;
  book.sheets.push_back(std::move(s4));
  book.settings.date1904 = true;
  book.settings.protection = memory::Attributes{{"lockStructure", "1"}, {"workbookPassword", "CC1A"}};
  book.settings.core_properties = {{"dc:title", "期中成绩"}, {"dc:creator", "教务处"},
                                   {"dcterms:created", "2024-03-01T08:00:00Z"}};
  book.settings.custom_properties = {{"学期", "lpwstr", "第一学期"}, {"年级", "i4", "10"}};
  return book;
}

std::string part(const std::string& file, const std::string& name) {
  int err = 0;
  zip_t* za = zip_open(file.c_str(), ZIP_RDONLY, &err);
  if (za == nullptr) return "";
  std::string out;
  if (zip_file_t* f = zip_fopen(za, name.c_str(), 0)) {
    char buf[65536];
    zip_int64_t n;
    while ((n = zip_fread(f, buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
    zip_fclose(f);
  }
  zip_discard(za);
  return out;
}

TEST(XlsxRoundTrip, OurWriteThenOurReadKeepsEverything) {
  TempDir tmp;
  WorkbookData book = sample_book();
  write_xlsx(book, tmp / "book.xlsx");
  WorkbookData back = read_xlsx(tmp / "book.xlsx");
  EXPECT_EQ(back.path, tmp / "book.xlsx");
  EXPECT_TRUE(back.unsupported.empty());
  WorkbookData expected = sample_book();
  expect_same_book(expected, back);
  EXPECT_TRUE(back.sheets[2]->view.tab_selected);

  // Written a second time, the file does not drift.
  write_xlsx(back, tmp / "again.xlsx");
  expect_same_book(back, read_xlsx(tmp / "again.xlsx"));
}

TEST(XlsxRoundTrip, FileCarriesWhatTheApplicationNeeds) {
  TempDir tmp;
  write_xlsx(sample_book(), tmp / "book.xlsx");
  std::string styles = part(tmp / "book.xlsx", "xl/styles.xml");
  std::string workbook = part(tmp / "book.xlsx", "xl/workbook.xml");
  std::string sheet1 = part(tmp / "book.xlsx", "xl/worksheets/sheet1.xml");
  // "0.00" and "0.00%" by their built-in ids, not as custom formats.
  EXPECT_NE(styles.find("numFmtId=\"2\""), std::string::npos);
  EXPECT_NE(styles.find("numFmtId=\"10\""), std::string::npos);
  EXPECT_EQ(styles.find("formatCode=\"0.00\""), std::string::npos);
  EXPECT_EQ(styles.find("formatCode=\"0.00%\""), std::string::npos);
  // Automatic font colour is the system colour, never a theme colour 1.
  EXPECT_EQ(styles.find("<color theme=\"1\"/>"), std::string::npos);
  EXPECT_NE(styles.find("<color indexed=\"64\"/>"), std::string::npos);
  // The standard style is the model's default font.
  EXPECT_NE(styles.find("<fonts count=\"") , std::string::npos);
  EXPECT_LT(styles.find("<name val=\"宋体\"/>"), styles.find("<name val=\"黑体\"/>"));
  // Recalculation on opening.
  EXPECT_NE(workbook.find("fullCalcOnLoad=\"1\""), std::string::npos);
  EXPECT_NE(workbook.find("state=\"hidden\""), std::string::npos);
  EXPECT_NE(workbook.find("activeTab=\"2\""), std::string::npos);
  // Widths: 12 characters are 89 pixels, stored as 89/7 rounded down to 1/256.
  EXPECT_NE(sheet1.find("width=\"12.7109375\""), std::string::npos);
  EXPECT_NE(sheet1.find("<brk id=\"4\""), std::string::npos);
  EXPECT_NE(sheet1.find("<f>SUM(B2:B3)</f><v>176.5</v>"), std::string::npos);
}

TEST(XlsxRoundTrip, TextThatWouldSpoilTheFile) {
  TempDir tmp;
  WorkbookData book;
  book.sheets.push_back(std::make_unique<SheetData>());
  SheetData& s = *book.sheets[0];
  s.name = "S";
  struct Case {
    std::string written, read;
  } cases[] = {
      {"_x0041_ is not A", "_x0041_ is not A"},      // looks like an escape
      {"ctl\x01\x1f", "ctl\x01\x1f"},                // control characters
      {"bad\xff\xfe" "end", "bad\uFFFD\uFFFDend"},      // not UTF-8
      {"tab\tand\nnewline", "tab\tand\nnewline"},
      {std::string("nul\0and cr\r\n", 12), std::string("nul\0and cr\r\n", 12)},
      {"not XML \xEF\xBF\xBF\x7F", "not XML \xEF\xBF\xBF\x7F"},  // U+FFFF, DEL
  };
  int r = 1;
  for (const auto& c : cases) {
    Cell cell;
    cell.value = Value::text(c.written);
    s.put(r++, 1, cell);
  }
  // The same in rich text runs, a header and a formula's text result.
  Cell rich;
  rich.value = Value::text(cases[4].written + "x");
  memory::Font bold;
  bold.bold = true;
  rich.set_runs({{cases[4].written, bold}, {"x", std::nullopt}});
  s.put(r, 1, rich);
  Cell formula;
  formula.set_formula("\"x\"");
  formula.value = Value::text(cases[1].written);
  s.put(r + 1, 1, formula);
  s.settings.page.header_footer.odd_header = cases[4].written;
  // Overlapping merged ranges: the first stays.
  s.merges = {{1, 2, 2, 3}, {2, 3, 3, 4}, {5, 5, 6, 6}};
  write_xlsx(book, tmp / "t.xlsx");
  WorkbookData back = read_xlsx(tmp / "t.xlsx");
  r = 1;
  for (const auto& c : cases) EXPECT_EQ(back.sheets[0]->get(r++, 1)->value, Value::text(c.read)) << c.written;
  EXPECT_EQ(back.sheets[0]->get(r, 1)->runs(), s.get(r, 1)->runs());
  EXPECT_EQ(back.sheets[0]->get(r + 1, 1)->value, Value::text(cases[1].read));
  EXPECT_EQ(back.sheets[0]->settings.page.header_footer.odd_header, cases[4].read);
  EXPECT_EQ(back.sheets[0]->merges, (std::vector<host::Area>{{1, 2, 2, 3}, {5, 5, 6, 6}}));
}

TEST(XlsxRoundTrip, OverlapOfMergedRanges) {
  using A = host::Area;
  using P = std::pair<std::size_t, std::size_t>;
  struct Case {
    std::vector<A> areas;
    std::optional<P> overlap;
  } cases[] = {
      {{}, std::nullopt},
      {{{1, 1, 2, 2}, {1, 3, 2, 4}, {3, 1, 3, 4}}, std::nullopt},   // side by side, below
      {{{1, 1, 2, 2}, {2, 2, 3, 3}}, P{0, 1}},                      // corner cell
      {{{5, 1, 9, 1}, {1, 1, 4, 1}, {1, 2, 9, 2}, {9, 1, 9, 2}}, P{0, 3}},
      {{{1, 1, 100, 100}, {50, 50, 50, 50}}, P{0, 1}},              // inside
      {{{1, 10, 1, 20}, {1, 1, 1, 9}, {1, 21, 1, 30}, {1, 5, 1, 12}}, P{1, 3}},  // the leftmost
  };
  for (const auto& c : cases) EXPECT_EQ(detail::first_overlap(c.areas), c.overlap);
  // Many ranges in one row: found without comparing every pair.
  std::vector<A> row;
  for (int i = 0; i < 8000; ++i) row.push_back({1, 2 * i + 1, 1, 2 * i + 2});
  EXPECT_EQ(detail::first_overlap(row), std::nullopt);
  row.push_back({1, 16000, 1, 16001});
  EXPECT_EQ(detail::first_overlap(row), (P{7999, 8000}));
}

TEST(XlsxRoundTrip, ColumnWidthsFromFilesComeBackExactly) {
  // Widths the application stores: whole pixels of a 7-pixel digit plus
  // padding, rounded down to 1/256.
  for (double file_width : {9.140625, 10.7109375, 2.140625, 0.42578125, 13.5703125, 255.0}) {
    double w = detail::column_width_from_file(file_width);
    EXPECT_DOUBLE_EQ(detail::file_width_from_column_width(w), std::floor(std::round(file_width * 7) / 7 * 256) / 256)
        << file_width;
  }
  EXPECT_NEAR(detail::column_width_from_file(9.140625), 8.43, 0.005);
}

TEST(XlsxRoundTrip, TintsApplyTheWayTheApplicationDoes) {
  EXPECT_EQ(detail::apply_tint(0x4F81BD, 0), 0x4F81BDu);
  EXPECT_EQ(detail::apply_tint(0x000000, 0.5), 0x808080u);
  EXPECT_EQ(detail::apply_tint(0xFFFFFF, -0.5), 0x808080u);
}

TEST(XlsxRoundTrip, SharedFormulaRebasing) {
  struct Case {
    const char* formula;
    int drow, dcol;
    const char* expected;
  } cases[] = {
      {"A1+B2", 1, 0, "A2+B3"},
      {"$A$1+A$1+$A1", 2, 3, "$A$1+D$1+$A3"},
      {"SUM(B2:B10)*2", 1, 1, "SUM(C3:C11)*2"},
      {"'Sheet 1'!A1+Sheet2!B1", 1, 0, "'Sheet 1'!A2+Sheet2!B2"},
      {"IF(A1=\"B2\",LOG10(C3),1.5E+3)", 1, 0, "IF(A2=\"B2\",LOG10(C4),1.5E+3)"},
      {"SUM(A:A)+SUM(1:2)", 1, 1, "SUM(B:B)+SUM(2:3)"},
      {"A1-1", -1, 0, "#REF!-1"},
      {"XFD1+TRUE", 0, 1, "#REF!+TRUE"},
      {"RANK(C2,$C$2:$C$41)", 5, 0, "RANK(C7,$C$2:$C$41)"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(detail::shift_formula(c.formula, c.drow, c.dcol), c.expected) << c.formula;
}

// openpyxl writes a workbook with everything the model holds; we read it,
// write it, and openpyxl reads both; what it sees must be the same.
TEST(XlsxRoundTrip, OpenpyxlFileSurvivesOurReadAndWrite) {
  TempDir tmp;
  ASSERT_EQ(python("openpyxl_files.py", "make " + (tmp / "orig.xlsx")), 0);
  WorkbookData book = read_xlsx(tmp / "orig.xlsx");
  EXPECT_TRUE(book.unsupported.empty()) << warning_text(book);
  write_xlsx(book, tmp / "ours.xlsx");
  ASSERT_EQ(python("openpyxl_files.py", "compare " + (tmp / "orig.xlsx") + " " + (tmp / "ours.xlsx")), 0);
  // And our reading of our file is our reading of theirs.
  expect_same_book(book, read_xlsx(tmp / "ours.xlsx"));
}

TEST(XlsxRoundTrip, OurFileReadsInOpenpyxlAsWritten) {
  TempDir tmp;
  write_xlsx(sample_book(), tmp / "book.xlsx");
  ASSERT_EQ(python("openpyxl_files.py", "check-sample " + (tmp / "book.xlsx")), 0);
}

}  // namespace
}  // namespace lczs::io::test
