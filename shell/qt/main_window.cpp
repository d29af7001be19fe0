#include "shell/qt/main_window.h"

#include <QAbstractSlider>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QUrl>
#include <QWheelEvent>
#include <algorithm>

#include "shell/qt/notice_bar.h"
#include "shell/qt/picture_view.h"
#include "shell/qt/program_resources.h"
#include "shell/qt/qt_text.h"
#include "shell/qt/reduction_worker.h"
#include "shell/window_texts.h"

namespace genshoku {

namespace {

constexpr int kWindowWidth = 600;
constexpr int kWindowHeight = 480;
const QRect kReduceButtonPlace(8, 8, 96, 32);
const QRect kSaveButtonPlace(104, 8, 96, 32);
// The notice line: right of the buttons, as high as they are, up to 8 pixels from the edge.
constexpr int kNoticeLeft = 208;

QRect NoticePlace(int viewWidth) {
  return QRect(kNoticeLeft, 8, std::max(0, viewWidth - kNoticeLeft - 8), 32);
}

// The local files of a drop, in the order given.
std::vector<std::string> DroppedFiles(const QMimeData* mime) {
  std::vector<std::string> files;
  if (mime == nullptr || !mime->hasUrls()) return files;
  for (const QUrl& url : mime->urls()) {
    if (url.isLocalFile()) files.push_back(PathFromQt(url.toLocalFile()));
  }
  return files;
}

// The bars' actions as the scroll requests the window understands.
ScrollRequest RequestOf(int action, bool thumbHeld) {
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub: return ScrollRequest::LineUp;
    case QAbstractSlider::SliderSingleStepAdd: return ScrollRequest::LineDown;
    case QAbstractSlider::SliderPageStepSub: return ScrollRequest::PageUp;
    case QAbstractSlider::SliderPageStepAdd: return ScrollRequest::PageDown;
    case QAbstractSlider::SliderMove:
      return thumbHeld ? ScrollRequest::ThumbTrack : ScrollRequest::ThumbPosition;
    default: return ScrollRequest::Other;
  }
}

}  // namespace

MainWindow::MainWindow(std::unique_ptr<FileDialogs> dialogs, Diagnostics& diagnostics,
                       QWidget* parent)
    : QWidget(parent), controller_(diagnostics), dialogs_(std::move(dialogs)) {
  if (!dialogs_) dialogs_ = std::make_unique<QtFileDialogs>();
  worker_ = new ReductionWorker(this);
  view_ = new PictureView(this);
  horizontalBar_ = new QScrollBar(Qt::Horizontal, this);
  verticalBar_ = new QScrollBar(Qt::Vertical, this);
  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(view_, 0, 0);
  layout->addWidget(verticalBar_, 0, 1);
  layout->addWidget(horizontalBar_, 1, 0);

  // The buttons belong to the client area and stay put when the picture scrolls.
  reduceButton_ = new QPushButton(TextToQt(kReduceCaption), view_);
  reduceButton_->setGeometry(kReduceButtonPlace);
  saveButton_ = new QPushButton(TextToQt(kSaveCaption), view_);
  saveButton_->setGeometry(kSaveButtonPlace);
  notice_ = new NoticeBar(view_);

  setAcceptDrops(true);
  resize(kWindowWidth, kWindowHeight);
  setWindowIcon(ProgramIcon());

  connect(reduceButton_, &QPushButton::clicked, this, &MainWindow::ReducePressed);
  connect(saveButton_, &QPushButton::clicked, this, &MainWindow::SavePressed);
  connect(worker_, &ReductionWorker::kmeansPass, this, &MainWindow::ShowKmeansProgress);
  connect(worker_, &ReductionWorker::finished, this, &MainWindow::ReductionEnded);
  connect(view_, &PictureView::resized, this, [this](int width, int height) {
    notice_->setGeometry(NoticePlace(width));
    controller_.Resize(width, height);
    ShowState();
  });
  connect(view_, &PictureView::wheelTurned, this, [this](QWheelEvent* event) {
    QScrollBar* bar = event->angleDelta().y() == 0 ? horizontalBar_ : verticalBar_;
    if (bar->isEnabled()) QCoreApplication::sendEvent(bar, event);
  });
  connect(horizontalBar_, &QScrollBar::actionTriggered, this,
          [this](int action) { ScrollAction(ScrollBarKind::Horizontal, action); });
  connect(verticalBar_, &QScrollBar::actionTriggered, this,
          [this](int action) { ScrollAction(ScrollBarKind::Vertical, action); });
  // Letting go of the thumb is a request of its own, as on the platform the flow was made
  // for; it lands where tracking left it.
  connect(horizontalBar_, &QScrollBar::sliderReleased, this, [this] {
    controller_.Scroll(ScrollBarKind::Horizontal, ScrollRequest::ThumbPosition,
                       horizontalBar_->sliderPosition());
    ShowState();
  });
  connect(verticalBar_, &QScrollBar::sliderReleased, this, [this] {
    controller_.Scroll(ScrollBarKind::Vertical, ScrollRequest::ThumbPosition,
                       verticalBar_->sliderPosition());
    ShowState();
  });
  InstallKeys();
  ShowState();
}

MainWindow::~MainWindow() {
  // The engine uses the controller's generator and diagnostics: it must be stopped and
  // gone before the members are destroyed, which happens before Qt deletes the children.
  delete worker_;
  worker_ = nullptr;
}

bool MainWindow::reductionRunning() const { return worker_->running(); }

void MainWindow::OpenFiles(const std::vector<std::string>& paths) {
  controller_.Drop(paths);
  ShowState();
}

void MainWindow::ShowKmeansProgress(int pass) {
  controller_.ShowKmeansProgress(pass);
  ShowState();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedFiles(event->mimeData()).empty()) event->acceptProposedAction();
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event) {
  if (!DroppedFiles(event->mimeData()).empty()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const std::vector<std::string> files = DroppedFiles(event->mimeData());
  if (files.empty()) return;
  event->acceptProposedAction();
  OpenFiles(files);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (controller_.RequestClose() == CloseDecision::WaitForEngine) {
    // The engine still uses the picture's planes and the generator: it is asked to stop,
    // and the window closes when it has returned.
    worker_->RequestStop();
    event->ignore();
    return;
  }
  event->accept();
}

void MainWindow::OpenPressed() {
  const std::optional<OpenDialogRequest> request = controller_.BeginOpen();
  if (!request) return;
  const std::optional<std::string> chosen = dialogs_->AskOpenName(this, *request);
  if (chosen) OpenFiles({*chosen});
}

void MainWindow::ReducePressed() {
  ReductionJob job;
  const bool started = controller_.BeginReduction(job);
  ShowState();
  if (started) worker_->Start(std::move(job), controller_.diagnostics(), controller_.random());
}

void MainWindow::ReductionEnded() {
  controller_.FinishReduction(worker_->TakeOutput());
  ShowState();
  emit reductionFinished();
  if (controller_.closePending()) close();
}

void MainWindow::SavePressed() {
  const std::optional<SaveDialogRequest> request = controller_.BeginSave();
  ShowState();
  if (!request) return;
  const std::optional<std::string> chosen = dialogs_->AskSaveName(this, *request);
  controller_.FinishSave(chosen);
  ShowState();
}

void MainWindow::ScrollAction(ScrollBarKind kind, int action) {
  QScrollBar* bar = kind == ScrollBarKind::Horizontal ? horizontalBar_ : verticalBar_;
  controller_.Scroll(kind, RequestOf(action, bar->isSliderDown()), bar->sliderPosition());
  // The bar has already moved by its own rule; the window's position replaces it.
  const WindowScroll& scroll = controller_.scroll();
  bar->setSliderPosition(kind == ScrollBarKind::Horizontal ? scroll.horizontal.nPos
                                                           : scroll.vertical.nPos);
  view_->SetFrame(controller_.frame());
}

void MainWindow::ShowScrollBar(QScrollBar* bar, ScrollBarKind kind) {
  const ScrollRecord& record = kind == ScrollBarKind::Horizontal ? controller_.scroll().horizontal
                                                                 : controller_.scroll().vertical;
  const QSignalBlocker blocker(bar);
  bar->setRange(record.nMin, LargestScrollPosition(record));
  bar->setPageStep(record.nPage);
  bar->setSingleStep(kScrollLine);
  bar->setValue(record.nPos);
  bar->setEnabled(controller_.ScrollBarEnabled(kind));
}

void MainWindow::ShowPicture() {
  if (controller_.pictureGeneration() != shownGeneration_) {
    shownGeneration_ = controller_.pictureGeneration();
    view_->SetPicture(ImageFromView(controller_.View()));
    view_->SetOriginal({});
    originalGeneration_ = 0;
  }
  // The original is made into pixels the first time it is asked for, once per result.
  const bool original = controller_.showingOriginal();
  if (original && originalGeneration_ != shownGeneration_) {
    view_->SetOriginal(ImageFromView(controller_.OriginalView()));
    originalGeneration_ = shownGeneration_;
  }
  view_->ShowOriginal(original);
  view_->SetFrame(controller_.frame());
  view_->SetHint(TextToQt(controller_.hint()));
}

void MainWindow::ShowFocus() {
  // A button that was pressed is often disabled by its own command, which leaves the
  // keyboard nowhere: the focus goes to the button a user presses next.
  QWidget* focused = focusWidget();
  if ((focused == reduceButton_ || focused == saveButton_) && focused->isEnabled()) return;
  switch (controller_.focusTarget()) {
    case FocusTarget::Reduce: reduceButton_->setFocus(Qt::OtherFocusReason); break;
    case FocusTarget::Save: saveButton_->setFocus(Qt::OtherFocusReason); break;
    case FocusTarget::None: break;
  }
}

void MainWindow::ShowState() {
  reduceButton_->setEnabled(controller_.buttons().reduceEnabled);
  saveButton_->setEnabled(controller_.buttons().saveEnabled);
  const QString title = TextToQt(controller_.title());
  if (windowTitle() != title) setWindowTitle(title);
  ShowScrollBar(horizontalBar_, ScrollBarKind::Horizontal);
  ShowScrollBar(verticalBar_, ScrollBarKind::Vertical);
  ShowPicture();
  notice_->SetNotice(controller_.notice());
  ShowFocus();
}

}  // namespace genshoku
