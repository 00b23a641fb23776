// SPDX-License-Identifier: GPL-3.0-or-later
// The user's settings under HKEY_CURRENT_USER\Software\Brennock\Sealvane,
// read from and written to the registry on every call. Each accessor returns
// the registry result code and leaves the setting's default in its
// out-argument when the value is missing or unreadable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sealvane/settings/clsRegistry.h"

namespace sealvane {

inline constexpr const char* kSettingsKey = "Software\\Brennock\\Sealvane";
inline constexpr const char* kShellFoldersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

class clsConfig {
 public:
  std::int32_t GetVersion(std::int32_t& o_nMajor, std::int32_t& o_nMinor);
  std::int32_t SetVersion(std::int32_t i_nMajor, std::int32_t i_nMinor);

  std::int32_t GetCertSerialNum(std::int32_t& o_nSerialNum);
  std::int32_t SetCertSerialNum(std::int32_t i_nSerialNum);

  // Leaves o_varThumbprint as it was unless a value was read.
  std::int32_t GetDefaultCertTP(ByteArray& o_varThumbprint);
  std::int32_t SetDefaultCertTP(const ByteArray& i_varThumbprint);

  std::int32_t GetAlgorithm(std::int32_t& o_nAlgorithm);
  std::int32_t SetAlgorithm(std::int32_t i_nAlgorithm);

  std::int32_t GetAlwaysCompress(bool& o_bAlwaysCompress);
  std::int32_t SetAlwaysCompress(bool i_bAlwaysCompress);

  std::int32_t GetAlwaysOpen(bool& o_bAlwaysOpen);
  std::int32_t SetAlwaysOpen(bool i_bAlwaysOpen);
  // After encrypting, check the archive and securely delete the file (off
  // unless the user turns it on).
  std::int32_t GetAlwaysDeleteOriginal(bool& o_bAlwaysDeleteOriginal);
  std::int32_t SetAlwaysDeleteOriginal(bool i_bAlwaysDeleteOriginal);

  // Whether encrypting with a weak legacy cipher (RC2 40-bit, DES) is
  // questioned first ("WarnWeakCipher", on unless the user said otherwise).
  std::int32_t GetWarnWeakCipher(bool& o_bWarn);
  std::int32_t SetWarnWeakCipher(bool i_bWarn);

  std::int32_t GetLastDir(std::string& o_strLastDir);
  std::int32_t SetLastDir(const std::string& i_strLastDir);

  // The encrypted files last made or opened, newest first ("RecentFiles",
  // one per line).
  std::vector<std::string> GetRecentFiles();
  std::int32_t SetRecentFiles(const std::vector<std::string>& i_colFiles);

  // The folder the certificate manager last imported from or exported to
  // ("CertificateDirectory").
  std::int32_t GetCertificateDir(std::string& o_strDir);
  std::int32_t SetCertificateDir(const std::string& i_strDir);

  // Further Windows code pages a password is tried in when an archive is
  // decrypted, as text ("1250 1251"); empty when unset.
  std::int32_t GetPasswordCodePages(std::string& o_strCodePages);
  std::int32_t SetPasswordCodePages(const std::string& i_strCodePages);

  // Whether the welcome question of the first start was shown to this user
  // (false when unset).
  std::int32_t GetWelcomed(bool& o_bWelcomed);
  std::int32_t SetWelcomed(bool i_bWelcomed);

  std::int32_t GetMyDocumentsDir(std::string& o_strMyDocumentsDir);
};

}  // namespace sealvane
