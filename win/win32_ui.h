// The dialogs on Windows: MessageBoxW for the message boxes and the forms
// of the form model drawn as modal windows built at run time. The form
// model has no geometry; the controls are laid out from top to bottom in
// design order, command buttons in a row at the foot of their container.
#pragma once

#include <memory>

#include "ui/ui.h"

namespace lczs::win {

std::unique_ptr<ui::Ui> make_win32_ui();

}  // namespace lczs::win
