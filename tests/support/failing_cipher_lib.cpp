// SPDX-License-Identifier: GPL-3.0-or-later
// A cipher library that is the real one (the file named by
// SEALVANE_REAL_CIPHER_LIB) except that SLDecrypt fails, as a library can,
// on its Nth call for a piece that is not the last (N from
// SEALVANE_FAIL_DECRYPT_AT, counted from 1).
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

#include "sealvane/sealvanelib.h"

namespace {

void* Real(const char* name) {
  static void* library = ::dlopen(std::getenv("SEALVANE_REAL_CIPHER_LIB"), RTLD_NOW | RTLD_LOCAL);
  return library != nullptr ? ::dlsym(library, name) : nullptr;
}

int g_calls = 0;

}  // namespace

#define FORWARD(name, params, args)                                           \
  extern "C" __attribute__((visibility("default"))) int32_t name params {     \
    static const auto real = reinterpret_cast<PFN_##name>(Real(#name));       \
    return real != nullptr ? real args : 0;                                   \
  }

FORWARD(SLGetCSP, (int32_t* providerLevel, char* message), (providerLevel, message))
FORWARD(SLGenRandomInit, (uint32_t* randomContext, char* message), (randomContext, message))
FORWARD(SLGenRandom, (uint32_t randomContext, uint32_t length, uint8_t* buffer, char* message),
        (randomContext, length, buffer, message))
FORWARD(SLGenRandomDone, (uint32_t* randomContext, char* message), (randomContext, message))
FORWARD(SLDecryptInit,
        (int32_t providerLevel, int32_t cipherNumber, const char* password, const uint8_t* thumbprint,
         const EncKeyBlob* keyBlob, SessionContext* context, char* message),
        (providerLevel, cipherNumber, password, thumbprint, keyBlob, context, message))
FORWARD(SLDecryptDone, (SessionContext* context, char* message), (context, message))

extern "C" __attribute__((visibility("default"))) int32_t SLDecrypt(SessionContext* context, int32_t final,
                                                                    uint32_t length, const uint8_t* source,
                                                                    uint32_t* dataLength, uint8_t* destination,
                                                                    char* message) {
  static const auto real = reinterpret_cast<PFN_SLDecrypt>(Real("SLDecrypt"));
  const char* at = std::getenv("SEALVANE_FAIL_DECRYPT_AT");
  if (final == 0 && at != nullptr && ++g_calls == std::atoi(at)) {
    std::snprintf(message, SL_MESSAGE_SIZE, "CryptDecrypt: %x", 0x8009000Fu);
    return 0;
  }
  return real != nullptr ? real(context, final, length, source, dataLength, destination, message) : 0;
}
