// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/modern/Crypto.h"

#include <argon2.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/params.h>
#include <openssl/rand.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <mutex>
#include <new>
#include <thread>

namespace sealvane::modern {

namespace {

void EnsureSecureHeap() {
  static std::once_flag once;
  std::call_once(once, [] {
    // 256 KiB of locked memory holds every key and password of a job many
    // times over; where it cannot be set up, allocations fall back to
    // ordinary memory, still cleared when freed.
    if (CRYPTO_secure_malloc_initialized() == 0) CRYPTO_secure_malloc_init(256 * 1024, 32);
  });
}

[[noreturn]] void Fail(const std::string& what) { throw CryptoError(what); }

}  // namespace

void* SecureAlloc(std::size_t bytes) {
  EnsureSecureHeap();
  void* p = OPENSSL_secure_zalloc(std::max<std::size_t>(bytes, 1));
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void SecureFree(void* p, std::size_t bytes) noexcept {
  if (p != nullptr) OPENSSL_secure_clear_free(p, std::max<std::size_t>(bytes, 1));
}

void RandomBytes(std::span<std::uint8_t> out) {
  if (out.empty()) return;
  if (RAND_bytes(out.data(), static_cast<int>(out.size())) != 1) Fail("The random generator failed");
}

Secret Hkdf(std::span<const std::uint8_t> ikm, std::span<const std::uint8_t> salt, std::string_view info,
            std::size_t size) {
  EVP_KDF* kdf = EVP_KDF_fetch(nullptr, "HKDF", nullptr);
  EVP_KDF_CTX* ctx = kdf != nullptr ? EVP_KDF_CTX_new(kdf) : nullptr;
  EVP_KDF_free(kdf);
  if (ctx == nullptr) Fail("HKDF is not available");
  char digest[] = "SHA256";
  OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest, 0),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_KEY, const_cast<std::uint8_t*>(ikm.data()), ikm.size()),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, const_cast<std::uint8_t*>(salt.data()), salt.size()),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_INFO, const_cast<char*>(info.data()), info.size()),
      OSSL_PARAM_construct_end()};
  Secret out(size);
  const int ok = EVP_KDF_derive(ctx, out.data(), out.size(), params);
  EVP_KDF_CTX_free(ctx);
  if (ok != 1) Fail("HKDF failed");
  return out;
}

std::array<std::uint8_t, 32> HmacSha256(std::span<const std::uint8_t> key, std::span<const std::uint8_t> data) {
  std::array<std::uint8_t, 32> mac {};
  std::size_t length = 0;
  if (EVP_Q_mac(nullptr, "HMAC", nullptr, "SHA256", nullptr, key.data(), key.size(), data.data(), data.size(),
                mac.data(), mac.size(), &length) == nullptr ||
      length != mac.size()) {
    Fail("HMAC failed");
  }
  return mac;
}

bool SameSecret(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) noexcept {
  return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

// --- AES-256-GCM --------------------------------------------------------------

struct Gcm::Context {
  EVP_CIPHER_CTX* encrypt = nullptr;
  EVP_CIPHER_CTX* decrypt = nullptr;
};

Gcm::Gcm(std::span<const std::uint8_t> key) : m_context(new Context) {
  if (key.size() != kKeySize) {
    delete m_context;
    Fail("An AES-256 key has 32 bytes");
  }
  m_context->encrypt = EVP_CIPHER_CTX_new();
  m_context->decrypt = EVP_CIPHER_CTX_new();
  const EVP_CIPHER* cipher = EVP_aes_256_gcm();
  if (m_context->encrypt == nullptr || m_context->decrypt == nullptr ||
      EVP_EncryptInit_ex2(m_context->encrypt, cipher, key.data(), nullptr, nullptr) != 1 ||
      EVP_DecryptInit_ex2(m_context->decrypt, cipher, key.data(), nullptr, nullptr) != 1) {
    EVP_CIPHER_CTX_free(m_context->encrypt);
    EVP_CIPHER_CTX_free(m_context->decrypt);
    delete m_context;
    Fail("AES-256-GCM is not available");
  }
}

Gcm::~Gcm() {
  EVP_CIPHER_CTX_free(m_context->encrypt);
  EVP_CIPHER_CTX_free(m_context->decrypt);
  delete m_context;
}

void Gcm::Seal(std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> aad,
               std::span<const std::uint8_t> plain, std::span<std::uint8_t> out) {
  if (nonce.size() != kGcmNonceSize || out.size() != plain.size() + kGcmTagSize) Fail("Bad AES-GCM sizes");
  EVP_CIPHER_CTX* ctx = m_context->encrypt;
  int n = 0;
  int tail = 0;
  if (EVP_EncryptInit_ex2(ctx, nullptr, nullptr, nonce.data(), nullptr) != 1 ||
      (!aad.empty() && EVP_EncryptUpdate(ctx, nullptr, &n, aad.data(), static_cast<int>(aad.size())) != 1) ||
      EVP_EncryptUpdate(ctx, out.data(), &n, plain.data(), static_cast<int>(plain.size())) != 1 ||
      EVP_EncryptFinal_ex(ctx, out.data() + n, &tail) != 1 ||
      EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, static_cast<int>(kGcmTagSize), out.data() + plain.size()) != 1) {
    Fail("AES-GCM encryption failed");
  }
}

bool Gcm::Open(std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> aad,
               std::span<const std::uint8_t> sealed, std::span<std::uint8_t> out) {
  if (nonce.size() != kGcmNonceSize || sealed.size() < kGcmTagSize || out.size() != sealed.size() - kGcmTagSize) {
    return false;
  }
  EVP_CIPHER_CTX* ctx = m_context->decrypt;
  const std::size_t size = sealed.size() - kGcmTagSize;
  int n = 0;
  int tail = 0;
  if (EVP_DecryptInit_ex2(ctx, nullptr, nullptr, nonce.data(), nullptr) != 1 ||
      (!aad.empty() && EVP_DecryptUpdate(ctx, nullptr, &n, aad.data(), static_cast<int>(aad.size())) != 1) ||
      EVP_DecryptUpdate(ctx, out.data(), &n, sealed.data(), static_cast<int>(size)) != 1 ||
      EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_SET_TAG, static_cast<int>(kGcmTagSize),
                          const_cast<std::uint8_t*>(sealed.data() + size)) != 1) {
    return false;
  }
  if (EVP_DecryptFinal_ex(ctx, out.data() + n, &tail) != 1) {
    OPENSSL_cleanse(out.data(), out.size());
    return false;
  }
  return true;
}

// --- Argon2id -----------------------------------------------------------------

std::optional<std::string> Argon2Refusal(const Argon2Params& params) {
  if (params.passes < 1 || params.lanes < 1 || params.memoryKiB < 8 * params.lanes) {
    return std::string("Its password parameters are not valid.");
  }
  if (params.memoryKiB < kArgon2MinMemoryKiB) {
    return std::string("Its password parameters are weaker than Sealvane allows (") +
           std::to_string(params.memoryKiB / 1024) + " MB, at least " + std::to_string(kArgon2MinMemoryKiB / 1024) +
           " MB).";
  }
  if (params.memoryKiB > kArgon2MaxMemoryKiB || params.passes > kArgon2MaxPasses || params.lanes > kArgon2MaxLanes) {
    return "Checking its password would take " + std::to_string(params.memoryKiB / 1024) + " MB of memory and " +
           std::to_string(params.passes) + " passes; Sealvane allows at most " +
           std::to_string(kArgon2MaxMemoryKiB / 1024) + " MB and " + std::to_string(kArgon2MaxPasses) + " passes.";
  }
  return std::nullopt;
}

Secret Argon2id(std::span<const std::uint8_t> password, std::span<const std::uint8_t> salt,
                const Argon2Params& params, std::size_t size) {
  if (Argon2Refusal(params)) Fail("Argon2id parameters out of bounds");
  Secret out(size);
  const int rc = argon2id_hash_raw(params.passes, params.memoryKiB, params.lanes, password.data(), password.size(),
                                   salt.data(), salt.size(), out.data(), out.size());
  if (rc == ARGON2_MEMORY_ALLOCATION_ERROR) throw std::bad_alloc();
  if (rc != ARGON2_OK) Fail(std::string("Argon2id failed: ") + argon2_error_message(rc));
  return out;
}

namespace {

std::uint64_t AvailableMemoryKiB() {
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  std::uint64_t value = 0;
  std::string unit;
  while (meminfo >> key >> value >> unit) {
    if (key == "MemAvailable:") return value;
  }
  const long pages = ::sysconf(_SC_AVPHYS_PAGES);
  const long page = ::sysconf(_SC_PAGESIZE);
  return pages > 0 && page > 0 ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page) / 1024 : 0;
}

double SecondsFor(const Argon2Params& params) {
  const std::uint8_t password[16] = {};
  const std::uint8_t salt[16] = {};
  const auto start = std::chrono::steady_clock::now();
  Argon2id(password, salt, params, kKeySize);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

Argon2Params CalibrateArgon2(double targetSeconds) {
  static std::mutex mutex;
  static std::vector<std::pair<double, Argon2Params>> known;
  std::lock_guard lock(mutex);
  for (const auto& [target, params] : known) {
    if (target == targetSeconds) return params;
  }
  Argon2Params params;
  params.lanes = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
  // 256 MiB where there is room for it (twice over), never below 64 MiB.
  params.memoryKiB = AvailableMemoryKiB() >= 512u * 1024 ? 256u * 1024 : kArgon2MinMemoryKiB;
  params.passes = 1;
  double one = SecondsFor(params);
  // Less memory only where even one pass takes much longer than wanted.
  while (one > 2 * targetSeconds && params.memoryKiB > kArgon2MinMemoryKiB) {
    params.memoryKiB = std::max(params.memoryKiB / 2, kArgon2MinMemoryKiB);
    one = SecondsFor(params);
  }
  params.passes = std::clamp(static_cast<std::uint32_t>(std::lround(targetSeconds / std::max(one, 1e-3))), 1u, 16u);
  known.emplace_back(targetSeconds, params);
  return params;
}

}  // namespace sealvane::modern
