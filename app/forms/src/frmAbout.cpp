// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/forms/frmAbout.h"

#include "sealvane/archive/modCommon.h"

namespace sealvane::forms {

frmAbout::frmAbout(UiPort& ui)
    : openWebPage([](const std::string& address) { return OpenWebPage(address); }),
      openMailMessage([](const std::string& address) { return OpenMailMessage(address); }),
      m_ui(ui) {
  Add("frmAbout", "About Sealvane");
  Add("Label1", "Sealvane");
  Add("Label3", "by Brennock Inc.");
  Add("Label2", "Version:");
  Add("lblVersion", "");
  Add("lblCopyright", "");
  Add("Label5", "Web Site:");
  Add("lblWebSite", "");
  Add("Label6", "Support:");
  Add("lblSupportEMail", "");
  Add("btnOK", "OK");
}

std::string frmAbout::VersionText(std::int32_t i_nMajor, std::int32_t i_nMinor, std::int32_t i_nRevision) {
  return std::to_string(i_nMajor) + "." + std::to_string(i_nMinor) + ".0." + std::to_string(i_nRevision);
}

bool frmAbout::Load(std::int32_t i_nMajor, std::int32_t i_nMinor, std::int32_t i_nRevision) {
  try {
    Edit("lblVersion").text = VersionText(i_nMajor, i_nMinor, i_nRevision);
    Edit("lblCopyright").text = kCopyright;
    Edit("lblWebSite").text = kWebSite;
    Edit("lblSupportEMail").text = kSupportEMail;
    Refresh();
    return true;
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to initialize About form.");
    return false;
  }
}

// A browser or mail program that cannot be started is said so.
void frmAbout::lblWebSite_Click() {
  try {
    openWebPage(Control("lblWebSite").text);
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to open the web site.");
  }
}

void frmAbout::lblSupportEMail_Click() {
  try {
    openMailMessage(Control("lblSupportEMail").text);
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to start an e-mail message.");
  }
}

void frmAbout::btnOK_Click() { CloseView(); }

}  // namespace sealvane::forms
