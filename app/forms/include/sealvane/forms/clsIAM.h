// SPDX-License-Identifier: GPL-3.0-or-later
// The user's e-mail accounts: those the platform's Internet Account Manager
// keeps in the user hive, and what this desktop knows of the user (the full
// name of the password database, the identities of Thunderbird profiles).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sealvane/archive/UiPort.h"
#include "sealvane/archive/clsDigitalID.h"

namespace sealvane::forms {

inline constexpr const char* kAccountsKey = "Software\\Microsoft\\Internet Account Manager\\Accounts";

// One e-mail account; texts trimmed of blanks.
struct clsAccount {
  std::string m_strKeyName;
  std::string m_strName;
  std::string m_strEMailAddr;
  std::string m_strOrgName;
};

class clsIAM {
 public:
  explicit clsIAM(UiPort& ui) : m_ui(ui) {}

  // The mail accounts of the registry, in the order listed, one per key
  // name. 0, 2 when there is no accounts key (no message), or the registry
  // error after "Failed to get Internet Account Manager accounts.".
  std::int32_t GetAccounts(std::vector<clsAccount>& o_colAccounts);
  // Gives the digital ID to every account (of a subkey whose name begins
  // with "0") with that address, without regard to case. 0 or as above.
  // `o_pGiven`, when given, receives the number of accounts given the ID.
  std::int32_t SetAccountCerts(const std::string& i_strEMailAddr, const ByteArray& i_varThumbprint,
                               std::int32_t* o_pGiven = nullptr);

 private:
  std::int32_t ListAccounts(std::vector<std::string>& o_colKeys);
  UiPort& m_ui;
};

// What the desktop knows of the user, as accounts (read-only): the full
// name of the password database, and the identities of the Thunderbird
// profiles in $HOME/.thunderbird.
std::vector<clsAccount> DesktopAccounts();

}  // namespace sealvane::forms
