// SPDX-License-Identifier: GPL-3.0-or-later
// The cryptography of the modern archive format, over OpenSSL's EVP
// interface and libargon2: random bytes, secrets kept in OpenSSL's secure
// heap (locked where the system allows, cleared when released), HKDF-SHA256,
// HMAC-SHA256, AES-256-GCM, and Argon2id with its calibration and ceilings.
// Nothing here knows the archive's layout. Failures throw CryptoError.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace sealvane::modern {

class CryptoError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Memory from OpenSSL's secure heap, which is set up on first use: locked
// (never swapped) where the system allows it, always cleared when freed.
template <typename T>
struct SecureAllocator {
  using value_type = T;
  SecureAllocator() = default;
  template <typename U>
  SecureAllocator(const SecureAllocator<U>&) noexcept {}
  T* allocate(std::size_t n);
  void deallocate(T* p, std::size_t n) noexcept;
  template <typename U>
  bool operator==(const SecureAllocator<U>&) const noexcept {
    return true;
  }
};
void* SecureAlloc(std::size_t bytes);
void SecureFree(void* p, std::size_t bytes) noexcept;
template <typename T>
T* SecureAllocator<T>::allocate(std::size_t n) {
  return static_cast<T*>(SecureAlloc(n * sizeof(T)));
}
template <typename T>
void SecureAllocator<T>::deallocate(T* p, std::size_t n) noexcept {
  SecureFree(p, n * sizeof(T));
}

// Key material, passwords and other secrets.
using Secret = std::vector<std::uint8_t, SecureAllocator<std::uint8_t>>;
using SecretText = std::basic_string<char, std::char_traits<char>, SecureAllocator<char>>;

inline constexpr std::size_t kKeySize = 32;
inline constexpr std::size_t kGcmNonceSize = 12;
inline constexpr std::size_t kGcmTagSize = 16;

// Bytes from the system's random generator (OpenSSL's DRBG).
void RandomBytes(std::span<std::uint8_t> out);

// HKDF-SHA256 (RFC 5869): `size` bytes from `ikm`, `salt` and `info`.
Secret Hkdf(std::span<const std::uint8_t> ikm, std::span<const std::uint8_t> salt, std::string_view info,
            std::size_t size);

// HMAC-SHA256 of `data` under `key`.
std::array<std::uint8_t, 32> HmacSha256(std::span<const std::uint8_t> key, std::span<const std::uint8_t> data);

// Compares in time that does not depend on where the bytes differ.
bool SameSecret(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) noexcept;

// AES-256-GCM with a 12-byte nonce and a 16-byte tag. One object per
// thread; the key is set once and kept in the cipher context.
class Gcm {
 public:
  explicit Gcm(std::span<const std::uint8_t> key);
  ~Gcm();
  Gcm(const Gcm&) = delete;
  Gcm& operator=(const Gcm&) = delete;

  // `out` receives the ciphertext and the tag: plain.size() + 16 bytes.
  void Seal(std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> aad,
            std::span<const std::uint8_t> plain, std::span<std::uint8_t> out);
  // `sealed` is ciphertext and tag; `out` receives sealed.size() - 16
  // bytes. False when the tag does not check out (nothing in `out` may be
  // used then).
  bool Open(std::span<const std::uint8_t> nonce, std::span<const std::uint8_t> aad,
            std::span<const std::uint8_t> sealed, std::span<std::uint8_t> out);

 private:
  struct Context;
  Context* m_context;
};

// Argon2id (RFC 9106, version 0x13) parameters.
struct Argon2Params {
  std::uint32_t passes = 0;       // t
  std::uint32_t memoryKiB = 0;    // m
  std::uint32_t lanes = 0;        // p
  bool operator==(const Argon2Params&) const = default;
};

// What a reader accepts at most: a hostile archive must not make it
// allocate gigabytes or run for minutes.
inline constexpr std::uint32_t kArgon2MaxMemoryKiB = 1024 * 1024;  // 1 GiB, four times what Sealvane asks
inline constexpr std::uint32_t kArgon2MaxPasses = 64;
inline constexpr std::uint32_t kArgon2MaxLanes = 16;
// And at least: below this a wrong guess is too cheap.
inline constexpr std::uint32_t kArgon2MinMemoryKiB = 64 * 1024;

// Why these parameters are refused (a sentence for the user), or nothing
// when they are within the bounds above.
std::optional<std::string> Argon2Refusal(const Argon2Params& params);

// Derives `size` bytes from the password. Throws CryptoError.
Secret Argon2id(std::span<const std::uint8_t> password, std::span<const std::uint8_t> salt,
                const Argon2Params& params, std::size_t size);

// Parameters that take about `targetSeconds` on this machine: 256 MiB of
// memory where the machine has it (never less than 64 MiB), one lane per
// core (at most 4), as many passes as fit. Measured once per process.
Argon2Params CalibrateArgon2(double targetSeconds = 1.0);

}  // namespace sealvane::modern
