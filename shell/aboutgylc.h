// The About entry: the form gylc, loaded on first use and unloaded when it
// closes, so every showing starts in its designed state.
#pragma once

#include <memory>

#include "shell/state.h"
#include "ui/form.h"

namespace lczs::shell {

// The About form as designed, its button bound.
std::unique_ptr<ui::Form> make_gylc();

// Shows gylc modally; returns once the user has closed it.
void show_about(AddinState& state);

}  // namespace lczs::shell
