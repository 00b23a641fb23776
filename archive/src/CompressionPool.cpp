// SPDX-License-Identifier: GPL-3.0-or-later
#include "CompressionPool.h"

#include <pthread.h>

#include <algorithm>

#include "sealvane/archive/clsArchive.h"
#include "sealvane/archive/modCommon.h"

namespace sealvane {

namespace {

// The room a piece's block takes at most: its two lengths and the output
// buffer compress() is given for it.
constexpr std::size_t BlockRoom(std::size_t piece) { return 8 + 2 * piece + 12; }

}  // namespace

unsigned CompressionPool::DefaultThreads() noexcept {
  return std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
}

CompressionPool::CompressionPool(ZlibLibrary& zlib, unsigned threads)
    : m_zlib(zlib), m_nCapacity(4 * static_cast<std::size_t>(std::max(threads, 1u))), m_own(zlib) {
  // A missing library or function is the caller's failure, reported on its
  // thread before any worker starts.
  m_zlib.Deflater();
  try {
    for (unsigned i = 1; i < threads; ++i) m_threads.emplace_back([this] { Work(); });
  } catch (...) {
    Stop();
    throw;
  }
}

CompressionPool::~CompressionPool() { Stop(); }

bool CompressionPool::Full() const {
  std::lock_guard lock(m_mutex);
  return m_queue.size() >= m_nCapacity;
}

bool CompressionPool::Empty() const {
  std::lock_guard lock(m_mutex);
  return m_queue.empty();
}

std::unique_ptr<CompressionPool::Run> CompressionPool::NewRun() {
  std::unique_ptr<Run> run;
  {
    std::lock_guard lock(m_mutex);
    if (!m_spare.empty()) {
      run = std::move(m_spare.back());
      m_spare.pop_back();
    }
  }
  if (!run) run = std::make_unique<Run>();
  run->plain.clear();
  run->blocks.clear();
  run->zResult = Z_OK;
  run->error.reset();
  return run;
}

void CompressionPool::Submit(std::unique_ptr<Run> run) {
  {
    std::lock_guard lock(m_mutex);
    m_queue.push_back(Slot {std::move(run), false, false});
  }
  m_work.notify_one();
}

CompressionPool::Run* CompressionPool::Oldest(std::chrono::milliseconds wait) {
  std::unique_lock lock(m_mutex);
  if (m_queue.empty()) return nullptr;
  if (!m_done.wait_for(lock, wait, [this] { return m_queue.front().done; })) return nullptr;
  return m_queue.front().run.get();
}

bool CompressionPool::Help() {
  Run* run = nullptr;
  {
    std::lock_guard lock(m_mutex);
    run = TakeNext();
  }
  if (run == nullptr) return false;
  Compress(*run, m_own);
  std::lock_guard lock(m_mutex);
  MarkDone(run);
  return true;
}

CompressionPool::Run* CompressionPool::TakeNext() {
  const auto next = std::find_if(m_queue.begin(), m_queue.end(), [](const Slot& s) { return !s.started; });
  if (next == m_queue.end()) return nullptr;
  next->started = true;
  return next->run.get();
}

void CompressionPool::MarkDone(const Run* run) {
  // The slot is still queued: only the job thread releases done runs, and
  // Stop joins the workers before it drops any.
  for (Slot& slot : m_queue) {
    if (slot.run.get() == run) slot.done = true;
  }
  m_done.notify_all();
}

void CompressionPool::Release() {
  std::lock_guard lock(m_mutex);
  if (m_queue.empty() || !m_queue.front().done) return;
  m_spare.push_back(std::move(m_queue.front().run));
  m_queue.pop_front();
}

void CompressionPool::Stop() noexcept {
  {
    std::lock_guard lock(m_mutex);
    m_bStop = true;
    m_bAbort = true;
  }
  m_work.notify_all();
  for (std::thread& thread : m_threads) {
    if (thread.joinable()) thread.join();
  }
  m_threads.clear();
  // The plain bytes of the runs are the user's data: not left behind in
  // freed memory.
  for (Slot& slot : m_queue) WipeBytes(slot.run->plain);
  m_queue.clear();
  for (auto& run : m_spare) WipeBytes(run->plain);
  m_spare.clear();
}

void CompressionPool::Work() {
  // Named, so that a person (or a test) can tell the workers apart.
  ::pthread_setname_np(::pthread_self(), kWorkerName);
  PieceCompressor compressor(m_zlib);
  std::unique_lock lock(m_mutex);
  for (;;) {
    Run* run = nullptr;
    m_work.wait(lock, [&] { return m_bStop || (run = TakeNext()) != nullptr; });
    if (m_bStop) return;
    lock.unlock();
    Compress(*run, compressor);
    lock.lock();
    MarkDone(run);
  }
}

void CompressionPool::Compress(Run& run, PieceCompressor& compressor) {
  try {
    const std::size_t size = run.plain.size();
    const std::size_t pieces = (size + kPieceSize - 1) / kPieceSize;
    run.blocks.resize(pieces * BlockRoom(kPieceSize));
    std::size_t out = 0;
    for (std::size_t at = 0; at < size; at += kPieceSize) {
      if (m_bAbort.load(std::memory_order_relaxed)) break;
      const std::size_t piece = std::min<std::size_t>(kPieceSize, size - at);
      std::size_t length = 0;
      const int z = compressor.Compress(std::span<const std::uint8_t>(run.plain.data() + at, piece),
                                        std::span<std::uint8_t>(run.blocks.data() + out + 8, 2 * piece + 12), length);
      if (z != Z_OK) {
        run.zResult = z;
        break;
      }
      const std::span<std::uint8_t> frame(run.blocks.data() + out, 8);
      WriteLongBE(frame, 0, static_cast<std::int32_t>(length));
      WriteLongBE(frame, 4, static_cast<std::int32_t>(piece));
      out += 8 + length;
    }
    run.blocks.resize(out);
  } catch (...) {
    run.error = platform::CurrentRuntimeError();
  }
}

}  // namespace sealvane
