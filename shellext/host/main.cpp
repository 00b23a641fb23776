// SPDX-License-Identifier: GPL-3.0-or-later
// sealvane-shell: serves the context-menu handlers registered in
// HKEY_CLASSES_ROOT to Linux file managers.
//
//   sealvane-shell menu [--json] FILE...       the items the handlers add for the files
//   sealvane-shell invoke FILE... OFFSET       carries out the item at OFFSET
//   sealvane-shell action VERB FILE...         encrypt, decrypt or delete, as a file manager's entry asks
//   sealvane-shell register [SERVER]           registers the server and writes the file managers' entries
//   sealvane-shell unregister [SERVER]         removes both again
#include <cstdio>
#include <iostream>
#include <limits.h>
#include <nlohmann/json.hpp>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "Actions.h"
#include "ShellHost.h"
#include "sealvane/com/Server.h"
#include "sealvane/platform/Process.h"
#include "sealvane/platform/Registry.h"

namespace {

using namespace sealvane::shellhost;

constexpr const char* kUsage =
    "usage: sealvane-shell menu [--json] FILE...\n"
    "       sealvane-shell invoke FILE... OFFSET\n"
    "       sealvane-shell action encrypt|decrypt|delete FILE...\n"
    "       sealvane-shell register [SERVER]\n"
    "       sealvane-shell unregister [SERVER]\n";

std::string SelfPath() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (n <= 0) return "sealvane-shell";
  path[n] = '\0';
  return path;
}

std::string Folder(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08X", static_cast<unsigned>(hr));
  return text;
}

std::string HresultText(HRESULT hr) {
  switch (hr) {
    case E_ACCESSDENIED: return "access denied";
    case E_INVALIDARG: return "the handler refused the request";
    case CO_E_DLLNOTFOUND: return "the server could not be loaded";
    case CO_E_ERRORINDLL: return "the file is not a server of this kind";
    case E_OUTOFMEMORY: return "out of memory";
    default: return "error";
  }
}

// The selection made absolute, as a file manager passes it.
std::vector<std::string> Absolute(const std::vector<std::string>& files) {
  std::vector<std::string> out;
  char cwd[PATH_MAX];
  const std::string here = ::getcwd(cwd, sizeof(cwd)) != nullptr ? cwd : "";
  for (const auto& f : files) out.push_back(!f.empty() && f[0] == '/' ? f : here + "/" + f);
  return out;
}

// Leading "--" ends the options.
std::vector<std::string> Operands(std::vector<std::string> args, bool& json) {
  std::vector<std::string> out;
  bool options = true;
  for (auto& a : args) {
    if (options && a == "--") {
      options = false;
    } else if (options && a == "--json") {
      json = true;
    } else {
      out.push_back(std::move(a));
    }
  }
  return out;
}

int MenuCommand(const std::vector<std::string>& args) {
  bool json = false;
  const auto files = Absolute(Operands(args, json));
  if (files.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  auto menu = ShellContextMenu::Build(files);
  for (const auto& note : menu->Notes()) std::cerr << "sealvane-shell: " << note << "\n";
  if (json) {
    nlohmann::json items = nlohmann::json::array();
    for (const auto& item : menu->Items()) {
      items.push_back({{"offset", item.offset}, {"text", item.text}, {"label", item.label}, {"help", item.help},
                       {"handler", item.handler}, {"clsid", sealvane::com::GuidToString(item.clsid)},
                       {"bitmap", item.bitmap ? std::to_string(item.bitmapInfo.width) + "x" +
                                                    std::to_string(item.bitmapInfo.height)
                                              : ""}});
    }
    std::cout << nlohmann::json{{"items", items}}.dump(2) << "\n";
  } else {
    for (const auto& item : menu->Items()) {
      std::cout << item.offset << "\t" << item.text << "\t" << item.help << "\n";
    }
  }
  return 0;
}

int InvokeCommand(const std::vector<std::string>& args) {
  bool json = false;
  auto operands = Operands(args, json);
  if (operands.size() < 2) {
    std::cerr << kUsage;
    return 2;
  }
  const std::string offsetText = operands.back();
  operands.pop_back();
  unsigned long offset = 0;
  try {
    std::size_t used = 0;
    offset = std::stoul(offsetText, &used);
    if (used != offsetText.size() || offset > kLastCommandId) throw std::out_of_range(offsetText);
  } catch (const std::exception&) {
    std::cerr << "sealvane-shell: \"" << offsetText << "\" is not a menu offset\n";
    return 2;
  }
  auto menu = ShellContextMenu::Build(Absolute(operands));
  for (const auto& note : menu->Notes()) std::cerr << "sealvane-shell: " << note << "\n";
  const HRESULT hr = menu->Invoke(static_cast<UINT>(offset));
  if (FAILED(hr)) {
    std::cerr << "sealvane-shell: there is no menu item at offset " << offset << " for this selection (" << Hex(hr)
              << ")\n";
    return 1;
  }
  return 0;
}

// What a file manager's entry asks for. One file: the handler's item with
// that label when it offers one; otherwise (an entry the file manager could
// not hide, such as Encrypt on an archive) the program is started for
// exactly what the entry's label says. Several files, or a folder, which the
// handler does not take: one program for all of them (Secure Delete, which
// the program does one file at a time: one for each).
int ActionCommand(const std::vector<std::string>& args) {
  bool json = false;
  auto operands = Operands(args, json);
  if (operands.size() < 2) {
    std::cerr << kUsage;
    return 2;
  }
  const std::string verb = operands[0];
  const std::vector<std::string> files = Absolute({operands.begin() + 1, operands.end()});
  std::string label, switchText;
  if (verb == "encrypt") {
    label = "Encrypt";
    switchText = "/e ";
  } else if (verb == "decrypt") {
    label = "Decrypt";
  } else if (verb == "delete") {
    label = "Secure Delete";
    switchText = "/d ";
  } else {
    std::cerr << "sealvane-shell: unknown action \"" << verb << "\"\n" << kUsage;
    return 2;
  }
  struct stat st {};
  const bool folder = files.size() == 1 && ::stat(files[0].c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  if (files.size() == 1 && !folder) {
    auto menu = ShellContextMenu::Build(files);
    for (const auto& item : menu->Items()) {
      if (item.label == label) {
        const HRESULT hr = menu->Invoke(item.offset);
        if (SUCCEEDED(hr)) return 0;
        std::cerr << "sealvane-shell: " << label << " failed (" << Hex(hr) << ")\n";
        return 1;
      }
    }
  }
  std::vector<std::string> starts;
  if (verb == "delete") {
    for (const auto& file : files) starts.push_back(switchText + sealvane::platform::QuoteParameter(file));
  } else {
    std::string parameters = switchText;
    for (const auto& file : files) {
      if (&file != &files.front()) parameters += ' ';
      parameters += sealvane::platform::QuoteParameter(file);
    }
    starts.push_back(parameters);
  }
  const std::string program = Folder(SelfPath()) + "/sealvane";
  for (const auto& parameters : starts) {
    const auto result = reinterpret_cast<std::uintptr_t>(
        ShellExecuteA(nullptr, nullptr, program.c_str(), parameters.c_str(), nullptr, SW_SHOWNORMAL));
    if (result <= 32) {
      std::cerr << "sealvane-shell: " << program << " could not be started\n";
      return 1;
    }
  }
  return 0;
}

int Register(const std::vector<std::string>& args, bool registering) {
  if (args.size() > 1) {
    std::cerr << kUsage;
    return 2;
  }
  std::string server = args.empty() ? Folder(SelfPath()) + "/libsealvaneshl.so" : args[0];
  if (server.find('/') == std::string::npos) server = "./" + server;
  if (server[0] != '/') server = Absolute({server})[0];
  const char* entry = registering ? "DllRegisterServer" : "DllUnregisterServer";
  std::string loadError;
  const HRESULT hr = sealvane::com::CallServerEntry(server, entry, &loadError);
  if (FAILED(hr)) {
    std::cerr << "sealvane-shell: " << entry << " in " << server << " failed: " << HresultText(hr) << " (" << Hex(hr)
              << ")";
    if (!loadError.empty()) std::cerr << ": " << loadError;
    if (hr == E_ACCESSDENIED) {
      std::string detail = sealvane::platform::RegLastErrorDetail();
      std::cerr << ".\nRegistering the context-menu handler needs write access to the machine hive"
                << (detail.empty() ? "" : " (" + detail + ")") << "; nothing was registered";
    }
    std::cerr << ".\n";
    if (registering) return 1;
  }
  const ActionFiles files = registering ? WriteActions(SelfPath()) : RemoveActions();
  std::cout << (registering ? "Registered " : "Unregistered ") << server << "\n";
  for (const auto& f : files.written) std::cout << "Wrote " << f << "\n";
  for (const auto& f : files.removed) std::cout << "Removed " << f << "\n";
  for (const auto& f : files.edited) std::cout << "Removed Sealvane's actions from " << f << "\n";
  for (const auto& p : files.problems) std::cerr << "sealvane-shell: " << p << "\n";
  return files.problems.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
      std::cout << kUsage;
      return args.empty() ? 2 : 0;
    }
    const std::string command = args[0];
    args.erase(args.begin());
    if (command == "menu") return MenuCommand(args);
    if (command == "invoke") return InvokeCommand(args);
    if (command == "action") return ActionCommand(args);
    if (command == "register") return Register(args, true);
    if (command == "unregister") return Register(args, false);
    std::cerr << "sealvane-shell: unknown command \"" << command << "\"\n" << kUsage;
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "sealvane-shell: " << e.what() << "\n";
    return 1;
  }
}
