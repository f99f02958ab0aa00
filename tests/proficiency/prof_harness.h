// Shared set-up of the proficiency tests: a workbook in the in-memory host,
// scripted dialogs and helpers that read sheets back.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/clock.h"
#include "host/forwarding.h"
#include "model/memory_host.h"
#include "proficiency/hk_state.h"
#include "proficiency/hkfx.h"
#include "proficiency/proficiency.h"
#include "ui/scripted_ui.h"

namespace lczs::proficiency::testing {

using memory::Lit;
using Rows = std::vector<std::vector<Lit>>;

inline const char* kPath = "/data/会考成绩.xlsx";

struct Harness {
  memory::MemoryApplication app;
  std::shared_ptr<memory::MemoryStore> store = std::make_shared<memory::MemoryStore>();
  ui::ScriptedUi ui;
  host::FakeClock clock;
  Proficiency job;
  memory::MemoryWorkbook* wb = nullptr;

  explicit Harness(memory::WorkbookData book) {
    app.set_store(store);
    book.path = kPath;
    wb = &app.open(std::move(book));
  }
  jobs::JobOutcome run() { return run(app); }
  jobs::JobOutcome run(host::Application& through) {
    jobs::JobEnv env{through, ui, clock};
    return job.hkfx_run(env);
  }
  // The question and the format form, both answered to go on.
  Harness& expect_start() {
    ui.expect_message(std::string(kAskStart), ui::kOk).expect_form("hkgssz", [](ui::FormDriver& f) {
      f.click("hkfx_zx_bt");
    });
    return *this;
  }
  Harness& expect_done() {
    expect_start();
    ui.expect_message(std::string(kDone));
    return *this;
  }
  std::vector<std::string> sheet_names() const {
    std::vector<std::string> out;
    for (int i = 1; i <= wb->sheet_count(); ++i) out.push_back(wb->sheet(i).name());
    return out;
  }
  std::string dump() const { return memory::dump(wb->data()); }
};

// One sheet in a fresh workbook.
inline memory::WorkbookData book_of(const std::string& name, Rows rows) {
  memory::WorkbookData book;
  memory::add_sheet(book, name, std::move(rows));
  return book;
}

// Compares the block starting at A1 with `rows`, cell by cell: texts exactly,
// numbers to 1e-12, nullptr for an empty cell; and that nothing touches the
// block from outside.
inline void expect_block(const host::Worksheet& sheet, const Rows& rows) {
  SCOPED_TRACE("sheet " + sheet.name());
  const host::Area region = sheet.current_region(1, 1);
  ASSERT_EQ(region.row_count(), static_cast<int>(rows.size()));
  for (std::size_t r = 0; r < rows.size(); ++r) {
    ASSERT_EQ(region.col_count(), static_cast<int>(rows[r].size())) << "row " << r + 1;
    for (std::size_t c = 0; c < rows[r].size(); ++c) {
      const host::Value want = rows[r][c].v;
      const host::Value got = sheet.value(static_cast<int>(r) + 1, static_cast<int>(c) + 1);
      const std::string where = host::address(host::Area::cell(r + 1, c + 1), false);
      if (want.is_number() && got.is_number()) {
        EXPECT_NEAR(got.as_number(), want.as_number(), 1e-12) << where;
      } else {
        EXPECT_EQ(got, want) << where << " is " << got.display_text() << ", want " << want.display_text();
      }
    }
  }
}

inline const Rows kReportHeader = {
    {"班级", "学科", "参考人数", "A等人数", "B等人数", "C等人数", "D等人数", "E等人数", "AB率", "合格率"}};

inline Rows report_rows(Rows body) {
  Rows all = kReportHeader;
  for (auto& r : body) all.push_back(std::move(r));
  return all;
}

}  // namespace lczs::proficiency::testing
