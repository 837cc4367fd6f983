// SPDX-License-Identifier: GPL-3.0-or-later
// Help: the HTML Help viewer with HELP.CHM on Windows, the program's own help
// pages in a window of their own elsewhere (and where no HELP.CHM is found).
#pragma once

#include <QWidget>
#include <memory>
#include <string>
#include <string_view>

namespace Ui {
class HelpWindow;
}

class QKeyEvent;
class QTextBrowser;

namespace qorin::app {

// Starts the help over `owner` and returns at once.
void showHelp(QWidget* owner);

// `programDir` as the system names it, without a trailing separator:
// programDir + "\HELP.CHM", and the viewer command "hh " + that path.
std::string helpFilePath(std::string_view programDir);
std::string helpCommandLine(std::string_view programDir);

// A non-modal window over the help pages shipped in the program's resources.
class HelpWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr const char* kIndex = "qrc:/help/index.html";

  explicit HelpWindow(QWidget* parent = nullptr);
  ~HelpWindow() override;

  QTextBrowser* browser() const;

 protected:
  void keyPressEvent(QKeyEvent* e) override;

 private:
  std::unique_ptr<Ui::HelpWindow> ui_;
};

// The owner's help window, created on first use and raised later.
HelpWindow* openHelpWindow(QWidget* owner);

}  // namespace qorin::app
