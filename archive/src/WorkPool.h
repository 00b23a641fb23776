// SPDX-License-Identifier: GPL-3.0-or-later
// A job's work on every core: the job thread hands out runs of its data in
// order, worker threads process them (compress the pieces of a run, seal or
// open its chunks), and the job thread takes the runs back in the order it
// handed them out, to write them. The job thread processes runs too whenever
// it would otherwise wait, so that one thread per core is busy and none
// more. Only the job thread talks to the user; a worker's failure is kept
// with its run for the job thread to report. At most a fixed number of runs
// is in flight, so memory does not grow with the file.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "sealvane/archive/clsDigitalID.h"
#include "sealvane/platform/RuntimeError.h"

namespace sealvane {

struct WorkRun {
  ByteArray input;
  ByteArray output;
  std::uint64_t first = 0;  // the number of the run's first piece or chunk
  bool last = false;        // the run holds the last chunk of the data
  int status = 0;           // 0, or the processing's own failure code
  std::uint64_t failedAt = 0;  // where that failure is
  std::optional<platform::RuntimeError> error;  // a failure outside those codes
};

// What one thread does to a run. Each thread has its own.
class RunWorker {
 public:
  virtual ~RunWorker() = default;
  // Processes `run` (status and output); stops early, leaving the run
  // unfinished, once `abort` is set. May throw: the pool keeps the error.
  virtual void Process(WorkRun& run, const std::atomic<bool>& abort) = 0;
};

class WorkPool {
 public:
  using WorkerFactory = std::function<std::unique_ptr<RunWorker>()>;

  // The worker threads are named so (as ps and top show them).
  static constexpr const char* kWorkerName = "sealvane-work";

  // `threads` process runs, the caller's included (so threads - 1 workers
  // are started; 1 or 0: the caller alone). Each gets a worker from
  // `factory`, the caller's first, on the caller's thread: a worker that
  // cannot be made fails here.
  WorkPool(const WorkerFactory& factory, unsigned threads, std::size_t capacityPerThread = 4);
  ~WorkPool();
  WorkPool(const WorkPool&) = delete;
  WorkPool& operator=(const WorkPool&) = delete;

  // Threads to use by default: one per core, at most 8.
  static unsigned DefaultThreads() noexcept;

  // True when as many runs are in flight as the pool holds.
  bool Full() const;
  // True when no run is in flight.
  bool Empty() const;
  // A run to fill before Submit: its buffers are reused from earlier runs.
  std::unique_ptr<WorkRun> NewRun();
  // Queues a filled run behind those handed out before it.
  void Submit(std::unique_ptr<WorkRun> run);
  // The oldest run once it is done, or nullptr when it is not done within
  // `wait` (or nothing is in flight). It stays first until Release.
  WorkRun* Oldest(std::chrono::milliseconds wait);
  // The caller processes the oldest run that no worker has started; false
  // when there is none.
  bool Help();
  // The job thread's step: the oldest run when it is done; else the caller
  // processes a run nobody has started; else waits up to `wait` for the
  // oldest. nullptr when it is not done yet (or nothing is in flight).
  WorkRun* Next(std::chrono::milliseconds wait);
  // Drops the oldest run (its buffers are kept for NewRun).
  void Release();
  // Workers stop where they are and are joined; runs not yet done are
  // dropped. Called by the destructor.
  void Stop() noexcept;

 private:
  struct Slot {
    std::unique_ptr<WorkRun> run;
    bool started = false;
    bool done = false;
  };
  void Work(RunWorker& worker);
  void Process(WorkRun& run, RunWorker& worker) noexcept;
  // The first run no thread has started, marked as started; nullptr when
  // there is none. Called with the lock held.
  WorkRun* TakeNext();
  void MarkDone(const WorkRun* run);

  std::size_t m_nCapacity;
  mutable std::mutex m_mutex;
  std::condition_variable m_work;  // a run to start, or stop
  std::condition_variable m_done;  // a run done
  std::deque<Slot> m_queue;        // runs in flight, oldest first
  std::vector<std::unique_ptr<WorkRun>> m_spare;
  bool m_bStop = false;
  std::atomic<bool> m_bAbort {false};  // read by workers as they go
  std::unique_ptr<RunWorker> m_own;   // the caller's, for Help
  std::vector<std::unique_ptr<RunWorker>> m_workers;
  std::vector<std::thread> m_threads;
};

}  // namespace sealvane
