#include "engine/parallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace genshoku {
namespace {

TEST(WaitUntilReached, WaitsForTheOtherThreadAndGivesUpWhenItIsCancelled) {
  std::atomic<size_t> reached{0};
  std::atomic<bool> cancelled{false};
  EXPECT_TRUE(WaitUntilReached(reached, size_t{0}, cancelled));
  // The other thread advances a step at a time; every step it published is seen.
  std::thread writer([&] {
    for (size_t step = 1; step <= 1000; ++step) reached.store(step, std::memory_order_release);
  });
  EXPECT_TRUE(WaitUntilReached(reached, size_t{1000}, cancelled));
  writer.join();
  // The other thread gives up before the value is reached: the wait ends without it.
  std::thread quitter([&] { cancelled.store(true); });
  EXPECT_FALSE(WaitUntilReached(reached, size_t{5000}, cancelled));
  quitter.join();
}

TEST(RunInTwoParts, AFailingCallerPartStopsTheHelperAndIsRethrownAfterIt) {
  std::atomic<bool> cancelled{false};
  std::atomic<bool> helperSawCancel{false};
  EXPECT_THROW(RunInTwoParts(
                   2,
                   [&](int part) {
                     if (part == 0) throw 7;
                     std::atomic<size_t> never{0};
                     helperSawCancel = !WaitUntilReached(never, size_t{1}, cancelled);
                   },
                   &cancelled),
               int);
  EXPECT_TRUE(helperSawCancel);
}

}  // namespace
}  // namespace genshoku
