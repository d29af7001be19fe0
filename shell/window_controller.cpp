#include "shell/window_controller.h"

#include <utility>

#include "shell/failure_causes.h"
#include "shell/file_names.h"
#include "shell/input_decoding.h"
#include "shell/save_formats.h"
#include "shell/window_texts.h"

namespace genshoku {

namespace {

// A file's name without its folder, as notices name it.
std::string FileNameOf(const std::string& path) {
  const SplitPath split = SplitFilePath(path);
  return split.baseName + split.extension;
}

WindowNotice Notice(NoticeKind kind, const std::string& path, std::string text) {
  return {kind, FileNameOf(path), std::move(text)};
}

}  // namespace

WindowController::WindowController(Diagnostics& diagnostics)
    : diagnostics_(diagnostics), title_(kWindowTitle) {}

DropResult WindowController::Drop(const std::vector<std::string>& paths) {
  if (busy_) {
    commandNotice_ = {NoticeKind::Info, "", std::string(kBusyText)};
    return DropResult::Ignored;
  }
  if (paths.empty() || paths.front().empty()) return DropResult::NoFiles;
  const std::string& path = paths.front();
  commandNotice_ = {};
  const DropOutcome outcome = LoadDroppedFile(picture_, path, diagnostics_);
  if (!outcome.loaded) {
    // The previous picture stays, and with it the file it came from: a BMP picture is
    // reduced by reading its file again, so the name must stay the shown picture's.
    commandNotice_ =
        Notice(NoticeKind::Error, path, LoadFailureText(ExplainLoadFailure(path, outcome.reader)));
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
  originalAvailable_ = false;
  pictureNotice_ = {};
  if (outcome.damaged)
    pictureNotice_ = Notice(NoticeKind::Warning, path, std::string(kDamagedText));
  ResetScrollForPicture(scroll_, picture_.imageWidth, picture_.imageHeight, clientHeight_);
  ++pictureGeneration_;
  return DropResult::Loaded;
}

std::optional<OpenDialogRequest> WindowController::BeginOpen() {
  if (busy_) {
    commandNotice_ = {NoticeKind::Info, "", std::string(kBusyText)};
    return std::nullopt;
  }
  return OpenDialogRequest{droppedFolder_};
}

bool WindowController::BeginReduction(ReductionJob& job) {
  if (busy_ || !buttons_.reduceEnabled) return false;
  busy_ = true;
  buttons_ = {};
  commandNotice_ = {};
  if (!PrepareReduction(picture_, droppedPath_, job, diagnostics_)) {
    busy_ = false;
    buttons_.reduceEnabled = true;
    commandNotice_ = Notice(NoticeKind::Error, droppedPath_, std::string(kSourceChangedText));
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
    const std::string text = ReductionFailureText(output.result);
    commandNotice_ = {};
    if (!text.empty()) commandNotice_ = Notice(NoticeKind::Error, droppedPath_, text);
    buttons_.reduceEnabled = true;
    return;
  }
  ApplyReduction(picture_, std::move(output));
  commandNotice_ = {};  // a drop refused meanwhile is no news any more
  buttons_.reduceEnabled = false;
  buttons_.saveEnabled = true;
  originalAvailable_ = picture_.OriginalView().info != nullptr;
  ++pictureGeneration_;
}

void WindowController::ShowKmeansProgress(int pass) { title_ = KmeansProgressTitle(pass); }

std::optional<SaveDialogRequest> WindowController::BeginSave() {
  if (busy_ || saving_ || !buttons_.saveEnabled) return std::nullopt;
  buttons_.saveEnabled = false;
  saving_ = true;
  commandNotice_ = {};
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
    const SaveProblem problem = ExplainSaveFailure(savePath_, ChooseSaveWriter(fileTitle),
                                                   picture_.result.width, picture_.result.height);
    commandNotice_ = Notice(NoticeKind::Error, savePath_, SaveFailureText(problem));
    return false;
  }
  commandNotice_ = Notice(NoticeKind::Info, savePath_, std::string(kSavedText));
  return true;
}

void WindowController::Resize(int clientWidth, int clientHeight) {
  clientWidth_ = clientWidth;
  clientHeight_ = clientHeight;
  ResizeScroll(scroll_, clientWidth, clientHeight);
}

void WindowController::Scroll(ScrollBarKind bar, ScrollRequest request, int thumb) {
  if (fitToWindow_) return;
  ApplyScrollRequest(bar == ScrollBarKind::Horizontal ? scroll_.horizontal : scroll_.vertical,
                     request, thumb);
}

void WindowController::ScrollByKey(ScrollKey key) {
  const ScrollRecord& vertical = scroll_.vertical;
  switch (key) {
    case ScrollKey::Up: return Scroll(ScrollBarKind::Vertical, ScrollRequest::LineUp, 0);
    case ScrollKey::Down: return Scroll(ScrollBarKind::Vertical, ScrollRequest::LineDown, 0);
    case ScrollKey::Left: return Scroll(ScrollBarKind::Horizontal, ScrollRequest::LineUp, 0);
    case ScrollKey::Right: return Scroll(ScrollBarKind::Horizontal, ScrollRequest::LineDown, 0);
    case ScrollKey::PageUp: return Scroll(ScrollBarKind::Vertical, ScrollRequest::PageUp, 0);
    case ScrollKey::PageDown: return Scroll(ScrollBarKind::Vertical, ScrollRequest::PageDown, 0);
    case ScrollKey::Home:
      return Scroll(ScrollBarKind::Vertical, ScrollRequest::ThumbPosition, vertical.nMin);
    case ScrollKey::End:
      return Scroll(ScrollBarKind::Vertical, ScrollRequest::ThumbPosition, vertical.nMax);
  }
}

bool WindowController::ScrollBarEnabled(ScrollBarKind bar) const {
  const ScrollRecord& record =
      bar == ScrollBarKind::Horizontal ? scroll_.horizontal : scroll_.vertical;
  return scroll_.configured && !fitToWindow_ && ScrollBarUsable(record);
}

PictureFrame WindowController::frame() const {
  if (fitToWindow_) {
    return FittedFrame(clientWidth_, clientHeight_, picture_.imageWidth, picture_.imageHeight);
  }
  return ScrolledFrame(scroll_, picture_.imageWidth, picture_.imageHeight);
}

bool WindowController::showingOriginal() const {
  return originalHeld_ && originalAvailable_ && !busy_;
}

WindowNotice WindowController::notice() const {
  if (showingOriginal()) return {NoticeKind::Info, "", std::string(kOriginalShownText)};
  if (commandNotice_.kind != NoticeKind::None) return commandNotice_;
  return pictureNotice_;
}

std::string_view WindowController::hint() const {
  return picture_.imageVisible ? std::string_view() : kEmptyWindowHint;
}

FocusTarget WindowController::focusTarget() const {
  if (buttons_.saveEnabled) return FocusTarget::Save;
  if (buttons_.reduceEnabled) return FocusTarget::Reduce;
  return FocusTarget::None;
}

CloseDecision WindowController::RequestClose() {
  if (busy_) {
    closePending_ = true;
    return CloseDecision::WaitForEngine;
  }
  return CloseDecision::CloseNow;
}

}  // namespace genshoku
