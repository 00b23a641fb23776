// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/archive/modCommon.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/xattr.h>

#include "sealvane/settings/clsRegistry.h"
#include "sealvane/settings/clsConfig.h"
#include "support/FakeUiPort.h"
#include "support/Sandbox.h"

namespace sealvane {
namespace {

namespace fs = std::filesystem;
using test::FakeUiPort;
using test::SandboxDir;

TEST(Messages, WarningAndErrorAddTheNumberOnlyWhenNotZero) {
  FakeUiPort ui;
  ShowWarning(ui, "Please enter a password.", 0);
  ShowError(ui, "Failed to open file.", 2);
  ShowError(ui, "Failed to open file.", 0);
  ASSERT_EQ(ui.boxes.size(), 3u);
  EXPECT_EQ(ui.boxes[0].text, "Please enter a password.");
  EXPECT_EQ(ui.boxes[0].title, "Warning!");
  EXPECT_EQ(ui.boxes[0].icon, MsgIcon::Exclamation);
  EXPECT_EQ(ui.boxes[0].buttons, MsgButtons::OK);
  EXPECT_EQ(ui.boxes[1].text, "Failed to open file. Error Number: 2");
  EXPECT_EQ(ui.boxes[1].title, "Error!");
  EXPECT_EQ(ui.boxes[1].icon, MsgIcon::Stop);
  EXPECT_EQ(ui.boxes[2].text, "Failed to open file.");
}

TEST(Messages, RuntimeErrorNamesTheErrorBeingHandled) {
  FakeUiPort ui;
  try {
    throw platform::RuntimeError(53);
  } catch (...) {
    ShowRuntimeError(ui, "Failed to load main form.");
  }
  ShowRuntimeError(ui, "Failed to select file.", platform::RuntimeError(61, "Disk full"));
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[0].text, "Failed to load main form.\rFile not found. Error Number: 53");
  EXPECT_EQ(ui.boxes[0].title, "Error!");
  EXPECT_EQ(ui.boxes[0].icon, MsgIcon::Stop);
  EXPECT_EQ(ui.boxes[1].text, "Failed to select file.\rDisk full. Error Number: 61");
}

TEST(Messages, ConfirmReplaceAsksWithNoAsDefault) {
  FakeUiPort ui;
  ui.Answer(MsgResult::Yes);
  ui.Answer(MsgResult::No);
  EXPECT_EQ(ConfirmReplace(ui, "/d/report.doc"), MsgResult::Yes);
  EXPECT_EQ(ConfirmReplace(ui, "/d/report.doc"), MsgResult::No);
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[0].text, "/d/report.doc already exists.\rDo you want to replace it?");
  EXPECT_EQ(ui.boxes[0].title, "Replace File?");
  EXPECT_EQ(ui.boxes[0].icon, MsgIcon::Question);
  EXPECT_EQ(ui.boxes[0].buttons, MsgButtons::YesNo);
  EXPECT_EQ(ui.boxes[0].defaultButton, 2);
}

TEST(Paths, FolderOfPath) {
  EXPECT_EQ(GetFolderOfPath("/data/a.txt", false), "/data");
  EXPECT_EQ(GetFolderOfPath("/data/sub/a.txt", true), "/data/sub");
  EXPECT_EQ(GetFolderOfPath("/a.txt", false), "");
  EXPECT_EQ(GetFolderOfPath("/a.txt", true), "/");
  EXPECT_EQ(GetFolderOfPath("a.txt", true), "");
  EXPECT_EQ(GetFolderOfPath("a.txt", false), "");
  EXPECT_EQ(GetFolderOfPath("", true), "");
}

TEST(Paths, ReplaceExtension) {
  EXPECT_EQ(ReplaceExtension("/data/report.doc", ".sva"), "/data/report.sva");
  EXPECT_EQ(ReplaceExtension("/data/report", ".sva"), "/data/report.sva");
  EXPECT_EQ(ReplaceExtension("/data/.profile", ".sva"), "/data/.sva");
  EXPECT_EQ(ReplaceExtension("/My.Folder/notes", ".sva"), "/My.Folder/notes.sva");
  EXPECT_EQ(ReplaceExtension("/data/", ".sva"), "");
  EXPECT_EQ(ReplaceExtension("", ".sva"), "");
  EXPECT_EQ(ReplaceExtension("archive.tar.gz", ".sva"), "archive.tar.sva");
  EXPECT_EQ(ReplaceExtension("noext", ".sva"), "noext.sva");
}

TEST(Paths, FileExists) {
  const std::string dir = SandboxDir() + "/exists";
  fs::create_directories(dir + "/folder");
  test::WriteFileBytes(dir + "/.hidden", "x");
  test::WriteFileBytes(dir + "/sys.bin", "x");
  ::setxattr((dir + "/sys.bin").c_str(), "user.DOSATTRIB", "0x4", 3, 0);
  EXPECT_FALSE(FileExists(""));
  EXPECT_FALSE(FileExists(dir + "/folder"));
  EXPECT_TRUE(FileExists(dir + "/.hidden"));
  EXPECT_TRUE(FileExists(dir + "/sys.bin"));
  EXPECT_FALSE(FileExists(dir + "/*.bin")) << "names are literal";
  EXPECT_FALSE(FileExists(dir + "/nothing"));
}

TEST(Paths, DocumentsFolderFallsBackToTheCurrentFolder) {
  EXPECT_EQ(GetDocumentsDir(), std::string(std::getenv("HOME")) + "/Documents");
  clsRegistry registry;
  ASSERT_EQ(registry.SetIntegerValue(kShellFoldersKey, "Personal", 1), 0);
  EXPECT_EQ(GetDocumentsDir(), fs::current_path().string());
}

TEST(Sizes, ByteCountTextsRoundHalfToEven) {
  const auto f = [](std::int64_t n) { return FormatByteCount(n, "."); };
  EXPECT_EQ(f(0), "0 bytes");
  EXPECT_EQ(f(1023), "1023 bytes");
  EXPECT_EQ(f(1024), "1 KB");
  EXPECT_EQ(f(1536), "2 KB");
  EXPECT_EQ(f(2560), "2 KB");
  EXPECT_EQ(f(3584), "4 KB");
  EXPECT_EQ(f(1048575), "1024 KB");
  EXPECT_EQ(f(1048576), "1 MB");
  EXPECT_EQ(f(1572864), "1.5 MB");
  EXPECT_EQ(f(1048576 + 10486), "1.01 MB");
  EXPECT_EQ(f(1048576 + 5242), "1 MB");  // 1.004999...
  EXPECT_EQ(f(1048576 * 3 / 2 + 5243), "1.51 MB");
  EXPECT_EQ(f(1048576LL * 2048), "2048 MB");      // 2 GiB: no overflow
  EXPECT_EQ(f(5'000'000'000LL), "4768.37 MB");
  EXPECT_EQ(FormatByteCount(1572864, ","), "1,5 MB");
}

TEST(Sizes, TiesAtHundredthsOfAMegabyteGoToEven) {
  // 131072 * k bytes is k * 12.5 hundredths of a megabyte: a tie for odd k.
  EXPECT_EQ(FormatByteCount(131072 * 9, "."), "1.12 MB");   // 1.125
  EXPECT_EQ(FormatByteCount(131072 * 11, "."), "1.38 MB");  // 1.375
  EXPECT_EQ(FormatByteCount(131072 * 13, "."), "1.62 MB");  // 1.625
}

TEST(Sizes, FileSizeOfAFile) {
  const std::string path = SandboxDir() + "/sized";
  test::WriteFileBytes(path, std::string(1024, 'x'));
  EXPECT_EQ(FormatFileSize(path), "1 KB");
  test::WriteFileBytes(path, "");
  EXPECT_EQ(FormatFileSize(path), "0 bytes");
  EXPECT_THROW(FormatFileSize(SandboxDir() + "/missing"), platform::RuntimeError);
}

}  // namespace
}  // namespace sealvane
