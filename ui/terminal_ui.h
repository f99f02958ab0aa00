// The interactive dialogs of the `lczs` command, in Chinese, on a terminal.
//
// A message box goes to `out` (the command's standard output) as
// "[title]", its lines and the answer taken; everything else (forms,
// prompts, progress) goes to `err`. A form is walked in design order, page
// by page: labels and pictures are shown, each option group is offered as
// numbered choices (choosing one raises its Click), each enabled text box is
// asked for by its label, after the label that explains it and with what it
// holds now, and then its buttons and the close box are offered, numbered
// the same on every form (1 goes on, 2 stops, 0 the close box). The
// enabled states are read again after every event, so a choice that enables
// a text box is followed by the question for it.
//
// End of input means Cancel on a question and the form's cancel button on a
// form (never its close box, which on some forms goes on), and every dialog
// after it is answered the same way without asking, so a run never loops
// or goes on unasked.
#pragma once

#include <istream>
#include <optional>
#include <ostream>
#include <string>

#include "ui/ui.h"

namespace lczs::ui {

class TerminalUi : public Ui {
 public:
  // `err_is_terminal`: progress lines overwrite each other; without a
  // terminal there are none.
  TerminalUi(std::istream& in, std::ostream& out, std::ostream& err, bool err_is_terminal = false);

  int message_box(std::string_view prompt, Buttons buttons, std::string_view title) override;
  void show_modal(Form& form) override;
  void progress(std::string_view line) override;
  void progress_done() override;
  void notice(std::string_view line) override;
  void remark(std::string_view line) override { notice(line); }

  // True once the input has ended.
  bool input_ended() const { return ended_; }

 private:
  std::optional<std::string> read_line();
  // Walks the controls of `container`; false when the input ended.
  bool walk(Form& form, const std::string& container);
  bool ask_group(Form& form, const Control& first);
  bool ask_text(Form& form, Control& box);
  // Offers the buttons and the close box; false when the input ended.
  bool ask_action(Form& form);
  void cancel(Form& form);

  std::istream& in_;
  std::ostream& out_;
  std::ostream& err_;
  bool err_is_terminal_;
  bool ended_ = false;
  bool progress_open_ = false;
};

}  // namespace lczs::ui
