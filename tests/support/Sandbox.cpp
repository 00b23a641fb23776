// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/Sandbox.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace sealvane::test {
namespace {

std::string g_sandbox;

}  // namespace

const std::string& SandboxDir() { return g_sandbox; }

void EnterSandbox() {
  std::string base = "/tmp";
  if (const char* t = std::getenv("SEALVANE_TEST_TMP")) base = t;
  std::string tmpl = base + "/sealvane-test-XXXXXX";
  if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  g_sandbox = tmpl;
  namespace fs = std::filesystem;
  for (const char* sub : {"home", "machine", "userhome", "config", "tmp"}) fs::create_directories(g_sandbox + "/" + sub);
  ::setenv("SEALVANE_HOME", (g_sandbox + "/home").c_str(), 1);
  ::setenv("SEALVANE_MACHINE_HIVE", (g_sandbox + "/machine/machine.db").c_str(), 1);
  ::setenv("HOME", (g_sandbox + "/userhome").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (g_sandbox + "/config").c_str(), 1);
  ::setenv("TMPDIR", (g_sandbox + "/tmp").c_str(), 1);
  ::unsetenv("XDG_DATA_HOME");
  // Questions of the platform go to the scripted pinentry, which says yes.
  ::setenv("SEALVANE_PINENTRY", SEALVANE_FAKE_PINENTRY, 1);
  ::setenv("FAKE_PINENTRY_LOG", (g_sandbox + "/pinentry.log").c_str(), 1);
  for (const char* name : {"FAKE_PINENTRY_CONFIRM", "FAKE_PINENTRY_PIN", "FAKE_PINENTRY_PIN2", "FAKE_PINENTRY_DELAY"}) ::unsetenv(name);
}

void LeaveSandbox() {
  if (g_sandbox.empty()) return;
  namespace fs = std::filesystem;
  std::error_code ec;
  // Tests may leave read-only folders behind; give write access back first.
  for (auto it = fs::recursive_directory_iterator(g_sandbox, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
  }
  fs::remove_all(g_sandbox, ec);
  g_sandbox.clear();
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> ToBytes(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<std::string> FolderEntries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace sealvane::test
