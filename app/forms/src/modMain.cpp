// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/forms/modMain.h"

#include <algorithm>
#include <cctype>

#include "sealvane/archive/modCommon.h"
#include "sealvane/settings/clsConfig.h"
#include "sealvane/settings/clsRegistry.h"

namespace sealvane::forms {
namespace {

bool IsSwitch(const std::string& argument) {
  return argument.size() > 1 && argument[0] == '/' &&
         std::all_of(argument.begin() + 1, argument.end(), [](char c) { return std::isalpha(static_cast<unsigned char>(c)); });
}

}  // namespace

std::string RebuildCommandLine(const std::vector<std::string>& i_colArgs) {
  std::string line;
  for (const std::string& argument : i_colArgs) {
    if (!line.empty()) line.push_back(' ');
    if (IsSwitch(argument) || (!argument.empty() && argument[0] == '"')) {
      line += argument;
    } else {
      line += '"' + argument + '"';
    }
  }
  return line;
}

bool SeveralFiles(const std::vector<std::string>& i_colArgs, std::vector<std::string>& o_colFiles,
                  std::string& o_strMode) {
  const bool encrypt = !i_colArgs.empty() && (i_colArgs[0] == "/e" || i_colArgs[0] == "/E");
  const std::size_t first = encrypt ? 1 : 0;
  if (i_colArgs.size() < first + 2) return false;
  if (std::any_of(i_colArgs.begin() + static_cast<std::ptrdiff_t>(first), i_colArgs.end(), IsSwitch)) return false;
  o_colFiles.assign(i_colArgs.begin() + static_cast<std::ptrdiff_t>(first), i_colArgs.end());
  o_strMode = encrypt ? kModeEncrypt : "";
  return true;
}

bool modMain::Startup(UiPort& ui, frmMain& form, const std::function<void()>& show, const std::string& i_strCmd,
                      const std::vector<std::string>& i_colFiles, const std::string& i_strFilesMode) {
  bool shown = false;
  try {
    clsConfig config;
    std::int32_t major = 0, minor = 0;
    config.GetVersion(major, minor);
    config.SetVersion(kVersionMajor, kVersionMinor);
    form.Load();
    show();
    shown = true;
    form.Activate();
    if (!i_colFiles.empty()) {
      if (i_strFilesMode.empty()) {
        form.FilesDropped(i_colFiles);
      } else {
        form.PrepareMany(i_strFilesMode, i_colFiles);
      }
    } else if (i_strCmd.empty()) {
      form.GetParameters(kModeEncrypt, true);
      form.SetToolBar(kModeEncrypt);
      form.SetForm(kModeEncrypt);
    } else {
      form.ProcessCmd(i_strCmd);
    }
    ShowWelcome(ui, form);
  } catch (...) {
    ShowRuntimeError(ui, "Failed to initialize Sealvane.");
  }
  return shown;
}

void modMain::ShowWelcome(UiPort& ui, frmMain& form) {
  clsConfig config;
  bool welcomed = false;
  config.GetWelcomed(welcomed);
  if (welcomed) return;
  config.SetWelcomed(true);
  MessageBoxRequest question;
  question.title = "Sealvane";
  question.text = std::string("Welcome to Sealvane!") + kCR + kCR + "To begin you should first generate your own digital ID." +
                  kCR + "Do you wish to generate your digital ID now?";
  question.icon = MsgIcon::Question;
  question.buttons = MsgButtons::YesNo;
  if (ui.ShowMessageBox(question) != MsgResult::Yes) return;
  form.ShowGenerateDigitalID();
}

std::int32_t RegisterShellSettings(UiPort& ui, const std::string& i_strProgram, const std::string& i_strIcon) {
  clsRegistry registry;
  registry.SetRootKey(platform::HKEY_CLASSES_ROOT);
  const std::pair<const char*, std::string> values[] = {
      {".sva", "Sealvane.Archive"},
      {"Sealvane.Archive", "Sealvane Encrypted Archive"},
      {"Sealvane.Archive\\DefaultIcon", i_strIcon},
      {"Sealvane.Archive\\shell\\open\\command", "\"" + i_strProgram + "\" \"%1\""},
  };
  for (const auto& [key, value] : values) {
    std::int32_t rc = registry.CreateKey(key);
    if (rc == 0) rc = registry.SetStringValue(key, "", value);
    if (rc != 0) {
      ShowError(ui, "Failed to register Sealvane shell settings.", rc);
      return rc;
    }
  }
  return 0;
}

}  // namespace sealvane::forms
