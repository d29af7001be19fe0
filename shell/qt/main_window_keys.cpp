// The window's keys. Each is a shortcut of the window, so it works whichever button has the
// focus (the buttons would otherwise take the arrows to move the focus) and not while a
// dialog is open. Enter and the key that shows the original while held are handled in
// keyPressEvent, since they depend on the focus and on the key being let go.

#include <QAction>
#include <QEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPushButton>
#include <functional>
#include <utility>

#include "shell/qt/main_window.h"

namespace genshoku {

namespace {

void AddKey(QWidget* window, const QKeySequence& key, const std::function<void()>& command) {
  auto* action = new QAction(window);
  action->setShortcut(key);
  action->setShortcutContext(Qt::WindowShortcut);
  QObject::connect(action, &QAction::triggered, window, command);
  window->addAction(action);
}

}  // namespace

void MainWindow::InstallKeys() {
  AddKey(this, QKeySequence(Qt::CTRL | Qt::Key_O), [this] { OpenPressed(); });
  // The buttons' own clicks: nothing happens while a button is disabled.
  AddKey(this, QKeySequence(Qt::CTRL | Qt::Key_R), [this] { reduceButton_->click(); });
  AddKey(this, QKeySequence(Qt::CTRL | Qt::Key_S), [this] { saveButton_->click(); });
  // The same way out as the window's close button: a running reduction is stopped first.
  AddKey(this, QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { close(); });
  AddKey(this, QKeySequence(Qt::CTRL | Qt::Key_W), [this] { close(); });
  AddKey(this, QKeySequence(Qt::Key_F), [this] { ToggleFitToWindow(); });

  const std::pair<Qt::Key, ScrollKey> scrollKeys[] = {
      {Qt::Key_Up, ScrollKey::Up},         {Qt::Key_Down, ScrollKey::Down},
      {Qt::Key_Left, ScrollKey::Left},     {Qt::Key_Right, ScrollKey::Right},
      {Qt::Key_PageUp, ScrollKey::PageUp}, {Qt::Key_PageDown, ScrollKey::PageDown},
      {Qt::Key_Home, ScrollKey::Home},     {Qt::Key_End, ScrollKey::End},
  };
  for (const auto& [key, scroll] : scrollKeys) {
    AddKey(this, QKeySequence(key), [this, scroll = scroll] { ScrollKeyPressed(scroll); });
  }
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  // Enter presses the focused button (the buttons themselves take only the space bar).
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  QWidget* focused = focusWidget();
  if (enter && (focused == reduceButton_ || focused == saveButton_)) {
    static_cast<QPushButton*>(focused)->click();
    return;
  }
  if (event->key() == kOriginalKey && event->modifiers() == Qt::NoModifier) {
    if (!event->isAutoRepeat()) HoldOriginal(true);
    return;
  }
  QWidget::keyPressEvent(event);
}

void MainWindow::keyReleaseEvent(QKeyEvent* event) {
  if (event->key() == kOriginalKey) {
    if (!event->isAutoRepeat()) HoldOriginal(false);
    return;
  }
  QWidget::keyReleaseEvent(event);
}

void MainWindow::changeEvent(QEvent* event) {
  // A key let go in another window never comes here: leaving the window lets go of it.
  if (event->type() == QEvent::ActivationChange && !isActiveWindow()) HoldOriginal(false);
  QWidget::changeEvent(event);
}

void MainWindow::ScrollKeyPressed(ScrollKey key) {
  controller_.ScrollByKey(key);
  ShowState();
}

void MainWindow::ToggleFitToWindow() {
  controller_.ToggleFitToWindow();
  ShowState();
}

void MainWindow::HoldOriginal(bool held) {
  // Passed on even when nothing changes on screen: a key held before a result exists must
  // still be let go of.
  controller_.HoldOriginal(held);
  ShowState();
}

}  // namespace genshoku
