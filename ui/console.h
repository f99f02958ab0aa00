// What the text backends share: display width of text in a terminal, the
// printed form of a message box, the picture of a data layout as a text
// table, and which of a form's buttons confirms, cancels or closes it.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "ui/form.h"
#include "ui/ui.h"

namespace lczs::ui {

// Columns the UTF-8 text takes in a terminal: East Asian wide and
// full-width characters take two, combining marks none, the rest one.
int display_width(std::string_view utf8);
// `text` followed by spaces up to `width` columns.
std::string pad_right(std::string_view text, int width);

// A message box as the text backends print it: "[title]" on a line of its
// own ("[]" for a box without a title), then the prompt's lines.
void print_message(std::ostream& out, std::string_view prompt, std::string_view title);
// The answer taken, as the line after the box: "→ 确定" or "→ 取消".
void print_answer(std::ostream& out, int answer);

// The picture as a text table with column letters and row numbers, one
// line per sheet row, columns aligned by display width.
std::string draw_picture(const PictureTable& picture);

// The form's button playing `role` ("confirm", "cancel", "close"): by its
// role hint, or, for a button without a hint, by its caption (取消 and 格式调整>>
// cancel; 确定, 继续执行>> and 关闭 confirm; 关闭 also closes). Only visible
// command buttons count. nullptr when there is none.
Control* find_button(const Form& form, std::string_view role);

// Presses the button that stops the form (its cancel button, else the
// button of an information form), unloading the form if that leaves it
// open. Never the close box: on some forms the close box goes on.
// Returns the caption of what was pressed ("" when the form was only unloaded).
std::string cancel_form(Form& form);

}  // namespace lczs::ui
