#pragma once
// The main window's decisions without a window system. The window feeds it what happened
// (files dropped, a button pressed, the reduction finished, a save name chosen, the client
// area resized, a scroll request, a close request) and then shows what it says: which
// buttons are enabled, the title, the scroll bars and the picture.
//
// States a user sees: no picture (both buttons disabled); picture shown (reduce enabled
// for pictures that can be reduced); reducing (busy, both disabled, drops ignored); result
// shown (save enabled); saving (save disabled until the dialog is cancelled).
//
// Everything here runs on the window's thread. Only the engine itself runs elsewhere: the
// window takes the job from BeginReduction, runs ExecuteReduction on its worker with the
// services of this controller, and hands the output back to FinishReduction.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/diagnostics.h"
#include "engine/engine_run.h"
#include "shell/picture_state.h"
#include "shell/reduction_entry.h"
#include "shell/window_scroll.h"

namespace genshoku {

struct ButtonStates {
  bool reduceEnabled = false;
  bool saveEnabled = false;
};

enum class DropResult {
  Ignored,  // a reduction is running
  NoFiles,  // nothing to read in the drop
  Failed,   // the file could not be read: everything stays as it was
  Loaded,   // the file is the current picture now
};

// What the save dialog starts with. Its title, filters and default extension are fixed
// (window_texts.h).
struct SaveDialogRequest {
  std::string defaultName;  // the offered file name, without folder
  std::string startFolder;  // the folder of the dropped file, or empty
};

enum class ScrollBarKind { Horizontal, Vertical };

enum class CloseDecision {
  CloseNow,
  WaitForEngine,  // a reduction runs: stop it, and close once FinishReduction has come
};

class WindowController {
 public:
  explicit WindowController(Diagnostics& diagnostics = StandardDiagnostics());

  // Files were dropped (or named on the command line); only the first is read.
  DropResult Drop(const std::vector<std::string>& paths);

  // The reduce button was pressed. True when `job` holds the planes to reduce; the
  // window is then busy until FinishReduction. False when there is nothing to reduce or
  // the dropped file can no longer be read (the reduce button is then enabled again).
  bool BeginReduction(ReductionJob& job);
  // The engine returned. A result is shown and saving enabled; a failure leaves the
  // picture and enables the reduce button again.
  void FinishReduction(ReductionOutput&& output);
  // The k-means refinement started a pass: the title says so.
  void ShowKmeansProgress(int pass);

  // The save button was pressed: the name to offer, or nothing when saving is not
  // possible now. The save button is disabled until FinishSave.
  std::optional<SaveDialogRequest> BeginSave();
  // The dialog closed with a chosen path, or without one (cancelled or failed). Returns
  // whether a file was written.
  bool FinishSave(const std::optional<std::string>& chosenPath);

  void Resize(int clientWidth, int clientHeight);
  void Scroll(ScrollBarKind bar, ScrollRequest request, int thumb);

  // The user wants to close the window.
  CloseDecision RequestClose();
  bool closePending() const { return closePending_; }

  const ButtonStates& buttons() const { return buttons_; }
  const std::string& title() const { return title_; }
  bool busy() const { return busy_; }
  const WindowScroll& scroll() const { return scroll_; }
  PicturePlacement placement() const { return PlacePicture(scroll_); }
  // The picture on display; `imageVisible` is false until the first picture.
  DisplayView View() const { return picture_.View(); }
  // Changes whenever a different picture goes on display.
  uint64_t pictureGeneration() const { return pictureGeneration_; }
  const PictureState& picture() const { return picture_; }

  const std::string& droppedPath() const { return droppedPath_; }
  const std::string& baseName() const { return baseName_; }
  const std::string& savePath() const { return savePath_; }

  // The one random generator of the run: every reduction continues its sequence.
  EngineRandom& random() { return random_; }
  Diagnostics& diagnostics() { return diagnostics_; }

 private:
  Diagnostics& diagnostics_;
  PictureState picture_;
  EngineRandom random_;
  ButtonStates buttons_;
  std::string title_;
  WindowScroll scroll_;
  int clientWidth_ = 0;
  int clientHeight_ = 0;
  bool busy_ = false;
  bool saving_ = false;
  bool closePending_ = false;
  uint64_t pictureGeneration_ = 0;
  std::string droppedPath_;
  std::string droppedFolder_;
  std::string baseName_;
  std::string savePath_;
};

}  // namespace genshoku
