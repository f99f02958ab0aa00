// What every job driver receives and reports. The jobs and the shell that
// calls them both include this; it knows neither of them.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "host/clock.h"
#include "host/host.h"
#include "ui/ui.h"

namespace lczs::jobs {

// How a run ended. The Click handlers return nothing to the host; the
// outcome is kept for the `lczs` command's exit status and for tests.
enum class JobOutcome {
  Completed,   // the job reached its end message (or the form was closed)
  Stopped,     // declined, data refused, or a step failed; its message shown
  SaveFailed,  // the work was done but the workbook could not be saved
  Unavailable, // the job is not built into this add-in
};

// Option name -> raw text as given ("--top" -> "50,100").
using OptionValues = std::map<std::string, std::string>;

// The services a job reaches: the host application kept at connection
// (host_app), the dialogs, and the timer.
struct JobEnv {
  host::Application& host_app;
  ui::Ui& ui;
  const host::Clock& clock;
  // The values of the job's own options that fill no control (see
  // jobs/command.h); the Windows add-in has none.
  const OptionValues* options = nullptr;

  // The text given for `name` ("--seed"); nullopt when it was not given.
  std::optional<std::string> option(const std::string& name) const {
    if (!options) return std::nullopt;
    auto it = options->find(name);
    if (it == options->end()) return std::nullopt;
    return it->second;
  }
};

}  // namespace lczs::jobs
