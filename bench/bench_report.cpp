// SPDX-License-Identifier: GPL-3.0-or-later
// The performance report, measured in one run: on 32 MiB of text and of
// random bytes, the encrypt and decrypt jobs for each cipher with and without
// compression (compressing on one worker thread and on all of them), the raw
// OpenSSL cipher over the same 4096-byte pieces, the bytes each job writes
// per byte of its output, `openssl enc` and `gzip -6` as whole processes,
// secure delete next to `shred -n1 -u`, and peak memory at 1 MiB and 1 GiB.
// Prints a table of times and ratios and writes it as JSON next to the build
// (report.json).
//   bench_report [MIB]   the size of the two inputs, 32 by default
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "BenchCommon.h"
#include "sealvane/archive/frmDecrypt.h"
#include "sealvane/archive/frmEncrypt.h"
#include "sealvane/archive/frmSecureDelete.h"
#include "sealvane/platform/DynamicLibrary.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using bench::BestMs;
using bench::SilentUi;
using Clock = std::chrono::steady_clock;

constexpr const char* kPassword = "Correct Horse 9";
constexpr const char* kCipherNames[] = {"", "RC2 (40-bit)", "DES (56-bit)", "RC2 (64-bit)", "RC2 (128-bit)",
                                        "3DES (168-bit)"};
constexpr int kRepeats = 3;

int Run(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  if (::posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Text as people write it: words of a vocabulary with a few common ones
// much more frequent, sentences, punctuation and lines.
void WriteText(const std::string& path, std::int64_t bytes) {
  static const char* const kWords[] = {
      "the", "of", "and", "to", "a", "in", "is", "that", "for", "it", "as", "was", "with", "be", "by", "on",
      "not", "he", "this", "are", "or", "his", "from", "at", "which", "but", "have", "an", "had", "they", "you",
      "were", "their", "one", "all", "we", "can", "her", "has", "there", "been", "if", "more", "when", "will",
      "would", "who", "so", "no", "file", "archive", "password", "encrypted", "digital", "certificate", "folder",
      "report", "meeting", "budget", "quarter", "customer", "project", "schedule", "contract", "invoice",
      "delivery", "department", "manager", "review", "proposal", "agreement", "document", "payment", "account",
      "analysis", "summary", "results", "figures", "estimate", "revenue", "expenses", "approval", "request",
      "support", "service", "network", "security", "system", "program", "version", "release", "update",
      "morning", "evening", "tomorrow", "yesterday", "please", "thank", "regards", "attached", "following",
      "important", "confidential", "private", "personal", "information", "because", "however", "therefore",
      "although", "several", "different", "possible", "available", "necessary", "general", "particular",
      "between", "through", "during", "without", "against", "within", "about", "after", "before", "under",
      "number", "people", "time", "year", "work", "day", "part", "place", "case", "week", "company", "group",
      "problem", "fact", "point", "question", "government", "area", "money", "story", "month", "lot", "right",
      "study", "book", "word", "business", "issue", "side", "kind", "head", "house", "friend", "father", "power",
      "hour", "game", "line", "end", "member", "law", "car", "city", "community", "name", "president", "team"};
  constexpr std::size_t kCount = sizeof(kWords) / sizeof(kWords[0]);
  std::ofstream out(path, std::ios::binary);
  std::uint64_t x = 88172645463325252ULL;
  const auto next = [&] {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    return x;
  };
  std::string line;
  std::int64_t written = 0;
  bool sentenceStart = true;
  while (written < bytes) {
    // Zipf-like: small indices much more often.
    const double u = static_cast<double>(next() % 1000000) / 1000000.0;
    std::string word = kWords[static_cast<std::size_t>(u * u * u * kCount) % kCount];
    if (sentenceStart) word[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
    sentenceStart = false;
    line += word;
    const auto r = next() % 100;
    if (r < 6) {
      line += ". ";
      sentenceStart = true;
    } else if (r < 10) {
      line += ", ";
    } else if (r < 11) {
      line += ' ';
      line += std::to_string(next() % 10000);
      line += ' ';
    } else {
      line += " ";
    }
    if (line.size() > 72) {
      line.back() = '\n';
      out << line;
      written += static_cast<std::int64_t>(line.size());
      line.clear();
    }
  }
  out.close();
  fs::resize_file(path, static_cast<std::uintmax_t>(bytes));
}

void WriteRandom(const std::string& path, std::int64_t bytes) {
  std::ofstream out(path, std::ios::binary);
  std::uint64_t x = 0x9E3779B97F4A7C15ULL;
  std::vector<std::uint64_t> block(8192);
  for (std::int64_t done = 0; done < bytes; done += static_cast<std::int64_t>(block.size() * 8)) {
    for (auto& v : block) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      v = x;
    }
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size() * 8));
  }
  out.close();
  fs::resize_file(path, static_cast<std::uintmax_t>(bytes));
}

sealvane::clsParameters Parameters(int cipher, bool compress, const std::string& plain, const std::string& archive) {
  sealvane::clsParameters p;
  p.m_eAlg = cipher;
  p.m_eCSP = cipher > 2 ? 3 : 1;
  p.m_bCompressFile = compress;
  p.m_bPwdRequired = true;
  p.m_strPassword = kPassword;
  p.m_strFilePath = plain;
  p.m_strEncFilePath = archive;
  return p;
}

// The cipher alone: CBC over the file's bytes in 4096-byte pieces, keyed as
// the library keys it, in memory.
double RawCipherMs(int cipher, const std::vector<unsigned char>& data) {
  const char* name = cipher == 2 ? "DES-CBC" : cipher == 5 ? "DES-EDE3-CBC" : "RC2-CBC";
  const int keyBytes = cipher == 1 ? 16 : cipher == 2 || cipher == 3 ? 8 : cipher == 4 ? 16 : 24;
  const int effective = cipher == 1 ? 40 : cipher == 3 ? 64 : 128;
  EVP_CIPHER* c = EVP_CIPHER_fetch(nullptr, name, nullptr);
  std::vector<unsigned char> key(static_cast<std::size_t>(keyBytes), 7), iv(8, 0), out(4096 + 8);
  const double ms = BestMs([&] {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex2(ctx, c, nullptr, nullptr, nullptr);
    if (cipher != 2 && cipher != 5) {
      EVP_CIPHER_CTX_set_key_length(ctx, keyBytes);
      EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_SET_RC2_KEY_BITS, effective, nullptr);
    }
    EVP_EncryptInit_ex2(ctx, nullptr, key.data(), iv.data(), nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    int n = 0;
    for (std::size_t at = 0; at + 4096 <= data.size(); at += 4096) {
      EVP_EncryptUpdate(ctx, out.data(), &n, data.data() + at, 4096);
    }
    EVP_CIPHER_CTX_free(ctx);
  });
  EVP_CIPHER_free(c);
  return ms;
}

std::vector<unsigned char> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Peak resident memory of an encrypt and a decrypt job of `mib` MiB, in KiB,
// from bench_memory beside this program.
long PeakKiB(int mib) {
  const std::string command = sealvane::platform::ProgramFolder() + "/bench_memory " + std::to_string(mib);
  FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return -1;
  char line[256] = {};
  long kib = -1;
  while (std::fgets(line, sizeof(line), p) != nullptr) {
    if (const char* at = std::strstr(line, "peak RSS ")) kib = std::atol(at + 9);
  }
  ::pclose(p);
  return kib;
}

// Bytes this process has written so far (/proc/self/io, wchar).
std::int64_t BytesWritten() {
  std::ifstream io("/proc/self/io");
  std::string key;
  std::int64_t value = 0;
  while (io >> key >> value) {
    if (key == "wchar:") return value;
  }
  return 0;
}

struct Row {
  std::string name;
  double ms;
};

}  // namespace

int main(int argc, char** argv) {
  const std::int64_t mib = argc > 1 ? std::atoll(argv[1]) : 32;
  const std::int64_t bytes = mib << 20;
  char name[] = "/tmp/sealvane-report-XXXXXX";
  const std::string folder = ::mkdtemp(name);
  ::setenv("SEALVANE_HOME", (folder + "/home").c_str(), 1);
  ::setenv("SEALVANE_MACHINE_HIVE", (folder + "/machine.db").c_str(), 1);
  ::setenv("TMPDIR", folder.c_str(), 1);
  OSSL_PROVIDER_load(nullptr, "legacy");
  OSSL_PROVIDER_load(nullptr, "default");

  const std::map<std::string, std::string> inputs = {{"text", folder + "/text.txt"}, {"random", folder + "/random.bin"}};
  WriteText(inputs.at("text"), bytes);
  WriteRandom(inputs.at("random"), bytes);

  SilentUi ui;
  std::ostringstream json;
  json << "{\n  \"mebibytes\": " << mib << ",\n  \"jobs\": [\n";
  std::map<std::string, double> t;  // key: kind/cipher/comp/job
  bool firstJob = true;
  const std::string archive = folder + "/a.sva";
  const std::string restored = folder + "/restored";
  std::printf("Sealvane performance report: %lld MiB inputs, best of %d runs, milliseconds\n\n",
              static_cast<long long>(mib), kRepeats);
  const unsigned cores = sealvane::frmEncrypt::DefaultWorkers();
  std::printf("compression threads: %u (1 in the column enc+z/1)\n\n", cores);
  std::printf("%-7s %-15s %8s %8s %8s %8s %8s %8s %7s %7s %7s %7s %7s\n", "data", "cipher", "raw", "enc", "enc+z/1",
              "enc+z", "dec", "dec+z", "z/enc", "dz/dec", "enc/raw", "w/out e", "w/out d");
  for (const auto& [kind, plain] : inputs) {
    const std::vector<unsigned char> data = ReadAll(plain);
    for (int cipher = 1; cipher <= 5; ++cipher) {
      const double raw = RawCipherMs(cipher, data);
      double ms[2][2] = {};  // [compress][decrypt]
      double oneThread = 0;
      std::int64_t archiveSize[2] = {};
      double writtenPerByte[2] = {};  // compressed jobs: [decrypt]
      for (const bool compress : {false, true}) {
        const auto encrypt = [&](unsigned workers) {
          sealvane::frmEncrypt job(ui);
          job.SetWorkers(workers);
          job.Initialize(Parameters(cipher, compress, plain, archive));
          job.Run();
          if (job.Result() != 0) std::cerr << "encrypt failed\n";
        };
        const auto decrypt = [&] {
          sealvane::frmDecrypt job(ui);
          job.Initialize(Parameters(cipher, compress, restored, archive));
          job.Run();
          if (job.Result() != 0) std::cerr << "decrypt failed\n";
        };
        if (compress) oneThread = BestMs([&] { encrypt(1); }, [&] { fs::remove(archive); });
        ms[compress][0] = BestMs([&] { encrypt(cores); }, [&] { fs::remove(archive); });
        archiveSize[compress] = static_cast<std::int64_t>(fs::file_size(archive));
        ms[compress][1] = BestMs(decrypt, [&] { fs::remove(restored); });
        if (compress) {
          fs::remove(archive);
          std::int64_t before = BytesWritten();
          encrypt(cores);
          writtenPerByte[0] = static_cast<double>(BytesWritten() - before) / static_cast<double>(fs::file_size(archive));
          fs::remove(restored);
          before = BytesWritten();
          decrypt();
          writtenPerByte[1] = static_cast<double>(BytesWritten() - before) / static_cast<double>(fs::file_size(restored));
        }
      }
      std::printf("%-7s %-15s %8.0f %8.0f %8.0f %8.0f %8.0f %8.0f %7.2f %7.2f %7.2f %7.3f %7.3f\n", kind.c_str(),
                  kCipherNames[cipher], raw, ms[0][0], oneThread, ms[1][0], ms[0][1], ms[1][1], ms[1][0] / ms[0][0],
                  ms[1][1] / ms[0][1], ms[0][0] / raw, writtenPerByte[0], writtenPerByte[1]);
      json << (firstJob ? "" : ",\n") << "    {\"data\": \"" << kind << "\", \"cipher\": " << cipher
           << ", \"raw_cipher_ms\": " << raw << ", \"encrypt_ms\": " << ms[0][0]
           << ", \"encrypt_compressed_one_thread_ms\": " << oneThread << ", \"encrypt_compressed_ms\": " << ms[1][0]
           << ", \"decrypt_ms\": " << ms[0][1] << ", \"decrypt_compressed_ms\": " << ms[1][1]
           << ", \"threads\": " << cores << ", \"encrypt_written_per_output_byte\": " << writtenPerByte[0]
           << ", \"decrypt_written_per_output_byte\": " << writtenPerByte[1] << ", \"archive_bytes\": " << archiveSize[0]
           << ", \"compressed_archive_bytes\": " << archiveSize[1] << "}";
      firstJob = false;
    }
  }
  json << "\n  ],\n";

  // Whole processes doing comparable work on the same files.
  std::printf("\n%-44s %10s\n", "process", "ms");
  std::vector<Row> processes;
  const std::string out = folder + "/out";
  for (const auto& [kind, plain] : inputs) {
    processes.push_back({"openssl enc -des-ede3-cbc (" + kind + ")", BestMs([&] {
                           Run({"openssl", "enc", "-e", "-des-ede3-cbc", "-K", "000102030405060708090a0b0c0d0e0f1011121314151617",
                                "-iv", "0001020304050607", "-in", plain, "-out", out});
                         })});
    processes.push_back({"openssl enc -des-cbc (" + kind + ")", BestMs([&] {
                           Run({"openssl", "enc", "-e", "-des-cbc", "-provider", "legacy", "-provider", "default", "-K",
                                "0001020304050607", "-iv", "0001020304050607", "-in", plain, "-out", out});
                         })});
    processes.push_back({"gzip -6 (" + kind + ")", BestMs([&] {
                           Run({"/bin/sh", "-c", "gzip -6 -c \"$1\" > \"$2\"", "sh", plain, out});
                         })});
  }
  // Secure delete of the same file, against shred's one random pass.
  const std::string victim = folder + "/victim.bin";
  const auto copyVictim = [&] { fs::copy_file(inputs.at("random"), victim, fs::copy_options::overwrite_existing); };
  const double shred = BestMs([&] { Run({"shred", "-n1", "-u", victim}); }, copyVictim);
  const double secureDelete = BestMs(
      [&] {
        sealvane::frmSecureDelete job(ui);
        job.Initialize(victim);
        job.Run();
        if (job.Result() != 0) std::cerr << "secure delete failed\n";
      },
      copyVictim);
  processes.push_back({"shred -n1 -u (random)", shred});
  processes.push_back({"Sealvane secure delete (random)", secureDelete});
  json << "  \"processes\": [";
  for (std::size_t i = 0; i < processes.size(); ++i) {
    std::printf("%-44s %10.0f\n", processes[i].name.c_str(), processes[i].ms);
    json << (i ? ", " : "") << "{\"name\": \"" << processes[i].name << "\", \"ms\": " << processes[i].ms << "}";
  }
  std::printf("%-44s %10.2f\n", "secure delete speed / shred speed", shred / secureDelete);
  json << "],\n  \"secure_delete_speed_vs_shred\": " << shred / secureDelete << ",\n";

  const long small = PeakKiB(1);
  const long large = PeakKiB(1024);
  std::printf("\npeak memory of an encrypt and a decrypt job: 1 MiB %ld KiB, 1 GiB %ld KiB\n", small, large);
  json << "  \"peak_rss_kib\": {\"1MiB\": " << small << ", \"1GiB\": " << large << "}\n}\n";

  const std::string report = sealvane::platform::ProgramFolder() + "/../report.json";
  std::ofstream(report) << json.str();
  std::printf("\nwritten to %s\n", fs::weakly_canonical(report).c_str());
  fs::remove_all(folder);
  return 0;
}
