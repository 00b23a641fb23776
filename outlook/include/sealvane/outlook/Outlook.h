// SPDX-License-Identifier: GPL-3.0-or-later
// The mail client's object model as the add-in uses it, and the add-in
// interface the client connects add-ins through. Objects are dual
// interfaces (IDispatch first, so that properties such as an item's Class
// can be read late-bound); events are delivered through connection points
// to sinks of the *Events interfaces. Texts are UTF-8.
#pragma once

#include "sealvane/com/Automation.h"
#include "sealvane/com/Com.h"

namespace sealvane::outlook {

using namespace sealvane::com;
using LONG = std::int32_t;

// Item classes (the Class property).
inline constexpr LONG olAppointment = 26;
inline constexpr LONG olContact = 40;
inline constexpr LONG olMail = 43;
inline constexpr LONG olNote = 44;
inline constexpr LONG olMeetingRequest = 53;

inline constexpr LONG olSave = 0;
inline constexpr LONG olDiscard = 1;

// Command bar control types.
inline constexpr LONG msoControlButton = 1;

// Connect and disconnect modes of IDTExtensibility2.
inline constexpr LONG ext_cm_AfterStartup = 0;
inline constexpr LONG ext_cm_Startup = 1;
inline constexpr LONG ext_dm_HostShutdown = 0;
inline constexpr LONG ext_dm_UserClosed = 1;

class CommandBarControl : public IDispatch {
 public:
  virtual HRESULT get_Id(LONG* pId) = 0;
  virtual HRESULT get_Index(LONG* pIndex) = 0;  // 1-based place in its bar
  virtual HRESULT get_Visible(VARIANT_BOOL* pVisible) = 0;
  virtual HRESULT put_Visible(VARIANT_BOOL visible) = 0;
  virtual HRESULT get_Temporary(VARIANT_BOOL* pTemporary) = 0;

 protected:
  ~CommandBarControl() = default;
};

class CommandBarControls : public IDispatch {
 public:
  virtual HRESULT get_Count(LONG* pCount) = 0;
  virtual HRESULT Item(LONG index, CommandBarControl** ppControl) = 0;  // 1-based
  // A built-in control by its identifier, placed before the control now at
  // `before` (1-based; 0 or past the end: at the end).
  virtual HRESULT Add(LONG type, LONG id, LONG before, VARIANT_BOOL temporary, CommandBarControl** ppControl) = 0;

 protected:
  ~CommandBarControls() = default;
};

class CommandBar : public IDispatch {
 public:
  // The name, copied into the buffer (cut, always terminated).
  virtual HRESULT get_Name(char* pName, UINT cchName) = 0;
  virtual HRESULT get_Visible(VARIANT_BOOL* pVisible) = 0;
  virtual HRESULT get_Controls(CommandBarControls** ppControls) = 0;
  // The first control with the identifier; S_FALSE and null when none.
  // `visibleOnly` false: hidden controls count too.
  virtual HRESULT FindControl(LONG type, LONG id, VARIANT_BOOL visibleOnly, VARIANT_BOOL recursive,
                              CommandBarControl** ppControl) = 0;

 protected:
  ~CommandBar() = default;
};

class CommandBars : public IDispatch {
 public:
  virtual HRESULT get_Count(LONG* pCount) = 0;
  // By name; E_INVALIDARG when the window has no such bar.
  virtual HRESULT Item(const char* name, CommandBar** ppBar) = 0;
  virtual HRESULT ItemAt(LONG index, CommandBar** ppBar) = 0;  // 1-based
  // Across all the bars; S_FALSE and null when none.
  virtual HRESULT FindControl(LONG type, LONG id, VARIANT_BOOL visibleOnly, VARIANT_BOOL recursive,
                              CommandBarControl** ppControl) = 0;

 protected:
  ~CommandBars() = default;
};

// Any item: the Class property (also late-bound) and Close.
class _OutlookItem : public IDispatch {
 public:
  virtual HRESULT get_Class(LONG* pClass) = 0;
  virtual HRESULT Close(LONG saveMode) = 0;

 protected:
  ~_OutlookItem() = default;
};

// A mail item (only items of class olMail answer it).
class _MailItem : public _OutlookItem {
 public:
  virtual HRESULT get_Subject(char* pSubject, UINT cchSubject) = 0;
  virtual HRESULT Send() = 0;

 protected:
  ~_MailItem() = default;
};

class _Inspector : public IDispatch {
 public:
  virtual HRESULT get_CurrentItem(IDispatch** ppItem) = 0;
  virtual HRESULT get_CommandBars(CommandBars** ppBars) = 0;
  virtual HRESULT Activate() = 0;
  virtual HRESULT Close(LONG saveMode) = 0;

 protected:
  ~_Inspector() = default;
};

class _Inspectors : public IDispatch {
 public:
  virtual HRESULT get_Count(LONG* pCount) = 0;
  virtual HRESULT Item(LONG index, _Inspector** ppInspector) = 0;  // 1-based

 protected:
  ~_Inspectors() = default;
};

class _Application : public IDispatch {
 public:
  virtual HRESULT get_Inspectors(_Inspectors** ppInspectors) = 0;
  virtual HRESULT get_Name(char* pName, UINT cchName) = 0;

 protected:
  ~_Application() = default;
};

// The add-in's entry in the client (COMAddIn).
class COMAddIn : public IDispatch {
 public:
  virtual HRESULT get_ProgId(char* pProgId, UINT cchProgId) = 0;
  virtual HRESULT get_Connect(VARIANT_BOOL* pConnect) = 0;

 protected:
  ~COMAddIn() = default;
};

// ---- Events ----------------------------------------------------------------

class ApplicationEvents : public IUnknown {
 public:
  virtual HRESULT Startup() = 0;
  virtual HRESULT Quit() = 0;
  virtual HRESULT ItemSend(IDispatch* item, VARIANT_BOOL* cancel) = 0;

 protected:
  ~ApplicationEvents() = default;
};

class InspectorsEvents : public IUnknown {
 public:
  virtual HRESULT NewInspector(_Inspector* inspector) = 0;

 protected:
  ~InspectorsEvents() = default;
};

class InspectorEvents : public IUnknown {
 public:
  virtual HRESULT Activate() = 0;
  virtual HRESULT Deactivate() = 0;
  virtual HRESULT Close() = 0;

 protected:
  ~InspectorEvents() = default;
};

class ItemEvents : public IUnknown {
 public:
  virtual HRESULT Close(VARIANT_BOOL* cancel) = 0;

 protected:
  ~ItemEvents() = default;
};

// ---- The add-in interface --------------------------------------------------

class IDTExtensibility2 : public IDispatch {
 public:
  virtual HRESULT OnConnection(IDispatch* application, LONG connectMode, IDispatch* addInInst, void* custom) = 0;
  virtual HRESULT OnDisconnection(LONG removeMode, void* custom) = 0;
  virtual HRESULT OnAddInsUpdate(void* custom) = 0;
  virtual HRESULT OnStartupComplete(void* custom) = 0;
  virtual HRESULT OnBeginShutdown(void* custom) = 0;

 protected:
  ~IDTExtensibility2() = default;
};

inline constexpr IID IID_CommandBarControl = MakeGuid("{000C0308-0000-0000-C000-000000000046}");
inline constexpr IID IID_CommandBarControls = MakeGuid("{000C0306-0000-0000-C000-000000000046}");
inline constexpr IID IID_CommandBar = MakeGuid("{000C0304-0000-0000-C000-000000000046}");
inline constexpr IID IID_CommandBars = MakeGuid("{000C0302-0000-0000-C000-000000000046}");
inline constexpr IID IID__OutlookItem = MakeGuid("{00063080-0000-0000-C000-000000000046}");
inline constexpr IID IID__MailItem = MakeGuid("{00063034-0000-0000-C000-000000000046}");
inline constexpr IID IID__Inspector = MakeGuid("{00063005-0000-0000-C000-000000000046}");
inline constexpr IID IID__Inspectors = MakeGuid("{00063008-0000-0000-C000-000000000046}");
inline constexpr IID IID__Application = MakeGuid("{00063001-0000-0000-C000-000000000046}");
inline constexpr IID IID_COMAddIn = MakeGuid("{000C033A-0000-0000-C000-000000000046}");
inline constexpr IID IID_ApplicationEvents = MakeGuid("{0006304E-0000-0000-C000-000000000046}");
inline constexpr IID IID_InspectorsEvents = MakeGuid("{00063079-0000-0000-C000-000000000046}");
inline constexpr IID IID_InspectorEvents = MakeGuid("{0006307D-0000-0000-C000-000000000046}");
inline constexpr IID IID_ItemEvents = MakeGuid("{0006303A-0000-0000-C000-000000000046}");
inline constexpr IID IID_IDTExtensibility2 = MakeGuid("{B65AD801-ABAF-11D0-BB8B-00A0C90F2744}");

}  // namespace sealvane::outlook
