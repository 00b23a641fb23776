// SPDX-License-Identifier: GPL-3.0-or-later
// Where the system keeps its data, and what it learns from the process
// environment.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sealvane::platform {

std::optional<std::string> GetEnv(const std::string& name);

// The per-user data folder: $SEALVANE_HOME, else $XDG_DATA_HOME/sealvane,
// else ~/.local/share/sealvane. Created with mode 0700 (and missing parents)
// when absent. Throws RuntimeError naming the folder when it cannot be made.
std::string SealvaneHome();

// The user hive file inside SealvaneHome().
std::string UserHivePath();

// The machine hive: $SEALVANE_MACHINE_HIVE, else /var/lib/sealvane/machine.db.
std::string MachineHivePath();

// The user's documents folder as it is seeded into a new user hive, with
// $HOME written as %HOME% so that it expands at read time: xdg-user-dirs'
// XDG_DOCUMENTS_DIR when it is set, else %HOME%/Documents.
std::string DocumentsFolderSetting();

// The process's current directory; empty when it cannot be read.
std::string CurrentDirectory();

// The decimal separator of the user's numeric locale (LC_ALL, LC_NUMERIC,
// LANG), "." when the locale is unknown.
std::string LocaleDecimalSeparator();

// %NAME% replaced with the value of the environment variable NAME. A name
// that is not set, or a lone %, stays as written.
std::string ExpandEnvironmentText(std::string_view text);

}  // namespace sealvane::platform
