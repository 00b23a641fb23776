// SPDX-License-Identifier: GPL-3.0-or-later
// The file key of a modern archive wrapped for X.509 digital IDs with
// RSA-OAEP (SHA-256), through the provider layer that holds the user's
// certificates and private keys. Failures throw KeyWrapError with a sentence
// for the user.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "sealvane/modern/Crypto.h"

namespace sealvane::modern {

class KeyWrapError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Wraps `fileKey` for the certificate with `thumbprint` in the user's store
// `store` ("MY" for the user's own digital ID, "AddressBook" for others).
std::vector<std::uint8_t> WrapForCertificate(const std::string& store, std::span<const std::uint8_t> thumbprint,
                                             std::span<const std::uint8_t> fileKey);

// Unwraps with the private key of the user's own digital ID (in "MY") with
// `thumbprint`. A protected key asks for its passphrase.
Secret UnwrapWithOwnKey(std::span<const std::uint8_t> thumbprint, std::span<const std::uint8_t> wrapped);

// True when the user's store "MY" holds the digital ID with `thumbprint`.
bool HasOwnCertificate(std::span<const std::uint8_t> thumbprint);

// The RSA key size of the certificate in `store`, in bits; 0 when unknown.
std::uint32_t CertificateKeyBits(const std::string& store, std::span<const std::uint8_t> thumbprint);

}  // namespace sealvane::modern
