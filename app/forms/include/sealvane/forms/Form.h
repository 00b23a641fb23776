// SPDX-License-Identifier: GPL-3.0-or-later
// What the windows' logic shares: the state of each control as plain data,
// kept by the form and drawn by a view. A form never touches a toolkit; its
// view draws the data after each event and hands the user's events back.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace sealvane::forms {

// The two background colours an editable control shows.
enum class Background { Window, ButtonFace };

struct ControlState {
  bool visible = true;
  bool enabled = true;
  bool readOnly = false;
  Background background = Background::Window;
  std::string text;     // caption, or a text box's contents
  std::string tooltip;  // empty: none
  // Check box: 0 or 1. Option button, toolbar button: 1 when selected or
  // pressed. Drop-down list: the list index, -1 for none.
  int value = 0;
  std::vector<std::string> items;  // a drop-down list's entries, top to bottom
  std::vector<std::string> itemTips;  // a note for each entry; empty: none
};

// A view draws its form. Refresh reads every control's state; the rest are
// what a view alone can do.
class FormView {
 public:
  virtual ~FormView() = default;
  virtual void Refresh() = 0;
  // Redraws one control (a note that follows what is typed).
  virtual void RefreshControl(const std::string& /*control*/) { Refresh(); }
  virtual void SetFocus(const std::string& control) = 0;
  // Closes (unloads) the window.
  virtual void Close() = 0;
};

class Form {
 public:
  virtual ~Form() = default;

  // The state of a control by its name ("optAccess(1)" for an element of a
  // control array). Throws std::out_of_range for a name the form lacks.
  const ControlState& Control(const std::string& name) const { return m_controls.at(name); }
  const std::map<std::string, ControlState>& Controls() const noexcept { return m_controls; }

  void AttachView(FormView* view) noexcept { m_view = view; }

 protected:
  ControlState& Edit(const std::string& name) { return m_controls.at(name); }
  void Add(const std::string& name, std::string text, std::string tooltip = {}) {
    ControlState state;
    state.text = std::move(text);
    state.tooltip = std::move(tooltip);
    m_controls[name] = std::move(state);
  }
  void Refresh() {
    if (m_view) m_view->Refresh();
  }
  void RefreshControl(const std::string& control) {
    if (m_view) m_view->RefreshControl(control);
  }
  void Focus(const std::string& control) {
    if (m_view) m_view->SetFocus(control);
  }
  void CloseView() {
    if (m_view) m_view->Close();
  }

  FormView* m_view = nullptr;

 private:
  std::map<std::string, ControlState> m_controls;
};

// The cipher list of the main window and the Options dialog, top to bottom:
// "AES (256-bit)" (cipher 6, the modern format), then the ciphers kept for
// exchanging archives with the other platform, strongest first, the strong
// ones only when `strong`.
std::vector<std::string> AlgorithmList(bool strong);
// The cipher number of each entry, and the note shown with it.
std::vector<std::int32_t> AlgorithmNumbers(bool strong);
std::vector<std::string> AlgorithmTips(bool strong);
// Where cipher `n` is in the list; -1 when the list does not hold it.
int AlgorithmIndex(bool strong, std::int32_t n);
// The cipher at `index` of the list; 0 for none.
std::int32_t AlgorithmAt(bool strong, int index);
// The same for a list as a form shows it.
int AlgorithmIndexIn(const ControlState& list, std::int32_t n);
std::int32_t AlgorithmAtIn(const ControlState& list, int index);

// Overwrites a text's characters (a password box's contents) and empties it.
void WipeText(std::string& text) noexcept;

}  // namespace sealvane::forms
