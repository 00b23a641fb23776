// SPDX-License-Identifier: GPL-3.0-or-later
// What the jobs' threads do to a run: zlib blocks for format version 1,
// sealed and opened chunks for format version 2.
#pragma once

#include <memory>
#include <span>

#include "WorkPool.h"
#include "sealvane/archive/ModernArchive.h"
#include "sealvane/archive/ZlibLibrary.h"

namespace sealvane {

// Each 4096-byte piece of the run's input becomes one framed block (C, U,
// then exactly what compress() makes of the piece). Status: a zlib result.
class ZlibBlockWorker : public RunWorker {
 public:
  // Looks the library's functions up (RuntimeError 48 or 453).
  explicit ZlibBlockWorker(ZlibLibrary& zlib);
  void Process(WorkRun& run, const std::atomic<bool>& abort) override;

 private:
  PieceCompressor m_compressor;
};

// Seals the chunks of the run's input (chunkSize bytes each, the run's last
// chunk possibly shorter) as they are stored, numbered from run.first.
class ChunkSealWorker : public RunWorker {
 public:
  ChunkSealWorker(std::span<const std::uint8_t> payloadKey, std::span<const std::uint8_t> headerMac, bool compress,
                  std::uint32_t chunkSize);
  void Process(WorkRun& run, const std::atomic<bool>& abort) override;

 private:
  v2::ChunkSealer m_sealer;
  std::uint32_t m_nChunkSize;
};

// Opens the sealed chunks of the run's input (each after its 4-byte length)
// into the plain bytes. Status 1, with failedAt the chunk's number, for a
// chunk that does not check out.
class ChunkOpenWorker : public RunWorker {
 public:
  ChunkOpenWorker(std::span<const std::uint8_t> payloadKey, std::span<const std::uint8_t> headerMac,
                  std::uint32_t chunkSize);
  ~ChunkOpenWorker() override;
  void Process(WorkRun& run, const std::atomic<bool>& abort) override;

 private:
  v2::ChunkSealer m_sealer;
  std::uint32_t m_nChunkSize;
  ByteArray m_plain;
};

}  // namespace sealvane
