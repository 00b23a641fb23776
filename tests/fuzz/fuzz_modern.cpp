// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for format version 2's parsers: any bytes as a header; and,
// sealed here under a fixed key so that they pass the tag check, any bytes
// as a sealed description and as a chunk's plaintext (kind byte and a zstd
// frame or stored bytes). Nothing may crash, overrun, or expand past a
// chunk.
#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

#include "sealvane/archive/ModernArchive.h"

namespace {

using sealvane::ByteArray;
namespace v2 = sealvane::v2;

const std::uint8_t kFileKey[32] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                                   17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};
const std::uint8_t kSalt[32] = {};
const std::uint8_t kMac[32] = {7};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  // The header parser.
  try {
    std::size_t at = 0;
    ByteArray bytes;
    v2::ReadHeader(
        [&](std::span<std::uint8_t> out) {
          if (out.size() > size - at) throw v2::FormatError("cut");
          std::copy_n(data + at, out.size(), out.begin());
          at += out.size();
        },
        size, bytes);
  } catch (const v2::FormatError&) {
  }
  static const v2::Keys keys(kFileKey, kSalt);
  // The description's parser, behind a tag that checks out.
  {
    sealvane::modern::Gcm gcm(keys.description);
    const std::array<std::uint8_t, 12> nonce {};
    ByteArray sealed(size + 16);
    gcm.Seal(nonce, kMac, input, sealed);
    (void)v2::OpenDescription(sealed, keys, kMac);
  }
  // A chunk's plaintext: stored or a zstd frame, bounded by the chunk size.
  if (size >= 1 && size <= v2::MaxSealedChunk(v2::kMinChunkSize) - 16) {
    sealvane::modern::Gcm gcm(keys.payload);
    ByteArray sealed(size + 16);
    gcm.Seal(v2::ChunkNonce(0, true), kMac, input, sealed);
    v2::ChunkSealer opener(keys.payload, kMac, false, v2::kMinChunkSize);
    ByteArray out;
    if (opener.Open(0, true, sealed, out) && out.size() > v2::kMinChunkSize) __builtin_trap();
  }
  return 0;
}
