#pragma once
// The main window: two buttons over a scrollable view of the picture, file drops and the
// open dialog, the save dialog, the keys, and the engine on a worker thread. What to do
// with each event is decided by WindowController; this class only carries events in and
// shows the outcome.

#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/diagnostics.h"
#include "shell/qt/file_dialogs.h"
#include "shell/window_controller.h"

class QPushButton;
class QScrollBar;

namespace genshoku {

class NoticeBar;
class PictureView;
class ReductionWorker;

class MainWindow final : public QWidget {
  Q_OBJECT

 public:
  // The key that shows the picture before reduction while it is held.
  static constexpr int kOriginalKey = Qt::Key_O;

  // Without dialogs the window asks the user with Qt's file dialogs.
  explicit MainWindow(std::unique_ptr<FileDialogs> dialogs = nullptr,
                      Diagnostics& diagnostics = StandardDiagnostics(), QWidget* parent = nullptr);
  ~MainWindow() override;

  // Reads the first of these files as if they had been dropped (the command line).
  void OpenFiles(const std::vector<std::string>& paths);

  const WindowController& controller() const { return controller_; }
  QPushButton* reduceButton() const { return reduceButton_; }
  QPushButton* saveButton() const { return saveButton_; }
  QScrollBar* horizontalBar() const { return horizontalBar_; }
  QScrollBar* verticalBar() const { return verticalBar_; }
  PictureView* view() const { return view_; }
  NoticeBar* noticeBar() const { return notice_; }
  bool reductionRunning() const;

 public slots:
  // The engine's k-means refinement began a pass: the title says so.
  void ShowKmeansProgress(int pass);

 signals:
  // A reduction ended (with a result or not) and the window shows the outcome.
  void reductionFinished();

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // The keys of the window's commands (main_window_keys.cpp).
  void InstallKeys();
  void OpenPressed();
  void ReducePressed();
  void SavePressed();
  void ReductionEnded();
  void ScrollAction(ScrollBarKind kind, int action);
  void ScrollKeyPressed(ScrollKey key);
  void ToggleFitToWindow();
  void HoldOriginal(bool held);
  void ShowScrollBar(QScrollBar* bar, ScrollBarKind kind);
  void ShowPicture();
  void ShowFocus();
  // Brings buttons, title, scroll bars, picture, notice and focus in line with the
  // controller.
  void ShowState();

  WindowController controller_;
  std::unique_ptr<FileDialogs> dialogs_;
  ReductionWorker* worker_ = nullptr;
  PictureView* view_ = nullptr;
  NoticeBar* notice_ = nullptr;
  QPushButton* reduceButton_ = nullptr;
  QPushButton* saveButton_ = nullptr;
  QScrollBar* horizontalBar_ = nullptr;
  QScrollBar* verticalBar_ = nullptr;
  uint64_t shownGeneration_ = 0;
  uint64_t originalGeneration_ = 0;  // the picture whose original the view holds
};

}  // namespace genshoku
