// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/settings/clsConfig.h"

#include <algorithm>

namespace sealvane {
namespace {

// Unless the user chose a cipher: 6, "AES (256-bit)", the modern format.
constexpr std::int32_t kDefaultAlgorithm = 6;

// Booleans are stored as -1 (true) and 0 (false); any non-zero value reads
// as true; a missing value reads as `fallback`.
std::int32_t GetBoolean(const char* valueName, bool& out, bool fallback) {
  clsRegistry registry;
  std::int32_t value = 0;
  const std::int32_t rc = registry.GetIntegerValue(kSettingsKey, valueName, value);
  out = rc != 0 ? fallback : value != 0;
  return rc;
}

std::int32_t SetInteger(const char* valueName, std::int32_t value) {
  clsRegistry registry;
  registry.CreateKey(kSettingsKey);
  return registry.SetIntegerValue(kSettingsKey, valueName, value);
}

}  // namespace

std::int32_t clsConfig::GetVersion(std::int32_t& o_nMajor, std::int32_t& o_nMinor) {
  clsRegistry registry;
  std::int32_t rc = registry.GetIntegerValue(kSettingsKey, "VersionMajorNum", o_nMajor);
  if (rc == 0) rc = registry.GetIntegerValue(kSettingsKey, "VersionMinorNum", o_nMinor);
  return rc;
}

std::int32_t clsConfig::SetVersion(std::int32_t i_nMajor, std::int32_t i_nMinor) {
  clsRegistry registry;
  registry.CreateKey(kSettingsKey);
  std::int32_t rc = registry.SetIntegerValue(kSettingsKey, "VersionMajorNum", i_nMajor);
  if (rc == 0) rc = registry.SetIntegerValue(kSettingsKey, "VersionMinorNum", i_nMinor);
  return rc;
}

std::int32_t clsConfig::GetCertSerialNum(std::int32_t& o_nSerialNum) {
  clsRegistry registry;
  return registry.GetIntegerValue(kSettingsKey, "CertSerialNumber", o_nSerialNum);
}

std::int32_t clsConfig::SetCertSerialNum(std::int32_t i_nSerialNum) {
  return SetInteger("CertSerialNumber", i_nSerialNum);
}

std::int32_t clsConfig::GetDefaultCertTP(ByteArray& o_varThumbprint) {
  clsRegistry registry;
  std::optional<ByteArray> value;
  const std::int32_t rc = registry.GetBinaryValue(kSettingsKey, "DefaultCertTP", value);
  if (rc == 0 && value) o_varThumbprint = std::move(*value);
  return rc;
}

std::int32_t clsConfig::SetDefaultCertTP(const ByteArray& i_varThumbprint) {
  clsRegistry registry;
  registry.CreateKey(kSettingsKey);
  return registry.SetBinaryValue(kSettingsKey, "DefaultCertTP", i_varThumbprint);
}

std::int32_t clsConfig::GetAlgorithm(std::int32_t& o_nAlgorithm) {
  clsRegistry registry;
  const std::int32_t rc = registry.GetIntegerValue(kSettingsKey, "AlgorithmNumber", o_nAlgorithm);
  if (rc != 0) o_nAlgorithm = kDefaultAlgorithm;
  return rc;
}

std::int32_t clsConfig::SetAlgorithm(std::int32_t i_nAlgorithm) { return SetInteger("AlgorithmNumber", i_nAlgorithm); }

std::int32_t clsConfig::GetAlwaysCompress(bool& o_bAlwaysCompress) {
  return GetBoolean("AlwaysCompress", o_bAlwaysCompress, true);
}

std::int32_t clsConfig::SetAlwaysCompress(bool i_bAlwaysCompress) {
  return SetInteger("AlwaysCompress", i_bAlwaysCompress ? -1 : 0);
}

std::int32_t clsConfig::GetWarnWeakCipher(bool& o_bWarn) { return GetBoolean("WarnWeakCipher", o_bWarn, true); }

std::int32_t clsConfig::SetWarnWeakCipher(bool i_bWarn) { return SetInteger("WarnWeakCipher", i_bWarn ? -1 : 0); }

std::int32_t clsConfig::GetAlwaysOpen(bool& o_bAlwaysOpen) { return GetBoolean("AlwaysOpen", o_bAlwaysOpen, true); }

std::int32_t clsConfig::SetAlwaysOpen(bool i_bAlwaysOpen) { return SetInteger("AlwaysOpen", i_bAlwaysOpen ? -1 : 0); }

std::int32_t clsConfig::GetAlwaysDeleteOriginal(bool& o_bAlwaysDeleteOriginal) {
  return GetBoolean("AlwaysDeleteOriginal", o_bAlwaysDeleteOriginal, false);
}

std::int32_t clsConfig::SetAlwaysDeleteOriginal(bool i_bAlwaysDeleteOriginal) {
  return SetInteger("AlwaysDeleteOriginal", i_bAlwaysDeleteOriginal ? -1 : 0);
}

std::int32_t clsConfig::GetLastDir(std::string& o_strLastDir) {
  clsRegistry registry;
  return registry.GetStringValue(kSettingsKey, "LastDirectory", o_strLastDir);
}

std::int32_t clsConfig::SetLastDir(const std::string& i_strLastDir) {
  if (i_strLastDir.empty()) return 0;
  clsRegistry registry;
  registry.CreateKey(kSettingsKey);
  return registry.SetStringValue(kSettingsKey, "LastDirectory", i_strLastDir);
}

std::vector<std::string> clsConfig::GetRecentFiles() {
  clsRegistry registry;
  std::string text;
  std::vector<std::string> files;
  if (registry.GetStringValue(kSettingsKey, "RecentFiles", text) != 0) return files;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    if (end > start) files.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return files;
}

std::int32_t clsConfig::SetRecentFiles(const std::vector<std::string>& i_colFiles) {
  std::string text;
  for (const std::string& file : i_colFiles) {
    if (file.empty() || file.find('\n') != std::string::npos) continue;  // one per line
    if (!text.empty()) text += '\n';
    text += file;
  }
  clsRegistry registry;
  registry.CreateKey(kSettingsKey);
  return registry.SetStringValue(kSettingsKey, "RecentFiles", text);
}

std::int32_t clsConfig::GetCertificateDir(std::string& o_strDir) {
  clsRegistry registry;
  return registry.GetStringValue(kSettingsKey, "CertificateDirectory", o_strDir);
}

std::int32_t clsConfig::SetCertificateDir(const std::string& i_strDir) {
  if (i_strDir.empty()) return 0;
  clsRegistry registry;
  registry.CreateKey(kSettingsKey);
  return registry.SetStringValue(kSettingsKey, "CertificateDirectory", i_strDir);
}

std::int32_t clsConfig::GetPasswordCodePages(std::string& o_strCodePages) {
  clsRegistry registry;
  const std::int32_t rc = registry.GetStringValue(kSettingsKey, "PasswordCodePages", o_strCodePages);
  if (rc != 0) o_strCodePages.clear();
  return rc;
}

std::int32_t clsConfig::SetPasswordCodePages(const std::string& i_strCodePages) {
  clsRegistry registry;
  registry.CreateKey(kSettingsKey);
  return registry.SetStringValue(kSettingsKey, "PasswordCodePages", i_strCodePages);
}

std::int32_t clsConfig::GetWelcomed(bool& o_bWelcomed) { return GetBoolean("Welcomed", o_bWelcomed, false); }

std::int32_t clsConfig::SetWelcomed(bool i_bWelcomed) { return SetInteger("Welcomed", i_bWelcomed ? -1 : 0); }

std::int32_t clsConfig::GetMyDocumentsDir(std::string& o_strMyDocumentsDir) {
  clsRegistry registry;
  registry.SetRootKey(platform::HKEY_CURRENT_USER);
  std::int32_t rc = registry.GetExpandStringValue(kShellFoldersKey, "Personal", o_strMyDocumentsDir);
  if (rc == -2) rc = registry.GetStringValue(kShellFoldersKey, "Personal", o_strMyDocumentsDir);
  return rc;
}

}  // namespace sealvane
