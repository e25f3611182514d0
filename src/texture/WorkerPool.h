// A small pool of worker threads for the loader's parallel loops. A loop is a batch of numbered
// tasks; the thread that posts it runs tasks too and returns once all of them are done, so a
// task may itself run a loop (the tool converts files in parallel and each conversion splits
// its surfaces) without ever waiting for a thread that is not coming.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace rastro {

class WorkerPool {
 public:
  // The process's pool, sized by RASTROMETER_THREADS or the processors (see ThreadCount.h).
  static WorkerPool& Shared();

  explicit WorkerPool(unsigned threads);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Threads a loop may keep busy, the caller's own included.
  unsigned Threads() const;
  // Tests and tools choose the count; 0 goes back to what the environment says.
  void SetThreads(unsigned threads);

  // Runs task(0) ... task(count - 1), each exactly once, on up to Threads() threads, and
  // returns when every one has finished. Tasks must not throw.
  void ParallelFor(std::size_t count, const std::function<void(std::size_t)>& task);

 private:
  struct Batch {
    const std::function<void(std::size_t)>* task;
    std::size_t count;
    std::size_t next = 0;      // first task nobody has taken
    std::size_t finished = 0;  // tasks done
    unsigned helpers = 0;      // pool threads working on it
    unsigned mostHelpers;      // pool threads it may have
    std::condition_variable done;
  };

  void WorkerLoop();
  // Takes the next task of `batch` and runs it with the lock released. Caller holds `lock`.
  void RunOneTask(Batch& batch, std::unique_lock<std::mutex>& lock);
  // Returns how many of the `count` wanted are running.
  unsigned StartWorkers(unsigned count);

  mutable std::mutex mutex_;
  std::condition_variable workPosted_;
  std::deque<Batch*> batches_;  // batches with tasks nobody has taken yet
  std::vector<std::thread> workers_;
  unsigned threads_;
  bool stopping_ = false;
};

// Shorthand for the shared pool's thread count.
inline unsigned LoaderThreads() { return WorkerPool::Shared().Threads(); }

}  // namespace rastro
