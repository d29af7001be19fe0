// The window as a user meets it: its looks, drops of every kind of file, scrolling and
// the title. Runs under Qt's offscreen platform.

#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QPushButton>
#include <QRawFont>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextLayout>

#include <algorithm>

#include "shell/qt/main_window.h"
#include "shell/qt/notice_bar.h"
#include "shell/qt/picture_view.h"
#include "shell/qt/program_resources.h"
#include "shell/qt/qt_text.h"
#include "shell/window_texts.h"
#include "window_test_support.h"

using namespace genshoku;
using namespace genshoku::testing;

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir folder_;
  QString PathOf(const QString& name) const { return folder_.filePath(name); }

  static QRgb ViewPixel(MainWindow& window, int x, int y) {
    return Grab(window.view()).pixel(x, y);
  }

 private slots:
  void initTestCase() { QVERIFY(folder_.isValid()); }

  void looksAsDesigned() {
    TestWindow w;
    MainWindow& window = w.window;
    QCOMPARE(window.windowTitle(),
             QStringLiteral("２５６色への減色(7.5xY3xU4xV分散小数大津誤差拡散DistanceSquareSumMax_"
                            "rgbygamma1.1_edge6_et20_t5_bun1_edon2_kmon1_JpegPngGifInPngGifOut "
                            "Ver0112)"));
    QCOMPARE(window.size(), QSize(600, 480));
    QCOMPARE(window.reduceButton()->text(), QStringLiteral("減色する"));
    QCOMPARE(window.saveButton()->text(), QStringLiteral("保存する"));
    QCOMPARE(window.reduceButton()->geometry(), QRect(8, 8, 96, 32));
    QCOMPARE(window.saveButton()->geometry(), QRect(104, 8, 96, 32));
    QCOMPARE(window.view()->mapTo(&window, QPoint(0, 0)), QPoint(0, 0));
    QVERIFY(!window.reduceButton()->isEnabled());
    QVERIFY(!window.saveButton()->isEnabled());
    QVERIFY(!window.horizontalBar()->isEnabled());
    QVERIFY(!window.verticalBar()->isEnabled());
    QVERIFY(window.acceptDrops());
    // Nothing but white below the buttons, but for the hint in the middle.
    QCOMPARE(ViewPixel(window, 300, 300), qRgb(255, 255, 255));
    QCOMPARE(ViewPixel(window, 0, 48), qRgb(255, 255, 255));
    QVERIFY(!window.noticeBar()->isVisible());
  }

  void theEmptyWindowShowsItsHintInThePictureArea() {
    TestWindow w;
    const QImage empty = Grab(w.window.view());
    const int middle = 48 + (empty.height() - 48) / 2;
    int grey = 0;
    for (int x = 0; x < empty.width(); ++x) {
      for (int y = middle - 10; y <= middle + 10; ++y)
        grey += empty.pixel(x, y) != qRgb(255, 255, 255);
    }
    QVERIFY2(grey > 50, "no hint drawn");
    WriteBmp24(PathOf("hinted.bmp"), 4, 4);
    QVERIFY(DropFiles(&w.window, {PathOf("hinted.bmp")}));
    const QImage shown = Grab(w.window.view());
    for (int x = 4; x < shown.width(); ++x) QCOMPARE(shown.pixel(x, middle), qRgb(255, 255, 255));
  }

  void japaneseTextHasGlyphs() {
    TestWindow w;
    // Every character must come out of some installed font, not as an empty box.
    for (const QString& text :
         {w.window.reduceButton()->text(), w.window.saveButton()->text(), w.window.windowTitle()}) {
      QTextLayout layout(text, w.window.reduceButton()->font());
      layout.beginLayout();
      layout.createLine();
      layout.endLayout();
      int glyphs = 0;
      for (const QGlyphRun& run : layout.glyphRuns()) {
        for (quint32 glyph : run.glyphIndexes()) {
          QVERIFY2(glyph != 0, qPrintable(text + " has a character no font can show"));
          ++glyphs;
        }
      }
      QVERIFY(glyphs >= text.size() - 1);
    }
  }

  void dropShowsTheFirstFileUnderTheButtons() {
    TestWindow w;
    MainWindow& window = w.window;
    WriteBmp24(PathOf("photo.bmp"), 30, 20);
    WriteBmp8(PathOf("grey.bmp"), 5, 5);
    QVERIFY(DropFiles(&window, {PathOf("photo.bmp"), PathOf("grey.bmp"), PathOf("none.bmp")}));
    QVERIFY(window.reduceButton()->isEnabled());
    QVERIFY(!window.saveButton()->isEnabled());
    QCOMPARE(QString::fromStdString(window.controller().droppedPath()), PathOf("photo.bmp"));
    QCOMPARE(window.view()->picture().size(), QSize(30, 20));
    QCOMPARE(QColor(ViewPixel(window, 0, 48)), PatternColour(0, 0));
    QCOMPARE(QColor(ViewPixel(window, 29, 67)), PatternColour(29, 19));
    QCOMPARE(ViewPixel(window, 0, 47), qRgb(255, 255, 255));
    QCOMPARE(ViewPixel(window, 30, 48), qRgb(255, 255, 255));
    QCOMPARE(ViewPixel(window, 0, 68), qRgb(255, 255, 255));
    QVERIFY2(w.diagnostics.Text(DiagnosticStream::Err).empty(),
             w.diagnostics.Text(DiagnosticStream::Err).c_str());
    // An 8-bit picture is painted from its colour table but cannot be reduced; which
    // reader each name chooses is input_decoding's.
    QVERIFY(DropFiles(&window, {PathOf("grey.bmp")}));
    QVERIFY(!window.reduceButton()->isEnabled());
    QCOMPARE(window.view()->picture().size(), QSize(5, 5));
    QCOMPARE(ViewPixel(window, 4, 52), qRgb(0, 0, 0));
    QCOMPARE(ViewPixel(window, 5, 52), qRgb(255, 255, 255));
    // Drops that hold no local file are not taken.
    QVERIFY(!DropFiles(&window, {}));
  }

  void aFileThatCannotBeReadChangesNothing() {
    TestWindow w;
    MainWindow& window = w.window;
    WriteBmp24(PathOf("shown.bmp"), 10, 10);
    QVERIFY(DropFiles(&window, {PathOf("shown.bmp")}));
    window.ShowKmeansProgress(5);
    WriteBytes(PathOf("fake.jpg"), "not a JPEG file at all");
    WriteBytes(PathOf("fake.png"), "not a PNG file");
    WriteBytes(PathOf("fake.gif"), "GIF");
    WriteWithQt(PathOf("real.Jpg"), 4, 4, QImage::Format_RGB32, "jpg");
    QDir(folder_.path()).mkdir("folder.bmp");
    const QImage before = Grab(window.view());
    for (const char* name :
         {"missing.bmp", "fake.jpg", "fake.png", "fake.gif", "real.Jpg", "folder.bmp"}) {
      w.diagnostics.Clear();
      QVERIFY(DropFiles(&window, {PathOf(name)}));
      const std::string err = w.diagnostics.Text(DiagnosticStream::Err);
      QVERIFY2(QString::fromStdString(err).contains(PathOf(name)), err.c_str());
      // The window says so too, in one line naming the file, without moving the picture.
      QVERIFY(window.noticeBar()->isVisible());
      QCOMPARE(window.noticeBar()->kind(), NoticeKind::Error);
      QVERIFY(window.noticeBar()->text().startsWith(QString(name) + ": 開けません。"));
      QCOMPARE(Grab(window.view()).copy(0, 48, 10, 10), before.copy(0, 48, 10, 10));
      QCOMPARE(window.windowTitle(), QStringLiteral("Kmeans 5 kaime\n"));
      QVERIFY(window.reduceButton()->isEnabled());
      QCOMPARE(window.view()->picture().size(), QSize(10, 10));
      QCOMPARE(QString::fromStdString(window.controller().droppedPath()), PathOf("shown.bmp"));
    }
  }

  void theNoticeSitsRightOfTheButtonsAndShortensTheFileNameFirst() {
    TestWindow w;
    MainWindow& window = w.window;
    const QString name = QString(80, 'x') + ".png";
    QVERIFY(DropFiles(&window, {PathOf(name)}));
    NoticeBar* bar = window.noticeBar();
    QCOMPARE(bar->geometry(), QRect(208, 8, window.view()->width() - 216, 32));
    QVERIFY(bar->text().startsWith(name));
    const QString shown = bar->ShownText();
    QVERIFY2(shown.endsWith("ファイルがありません"), qPrintable(shown));
    QVERIFY2(shown.contains(QChar(0x2026)), qPrintable(shown));
    QVERIFY(QFontMetrics(bar->font()).horizontalAdvance(shown) <= bar->width());
    // Drawn, in red on a light box, below the top edge and right of the save button.
    const QImage image = Grab(window.view());
    int red = 0;
    for (int x = 208; x < image.width(); ++x) {
      for (int y = 8; y < 40; ++y) {
        const QColor c(image.pixel(x, y));
        red += c.red() > 100 && c.green() < 80 && c.blue() < 80;
      }
    }
    QVERIFY2(red > 20, "no red text in the notice");
    QCOMPARE(image.pixel(204, 24), qRgb(255, 255, 255));
  }

  void everyNoticeFitsTheWindowWithACamerasFileName() {
    TestWindow w;
    NoticeBar* bar = w.window.noticeBar();
    std::vector<std::string> texts = {std::string(kSavedText), std::string(kDamagedText),
                                      std::string(kSourceChangedText),
                                      std::string(kOriginalShownText), std::string(kBusyText)};
    for (int problem = 0; problem <= int(LoadProblem::Unreadable); ++problem) {
      texts.push_back(
          LoadFailureText({LoadProblem(problem), InputReader::Jpeg, PictureFormat::Png}));
    }
    for (int problem = 0; problem <= int(SaveProblem::Unwritable); ++problem) {
      texts.push_back(SaveFailureText(SaveProblem(problem)));
    }
    for (ReduceResult result : {ReduceResult::OutOfMemory, ReduceResult::JacobiNotConverged,
                                ReduceResult::InvalidArguments}) {
      texts.push_back(ReductionFailureText(result));
    }
    const QFontMetrics metrics(bar->font());
    for (const std::string& text : texts) {
      const QString line = "IMG_1234.JPG: " + TextToQt(text);
      QVERIFY2(metrics.horizontalAdvance(line) <= bar->TextRoom(), qPrintable(line));
    }
  }

  void aDamagedPictureIsShownWithAWarning() {
    TestWindow w;
    WriteWithQt(PathOf("whole.jpg"), 64, 64, QImage::Format_RGB32, "jpg");
    const QByteArray whole = ReadBytes(PathOf("whole.jpg"));
    WriteBytes(PathOf("cut.jpg"), whole.left(whole.size() / 2));
    QVERIFY(DropFiles(&w.window, {PathOf("cut.jpg")}));
    QCOMPARE(w.window.view()->picture().size(), QSize(64, 64));
    QCOMPARE(w.window.noticeBar()->kind(), NoticeKind::Warning);
    QCOMPARE(w.window.noticeBar()->text(),
             QStringLiteral("cut.jpg: 壊れています (読めた部分を表示)"));
    QVERIFY(w.window.reduceButton()->isEnabled());
    QVERIFY(DropFiles(&w.window, {PathOf("whole.jpg")}));
    QVERIFY(!w.window.noticeBar()->isVisible());
  }

  void theWindowCarriesTheProgramIcon() {
    TestWindow w;
    const QIcon icon = w.window.windowIcon();
    QVERIFY(!icon.isNull());
    // Without an icon theme (as here), the sizes built into the program.
    QVERIFY(QFile::exists(":/icons/genshoku-48.png"));
    const QImage shown =
        icon.pixmap(48, 48).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage drawn =
        QImage(":/icons/genshoku-48.png").convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QCOMPARE(shown, drawn);
  }

  void qtsOwnTextsComeInJapaneseWhenTheTranslationIsInstalled() {
    if (!InstallJapaneseQtTexts(*QCoreApplication::instance())) {
      QSKIP("Qt's Japanese translation (qt6-translations-l10n) is not installed");
    }
    const QString question = QCoreApplication::translate(
        "QFileDialog", "%1 already exists.\nDo you want to replace it?");
    QVERIFY2(question.contains(QStringLiteral("置き換え")) ||
                 question.contains(QStringLiteral("上書き")),
             qPrintable(question));
  }

  void scrollBarsFollowTheWindowArithmetic() {
    TestWindow w;
    MainWindow& window = w.window;
    // A client area of 400 x 400 under a picture 1000 pixels wide and high.
    const QSize bars(window.verticalBar()->sizeHint().width(),
                     window.horizontalBar()->sizeHint().height());
    window.resize(400 + bars.width(), 400 + bars.height());
    QTRY_COMPARE(window.view()->size(), QSize(400, 400));
    WriteBmp24(PathOf("tall.bmp"), 1000, 1000);
    QVERIFY(DropFiles(&window, {PathOf("tall.bmp")}));
    const WindowScroll& scroll = window.controller().scroll();
    QScrollBar* vertical = window.verticalBar();
    QScrollBar* horizontal = window.horizontalBar();
    QVERIFY(vertical->isEnabled());
    QCOMPARE(vertical->maximum(), 648);
    QCOMPARE(horizontal->maximum(), 600);

    // Lines of 16 and half pages, as the window's own arithmetic moves them.
    vertical->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    vertical->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(scroll.vertical.nPos, 216);
    QCOMPARE(vertical->value(), 216);
    vertical->triggerAction(QAbstractSlider::SliderToMaximum);
    QCOMPARE(scroll.vertical.nPos, 216);
    QCOMPARE(vertical->value(), 216);
    vertical->setSliderPosition(5000);
    QCOMPARE(scroll.vertical.nPos, 648);
    vertical->triggerAction(QAbstractSlider::SliderPageStepSub);
    QCOMPARE(scroll.vertical.nPos, 448);
    horizontal->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(scroll.horizontal.nPos, 16);
    // The picture's pixel (16, 400) is now at the client's top-left corner.
    QCOMPARE(QColor(ViewPixel(window, 0, 0)), PatternColour(16, 448 - 48));
    QCOMPARE(QColor(ViewPixel(window, 399, 399)), PatternColour(16 + 399, 448 - 48 + 399));

    // A taller client pulls the position back so that no more than the range shows.
    window.resize(400 + bars.width(), 900 + bars.height());
    QTRY_COMPARE(window.view()->height(), 900);
    QCOMPARE(scroll.vertical.nPos, 148);
    QCOMPARE(vertical->value(), 148);
    // The wheel over the picture moves the bar it turns: up and down the vertical one, by
    // the platform's lines per notch, within the window's range.
    const auto turnWheel = [&](QPoint angle) {
      QWheelEvent wheel(QPointF(100, 100), QPointF(100, 100), QPoint(), angle, Qt::NoButton,
                        Qt::NoModifier, Qt::NoScrollPhase, false);
      QApplication::sendEvent(window.view(), &wheel);
    };
    const int notch =
        std::min(QApplication::wheelScrollLines() * vertical->singleStep(), vertical->pageStep());
    QVERIFY(notch > 0);
    turnWheel(QPoint(0, 120));
    QCOMPARE(scroll.vertical.nPos, 148 - notch);
    QCOMPARE(vertical->value(), scroll.vertical.nPos);
    turnWheel(QPoint(0, -120));
    QCOMPARE(scroll.vertical.nPos, 148);
    turnWheel(QPoint(0, -120));
    QCOMPARE(scroll.vertical.nPos, 148);  // not past the end of the range
    QCOMPARE(vertical->value(), 148);
    // A sideways turn moves the horizontal bar alone.
    const int sideways = std::min(QApplication::wheelScrollLines() * horizontal->singleStep(),
                                  horizontal->pageStep());
    turnWheel(QPoint(-120, 0));
    QCOMPARE(scroll.horizontal.nPos, 16 + sideways);
    QCOMPARE(horizontal->value(), scroll.horizontal.nPos);
    QCOMPARE(scroll.vertical.nPos, 148);
  }

  void commandLineFilesOpenLikeADrop() {
    TestWindow w;
    WriteBmp24(PathOf("cli.bmp"), 6, 6);
    w.window.OpenFiles({PathOf("cli.bmp").toStdString(), "ignored.bmp"});
    QVERIFY(w.window.reduceButton()->isEnabled());
    QCOMPARE(w.window.view()->picture().size(), QSize(6, 6));
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
