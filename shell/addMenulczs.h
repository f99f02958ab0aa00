// The menu "栎川助手(&Z)" on the host's "Worksheet Menu Bar".
#pragma once

#include <string_view>

#include "shell/state.h"

namespace lczs::shell {

inline constexpr std::string_view kMenuBarName = "Worksheet Menu Bar";
inline constexpr std::string_view kMenuCaption = "栎川助手(&Z)";
// The top popup carries its caption as its tag, so that a second connection
// finds the menu it installed before.
inline constexpr std::string_view kMenuTag = kMenuCaption;

inline constexpr int kHelpFaceId = 983;
inline constexpr int kAboutFaceId = 49;

// Finds the menu bar and the installed menu; builds the menu when there is
// none, and binds the buttons of a menu found to this add-in's menu_events.
// Host errors are ignored statement by statement.
void install_menu(AddinState& state);

// Creates the menu's controls on menu_bar and binds the buttons. Host errors
// are ignored statement by statement.
void build_menu(AddinState& state);

}  // namespace lczs::shell
