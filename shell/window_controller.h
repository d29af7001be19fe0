#pragma once
// The main window's decisions without a window system. The window feeds it what happened
// (files dropped or opened, a button or key pressed, the reduction finished, a save name
// chosen, the client area resized, a scroll request, a close request) and then shows what
// it says: which buttons are enabled and which has the focus, the title, the scroll bars,
// the picture and where it goes, and the one-line notice of the picture area.
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
#include <string_view>
#include <vector>

#include "common/diagnostics.h"
#include "engine/engine_run.h"
#include "shell/picture_frame.h"
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

// What the open dialog starts with; its title and filters are fixed (window_texts.h).
struct OpenDialogRequest {
  std::string startFolder;  // the folder of the shown picture's file, or empty
};

enum class ScrollBarKind { Horizontal, Vertical };

// Keys that scroll: the arrows move a line (kScrollLine), Page Up and Page Down half a
// page, as the bars' own arrows and troughs do; Home and End go to the top and the bottom.
enum class ScrollKey { Up, Down, Left, Right, PageUp, PageDown, Home, End };

// The notice line of the picture area: what went wrong (or right) with the last command,
// or what the picture on display is.
enum class NoticeKind { None, Info, Warning, Error };
struct WindowNotice {
  NoticeKind kind = NoticeKind::None;
  std::string subject;  // the file it is about, without folder; may be empty
  std::string text;
  // "subject: text", or the text alone.
  std::string Line() const { return subject.empty() ? text : subject + ": " + text; }
};

enum class FocusTarget { None, Reduce, Save };

enum class CloseDecision {
  CloseNow,
  WaitForEngine,  // a reduction runs: stop it, and close once FinishReduction has come
};

class WindowController {
 public:
  explicit WindowController(Diagnostics& diagnostics = StandardDiagnostics());

  // Files were dropped (or named on the command line, or chosen in the open dialog); only
  // the first is read. A file that cannot be read leaves a notice saying why, and so does a
  // drop ignored while a reduction runs.
  DropResult Drop(const std::vector<std::string>& paths);

  // The user asks to open a file: where the open dialog starts, or nothing while a
  // reduction runs (its drop would be ignored; the notice says so).
  std::optional<OpenDialogRequest> BeginOpen();

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
  // Scrolling changes nothing while the picture is fitted to the window.
  void Scroll(ScrollBarKind bar, ScrollRequest request, int thumb);
  void ScrollByKey(ScrollKey key);
  // Whether a bar can be used now: a picture set the ranges, it is not fitted to the
  // window, and the page does not cover the range.
  bool ScrollBarEnabled(ScrollBarKind bar) const;

  // Fitting the picture to the window scales it, whole, into the client area; turning it
  // off again shows the picture exactly where the scroll positions had it.
  void ToggleFitToWindow() { fitToWindow_ = !fitToWindow_; }
  bool fitToWindow() const { return fitToWindow_; }
  // Where and how large the picture is drawn now.
  PictureFrame frame() const;

  // While held, a reduced picture gives way to the picture it was made from.
  void HoldOriginal(bool held) { originalHeld_ = held; }
  bool showingOriginal() const;
  // The picture the shown result was made from (not visible when there is none).
  DisplayView OriginalView() const { return picture_.OriginalView(); }

  // The line to show in the picture area; kind None when there is nothing to say.
  WindowNotice notice() const;
  // The hint of the empty picture area, or empty once a picture is shown.
  std::string_view hint() const;
  // The button that should have the keyboard focus: the one a user presses next.
  FocusTarget focusTarget() const;

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
  bool fitToWindow_ = false;
  bool originalHeld_ = false;
  // Set by a reduction's result, cleared by the next picture: the original can be shown.
  bool originalAvailable_ = false;
  // The outcome of the last command, until the next command.
  WindowNotice commandNotice_;
  // What the shown picture is (damaged), for as long as it is shown.
  WindowNotice pictureNotice_;
  uint64_t pictureGeneration_ = 0;
  std::string droppedPath_;
  std::string droppedFolder_;
  std::string baseName_;
  std::string savePath_;
};

}  // namespace genshoku
