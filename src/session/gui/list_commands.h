// SPDX-License-Identifier: GPL-3.0-or-later
// The report list 显示超级列表框 and what the user does to it: its model, its
// pop-up menu 右键菜单, its keys, adding files through the dialogs, removing
// rows. The work is the session's; this turns clicks and keys into calls.
#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTreeView>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "session/sort_key.h"

class QAction;
class QMenu;
class QWidget;

namespace qorin::platform {
class Dialogs;
}

namespace qorin::filelist {
class FileListModel;
}

namespace qorin::session {

class Session;

class ListCommands : public QObject {
  Q_OBJECT

 public:
  // Sets `view` up over the session's list; `window` owns the dialogs.
  ListCommands(QTreeView* view, Session& session, platform::Dialogs& dialogs, QWidget* window);
  ~ListCommands() override;

  // Long work (listing, reading for a sort) is handed to `run`, which
  // lets the user stop it; without one it just runs.
  using Stoppable = std::function<void(const std::function<void()>&)>;
  void setStoppable(Stoppable run) { stoppable_ = std::move(run); }

  QTreeView* view() const { return view_; }
  QMenu* menu() const { return menu_; }

  // The first selected row, or -1.
  int currentSelection() const;
  // Every selected row, in no particular order (a row may come twice).
  std::vector<int> selectedRows() const;
  void deleteSelectedEntries();
  void selectAllRows();
  void clearList();
  void deleteUntaggedEntries();
  // Enables the entries for the list, the selection and whether the MP3 tab
  // is selected, then pops the menu up.
  void showMenu(const QPoint& globalPos, bool mp3Tab);

  // A click on a column header: sort by it in natural order, a second click reverses.
  void sortByColumn(int column);
  // The 排序 sub-menu: by a file's name, times or size (ascending), or the
  // list's order reversed.
  void sortByKey(SortKey key);
  void reverseOrder();
  // Ctrl+Up / Ctrl+Down, 上移 / 下移: the selected rows one place up or down.
  void moveSelected(bool up);

  void addFilesDialog();
  // A folder chosen in the dialog when `ask`, otherwise `dir`.
  void addDirectory(const QString& dir, bool ask);
  // `systemPaths`: dropped paths whose bytes are not UTF-8, as they came.
  void addDroppedItems(const QStringList& paths, const std::vector<QByteArray>& systemPaths = {});

 signals:
  // 过滤(&L)... was chosen.
  void filterRequested();
  // The tag editor for the selected row (a double click, or the menu).
  void tagEditorRequested(bool fromMenu);
  // MP3标签转为Unicode(&U) was chosen.
  void convertTagsRequested();
  // 文件名转为UTF-8(&8) was chosen.
  void convertNamesRequested();
  // The pop-up menu wants to know whether the MP3 tab is selected.
  void menuRequested(const QPoint& globalPos);

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void createMenu();
  // Where the keyboard opens the menu, in the viewport: under the current
  // row when it is in sight, else the list's corner.
  QPoint menuPlace() const;
  // After an add: one message naming the folders that could not be read
  // (`unreadable` from the session, `unreadableHere` by Qt's names), one
  // counting the files left out.
  void reportAdd(int unconvertible, const std::vector<std::string>& unreadable, QStringList unreadableHere);

  QPointer<QTreeView> view_;  // may go before this object when the window closes
  Session& session_;
  platform::Dialogs& dialogs_;
  QWidget* window_;
  void stoppable(const std::function<void()>& work) { stoppable_ ? stoppable_(work) : work(); }

  std::unique_ptr<filelist::FileListModel> model_;
  Stoppable stoppable_;
  QMenu* menu_ = nullptr;
  QAction* preview_ = nullptr;
  QAction* filter_ = nullptr;
  QAction* deleteSelected_ = nullptr;
  QAction* clear_ = nullptr;
  QAction* tagInfo_ = nullptr;
  QAction* deleteUntagged_ = nullptr;
  QAction* selectAll_ = nullptr;
  QAction* convertTags_ = nullptr;
  QAction* convertNames_ = nullptr;
  QAction* moveUp_ = nullptr;
  QAction* moveDown_ = nullptr;
  QMenu* sortMenu_ = nullptr;
  int sortColumn_ = -1;
  bool descending_ = false;
};

}  // namespace qorin::session
