// The dialogs a job may show: the run-time library's message box and modal
// forms. One interface, several backends: terminal (ui/terminal_ui.h), flags
// (ui/flags_ui.h), scripted for tests (ui/scripted_ui.h) and Win32 (win/).
#pragma once

#include <string>
#include <string_view>

#include "ui/form.h"

namespace lczs::ui {

// Title of every box the system shows.
inline constexpr std::string_view kTitle = "栎川提示";

enum class Buttons { Ok, OkCancel };

// MsgBox return values.
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;

class Ui {
 public:
  virtual ~Ui() = default;

  // MsgBox(prompt, buttons, title). Returns kOk or kCancel. An OK-only box
  // always returns kOk. Line feeds in `prompt` break lines.
  virtual int message_box(std::string_view prompt, Buttons buttons, std::string_view title) = 0;

  // Form.Show (modal): returns once the form is unloaded. The form's
  // handlers run inside this call and may show message boxes.
  virtual void show_modal(Form& form) = 0;

  // A status line for long work (the class-division search). Backends
  // without a terminal ignore it; callers limit the rate themselves.
  virtual void progress(std::string_view /*line*/) {}
  // Ends a series of progress lines.
  virtual void progress_done() {}

  // A remark made on the way that asks nothing and does not stop the run
  // (a limit met while the job goes on). The command prints it on standard
  // error; a backend with no such place drops it rather than interrupt the
  // user with a box.
  virtual void notice(std::string_view /*line*/) {}

  // What a finished run came to beyond its end message (how many of the
  // user's conditions were met). The command prints it on standard error
  // like a notice; a home without such a place shows it in a box, since
  // the user asked for it.
  virtual void remark(std::string_view line) { message_box(line, Buttons::Ok, kTitle); }
};

}  // namespace lczs::ui
