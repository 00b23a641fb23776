// SPDX-License-Identifier: GPL-3.0-or-later
// Compression of a file on every core: the job thread hands out runs of the
// file in order, worker threads turn each 4096-byte piece of a run into one
// framed block (C, U, then exactly what compress() makes of the piece), and
// the job thread takes the runs back in the order it handed them out. The
// job thread compresses too whenever it would otherwise wait, so that one
// thread per core is busy and none more. Only the job thread talks to the
// user; a worker's failure is kept with its run for the job thread to
// report. At most a fixed number of runs is in flight, so memory does not
// grow with the file.
#pragma once

#include <chrono>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "sealvane/archive/ZlibLibrary.h"
#include "sealvane/archive/clsDigitalID.h"
#include "sealvane/platform/RuntimeError.h"

namespace sealvane {

class CompressionPool {
 public:
  // The name of the worker threads (as ps and top show them).
  static constexpr const char* kWorkerName = "sealvane-zlib";
  // Pieces in one run: 64 KiB of the file.
  static constexpr std::int32_t kRunPieces = 16;

  struct Run {
    ByteArray plain;   // up to kRunPieces pieces of the file, in order
    ByteArray blocks;  // the framed blocks, once the run is done
    int zResult = 0;   // Z_OK, or what the compression library said
    std::optional<platform::RuntimeError> error;  // a failure outside the library's results
  };

  // `threads` compress, the caller's included (so threads - 1 workers are
  // started; 1 or 0: the caller alone). The compression library's
  // functions are looked up here, on the caller's thread (RuntimeError 48
  // or 453).
  CompressionPool(ZlibLibrary& zlib, unsigned threads);
  ~CompressionPool();
  CompressionPool(const CompressionPool&) = delete;
  CompressionPool& operator=(const CompressionPool&) = delete;

  // Threads to use by default: one per core, at most 8.
  static unsigned DefaultThreads() noexcept;

  // True when as many runs are in flight as the pool holds.
  bool Full() const;
  // True when no run is in flight.
  bool Empty() const;
  // A run to fill before Submit: its buffers are reused from earlier runs.
  std::unique_ptr<Run> NewRun();
  // Queues a filled run behind those handed out before it.
  void Submit(std::unique_ptr<Run> run);
  // The oldest run once it is done, or nullptr when it is not done within
  // `wait` (or nothing is in flight). It stays first until Release.
  Run* Oldest(std::chrono::milliseconds wait);
  // The caller compresses the oldest run that no worker has started; false
  // when there is none.
  bool Help();
  // Drops the oldest run (its buffers are kept for NewRun).
  void Release();
  // Workers stop after the piece they are compressing and are joined; runs
  // not yet done are dropped. Called by the destructor.
  void Stop() noexcept;

 private:
  struct Slot {
    std::unique_ptr<Run> run;
    bool started = false;
    bool done = false;
  };
  void Work();
  void Compress(Run& run, PieceCompressor& compressor);
  // The first run no thread has started, marked as started; nullptr when
  // there is none. Called with the lock held.
  Run* TakeNext();
  void MarkDone(const Run* run);

  ZlibLibrary& m_zlib;
  std::size_t m_nCapacity;
  mutable std::mutex m_mutex;
  std::condition_variable m_work;  // a run to start, or stop
  std::condition_variable m_done;  // a run done
  std::deque<Slot> m_queue;        // runs in flight, oldest first
  std::vector<std::unique_ptr<Run>> m_spare;
  bool m_bStop = false;
  std::atomic<bool> m_bAbort {false};  // read by workers between pieces
  std::vector<std::thread> m_threads;
  PieceCompressor m_own;  // the caller's, for Help
};

}  // namespace sealvane
