#include "ui/scripted_ui.h"

#include <sstream>

namespace lczs::ui {

ScriptedUi& ScriptedUi::expect_message(std::string prompt, int answer) {
  expected_.push_back({ShownDialog::Kind::Message, std::move(prompt), false, answer, {}});
  return *this;
}

ScriptedUi& ScriptedUi::expect_message_containing(std::string part, int answer) {
  expected_.push_back({ShownDialog::Kind::Message, std::move(part), true, answer, {}});
  return *this;
}

ScriptedUi& ScriptedUi::expect_form(std::string form_name, FormAction action) {
  expected_.push_back({ShownDialog::Kind::Form, std::move(form_name), false, kOk, std::move(action)});
  return *this;
}

void ScriptedUi::violate(std::string what) {
  violations_.push_back(what);
  throw ScriptViolation{std::move(what)};
}

int ScriptedUi::message_box(std::string_view prompt, Buttons buttons, std::string_view title) {
  ShownDialog d;
  d.kind = ShownDialog::Kind::Message;
  d.title = std::string(title);
  d.text = std::string(prompt);
  d.buttons = buttons;
  shown_.push_back(d);
  if (expected_.empty()) violate("unexpected message box: " + d.text);
  Expectation e = expected_.front();
  bool match = e.kind == ShownDialog::Kind::Message &&
               (e.partial ? d.text.find(e.text) != std::string::npos : d.text == e.text);
  if (!match) {
    violate("expected " + std::string(e.kind == ShownDialog::Kind::Message ? "message " : "form ") +
            e.text + ", got message box: " + d.text);
  }
  expected_.pop_front();
  int answer = buttons == Buttons::Ok ? kOk : e.answer;
  shown_.back().answer = answer;
  return answer;
}

void ScriptedUi::show_modal(Form& form) {
  ShownDialog d;
  d.kind = ShownDialog::Kind::Form;
  d.title = form.caption();
  d.text = form.name();
  shown_.push_back(d);
  if (expected_.empty()) violate("unexpected form: " + form.name());
  Expectation e = expected_.front();
  if (e.kind != ShownDialog::Kind::Form || e.text != form.name()) {
    violate("expected " + std::string(e.kind == ShownDialog::Kind::Message ? "message " : "form ") +
            e.text + ", got form: " + form.name());
  }
  expected_.pop_front();
  FormDriver driver(form);
  try {
    if (e.action) e.action(driver);
  } catch (const std::logic_error& err) {
    violate("form " + form.name() + ": " + err.what());
  }
  if (form.loaded()) violate("form " + form.name() + " still shown after its script action");
}

std::vector<std::string> ScriptedUi::messages() const {
  std::vector<std::string> out;
  for (const auto& d : shown_)
    if (d.kind == ShownDialog::Kind::Message) out.push_back(d.text);
  return out;
}

std::vector<std::string> ScriptedUi::forms() const {
  std::vector<std::string> out;
  for (const auto& d : shown_)
    if (d.kind == ShownDialog::Kind::Form) out.push_back(d.text);
  return out;
}

std::string ScriptedUi::report() const {
  std::ostringstream os;
  os << "shown:\n";
  for (const auto& d : shown_)
    os << "  " << (d.kind == ShownDialog::Kind::Message ? "[msg] " : "[form] ") << d.text << "\n";
  os << "still expected:\n";
  for (const auto& e : expected_)
    os << "  " << (e.kind == ShownDialog::Kind::Message ? "[msg] " : "[form] ") << e.text << "\n";
  for (const auto& v : violations_) os << "violation: " << v << "\n";
  return os.str();
}

}  // namespace lczs::ui
