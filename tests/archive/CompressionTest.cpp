// SPDX-License-Identifier: GPL-3.0-or-later
// Compression bound at run time: one stream per job gives exactly what
// compress() and uncompress() give, and a missing library or function fails
// the operation that needed it.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>

#include "archive/JobFixtures.h"
#include "sealvane/archive/ZlibLibrary.h"
#include "sealvane/archive/frmDecrypt.h"
#include "sealvane/archive/frmEncrypt.h"
#include "support/FakeUiPort.h"
#include "support/Sandbox.h"
#include "support/Vectors.h"

namespace sealvane {
namespace {

namespace fs = std::filesystem;
using namespace test;

Bytes Random(std::size_t n, std::uint32_t seed) {
  Bytes b(n);
  for (auto& c : b) c = static_cast<std::uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
  return b;
}

Bytes Text(std::size_t n) {
  const std::string s = Content(n);
  return Bytes(s.begin(), s.end());
}

TEST(PieceCompressor, EveryPieceIsWhatCompressGives) {
  PieceCompressor compressor;
  PieceExpander expander;
  // Text, random bytes, runs of one byte, and the short pieces at the end of
  // a file, one stream through all of them.
  std::vector<Bytes> pieces;
  for (int i = 0; i < 3; ++i) {
    pieces.push_back(Text(4096));
    pieces.push_back(Random(4096, 7u + static_cast<std::uint32_t>(i)));
    pieces.push_back(Bytes(4096, 0));
  }
  for (const std::size_t tail : {1u, 2u, 7u, 100u, 4095u}) {
    pieces.push_back(Text(tail));
    pieces.push_back(Random(tail, static_cast<std::uint32_t>(tail)));
  }
  for (const Bytes& piece : pieces) {
    SCOPED_TRACE(piece.size());
    Bytes expected(compressBound(piece.size()));
    uLongf expectedLength = expected.size();
    ASSERT_EQ(compress(expected.data(), &expectedLength, piece.data(), piece.size()), Z_OK);
    expected.resize(expectedLength);
    Bytes out(2 * piece.size() + 12);
    std::size_t length = 0;
    ASSERT_EQ(compressor.Compress(piece, out, length), Z_OK);
    out.resize(length);
    EXPECT_EQ(out, expected) << "byte for byte";

    Bytes back(piece.size());
    std::size_t backLength = 0;
    ASSERT_EQ(expander.Expand(out, back, backLength), Z_OK);
    EXPECT_EQ(backLength, piece.size());
    EXPECT_EQ(back, piece);
  }
  Bytes tiny(4);
  std::size_t length = 0;
  EXPECT_EQ(compressor.Compress(Text(4096), tiny, length), Z_BUF_ERROR);
  // The stream goes on after a failure.
  Bytes out(8204);
  EXPECT_EQ(compressor.Compress(Text(10), out, length), Z_OK);
}

TEST(PieceExpander, FailuresAreThoseOfUncompress) {
  PieceExpander expander;
  const Bytes plain = Text(4096);
  Bytes packed(compressBound(plain.size()));
  uLongf packedLength = packed.size();
  ASSERT_EQ(compress(packed.data(), &packedLength, plain.data(), plain.size()), Z_OK);
  packed.resize(packedLength);
  const auto both = [&](const Bytes& in, std::size_t room) {
    Bytes out(room), ref(room);
    uLongf refLength = room;
    const int expected = uncompress(ref.data(), &refLength, in.data(), in.size());
    std::size_t length = 0;
    const int got = expander.Expand(in, out, length);
    EXPECT_EQ(got, expected);
    if (got == Z_OK) {
      EXPECT_EQ(length, refLength);
    }
    return got;
  };
  EXPECT_EQ(both(packed, 4096), Z_OK);
  EXPECT_EQ(both(packed, 4095), Z_BUF_ERROR) << "more than the block says";
  EXPECT_EQ(both(Bytes(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(packed.size() / 2)), 4096), Z_DATA_ERROR)
      << "cut";
  Bytes broken = packed;
  broken[0] ^= 0xFF;
  EXPECT_EQ(both(broken, 4096), Z_DATA_ERROR);
  Bytes trailing = packed;
  trailing.insert(trailing.end(), {1, 2, 3});
  EXPECT_EQ(both(trailing, 4096), Z_OK) << "bytes after the stream are ignored, as uncompress does";
  EXPECT_EQ(both(packed, 4096), Z_OK) << "and the stream still works";
}

TEST(ZlibBinding, AMissingLibraryOrFunctionFailsTheStepThatNeedsIt) {
  WriteFileBytes(Plain(), Content(10000));
  for (const char* library : {"/nonexistent/libz.so.1", PARTIAL_CIPHER_LIB}) {
    SCOPED_TRACE(library);
    ZlibLibrary zlib(library);
    FakeUiPort ui;
    frmEncrypt encrypt(ui, CipherLibrary::Default(), zlib);
    ASSERT_TRUE(encrypt.Initialize(EncryptParameters(true)));
    encrypt.Run();
    const bool missingLibrary = std::string(library).find("nonexistent") != std::string::npos;
    EXPECT_EQ(encrypt.Result(), missingLibrary ? 48 : 453);
    ASSERT_EQ(ui.boxes.size(), 1u);
    if (missingLibrary) {
      EXPECT_EQ(ui.boxes[0].text.rfind("Failed to compress file.\rError in loading DLL /nonexistent/libz.so.1", 0), 0u)
          << ui.boxes[0].text;
    } else {
      EXPECT_EQ(ui.boxes[0].text,
                "Failed to compress file.\rSpecified DLL function not found: deflateInit2_. Error Number: 453");
    }
    EXPECT_FALSE(fs::exists(Archive()));
    EXPECT_EQ(TempFiles(), 0u);
  }

  // Decrypting needs the library only when the archive is compressed.
  FakeUiPort maker;
  frmEncrypt encrypt(maker);
  ASSERT_TRUE(encrypt.Initialize(EncryptParameters(true)));
  encrypt.Run();
  ZlibLibrary missing("/nonexistent/libz.so.1");
  FakeUiPort ui;
  frmDecrypt decrypt(ui, CipherLibrary::Default(), missing);
  ASSERT_TRUE(decrypt.Initialize(DecryptParameters(Archive(), kPassword, SandboxDir() + "/x.doc")));
  decrypt.Run();
  EXPECT_EQ(decrypt.Result(), 48);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text.rfind("Failed to decompress file.\rError in loading DLL /nonexistent/libz.so.1", 0), 0u);
  EXPECT_FALSE(fs::exists(SandboxDir() + "/x.doc"));

  fs::remove(Archive());
  FakeUiPort plainUi;
  frmEncrypt uncompressed(plainUi, CipherLibrary::Default(), missing);
  ASSERT_TRUE(uncompressed.Initialize(EncryptParameters(false)));
  uncompressed.Run();
  EXPECT_EQ(uncompressed.Result(), 0) << "no compression, no library";
}

}  // namespace
}  // namespace sealvane
