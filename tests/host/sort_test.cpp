// Range.Sort: type order, blanks, stability, pinyin, header guess, and what
// moves with the rows.
#include "helpers.h"

#include "model/collation.h"

namespace lczs::memory::testing {
namespace {

using host::SortHeader;
using host::SortKey;
using host::SortOrder;
using host::SortSpec;

SortSpec by(int col, SortOrder order = SortOrder::Ascending, SortHeader header = SortHeader::No) {
  return SortSpec{.key1 = {col, order}, .header = header};
}

struct OrderCase {
  const char* name;
  std::vector<Lit> keys;
  SortOrder order;
  Strings expected;
};

TEST(Sort, TypeOrderAndBlanks) {
  const OrderCase cases[] = {
      {"numbers then text then booleans then errors",
       {"b", true, 2, Value::error(host::ErrorCode::NA), 1, "a", false},
       SortOrder::Ascending,
       {"1", "2", "a", "b", "FALSE", "TRUE", "#N/A"}},
      {"descending reverses the type order",
       {"b", true, 2, Value::error(host::ErrorCode::NA), 1, "a", false},
       SortOrder::Descending,
       {"#N/A", "TRUE", "FALSE", "b", "a", "2", "1"}},
      {"blanks last ascending", {3, nullptr, 1, nullptr, 2}, SortOrder::Ascending, {"1", "2", "3", "", ""}},
      {"blanks last descending", {3, nullptr, 1, nullptr, 2}, SortOrder::Descending, {"3", "2", "1", "", ""}},
      {"text before numbers descending (header stays first)",
       {"班级", 301, 303, 302, nullptr},
       SortOrder::Descending,
       {"班级", "303", "302", "301", ""}},
      {"pinyin: 男 before 女", {"女", "男", "女", "男"}, SortOrder::Ascending, {"男", "男", "女", "女"}},
      {"pinyin surnames", {"张三", "李四", "王五", "安娜"}, SortOrder::Ascending, {"安娜", "李四", "王五", "张三"}},
      {"negative and fractional numbers", {2.5, -1, 0, 10, -3.5}, SortOrder::Ascending, {"-3.5", "-1", "0", "2.5", "10"}},
  };
  for (const auto& tc : cases) {
    std::vector<std::vector<Lit>> rows;
    for (const Lit& k : tc.keys) rows.push_back({k});
    OneSheet s(rows);
    int n = static_cast<int>(tc.keys.size());
    s.ws->sort(Area{1, 1, n, 1}, by(1, tc.order));
    EXPECT_EQ(column(*s.ws, 1, 1, n), tc.expected) << tc.name;
  }
}

TEST(Sort, StableAndCaseInsensitive) {
  // Equal keys (including ABC/abc, equal at secondary strength) keep order.
  OneSheet s({{"abc", 1}, {"x", 2}, {"ABC", 3}, {"Abc", 4}, {"x", 5}, {"abc", 6}});
  s.ws->sort(Area{1, 1, 6, 2}, by(1));
  EXPECT_EQ(column(*s.ws, 2, 1, 6), (Strings{"1", "3", "4", "6", "2", "5"}));
  s.ws->sort(Area{1, 1, 6, 2}, by(1, SortOrder::Descending));
  EXPECT_EQ(column(*s.ws, 2, 1, 6), (Strings{"2", "5", "1", "3", "4", "6"}));
}

TEST(Sort, ThreeKeys) {
  // class asc, gender asc (pinyin), total desc
  OneSheet s({{"班级", "性别", "总分", "id"},
              {2, "女", 80, 1},
              {1, "女", 90, 2},
              {1, "男", 70, 3},
              {2, "男", 85, 4},
              {1, "男", 95, 5},
              {1, "女", 90, 6}});
  SortSpec spec{.key1 = {1, SortOrder::Ascending},
                .key2 = SortKey{2, SortOrder::Ascending},
                .key3 = SortKey{3, SortOrder::Descending},
                .header = SortHeader::Guess};
  s.ws->sort(s.ws->current_region(1, 1), spec);
  EXPECT_EQ(column(*s.ws, 4, 1, 7), (Strings{"id", "5", "3", "2", "6", "4", "1"}));
}

struct HeaderCase {
  const char* name;
  std::vector<std::vector<Lit>> rows;
  int key;
  SortOrder order;  // chosen so that row 1 would move if it were data
  bool header;
};

TEST(Sort, HeaderGuess) {
  const HeaderCase cases[] = {
      {"class division table",
       {{"统一学号", "班级", "姓名", "性别", "语文", "总分"}, {1, nullptr, "张", "男", 90, 90}},
       1, SortOrder::Ascending, true},
      {"text class names over numbers elsewhere", {{"班级", "学号", "姓名"}, {"高一(1)班", 3, "李"}},
       1, SortOrder::Descending, true},
      {"record number key", {{"姓名", "记录号"}, {"张", 2}}, 2, SortOrder::Ascending, true},
      {"numeric first row", {{1, "a"}, {2, "b"}}, 1, SortOrder::Descending, false},
      {"all text without format difference", {{"a", "x"}, {"b", "y"}}, 1, SortOrder::Descending, false},
      {"first row with a number is data", {{"班级", 5}, {"a", 1}}, 2, SortOrder::Ascending, false},
  };
  for (const auto& tc : cases) {
    OneSheet s(tc.rows);
    Area a{1, 1, static_cast<int>(tc.rows.size()), static_cast<int>(tc.rows[0].size())};
    std::string before = s.ws->value(1, tc.key).display_text();
    s.ws->sort(a, by(tc.key, tc.order, SortHeader::Guess));
    EXPECT_EQ(s.ws->value(1, tc.key).display_text() == before, tc.header) << tc.name;
  }
}

TEST(Sort, HeaderGuessByBoldFirstRow) {
  OneSheet s({{"a", "x"}, {"b", "y"}, {"c", "z"}});
  s.ws->set_font(Area{1, 1, 1, 2}, {.bold = true});
  s.ws->sort(Area{1, 1, 3, 2}, by(1, SortOrder::Descending, SortHeader::Guess));
  EXPECT_EQ(column(*s.ws, 1, 1, 3), (Strings{"a", "c", "b"}));
}

TEST(Sort, MovesFormatsAndFormulasOnlyInsideArea) {
  OneSheet s({{3, "c", "outside3"}, {1, "a", "outside1"}, {2, "b", "outside2"}});
  s.ws->set_formula(Area{1, 4, 3, 4}, "=A1*10");  // D1..D3, relative
  s.ws->set_font(Area::cell(1, 2), {.bold = true});
  s.ws->sort(Area{1, 1, 3, 2}, by(1));
  EXPECT_EQ(column(*s.ws, 2, 1, 3), (Strings{"a", "b", "c"}));
  EXPECT_EQ(column(*s.ws, 3, 1, 3), (Strings{"outside3", "outside1", "outside2"}));
  EXPECT_TRUE(s.ws->format(3, 2).font.bold);
  EXPECT_FALSE(s.ws->format(1, 2).font.bold);
  // D is outside the sorted area: its formulas read the new order in place.
  EXPECT_EQ(column(*s.ws, 4, 1, 3), (Strings{"10", "20", "30"}));
}

TEST(Sort, FormulaCellsTranslateAsIfCopied) {
  OneSheet s({{2, "=A1*2"}, {1, "=A2*2"}});
  s.ws->sort(Area{1, 1, 2, 2}, by(1));
  EXPECT_EQ(s.ws->formula(1, 2), "=A1*2");
  EXPECT_EQ(s.ws->formula(2, 2), "=A2*2");
  EXPECT_EQ(column(*s.ws, 2, 1, 2), (Strings{"2", "4"}));
}

TEST(Sort, SortsByComputedValuesAndRejectsKeysOutside) {
  OneSheet s({{"=3"}, {"=1"}, {"=2"}});
  s.ws->sort(Area{1, 1, 3, 1}, by(1));
  EXPECT_EQ(column(*s.ws, 1, 1, 3), (Strings{"1", "2", "3"}));
  EXPECT_THROW(s.ws->sort(Area{1, 1, 3, 1}, by(2)), host::HostError);
}

TEST(Sort, MixedRowsKeepCellsOutsideTheArea) {
  OneSheet s({{"x", 2, "keep1"}, {"y", 1, "keep2"}});
  s.ws->sort(Area{1, 1, 2, 2}, by(2));
  EXPECT_EQ(row_texts(*s.ws, 1, 1, 3), (Strings{"y", "1", "keep1"}));
  EXPECT_EQ(row_texts(*s.ws, 2, 1, 3), (Strings{"x", "2", "keep2"}));
  EXPECT_EQ(s.ws->data().cell_count(), 6u);
}

TEST(Collation, PinyinSecondaryStrength) {
  auto c = make_pinyin_collator();
  EXPECT_LT(c->compare("男", "女"), 0);
  EXPECT_EQ(c->compare("abc", "ABC"), 0);
  EXPECT_LT(c->compare("a", "b"), 0);
  EXPECT_LT(c->compare("李", "张"), 0);
  EXPECT_EQ(c->sort_key("abc"), c->sort_key("ABC"));
  EXPECT_LT(c->sort_key("男"), c->sort_key("女"));
}

}  // namespace
}  // namespace lczs::memory::testing
