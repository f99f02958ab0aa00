// The module-level state of the add-in's modules (addin, addMenulczs,
// CmdBarEvents, aboutgylc), one instance per loaded add-in, and the
// services it hands to the jobs.
#pragma once

#include <memory>
#include <optional>

#include "host/clock.h"
#include "host/commandbars.h"
#include "host/host.h"
#include "jobs/job.h"
#include "jobs/jobs.h"
#include "ui/form.h"
#include "ui/ui.h"

namespace lczs::shell {

class CmdBarEvents;

struct AddinState {
  AddinState(ui::Ui& ui_, const host::Clock& clock_, jobs::JobsFactory make_jobs_)
      : ui(&ui_), clock(&clock_), make_jobs(std::move(make_jobs_)) {}

  // Kept from OnConnection until the host shuts down.
  host::Application* host_app = nullptr;
  // "Worksheet Menu Bar" of host_app (install_menu).
  host::CommandBar* menu_bar = nullptr;
  // Receives the Click events of the five menu buttons (build_menu).
  std::shared_ptr<CmdBarEvents> menu_events;
  // The About form while it is loaded (aboutgylc).
  std::unique_ptr<ui::Form> gylc;

  ui::Ui* ui;
  const host::Clock* clock;
  jobs::JobsFactory make_jobs;
  // Values of the jobs' own options, as the loading program was given them
  // (the `lczs` command); empty in the Windows add-in.
  jobs::OptionValues job_options;
  // The three jobs' module state; created at connection.
  std::unique_ptr<jobs::Jobs> jobs;
  // How the last click's run ended; empty before the first click and when
  // an error escaped the run.
  std::optional<jobs::JobOutcome> last_outcome;
};

}  // namespace lczs::shell
