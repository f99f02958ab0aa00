// Office command bars as the add-in sees them: the bar "Worksheet Menu Bar",
// its controls (popups and buttons) and the buttons' Click event.
//
// Every member may throw HostError; the menu installation ignores such
// failures statement by statement.
#pragma once

#include <functional>
#include <string>

#include "host/host.h"

namespace lczs::host {

enum class ControlType { Button = 1, Popup = 10 };  // msoControlButton, msoControlPopup

class CommandBarControl;

// Receives a button's Click(Ctrl, CancelDefault). The handler may read the
// button and may set cancel_default; the host passes it by reference.
using ClickHandler = std::function<void(CommandBarControl& ctrl, bool& cancel_default)>;

class CommandBarControls {
 public:
  virtual ~CommandBarControls() = default;
  virtual int count() const = 0;
  // Controls(index), from 1. Throws HostError when out of range.
  virtual CommandBarControl& item(int index) = 0;
  // Controls.Add(Type, Id, , Before, Temporary): before = 0 appends at the
  // end; otherwise the new control takes position `before` (from 1).
  virtual CommandBarControl& add(ControlType type, int id, int before, bool temporary) = 0;
};

class CommandBarControl {
 public:
  virtual ~CommandBarControl() = default;
  virtual ControlType type() const = 0;
  virtual int id() const = 0;
  virtual std::string caption() const = 0;
  virtual void set_caption(const std::string& caption) = 0;
  virtual std::string tooltip_text() const = 0;
  virtual void set_tooltip_text(const std::string& text) = 0;
  virtual bool enabled() const = 0;
  virtual void set_enabled(bool enabled) = 0;
  virtual int face_id() const = 0;  // 0: no icon
  virtual void set_face_id(int face_id) = 0;
  virtual bool begin_group() const = 0;
  virtual void set_begin_group(bool begin_group) = 0;
  virtual std::string tag() const = 0;
  virtual void set_tag(const std::string& tag) = 0;
  virtual bool temporary() const = 0;
  // The controls of a popup; throws HostError on a button.
  virtual CommandBarControls& controls() = 0;
  // Binds the button's Click event (WithEvents assignment). An empty
  // handler unbinds. Only buttons raise Click.
  virtual void bind_click(ClickHandler handler) = 0;
};

class CommandBar {
 public:
  virtual ~CommandBar() = default;
  virtual std::string name() const = 0;
  virtual CommandBarControls& controls() = 0;
  // FindControl(Tag:=tag) over the bar's own top-level controls; nullptr when
  // none carries the tag.
  virtual CommandBarControl* find_control_by_tag(const std::string& tag) = 0;
};

}  // namespace lczs::host
