// SPDX-License-Identifier: GPL-3.0-or-later
// The modal 过滤设置 window: removes, or keeps only, the entries whose name has
// an extension or contains a text. It changes the list, never the files.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class FilterWindow;
}

namespace qorin::platform {
class Dialogs;
}

namespace qorin::session {

class Session;

class FilterWindow : public QDialog {
  Q_OBJECT

 public:
  FilterWindow(Session& session, platform::Dialogs& dialogs, QWidget* parent = nullptr);
  ~FilterWindow() override;

  Ui::FilterWindow* ui() const { return ui_.get(); }

  // 确定按钮: filters the owner's list; closes when the check box is ticked.
  void runFilter();

 private:
  void chooseMatch(bool byExtension);

  Session& session_;
  platform::Dialogs& dialogs_;
  std::unique_ptr<Ui::FilterWindow> ui_;
};

// Opens a new FilterWindow modally over `parent`.
void showFilterWindow(Session& session, platform::Dialogs& dialogs, QWidget* parent);

}  // namespace qorin::session
