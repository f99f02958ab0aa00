// The dialogs on Windows: MessageBoxW for the message boxes and the forms
// of the form model drawn as modal windows built at run time, each control
// where ui/form_layout.h puts it at the screen's DPI.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ui/ui.h"

namespace lczs::win {

// `host_name` gives the title of a message box that has none of its own:
// the application's name, as the application's own message box shows it.
std::unique_ptr<ui::Ui> make_win32_ui(std::function<std::string()> host_name = {});

// The face the forms draw `wanted` with: `wanted` itself when installed,
// else the first installed face with Chinese glyphs, so that a Windows
// whose language is not Chinese still shows the text.
std::wstring chinese_face(const std::string& wanted);

}  // namespace lczs::win
