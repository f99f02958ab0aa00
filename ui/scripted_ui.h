// The scripted dialogs for tests: strict and recording.
//
// A test lists, in order, the dialogs it expects and how each is answered.
// Showing a dialog that is not the next expected one is a script violation:
// it is recorded and ScriptViolation is thrown (deliberately not a
// std::exception, so a job's own error handling cannot swallow it). Every
// dialog shown is recorded, so a test can assert what the user saw.
//
//   ScriptedUi ui;
//   ui.expect_message("开始分班，请先选中分班数据所在的工作表，继续吗？", kOk)
//     .expect_form("gs", [](FormDriver& f) { f.click("zx_bt"); })
//     .expect_form("c_fbsz", [](FormDriver& f) {
//        f.set_text("c_fbs_txtbox", "3"); f.click("CommandButton1"); });
//   ... run the job ...
//   EXPECT_TRUE(ui.finished()) << ui.report();
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ui/ui.h"

namespace lczs::ui {

struct ScriptViolation {
  std::string what;
};

// What a script action may do to a shown form: the user's actions only.
class FormDriver {
 public:
  explicit FormDriver(Form& form) : form_(form) {}
  Form& form() { return form_; }
  FormDriver& set_text(const std::string& text_box, const std::string& text) {
    form_.set_text(text_box, text);
    return *this;
  }
  FormDriver& click(const std::string& button) { form_.click(button); return *this; }
  FormDriver& choose(const std::string& option) { form_.choose(option); return *this; }
  FormDriver& close_box() { form_.close_box(); return *this; }

 private:
  Form& form_;
};

// One dialog as it was shown.
struct ShownDialog {
  enum class Kind { Message, Form };
  Kind kind = Kind::Message;
  std::string title;      // message: its title; form: its caption
  std::string text;       // message: its prompt; form: its name
  Buttons buttons = Buttons::Ok;
  int answer = kOk;       // message only
};

class ScriptedUi : public Ui {
 public:
  using FormAction = std::function<void(FormDriver&)>;

  // Expects a message box whose prompt equals `prompt` exactly, answered with
  // `answer` (kCancel only makes sense on an OK/Cancel box).
  ScriptedUi& expect_message(std::string prompt, int answer = kOk);
  // Expects a message box whose prompt contains `part`.
  ScriptedUi& expect_message_containing(std::string part, int answer = kOk);
  // Expects form `form_name` (Form::name()); `action` acts on it. The form
  // must be unloaded when the action returns.
  ScriptedUi& expect_form(std::string form_name, FormAction action);

  int message_box(std::string_view prompt, Buttons buttons, std::string_view title) override;
  void show_modal(Form& form) override;

  // Every dialog shown, in order (also the unexpected one that failed).
  const std::vector<ShownDialog>& shown() const { return shown_; }
  // Prompts of the message boxes shown, in order.
  std::vector<std::string> messages() const;
  // Names of the forms shown, in order.
  std::vector<std::string> forms() const;
  void notice(std::string_view line) override { notices_.emplace_back(line); }
  // The notices given, in order; they need no expectation.
  const std::vector<std::string>& notices() const { return notices_; }
  // True when every expectation was met and nothing unexpected was shown.
  bool finished() const { return expected_.empty() && violations_.empty(); }
  const std::vector<std::string>& violations() const { return violations_; }
  // A readable account for a failed assertion: what was shown, what is
  // still expected, the violations.
  std::string report() const;

 private:
  struct Expectation {
    ShownDialog::Kind kind;
    std::string text;  // prompt or form name
    bool partial = false;
    int answer = kOk;
    FormAction action;
  };
  [[noreturn]] void violate(std::string what);

  std::deque<Expectation> expected_;
  std::vector<ShownDialog> shown_;
  std::vector<std::string> violations_;
  std::vector<std::string> notices_;
};

}  // namespace lczs::ui
