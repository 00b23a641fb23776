// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop program's start-up: the version in the settings, the main
// window loaded and shown, the command line turned into a prepared mode,
// and the welcome question on the first start.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sealvane/archive/UiPort.h"
#include "sealvane/forms/frmMain.h"

namespace sealvane::forms {

inline constexpr std::int32_t kVersionMajor = 1;
inline constexpr std::int32_t kVersionMinor = 1;
inline constexpr std::int32_t kVersionRevision = 518;
inline constexpr const char* kFileVersion = "1.01.0518";

// The command line the platform would have passed for these arguments: an
// argument that is "/" and letters stays as it is, every other one is put in
// double quotes (unless it starts with one), all joined by single blanks.
std::string RebuildCommandLine(const std::vector<std::string>& i_colArgs);

// Several files on the command line: "/e FILE FILE..." encrypts them all;
// "FILE FILE..." as if they were dropped on the window (all archives:
// decrypted). Fills the files and the mode ("" to decide as a drop does);
// false for any other command line.
bool SeveralFiles(const std::vector<std::string>& i_colArgs, std::vector<std::string>& o_colFiles,
                  std::string& o_strMode);

class modMain {
 public:
  // `show` shows the main window (not modal). Returns false when start-up
  // ended before a window could be shown: the program then ends.
  // `i_colFiles`: several files named on the command line (see
  // SeveralFiles), taken instead of `i_strCmd`.
  static bool Startup(UiPort& ui, frmMain& form, const std::function<void()>& show, const std::string& i_strCmd,
                      const std::vector<std::string>& i_colFiles = {}, const std::string& i_strFilesMode = {});

  // The first start's question; later starts do nothing.
  static void ShowWelcome(UiPort& ui, frmMain& form);
};

// The ".sva" file type in HKEY_CLASSES_ROOT: ".sva" names "Sealvane.Archive",
// which has its description, its icon and the open command (the program in
// double quotes, then "%1" in double quotes). 0, or the registry's error
// after "Failed to register Sealvane shell settings." was shown.
std::int32_t RegisterShellSettings(UiPort& ui, const std::string& i_strProgram, const std::string& i_strIcon);

}  // namespace sealvane::forms
