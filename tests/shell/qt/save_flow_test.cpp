// Pressing save: the offered name, the dialog's settings, the writer the chosen name's
// extension selects, and the save button around it. The dialog is answered by the test.

#include <QDir>
#include <QFileDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "shell/qt/main_window.h"
#include "shell/qt/save_dialog.h"
#include "window_test_support.h"

using namespace genshoku;
using namespace genshoku::testing;

class SaveFlowTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir folder_;
  QString PathOf(const QString& name) const { return folder_.filePath(name); }

  // Drops `name`, reduces it and waits for the result.
  void DropAndReduce(MainWindow& window, const QString& name) {
    WriteBmp24(PathOf(name), 12, 5);
    QVERIFY(DropFiles(&window, {PathOf(name)}));
    QSignalSpy finished(&window, &MainWindow::reductionFinished);
    QTest::mouseClick(window.reduceButton(), Qt::LeftButton);
    QVERIFY(finished.wait(120000));
    QVERIFY(window.saveButton()->isEnabled());
  }

 private slots:
  void initTestCase() { QVERIFY(folder_.isValid()); }

  void theDialogIsSetUpAsDesigned() {
    QFileDialog dialog;
    ConfigureSaveDialog(dialog, {"photovk", folder_.path().toStdString() + "/"});
    QCOMPARE(dialog.windowTitle(), QStringLiteral("名前を付けて保存"));
    QCOMPARE(dialog.acceptMode(), QFileDialog::AcceptSave);
    QCOMPARE(dialog.nameFilters(), QStringList({"bmp file(*.bmp)", "png file(*.png)",
                                                "gif file(*.gif)", "all file(*.*)"}));
    QCOMPARE(dialog.selectedNameFilter(), QStringLiteral("bmp file(*.bmp)"));
    QCOMPARE(dialog.defaultSuffix(), QStringLiteral("bmp"));
    QVERIFY(!dialog.testOption(QFileDialog::DontConfirmOverwrite));
    QCOMPARE(QDir(dialog.directory()).canonicalPath(), QDir(folder_.path()).canonicalPath());
    // The offered name has no extension, so accepting it would save "photovk.bmp".
    QCOMPARE(dialog.selectedFiles().value(0).section('/', -1), QStringLiteral("photovk.bmp"));
  }

  void theChosenNameDecidesTheFormat() {
    TestWindow w;
    MainWindow& window = w.window;
    DropAndReduce(window, "photo.png.bmp");
    w.answers.answers.push_back(PathOf("out.png").toStdString());
    QTest::mouseClick(window.saveButton(), Qt::LeftButton);
    QCOMPARE(int(w.answers.requests.size()), 1);
    QCOMPARE(QString::fromStdString(w.answers.requests[0].defaultName),
             QStringLiteral("photo.pngvk"));
    QCOMPARE(QString::fromStdString(w.answers.requests[0].startFolder), folder_.path() + "/");
    QVERIFY(ReadBytes(PathOf("out.png")).startsWith("\x89PNG\r\n\x1a\n"));
    QVERIFY2(!window.saveButton()->isEnabled(), "saving again needs a new reduction");
    // A second press asks nothing and writes nothing.
    QTest::mouseClick(window.saveButton(), Qt::LeftButton);
    QCOMPARE(int(w.answers.requests.size()), 1);
  }

  void aCancelledDialogOffersTheNameAgainWithAnotherSuffix() {
    TestWindow w;
    MainWindow& window = w.window;
    DropAndReduce(window, "photo.bmp");
    w.answers.answers.push_back(std::nullopt);
    QTest::mouseClick(window.saveButton(), Qt::LeftButton);
    QVERIFY(window.saveButton()->isEnabled());
    w.answers.answers.push_back(std::nullopt);
    QTest::mouseClick(window.saveButton(), Qt::LeftButton);
    QCOMPARE(int(w.answers.requests.size()), 2);
    QCOMPARE(QString::fromStdString(w.answers.requests[0].defaultName), QStringLiteral("photovk"));
    QCOMPARE(QString::fromStdString(w.answers.requests[1].defaultName),
             QStringLiteral("photovkvk"));
    QVERIFY(window.saveButton()->isEnabled());
    QVERIFY(QDir(folder_.path()).entryList({"photovk*"}).isEmpty());
  }

  void aSaveThatFailsLeavesTheButtonEnabled() {
    TestWindow w;
    MainWindow& window = w.window;
    DropAndReduce(window, "photo.bmp");
    w.answers.answers.push_back(PathOf("missing/folder/out.bmp").toStdString());
    QTest::mouseClick(window.saveButton(), Qt::LeftButton);
    QVERIFY(window.saveButton()->isEnabled());
    QVERIFY(!w.diagnostics.Text(DiagnosticStream::Err).empty());
  }
};

QTEST_MAIN(SaveFlowTest)
#include "save_flow_test.moc"
