#pragma once
// Wall-clock time of each step of one file (decoding, every engine phase, encoding), for
// measuring. genshoku-cli prints it on standard error when GENSHOKU_PHASE_TIMES=1 is set.

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace genshoku::cli {

class PhaseClock {
 public:
  // Ends the running step (if any) and starts `name`.
  void Start(std::string name);
  // Ends the running step.
  void Stop();
  // "decode 0.412 s, colour space 0.100 s, ..., total 2.345 s"
  std::string Summary() const;

 private:
  using Clock = std::chrono::steady_clock;
  std::vector<std::pair<std::string, double>> steps_;
  std::string running_;
  Clock::time_point started_;
};

}  // namespace genshoku::cli
