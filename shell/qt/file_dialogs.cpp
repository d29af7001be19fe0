#include "shell/qt/file_dialogs.h"

#include <QFileDialog>
#include <QStringList>

#include "shell/qt/qt_text.h"
#include "shell/window_texts.h"

namespace genshoku {

namespace {

template <size_t N>
QStringList FilterTexts(const std::array<FileFilter, N>& filters) {
  QStringList texts;
  for (const FileFilter& filter : filters) texts << TextToQt(filter.description);
  return texts;
}

// Qt's own dialog rather than the desktop's: it behaves the same everywhere (the default
// extension follows the chosen filter) and shows the labels below.
void ConfigureCommon(QFileDialog& dialog, const std::string& startFolder) {
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setLabelText(QFileDialog::LookIn, TextToQt(kDialogLookIn));
  dialog.setLabelText(QFileDialog::FileName, TextToQt(kDialogFileName));
  dialog.setLabelText(QFileDialog::FileType, TextToQt(kDialogFileType));
  dialog.setLabelText(QFileDialog::Reject, TextToQt(kDialogCancel));
  if (!startFolder.empty()) dialog.setDirectory(PathToQt(startFolder));
}

std::optional<std::string> Run(QFileDialog& dialog) {
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.front().isEmpty()) return std::nullopt;
  return PathFromQt(chosen.front());
}

}  // namespace

void ConfigureOpenDialog(QFileDialog& dialog, const OpenDialogRequest& request) {
  dialog.setWindowTitle(TextToQt(kOpenDialogTitle));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  ConfigureCommon(dialog, request.startFolder);
  dialog.setLabelText(QFileDialog::Accept, TextToQt(kDialogOpen));
  const QStringList filters = FilterTexts(kOpenFilters);
  dialog.setNameFilters(filters);
  dialog.selectNameFilter(filters.front());
}

void ConfigureSaveDialog(QFileDialog& dialog, const SaveDialogRequest& request) {
  dialog.setWindowTitle(TextToQt(kSaveDialogTitle));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  ConfigureCommon(dialog, request.startFolder);
  dialog.setLabelText(QFileDialog::Accept, TextToQt(kDialogSave));
  // Replacing an existing file needs the user's yes.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  // Each filter's text already names its pattern, as the dialog's filter syntax wants.
  const QStringList filters = FilterTexts(kSaveFilters);
  dialog.setNameFilters(filters);
  dialog.selectNameFilter(filters.front());
  dialog.setDefaultSuffix(TextToQt(kSaveFilters.front().defaultExtension));
  // A name typed without an extension takes the chosen filter's; the dialog adds it before
  // it asks about replacing a file, so the question is about the file really written.
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                   [&dialog, filters](const QString& filter) {
                     const qsizetype index = filters.indexOf(filter);
                     const std::string_view extension =
                         index < 0 ? kSaveDefaultExtension : kSaveFilters[index].defaultExtension;
                     dialog.setDefaultSuffix(TextToQt(extension));
                   });
  dialog.selectFile(PathToQt(request.defaultName));
}

std::optional<std::string> QtFileDialogs::AskOpenName(QWidget* owner,
                                                      const OpenDialogRequest& request) {
  QFileDialog dialog(owner);
  ConfigureOpenDialog(dialog, request);
  return Run(dialog);
}

std::optional<std::string> QtFileDialogs::AskSaveName(QWidget* owner,
                                                      const SaveDialogRequest& request) {
  QFileDialog dialog(owner);
  ConfigureSaveDialog(dialog, request);
  return Run(dialog);
}

}  // namespace genshoku
