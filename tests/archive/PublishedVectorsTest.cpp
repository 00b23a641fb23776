// SPDX-License-Identifier: GPL-3.0-or-later
// The published test vectors of format version 2 (tests/data/v2): every
// intermediate value a reader computes is checked with the independent
// reader, and the engine decrypts each archive to its plain file.
//   archive_tests --gtest_also_run_disabled_tests --gtest_filter='*WriteVectors*'
// with SEALVANE_VECTORS_OUT set makes them anew in that folder.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "archive/IndependentModern.h"
#include "archive/JobFixtures.h"
#include "sealvane/archive/clsArchive.h"
#include "sealvane/archive/frmDecrypt.h"
#include "sealvane/archive/frmEncrypt.h"
#include "sealvane/csp/WinCrypt.h"
#include "support/FakeUiPort.h"
#include "support/Sandbox.h"
#include "support/Vectors.h"

namespace sealvane {
namespace {

namespace fs = std::filesystem;
using namespace test;
using nlohmann::json;

std::string HexOf(const Bytes& b) {
  static const char* const kDigits = "0123456789abcdef";
  std::string s;
  for (const std::uint8_t c : b) {
    s.push_back(kDigits[c >> 4]);
    s.push_back(kDigits[c & 15]);
  }
  return s;
}

Bytes FromHex(const std::string& s) {
  Bytes b;
  for (std::size_t i = 0; i + 1 < s.size(); i += 2) b.push_back(static_cast<std::uint8_t>(std::stoi(s.substr(i, 2), nullptr, 16)));
  return b;
}

// The plain file of the vectors: text, then bytes no compressor shrinks.
Bytes VectorPlain(std::size_t size) {
  Bytes b(size);
  std::uint32_t x = 2024;
  for (std::size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    b[i] = i < size / 2 ? static_cast<std::uint8_t>("The quick brown fox jumps over the lazy dog. "[i % 45])
                        : static_cast<std::uint8_t>(x >> 24);
  }
  return b;
}

json Values(const v2ref::Opened& o) {
  json v = {{"salt", HexOf(o.salt)},
            {"file_key", HexOf(o.fileKey)},
            {"header_mac_key", HexOf(o.kh)},
            {"description_key", HexOf(o.kd)},
            {"payload_key", HexOf(o.kp)},
            {"header_mac", HexOf(o.mac)},
            {"description", HexOf(o.description)}};
  if (!o.kek.empty()) {
    v["argon2"] = {{"t", o.t}, {"m_kib", o.m}, {"p", o.p}};
    v["password_key"] = HexOf(o.kek);
  }
  json chunks = json::array();
  for (std::size_t i = 0; i < o.chunkPlaintexts.size(); ++i) {
    const Bytes& chunk = o.chunkPlaintexts[i];
    Bytes digest(32);
    SHA256(chunk.data(), chunk.size(), digest.data());
    chunks.push_back({{"nonce", HexOf(v2ref::Nonce(i, i + 1 == o.chunkPlaintexts.size()))},
                      {"kind", chunk.at(0)},
                      {"plaintext_length", chunk.size()},
                      {"plaintext_first_bytes", HexOf(Bytes(chunk.begin(), chunk.begin() + std::min<std::ptrdiff_t>(32, static_cast<std::ptrdiff_t>(chunk.size()))))},
                      {"plaintext_sha256", HexOf(digest)}});
  }
  v["chunks"] = chunks;
  return v;
}

std::string Folder() { return std::string(SEALVANE_TEST_DATA) + "/v2"; }

TEST(PublishedVectors, EveryIntermediateValueAndEveryArchive) {
  std::ifstream in(Folder() + "/vectors.json");
  ASSERT_TRUE(in) << "tests/data/v2/vectors.json";
  const json vectors = json::parse(in);
  ASSERT_GE(vectors.size(), 3u);
  csp::BYTE thumbprint[20];
  ASSERT_TRUE(csp::ImportPfx(ReadFixture("sva/certs/recipient1.pfx"), "recipient-pass", "MY", thumbprint));
  for (const json& v : vectors) {
    SCOPED_TRACE(v["archive"].get<std::string>());
    const Bytes archive = ToBytes(ReadFileBytes(Folder() + "/" + v["archive"].get<std::string>()));
    const Bytes plain = VectorPlain(v["plain_size"].get<std::size_t>());
    const bool password = v.contains("password");
    const v2ref::Opened o =
        password ? v2ref::Read(archive, v["password"])
                 : v2ref::Read(archive, "", ReadFileBytes(Folder() + "/" + v["private_key"].get<std::string>()),
                               FromHex(v["thumbprint"]));
    ASSERT_EQ(o.failure, "");
    EXPECT_EQ(o.plain, plain);
    EXPECT_EQ(Values(o), v["expected"]) << "the published intermediate values";

    // The engine reads it too.
    FakeUiPort ui;
    clsParameters p;
    clsFileDesc desc;
    fs::create_directories(SandboxDir() + "/out");
    const std::string copy = SandboxDir() + "/vector.sva";
    WriteFileBytes(copy, std::string(archive.begin(), archive.end()));
    {
      clsArchive reader(ui);
      ASSERT_EQ(reader.OpenArchive(copy, 0), 0);
      ASSERT_EQ(reader.ReadParameters(p, desc), 0);
    }
    p.m_strPassword = password ? v["password"].get<std::string>() : "";
    p.m_strEncFilePath = copy;
    p.m_strFilePath = SandboxDir() + "/out/";
    p.m_bNameFromArchive = true;
    p.m_bOpenFile = false;
    frmDecrypt job(ui);
    ASSERT_TRUE(job.Initialize(p)) << (ui.boxes.empty() ? "" : ui.boxes.back().text);
    job.Run();
    ASSERT_EQ(job.Result(), 0);
    EXPECT_EQ(ToBytes(ReadFileBytes(job.FilePath())), plain);
    fs::remove(job.FilePath());
  }
}

TEST(PublishedVectors, DISABLED_WriteVectors) {
  const char* out = std::getenv("SEALVANE_VECTORS_OUT");
  ASSERT_NE(out, nullptr) << "set SEALVANE_VECTORS_OUT to the folder to write";
  json vectors = json::array();
  // Password mode, from the document's steps with fixed random parts.
  for (const bool compress : {true, false}) {
    v2ref::WriteOptions w;
    w.compress = compress;
    w.name = compress ? "vector-compressed.txt" : "vector-stored.txt";
    const Bytes plain = VectorPlain(70000);
    const std::string name = compress ? "password-compressed.sva" : "password-stored.sva";
    const Bytes archive = v2ref::Write(plain, "Correct Horse 9", w);
    WriteFileBytes(std::string(out) + "/" + name, std::string(archive.begin(), archive.end()));
    const v2ref::Opened o = v2ref::Read(archive, "Correct Horse 9");
    ASSERT_EQ(o.failure, "");
    vectors.push_back({{"archive", name},
                       {"password", "Correct Horse 9"},
                       {"plain_size", plain.size()},
                       {"plain", "VectorPlain: the first half the sentence 'The quick brown fox jumps over the lazy "
                                 "dog. ' repeated, the second half x = x * 1103515245 + 12345 (32-bit, from 2024), "
                                 "byte = x >> 24"},
                       {"expected", Values(o)}});
  }
  // Digital-ID mode, made by the engine for the fixture recipient1.
  csp::BYTE thumbprint[20];
  ASSERT_TRUE(csp::ImportPfx(ReadFixture("sva/certs/recipient1.pfx"), "recipient-pass", "MY", thumbprint));
  const Bytes plain = VectorPlain(70000);
  WriteFileBytes(Plain(), std::string(plain.begin(), plain.end()));
  clsParameters p = EncryptParameters(true, 1, kCipherAes256);
  ForDigitalID(p, "recipient1", thumbprint);
  p.m_oDefaultDigitalID.m_strEMailAddr = "recipient1@example.org";
  FakeUiPort ui;
  frmEncrypt job(ui);
  ASSERT_TRUE(job.Initialize(p));
  job.Run();
  ASSERT_EQ(job.Result(), 0);
  const Bytes archive = ToBytes(ReadFileBytes(Archive()));
  WriteFileBytes(std::string(out) + "/digital-id.sva", std::string(archive.begin(), archive.end()));
  const v2ref::Opened o = v2ref::Read(archive, "", ReadFileBytes(Folder() + "/recipient1_key.pem"),
                                      Bytes(thumbprint, thumbprint + 20));
  ASSERT_EQ(o.failure, "");
  vectors.push_back({{"archive", "digital-id.sva"},
                     {"private_key", "recipient1_key.pem"},
                     {"thumbprint", HexOf(Bytes(thumbprint, thumbprint + 20))},
                     {"plain_size", plain.size()},
                     {"plain", "VectorPlain, as above"},
                     {"expected", Values(o)}});
  std::ofstream(std::string(out) + "/vectors.json") << vectors.dump(2) << "\n";
}

}  // namespace
}  // namespace sealvane
