// SPDX-License-Identifier: GPL-3.0-or-later
// `sealvane-cli options`: shows the encryption defaults, or sets them
// through the Options dialog's own logic (load, select, OK), so its checks
// and messages are the dialog's.
#include "OptionsCommand.h"

#include <iostream>
#include <optional>

#include "Help.h"
#include "TerminalUi.h"
#include "Text.h"
#include "sealvane/archive/clsArchive.h"
#include "sealvane/archive/modCommon.h"
#include "sealvane/forms/frmOptions.h"
#include "sealvane/settings/clsConfig.h"

namespace sealvane::cli {
namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// The dialog without a window: the selection dialog picks the digital ID
// with the wanted thumbprint.
class TerminalOptionsView : public forms::frmOptionsView {
 public:
  explicit TerminalOptionsView(std::optional<ByteArray> wanted) : m_wanted(std::move(wanted)) {}
  void Refresh() override {}
  void SetFocus(const std::string&) override {}
  void Close() override { closed = true; }
  void ShowSelectDigitalID(forms::frmSelectDigitalID& dialog) override {
    const auto& rows = dialog.Rows();
    for (std::size_t i = 0; m_wanted && i < rows.size(); ++i) {
      const clsDigitalID& id = dialog.DigitalIDs().at(static_cast<std::size_t>(rows[i].tag - 1));
      if (SameBytes(id.m_varThumbprint, *m_wanted)) {
        dialog.SelectRow(i, true);
        found = true;
      }
    }
    if (found) {
      dialog.btnOK_Click();
    } else {
      dialog.btnCancel_Click();
    }
  }
  bool closed = false;
  bool found = false;

 private:
  std::optional<ByteArray> m_wanted;
};

int Usage(std::ostream& err, const std::string& problem) {
  err << "sealvane-cli: " << problem << "\n";
  PrintUsageLine(err, *FindCommand("options"));
  return kExitUsage;
}

}  // namespace

int RunOptionsCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
  std::optional<ByteArray> defaultId;
  std::optional<int> cipher;
  std::optional<bool> compress, openAfter, deleteOriginal;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if ((a == "--default-id" || a == "--cipher") && i + 1 >= args.size()) return Usage(err, a + " needs a value");
    if (a == "--default-id") {
      defaultId = ParseThumbprint(args[++i]);
      if (!defaultId) return Usage(err, "a THUMBPRINT is 40 hexadecimal digits: \"" + args[i] + "\"");
    } else if (a == "--cipher") {
      const std::string& v = args[++i];
      if (v == "aes" || v == "AES") {
        cipher = kCipherAes256;
      } else if (v.size() == 1 && v[0] >= '1' && v[0] <= '6') {
        cipher = v[0] - '0';
      } else {
        return Usage(err, "--cipher takes a number from 1 to 6, or aes");
      }
    } else if (a == "--compress" || a == "--no-compress") {
      compress = a == "--compress";
    } else if (a == "--open-after" || a == "--no-open-after") {
      openAfter = a == "--open-after";
    } else if (a == "--shred-original" || a == "--no-shred-original") {
      deleteOriginal = a == "--shred-original";
    } else {
      return Usage(err, "unknown option \"" + a + "\"");
    }
  }
  TerminalUi ui(in, err, false);
  TerminalOptionsView view(defaultId);
  forms::frmOptions dialog(ui);
  dialog.AttachView(&view);
  if (!dialog.Load()) return kExitFailure;

  const bool change = defaultId || cipher || compress || openAfter || deleteOriginal;
  if (change) {
    if (defaultId) {
      dialog.btnSelect_Click();
      if (!view.found) {
        if (ui.BoxesShown() == 0) {
          err << "sealvane-cli: no digital ID with thumbprint " << Hex(*defaultId)
              << " and its private key in MY (see sealvane-cli certs list MY)\n";
        }
        return kExitFailure;
      }
    }
    if (cipher) {
      const int index = forms::AlgorithmIndexIn(dialog.Control("cmbAlgorithm"), *cipher);
      if (index < 0) {
        ShowWarning(ui, "Cipher " + std::to_string(*cipher) +
                            " needs the enhanced provider, which this computer does not offer.",
                    0);
        return kExitFailure;
      }
      dialog.cmbAlgorithm_Click(index);
    }
    if (compress) dialog.chkCompressFile_Click(*compress ? 1 : 0);
    if (openAfter) dialog.chkOpenFile_Click(*openAfter ? 1 : 0);
    if (deleteOriginal) dialog.chkDeleteOriginal_Click(*deleteOriginal ? 1 : 0);
    dialog.btnOK_Click();
    if (!view.closed) return kExitFailure;
  }
  // What the dialog shows (after saving, as it now stands).
  clsConfig config;
  ByteArray thumbprint;
  const bool haveDefault = config.GetDefaultCertTP(thumbprint) == 0 && thumbprint.size() == 20;
  forms::frmOptions shown(ui);
  if (!shown.Load()) return kExitFailure;
  const auto& list = shown.Control("cmbAlgorithm");
  out << "Default digital ID: "
      << (haveDefault ? EscapeForTerminal(shown.Control("txtDigitalID").text) + "  " + Hex(thumbprint) : "(none)")
      << "\n"
      << "Algorithm:          " << list.items.at(static_cast<std::size_t>(list.value)) << " (cipher "
      << forms::AlgorithmAtIn(list, list.value) << ")\n"
      << "Compress file:      " << (shown.Control("chkCompressFile").value == 1 ? "yes" : "no") << "\n"
      << "Open after:         " << (shown.Control("chkOpenFile").value == 1 ? "yes" : "no") << "\n"
      << "Shred original:     " << (shown.Control("chkDeleteOriginal").value == 1 ? "yes" : "no") << "\n";
  return 0;
}

}  // namespace sealvane::cli
