// SPDX-License-Identifier: GPL-3.0-or-later
// Folders in format version 2: a tree round trips with its types, modes,
// sizes, times and inner links; hostile tar streams written here by hand
// (independently of libarchive) never put anything outside the folder they
// are unpacked into; cancel, damage and refusals leave nothing behind.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "archive/IndependentModern.h"
#include "archive/JobFixtures.h"
#include "sealvane/archive/FolderTar.h"
#include "sealvane/archive/Status.h"
#include "sealvane/archive/clsArchive.h"
#include "sealvane/archive/frmDecrypt.h"
#include "sealvane/archive/frmEncrypt.h"
#include "sealvane/archive/modCommon.h"
#include "sealvane/csp/WinCrypt.h"
#include "support/FakeUiPort.h"
#include "support/Process.h"
#include "support/Sandbox.h"

namespace sealvane {
namespace {

namespace fs = std::filesystem;
using namespace test;

std::string Tree() { return SandboxDir() + "/My Folder"; }
std::string TreeArchive() { return SandboxDir() + "/My Folder.sva"; }
std::string OutDir() { return SandboxDir() + "/out"; }

std::string Noise(std::size_t size, std::uint32_t seed = 7) {
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
  return bytes;
}

void SetTime(const std::string& path, std::time_t seconds, long nanoseconds) {
  const struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

// A folder with subfolders, an empty folder, names with spaces and
// non-ASCII letters, inner links, chosen modes and times.
void MakeTree() {
  const std::string t = Tree();
  fs::create_directories(t + "/sub dir/deeper");
  fs::create_directories(t + "/empty");
  WriteFileBytes(t + "/notes.txt", Content(5000));
  WriteFileBytes(t + "/sub dir/r\xc3\xa9sum\xc3\xa9.bin", Noise(300000));
  WriteFileBytes(t + "/sub dir/deeper/zero", "");
  WriteFileBytes(t + "/large.txt", Content(1 << 20) + Noise(70000));
  fs::create_symlink("sub dir/r\xc3\xa9sum\xc3\xa9.bin", t + "/link to file");
  fs::create_symlink("../notes.txt", t + "/sub dir/up");
  ::chmod((t + "/notes.txt").c_str(), 0640);
  ::chmod((t + "/sub dir/deeper/zero").c_str(), 0755);
  ::chmod((t + "/empty").c_str(), 0700);
  SetTime(t + "/notes.txt", 1'500'000'000, 123'456'789);
  SetTime(t + "/sub dir/deeper/zero", 1'000'000'000, 0);
  SetTime(t + "/sub dir/deeper", 1'200'000'000, 5);
  SetTime(t + "/sub dir", 1'300'000'000, 0);
  SetTime(t + "/empty", 1'100'000'000, 999'999'999);
  SetTime(t, 1'400'000'000, 42);
}

// Type, permission bits, size, content and last-write time (to the
// nanosecond) of everything under `root`, and `root` itself as ".".
std::map<std::string, std::string> Listing(const std::string& root) {
  std::map<std::string, std::string> listing;
  const auto describe = [&](const fs::path& path, const std::string& rel) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    std::ostringstream line;
    line << (S_ISDIR(st.st_mode) ? 'd' : S_ISLNK(st.st_mode) ? 'l' : S_ISREG(st.st_mode) ? 'f' : '?') << ' ';
    if (S_ISLNK(st.st_mode)) {
      line << fs::read_symlink(path).string();
    } else {
      line << std::oct << (st.st_mode & 07777) << std::dec << ' ' << st.st_mtim.tv_sec << '.' << st.st_mtim.tv_nsec;
    }
    if (S_ISREG(st.st_mode)) line << ' ' << st.st_size << ' ' << std::hash<std::string>()(ReadFileBytes(path));
    listing[rel] = line.str();
  };
  describe(root, ".");
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    describe(it->path(), fs::relative(it->path(), root).string());
  }
  return listing;
}

clsParameters FolderParameters(bool compress = true) {
  clsParameters p = EncryptParameters(compress, 1, kCipherAes256);
  p.m_nKdfMilliseconds = 1;
  p.m_strFilePath = Tree();
  p.m_strEncFilePath = TreeArchive();
  return p;
}

// Decrypting into OutDir() under the name the archive stores.
clsParameters IntoOut(const std::string& archive) {
  clsParameters p = DecryptParameters(archive, kPassword, OutDir() + "/");
  p.m_bNameFromArchive = true;
  p.m_bOpenFile = false;
  return p;
}

std::int32_t Encrypt(const clsParameters& p, FakeUiPort& ui) {
  frmEncrypt job(ui);
  if (!job.Initialize(p)) return 1000;
  job.Run();
  return job.Result();
}

std::int32_t Decrypt(const clsParameters& p, FakeUiPort& ui, std::string* o_path = nullptr) {
  frmDecrypt job(ui);
  if (!job.Initialize(p)) return 1000;
  if (o_path) *o_path = job.FilePath();
  job.Run();
  return job.Result();
}

std::string Boxes(const FakeUiPort& ui) {
  std::string text;
  for (const auto& box : ui.boxes) text += box.text + "\n";
  return text;
}

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// --- an independent tar writer (POSIX ustar with pax records) -----------------------

struct TarEntry {
  std::string name;
  char type = '0';  // '0' file, '1' hard link, '2' symbolic link, '3' device, '5' folder, '6' pipe
  std::string data;
  std::string link;
  unsigned mode = 0644;
};

std::string Octal(std::uint64_t value, std::size_t width) {
  std::ostringstream text;
  text << std::oct << value;
  std::string digits = text.str();
  return std::string(width - 1 - digits.size(), '0') + digits;
}

std::string UstarHeader(const std::string& name, char type, std::uint64_t size, const std::string& link, unsigned mode) {
  std::string h(512, '\0');
  const auto put = [&](std::size_t at, const std::string& text) { std::copy(text.begin(), text.end(), h.begin() + at); };
  put(0, name.substr(0, 99));
  put(100, Octal(mode, 8));
  put(108, Octal(0, 8));
  put(116, Octal(0, 8));
  put(124, Octal(size, 12));
  put(136, Octal(1'600'000'000, 12));
  put(148, std::string(8, ' '));
  h[156] = type;
  put(157, link.substr(0, 99));
  put(257, std::string("ustar\0" "00", 8));
  unsigned sum = 0;
  for (const char c : h) sum += static_cast<unsigned char>(c);
  put(148, Octal(sum, 7));
  return h;
}

std::string Padded(std::string data) {
  data.resize((data.size() + 511) / 512 * 512, '\0');
  return data;
}

std::string PaxRecord(const std::string& key, const std::string& value) {
  const std::string body = " " + key + "=" + value + "\n";
  std::size_t length = body.size() + 1;
  while (std::to_string(length).size() + body.size() != length) ++length;
  return std::to_string(length) + body;
}

std::string Tar(const std::vector<TarEntry>& entries) {
  std::string tar;
  for (const TarEntry& e : entries) {
    if (e.name.size() > 99 || e.link.size() > 99) {
      const std::string records =
          PaxRecord("path", e.name) + (e.link.empty() ? std::string() : PaxRecord("linkpath", e.link));
      tar += UstarHeader("PaxHeader/x", 'x', records.size(), "", 0644) + Padded(records);
    }
    tar += UstarHeader(e.name, e.type, e.type == '0' ? e.data.size() : 0, e.link, e.mode);
    if (e.type == '0') tar += Padded(e.data);
  }
  return tar + std::string(1024, '\0');
}

// A folder archive that holds `tar`, written without the engine.
void WriteFolderArchive(const std::string& path, const std::string& tar, const std::string& name = "top") {
  v2ref::WriteOptions w;
  w.name = name;
  w.descriptionFlags = 1;
  const Bytes archive = v2ref::Write(ToBytes(tar), kPassword, w);
  WriteFileBytes(path, std::string(archive.begin(), archive.end()));
}

class FolderArchive : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(OutDir()); }
};

TEST_F(FolderArchive, RoundTripsTypesModesSizesTimesAndInnerLinks) {
  MakeTree();
  const auto before = Listing(Tree());
  for (const bool compress : {true, false}) {
    SCOPED_TRACE(compress);
    fs::remove(TreeArchive());
    FakeUiPort ui;
    ASSERT_EQ(Encrypt(FolderParameters(compress), ui), 0) << Boxes(ui);
    EXPECT_TRUE(ui.boxes.empty()) << Boxes(ui);
    EXPECT_EQ(ReadFileBytes(TreeArchive()).find("notes.txt"), std::string::npos) << "names are sealed";

    // The independent reader sees a folder: the flag, and a tar stream.
    const auto opened = v2ref::Read(ToBytes(ReadFileBytes(TreeArchive())), kPassword);
    ASSERT_EQ(opened.failure, "");
    EXPECT_EQ(v2ref::U32(opened.description, 28), 1u) << "the folder flag";
    EXPECT_EQ(std::string(opened.plain.begin() + 257, opened.plain.begin() + 262), "ustar");

    FakeUiPort ui2;
    std::string restored;
    ASSERT_EQ(Decrypt(IntoOut(TreeArchive()), ui2, &restored), 0) << Boxes(ui2);
    EXPECT_TRUE(ui2.boxes.empty()) << Boxes(ui2);
    EXPECT_EQ(restored, OutDir() + "/My Folder");
    EXPECT_EQ(Listing(restored), before);
    EXPECT_EQ(Names(OutDir()), std::vector<std::string> {"My Folder"}) << "no work folder is left";
    fs::remove_all(restored);
  }
  EXPECT_EQ(Listing(Tree()), before) << "the folder itself is untouched";
}

TEST_F(FolderArchive, SpecialFilesAreNamedNotPacked) {
  fs::create_directories(Tree());
  WriteFileBytes(Tree() + "/kept.txt", "kept");
  ASSERT_EQ(::mkfifo((Tree() + "/a pipe").c_str(), 0600), 0);
  FakeUiPort ui;
  ASSERT_EQ(Encrypt(FolderParameters(), ui), 0) << Boxes(ui);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "1 special file (a device, pipe or socket) was not encrypted:\ra pipe");
  FakeUiPort ui2;
  std::string restored;
  ASSERT_EQ(Decrypt(IntoOut(TreeArchive()), ui2, &restored), 0) << Boxes(ui2);
  EXPECT_EQ(Names(restored), std::vector<std::string> {"kept.txt"});
}

TEST_F(FolderArchive, EmptyFolderAndStreamsOfEveryLengthAroundARun) {
  // The stream's last byte at a run's end, one byte either side: the last
  // chunk is always known.
  fs::create_directories(Tree());
  for (const std::size_t size : {0u, 1u, 5000u, 260000u, 261000u, 262143u, 262144u, 262145u}) {
    SCOPED_TRACE(size);
    fs::remove_all(Tree());
    fs::create_directories(Tree());
    if (size > 0) WriteFileBytes(Tree() + "/f", Noise(size));
    fs::remove(TreeArchive());
    FakeUiPort ui;
    ASSERT_EQ(Encrypt(FolderParameters(false), ui), 0) << Boxes(ui);
    FakeUiPort ui2;
    std::string restored;
    ASSERT_EQ(Decrypt(IntoOut(TreeArchive()), ui2, &restored), 0) << Boxes(ui2);
    EXPECT_EQ(Listing(restored), Listing(Tree()));
    fs::remove_all(restored);
  }
}

TEST_F(FolderArchive, HostileStreamsPutNothingOutsideTheFolder) {
  const std::string outside = SandboxDir() + "/outside";
  fs::create_directories(outside);
  const std::string longName = "top/" + std::string(4996, 'n');
  const std::vector<TarEntry> entries = {
      {"top/", '5', "", "", 0755},
      {"top/good.txt", '0', "kept", "", 0644},
      {"top/../escape.txt", '0', "out", "", 0644},
      {"top/sub/../../escape2.txt", '0', "out", "", 0644},
      {outside + "/absolute.txt", '0', "out", "", 0644},
      {"other/elsewhere.txt", '0', "out", "", 0644},
      {"top/etc", '2', "", outside, 0777},
      {"top/etc/through.txt", '0', "out", "", 0644},
      {"top/up", '2', "", "..", 0777},
      {"top/up/through2.txt", '0', "out", "", 0644},
      {"top/inner", '2', "", "good.txt", 0777},
      {"top/dir", '5', "", "", 0755},
      {"top/dirlink", '2', "", "dir", 0777},
      {"top/dirlink/through3.txt", '0', "out", "", 0644},
      {"top/hard", '1', "", "../../outside/hard-target", 0644},
      {"top/hard2", '1', "", "top/good.txt", 0644},
      {"top/device", '3', "", "", 0666},
      {"top/pipe", '6', "", "", 0666},
      {longName, '0', "long", "", 0644},
      {"top/setuid", '0', "x", "", 04755},
  };
  const std::string tar = Tar(entries);

  // Straight into the unpacker.
  fs::create_directories(SandboxDir() + "/dest");
  const std::string dest = fs::canonical(SandboxDir() + "/dest").string();
  std::size_t leftOutCount = 0;
  {
    FolderUnpacker unpacker(dest);
    for (std::size_t at = 0; at < tar.size(); at += 1000) {
      const std::string piece = tar.substr(at, 1000);
      unpacker.Put(std::span(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size()));
    }
    unpacker.Finish();
    const auto leftOut = unpacker.LeftOut();
    leftOutCount = leftOut.size();
    std::string all;
    for (const auto& line : leftOut) all += line + "\n";
    for (const char* expected :
         {"top/../escape.txt: its name leads out of the folder", "top/sub/../../escape2.txt: its name leads out",
          ": its name is absolute", "other/elsewhere.txt: it is not inside the folder",
          "top/etc: it is a link that points outside the folder", "top/up: it is a link that points outside",
          "top/hard: it is a hard link", "top/hard2: it is a hard link", "top/device: it is a device, a pipe or a socket",
          "top/pipe: it is a device", "...: its name is too long", "top/dirlink/through3.txt: "}) {
      EXPECT_NE(all.find(expected), std::string::npos) << expected << "\n" << all;
    }
  }
  EXPECT_EQ(ReadFileBytes(dest + "/good.txt"), "kept");
  EXPECT_EQ(fs::read_symlink(dest + "/inner"), "good.txt");
  EXPECT_EQ(fs::status(dest + "/setuid").permissions(), fs::perms(0755)) << "no set-id bits";
  EXPECT_TRUE(Names(outside).empty()) << "nothing written outside";
  EXPECT_FALSE(fs::exists(SandboxDir() + "/escape.txt"));
  EXPECT_FALSE(fs::exists(SandboxDir() + "/escape2.txt"));
  EXPECT_FALSE(fs::exists(dest + "/dir/through3.txt")) << "nothing written through a link";
  // What went in by other roads (a folder made for an entry through a link
  // that was left out) stays inside.
  for (auto it = fs::recursive_directory_iterator(dest); it != fs::recursive_directory_iterator(); ++it) {
    EXPECT_EQ(it->path().string().rfind(dest + "/", 0), 0u) << it->path();
    EXPECT_FALSE(it->is_symlink() && fs::read_symlink(it->path()).is_absolute()) << it->path();
  }

  // Through the decrypt job: the same, with the list shown once.
  WriteFolderArchive(SandboxDir() + "/hostile.sva", tar);
  FakeUiPort ui;
  std::string restored;
  ASSERT_EQ(Decrypt(IntoOut(SandboxDir() + "/hostile.sva"), ui, &restored), 0) << Boxes(ui);
  ASSERT_EQ(ui.boxes.size(), 1u) << Boxes(ui);
  EXPECT_EQ(ui.boxes[0].text.rfind(std::to_string(leftOutCount) + " items of the folder were not decrypted:\r", 0), 0u)
      << Boxes(ui);
  EXPECT_NE(ui.boxes[0].text.find("\rand " + std::to_string(leftOutCount - 10) + " more."), std::string::npos)
      << Boxes(ui);
  EXPECT_EQ(ReadFileBytes(restored + "/good.txt"), "kept");
  EXPECT_TRUE(Names(outside).empty());
}

TEST_F(FolderArchive, LinksStayInsideOnlyWhenTheyCannotClimbOut) {
  EXPECT_TRUE(LinkStaysInside("a", "b"));
  EXPECT_TRUE(LinkStaysInside("d/a", "../b"));
  EXPECT_TRUE(LinkStaysInside("d/e/a", "../../b/c"));
  EXPECT_TRUE(LinkStaysInside("a", "./b/./c"));
  EXPECT_FALSE(LinkStaysInside("a", ".."));
  EXPECT_FALSE(LinkStaysInside("d/a", "../.."));
  EXPECT_FALSE(LinkStaysInside("a", "/etc"));
  EXPECT_FALSE(LinkStaysInside("a", ""));
  // A link inside may stand for a shallower folder: ".." after a name could
  // climb out through it.
  EXPECT_FALSE(LinkStaysInside("a", "l/.."));
  EXPECT_FALSE(LinkStaysInside("d/a", "../x/../y"));
}

TEST_F(FolderArchive, NamesWithControlCharactersAreShownWithout) {
  const std::string tar = Tar({{"top/", '5', "", "", 0755}, {"top/bad\x1b[31m\nname", '3', "", "", 0644}});
  fs::create_directories(SandboxDir() + "/dest");
  FolderUnpacker unpacker(fs::canonical(SandboxDir() + "/dest").string());
  unpacker.Put(std::span(reinterpret_cast<const std::uint8_t*>(tar.data()), tar.size()));
  unpacker.Finish();
  ASSERT_EQ(unpacker.LeftOut().size(), 1u);
  EXPECT_EQ(unpacker.LeftOut()[0], "top/bad[31mname: it is a device, a pipe or a socket");
}

TEST_F(FolderArchive, AFolderThatCannotFitIsRefusedBeforeAnything) {
  v2ref::WriteOptions w;
  w.name = "top";
  w.descriptionFlags = 1;
  w.recordedSize = std::uint64_t {1} << 60;
  const Bytes archive = v2ref::Write(ToBytes(Tar({{"top/", '5', "", "", 0755}})), kPassword, w);
  WriteFileBytes(SandboxDir() + "/huge.sva", std::string(archive.begin(), archive.end()));
  FakeUiPort ui;
  EXPECT_EQ(Decrypt(IntoOut(SandboxDir() + "/huge.sva"), ui), 1000);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text.rfind("There is not enough free space to decrypt the file.\rtop needs ", 0), 0u)
      << Boxes(ui);
  EXPECT_TRUE(Names(OutDir()).empty());
}

TEST_F(FolderArchive, NotATarStreamIsRefusedAndLeavesNothing) {
  WriteFolderArchive(SandboxDir() + "/junk.sva", Content(3000));
  FakeUiPort ui;
  EXPECT_NE(Decrypt(IntoOut(SandboxDir() + "/junk.sva"), ui), 0);
  ASSERT_FALSE(ui.boxes.empty());
  EXPECT_NE(ui.boxes.back().text.find("The folder in the encrypted file cannot be unpacked"), std::string::npos)
      << Boxes(ui);
  EXPECT_TRUE(Names(OutDir()).empty());
}

TEST_F(FolderArchive, DamageAndCancelLeaveNothingAndReplaceAsksFirst) {
  MakeTree();
  WriteFileBytes(Tree() + "/more.bin", Noise(3 << 20, 11));
  FakeUiPort ui;
  ASSERT_EQ(Encrypt(FolderParameters(false), ui), 0) << Boxes(ui);

  // A byte changed near the end: the folder never appears.
  std::string bytes = ReadFileBytes(TreeArchive());
  std::string damaged = bytes;
  damaged[damaged.size() - 100] ^= 1;
  WriteFileBytes(SandboxDir() + "/damaged.sva", damaged);
  FakeUiPort bad;
  EXPECT_EQ(Decrypt(IntoOut(SandboxDir() + "/damaged.sva"), bad), kDamaged) << Boxes(bad);
  EXPECT_TRUE(Names(OutDir()).empty()) << "nothing of a damaged folder stays";

  // Cancel while unpacking.
  FakeUiPort cancelling;
  frmDecrypt job(cancelling);
  cancelling.onPendingMessages = [&](int calls) {
    if (calls == 3) job.Cancel();
  };
  ASSERT_TRUE(job.Initialize(IntoOut(TreeArchive())));
  job.Run();
  EXPECT_EQ(job.Result(), kCancelled);
  EXPECT_TRUE(Names(OutDir()).empty()) << "nothing of a cancelled folder stays";

  // Cancel while packing: no archive.
  fs::remove(TreeArchive());
  const auto sandbox = Names(SandboxDir());
  FakeUiPort cancelEncrypt;
  frmEncrypt encrypt(cancelEncrypt);
  cancelEncrypt.onPendingMessages = [&](int calls) {
    if (calls == 3) encrypt.Cancel();
  };
  ASSERT_TRUE(encrypt.Initialize(FolderParameters(false)));
  encrypt.Run();
  EXPECT_EQ(encrypt.Result(), kCancelled);
  EXPECT_FALSE(fs::exists(TreeArchive()));
  EXPECT_EQ(Names(SandboxDir()), sandbox) << "nothing is left beside it";

  // An existing folder is replaced only when the user says so.
  WriteFileBytes(TreeArchive(), bytes);
  fs::create_directories(OutDir() + "/My Folder");
  WriteFileBytes(OutDir() + "/My Folder/mine.txt", "mine");
  FakeUiPort no;
  no.Answer(MsgResult::No);
  EXPECT_EQ(Decrypt(IntoOut(TreeArchive()), no), 1000);
  EXPECT_EQ(ReadFileBytes(OutDir() + "/My Folder/mine.txt"), "mine");
  FakeUiPort yes;
  yes.Answer(MsgResult::Yes);
  ASSERT_EQ(Decrypt(IntoOut(TreeArchive()), yes), 0) << Boxes(yes);
  EXPECT_FALSE(fs::exists(OutDir() + "/My Folder/mine.txt"));
  EXPECT_EQ(ReadFileBytes(OutDir() + "/My Folder/more.bin"), Noise(3 << 20, 11));
  EXPECT_EQ(Names(OutDir()), std::vector<std::string> {"My Folder"}) << "the old folder is gone";
}

TEST_F(FolderArchive, VersionOneHoldsTheFolderAsATarFile) {
  // The other platform knows no folders: NAME.tar, decrypted as that file.
  MakeTree();
  const auto before = Listing(Tree());
  for (const bool compress : {false, true}) {
    SCOPED_TRACE(compress);
    fs::remove(TreeArchive());
    clsParameters p = FolderParameters(compress);
    p.m_eAlg = 4;
    p.m_eCSP = 3;
    FakeUiPort ui;
    ASSERT_EQ(Encrypt(p, ui), 0) << Boxes(ui);
    FakeUiPort ui2;
    const clsParameters back = DecryptParameters(TreeArchive(), kPassword, OutDir() + "/My Folder.tar");
    ASSERT_EQ(Decrypt(back, ui2), 0) << Boxes(ui2);
    // The stored name and size are the tar file's.
    clsArchive reader(ui2);
    clsParameters stored;
    clsFileDesc desc;
    ASSERT_EQ(reader.OpenArchive(TreeArchive(), 0), 0);
    ASSERT_EQ(reader.ReadParameters(stored, desc), 0);
    EXPECT_EQ(desc.m_strFileName, "My Folder.tar");
    EXPECT_EQ(static_cast<std::uintmax_t>(desc.m_nFileSize), fs::file_size(OutDir() + "/My Folder.tar"));
    reader.CloseArchive();
    // Any tar reader unpacks it.
    const std::string unpacked = SandboxDir() + "/unpacked";
    fs::remove_all(unpacked);
    fs::create_directories(unpacked);
    const auto tar = RunProcess({"/bin/tar", "-xpf", OutDir() + "/My Folder.tar", "-C", unpacked});
    ASSERT_EQ(tar.exitCode, 0) << tar.err;
    EXPECT_EQ(Listing(unpacked + "/My Folder"), before);
    fs::remove(OutDir() + "/My Folder.tar");
  }
}

TEST_F(FolderArchive, AFolderNamedThroughALinkIsPackedUnderThatName) {
  MakeTree();
  fs::create_directory_symlink(Tree(), SandboxDir() + "/Shortcut");
  clsParameters p = FolderParameters();
  p.m_strFilePath = SandboxDir() + "/Shortcut/";
  p.m_strEncFilePath = DefaultArchivePath(p.m_strFilePath);
  EXPECT_EQ(p.m_strEncFilePath, SandboxDir() + "/Shortcut.sva");
  FakeUiPort ui;
  ASSERT_EQ(Encrypt(p, ui), 0) << Boxes(ui);
  FakeUiPort ui2;
  std::string restored;
  ASSERT_EQ(Decrypt(IntoOut(p.m_strEncFilePath), ui2, &restored), 0) << Boxes(ui2);
  EXPECT_EQ(restored, OutDir() + "/Shortcut") << "the name it was given, as for a file";
  EXPECT_EQ(Listing(restored), Listing(Tree()));
}

TEST_F(FolderArchive, RefusedBeforeAnythingIsWritten) {
  MakeTree();
  const auto refused = [&](clsParameters p, const std::string& text) {
    FakeUiPort ui;
    EXPECT_EQ(Encrypt(p, ui), 1000);
    ASSERT_EQ(ui.boxes.size(), 1u) << Boxes(ui);
    EXPECT_EQ(ui.boxes[0].text.substr(0, text.size()), text);
    EXPECT_FALSE(fs::exists(p.m_strEncFilePath));
  };
  clsParameters inside = FolderParameters();
  inside.m_strEncFilePath = Tree() + "/sub dir/self.sva";
  refused(inside, "The encrypted file must not be inside the folder to encrypt.");
  // A folder that cannot be read all through is named before anything.
  if (::geteuid() != 0) {
    ::chmod((Tree() + "/sub dir").c_str(), 0);
    refused(FolderParameters(), "Failed to open folder.");
    ::chmod((Tree() + "/sub dir").c_str(), 0755);
  }
  EXPECT_EQ(DefaultArchivePath(Tree() + "/"), TreeArchive());
  fs::create_directories(SandboxDir() + "/photos.2024");
  EXPECT_EQ(DefaultArchivePath(SandboxDir() + "/photos.2024"), SandboxDir() + "/photos.2024.sva");
  EXPECT_EQ(DefaultArchivePath(SandboxDir() + "/a.b.txt"), SandboxDir() + "/a.b.sva");
}

// --- deleting the original folder ---------------------------------------------------

bool Saw(const FakeUiPort& ui, const std::string& operation) {
  return std::find(ui.operations.begin(), ui.operations.end(), operation) != ui.operations.end();
}

clsParameters Deleting(std::int32_t cipher = kCipherAes256) {
  clsParameters p = FolderParameters();
  if (cipher != kCipherAes256) {
    p = EncryptParameters(true, 3, cipher);
    p.m_strFilePath = Tree();
    p.m_strEncFilePath = TreeArchive();
  }
  p.m_bDeleteOriginal = true;
  return p;
}

TEST_F(FolderArchive, TheOriginalFolderGoesOnlyAfterTheArchiveGivesItBack) {
  for (const std::int32_t cipher : {kCipherAes256, 3}) {
    SCOPED_TRACE(cipher);
    fs::remove_all(OutDir());
    fs::create_directories(OutDir());
    fs::remove(TreeArchive());
    MakeTree();
    // A file with two names, both inside the folder: nothing outside it
    // shows that data, so nothing is asked.
    fs::create_hard_link(Tree() + "/notes.txt", Tree() + "/sub dir/notes again.txt");
    ::chmod((Tree() + "/sub dir/deeper/zero").c_str(), 0400);  // read-only files go too
    const auto before = Listing(Tree());
    FakeUiPort ui;
    ASSERT_EQ(Encrypt(Deleting(cipher), ui), 0) << Boxes(ui);
    EXPECT_FALSE(fs::exists(Tree())) << "files, links, empty and read-only folders all gone";
    EXPECT_TRUE(Saw(ui, "Verifying:"));
    EXPECT_TRUE(Saw(ui, "Deleting:"));
    EXPECT_TRUE(std::is_sorted(ui.progress.begin(), ui.progress.end()));
    EXPECT_EQ(ui.progress.back(), 100);
    ASSERT_EQ(ui.boxes.size(), 1u) << Boxes(ui);
    EXPECT_EQ(ui.boxes[0].title, "Secure Delete");
    const std::string& report = ui.boxes[0].text;
    EXPECT_EQ(report.substr(0, report.find(" was overwritten")),
              TreeArchive() + " was read back and gives the original back exactly.\r" + Tree() + " (5 files)");
    EXPECT_EQ(report.find("other name"), std::string::npos) << report;

    // What was deleted is in the archive.
    FakeUiPort ui2;
    std::string restored = OutDir() + "/My Folder.tar";
    ASSERT_EQ(Decrypt(cipher == kCipherAes256 ? IntoOut(TreeArchive())
                                              : DecryptParameters(TreeArchive(), kPassword, restored),
                      ui2, &restored),
              0)
        << Boxes(ui2);
    if (cipher != kCipherAes256) {
      const std::string unpacked = SandboxDir() + "/unpacked";
      fs::create_directories(unpacked);
      const auto tar = RunProcess({"/bin/tar", "-xpf", restored, "-C", unpacked});
      ASSERT_EQ(tar.exitCode, 0) << tar.err;
      restored = unpacked + "/My Folder";
    }
    EXPECT_EQ(Listing(restored), before);
    fs::remove_all(SandboxDir() + "/unpacked");
  }
}

TEST_F(FolderArchive, SpecialFilesStayWithTheFoldersThatHoldThem) {
  MakeTree();
  fs::create_directories(Tree() + "/sub dir/pipes");
  ASSERT_EQ(::mkfifo((Tree() + "/sub dir/pipes/a\npipe").c_str(), 0600), 0);
  FakeUiPort ui;
  ASSERT_EQ(Encrypt(Deleting(), ui), 0) << Boxes(ui);
  // Only the pipe and the folders on its way are left.
  EXPECT_EQ(Names(Tree()), std::vector<std::string> {"sub dir"});
  EXPECT_EQ(Names(Tree() + "/sub dir"), std::vector<std::string> {"pipes"});
  EXPECT_EQ(Names(Tree() + "/sub dir/pipes"), std::vector<std::string> {"a\npipe"});
  ASSERT_EQ(ui.boxes.size(), 3u) << Boxes(ui);
  EXPECT_EQ(ui.boxes[0].text, "1 special file (a device, pipe or socket) was not encrypted:\rsub dir/pipes/apipe");
  EXPECT_EQ(ui.boxes[2].text, "1 special file (a device, pipe or socket) was not encrypted, so it stays in " + Tree() +
                                  " with the folders that hold it:\rsub dir/pipes/apipe");
}

TEST_F(FolderArchive, AFolderThatChangedOrACancelKeepsWhatWasNotDeleted) {
  // Changed after it was packed: the archive is not saved, nothing deleted.
  MakeTree();
  WriteFileBytes(TreeArchive(), "old archive");
  const auto names = [] {
    std::vector<std::string> all;
    for (const auto& e : fs::recursive_directory_iterator(Tree())) all.push_back(e.path().string());
    std::sort(all.begin(), all.end());
    return all;
  };
  const auto namesBefore = names();
  FakeUiPort changed;
  changed.Answer(MsgResult::Yes);  // replace the old archive
  changed.onPendingMessages = [&changed](int) {
    if (!changed.operations.empty() && changed.operations.back() == "Verifying:" && changed.files.back() != "changed") {
      WriteFileBytes(Tree() + "/large.txt", "shorter");
      changed.files.push_back("changed");
    }
  };
  EXPECT_NE(Encrypt(Deleting(), changed), 0);
  EXPECT_FALSE(Saw(changed, "Deleting:"));
  EXPECT_EQ(names(), namesBefore);
  EXPECT_EQ(ReadFileBytes(Tree() + "/large.txt"), "shorter") << "as the test left it, not overwritten";
  EXPECT_EQ(ReadFileBytes(TreeArchive()), "old archive");
  const std::string said = Boxes(changed);
  EXPECT_NE(said.find("does not give back the original exactly (did the folder change while it was encrypted?)"),
            std::string::npos) << said;
  EXPECT_NE(said.find("The original folder " + Tree() + " was not deleted; it is as it was."), std::string::npos);

  // Cancelled while deleting: the archive is saved and says what is gone.
  fs::remove(TreeArchive());
  const auto before = Listing(Tree());
  FakeUiPort cancelled;
  frmEncrypt job(cancelled);
  ASSERT_TRUE(job.Initialize(Deleting()));
  cancelled.onPendingMessages = [&](int) {
    if (cancelled.operations.back() == "Deleting:" && !cancelled.files.empty() &&
        cancelled.files.back().find("/") != std::string::npos) {
      job.Cancel();
    }
  };
  job.Run();
  EXPECT_EQ(job.Result(), kCancelled);
  ASSERT_FALSE(cancelled.boxes.empty());
  const std::string& last = cancelled.boxes.back().text;
  // The file in hand when it stopped is named: neither deleted nor as it was.
  EXPECT_EQ(last, TreeArchive() + " was read back and gives the original back exactly.\r"
                  "Deleting the folder was cancelled.\r0 of 4 files in " + Tree() +
                  " were overwritten and deleted; large.txt was partly overwritten; the rest are as they were.");
  EXPECT_TRUE(fs::exists(TreeArchive()));
  FakeUiPort ui2;
  std::string restored;
  ASSERT_EQ(Decrypt(IntoOut(TreeArchive()), ui2, &restored), 0) << Boxes(ui2);
  EXPECT_EQ(Listing(restored), before);
}

TEST_F(FolderArchive, DeletingTheOriginalIsRefusedBeforeAnythingIsWritten) {
  MakeTree();
  const auto refused = [&](const clsParameters& p, const std::string& text, MsgResult answer = MsgResult::OK) {
    FakeUiPort ui;
    ui.Answer(answer);
    EXPECT_EQ(Encrypt(p, ui), 1000);
    ASSERT_EQ(ui.boxes.size(), 1u) << Boxes(ui);
    EXPECT_EQ(ui.boxes[0].text.substr(0, text.size()), text);
    EXPECT_FALSE(fs::exists(p.m_strEncFilePath));
    EXPECT_TRUE(fs::exists(Tree() + "/sub dir/deeper/zero"));
  };
  // A link to the folder: only the folder itself, under its own name.
  fs::create_directory_symlink(Tree(), SandboxDir() + "/Shortcut");
  clsParameters link = Deleting();
  link.m_strFilePath = SandboxDir() + "/Shortcut";
  refused(link, SandboxDir() + "/Shortcut is a symbolic link, so it cannot be deleted securely after encrypting.\r"
                               "Encrypt the folder itself, or turn off deleting the original.");
  // Data that a name outside the folder shows is asked about; No keeps all.
  fs::create_hard_link(Tree() + "/notes.txt", SandboxDir() + "/outside.txt");
  refused(Deleting(), "1 file in " + Tree() + " has other names (hard links) outside it that show the same data.",
          MsgResult::No);
  fs::remove(SandboxDir() + "/outside.txt");
  // A subfolder whose entries may not be removed: nothing is touched.
  if (::geteuid() != 0) {
    ::chmod((Tree() + "/sub dir/deeper").c_str(), 0555);
    refused(Deleting(), "The folder " + Tree() + " cannot be deleted: " + Tree() +
                            "/sub dir/deeper/zero cannot be removed from its folder");
    ::chmod((Tree() + "/sub dir/deeper").c_str(), 0755);
  }
}

}  // namespace
}  // namespace sealvane
