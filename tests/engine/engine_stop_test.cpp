// Stopping a reduction from another thread, as the window does when it is closed: the
// engine is held at the start of each phase in turn while two threads work, the test asks
// it to stop from its own thread, and the engine must return Stopped promptly, leave the
// source planes alone and leave nothing behind that changes the next reduction (the
// sanitizer build also checks that nothing leaks on the way out).

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "tests/engine/clustering_test_support.h"
#include "tests/engine/support_reduction.h"
#include "tests/support/held_engine_host.h"

namespace genshoku {
namespace {

using test_support::EngineThread;
using test_support::HeldEngineHost;
using test_support::Picture;
using test_support::Reduction;

constexpr int kThreads = 2;

const EnginePhase kEveryPhase[] = {
    EnginePhase::ColourSpace,    EnginePhase::EdgeMap,         EnginePhase::FirstSplit,
    EnginePhase::Splitting,      EnginePhase::PaletteAssembly, EnginePhase::KMeans,
    EnginePhase::NearestEntries, EnginePhase::PaletteToRgb,    EnginePhase::FinalMapping,
};

// Large enough that every parallel step shares its work between both threads and every
// phase runs; small enough for the sanitizer build.
Picture TestPicture() { return test_support::PhotoLikePicture(160, 120, 17); }

Reduction ReduceWith(Picture& picture, EngineHost* host) {
  EngineServices services;
  services.host = host;
  services.threads = kThreads;
  return test_support::Reduce(picture, ReductionParams{}, services);
}

// Reduces on a thread of its own, held at `phase`; `stop` decides how the hold ends.
struct HeldRun {
  Reduction reduction;
  std::vector<EnginePhase> phases;
  bool wasHeld = false;
};

HeldRun RunHeldAt(EnginePhase phase, bool stop, Picture& picture) {
  HeldEngineHost host(phase);
  EngineThread<Reduction> engine(host, [&] { return ReduceWith(picture, &host); });
  HeldRun run;
  run.wasHeld = host.WaitUntilHeld();
  if (stop) {
    host.Stop();
  } else {
    host.Release();
  }
  run.reduction = engine.Join();
  run.phases = host.phases();
  return run;
}

std::string NameOf(EnginePhase phase) { return EnginePhaseName(phase); }

TEST(EngineStop, AStopAskedForWhileHeldAtAnyPhaseEndsTheRunWithTwoThreads) {
  Picture whole = TestPicture();
  test_support::RecordingHost unheld;
  const Reduction expected = ReduceWith(whole, &unheld);
  ASSERT_EQ(expected.result, ReduceResult::Ok);
  // The picture must lead the engine through every phase, or a stop there is not tested.
  for (EnginePhase phase : kEveryPhase) {
    ASSERT_NE(std::find(unheld.phases.begin(), unheld.phases.end(), phase), unheld.phases.end())
        << NameOf(phase) << " does not run for the test picture";
  }

  for (EnginePhase phase : kEveryPhase) {
    SCOPED_TRACE(NameOf(phase));
    const Picture original = TestPicture();
    Picture picture = original;
    const HeldRun run = RunHeldAt(phase, /*stop=*/true, picture);
    ASSERT_TRUE(run.wasHeld);
    EXPECT_EQ(run.reduction.result, ReduceResult::Stopped);
    // The run went through the phases in their order up to the held one, and on only to
    // the first progress point after the hold: within the held phase or the next, or two
    // further on from the nearest entries (which have no progress point of their own when
    // a final mapping follows, as in the palette conversion).
    const auto held = std::find(run.phases.begin(), run.phases.end(), phase);
    ASSERT_NE(held, run.phases.end());
    EXPECT_LE(run.phases.end() - held, phase == EnginePhase::NearestEntries ? 3 : 2);
    ASSERT_LE(run.phases.size(), unheld.phases.size());
    EXPECT_TRUE(std::equal(run.phases.begin(), run.phases.end(), unheld.phases.begin()));
    EXPECT_TRUE(picture.r == original.r && picture.g == original.g && picture.b == original.b)
        << "the source planes are the caller's";
  }

  // A stopped run leaves nothing behind: the next reduction gives the same bytes.
  Picture again = TestPicture();
  EXPECT_EQ(ReduceWith(again, nullptr).Hash(), expected.Hash());
}

TEST(EngineStop, HoldingAndReleasingChangesNothing) {
  Picture picture = TestPicture();
  const uint64_t expected = ReduceWith(picture, nullptr).Hash();
  for (EnginePhase phase :
       {EnginePhase::ColourSpace, EnginePhase::KMeans, EnginePhase::FinalMapping}) {
    SCOPED_TRACE(NameOf(phase));
    Picture copy = TestPicture();
    const HeldRun run = RunHeldAt(phase, /*stop=*/false, copy);
    ASSERT_TRUE(run.wasHeld);
    ASSERT_EQ(run.reduction.result, ReduceResult::Ok);
    EXPECT_EQ(run.reduction.Hash(), expected);
  }
}

// A host chained behind the held one (the window's, with its own stop flag) is asked at
// every progress point too, and its stop is obeyed as well.
TEST(EngineStop, TheInnerHostsStopIsObeyedToo) {
  struct StopFlag final : EngineHost {
    std::atomic<bool> stop{false};
    bool KeepGoing() override { return !stop.load(); }
  } inner;
  HeldEngineHost host(EnginePhase::Splitting, &inner);
  Picture picture = TestPicture();
  EngineThread<Reduction> engine(host, [&] { return ReduceWith(picture, &host); });
  ASSERT_TRUE(host.WaitUntilHeld());
  inner.stop = true;
  host.Release();
  EXPECT_EQ(engine.Join().result, ReduceResult::Stopped);
}

}  // namespace
}  // namespace genshoku
