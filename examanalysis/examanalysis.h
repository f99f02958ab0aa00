// Exam analysis for a grade (普通考试成绩分析(年级)): entry point and state.
#pragma once

#include <memory>

#include "shell/job.h"

namespace lczs::examanalysis {

struct KsState;  // examanalysis/ks_state.h

class ExamAnalysis {
 public:
  ExamAnalysis();
  ~ExamAnalysis();
  ExamAnalysis(const ExamAnalysis&) = delete;
  ExamAnalysis& operator=(const ExamAnalysis&) = delete;

  // 普通考试成绩分析(年级): one whole run on the active sheet.
  shell::JobOutcome ksfx_run(shell::JobEnv& env);

  KsState& state();

 private:
  std::unique_ptr<KsState> state_;
};

}  // namespace lczs::examanalysis
