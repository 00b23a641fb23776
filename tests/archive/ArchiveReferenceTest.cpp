// SPDX-License-Identifier: GPL-3.0-or-later
// The reference archives: each attempt of the manifest, with its credential,
// gives the expected outcome.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>

#include "sealvane/archive/clsArchive.h"
#include "sealvane/archive/modCommon.h"
#include "sealvane/csp/WinCrypt.h"
#include "support/FakeUiPort.h"
#include "support/Sandbox.h"
#include "support/Vectors.h"

namespace sealvane {
namespace {

using test::FakeUiPort;
using test::Json;

Json Manifest() {
  std::ifstream in(test::FixturePath("sva/manifest.json"));
  return Json::parse(in);
}

std::string SvaPath(const std::string& relative) { return test::FixturePath("sva/" + relative); }

// Every identity in its own profile: only its digital ID is in MY.
void UseIdentity(const Json& manifest, const Json& attempt, int number) {
  const std::string home = test::SandboxDir() + "/attempt" + std::to_string(number);
  ::setenv("SEALVANE_HOME", home.c_str(), 1);
  if (!attempt.contains("identity")) return;
  const Json& credential = manifest["credentials"][attempt["identity"].get<std::string>()];
  csp::BYTE thumbprint[20];
  ASSERT_TRUE(csp::ImportPfx(test::ReadFixture("sva/" + credential["pfx"].get<std::string>()),
                             credential["pfx_password"].get<std::string>().c_str(), "MY", thumbprint));
}

// The plain bytes of a compressed stream (an independent reader, with the
// bounds the format implies).
bool Decompress(const test::Bytes& stream, test::Bytes& plain) {
  plain.clear();
  for (std::size_t at = 0; at < stream.size();) {
    if (stream.size() - at < 8) return false;
    const auto c = static_cast<std::size_t>(ReadLongBE(stream, static_cast<std::int32_t>(at)));
    const auto u = static_cast<std::size_t>(ReadLongBE(stream, static_cast<std::int32_t>(at + 4)));
    if (u < 1 || u > 4096 || c > stream.size() - at - 8) return false;
    test::Bytes piece(u);
    uLongf length = u;
    if (uncompress(piece.data(), &length, stream.data() + at + 8, c) != Z_OK || length != u) return false;
    plain.insert(plain.end(), piece.begin(), piece.end());
    at += 8 + c;
  }
  return true;
}

TEST(ArchiveReference, EveryAttemptOfTheManifest) {
  const Json manifest = Manifest();
  int number = 0;
  for (const Json& archive : manifest["archives"]) {
    for (const Json& attempt : archive["attempts"]) {
      const std::string reason = attempt.value("reason", "");
      SCOPED_TRACE(archive["file"].get<std::string>() + " " + attempt.value("identity", attempt.value("password", "")));
      UseIdentity(manifest, attempt, ++number);
      FakeUiPort ui;
      clsArchive file(ui);
      ASSERT_EQ(file.OpenArchive(SvaPath(archive["file"]), 0), 0);
      clsParameters params;
      clsFileDesc desc;
      const std::int32_t read = file.ReadParameters(params, desc);
      if (attempt.contains("read_parameters_result") && !attempt["read_parameters_result"].is_null()) {
        const Json& expected = attempt["read_parameters_result"];
        if (expected.is_number()) {
          EXPECT_EQ(read, expected.get<int>());
        } else {
          EXPECT_GT(read, 0) << "an unusable archive";
        }
        EXPECT_TRUE(ui.boxes.empty());
        continue;
      }
      ASSERT_EQ(read, 0);
      const Json& header = archive["header"];
      EXPECT_EQ(params.m_eCSP, header["provider_level"].get<int>());
      EXPECT_EQ(params.m_eAlg, header["cipher"].get<int>());
      EXPECT_EQ(params.m_bCompressFile, header["compressed"].get<bool>());
      EXPECT_EQ(params.m_bOpenFile, header["open_after"].get<bool>());
      EXPECT_EQ(params.m_bPwdRequired, header["password_mode"].get<bool>());
      EXPECT_EQ(desc.m_strFileName, header["file"]["name"].get<std::string>());
      EXPECT_EQ(params.m_strFilePath, desc.m_strFileName);
      EXPECT_EQ(test::ToHex(desc.m_varCreateTime), header["file"]["ctime"].get<std::string>());
      EXPECT_EQ(test::ToHex(desc.m_varModifyTime), header["file"]["mtime"].get<std::string>());
      EXPECT_EQ(desc.m_nFileSize, header["file"]["file_size"].get<int>());
      EXPECT_EQ(desc.m_nCompFileSize, header["file"]["comp_file_size"].get<int>());
      EXPECT_EQ(file.StreamOffset(), header["stream_offset"].get<std::int64_t>());
      if (!params.m_bPwdRequired) {
        const Json& access = header["access"];
        ASSERT_EQ(params.m_colOtherDigitalIDs.size() + 1, access.size());
        for (std::size_t i = 0; i < access.size(); ++i) {
          const clsDigitalID& entry = i == 0 ? params.m_oDefaultDigitalID : params.m_colOtherDigitalIDs[i - 1];
          EXPECT_EQ(entry.m_strName, access[i]["name"].get<std::string>());
          EXPECT_EQ(entry.m_strEMailAddr, access[i]["email"].get<std::string>());
          EXPECT_EQ(test::ToHex(entry.m_varThumbprint), access[i]["thumbprint"].get<std::string>());
        }
      }
      if (reason == "unsafe_name") {
        EXPECT_NE(desc.m_strFileName.find('/'), std::string::npos) << "the name is the decrypt job's to refuse";
        continue;
      }

      params.m_strPassword = attempt.value("password", "");
      const std::int32_t init = file.DecryptInit(params, desc);
      if (reason == "no_access") {
        EXPECT_EQ(init, -1);
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text, "You do not have access to this file.");
        EXPECT_EQ(ui.boxes[0].title, "Warning!");
        file.DecryptDone();
        continue;
      }
      ASSERT_EQ(init, 0) << (ui.boxes.empty() ? "" : ui.boxes[0].text);
      const std::int32_t payload = params.m_bCompressFile ? desc.m_nCompFileSize : desc.m_nFileSize;
      test::Bytes plain;
      std::int32_t result = 0;
      for (std::int32_t done = 0; done < payload && result == 0;) {
        const std::int32_t n = std::min(4096, payload - done);
        test::Bytes piece(static_cast<std::size_t>(n));
        result = file.Decrypt(done + n == payload, n, piece);
        if (result == 0) plain.insert(plain.end(), piece.begin(), piece.end());
        done += n;
      }
      EXPECT_EQ(file.DecryptDone(), 0);
      if (reason == "wrong_password") {
        EXPECT_EQ(result, -1);
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text, "The password is incorrect.");
        EXPECT_EQ(plain.size(), 4096u) << "only the final piece fails";
        continue;
      }
      if (reason == "truncated_payload") {
        EXPECT_EQ(result, 62);
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text, "Failed to decrypt.\rInput past end of file. Error Number: 62");
        continue;
      }
      ASSERT_EQ(result, 0) << (ui.boxes.empty() ? "" : ui.boxes[0].text);
      if (reason == "bad_compressed_block") {
        test::Bytes expanded;
        EXPECT_FALSE(Decompress(plain, expanded)) << "a block of more than 4096 plain bytes";
        continue;
      }
      ASSERT_EQ(reason, "");
      if (params.m_bCompressFile) {
        test::Bytes expanded;
        ASSERT_TRUE(Decompress(plain, expanded));
        plain = expanded;
      }
      EXPECT_EQ(plain, test::ReadFixture("sva/" + attempt["output"].get<std::string>()));
      EXPECT_TRUE(ui.boxes.empty());
    }
  }
  EXPECT_GE(number, 25);
}

}  // namespace
}  // namespace sealvane
