// The per-user folders of the freedesktop base directory rules.
#pragma once

#include <string>

// $XDG_CONFIG_HOME, else ~/.config (no trailing slash).
std::string ConfigHome();
// $XDG_DATA_HOME, else ~/.local/share.
std::string DataHome();
// $XDG_STATE_HOME, else ~/.local/state.
std::string StateHome();
// The documents folder: $XDG_DOCUMENTS_DIR, else XDG_DOCUMENTS_DIR of
// user-dirs.dirs in the config home, else ~/Documents.
std::string DocumentsDir();
// $HOME, else the password entry's home folder.
std::string HomeDir();
