// SPDX-License-Identifier: GPL-3.0-or-later
// The secure-delete report against real file systems: each in a loop image
// made here; after the delete and an unmount, the raw image is searched for
// the file's contents. Needs root and loop devices; skipped without them.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/Process.h"
#include "support/Sandbox.h"

namespace sealvane {
namespace {

namespace fs = std::filesystem;
using test::RunProcess;
using test::SandboxDir;

bool HaveTool(const std::string& name) {
  for (const char* dir : {"/usr/sbin/", "/sbin/", "/usr/bin/", "/bin/"}) {
    if (::access((dir + name).c_str(), X_OK) == 0) return true;
  }
  return false;
}

// A file system in an image, mounted for the life of the object.
class LoopMount {
 public:
  LoopMount(const std::string& type, std::uintmax_t size, const std::string& options)
      : m_image(SandboxDir() + "/" + type + ".img"), m_mount(SandboxDir() + "/" + type) {
    if (::geteuid() != 0) {
      m_problem = "mounting a loop image needs root";
      return;
    }
    if (type != "tmpfs") {
      const std::string mkfs = "mkfs." + type;
      if (!HaveTool(mkfs)) {
        m_problem = mkfs + " is not installed";
        return;
      }
      test::WriteFileBytes(m_image, "");
      fs::resize_file(m_image, size);
      const auto made = RunProcess({"/usr/sbin/" + mkfs, type == "ext4" ? "-F" : "-f", "-q", m_image});
      if (made.exitCode != 0) {
        m_problem = mkfs + " failed: " + made.err;
        return;
      }
    }
    fs::create_directories(m_mount);
    std::vector<std::string> mount = {"mount"};
    if (type == "tmpfs") {
      mount.insert(mount.end(), {"-t", "tmpfs", "-o", "size=16m", "tmpfs", m_mount});
    } else {
      mount.insert(mount.end(), {"-o", "loop" + (options.empty() ? "" : "," + options), m_image, m_mount});
    }
    const auto mounted = RunProcess(mount);
    if (mounted.exitCode != 0) {
      m_problem = "cannot mount " + type + " here: " + mounted.err;
      return;
    }
    m_mounted = true;
  }
  ~LoopMount() { Unmount(); }
  LoopMount(const LoopMount&) = delete;
  LoopMount& operator=(const LoopMount&) = delete;

  const std::string& Problem() const { return m_problem; }
  std::string Path(const std::string& name) const { return m_mount + "/" + name; }
  void Unmount() {
    if (m_mounted && RunProcess({"umount", m_mount}).exitCode != 0) RunProcess({"umount", "-l", m_mount});
    m_mounted = false;
  }
  // Whether the raw image holds `needle` anywhere: read in large runs, each
  // overlapping the last by the needle's length.
  bool ImageHolds(const std::string& needle) const {
    const int fd = ::open(m_image.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::vector<char> run(8 << 20);
    std::size_t kept = 0;
    bool found = false;
    for (;;) {
      const ssize_t n = ::read(fd, run.data() + kept, run.size() - kept);
      if (n <= 0) break;
      const std::size_t have = kept + static_cast<std::size_t>(n);
      if (::memmem(run.data(), have, needle.data(), needle.size()) != nullptr) {
        found = true;
        break;
      }
      kept = std::min(have, needle.size() - 1);
      std::memmove(run.data(), run.data() + have - kept, kept);
    }
    ::close(fd);
    return found;
  }

 private:
  std::string m_image, m_mount, m_problem;
  bool m_mounted = false;
};

// 192 KiB that name themselves: a random token in every 64 bytes.
std::string Secret(std::string& token) {
  std::random_device random;
  token = "SEALVANE-SECRET-";
  for (int i = 0; i < 4; ++i) token += std::to_string(random());
  std::string content;
  while (content.size() < 192 * 1024) {
    content += token;
    content.resize((content.size() + 63) / 64 * 64, '.');
  }
  return content;
}

// Writes the file and makes sure its bytes are on the device.
void WriteDurably(const std::string& path, const std::string& content) {
  test::WriteFileBytes(path, content);
  const int fd = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(::fsync(fd), 0);
  ::close(fd);
  RunProcess({"sync"});
}

nlohmann::json Shred(const std::string& path) {
  const auto r = RunProcess({SEALVANE_CLI, "shred", "--yes", "--json", "--", path});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_FALSE(fs::exists(path));
  // The question shows the same report before anything is written.
  EXPECT_NE(r.err.find("Are you sure you want to delete the file " + path + "?\n"), std::string::npos) << r.err;
  return nlohmann::json::parse(r.out, nullptr, false);
}

struct Case {
  const char* type;
  std::uintmax_t size;
  const char* options;
  const char* fileSystemVerdict;  // the file system alone
};

TEST(ShredReport, OnRealFileSystemsYesOnlyWhereTheDataIsGone) {
  const Case cases[] = {
      {"ext4", 64 << 20, "", "yes"},
      {"ext4", 64 << 20, "data=journal", "no"},
      {"btrfs", 128 << 20, "", "no"},
      {"xfs", 320 << 20, "", "yes"},
  };
  int ran = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.type) + " " + c.options);
    LoopMount mount(c.type, c.size, c.options);
    if (!mount.Problem().empty()) {
      std::printf("skipped %s %s: %s\n", c.type, c.options, mount.Problem().c_str());
      continue;
    }
    ++ran;
    std::string token;
    const std::string path = mount.Path("secret.txt");
    WriteDurably(path, Secret(token));
    ASSERT_TRUE(mount.ImageHolds(token)) << "the file reached the image";

    const nlohmann::json report = Shred(path);
    ASSERT_TRUE(report.is_object());
    EXPECT_EQ(report["file"], path);
    EXPECT_EQ(report["filesystem"], c.type);
    EXPECT_EQ(report["filesystem_in_place"], c.fileSystemVerdict) << report.dump();
    EXPECT_FALSE(report["reasons"].empty());
    // The file system is in an image: the image's own storage is judged too.
    bool namesImage = false;
    for (const auto& reason : report["reasons"]) {
      namesImage = namesImage || reason.get<std::string>().find("disk image") != std::string::npos;
    }
    EXPECT_TRUE(namesImage) << report.dump();
    mount.Unmount();
    const bool gone = !mount.ImageHolds(token);
    if (report["filesystem_in_place"] == "yes") {
      EXPECT_TRUE(gone) << "said yes, but the image still holds the file";
    }
    if (report["in_place"] == "yes") {
      EXPECT_TRUE(gone);
    }
    if (c.fileSystemVerdict == std::string("no")) {
      EXPECT_EQ(report["in_place"], "no") << "never yes where the file system keeps a copy";
    } else {
      // The host's disk beneath the image decides the rest; whatever it is,
      // the report's word for it is one of the three.
      EXPECT_TRUE(report["in_place"] == "yes" || report["in_place"] == "no" || report["in_place"] == "unknown");
    }
  }
  if (ran == 0) GTEST_SKIP() << "no file system could be mounted here";
}

TEST(ShredReport, ReflinkedCopiesAreNamedAsShared) {
  int ran = 0;
  for (const Case& c : {Case {"btrfs", 128 << 20, "", "no"}, Case {"xfs", 320 << 20, "", "no"}}) {
    SCOPED_TRACE(c.type);
    LoopMount mount(c.type, c.size, c.options);
    if (!mount.Problem().empty()) {
      std::printf("skipped %s: %s\n", c.type, mount.Problem().c_str());
      continue;
    }
    std::string token;
    WriteDurably(mount.Path("original.txt"), Secret(token));
    const auto copied = RunProcess({"cp", "--reflink=always", mount.Path("original.txt"), mount.Path("copy.txt")});
    if (copied.exitCode != 0) {
      std::printf("skipped %s: no reflinks here: %s\n", c.type, copied.err.c_str());
      continue;
    }
    ++ran;
    RunProcess({"sync"});
    const nlohmann::json report = Shred(mount.Path("original.txt"));
    EXPECT_EQ(report["filesystem_in_place"], "no") << report.dump();
    EXPECT_EQ(report["in_place"], "no");
    EXPECT_NE(report.dump().find("shared with another file or a snapshot"), std::string::npos) << report.dump();
    // The copy keeps its contents: they were its own too.
    EXPECT_NE(test::ReadFileBytes(mount.Path("copy.txt")).find(token), std::string::npos);

    // In a folder, each file's extents are looked at, not only the first's:
    // a shared file after a plain one still makes the verdict "no".
    fs::create_directories(mount.Path("album"));
    WriteDurably(mount.Path("album/a plain.txt"), "plain words");
    ASSERT_EQ(RunProcess({"cp", "--reflink=always", mount.Path("copy.txt"), mount.Path("album/b shared.txt")}).exitCode,
              0);
    RunProcess({"sync"});
    test::WriteFileBytes(mount.Path("pw.txt"), "Correct Horse 9\n");
    const auto r = RunProcess({SEALVANE_CLI, "encrypt", "--json", "--shred-original", "--password-file",
                               mount.Path("pw.txt"), "--", mount.Path("album")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(fs::exists(mount.Path("album")));
    const nlohmann::json done = nlohmann::json::parse(r.out, nullptr, false);
    EXPECT_EQ(done["original"]["in_place"], "no") << r.out;
    EXPECT_NE(done["original"].dump().find("shared with another file or a snapshot"), std::string::npos) << r.out;
  }
  if (ran == 0) GTEST_SKIP() << "no file system with reflinks could be mounted here";
}

TEST(ShredReport, MemoryIsNotADisk) {
  LoopMount mount("tmpfs", 0, "");
  if (!mount.Problem().empty()) GTEST_SKIP() << mount.Problem();
  std::string token;
  test::WriteFileBytes(mount.Path("notes.txt"), Secret(token));
  const nlohmann::json report = Shred(mount.Path("notes.txt"));
  EXPECT_EQ(report["filesystem"], "tmpfs");
  EXPECT_EQ(report["device"], "");
  EXPECT_NE(report.dump().find("in memory (tmpfs), not on a disk"), std::string::npos) << report.dump();
}

}  // namespace
}  // namespace sealvane
