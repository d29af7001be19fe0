#pragma once
// Shared pieces of the engine tests: a host that counts progress points and records what
// it is shown, and an engine run whose lines are captured.

#include <cstdint>
#include <vector>

#include "common/diagnostics.h"
#include "engine/engine_run.h"
#include "tests/engine/reference/engine_run.h"

namespace genshoku::test_support {

class RecordingHost : public EngineHost {
 public:
  // Progress points allowed before the host asks to stop; negative: never.
  int64_t stopAfter = -1;
  int64_t progressPoints = 0;
  std::vector<int> kmeansPasses;
  std::vector<EnginePhase> phases;

  bool KeepGoing() override {
    ++progressPoints;
    return stopAfter < 0 || progressPoints <= stopAfter;
  }
  void ShowKmeansProgress(int pass) override { kmeansPasses.push_back(pass); }
  void PhaseStarted(EnginePhase phase) override { phases.push_back(phase); }
};

// An EngineRun with captured diagnostics, a recording host and a fresh generator.
struct TestRun {
  RecordingHost host;
  CapturedDiagnostics diagnostics;
  EngineRandom random;
  EngineRun run{host, diagnostics, random};

  std::string Out() const { return diagnostics.Text(DiagnosticStream::Out); }
  std::string Err() const { return diagnostics.Text(DiagnosticStream::Err); }
};

// The same for the literal engine kept as the tests' oracle.
struct ReferenceTestRun {
  RecordingHost host;
  CapturedDiagnostics diagnostics;
  EngineRandom random;
  reference::EngineRun run{host, diagnostics, random};

  std::string Out() const { return diagnostics.Text(DiagnosticStream::Out); }
  std::string Err() const { return diagnostics.Text(DiagnosticStream::Err); }
};

}  // namespace genshoku::test_support

// Tests of the literal engine's building blocks name the oracle's run as TestRun.
namespace genshoku::reference::test_support {
using genshoku::test_support::RecordingHost;
using TestRun = genshoku::test_support::ReferenceTestRun;
}  // namespace genshoku::reference::test_support
