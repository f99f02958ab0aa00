#include "shell/CmdBarEvents.h"

#include "shell/aboutgylc.h"

namespace lczs::shell {

void CmdBarEvents::set(Slot slot, host::CommandBarControl& button) {
  // Assigning a WithEvents variable drops the object it held before. An
  // application may hand out the same button as a new object on every
  // access, so the earlier one is unbound even when it looks different:
  // otherwise a menu found again on reconnection would carry two bindings
  // and one click would run its job twice.
  host::CommandBarControl*& held = buttons_[index(slot)];
  if (held && held != &button) {
    try {
      held->bind_click({});
    } catch (const std::exception&) {
      // Already gone with the host's controls: nothing left to unbind.
    }
  }
  held = &button;
  std::weak_ptr<CmdBarEvents> self = weak_from_this();
  button.bind_click([self, slot](host::CommandBarControl& ctrl, bool& cancel_default) {
    // Locked for the whole call: the run may not release its receiver.
    if (auto events = self.lock()) events->dispatch(slot, ctrl, cancel_default);
  });
}

void CmdBarEvents::release() {
  for (auto*& button : buttons_) {
    if (!button) continue;
    try {
      button->bind_click({});
    } catch (const std::exception&) {
      // The host may already have dropped the button; nothing is left to unbind.
    }
    button = nullptr;
  }
}

void CmdBarEvents::dispatch(Slot slot, host::CommandBarControl& ctrl, bool& cancel_default) {
  switch (slot) {
    case Slot::hkfx: return CtlBtn_hkfx_Click(ctrl, cancel_default);
    case Slot::ptfx: return CtlBtn_ptfx_Click(ctrl, cancel_default);
    case Slot::ksfb: return CtlBtn_ksfb_Click(ctrl, cancel_default);
    case Slot::fbhelp: return CtlBtn_fbhelp_Click(ctrl, cancel_default);
    case Slot::aylczs: return CtlBtn_aylczs_Click(ctrl, cancel_default);
  }
}

namespace {

// Runs one job with the services of the loaded add-in and keeps its outcome.
// Errors are not trapped here: they end the event call.
template <class Run>
void run_job(AddinState& state, Run run) {
  state.last_outcome.reset();
  if (!state.host_app) return;  // not connected: nothing to work on
  if (!state.jobs) state.jobs = state.make_jobs();
  jobs::JobEnv env{*state.host_app, *state.ui, *state.clock, &state.job_options};
  jobs::JobOutcome outcome = run(*state.jobs, env);
  if (outcome == jobs::JobOutcome::Unavailable)
    state.ui->message_box(kUnavailable, ui::Buttons::Ok, ui::kTitle);
  state.last_outcome = outcome;
}

}  // namespace

void CmdBarEvents::CtlBtn_hkfx_Click(host::CommandBarControl&, bool&) {
  run_job(*state_, [](jobs::Jobs& jobs, jobs::JobEnv& env) { return jobs.hkfx_run(env); });
}

void CmdBarEvents::CtlBtn_ptfx_Click(host::CommandBarControl&, bool&) {
  run_job(*state_, [](jobs::Jobs& jobs, jobs::JobEnv& env) { return jobs.ksfx_run(env); });
}

void CmdBarEvents::CtlBtn_ksfb_Click(host::CommandBarControl&, bool&) {
  run_job(*state_, [](jobs::Jobs& jobs, jobs::JobEnv& env) { return jobs.fb_run(env); });
}

void CmdBarEvents::CtlBtn_fbhelp_Click(host::CommandBarControl&, bool&) {
  run_job(*state_, [](jobs::Jobs& jobs, jobs::JobEnv& env) { return jobs.fb_show_help(env); });
}

void CmdBarEvents::CtlBtn_aylczs_Click(host::CommandBarControl&, bool&) {
  state_->last_outcome.reset();
  show_about(*state_);
  state_->last_outcome = jobs::JobOutcome::Completed;
}

}  // namespace lczs::shell
