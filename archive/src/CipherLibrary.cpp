// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/archive/CipherLibrary.h"

#include <utility>

namespace sealvane {

CipherLibrary::CipherLibrary(std::string fileName) : m_library(std::move(fileName), false) {}

CipherLibrary& CipherLibrary::Default() {
  static CipherLibrary library;
  return library;
}

int32_t CipherLibrary::SLGetCSP(int32_t* providerLevel, char* message) {
  return Resolve(m_getCsp, "SLGetCSP")(providerLevel, message);
}

int32_t CipherLibrary::SLHashString(const char* text, uint8_t* digest, char* message) {
  return Resolve(m_hashString, "SLHashString")(text, digest, message);
}

int32_t CipherLibrary::SLGenRandomInit(uint32_t* randomContext, char* message) {
  return Resolve(m_genRandomInit, "SLGenRandomInit")(randomContext, message);
}

int32_t CipherLibrary::SLGenRandom(uint32_t randomContext, uint32_t length, uint8_t* buffer, char* message) {
  return Resolve(m_genRandom, "SLGenRandom")(randomContext, length, buffer, message);
}

int32_t CipherLibrary::SLGenRandomDone(uint32_t* randomContext, char* message) {
  return Resolve(m_genRandomDone, "SLGenRandomDone")(randomContext, message);
}

int32_t CipherLibrary::SLEncryptInit(int32_t providerLevel, int32_t cipherNumber, const char* password,
                                     const CertRecord* sender, int32_t recipientCount, const CertRecord* recipients,
                                     SessionContext* context, EncKeyBlob* keyBlobs, char* message) {
  return Resolve(m_encryptInit, "SLEncryptInit")(providerLevel, cipherNumber, password, sender, recipientCount,
                                                 recipients, context, keyBlobs, message);
}

int32_t CipherLibrary::SLEncrypt(SessionContext* context, int32_t final, uint32_t length, const uint8_t* source,
                                 uint32_t* bufferLength, uint8_t* destination, char* message) {
  return Resolve(m_encrypt, "SLEncrypt")(context, final, length, source, bufferLength, destination, message);
}

int32_t CipherLibrary::SLEncryptDone(SessionContext* context, char* message) {
  return Resolve(m_encryptDone, "SLEncryptDone")(context, message);
}

int32_t CipherLibrary::SLDecryptInit(int32_t providerLevel, int32_t cipherNumber, const char* password,
                                     const uint8_t* thumbprint, const EncKeyBlob* keyBlob, SessionContext* context,
                                     char* message) {
  return Resolve(m_decryptInit, "SLDecryptInit")(providerLevel, cipherNumber, password, thumbprint, keyBlob, context,
                                                 message);
}

int32_t CipherLibrary::SLDecrypt(SessionContext* context, int32_t final, uint32_t length, const uint8_t* source,
                                 uint32_t* dataLength, uint8_t* destination, char* message) {
  return Resolve(m_decrypt, "SLDecrypt")(context, final, length, source, dataLength, destination, message);
}

int32_t CipherLibrary::SLDecryptDone(SessionContext* context, char* message) {
  return Resolve(m_decryptDone, "SLDecryptDone")(context, message);
}

int32_t CipherLibrary::SLGetCertCount(const char* storeName, int32_t privateKeyOnly, int32_t* count, char* message) {
  return Resolve(m_getCertCount, "SLGetCertCount")(storeName, privateKeyOnly, count, message);
}

int32_t CipherLibrary::SLGetCerts(const char* storeName, int32_t privateKeyOnly, CertRecord* records,
                                  int32_t capacity, char* message) {
  return Resolve(m_getCerts, "SLGetCerts")(storeName, privateKeyOnly, records, capacity, message);
}

int32_t CipherLibrary::SLFindCert(const char* storeName, const uint8_t* thumbprint, CertRecord* record, char* message) {
  return Resolve(m_findCert, "SLFindCert")(storeName, thumbprint, record, message);
}

int32_t CipherLibrary::SLGenDigitalID(const char* subjectName, int32_t emailProtection, int32_t strongKeyProtection,
                                      int32_t serialNumber, const SLSystemTime* notBefore,
                                      const SLSystemTime* notAfter, uint8_t* thumbprint, char* message) {
  return Resolve(m_genDigitalId, "SLGenDigitalID")(subjectName, emailProtection, strongKeyProtection, serialNumber,
                                                   notBefore, notAfter, thumbprint, message);
}

}  // namespace sealvane
