// SPDX-License-Identifier: GPL-3.0-or-later
// Expands an archive's compressed stream while it is being decrypted: the
// decrypted pieces go in as they come, each framed block (C, U, a zlib
// stream) is expanded as soon as it is whole and written to the plain file.
// Blocks never hold more than one 4096-byte piece, nor more than the stream
// has left, nor expand past the file size the archive records. Damage is
// remembered, not reported: whether it is damage or a wrong key is known only
// once the final piece has been decrypted.
#pragma once

#include <cstdint>
#include <span>

#include "RunIo.h"
#include "sealvane/archive/Status.h"
#include "sealvane/archive/ZlibLibrary.h"

namespace sealvane {

class StreamExpander {
 public:
  using Damage = StreamDamage;

  // `streamSize` bytes of stream will be fed; they expand to `plainSize`.
  StreamExpander(ZlibLibrary& zlib, RunWriter& out, std::int64_t streamSize, std::int64_t plainSize);
  ~StreamExpander();
  StreamExpander(const StreamExpander&) = delete;
  StreamExpander& operator=(const StreamExpander&) = delete;

  // The next decrypted bytes of the stream. Once damage is found the rest is
  // taken and ignored. Throws RuntimeError for what is not damage: the
  // library missing, a write that fails.
  void Feed(std::span<const std::uint8_t> bytes);
  // After the last bytes: the whole stream expanded to exactly the size.
  void Finish();

  Damage Found() const noexcept { return m_eDamage; }
  // The compression library's result for BadData.
  int ZResult() const noexcept { return m_nZResult; }

 private:
  void Expand(std::span<const std::uint8_t> block);

  PieceExpander m_expander;
  RunWriter& m_out;
  std::int64_t m_nStreamLeft;  // stream bytes not yet fed
  std::int64_t m_nPlainSize;
  std::int64_t m_nWritten = 0;
  Damage m_eDamage = Damage::None;
  int m_nZResult = 0;
  // The block being gathered: its two lengths, then its data.
  std::uint8_t m_lengths[8] = {};
  std::size_t m_nLengthsHave = 0;
  std::int32_t m_nC = 0;
  std::int32_t m_nU = 0;
  ByteArray m_block;
  ByteArray m_plain;  // one expanded block
};

}  // namespace sealvane
