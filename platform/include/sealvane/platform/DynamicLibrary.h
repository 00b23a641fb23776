// SPDX-License-Identifier: GPL-3.0-or-later
// Shared libraries loaded by file name at run time, from the program's own
// folder. A missing library or export is a run-time failure (48 or 453) of
// the operation that needed it, never a failure at start-up.
#pragma once

#include <mutex>
#include <string>
#include <utility>

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

// A library loaded at the first lookup of one of its functions, each
// function looked up once into the caller's slot. Thread-safe.
class LazyLibrary {
 public:
  // `systemLibrary`: looked for where the system keeps libraries, else in
  // the program's folder (a path with a slash is used as it is).
  LazyLibrary(std::string fileName, bool systemLibrary)
      : m_fileName(std::move(fileName)), m_bSystem(systemLibrary) {}

  // Throws RuntimeError 48 or 453.
  template <typename F>
  F Resolve(F& slot, const char* name) {
    std::lock_guard lock(m_mutex);
    if (slot == nullptr) {
      if (!m_bLoaded) {
        m_library = m_bSystem ? DynamicLibrary::LoadSystem(m_fileName) : DynamicLibrary::Load(m_fileName);
        m_bLoaded = true;
      }
      slot = m_library.Function<F>(name);
    }
    return slot;
  }

 private:
  std::string m_fileName;
  bool m_bSystem;
  std::mutex m_mutex;
  DynamicLibrary m_library;
  bool m_bLoaded = false;
};

}  // namespace sealvane::platform
