// SPDX-License-Identifier: GPL-3.0-or-later
// The mail add-in in the simulated client, loaded through its registration
// as the client loads it: the controls it places, the windows it leaves
// alone, its error box, its handlers' lifetimes, and its registration.
#include <gtest/gtest.h>

#include <filesystem>

#include "Client.h"
#include "sealvane/com/Server.h"
#include "sealvane/platform/Registry.h"
#include "support/Process.h"
#include "support/RegistryValues.h"
#include "support/Sandbox.h"

namespace {

using namespace sealvane::outlook;
namespace reg = sealvane::platform;
using sealvane::test::RegKeyExists;
using sealvane::test::RegValue;

struct Box {
  std::string text, caption;
  unsigned type;
};
std::vector<Box> g_boxes;

}  // namespace

// The program's message boxes, which the add-in's reach.
extern "C" [[gnu::visibility("default")]] int SealvaneMessageBoxA(void*, const char* text, const char* caption,
                                                                   unsigned type) {
  g_boxes.push_back({text, caption, type});
  return 1;
}

namespace {

const std::string kAddInKey = "Software\\Microsoft\\Office\\Outlook\\Addins\\SealvaneOL.dsrSealvaneOL";
using Ids = std::vector<LONG>;

class MailAddIn : public ::testing::Test {
 protected:
  void SetUp() override {
    g_boxes.clear();
    ASSERT_EQ(CallServerEntry(SEALVANEOL_PATH, "DllRegisterServer"), S_OK);
  }
  void TearDown() override { client.reset(); }

  sim::Client& Started() {
    client = std::make_unique<sim::Client>();
    EXPECT_TRUE(client->Start().empty());
    EXPECT_EQ(client->ConnectedAddIns(), 1u);
    return *client;
  }
  int OpenMail(const std::string& bars) { return client->Open(olMail, sim::ParseBars(bars)); }

  std::unique_ptr<sim::Client> client;
};

TEST_F(MailAddIn, ControlsComeRightAfterSendInOrderOnceForEachWindow) {
  auto& c = Started();
  const int first = OpenMail("Standard=2617,3,4;Formatting=1");
  EXPECT_EQ(c.Controls(first, "Standard"), (Ids{2617, 719, 718, 3, 4}));
  EXPECT_EQ(c.Controls(first, "Formatting"), (Ids{1}));
  // A second window gets its own; the first keeps its two.
  const int second = OpenMail("Standard=5,2617,3");
  EXPECT_EQ(c.Controls(second, "Standard"), (Ids{5, 2617, 719, 718, 3}));
  EXPECT_EQ(c.Controls(first, "Standard"), (Ids{2617, 719, 718, 3, 4}));
  EXPECT_TRUE(g_boxes.empty());
}

TEST_F(MailAddIn, ControlsAlreadyPresentAnywhereAreNotAddedAgain) {
  auto& c = Started();
  // 719 hidden on another bar: only 718, placed by send's index + 2.
  int w = OpenMail("Standard=2617,3,4;Other=719h");
  EXPECT_EQ(c.Controls(w, "Standard"), (Ids{2617, 3, 718, 4}));
  EXPECT_EQ(c.Controls(w, "Other"), (Ids{719}));
  w = OpenMail("Standard=2617,718h");
  EXPECT_EQ(c.Controls(w, "Standard"), (Ids{2617, 719, 718}));
  w = OpenMail("Standard=719,2617,718");
  EXPECT_EQ(c.Controls(w, "Standard"), (Ids{719, 2617, 718}));
  EXPECT_TRUE(g_boxes.empty());
}

TEST_F(MailAddIn, OtherItemsGetNothingAndNoHandler) {
  auto& c = Started();
  const std::size_t idle = c.EventSinks();  // the add-in's own two connections
  for (LONG itemClass : {olContact, olMeetingRequest, olNote, olAppointment}) {
    const int w = c.Open(itemClass, sim::ParseBars("Standard=2617,3"));
    EXPECT_EQ(c.Controls(w, "Standard"), (Ids{2617, 3})) << itemClass;
    EXPECT_EQ(c.EventSinks(), idle) << itemClass;
    c.Close(w);
  }
  EXPECT_TRUE(g_boxes.empty());
}

TEST_F(MailAddIn, HiddenSendFallsBackToTheOtherSendControl) {
  auto& c = Started();
  int w = OpenMail("Standard=2617h,4,5469,3");
  EXPECT_EQ(c.Controls(w, "Standard"), (Ids{2617, 4, 5469, 719, 718, 3}));
  w = OpenMail("Standard=2617h,5469h,3");
  EXPECT_EQ(c.Controls(w, "Standard"), (Ids{2617, 5469, 3}));
  w = OpenMail("Standard=3,4");
  EXPECT_EQ(c.Controls(w, "Standard"), (Ids{3, 4}));
  EXPECT_TRUE(g_boxes.empty());
}

TEST_F(MailAddIn, ClosingRemovesTheHandlerOnceWithoutAMessage) {
  auto& c = Started();
  const std::size_t idle = c.EventSinks();
  const int w = OpenMail("Standard=2617");
  EXPECT_EQ(c.EventSinks(), idle + 2);  // the handler watches the window and its mail
  c.Close(w);  // the mail's Close, then the window's
  EXPECT_TRUE(g_boxes.empty());
  EXPECT_EQ(c.EventSinks(), idle);
  EXPECT_TRUE(c.Windows().empty());
}

// Another party that cancels every send.
class Canceller final : public SingleInterfaceObject<Canceller, ApplicationEvents, IID_ApplicationEvents> {
 public:
  HRESULT Startup() override { return S_OK; }
  HRESULT Quit() override { return S_OK; }
  HRESULT ItemSend(IDispatch*, VARIANT_BOOL* cancel) override {
    *cancel = VARIANT_TRUE;
    return S_OK;
  }

 private:
  friend SingleInterfaceObject;
  ~Canceller() = default;
};

TEST_F(MailAddIn, SendingIsNotAffected) {
  auto& c = Started();
  const int w = OpenMail("Standard=2617");
  EXPECT_TRUE(c.Send(w));
  EXPECT_TRUE(c.Windows().empty());
  EXPECT_TRUE(g_boxes.empty());

  // A cancel made before the add-in hears of the send stays made.
  client = std::make_unique<sim::Client>();
  ComPtr<ApplicationEvents> canceller;
  *canceller.Put() = new Canceller();
  EventConnection first;
  ASSERT_EQ(first.Connect(client->Application(), IID_ApplicationEvents, canceller.Get()), S_OK);
  ASSERT_TRUE(client->Start().empty());
  const int kept = OpenMail("Standard=2617");
  EXPECT_FALSE(client->Send(kept));
  EXPECT_EQ(client->Windows(), (std::vector<int>{kept}));
  first.Disconnect();
  EXPECT_TRUE(client->Send(kept));
}

TEST_F(MailAddIn, AWindowWithoutAStandardBarGivesTheErrorBoxAndKeepsItsHandler) {
  auto& c = Started();
  const std::size_t idle = c.EventSinks();
  const int w = OpenMail("Formatting=1,2617");
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].caption, "Error!");
  EXPECT_EQ(g_boxes[0].type, MB_OK | MB_ICONERROR);
  EXPECT_EQ(g_boxes[0].text, "An error occurred in: 'SealvaneOL'.\rError: -2147024809\rThe parameter is incorrect.");
  EXPECT_EQ(c.Controls(w, "Formatting"), (Ids{1, 2617}));
  EXPECT_EQ(c.EventSinks(), idle + 2);  // the handler is in the collection all the same
  c.Close(w);
  EXPECT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(c.EventSinks(), idle);
}

TEST_F(MailAddIn, DisconnectionReleasesEverythingAndTheServerUnloads) {
  {
    auto& c = Started();
    OpenMail("Standard=2617");
    OpenMail("Standard=2617");
    c.Close(OpenMail("Standard=2617"));
    EXPECT_EQ(sealvane::com::LoadedServerCount(), 1u);
    c.Quit();  // with two windows still open
    EXPECT_EQ(c.EventSinks(), 0u);
  }
  EXPECT_EQ(sealvane::com::LoadedServerCount(), 0u);
  EXPECT_TRUE(g_boxes.empty());

  // Turned off while windows stay open: their handlers let go of them too,
  // and the controls (temporary ones) stay until the windows close.
  auto& again = Started();
  const int w = OpenMail("Standard=2617");
  EXPECT_EQ(sealvane::com::LoadedServerCount(), 1u);
  again.DisconnectAddIns();
  EXPECT_EQ(again.EventSinks(), 0u);
  EXPECT_EQ(sealvane::com::LoadedServerCount(), 0u);
  EXPECT_EQ(again.Controls(w, "Standard"), (Ids{2617, 719, 718}));
  again.Close(w);
  EXPECT_TRUE(g_boxes.empty());
}

TEST_F(MailAddIn, OnlyAddInsThatLoadAtStartAreConnected) {
  reg::HKEY key = 0;
  ASSERT_EQ(reg::RegOpenKeyExA(reg::HKEY_CURRENT_USER, kAddInKey.c_str(), 0, reg::KEY_SET_VALUE, &key), 0);
  const reg::DWORD manual = 2;
  reg::RegSetValueExA(key, "LoadBehavior", 0, reg::REG_DWORD, reinterpret_cast<const std::uint8_t*>(&manual), 4);
  reg::RegCloseKey(key);
  sim::Client c;
  EXPECT_TRUE(c.Start().empty());
  EXPECT_EQ(c.ConnectedAddIns(), 0u);
  // A registration whose server is gone is reported, not fatal.
  ASSERT_TRUE(sealvane::test::RegSetString(reg::HKEY_CURRENT_USER,
                                           "Software\\Microsoft\\Office\\Outlook\\Addins\\Gone.AddIn", "", ""));
  ASSERT_EQ(reg::RegOpenKeyExA(reg::HKEY_CURRENT_USER, "Software\\Microsoft\\Office\\Outlook\\Addins\\Gone.AddIn", 0,
                               reg::KEY_SET_VALUE, &key),
            0);
  const reg::DWORD start = 3;
  reg::RegSetValueExA(key, "LoadBehavior", 0, reg::REG_DWORD, reinterpret_cast<const std::uint8_t*>(&start), 4);
  reg::RegCloseKey(key);
  sim::Client other;
  const auto notes = other.Start();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_NE(notes[0].find("Gone.AddIn"), std::string::npos);
}

TEST_F(MailAddIn, RegistrationWritesTheClassesTheLibraryAndTheAddInKeyAndRemovesThem) {
  const auto cu = reg::HKEY_CURRENT_USER;
  const auto cr = reg::HKEY_CLASSES_ROOT;
  EXPECT_EQ(RegValue(cu, kAddInKey, "FriendlyName"), "Sealvane for Outlook");
  EXPECT_EQ(RegValue(cu, kAddInKey, "Description"), "Sealvane Outlook COM Add-in\r\n");
  EXPECT_EQ(RegValue(cu, kAddInKey, "LoadBehavior"), std::string("\x03\0\0\0", 4));
  EXPECT_EQ(RegValue(cu, kAddInKey, "CommandLineSafe"), std::string("\0\0\0\0", 4));
  EXPECT_EQ(RegValue(cr, "SealvaneOL.dsrSealvaneOL\\CLSID"), "{E25D84A2-FFCB-4503-847C-B0CB86F56C1A}");
  EXPECT_EQ(RegValue(cr, "SealvaneOL.clsMailHandler\\CLSID"), "{8656BB06-AB57-4E9D-9BBC-B70621F9F680}");
  EXPECT_EQ(RegValue(cr, "CLSID\\{E25D84A2-FFCB-4503-847C-B0CB86F56C1A}\\InprocServer32"), SEALVANEOL_PATH);
  EXPECT_EQ(RegValue(cr, "CLSID\\{8656BB06-AB57-4E9D-9BBC-B70621F9F680}\\InprocServer32", "ThreadingModel"),
            "Apartment");
  EXPECT_EQ(RegValue(cr, "TypeLib\\{4C3B741C-484A-4F63-9D0D-23410369271B}\\1.0"), "Sealvane Outlook COM Add-in");
  EXPECT_EQ(RegValue(cr, "Interface\\{C7A0EFA1-B755-43AD-A25D-D6CD75C46967}"), "_clsMailHandler");

  ASSERT_EQ(CallServerEntry(SEALVANEOL_PATH, "DllUnregisterServer"), S_OK);
  EXPECT_FALSE(RegKeyExists(cu, kAddInKey));
  EXPECT_TRUE(RegKeyExists(cu, "Software\\Microsoft\\Office\\Outlook\\Addins"));
  EXPECT_FALSE(RegKeyExists(cr, "SealvaneOL.dsrSealvaneOL"));
  EXPECT_FALSE(RegKeyExists(cr, "CLSID\\{E25D84A2-FFCB-4503-847C-B0CB86F56C1A}"));
  EXPECT_FALSE(RegKeyExists(cr, "CLSID\\{8656BB06-AB57-4E9D-9BBC-B70621F9F680}"));
  EXPECT_FALSE(RegKeyExists(cr, "TypeLib\\{4C3B741C-484A-4F63-9D0D-23410369271B}"));
  sim::Client c;
  EXPECT_TRUE(c.Start().empty());
  EXPECT_EQ(c.ConnectedAddIns(), 0u);
}

TEST_F(MailAddIn, TheClassFactoriesServeBothClassesAndNoOther) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(CoGetClassObject(MakeGuid("{8656BB06-AB57-4E9D-9BBC-B70621F9F680}"), IID_IClassFactory,
                             factory.PutVoid()),
            S_OK);
  ComPtr<IDispatch> handler;
  EXPECT_EQ(factory->CreateInstance(nullptr, MakeGuid("{C7A0EFA1-B755-43AD-A25D-D6CD75C46967}"), handler.PutVoid()),
            S_OK);
  ComPtr<IUnknown> outer;
  EXPECT_EQ(factory->CreateInstance(handler.Get(), IID_IUnknown, outer.PutVoid()), CLASS_E_NOAGGREGATION);
  handler.Reset();
  factory.Reset();
  CoFreeUnusedLibraries();
  EXPECT_EQ(sealvane::com::LoadedServerCount(), 0u);
}

TEST(MailHost, RunsAScriptAndPrintsTheWindowsAfterEachStep) {
  ASSERT_EQ(sealvane::test::RunProcess({SEALVANE_MAILHOST, "--register", SEALVANEOL_PATH}).exitCode, 0);
  const std::string script = sealvane::test::SandboxDir() + "/script";
  sealvane::test::WriteFileBytes(script,
                                 "# a user's morning\n"
                                 "open mail Standard=2617,3\n"
                                 "open contact Standard=2617\n"
                                 "open mail Formatting=1\n"
                                 "send 1\n"
                                 "close 3\n"
                                 "quit\n");
  const auto r = sealvane::test::RunProcess({SEALVANE_MAILHOST, script});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "connected add-ins: 1\n"
            "> open mail Standard=2617,3\n"
            "window 1 (mail)\n  Standard: 2617 719 718 3\n"
            "> open contact Standard=2617\n"
            "window 1 (mail)\n  Standard: 2617 719 718 3\n"
            "window 2 (contact)\n  Standard: 2617\n"
            "> open mail Formatting=1\n"
            "[message box \"Error!\"]\nAn error occurred in: 'SealvaneOL'.\nError: -2147024809\n"
            "The parameter is incorrect.\n[end]\n"
            "window 1 (mail)\n  Standard: 2617 719 718 3\n"
            "window 2 (contact)\n  Standard: 2617\n"
            "window 3 (mail)\n  Formatting: 1\n"
            "> send 1\nsent\n"
            "window 2 (contact)\n  Standard: 2617\n"
            "window 3 (mail)\n  Formatting: 1\n"
            "> close 3\n"
            "window 2 (contact)\n  Standard: 2617\n"
            "> quit\n");
  const auto bad = sealvane::test::RunProcess({SEALVANE_MAILHOST, "/nonexistent/script"});
  EXPECT_EQ(bad.exitCode, 2);
}

}  // namespace
