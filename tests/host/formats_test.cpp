// Formats: levels of rows, columns and the whole sheet; runs; borders;
// AutoFit; number formats as shown.
#include "helpers.h"

#include <random>

#include "model/memory_internal.h"

namespace lczs::memory::testing {
namespace {

TEST(Formats, WholeSheetFontWithoutMaterialisingCells) {
  OneSheet s({{1, 2}, {3}});
  s.ws->set_font(Area::whole_sheet(), {.size = 9});
  EXPECT_EQ(s.ws->data().cell_count(), 3u);
  EXPECT_EQ(s.ws->format(1, 1).font.size, 9);
  EXPECT_EQ(s.ws->format(500000, 9000).font.size, 9);  // an empty cell too
  s.ws->set_value(700, 3, N(1));
  EXPECT_EQ(s.ws->format(700, 3).font.size, 9);
  // A whole row after that keeps the sheet's size where not changed.
  s.ws->set_font(Area::rows(5, 5), {.bold = true});
  EXPECT_EQ(s.ws->format(5, 100).font.size, 9);
  EXPECT_TRUE(s.ws->format(5, 100).font.bold);
  EXPECT_LT(s.ws->data().cell_count(), 10u);
  std::string d = dump(*s.book);
  EXPECT_NE(d.find("  col A:XFD | size=9\n"), std::string::npos) << d.substr(0, 400);
  EXPECT_NE(d.find("  row 5 | size=9, bold\n"), std::string::npos);
}

TEST(Formats, RowOverColumnOverDefault) {
  OneSheet s({});
  s.ws->set_font(Area::columns(2, 2), {.italic = true});
  s.ws->set_font(Area::rows(3, 3), {.bold = true});
  EXPECT_TRUE(s.ws->format(1, 2).font.italic);
  EXPECT_FALSE(s.ws->format(1, 1).font.italic);
  EXPECT_TRUE(s.ws->format(3, 1).font.bold);
  // The crossing cell has both.
  EXPECT_TRUE(s.ws->format(3, 2).font.bold);
  s.ws->set_font(Area::columns(2, 2), {.size = 20});
  EXPECT_TRUE(s.ws->format(3, 2).font.bold);
  EXPECT_EQ(s.ws->format(3, 2).font.size, 20);
  EXPECT_EQ(s.ws->format(3, 3).font.size, 11);
}

TEST(Formats, FontPatchFields) {
  OneSheet s({{"x"}});
  s.ws->set_font(Area::cell(1, 1), {.name = "黑体", .font_style = "加粗 倾斜", .size = 16,
                                    .superscript = true, .underline = host::Underline::Single,
                                    .color_index = 3});
  const Font& f = s.ws->format(1, 1).font;
  EXPECT_EQ(f.name, "黑体");
  EXPECT_TRUE(f.bold && f.italic && f.superscript);
  EXPECT_EQ(f.size, 16);
  EXPECT_EQ(f.underline, host::Underline::Single);
  EXPECT_EQ(f.color.kind, Color::Kind::Indexed);
  s.ws->set_font(Area::cell(1, 1), {.subscript = true, .color_index = host::kColorIndexAutomatic});
  EXPECT_FALSE(s.ws->format(1, 1).font.superscript);
  EXPECT_EQ(s.ws->format(1, 1).font.color.kind, Color::Kind::Auto);
  EXPECT_THROW(s.ws->set_font(Area::cell(1, 1), {.size = 0}), host::HostError);
}

TEST(Formats, CharacterRuns) {
  OneSheet s({{"成绩分析表", 5}});
  s.ws->set_characters_font(1, 1, 3, 2, {.bold = true});
  const auto& runs = s.ws->runs(1, 1);
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0].text, "成绩");
  EXPECT_EQ(runs[1].text, "分析");
  EXPECT_TRUE(runs[1].font->bold);
  EXPECT_EQ(runs[2].text, "表");
  EXPECT_FALSE(runs[2].font.has_value());
  // On a number the whole cell takes the font.
  s.ws->set_characters_font(1, 2, 1, 1, {.italic = true});
  EXPECT_TRUE(s.ws->format(1, 2).font.italic);
  // A new value drops the runs.
  s.ws->set_value(1, 1, T("x"));
  EXPECT_TRUE(s.ws->runs(1, 1).empty());
}

TEST(Formats, BordersByIndex) {
  OneSheet s({});
  host::BorderSpec thin{host::LineStyle::Continuous, host::BorderWeight::Thin, host::kColorIndexAutomatic};
  Area a{2, 2, 3, 4};
  s.ws->set_border(a, host::BorderIndex::EdgeTop, thin);
  s.ws->set_border(a, host::BorderIndex::InsideVertical, thin);
  s.ws->set_border(a, host::BorderIndex::DiagonalDown, thin);
  struct {
    int r, c;
    bool top, left, right;
  } cases[] = {{2, 2, true, false, true}, {2, 3, true, true, true}, {2, 4, true, true, false},
               {3, 2, false, false, true}, {3, 4, false, true, false}};
  for (auto c : cases) {
    const Borders& b = s.ws->format(c.r, c.c).borders;
    EXPECT_EQ(b.top.style == host::LineStyle::Continuous, c.top) << c.r << "," << c.c;
    EXPECT_EQ(b.left.style == host::LineStyle::Continuous, c.left) << c.r << "," << c.c;
    EXPECT_EQ(b.right.style == host::LineStyle::Continuous, c.right) << c.r << "," << c.c;
    EXPECT_TRUE(b.diagonal_down);
  }
  EXPECT_EQ(s.ws->format(1, 2).borders, Borders{});
}

// Setting a list of borders in one call leaves exactly what the same
// set_border calls leave one by one, whatever the cells' formats, the area's
// shape (whole rows and columns included) and the order of the edits.
TEST(Formats, SetBordersEqualsTheSingleCalls) {
  std::mt19937 rng(20261207);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const host::LineStyle styles[] = {host::LineStyle::None, host::LineStyle::Continuous, host::LineStyle::Dash,
                                    host::LineStyle::Double};
  const host::BorderWeight weights[] = {host::BorderWeight::Thin, host::BorderWeight::Medium,
                                        host::BorderWeight::Thick};
  for (int round = 0; round < 300; ++round) {
    std::vector<std::vector<Lit>> rows(static_cast<std::size_t>(pick(0, 6)), std::vector<Lit>{1, "x", 2.5});
    OneSheet one(rows), each(rows);
    // Formats already differing from cell to cell, so that one pass meets
    // several old formats and edge classes.
    // Whole rows and columns carry formats of their own too.
    for (int n = pick(0, 4); n > 0; --n) {
      const int top = pick(1, 8), left = pick(1, 6);
      const Area at{top, left, top + pick(0, 3), left + pick(0, 3)};
      const auto index = static_cast<host::BorderIndex>(pick(5, 12));
      const host::BorderSpec spec{styles[pick(1, 3)], weights[pick(0, 2)], pick(1, 5)};
      const Area level = pick(0, 1) ? Area::rows(top, top) : Area::columns(left, left);
      const bool bold = pick(0, 2) == 0;
      for (OneSheet* s : {&one, &each}) {
        s->ws->set_border(at, index, spec);
        if (bold) s->ws->set_font(level, {.bold = true});
      }
    }
    Area area{pick(1, 8), pick(1, 6), 0, 0};
    area.bottom = area.top + pick(0, 5);
    area.right = area.left + pick(0, 4);
    if (int shape = pick(0, 9); shape == 0) area = Area::rows(area.top, area.bottom);
    else if (shape == 1) area = Area::columns(area.left, area.right);
    std::vector<host::BorderEdit> edits(static_cast<std::size_t>(pick(1, 8)));
    for (auto& e : edits)
      e = {static_cast<host::BorderIndex>(pick(5, 12)), {styles[pick(0, 3)], weights[pick(0, 2)], pick(1, 56)}};
    one.ws->set_borders(area, edits);
    for (const auto& e : edits) each.ws->set_border(area, e.index, e.border);
    ASSERT_EQ(dump(*one.book), dump(*each.book)) << "round " << round;
  }
}

TEST(Formats, AlignmentAndMerge) {
  OneSheet s({{"标题", "x"}});
  s.ws->set_alignment(Area{1, 1, 1, 3}, {.horizontal = host::HAlign::Center, .wrap_text = true,
                                          .orientation = 90, .merge_cells = true});
  EXPECT_EQ(s.ws->format(1, 2).alignment.horizontal, host::HAlign::Center);
  EXPECT_EQ(s.ws->format(1, 1).alignment.rotation, 90);
  EXPECT_EQ(s.ws->merges(), (std::vector<Area>{{1, 1, 1, 3}}));
  EXPECT_EQ(s.ws->value(1, 1), T("标题"));
  EXPECT_TRUE(s.ws->value(1, 2).is_empty());  // only the upper-left value stays
  s.ws->set_alignment(Area::cell(1, 1), {.merge_cells = false});
  EXPECT_TRUE(s.ws->merges().empty());
}

TEST(Formats, ShownText) {
  struct {
    double v;
    const char* fmt;
    const char* shown;
  } cases[] = {{88.456, "0.00", "88.46"}, {0.8567, "0.00%", "85.67%"}, {0.5, "0%", "50%"},
               {1234567.891, "#,##0.00", "1,234,567.89"}, {3, "G/通用格式", "3"}, {2.5, "General", "2.5"},
               {7, "0\"人\"", "7人"}, {-0.001, "0.00", "0.00"}};
  for (auto c : cases) EXPECT_EQ(detail::shown_text(N(c.v), c.fmt), c.shown) << c.fmt;
}

TEST(Formats, AutoFit) {
  // width = units * size / 11 + 0.75; CJK characters count two digit widths.
  OneSheet s({{"12345", "学生姓名", nullptr, 0.8567, "ab"}, {"1", "张三", nullptr, nullptr, "abcdefghij"}});
  s.ws->set_number_format(Area::cell(1, 4), "0.00%");
  s.ws->set_font(Area::cell(2, 5), {.size = 22});
  s.ws->set_column_width(3, 3, 40);
  s.ws->merge(Area{3, 1, 3, 2});
  s.ws->set_value(3, 1, T("a very long title in a merged range"));
  s.ws->autofit_columns(1, 5);
  EXPECT_DOUBLE_EQ(s.ws->column_width(1), 5.75);
  EXPECT_DOUBLE_EQ(s.ws->column_width(2), 8.75);
  EXPECT_DOUBLE_EQ(s.ws->column_width(3), s.ws->data().default_column_width);
  EXPECT_DOUBLE_EQ(s.ws->column_width(4), 6.75);   // "85.67%"
  EXPECT_DOUBLE_EQ(s.ws->column_width(5), 20.75);  // 10 chars at 22pt
}

TEST(Formats, WidthsHeightsBreaks) {
  OneSheet s({});
  s.ws->set_column_width(2, 3, 12.5);
  EXPECT_EQ(s.ws->column_width(3), 12.5);
  EXPECT_THROW(s.ws->set_column_width(1, 1, 300), host::HostError);
  s.ws->set_row_height(4, 4, 20);
  EXPECT_EQ(s.ws->row_height(4), 20);
  EXPECT_EQ(s.ws->row_height(5), s.ws->data().default_row_height);
  s.ws->add_page_break(10);
  s.ws->add_page_break(5);
  s.ws->add_page_break(10);
  EXPECT_EQ(s.ws->page_breaks(), (std::vector<int>{5, 10}));
  EXPECT_THROW(s.ws->add_page_break(1), host::HostError);
}

}  // namespace
}  // namespace lczs::memory::testing
