// SPDX-License-Identifier: GPL-3.0-or-later
#include "WorkPool.h"

#include <pthread.h>

#include <algorithm>

#include "sealvane/archive/modCommon.h"

namespace sealvane {

unsigned WorkPool::DefaultThreads() noexcept { return std::clamp(std::thread::hardware_concurrency(), 1u, 8u); }

WorkPool::WorkPool(const WorkerFactory& factory, unsigned threads, std::size_t capacityPerThread)
    : m_nCapacity(std::max<std::size_t>(capacityPerThread, 1) * std::max(threads, 1u)) {
  // Every worker is made here, so that one that cannot be made (a library
  // missing) is the caller's failure, reported on its thread.
  m_own = factory();
  for (unsigned i = 1; i < threads; ++i) m_workers.push_back(factory());
  try {
    for (auto& worker : m_workers) m_threads.emplace_back([this, w = worker.get()] { Work(*w); });
  } catch (...) {
    Stop();
    throw;
  }
}

WorkPool::~WorkPool() { Stop(); }

bool WorkPool::Full() const {
  std::lock_guard lock(m_mutex);
  return m_queue.size() >= m_nCapacity;
}

bool WorkPool::Empty() const {
  std::lock_guard lock(m_mutex);
  return m_queue.empty();
}

std::unique_ptr<WorkRun> WorkPool::NewRun() {
  std::unique_ptr<WorkRun> run;
  {
    std::lock_guard lock(m_mutex);
    if (!m_spare.empty()) {
      run = std::move(m_spare.back());
      m_spare.pop_back();
    }
  }
  if (!run) run = std::make_unique<WorkRun>();
  run->input.clear();
  run->output.clear();
  run->first = 0;
  run->last = false;
  run->status = 0;
  run->failedAt = 0;
  run->error.reset();
  return run;
}

void WorkPool::Submit(std::unique_ptr<WorkRun> run) {
  {
    std::lock_guard lock(m_mutex);
    m_queue.push_back(Slot {std::move(run), false, false});
  }
  m_work.notify_one();
}

WorkRun* WorkPool::Oldest(std::chrono::milliseconds wait) {
  std::unique_lock lock(m_mutex);
  if (m_queue.empty()) return nullptr;
  if (!m_done.wait_for(lock, wait, [this] { return m_queue.front().done; })) return nullptr;
  return m_queue.front().run.get();
}

bool WorkPool::Help() {
  WorkRun* run = nullptr;
  {
    std::lock_guard lock(m_mutex);
    run = TakeNext();
  }
  if (run == nullptr) return false;
  Process(*run, *m_own);
  std::lock_guard lock(m_mutex);
  MarkDone(run);
  return true;
}

WorkRun* WorkPool::Next(std::chrono::milliseconds wait) {
  if (WorkRun* run = Oldest(std::chrono::milliseconds(0))) return run;
  if (Help()) return nullptr;
  return Oldest(wait);
}

WorkRun* WorkPool::TakeNext() {
  const auto next = std::find_if(m_queue.begin(), m_queue.end(), [](const Slot& s) { return !s.started; });
  if (next == m_queue.end()) return nullptr;
  next->started = true;
  return next->run.get();
}

void WorkPool::MarkDone(const WorkRun* run) {
  // The slot is still queued: only the job thread releases done runs, and
  // Stop joins the workers before it drops any.
  for (Slot& slot : m_queue) {
    if (slot.run.get() == run) slot.done = true;
  }
  m_done.notify_all();
}

void WorkPool::Release() {
  std::lock_guard lock(m_mutex);
  if (m_queue.empty() || !m_queue.front().done) return;
  m_spare.push_back(std::move(m_queue.front().run));
  m_queue.pop_front();
}

void WorkPool::Stop() noexcept {
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
  // What the runs held is the user's data: not left behind in freed memory.
  const auto wipe = [](WorkRun& run) {
    WipeBytes(run.input);
    WipeBytes(run.output);
  };
  for (Slot& slot : m_queue) wipe(*slot.run);
  m_queue.clear();
  for (auto& run : m_spare) wipe(*run);
  m_spare.clear();
}

void WorkPool::Work(RunWorker& worker) {
  // Named, so that a person (or a test) can tell the workers apart.
  ::pthread_setname_np(::pthread_self(), kWorkerName);
  std::unique_lock lock(m_mutex);
  for (;;) {
    WorkRun* run = nullptr;
    m_work.wait(lock, [&] { return m_bStop || (run = TakeNext()) != nullptr; });
    if (m_bStop) return;
    lock.unlock();
    Process(*run, worker);
    lock.lock();
    MarkDone(run);
  }
}

void WorkPool::Process(WorkRun& run, RunWorker& worker) noexcept {
  try {
    worker.Process(run, m_bAbort);
  } catch (...) {
    run.error = platform::CurrentRuntimeError();
  }
}

}  // namespace sealvane
