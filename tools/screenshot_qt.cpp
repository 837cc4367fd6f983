// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the program's windows to PNG files for the README and for checking
// layouts by eye: qorin_screenshot OUTPUT_DIR
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTabWidget>
#include <QTemporaryDir>

#include "app/about_window.h"
#include "app/help_window.h"
#include "app/main_window.h"
#include "app/settings_window.h"
#include "platform/fs.h"
#include "platform/gui/dialogs.h"
#include "rules/gui/general_tab.h"
#include "session/gui/filter_window.h"
#include "session/messages.h"
#include "tags/gui/tag_editor_window.h"
#include "text/gui/qtext.h"
#include "ui_general_page.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // As the program starts: Qt's Chinese texts and the windows' face.
  qorin::platform::loadQtTranslations(app);
  QApplication::setFont(qorin::platform::programFont());
  const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
  QDir().mkpath(out);
  QTemporaryDir home;
  // A few sample files so the list shows what the program does.
  // A second argument fixes the sample folder, so that two builds' pictures
  // can be compared pixel for pixel.
  QTemporaryDir scratch;
  const QString base = argc > 2 ? QString::fromLocal8Bit(argv[2]) : scratch.path();
  const QString folder = QDir(base).filePath(QStringLiteral("旅行照片"));
  QDir().mkpath(folder);
  for (const char* name :
       {"IMG_0412.jpg", "IMG_0413.jpg", "旅行 01.jpg", "旅行 02.jpg", "说明.txt", "song.mp3"}) {
    QFile f(QDir(folder).filePath(QString::fromUtf8(name)));
    f.open(QIODevice::WriteOnly);
  }
  qorin::platform::QtDialogs dialogs;
  qorin::app::MainWindow w(qorin::session::Places::in(home.path().toStdString()), dialogs);
  w.session().settings().autoPreview = 1;
  w.applyDisplaySettings();
  w.show();
  w.list()->addDirectory(folder, false);
  const auto* general = static_cast<qorin::rules::GeneralTab*>(w.ruleTab(qorin::rules::kGeneralTab));
  general->ui()->文件名前缀编辑框->setText(QStringLiteral("照片_"));
  general->ui()->文件名位数调节编辑框->setText(QStringLiteral("3"));
  general->ui()->起始量编辑框->setText(QStringLiteral("1"));
  QApplication::processEvents();
  w.grab().save(out + QStringLiteral("/main-window.png"));
  for (int i = 1; i < w.tabs()->count(); ++i) {
    w.tabs()->setCurrentIndex(i);
    QApplication::processEvents();
    w.grab().save(out + QStringLiteral("/main-window-tab%1.png").arg(i));
  }
  w.tabs()->setCurrentIndex(0);
  // As a long pass shows while it runs: the marks growing and 停止 beside them.
  if (auto* stop = w.statusPart(1)->findChild<QAbstractButton*>(QStringLiteral("停止按钮"))) {
    w.statusPart(1)->setText(QString(12, QChar(0x25A0)));
    stop->show();
    QApplication::processEvents();
    w.grab().save(out + QStringLiteral("/main-window-running.png"));
    stop->hide();
    w.statusPart(1)->clear();
  }
  // The secondary windows, as they open.
  const auto save = [&](QWidget& window, const char* name) {
    window.show();
    QApplication::processEvents();
    window.grab().save(out + QLatin1Char('/') + QLatin1String(name));
  };
  qorin::app::SettingsWindow settingsWindow(w.session(), dialogs, &w);
  save(settingsWindow, "settings-window.png");
  qorin::app::AboutWindow about(&w);
  save(about, "about-window.png");
  qorin::session::FilterWindow filter(w.session(), dialogs, &w);
  save(filter, "filter-window.png");
  qorin::tags::TagEditorWindow editor(qorin::text::fromQtOrEmpty(folder + QStringLiteral("/song.mp3")),
                                      w.tagEditorState(), dialogs, qorin::session::writeFailureText, &w);
  save(editor, "tag-editor-window.png");
  qorin::app::HelpWindow* help = qorin::app::openHelpWindow(&w);
  help->resize(640, 480);
  save(*help, "help-window.png");
  return 0;
}
