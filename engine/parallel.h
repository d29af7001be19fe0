#pragma once
// Work shared between the engine's thread and at most one helper thread.
//
// Every parallel step of the engine splits its work into parts whose results do not depend
// on how many threads run them (each part adds its own sums in its own fixed order), so one
// thread and two threads give the same bytes. Only the calling thread talks to the host:
// the helper never calls EngineHost, and stops early when the caller's part throws.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <thread>

namespace genshoku {

// Threads the engine uses for a request of `requested` (0: the machine's, at most 2).
inline int EngineThreadCount(int requested) {
  if (requested <= 0) {
    const unsigned hardware = std::thread::hardware_concurrency();
    requested = hardware >= 2 ? 2 : 1;
  }
  return std::min(requested, 2);
}

// Runs part(0) on the calling thread and part(1) on a helper when `threads` is 2, or both
// parts one after the other on the calling thread otherwise. `cancelled` becomes true when
// the calling thread's part ends by an exception, so that a long helper part can give up;
// the exception is rethrown after the helper has finished. An exception of the helper's part
// is rethrown on the calling thread as well.
template <typename Part>
void RunInTwoParts(int threads, Part&& part, std::atomic<bool>* cancelled = nullptr) {
  if (threads < 2) {
    part(0);
    part(1);
    return;
  }
  std::exception_ptr helperFailure;
  std::thread helper([&] {
    try {
      part(1);
    } catch (...) {
      helperFailure = std::current_exception();
    }
  });
  try {
    part(0);
  } catch (...) {
    if (cancelled) cancelled->store(true);
    helper.join();
    throw;
  }
  helper.join();
  if (helperFailure) std::rethrow_exception(helperFailure);
}

// Waits on one thread for the other thread's progress: until `reached`, which the other
// thread advances with release stores, is at least `needed`. The wait is short when the
// two threads keep pace, so it spins on the value a little, then lets others run between
// looks (the machine may have fewer free processors than threads). Returns false, without
// waiting further, once `cancelled` is set: the other thread gave up and `reached` will not
// advance any more.
template <typename Count>
bool WaitUntilReached(const std::atomic<Count>& reached, Count needed,
                      const std::atomic<bool>& cancelled) {
  int spins = 0;
  while (reached.load(std::memory_order_acquire) < needed) {
    if (cancelled.load(std::memory_order_relaxed)) return false;
    if (++spins > 64) std::this_thread::yield();
  }
  return true;
}

// The half [begin, end) of 0..count that part `part` (0 or 1) takes.
inline void HalfRange(int64_t count, int part, int64_t& begin, int64_t& end) {
  const int64_t middle = count / 2;
  begin = part == 0 ? 0 : middle;
  end = part == 0 ? middle : count;
}

}  // namespace genshoku
