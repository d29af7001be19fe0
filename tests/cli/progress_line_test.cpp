// The progress line of genshoku-cli on a terminal: what it writes to standard error for
// each phase and k-means pass, that it erases itself, and that it writes nothing at all
// when it is off or the reduction ends before its delay.

#include "cli/progress_line.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/phase_timer.h"
#include "engine/reduce_colors.h"

namespace genshoku::cli {
namespace {

constexpr char kErase[] = "\r\033[K";

// Standard error goes to a temporary file from construction until Take.
class CapturedStandardError {
 public:
  CapturedStandardError() {
    std::fflush(stderr);
    file_ = std::tmpfile();
    saved_ = ::dup(STDERR_FILENO);
    if (file_ != nullptr && saved_ >= 0) ::dup2(::fileno(file_), STDERR_FILENO);
  }
  ~CapturedStandardError() { Restore(); }

  // Everything written since construction; standard error is itself again afterwards.
  std::string Take() {
    Restore();
    std::string text;
    if (file_ == nullptr) return text;
    std::rewind(file_);
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file_)) > 0) text.append(buffer, got);
    std::fclose(file_);
    file_ = nullptr;
    return text;
  }

 private:
  void Restore() {
    if (saved_ < 0) return;
    std::fflush(stderr);
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    saved_ = -1;
  }
  std::FILE* file_ = nullptr;
  int saved_ = -1;
};

std::string Shown(const std::string& text) { return kErase + text; }

TEST(ProgressLine, ShowsThePhaseAndPassAndErasesItselfOnce) {
  CapturedStandardError captured;
  {
    ProgressLine line("photo.jpg", true, std::chrono::milliseconds(0));
    line.PhaseStarted(EnginePhase::ColourSpace);
    line.PhaseStarted(EnginePhase::KMeans);
    line.ShowKmeansProgress(1);
    line.ShowKmeansProgress(2);
    line.Clear();
    line.Clear();  // nothing is shown any more: nothing to erase
  }                // nor on destruction
  EXPECT_EQ(captured.Take(), Shown("photo.jpg: colour space") + Shown("photo.jpg: k-means") +
                                 Shown("photo.jpg: k-means, pass 1") +
                                 Shown("photo.jpg: k-means, pass 2") + kErase);
}

TEST(ProgressLine, ALineStillShownIsErasedOnDestruction) {
  CapturedStandardError captured;
  {
    ProgressLine line("a.png", true, std::chrono::milliseconds(0));
    line.PhaseStarted(EnginePhase::FinalMapping);
  }
  EXPECT_EQ(captured.Take(), Shown("a.png: final mapping") + kErase);
}

TEST(ProgressLine, WritesNothingWhenOffOrBeforeItsDelay) {
  CapturedStandardError captured;
  {
    ProgressLine off("a.png", false, std::chrono::milliseconds(0));
    off.PhaseStarted(EnginePhase::KMeans);
    off.ShowKmeansProgress(1);
    off.Clear();
    // A quick reduction ends before the line would appear: not even an erase is written,
    // which would wipe what the terminal's line held.
    ProgressLine quick("b.png", true, std::chrono::hours(1));
    quick.PhaseStarted(EnginePhase::KMeans);
    quick.ShowKmeansProgress(1);
    quick.Clear();
  }
  EXPECT_EQ(captured.Take(), "");
}

// The command line puts the progress line behind the phase timer: a real reduction shows
// every phase it runs, in the engine's order, and its k-means passes.
TEST(ProgressLine, FollowsARealReductionThroughThePhaseTimer) {
  const int width = 40, height = 30;
  std::vector<uint8_t> red(width * height), green(width * height), blue(width * height);
  for (int i = 0; i < width * height; ++i) {
    red[i] = static_cast<uint8_t>(i * 7);
    green[i] = static_cast<uint8_t>(i * 13 / 5);
    blue[i] = static_cast<uint8_t>(255 - i % 251);
  }
  std::vector<uint8_t> indices(width * height);
  EnginePalette palette;
  CapturedStandardError captured;
  ReduceResult result;
  {
    ProgressLine line("in.bmp", true, std::chrono::milliseconds(0));
    PhaseTimer timer(&line);
    EngineServices services;
    services.host = &timer;
    services.diagnostics = &SilentDiagnostics();
    result = ReduceColors({width, height, red.data(), green.data(), blue.data()}, ReductionParams{},
                          EngineOptions{}, indices.data(), palette, services);
    timer.Stop();
    line.Clear();
  }
  const std::string text = captured.Take();
  ASSERT_EQ(result, ReduceResult::Ok);
  size_t at = 0;
  for (const char* phase :
       {"colour space", "edge map", "first split", "palette assembly", "k-means", "k-means, pass 1",
        "nearest entries", "palette to RGB", "final mapping"}) {
    const size_t found = text.find(Shown(std::string("in.bmp: ") + phase), at);
    ASSERT_NE(found, std::string::npos) << phase << " after " << at << " in\n" << text;
    at = found + 1;
  }
  EXPECT_EQ(text.substr(text.size() - 4), kErase) << "the line is gone at the end";
}

}  // namespace
}  // namespace genshoku::cli
