// SPDX-License-Identifier: GPL-3.0-or-later
#include "AddIn.h"

#include <map>
#include <memory>
#include <new>

#include "sealvane/com/Module.h"

namespace sealvane::outlook::addin {
namespace {

constexpr LONG kSend = 2617;
constexpr LONG kSendAlternative = 5469;
constexpr LONG kFirstControl = 719;
constexpr LONG kSecondControl = 718;
constexpr std::int32_t kKeyNotFound = 5;  // "Invalid procedure call or argument"
constexpr char kCR = '\r';

void Check(HRESULT hr) {
  if (FAILED(hr)) throw AddInError{hr, ErrorDescription(hr)};
}

template <typename T>
ComPtr<T> Query(IUnknown* object, const IID& iid) {
  ComPtr<T> out;
  if (object == nullptr) throw AddInError{static_cast<std::int32_t>(E_POINTER), "Object variable not set"};
  Check(object->QueryInterface(iid, out.PutVoid()));
  return out;
}

class MailHandler;

// The add-in-wide state, from connection to disconnection.
struct AddInState {
  ComPtr<IDispatch> application;
  ComPtr<IDispatch> addIn;
  std::int32_t handlerCount = 0;
  std::unique_ptr<std::map<std::string, ComPtr<MailHandler>>> handlers;
};
AddInState g_state;

// The parts of IDispatch that objects without members share.
#define SEALVANE_NO_MEMBERS                                                                             \
  HRESULT GetTypeInfoCount(UINT* pctinfo) override {                                                    \
    if (pctinfo == nullptr) return E_POINTER;                                                           \
    *pctinfo = 0;                                                                                       \
    return S_OK;                                                                                        \
  }                                                                                                     \
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {                                       \
    if (ppTInfo != nullptr) *ppTInfo = nullptr;                                                         \
    return DISP_E_BADINDEX;                                                                             \
  }                                                                                                     \
  HRESULT GetIDsOfNames(REFIID, const WCHAR**, UINT cNames, LCID, DISPID* rgDispId) override {          \
    for (UINT i = 0; rgDispId != nullptr && i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;              \
    return DISP_E_UNKNOWNNAME;                                                                          \
  }                                                                                                     \
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {       \
    return DISP_E_MEMBERNOTFOUND;                                                                       \
  }

// The reference count every object of the module shares the shape of.
class Counted {
 public:
  Counted() { ModuleLock(); }
  Counted(const Counted&) = delete;
  Counted& operator=(const Counted&) = delete;

 protected:
  ~Counted() { ModuleUnlock(); }
  ULONG m_refs = 0;
};

// An event sink that keeps its owner alive while it is connected (as an
// event variable of a class does) and passes each event on.
template <typename Owner, typename Events, const IID& kIid>
class Sink : public Events, protected Counted {
 public:
  explicit Sink(Owner* owner) : m_owner(owner) { m_owner->AddRef(); }
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != kIid) return E_NOINTERFACE;
    *ppv = static_cast<Events*>(this);
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++m_refs; }
  ULONG Release() override {
    const ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~Sink() { m_owner->Release(); }
  // The owner, kept alive while it handles an event (which may end its life).
  ComPtr<Owner> Hold() {
    m_owner->AddRef();
    ComPtr<Owner> keep;
    *keep.Put() = m_owner;
    return keep;
  }
  Owner* m_owner;
};

// ---- clsMailHandler ------------------------------------------------------

class MailHandler final : public _clsMailHandler, protected Counted {
 public:
  MailHandler() : m_nNumber(++g_state.handlerCount) {}

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IDispatch && riid != IID__clsMailHandler) return E_NOINTERFACE;
    *ppv = static_cast<_clsMailHandler*>(this);
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++m_refs; }
  ULONG Release() override {
    const ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
  }
  SEALVANE_NO_MEMBERS

  HRESULT Initialize(_Inspector* inspector) override;
  HRESULT CreateAddInMenu() override;
  HRESULT RemoveAddInMenu() override { return S_OK; }

  // Either Close: the handler leaves the collection; the connection whose
  // Close this was is no longer needed.
  void OnClose(EventConnection& connection);
  EventConnection& InspectorEvents() { return m_inspectorEvents; }
  EventConnection& MailEvents() { return m_mailEvents; }
  // Disconnection of the add-in while the window is still open.
  void Disconnect() {
    m_inspectorEvents.Disconnect();
    m_mailEvents.Disconnect();
  }
  std::string Key() const { return std::to_string(m_nNumber); }

 private:
  ~MailHandler() = default;
  std::int32_t m_nNumber;
  ComPtr<_Inspector> m_oInspector;
  ComPtr<_MailItem> m_oMail;
  EventConnection m_inspectorEvents;
  EventConnection m_mailEvents;
};

class InspectorSink final : public Sink<MailHandler, outlook::InspectorEvents, IID_InspectorEvents> {
 public:
  using Sink::Sink;
  HRESULT Activate() override { return S_OK; }
  HRESULT Deactivate() override { return S_OK; }
  HRESULT Close() override {
    auto keep = Hold();
    keep->OnClose(keep->InspectorEvents());
    return S_OK;
  }
};

class MailSink final : public Sink<MailHandler, ItemEvents, IID_ItemEvents> {
 public:
  using Sink::Sink;
  HRESULT Close(VARIANT_BOOL*) override {
    auto keep = Hold();
    keep->OnClose(keep->MailEvents());
    return S_OK;
  }
};

template <typename T, typename... Args>
ComPtr<T> New(Args&&... args) {
  ComPtr<T> out;
  T* object = new T(std::forward<Args>(args)...);
  object->AddRef();
  *out.Put() = object;
  return out;
}

HRESULT MailHandler::Initialize(_Inspector* inspector) {
  try {
    if (inspector == nullptr) Check(E_POINTER);
    inspector->AddRef();
    *m_oInspector.Put() = inspector;
    Check(m_inspectorEvents.Connect(inspector, IID_InspectorEvents, New<InspectorSink>(this).Get()));
    ComPtr<IDispatch> item;
    Check(inspector->get_CurrentItem(item.Put()));
    m_oMail = Query<_MailItem>(item.Get(), IID__MailItem);
    Check(m_mailEvents.Connect(m_oMail.Get(), IID_ItemEvents, New<MailSink>(this).Get()));
    CreateAddInMenu();
    if (g_state.handlers) {
      AddRef();
      ComPtr<MailHandler> self;
      *self.Put() = this;
      g_state.handlers->emplace(Key(), std::move(self));
    }
  } catch (const AddInError& e) {
    ReportError(e);
  } catch (const std::bad_alloc&) {
    ReportError({7, "Out of memory"});
  }
  return S_OK;
}

HRESULT MailHandler::CreateAddInMenu() {
  try {
    ComPtr<CommandBars> bars;
    Check(m_oInspector->get_CommandBars(bars.Put()));
    ComPtr<CommandBar> bar;
    Check(bars->Item("Standard", bar.Put()));
    const auto visible = [](const ComPtr<CommandBarControl>& c) {
      VARIANT_BOOL v = VARIANT_FALSE;
      return c && SUCCEEDED(c->get_Visible(&v)) && v != VARIANT_FALSE;
    };
    ComPtr<CommandBarControl> send;
    Check(bar->FindControl(0, kSend, VARIANT_FALSE, VARIANT_FALSE, send.Put()));
    if (!visible(send)) Check(bar->FindControl(0, kSendAlternative, VARIANT_FALSE, VARIANT_FALSE, send.Put()));
    if (!visible(send)) return S_OK;
    ComPtr<CommandBarControl> first, second;
    Check(bars->FindControl(0, kFirstControl, VARIANT_FALSE, VARIANT_TRUE, first.Put()));
    Check(bars->FindControl(0, kSecondControl, VARIANT_FALSE, VARIANT_TRUE, second.Put()));
    ComPtr<CommandBarControls> controls;
    Check(bar->get_Controls(controls.Put()));
    std::int32_t index = 0;
    if (!first) {
      Check(GetLongProperty(send.Get(), u"Index", index));
      ComPtr<CommandBarControl> added;
      Check(controls->Add(msoControlButton, kFirstControl, index + 1, VARIANT_TRUE, added.Put()));
    }
    if (!second) {
      Check(GetLongProperty(send.Get(), u"Index", index));
      ComPtr<CommandBarControl> added;
      Check(controls->Add(msoControlButton, kSecondControl, index + 2, VARIANT_TRUE, added.Put()));
    }
  } catch (const AddInError& e) {
    RemoveAddInMenu();
    ReportError(e);
  } catch (const std::bad_alloc&) {
    RemoveAddInMenu();
    ReportError({7, "Out of memory"});
  }
  return S_OK;
}

void MailHandler::OnClose(EventConnection& connection) {
  // The second Close finds no entry: that error is ignored.
  try {
    if (g_state.handlers) {
      if (g_state.handlers->erase(Key()) == 0) throw AddInError{kKeyNotFound, "Invalid procedure call or argument"};
      if (g_state.handlers->empty()) RemoveAddInMenu();
    }
  } catch (...) {
  }
  connection.Disconnect();
}

// ---- dsrSealvaneOL -----------------------------------------------------------

class Connection final : public _dsrSealvaneOL, public IDTExtensibility2, protected Counted {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID__dsrSealvaneOL) {
      *ppv = static_cast<_dsrSealvaneOL*>(this);
    } else if (riid == IID_IDTExtensibility2) {
      *ppv = static_cast<IDTExtensibility2*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++m_refs; }
  ULONG Release() override {
    const ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
  }
  SEALVANE_NO_MEMBERS

  HRESULT OnConnection(IDispatch* application, LONG, IDispatch* addInInst, void*) override;
  HRESULT OnDisconnection(LONG, void*) override;
  HRESULT OnAddInsUpdate(void*) override { return S_OK; }
  HRESULT OnStartupComplete(void*) override { return S_OK; }
  HRESULT OnBeginShutdown(void*) override { return S_OK; }

  void NewInspector(_Inspector* inspector);

 private:
  ~Connection() = default;
  ComPtr<_Application> m_oApp;
  EventConnection m_appEvents;
  ComPtr<_Inspectors> m_colInspectors;
  EventConnection m_inspectorsEvents;
};

class ApplicationSink final : public Sink<Connection, ApplicationEvents, IID_ApplicationEvents> {
 public:
  using Sink::Sink;
  HRESULT Startup() override { return S_OK; }
  HRESULT Quit() override { return S_OK; }
  // Sending is none of the add-in's business: the cancel flag stays as it is.
  HRESULT ItemSend(IDispatch*, VARIANT_BOOL*) override { return S_OK; }
};

class InspectorsSink final : public Sink<Connection, InspectorsEvents, IID_InspectorsEvents> {
 public:
  using Sink::Sink;
  HRESULT NewInspector(_Inspector* inspector) override {
    Hold()->NewInspector(inspector);
    return S_OK;
  }
};

HRESULT Connection::OnConnection(IDispatch* application, LONG, IDispatch* addInInst, void*) {
  try {
    m_oApp = Query<_Application>(application, IID__Application);
    Check(m_appEvents.Connect(m_oApp.Get(), IID_ApplicationEvents, New<ApplicationSink>(this).Get()));
    Check(m_oApp->get_Inspectors(m_colInspectors.Put()));
    Check(m_inspectorsEvents.Connect(m_colInspectors.Get(), IID_InspectorsEvents, New<InspectorsSink>(this).Get()));
    if (application != nullptr) application->AddRef();
    *g_state.application.Put() = application;
    if (addInInst != nullptr) addInInst->AddRef();
    *g_state.addIn.Put() = addInInst;
    g_state.handlerCount = 0;
    g_state.handlers = std::make_unique<std::map<std::string, ComPtr<MailHandler>>>();
  } catch (const AddInError& e) {
    ReportError(e);
  } catch (const std::bad_alloc&) {
    ReportError({7, "Out of memory"});
  }
  return S_OK;
}

HRESULT Connection::OnDisconnection(LONG, void*) {
  m_appEvents.Disconnect();
  m_oApp.Reset();
  m_inspectorsEvents.Disconnect();
  m_colInspectors.Reset();
  // Windows still open keep their controls (they are temporary); their
  // handlers let go of them.
  if (g_state.handlers) {
    for (auto& [key, handler] : *g_state.handlers) handler->Disconnect();
  }
  g_state.handlers.reset();
  g_state.addIn.Reset();
  g_state.application.Reset();
  return S_OK;
}

void Connection::NewInspector(_Inspector* inspector) {
  try {
    if (inspector == nullptr) Check(E_POINTER);
    ComPtr<IDispatch> item;
    Check(inspector->get_CurrentItem(item.Put()));
    std::int32_t itemClass = 0;
    Check(GetLongProperty(item.Get(), u"Class", itemClass));
    if (itemClass == olMail) New<MailHandler>()->Initialize(inspector);
  } catch (const AddInError& e) {
    ReportError(e);
  } catch (const std::bad_alloc&) {
    ReportError({7, "Out of memory"});
  }
}

template <typename T>
HRESULT CreateObject(IUnknown* pUnkOuter, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
  auto object = New<T>();
  return object->QueryInterface(riid, ppv);
}

}  // namespace

void ReportError(const AddInError& error) {
  const std::string text = std::string("An error occurred in: '") + kAppTitle + "'." + kCR + "Error: " +
                           std::to_string(error.number) + kCR + error.description;
  MessageBoxA(nullptr, text.c_str(), "Error!", MB_OK | MB_ICONERROR);
}

HRESULT CreateConnection(IUnknown* pUnkOuter, REFIID riid, void** ppv) {
  return CreateObject<Connection>(pUnkOuter, riid, ppv);
}

HRESULT CreateMailHandler(IUnknown* pUnkOuter, REFIID riid, void** ppv) {
  return CreateObject<MailHandler>(pUnkOuter, riid, ppv);
}

}  // namespace sealvane::outlook::addin
