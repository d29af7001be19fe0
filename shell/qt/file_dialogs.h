#pragma once
// Asking the user for a save name. The window talks to an interface so that tests can
// answer in place of a person.

#include <optional>
#include <string>

#include "shell/window_controller.h"

class QFileDialog;
class QWidget;

namespace genshoku {

class SaveDialog {
 public:
  virtual ~SaveDialog() = default;
  // The chosen path, or nothing when the user cancelled or the dialog failed.
  virtual std::optional<std::string> AskSaveName(QWidget* owner,
                                                 const SaveDialogRequest& request) = 0;
};

// The save dialog of the window: its title, the four filters with the first selected,
// "bmp" added to names without an extension, and a question before a file is replaced.
class FileSaveDialog final : public SaveDialog {
 public:
  std::optional<std::string> AskSaveName(QWidget* owner, const SaveDialogRequest& request) override;
};

void ConfigureSaveDialog(QFileDialog& dialog, const SaveDialogRequest& request);

}  // namespace genshoku
