// SPDX-License-Identifier: GPL-3.0-or-later
// What the cipher library's exports share: the one guard that keeps every
// exception inside the library, the message buffer, handles released with
// their scope, and the certificate lookup by thumbprint.
#pragma once

#include <cstdint>
#include <new>

#include "sealvane/csp/WinCrypt.h"
#include "sealvane/sealvanelib.h"

#define SL_EXPORT extern "C" __attribute__((visibility("default")))

namespace sealvane::lib {

using namespace sealvane::csp;

inline constexpr DWORD kBlobCapacity = 2060;
inline constexpr DWORD kOutOfMemory = 0xC0000017;

void WriteMessage(char* message, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Runs an export body; anything thrown becomes a failure with a message.
template <typename F>
inline int32_t Export(const char* name, char* message, F&& body) noexcept {
  try {
    return body() ? 1 : 0;
  } catch (const std::bad_alloc&) {
    WriteMessage(message, "%s - Out of memory: %x", name, kOutOfMemory);
  } catch (...) {
    WriteMessage(message, "%s - Internal error: %x", name, NTE_FAIL);
  }
  return 0;
}

// Writes the message for a null record or buffer; false.
bool BadArgument(const char* name, char* message);

inline const char* ProviderForLevel(int32_t level) { return level == 3 ? MS_ENHANCED_PROV_A : MS_DEF_PROV_A; }

using TempProv = ProvHandle;

// A verification context of the named provider.
bool AcquireVerify(HCRYPTPROV* prov, const char* provider);

// Opens a store and finds the certificate with `thumbprint` in it; failures
// are reported with `prefix` before the failing call's name.
bool FindCertificate(HCRYPTPROV prov, const char* storeName, const BYTE* thumbprint, const char* prefix,
                     StoreHandle& store, CertHandle& cert, char* message);

// Fills a listing record from a certificate.
void FillRecord(PCCERT_CONTEXT cert, CertRecord* record);

}  // namespace sealvane::lib
