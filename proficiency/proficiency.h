// Proficiency-test analysis (会考成绩分析): the job's entry point and state.
#pragma once

#include <memory>
#include <vector>

#include "jobs/command.h"
#include "jobs/job.h"

namespace lczs::proficiency {

struct HkState;  // proficiency/hk_state.h

class Proficiency {
 public:
  Proficiency();
  ~Proficiency();
  Proficiency(const Proficiency&) = delete;
  Proficiency& operator=(const Proficiency&) = delete;

  // 会考成绩分析: one whole run on the active sheet of the active workbook.
  jobs::JobOutcome hkfx_run(jobs::JobEnv& env);

  HkState& state();

  // 会考成绩分析 as a command of `lczs`.
  static std::vector<jobs::Command> commands();

 private:
  std::unique_ptr<HkState> state_;
};

}  // namespace lczs::proficiency
