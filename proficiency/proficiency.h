// Proficiency-test analysis (会考成绩分析): the job's entry point and state.
#pragma once

#include <memory>

#include "shell/job.h"

namespace lczs::proficiency {

struct HkState;  // proficiency/hk_state.h

class Proficiency {
 public:
  Proficiency();
  ~Proficiency();
  Proficiency(const Proficiency&) = delete;
  Proficiency& operator=(const Proficiency&) = delete;

  // 会考成绩分析: one whole run on the active sheet of the active workbook.
  shell::JobOutcome hkfx_run(shell::JobEnv& env);

  HkState& state();

 private:
  std::unique_ptr<HkState> state_;
};

}  // namespace lczs::proficiency
