#include "shell/qt/reduction_worker.h"

#include <QThread>
#include <utility>

namespace genshoku {

// Everything one run needs; the thread uses it only between Start and ThreadEnded.
struct ReductionWorker::Run {
  ReductionJob job;
  WindowEngineHost host;
  EngineServices services;
  ReductionOutput output;

  Run(ReductionJob j, WindowEngineHost::PassSink sink) : job(std::move(j)), host(std::move(sink)) {}
};

ReductionWorker::ReductionWorker(QObject* parent) : QObject(parent) {}

ReductionWorker::~ReductionWorker() {
  if (thread_ != nullptr) {
    RequestStop();
    thread_->wait();
    delete thread_;
  }
}

void ReductionWorker::Start(ReductionJob job, Diagnostics& diagnostics, EngineRandom& random) {
  if (running()) return;
  // The pass number crosses to the window's thread as a queued signal, ahead of finished().
  run_ = std::make_unique<Run>(std::move(job), [this](int pass) { emit kmeansPass(pass); });
  run_->services.host = &run_->host;
  run_->services.diagnostics = &diagnostics;
  run_->services.random = &random;
  Run* run = run_.get();
  thread_ = QThread::create([run] { run->output = ExecuteReduction(run->job, run->services); });
  connect(thread_, &QThread::finished, this, &ReductionWorker::ThreadEnded, Qt::QueuedConnection);
  thread_->start();
}

void ReductionWorker::RequestStop() {
  if (run_) run_->host.RequestStop();
}

ReductionOutput ReductionWorker::TakeOutput() {
  if (running() || !run_) return {};
  ReductionOutput output = std::move(run_->output);
  run_.reset();
  return output;
}

void ReductionWorker::ThreadEnded() {
  if (thread_ == nullptr) return;
  thread_->wait();
  delete thread_;
  thread_ = nullptr;
  emit finished();
}

}  // namespace genshoku
