// SPDX-License-Identifier: GPL-3.0-or-later
// The file manager's side of context-menu handlers: finds the handlers
// registered for a selection in HKEY_CLASSES_ROOT, loads them, and builds
// and carries out their menu as the other platform's shell does
// (Initialize, QueryContextMenu, GetCommandString, InvokeCommand).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sealvane/com/Shell.h"

namespace sealvane::shellhost {

using namespace sealvane::com;

struct RegisteredHandler {
  std::string name;  // the key under ...\shellex\ContextMenuHandlers
  CLSID clsid;
};

// The handlers for the selection: those for all files ("*"), for the
// ProgID of the first file's extension, and for all file-system objects, in
// that order, each class once.
std::vector<RegisteredHandler> HandlersFor(const std::vector<std::string>& files);

struct ShellMenuItem {
  UINT offset = 0;  // from the menu's first command identifier
  std::string text;   // as the handler gave it, with its & marks
  std::string label;  // without them
  std::string help;   // from GetCommandString (ANSI); empty when refused
  std::string handler;
  CLSID clsid;
  bool bitmap = false;
  BitmapInfo bitmapInfo;
};

// One context menu: the handlers stay loaded while it lives.
class ShellContextMenu {
 public:
  ShellContextMenu(const ShellContextMenu&) = delete;
  ShellContextMenu& operator=(const ShellContextMenu&) = delete;
  ~ShellContextMenu();

  // Builds the menu for the files (`flags` as Explorer passes them).
  // Handlers that fail to load or to initialise are left out and noted.
  static std::unique_ptr<ShellContextMenu> Build(const std::vector<std::string>& files, UINT flags = CMF_NORMAL);

  const std::vector<ShellMenuItem>& Items() const { return m_items; }
  const std::vector<std::string>& Notes() const { return m_notes; }

  // Carries out the item at `offset`; E_INVALIDARG when there is none.
  HRESULT Invoke(UINT offset);

 private:
  ShellContextMenu() = default;
  struct Loaded {
    RegisteredHandler handler;
    ComPtr<IContextMenu> menu;
    UINT first = 0;
    UINT count = 0;
  };
  std::vector<Loaded> m_handlers;
  Menu m_menu;
  std::vector<ShellMenuItem> m_items;
  std::vector<std::string> m_notes;
};

// Text without its & marks ("&&" is a literal &).
std::string MenuLabel(const std::string& text);

// The first command identifier the shell gives the first handler.
inline constexpr UINT kFirstCommandId = 1;
inline constexpr UINT kLastCommandId = 0x7FFF;

}  // namespace sealvane::shellhost
