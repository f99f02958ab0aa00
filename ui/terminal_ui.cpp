#include "ui/terminal_ui.h"

#include <cmath>
#include <set>
#include <vector>

#include "host/numbers.h"
#include "ui/console.h"

namespace lczs::ui {

namespace {

// Reads a choice "1".."n"; nullopt for anything else.
std::optional<int> choice_number(const std::string& text, int n) {
  auto v = host::parse_user_number(text);
  // Range first: converting a huge typed number to int would be undefined.
  if (!v || *v < 0 || *v > n || *v != std::floor(*v)) return std::nullopt;
  return static_cast<int>(*v);
}

// Labels shown beside an option button belong to that button's choice.
std::set<std::string> option_labels(const Form& form) {
  std::set<std::string> out;
  for (const auto& c : form.controls())
    if (c->kind == ControlKind::OptionButton && !c->label.empty()) out.insert(c->label);
  return out;
}

std::string option_text(const Form& form, const Control& option) {
  if (!option.label.empty() && form.has_control(option.label)) {
    const std::string& caption = form.control(option.label).caption;
    if (!caption.empty()) return caption;
  }
  return option.caption.empty() ? option.name : option.caption;
}

}  // namespace

TerminalUi::TerminalUi(std::istream& in, std::ostream& out, std::ostream& err, bool err_is_terminal)
    : in_(in), out_(out), err_(err), err_is_terminal_(err_is_terminal) {}

std::optional<std::string> TerminalUi::read_line() {
  if (ended_) return std::nullopt;
  err_.flush();
  std::string line;
  if (!std::getline(in_, line)) {
    ended_ = true;
    err_ << "\n（输入已结束）\n";
    return std::nullopt;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return host::trim(line);
}

int TerminalUi::message_box(std::string_view prompt, Buttons buttons, std::string_view title) {
  progress_done();
  print_message(out_, prompt, title);
  out_.flush();
  int answer = kOk;
  if (buttons == Buttons::OkCancel) {
    answer = kCancel;  // also when the input has ended
    err_ << "1) 确定  2) 取消（直接回车为确定）> ";
    while (auto line = read_line()) {
      if (line->empty() || *line == "1" || *line == "确定" || *line == "y" || *line == "Y") {
        answer = kOk;
        break;
      }
      if (*line == "2" || *line == "取消" || *line == "n" || *line == "N") break;
      err_ << "请输入 1（确定）或 2（取消）> ";
    }
  }
  print_answer(out_, answer);
  return answer;
}

void TerminalUi::cancel(Form& form) {
  std::string pressed = cancel_form(form);
  err_ << (pressed.empty() ? "（窗体已关闭）" : "（按“" + pressed + "”）") << "\n";
}

void TerminalUi::show_modal(Form& form) {
  progress_done();
  err_ << "\n=== " << form.caption() << " ===\n";
  if (!form.shown_again.empty()) err_ << "（" << form.shown_again << "）\n";
  if (ended_) {
    cancel(form);
    return;
  }
  while (form.loaded()) {
    if (!walk(form, "") || !form.loaded()) break;
    if (!ask_action(form)) break;
    if (form.loaded()) err_ << "\n=== " << form.caption() << "（继续）===\n";
  }
  if (form.loaded()) cancel(form);
}

bool TerminalUi::walk(Form& form, const std::string& container) {
  const std::set<std::string> beside = option_labels(form);
  std::set<std::string> groups_done;
  const std::vector<Control*> controls = form.controls_in(container);
  for (std::size_t i = 0; i < controls.size(); ++i) {
    Control* c = controls[i];
    if (!form.loaded()) return true;
    if (!c->visible) continue;
    switch (c->kind) {
      case ControlKind::Label: {
        // A label beside an option is its choice's text; one that explains
        // a box is shown with the box's question.
        if (beside.count(c->name) || c->caption.empty() || is_box_hint(form, *c)) break;
        // A label right before a box introduces it: the box's title.
        std::size_t next = i + 1;
        while (next < controls.size() && !controls[next]->visible) ++next;
        if (next < controls.size() && controls[next]->kind == ControlKind::TextBox) break;
        err_ << c->caption << (c->enabled ? "" : "（不可用）") << "\n";
        break;
      }
      case ControlKind::Picture:
        err_ << draw_picture(c->picture);
        break;
      case ControlKind::OptionButton:
        if (groups_done.insert(c->group).second && !ask_group(form, *c)) return false;
        break;
      case ControlKind::TextBox:
        if (c->enabled) {
          if (!ask_text(form, *c)) return false;
        } else {
          err_ << box_title(form, *c) << "（不可用）\n";
        }
        break;
      case ControlKind::MultiPage:
        for (Control* page : form.controls_in(c->name)) {
          if (page->kind != ControlKind::Page || !page->visible) continue;
          err_ << "\n【" << page->caption << "】\n";
          if (!walk(form, page->name)) return false;
        }
        break;
      case ControlKind::CommandButton:
      case ControlKind::Page:
        break;
    }
  }
  return true;
}

bool TerminalUi::ask_group(Form& form, const Control& first) {
  std::vector<std::string> names;
  for (const auto& c : form.controls())
    if (c->kind == ControlKind::OptionButton && c->group == first.group && c->visible)
      names.push_back(c->name);
  if (names.empty()) return true;
  while (true) {
    err_ << "请选择一项（直接回车保持当前选择）：\n";
    for (std::size_t i = 0; i < names.size(); ++i) {
      const Control& o = form.control(names[i]);
      err_ << "  " << i + 1 << ") " << option_text(form, o) << (o.value ? "  ← 当前" : "")
           << (o.enabled ? "" : "（不可用）") << "\n";
    }
    err_ << "> ";
    auto line = read_line();
    if (!line) return false;
    if (line->empty()) return true;
    auto k = choice_number(*line, static_cast<int>(names.size()));
    if (k && *k >= 1 && form.control(names[*k - 1]).enabled) {
      form.choose(names[*k - 1]);
      return true;
    }
    err_ << "请输入 1 到 " << names.size() << " 之间的一个可用选项的序号。\n";
  }
}

bool TerminalUi::ask_text(Form& form, Control& box) {
  if (const Control* hint = box_hint(form, box)) err_ << hint->caption << "\n";
  // One write for the whole prompt, so that type-ahead echoed by the terminal
  // never lands inside it.
  err_ << box_title(form, box) +
              (box.text.empty() ? "（现为空，直接回车留空）" : "（现为“" + box.text + "”，直接回车保留）") +
              "> ";
  auto line = read_line();
  if (!line) return false;
  if (!line->empty()) form.set_text(box.name, *line);
  return true;
}

bool TerminalUi::ask_action(Form& form) {
  std::vector<Control*> buttons;
  for (Control* c : ordered_buttons(form))
    if (c->enabled) buttons.push_back(c);
  while (true) {
    err_ << "请选择操作：\n";
    for (std::size_t i = 0; i < buttons.size(); ++i)
      err_ << "  " << i + 1 << ") " << buttons[i]->caption << "\n";
    err_ << "  0) 关闭窗口（×）\n> ";
    auto line = read_line();
    if (!line) return false;
    if (line->empty()) continue;
    Control* chosen = nullptr;
    if (auto k = choice_number(*line, static_cast<int>(buttons.size()))) {
      if (*k == 0) {
        form.close_box();
        return true;
      }
      chosen = buttons[*k - 1];
    }
    for (Control* b : buttons)
      if (!chosen && b->caption == *line) chosen = b;
    if (chosen) {
      form.click(chosen->name);
      return true;
    }
    err_ << "请输入所列操作的序号。\n";
  }
}

void TerminalUi::progress(std::string_view line) {
  if (err_is_terminal_) {
    err_ << "\r" << line << "\x1b[K";
    err_.flush();
    progress_open_ = true;
  }
  // Without a terminal a status line would only fill a log: nothing.
}

void TerminalUi::notice(std::string_view line) {
  progress_done();
  err_ << line << "\n";
}

void TerminalUi::progress_done() {
  if (progress_open_) err_ << "\n";
  progress_open_ = false;
}

}  // namespace lczs::ui
