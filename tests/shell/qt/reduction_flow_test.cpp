// Pressing reduce: the engine runs on its worker thread while the window stays usable,
// the result replaces the picture, and closing during a run stops the engine first.

#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "formats/bmp_layout.h"
#include "shell/qt/main_window.h"
#include "shell/qt/picture_view.h"
#include "shell/qt/qt_text.h"
#include "shell/window_texts.h"
#include "window_test_support.h"

using namespace genshoku;
using namespace genshoku::testing;

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
    // Drops are ignored while the engine works.
    DropFiles(&window, {PathOf("other.bmp")});
    QCOMPARE(window.view()->picture().size(), QSize(40, 30));

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
    // Every title shown was the normal one or a k-means pass, the last pass staying.
    const QRegularExpression pass("^Kmeans [0-9]+ kaime\n$");
    for (const QList<QVariant>& change : titles) {
      QVERIFY2(pass.match(change.at(0).toString()).hasMatch(), qPrintable(change.at(0).toString()));
    }
    if (!titles.isEmpty()) QCOMPARE(window.windowTitle(), titles.last().at(0).toString());

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
    auto w = std::make_unique<TestWindow>();
    MainWindow& window = w->window;
    // Large enough that the engine is still at work when the window is closed.
    WriteBmp24(PathOf("large.bmp"), 500, 1200);
    QVERIFY(DropFiles(&window, {PathOf("large.bmp")}));
    QSignalSpy finished(&window, &MainWindow::reductionFinished);
    QTest::mouseClick(window.reduceButton(), Qt::LeftButton);
    QVERIFY(window.reductionRunning());

    // The window's thread is free: scrolling and painting go on.
    window.verticalBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(window.controller().scroll().vertical.nPos, window.view()->height() / 2);
    const QImage shown = Grab(window.view());
    const int row = window.controller().scroll().vertical.nPos - 48;
    QCOMPARE(QColor(shown.pixel(3, 0)), PatternColour(3, row));

    // Closing waits for the engine, which stops at its next progress point.
    QVERIFY(!window.close());
    QVERIFY(window.isVisible());
    QVERIFY(finished.wait(60000));
    QTRY_VERIFY(!window.isVisible());
    QVERIFY(!window.controller().busy());
    QVERIFY2(!window.controller().picture().resultReady, "the engine was stopped");
    w.reset();
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
