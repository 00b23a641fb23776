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

#ifdef __cplusplus
}
static_assert(sizeof(CertRecord) == 536, "CertRecord is 536 bytes");
static_assert(offsetof(CertRecord, Name) == 4);
static_assert(offsetof(CertRecord, EMailAddr) == 260);
static_assert(offsetof(CertRecord, Thumbprint) == 516);
#endif

#endif
