// SPDX-License-Identifier: GPL-3.0-or-later
// The About box: the program, its version, the copyright notice, and the
// maker's web and support addresses as links.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "sealvane/archive/UiPort.h"
#include "sealvane/forms/Form.h"

namespace sealvane::forms {

inline constexpr const char* kWebSite = "www.brennock.example/sealvane";
inline constexpr const char* kSupportEMail = "support@brennock.example";
inline constexpr const char* kCopyright = "Copyright \xc2\xa9 2026 Brennock Inc. Free software under the GNU GPL, version 3 or later.";

class frmAbout : public Form {
 public:
  explicit frmAbout(UiPort& ui);

  // "major.minor.0.revision", each a plain number: 1.1.0.518.
  static std::string VersionText(std::int32_t i_nMajor, std::int32_t i_nMinor, std::int32_t i_nRevision);

  // Load; false when it failed (the failure was shown).
  bool Load(std::int32_t i_nMajor, std::int32_t i_nMinor, std::int32_t i_nRevision);
  void lblWebSite_Click();
  void lblSupportEMail_Click();
  void btnOK_Click();

  // What the links start (the browser and the mail program by default).
  std::function<std::int32_t(const std::string&)> openWebPage;
  std::function<std::int32_t(const std::string&)> openMailMessage;

 private:
  UiPort& m_ui;
};

}  // namespace sealvane::forms
