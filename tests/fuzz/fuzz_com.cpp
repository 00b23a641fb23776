// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the component model's readers of outside input: the first
// byte picks one, the rest is its input. GUID text, the type-library line
// format, a module's resource table and one resource looked up in it, a
// bitmap resource, CF_HDROP data, a registrar script (run against a hive in
// a scratch home) and the ELF section reader (the input as a module file).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>

#include <unistd.h>

#include "ScratchFolder.h"
#include "sealvane/com/Com.h"
#include "sealvane/com/Registrar.h"
#include "sealvane/com/Resources.h"
#include "sealvane/com/Shell.h"
#include "sealvane/com/TypeLib.h"

namespace com = sealvane::com;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  sealvane::fuzz::ScratchHome();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 7) {
    case 0:
      (void)com::GuidFromString(input);
      break;
    case 1: {
      com::TypeLibrary library;
      std::string error;
      (void)com::ParseTypeLibrary(input, library, error);
      break;
    }
    case 2:
      if (const auto resources = com::ParseResources(input)) {
        for (const auto& r : *resources) (void)com::FindResource(input, r.type, r.id);
      }
      break;
    case 3:
      if (com::HBITMAP bitmap = com::LoadBitmapFromResource(input)) {
        com::BitmapInfo info;
        if (com::GetBitmapInfo(bitmap, info) && info.width > 0 && info.height > 0) {
          (void)com::GetBitmapPixel(bitmap, info.width - 1, info.height - 1);
        }
        com::DeleteObject(bitmap);
      }
      break;
    case 4: {
      // CF_HDROP data as another program could hand it over.
      com::HGLOBAL block = com::GlobalAlloc(com::GHND, input.size());
      if (block == nullptr) break;
      if (void* memory = com::GlobalLock(block)) {
        std::memcpy(memory, input.data(), input.size());
        com::GlobalUnlock(block);
      }
      const com::UINT count = com::DragQueryFileA(block, 0xFFFFFFFFu, nullptr, 0);
      char name[64];
      for (com::UINT i = 0; i < count && i < 16; ++i) {
        (void)com::DragQueryFileA(block, i, nullptr, 0);
        (void)com::DragQueryFileA(block, i, name, sizeof(name));
      }
      com::GlobalFree(block);
      break;
    }
    case 5: {
      com::Registrar registrar;
      registrar.AddReplacement("MODULE", "/usr/lib/fuzz.so");
      (void)registrar.Register(input);
      (void)registrar.Unregister(input);
      break;
    }
    case 6: {
      const std::string path = sealvane::fuzz::ScratchHome() + "/module.so";
      std::ofstream(path, std::ios::binary | std::ios::trunc).write(input.data(), static_cast<std::streamsize>(input.size()));
      std::string blob;
      (void)com::ReadModuleResources(path, blob);
      break;
    }
  }
  return 0;
}
