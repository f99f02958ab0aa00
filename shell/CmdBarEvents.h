// The receiver of the menu buttons' Click events. One instance (menu_events)
// carries the bindings of all five buttons; each handler starts exactly one
// thing and holds no logic of its own.
#pragma once

#include <array>
#include <memory>
#include <string_view>

#include "host/commandbars.h"
#include "shell/state.h"

namespace lczs::shell {

class CmdBarEvents : public std::enable_shared_from_this<CmdBarEvents> {
 public:
  // The button references in their accessor order.
  enum class Slot { hkfx, ptfx, ksfb, fbhelp, aylczs };

  explicit CmdBarEvents(AddinState& state) : state_(&state) {}
  CmdBarEvents(const CmdBarEvents&) = delete;
  CmdBarEvents& operator=(const CmdBarEvents&) = delete;

  // Set CtlBtn_<slot> = button: keeps the reference and binds the button's
  // Click to the handler of that name. The binding holds this object only
  // weakly: once it is released, the button does nothing until bound again.
  void set(Slot slot, host::CommandBarControl& button);
  host::CommandBarControl* get(Slot slot) const { return buttons_[index(slot)]; }
  // Unbinds the buttons and drops the references (the host is closing).
  void release();

  void CtlBtn_hkfx_Click(host::CommandBarControl& ctrl, bool& cancel_default);
  void CtlBtn_ptfx_Click(host::CommandBarControl& ctrl, bool& cancel_default);
  void CtlBtn_ksfb_Click(host::CommandBarControl& ctrl, bool& cancel_default);
  void CtlBtn_fbhelp_Click(host::CommandBarControl& ctrl, bool& cancel_default);
  void CtlBtn_aylczs_Click(host::CommandBarControl& ctrl, bool& cancel_default);

 private:
  static std::size_t index(Slot slot) { return static_cast<std::size_t>(slot); }
  void dispatch(Slot slot, host::CommandBarControl& ctrl, bool& cancel_default);

  AddinState* state_;
  std::array<host::CommandBarControl*, 5> buttons_{};
};

// The message of a button whose job this add-in was built without.
inline constexpr std::string_view kUnavailable = "该功能尚未提供。";

}  // namespace lczs::shell
