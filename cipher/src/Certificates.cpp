// SPDX-License-Identifier: GPL-3.0-or-later
// The exports that list and find certificates in the user's stores.
#include <type_traits>

#include "LibInternal.h"

using namespace sealvane::lib;

namespace {

bool PassesFilter(PCCERT_CONTEXT cert, bool privateKeyOnly) {
  if (!privateKeyOnly) return true;
  DWORD keySpec = 0;
  DWORD size = sizeof(keySpec);
  return CertGetCertificateContextProperty(cert, CERT_KEY_SPEC_PROP_ID, &keySpec, &size) == TRUE;
}

// Opens the base provider and the named store for the three queries.
bool OpenQueryStore(const char* storeName, TempProv& prov, StoreHandle& store, char* message) {
  if (!AcquireVerify(&prov.h, MS_DEF_PROV_A)) {
    WriteMessage(message, "CryptAcquireContext: %x", GetLastError());
    return false;
  }
  store.h = CertOpenSystemStoreA(prov.h, storeName);
  if (store.h == 0) {
    WriteMessage(message, "CertOpenSystemStore: %x", GetLastError());
    return false;
  }
  return true;
}

}  // namespace

SL_EXPORT int32_t SLGetCertCount(const char* storeName, int32_t privateKeyOnly, int32_t* count, char* message) {
  return Export("SLGetCertCount", message, [&] {
    if (storeName == nullptr || count == nullptr) return BadArgument("SLGetCertCount", message);
    TempProv prov;
    StoreHandle store;
    if (!OpenQueryStore(storeName, prov, store, message)) return false;
    *count = 0;
    PCCERT_CONTEXT cert = 0;
    while ((cert = CertEnumCertificatesInStore(store.h, cert)) != 0) {
      if (PassesFilter(cert, privateKeyOnly != 0)) ++*count;
    }
    return true;
  });
}

SL_EXPORT int32_t SLGetCerts(const char* storeName, int32_t privateKeyOnly, CertRecord* records, int32_t capacity,
                             char* message) {
  return Export("SLGetCerts", message, [&] {
    if (storeName == nullptr || (capacity > 0 && records == nullptr)) return BadArgument("SLGetCerts", message);
    TempProv prov;
    StoreHandle store;
    if (!OpenQueryStore(storeName, prov, store, message)) return false;
    int32_t i = 0;
    PCCERT_CONTEXT cert = 0;
    while ((cert = CertEnumCertificatesInStore(store.h, cert)) != 0) {
      if (!PassesFilter(cert, privateKeyOnly != 0)) continue;
      if (i >= capacity) {
        // The store grew since it was counted: the caller's records are full.
        CertFreeCertificateContext(cert);
        break;
      }
      FillRecord(cert, &records[i]);
      ++i;
    }
    return true;
  });
}

SL_EXPORT int32_t SLFindCert(const char* storeName, const uint8_t* thumbprint, CertRecord* record, char* message) {
  return Export("SLFindCert", message, [&] {
    if (storeName == nullptr || thumbprint == nullptr || record == nullptr) return BadArgument("SLFindCert", message);
    TempProv prov;
    if (!AcquireVerify(&prov.h, MS_DEF_PROV_A)) {
      WriteMessage(message, "CryptAcquireContext: %x", GetLastError());
      return false;
    }
    StoreHandle store;
    CertHandle cert;
    if (!FindCertificate(prov.h, storeName, thumbprint, "", store, cert, message)) return false;
    FillRecord(cert.h, record);
    return true;
  });
}

// Every export has exactly the type its caller binds.
static_assert(std::is_same_v<decltype(&SLGetCertCount), PFN_SLGetCertCount>);
static_assert(std::is_same_v<decltype(&SLGetCerts), PFN_SLGetCerts>);
static_assert(std::is_same_v<decltype(&SLFindCert), PFN_SLFindCert>);
