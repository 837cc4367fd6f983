// SPDX-License-Identifier: GPL-3.0-or-later
// The settings window: automatic preview and its scope, the list's colours
// and font. Changes reach the running program through the session;
// config.ini is written only at exit.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>

namespace Ui {
class SettingsWindow;
}

namespace qorin::platform {
class Dialogs;
}
namespace qorin::session {
class Session;
}

namespace qorin::app {

// Opens the window modally over `parent`; returns when it closes.
void showSettingsWindow(session::Session& session, platform::Dialogs& dialogs, QWidget* parent);

class SettingsWindow : public QDialog {
  Q_OBJECT

 public:
  // What the font chooser holds between its openings.
  struct FontChoice {
    QString face;
    int size = 0;
    bool bold = false;
    bool italic = false;
    bool operator==(const FontChoice&) const = default;
  };

  SettingsWindow(session::Session& session, platform::Dialogs& dialogs, QWidget* parent = nullptr);
  ~SettingsWindow() override;

  void showSettings();
  void collectSettings();
  void updatePreviewOptionStates();
  void showDefaults();

  const FontChoice& fontChoice() const { return font_; }
  Ui::SettingsWindow* ui() const { return ui_.get(); }

 private:
  void enableApply();
  void apply();
  void chooseFont();
  void confirm();

  std::unique_ptr<Ui::SettingsWindow> ui_;
  session::Session& session_;
  platform::Dialogs& dialogs_;
  FontChoice font_;
  // Set once the count box has reported a change: the report caused by
  // filling the box on opening must not count as a change.
  bool countReported_ = false;
};

}  // namespace qorin::app
