// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/help_window.h"

#include <QProcess>
#include <QTextBrowser>
#include <QUrl>

#include "platform/fs.h"
#include "text/gui/qtext.h"
#include "ui_help_window.h"

// The resources live in a static library: register them before first use.
static void initHelpResources() {
  static const bool done = [] {
    Q_INIT_RESOURCE(qorin);
    return true;
  }();
  (void)done;
}

namespace qorin::app {

std::string helpFilePath(std::string_view programDir) {
  std::string path(programDir);
  path += "\\HELP.CHM";
  return path;
}

std::string helpCommandLine(std::string_view programDir) { return "hh " + helpFilePath(programDir); }

HelpWindow::HelpWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), ui_(std::make_unique<Ui::HelpWindow>()) {
  initHelpResources();
  ui_->setupUi(this);
  setAttribute(Qt::WA_DeleteOnClose);
  ui_->帮助浏览框->setSource(QUrl(QString::fromLatin1(kIndex)));
}

HelpWindow::~HelpWindow() = default;

QTextBrowser* HelpWindow::browser() const { return ui_->帮助浏览框; }

HelpWindow* openHelpWindow(QWidget* owner) {
  auto* w = owner ? owner->findChild<HelpWindow*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
  if (!w) w = new HelpWindow(owner);
  w->show();
  w->raise();
  w->activateWindow();
  return w;
}

void showHelp(QWidget* owner) {
#ifdef _WIN32
  // The platform layer's directories end in the separator; the command
  // takes the directory as the system names it.
  std::string dir = platform::programDirectory();
  if (!dir.empty() && dir.back() == platform::kSeparator) dir.pop_back();
  const std::string chm = helpFilePath(dir);
  // The path goes as one argument, so a folder with spaces stays whole.
  if (platform::isFile(chm) && QProcess::startDetached(QStringLiteral("hh"), {text::toQt(chm)})) return;
#endif
  openHelpWindow(owner);
}

}  // namespace qorin::app
