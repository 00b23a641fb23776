// SPDX-License-Identifier: GPL-3.0-or-later
#include "Client.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <sstream>

#include "sealvane/com/Server.h"
#include "sealvane/platform/Registry.h"

namespace sealvane::outlook::sim {
namespace {

namespace reg = sealvane::platform;
using Names = std::vector<std::u16string_view>;

void CopyText(const std::string& text, char* out, UINT cch) {
  if (out == nullptr || cch == 0) return;
  const std::size_t n = std::min<std::size_t>(text.size(), cch - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

template <typename T>
HRESULT Hand(const ComPtr<T>& object, T** out) {
  if (out == nullptr) return E_POINTER;
  *out = object.Get();
  if (*out != nullptr) (*out)->AddRef();
  return S_OK;
}

// An object whose events reach the sinks connected to its one connection point.
template <typename Derived, typename Interface, const IID& kIid, const IID& kEvents>
class EventSource : public DispatchObject<Derived, Interface, kIid>, public IConnectionPointContainer {
 public:
  using Base = DispatchObject<Derived, Interface, kIid>;
  EventSource() : m_events(this, {kEvents}) {}
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (ppv != nullptr && riid == IID_IConnectionPointContainer) {
      *ppv = static_cast<IConnectionPointContainer*>(this);
      Base::AddRef();
      return S_OK;
    }
    return Base::QueryInterface(riid, ppv);
  }
  ULONG AddRef() override { return Base::AddRef(); }
  ULONG Release() override { return Base::Release(); }
  HRESULT EnumConnectionPoints(IEnumConnectionPoints** pp) override {
    if (pp != nullptr) *pp = nullptr;
    return E_NOTIMPL;
  }
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** pp) override { return m_events.Find(riid, pp); }

 protected:
  ~EventSource() = default;
  template <typename Sink>
  std::vector<ComPtr<Sink>> Sinks() const {
    return m_events.template Sinks<Sink>(kEvents);
  }
  std::size_t ConnectedSinks() const { return m_events.SinkCount(); }

 private:
  EventPoints m_events;
};

// ---- Command bars -----------------------------------------------------------

class Bar;

class Control final : public DispatchObject<Control, CommandBarControl, IID_CommandBarControl> {
 public:
  Control(Bar* bar, LONG id, bool visible, bool temporary) : m_bar(bar), m_id(id), m_visible(visible), m_temporary(temporary) {}
  Names PropertyNames() const { return {u"Id", u"Index", u"Visible"}; }
  HRESULT GetProperty(DISPID id, VARIANT& out) {
    out = VARIANT{};
    if (id == 3) {
      out.vt = VT_BOOL;
      out.boolVal = m_visible ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    }
    out.vt = VT_I4;
    if (id == 1) return get_Id(&out.lVal);
    if (id == 2) return get_Index(&out.lVal);
    return DISP_E_MEMBERNOTFOUND;
  }
  HRESULT get_Id(LONG* p) override {
    if (p == nullptr) return E_POINTER;
    *p = m_id;
    return S_OK;
  }
  HRESULT get_Index(LONG* p) override;
  HRESULT get_Visible(VARIANT_BOOL* p) override {
    if (p == nullptr) return E_POINTER;
    *p = m_visible ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT put_Visible(VARIANT_BOOL v) override {
    m_visible = v != VARIANT_FALSE;
    return S_OK;
  }
  HRESULT get_Temporary(VARIANT_BOOL* p) override {
    if (p == nullptr) return E_POINTER;
    *p = m_temporary ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  bool Visible() const { return m_visible; }
  LONG Id() const { return m_id; }
  void Detach() { m_bar = nullptr; }

 private:
  friend SingleInterfaceObject;
  ~Control() = default;
  Bar* m_bar;
  LONG m_id;
  bool m_visible;
  bool m_temporary;
};

class Bar final : public DispatchObject<Bar, CommandBar, IID_CommandBar> {
 public:
  explicit Bar(std::string name) : m_name(std::move(name)) {}
  Names PropertyNames() const { return {u"Visible"}; }
  HRESULT GetProperty(DISPID id, VARIANT& out) {
    if (id != 1) return DISP_E_MEMBERNOTFOUND;
    out = VARIANT{};
    out.vt = VT_BOOL;
    out.boolVal = VARIANT_TRUE;
    return S_OK;
  }
  HRESULT get_Name(char* p, UINT cch) override {
    CopyText(m_name, p, cch);
    return S_OK;
  }
  HRESULT get_Visible(VARIANT_BOOL* p) override {
    if (p == nullptr) return E_POINTER;
    *p = VARIANT_TRUE;
    return S_OK;
  }
  HRESULT get_Controls(CommandBarControls** pp) override;
  HRESULT FindControl(LONG, LONG id, VARIANT_BOOL visibleOnly, VARIANT_BOOL, CommandBarControl** pp) override {
    if (pp == nullptr) return E_POINTER;
    *pp = nullptr;
    for (const auto& c : m_controls) {
      if (c->Id() == id && (visibleOnly == VARIANT_FALSE || c->Visible())) return Hand(c, reinterpret_cast<Control**>(pp));
    }
    return S_FALSE;
  }

  const std::string& Name() const { return m_name; }
  std::vector<ComPtr<Control>>& Items() { return m_controls; }
  void Append(LONG id, bool visible) {
    ComPtr<Control> c;
    *c.Put() = new Control(this, id, visible, false);
    m_controls.push_back(std::move(c));
  }

 private:
  friend SingleInterfaceObject;
  ~Bar() {
    for (auto& c : m_controls) c->Detach();
  }
  std::string m_name;
  std::vector<ComPtr<Control>> m_controls;
};

HRESULT Control::get_Index(LONG* p) {
  if (p == nullptr) return E_POINTER;
  if (m_bar == nullptr) return E_UNEXPECTED;
  const auto& items = m_bar->Items();
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].Get() == this) {
      *p = static_cast<LONG>(i + 1);
      return S_OK;
    }
  }
  return E_UNEXPECTED;
}

class Controls final : public DispatchObject<Controls, CommandBarControls, IID_CommandBarControls> {
 public:
  explicit Controls(Bar* bar) : m_bar(bar) { m_bar->AddRef(); }
  Names PropertyNames() const { return {u"Count"}; }
  HRESULT GetProperty(DISPID id, VARIANT& out) {
    if (id != 1) return DISP_E_MEMBERNOTFOUND;
    out = VARIANT{};
    out.vt = VT_I4;
    return get_Count(&out.lVal);
  }
  HRESULT get_Count(LONG* p) override {
    if (p == nullptr) return E_POINTER;
    *p = static_cast<LONG>(m_bar->Items().size());
    return S_OK;
  }
  HRESULT Item(LONG index, CommandBarControl** pp) override {
    if (pp == nullptr) return E_POINTER;
    *pp = nullptr;
    auto& items = m_bar->Items();
    if (index < 1 || static_cast<std::size_t>(index) > items.size()) return E_INVALIDARG;
    return Hand(items[static_cast<std::size_t>(index - 1)], reinterpret_cast<Control**>(pp));
  }
  HRESULT Add(LONG type, LONG id, LONG before, VARIANT_BOOL temporary, CommandBarControl** pp) override {
    if (pp != nullptr) *pp = nullptr;
    if (type != msoControlButton || id <= 0) return E_INVALIDARG;
    auto& items = m_bar->Items();
    if (before < 0) return E_INVALIDARG;
    std::size_t at = before == 0 ? items.size() : static_cast<std::size_t>(before - 1);
    at = std::min(at, items.size());
    ComPtr<Control> c;
    *c.Put() = new Control(m_bar, id, true, temporary != VARIANT_FALSE);
    if (pp != nullptr) {
      c->AddRef();
      *pp = c.Get();
    }
    items.insert(items.begin() + static_cast<std::ptrdiff_t>(at), std::move(c));
    return S_OK;
  }

 private:
  friend SingleInterfaceObject;
  ~Controls() { m_bar->Release(); }
  Bar* m_bar;
};

HRESULT Bar::get_Controls(CommandBarControls** pp) {
  if (pp == nullptr) return E_POINTER;
  *pp = new Controls(this);
  return S_OK;
}

class Bars final : public DispatchObject<Bars, CommandBars, IID_CommandBars> {
 public:
  explicit Bars(const std::vector<BarLayout>& layouts) {
    for (const auto& layout : layouts) {
      ComPtr<Bar> bar;
      *bar.Put() = new Bar(layout.name);
      for (const auto& c : layout.controls) bar->Append(c.id, c.visible);
      m_bars.push_back(std::move(bar));
    }
  }
  Names PropertyNames() const { return {u"Count"}; }
  HRESULT GetProperty(DISPID id, VARIANT& out) {
    if (id != 1) return DISP_E_MEMBERNOTFOUND;
    out = VARIANT{};
    out.vt = VT_I4;
    return get_Count(&out.lVal);
  }
  HRESULT get_Count(LONG* p) override {
    if (p == nullptr) return E_POINTER;
    *p = static_cast<LONG>(m_bars.size());
    return S_OK;
  }
  HRESULT Item(const char* name, CommandBar** pp) override {
    if (pp == nullptr) return E_POINTER;
    *pp = nullptr;
    for (const auto& b : m_bars) {
      if (name != nullptr && b->Name() == name) return Hand(b, reinterpret_cast<Bar**>(pp));
    }
    return E_INVALIDARG;
  }
  HRESULT ItemAt(LONG index, CommandBar** pp) override {
    if (pp == nullptr) return E_POINTER;
    *pp = nullptr;
    if (index < 1 || static_cast<std::size_t>(index) > m_bars.size()) return E_INVALIDARG;
    return Hand(m_bars[static_cast<std::size_t>(index - 1)], reinterpret_cast<Bar**>(pp));
  }
  HRESULT FindControl(LONG type, LONG id, VARIANT_BOOL visibleOnly, VARIANT_BOOL recursive,
                      CommandBarControl** pp) override {
    if (pp == nullptr) return E_POINTER;
    *pp = nullptr;
    for (const auto& b : m_bars) {
      if (b->FindControl(type, id, visibleOnly, recursive, pp) == S_OK) return S_OK;
    }
    return S_FALSE;
  }
  const std::vector<ComPtr<Bar>>& All() const { return m_bars; }

 private:
  friend SingleInterfaceObject;
  ~Bars() = default;
  std::vector<ComPtr<Bar>> m_bars;
};

// ---- Items and windows --------------------------------------------------------

class Item final : public EventSource<Item, _MailItem, IID__MailItem, IID_ItemEvents> {
 public:
  explicit Item(LONG itemClass) : m_class(itemClass) {}
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID__OutlookItem) {
      *ppv = static_cast<_OutlookItem*>(this);
      AddRef();
      return S_OK;
    }
    if (riid == IID__MailItem && m_class != olMail) return E_NOINTERFACE;
    return EventSource::QueryInterface(riid, ppv);
  }
  Names PropertyNames() const { return {u"Class"}; }
  HRESULT GetProperty(DISPID id, VARIANT& out) {
    if (id != 1) return DISP_E_MEMBERNOTFOUND;
    out = VARIANT{};
    out.vt = VT_I4;
    out.lVal = m_class;
    return S_OK;
  }
  HRESULT get_Class(LONG* p) override {
    if (p == nullptr) return E_POINTER;
    *p = m_class;
    return S_OK;
  }
  HRESULT Close(LONG) override {
    VARIANT_BOOL cancel = VARIANT_FALSE;
    for (auto& sink : Sinks<ItemEvents>()) sink->Close(&cancel);
    return S_OK;
  }
  HRESULT get_Subject(char* p, UINT cch) override {
    CopyText("", p, cch);
    return S_OK;
  }
  HRESULT Send() override { return S_OK; }
  std::size_t SinkCount() const { return ConnectedSinks(); }

 private:
  friend SingleInterfaceObject;
  ~Item() = default;
  LONG m_class;
};

class Inspector final : public EventSource<Inspector, _Inspector, IID__Inspector, IID_InspectorEvents> {
 public:
  Inspector(LONG itemClass, const std::vector<BarLayout>& bars) {
    *m_item.Put() = new Item(itemClass);
    *m_bars.Put() = new Bars(bars);
  }
  Names PropertyNames() const { return {}; }
  HRESULT GetProperty(DISPID, VARIANT&) { return DISP_E_MEMBERNOTFOUND; }

  HRESULT get_CurrentItem(IDispatch** pp) override {
    if (pp == nullptr) return E_POINTER;
    *pp = static_cast<_MailItem*>(m_item.Get());
    (*pp)->AddRef();
    return S_OK;
  }
  HRESULT get_CommandBars(CommandBars** pp) override { return Hand(m_bars, reinterpret_cast<Bars**>(pp)); }
  HRESULT Activate() override {
    for (auto& sink : Sinks<InspectorEvents>()) sink->Activate();
    return S_OK;
  }
  HRESULT Close(LONG saveMode) override {
    m_item->Close(saveMode);
    for (auto& sink : Sinks<InspectorEvents>()) sink->Close();
    return S_OK;
  }
  void Deactivate() {
    for (auto& sink : Sinks<InspectorEvents>()) sink->Deactivate();
  }
  Item* ItemObject() const { return m_item.Get(); }
  Bars* BarsObject() const { return m_bars.Get(); }
  std::size_t SinkCount() const { return ConnectedSinks() + m_item->SinkCount(); }

 private:
  friend SingleInterfaceObject;
  ~Inspector() = default;
  ComPtr<Item> m_item;
  ComPtr<Bars> m_bars;
};

class Inspectors final : public EventSource<Inspectors, _Inspectors, IID__Inspectors, IID_InspectorsEvents> {
 public:
  Names PropertyNames() const { return {u"Count"}; }
  HRESULT GetProperty(DISPID id, VARIANT& out) {
    if (id != 1) return DISP_E_MEMBERNOTFOUND;
    out = VARIANT{};
    out.vt = VT_I4;
    return get_Count(&out.lVal);
  }
  HRESULT get_Count(LONG* p) override {
    if (p == nullptr) return E_POINTER;
    *p = static_cast<LONG>(m_open.size());
    return S_OK;
  }
  HRESULT Item(LONG index, _Inspector** pp) override {
    if (pp == nullptr) return E_POINTER;
    *pp = nullptr;
    if (index < 1 || static_cast<std::size_t>(index) > m_open.size()) return E_INVALIDARG;
    return Hand(m_open[static_cast<std::size_t>(index - 1)].second, reinterpret_cast<Inspector**>(pp));
  }

  void Add(int number, ComPtr<Inspector> inspector) {
    Inspector* raw = inspector.Get();
    m_open.emplace_back(number, std::move(inspector));
    for (auto& sink : Sinks<InspectorsEvents>()) sink->NewInspector(raw);
  }
  void Remove(int number) {
    m_open.erase(std::remove_if(m_open.begin(), m_open.end(), [&](const auto& p) { return p.first == number; }),
                 m_open.end());
  }
  Inspector* Find(int number) const {
    for (const auto& [n, i] : m_open) {
      if (n == number) return i.Get();
    }
    return nullptr;
  }
  std::vector<int> Numbers() const {
    std::vector<int> out;
    for (const auto& [n, i] : m_open) out.push_back(n);
    return out;
  }
  std::size_t SinkCount() const {
    std::size_t n = ConnectedSinks();
    for (const auto& [k, i] : m_open) n += i->SinkCount();
    return n;
  }

 private:
  friend SingleInterfaceObject;
  ~Inspectors() = default;
  std::vector<std::pair<int, ComPtr<Inspector>>> m_open;
};

class ClientApplication final
    : public EventSource<ClientApplication, _Application, IID__Application, IID_ApplicationEvents> {
 public:
  ClientApplication() { *m_inspectors.Put() = new Inspectors(); }
  Names PropertyNames() const { return {}; }
  HRESULT GetProperty(DISPID, VARIANT&) { return DISP_E_MEMBERNOTFOUND; }
  HRESULT get_Inspectors(_Inspectors** pp) override { return Hand(m_inspectors, reinterpret_cast<Inspectors**>(pp)); }
  HRESULT get_Name(char* p, UINT cch) override {
    CopyText("Outlook", p, cch);
    return S_OK;
  }
  Inspectors* InspectorList() const { return m_inspectors.Get(); }
  std::vector<ComPtr<ApplicationEvents>> AppSinks() const { return Sinks<ApplicationEvents>(); }
  std::size_t SinkCount() const { return ConnectedSinks() + m_inspectors->SinkCount(); }

 private:
  friend SingleInterfaceObject;
  ~ClientApplication() = default;
  ComPtr<Inspectors> m_inspectors;
};

class AddInEntry final : public DispatchObject<AddInEntry, COMAddIn, IID_COMAddIn> {
 public:
  explicit AddInEntry(std::string progId) : m_progId(std::move(progId)) {}
  Names PropertyNames() const { return {u"Connect"}; }
  HRESULT GetProperty(DISPID id, VARIANT& out) {
    if (id != 1) return DISP_E_MEMBERNOTFOUND;
    out = VARIANT{};
    out.vt = VT_BOOL;
    out.boolVal = VARIANT_TRUE;
    return S_OK;
  }
  HRESULT get_ProgId(char* p, UINT cch) override {
    CopyText(m_progId, p, cch);
    return S_OK;
  }
  HRESULT get_Connect(VARIANT_BOOL* p) override {
    if (p == nullptr) return E_POINTER;
    *p = VARIANT_TRUE;
    return S_OK;
  }

 private:
  friend SingleInterfaceObject;
  ~AddInEntry() = default;
  std::string m_progId;
};

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08X", static_cast<unsigned>(hr));
  return text;
}

}  // namespace

struct Client::State {
  ComPtr<ClientApplication> app;
  struct Connected {
    std::string progId;
    ComPtr<IDTExtensibility2> addIn;
    ComPtr<AddInEntry> entry;
  };
  std::vector<Connected> addIns;
  int nextWindow = 1;
  bool quit = false;
};

std::vector<BarLayout> ParseBars(const std::string& text) {
  std::vector<BarLayout> bars;
  std::stringstream all(text);
  for (std::string part; std::getline(all, part, ';');) {
    if (part.empty()) continue;
    BarLayout bar;
    const std::size_t eq = part.find('=');
    bar.name = part.substr(0, eq);
    if (eq != std::string::npos) {
      std::stringstream ids(part.substr(eq + 1));
      for (std::string id; std::getline(ids, id, ',');) {
        if (id.empty()) continue;
        ControlLayout c;
        if (id.back() == 'h') {
          c.visible = false;
          id.pop_back();
        }
        c.id = static_cast<LONG>(std::stol(id));
        bar.controls.push_back(c);
      }
    }
    bars.push_back(std::move(bar));
  }
  return bars;
}

std::vector<BarLayout> DefaultMailBars() { return ParseBars("Standard=2617,3,4,5469h;Formatting=1,2"); }

Client::Client() : m(std::make_unique<State>()) { *m->app.Put() = new ClientApplication(); }

Client::~Client() { Quit(); }

HRESULT Client::ConnectAddIn(const std::string& progId) {
  CLSID clsid;
  if (const HRESULT hr = CLSIDFromProgID(progId.c_str(), &clsid); FAILED(hr)) return hr;
  State::Connected c;
  c.progId = progId;
  if (const HRESULT hr = CoCreateInstance(clsid, nullptr, IID_IDTExtensibility2, c.addIn.PutVoid()); FAILED(hr)) {
    return hr;
  }
  *c.entry.Put() = new AddInEntry(progId);
  const HRESULT hr = c.addIn->OnConnection(static_cast<_Application*>(m->app.Get()), ext_cm_Startup,
                                           static_cast<COMAddIn*>(c.entry.Get()), nullptr);
  if (FAILED(hr)) return hr;
  c.addIn->OnStartupComplete(nullptr);
  m->addIns.push_back(std::move(c));
  return S_OK;
}

std::vector<std::string> Client::Start() {
  std::vector<std::string> notes;
  reg::HKEY key = 0;
  const char* addins = "Software\\Microsoft\\Office\\Outlook\\Addins";
  if (reg::RegOpenKeyExA(reg::HKEY_CURRENT_USER, addins, 0, reg::KEY_READ, &key) == 0) {
    for (reg::DWORD i = 0;; ++i) {
      char name[256];
      reg::DWORD len = sizeof(name);
      if (reg::RegEnumKeyExA(key, i, name, &len, nullptr, nullptr, nullptr, nullptr) != 0) break;
      reg::HKEY addIn = 0;
      reg::DWORD behaviour = 0, size = sizeof(behaviour), type = 0;
      if (reg::RegOpenKeyExA(key, name, 0, reg::KEY_QUERY_VALUE, &addIn) != 0) continue;
      const bool found = reg::RegQueryValueExA(addIn, "LoadBehavior", nullptr, &type,
                                               reinterpret_cast<std::uint8_t*>(&behaviour), &size) == 0 &&
                         type == reg::REG_DWORD;
      reg::RegCloseKey(addIn);
      if (!found || behaviour != 3) continue;
      if (const HRESULT hr = ConnectAddIn(name); FAILED(hr)) notes.push_back(std::string(name) + ": " + Hex(hr));
    }
    reg::RegCloseKey(key);
  }
  for (auto& sink : m->app->AppSinks()) sink->Startup();
  return notes;
}

std::size_t Client::ConnectedAddIns() const { return m->addIns.size(); }

int Client::Open(LONG itemClass, const std::vector<BarLayout>& bars) {
  ComPtr<Inspector> inspector;
  *inspector.Put() = new Inspector(itemClass, bars);
  const int number = m->nextWindow++;
  Inspector* raw = inspector.Get();
  // The window that was in front goes behind the new one.
  for (int other : m->app->InspectorList()->Numbers()) m->app->InspectorList()->Find(other)->Deactivate();
  m->app->InspectorList()->Add(number, std::move(inspector));
  raw->Activate();
  return number;
}

void Client::Close(int window) {
  Inspector* inspector = m->app->InspectorList()->Find(window);
  if (inspector == nullptr) return;
  // The window lives until its events are over.
  inspector->AddRef();
  ComPtr<Inspector> keep;
  *keep.Put() = inspector;
  keep->Close(olDiscard);
  m->app->InspectorList()->Remove(window);
}

bool Client::Send(int window) {
  Inspector* inspector = m->app->InspectorList()->Find(window);
  if (inspector == nullptr) return false;
  VARIANT_BOOL cancel = VARIANT_FALSE;
  for (auto& sink : m->app->AppSinks()) sink->ItemSend(static_cast<_MailItem*>(inspector->ItemObject()), &cancel);
  if (cancel != VARIANT_FALSE) return false;
  Close(window);
  return true;
}

void Client::Quit() {
  if (m->quit) return;
  m->quit = true;
  for (int window : m->app->InspectorList()->Numbers()) Close(window);
  for (auto& sink : m->app->AppSinks()) sink->Quit();
  for (auto& c : m->addIns) c.addIn->OnBeginShutdown(nullptr);
  for (auto& c : m->addIns) c.addIn->OnDisconnection(ext_dm_HostShutdown, nullptr);
  m->addIns.clear();
  CoFreeUnusedLibraries();
}

void Client::DisconnectAddIns() {
  for (auto& c : m->addIns) c.addIn->OnDisconnection(ext_dm_UserClosed, nullptr);
  m->addIns.clear();
  CoFreeUnusedLibraries();
}

std::string Client::Describe(int window) const {
  Inspector* inspector = m->app->InspectorList()->Find(window);
  if (inspector == nullptr) return {};
  std::string out;
  for (const auto& bar : inspector->BarsObject()->All()) {
    if (!out.empty()) out += "\n";
    out += bar->Name() + ":";
    for (const auto& c : bar->Items()) {
      out += " " + std::to_string(c->Id());
      if (!c->Visible()) out += "(hidden)";
    }
  }
  return out;
}

std::vector<LONG> Client::Controls(int window, const std::string& name) const {
  std::vector<LONG> out;
  Inspector* inspector = m->app->InspectorList()->Find(window);
  if (inspector == nullptr) return out;
  for (const auto& bar : inspector->BarsObject()->All()) {
    if (bar->Name() != name) continue;
    for (const auto& c : bar->Items()) out.push_back(c->Id());
  }
  return out;
}

std::vector<int> Client::Windows() const { return m->app->InspectorList()->Numbers(); }

_Application* Client::Application() const { return m->app.Get(); }

std::size_t Client::EventSinks() const { return m->app->SinkCount(); }

}  // namespace sealvane::outlook::sim
