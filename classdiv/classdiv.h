// Class division (分班): the job's entry points and its module state.
#pragma once

#include <memory>
#include <vector>

#include "jobs/command.h"
#include "jobs/job.h"

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
  jobs::JobOutcome fb_run(jobs::JobEnv& env);
  // 帮助: shows the help form fb_help.
  void fb_show_help(jobs::JobEnv& env);

  FbState& state();

  // Which search a run makes: the whole search, as the add-in and the
  // command run it; or the greedy exchanges alone until the time is up,
  // writing back the state they end in, which is what tests of those
  // exchanges pin down.
  enum class Search { Whole, GreedyOnly };
  void set_search(Search search) { search_ = search; }

  // 开始分班 and 帮助 as commands of `lczs`.
  static std::vector<jobs::Command> commands();

 private:
  std::unique_ptr<FbState> state_;
  Search search_ = Search::Whole;
};

}  // namespace lczs::classdiv
