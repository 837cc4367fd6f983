#include <QApplication>
#include <cstdio>

#include "app/command_line.h"
#include "app/main_window.h"
#include "platform/gui/dialogs.h"
#include "text/gui/qtext.h"

int main(int argc, char** argv) {
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
