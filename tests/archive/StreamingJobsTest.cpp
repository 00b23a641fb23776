// SPDX-License-Identifier: GPL-3.0-or-later
// The one-pass jobs: compression on worker threads gives archives byte for
// byte as before, whatever the number of workers; nothing is written outside
// the destination's folder; Cancel is heard at once and leaves no thread
// and no file behind; a worker's failure and a failing write are each
// reported once; the 2 GiB limit is refused as soon as the stream outgrows
// it; and a compressed archive tells a wrong password from damage.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>

#include "archive/IndependentArchive.h"
#include "archive/JobFixtures.h"
#include "sealvane/archive/Status.h"
#include "sealvane/archive/frmDecrypt.h"
#include "sealvane/archive/frmEncrypt.h"
#include "sealvane/archive/modCommon.h"
#include "support/FakeUiPort.h"
#include "support/FileSizeLimit.h"
#include "support/Sandbox.h"
#include "support/Vectors.h"

namespace sealvane {
namespace {

namespace fs = std::filesystem;
using namespace test;
using Clock = std::chrono::steady_clock;

// Bytes no compressor shrinks.
std::string Noise(std::size_t size, std::uint32_t seed = 7) {
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
  return bytes;
}

// Text that compresses about as well as prose: words from a small list in
// an irregular order.
std::string Prose(std::size_t size) {
  static const char* const kWords[] = {"the ",    "archive ", "of ",      "a ",       "report ", "and ",
                                       "budget ", "meeting ", "figures ", "in ",      "quarter ", "is ",
                                       "sent. ",  "please ",  "review ",  "private ", "\n",       "to "};
  std::string text;
  std::uint32_t x = 1;
  while (text.size() < size) text += kWords[((x = x * 1103515245u + 12345u) >> 16) % 18];
  text.resize(size);
  return text;
}

// The compression workers running in this process (they carry this name).
std::size_t Workers() {
  std::size_t n = 0;
  for (const auto& task : fs::directory_iterator("/proc/self/task")) {
    if (ReadFileBytes(task.path().string() + "/comm") == "sealvane-work\n") ++n;
  }
  return n;
}

std::int32_t Encrypt(FakeUiPort& ui, unsigned workers, bool compress = true, const std::string& password = kPassword) {
  frmEncrypt job(ui);
  job.SetWorkers(workers);
  clsParameters p = EncryptParameters(compress, 1, 2);
  p.m_strPassword = password;
  if (!job.Initialize(p)) return 1000;
  job.Run();
  return job.Result();
}

std::int32_t Decrypt(FakeUiPort& ui, const std::string& target, const std::string& password = kPassword) {
  frmDecrypt job(ui);
  if (!job.Initialize(DecryptParameters(Archive(), password, target))) return 1000;
  job.Run();
  return job.Result();
}

// A user whose every step is timed: when Cancel was pressed and when the
// job reached "Cleaning up".
class TimedUi : public FakeUiPort {
 public:
  void ShowOperation(const std::string& text) override {
    FakeUiPort::ShowOperation(text);
    if (text == "Cleaning up") cleanedUp = Clock::now();
  }
  Clock::time_point cancelled {};
  Clock::time_point cleanedUp {};
};

TEST(StreamingJobs, ArchivesAreByteIdenticalWhateverTheWorkers) {
  fs::create_directories(SandboxDir() + "/out");
  // Text, random bytes, a file whose last piece is one byte, and one that
  // fills many runs of the workers.
  const std::vector<std::pair<const char*, std::string>> inputs = {
      {"text", Prose(300000)}, {"random", Noise(200000)}, {"4097", Prose(4097)}, {"1", "x"}, {"runs", Prose(1500001)}};
  for (const auto& [what, plain] : inputs) {
    SCOPED_TRACE(what);
    WriteFileBytes(Plain(), plain);
    // The independent writer: every block is what compress() makes of its
    // piece, the sizes as the layout gives them, the stream under the
    // password's key.
    Bytes expected = RawPasswordArchive(2, kPassword, ToBytes(plain), true, "report.doc");
    for (const unsigned workers : {1u, 4u}) {
      SCOPED_TRACE(workers);
      fs::remove(Archive());
      FakeUiPort ui;
      ASSERT_EQ(Encrypt(ui, workers), 0);
      const Bytes archive = ToBytes(ReadFileBytes(Archive()));
      ASSERT_EQ(archive.size(), expected.size());
      // The times are the file's own (its creation time cannot be set).
      const std::size_t times = 48 + 4 + 4 + 11;
      std::copy_n(archive.begin() + static_cast<std::ptrdiff_t>(times), 16,
                  expected.begin() + static_cast<std::ptrdiff_t>(times));
      EXPECT_TRUE(archive == expected) << "byte for byte";
      EXPECT_EQ(ui.operations, (std::vector<std::string> {"", "Compressing:", "Encrypting:", "Cleaning up", "Done"}));
      EXPECT_EQ(ui.progress.back(), 100);
    }
    FakeUiPort ui;
    ASSERT_EQ(Decrypt(ui, Restored()), 0);
    EXPECT_EQ(ReadFileBytes(Restored()), plain);
    EXPECT_EQ(ui.operations, (std::vector<std::string> {"", "Decrypting:", "Decompressing:", "Cleaning up", "Done"}));
    fs::remove(Restored());
  }
}

TEST(StreamingJobs, NothingIsWrittenOutsideTheDestination) {
  fs::create_directories(SandboxDir() + "/out");
  // The temporary folder is watched for any event at all, and no open file
  // of the process may lie in it (an unnamed file shows in /proc only).
  const std::string watched = SandboxDir() + "/watched-tmp";
  fs::create_directories(watched);
  ::setenv("TMPDIR", watched.c_str(), 1);
  const int inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(inotify, 0);
  ASSERT_GE(::inotify_add_watch(inotify, watched.c_str(), IN_ALL_EVENTS), 0);
  std::vector<std::string> openThere;
  const auto look = [&](int) {
    for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
      std::error_code ec;
      const std::string target = fs::read_symlink(fd.path(), ec).string();
      if (!ec && target.rfind(watched, 0) == 0) openThere.push_back(target);
    }
  };
  WriteFileBytes(Plain(), Prose(600000));
  FakeUiPort ui;
  ui.onPendingMessages = look;
  frmEncrypt encrypt(ui);
  ASSERT_TRUE(encrypt.Initialize(EncryptParameters(true)));
  encrypt.Run();
  ASSERT_EQ(encrypt.Result(), 0);
  FakeUiPort ui2;
  ui2.onPendingMessages = look;
  ASSERT_EQ(Decrypt(ui2, Restored()), 0);
  EXPECT_EQ(ReadFileBytes(Restored()), Prose(600000));
  char events[4096];
  EXPECT_LT(::read(inotify, events, sizeof(events)), 0) << "something was done in the temporary folder";
  ::close(inotify);
  EXPECT_TRUE(openThere.empty()) << openThere.front();
  EXPECT_TRUE(FolderEntries(watched).empty());

  // A temporary folder that is not there changes nothing.
  ::setenv("TMPDIR", (SandboxDir() + "/no/such/folder").c_str(), 1);
  fs::remove(Archive());
  fs::remove(Restored());
  FakeUiPort ui3;
  ASSERT_EQ(Encrypt(ui3, 2), 0);
  ASSERT_EQ(Decrypt(ui3, Restored()), 0);
  EXPECT_EQ(ReadFileBytes(Restored()), Prose(600000));
}

TEST(StreamingJobs, CancelInTheMiddleIsHeardAtOnceAndLeavesNothing) {
  WriteFileBytes(Plain(), Prose(64 << 20));
  // A loaded machine may hold the job thread up once; a job that does not
  // listen is slow every time.
  const auto cancelHalfWay = [&](const std::function<std::int32_t(TimedUi&, std::function<void()>)>& run,
                                 const std::string& destination) {
    double best = 1e9;
    for (int attempt = 0; attempt < 3 && best > 100; ++attempt) {
      TimedUi ui;
      std::size_t progressAtCancel = 0;
      const std::int32_t result = run(ui, [&] {
        ui.cancelled = Clock::now();
        progressAtCancel = ui.progress.size();
      });
      EXPECT_EQ(result, kCancelled);
      EXPECT_EQ(ui.progress.size(), progressAtCancel) << "nothing more was done after Cancel";
      EXPECT_FALSE(fs::exists(destination));
      EXPECT_EQ(FolderEntries(SandboxDir() + "/out").size(), 0u);
      EXPECT_EQ(Workers(), 0u) << "a worker is still running";
      EXPECT_TRUE(ui.boxes.empty());
      best = std::min(best, std::chrono::duration<double, std::milli>(ui.cleanedUp - ui.cancelled).count());
    }
    EXPECT_LT(best, 100.0) << "milliseconds from Cancel to cleaning up";
  };
  fs::create_directories(SandboxDir() + "/out");
  const std::string archive = SandboxDir() + "/out/report.sva";
  cancelHalfWay(
      [&](TimedUi& ui, const std::function<void()>& pressed) {
        frmEncrypt job(ui);
        job.SetWorkers(4);
        clsParameters p = EncryptParameters(true);
        p.m_strEncFilePath = archive;
        EXPECT_TRUE(job.Initialize(p));
        ui.onPendingMessages = [&](int) {
          if (!ui.progress.empty() && ui.progress.back() >= 50 && ui.cancelled == Clock::time_point {}) {
            job.Cancel();
            pressed();
            EXPECT_EQ(Workers(), 3u) << "three workers beside the job's own thread";
          }
        };
        job.Run();
        return job.Result();
      },
      archive);

  FakeUiPort maker;
  ASSERT_EQ(Encrypt(maker, 2), 0);
  const std::string target = SandboxDir() + "/out/report.doc";
  cancelHalfWay(
      [&](TimedUi& ui, const std::function<void()>& pressed) {
        frmDecrypt job(ui);
        EXPECT_TRUE(job.Initialize(DecryptParameters(Archive(), kPassword, target)));
        ui.onPendingMessages = [&](int) {
          if (!ui.progress.empty() && ui.progress.back() >= 50 && ui.cancelled == Clock::time_point {}) {
            job.Cancel();
            pressed();
          }
        };
        job.Run();
        return job.Result();
      },
      target);
}

TEST(StreamingJobs, AWorkersFailureAndAFailingWriteAreEachReportedOnce) {
  fs::create_directories(SandboxDir() + "/out");
  WriteFileBytes(Plain(), Noise(2 << 20));
  ZlibLibrary failing(FAILING_ZLIB);
  // From the 40th piece on every worker fails.
  ::setenv("SEALVANE_TEST_DEFLATE_FAILS_AT", "40", 1);
  FakeUiPort ui;
  frmEncrypt job(ui, CipherLibrary::Default(), failing);
  job.SetWorkers(4);
  ASSERT_TRUE(job.Initialize(EncryptParameters(true)));
  job.Run();
  ::unsetenv("SEALVANE_TEST_DEFLATE_FAILS_AT");
  EXPECT_EQ(job.Result(), Z_STREAM_ERROR);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Failed to compress file.\rThe compression library reports error -2.");
  EXPECT_FALSE(fs::exists(Archive()));
  EXPECT_EQ(Workers(), 0u);

  FakeUiPort ui2;
  {
    const FileSizeLimit limit(256 * 1024);
    EXPECT_EQ(Encrypt(ui2, 4), platform::rt::kDiskFull);
  }
  ASSERT_EQ(ui2.boxes.size(), 1u);
  EXPECT_EQ(ui2.boxes[0].text, "Failed to encrypt.\rDisk full. Error Number: 61");
  EXPECT_FALSE(fs::exists(Archive()));

  // Decrypting into a disk that fills up: the expansion's failure.
  FakeUiPort maker;
  ASSERT_EQ(Encrypt(maker, 2), 0);
  FakeUiPort ui3;
  {
    const FileSizeLimit limit(256 * 1024);
    EXPECT_EQ(Decrypt(ui3, Restored()), platform::rt::kDiskFull);
  }
  ASSERT_EQ(ui3.boxes.size(), 1u);
  EXPECT_EQ(ui3.boxes[0].text, "Failed to decompress file.\rDisk full. Error Number: 61");
  EXPECT_FALSE(fs::exists(Restored()));
  EXPECT_EQ(Workers(), 0u);
}

TEST(StreamingJobs, TheSizeLimitIsRefusedAsSoonAsTheStreamCannotFit) {
  // Incompressible data that would make an archive of about 4 MiB, against
  // a limit of 1 MiB.
  WriteFileBytes(Plain(), Noise(4 << 20));
  FakeUiPort ui;
  frmEncrypt job(ui);
  job.SetWorkers(2);
  job.SetMaxArchiveSize(1 << 20);
  ASSERT_TRUE(job.Initialize(EncryptParameters(true)));
  job.Run();
  EXPECT_EQ(job.Result(), platform::rt::kOverflow);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text,
            "The file is too large to be compressed.  The encrypted file would be larger than 2 GB.\r"
            "Please turn compression off or specify a smaller file.");
  EXPECT_LE(*std::max_element(ui.progress.begin(), ui.progress.end()), 30) << "refused once 1 MiB was passed";
  EXPECT_FALSE(fs::exists(Archive()));
}

TEST(StreamingJobs, ACompressedArchiveTellsAWrongPasswordFromDamage) {
  fs::create_directories(SandboxDir() + "/out");
  // Many pieces: under a wrong key the first block's lengths are garbage
  // long before the final piece shows that the key is wrong.
  WriteFileBytes(Plain(), Noise(100000));
  FakeUiPort maker;
  ASSERT_EQ(Encrypt(maker, 2), 0);
  FakeUiPort ui;
  EXPECT_EQ(Decrypt(ui, Restored(), "Wrong Horse 99"), kLibraryFailed);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "The password is incorrect.");
  EXPECT_FALSE(fs::exists(Restored()));

  // The right key over a stream whose second block claims too much: the
  // expansion's own message, once the whole stream is decrypted.
  const std::string plain = Prose(20000);
  Bytes stream;
  for (std::size_t at = 0; at < plain.size(); at += 4096) {
    const std::size_t n = std::min<std::size_t>(4096, plain.size() - at);
    uLongf c = compressBound(n);
    Bytes block(8 + c);
    ASSERT_EQ(compress(block.data() + 8, &c, reinterpret_cast<const Bytef*>(plain.data() + at), n), Z_OK);
    WriteLongBE(block, 0, static_cast<std::int32_t>(c));
    WriteLongBE(block, 4, at == 4096 ? 5000 : static_cast<std::int32_t>(n));
    stream.insert(stream.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(8 + c));
  }
  FakeUiPort writer;
  clsArchive archive(writer);
  clsParameters p = EncryptParameters(true, 1, 2);
  clsFileDesc desc;
  desc.m_strFileName = "report.doc";
  desc.m_nFileSize = static_cast<std::int32_t>(plain.size());
  desc.m_nCompFileSize = static_cast<std::int32_t>(stream.size());
  fs::remove(Archive());
  ASSERT_EQ(archive.OpenArchive(Archive(), 1), 0);
  ASSERT_EQ(archive.EncryptInit(p, desc), 0);
  for (std::size_t at = 0; at < stream.size(); at += 4096) {
    const std::size_t n = std::min<std::size_t>(4096, stream.size() - at);
    ASSERT_EQ(archive.Encrypt(at + n == stream.size(), static_cast<std::int32_t>(n),
                              std::span<const std::uint8_t>(stream.data() + at, n)),
              0);
  }
  ASSERT_EQ(archive.EncryptDone(), 0);
  archive.CloseArchive();
  FakeUiPort ui2;
  EXPECT_EQ(Decrypt(ui2, Restored()), platform::rt::kInvalidCall);
  ASSERT_EQ(ui2.boxes.size(), 1u);
  EXPECT_EQ(ui2.boxes[0].text, "Failed to decompress file.\rInvalid procedure call or argument. Error Number: 5");
  EXPECT_EQ(ui2.operations[2], "Decompressing:") << "said when the stream is known to be decrypted right";
  EXPECT_FALSE(fs::exists(Restored()));
}

}  // namespace
}  // namespace sealvane
