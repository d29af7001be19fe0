#include "shell/window_controller.h"

#include <utility>

#include "shell/file_names.h"
#include "shell/input_decoding.h"
#include "shell/save_formats.h"
#include "shell/window_texts.h"

namespace genshoku {

WindowController::WindowController(Diagnostics& diagnostics)
    : diagnostics_(diagnostics), title_(kWindowTitle) {}

DropResult WindowController::Drop(const std::vector<std::string>& paths) {
  if (busy_) return DropResult::Ignored;
  if (paths.empty() || paths.front().empty()) return DropResult::NoFiles;
  const std::string& path = paths.front();
  const DropOutcome outcome = LoadDroppedFile(picture_, path, diagnostics_);
  if (!outcome.loaded) {
    // The previous picture stays, and with it the file it came from: a BMP picture is
    // reduced by reading its file again, so the name must stay the shown picture's.
    return DropResult::Failed;
  }
  title_ = kWindowTitle;
  droppedPath_ = path;
  const SplitPath split = SplitFilePath(path);
  droppedFolder_ = split.folder;
  baseName_ = split.baseName;
  buttons_.reduceEnabled = outcome.reduceEnabled;
  buttons_.saveEnabled = false;
  saving_ = false;
  ResetScrollForPicture(scroll_, picture_.imageWidth, picture_.imageHeight, clientHeight_);
  ++pictureGeneration_;
  return DropResult::Loaded;
}

bool WindowController::BeginReduction(ReductionJob& job) {
  if (busy_ || !buttons_.reduceEnabled) return false;
  busy_ = true;
  buttons_ = {};
  if (!PrepareReduction(picture_, droppedPath_, job, diagnostics_)) {
    busy_ = false;
    buttons_.reduceEnabled = true;
    return false;
  }
  return true;
}

void WindowController::FinishReduction(ReductionOutput&& output) {
  if (!busy_) return;
  busy_ = false;
  if (output.result != ReduceResult::Ok) {
    // The engine prints its own line for a statistics failure; a stop was asked for.
    if (output.result == ReduceResult::OutOfMemory ||
        output.result == ReduceResult::InvalidArguments) {
      diagnostics_.Err("the reduction failed: %s\n", ReduceResultText(output.result));
    }
    buttons_.reduceEnabled = true;
    return;
  }
  ApplyReduction(picture_, std::move(output));
  buttons_.reduceEnabled = false;
  buttons_.saveEnabled = true;
  ++pictureGeneration_;
}

void WindowController::ShowKmeansProgress(int pass) { title_ = KmeansProgressTitle(pass); }

std::optional<SaveDialogRequest> WindowController::BeginSave() {
  if (busy_ || saving_ || !buttons_.saveEnabled) return std::nullopt;
  buttons_.saveEnabled = false;
  saving_ = true;
  // The suffixed name also becomes the base name, so offering again after a cancel
  // suffixes once more.
  savePath_ = baseName_ + "vk";
  baseName_ = savePath_;
  return SaveDialogRequest{savePath_, droppedFolder_};
}

bool WindowController::FinishSave(const std::optional<std::string>& chosenPath) {
  if (!saving_) return false;
  saving_ = false;
  if (!chosenPath || chosenPath->empty()) {
    if (picture_.resultReady) buttons_.saveEnabled = true;
    return false;
  }
  savePath_ = *chosenPath;
  const SplitPath split = SplitFilePath(savePath_);
  const std::string fileTitle = split.baseName + split.extension;
  if (!SaveResult(picture_, savePath_, fileTitle, diagnostics_)) {
    buttons_.saveEnabled = true;
    return false;
  }
  return true;
}

void WindowController::Resize(int clientWidth, int clientHeight) {
  clientWidth_ = clientWidth;
  clientHeight_ = clientHeight;
  ResizeScroll(scroll_, clientWidth, clientHeight);
}

void WindowController::Scroll(ScrollBarKind bar, ScrollRequest request, int thumb) {
  ApplyScrollRequest(bar == ScrollBarKind::Horizontal ? scroll_.horizontal : scroll_.vertical,
                     request, thumb);
}

CloseDecision WindowController::RequestClose() {
  if (busy_) {
    closePending_ = true;
    return CloseDecision::WaitForEngine;
  }
  return CloseDecision::CloseNow;
}

}  // namespace genshoku
