// Exam analysis for a grade (普通考试成绩分析(年级)): entry point and state.
#pragma once

#include <memory>
#include <vector>

#include "jobs/command.h"
#include "jobs/job.h"

namespace lczs::examanalysis {

struct KsState;  // examanalysis/ks_state.h

class ExamAnalysis {
 public:
  ExamAnalysis();
  ~ExamAnalysis();
  ExamAnalysis(const ExamAnalysis&) = delete;
  ExamAnalysis& operator=(const ExamAnalysis&) = delete;

  // 普通考试成绩分析(年级): one whole run on the active sheet.
  jobs::JobOutcome ksfx_run(jobs::JobEnv& env);

  KsState& state();

  // 普通考试成绩分析(年级) as a command of `lczs`.
  static std::vector<jobs::Command> commands();

 private:
  std::unique_ptr<KsState> state_;
};

}  // namespace lczs::examanalysis
