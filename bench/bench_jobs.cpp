// SPDX-License-Identifier: GPL-3.0-or-later
// Encrypt and decrypt jobs per cipher, with and without compression, next to
// the raw OpenSSL cipher over the same 4096-byte pieces.
//   SEALVANE_BENCH_MAX_MIB (default 64) caps the file sizes; 1024 for 1 GiB.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sealvane/archive/frmDecrypt.h"
#include "sealvane/archive/frmEncrypt.h"
#include "sealvane/archive/clsArchive.h"

namespace {

namespace fs = std::filesystem;

class SilentUi : public sealvane::UiPort {
 public:
  sealvane::MsgResult ShowMessageBox(const sealvane::MessageBoxRequest& request) override {
    return request.buttons == sealvane::MsgButtons::YesNo ? sealvane::MsgResult::Yes : sealvane::MsgResult::OK;
  }
};

std::string Folder() {
  static const std::string folder = [] {
    char name[] = "/tmp/sealvane-bench-XXXXXX";
    std::string f = ::mkdtemp(name);
    ::setenv("SEALVANE_HOME", (f + "/home").c_str(), 1);
    ::setenv("SEALVANE_MACHINE_HIVE", (f + "/machine.db").c_str(), 1);
    ::setenv("TMPDIR", f.c_str(), 1);
    return f;
  }();
  return folder;
}

// A file of `mib` MiB of text-like bytes (compressible about 3:1).
std::string PlainFile(std::int64_t mib) {
  const std::string path = Folder() + "/plain-" + std::to_string(mib) + ".bin";
  if (!fs::exists(path)) {
    std::ofstream out(path, std::ios::binary);
    std::string chunk;
    std::uint32_t x = 12345;
    for (int i = 0; i < (1 << 20); ++i) {
      x = x * 1103515245u + 12345u;
      chunk.push_back("etaoin shrdlu cmfwyp vbgkqjxz\n "[(x >> 16) % 32]);
    }
    for (std::int64_t i = 0; i < mib; ++i) out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
  }
  return path;
}

sealvane::clsParameters Parameters(int cipher, bool compress, const std::string& plain, const std::string& archive) {
  sealvane::clsParameters p;
  p.m_eAlg = cipher;
  p.m_eCSP = cipher > 2 ? 3 : 1;
  p.m_bCompressFile = compress;
  p.m_bPwdRequired = true;
  p.m_strPassword = "Correct Horse 9";
  p.m_strFilePath = plain;
  p.m_strEncFilePath = archive;
  return p;
}

void BM_EncryptJob(benchmark::State& state) {
  const int cipher = static_cast<int>(state.range(0));
  const bool compress = state.range(1) != 0;
  const std::int64_t mib = state.range(2);
  const std::string plain = PlainFile(mib);
  const std::string archive = Folder() + "/out.sva";
  SilentUi ui;
  for (auto _ : state) {
    fs::remove(archive);
    sealvane::frmEncrypt job(ui);
    if (!job.Initialize(Parameters(cipher, compress, plain, archive))) state.SkipWithError("initialize");
    job.Run();
    if (job.Result() != 0) state.SkipWithError("encrypt failed");
  }
  state.SetBytesProcessed(state.iterations() * mib * (1 << 20));
}

void BM_DecryptJob(benchmark::State& state) {
  const int cipher = static_cast<int>(state.range(0));
  const bool compress = state.range(1) != 0;
  const std::int64_t mib = state.range(2);
  const std::string plain = PlainFile(mib);
  const std::string archive = Folder() + "/in-" + std::to_string(cipher) + std::to_string(compress) + ".sva";
  const std::string target = Folder() + "/decrypted.bin";
  SilentUi ui;
  {
    fs::remove(archive);
    sealvane::frmEncrypt job(ui);
    job.Initialize(Parameters(cipher, compress, plain, archive));
    job.Run();
  }
  for (auto _ : state) {
    fs::remove(target);
    sealvane::frmDecrypt job(ui);
    sealvane::clsParameters p = Parameters(cipher, compress, target, archive);
    if (!job.Initialize(p)) state.SkipWithError("initialize");
    job.Run();
    if (job.Result() != 0) state.SkipWithError("decrypt failed");
  }
  state.SetBytesProcessed(state.iterations() * mib * (1 << 20));
}

// The cipher alone: CBC over 4096-byte pieces, as the library keys it.
void BM_RawCipher(benchmark::State& state) {
  OSSL_PROVIDER_load(nullptr, "legacy");
  OSSL_PROVIDER_load(nullptr, "default");
  const int cipher = static_cast<int>(state.range(0));
  const std::int64_t mib = state.range(1);
  const char* name = cipher == 2 ? "DES-CBC" : cipher == 5 ? "DES-EDE3-CBC" : "RC2-CBC";
  const int keyBytes = cipher == 1 ? 16 : cipher == 2 || cipher == 3 ? 8 : cipher == 4 ? 16 : 24;
  const int effective = cipher == 1 ? 40 : cipher == 3 ? 64 : 128;
  EVP_CIPHER* c = EVP_CIPHER_fetch(nullptr, name, nullptr);
  std::vector<unsigned char> key(static_cast<std::size_t>(keyBytes), 7), iv(8, 0), piece(4096, 1);
  for (auto _ : state) {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex2(ctx, c, nullptr, nullptr, nullptr);
    if (cipher == 1 || cipher == 3 || cipher == 4) {
      EVP_CIPHER_CTX_set_key_length(ctx, keyBytes);
      EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_SET_RC2_KEY_BITS, effective, nullptr);
    }
    EVP_EncryptInit_ex2(ctx, nullptr, key.data(), iv.data(), nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    int out = 0;
    for (std::int64_t i = 0; i < mib * 256; ++i) EVP_EncryptUpdate(ctx, piece.data(), &out, piece.data(), 4096);
    benchmark::DoNotOptimize(piece.data());
    EVP_CIPHER_CTX_free(ctx);
  }
  EVP_CIPHER_free(c);
  state.SetBytesProcessed(state.iterations() * mib * (1 << 20));
}

std::int64_t MaxMiB() {
  const char* v = std::getenv("SEALVANE_BENCH_MAX_MIB");
  return v != nullptr ? std::atoll(v) : 64;
}

void Sizes(benchmark::internal::Benchmark* b, bool withCompress) {
  for (std::int64_t mib = 1; mib <= MaxMiB(); mib *= 8) {
    for (int cipher = 1; cipher <= 5; ++cipher) {
      if (withCompress) {
        b->Args({cipher, 0, mib});
        b->Args({cipher, 1, mib});
      } else {
        b->Args({cipher, mib});
      }
    }
  }
  b->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_RawCipher)->Apply([](benchmark::internal::Benchmark* b) { Sizes(b, false); });
BENCHMARK(BM_EncryptJob)->Apply([](benchmark::internal::Benchmark* b) { Sizes(b, true); });
BENCHMARK(BM_DecryptJob)->Apply([](benchmark::internal::Benchmark* b) { Sizes(b, true); });

}  // namespace

BENCHMARK_MAIN();
