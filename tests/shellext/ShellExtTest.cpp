// SPDX-License-Identifier: GPL-3.0-or-later
// The context-menu server, loaded as a host loads it: registration and
// removal, module lifetime, the class factory, the handler's interfaces,
// menus, help texts and the command lines it starts the program with.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "sealvane/com/Server.h"
#include "sealvane/com/Shell.h"
#include "sealvane/com/TypeLib.h"
#include "sealvane/platform/Registry.h"
#include "support/Process.h"
#include "support/RegistryValues.h"
#include "support/Sandbox.h"

namespace {

using namespace sealvane::com;
namespace reg = sealvane::platform;
namespace fs = std::filesystem;
using sealvane::test::ReadFileBytes;
using sealvane::test::SandboxDir;
using sealvane::test::WriteFileBytes;

constexpr CLSID kClsid = MakeGuid("{0F27B861-7421-46C8-8799-527B283CFDC6}");
constexpr IID kISealvaneCM = MakeGuid("{3BDB86D3-F7B2-497B-A432-F02AA368F6EF}");
const std::string kClsidText = "{0F27B861-7421-46C8-8799-527B283CFDC6}";
const std::string kApproved = "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

std::string Value(reg::HKEY root, const std::string& path, const std::string& name = "") {
  return sealvane::test::RegValue(root, path, name);
}
bool KeyExists(reg::HKEY root, const std::string& path) { return sealvane::test::RegKeyExists(root, path); }
reg::DWORD SubKeyCount(const std::string& path) { return sealvane::test::RegSubKeyCount(reg::HKEY_CLASSES_ROOT, path); }
void SetString(reg::HKEY root, const std::string& path, const std::string& name, const std::string& value) {
  ASSERT_TRUE(sealvane::test::RegSetString(root, path, name, value));
}

class ShellExt : public ::testing::Test {
 protected:
  void SetUp() override {
    // A copy of the server in a folder of its own, with a recording
    // "sealvane" beside it: the handler starts the program from there.
    folder = SandboxDir() + "/server folder";
    fs::create_directories(folder);
    server = folder + "/libsealvaneshl.so";
    fs::copy_file(SEALVANESHL_PATH, server);
    sealvane::test::WriteRecordingProgram(folder, "sealvane");
    handle = ::dlopen(server.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << ::dlerror();
    getClassObject = reinterpret_cast<DllGetClassObjectFn>(::dlsym(handle, "DllGetClassObject"));
    canUnloadNow = reinterpret_cast<DllCanUnloadNowFn>(::dlsym(handle, "DllCanUnloadNow"));
    registerServer = reinterpret_cast<DllRegisterServerFn>(::dlsym(handle, "DllRegisterServer"));
    unregisterServer = reinterpret_cast<DllRegisterServerFn>(::dlsym(handle, "DllUnregisterServer"));
    ASSERT_TRUE(getClassObject && canUnloadNow && registerServer && unregisterServer);
  }
  void TearDown() override {
    if (handle != nullptr) ::dlclose(handle);
  }

  ComPtr<IClassFactory> Factory() {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(getClassObject(kClsid, IID_IClassFactory, factory.PutVoid()), S_OK);
    return factory;
  }

  template <typename T>
  ComPtr<T> Create(REFIID iid) {
    ComPtr<T> out;
    EXPECT_EQ(Factory()->CreateInstance(nullptr, iid, out.PutVoid()), S_OK);
    return out;
  }

  // A handler initialised with these files; the result of Initialize in `hr`.
  ComPtr<IContextMenu> Handler(const std::vector<std::string>& files, HRESULT& hr) {
    auto init = Create<IShellExtInit>(IID_IShellExtInit);
    ComPtr<IDataObject> data;
    *data.Put() = CreateFileDataObject(files);
    hr = init->Initialize(nullptr, data.Get(), 0);
    ComPtr<IContextMenu> menu;
    EXPECT_EQ(init->QueryInterface(IID_IContextMenu, menu.PutVoid()), S_OK);
    return menu;
  }
  ComPtr<IContextMenu> Handler(const std::string& file) {
    HRESULT hr = E_FAIL;
    auto menu = Handler(std::vector<std::string>{file}, hr);
    EXPECT_EQ(hr, S_OK) << file;
    return menu;
  }

  // The texts the handler adds for a file.
  std::vector<std::string> MenuFor(const std::string& file, UINT flags = CMF_NORMAL) {
    auto handler = Handler(file);
    Menu menu;
    const HRESULT hr = handler->QueryContextMenu(menu.Handle(), 0, 100, 200, flags);
    EXPECT_TRUE(SUCCEEDED(hr));
    std::vector<std::string> texts;
    for (const auto& item : menu.Items()) texts.push_back(item.text);
    EXPECT_EQ(HRESULT_CODE(hr), texts.size());
    return texts;
  }

  // The arguments the program was started with (after `offset` was invoked).
  std::vector<std::string> Started(const std::string& file, UINT offset) {
    auto handler = Handler(file);
    Menu menu;
    handler->QueryContextMenu(menu.Handle(), 0, 1, 100, CMF_NORMAL);
    CMINVOKECOMMANDINFO info;
    info.lpVerb = MAKEINTRESOURCEA(offset);
    EXPECT_EQ(handler->InvokeCommand(&info), S_OK);
    return sealvane::test::RecordedArguments(folder);
  }

  std::string folder, server;
  void* handle = nullptr;
  DllGetClassObjectFn getClassObject = nullptr;
  DllCanUnloadNowFn canUnloadNow = nullptr;
  DllRegisterServerFn registerServer = nullptr;
  DllRegisterServerFn unregisterServer = nullptr;
};

TEST_F(ShellExt, RegistrationWritesTheScriptTheTypeLibraryAndTheApprovedValue) {
  ASSERT_EQ(registerServer(), S_OK);
  const auto cr = reg::HKEY_CLASSES_ROOT;
  EXPECT_EQ(Value(cr, "SealvaneShl.SealvaneCM.1"), "SealvaneCM Class");
  EXPECT_EQ(Value(cr, "SealvaneShl.SealvaneCM.1\\CLSID"), kClsidText);
  EXPECT_EQ(Value(cr, "SealvaneShl.SealvaneCM"), "SealvaneCM Class");
  EXPECT_EQ(Value(cr, "SealvaneShl.SealvaneCM\\CLSID"), kClsidText);
  EXPECT_EQ(Value(cr, "SealvaneShl.SealvaneCM\\CurVer"), "SealvaneShl.SealvaneCM.1");
  const std::string cls = "CLSID\\" + kClsidText;
  EXPECT_EQ(Value(cr, cls), "SealvaneCM Class");
  EXPECT_EQ(Value(cr, cls + "\\ProgID"), "SealvaneShl.SealvaneCM.1");
  EXPECT_EQ(Value(cr, cls + "\\VersionIndependentProgID"), "SealvaneShl.SealvaneCM");
  EXPECT_TRUE(KeyExists(cr, cls + "\\Programmable"));
  EXPECT_EQ(Value(cr, cls + "\\Programmable"), "(missing)");
  EXPECT_EQ(Value(cr, cls + "\\InprocServer32"), server);
  EXPECT_EQ(Value(cr, cls + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(Value(cr, cls + "\\TypeLib"), "{6EAEC83D-B34F-4227-B2DD-8BEEABC8B3D0}");
  EXPECT_EQ(Value(cr, "*\\shellex\\ContextMenuHandlers\\Sealvane"), kClsidText);
  EXPECT_EQ(Value(cr, ".sva"), "Sealvane.Archive");
  EXPECT_EQ(Value(cr, "Sealvane.Archive"), "Sealvane Encrypted Archive");
  EXPECT_EQ(Value(cr, "TypeLib\\{6EAEC83D-B34F-4227-B2DD-8BEEABC8B3D0}\\1.0"), "SealvaneShl 1.0 Type Library");
  EXPECT_EQ(Value(cr, "Interface\\{3BDB86D3-F7B2-497B-A432-F02AA368F6EF}"), "ISealvaneCM");
  EXPECT_EQ(Value(reg::HKEY_LOCAL_MACHINE, kApproved, kClsidText), "Sealvane Shell extension");
  {
    reg::HKEY key = 0;
    ASSERT_EQ(reg::RegOpenKeyExA(reg::HKEY_LOCAL_MACHINE, kApproved.c_str(), 0, reg::KEY_READ, &key), 0);
    reg::DWORD type = 0, size = 0;
    ASSERT_EQ(reg::RegQueryValueExA(key, kClsidText.c_str(), nullptr, &type, nullptr, &size), 0);
    reg::RegCloseKey(key);
    EXPECT_EQ(type, reg::REG_SZ);
    EXPECT_EQ(size, sizeof("Sealvane Shell extension"));  // with its NUL
  }
  EXPECT_EQ(InprocServerPath(kClsid), server);
  CLSID fromProgId;
  ASSERT_EQ(CLSIDFromProgID("SealvaneShl.SealvaneCM.1", &fromProgId), S_OK);
  EXPECT_EQ(fromProgId, kClsid);

  // A second registration leaves one copy of each key.
  SetString(cr, cls + "\\Leftover", "", "old");
  ASSERT_EQ(registerServer(), S_OK);
  EXPECT_FALSE(KeyExists(cr, cls + "\\Leftover"));
  EXPECT_EQ(SubKeyCount(cls), 5u);
  EXPECT_EQ(SubKeyCount("*\\shellex\\ContextMenuHandlers"), 1u);
  EXPECT_EQ(SubKeyCount("SealvaneShl.SealvaneCM"), 2u);
}

TEST_F(ShellExt, RemovalTakesAwayWhatTheScriptNamesAndKeepsWhatOthersFill) {
  const auto cr = reg::HKEY_CLASSES_ROOT;
  // What others have put there: another handler, another class, the
  // desktop program's own file type settings.
  SetString(cr, "*\\shellex\\ContextMenuHandlers\\Other", "", "{11111111-2222-3333-4444-555555555555}");
  SetString(cr, "CLSID\\{11111111-2222-3333-4444-555555555555}", "", "Other Class");
  SetString(cr, "Sealvane.Archive\\shell\\open\\command", "", "\"/usr/bin/sealvane\" \"%1\"");
  ASSERT_EQ(registerServer(), S_OK);
  ASSERT_EQ(unregisterServer(), S_OK);
  EXPECT_FALSE(KeyExists(cr, "SealvaneShl.SealvaneCM.1"));
  EXPECT_FALSE(KeyExists(cr, "SealvaneShl.SealvaneCM"));
  EXPECT_FALSE(KeyExists(cr, "CLSID\\" + kClsidText));
  EXPECT_FALSE(KeyExists(cr, "*\\shellex\\ContextMenuHandlers\\Sealvane"));
  EXPECT_FALSE(KeyExists(cr, ".sva"));
  EXPECT_FALSE(KeyExists(cr, "TypeLib\\{6EAEC83D-B34F-4227-B2DD-8BEEABC8B3D0}"));
  EXPECT_FALSE(KeyExists(cr, "Interface\\{3BDB86D3-F7B2-497B-A432-F02AA368F6EF}"));
  EXPECT_EQ(Value(reg::HKEY_LOCAL_MACHINE, kApproved, kClsidText), "(missing)");
  EXPECT_TRUE(KeyExists(cr, "*\\shellex\\ContextMenuHandlers\\Other"));
  EXPECT_TRUE(KeyExists(cr, "CLSID\\{11111111-2222-3333-4444-555555555555}"));
  EXPECT_TRUE(KeyExists(cr, "Sealvane.Archive\\shell\\open\\command"));
  // Nothing left to remove is no failure either.
  EXPECT_EQ(unregisterServer(), S_OK);
  // The NoRemove keys stay even when empty.
  SetString(cr, "Probe", "", "x");
  reg::RegDeleteTreeA(cr, "*\\shellex\\ContextMenuHandlers\\Other");
  ASSERT_EQ(registerServer(), S_OK);
  ASSERT_EQ(unregisterServer(), S_OK);
  EXPECT_TRUE(KeyExists(cr, "*\\shellex\\ContextMenuHandlers"));
}

TEST_F(ShellExt, RegistrationIsRefusedWithNothingWrittenWhenTheMachineHiveIsReadOnly) {
  // As a user who may not write the machine hive: the hive exists, made by
  // an administrator (here: this process), and is read-only to others.
  SetString(reg::HKEY_LOCAL_MACHINE, "Software\\Probe", "", "x");
  const std::string hive = std::getenv("SEALVANE_MACHINE_HIVE");
  fs::permissions(fs::path(hive).parent_path(), fs::perms(0755));
  fs::permissions(hive, fs::perms(0644));
  const std::string shell = sealvane::test::UnprivilegedProgram(SEALVANE_SHELL_PATH);
  const std::string copy = fs::path(shell).parent_path().string() + "/libsealvaneshl.so";
  fs::copy_file(SEALVANESHL_PATH, copy, fs::copy_options::overwrite_existing);
  fs::permissions(copy, fs::perms(0755));
  const std::string home = std::getenv("SEALVANE_HOME");
  fs::create_directories(home);
  sealvane::test::GiveToUnprivilegedUser(home);
  sealvane::test::GiveToUnprivilegedUser(std::getenv("HOME"));
  if (::geteuid() != 0) fs::permissions(hive, fs::perms(0444));
  auto argv = sealvane::test::UnprivilegedPrefix();
  argv.insert(argv.end(), {shell, "register", copy});
  const auto result = sealvane::test::RunProcess(argv);
  EXPECT_EQ(result.exitCode, 1) << result.err;
  EXPECT_NE(result.err.find("0x80070005"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("nothing was registered"), std::string::npos) << result.err;
  EXPECT_FALSE(KeyExists(reg::HKEY_CLASSES_ROOT, "CLSID\\" + kClsidText));
  EXPECT_FALSE(KeyExists(reg::HKEY_CLASSES_ROOT, "*\\shellex\\ContextMenuHandlers\\Sealvane"));
  EXPECT_FALSE(KeyExists(reg::HKEY_CLASSES_ROOT, ".sva"));
  EXPECT_FALSE(fs::exists(std::string(std::getenv("HOME")) + "/.local/share/kio"));
}

TEST_F(ShellExt, TheModuleStaysLoadedWhileObjectsFactoriesOrLocksLive) {
  EXPECT_EQ(canUnloadNow(), S_OK);
  {
    auto factory = Factory();
    EXPECT_EQ(canUnloadNow(), S_FALSE);  // a factory held beyond its cache
    ComPtr<IClassFactory> second;
    ASSERT_EQ(getClassObject(kClsid, IID_IClassFactory, second.PutVoid()), S_OK);
    EXPECT_EQ(second.Get(), factory.Get());  // the cached one
    second.Reset();
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    ComPtr<IContextMenu> handler;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IContextMenu, handler.PutVoid()), S_OK);
    factory.Reset();
    EXPECT_EQ(canUnloadNow(), S_FALSE);  // the handler
    ComPtr<IShellExtInit> other;
    ASSERT_EQ(handler->QueryInterface(IID_IShellExtInit, other.PutVoid()), S_OK);
    handler.Reset();
    EXPECT_EQ(canUnloadNow(), S_FALSE);  // the same object, through another interface
  }
  EXPECT_EQ(canUnloadNow(), S_OK);
  {
    auto factory = Factory();
    ASSERT_EQ(factory->LockServer(1), S_OK);
    ASSERT_EQ(factory->LockServer(1), S_OK);
    factory.Reset();
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    factory = Factory();
    factory->LockServer(0);
    factory->LockServer(0);
  }
  EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST_F(ShellExt, HostsLoadTheRegisteredServerAndUnloadItWhenItAllows) {
  ComPtr<IContextMenu> menu;
  EXPECT_EQ(CoCreateInstance(kClsid, nullptr, IID_IContextMenu, menu.PutVoid()), REGDB_E_CLASSNOTREG);
  ASSERT_EQ(registerServer(), S_OK);
  ASSERT_EQ(CoCreateInstance(kClsid, nullptr, IID_IContextMenu, menu.PutVoid()), S_OK);
  EXPECT_EQ(LoadedServerCount(), 1u);
  CoFreeUnusedLibraries();
  EXPECT_EQ(LoadedServerCount(), 1u);  // the handler keeps it
  menu.Reset();
  CoFreeUnusedLibraries();
  EXPECT_EQ(LoadedServerCount(), 0u);

  // A registered file that is not there, or is no server.
  SetString(reg::HKEY_CLASSES_ROOT, "CLSID\\" + kClsidText + "\\InprocServer32", "", folder + "/missing.so");
  EXPECT_EQ(CoCreateInstance(kClsid, nullptr, IID_IContextMenu, menu.PutVoid()), CO_E_DLLNOTFOUND);
  EXPECT_NE(LastLoadError().find("missing.so"), std::string::npos);
  SetString(reg::HKEY_CLASSES_ROOT, "CLSID\\" + kClsidText + "\\InprocServer32", "", SEALVANELIB_PATH);
  EXPECT_EQ(CoCreateInstance(kClsid, nullptr, IID_IContextMenu, menu.PutVoid()), CO_E_ERRORINDLL);
  EXPECT_EQ(LoadedServerCount(), 0u);
}

// An outer object that counts the references its inner object passes on.
class Outer final : public IUnknown {
 public:
  HRESULT QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  ULONG refs = 1;
};

TEST_F(ShellExt, TheFactoryRefusesAggregationButForIUnknownAndUnknownClasses) {
  auto factory = Factory();
  Outer outer;
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IContextMenu, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  ComPtr<IUnknown> inner;
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, inner.PutVoid()), S_OK);
  // The inner object's interfaces count on the outer object.
  IContextMenu* menu = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)), S_OK);
  EXPECT_EQ(outer.refs, 2u);
  menu->Release();
  EXPECT_EQ(outer.refs, 1u);
  inner.Reset();
  EXPECT_EQ(canUnloadNow(), S_FALSE);  // the factory still
  factory.Reset();
  EXPECT_EQ(canUnloadNow(), S_OK);

  EXPECT_EQ(getClassObject(kClsid, IID_IClassFactory, nullptr), E_POINTER);
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(getClassObject(IID_IContextMenu, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(getClassObject(kClsid, IID_IContextMenu, &out), E_NOINTERFACE);
  EXPECT_EQ(Factory()->CreateInstance(nullptr, IID_IDataObject, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST_F(ShellExt, InterfacesAnswerInTheirOrderWithOneIdentity) {
  auto own = Create<IDispatch>(kISealvaneCM);
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(own->QueryInterface(IID_IDispatch, dispatch.PutVoid()), S_OK);
  EXPECT_EQ(static_cast<void*>(dispatch.Get()), static_cast<void*>(own.Get()));
  ComPtr<IShellExtInit> init;
  ComPtr<IContextMenu> menu;
  ASSERT_EQ(own->QueryInterface(IID_IShellExtInit, init.PutVoid()), S_OK);
  ASSERT_EQ(init->QueryInterface(IID_IContextMenu, menu.PutVoid()), S_OK);
  ComPtr<IUnknown> a, b, c;
  ASSERT_EQ(own->QueryInterface(IID_IUnknown, a.PutVoid()), S_OK);
  ASSERT_EQ(init->QueryInterface(IID_IUnknown, b.PutVoid()), S_OK);
  ASSERT_EQ(menu->QueryInterface(IID_IUnknown, c.PutVoid()), S_OK);
  EXPECT_EQ(a.Get(), b.Get());
  EXPECT_EQ(b.Get(), c.Get());
  ComPtr<IDispatch> back;
  ASSERT_EQ(menu->QueryInterface(kISealvaneCM, back.PutVoid()), S_OK);
  EXPECT_EQ(back.Get(), own.Get());
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(menu->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);

  // IDispatch: one type description, no members.
  UINT count = 0;
  ASSERT_EQ(own->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(own->GetTypeInfo(0, 0, info.Put()), S_OK);
  char name[64], doc[64];
  ASSERT_EQ(info->GetDocumentation(-1, name, sizeof(name), doc, sizeof(doc)), S_OK);
  EXPECT_STREQ(name, "ISealvaneCM");
  EXPECT_STREQ(doc, "ISealvaneCM Interface");
  EXPECT_EQ(own->GetTypeInfo(1, 0, info.Put()), DISP_E_BADINDEX);
  const WCHAR* names[] = {u"Encrypt"};
  DISPID id = 0;
  EXPECT_EQ(own->GetIDsOfNames(IID_IDispatch, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, -1);
  EXPECT_EQ(own->Invoke(1, IID_IDispatch, 0, 1, nullptr, nullptr, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
}

TEST_F(ShellExt, MenusByTheTextFromTheLastDot) {
  using V = std::vector<std::string>;
  EXPECT_EQ(MenuFor("/home/ana/report.doc"), (V{"Encr&ypt", "Secure De&lete"}));
  EXPECT_EQ(MenuFor("/home/ana/report.sva"), (V{"Decr&ypt", "Secure De&lete"}));
  EXPECT_EQ(MenuFor("/home/ana/REPORT.SVA"), (V{"Decr&ypt", "Secure De&lete"}));
  EXPECT_EQ(MenuFor("/home/ana/report.sva.txt"), (V{"Encr&ypt", "Secure De&lete"}));
  EXPECT_EQ(MenuFor("/home/ana/report"), (V{"Encr&ypt", "Secure De&lete"}));
  EXPECT_EQ(MenuFor("/home/ana.sva/report"), (V{"Encr&ypt", "Secure De&lete"}));
  EXPECT_EQ(MenuFor("/home/ana/.sva"), (V{"Decr&ypt", "Secure De&lete"}));
  EXPECT_TRUE(MenuFor("/home/ana/report.sva", CMF_DEFAULTONLY).empty());

  // Inserted at the position asked for, with the identifiers given and the glyph.
  auto handler = Handler("/home/ana/report.doc");
  Menu menu;
  for (UINT i = 0; i < 3; ++i) InsertMenuA(menu.Handle(), i, MF_BYPOSITION | MF_STRING, 10 + i, "theirs");
  const HRESULT hr = handler->QueryContextMenu(menu.Handle(), 1, 40, 41, CMF_EXPLORE);
  EXPECT_EQ(hr, 2);
  ASSERT_EQ(menu.Items().size(), 5u);
  EXPECT_EQ(menu.Items()[1].text, "Encr&ypt");
  EXPECT_EQ(menu.Items()[1].id, 40u);
  EXPECT_EQ(menu.Items()[2].text, "Secure De&lete");
  EXPECT_EQ(menu.Items()[2].id, 41u);
  EXPECT_EQ(menu.Items()[3].text, "theirs");
  BitmapInfo info;
  ASSERT_TRUE(GetBitmapInfo(menu.Items()[1].unchecked, info));
  EXPECT_EQ(info.width, 16);
  EXPECT_EQ(menu.Items()[2].unchecked, menu.Items()[1].unchecked);
  EXPECT_EQ(menu.Items()[1].checked, nullptr);
}

TEST_F(ShellExt, OnlyOneFileWithANameThatFitsIsAccepted) {
  HRESULT hr = S_OK;
  Handler({"/a/one.txt", "/a/two.txt"}, hr);
  EXPECT_EQ(hr, E_INVALIDARG);
  Handler(std::vector<std::string>{}, hr);
  EXPECT_EQ(hr, E_INVALIDARG);
  Handler(std::vector<std::string>{std::string(259, 'x')}, hr);
  EXPECT_EQ(hr, S_OK);
  // A longer name would have been cut into the name of another file.
  Handler(std::vector<std::string>{std::string(260, 'x')}, hr);
  EXPECT_EQ(hr, E_INVALIDARG);
  auto init = Create<IShellExtInit>(IID_IShellExtInit);
  EXPECT_EQ(init->Initialize(nullptr, nullptr, 0), E_INVALIDARG);
}

TEST_F(ShellExt, HelpTextsAnsiAndWideAndTheRequestsThatAreRefused) {
  auto handler = Handler("/home/ana/report.doc");
  Menu menu;
  handler->QueryContextMenu(menu.Handle(), 0, 1, 10, CMF_NORMAL);
  char text[64];
  ASSERT_EQ(handler->GetCommandString(0, GCS_HELPTEXTA, nullptr, text, sizeof(text)), S_OK);
  EXPECT_STREQ(text, "Encrypts the file.");
  ASSERT_EQ(handler->GetCommandString(1, GCS_HELPTEXTA, nullptr, text, sizeof(text)), S_OK);
  EXPECT_STREQ(text, "Overwrites the file and then deletes it.");
  ASSERT_EQ(handler->GetCommandString(0, GCS_HELPTEXTA, nullptr, text, 5), S_OK);
  EXPECT_STREQ(text, "Encr");
  WCHAR wide[64];
  ASSERT_EQ(handler->GetCommandString(1, GCS_HELPTEXTW, nullptr, reinterpret_cast<char*>(wide), 64), S_OK);
  EXPECT_EQ(std::u16string(wide), u"Overwrites the file and then deletes it.");
  ASSERT_EQ(handler->GetCommandString(0, GCS_HELPTEXTW, nullptr, reinterpret_cast<char*>(wide), 3), S_OK);
  EXPECT_EQ(std::u16string(wide), u"En");
  for (UINT type : {GCS_VERBA, GCS_VERBW, GCS_VALIDATEA, GCS_VALIDATEW}) {
    EXPECT_EQ(handler->GetCommandString(0, type, nullptr, text, sizeof(text)), E_INVALIDARG) << type;
  }
  EXPECT_EQ(handler->GetCommandString(2, GCS_HELPTEXTA, nullptr, text, sizeof(text)), E_INVALIDARG);

  auto archive = Handler("/home/ana/report.Sva");
  archive->QueryContextMenu(menu.Handle(), 0, 1, 10, CMF_NORMAL);
  ASSERT_EQ(archive->GetCommandString(0, GCS_HELPTEXTA, nullptr, text, sizeof(text)), S_OK);
  EXPECT_STREQ(text, "Decrypts the file.");
}

TEST_F(ShellExt, CommandsStartTheProgramBesideTheServerWithTheFileQuoted) {
  const std::string plain = SandboxDir() + "/My \"Quoted\" File.txt";
  const std::string archive = SandboxDir() + "/Old Report.SVA";
  EXPECT_EQ(Started(plain, 0), (std::vector<std::string>{"/e", plain}));
  EXPECT_EQ(Started(archive, 0), (std::vector<std::string>{archive}));
  EXPECT_EQ(Started(plain, 1), (std::vector<std::string>{"/d", plain}));
  const std::string trailing = SandboxDir() + "/odd name\\";
  EXPECT_EQ(Started(trailing, 1), (std::vector<std::string>{"/d", trailing}));

  auto handler = Handler(plain);
  Menu menu;
  handler->QueryContextMenu(menu.Handle(), 0, 1, 10, CMF_NORMAL);
  CMINVOKECOMMANDINFO info;
  info.lpVerb = "encrypt";  // a verb string
  EXPECT_EQ(handler->InvokeCommand(&info), E_INVALIDARG);
  info.lpVerb = MAKEINTRESOURCEA(2);
  EXPECT_EQ(handler->InvokeCommand(&info), E_INVALIDARG);
  EXPECT_EQ(handler->InvokeCommand(nullptr), E_INVALIDARG);
  // A missing program is not reported.
  fs::remove(folder + "/sealvane");
  info.lpVerb = MAKEINTRESOURCEA(0);
  EXPECT_EQ(handler->InvokeCommand(&info), S_OK);
  // Without a file there is nothing to start the program for.
  auto empty = Create<IContextMenu>(IID_IContextMenu);
  EXPECT_EQ(empty->InvokeCommand(&info), E_INVALIDARG);
}

}  // namespace
