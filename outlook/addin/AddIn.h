// SPDX-License-Identifier: GPL-3.0-or-later
// The mail add-in: dsrSealvaneOL, the object the client connects through
// IDTExtensibility2, and clsMailHandler, one per open mail window, which
// puts the built-in controls 719 and 718 after the window's Send button.
#pragma once

#include <string>

#include "sealvane/outlook/Outlook.h"

namespace sealvane::outlook::addin {

inline constexpr CLSID CLSID_dsrSealvaneOL = MakeGuid("{E25D84A2-FFCB-4503-847C-B0CB86F56C1A}");
inline constexpr CLSID CLSID_clsMailHandler = MakeGuid("{8656BB06-AB57-4E9D-9BBC-B70621F9F680}");
inline constexpr IID IID__dsrSealvaneOL = MakeGuid("{6C082D4F-81D7-464B-BFA5-8835BA52EB33}");
inline constexpr IID IID__clsMailHandler = MakeGuid("{C7A0EFA1-B755-43AD-A25D-D6CD75C46967}");
inline constexpr GUID LIBID_SealvaneOL = MakeGuid("{4C3B741C-484A-4F63-9D0D-23410369271B}");

inline constexpr const char* kAppTitle = "SealvaneOL";
inline constexpr const char* kAddInKey = "Software\\Microsoft\\Office\\Outlook\\Addins\\SealvaneOL.dsrSealvaneOL";

// The class's own dual interface: nothing beyond IDispatch.
class _dsrSealvaneOL : public IDispatch {
 protected:
  ~_dsrSealvaneOL() = default;
};

class _clsMailHandler : public IDispatch {
 public:
  virtual HRESULT Initialize(_Inspector* inspector) = 0;
  virtual HRESULT CreateAddInMenu() = 0;
  virtual HRESULT RemoveAddInMenu() = 0;

 protected:
  ~_clsMailHandler() = default;
};

// A run-time failure: its number (an HRESULT as a signed number, or a
// run-time error number) and its description.
struct AddInError {
  std::int32_t number;
  std::string description;
};

// The box of an unexpected failure: critical icon, "Error!", three lines.
void ReportError(const AddInError& error);

HRESULT CreateConnection(IUnknown* pUnkOuter, REFIID riid, void** ppv);
HRESULT CreateMailHandler(IUnknown* pUnkOuter, REFIID riid, void** ppv);

}  // namespace sealvane::outlook::addin
