// SPDX-License-Identifier: GPL-3.0-or-later
#include <openssl/provider.h>
#include <openssl/sha.h>

#include <map>

#include "Internal.h"
#include "sealvane/platform/CodePage.h"

namespace sealvane::csp {

namespace {
thread_local DWORD t_lastError = 0;
}

DWORD GetLastError() noexcept { return t_lastError; }
void SetLastError(DWORD code) noexcept { t_lastError = code; }

}  // namespace sealvane::csp

namespace sealvane::csp::detail {
namespace {

std::mutex g_handleMutex;
std::map<DWORD, std::shared_ptr<Object>> g_handles;
DWORD g_nextHandle = 0x10000;

}  // namespace

bool EnsureOpenSsl() noexcept {
  // Loading "legacy" switches the implicit "default" provider off, so both
  // are loaded explicitly; they stay loaded for the life of the process.
  static const bool loaded = [] {
    OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    OSSL_PROVIDER* def = OSSL_PROVIDER_load(nullptr, "default");
    return legacy != nullptr && def != nullptr;
  }();
  return loaded;
}

const char* ProviderName(ProviderKind kind) noexcept {
  return kind == ProviderKind::Enhanced ? MS_ENHANCED_PROV_A : MS_DEF_PROV_A;
}

DWORD AddHandle(std::shared_ptr<Object> object) {
  std::lock_guard lock(g_handleMutex);
  for (;;) {
    const DWORD h = g_nextHandle;
    g_nextHandle += 4;
    if (g_nextHandle < 0x10000 || g_nextHandle >= 0x7FFFFFF0u) g_nextHandle = 0x10000;
    if (g_handles.find(h) == g_handles.end()) {
      g_handles.emplace(h, std::move(object));
      return h;
    }
  }
}

std::shared_ptr<Object> LookUp(DWORD handle) {
  std::lock_guard lock(g_handleMutex);
  const auto it = g_handles.find(handle);
  return it == g_handles.end() ? nullptr : it->second;
}

bool RemoveHandle(DWORD handle) {
  std::shared_ptr<Object> doomed;  // destroyed outside the lock
  std::lock_guard lock(g_handleMutex);
  const auto it = g_handles.find(handle);
  if (it == g_handles.end()) return false;
  doomed = std::move(it->second);
  g_handles.erase(it);
  return true;
}

void CopyOut(const BYTE* data, DWORD size, BYTE* out, DWORD* outLen) {
  if (outLen == nullptr) Fail(ERROR_INVALID_PARAMETER_CODE);
  if (out == nullptr) {
    *outLen = size;
    return;
  }
  if (*outLen < size) {
    *outLen = size;
    Fail(ERROR_MORE_DATA_CODE);
  }
  if (size != 0) std::memcpy(out, data, size);
  *outLen = size;
}

std::array<BYTE, 20> Sha1(const BYTE* data, std::size_t size) {
  std::array<BYTE, 20> digest {};
  unsigned int length = 0;
  if (EVP_Digest(data, size, digest.data(), &length, EVP_sha1(), nullptr) != 1) Fail(NTE_FAIL);
  return digest;
}

X509Ptr ParseCertificate(const BYTE* der, std::size_t size) {
  const unsigned char* p = der;
  X509Ptr cert(d2i_X509(nullptr, &p, static_cast<long>(size)));
  if (!cert || p != der + size) Fail(CRYPT_E_ASN1_BADTAG);
  return cert;
}

std::string FromUtf16(const char16_t* text) {
  std::string out;
  if (text == nullptr) return out;
  for (const char16_t* p = text; *p != 0; ++p) {
    char32_t c = *p;
    if (c >= 0xD800 && c <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (p[1] - 0xDC00);
      ++p;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

std::u16string ToUtf16(const std::string& text) { return platform::Utf8ToUtf16(text); }

}  // namespace sealvane::csp::detail
