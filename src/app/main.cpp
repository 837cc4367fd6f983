// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <cstdio>
#include <string_view>

#include "app/command_line.h"
#include "app/main_window.h"
#include "platform/gui/dialogs.h"
#include "text/gui/qtext.h"

namespace {

// --help and --version print and end before any window is made, so that
// they work without a display.
bool answeredAlone(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--version") {
      std::printf("qorin %s\n", QORIN_VERSION);
      return true;
    }
    if (a == "--help" || a == "-h") {
      const QString help = QStringLiteral(
          "用法：qorin [文件或文件夹…]\n"
          "打开 Qorin批量更名器 的窗口，把给出的文件和文件夹（其中的文件）加入列表。\n"
          "不开窗口、在终端里更名：qorin-cli --help\n");
      std::fputs(help.toLocal8Bit().constData(), stdout);
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (answeredAlone(argc, argv)) return 0;
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Qorin批量更名器"));
  qorin::platform::loadQtTranslations(app);
  QApplication::setFont(qorin::platform::programFont());
  qorin::app::MainWindow w;
  w.show();
  qorin::app::openCommandLine(w, QApplication::arguments().mid(1));
  // QORIN_SELFCHECK=1 in the environment (the package test sets it): print
  // the listed files, one full path a line, and end as a closed window does.
  if (qEnvironmentVariableIntValue("QORIN_SELFCHECK") == 1) {
    for (int r = 0; r < w.fileList().fileCount(); ++r) {
      std::puts(qorin::text::toQt(w.fileList()[r].oldPath()).toUtf8().constData());
    }
    w.close();
    return 0;
  }
  return QApplication::exec();
}
