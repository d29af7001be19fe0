// Pressing save: the offered name, the dialog's settings, the writer the chosen name's
// extension selects, and the save button around it. The dialog is answered by the test.

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "shell/qt/file_dialogs.h"
#include "shell/qt/main_window.h"
#include "shell/qt/notice_bar.h"
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
    // Qt's own dialog, with Japanese labels.
    QVERIFY(dialog.testOption(QFileDialog::DontUseNativeDialog));
    QCOMPARE(dialog.labelText(QFileDialog::Accept), QStringLiteral("保存"));
    QCOMPARE(dialog.labelText(QFileDialog::Reject), QStringLiteral("キャンセル"));
    QCOMPARE(dialog.labelText(QFileDialog::FileName), QStringLiteral("ファイル名:"));
    QCOMPARE(dialog.labelText(QFileDialog::FileType), QStringLiteral("ファイルの種類:"));
    QCOMPARE(dialog.labelText(QFileDialog::LookIn), QStringLiteral("場所:"));
  }

  void aNameWithoutExtensionTakesTheChosenFiltersExtension() {
    QFileDialog dialog;
    ConfigureSaveDialog(dialog, {"photovk", folder_.path().toStdString() + "/"});
    auto* types = dialog.findChild<QComboBox*>("fileTypeCombo");
    QVERIFY(types != nullptr);
    const QStringList expected = {"photovk.bmp", "photovk.png", "photovk.gif", "photovk.bmp"};
    for (int index : {1, 2, 3, 0}) {
      // As a user picks a type from the list.
      types->setCurrentIndex(index);
      emit types->activated(index);
      emit types->textActivated(types->itemText(index));
      QCOMPARE(dialog.selectedFiles().value(0).section('/', -1), expected[index]);
    }
    // A typed extension is kept, whichever type is chosen.
    auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
    QVERIFY(name != nullptr);
    types->setCurrentIndex(2);
    emit types->textActivated(types->itemText(2));
    name->setText("mine.txt");
    QCOMPARE(dialog.selectedFiles().value(0).section('/', -1), QStringLiteral("mine.txt"));
  }

  void theOpenDialogOffersEveryKindTheWindowReads() {
    QFileDialog dialog;
    ConfigureOpenDialog(dialog, {folder_.path().toStdString() + "/"});
    QCOMPARE(dialog.windowTitle(), QStringLiteral("画像を開く"));
    QCOMPARE(dialog.acceptMode(), QFileDialog::AcceptOpen);
    QCOMPARE(dialog.fileMode(), QFileDialog::ExistingFile);
    QVERIFY(dialog.testOption(QFileDialog::DontUseNativeDialog));
    QCOMPARE(dialog.labelText(QFileDialog::Accept), QStringLiteral("開く"));
    QCOMPARE(dialog.nameFilters().size(), 6);
    QCOMPARE(dialog.selectedNameFilter(), dialog.nameFilters().front());
    QCOMPARE(dialog.nameFilters().front(),
             QStringLiteral("画像ファイル (*.jpg *.jpeg *.png *.gif *.bmp)"));
    QCOMPARE(QDir(dialog.directory()).canonicalPath(), QDir(folder_.path()).canonicalPath());
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
    QCOMPARE(window.noticeBar()->kind(), NoticeKind::Error);
    QCOMPARE(window.noticeBar()->text(),
             QStringLiteral("out.bmp: 保存できません。フォルダーがありません"));
    // A place that takes no files at all.
    w.answers.answers.push_back("/proc/x.png");
    QTest::mouseClick(window.saveButton(), Qt::LeftButton);
    QVERIFY(window.saveButton()->isEnabled());
    QVERIFY(window.noticeBar()->text().startsWith("x.png: 保存できません。"));
    // Another name works.
    w.answers.answers.push_back(PathOf("fine.bmp").toStdString());
    QTest::mouseClick(window.saveButton(), Qt::LeftButton);
    QVERIFY(!window.saveButton()->isEnabled());
    QCOMPARE(window.noticeBar()->text(), QStringLiteral("fine.bmp: 保存しました"));
    QVERIFY(ReadBytes(PathOf("fine.bmp")).startsWith("BM"));
  }
};

QTEST_MAIN(SaveFlowTest)
#include "save_flow_test.moc"
