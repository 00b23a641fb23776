// SPDX-License-Identifier: GPL-3.0-or-later
// What the window-logic tests share: a scripted view for each window, and
// digital IDs in the sandbox's stores.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sealvane/csp/WinCrypt.h"
#include "sealvane/forms/frmMain.h"
#include "sealvane/forms/modMain.h"
#include "sealvane/settings/clsConfig.h"
#include "sealvane/settings/clsRegistry.h"
#include "support/FakeUiPort.h"
#include "support/Sandbox.h"
#include "support/Vectors.h"

namespace sealvane::test {

// Answers the selection dialog by choosing rows; without a script, Cancel.
using SelectScript = std::function<void(forms::frmSelectDigitalID&)>;

class FakeSelectHost {
 public:
  SelectScript onSelect;
  int shown = 0;

  void RunSelect(forms::frmSelectDigitalID& dialog) {
    ++shown;
    dialog.Activate();
    if (onSelect) {
      onSelect(dialog);
    } else {
      dialog.btnCancel_Click();
    }
  }
};

class FakeOptionsView : public forms::frmOptionsView, public FakeSelectHost {
 public:
  void Refresh() override {}
  void SetFocus(const std::string& control) override { focus = control; }
  void Close() override { closed = true; }
  void ShowSelectDigitalID(forms::frmSelectDigitalID& dialog) override { RunSelect(dialog); }
  std::string focus;
  bool closed = false;
};

class FakeMainView : public forms::frmMainView, public FakeSelectHost {
 public:
  void Refresh() override { ++refreshes; }
  void SetFocus(const std::string& control) override { focus = control; }
  void Close() override { closed = true; }
  std::optional<std::string> BrowseForFile(const forms::BrowseRequest& request) override {
    browsed.push_back(request);
    return nextBrowse;
  }
  void ShowJob(JobWindow& job) override {
    jobCaptions.push_back(job.Caption());
    shownJob = &job;
    job.Run();
    shownJob = nullptr;
  }
  void ShowSelectDigitalID(forms::frmSelectDigitalID& dialog) override { RunSelect(dialog); }
  void ShowOptions(forms::frmOptions& dialog) override {
    FakeOptionsView optionsView;
    optionsView.onSelect = onSelect;
    dialog.AttachView(&optionsView);
    if (onOptions) onOptions(dialog);
    dialog.AttachView(nullptr);
  }
  void ShowGenDigitalID(forms::frmGenDigitalID& dialog) override {
    ++genShown;
    if (onGenerate) {
      onGenerate(dialog);
    } else {
      dialog.btnCancel_Click();
    }
  }
  void ShowAbout(forms::frmAbout& dialog) override {
    aboutVersion = dialog.Control("lblVersion").text;
    dialog.btnOK_Click();
  }
  std::int32_t LaunchCertificateManager() override {
    ++certManagerLaunches;
    return certManagerError;
  }
  std::uintptr_t ShowHelp(const std::string& file, const std::string& topic) override {
    helpShown.push_back(file + "#" + topic);
    if (!helpOpen) helpOpen = helpNext;
    return helpOpen;
  }
  bool HelpWindowExists(std::uintptr_t handle) override { return handle != 0 && handle == helpOpen; }
  void CloseHelpWindow(std::uintptr_t handle) override {
    if (handle == helpOpen) helpOpen = 0;
  }
  bool ShowDocument(const std::string& path, const std::string& title) override {
    documents.push_back(title + ": " + path);
    return documentsShown;
  }
  void JobEnded(const std::string& summary, bool done) override { ended.push_back((done ? "done: " : "not done: ") + summary); }
  std::vector<std::string> ended;
  std::vector<std::string> documents;
  bool documentsShown = true;
  std::vector<std::string> helpShown;
  std::uintptr_t helpNext = 0x5150;  // 0: the viewer cannot be shown
  std::uintptr_t helpOpen = 0;
  int certManagerLaunches = 0;
  std::int32_t certManagerError = 0;

  std::string aboutVersion;
  int genShown = 0;
  std::function<void(forms::frmGenDigitalID&)> onGenerate;
  int refreshes = 0;
  std::string focus;
  bool closed = false;
  std::optional<std::string> nextBrowse;
  std::vector<forms::BrowseRequest> browsed;
  std::vector<std::string> jobCaptions;
  JobWindow* shownJob = nullptr;  // the job window being shown (where a test presses Cancel)
  std::function<void(forms::frmOptions&)> onOptions;
};


inline ByteArray ImportOwnDigitalID(bool makeDefault = true) {
  csp::BYTE own[20];
  EXPECT_TRUE(csp::ImportPfx(ReadFixture("capi/capi_fixture.pfx"), "fixture-pass", "MY", own));
  ByteArray thumbprint(own, own + 20);
  if (makeDefault) clsConfig().SetDefaultCertTP(thumbprint);
  return thumbprint;
}

// A certificate of another person in AddressBook; its thumbprint.
inline ByteArray AddToAddressBook(const std::string& fixture) {
  const Bytes der = ReadFixture(fixture);
  csp::HCERTSTORE store = csp::CertOpenSystemStoreA(0, "AddressBook");
  csp::PCCERT_CONTEXT cert = 0;
  EXPECT_TRUE(csp::CertAddEncodedCertificateToStore(store, csp::X509_ASN_ENCODING, der.data(),
                                                    static_cast<csp::DWORD>(der.size()),
                                                    csp::CERT_STORE_ADD_REPLACE_EXISTING, &cert));
  ByteArray thumbprint(20);
  csp::DWORD size = 20;
  csp::CertGetCertificateContextProperty(cert, csp::CERT_SHA1_HASH_PROP_ID, thumbprint.data(), &size);
  csp::CertFreeCertificateContext(cert);
  csp::CertCloseStore(store, 0);
  return thumbprint;
}

inline void RemoveFromStore(const char* storeName, const ByteArray& thumbprint) {
  csp::HCERTSTORE store = csp::CertOpenSystemStoreA(0, storeName);
  csp::CRYPT_HASH_BLOB blob {20, thumbprint.data()};
  const csp::PCCERT_CONTEXT cert =
      csp::CertFindCertificateInStore(store, csp::X509_ASN_ENCODING, 0, csp::CERT_FIND_SHA1_HASH, &blob, 0);
  EXPECT_NE(cert, 0u);
  csp::CertDeleteCertificateFromStore(cert);
  csp::CertCloseStore(store, 0);
}

// This machine with the base provider only: provider level 1.
inline void DisableEnhancedProvider() {
  clsRegistry machine;
  machine.SetRootKey(platform::HKEY_LOCAL_MACHINE);
  const char* key = "Software\\Brennock\\Sealvane\\Cryptography\\Disabled Providers";
  machine.CreateKey(key);
  machine.SetIntegerValue(key, "Microsoft Enhanced Cryptographic Provider v1.0", 1);
}

}  // namespace sealvane::test
