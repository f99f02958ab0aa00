// The dialogs answered from the command's options.
//
// The jobs declare, for each form that takes settings, which option fills
// which of its text boxes (jobs/command.h). Given options are typed into the
// boxes as raw text, so the form's own validation runs and its own messages are shown; an option may
// first choose an option button (one whose Click enables the boxes it
// fills). Then the form's confirming button is pressed. A form that comes
// back after being filled once is cancelled with its cancel button, so a
// refused value stops the run instead of looping.
//
// Questions are answered 确定 (the command's --yes, or no one to ask).
// Forms for which no option was given, and questions without --yes, go to
// the fallback backend when there is one (the terminal); without a fallback
// every form is confirmed as it stands and information forms are closed.
#pragma once

#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "ui/ui.h"

namespace lczs::ui {

enum class FormKind {
  Settings,    // takes values (c_fbsz, ksfxForm)
  DataFormat,  // shows the required layout: 继续执行>> or 格式调整>> (gs, hkgssz, ksgssz)
  Info,        // shows a text and is closed (fb_help, gylc)
};

struct FlagField {
  std::string option;                   // "--classes"
  std::vector<std::string> text_boxes;  // one box, or one per item of "X,Y,Z"; none for an
                                        // option the job reads itself
  std::string choose_first;             // option button chosen before typing
  std::string value_name;               // placeholder in the help: "K", "X[,Y[,Z]]";
                                        // empty for a switch the job reads itself
  std::string meaning;                  // what it sets, in the user's words: "分班数"
};

// A form and the options that fill it. Its buttons are found by their role
// (find_button in ui/console.h).
struct FormFlags {
  std::string form;     // Form::name()
  std::string caption;  // Form::caption(), for the help
  FormKind kind = FormKind::Settings;
  std::vector<FlagField> fields;
};

class FlagRegistry {
 public:
  FlagRegistry& add(FormFlags form);
  const FormFlags* find(const std::string& form) const;
  // The form whose fields include `option`; nullptr when none does.
  const FormFlags* form_of(const std::string& option) const;
  const std::vector<FormFlags>& forms() const { return forms_; }

 private:
  std::vector<FormFlags> forms_;
};

// Option name -> raw text as given ("--top" -> "50,100").
using FlagValues = std::map<std::string, std::string>;

// Splits a list option "X,Y,Z" (ASCII or full-width commas) into its items.
std::vector<std::string> split_list(const std::string& text);

class FlagsUi : public Ui {
 public:
  // `answer_yes`: questions are answered 确定 and data-format forms go on
  // without asking the fallback.
  // `err_is_terminal`: progress lines overwrite each other; without a
  // terminal there are none. With a fallback, the fallback shows them.
  FlagsUi(FlagRegistry registry, FlagValues values, std::ostream& out, std::ostream& err,
          bool answer_yes, std::unique_ptr<Ui> fallback = nullptr, bool err_is_terminal = false);

  int message_box(std::string_view prompt, Buttons buttons, std::string_view title) override;
  void show_modal(Form& form) override;
  void progress(std::string_view line) override;
  void progress_done() override;
  void notice(std::string_view line) override;
  void remark(std::string_view line) override { notice(line); }

 private:
  bool handled_here(const Form& form, const FormFlags* flags) const;
  void fill(Form& form, const FormFlags* flags);

  FlagRegistry registry_;
  FlagValues values_;
  std::ostream& out_;
  std::ostream& err_;
  bool answer_yes_;
  std::unique_ptr<Ui> fallback_;
  std::map<std::string, int> filled_;  // form name -> times filled here
  bool err_is_terminal_;
  bool progress_open_ = false;
};

}  // namespace lczs::ui
