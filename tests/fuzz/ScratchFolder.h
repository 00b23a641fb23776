// SPDX-License-Identifier: GPL-3.0-or-later
// A folder of its own for a fuzz target's files (its home, its hives), so
// that a run never touches the user's.
#pragma once

#include <cstdlib>
#include <string>

#include <unistd.h>

namespace sealvane::fuzz {

inline std::string ScratchFolder() {
  char folder[] = "/tmp/sealvane-fuzz-XXXXXX";
  if (::mkdtemp(folder) == nullptr) std::abort();
  const std::string path = folder;
  // The machine hive too: a target must not need (or change) the real one.
  ::setenv("SEALVANE_MACHINE_HIVE", (path + "/machine.db").c_str(), 1);
  return path;
}

// A scratch folder that is also the home ($SEALVANE_HOME) of the settings,
// stores and keys, made once (at the first call).
inline const std::string& ScratchHome() {
  static const std::string home = [] {
    std::string path = ScratchFolder();
    ::setenv("SEALVANE_HOME", path.c_str(), 1);
    return path;
  }();
  return home;
}

}  // namespace sealvane::fuzz
