// SPDX-License-Identifier: GPL-3.0-or-later
// A simulated mail client: the object model of Outlook.h behind a small
// C++ interface that tests and sealvane-mailhost drive as a user would
// (open a window, close it, send, quit). It loads add-ins as the real
// client does: from their registration under
// HKEY_CURRENT_USER\Software\Microsoft\Office\Outlook\Addins, through their
// ProgID, CLSID and InprocServer32, connected with IDTExtensibility2.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sealvane/outlook/Outlook.h"

namespace sealvane::outlook::sim {

struct ControlLayout {
  LONG id = 0;
  bool visible = true;
};

struct BarLayout {
  std::string name;
  std::vector<ControlLayout> controls;
};

// "Standard=2617,5469h,4;Formatting=1" (h: hidden) as bars; empty text: no bars.
std::vector<BarLayout> ParseBars(const std::string& text);

// A mail window's usual toolbars: Standard with Send (2617) first.
std::vector<BarLayout> DefaultMailBars();

class Client {
 public:
  Client();
  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  // Connects every registered add-in whose LoadBehavior is 3, then raises
  // Startup. Returns a line for each add-in that could not be connected.
  std::vector<std::string> Start();
  // Connects one add-in by its ProgID (as Start does for each).
  HRESULT ConnectAddIn(const std::string& progId);
  std::size_t ConnectedAddIns() const;

  // Opens a window for a new item of the class (olMail, olContact, ...)
  // with these command bars; returns its number (from 1).
  int Open(LONG itemClass, const std::vector<BarLayout>& bars);
  // Closes the window: the item's Close, then the window's Close.
  void Close(int window);
  // Sends the window's mail: ItemSend to every add-in; when no one cancels,
  // the window closes. Returns whether it was sent.
  bool Send(int window);
  // Quit, then every add-in is disconnected and released.
  void Quit();
  // The user turns the add-ins off: each is disconnected and released while
  // the windows stay open.
  void DisconnectAddIns();

  // The window's command bars as text: "Standard: 2617 719 718 4(hidden)".
  std::string Describe(int window) const;
  // The control identifiers of one bar of the window, in order.
  std::vector<LONG> Controls(int window, const std::string& bar) const;
  std::vector<int> Windows() const;
  _Application* Application() const;
  // Connections from add-ins that are still open on the client's objects.
  std::size_t EventSinks() const;

 private:
  struct State;
  std::unique_ptr<State> m;
};

}  // namespace sealvane::outlook::sim
