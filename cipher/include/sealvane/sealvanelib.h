/* SPDX-License-Identifier: GPL-3.0-or-later
 * The cipher library's binary interface: the records that cross it. */
#ifndef SEALVANE_SEALVANELIB_H
#define SEALVANE_SEALVANELIB_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* One certificate as the library lists it: 536 bytes. Name and EMailAddr are
 * NUL-terminated 8-bit text; Thumbprint is the SHA-1 hash of the encoded
 * certificate. Records in an array follow each other without gaps. */
typedef struct CertRecord {
  int32_t Selected;
  char Name[256];
  char EMailAddr[256];
  uint8_t Thumbprint[20];
} CertRecord;

/* A session key wrapped for one digital ID: Size valid bytes of Blob. */
typedef struct EncKeyBlob {
  uint32_t Size;
  uint8_t Blob[2060];
} EncKeyBlob;

/* The handles held from an Init to its Done. */
typedef struct SessionContext {
  uint32_t hProv;
  uint32_t hKey;
} SessionContext;

/* A calendar date and time, read as UTC. */
typedef struct SLSystemTime {
  uint16_t wYear;
  uint16_t wMonth;
  uint16_t wDayOfWeek;
  uint16_t wDay;
  uint16_t wHour;
  uint16_t wMinute;
  uint16_t wSecond;
  uint16_t wMilliseconds;
} SLSystemTime;

#define SL_MESSAGE_SIZE 256

/* Every export returns 1 for success and 0 for failure; on failure it writes
 * one NUL-terminated message into the caller's 256-byte message buffer, and
 * on success it leaves that buffer untouched. */
typedef int32_t (*PFN_SLGetCSP)(int32_t* providerLevel, char* message);
typedef int32_t (*PFN_SLHashString)(const char* text, uint8_t* digest, char* message);
typedef int32_t (*PFN_SLGenRandomInit)(uint32_t* randomContext, char* message);
typedef int32_t (*PFN_SLGenRandom)(uint32_t randomContext, uint32_t length, uint8_t* buffer, char* message);
typedef int32_t (*PFN_SLGenRandomDone)(uint32_t* randomContext, char* message);
typedef int32_t (*PFN_SLEncryptInit)(int32_t providerLevel, int32_t cipherNumber, const char* password,
                                     const CertRecord* sender, int32_t recipientCount, const CertRecord* recipients,
                                     SessionContext* context, EncKeyBlob* keyBlobs, char* message);
typedef int32_t (*PFN_SLEncrypt)(SessionContext* context, int32_t final, uint32_t length, const uint8_t* source,
                                 uint32_t* bufferLength, uint8_t* destination, char* message);
typedef int32_t (*PFN_SLEncryptDone)(SessionContext* context, char* message);
typedef int32_t (*PFN_SLDecryptInit)(int32_t providerLevel, int32_t cipherNumber, const char* password,
                                     const uint8_t* thumbprint, const EncKeyBlob* keyBlob, SessionContext* context,
                                     char* message);
typedef int32_t (*PFN_SLDecrypt)(SessionContext* context, int32_t final, uint32_t length, const uint8_t* source,
                                 uint32_t* dataLength, uint8_t* destination, char* message);
typedef int32_t (*PFN_SLDecryptDone)(SessionContext* context, char* message);
typedef int32_t (*PFN_SLGetCertCount)(const char* storeName, int32_t privateKeyOnly, int32_t* count, char* message);
/* capacity: the number of records the caller allocated; never more are written. */
typedef int32_t (*PFN_SLGetCerts)(const char* storeName, int32_t privateKeyOnly, CertRecord* records,
                                  int32_t capacity, char* message);
typedef int32_t (*PFN_SLFindCert)(const char* storeName, const uint8_t* thumbprint, CertRecord* record,
                                  char* message);
typedef int32_t (*PFN_SLGenDigitalID)(const char* subjectName, int32_t emailProtection, int32_t strongKeyProtection,
                                      int32_t serialNumber, const SLSystemTime* notBefore,
                                      const SLSystemTime* notAfter, uint8_t* thumbprint, char* message);

#ifdef __cplusplus
}
static_assert(sizeof(EncKeyBlob) == 2064, "EncKeyBlob is 2064 bytes");
static_assert(sizeof(SessionContext) == 8, "SessionContext is two 32-bit slots");
static_assert(sizeof(SLSystemTime) == 16, "eight 16-bit fields");
static_assert(sizeof(CertRecord) == 536, "CertRecord is 536 bytes");
static_assert(offsetof(CertRecord, Name) == 4);
static_assert(offsetof(CertRecord, EMailAddr) == 260);
static_assert(offsetof(CertRecord, Thumbprint) == 516);
#endif

#endif
