// SPDX-License-Identifier: GPL-3.0-or-later
// The rule tabs' fields kept across runs, and the 方案 menu: the current
// tab's fields saved under a name, put back, deleted.
#pragma once

#include <QObject>

class QMenu;
class QTabWidget;
class QWidget;

namespace qorin::platform {
class Dialogs;
}
namespace qorin::session {
class Session;
}

namespace qorin::app {

// The fields of every tab of `tabs` and the selected tab, from and to the session.
void restoreRuleFields(QTabWidget* tabs, const session::Session& session);
void rememberRuleFields(const QTabWidget* tabs, session::Session& session);

class PresetMenu : public QObject {
  Q_OBJECT

 public:
  // Fills `menu` each time it opens.
  PresetMenu(QMenu* menu, QTabWidget* tabs, session::Session& session, platform::Dialogs& dialogs,
             QWidget* window);

  // Says, once at start, that the presets' file was damaged and where it went.
  void reportDamage();
  void saveCurrent();
  void apply(int index);
  void deleteOne();

 private:
  void fill();

  QMenu* menu_;
  QTabWidget* tabs_;
  session::Session& session_;
  platform::Dialogs& dialogs_;
  QWidget* window_;
};

}  // namespace qorin::app
