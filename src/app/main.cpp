#include <QApplication>

#include "app/main_window.h"
#include "platform/gui/dialogs.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Qorin批量更名器"));
  qorin::platform::loadQtTranslations(app);
  QApplication::setFont(qorin::platform::programFont());
  qorin::app::MainWindow w;
  w.show();
  return QApplication::exec();
}
