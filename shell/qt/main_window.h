#pragma once
// The main window: two buttons over a scrollable view of the picture, file drops, the
// save dialog, and the engine on a worker thread. What to do with each event is decided
// by WindowController; this class only carries events in and shows the outcome.

#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/diagnostics.h"
#include "shell/qt/save_dialog.h"
#include "shell/window_controller.h"

class QPushButton;
class QScrollBar;

namespace genshoku {

class PictureView;
class ReductionWorker;

class MainWindow final : public QWidget {
  Q_OBJECT

 public:
  // Without a save dialog the window asks the user with the file dialog.
  explicit MainWindow(std::unique_ptr<SaveDialog> saveDialog = nullptr,
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

 private:
  void ReducePressed();
  void SavePressed();
  void ReductionEnded();
  void ScrollAction(ScrollBarKind kind, int action);
  void ShowScrollBar(QScrollBar* bar, const ScrollRecord& record);
  // Brings buttons, title, scroll bars and picture in line with the controller.
  void ShowState();

  WindowController controller_;
  std::unique_ptr<SaveDialog> saveDialog_;
  ReductionWorker* worker_ = nullptr;
  PictureView* view_ = nullptr;
  QPushButton* reduceButton_ = nullptr;
  QPushButton* saveButton_ = nullptr;
  QScrollBar* horizontalBar_ = nullptr;
  QScrollBar* verticalBar_ = nullptr;
  uint64_t shownGeneration_ = 0;
};

}  // namespace genshoku
