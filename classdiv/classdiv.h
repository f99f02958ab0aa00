// Class division (分班): the job's entry points and its module state.
#pragma once

#include <memory>

#include "shell/job.h"

namespace lczs::classdiv {

struct FbState;  // classdiv/fb_state.h

// One instance lives as long as the add-in is loaded and carries the job's
// module state between runs.
class ClassDivision {
 public:
  ClassDivision();
  ~ClassDivision();
  ClassDivision(const ClassDivision&) = delete;
  ClassDivision& operator=(const ClassDivision&) = delete;

  // 开始分班: one whole run on the active sheet of the active workbook.
  shell::JobOutcome fb_run(shell::JobEnv& env);
  // 帮助: shows the help form fb_help.
  void fb_show_help(shell::JobEnv& env);

  FbState& state();

 private:
  std::unique_ptr<FbState> state_;
};

}  // namespace lczs::classdiv
