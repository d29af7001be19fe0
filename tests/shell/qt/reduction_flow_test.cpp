// Pressing reduce: the engine runs on its worker thread while the window stays usable,
// the result replaces the picture, and closing during a run stops the engine first (the
// engine is held at a known point for that, through the diagnostics it writes to).

#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "formats/bmp_layout.h"
#include "shell/qt/main_window.h"
#include "shell/qt/notice_bar.h"
#include "shell/qt/picture_view.h"
#include "shell/qt/qt_text.h"
#include "shell/window_texts.h"
#include "window_test_support.h"

using namespace genshoku;
using namespace genshoku::testing;

namespace {

// Diagnostics that hold the engine's thread when it writes the edge count (its first line,
// written between the edge map and the first split) until the test lets it go on.
class HoldingDiagnostics final : public Diagnostics {
 public:
  void Write(DiagnosticStream stream, std::string_view text) override {
    std::unique_lock<std::mutex> lock(mutex_);
    captured_.Write(stream, text);
    if (released_ || text.rfind("EDGE gasosuu=", 0) != 0) return;
    held_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return released_; });
  }
  bool WaitUntilHeld() {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(120), [this] { return held_; });
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }
  std::string Text(DiagnosticStream stream) {
    std::lock_guard<std::mutex> lock(mutex_);
    return captured_.Text(stream);
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool held_ = false;
  bool released_ = false;
  CapturedDiagnostics captured_;
};

struct ReleaseOnExit {
  HoldingDiagnostics& diagnostics;
  ~ReleaseOnExit() { diagnostics.Release(); }
};

}  // namespace

class ReductionFlowTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir folder_;
  QString PathOf(const QString& name) const { return folder_.filePath(name); }

 private slots:
  void initTestCase() { QVERIFY(folder_.isValid()); }

  void reducingShowsTheResultAndEnablesSaving() {
    TestWindow w;
    MainWindow& window = w.window;
    WriteBmp24(PathOf("photo.bmp"), 40, 30);
    WriteBmp24(PathOf("other.bmp"), 8, 8);
    QVERIFY(DropFiles(&window, {PathOf("photo.bmp")}));
    QSignalSpy finished(&window, &MainWindow::reductionFinished);
    QSignalSpy titles(&window, &QWidget::windowTitleChanged);

    QTest::mouseClick(window.reduceButton(), Qt::LeftButton);
    QVERIFY(window.reductionRunning());
    QVERIFY(window.controller().busy());
    QVERIFY(!window.reduceButton()->isEnabled());
    QVERIFY(!window.saveButton()->isEnabled());
    // Drops are ignored while the engine works, and the window says so.
    DropFiles(&window, {PathOf("other.bmp")});
    QCOMPARE(window.view()->picture().size(), QSize(40, 30));
    QCOMPARE(window.noticeBar()->text(), TextToQt(kBusyText));

    QVERIFY(finished.wait(120000));
    QVERIFY(!window.reductionRunning());
    QVERIFY(!window.controller().busy());
    QVERIFY(!window.reduceButton()->isEnabled());
    QVERIFY(window.saveButton()->isEnabled());
    QVERIFY(window.controller().picture().resultReady);
    const DisplayView view = window.controller().View();
    QCOMPARE(int(ReadLe16(view.info + 14)), 8);
    // The result is on display, drawn from its colour table.
    const QImage shown = Grab(window.view());
    const uint8_t index = view.bits[Stride8(40) * 29];  // top-left: last stored row
    const uint8_t* entry = view.info + kBmpInfoHeaderSize + 4 * index;
    QCOMPARE(QColor(shown.pixel(0, 48)), QColor(entry[2], entry[1], entry[0]));
    // Every k-means pass was shown in the title, in order, and the last one stays: the
    // engine reports its passes on standard error as "N iter", the last one twice.
    const QRegularExpressionMatch last =
        QRegularExpression("([0-9]+) iter\n\\1 iter\n$")
            .match(QString::fromStdString(w.diagnostics.Text(DiagnosticStream::Err)));
    QVERIFY2(last.hasMatch(), w.diagnostics.Text(DiagnosticStream::Err).c_str());
    const int passes = last.captured(1).toInt();
    QVERIFY(passes >= 1);
    QCOMPARE(int(titles.size()), passes);
    for (int i = 0; i < passes; ++i) {
      QCOMPARE(titles.at(i).at(0).toString(), QStringLiteral("Kmeans %1 kaime\n").arg(i + 1));
    }
    QCOMPARE(window.windowTitle(), QStringLiteral("Kmeans %1 kaime\n").arg(passes));

    // A new drop shows the new picture with the normal title.
    QVERIFY(DropFiles(&window, {PathOf("other.bmp")}));
    QCOMPARE(window.windowTitle(), TextToQt(kWindowTitle));
    QVERIFY(window.reduceButton()->isEnabled());
    QVERIFY(!window.saveButton()->isEnabled());
  }

  void aBmpFileCutShortOrDeletedSinceTheDropIsNotReduced() {
    TestWindow w;
    MainWindow& window = w.window;
    WriteBmp24(PathOf("cut.bmp"), 20, 20);
    QVERIFY(DropFiles(&window, {PathOf("cut.bmp")}));
    // The rows are read again from disk when reducing: first cut short, then gone.
    WriteBytes(PathOf("cut.bmp"), ReadBytes(PathOf("cut.bmp")).left(100));
    for (const char* message : {"InputFileSizeError!!!\n", "cut.bmp"}) {
      w.diagnostics.Clear();
      QTest::mouseClick(window.reduceButton(), Qt::LeftButton);
      QVERIFY(!window.reductionRunning());
      QVERIFY(window.reduceButton()->isEnabled());
      QVERIFY(!window.saveButton()->isEnabled());
      QVERIFY(QString::fromStdString(w.diagnostics.Text(DiagnosticStream::Err)).contains(message));
      QCOMPARE(window.view()->picture().size(), QSize(20, 20));
      QFile::remove(PathOf("cut.bmp"));
    }
  }

  void theWindowScrollsAndClosesWhileTheEngineWorks() {
    // The engine is held at its first line, between the edge map and the first split, so
    // that it is certainly at work when the window is closed.
    HoldingDiagnostics diagnostics;
    AnsweringDialogs::Shared answers;
    auto owned =
        std::make_unique<MainWindow>(std::make_unique<AnsweringDialogs>(answers), diagnostics);
    const ReleaseOnExit release{diagnostics};  // never leaves the engine waiting
    MainWindow& window = *owned;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    WriteBmp24(PathOf("large.bmp"), 500, 1200);
    QVERIFY(DropFiles(&window, {PathOf("large.bmp")}));
    QSignalSpy finished(&window, &MainWindow::reductionFinished);
    QTest::mouseClick(window.reduceButton(), Qt::LeftButton);
    QVERIFY(window.reductionRunning());
    QVERIFY(diagnostics.WaitUntilHeld());

    // The window's thread is free: scrolling and painting go on.
    window.verticalBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(window.controller().scroll().vertical.nPos, window.view()->height() / 2);
    const QImage shown = Grab(window.view());
    const int row = window.controller().scroll().vertical.nPos - 48;
    QCOMPARE(QColor(shown.pixel(3, 0)), PatternColour(3, row));

    // Closing waits for the engine, which stops at its next progress point.
    QVERIFY(!window.close());
    QVERIFY(window.isVisible());
    QVERIFY(window.reductionRunning());
    diagnostics.Release();
    QVERIFY(finished.wait(60000));
    QTRY_VERIFY(!window.isVisible());
    QVERIFY(!window.controller().busy());
    QVERIFY2(!window.controller().picture().resultReady, "the engine was stopped");
    QVERIFY2(!QString::fromStdString(diagnostics.Text(DiagnosticStream::Err)).contains("iter"),
             "the engine stopped before its k-means refinement");
  }

  void destroyingTheWindowDuringAReductionStopsTheEngineFirst() {
    auto w = std::make_unique<TestWindow>();
    WriteBmp24(PathOf("destroyed.bmp"), 400, 1000);
    QVERIFY(DropFiles(&w->window, {PathOf("destroyed.bmp")}));
    QTest::mouseClick(w->window.reduceButton(), Qt::LeftButton);
    QVERIFY(w->window.reductionRunning());
    QElapsedTimer timer;
    timer.start();
    w.reset();
    QVERIFY2(timer.elapsed() < 30000, "the engine stops at its next progress point");
  }

  void closingWithoutAReductionClosesAtOnce() {
    TestWindow w;
    QVERIFY(w.window.close());
    QVERIFY(!w.window.isVisible());
  }
};

QTEST_MAIN(ReductionFlowTest)
#include "reduction_flow_test.moc"
