#pragma once
// Helpers of the window tests: pictures written to disk, drops sent to the window, file
// dialogs that answer by themselves, and diagnostics that the engine's thread may write to.

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
#include "shell/qt/file_dialogs.h"
#include "shell/qt/main_window.h"

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

// Answers the file dialogs with queued answers (nothing = cancelled) and records what they
// were asked.
class AnsweringDialogs final : public FileDialogs {
 public:
  struct Shared {
    std::deque<std::optional<std::string>> answers;  // to the save dialog
    std::vector<SaveDialogRequest> requests;
    std::deque<std::optional<std::string>> openAnswers;
    std::vector<OpenDialogRequest> openRequests;
  };
  explicit AnsweringDialogs(Shared& shared) : shared_(shared) {}
  std::optional<std::string> AskOpenName(QWidget*, const OpenDialogRequest& request) override {
    shared_.openRequests.push_back(request);
    return Next(shared_.openAnswers);
  }
  std::optional<std::string> AskSaveName(QWidget*, const SaveDialogRequest& request) override {
    shared_.requests.push_back(request);
    return Next(shared_.answers);
  }

 private:
  static std::optional<std::string> Next(std::deque<std::optional<std::string>>& answers) {
    if (answers.empty()) return std::nullopt;
    std::optional<std::string> answer = answers.front();
    answers.pop_front();
    return answer;
  }
  Shared& shared_;
};

// A main window on show, with captured diagnostics and file dialogs the test answers.
struct TestWindow {
  ThreadSafeDiagnostics diagnostics;
  AnsweringDialogs::Shared answers;
  MainWindow window{std::make_unique<AnsweringDialogs>(answers), diagnostics};
  TestWindow();
  // Makes the window the active one, so that its keys reach it.
  bool Activate();
};

}  // namespace genshoku::testing
