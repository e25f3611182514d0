#include "WorkerPool.h"

#include <system_error>

#include "ThreadCount.h"

namespace rastro {

WorkerPool& WorkerPool::Shared() {
  static WorkerPool pool(RequestedThreadCount());
  return pool;
}

WorkerPool::WorkerPool(unsigned threads) : threads_(threads == 0 ? 1 : threads) {}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  workPosted_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

unsigned WorkerPool::Threads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return threads_;
}

void WorkerPool::SetThreads(unsigned threads) {
  if (threads == 0) threads = RequestedThreadCount();
  std::lock_guard<std::mutex> lock(mutex_);
  threads_ = threads;
}

unsigned WorkerPool::StartWorkers(unsigned count) {
  // Threads are started on first need and kept; a smaller count later leaves them idle. The
  // system may refuse more threads: the loop then runs on those it has, or on the caller alone.
  try {
    while (workers_.size() < count) workers_.emplace_back([this] { WorkerLoop(); });
  } catch (const std::system_error&) {
  }
  return static_cast<unsigned>(workers_.size() < count ? workers_.size() : count);
}

void WorkerPool::RunOneTask(Batch& batch, std::unique_lock<std::mutex>& lock) {
  const std::size_t index = batch.next++;
  if (batch.next == batch.count) {
    for (auto it = batches_.begin(); it != batches_.end(); ++it) {
      if (*it == &batch) {
        batches_.erase(it);
        break;
      }
    }
  }
  lock.unlock();
  (*batch.task)(index);
  lock.lock();
  if (++batch.finished == batch.count) batch.done.notify_all();
}

void WorkerPool::WorkerLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    Batch* batch = nullptr;
    workPosted_.wait(lock, [&] {
      if (stopping_) return true;
      for (Batch* candidate : batches_) {
        if (candidate->helpers < candidate->mostHelpers) {
          batch = candidate;
          return true;
        }
      }
      return false;
    });
    if (!batch) return;  // stopping
    ++batch->helpers;
    while (batch->next < batch->count) RunOneTask(*batch, lock);
    // The batch may be gone once its last task is done and its poster has woken; only touch it
    // while tasks are outstanding, which the poster waits for.
    --batch->helpers;
    if (batch->finished == batch->count) batch->done.notify_all();
  }
}

void WorkerPool::ParallelFor(std::size_t count, const std::function<void(std::size_t)>& task) {
  if (count == 0) return;
  std::unique_lock<std::mutex> lock(mutex_);
  const unsigned threads = threads_;
  if (threads <= 1 || count == 1) {
    lock.unlock();
    for (std::size_t i = 0; i < count; ++i) task(i);
    return;
  }
  const unsigned helpers = StartWorkers(threads - 1);
  Batch batch;
  batch.task = &task;
  batch.count = count;
  batch.mostHelpers = static_cast<unsigned>(count - 1 < helpers ? count - 1 : helpers);
  batches_.push_back(&batch);
  for (unsigned i = 0; i < batch.mostHelpers; ++i) workPosted_.notify_one();
  while (batch.next < batch.count) RunOneTask(batch, lock);
  // Wait for the tasks others took, and for every helper to have let go of the batch.
  batch.done.wait(lock, [&] { return batch.finished == batch.count && batch.helpers == 0; });
}

}  // namespace rastro
