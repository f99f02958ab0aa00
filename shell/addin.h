// The add-in's connection class: the host calls the operations of the
// add-in interface (IDTExtensibility2) on it.
#pragma once

#include <memory>
#include <optional>

#include "host/clock.h"
#include "host/host.h"
#include "jobs/jobs.h"
#include "shell/state.h"
#include "ui/ui.h"

namespace lczs::shell {

// The interface's connect and disconnect modes, with the host's numbers.
enum ext_ConnectMode {
  ext_cm_AfterStartup = 0,
  ext_cm_Startup = 1,
  ext_cm_External = 2,
  ext_cm_CommandLine = 3,
};
enum ext_DisconnectMode {
  ext_dm_HostShutdown = 0,
  ext_dm_UserClosed = 1,
};

// One loaded add-in. It owns the module state of the add-in's modules and of
// the three jobs; the dialogs and the clock are the loading program's.
class addin {
 public:
  addin(ui::Ui& ui, const host::Clock& clock, jobs::JobsFactory make_jobs = jobs::make_jobs);
  ~addin();
  addin(const addin&) = delete;
  addin& operator=(const addin&) = delete;

  // Keeps the application (replacing an earlier one) and installs the menu.
  // Always succeeds: no host error leaves it.
  void IDTExtensibility2_OnConnection(host::Application& application, ext_ConnectMode mode);
  // On host shutdown, releases everything it holds of the host (the
  // application, the menu bar, the button bindings, the jobs' state) so the
  // application can close; any other disconnection changes nothing.
  void IDTExtensibility2_OnDisconnection(ext_DisconnectMode mode);
  void IDTExtensibility2_OnAddInsUpdate() {}
  void IDTExtensibility2_OnStartupComplete() {}
  void IDTExtensibility2_OnBeginShutdown() {}

  AddinState& state() { return *state_; }
  const AddinState& state() const { return *state_; }
  // How the run of the last click ended (see AddinState::last_outcome).
  std::optional<jobs::JobOutcome> last_outcome() const { return state_->last_outcome; }

 private:
  std::unique_ptr<AddinState> state_;
};

}  // namespace lczs::shell
