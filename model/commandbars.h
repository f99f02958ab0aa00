// The command bars of the in-memory host: one bar ("Worksheet Menu Bar")
// holding popups and buttons, as the add-in builds them, and the buttons'
// Click events raised by whoever plays the user (the `lczs` command, tests).
//
// The bar owns its controls; a control lives until its bar is destroyed or
// the host drops the temporary controls at shutdown (drop_temporary).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/commandbars.h"

namespace lczs::memory {

class MemoryCommandBarControl;

class MemoryCommandBarControls : public host::CommandBarControls {
 public:
  int count() const override;
  host::CommandBarControl& item(int index) override;
  host::CommandBarControl& add(host::ControlType type, int id, int before, bool temporary) override;

  MemoryCommandBarControl& mem_item(int index);
  const MemoryCommandBarControl& mem_item(int index) const;
  // Removes the temporary controls (and, inside the others, theirs).
  void drop_temporary();

 private:
  std::vector<std::unique_ptr<MemoryCommandBarControl>> items_;
};

class MemoryCommandBarControl : public host::CommandBarControl {
 public:
  MemoryCommandBarControl(host::ControlType type, int id, bool temporary);

  host::ControlType type() const override { return type_; }
  int id() const override { return id_; }
  std::string caption() const override { return caption_; }
  void set_caption(const std::string& caption) override { caption_ = caption; }
  std::string tooltip_text() const override { return tooltip_; }
  void set_tooltip_text(const std::string& text) override { tooltip_ = text; }
  bool enabled() const override { return enabled_; }
  void set_enabled(bool enabled) override { enabled_ = enabled; }
  int face_id() const override { return face_id_; }
  void set_face_id(int face_id) override;
  bool begin_group() const override { return begin_group_; }
  void set_begin_group(bool begin_group) override { begin_group_ = begin_group; }
  std::string tag() const override { return tag_; }
  void set_tag(const std::string& tag) override { tag_ = tag; }
  bool temporary() const override { return temporary_; }
  host::CommandBarControls& controls() override;
  void bind_click(host::ClickHandler handler) override;

  // The popup's controls for inspection; throws HostError on a button.
  MemoryCommandBarControls& mem_controls();
  const MemoryCommandBarControls& mem_controls() const;
  bool has_click_handler() const { return static_cast<bool>(on_click_); }

  // The user clicks the button: the host raises Click(Ctrl, CancelDefault)
  // with `cancel_default` and returns the flag as the handler left it. A
  // disabled button or one without a handler does nothing. Whatever the
  // handler throws reaches the caller (the host sees the event call fail).
  // Throws HostError on a popup, which has no Click event.
  bool click(bool cancel_default = false);

 private:
  host::ControlType type_;
  int id_;
  bool temporary_;
  std::string caption_;
  std::string tooltip_;
  bool enabled_ = true;
  int face_id_ = 0;
  bool begin_group_ = false;
  std::string tag_;
  std::unique_ptr<MemoryCommandBarControls> children_;  // popups only
  host::ClickHandler on_click_;
};

class MemoryCommandBar : public host::CommandBar {
 public:
  explicit MemoryCommandBar(std::string name = "Worksheet Menu Bar");

  std::string name() const override { return name_; }
  host::CommandBarControls& controls() override { return controls_; }
  host::CommandBarControl* find_control_by_tag(const std::string& tag) override;

  MemoryCommandBarControls& mem_controls() { return controls_; }
  const MemoryCommandBarControls& mem_controls() const { return controls_; }

  // The host closes: temporary controls are not kept with the bar.
  void drop_temporary() { controls_.drop_temporary(); }

  // The first control, depth first in display order, whose caption is
  // `caption` (ignoring the "&" accelerator marks); nullptr when none.
  MemoryCommandBarControl* find_by_caption(const std::string& caption);

 private:
  std::string name_;
  MemoryCommandBarControls controls_;
};

// A caption as the user sees it: "&&" shows "&", a single "&" marks the
// next character as the accelerator and is not shown.
std::string shown_caption(const std::string& caption);

}  // namespace lczs::memory
