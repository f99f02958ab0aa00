// Small input workbooks of each job, written as .xlsx for the command tests.
#pragma once

#include <string>
#include <vector>

#include "io/io.h"
#include "model/memory_host.h"

namespace lczs::testing {

// A class-division input sheet: 统一学号, 班级, 姓名, 性别, three subjects, 总分.
inline void write_classdiv_book_at(const std::string& path) {
  memory::WorkbookData book;
  std::vector<std::vector<memory::Lit>> rows = {{"统一学号", "班级", "姓名", "性别", "语文", "数学", "英语", "总分"}};
  for (int i = 1; i <= 12; ++i) {
    int a = 60 + (i * 7) % 40, b = 55 + (i * 11) % 45, c = 70 + (i * 5) % 30;
    rows.push_back({i, nullptr, "学生" + std::to_string(i), i % 2 ? "男" : "女", a, b, c, a + b + c});
  }
  memory::add_sheet(book, "名单", rows);
  memory::add_sheet(book, "说明", {{"这里没有数据"}});
  book.active_sheet = 0;
  io::write_xlsx(book, path);
}

// An exam input sheet: 班级, 学号, 姓名 and three subjects.
inline void write_exam_book_at(const std::string& path) {
  memory::WorkbookData book;
  std::vector<std::vector<memory::Lit>> rows = {{"班级", "学号", "姓名", "语文", "数学", "英语"}};
  for (int i = 1; i <= 10; ++i)
    rows.push_back({1 + i % 2, i, "学生" + std::to_string(i), 60 + i * 3, 90 - i * 2, 70 + (i * 7) % 20});
  memory::add_sheet(book, "成绩", rows);
  io::write_xlsx(book, path);
}

// A proficiency-test sheet: 班级, 学号, 姓名 and two subjects graded A to E.
inline void write_grades_book_at(const std::string& path) {
  memory::WorkbookData book;
  std::vector<std::vector<memory::Lit>> rows = {{"班级", "学号", "姓名", "语文", "数学"}};
  for (int i = 1; i <= 10; ++i)
    rows.push_back({1 + i % 3, i, "学生" + std::to_string(i), std::string(1, "ABCDE"[i % 5]),
                    std::string(1, "ABCDE"[(i * 3) % 5])});
  memory::add_sheet(book, "成绩", rows);
  book.active_sheet = 0;
  io::write_xlsx(book, path);
}

// Whether the book at `path` has a sheet named `name`.
inline bool has_sheet(const std::string& path, const std::string& name) {
  for (const auto& sheet : io::read_workbook(path).sheets)
    if (sheet->name == name) return true;
  return false;
}

}  // namespace lczs::testing
