// SPDX-License-Identifier: GPL-3.0-or-later
// The component model layer: GUID text, parameter quoting, the registrar,
// type libraries, module resources, CF_HDROP data and bitmaps.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "sealvane/com/Registrar.h"
#include "sealvane/com/Resources.h"
#include "sealvane/com/Shell.h"
#include "sealvane/com/TypeLib.h"
#include "sealvane/platform/Process.h"
#include "sealvane/platform/Registry.h"
#include "support/RegistryValues.h"
#include "support/Sandbox.h"

namespace {

using namespace sealvane::com;
namespace reg = sealvane::platform;
using sealvane::test::SandboxDir;

std::string Value(reg::HKEY root, const std::string& path, const std::string& name = "") {
  return sealvane::test::RegValue(root, path, name);
}
bool KeyExists(reg::HKEY root, const std::string& path) { return sealvane::test::RegKeyExists(root, path); }
reg::DWORD SubKeyCount(reg::HKEY root, const std::string& path) { return sealvane::test::RegSubKeyCount(root, path); }
void SetString(reg::HKEY root, const std::string& path, const std::string& name, const std::string& value) {
  ASSERT_TRUE(sealvane::test::RegSetString(root, path, name, value));
}

TEST(Guid, TextFormRoundTripsAndRejectsOtherForms) {
  constexpr GUID g = MakeGuid("{0f27b861-7421-46c8-8799-527b283cfdc6}");
  EXPECT_EQ(g.Data1, 0x0F27B861u);
  EXPECT_EQ(g.Data4[7], 0xC6);
  EXPECT_EQ(GuidToString(g), "{0F27B861-7421-46C8-8799-527B283CFDC6}");
  EXPECT_EQ(GuidFromString(GuidToString(g)), g);
  for (const char* bad : {"0F27B861-7421-46C8-8799-527B283CFDC6", "{0F27B861-7421-46C8-8799-527B283CFDC}",
                          "{0F27B861-7421-46C8+8799-527B283CFDC6}", "{0G27B861-7421-46C8-8799-527B283CFDC6}", ""}) {
    EXPECT_FALSE(GuidFromString(bad).has_value()) << bad;
  }
}

TEST(Parameters, SplitByThePlatformsQuotingRules) {
  using sealvane::platform::SplitParameters;
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitParameters("/e \"/home/ana/My File.txt\""), (V{"/e", "/home/ana/My File.txt"}));
  EXPECT_EQ(SplitParameters("  a\t b  "), (V{"a", "b"}));
  EXPECT_EQ(SplitParameters("\"\""), (V{""}));
  EXPECT_EQ(SplitParameters("a\\b \"c\\\\\" d\\\"e"), (V{"a\\b", "c\\", "d\"e"}));
  EXPECT_EQ(SplitParameters("\"say \"\"hi\"\"\""), (V{"say \"hi\""}));
  EXPECT_EQ(SplitParameters("x\"y z\"w"), (V{"xy zw"}));
  EXPECT_TRUE(SplitParameters("").empty());
}

TEST(Parameters, QuotedArgumentsComeBackUnchanged) {
  using sealvane::platform::QuoteParameter;
  using sealvane::platform::SplitParameters;
  EXPECT_EQ(QuoteParameter("/home/ana/My File.txt"), "\"/home/ana/My File.txt\"");
  for (const std::string arg : {"plain", "with blank", "say \"hi\".txt", "trailing\\", "\\\"", "a\\\\\"b", "", "\"",
                                "tab\there", "100% \\ done\\\\"}) {
    const auto split = SplitParameters("/e " + QuoteParameter(arg));
    ASSERT_EQ(split.size(), 2u) << arg;
    EXPECT_EQ(split[1], arg);
  }
}

constexpr const char* kScript = R"(HKCR
{
	Test.Class = s 'Test Class'
	{
		CLSID = s '{11111111-2222-3333-4444-555555555555}'
	}
	NoRemove CLSID
	{
		ForceRemove {11111111-2222-3333-4444-555555555555} = s 'Test Class'
		{
			ForceRemove 'Programmable'
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Apartment'
			}
			Numbers
			{
				val Count = d '0x2a'
				val Blob = b '00ff10'
			}
		}
	}
	.tst = s 'Test.File'
}
HKLM
{
	NoRemove Software
	{
		'Test Vendor' = s 'It''s here'
	}
}
)";

class RegistrarTest : public ::testing::Test {
 protected:
  void SetUp() override { registrar.AddReplacement("MODULE", "/opt/it's here/libtest.so"); }
  Registrar registrar;
  const std::string clsid = "CLSID\\{11111111-2222-3333-4444-555555555555}";
};

TEST_F(RegistrarTest, RegisterWritesKeysAndValuesOnceEvenWhenRunTwice) {
  ASSERT_EQ(registrar.Register(kScript), S_OK) << registrar.LastError();
  EXPECT_EQ(Value(reg::HKEY_CLASSES_ROOT, "Test.Class"), "Test Class");
  EXPECT_EQ(Value(reg::HKEY_CLASSES_ROOT, clsid + "\\InprocServer32"), "/opt/it's here/libtest.so");
  EXPECT_EQ(Value(reg::HKEY_CLASSES_ROOT, clsid + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(Value(reg::HKEY_CLASSES_ROOT, clsid + "\\Numbers", "Count"), std::string("\x2a\0\0\0", 4));
  EXPECT_EQ(Value(reg::HKEY_CLASSES_ROOT, clsid + "\\Numbers", "Blob"), std::string("\x00\xff\x10", 3));
  EXPECT_TRUE(KeyExists(reg::HKEY_CLASSES_ROOT, clsid + "\\Programmable"));
  EXPECT_EQ(Value(reg::HKEY_CLASSES_ROOT, clsid + "\\Programmable"), "(missing)");
  EXPECT_EQ(Value(reg::HKEY_LOCAL_MACHINE, "Software\\Test Vendor"), "It's here");

  // A stray key inside a ForceRemove key is gone after the second run.
  SetString(reg::HKEY_CLASSES_ROOT, clsid + "\\Stray", "", "x");
  ASSERT_EQ(registrar.Register(kScript), S_OK);
  EXPECT_FALSE(KeyExists(reg::HKEY_CLASSES_ROOT, clsid + "\\Stray"));
  EXPECT_EQ(SubKeyCount(reg::HKEY_CLASSES_ROOT, clsid), 3u);
  EXPECT_EQ(SubKeyCount(reg::HKEY_CLASSES_ROOT, "Test.Class"), 1u);
}

TEST_F(RegistrarTest, UnregisterKeepsNoRemoveKeysAndWhatOthersPutThere) {
  SetString(reg::HKEY_CLASSES_ROOT, "CLSID\\{99999999-2222-3333-4444-555555555555}", "", "Someone else");
  ASSERT_EQ(registrar.Register(kScript), S_OK);
  // Another program's value in Test.Class, another's key under .tst.
  SetString(reg::HKEY_CLASSES_ROOT, "Test.Class", "Theirs", "keep me");
  SetString(reg::HKEY_CLASSES_ROOT, ".tst\\OpenWithProgids", "Other.File", "");
  ASSERT_EQ(registrar.Unregister(kScript), S_OK);

  EXPECT_FALSE(KeyExists(reg::HKEY_CLASSES_ROOT, clsid));
  EXPECT_TRUE(KeyExists(reg::HKEY_CLASSES_ROOT, "CLSID"));
  EXPECT_EQ(Value(reg::HKEY_CLASSES_ROOT, "CLSID\\{99999999-2222-3333-4444-555555555555}"), "Someone else");
  EXPECT_EQ(Value(reg::HKEY_CLASSES_ROOT, "Test.Class", "Theirs"), "keep me");
  EXPECT_FALSE(KeyExists(reg::HKEY_CLASSES_ROOT, "Test.Class\\CLSID"));
  EXPECT_TRUE(KeyExists(reg::HKEY_CLASSES_ROOT, ".tst\\OpenWithProgids"));
  EXPECT_FALSE(KeyExists(reg::HKEY_LOCAL_MACHINE, "Software\\Test Vendor"));
  EXPECT_TRUE(KeyExists(reg::HKEY_LOCAL_MACHINE, "Software"));

  // Removing what is not there is no failure.
  EXPECT_EQ(registrar.Unregister(kScript), S_OK);
}

TEST_F(RegistrarTest, ScriptsThatDoNotParseWriteNothing) {
  const std::string cut = std::string(kScript).substr(0, std::string(kScript).size() - 3);
  for (const std::string& bad : {cut, std::string("HKXX { A = s 'b' }"), std::string("HKCR { A = s 'b }"),
                                 std::string("HKCR { A = q 'b' }"), std::string("HKCR { A = s '%NOPE%' }"),
                                 std::string("HKCR { val X = s 'y' }"), std::string("HKCR { A { val N = d 'x' } }")}) {
    Registrar r;
    EXPECT_EQ(r.Register(bad), DISP_E_EXCEPTION) << bad;
    EXPECT_FALSE(r.LastError().empty());
  }
  EXPECT_FALSE(KeyExists(reg::HKEY_CLASSES_ROOT, "A"));
  EXPECT_FALSE(KeyExists(reg::HKEY_CLASSES_ROOT, "Test.Class"));
  std::string deep = "HKCR {";
  for (int i = 0; i < 40; ++i) deep += " K {";
  for (int i = 0; i < 40; ++i) deep += " }";
  EXPECT_EQ(registrar.Register(deep + " }"), DISP_E_EXCEPTION);
}

TEST_F(RegistrarTest, ARegistryFailureIsReturned) {
  // A key name the registry refuses.
  EXPECT_EQ(registrar.Register("HKCR { 'a\\\\\\\\b' = s 'x' }"), HRESULT_FROM_WIN32(reg::ERROR_BAD_PATHNAME));
}

constexpr const char* kTypeLib = R"(# comment
library TESTLib {AAAAAAAA-0000-0000-0000-000000000001} 1.2 "Test 1.2 Type Library"

interface ITest {AAAAAAAA-0000-0000-0000-000000000002} dual IDispatch "ITest Interface"
interface IPlain {AAAAAAAA-0000-0000-0000-000000000003} IUnknown "IPlain Interface"
coclass Test {AAAAAAAA-0000-0000-0000-000000000004} default ITest "Test Class"
)";

TEST(TypeLib, ParsesTheLineFormatAndNamesFaults) {
  TypeLibrary lib;
  std::string error;
  ASSERT_TRUE(ParseTypeLibrary(kTypeLib, lib, error)) << error;
  EXPECT_EQ(lib.name, "TESTLib");
  EXPECT_EQ(lib.major, 1);
  EXPECT_EQ(lib.minor, 2);
  ASSERT_EQ(lib.interfaces.size(), 2u);
  EXPECT_TRUE(lib.interfaces[0].dual);
  EXPECT_FALSE(lib.interfaces[1].dual);
  ASSERT_EQ(lib.classes.size(), 1u);
  EXPECT_EQ(lib.classes[0].defaultInterface, "ITest");
  for (const char* bad : {"interface I {AAAAAAAA-0000-0000-0000-000000000002} IDispatch \"x\"",
                          "library L {bad} 1.0 \"x\"", "library L {AAAAAAAA-0000-0000-0000-000000000001} 1 \"x\"",
                          "library L {AAAAAAAA-0000-0000-0000-000000000001} 1.0 \"x",
                          "library L {AAAAAAAA-0000-0000-0000-000000000001} 1.0 \"x\"\n"
                          "coclass C {AAAAAAAA-0000-0000-0000-000000000004} default INone \"y\"",
                          "widget W"}) {
    TypeLibrary out;
    EXPECT_FALSE(ParseTypeLibrary(bad, out, error)) << bad;
    EXPECT_FALSE(error.empty());
  }
}

TEST(TypeLib, RegistrationWritesTheLibraryAndItsDualInterfacesAndTakesThemAway) {
  // The shell extension's own type library, from its file.
  TypeLibrary lib;
  ASSERT_EQ(LoadTypeLib(SEALVANESHL_PATH, lib), S_OK);
  EXPECT_EQ(lib.helpString, "SealvaneShl 1.0 Type Library");
  const std::string libid = GuidToString(lib.libid);
  const std::string iid = GuidToString(lib.interfaces.at(0).iid);
  ASSERT_EQ(RegisterTypeLib(lib, SEALVANESHL_PATH, ""), S_OK);
  const std::string version = "TypeLib\\" + libid + "\\1.0";
  EXPECT_EQ(Value(reg::HKEY_CLASSES_ROOT, version), "SealvaneShl 1.0 Type Library");
  EXPECT_EQ(Value(reg::HKEY_CLASSES_ROOT, version + "\\0\\win64"), SEALVANESHL_PATH);
  EXPECT_EQ(Value(reg::HKEY_CLASSES_ROOT, version + "\\FLAGS"), "0");
  EXPECT_EQ(Value(reg::HKEY_CLASSES_ROOT, version + "\\HELPDIR"),
            std::filesystem::path(SEALVANESHL_PATH).parent_path().string());
  EXPECT_EQ(Value(reg::HKEY_CLASSES_ROOT, "Interface\\" + iid), "ISealvaneCM");
  EXPECT_EQ(Value(reg::HKEY_CLASSES_ROOT, "Interface\\" + iid + "\\ProxyStubClsid32"),
            "{00020424-0000-0000-C000-000000000046}");
  EXPECT_EQ(Value(reg::HKEY_CLASSES_ROOT, "Interface\\" + iid + "\\TypeLib"), libid);
  EXPECT_EQ(Value(reg::HKEY_CLASSES_ROOT, "Interface\\" + iid + "\\TypeLib", "Version"), "1.0");

  // Another version stays; so does the library's key while it holds one.
  SetString(reg::HKEY_CLASSES_ROOT, "TypeLib\\" + libid + "\\2.0", "", "Newer");
  ASSERT_EQ(UnRegisterTypeLib(lib.libid, 1, 0, LOCALE_NEUTRAL, SYS_WIN64), S_OK);
  EXPECT_FALSE(KeyExists(reg::HKEY_CLASSES_ROOT, version));
  EXPECT_FALSE(KeyExists(reg::HKEY_CLASSES_ROOT, "Interface\\" + iid));
  EXPECT_EQ(Value(reg::HKEY_CLASSES_ROOT, "TypeLib\\" + libid + "\\2.0"), "Newer");
  EXPECT_EQ(UnRegisterTypeLib(lib.libid, 1, 0, LOCALE_NEUTRAL, SYS_WIN64), TYPE_E_REGISTRYACCESS);

  ComPtr<ITypeInfo> info;
  ASSERT_EQ(CreateTypeInfo(lib, lib.interfaces[0].iid, info.Put()), S_OK);
  char name[32], doc[8];
  ASSERT_EQ(info->GetDocumentation(-1, name, sizeof(name), doc, sizeof(doc)), S_OK);
  EXPECT_STREQ(name, "ISealvaneCM");
  EXPECT_STREQ(doc, "ISealva");  // cut to the buffer
  EXPECT_EQ(CreateTypeInfo(lib, GUID_NULL, info.Put()), TYPE_E_ELEMENTNOTFOUND);
}

TEST(Resources, AreReadFromTheModuleFileWithoutLoadingIt) {
  std::string blob;
  ASSERT_EQ(ReadModuleResources(SEALVANESHL_PATH, blob), S_OK);
  auto all = ParseResources(blob);
  ASSERT_TRUE(all.has_value());
  EXPECT_EQ(FindResource(blob, "STRING", 100), "SealvaneShl");
  EXPECT_NE(FindResource(blob, "REGISTRY", 101)->find("ForceRemove Sealvane"), std::string::npos);
  EXPECT_NE(FindResource(blob, "VERSION", 1)->find("FileVersion=1.0.0.2\n"), std::string::npos);
  EXPECT_NE(FindResource(blob, "VERSION", 1)->find("OLESelfRegister="), std::string::npos);
  EXPECT_FALSE(FindResource(blob, "REGISTRY", 102).has_value());

  const std::string text = SandboxDir() + "/not-a-module";
  sealvane::test::WriteFileBytes(text, std::string(200, 'x'));
  EXPECT_EQ(ReadModuleResources(text, blob), TYPE_E_CANTLOADLIBRARY);
  EXPECT_EQ(ReadModuleResources(SandboxDir() + "/missing.so", blob), TYPE_E_CANTLOADLIBRARY);
  // A library without resources (the cipher library).
  EXPECT_EQ(ReadModuleResources(SEALVANELIB_PATH, blob), TYPE_E_INVDATAREAD);
  // A cut-off copy of the server: its section table is past the end.
  const std::string whole = sealvane::test::ReadFileBytes(SEALVANESHL_PATH);
  sealvane::test::WriteFileBytes(text, whole.substr(0, whole.size() / 2));
  EXPECT_EQ(ReadModuleResources(text, blob), TYPE_E_INVDATAREAD);
}

TEST(Resources, DamagedBlobsAreRefusedWithinTheirBounds) {
  const std::string good = SerializeResources({{"STRING", 7, "seven"}, {"BITMAP", 1, std::string("\0\1", 2)}});
  ASSERT_TRUE(ParseResources(good).has_value());
  EXPECT_EQ(FindResource(good, "BITMAP", 1), std::string("\0\1", 2));
  for (std::size_t cut = 0; cut < good.size(); ++cut) {
    EXPECT_FALSE(ParseResources(good.substr(0, cut)).has_value()) << cut;
  }
  std::string huge = good;
  huge[8] = '\xff';
  huge[9] = '\xff';
  huge[10] = '\xff';
  huge[11] = '\x7f';
  EXPECT_FALSE(ParseResources(huge).has_value());
  std::string wrongMagic = good;
  wrongMagic[0] = 'X';
  EXPECT_FALSE(ParseResources(wrongMagic).has_value());
}

TEST(DropFiles, NamesCountsAndShortBuffers) {
  HGLOBAL h = CreateDropFiles({"/a/first file", "/b/second"});
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(DragQueryFileA(h, 0xFFFFFFFFu, nullptr, 0), 2u);
  EXPECT_EQ(DragQueryFileA(h, 0, nullptr, 0), 13u);
  char name[8];
  EXPECT_EQ(DragQueryFileA(h, 1, name, sizeof(name)), 7u);
  EXPECT_STREQ(name, "/b/seco");
  EXPECT_EQ(DragQueryFileA(h, 2, name, sizeof(name)), 0u);
  EXPECT_EQ(GlobalFree(h), nullptr);

  // A block whose last name has no end is read no further than the block.
  h = GlobalAlloc(GHND, sizeof(DROPFILES) + 4);
  auto* data = static_cast<unsigned char*>(GlobalLock(h));
  DROPFILES header;
  header.pFiles = sizeof(DROPFILES);
  std::memcpy(data, &header, sizeof(header));
  std::memcpy(data + sizeof(DROPFILES), "abcd", 4);
  GlobalUnlock(h);
  EXPECT_EQ(DragQueryFileA(h, 0xFFFFFFFFu, nullptr, 0), 0u);
  EXPECT_EQ(DragQueryFileA(h, 0, nullptr, 0), 0u);
  header.pFiles = 1000;
  std::memcpy(GlobalLock(h), &header, sizeof(header));
  GlobalUnlock(h);
  EXPECT_EQ(DragQueryFileA(h, 0xFFFFFFFFu, nullptr, 0), 0u);
  GlobalFree(h);
  EXPECT_EQ(DragQueryFileA(nullptr, 0xFFFFFFFFu, nullptr, 0), 0u);
}

TEST(Bitmap, TheMenuGlyphIsASixteenColourPadlock) {
  std::string blob;
  ASSERT_EQ(ReadModuleResources(SEALVANESHL_PATH, blob), S_OK);
  const auto dib = FindResource(blob, "BITMAP", 202);
  ASSERT_TRUE(dib.has_value());
  HBITMAP bitmap = LoadBitmapFromResource(*dib);
  ASSERT_NE(bitmap, nullptr);
  BitmapInfo info;
  ASSERT_TRUE(GetBitmapInfo(bitmap, info));
  EXPECT_EQ(info.width, 16);
  EXPECT_EQ(info.height, 16);
  EXPECT_EQ(info.bitsPerPixel, 4);
  EXPECT_EQ(GetBitmapPixel(bitmap, 0, 0), 0xFFFFFFu);   // background, top left
  EXPECT_EQ(GetBitmapPixel(bitmap, 4, 10), 0xFFFF00u);  // the body
  EXPECT_EQ(GetBitmapPixel(bitmap, 7, 9), 0x000000u);   // the keyhole
  EXPECT_EQ(DeleteObject(bitmap), 1);
  EXPECT_EQ(LoadBitmapFromResource(dib->substr(0, 60)), nullptr);
  EXPECT_EQ(LoadBitmapFromResource("BM"), nullptr);
}

}  // namespace
