// SPDX-License-Identifier: GPL-3.0-or-later
// The user's certificate stores as the certificate manager window and
// `sealvane-cli certs` show and change them: one service, so both front
// ends list, import, export and delete the same way.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "sealvane/platform/Pinentry.h"

namespace sealvane {

// One certificate of a store.
struct CertificateEntry {
  std::string store;
  std::array<std::uint8_t, 20> thumbprint {};
  std::string name;    // the subject's display name
  std::string email;
  std::string issuer;  // the issuer's display name
  std::int64_t notBefore = 0;  // file times (100 ns since 1601, UTC)
  std::int64_t notAfter = 0;
  // The key container named by the certificate (an own digital ID), and
  // whether that container is on this machine.
  std::string keyContainer;
  // The user's default digital ID (set by the certificate manager's list).
  bool isDefault = false;
  std::string keyProvider;
  std::uint32_t keyProviderType = 0;
  bool privateKey = false;

  std::string ThumbprintText() const;  // 40 upper-case hexadecimal digits
};

// A failure, with what could not be done and the provider's error code.
class CertificateError : public std::runtime_error {
 public:
  CertificateError(const std::string& what, std::uint32_t code) : std::runtime_error(what), m_code(code) {}
  std::uint32_t Code() const noexcept { return m_code; }

 private:
  std::uint32_t m_code;
};

enum class CertificateFormat { Der, Pem, Pkcs12 };

// Asks for a password; nothing when the user cancelled.
using PasswordSource = std::function<std::optional<platform::Passphrase>()>;

class CertificateService {
 public:
  // The stores the user works with, in the order they are shown.
  static const std::vector<std::string>& Stores();
  // Files holding a digital ID with its private key (by their extension).
  static bool IsPkcs12Path(const std::string& path);
  // The format a file name asks for: .p12/.pfx PKCS #12, .pem PEM, else DER.
  static CertificateFormat FormatOf(const std::string& path);
  // Where an import goes when no store is named: MY for a digital ID with
  // its key, AddressBook for other people's certificates.
  static std::string DefaultImportStore(const std::string& path);
  // The largest certificate or PKCS #12 file read.
  static constexpr std::size_t kMaxFileSize = 1 << 20;

  std::vector<CertificateEntry> List(const std::string& store) const;
  std::optional<CertificateEntry> Find(const std::string& store, const std::array<std::uint8_t, 20>& thumbprint) const;

  // Imports a certificate file (DER or PEM) or a PKCS #12 file (asking
  // `password` for it) into `store`; returns what was added.
  CertificateEntry Import(const std::string& path, const std::string& store, const PasswordSource& password) const;
  // Writes the certificate in `format`; PKCS #12 (own digital IDs only)
  // holds the private key under `password` and is readable by its owner
  // alone.
  void Export(const CertificateEntry& entry, const std::string& path, CertificateFormat format,
              const platform::Passphrase* password) const;
  // Deletes the certificate from its store (its key container stays).
  void Delete(const CertificateEntry& entry) const;
  // Deletes the key container of an own digital ID: archives made for it
  // can no longer be opened.
  void DeleteKeyContainer(const CertificateEntry& entry) const;
  // The certificate's fields as label and text, for a details view.
  std::vector<std::pair<std::string, std::string>> Details(const CertificateEntry& entry) const;
};

// A file time as "YYYY-MM-DD HH:MM:SS UTC".
std::string CertificateTimeText(std::int64_t fileTime);

}  // namespace sealvane
