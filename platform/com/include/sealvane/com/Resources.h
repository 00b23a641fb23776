// SPDX-License-Identifier: GPL-3.0-or-later
// Resources of a module (registry scripts, type libraries, bitmaps, strings,
// version information), compiled into the module's ".sealvane.rsrc"
// section by sealvane-rc. A module reads its own from memory; anyone else
// reads them from the module's file without loading it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sealvane/com/Com.h"

namespace sealvane::com {

inline constexpr const char* kResourceSection = ".sealvane.rsrc";
inline constexpr std::string_view kResourceMagic{"SVRSRC1\0", 8};
// No resource section is larger than this.
inline constexpr std::size_t kMaxResourceBlob = 4u << 20;

struct Resource {
  std::string type;  // "REGISTRY", "TYPELIB", "BITMAP", "STRING", "VERSION"
  std::uint32_t id = 0;
  std::string data;
};

// The blob: the magic, a 32-bit count, then per resource a 16-bit type
// length, the type, the 32-bit id, a 32-bit size and the data (all numbers
// little-endian). nullopt when it is damaged.
std::optional<std::vector<Resource>> ParseResources(std::string_view blob);
std::string SerializeResources(const std::vector<Resource>& resources);

// One resource of a blob; nullopt when it holds none of that type and id.
std::optional<std::string> FindResource(std::string_view blob, std::string_view type, std::uint32_t id);

// The resource section of a module file (a 64-bit ELF shared library).
// S_OK; TYPE_E_CANTLOADLIBRARY when the file cannot be read or is no such
// library; TYPE_E_INVDATAREAD when it has no resource section or a damaged one.
HRESULT ReadModuleResources(const std::string& path, std::string& blob);

// The full path of the module (program or shared library) that holds
// `address`: how a module finds its own file. Empty when it cannot be told.
std::string ModuleFileName(const void* address);

}  // namespace sealvane::com

namespace sealvane::com {

// The resources of the module being built, from sealvane-rc's output
// (each module that has resources links one such file).
extern const unsigned char kModuleResources[];
extern const std::size_t kModuleResourcesSize;
inline std::string_view ModuleResources() {
  return {reinterpret_cast<const char*>(kModuleResources), kModuleResourcesSize};
}

}  // namespace sealvane::com
