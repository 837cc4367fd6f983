// SPDX-License-Identifier: GPL-3.0-or-later
// The program's start window: the rule tabs, the file list, the toolbar,
// menus and status bar. It is thin: the session does the work, the window
// turns clicks into session calls and mirrors the session's state.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>

#include "platform/gui/dialogs.h"
#include "session/gui/list_commands.h"
#include "session/gui/run_guard.h"
#include "session/session.h"
#include "tags/tag_editor_state.h"

class QAction;
class QLabel;
class QMenu;
class QTabWidget;
class QToolBar;
class QTreeView;

namespace Ui {
class MainWindow;
}

namespace qorin::rules {
class RuleTab;
}

namespace qorin::app {

class PresetMenu;

class MainWindow : public QMainWindow, private session::Observer {
  Q_OBJECT

 public:
  // Toolbar entries, separators included.
  enum ToolbarButton { kChooseDirectory = 0, kAddFiles = 1, kUndo = 3, kPreview = 4, kRename = 5, kHelp = 7 };
  // Sizes of the design are outer sizes, measured with a frame and caption
  // of 8 × 27 pixels and a 19-pixel menu bar; Qt sizes the inside.
  static constexpr int kMinWidth = 598;
  static constexpr int kMinHeight = 378;
  static constexpr int kFrameWidth = 8;
  static constexpr int kFrameHeight = 27;
  static constexpr int kDesignMenuBarHeight = 19;

  // The program as the user starts it: files in their standard places, the
  // real dialogs.
  explicit MainWindow(QWidget* parent = nullptr);
  // Files kept in `places`, questions answered by `dialogs` (not owned).
  MainWindow(session::Places places, platform::Dialogs& dialogs, QWidget* parent = nullptr);
  ~MainWindow() override;

  session::Session& session() { return session_; }
  filelist::FileList& fileList() { return session_.list(); }
  const filelist::FileList& fileList() const { return session_.list(); }
  platform::Dialogs& dialogs() const { return *dialogs_; }
  tags::TagEditorState& tagEditorState() { return tagEditorState_; }

  Ui::MainWindow* ui() const { return ui_.get(); }
  QTreeView* listView() const;
  QTabWidget* tabs() const;
  // The rule tab at `index` of 选择夹 (rules::kRuleIndex), or nullptr.
  rules::RuleTab* ruleTab(int index) const;
  QToolBar* toolBar() const { return toolbar_; }
  QAction* toolbarAction(int index) const;
  session::ListCommands* list() const { return list_; }
  QMenu* listMenu() const;
  QLabel* statusPart(int index) const;

  // The window's size as the design counts it, and the resize to one.
  QSize outerSize() const;
  void resizeOuter(const QSize& outer);

  // The 选项 menu's checkable entries: 包含子目录, 包含隐藏文件, 替换非法字符,
  // 音轨号补零, in menu order.
  QAction* optionAction(int index) const;

  // The list's colours and font, the status bar, and the preview after the
  // session's settings changed.
  void applyDisplaySettings();

  // The options of the selected tab changed: the session takes them and the
  // preview follows.
  void refreshPreview();

  // The tag editor for the selected row; without one, a double click
  // opens the open-file dialog instead.
  void openTagEditorForSelection(bool fromMenu);

  // Toolbar click handler (index as in ToolbarButton).
  void toolbarClicked(int index);

  // How long an add, a preview or a sort may run before the window is
  // painted and asked for a stop (tests: at once).
  void setPumpInterval(qint64 ms) { pumpMs_ = ms; }

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
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void sessionChanged(unsigned changes) override;
  void showDisplaySettings();
  // 预览 and 开始命名 say why they are off, and 规则提示 shows it.
  void showRuleState();
  // Runs a command that reports its progress in 进度, shown meanwhile.
  void withProgress(const std::function<void(QLabel*)>& run);
  // Listing, reading or planning that Esc and 停止 can stop.
  void stoppable(const std::function<void()>& work);
  void createToolbar();
  void createMenus();
  void createStatusBar();
  void setupList();
  void addRuleTabs();
  // The 选项 menu's entries and the rule tabs follow the session's settings.
  void showRenamingOptions();
  // Each page's controls at their design places inside 选择夹.
  void placeRuleControls();

  std::unique_ptr<platform::Dialogs> ownDialogs_;
  platform::Dialogs* dialogs_;
  session::Session session_;
  tags::TagEditorState tagEditorState_;
  std::unique_ptr<Ui::MainWindow> ui_;
  session::ListCommands* list_ = nullptr;
  std::array<rules::RuleTab*, rules::kRuleCount> ruleTabs_{};  // owned by 选择夹
  QToolBar* toolbar_ = nullptr;
  QList<QAction*> toolbarActions_;
  std::array<QAction*, 4> optionActions_{};
  PresetMenu* presets_ = nullptr;
  QLabel* statusCount_ = nullptr;
  QLabel* statusProgress_ = nullptr;
  QLabel* statusPreview_ = nullptr;
  QLabel* statusRule_ = nullptr;  // why the rule cannot run, while it cannot
  bool busy_ = false;             // a command shows its progress
  qint64 pumpMs_ = session::RunGuard::kPumpMs;
};

}  // namespace qorin::app
