// SPDX-License-Identifier: GPL-3.0-or-later
// Objects behind the provider layer's handles, the handle table, the
// OpenSSL helpers and the error plumbing shared by its source files.
#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <array>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sealvane/csp/WinCrypt.h"

namespace sealvane::csp::detail {

// A failure with its code, carried to the function's guard.
struct CspFailure {
  DWORD code;
};
[[noreturn]] inline void Fail(DWORD code) { throw CspFailure {code}; }

// Runs a provider function: a failure becomes FALSE and the last error.
template <typename F>
BOOL Guard(F&& body) noexcept {
  try {
    body();
    return TRUE;
  } catch (const CspFailure& f) {
    SetLastError(f.code);
  } catch (const std::bad_alloc&) {
    SetLastError(NTE_NO_MEMORY);
  } catch (...) {
    SetLastError(NTE_FAIL);
  }
  return FALSE;
}

// Bytes that are wiped when released.
template <typename T>
struct CleansingAllocator {
  using value_type = T;
  CleansingAllocator() = default;
  template <typename U>
  CleansingAllocator(const CleansingAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) { return std::allocator<T>().allocate(n); }
  void deallocate(T* p, std::size_t n) noexcept {
    OPENSSL_cleanse(p, n * sizeof(T));
    std::allocator<T>().deallocate(p, n);
  }
  template <typename U>
  bool operator==(const CleansingAllocator<U>&) const noexcept { return true; }
};
using SecretBytes = std::vector<BYTE, CleansingAllocator<BYTE>>;
using SecretString = std::basic_string<char, std::char_traits<char>, CleansingAllocator<char>>;

struct EvpPkeyFree { void operator()(EVP_PKEY* p) const noexcept { EVP_PKEY_free(p); } };
struct EvpCipherCtxFree { void operator()(EVP_CIPHER_CTX* p) const noexcept { EVP_CIPHER_CTX_free(p); } };
struct EvpMdCtxFree { void operator()(EVP_MD_CTX* p) const noexcept { EVP_MD_CTX_free(p); } };
struct X509Free { void operator()(X509* p) const noexcept { X509_free(p); } };
using PkeyPtr = std::shared_ptr<EVP_PKEY>;
using CipherCtxPtr = std::unique_ptr<EVP_CIPHER_CTX, EvpCipherCtxFree>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, EvpMdCtxFree>;
using X509Ptr = std::unique_ptr<X509, X509Free>;

inline PkeyPtr WrapPkey(EVP_PKEY* p) { return PkeyPtr(p, EvpPkeyFree {}); }

// Loads the default and legacy OpenSSL providers once; false when they are
// not available.
bool EnsureOpenSsl() noexcept;

// Seconds between 1601-01-01 and 1970-01-01.
inline constexpr std::int64_t kFileTimeEpochSeconds = 11644473600LL;

enum class ProviderKind { Base, Enhanced };
const char* ProviderName(ProviderKind kind) noexcept;

struct Object {
  virtual ~Object() = default;
};

struct ProvObject : Object {
  ProviderKind kind = ProviderKind::Base;
  bool verifyContext = true;
  bool silent = false;  // CRYPT_SILENT: never ask the user
  std::string container;  // empty for a verify context
  PkeyPtr exchangeKey;    // the container's key pair, once loaded
  bool keyLoaded = false;
};

struct HashObject : Object {
  ~HashObject() override { OPENSSL_cleanse(value.data(), value.size()); }  // may be key material
  std::shared_ptr<ProvObject> prov;
  MdCtxPtr ctx;
  bool finished = false;
  std::array<BYTE, 20> value {};
};

struct KeyObject : Object {
  std::shared_ptr<ProvObject> prov;
  ALG_ID alg = 0;
  // Symmetric keys.
  SecretBytes key;
  SecretBytes salt;
  DWORD keyBits = 0;
  DWORD effectiveBits = 0;
  bool exportable = false;
  CipherCtxPtr ctx;  // running CBC state between blocks of one message
  int direction = -1;  // 1 encrypting, 0 decrypting, -1 idle
  // RSA keys.
  PkeyPtr pkey;
  bool hasPrivate = false;
};

struct StoreObject : Object {
  std::string name;
};

struct CertObject : Object {
  std::string store;
  std::vector<BYTE> der;
  std::array<BYTE, 20> sha1 {};
  X509Ptr x509;
};

// The handle table. Handles are never 0 and never reused while live.
DWORD AddHandle(std::shared_ptr<Object> object);
std::shared_ptr<Object> LookUp(DWORD handle);
bool RemoveHandle(DWORD handle);

template <typename T>
std::shared_ptr<T> Get(DWORD handle, DWORD failCode = ERROR_INVALID_HANDLE_CODE) {
  auto p = std::dynamic_pointer_cast<T>(LookUp(handle));
  if (!p) Fail(failCode);
  return p;
}

// Fills a caller buffer with the platform's size-query semantics.
void CopyOut(const BYTE* data, DWORD size, BYTE* out, DWORD* outLen);

// SHA-1 of bytes.
std::array<BYTE, 20> Sha1(const BYTE* data, std::size_t size);

// Key containers on disk.
std::string ContainerPath(const std::string& name);
bool ValidContainerName(const std::string& name);
// The container's key pair, loaded on first use; NTE_NO_KEY when it has none.
PkeyPtr ContainerKey(ProvObject& prov);
// Who owns a key container, as its digital ID in the user's store names
// them ("Alice Example <alice@example.org>"); empty when no digital ID uses it.
std::string ContainerOwner(const std::string& container);
void StoreContainerKey(ProvObject& prov, const PkeyPtr& key, bool userProtected);

// X.509 helpers.
X509Ptr ParseCertificate(const BYTE* der, std::size_t size);

// UTF-16 <-> UTF-8 for the wide strings of the certificate functions.
std::string FromUtf16(const char16_t* text);
std::u16string ToUtf16(const std::string& text);

}  // namespace sealvane::csp::detail
