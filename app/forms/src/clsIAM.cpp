// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/forms/clsIAM.h"

#include <pwd.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>

#include "sealvane/archive/modCommon.h"
#include "sealvane/platform/CodePage.h"
#include "sealvane/platform/Environment.h"
#include "sealvane/settings/clsRegistry.h"

namespace sealvane::forms {
namespace {

// A JavaScript string's text as prefs.js writes it.
std::string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 >= text.size()) {
      out.push_back(text[i]);
      continue;
    }
    const char c = text[++i];
    if (c == 'u' && i + 4 < text.size()) {
      platform::AppendUtf8(out, static_cast<char32_t>(std::strtoul(text.substr(i + 1, 4).c_str(), nullptr, 16)));
      i += 4;
    } else {
      out.push_back(c == 'n' ? '\n' : c);
    }
  }
  return out;
}

}  // namespace

std::int32_t clsIAM::ListAccounts(std::vector<std::string>& o_colKeys) {
  clsRegistry registry;
  registry.SetRootKey(platform::HKEY_CURRENT_USER);
  const std::int32_t rc = registry.GetSubKeys(kAccountsKey, o_colKeys);
  if (rc == 2) return rc;
  if (rc != 0) ShowError(m_ui, "Failed to get Internet Account Manager accounts.", rc);
  return rc;
}

std::int32_t clsIAM::GetAccounts(std::vector<clsAccount>& o_colAccounts) {
  o_colAccounts.clear();
  std::vector<std::string> keys;
  if (const std::int32_t rc = ListAccounts(keys); rc != 0) return rc;
  clsRegistry registry;
  registry.SetRootKey(platform::HKEY_CURRENT_USER);
  for (const std::string& key : keys) {
    const std::string path = std::string(kAccountsKey) + "\\" + key;
    clsAccount account;
    account.m_strKeyName = key;
    std::string value;
    if (registry.GetStringValue(path, "SMTP Display Name", value) != 0) continue;  // not a mail account
    account.m_strName = Trim(value);
    value.clear();
    if (registry.GetStringValue(path, "SMTP Email Address", value) == 0) account.m_strEMailAddr = Trim(value);
    value.clear();
    if (registry.GetStringValue(path, "SMTP Organization Name", value) == 0) account.m_strOrgName = Trim(value);
    o_colAccounts.push_back(std::move(account));
  }
  return 0;
}

std::int32_t clsIAM::SetAccountCerts(const std::string& i_strEMailAddr, const ByteArray& i_varThumbprint,
                                     std::int32_t* o_pGiven) {
  if (o_pGiven) *o_pGiven = 0;
  std::vector<std::string> keys;
  if (const std::int32_t rc = ListAccounts(keys); rc != 0) return rc;
  clsRegistry registry;
  registry.SetRootKey(platform::HKEY_CURRENT_USER);
  for (const std::string& key : keys) {
    if (key.empty() || key[0] != '0') continue;
    const std::string path = std::string(kAccountsKey) + "\\" + key;
    std::string address;
    if (registry.GetStringValue(path, "SMTP Email Address", address) != 0) continue;
    if (::strcasecmp(address.c_str(), i_strEMailAddr.c_str()) != 0) continue;
    registry.SetBinaryValue(path, "SMTP Certificate", i_varThumbprint);
    registry.SetBinaryValue(path, "SMTP Encryption Certificate", i_varThumbprint);
    if (o_pGiven) ++*o_pGiven;
  }
  return 0;
}

std::vector<clsAccount> DesktopAccounts() {
  std::vector<clsAccount> accounts;
  // The full name: the first field of the password database's comment.
  if (const struct passwd* user = ::getpwuid(::getuid()); user != nullptr && user->pw_gecos != nullptr) {
    std::string gecos = user->pw_gecos;
    gecos = Trim(gecos.substr(0, gecos.find(',')));
    if (!gecos.empty()) accounts.push_back(clsAccount {"passwd", gecos, "", ""});
  }
  // Thunderbird keeps each identity as mail.identity.<id>.<field> in the
  // prefs.js of each profile.
  const auto home = platform::GetEnv("HOME");
  if (!home) return accounts;
  std::error_code ec;
  const std::filesystem::path root = std::filesystem::path(*home) / ".thunderbird";
  if (!std::filesystem::is_directory(root, ec)) return accounts;
  static const std::regex pref(R"re(^user_pref\("mail\.identity\.([A-Za-z0-9_]+)\.(fullName|useremail|organization)",\s*"((?:[^"\\]|\\.)*)"\);)re");
  std::vector<std::filesystem::path> profiles;
  for (const auto& entry : std::filesystem::directory_iterator(root, ec)) {
    if (entry.is_directory(ec) && std::filesystem::exists(entry.path() / "prefs.js", ec)) profiles.push_back(entry.path());
  }
  std::sort(profiles.begin(), profiles.end());
  for (const auto& profile : profiles) {
    std::ifstream in(profile / "prefs.js");
    std::map<std::string, clsAccount> identities;
    std::vector<std::string> order;
    std::string line;
    std::size_t lines = 0;
    while (std::getline(in, line) && ++lines < 100000) {
      std::smatch m;
      if (line.size() > 4096 || !std::regex_search(line, m, pref)) continue;
      const std::string id = m[1].str();
      if (!identities.count(id)) order.push_back(id);
      clsAccount& account = identities[id];
      account.m_strKeyName = "thunderbird:" + id;
      const std::string value = Trim(Unescape(m[3].str()));
      if (m[2] == "fullName") account.m_strName = value;
      if (m[2] == "useremail") account.m_strEMailAddr = value;
      if (m[2] == "organization") account.m_strOrgName = value;
    }
    for (const std::string& id : order) accounts.push_back(identities[id]);
  }
  return accounts;
}

}  // namespace sealvane::forms
