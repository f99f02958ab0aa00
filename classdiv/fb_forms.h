// The class division's dialogs: the data-format form gs, the settings form
// c_fbsz and the help form fb_help. Each call builds a fresh form in its
// designed state; the handlers write into the job's state.
#pragma once

#include <memory>

#include "classdiv/fb_state.h"
#include "ui/flags_ui.h"
#include "ui/form.h"
#include "ui/ui.h"

namespace lczs::classdiv {

std::unique_ptr<ui::Form> make_gs(FbState& st);
// `ui` shows the settings form's own message boxes.
std::unique_ptr<ui::Form> make_c_fbsz(FbState& st, ui::Ui& ui);
std::unique_ptr<ui::Form> make_fb_help();

// The options of the `lczs` command that fill each form, with the words its
// help shows.
ui::FormFlags gs_flags();
ui::FormFlags c_fbsz_flags();
ui::FormFlags fb_help_flags();

// The help text, one entry per label line.
const std::vector<std::string>& fb_help_lines();

}  // namespace lczs::classdiv
