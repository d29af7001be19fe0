// The window from the keyboard: opening with Ctrl+O, the buttons' keys and Enter, closing
// keys that take the close button's way, scrolling keys, the focus after a reduction,
// fitting the picture to the window and holding the original up against the result.

#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "shell/qt/main_window.h"
#include "shell/qt/notice_bar.h"
#include "shell/qt/picture_view.h"
#include "window_test_support.h"

using namespace genshoku;
using namespace genshoku::testing;

class WindowKeysTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir folder_;
  QString PathOf(const QString& name) const { return folder_.filePath(name); }

  static QRgb ViewPixel(MainWindow& window, int x, int y) {
    return Grab(window.view()).pixel(x, y);
  }

  // Reduces the shown picture, started by `start`, and waits for the result.
  static bool ReduceWith(MainWindow& window, const std::function<void()>& start) {
    QSignalSpy finished(&window, &MainWindow::reductionFinished);
    start();
    return window.reductionRunning() && finished.wait(120000);
  }

 private slots:
  void initTestCase() { QVERIFY(folder_.isValid()); }

  void ctrlOOpensTheChosenFileLikeADrop() {
    TestWindow w;
    QVERIFY(w.Activate());
    WriteBmp24(PathOf("first.bmp"), 9, 7);
    w.answers.openAnswers.push_back(PathOf("first.bmp").toStdString());
    QTest::keyClick(&w.window, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(int(w.answers.openRequests.size()), 1);
    QVERIFY(w.answers.openRequests[0].startFolder.empty());
    QCOMPARE(w.window.view()->picture().size(), QSize(9, 7));
    QVERIFY(w.window.reduceButton()->isEnabled());
    // The next dialog starts in the shown picture's folder; a cancel changes nothing.
    QTest::keyClick(&w.window, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(QString::fromStdString(w.answers.openRequests[1].startFolder), folder_.path() + "/");
    QCOMPARE(w.window.view()->picture().size(), QSize(9, 7));
    // A file that cannot be read says so in the window, as a dropped one does.
    w.answers.openAnswers.push_back(PathOf("none.png").toStdString());
    QTest::keyClick(&w.window, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(w.window.noticeBar()->text(),
             QStringLiteral("none.png: 開けません。ファイルがありません"));
    QCOMPARE(w.window.view()->picture().size(), QSize(9, 7));
  }

  void theButtonsKeysAndEnterPressThemOnlyWhenEnabled() {
    TestWindow w;
    MainWindow& window = w.window;
    QVERIFY(w.Activate());
    // Nothing to reduce or save yet: the keys do nothing.
    QTest::keyClick(&window, Qt::Key_R, Qt::ControlModifier);
    QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(!window.reductionRunning());
    QVERIFY(w.answers.requests.empty());

    WriteBmp24(PathOf("keys.bmp"), 16, 12);
    QVERIFY(DropFiles(&window, {PathOf("keys.bmp")}));
    QCOMPARE(QApplication::focusWidget(), window.reduceButton());
    QVERIFY(ReduceWith(window, [&] { QTest::keyClick(&window, Qt::Key_R, Qt::ControlModifier); }));
    // The reduce button lost the focus when it was disabled; the save button has it now.
    QCOMPARE(QApplication::focusWidget(), window.saveButton());
    w.answers.answers.push_back(std::nullopt);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(int(w.answers.requests.size()), 1);
    QVERIFY(window.saveButton()->isEnabled());
    w.answers.answers.push_back(PathOf("keys_out.png").toStdString());
    QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(int(w.answers.requests.size()), 2);
    QVERIFY(ReadBytes(PathOf("keys_out.png")).startsWith("\x89PNG"));
    QCOMPARE(window.noticeBar()->text(), QStringLiteral("keys_out.png: 保存しました"));

    // Enter on the focused reduce button reduces.
    QVERIFY(DropFiles(&window, {PathOf("keys.bmp")}));
    QCOMPARE(QApplication::focusWidget(), window.reduceButton());
    QVERIFY(ReduceWith(window, [&] { QTest::keyClick(window.reduceButton(), Qt::Key_Enter); }));
    QVERIFY(window.saveButton()->isEnabled());
  }

  void ctrlQAndCtrlWCloseTheWayTheCloseButtonDoes() {
    for (Qt::Key key : {Qt::Key_Q, Qt::Key_W}) {
      auto w = std::make_unique<TestWindow>();
      MainWindow& window = w->window;
      QVERIFY(w->Activate());
      WriteBmp24(PathOf("large.bmp"), 500, 1200);
      QVERIFY(DropFiles(&window, {PathOf("large.bmp")}));
      QSignalSpy finished(&window, &MainWindow::reductionFinished);
      QTest::mouseClick(window.reduceButton(), Qt::LeftButton);
      QVERIFY(window.reductionRunning());
      // During a reduction the window waits for the engine to stop, then closes.
      QTest::keyClick(&window, key, Qt::ControlModifier);
      QVERIFY(window.isVisible());
      QVERIFY(finished.wait(60000));
      QTRY_VERIFY(!window.isVisible());
      QVERIFY(!window.controller().picture().resultReady);
    }
    TestWindow idle;
    QVERIFY(idle.Activate());
    QTest::keyClick(&idle.window, Qt::Key_W, Qt::ControlModifier);
    QVERIFY(!idle.window.isVisible());
  }

  void arrowsPagesHomeAndEndScrollWhicheverButtonHasTheFocus() {
    TestWindow w;
    MainWindow& window = w.window;
    const QSize bars(window.verticalBar()->sizeHint().width(),
                     window.horizontalBar()->sizeHint().height());
    window.resize(400 + bars.width(), 400 + bars.height());
    QTRY_COMPARE(window.view()->size(), QSize(400, 400));
    QVERIFY(w.Activate());
    WriteBmp24(PathOf("tall.bmp"), 1000, 1000);
    QVERIFY(DropFiles(&window, {PathOf("tall.bmp")}));
    QCOMPARE(QApplication::focusWidget(), window.reduceButton());
    QScrollBar* vertical = window.verticalBar();
    QTest::keyClick(window.reduceButton(), Qt::Key_Down);
    QCOMPARE(vertical->value(), 16);
    QTest::keyClick(window.reduceButton(), Qt::Key_PageDown);
    QCOMPARE(vertical->value(), 216);
    QTest::keyClick(window.reduceButton(), Qt::Key_End);
    QCOMPARE(vertical->value(), 648);
    QTest::keyClick(window.reduceButton(), Qt::Key_PageUp);
    QCOMPARE(vertical->value(), 448);
    QTest::keyClick(window.reduceButton(), Qt::Key_Home);
    QCOMPARE(vertical->value(), 0);
    QTest::keyClick(window.reduceButton(), Qt::Key_Right);
    QCOMPARE(window.horizontalBar()->value(), 16);
    // The arrows scrolled; they did not move the focus.
    QCOMPARE(QApplication::focusWidget(), window.reduceButton());
    QCOMPARE(QColor(ViewPixel(window, 0, 48)), PatternColour(16, 0));
  }

  void fTogglesFittingAndTheNormalViewComesBackExactly() {
    TestWindow w;
    MainWindow& window = w.window;
    QVERIFY(w.Activate());
    WriteBmp24(PathOf("wide.bmp"), 2000, 300);
    QVERIFY(DropFiles(&window, {PathOf("wide.bmp")}));
    QTest::keyClick(&window, Qt::Key_Right);
    QTest::keyClick(&window, Qt::Key_Down);
    const QImage normal = Grab(window.view());
    const int width = window.view()->width();

    QTest::keyClick(&window, Qt::Key_F);
    QVERIFY(window.controller().fitToWindow());
    QVERIFY(!window.horizontalBar()->isEnabled());
    const QImage fitted = Grab(window.view());
    // The whole picture across the width, its aspect kept, under the buttons.
    const int height = (2 * 300 * width + 2000) / 4000;
    QVERIFY(fitted.pixel(width / 2, 48 + height / 2) != qRgb(255, 255, 255));
    QCOMPARE(fitted.pixel(width / 2, 48 + height + 2), qRgb(255, 255, 255));
    QVERIFY(fitted.pixel(0, 48) != qRgb(255, 255, 255));
    QCOMPARE(fitted.pixel(0, 47), qRgb(255, 255, 255));

    QTest::keyClick(&window, Qt::Key_F);
    QVERIFY(window.horizontalBar()->isEnabled());
    QCOMPARE(window.horizontalBar()->value(), 16);
    QCOMPARE(Grab(window.view()), normal);
  }

  void holdingOShowsTheOriginalInPlaceOfTheResult() {
    TestWindow w;
    MainWindow& window = w.window;
    QVERIFY(w.Activate());
    WriteBmp24(PathOf("compare.bmp"), 40, 30);
    QVERIFY(DropFiles(&window, {PathOf("compare.bmp")}));
    const QImage original = Grab(window.view());
    // Held and let go before there is a result: nothing to show, and nothing left held.
    QTest::keyPress(&window, MainWindow::kOriginalKey);
    QTest::keyRelease(&window, MainWindow::kOriginalKey);
    QVERIFY(ReduceWith(window, [&] { QTest::mouseClick(window.reduceButton(), Qt::LeftButton); }));
    QVERIFY(!window.view()->showingOriginal());
    const QImage result = Grab(window.view());
    QVERIFY(result != original);

    QTest::keyPress(&window, MainWindow::kOriginalKey);
    QVERIFY(window.view()->showingOriginal());
    QCOMPARE(Grab(window.view()).copy(0, 48, 40, 30), original.copy(0, 48, 40, 30));
    QCOMPARE(window.noticeBar()->kind(), NoticeKind::Info);
    // A held key repeats as releases and presses marked so: they change nothing.
    for (QEvent::Type type : {QEvent::KeyRelease, QEvent::KeyPress}) {
      QKeyEvent repeat(type, MainWindow::kOriginalKey, Qt::NoModifier, "o", true);
      QApplication::sendEvent(&window, &repeat);
    }
    QVERIFY(window.view()->showingOriginal());
    QTest::keyRelease(&window, MainWindow::kOriginalKey);
    QVERIFY(!window.view()->showingOriginal());
    QCOMPARE(Grab(window.view()), result);
    QVERIFY(window.saveButton()->isEnabled());
    QVERIFY(!window.noticeBar()->isVisible());
  }
};

QTEST_MAIN(WindowKeysTest)
#include "window_keys_test.moc"
