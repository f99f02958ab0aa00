// What the text backends share: display width of text in a terminal, the
// printed form of a message box, the picture of a data layout as a text
// table, and which of a form's buttons confirms, cancels or closes it.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

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

// The form's visible command buttons as the text backends number them, the
// same on every form: the one that goes on (role "confirm") first, the one
// that stops ("cancel") second, any other after them in design order.
std::vector<Control*> ordered_buttons(const Form& form);

// How the text backends name a text box, never by its internal name: the
// label that introduces it (the last label before it on its page, with
// only boxes between), "第 n 个" added when several boxes share that label,
// ending in a colon.
std::string box_title(const Form& form, const Control& box);
// The label that explains a box: the one right after it, unless that label
// introduces the next box. nullptr when there is none.
const Control* box_hint(const Form& form, const Control& box);
// True for a label that box_hint gives to some box.
bool is_box_hint(const Form& form, const Control& label);

// Wraps `text` to `width` columns: breaks at spaces or beside a wide
// character, never inside a run of narrow ones (a word, an option, a
// number), nor before closing punctuation. The text starts at column
// `indent` (after what the caller printed) and so does every line after
// the first, which starts with that many spaces.
std::string wrap_text(std::string_view text, int width, int indent = 0);

// Presses the button that stops the form (its cancel button, else the
// button of an information form), unloading the form if that leaves it
// open. Never the close box: on some forms the close box goes on.
// Returns the caption of what was pressed ("" when the form was only unloaded).
std::string cancel_form(Form& form);

}  // namespace lczs::ui
