// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShellHost.h"

#include <algorithm>
#include <cstdio>

#include "sealvane/com/Server.h"
#include "sealvane/platform/Registry.h"

namespace sealvane::shellhost {
namespace {

namespace reg = sealvane::platform;

std::string StringValue(reg::HKEY key, const char* name) {
  reg::DWORD type = 0, size = 0;
  if (reg::RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != 0 || type != reg::REG_SZ || size > 4096) return {};
  std::string data(size, '\0');
  if (reg::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<std::uint8_t*>(data.data()), &size) != 0) return {};
  data.resize(size);
  while (!data.empty() && data.back() == '\0') data.pop_back();
  return data;
}

// The handlers under `classKey`\shellex\ContextMenuHandlers: the key's
// default value names the class, or the key's own name is it.
void AddHandlers(const std::string& classKey, std::vector<RegisteredHandler>& out) {
  reg::HKEY key = 0;
  const std::string path = classKey + "\\shellex\\ContextMenuHandlers";
  if (reg::RegOpenKeyExA(reg::HKEY_CLASSES_ROOT, path.c_str(), 0, reg::KEY_READ, &key) != 0) return;
  for (reg::DWORD i = 0;; ++i) {
    char name[256];
    reg::DWORD len = sizeof(name);
    if (reg::RegEnumKeyExA(key, i, name, &len, nullptr, nullptr, nullptr, nullptr) != 0) break;
    reg::HKEY handler = 0;
    std::string text;
    if (reg::RegOpenKeyExA(key, name, 0, reg::KEY_QUERY_VALUE, &handler) == 0) {
      text = StringValue(handler, nullptr);
      reg::RegCloseKey(handler);
    }
    auto clsid = GuidFromString(text);
    if (!clsid) clsid = GuidFromString(name);
    if (!clsid) continue;
    if (std::any_of(out.begin(), out.end(), [&](const RegisteredHandler& h) { return h.clsid == *clsid; })) continue;
    out.push_back({std::string(name, len), *clsid});
  }
  reg::RegCloseKey(key);
}

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08X", static_cast<unsigned>(hr));
  return text;
}

}  // namespace

std::string MenuLabel(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&') {
      if (i + 1 < text.size() && text[i + 1] == '&') {
        out.push_back('&');
        ++i;
      }
      continue;
    }
    out.push_back(text[i]);
  }
  return out;
}

std::vector<RegisteredHandler> HandlersFor(const std::vector<std::string>& files) {
  std::vector<RegisteredHandler> out;
  AddHandlers("*", out);
  if (!files.empty()) {
    const std::string& first = files.front();
    const std::size_t slash = first.find_last_of('/');
    const std::size_t dot = first.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
      reg::HKEY key = 0;
      const std::string extension = first.substr(dot);
      if (reg::RegOpenKeyExA(reg::HKEY_CLASSES_ROOT, extension.c_str(), 0, reg::KEY_QUERY_VALUE, &key) == 0) {
        const std::string progId = StringValue(key, nullptr);
        reg::RegCloseKey(key);
        if (!progId.empty() && progId.find('\\') == std::string::npos) AddHandlers(progId, out);
      }
    }
  }
  AddHandlers("AllFilesystemObjects", out);
  return out;
}

std::unique_ptr<ShellContextMenu> ShellContextMenu::Build(const std::vector<std::string>& files, UINT flags) {
  std::unique_ptr<ShellContextMenu> menu(new ShellContextMenu());
  ComPtr<IDataObject> data;
  *data.Put() = CreateFileDataObject(files);
  if (!data) throw std::bad_alloc();
  UINT next = kFirstCommandId;
  for (const auto& handler : HandlersFor(files)) {
    ComPtr<IShellExtInit> init;
    HRESULT hr = CoCreateInstance(handler.clsid, nullptr, IID_IShellExtInit, init.PutVoid());
    if (FAILED(hr)) {
      menu->m_notes.push_back(handler.name + " " + GuidToString(handler.clsid) + ": not loaded (" + Hex(hr) + ")");
      continue;
    }
    // A handler that refuses the selection adds nothing; that is not a fault.
    if (FAILED(init->Initialize(nullptr, data.Get(), 0))) continue;
    Loaded loaded;
    loaded.handler = handler;
    hr = init->QueryInterface(IID_IContextMenu, loaded.menu.PutVoid());
    if (FAILED(hr)) {
      menu->m_notes.push_back(handler.name + ": no IContextMenu (" + Hex(hr) + ")");
      continue;
    }
    const auto position = static_cast<UINT>(menu->m_menu.Count());
    hr = loaded.menu->QueryContextMenu(menu->m_menu.Handle(), position, next, kLastCommandId, flags);
    if (FAILED(hr)) continue;
    loaded.first = next;
    loaded.count = HRESULT_CODE(hr);
    next += loaded.count;
    menu->m_handlers.push_back(std::move(loaded));
  }
  for (const auto& item : menu->m_menu.Items()) {
    if ((item.flags & MF_SEPARATOR) != 0) continue;
    for (const auto& loaded : menu->m_handlers) {
      if (item.id < loaded.first || item.id >= loaded.first + loaded.count) continue;
      ShellMenuItem out;
      out.offset = item.id - kFirstCommandId;
      out.text = item.text;
      out.label = MenuLabel(item.text);
      out.handler = loaded.handler.name;
      out.clsid = loaded.handler.clsid;
      char help[512] = {};
      if (SUCCEEDED(loaded.menu->GetCommandString(item.id - loaded.first, GCS_HELPTEXTA, nullptr, help, sizeof(help)))) {
        out.help = help;
      }
      out.bitmap = GetBitmapInfo(item.unchecked, out.bitmapInfo);
      menu->m_items.push_back(std::move(out));
    }
  }
  return menu;
}

HRESULT ShellContextMenu::Invoke(UINT offset) {
  const UINT id = offset + kFirstCommandId;
  for (auto& loaded : m_handlers) {
    if (id < loaded.first || id >= loaded.first + loaded.count) continue;
    CMINVOKECOMMANDINFO info;
    info.lpVerb = MAKEINTRESOURCEA(id - loaded.first);
    info.nShow = SW_SHOWNORMAL;
    return loaded.menu->InvokeCommand(&info);
  }
  return E_INVALIDARG;
}

ShellContextMenu::~ShellContextMenu() {
  // The handlers first, then the servers that nothing holds any more.
  m_handlers.clear();
  CoFreeUnusedLibraries();
}

}  // namespace sealvane::shellhost
