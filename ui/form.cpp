#include "ui/form.h"

#include <stdexcept>

namespace lczs::ui {

Form::Form(std::string name, std::string caption)
    : name_(std::move(name)), caption_(std::move(caption)) {}

Control& Form::add(Control control) {
  if (by_name_.count(control.name)) throw std::logic_error("duplicate control " + control.name);
  controls_.push_back(std::make_unique<Control>(std::move(control)));
  Control* c = controls_.back().get();
  by_name_[c->name] = c;
  return *c;
}

Control& Form::control(const std::string& name) {
  auto it = by_name_.find(name);
  if (it == by_name_.end()) throw std::out_of_range("form " + name_ + " has no control " + name);
  return *it->second;
}

const Control& Form::control(const std::string& name) const {
  return const_cast<Form*>(this)->control(name);
}

bool Form::has_control(const std::string& name) const { return by_name_.count(name) != 0; }

std::vector<Control*> Form::controls_in(const std::string& container) const {
  std::vector<Control*> out;
  for (const auto& c : controls_)
    if (c->container == container) out.push_back(c.get());
  return out;
}

void Form::on(const std::string& control, const std::string& event, std::function<void()> handler) {
  handlers_[control + "." + event] = std::move(handler);
}

bool Form::has_handler(const std::string& control, const std::string& event) const {
  return handlers_.count(control + "." + event) != 0;
}

void Form::fire(const std::string& control, const std::string& event) {
  auto it = handlers_.find(control + "." + event);
  if (it == handlers_.end()) return;
  auto handler = it->second;  // a handler may rebind or unload
  handler();
}

namespace {
void require_reachable(const Control& c, ControlKind kind, const char* what) {
  if (c.kind != kind) throw std::logic_error(c.name + " is not " + what);
  if (!c.enabled) throw std::logic_error(c.name + " is disabled");
  if (!c.visible) throw std::logic_error(c.name + " is not visible");
}
}  // namespace

void Form::set_text(const std::string& text_box, const std::string& text) {
  Control& c = control(text_box);
  require_reachable(c, ControlKind::TextBox, "a text box");
  c.text = text;
  fire(text_box, "Change");
}

void Form::click(const std::string& button) {
  Control& c = control(button);
  require_reachable(c, ControlKind::CommandButton, "a command button");
  fire(button, "Click");
}

void Form::choose(const std::string& option_button) {
  Control& c = control(option_button);
  if (c.kind != ControlKind::OptionButton) throw std::logic_error(c.name + " is not an option button");
  if (!c.enabled) throw std::logic_error(c.name + " is disabled");
  bool was = c.value;
  for (auto& other : controls_)
    if (other->kind == ControlKind::OptionButton && other->group == c.group) other->value = false;
  c.value = true;
  // The forms package raises Click when an option button becomes selected.
  if (!was) fire(option_button, "Click");
}

void Form::close_box() {
  fire(name_, "QueryClose");
  unload();
}

}  // namespace lczs::ui
