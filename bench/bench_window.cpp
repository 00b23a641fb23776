// SPDX-License-Identifier: GPL-3.0-or-later
// The job window's cost: the same encryption run by sealvane-cli (a whole
// process, progress and Cancel through the terminal port) and inside the
// Qt job dialog (offscreen; it repaints and hears Cancel while the job runs).
// The window's closing pause is not counted. Prints the times and the ratio.
//   bench_window [MIB]   the size of the input, 256 by default
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "sealvane/archive/frmEncrypt.h"
#include "sealvane/platform/DynamicLibrary.h"
#include "sealvane/qt/JobDialog.h"
#include "sealvane/qt/QtUiPort.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kPassword = "Correct Horse 9";
constexpr int kRepeats = 3;

// The Qt port, with the end of the job marked where the closing pause begins.
class TimedPort : public sealvane::qt::QtUiPort {
 public:
  sealvane::MsgResult ShowMessageBox(const sealvane::MessageBoxRequest& r) override {
    std::cerr << "  (" << r.title << " " << r.text << ")\n";
    return sealvane::MsgResult::OK;
  }
  void Wait(int) override { done = Clock::now(); }
  Clock::time_point done;
};

double CliMs(const std::string& cli, const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  std::vector<std::string> all = {cli};
  all.insert(all.end(), arguments.begin(), arguments.end());
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const auto t0 = Clock::now();
  pid_t pid = 0;
  posix_spawn_file_actions_t quiet;
  ::posix_spawn_file_actions_init(&quiet);
  ::posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  const int rc = ::posix_spawn(&pid, cli.c_str(), &quiet, nullptr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&quiet);
  if (rc != 0) return -1;
  int status = 0;
  ::waitpid(pid, &status, 0);
  const auto t1 = Clock::now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return std::chrono::duration<double, std::milli>(t1 - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  const long mib = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 256;
  const fs::path dir = fs::temp_directory_path() / ("sealvane-bench-window-" + std::to_string(::getpid()));
  fs::create_directories(dir / "home");
  ::setenv("SEALVANE_HOME", (dir / "home").c_str(), 1);
  ::setenv("SEALVANE_MACHINE_HIVE", (dir / "machine.db").c_str(), 1);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const std::string plain = (dir / "plain.bin").string();
  {
    std::ofstream out(plain, std::ios::binary);
    std::mt19937_64 random(7);
    std::vector<std::uint64_t> block(512);
    for (long i = 0; i < mib * 256; ++i) {
      for (auto& v : block) v = random();
      out.write(reinterpret_cast<const char*>(block.data()), 4096);
    }
  }
  std::ofstream(dir / "password") << kPassword << "\n";
  const std::string cli = sealvane::platform::ProgramFolder() + "/sealvane-cli";

  QApplication app(argc, argv);
  std::printf("%ld MiB, best of %d                  sealvane-cli   job window   cli/window\n", mib, kRepeats);
  for (const int cipher : {2, 5}) {
    for (const bool compress : {false, true}) {
      double cliBest = 1e30, windowBest = 1e30;
      for (int i = 0; i < kRepeats; ++i) {
        const std::string archive = (dir / "out.sva").string();
        fs::remove(archive);
        const double c = CliMs(cli, {"encrypt", plain, "-o", archive, "--password-file", (dir / "password").string(),
                                     "--cipher", std::to_string(cipher), compress ? "--compress" : "--no-compress",
                                     "--yes"});
        if (c < 0) {
          std::cerr << "sealvane-cli failed\n";
          return 1;
        }
        cliBest = std::min(cliBest, c);
        fs::remove(archive);

        sealvane::clsParameters p;
        p.m_eAlg = cipher;
        p.m_eCSP = cipher > 2 ? 3 : 1;
        p.m_bCompressFile = compress;
        p.m_bPwdRequired = true;
        p.m_strPassword = kPassword;
        p.m_strFilePath = plain;
        p.m_strEncFilePath = archive;
        TimedPort port;
        sealvane::frmEncrypt job(port);
        const auto t0 = Clock::now();
        if (!job.Initialize(p)) return 1;
        sealvane::qt::JobDialog dialog(job, port, nullptr);
        dialog.exec();
        if (job.Result() != 0) return 1;
        windowBest = std::min(windowBest, std::chrono::duration<double, std::milli>(port.done - t0).count());
      }
      std::printf("cipher %d, %-14s            %8.0f ms  %8.0f ms   %6.3f\n", cipher,
                  compress ? "compressed" : "not compressed", cliBest, windowBest, cliBest / windowBest);
    }
  }
  fs::remove_all(dir);
  return 0;
}
