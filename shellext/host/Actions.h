// SPDX-License-Identifier: GPL-3.0-or-later
// The file managers' own context-menu entries, per user, each calling
// sealvane-shell with the selected file: a Dolphin service menu, Nemo
// actions, Thunar custom actions (merged into the user's uca.xml), and a
// Nautilus extension (or Nautilus scripts where the Python binding for
// Nautilus is missing). Every file written carries a mark, and removal
// takes away only what carries it.
#pragma once

#include <string>
#include <vector>

namespace sealvane::shellhost {

struct ActionFiles {
  std::vector<std::string> written;
  std::vector<std::string> removed;
  std::vector<std::string> edited;    // files of the user's that lost Sealvane's entries and stay
  std::vector<std::string> problems;  // sentences for files that could not be written or read
};

// Where the files go: $XDG_DATA_HOME (default ~/.local/share) and
// $XDG_CONFIG_HOME (default ~/.config).
std::string DataHome();
std::string ConfigHome();

// True when Nautilus's Python binding is installed (or
// SEALVANE_NAUTILUS_PYTHON is 1; 0 says it is not).
bool NautilusPythonAvailable();

// `shell`: the full path of sealvane-shell, which every entry calls.
ActionFiles WriteActions(const std::string& shell);
ActionFiles RemoveActions();

// The pieces, for tests.
inline constexpr const char* kMark = "Sealvane context-menu commands, written by sealvane-shell register";
std::string DesktopExecArgument(const std::string& argument);
std::string ShellQuote(const std::string& argument);
// The user's uca.xml with Sealvane's actions put in (replacing earlier
// ones) or, with an empty `actions`, taken out; false when the file is not
// an actions list this can change safely.
bool MergeThunarActions(const std::string& existing, const std::string& actions, std::string& out);

}  // namespace sealvane::shellhost
