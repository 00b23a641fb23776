// SPDX-License-Identifier: GPL-3.0-or-later
// sealvane-shell as file managers use it: the menu a registered handler
// gives, invoking its items, the file managers' entries, and their removal.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>
#include <utility>
#include <vector>

#include "Actions.h"
#include "support/Process.h"
#include "support/Sandbox.h"

namespace {

namespace fs = std::filesystem;
using sealvane::test::ReadFileBytes;
using sealvane::test::RunProcess;
using sealvane::test::SandboxDir;
using sealvane::test::WriteFileBytes;

class ShellHost : public ::testing::Test {
 protected:
  void SetUp() override {
    // sealvane-shell and the server in a folder of their own with a
    // recording "sealvane", as they are installed side by side.
    bin = SandboxDir() + "/lib sealvane";
    fs::create_directories(bin);
    shell = bin + "/sealvane-shell";
    fs::copy_file(SEALVANE_SHELL_PATH, shell);
    fs::copy_file(SEALVANESHL_PATH, bin + "/libsealvaneshl.so");
    sealvane::test::WriteRecordingProgram(bin, "sealvane");
    data = std::string(std::getenv("HOME")) + "/.local/share";
    config = std::getenv("XDG_CONFIG_HOME");
    ::setenv("SEALVANE_NAUTILUS_PYTHON", "0", 1);
  }
  void TearDown() override { ::unsetenv("SEALVANE_NAUTILUS_PYTHON"); }

  sealvane::test::ProcessResult Shell(std::vector<std::string> args) {
    args.insert(args.begin(), shell);
    return RunProcess(args);
  }
  void Register() {
    const auto r = Shell({"register"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
  }

  std::vector<std::string> Recorded() { return sealvane::test::RecordedArguments(bin); }

  // Every file under the user's data and configuration folders with its content.
  std::map<std::string, std::string> Tree() {
    std::map<std::string, std::string> files;
    for (const auto& root : {data, config}) {
      if (!fs::exists(root)) continue;
      for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (e.is_regular_file()) files[e.path().string()] = ReadFileBytes(e.path().string());
      }
    }
    return files;
  }

  std::string bin, shell, data, config;
};

TEST_F(ShellHost, MenuListsTheHandlersItemsForOneFile) {
  Register();
  auto r = Shell({"menu", SandboxDir() + "/notes.txt"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "0\tEncr&ypt\tEncrypts the file.\n1\tSecure De&lete\tOverwrites the file and then deletes it.\n");
  r = Shell({"menu", "--json", SandboxDir() + "/Notes.SVA"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto json = nlohmann::json::parse(r.out);
  ASSERT_EQ(json["items"].size(), 2u);
  EXPECT_EQ(json["items"][0]["label"], "Decrypt");
  EXPECT_EQ(json["items"][0]["text"], "Decr&ypt");
  EXPECT_EQ(json["items"][0]["help"], "Decrypts the file.");
  EXPECT_EQ(json["items"][0]["offset"], 0);
  EXPECT_EQ(json["items"][0]["bitmap"], "16x16");
  EXPECT_EQ(json["items"][1]["label"], "Secure Delete");
  EXPECT_EQ(json["items"][1]["clsid"], "{0F27B861-7421-46C8-8799-527B283CFDC6}");
  // Two files: the handler adds nothing.
  r = Shell({"menu", "--json", SandboxDir() + "/a.txt", SandboxDir() + "/b.txt"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(nlohmann::json::parse(r.out)["items"].empty());
  // A handler whose server is gone is noted and left out.
  fs::remove(bin + "/libsealvaneshl.so");
  r = Shell({"menu", SandboxDir() + "/notes.txt"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("not loaded"), std::string::npos) << r.err;
}

TEST_F(ShellHost, InvokeAndActionsStartTheProgramAsTheHandlerDecides) {
  Register();
  const std::string plain = SandboxDir() + "/My \"Best\" Notes.txt";
  const std::string archive = SandboxDir() + "/My Notes.sva";
  ASSERT_EQ(Shell({"invoke", plain, "0"}).exitCode, 0);
  EXPECT_EQ(Recorded(), (std::vector<std::string>{"/e", plain}));
  ASSERT_EQ(Shell({"invoke", archive, "0"}).exitCode, 0);
  EXPECT_EQ(Recorded(), (std::vector<std::string>{archive}));
  ASSERT_EQ(Shell({"invoke", archive, "1"}).exitCode, 0);
  EXPECT_EQ(Recorded(), (std::vector<std::string>{"/d", archive}));
  auto r = Shell({"invoke", plain, "2"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("no menu item at offset 2"), std::string::npos) << r.err;
  EXPECT_EQ(Shell({"invoke", plain, SandboxDir() + "/b.txt", "0"}).exitCode, 1);
  EXPECT_EQ(Shell({"invoke", plain, "zero"}).exitCode, 2);

  // The entries of file managers: through the handler's item with that
  // label; Encrypt on an archive (where a file manager cannot hide it) still
  // encrypts.
  ASSERT_EQ(Shell({"action", "decrypt", archive}).exitCode, 0);
  EXPECT_EQ(Recorded(), (std::vector<std::string>{archive}));
  ASSERT_EQ(Shell({"action", "encrypt", archive}).exitCode, 0);
  EXPECT_EQ(Recorded(), (std::vector<std::string>{"/e", archive}));
  ASSERT_EQ(Shell({"action", "delete", plain}).exitCode, 0);
  EXPECT_EQ(Recorded(), (std::vector<std::string>{"/d", plain}));
  EXPECT_EQ(Shell({"action", "shred", plain}).exitCode, 2);

  // Several files, or a folder, which the handler does not take: one
  // program for all of them.
  const std::string other = SandboxDir() + "/other file.txt";
  ASSERT_EQ(Shell({"action", "encrypt", "--", plain, other}).exitCode, 0);
  EXPECT_EQ(Recorded(), (std::vector<std::string>{"/e", plain, other}));
  ASSERT_EQ(Shell({"action", "decrypt", archive, SandboxDir() + "/b.sva"}).exitCode, 0);
  EXPECT_EQ(Recorded(), (std::vector<std::string>{archive, SandboxDir() + "/b.sva"}));
  fs::create_directories(SandboxDir() + "/A Folder");
  ASSERT_EQ(Shell({"action", "encrypt", SandboxDir() + "/A Folder"}).exitCode, 0);
  EXPECT_EQ(Recorded(), (std::vector<std::string>{"/e", SandboxDir() + "/A Folder"}));
  ASSERT_EQ(Shell({"action", "delete", SandboxDir() + "/A Folder"}).exitCode, 0);
  EXPECT_EQ(Recorded(), (std::vector<std::string>{"/d", SandboxDir() + "/A Folder"}));
  // The Nautilus scripts pass the selection on as it is.
  const auto script = RunProcess({data + "/nautilus/scripts/Sealvane/Encrypt", plain, other});
  ASSERT_EQ(script.exitCode, 0) << script.err;
  EXPECT_EQ(Recorded(), (std::vector<std::string>{"/e", plain, other}));
}

TEST_F(ShellHost, RegistrationWritesEachFileManagersEntriesAndRemovalTakesExactlyThemAway) {
  // The user's own Thunar action and an unrelated Nemo action exist already.
  const std::string uca = config + "/Thunar/uca.xml";
  const std::string mine =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n<action>\n\t<icon>utilities-terminal</icon>\n"
      "\t<name>Open Terminal Here</name>\n\t<unique-id>1234-1</unique-id>\n\t<command>exo-open --launch "
      "TerminalEmulator</command>\n\t<description>Mine &amp; only mine</description>\n\t<patterns>*</patterns>\n"
      "\t<directories/>\n</action>\n</actions>\n";
  fs::create_directories(config + "/Thunar");
  WriteFileBytes(uca, mine);
  fs::create_directories(data + "/nemo/actions");
  WriteFileBytes(data + "/nemo/actions/mine.nemo_action", "[Nemo Action]\nName=Mine\nExec=true\n");
  const auto before = Tree();

  Register();
  Register();  // twice: still one copy of each entry
  const std::string dolphin = data + "/kio/servicemenus/sealvane-file.desktop";
  const std::string dolphinArchive = data + "/kio/servicemenus/sealvane-archive.desktop";
  for (const auto& f : {dolphin, dolphinArchive}) {
    struct stat st {};
    ASSERT_EQ(::stat(f.c_str(), &st), 0) << f;
    EXPECT_NE(st.st_mode & S_IXUSR, 0u) << f;  // Dolphin runs only executable service menus
  }
  const std::string fileMenu = ReadFileBytes(dolphin);
  EXPECT_EQ(fileMenu.find("X-KDE-MaxNumberOfUrls"), std::string::npos) << "every selected file";
  EXPECT_NE(fileMenu.find("ExcludeServiceTypes=application/x-sealvane-archive\n"), std::string::npos);
  // Names after "--": a file called "--json" is a file.
  EXPECT_NE(fileMenu.find("Exec=\"" + shell + "\" action encrypt -- %F\n"), std::string::npos) << fileMenu;
  const std::string archiveMenu = ReadFileBytes(dolphinArchive);
  EXPECT_NE(archiveMenu.find("MimeType=application/x-sealvane-archive;\n"), std::string::npos);
  EXPECT_NE(archiveMenu.find("action decrypt -- %F"), std::string::npos);
  EXPECT_EQ(archiveMenu.find("action encrypt"), std::string::npos);
  // Folders: Encrypt and Secure Delete, never Decrypt.
  const std::string folderMenu = ReadFileBytes(data + "/kio/servicemenus/sealvane-folder.desktop");
  EXPECT_NE(folderMenu.find("MimeType=inode/directory;\n"), std::string::npos);
  EXPECT_NE(folderMenu.find("action encrypt -- %F"), std::string::npos);
  EXPECT_NE(folderMenu.find("action delete -- %F"), std::string::npos);
  EXPECT_EQ(folderMenu.find("action decrypt"), std::string::npos);
  // Dolphin sorts a menu's actions by key, or by name: either way the
  // handler's order (Encrypt or Decrypt first, then Secure Delete).
  for (const auto& [menu, first] :
       {std::pair{fileMenu, "Encrypt"}, std::pair{archiveMenu, "Decrypt"}, std::pair{folderMenu, "Encrypt"}}) {
    const auto keysAt = menu.find("Actions=");
    ASSERT_NE(keysAt, std::string::npos);
    std::istringstream keyList(menu.substr(keysAt + 8, menu.find('\n', keysAt) - keysAt - 8));
    std::vector<std::string> keys;
    for (std::string key; std::getline(keyList, key, ';');) {
      if (!key.empty()) keys.push_back(key);
    }
    ASSERT_EQ(keys.size(), 2u) << menu;
    EXPECT_LT(keys[0], keys[1]);
    EXPECT_NE(menu.find("[Desktop Action " + keys[0] + "]\nName=" + first + "\n"), std::string::npos) << menu;
    EXPECT_NE(menu.find("[Desktop Action " + keys[1] + "]\nName=Secure Delete\n"), std::string::npos) << menu;
    EXPECT_LT(std::string(first), std::string("Secure Delete"));
  }

  const std::string nemo = ReadFileBytes(data + "/nemo/actions/sealvane-decrypt.nemo_action");
  EXPECT_NE(nemo.find("Selection=notnone\n"), std::string::npos);
  EXPECT_NE(ReadFileBytes(data + "/nemo/actions/sealvane-secure-delete.nemo_action").find("Extensions=any;\n"),
            std::string::npos)
      << "folders too";
  EXPECT_NE(nemo.find("Exec='" + shell + "' action decrypt -- %F\n"), std::string::npos) << nemo;
  EXPECT_NE(nemo.find("Mimetypes=application/x-sealvane-archive;\n"), std::string::npos);

  const std::string thunar = ReadFileBytes(uca);
  EXPECT_EQ(thunar.find(mine.substr(0, mine.size() - std::string("</actions>\n").size())), 0u) << thunar;
  std::size_t count = 0;
  for (std::size_t at = thunar.find("<unique-id>sealvane-"); at != std::string::npos;
       at = thunar.find("<unique-id>sealvane-", at + 1)) {
    ++count;
  }
  EXPECT_EQ(count, 3u);
  EXPECT_NE(thunar.find("action encrypt -- %F</command>"), std::string::npos) << thunar;
  // Encrypt and Secure Delete are offered for folders; Decrypt is not.
  for (const char* id : {"sealvane-encrypt", "sealvane-secure-delete", "sealvane-decrypt"}) {
    const auto at = thunar.find(std::string("<unique-id>") + id + "</unique-id>");
    ASSERT_NE(at, std::string::npos) << id;
    const auto end = thunar.find("</action>", at);
    EXPECT_EQ(thunar.substr(at, end - at).find("<directories/>") != std::string::npos,
              std::string(id) != "sealvane-decrypt")
        << id;
  }
  const auto lint = RunProcess({"xmllint", "--noout", uca});
  EXPECT_EQ(lint.exitCode, 0) << lint.err;

  const std::string script = data + "/nautilus/scripts/Sealvane/Secure Delete";
  EXPECT_EQ(ReadFileBytes(script).find("#!/bin/sh\n"), 0u);
  EXPECT_EQ(RunProcess({"sh", "-n", script}).exitCode, 0);

  // The Dolphin entries against the desktop entry rules: only KDE's own
  // service-menu type, which the rules do not know, is left to complain about.
  for (const auto& f : {dolphin, dolphinArchive, data + "/kio/servicemenus/sealvane-folder.desktop"}) {
    const auto check = RunProcess({"desktop-file-validate", f});
    std::istringstream lines(check.out + check.err);
    for (std::string line; std::getline(lines, line);) {
      if (line.find("the type is \"Service\"") != std::string::npos) continue;
      if (line.find("\"ExcludeServiceTypes\"") != std::string::npos) continue;
      ADD_FAILURE() << line;
    }
  }

  // A script of the user's in the Sealvane scripts folder stays there.
  WriteFileBytes(data + "/nautilus/scripts/Sealvane/Mine", "#!/bin/sh\n");
  const auto r = Shell({"unregister"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  // The user's uca.xml stays: it only lost Sealvane's actions.
  EXPECT_NE(r.out.find("Removed Sealvane's actions from " + uca + "\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Removed " + uca + "\n"), std::string::npos) << r.out;
  auto after = Tree();
  EXPECT_EQ(after.erase(data + "/nautilus/scripts/Sealvane/Mine"), 1u);
  EXPECT_EQ(after, before);
  EXPECT_EQ(ReadFileBytes(uca), mine);
}

TEST_F(ShellHost, OneNautilusModeAtATime) {
  const std::string script = data + "/nautilus/scripts/Sealvane/Encrypt";
  const std::string extension = data + "/nautilus-python/extensions/sealvane_nautilus.py";
  Register();
  EXPECT_TRUE(fs::exists(script));
  ::setenv("SEALVANE_NAUTILUS_PYTHON", "1", 1);
  Register();
  EXPECT_TRUE(fs::exists(extension));
  EXPECT_FALSE(fs::exists(script));
  EXPECT_FALSE(fs::exists(data + "/nautilus/scripts/Sealvane"));
  ::setenv("SEALVANE_NAUTILUS_PYTHON", "0", 1);
  Register();
  EXPECT_TRUE(fs::exists(script));
  EXPECT_FALSE(fs::exists(extension));
}

TEST_F(ShellHost, EntriesThatAreNotOursAreLeftAlone) {
  const std::string foreign = data + "/kio/servicemenus/sealvane-file.desktop";
  fs::create_directories(fs::path(foreign).parent_path());
  WriteFileBytes(foreign, "[Desktop Entry]\nName=Someone else's\n");
  const std::string uca = config + "/Thunar/uca.xml";
  fs::create_directories(config + "/Thunar");
  WriteFileBytes(uca, "this is not XML");
  const auto r = Shell({"register"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("was not written by Sealvane"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("is not a list of Thunar actions"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFileBytes(foreign), "[Desktop Entry]\nName=Someone else's\n");
  EXPECT_EQ(ReadFileBytes(uca), "this is not XML");
  Shell({"unregister"});
  EXPECT_TRUE(fs::exists(foreign));
}

TEST(ThunarActions, MergeKeepsTheUsersActionsInPlace) {
  using sealvane::shellhost::MergeThunarActions;
  const std::string theirs = "<?xml version=\"1.0\"?>\n<actions>\n<action><unique-id>9</unique-id></action>\n</actions>\n";
  std::string merged, removed;
  ASSERT_TRUE(MergeThunarActions(theirs, "<action><unique-id>sealvane-encrypt</unique-id></action>\n", merged));
  EXPECT_EQ(merged, "<?xml version=\"1.0\"?>\n<actions>\n<action><unique-id>9</unique-id></action>\n"
                    "<action><unique-id>sealvane-encrypt</unique-id></action>\n</actions>\n");
  ASSERT_TRUE(MergeThunarActions(merged, "", removed));
  EXPECT_EQ(removed, theirs);
  // Sealvane's own ids exactly: a user's action whose id merely begins with
  // "sealvane-" stays.
  const std::string similar =
      "<actions>\n<action><unique-id>sealvane-mine</unique-id></action>\n"
      "<action><unique-id>sealvane-secure-delete</unique-id></action>\n</actions>\n";
  ASSERT_TRUE(MergeThunarActions(similar, "", removed));
  EXPECT_EQ(removed, "<actions>\n<action><unique-id>sealvane-mine</unique-id></action>\n</actions>\n");
  EXPECT_FALSE(MergeThunarActions("<actions><action>\n</actions>", "", merged));
  EXPECT_EQ(sealvane::shellhost::DesktopExecArgument("/opt/a b/$x\"%"), "\"/opt/a b/\\$x\\\"%%\"");
  EXPECT_EQ(sealvane::shellhost::DesktopExecArgument("/usr/lib/sealvane/sealvane-shell"),
            "/usr/lib/sealvane/sealvane-shell");
  EXPECT_EQ(sealvane::shellhost::ShellQuote("it's"), "'it'\\''s'");
}

// The Nautilus extension, loaded by Python with Nautilus's own type
// library; its items come from the handler when the menu opens.
TEST_F(ShellHost, NautilusExtensionOffersTheHandlersItems) {
  if (RunProcess({"/usr/bin/python3", "-c", "import gi; gi.require_version('Nautilus', '4.0')"}).exitCode != 0) {
    GTEST_SKIP() << "python3-nautilus is not installed";
  }
  ::setenv("SEALVANE_NAUTILUS_PYTHON", "1", 1);
  Register();
  const std::string extension = data + "/nautilus-python/extensions/sealvane_nautilus.py";
  ASSERT_TRUE(fs::exists(extension));
  EXPECT_FALSE(fs::exists(data + "/nautilus/scripts/Sealvane"));
  const std::string archive = SandboxDir() + "/Notes.sva";
  const std::string plain = SandboxDir() + "/Notes.txt";
  const std::string harness = SandboxDir() + "/harness.py";
  WriteFileBytes(harness, R"(import runpy, sys
import gi
gi.require_version('Nautilus', '4.0')
from gi.repository import Gio, Nautilus
ext = runpy.run_path(sys.argv[1], run_name='sealvane_nautilus')
class File:
    def __init__(self, path): self.path = path
    def get_location(self): return Gio.File.new_for_path(self.path)
provider = ext['SealvaneMenuProvider']()
assert isinstance(provider, Nautilus.MenuProvider)
for paths in ([sys.argv[2]], [sys.argv[3]], [sys.argv[2], sys.argv[3]], [sys.argv[2], sys.argv[4]], [sys.argv[5]]):
    items = provider.get_file_items([File(p) for p in paths])
    print('|'.join('%s=%s' % (i.props.label, i.props.tip) for i in items))
items = provider.get_file_items([File(sys.argv[2])])
items[0].activate()
)");
  const std::string archive2 = SandboxDir() + "/More.sva";
  const std::string folder = SandboxDir() + "/Folder";
  for (const auto& file : {archive, archive2}) WriteFileBytes(file, "x");
  fs::create_directories(folder);
  const auto r = RunProcess({"/usr/bin/python3", harness, extension, archive, plain, archive2, folder});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string shred = "|Secure Delete=Overwrites each file (in folders too) and then deletes it.\n";
  const std::string several = "Encrypt=Encrypts each file or folder into an encrypted file of its own." + shred;
  EXPECT_EQ(r.out,
            "Decrypt=Decrypts the file.|Secure Delete=Overwrites the file and then deletes it.\n"
            "Encrypt=Encrypts the file.|Secure Delete=Overwrites the file and then deletes it.\n" +
                several + "Decrypt=Decrypts the files, each beside itself." + shred + several);
  EXPECT_EQ(Recorded(), (std::vector<std::string>{archive}));
  WriteFileBytes(harness + "2", R"(import runpy, sys
import gi
gi.require_version('Nautilus', '4.0')
from gi.repository import Gio, Nautilus
ext = runpy.run_path(sys.argv[1], run_name='sealvane_nautilus')
class File:
    def __init__(self, path): self.path = path
    def get_location(self): return Gio.File.new_for_path(self.path)
ext['SealvaneMenuProvider']().get_file_items([File(p) for p in sys.argv[3:]])[int(sys.argv[2])].activate()
)");
  ASSERT_EQ(RunProcess({"/usr/bin/python3", harness + "2", extension, "0", plain, folder}).exitCode, 0);
  EXPECT_EQ(Recorded(), (std::vector<std::string>{"/e", plain, folder}));
  ASSERT_EQ(RunProcess({"/usr/bin/python3", harness + "2", extension, "1", folder}).exitCode, 0);
  EXPECT_EQ(Recorded(), (std::vector<std::string>{"/d", folder}));
  ASSERT_EQ(Shell({"unregister"}).exitCode, 0);
  EXPECT_FALSE(fs::exists(extension));
}

}  // namespace
