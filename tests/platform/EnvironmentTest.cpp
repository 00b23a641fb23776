// SPDX-License-Identifier: GPL-3.0-or-later
#include "sealvane/platform/Environment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "sealvane/platform/RuntimeError.h"
#include "support/Sandbox.h"

namespace sealvane::platform {
namespace {

namespace fs = std::filesystem;
using test::SandboxDir;

TEST(Environment, DataFolderIsCreatedPrivateFromTheEnvironment) {
  const std::string home = SandboxDir() + "/new/deeper/home/";
  ::setenv("SEALVANE_HOME", home.c_str(), 1);
  EXPECT_EQ(SealvaneHome(), SandboxDir() + "/new/deeper/home");
  EXPECT_EQ(fs::status(home).permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_EQ(UserHivePath(), SandboxDir() + "/new/deeper/home/registry.db");

  ::unsetenv("SEALVANE_HOME");
  ::setenv("XDG_DATA_HOME", (SandboxDir() + "/xdg").c_str(), 1);
  EXPECT_EQ(SealvaneHome(), SandboxDir() + "/xdg/sealvane");
  ::unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(SealvaneHome(), SandboxDir() + "/userhome/.local/share/sealvane");
}

TEST(Environment, DataFolderThatCannotBeMadeNamesItself) {
  test::WriteFileBytes(SandboxDir() + "/file", "x");
  ::setenv("SEALVANE_HOME", (SandboxDir() + "/file/home").c_str(), 1);
  try {
    SealvaneHome();
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_NE(e.Description().find(SandboxDir() + "/file/home"), std::string::npos) << e.Description();
  }
}

TEST(Environment, MachineHiveAndDocumentsSetting) {
  ::unsetenv("SEALVANE_MACHINE_HIVE");
  EXPECT_EQ(MachineHivePath(), "/var/lib/sealvane/machine.db");

  EXPECT_EQ(DocumentsFolderSetting(), "%HOME%/Documents");
  test::WriteFileBytes(SandboxDir() + "/config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"/srv/docs/\"\n");
  EXPECT_EQ(DocumentsFolderSetting(), "/srv/docs");
  test::WriteFileBytes(SandboxDir() + "/config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"relative\"\n");
  EXPECT_EQ(DocumentsFolderSetting(), "%HOME%/Documents");
}

TEST(Environment, DecimalSeparatorOfTheUsersLocale) {
  ::setenv("LC_ALL", "C", 1);
  EXPECT_EQ(LocaleDecimalSeparator(), ".");
  ::setenv("LC_ALL", "xx_NOT_A_LOCALE", 1);
  EXPECT_EQ(LocaleDecimalSeparator(), ".");
  ::unsetenv("LC_ALL");
}

}  // namespace
}  // namespace sealvane::platform
