#include "tests/classdiv/harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace lczs::classdiv::testing {

memory::WorkbookData make_book(const std::vector<std::string>& subjects,
                               const std::vector<Student>& students, const std::string& sheet) {
  using memory::Lit;
  std::vector<std::vector<Lit>> rows;
  std::vector<Lit> head = {"统一学号", "班级", "姓名", "性别"};
  for (const auto& s : subjects) head.emplace_back(s);
  head.emplace_back("总分");
  rows.push_back(head);
  int no = 1;
  for (const Student& st : students) {
    std::vector<Lit> row = {no++, nullptr, st.name, st.sex};
    double total = 0;
    for (double x : st.scores) {
      row.emplace_back(x);
      total += x;
    }
    row.emplace_back(total);
    rows.push_back(row);
  }
  memory::WorkbookData book;
  memory::add_sheet(book, sheet, rows);
  book.path = "/books/分班.xlsx";
  return book;
}

void script_start(ui::ScriptedUi& ui, const Settings& s) {
  ui.expect_message(kConfirm, ui::kOk)
      .expect_form("gs", [](ui::FormDriver& f) { f.click("zx_bt"); })
      .expect_form("c_fbsz", [s](ui::FormDriver& f) {
        f.set_text("c_fbs_txtbox", s.classes);
        if (!s.minutes.empty() || !s.diff.empty()) {
          f.choose("OptionButton2");
          f.set_text("c_fbsj_txtbox", s.minutes);
          f.set_text("c_gkcz_txtbox", s.diff);
        }
        f.click("CommandButton1");
      });
}

Harness::Harness(memory::WorkbookData book, double clock_step) : clock(clock_step, 1000.0) {
  app.set_store(store);
  wb = &app.open(std::move(book));
}

jobs::JobOutcome Harness::run() { return run_on(app); }

jobs::JobOutcome Harness::run_on(host::Application& host_app) {
  jobs::JobEnv env{host_app, ui, clock, options};
  job.set_search(search);
  try {
    return job.fb_run(env);
  } catch (const ui::ScriptViolation& v) {
    ADD_FAILURE() << "script violation: " << v.what << "\n" << ui.report();
    return jobs::JobOutcome::Unavailable;
  }
}

std::string Harness::cell(int row, int col, int sheet_index) {
  return sheet(sheet_index).value(row, col).display_text();
}

std::vector<Student> random_students(unsigned seed, int count, int subjects, int boys,
                                     bool two_decimals) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> base(300, 1500);
  std::vector<Student> out;
  for (int n = 0; n < count; ++n) {
    Student s;
    s.name = "学生" + std::to_string(n + 1);
    s.sex = n < boys ? "男" : "女";
    for (int j = 0; j < subjects; ++j) {
      double x = base(rng) / 10.0;
      if (two_decimals) x += (rng() % 4) * 0.025;
      s.scores.push_back(x);
    }
    out.push_back(s);
  }
  // Interleave the genders so the sort has work to do.
  std::shuffle(out.begin(), out.end(), rng);
  return out;
}

}  // namespace lczs::classdiv::testing
