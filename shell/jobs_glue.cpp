// Compiled into each final program, with LCZS_HAVE_<JOB> defined for the job
// libraries it links (see lczs_link_jobs).
#include "shell/jobs.h"

#ifdef LCZS_HAVE_CLASSDIV
#include "classdiv/classdiv.h"
#endif
#ifdef LCZS_HAVE_PROFICIENCY
#include "proficiency/proficiency.h"
#endif
#ifdef LCZS_HAVE_EXAM
#include "examanalysis/examanalysis.h"
#endif

namespace lczs::shell {
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

}  // namespace lczs::shell
