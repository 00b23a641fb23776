// SPDX-License-Identifier: GPL-3.0-or-later
#include "JobWorkers.h"

#include <algorithm>

#include "sealvane/archive/clsArchive.h"
#include "sealvane/archive/modCommon.h"

namespace sealvane {

ZlibBlockWorker::ZlibBlockWorker(ZlibLibrary& zlib) : m_compressor(zlib) { zlib.Deflater(); }

void ZlibBlockWorker::Process(WorkRun& run, const std::atomic<bool>& abort) {
  const std::size_t size = run.input.size();
  const std::size_t pieces = (size + kPieceSize - 1) / kPieceSize;
  // The most a block takes: its two lengths and the output buffer
  // compress() is given for a piece.
  constexpr std::size_t kRoom = 8 + 2 * kPieceSize + 12;
  run.output.resize(pieces * kRoom);
  std::size_t out = 0;
  for (std::size_t at = 0; at < size; at += kPieceSize) {
    if (abort.load(std::memory_order_relaxed)) break;
    const std::size_t piece = std::min<std::size_t>(kPieceSize, size - at);
    std::size_t length = 0;
    const int z = m_compressor.Compress(std::span<const std::uint8_t>(run.input.data() + at, piece),
                                        std::span<std::uint8_t>(run.output.data() + out + 8, 2 * piece + 12), length);
    if (z != Z_OK) {
      run.status = z;
      break;
    }
    const std::span<std::uint8_t> frame(run.output.data() + out, 8);
    WriteLongBE(frame, 0, static_cast<std::int32_t>(length));
    WriteLongBE(frame, 4, static_cast<std::int32_t>(piece));
    out += 8 + length;
  }
  run.output.resize(out);
}

ChunkSealWorker::ChunkSealWorker(std::span<const std::uint8_t> payloadKey, std::span<const std::uint8_t> headerMac,
                                 bool compress, std::uint32_t chunkSize)
    : m_sealer(payloadKey, headerMac, compress, chunkSize), m_nChunkSize(chunkSize) {}

void ChunkSealWorker::Process(WorkRun& run, const std::atomic<bool>& abort) {
  run.output.clear();
  const std::size_t size = run.input.size();
  std::uint64_t index = run.first;
  std::size_t at = 0;
  // An empty file is one empty chunk.
  do {
    if (abort.load(std::memory_order_relaxed)) return;
    const std::size_t n = std::min<std::size_t>(m_nChunkSize, size - at);
    const bool last = run.last && at + n == size;
    m_sealer.Seal(index++, last, std::span<const std::uint8_t>(run.input.data() + at, n), run.output);
    at += n;
  } while (at < size);
}

ChunkOpenWorker::ChunkOpenWorker(std::span<const std::uint8_t> payloadKey, std::span<const std::uint8_t> headerMac,
                                 std::uint32_t chunkSize)
    : m_sealer(payloadKey, headerMac, false, chunkSize), m_nChunkSize(chunkSize) {}

ChunkOpenWorker::~ChunkOpenWorker() { WipeBytes(m_plain); }

void ChunkOpenWorker::Process(WorkRun& run, const std::atomic<bool>& abort) {
  run.output.clear();
  std::uint64_t index = run.first;
  std::size_t at = 0;
  // The job thread framed the input: each chunk's length, then the chunk.
  while (at < run.input.size()) {
    if (abort.load(std::memory_order_relaxed)) return;
    const std::uint32_t length = v2::detail::Be32(run.input.data() + at);
    at += 4;
    const bool last = run.last && at + length == run.input.size();
    // Every chunk but the last is whole.
    if (!m_sealer.Open(index, last, std::span<const std::uint8_t>(run.input.data() + at, length), m_plain) ||
        (!last && m_plain.size() != m_nChunkSize)) {
      run.status = 1;
      run.failedAt = index;
      return;
    }
    run.output.insert(run.output.end(), m_plain.begin(), m_plain.end());
    at += length;
    ++index;
  }
}

}  // namespace sealvane
