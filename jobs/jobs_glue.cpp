// Compiled into each final program, with LCZS_HAVE_<JOB> defined for the job
// libraries it links (see lczs_link_jobs).
#include "jobs/jobs.h"

#ifdef LCZS_HAVE_CLASSDIV
#include "classdiv/classdiv.h"
#endif
#ifdef LCZS_HAVE_PROFICIENCY
#include "proficiency/proficiency.h"
#endif
#ifdef LCZS_HAVE_EXAM
#include "examanalysis/examanalysis.h"
#endif

namespace lczs::jobs {
namespace {

class LinkedJobs : public Jobs {
 public:
  JobOutcome fb_run([[maybe_unused]] JobEnv& env) override {
#ifdef LCZS_HAVE_CLASSDIV
    return fb_.fb_run(env);
#else
    return JobOutcome::Unavailable;
#endif
  }
  JobOutcome fb_show_help([[maybe_unused]] JobEnv& env) override {
#ifdef LCZS_HAVE_CLASSDIV
    fb_.fb_show_help(env);
    return JobOutcome::Completed;
#else
    return JobOutcome::Unavailable;
#endif
  }
  JobOutcome hkfx_run([[maybe_unused]] JobEnv& env) override {
#ifdef LCZS_HAVE_PROFICIENCY
    return hk_.hkfx_run(env);
#else
    return JobOutcome::Unavailable;
#endif
  }
  JobOutcome ksfx_run([[maybe_unused]] JobEnv& env) override {
#ifdef LCZS_HAVE_EXAM
    return ks_.ksfx_run(env);
#else
    return JobOutcome::Unavailable;
#endif
  }

 private:
#ifdef LCZS_HAVE_CLASSDIV
  classdiv::ClassDivision fb_;
#endif
#ifdef LCZS_HAVE_PROFICIENCY
  proficiency::Proficiency hk_;
#endif
#ifdef LCZS_HAVE_EXAM
  examanalysis::ExamAnalysis ks_;
#endif
};

}  // namespace

std::unique_ptr<Jobs> make_jobs() { return std::make_unique<LinkedJobs>(); }

const std::vector<Command>& job_commands() {
  static const std::vector<Command> all = [] {
    std::vector<Command> out;
    auto add = [&out](std::vector<Command> more) {
      for (auto& c : more) out.push_back(std::move(c));
    };
#ifdef LCZS_HAVE_CLASSDIV
    add(classdiv::ClassDivision::commands());
#endif
#ifdef LCZS_HAVE_EXAM
    add(examanalysis::ExamAnalysis::commands());
#endif
#ifdef LCZS_HAVE_PROFICIENCY
    add(proficiency::Proficiency::commands());
#endif
    (void)add;
    return out;
  }();
  return all;
}

}  // namespace lczs::jobs
