// SPDX-License-Identifier: GPL-3.0-or-later
#include "StreamExpander.h"

#include <algorithm>

#include "sealvane/archive/clsArchive.h"
#include "sealvane/archive/modCommon.h"

namespace sealvane {

namespace {

// The most a block's zlib stream can take: the output buffer its writer
// gives compress() for a 4096-byte piece.
constexpr std::int32_t kMaxBlockData = 2 * kPieceSize + 12;

}  // namespace

StreamExpander::StreamExpander(ZlibLibrary& zlib, RunWriter& out, std::int64_t streamSize, std::int64_t plainSize)
    : m_expander(zlib), m_out(out), m_nStreamLeft(streamSize), m_nPlainSize(plainSize),
      m_plain(static_cast<std::size_t>(kPieceSize)) {}

StreamExpander::~StreamExpander() {
  WipeBytes(m_block);
  WipeBytes(m_plain);
}

void StreamExpander::Feed(std::span<const std::uint8_t> bytes) {
  std::size_t at = 0;
  while (at < bytes.size() && m_eDamage == Damage::None) {
    if (m_nLengthsHave < 8) {
      if (m_nLengthsHave == 0 && m_nStreamLeft < 8) {
        m_eDamage = Damage::Cut;
        break;
      }
      const std::size_t n = std::min(8 - m_nLengthsHave, bytes.size() - at);
      std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), n, m_lengths + m_nLengthsHave);
      m_nLengthsHave += n;
      m_nStreamLeft -= static_cast<std::int64_t>(n);
      at += n;
      if (m_nLengthsHave < 8) break;
      m_nC = ReadLongBE(m_lengths, 0);
      m_nU = ReadLongBE(m_lengths, 4);
      if (m_nC < 1 || m_nC > kMaxBlockData || m_nC > m_nStreamLeft || m_nU < 1 || m_nU > kPieceSize) {
        m_eDamage = Damage::BadLengths;
        break;
      }
      continue;
    }
    const auto c = static_cast<std::size_t>(m_nC);
    if (m_block.empty() && bytes.size() - at >= c) {
      // The whole block lies in these bytes: expanded where it is.
      Expand(bytes.subspan(at, c));
      at += c;
      m_nStreamLeft -= m_nC;
      m_nLengthsHave = 0;
      continue;
    }
    const std::size_t n = std::min(c - m_block.size(), bytes.size() - at);
    m_block.insert(m_block.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at),
                   bytes.begin() + static_cast<std::ptrdiff_t>(at + n));
    at += n;
    m_nStreamLeft -= static_cast<std::int64_t>(n);
    if (m_block.size() == c) {
      Expand(m_block);
      m_block.clear();
      m_nLengthsHave = 0;
    }
  }
}

void StreamExpander::Expand(std::span<const std::uint8_t> block) {
  std::size_t length = 0;
  const int z = m_expander.Expand(block, std::span<std::uint8_t>(m_plain.data(), static_cast<std::size_t>(m_nU)), length);
  if (z != Z_OK) {
    m_eDamage = Damage::BadData;
    m_nZResult = z;
    return;
  }
  // Never more than the file the archive describes.
  if (m_nWritten + static_cast<std::int64_t>(length) > m_nPlainSize) {
    m_eDamage = Damage::TooMuch;
    return;
  }
  m_out.Write(std::span<const std::uint8_t>(m_plain.data(), length));
  m_nWritten += static_cast<std::int64_t>(length);
}

void StreamExpander::Finish() {
  if (m_eDamage != Damage::None) return;
  if (m_nLengthsHave != 0 || !m_block.empty() || m_nStreamLeft != 0) {
    m_eDamage = Damage::Cut;
  } else if (m_nWritten != m_nPlainSize) {
    m_eDamage = Damage::TooLittle;
  }
}

}  // namespace sealvane
