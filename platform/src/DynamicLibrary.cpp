// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/platform/DynamicLibrary.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <utility>

#include "sealvane/platform/RuntimeError.h"

namespace sealvane::platform {

std::string ProgramFolder() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (n <= 0) return ".";
  std::string exe(path, static_cast<std::size_t>(n));
  const std::size_t slash = exe.rfind('/');
  return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : exe.substr(0, slash);
}

DynamicLibrary::~DynamicLibrary() {
  // Libraries stay loaded for the life of the process: the cipher library's
  // providers and handles must outlive any object that still refers to them.
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
  m_handle = std::exchange(other.m_handle, nullptr);
  return *this;
}

DynamicLibrary DynamicLibrary::Load(const std::string& fileName) {
  return LoadSystem(fileName.find('/') != std::string::npos ? fileName : ProgramFolder() + "/" + fileName);
}

DynamicLibrary DynamicLibrary::LoadSystem(const std::string& path) {
  DynamicLibrary lib;
  lib.m_handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (lib.m_handle == nullptr) {
    const char* why = ::dlerror();
    throw RuntimeError(rt::kLibraryLoad, "Error in loading DLL " + path + (why != nullptr ? std::string(": ") + why : ""));
  }
  return lib;
}

void* DynamicLibrary::Symbol(const char* name) const {
  void* p = m_handle != nullptr ? ::dlsym(m_handle, name) : nullptr;
  if (p == nullptr) throw RuntimeError(rt::kEntryPointNotFound, std::string("Specified DLL function not found: ") + name);
  return p;
}

}  // namespace sealvane::platform
