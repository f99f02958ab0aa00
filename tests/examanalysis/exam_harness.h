// Shared set-up of the exam-analysis tests: a workbook in the in-memory host,
// the scripted dialogs answered as a user would, and helpers that read the
// result back.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "examanalysis/examanalysis.h"
#include "examanalysis/ks_state.h"
#include "examanalysis/ksfx.h"
#include "host/clock.h"
#include "host/forwarding.h"
#include "model/memory_host.h"
#include "ui/scripted_ui.h"

namespace lczs::examanalysis::testing {

using memory::Lit;
using Rows = std::vector<std::vector<Lit>>;

inline const char* kBookPath = "/data/成绩.xlsx";

// What the user types into ksfxForm.
struct Options {
  std::string cohort = "2001";
  std::string grade = "G1";
  std::string name = "期中成绩分析";
  std::array<std::string, 3> top{};
  std::array<std::string, 3> bottom{};
};

inline void fill_options(ui::FormDriver& f, const Options& o) {
  f.set_text("txtstdjie", o.cohort).set_text("txtnj", o.grade).set_text("txtfilename", o.name);
  const char* tops[] = {"nq1", "nq2", "nq3"};
  const char* bottoms[] = {"nh1", "nh2", "nh3"};
  for (int i = 0; i < 3; ++i) {
    if (!o.top[i].empty()) f.set_text(tops[i], o.top[i]);
    if (!o.bottom[i].empty()) f.set_text(bottoms[i], o.bottom[i]);
  }
}

struct Harness {
  memory::MemoryApplication app;
  std::shared_ptr<memory::MemoryStore> store = std::make_shared<memory::MemoryStore>();
  ui::ScriptedUi ui;
  host::FakeClock clock;
  ExamAnalysis job;
  memory::MemoryWorkbook* wb = nullptr;

  explicit Harness(memory::WorkbookData book) {
    app.set_store(store);
    app.set_today(2026, 12, 7);
    open(std::move(book));
  }
  void open(memory::WorkbookData book) {
    book.path = kBookPath;
    wb = &app.open(std::move(book));
  }
  jobs::JobOutcome run() { return run(app); }
  jobs::JobOutcome run(host::Application& through) {
    jobs::JobEnv env{through, ui, clock};
    try {
      return job.ksfx_run(env);
    } catch (const ui::ScriptViolation& v) {
      ADD_FAILURE() << v.what << "\n" << ui.report();
      return jobs::JobOutcome::Unavailable;
    }
  }
  // The question and the format form, both answered to go on.
  Harness& expect_start() {
    ui.expect_message(kMsgAsk, ui::kOk).expect_form("ksgssz", [](ui::FormDriver& f) {
      f.click("ksfx_zx_bt");
    });
    return *this;
  }
  Harness& expect_options(Options o) {
    ui.expect_form("ksfxForm", [o](ui::FormDriver& f) {
      fill_options(f, o);
      f.click("btnOk");
    });
    return *this;
  }
  Harness& expect_done(Options o = {}) {
    expect_start().expect_options(o);
    ui.expect_message(kMsgDone);
    return *this;
  }
  std::vector<std::string> sheet_names() const {
    std::vector<std::string> out;
    for (int i = 1; i <= wb->sheet_count(); ++i) out.push_back(wb->sheet(i).name());
    return out;
  }
  std::string dump() const { return memory::dump(wb->data()); }
  memory::MemoryWorksheet& sheet(const std::string& name) { return wb->mem_sheet(name); }
};

inline memory::WorkbookData book_of(const std::string& name, Rows rows) {
  memory::WorkbookData book;
  memory::add_sheet(book, name, std::move(rows));
  return book;
}

// Compares the cells from (top, 1) on with `rows`, cell by cell: texts
// exactly, numbers to 1e-9, nullptr for an empty cell. Every listed row must
// be as wide as given and the cell right of it empty.
inline void expect_rows(const host::Worksheet& sheet, int top, const Rows& rows) {
  SCOPED_TRACE("sheet " + sheet.name());
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const int row = top + static_cast<int>(r);
    for (std::size_t c = 0; c <= rows[r].size(); ++c) {
      const int col = static_cast<int>(c) + 1;
      const host::Value want = c < rows[r].size() ? rows[r][c].v : host::Value();
      const host::Value got = sheet.value(row, col);
      const std::string where = host::address(host::Area::cell(row, col), false);
      if (want.is_number() && got.is_number()) {
        EXPECT_NEAR(got.as_number(), want.as_number(), 1e-9) << where;
      } else {
        EXPECT_EQ(got, want) << where << " is " << got.display_text() << ", want "
                             << want.display_text();
      }
    }
  }
}

// The block at A1 is exactly `rows` (and nothing below it).
inline void expect_block(const host::Worksheet& sheet, const Rows& rows) {
  EXPECT_EQ(sheet.current_region(1, 1).row_count(), static_cast<int>(rows.size()))
      << "sheet " << sheet.name();
  expect_rows(sheet, 1, rows);
}

// Runs the job on `book` as a user who goes on, and checks that it is
// refused with one box holding every part of `parts`, then the exit message,
// and that nothing changed or was written.
inline void expect_refused(memory::WorkbookData book, const std::vector<std::string>& parts) {
  Harness h(std::move(book));
  const std::string before = h.dump();
  h.expect_start().expect_options({});
  h.ui.expect_message_containing(parts.front());
  h.ui.expect_message(kMsgExit);
  EXPECT_EQ(h.run(), jobs::JobOutcome::Stopped);
  EXPECT_TRUE(h.ui.finished()) << h.ui.report();
  const std::string& text = h.ui.shown().at(h.ui.shown().size() - 2).text;
  for (const auto& part : parts) EXPECT_NE(text.find(part), std::string::npos) << text;
  EXPECT_EQ(h.dump(), before);
  EXPECT_TRUE(h.store->files.empty());
}

// A workbook dump without its first line (the workbook's path).
inline std::string without_first_line(const std::string& dump) {
  return dump.substr(std::min(dump.size(), dump.find('\n') + 1));
}

// A grade of n students in `classes` classes (101, 102, ...) with
// `subjects` scores each from a small range, so that totals tie often.
inline Rows generated_grade(int n, int classes, int subjects, unsigned seed = 7) {
  Rows rows(1);
  rows[0] = {"班级", "学号", "姓名"};
  for (int s = 0; s < subjects; ++s) rows[0].push_back("科" + std::to_string(s + 1));
  unsigned x = seed;
  for (int i = 0; i < n; ++i) {
    std::vector<Lit> row = {101 + i % classes, i / classes + 1, "生" + std::to_string(i + 1)};
    for (int s = 0; s < subjects; ++s) {
      x = x * 1103515245u + 12345u;
      row.push_back(static_cast<int>(60 + (x >> 16) % 8 * 5));
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace lczs::examanalysis::testing
