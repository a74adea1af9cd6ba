// Pieces of work spread over threads are delivered in order, each only after
// it is done, and failures on either side end the run cleanly.
#include "parallel/ordered_work.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace periodscan {
namespace {

TEST(OrderedWork, DeliversEveryPieceInOrderAfterItsWork) {
  for (int threads : {1, 2, 3, 8}) {
    for (int64_t count : {0, 1, 2, 5, 200}) {
      std::vector<int> result(static_cast<size_t>(count), 0);
      std::vector<int64_t> delivered;
      run_in_order(
          count, threads,
          [&](int64_t i, int worker) {
            ASSERT_GE(worker, 0);
            ASSERT_LT(worker, threads);
            // Uneven pieces, so that later ones often finish first.
            if (i % 7 == 0) std::this_thread::sleep_for(std::chrono::microseconds(300));
            result[static_cast<size_t>(i)] = static_cast<int>(i) + 1;
          },
          [&](int64_t i) {
            EXPECT_EQ(result[static_cast<size_t>(i)], i + 1) << "delivered before done";
            delivered.push_back(i);
          });
      ASSERT_EQ(delivered.size(), static_cast<size_t>(count));
      for (int64_t i = 0; i < count; ++i) EXPECT_EQ(delivered[static_cast<size_t>(i)], i);
    }
  }
}

TEST(OrderedWork, DeliveryFailureStopsTheWork) {
  for (int threads : {1, 2}) {
    std::atomic<int64_t> started{0};
    EXPECT_THROW(run_in_order(
                     1000, threads,
                     [&](int64_t, int) {
                       ++started;
                       std::this_thread::sleep_for(std::chrono::microseconds(200));
                     },
                     [&](int64_t i) {
                       if (i == 3) throw std::runtime_error("disk full");
                     }),
                 std::runtime_error);
    EXPECT_LT(started.load(), 1000);
  }
}

TEST(OrderedWork, WorkFailureReachesTheCaller) {
  std::vector<int64_t> delivered;
  EXPECT_THROW(run_in_order(
                   50, 2,
                   [&](int64_t i, int) {
                     if (i == 10) throw std::bad_alloc();
                   },
                   [&](int64_t i) { delivered.push_back(i); }),
               std::bad_alloc);
  EXPECT_LE(delivered.size(), 10u);
}

}  // namespace
}  // namespace periodscan
