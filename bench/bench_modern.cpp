// SPDX-License-Identifier: GPL-3.0-or-later
// The modern format (cipher 6) against age, measured in one run on the same
// files: MIB MiB (256 by default) of text and of random bytes, encrypted for
// a digital ID (with and without compression) and with `age -r` for an
// X25519 recipient, then decrypted; and what a password costs: the
// password function's parameters and the time of a wrong guess.
//   bench_modern [MIB]
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "sealvane/archive/CipherLibrary.h"
#include "sealvane/archive/clsArchive.h"
#include "BenchCommon.h"
#include "sealvane/archive/frmDecrypt.h"
#include "sealvane/archive/frmEncrypt.h"
#include "sealvane/modern/Crypto.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using bench::BestMs;
using bench::SilentUi;
using Clock = std::chrono::steady_clock;

int Run(const std::vector<std::string>& argv, const std::string& output = {}) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!output.empty()) posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = 0;
  const int rc = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Text as people write it, and random bytes (as in bench_report).
void WriteInputs(const std::string& text, const std::string& random, std::int64_t bytes) {
  static const char* const kWords[] = {"the", "of", "and", "to", "a", "in", "is", "that", "for", "report", "budget",
                                       "meeting", "quarter", "customer", "project", "contract", "invoice", "delivery",
                                       "manager", "review", "please", "regards", "attached", "confidential",
                                       "information", "because", "however", "several", "different", "available"};
  std::uint64_t x = 88172645463325252ULL;
  const auto next = [&] {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    return x;
  };
  {
    std::ofstream out(text, std::ios::binary);
    std::string line;
    for (std::int64_t written = 0; written < bytes;) {
      const double u = static_cast<double>(next() % 1000000) / 1000000.0;
      line += kWords[static_cast<std::size_t>(u * u * u * 30) % 30];
      line += next() % 12 == 0 ? ". " : " ";
      if (next() % 97 == 0) line += std::to_string(next() % 10000) + " ";
      if (line.size() > 72) {
        line.back() = '\n';
        out << line;
        written += static_cast<std::int64_t>(line.size());
        line.clear();
      }
    }
  }
  fs::resize_file(text, static_cast<std::uintmax_t>(bytes));
  std::ofstream out(random, std::ios::binary);
  std::vector<std::uint8_t> block(1 << 20);
  for (std::int64_t done = 0; done < bytes; done += static_cast<std::int64_t>(block.size())) {
    sealvane::modern::RandomBytes(block);
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size()));
  }
  out.close();
  fs::resize_file(random, static_cast<std::uintmax_t>(bytes));
}

}  // namespace

int main(int argc, char** argv) {
  const std::int64_t mib = argc > 1 ? std::atoll(argv[1]) : 256;
  char name[] = "/tmp/sealvane-modern-XXXXXX";
  const std::string folder = ::mkdtemp(name);
  ::setenv("SEALVANE_HOME", (folder + "/home").c_str(), 1);
  ::setenv("SEALVANE_MACHINE_HIVE", (folder + "/machine.db").c_str(), 1);
  const std::string text = folder + "/text.txt", random = folder + "/random.bin";
  WriteInputs(text, random, mib << 20);

  // A digital ID of the user's own (3072-bit RSA), and an age identity. The
  // platform asks before the new root certificate is trusted: a pinentry
  // that says yes.
  const std::string pinentry = folder + "/yes-pinentry";
  std::ofstream(pinentry) << "#!/bin/sh\necho 'OK ready'\nwhile read -r line; do\n  echo OK\n"
                             "  case \"$line\" in BYE*) exit 0;; esac\ndone\n";
  fs::permissions(pinentry, fs::perms::owner_all);
  ::setenv("SEALVANE_PINENTRY", pinentry.c_str(), 1);
  std::uint8_t thumbprint[20] = {};
  char message[SL_MESSAGE_SIZE] = {};
  const SLSystemTime from {2024, 1, 0, 1, 0, 0, 0, 0};
  const SLSystemTime to {2034, 1, 0, 1, 0, 0, 0, 0};
  if (sealvane::CipherLibrary::Default().SLGenDigitalID("cn=Bench, e=bench@example.org", 1, 0, 1, &from, &to,
                                                        thumbprint, message) == 0) {
    std::cerr << "no digital ID: " << message << "\n";
    return 1;
  }
  const std::string ageKey = folder + "/age.key";
  const std::string ageRecipient = folder + "/age.pub";
  if (Run({"age-keygen", "-o", ageKey}) != 0 || Run({"age-keygen", "-y", ageKey}, ageRecipient) != 0) {
    std::cerr << "age-keygen is needed (Debian package age)\n";
    return 1;
  }
  std::string recipient;
  std::getline(std::ifstream(ageRecipient), recipient);

  SilentUi ui;
  const std::string archive = folder + "/a.sva", restored = folder + "/out/", aged = folder + "/a.age";
  fs::create_directories(restored);
  std::printf("The modern format for a digital ID against age -r: %lld MiB, best of 3 runs, milliseconds\n\n",
              static_cast<long long>(mib));
  std::printf("%-7s %10s %10s %10s %10s %10s %8s %8s\n", "data", "enc", "enc+z", "dec+z", "age enc", "age dec",
              "enc/age", "z/age");
  for (const auto& [kind, plain] : {std::pair<std::string, std::string> {"random", random}, {"text", text}}) {
    double ms[2] = {};
    for (const bool compress : {false, true}) {
      ms[compress] = BestMs(
          [&] {
            sealvane::clsParameters p;
            p.m_eAlg = sealvane::kCipherAes256;
            p.m_eCSP = 1;
            p.m_bCompressFile = compress;
            p.m_oDefaultDigitalID.m_strName = "Bench";
            p.m_oDefaultDigitalID.m_varThumbprint.assign(thumbprint, thumbprint + 20);
            p.m_strFilePath = plain;
            p.m_strEncFilePath = archive;
            sealvane::frmEncrypt job(ui);
            job.Initialize(p);
            job.Run();
            if (job.Result() != 0) std::cerr << "encrypt failed\n";
          },
          [&] { fs::remove(archive); });
    }
    const double decrypt = BestMs(
        [&] {
          sealvane::clsParameters p;
          sealvane::clsFileDesc d;
          sealvane::clsArchive reader(ui);
          reader.OpenArchive(archive, 0);
          reader.ReadParameters(p, d);
          reader.CloseArchive();
          p.m_strEncFilePath = archive;
          p.m_strFilePath = restored;
          p.m_bNameFromArchive = true;
          p.m_bOpenFile = false;
          sealvane::frmDecrypt job(ui);
          job.Initialize(p);
          job.Run();
          if (job.Result() != 0) std::cerr << "decrypt failed\n";
        },
        [&] { fs::remove_all(restored); fs::create_directories(restored); });
    const double ageEncrypt = BestMs([&] { Run({"age", "-r", recipient, "-o", aged, plain}); }, [&] { fs::remove(aged); });
    const double ageDecrypt = BestMs([&] { Run({"age", "-d", "-i", ageKey, "-o", folder + "/age.out", aged}); },
                                     [&] { fs::remove(folder + "/age.out"); });
    std::printf("%-7s %10.0f %10.0f %10.0f %10.0f %10.0f %8.2f %8.2f\n", kind.c_str(), ms[0], ms[1], decrypt, ageEncrypt,
                ageDecrypt, ms[0] / ageEncrypt, ms[1] / ageEncrypt);
  }

  // What a password costs: the parameters chosen here, and a wrong guess.
  const sealvane::modern::Argon2Params kdf = sealvane::modern::CalibrateArgon2();
  const std::uint8_t guess[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  const std::uint8_t salt[16] = {};
  const auto t0 = Clock::now();
  sealvane::modern::Argon2id(guess, salt, kdf, 32);
  const double guessMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  std::printf("\npassword function: Argon2id t=%u m=%u MiB p=%u, one guess %.0f ms\n", kdf.passes,
              kdf.memoryKiB / 1024, kdf.lanes, guessMs);
  fs::remove_all(folder);
  return 0;
}
