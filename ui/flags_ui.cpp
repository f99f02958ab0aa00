#include "ui/flags_ui.h"

#include <stdexcept>

#include "host/numbers.h"
#include "ui/console.h"

namespace lczs::ui {

FlagRegistry& FlagRegistry::add(FormFlags form) {
  forms_.push_back(std::move(form));
  return *this;
}

const FormFlags* FlagRegistry::find(const std::string& form) const {
  for (const auto& f : forms_)
    if (f.form == form) return &f;
  return nullptr;
}

const FormFlags* FlagRegistry::form_of(const std::string& option) const {
  for (const auto& f : forms_)
    for (const auto& field : f.fields)
      if (field.option == option) return &f;
  return nullptr;
}

std::vector<std::string> split_list(const std::string& text) {
  std::vector<std::string> items;
  std::string current;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == ',') {
      items.push_back(host::trim(current));
      current.clear();
      ++i;
    } else if (text.compare(i, 3, "，") == 0) {
      items.push_back(host::trim(current));
      current.clear();
      i += 3;
    } else {
      current += text[i++];
    }
  }
  items.push_back(host::trim(current));
  return items;
}

FlagsUi::FlagsUi(FlagRegistry registry, FlagValues values, std::ostream& out, std::ostream& err,
                 bool answer_yes, std::unique_ptr<Ui> fallback, bool err_is_terminal)
    : registry_(std::move(registry)),
      values_(std::move(values)),
      out_(out),
      err_(err),
      answer_yes_(answer_yes),
      fallback_(std::move(fallback)),
      err_is_terminal_(err_is_terminal) {}

int FlagsUi::message_box(std::string_view prompt, Buttons buttons, std::string_view title) {
  if (buttons == Buttons::OkCancel && !answer_yes_ && fallback_)
    return fallback_->message_box(prompt, buttons, title);
  progress_done();
  print_message(out_, prompt, title);
  print_answer(out_, kOk);
  return kOk;
}

bool FlagsUi::handled_here(const Form& form, const FormFlags* flags) const {
  if (!fallback_ || filled_.count(form.name())) return true;
  if (!flags) return answer_yes_;
  switch (flags->kind) {
    case FormKind::Settings:
      for (const auto& field : flags->fields)
        if (values_.count(field.option)) return true;
      return false;
    case FormKind::DataFormat:
    case FormKind::Info:
      return answer_yes_;
  }
  return false;
}

void FlagsUi::show_modal(Form& form) {
  const FormFlags* flags = registry_.find(form.name());
  if (!handled_here(form, flags)) {
    fallback_->show_modal(form);
    return;
  }
  progress_done();
  err_ << "[窗体] " << form.caption() << "\n";
  if (!form.shown_again.empty()) err_ << "  （" << form.shown_again << "）\n";
  for (const auto& c : form.controls())
    if (c->kind == ControlKind::Label && c->visible && !c->caption.empty() &&
        (!flags || flags->kind != FormKind::Settings))
      err_ << "  " << c->caption << "\n";
  if (filled_[form.name()]++ > 0 && !(flags && flags->kind == FormKind::Info)) {
    // Filled once already: the values were refused.
    Control* cancel = find_button(form, "cancel");
    if (cancel && cancel->enabled) {
      err_ << "  已填写过一次，按“" << cancel->caption << "”\n";
      form.click(cancel->name);
    }
    if (form.loaded()) cancel_form(form);
    return;
  }
  fill(form, flags);
}

void FlagsUi::fill(Form& form, const FormFlags* flags) {
  auto report = [&](const std::logic_error& e) { err_ << "  无法填写：" << e.what() << "\n"; };
  if (flags) {
    for (const auto& field : flags->fields) {
      if (!values_.count(field.option) || field.choose_first.empty()) continue;
      try {
        form.choose(field.choose_first);
      } catch (const std::logic_error& e) {
        report(e);
      }
    }
    for (const auto& field : flags->fields) {
      auto it = values_.find(field.option);
      if (it == values_.end() || field.text_boxes.empty()) continue;
      std::vector<std::string> items =
          field.text_boxes.size() > 1 ? split_list(it->second) : std::vector<std::string>{it->second};
      for (std::size_t i = 0; i < items.size() && i < field.text_boxes.size(); ++i) {
        try {
          form.set_text(field.text_boxes[i], items[i]);
          err_ << "  " << box_title(form, form.control(field.text_boxes[i])) << items[i] << "\n";
        } catch (const std::logic_error& e) {
          report(e);
        }
        if (!form.loaded()) return;
      }
    }
  }
  Control* confirm = find_button(form, "confirm");
  if (!confirm) confirm = find_button(form, "close");
  if (confirm && confirm->enabled) {
    err_ << "  按“" << confirm->caption << "”\n";
    form.click(confirm->name);
  }
  if (form.loaded()) cancel_form(form);
}

void FlagsUi::progress(std::string_view line) {
  if (fallback_) {
    fallback_->progress(line);
    return;
  }
  if (err_is_terminal_) {
    err_ << "\r" << line << "\x1b[K";
    err_.flush();
    progress_open_ = true;
  }
  // Without a terminal a status line would only fill a log: nothing.
}

void FlagsUi::notice(std::string_view line) {
  if (fallback_) {
    fallback_->notice(line);
    return;
  }
  progress_done();
  err_ << line << "\n";
}

void FlagsUi::progress_done() {
  if (fallback_) fallback_->progress_done();
  if (progress_open_) err_ << "\n";
  progress_open_ = false;
}

}  // namespace lczs::ui
