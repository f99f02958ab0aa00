// Drives the Win32 dialogs as a user would, from a thread timer that fires
// inside their modal loops: each message box or form that appears is
// matched with the next expected step and answered. Controls are found by
// their model names (the window properties the dialogs set).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/form.h"
#include "win/com_util.h"

namespace lczs::wintest {

// Where the form's windows differ from ui::layout_form at the screen's
// DPI, one line per control; "" when every window is in its place.
std::string layout_mismatches(HWND form, const ui::Form& model);

class Win32Form {
 public:
  explicit Win32Form(HWND hwnd) : hwnd_(hwnd) {}
  HWND hwnd() const { return hwnd_; }
  std::string name() const;
  HWND control(const std::string& name) const;  // nullptr when absent
  bool enabled(const std::string& name) const;
  // Typing: the edit's text changes and notifies the form.
  void set_text(const std::string& name, const std::string& text) const;
  // A click on a button or an option button.
  void click(const std::string& name) const;

 private:
  HWND hwnd_;
};

struct DialogStep {
  bool box = true;
  std::string text;  // box: part of the prompt; form: the form's name
  int answer = IDOK;  // box
  std::function<void(const Win32Form&)> act;  // form
};

class Win32Driver {
 public:
  explicit Win32Driver(std::vector<DialogStep> steps);
  ~Win32Driver();
  // What was shown, in order ("box: ..." / "form: ..."), and what went wrong.
  const std::vector<std::string>& shown() const { return shown_; }
  const std::vector<std::string>& problems() const { return problems_; }
  bool finished() const { return next_ == steps_.size() && problems_.empty(); }

 private:
  static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD);
  void on_tick();
  std::vector<DialogStep> steps_;
  size_t next_ = 0;
  std::vector<std::string> shown_;
  std::vector<std::string> problems_;
  UINT_PTR timer_ = 0;
};

}  // namespace lczs::wintest
