// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/command_line.h"

#include <QDir>
#include <QUrl>

#include "app/main_window.h"
#include "platform/gui/dialogs.h"

namespace qorin::app {

void openCommandLine(MainWindow& window, const QStringList& arguments) {
  QStringList paths, unknown;
  for (const QString& a : arguments) {
    if (a.startsWith(QLatin1Char('-'))) {
      unknown << a;
    } else if (a.startsWith(QLatin1String("file:"))) {
      if (const QUrl url(a); url.isLocalFile()) paths << QDir::cleanPath(url.toLocalFile());
    } else if (!a.isEmpty()) {
      paths << QDir::cleanPath(QDir::current().absoluteFilePath(a));
    }
  }
  if (!paths.isEmpty()) window.list()->addDroppedItems(paths);
  if (!unknown.isEmpty())
    window.dialogs().message(&window, platform::programTitle(),
                             QStringLiteral("无法识别的参数：%1\n本程序只接受文件和文件夹的路径。")
                                 .arg(unknown.join(QLatin1Char(' '))),
                             platform::Dialogs::Icon::Exclamation);
}

}  // namespace qorin::app
