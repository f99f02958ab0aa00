// The model of a modal form: its caption, its controls in design order and
// the event handlers bound to them.
//
// A form's logic (its handlers) belongs to the job that owns it and is plain
// code over this model; how the form is drawn and how the user acts on it is
// a backend's business (terminal, scripted, flags, Win32). A backend changes
// controls only through the member functions below, so that option groups
// and events behave as in the forms package: choosing an option button
// selects it, deselects the others of its group and raises its Click.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace lczs::ui {

enum class ControlKind { Label, TextBox, OptionButton, CommandButton, Picture, MultiPage, Page };

struct FontSpec {
  std::string name = "宋体";
  double size = 9;
  bool bold = false;
};

// A picture of a required data layout, kept as data so every backend can
// draw it (the terminal as a text table, Win32 as a grid). cells[0] is the
// excerpt's first sheet row; backends add the column letters and row numbers.
struct PictureTable {
  std::vector<std::vector<std::string>> cells;  // rows of the excerpt
  int first_row_number = 1;                     // sheet row of cells[0]
};

struct Control {
  std::string name;
  ControlKind kind = ControlKind::Label;
  std::string caption;   // label, button, option button, page, form-level
  std::string text;      // text box value
  bool value = false;    // option button selected
  bool enabled = true;
  bool visible = true;
  FontSpec font;
  std::string container;  // name of the page holding it; "" for the form
  std::string group;      // option buttons of one group share it
  std::string label;      // option button: name of the label beside it
  std::string role;       // free hint for backends: "confirm", "cancel", "close"
  PictureTable picture;   // Picture
  std::string sample;     // text box: the longest text it must show whole
};

class Form {
 public:
  Form(std::string name, std::string caption);
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  const std::string& name() const { return name_; }
  const std::string& caption() const { return caption_; }
  FontSpec font;  // the form's default font
  // Why the job shows this form again ("" on its first showing): a window
  // shows the form as designed, a text backend says it on one line.
  std::string shown_again;
  // What the form's own check refused when it was last confirmed, in a few
  // words naming the box ("" when it took what was typed): the job's
  // reason when it shows the form again.
  std::string refused;
  // Controls that share a line, left to right, each row inside one
  // container; see ui/form_layout.h for where the others go.
  std::vector<std::vector<std::string>> rows;

  // Adds a control at the end of the design order and returns it.
  Control& add(Control control);
  // Throws std::out_of_range for an unknown name.
  Control& control(const std::string& name);
  const Control& control(const std::string& name) const;
  bool has_control(const std::string& name) const;
  const std::vector<std::unique_ptr<Control>>& controls() const { return controls_; }
  // Controls placed on a page, and the pages of a multi-page container, in
  // design order.
  std::vector<Control*> controls_in(const std::string& container) const;

  // Binds `handler` to control `control`'s event `event` ("Click").
  void on(const std::string& control, const std::string& event, std::function<void()> handler);
  bool has_handler(const std::string& control, const std::string& event) const;
  // Raises an event; nothing happens when no handler is bound.
  void fire(const std::string& control, const std::string& event);

  // What a user can do. Each throws std::logic_error when the control is not
  // of the right kind, or is disabled or invisible (a user cannot reach it).
  void set_text(const std::string& text_box, const std::string& text);
  void click(const std::string& button);         // command button Click
  void choose(const std::string& option_button);  // select + group + Click
  // The window's close box: runs the QueryClose handler when one is bound
  // (event "QueryClose" on the form's own name), then unloads.
  void close_box();

  // Unload Me. After this the form is gone; a backend stops showing it.
  void unload() { loaded_ = false; }
  bool loaded() const { return loaded_; }

 private:
  std::string name_;
  std::string caption_;
  std::vector<std::unique_ptr<Control>> controls_;
  std::map<std::string, Control*> by_name_;
  std::map<std::string, std::function<void()>> handlers_;  // "control.event"
  bool loaded_ = true;
};

}  // namespace lczs::ui
