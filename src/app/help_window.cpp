// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/help_window.h"

#include <QKeyEvent>
#include <QProcess>
#include <QTextBrowser>
#include <QUrl>

#include "platform/fs.h"
#include "platform/gui/colours.h"
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

namespace {

// The pages' headings, table heads, notes and links in the program's greens and a
// quieter grey, shaded to read on the palette's page.
QString pageColours(const QPalette& p) {
  const QColor page = p.color(QPalette::Base), text = p.color(QPalette::Text);
  const QColor heading = platform::readableOn(QColor(0x2E, 0x5E, 0x3E), page);
  QColor head = page;
  for (double t = 0.6; t > 0; t -= 0.05)
    if (head = platform::mix(page, QColor(0x80, 0xA0, 0x80), t); platform::contrastRatio(head, text) >= 4.5)
      break;
  const QColor note = platform::readableOn(platform::mix(text, page, 0.35), page);
  const QColor link = platform::readableOn(p.color(QPalette::Link), page);
  return QStringLiteral(
             "h1, h2 { color: %1; } th { background: %2; color: %3; } .note { color: %4; } a { color: %5; }")
      .arg(heading.name(), head.name(), text.name(), note.name(), link.name());
}

}  // namespace

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
  platform::followPalette(this, [this] {
    ui_->帮助浏览框->document()->setDefaultStyleSheet(pageColours(palette()));
    if (ui_->帮助浏览框->source().isEmpty())
      ui_->帮助浏览框->setSource(QUrl(QString::fromLatin1(kIndex)));
    else
      ui_->帮助浏览框->reload();
  });
}

HelpWindow::~HelpWindow() = default;

QTextBrowser* HelpWindow::browser() const { return ui_->帮助浏览框; }

void HelpWindow::keyPressEvent(QKeyEvent* e) {
  // Esc closes it as it closes a dialog; the browser passes the key on.
  if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(e);
}

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
