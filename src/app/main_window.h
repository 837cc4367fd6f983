// The program's start window: the five rule tabs, the file list, the toolbar,
// menus and status bar. It is thin: the work is done by the core.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <array>
#include <memory>

#include "filelist/file_list.h"

class QAction;
class QLabel;
class QMenu;
class QTabWidget;
class QToolBar;
class QTreeView;

namespace Ui {
class MainWindow;
}

namespace qorin::filelist {
class FileListModel;
}

namespace qorin::rules {
class RuleTab;
}

namespace qorin::app {

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Toolbar entries, separators included.
  enum ToolbarButton { kChooseDirectory = 0, kAddFiles = 1, kUndo = 3, kPreview = 4, kRename = 5, kHelp = 7 };
  static constexpr int kMinWidth = 598;
  static constexpr int kMinHeight = 378;

  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

  filelist::FileList& fileList() { return list_; }
  const filelist::FileList& fileList() const { return list_; }
  Ui::MainWindow* ui() const { return ui_.get(); }
  QTreeView* listView() const;
  QTabWidget* tabs() const;
  // The rule tab at `index` of 选择夹 (rules::Tab), or nullptr.
  rules::RuleTab* ruleTab(int index) const;
  QToolBar* toolBar() const { return toolbar_; }
  QAction* toolbarAction(int index) const;
  void setToolbarButtonEnabled(int index, bool enabled);
  QMenu* listMenu() const { return listMenu_; }
  QLabel* statusPart(int index) const;

  // Looks a control up by its design name.
  template <class T>
  T* control(const char* name) const {
    return findChild<T*>(QString::fromUtf8(name));
  }

  void applyDisplaySettings();
  void updateStatusBar();

  // Preview and rule dispatch.
  void refreshPreview(bool forceAll);
  void applyRule(int n);

  // The first selected row, or -1.
  int currentSelection() const;

  // List commands.
  void deleteSelectedEntries();
  void selectAllRows();
  void clearList();
  void deleteUntaggedEntries();
  void showListMenu(const QPoint& globalPos);
  void openTagEditorForSelection(bool fromMenu);
  // The list's key handler; modifiers 1 means Ctrl alone.
  void listKey(int keyCode, int modifiers);

  // Adding files.
  void addFilesDialog();
  void addDirectory(const QString& dir, bool ask);
  void addDroppedItems(const QStringList& paths);

  // Toolbar click handler (index as in ToolbarButton).
  void toolbarClicked(int index);

  // Cursor that stays for the duration of a long operation.
  class WaitCursor {
   public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
  };

 signals:
  // Raised by the handlers that several controls share, with the control
  // whose event arrived; the handler's name is the control it belongs to.
  void sharedHandlerInvoked(const QString& handler, QObject* sender);

 public slots:
  void openSettings();
  void openAbout();
  void openHelp();
  void openFilter();

 protected:
  void resizeEvent(QResizeEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void createToolbar();
  void createMenus();
  void createStatusBar();
  void setupList();
  void addRuleTabs();
  // Appends the named entries (already in the code page) with their
  // directories as rows, then refreshes.
  void appendRows(int firstNew);
  void reportUnconvertible(int count);

  std::unique_ptr<Ui::MainWindow> ui_;
  std::array<rules::RuleTab*, 5> ruleTabs_{};  // owned by 选择夹
  filelist::FileList list_;
  filelist::FileListModel* model_ = nullptr;
  QToolBar* toolbar_ = nullptr;
  QList<QAction*> toolbarActions_;
  QMenu* listMenu_ = nullptr;
  QAction* menuPreview_ = nullptr;
  QAction* menuFilter_ = nullptr;
  QAction* menuDeleteSelected_ = nullptr;
  QAction* menuClear_ = nullptr;
  QAction* menuTagInfo_ = nullptr;
  QAction* menuDeleteUntagged_ = nullptr;
  QAction* menuSelectAll_ = nullptr;
  QLabel* statusCount_ = nullptr;
  QLabel* statusProgress_ = nullptr;
  QLabel* statusPreview_ = nullptr;
};

}  // namespace qorin::app
