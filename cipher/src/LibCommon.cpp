// SPDX-License-Identifier: GPL-3.0-or-later
#include "LibInternal.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "sealvane/platform/Process.h"

namespace {

// Whatever program loads the library (the mail client with its add-in among
// them) holds passwords and keys once it calls it: none of that may end up
// in a core file.
__attribute__((constructor)) void KeepCallersSecretsOutOfCoreDumps() {
  sealvane::platform::KeepSecretsOutOfCoreDumps();
}

}  // namespace

namespace sealvane::lib {

void WriteMessage(char* message, const char* format, ...) {
  if (message == nullptr) return;
  va_list args;
  va_start(args, format);
  std::vsnprintf(message, SL_MESSAGE_SIZE, format, args);
  va_end(args);
}

bool BadArgument(const char* name, char* message) {
  WriteMessage(message, "%s - Invalid argument: %x", name, ERROR_INVALID_PARAMETER_CODE);
  return false;
}


bool AcquireVerify(HCRYPTPROV* prov, const char* provider) {
  return CryptAcquireContextA(prov, nullptr, provider, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) == TRUE;
}

bool FindCertificate(HCRYPTPROV prov, const char* storeName, const BYTE* thumbprint, const char* prefix,
                     StoreHandle& store, CertHandle& cert, char* message) {
  store.h = CertOpenSystemStoreA(prov, storeName);
  if (store.h == 0) {
    WriteMessage(message, "%sCertOpenSystemStore: %x", prefix, GetLastError());
    return false;
  }
  // Searched for before anything is written: the thumbprint may lie in the
  // caller's record.
  BYTE wanted[20];
  std::memcpy(wanted, thumbprint, sizeof(wanted));
  const CRYPT_HASH_BLOB blob {20, wanted};
  cert.h = CertFindCertificateInStore(store.h, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH, &blob, 0);
  if (cert.h == 0) {
    WriteMessage(message, "%sCertFindCertificateInStore: %x", prefix, GetLastError());
    return false;
  }
  return true;
}

void FillRecord(PCCERT_CONTEXT cert, CertRecord* record) {
  BYTE thumbprint[20] = {};
  DWORD size = sizeof(thumbprint);
  CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, thumbprint, &size);
  record->Selected = 0;
  CertGetNameStringA(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, record->Name, sizeof(record->Name));
  record->Name[255] = '\0';
  CertGetNameStringA(cert, CERT_NAME_EMAIL_TYPE, 0, nullptr, record->EMailAddr, sizeof(record->EMailAddr));
  record->EMailAddr[255] = '\0';
  std::memcpy(record->Thumbprint, thumbprint, sizeof(thumbprint));
}

}  // namespace sealvane::lib
