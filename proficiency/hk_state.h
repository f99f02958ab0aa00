// The proficiency-test job's module state: what one run of 会考成绩分析
// carries from step to step.
#pragma once

#include "host/host.h"

namespace lczs::proficiency {

struct HkState {
  // The workbook of the run and the sheet the current step works on: the
  // input sheet at the start, then "年级实考", at the end "会考成绩分析".
  host::Workbook* work_book = nullptr;
  host::Worksheet* work_sheet = nullptr;

  bool hk_go_on = false;       // whether the run goes on
  int hk_student_count = 0;    // N: student rows of the input block
  int hk_subject_count = 0;    // S: subject columns (block width - 3)
  int hk_present_count = 0;    // P: students left on "年级实考"
  bool hk_has_absent = false;  // some grade cell of some student was empty

  // Sheets the run made, found again by the later steps.
  host::Worksheet* present_sheet = nullptr;  // "年级实考"
  host::Worksheet* absent_sheet = nullptr;   // "年级缺考"
  host::Worksheet* report_sheet = nullptr;   // "会考成绩分析"

  // Last row of the statistics table below the students on "年级实考".
  int table_last_row = 0;

  // Set when the input was refused, so the driver knows why it stops.
  bool refused = false;

  void reset() { *this = HkState{}; }
};

}  // namespace lczs::proficiency
