#include "shell/addin.h"

#include "shell/CmdBarEvents.h"
#include "shell/addMenulczs.h"

namespace lczs::shell {

addin::addin(ui::Ui& ui, const host::Clock& clock, jobs::JobsFactory make_jobs)
    : state_(std::make_unique<AddinState>(ui, clock, std::move(make_jobs))) {}

addin::~addin() = default;

void addin::IDTExtensibility2_OnConnection(host::Application& application, ext_ConnectMode) {
  state_->host_app = &application;
  if (!state_->jobs) state_->jobs = state_->make_jobs();
  install_menu(*state_);
}

void addin::IDTExtensibility2_OnDisconnection(ext_DisconnectMode mode) {
  if (mode != ext_dm_HostShutdown) return;
  if (state_->menu_events) state_->menu_events->release();
  state_->menu_events.reset();
  state_->menu_bar = nullptr;
  state_->gylc.reset();
  state_->jobs.reset();  // the jobs' work_book and work_sheet go with them
  state_->host_app = nullptr;
}

}  // namespace lczs::shell
