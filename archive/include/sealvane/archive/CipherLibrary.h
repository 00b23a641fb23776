// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's binding to the cipher library: libsealvanelib.so is loaded
// from the program's folder at the first call of an export, and each export
// is looked up at its own first call. A missing library or export throws
// RuntimeError (48 or 453), a failure of the operation that needed it.
#pragma once

#include <string>

#include "sealvane/platform/DynamicLibrary.h"
#include "sealvane/sealvanelib.h"

namespace sealvane {

class CipherLibrary {
 public:
  // `fileName` is looked for in the program's folder unless it holds a slash.
  explicit CipherLibrary(std::string fileName = "libsealvanelib.so");

  // The library of this process.
  static CipherLibrary& Default();

  int32_t SLGetCSP(int32_t* providerLevel, char* message);
  int32_t SLHashString(const char* text, uint8_t* digest, char* message);
  int32_t SLGenRandomInit(uint32_t* randomContext, char* message);
  int32_t SLGenRandom(uint32_t randomContext, uint32_t length, uint8_t* buffer, char* message);
  int32_t SLGenRandomDone(uint32_t* randomContext, char* message);
  int32_t SLEncryptInit(int32_t providerLevel, int32_t cipherNumber, const char* password, const CertRecord* sender,
                        int32_t recipientCount, const CertRecord* recipients, SessionContext* context,
                        EncKeyBlob* keyBlobs, char* message);
  int32_t SLEncrypt(SessionContext* context, int32_t final, uint32_t length, const uint8_t* source,
                    uint32_t* bufferLength, uint8_t* destination, char* message);
  int32_t SLEncryptDone(SessionContext* context, char* message);
  int32_t SLDecryptInit(int32_t providerLevel, int32_t cipherNumber, const char* password, const uint8_t* thumbprint,
                        const EncKeyBlob* keyBlob, SessionContext* context, char* message);
  int32_t SLDecrypt(SessionContext* context, int32_t final, uint32_t length, const uint8_t* source,
                    uint32_t* dataLength, uint8_t* destination, char* message);
  int32_t SLDecryptDone(SessionContext* context, char* message);
  int32_t SLGetCertCount(const char* storeName, int32_t privateKeyOnly, int32_t* count, char* message);
  int32_t SLGetCerts(const char* storeName, int32_t privateKeyOnly, CertRecord* records, int32_t capacity,
                     char* message);
  int32_t SLFindCert(const char* storeName, const uint8_t* thumbprint, CertRecord* record, char* message);
  int32_t SLGenDigitalID(const char* subjectName, int32_t emailProtection, int32_t strongKeyProtection,
                         int32_t serialNumber, const SLSystemTime* notBefore, const SLSystemTime* notAfter,
                         uint8_t* thumbprint, char* message);

 private:
  template <typename F>
  F Resolve(F& slot, const char* name) {
    return m_library.Resolve(slot, name);
  }

  platform::LazyLibrary m_library;
  PFN_SLGetCSP m_getCsp = nullptr;
  PFN_SLHashString m_hashString = nullptr;
  PFN_SLGenRandomInit m_genRandomInit = nullptr;
  PFN_SLGenRandom m_genRandom = nullptr;
  PFN_SLGenRandomDone m_genRandomDone = nullptr;
  PFN_SLEncryptInit m_encryptInit = nullptr;
  PFN_SLEncrypt m_encrypt = nullptr;
  PFN_SLEncryptDone m_encryptDone = nullptr;
  PFN_SLDecryptInit m_decryptInit = nullptr;
  PFN_SLDecrypt m_decrypt = nullptr;
  PFN_SLDecryptDone m_decryptDone = nullptr;
  PFN_SLGetCertCount m_getCertCount = nullptr;
  PFN_SLGetCerts m_getCerts = nullptr;
  PFN_SLFindCert m_findCert = nullptr;
  PFN_SLGenDigitalID m_genDigitalId = nullptr;
};

}  // namespace sealvane
