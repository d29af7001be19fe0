#pragma once
// Helpers of the window tests: pictures written to disk, drops sent to the window, a save
// dialog that answers by itself, and diagnostics that the engine's thread may write to.

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/diagnostics.h"
#include "shell/qt/main_window.h"
#include "shell/qt/save_dialog.h"

namespace genshoku::testing {

// The colour of test pictures at column x, row y (top row 0).
QColor PatternColour(int x, int y);

// A 24-bit BMP file (bottom-up, 54-byte header) with PatternColour pixels.
void WriteBmp24(const QString& path, int width, int height);
// An 8-bit BMP file with a grey colour table.
void WriteBmp8(const QString& path, int width, int height);
// A picture in any format Qt writes ("jpg", "png"), from an image of the given format.
void WriteWithQt(const QString& path, int width, int height, QImage::Format format,
                 const char* fileFormat);
void WriteBytes(const QString& path, const QByteArray& bytes);
QByteArray ReadBytes(const QString& path);

// Sends a drag entering the window and the drop of these files, as the window system
// would. Returns whether the drop was taken.
bool DropFiles(QWidget* window, const QStringList& paths);

// What Qt draws on `widget`, as an image of the widget's size.
QImage Grab(QWidget* widget);

class ThreadSafeDiagnostics final : public Diagnostics {
 public:
  void Write(DiagnosticStream stream, std::string_view text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    captured_.Write(stream, text);
  }
  std::string Text(DiagnosticStream stream) {
    std::lock_guard<std::mutex> lock(mutex_);
    return captured_.Text(stream);
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    captured_.Clear();
  }

 private:
  std::mutex mutex_;
  CapturedDiagnostics captured_;
};

// Answers the save dialog with queued answers (nothing = cancelled) and records what it
// was asked.
class AnsweringSaveDialog final : public SaveDialog {
 public:
  struct Shared {
    std::deque<std::optional<std::string>> answers;
    std::vector<SaveDialogRequest> requests;
  };
  explicit AnsweringSaveDialog(Shared& shared) : shared_(shared) {}
  std::optional<std::string> AskSaveName(QWidget*, const SaveDialogRequest& request) override {
    shared_.requests.push_back(request);
    if (shared_.answers.empty()) return std::nullopt;
    std::optional<std::string> answer = shared_.answers.front();
    shared_.answers.pop_front();
    return answer;
  }

 private:
  Shared& shared_;
};

// A main window on show, with captured diagnostics and a save dialog the test answers.
struct TestWindow {
  ThreadSafeDiagnostics diagnostics;
  AnsweringSaveDialog::Shared answers;
  MainWindow window{std::make_unique<AnsweringSaveDialog>(answers), diagnostics};
  TestWindow();
};

}  // namespace genshoku::testing
