#include "shell/qt/save_dialog.h"

#include <QFileDialog>
#include <QStringList>

#include "shell/qt/qt_text.h"
#include "shell/window_texts.h"

namespace genshoku {

void ConfigureSaveDialog(QFileDialog& dialog, const SaveDialogRequest& request) {
  dialog.setWindowTitle(TextToQt(kSaveDialogTitle));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // Replacing an existing file needs the user's yes.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  // Each filter's text already names its pattern, as the dialog's filter syntax wants.
  QStringList filters;
  for (const SaveFilter& filter : kSaveFilters) filters << TextToQt(filter.description);
  dialog.setNameFilters(filters);
  dialog.selectNameFilter(filters.front());
  dialog.setDefaultSuffix(TextToQt(kSaveDefaultExtension));
  if (!request.startFolder.empty()) dialog.setDirectory(PathToQt(request.startFolder));
  dialog.selectFile(PathToQt(request.defaultName));
}

std::optional<std::string> FileSaveDialog::AskSaveName(QWidget* owner,
                                                       const SaveDialogRequest& request) {
  QFileDialog dialog(owner);
  ConfigureSaveDialog(dialog, request);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.front().isEmpty()) return std::nullopt;
  return PathFromQt(chosen.front());
}

}  // namespace genshoku
