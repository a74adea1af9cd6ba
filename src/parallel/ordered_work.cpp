#include "parallel/ordered_work.h"

#include <sched.h>

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace periodscan {

int available_cores() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
  return std::max(1u, std::thread::hardware_concurrency());
}

namespace {

constexpr int64_t kIdle = -1;

struct Shared {
  std::mutex mutex;
  std::condition_variable changed;
  int64_t next = 0;                  // the next piece to start
  std::vector<int64_t> in_progress;  // per worker: its piece, or kIdle
  bool stop = false;
  std::exception_ptr failure;

  // True when piece i and every piece before it are done (mutex held).
  bool done_through(int64_t i) const {
    if (i >= next) return false;
    for (int64_t p : in_progress) {
      if (p != kIdle && p <= i) return false;
    }
    return true;
  }
};

void worker_loop(Shared& shared, int64_t count, int worker,
                 const std::function<void(int64_t, int)>& work) {
  for (;;) {
    int64_t i;
    {
      std::lock_guard<std::mutex> lock(shared.mutex);
      if (shared.stop || shared.next >= count) return;
      i = shared.next++;
      shared.in_progress[worker] = i;
    }
    std::exception_ptr failure;
    try {
      work(i, worker);
    } catch (...) {
      failure = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> lock(shared.mutex);
      shared.in_progress[worker] = kIdle;
      if (failure && !shared.failure) {
        shared.failure = failure;
        shared.stop = true;
      }
    }
    shared.changed.notify_all();
  }
}

}  // namespace

void run_in_order(int64_t count, int threads, const std::function<void(int64_t, int)>& work,
                  const std::function<void(int64_t)>& deliver) {
  threads = static_cast<int>(std::min<int64_t>(threads, count));
  if (threads <= 1) {
    for (int64_t i = 0; i < count; ++i) {
      work(i, 0);
      deliver(i);
    }
    return;
  }

  Shared shared;
  shared.in_progress.assign(static_cast<size_t>(threads), kIdle);
  std::vector<std::thread> pool;
  pool.reserve(static_cast<size_t>(threads));
  for (int w = 0; w < threads; ++w) {
    try {
      pool.emplace_back(worker_loop, std::ref(shared), count, w, std::cref(work));
    } catch (const std::system_error&) {
      // The system gives no more threads (a limit, or memory for the stack):
      // the workers already started take every piece; with none, the work
      // is done here.
      break;
    }
  }
  if (pool.empty()) {
    run_in_order(count, 1, work, deliver);
    return;
  }

  std::exception_ptr failure;
  for (int64_t i = 0; i < count && !failure; ++i) {
    {
      std::unique_lock<std::mutex> lock(shared.mutex);
      shared.changed.wait(lock, [&] { return shared.failure || shared.done_through(i); });
      if (shared.failure) {
        failure = shared.failure;
        break;
      }
    }
    try {
      deliver(i);
    } catch (...) {
      failure = std::current_exception();
      std::lock_guard<std::mutex> lock(shared.mutex);
      shared.stop = true;
    }
  }
  for (std::thread& t : pool) t.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace periodscan
