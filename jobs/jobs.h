// The three jobs as the shell reaches them: their module state, one set per
// loaded add-in, their entry points, and the commands they answer.
//
// The shell is built before the jobs, and a build may leave a job out; the
// shell therefore sees the jobs only through this interface. make_jobs()
// and job_commands() live in jobs/jobs_glue.cpp, which the final program
// (the `lczs` command, the Windows add-in, the tests) compiles with the job
// libraries it links (lczs_link_jobs in jobs/CMakeLists.txt).
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "jobs/command.h"
#include "jobs/job.h"

namespace lczs::jobs {

class Jobs {
 public:
  virtual ~Jobs() = default;
  // 开始分班
  virtual JobOutcome fb_run(JobEnv& env) = 0;
  // 帮助 (the class-division help form); Completed once it is closed
  virtual JobOutcome fb_show_help(JobEnv& env) = 0;
  // 会考成绩分析
  virtual JobOutcome hkfx_run(JobEnv& env) = 0;
  // 普通考试成绩分析(年级)
  virtual JobOutcome ksfx_run(JobEnv& env) = 0;
};

using JobsFactory = std::function<std::unique_ptr<Jobs>()>;

// The jobs this program was linked with; a job left out answers Unavailable.
std::unique_ptr<Jobs> make_jobs();

// The commands of the jobs this program was linked with, in menu order.
const std::vector<Command>& job_commands();

}  // namespace lczs::jobs
