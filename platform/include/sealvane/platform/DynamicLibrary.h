// SPDX-License-Identifier: GPL-3.0-or-later
// Shared libraries loaded by file name at run time, from the program's own
// folder. A missing library or export is a run-time failure (48 or 453) of
// the operation that needed it, never a failure at start-up.
#pragma once

#include <string>

namespace sealvane::platform {

// The folder that holds the running program.
std::string ProgramFolder();

class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  ~DynamicLibrary();
  DynamicLibrary(DynamicLibrary&& other) noexcept;
  DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // Loads `fileName` from the program's folder (a path with a slash is used
  // as it is). Throws RuntimeError 48 naming the library.
  static DynamicLibrary Load(const std::string& fileName);

  // Loads a library of the system by its file name ("libz.so.1"), where the
  // system looks for libraries. Throws RuntimeError 48 naming it.
  static DynamicLibrary LoadSystem(const std::string& fileName);

  // Throws RuntimeError 453 naming the export.
  void* Symbol(const char* name) const;

  template <typename F>
  F Function(const char* name) const {
    return reinterpret_cast<F>(Symbol(name));
  }

 private:
  void* m_handle = nullptr;
};

}  // namespace sealvane::platform
