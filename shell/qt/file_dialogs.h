#pragma once
// Asking the user for a file to open and a name to save under. The window talks to an
// interface so that tests can answer in place of a person.

#include <optional>
#include <string>

#include "shell/window_controller.h"

class QFileDialog;
class QWidget;

namespace genshoku {

class FileDialogs {
 public:
  virtual ~FileDialogs() = default;
  // The chosen path, or nothing when the user cancelled or the dialog failed.
  virtual std::optional<std::string> AskOpenName(QWidget* owner,
                                                 const OpenDialogRequest& request) = 0;
  virtual std::optional<std::string> AskSaveName(QWidget* owner,
                                                 const SaveDialogRequest& request) = 0;
};

// Qt's own file dialog (the same on every desktop, with Japanese labels).
class QtFileDialogs final : public FileDialogs {
 public:
  std::optional<std::string> AskOpenName(QWidget* owner, const OpenDialogRequest& request) override;
  std::optional<std::string> AskSaveName(QWidget* owner, const SaveDialogRequest& request) override;
};

// The open dialog: its title, the filters of the kinds the window reads (all pictures
// first), an existing file to choose.
void ConfigureOpenDialog(QFileDialog& dialog, const OpenDialogRequest& request);

// The save dialog: its title, the four filters with the first selected, a question before a
// file is replaced, and the chosen filter's extension added to a name typed without one.
void ConfigureSaveDialog(QFileDialog& dialog, const SaveDialogRequest& request);

}  // namespace genshoku
