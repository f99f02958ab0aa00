// Workbooks the Wine tests share.
#pragma once

#include "model/memory_host.h"

namespace lczs::wintest {

// Sheet "成绩": 统一学号 班级 姓名 性别 语文 数学 英语 总分, one row per student
// with scores from a fixed sequence; a third of them girls.
memory::WorkbookData class_book(int students);

// Sheet "成绩": 班级 学号 姓名 and four subjects for 45 students in three
// classes; with_text_score puts "缺" into E10.
// With `with_settings`, a 分析设置 sheet asks for the figures and charts.
// `reformed`: 物理 an elective some leave empty, 英语 graded by 五级, two
// score lines and an earlier exam, so that one report has all three.
memory::WorkbookData exam_book(bool with_text_score, bool with_settings = false, bool reformed = false);

}  // namespace lczs::wintest
