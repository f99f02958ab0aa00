// What every job driver receives and reports.
#pragma once

#include "host/clock.h"
#include "host/host.h"
#include "ui/ui.h"

namespace lczs::shell {

// How a run ended. The Click handlers return nothing to the host; the
// outcome is kept for the `lczs` command's exit status and for tests.
enum class JobOutcome {
  Completed,   // the job reached its end message (or the form was closed)
  Stopped,     // declined, data refused, or a step failed; its message shown
  SaveFailed,  // the work was done but the workbook could not be saved
  Unavailable, // the job is not built into this add-in
};

// The services a job reaches: the host application kept at connection
// (host_app), the dialogs, and the timer.
struct JobEnv {
  host::Application& host_app;
  ui::Ui& ui;
  const host::Clock& clock;
};

}  // namespace lczs::shell
