// SPDX-License-Identifier: GPL-3.0-or-later
// The about window: the program's name and version under a banner. Closed by
// a left click on the window itself or by its close box; it has no button.
#pragma once

#include <QDialog>
#include <QFont>
#include <memory>

namespace Ui {
class AboutWindow;
}

namespace qorin::app {

// Opens the window modally over `parent`; returns when it closes.
void showAboutWindow(QWidget* parent);

// 宋体 bold, 20 pixels high, with CJK faces to fall back on where 宋体 is missing.
QFont aboutTitleFont();

class AboutWindow : public QDialog {
  Q_OBJECT

 public:
  explicit AboutWindow(QWidget* parent = nullptr);
  ~AboutWindow() override;

  Ui::AboutWindow* ui() const { return ui_.get(); }

 protected:
  void mousePressEvent(QMouseEvent* e) override;

 private:
  std::unique_ptr<Ui::AboutWindow> ui_;
};

}  // namespace qorin::app
