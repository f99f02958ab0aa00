// The portable collator must order what school workbooks hold exactly as the
// ICU collator of the Linux build does.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "model/collation.h"
#include "model/collation_table.h"

namespace lczs::memory {
namespace {

int sign(int x) { return (x > 0) - (x < 0); }

const std::vector<std::string>& samples() {
  static const std::vector<std::string> s = {
      "男", "女", "张三", "李四", "王五", "赵六", "钱七", "孙八", "周九", "吴十", "郑一", "欧阳修",
      "司马光", "诸葛亮", "阿", "啊", "爱", "安", "白", "班级", "学号", "姓名", "语文", "数学",
      "英语", "物理", "化学", "生物", "政治", "历史", "地理", "总分", "记录号", "高一(1)班",
      "高一(2)班", "高一(10)班", "高二(1)班", "初三", "abc", "ABC", "Abc", "abd", "a", "b", "Z",
      "101", "102", "1", "10", "2", "９", "ＡＢＣ", "（１）", "、", "，", "。", "“", "-", " ",
      "张三丰", "张", "长", "重庆", "重", "重要", "沈阳", "沈", "藏文", "藏", "宝藏", "崇", "虫", "银行", "行走", "乐", "音乐", "", "A+", "缺考", "F", "E", "e",
  };
  return s;
}

TEST(TableCollator, OrdersLikeIcuOnSchoolTexts) {
  auto icu = make_pinyin_collator();
  auto table = make_table_collator();
  for (const auto& a : samples())
    for (const auto& b : samples())
      EXPECT_EQ(sign(table->compare(a, b)), sign(icu->compare(a, b))) << a << " vs " << b;
}

TEST(TableCollator, SortKeysAgreeWithCompare) {
  auto table = make_table_collator();
  for (const auto& a : samples())
    for (const auto& b : samples()) {
      std::string ka = table->sort_key(a), kb = table->sort_key(b);
      int by_key = ka == kb ? 0 : (ka < kb ? -1 : 1);
      ASSERT_EQ(by_key, sign(table->compare(a, b))) << a << " vs " << b;
    }
}

TEST(TableCollator, PinyinBasics) {
  auto table = make_table_collator();
  EXPECT_LT(table->compare("男", "女"), 0);
  EXPECT_EQ(table->compare("abc", "ABC"), 0);
  std::vector<std::string> names = {"王五", "李四", "张三", "赵六"};
  std::sort(names.begin(), names.end(),
            [&](const std::string& x, const std::string& y) { return table->compare(x, y) < 0; });
  EXPECT_EQ(names, (std::vector<std::string>{"李四", "王五", "张三", "赵六"}));
}

}  // namespace
}  // namespace lczs::memory
