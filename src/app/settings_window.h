// The settings window: automatic preview and its scope, the list's colours
// and font. Changes reach the running program through applyDisplaySettings;
// config.ini is written only at exit.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>

namespace Ui {
class SettingsWindow;
}

namespace qorin::app {

class MainWindow;

// Opens the window modally; returns when it closes.
void showSettingsWindow(MainWindow& owner);

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

  explicit SettingsWindow(MainWindow& owner);
  ~SettingsWindow() override;

  void showSettings();
  void collectSettings();
  void updatePreviewOptionStates();
  void showDefaults();

  const FontChoice& fontChoice() const { return font_; }

  template <class T>
  T* control(const char* name) const {
    return findChild<T*>(QString::fromUtf8(name));
  }

 private:
  void enableApply();
  void apply();
  void chooseFont();
  void confirm();

  std::unique_ptr<Ui::SettingsWindow> ui_;
  MainWindow& owner_;
  FontChoice font_;
  // Set once the count box has reported a change: the report caused by
  // filling the box on opening must not count as a change.
  bool countReported_ = false;
};

}  // namespace qorin::app
