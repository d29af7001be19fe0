#pragma once
// Runs the engine on a thread of its own so that the window keeps painting and scrolling
// while a picture is reduced. One reduction at a time.

#include <QObject>
#include <memory>

#include "common/diagnostics.h"
#include "engine/engine_run.h"
#include "shell/reduction_entry.h"
#include "shell/window_engine_host.h"

class QThread;

namespace genshoku {

class ReductionWorker final : public QObject {
  Q_OBJECT

 public:
  explicit ReductionWorker(QObject* parent = nullptr);
  // A reduction still running is stopped and waited for.
  ~ReductionWorker() override;

  bool running() const { return thread_ != nullptr; }

  // Starts the engine on `job`. The diagnostics and the generator must outlive the run;
  // nothing else may use them until finished() has come.
  void Start(ReductionJob job, Diagnostics& diagnostics, EngineRandom& random);

  // Asks the engine to stop at its next progress point; finished() still follows.
  void RequestStop();

  // The engine's output, once finished() has come.
  ReductionOutput TakeOutput();

 signals:
  // A k-means pass began (delivered on the window's thread).
  void kmeansPass(int pass);
  // The engine returned; the output is ready.
  void finished();

 private:
  struct Run;
  void ThreadEnded();

  std::unique_ptr<Run> run_;
  QThread* thread_ = nullptr;
};

}  // namespace genshoku
