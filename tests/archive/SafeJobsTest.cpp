// SPDX-License-Identifier: GPL-3.0-or-later
// The jobs never lose a file: the same file under two names, failures and
// cancels while replacing, links planted meanwhile, damaged archives, files
// that can run code, files with several names, and the messages of the
// rarer failure paths.
#include <gtest/gtest.h>
#include <zlib.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <sys/resource.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "archive/JobFixtures.h"
#include "sealvane/archive/FileHelpers.h"
#include "sealvane/archive/Status.h"
#include "sealvane/archive/clsArchive.h"
#include "sealvane/archive/frmDecrypt.h"
#include "sealvane/archive/frmEncrypt.h"
#include "sealvane/archive/frmSecureDelete.h"
#include "sealvane/archive/modCommon.h"
#include "sealvane/platform/FileInfo.h"
#include "support/FakeUiPort.h"
#include "support/FileSizeLimit.h"
#include "support/Sandbox.h"
#include "support/Vectors.h"

namespace sealvane {
namespace {

namespace fs = std::filesystem;
using namespace test;

// Encrypts Plain() into Archive() through the job.
void MakeArchive(bool compress, std::size_t size) {
  WriteFileBytes(Plain(), Content(size));
  FakeUiPort ui;
  frmEncrypt job(ui);
  ASSERT_TRUE(job.Initialize(EncryptParameters(compress)));
  job.Run();
  ASSERT_EQ(job.Result(), 0);
}

// Writes an archive of `payload` with a description of the caller's choice.
void WriteArchive(const std::string& path, const clsParameters& params, const clsFileDesc& desc, const Bytes& payload) {
  fs::remove(path);  // opening for writing never truncates
  FakeUiPort ui;
  clsArchive archive(ui);
  ASSERT_EQ(archive.OpenArchive(path, 1), 0);
  ASSERT_EQ(archive.EncryptInit(params, desc), 0);
  for (std::size_t at = 0; at < payload.size();) {
    const std::size_t n = std::min<std::size_t>(4096, payload.size() - at);
    ASSERT_EQ(archive.Encrypt(at + n == payload.size(), static_cast<std::int32_t>(n),
                              std::span<const std::uint8_t>(payload.data() + at, n)),
              0);
    at += n;
  }
  ASSERT_EQ(archive.EncryptDone(), 0);
}

// The compressed stream of `plain`: one framed zlib block per 4096 bytes.
Bytes CompressedStream(const std::string& plain) {
  Bytes stream;
  for (std::size_t at = 0; at < plain.size(); at += 4096) {
    const std::size_t n = std::min<std::size_t>(4096, plain.size() - at);
    uLongf length = compressBound(n);
    Bytes block(length);
    EXPECT_EQ(compress(block.data(), &length, reinterpret_cast<const Bytef*>(plain.data() + at), n), Z_OK);
    Bytes frame(8);
    WriteLongBE(frame, 0, static_cast<std::int32_t>(length));
    WriteLongBE(frame, 4, static_cast<std::int32_t>(n));
    stream.insert(stream.end(), frame.begin(), frame.end());
    stream.insert(stream.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(length));
  }
  return stream;
}

clsFileDesc Description(const std::string& name, std::int32_t size, std::int32_t compSize) {
  clsFileDesc desc;
  desc.m_strFileName = name;
  desc.m_nFileSize = size;
  desc.m_nCompFileSize = compSize;
  return desc;
}

// Runs a decrypt job of `archive` into `target` and returns its result.
std::int32_t Decrypt(const std::string& archive, const std::string& target, FakeUiPort& ui,
                     const std::string& password = kPassword) {
  frmDecrypt job(ui);
  if (!job.Initialize(DecryptParameters(archive, password, target))) return 1000;
  job.Run();
  return job.Result();
}

TEST(SameFile, EitherJobRefusesTheOtherFileUnderAnotherName) {
  MakeArchive(false, 5000);
  fs::create_directory_symlink(SandboxDir(), SandboxDir() + "/linked");
  fs::create_hard_link(Plain(), SandboxDir() + "/plain-link.sva");
  fs::create_hard_link(Archive(), SandboxDir() + "/archive-link.doc");
  const std::string archiveBytes = ReadFileBytes(Archive());
  for (const std::string& alias :
       {SandboxDir() + "/./report.doc", SandboxDir() + "/linked/report.doc", SandboxDir() + "/plain-link.sva"}) {
    SCOPED_TRACE(alias);
    FakeUiPort ui;
    frmEncrypt job(ui);
    clsParameters p = EncryptParameters(false);
    p.m_strEncFilePath = alias;
    EXPECT_FALSE(job.Initialize(p));
    ASSERT_EQ(ui.boxes.size(), 1u) << "refused before any replace question";
    EXPECT_EQ(ui.boxes[0].text, "The encrypted file must not be the file to encrypt.");
    EXPECT_EQ(ReadFileBytes(Plain()), Content(5000));
  }
  for (const std::string& alias :
       {SandboxDir() + "/./report.sva", SandboxDir() + "/linked/report.sva", SandboxDir() + "/archive-link.doc"}) {
    SCOPED_TRACE(alias);
    FakeUiPort ui;
    EXPECT_EQ(Decrypt(Archive(), alias, ui), 1000);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "The file to decrypt to must not be the encrypted file.");
    EXPECT_EQ(ReadFileBytes(Archive()), archiveBytes);
  }
}

TEST(SafeReplacement, DecryptingOverAFileKeepsItOnEveryFailure) {
  MakeArchive(true, 300000);
  const std::string target = SandboxDir() + "/out/report.doc";
  fs::create_directories(SandboxDir() + "/out");
  const std::string old = "the old file, which must survive";
  const auto attempt = [&](const char* what, const std::function<std::int32_t(FakeUiPort&)>& run) {
    SCOPED_TRACE(what);
    WriteFileBytes(target, old);
    FakeUiPort ui;
    ui.Answer(MsgResult::Yes);  // replace it
    EXPECT_NE(run(ui), 0);
    EXPECT_EQ(ReadFileBytes(target), old) << "byte for byte";
    EXPECT_EQ(test::FolderEntries(SandboxDir() + "/out"), std::vector<std::string> {"report.doc"});
    EXPECT_EQ(TempFiles(), 0u);
    return ui.boxes;
  };
  auto boxes = attempt("wrong password", [&](FakeUiPort& ui) { return Decrypt(Archive(), target, ui, "Wrong Horse 99"); });
  EXPECT_EQ(boxes.back().text, "The password is incorrect.");
  attempt("cancel while decompressing", [&](FakeUiPort& ui) {
    frmDecrypt job(ui);
    EXPECT_TRUE(job.Initialize(DecryptParameters(Archive(), kPassword, target)));
    ui.onPendingMessages = [&](int) {
      if (!ui.operations.empty() && ui.operations.back() == "Decompressing:") job.Cancel();
    };
    job.Run();
    return job.Result();
  });
  boxes = attempt("a write that fails", [&](FakeUiPort& ui) {
    const FileSizeLimit limit(64 * 1024);
    return Decrypt(Archive(), target, ui);
  });
  EXPECT_EQ(boxes.back().text, "Failed to decompress file.\rDisk full. Error Number: 61");
}

TEST(SafeReplacement, EncryptingOverAnArchiveKeepsItOnEveryFailure) {
  // Bytes that do not compress, so that the archive outgrows the limit.
  std::string noise(300000, '\0');
  std::uint32_t x = 12345;
  for (char& c : noise) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
  WriteFileBytes(Plain(), noise);
  for (const bool compress : {true, false}) {
    for (const int cancelAt : {0, 2, 40}) {
      SCOPED_TRACE(std::to_string(compress) + "/" + std::to_string(cancelAt));
      WriteFileBytes(Archive(), "old archive");
      FakeUiPort ui;
      ui.Answer(MsgResult::Yes);
      frmEncrypt job(ui);
      ASSERT_TRUE(job.Initialize(EncryptParameters(compress)));
      if (cancelAt != 0) {
        ui.onPendingMessages = [&](int call) {
          if (call == cancelAt) job.Cancel();
        };
        job.Run();
      } else {
        const FileSizeLimit limit(64 * 1024);
        job.Run();
      }
      EXPECT_NE(job.Result(), 0);
      EXPECT_EQ(ReadFileBytes(Archive()), "old archive");
      EXPECT_EQ(TempFiles(), 0u);
    }
  }
}

TEST(SafeReplacement, ALinkPlantedAtTheDestinationIsNeverFollowed) {
  MakeArchive(true, 50000);
  const std::string outside = SandboxDir() + "/outside.txt";
  const std::string target = SandboxDir() + "/decrypted.doc";
  for (const bool existed : {false, true}) {
    SCOPED_TRACE(existed);
    WriteFileBytes(outside, "not yours");
    fs::permissions(outside, fs::perms(0600));
    fs::remove(target);
    if (existed) WriteFileBytes(target, "old");
    FakeUiPort ui;
    if (existed) ui.Answer(MsgResult::Yes);
    frmDecrypt job(ui);
    ASSERT_TRUE(job.Initialize(DecryptParameters(Archive(), kPassword, target)));
    ui.onPendingMessages = [&](int call) {
      if (call != 2) return;
      fs::remove(target);
      fs::create_symlink(outside, target);
    };
    job.Run();
    EXPECT_EQ(ReadFileBytes(outside), "not yours");
    EXPECT_EQ(fs::status(outside).permissions() & fs::perms::all, fs::perms(0600));
    if (existed) {
      // The user agreed to replace that name: the link is replaced, itself.
      EXPECT_EQ(job.Result(), 0);
      EXPECT_FALSE(fs::is_symlink(target));
      EXPECT_EQ(ReadFileBytes(target), Content(50000));
    } else {
      // Something appeared that the user was never asked about: it stays.
      EXPECT_EQ(job.Result(), platform::rt::kFileExists);
      EXPECT_EQ(ui.boxes.back().text, "Failed to save decrypted file.\r" + target + " already exists.");
      EXPECT_TRUE(fs::is_symlink(target));
    }
  }
}

TEST(DamagedArchives, SizesThatDoNotAddUpAndTrailingDataLeaveNothing) {
  const std::string target = SandboxDir() + "/out.doc";
  MakeArchive(false, 10000);
  std::string bytes = ReadFileBytes(Archive());
  WriteFileBytes(Archive(), bytes + "trailing");
  FakeUiPort trailing;
  EXPECT_EQ(Decrypt(Archive(), target, trailing), kDamaged);
  EXPECT_EQ(trailing.boxes.back().text, "The encrypted file is damaged.\rIt holds more data than its file description says.");
  EXPECT_FALSE(fs::exists(target));

  const std::string plain = Content(10000);
  const Bytes stream = CompressedStream(plain);
  clsParameters params = EncryptParameters(true);
  for (const std::int32_t stored : {9000, 11000}) {
    SCOPED_TRACE(stored);
    WriteArchive(Archive(), params, Description("x.doc", stored, static_cast<std::int32_t>(stream.size())), stream);
    FakeUiPort ui;
    EXPECT_EQ(Decrypt(Archive(), target, ui), kDamaged);
    EXPECT_EQ(ui.boxes.back().text, stored < 10000
                                        ? "The encrypted file is damaged.\rIts data expands to more than the file size it records."
                                        : "The encrypted file is damaged.\rIts data expands to less than the file size it records.");
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(TempFiles(), 0u);
  }

  // A block that is not zlib data: a clear message, and nothing left.
  Bytes broken = stream;
  std::fill(broken.begin() + 10, broken.begin() + 30, 0xAB);
  WriteArchive(Archive(), params, Description("x.doc", 10000, static_cast<std::int32_t>(broken.size())), broken);
  FakeUiPort ui;
  EXPECT_NE(Decrypt(Archive(), target, ui), 0);
  EXPECT_EQ(ui.boxes.back().text, "Failed to decompress file.\rThe compressed data is damaged.");
  EXPECT_FALSE(fs::exists(target));
}

TEST(DamagedArchives, ASizeWrongByLessThanThePaddingIsRefused) {
  // 10003 bytes end in a padded final block of 8 bytes: a recorded size of
  // 10001 or 10006 lies inside the same block and must still be refused.
  const std::string target = SandboxDir() + "/out.doc";
  const std::string plain = Content(10003);
  const Bytes payload(plain.begin(), plain.end());
  for (const std::int32_t stored : {10001, 10002, 10004, 10006}) {
    SCOPED_TRACE(stored);
    WriteArchive(Archive(), EncryptParameters(false), Description("x.doc", stored, 0), payload);
    FakeUiPort ui;
    const std::int32_t result = Decrypt(Archive(), target, ui);
    EXPECT_NE(result, 0);
    EXPECT_NE(result, 1000) << "refused by the job, not before it";
    EXPECT_FALSE(ui.boxes.empty());
    EXPECT_FALSE(fs::exists(target));
  }
}

TEST(DamagedArchives, ABlockClaimingMoreThanAPieceIsDamage) {
  // A compressed block says it expands to 4097 bytes (and does): the writer
  // never makes one, so the stream is damaged.
  const std::string target = SandboxDir() + "/out.doc";
  const std::string plain = Content(4097);
  uLongf length = compressBound(plain.size());
  Bytes block(length);
  ASSERT_EQ(compress(block.data(), &length, reinterpret_cast<const Bytef*>(plain.data()), plain.size()), Z_OK);
  Bytes stream(8);
  WriteLongBE(stream, 0, static_cast<std::int32_t>(length));
  WriteLongBE(stream, 4, 4097);
  stream.insert(stream.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(length));
  WriteArchive(Archive(), EncryptParameters(true), Description("x.doc", 4097, static_cast<std::int32_t>(stream.size())),
               stream);
  FakeUiPort ui;
  EXPECT_NE(Decrypt(Archive(), target, ui), 0);
  ASSERT_FALSE(ui.boxes.empty());
  EXPECT_EQ(ui.boxes.back().text.rfind("Failed to decompress file.", 0), 0u) << ui.boxes.back().text;
  EXPECT_FALSE(fs::exists(target));
}

TEST(RareFailures, TheLibraryFailingBeforeTheLastPieceIsNotAWrongPassword) {
  // "The password is incorrect." is the final piece's verdict only; a
  // library that fails on an earlier one is reported as it failed.
  MakeArchive(false, 100000);
  ::setenv("SEALVANE_REAL_CIPHER_LIB", REAL_CIPHER_LIB, 1);
  ::setenv("SEALVANE_FAIL_DECRYPT_AT", "3", 1);
  CipherLibrary failing(FAILING_CIPHER_LIB);
  FakeUiPort ui;
  frmDecrypt job(ui, failing);
  const std::string target = SandboxDir() + "/out.doc";
  ASSERT_TRUE(job.Initialize(DecryptParameters(Archive(), kPassword, target)));
  job.Run();
  ::unsetenv("SEALVANE_FAIL_DECRYPT_AT");
  EXPECT_NE(job.Result(), 0);
  ASSERT_FALSE(ui.boxes.empty());
  EXPECT_NE(ui.boxes.back().text.find("8009000f"), std::string::npos) << ui.boxes.back().text;
  for (const auto& box : ui.boxes) EXPECT_EQ(box.text.find("password is incorrect"), std::string::npos) << box.text;
  EXPECT_FALSE(fs::exists(target));
}

TEST(OpenAfter, AFileThatCanRunCodeIsOpenedOnlyWhenTheUserSaysSo) {
  FakeDesktop("editor.desktop");
  WriteFileBytes(Plain(), "[Desktop Entry]\nExec=sh -c 'echo owned'\n");
  clsParameters p = EncryptParameters(false);
  p.m_bOpenFile = true;
  FakeUiPort maker;
  frmEncrypt encrypt(maker);
  ASSERT_TRUE(encrypt.Initialize(p));
  encrypt.Run();
  const std::string log = SandboxDir() + "/opened.log";
  for (const MsgResult answer : {MsgResult::No, MsgResult::Yes}) {
    const std::string target = SandboxDir() + "/launcher.desktop";
    fs::remove(target);
    FakeUiPort ui;
    ui.Answer(answer);
    EXPECT_EQ(Decrypt(Archive(), target, ui), 0);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].title, "Open File?");
    EXPECT_EQ(ui.boxes[0].topic, kTopicRunsCode);
    EXPECT_EQ(ui.boxes[0].defaultButton, 2);
    EXPECT_EQ(ui.boxes[0].text, target +
                                    " can run programs on this computer (its name ends in .desktop).\r"
                                    "Opening it runs what whoever made the encrypted file put into it.\r"
                                    "Do you want to open it?");
    EXPECT_TRUE(fs::exists(target)) << "the file is kept either way";
    if (answer == MsgResult::Yes) {
      for (int i = 0; i < 500 && !fs::exists(log); ++i) usleep(20000);
      EXPECT_TRUE(fs::exists(log));
    } else {
      EXPECT_FALSE(fs::exists(log));
    }
  }
  EXPECT_EQ(WhyFileCanRunCode(Plain()), "it starts as a program or script does") << "by content, whatever the name";
  WriteFileBytes(SandboxDir() + "/script.txt", "#!/bin/sh\necho owned\n");
  EXPECT_EQ(WhyFileCanRunCode(SandboxDir() + "/script.txt"), "it starts as a program or script does");
  WriteFileBytes(SandboxDir() + "/notes.txt", "just text");
  EXPECT_EQ(WhyFileCanRunCode(SandboxDir() + "/notes.txt"), std::nullopt);
  fs::permissions(SandboxDir() + "/notes.txt", fs::perms(0755));
  EXPECT_EQ(WhyFileCanRunCode(SandboxDir() + "/notes.txt"), "it is marked as a program");
  FakeDesktop("", "application/x-shellscript");
  fs::permissions(SandboxDir() + "/notes.txt", fs::perms(0644));
  EXPECT_EQ(WhyFileCanRunCode(SandboxDir() + "/notes.txt"), "its type is application/x-shellscript");
}

TEST(Attributes, HiddenAndSystemBitsTravelWithTheFile) {
  WriteFileBytes(Plain(), Content(100));
  if (::setxattr(Plain().c_str(), "user.DOSATTRIB", "0x6", 3, 0) != 0) {
    GTEST_SKIP() << "this file system keeps no user attributes (user.DOSATTRIB): hidden and system bits untested";
  }
  FakeUiPort ui;
  frmEncrypt encrypt(ui);
  ASSERT_TRUE(encrypt.Initialize(EncryptParameters(true)));
  encrypt.Run();
  {
    clsArchive reader(ui);
    clsParameters p;
    clsFileDesc desc;
    ASSERT_EQ(reader.OpenArchive(Archive(), 0), 0);
    ASSERT_EQ(reader.ReadParameters(p, desc), 0);
    EXPECT_EQ(desc.m_nAttributes, 6) << "recorded";
  }
  const std::string target = SandboxDir() + "/restored.doc";
  EXPECT_EQ(Decrypt(Archive(), target, ui), 0);
  EXPECT_EQ(platform::GetAttributes(target), platform::FILE_ATTRIBUTE_HIDDEN | platform::FILE_ATTRIBUTE_SYSTEM);
}

TEST(Wiping, FilesAreReallyOverwrittenBeforeTheyGo) {
  const std::string path = SandboxDir() + "/wipe.txt";
  for (const bool secureDelete : {false, true}) {
    SCOPED_TRACE(secureDelete);
    WriteFileBytes(path, Content(10000));
    const int before = ::open(path.c_str(), O_RDONLY);  // still sees the file's blocks afterwards
    ASSERT_GE(before, 0);
    if (secureDelete) {
      FakeUiPort ui;
      ui.Answer(MsgResult::Yes);
      frmSecureDelete job(ui);
      ASSERT_TRUE(job.Initialize(path));
      job.Run();
      EXPECT_EQ(job.Result(), 0);
    } else {
      EXPECT_EQ(WipeFile(path), 0);
    }
    EXPECT_FALSE(fs::exists(path));
    std::string after(10001, '\0');
    const ssize_t n = ::pread(before, after.data(), after.size(), 0);
    ::close(before);
    EXPECT_EQ(n, 10000) << "the length is kept";
    after.resize(10000);
    std::size_t same = 0;
    for (std::size_t i = 0; i < after.size(); ++i) same += after[i] == Content(10000)[i] ? 1 : 0;
    EXPECT_LT(same, 200u) << "the content was overwritten with random bytes";
  }
}

TEST(SecureDelete, FilesWithOtherNamesAreDestroyedOnlyWhenTheUserSaysSo) {
  const std::string path = SandboxDir() + "/shared.txt";
  const std::string other = SandboxDir() + "/other.txt";
  WriteFileBytes(path, Content(5000));
  fs::create_hard_link(path, other);
  FakeUiPort ui;
  ui.Answer(MsgResult::Yes);
  ui.Answer(MsgResult::No);
  frmSecureDelete declined(ui);
  EXPECT_FALSE(declined.Initialize(path));
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].text, path +
                                  " has 1 other name (hard links) that show the same data.\r"
                                  "Overwriting it destroys the data under that name too.\r"
                                  "Do you want to overwrite it?");
  EXPECT_EQ(ui.boxes[1].topic, kTopicSharedData);
  EXPECT_EQ(ui.boxes[1].defaultButton, 2);
  EXPECT_EQ(ReadFileBytes(other), Content(5000));

  ui.Answer(MsgResult::Yes);
  ui.Answer(MsgResult::Yes);
  frmSecureDelete accepted(ui);
  ASSERT_TRUE(accepted.Initialize(path));
  accepted.Run();
  EXPECT_EQ(accepted.Result(), 0);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ(ReadFileBytes(other).size(), 5000u);
  EXPECT_NE(ReadFileBytes(other), Content(5000));

}

TEST(SecureDelete, AFolderGoesWithEverythingInItAfterOneQuestion) {
  const std::string folder = SandboxDir() + "/Old Letters";
  fs::create_directories(folder + "/2019/empty");
  WriteFileBytes(folder + "/a.txt", Content(3000));
  WriteFileBytes(folder + "/2019/b.txt", Content(9000));
  ::chmod((folder + "/2019/b.txt").c_str(), 0400);
  ASSERT_EQ(::mkfifo((folder + "/2019/pipe").c_str(), 0600), 0);
  fs::create_symlink(SandboxDir() + "/outside.txt", folder + "/link out");
  WriteFileBytes(SandboxDir() + "/outside.txt", "not in the folder");
  const int before = ::open((folder + "/2019/b.txt").c_str(), O_RDONLY);  // still sees the old blocks
  ASSERT_GE(before, 0);

  // No keeps everything.
  FakeUiPort declined;
  declined.Answer(MsgResult::No);
  frmSecureDelete kept(declined);
  EXPECT_FALSE(kept.Initialize(folder));
  ASSERT_EQ(declined.boxes.size(), 1u);
  const std::string question = "Are you sure you want to delete the folder " + folder +
                               " and everything in it (2 files, 12 KB)?\r";
  EXPECT_EQ(declined.boxes[0].text.substr(0, question.size()), question);
  EXPECT_EQ(declined.boxes[0].defaultButton, 2);
  EXPECT_EQ(ReadFileBytes(folder + "/a.txt"), Content(3000));

  FakeUiPort ui;
  ui.Answer(MsgResult::Yes);
  frmSecureDelete job(ui);
  ASSERT_TRUE(job.Initialize(folder));
  EXPECT_EQ(job.Bytes(), 12000);
  EXPECT_EQ(ui.files.back(), "Old Letters");
  job.Run();
  EXPECT_EQ(job.Result(), 0);
  EXPECT_FALSE(fs::exists(folder)) << "files, the pipe, the link, empty and read-only ones";
  EXPECT_EQ(ReadFileBytes(SandboxDir() + "/outside.txt"), "not in the folder") << "a link is never followed";
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].text.rfind(folder + " (2 files) was overwritten and deleted", 0), 0u) << ui.boxes[1].text;
  std::string after(9000, '\0');
  EXPECT_EQ(::pread(before, after.data(), after.size(), 0), 9000);
  ::close(before);
  EXPECT_NE(after, Content(9000)) << "overwritten before it went";

  // A link to a folder is not followed into it.
  fs::create_directories(SandboxDir() + "/kept");
  WriteFileBytes(SandboxDir() + "/kept/c.txt", "kept");
  fs::create_directory_symlink(SandboxDir() + "/kept", SandboxDir() + "/to kept");
  FakeUiPort link;
  frmSecureDelete viaLink(link);
  EXPECT_FALSE(viaLink.Initialize(SandboxDir() + "/to kept"));
  EXPECT_EQ(link.boxes.back().text, SandboxDir() +
                                        "/to kept is a symbolic link to a folder.  Secure Delete does not follow "
                                        "links into folders: please specify the folder itself.");
  EXPECT_EQ(ReadFileBytes(SandboxDir() + "/kept/c.txt"), "kept");
}

TEST(SizeLimit, HeaderAndPaddingCountBeforeAnythingIsWritten) {
  // Sparse files: they take no space.
  const auto initialize = [&](std::int64_t size, bool compress) {
    WriteFileBytes(Plain(), "");
    fs::resize_file(Plain(), static_cast<std::uintmax_t>(size));
    FakeUiPort ui;
    frmEncrypt job(ui);
    const bool ok = job.Initialize(EncryptParameters(compress));
    if (!ok) {
      EXPECT_EQ(ui.boxes.back().text, kFileTooLarge);
    }
    return ok;
  };
  const std::int64_t max = std::numeric_limits<std::int32_t>::max();
  // Header 48 + 4 + the description (4 + 11 + 28) = 95 bytes; the final
  // piece is padded by 1 to 8 bytes. max - 96 bytes make exactly max.
  EXPECT_FALSE(initialize(max, false));
  EXPECT_FALSE(initialize(max - 95, false));
  EXPECT_TRUE(initialize(max - 96, false));
  EXPECT_TRUE(initialize(max - 50, true)) << "with compression the stream decides, as it is made";
  EXPECT_FALSE(fs::exists(Archive()));
  EXPECT_EQ(clsArchive::StreamSize(1), 8);
  EXPECT_EQ(clsArchive::StreamSize(8), 16);
  EXPECT_EQ(clsArchive::StreamSize(4097), 4104);
}

// Archives of a header up to its first damaged field.
Bytes Header(std::int32_t version, std::int32_t level, std::int32_t cipher, bool password, std::int32_t n,
             const char* identifier = "SealvaneArchive") {
  Bytes bytes(48, 0);
  std::memcpy(bytes.data(), identifier, std::strlen(identifier));
  WriteLongBE(bytes, 16, version);
  WriteLongBE(bytes, 20, level);
  WriteLongBE(bytes, 24, cipher);
  WriteLongBE(bytes, 40, password ? -1 : 0);
  WriteLongBE(bytes, 44, n);
  const Bytes rest = {0, 0, 0, 1, 0, 0, 0, 2, 'x', 0};
  bytes.insert(bytes.end(), rest.begin(), rest.end());
  bytes.resize(bytes.size() + 28, 0);
  return bytes;
}

TEST(ArchiveReader, EachFieldIsCheckedInOrder) {
  const auto read = [](const Bytes& bytes) {
    WriteFileBytes(Archive(), std::string(bytes.begin(), bytes.end()));
    FakeUiPort ui;
    clsArchive archive(ui);
    EXPECT_EQ(archive.OpenArchive(Archive(), 0), 0);
    clsParameters p;
    clsFileDesc d;
    return archive.ReadParameters(p, d);
  };
  EXPECT_EQ(read(Header(1, 3, 5, true, 0)), kOk);
  EXPECT_EQ(read(Header(1, 2, 1, true, 0)), kOk) << "level 2 passes the check";
  EXPECT_EQ(read(Header(1, 0, 1, true, 0)), kBadProviderLevel);
  EXPECT_EQ(read(Header(1, 4, 1, true, 0)), kBadProviderLevel);
  EXPECT_EQ(read(Header(1, 3, 0, true, 0)), kBadCipherNumber);
  EXPECT_EQ(read(Header(1, 3, 6, true, 0)), kBadCipherNumber);
  // The first failing check decides.
  EXPECT_EQ(read(Header(2, 0, 0, true, 0, "SealvaneArchivX")), kNotAnArchive);
  EXPECT_EQ(read(Header(2, 0, 0, true, 0)), kUnknownVersion);
  EXPECT_EQ(read(Header(1, 0, 0, true, 0)), kBadProviderLevel);
  EXPECT_EQ(read(Header(1, 3, 5, true, 7)), kOk) << "a password archive reads no access list";
  EXPECT_EQ(read(Header(1, 3, 5, false, 0)), platform::rt::kSubscriptOutOfRange) << "no access list in digital-ID mode";
}

TEST(RareFailures, MissingExportsFailTheOperationThatNeedsThem) {
  CipherLibrary partial(PARTIAL_CIPHER_LIB);
  WriteFileBytes(Plain(), Content(100));
  FakeUiPort ui;
  frmEncrypt encrypt(ui, partial);
  ASSERT_TRUE(encrypt.Initialize(EncryptParameters(true)));
  encrypt.Run();
  EXPECT_EQ(encrypt.Result(), 453);
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[0].text, "Failed to initialize for encrypting.\rSpecified DLL function not found: SLEncryptInit. Error Number: 453");
  EXPECT_EQ(ui.boxes[1].text, "Failed to cleanup for encrypting.\rSpecified DLL function not found: SLEncryptDone. Error Number: 453");
  EXPECT_FALSE(fs::exists(Archive()));
  EXPECT_EQ(TempFiles(), 0u);

  MakeArchive(false, 100);
  FakeUiPort ui2;
  frmDecrypt decrypt(ui2, partial);
  ASSERT_TRUE(decrypt.Initialize(DecryptParameters(Archive(), kPassword, SandboxDir() + "/x.doc")));
  decrypt.Run();
  ASSERT_EQ(ui2.boxes.size(), 2u);
  EXPECT_EQ(ui2.boxes[0].text, "Failed to initialize for decrypting.\rSpecified DLL function not found: SLDecryptInit. Error Number: 453");
  EXPECT_EQ(ui2.boxes[1].text, "Failed to cleanup for decrypting.\rSpecified DLL function not found: SLDecryptDone. Error Number: 453");
  EXPECT_FALSE(fs::exists(SandboxDir() + "/x.doc"));

  FakeUiPort ui3;
  ui3.Answer(MsgResult::Yes);
  frmSecureDelete shred(ui3, partial);
  ASSERT_TRUE(shred.Initialize(Plain()));
  shred.Run();
  ASSERT_EQ(ui3.boxes.size(), 3u);
  EXPECT_EQ(ui3.boxes[1].text, "Failed to Secure Delete file.\rSpecified DLL function not found: SLGenRandomInit. Error Number: 453");
  EXPECT_EQ(ui3.boxes[2].text, "Failed to delete file.  Ensure it is not locked by another application.");
  EXPECT_EQ(ReadFileBytes(Plain()), Content(100)) << "untouched";
}

TEST(RareFailures, RecordsAndQuestionsOfTheJobs) {
  // A record that does not describe the archive (it changed since it was
  // read) is refused.
  MakeArchive(false, 100);
  clsParameters p = DecryptParameters(Archive(), kPassword, SandboxDir() + "/x.doc");
  p.m_eAlg = 2;
  FakeUiPort ui2;
  frmDecrypt decrypt(ui2);
  ASSERT_TRUE(decrypt.Initialize(p));
  decrypt.Run();
  EXPECT_EQ(ui2.boxes.back().text, "Failed to read encrypted file parameters.");
  EXPECT_FALSE(fs::exists(SandboxDir() + "/x.doc"));

  // A name longer than the folder takes is said to be too long.
  const std::string longName = SandboxDir() + "/" + std::string(300, 'n');
  FakeUiPort ui4;
  frmDecrypt tooLong(ui4);
  EXPECT_FALSE(tooLong.Initialize(DecryptParameters(Archive(), kPassword, longName)));
  EXPECT_EQ(ui4.boxes.back().text, "Failed to open file.\rThe name " + std::string(300, 'n') + " is too long for its folder.");

  // Declining to replace leaves the file and shows the window not at all.
  WriteFileBytes(SandboxDir() + "/x.doc", "keep");
  FakeUiPort ui3;
  ui3.Answer(MsgResult::No);
  frmDecrypt declined(ui3);
  EXPECT_FALSE(declined.Initialize(DecryptParameters(Archive(), kPassword, SandboxDir() + "/x.doc")));
  ASSERT_EQ(ui3.boxes.size(), 1u);
  EXPECT_EQ(ui3.boxes[0].title, "Replace File?");
  EXPECT_EQ(ReadFileBytes(SandboxDir() + "/x.doc"), "keep");
}

TEST(RareFailures, AnArchiveCutWhileDecryptingCannotGiveItsProperties) {
  MakeArchive(true, 100000);
  const std::string target = SandboxDir() + "/x.doc";
  FakeUiPort ui;
  frmDecrypt job(ui);
  ASSERT_TRUE(job.Initialize(DecryptParameters(Archive(), kPassword, target)));
  ui.onPendingMessages = [&](int) {
    if (!ui.operations.empty() && ui.operations.back() == "Decompressing:") fs::resize_file(Archive(), 20);
  };
  job.Run();
  EXPECT_EQ(ui.boxes.back().text, "Failed to read encrypted file parameters.");
  EXPECT_EQ(ReadFileBytes(target), Content(100000)) << "the complete file is kept";
}

TEST(StoredTimes, ExtremeTimesAreRestoredWithoutOverflow) {
  const std::string plain = "x";
  clsParameters params = EncryptParameters(false);
  for (const std::int64_t t : {std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max()}) {
    clsFileDesc desc = Description("t.doc", 1, 0);
    FileTimeToBytes(desc.m_varCreateTime, t);
    FileTimeToBytes(desc.m_varModifyTime, t);
    WriteArchive(Archive(), params, desc, Bytes(plain.begin(), plain.end()));
    const std::string target = SandboxDir() + "/t" + std::to_string(t < 0) + ".doc";
    FakeUiPort ui;
    EXPECT_EQ(Decrypt(Archive(), target, ui), 0);
    EXPECT_EQ(ReadFileBytes(target), plain);
  }
}

}  // namespace
}  // namespace sealvane
