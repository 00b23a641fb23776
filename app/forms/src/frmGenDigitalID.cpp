// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/forms/frmGenDigitalID.h"

#include <strings.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <limits>

#include "sealvane/archive/modCommon.h"
#include "sealvane/forms/clsIAM.h"
#include "sealvane/platform/Pinentry.h"
#include "sealvane/settings/clsConfig.h"

namespace sealvane::forms {
namespace {

void AddOnce(std::vector<std::string>& list, const std::string& text) {
  if (text.empty()) return;
  const bool seen = std::any_of(list.begin(), list.end(),
                                [&](const std::string& s) { return ::strcasecmp(s.c_str(), text.c_str()) == 0; });
  if (!seen) list.push_back(text);
}

MsgResult Ask(UiPort& ui, const std::string& text, MsgIcon icon, MsgButtons buttons) {
  MessageBoxRequest request;
  request.title = "Sealvane";
  request.text = text;
  request.icon = icon;
  request.buttons = buttons;
  return ui.ShowMessageBox(request);
}

}  // namespace

frmGenDigitalID::frmGenDigitalID(UiPort& ui, CipherLibrary& library) : m_ui(ui), m_library(library) {
  Add("frmGenDigitalID", "Generate Digital ID");
  Add("Label1", "Name:");
  Add("cmbName", "", "Your name.");
  Add("Label2", "E-Mail Address:");
  Add("cmbEMailAddr", "", "Your e-mail address.  Required for e-mail encryption and signing.");
  Add("Label3", "Organization Name:");
  Add("cmbOrgName", "", "Your organization's name.");
  Add("Frame1", "Advanced Options");
  Add("chkSetSecurity", "Enable strong private key protection",
      "If this is checked, you will be prompted to set the security level for accessing your private key.");
  Add("btnOK", "OK");
  Add("btnCancel", "Cancel");
}

std::string frmGenDigitalID::Subject(const std::string& i_strName, const std::string& i_strEmail,
                                     const std::string& i_strOrg) {
  std::string subject = "cn=" + i_strName;
  if (!i_strEmail.empty()) subject += ", e=" + i_strEmail;
  subject += ", ou=Sealvane";
  if (!i_strOrg.empty()) subject += ", o=" + i_strOrg;
  return subject;
}

std::int32_t frmGenDigitalID::NextSerialNumber() {
  clsConfig config;
  std::int32_t serial = 0;
  config.GetCertSerialNum(serial);
  if (serial == std::numeric_limits<std::int32_t>::max()) throw platform::RuntimeError(platform::rt::kOverflow);
  ++serial;
  config.SetCertSerialNum(serial);
  return serial;
}

bool frmGenDigitalID::InvalidForDN(const std::string& i_strText) {
  return !i_strText.empty() && i_strText.find_first_of(",+=<>#\"") != std::string::npos;
}

void frmGenDigitalID::Validity(SLSystemTime& o_oFrom, SLSystemTime& o_oTo) {
  const auto now = std::chrono::system_clock::now();
  const time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  struct tm local {};
  localtime_r(&seconds, &local);
  o_oFrom = {static_cast<uint16_t>(local.tm_year + 1900), static_cast<uint16_t>(local.tm_mon + 1),
             static_cast<uint16_t>(local.tm_wday), static_cast<uint16_t>(local.tm_mday),
             static_cast<uint16_t>(local.tm_hour), static_cast<uint16_t>(local.tm_min),
             static_cast<uint16_t>(std::min(local.tm_sec, 59)), static_cast<uint16_t>(millis)};
  o_oTo = o_oFrom;
  o_oTo.wYear = static_cast<uint16_t>(o_oFrom.wYear + 20);
  const bool leap = (o_oTo.wYear % 4 == 0 && o_oTo.wYear % 100 != 0) || o_oTo.wYear % 400 == 0;
  if (o_oTo.wMonth == 2 && o_oTo.wDay == 29 && !leap) o_oTo.wDay = 28;
}

bool frmGenDigitalID::Load() {
  try {
    std::vector<clsAccount> accounts;
    clsIAM iam(m_ui);
    if (iam.GetAccounts(accounts) != 0) accounts.clear();
    // What the desktop knows comes after the registry's accounts.
    for (clsAccount& account : DesktopAccounts()) accounts.push_back(std::move(account));
    std::vector<std::string> names, addresses, organizations;
    for (const clsAccount& account : accounts) {
      AddOnce(names, account.m_strName);
      AddOnce(addresses, account.m_strEMailAddr);
      AddOnce(organizations, account.m_strOrgName);
    }
    const auto fill = [this](const char* name, std::vector<std::string> items) {
      ControlState& box = Edit(name);
      box.items = std::move(items);
      box.value = box.items.empty() ? -1 : 0;
      box.text = box.items.empty() ? "" : box.items.front();
    };
    fill("cmbName", names);
    fill("cmbEMailAddr", addresses);
    fill("cmbOrgName", organizations);
    m_bValuesChanged = false;
    Refresh();
    return true;
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to initialize Generate Digital ID form.");
    return false;
  }
}

void frmGenDigitalID::TextChanged(const std::string& i_strControl, const std::string& i_strText) {
  Edit(i_strControl).text = i_strText;
}

void frmGenDigitalID::chkSetSecurity_Click(int i_nValue) { Edit("chkSetSecurity").value = i_nValue; }

void frmGenDigitalID::btnOK_Click() {
  try {
    const std::string name = Trim(Control("cmbName").text);
    const std::string email = Trim(Control("cmbEMailAddr").text);
    const std::string org = Trim(Control("cmbOrgName").text);
    const bool strong = CheckToBool(Control("chkSetSecurity").value);
    const std::string forbidden = ": , + = < > # \"";
    if (name.empty()) {
      ShowWarning(m_ui, "You must specify a name.", 0);
      Focus("cmbName");
      return;
    }
    if (InvalidForDN(name)) {
      ShowWarning(m_ui, "The following characters must not be used in a Name" + forbidden, 0);
      Focus("cmbName");
      return;
    }
    if (InvalidForDN(email)) {
      ShowWarning(m_ui, "The following characters must not be used in an E-Mail Address" + forbidden, 0);
      Focus("cmbEMailAddr");
      return;
    }
    if (email.empty() &&
        Ask(m_ui,
            std::string("If you do not specify an e-mail address, you will not be able to use your digital ID for "
                        "e-mail.") + kCR + "Do you wish to continue?",
            MsgIcon::Question, MsgButtons::YesNo) != MsgResult::Yes) {
      return;
    }
    if (InvalidForDN(org)) {
      ShowWarning(m_ui, "The following characters must not be used in an Organization Name" + forbidden, 0);
      Focus("cmbOrgName");
      return;
    }
    const std::string subject = Subject(name, email, org);
    // The counter advances here, whatever happens next.
    const std::int32_t serial = NextSerialNumber();

    SLSystemTime from {}, to {};
    Validity(from, to);
    if (Ask(m_ui, "You will be prompted to add your certificate to the Root Store.  Just select \"Yes\" in response to this.",
            MsgIcon::Information, MsgButtons::OKCancel) != MsgResult::OK) {
      return;
    }
    std::uint8_t thumbprint[20] = {};
    char message[SL_MESSAGE_SIZE] = {};
    const platform::PromptPurpose purpose("for " + (email.empty() ? name : name + " <" + email + ">"));
    if (m_library.SLGenDigitalID(subject.c_str(), 0, strong ? -1 : 0, serial, &from, &to, thumbprint, message) == 0) {
      ShowError(m_ui, CutAtNull(std::string(message, sizeof(message))), 0);
      Focus("cmbName");
      return;
    }
    const ByteArray id(thumbprint, thumbprint + 20);
    clsConfig().SetDefaultCertTP(id);
    std::int32_t given = 0;
    if (!email.empty()) clsIAM(m_ui).SetAccountCerts(email, id, &given);
    // Paragraphs, each one line: the box wraps them to its width.
    std::string success = std::string("Your new digital ID has been successfully created.") + kCR +
                          "You can see its certificate in the Certificate Manager (Tools menu).";
    if (!email.empty()) {
      success += std::string(1, kCR) + kCR;
      success += given > 0 ? "Your mail accounts for " + email + " (" + std::to_string(given) +
                                 ") were given it: the mail add-in signs and encrypts their messages with it."
                           : "No mail account here uses " + email +
                                 " yet: once one does, choose this digital ID again in Options, and the account is "
                                 "given it.";
      success += std::string(1, kCR) +
                 "To use it in Thunderbird, export it with its private key in the Certificate Manager (Export, a "
                 "\".p12\" file) and import that in Thunderbird's account settings, under End-To-End Encryption.";
    }
    success += std::string(1, kCR) + kCR;
    success += "Remember that you must exchange digital IDs with people that you want to communicate with.  This can "
               "be done by digitally signing e-mails or by exporting and importing digital IDs to \".cer\" files.";
    Ask(m_ui, success, MsgIcon::Information, MsgButtons::OK);
    m_bValuesChanged = true;
    CloseView();
  } catch (...) {
    ShowRuntimeError(m_ui, "Failed to generate Digital ID.");
  }
}

void frmGenDigitalID::btnCancel_Click() { CloseView(); }

}  // namespace sealvane::forms
