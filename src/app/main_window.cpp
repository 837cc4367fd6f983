// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QRadioButton>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <algorithm>
#include <array>

#include "app/about_window.h"
#include "app/colour_picker.h"
#include "app/help_window.h"
#include "app/rule_presets.h"
#include "app/settings_window.h"
#include "platform/fs.h"
#include "platform/gui/colours.h"
#include "platform/gui/icons.h"
#include "platform/gui/wait_cursor.h"
#include "rules/gui/rule_tab.h"
#include "session/gui/filter_window.h"
#include "session/gui/list_commands.h"
#include "session/gui/rename_commands.h"
#include "session/messages.h"
#include "session/start_up.h"
#include "tags/formats.h"
#include "tags/gui/tag_editor_window.h"
#include "text/gui/qtext.h"
#include "text/names.h"
#include "ui_main_window.h"

namespace qorin::app {

namespace {

// What the design's outer size holds beyond Qt's window: the frame and
// caption, less the difference between Qt's menu bar and the design's.
QSize frameOf(const QMenuBar* bar) {
  return {MainWindow::kFrameWidth,
          MainWindow::kFrameHeight + MainWindow::kDesignMenuBarHeight - bar->sizeHint().height()};
}

}  // namespace

MainWindow::MainWindow(QWidget* parent)
    : MainWindow(session::Places::standard(), *new platform::QtDialogs, parent) {
  ownDialogs_.reset(dialogs_);
}

MainWindow::MainWindow(session::Places places, platform::Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent),
      dialogs_(&dialogs),
      session_(std::move(places)),
      ui_(std::make_unique<Ui::MainWindow>()) {
  ui_->setupUi(this);
  addRuleTabs();
  // The layout is measured for a 9-point CJK face with Windows-style group
  // boxes whose caption sits on the frame, and tabs 20 pixels high: the
  // pages' first controls stand just below them.
  setFont(platform::programFont());
  centralWidget()->setStyleSheet(
      QStringLiteral("QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 6px; }"
                     "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: "
                     "6px; padding: 0 2px; }"
                     "QTabBar::tab { height: 20px; }"));
  setWindowIcon(icons::application());
  createToolbar();
  createMenus();
  createStatusBar();
  setupList();
  setMinimumSize(QSize(kMinWidth, kMinHeight) - (outerSize() - size()));
  resizeOuter({kMinWidth, kMinHeight});

  // Start-up, in order.
  session_.setObserver(this);
  session::startSession(session_, [this](const std::string& words) {
    dialogs_->message(this, platform::programTitle(), text::toQt(words),
                      platform::Dialogs::Icon::Exclamation);
  });
  showRenamingOptions();
  restoreRuleFields(tabs(), session_);
  sessionChanged(session::kCommandsChanged | session::kCountChanged);
  setAcceptDrops(true);
  qApp->installEventFilter(this);  // drops anywhere on the window reach the drop handler
  connect(ui_->选择夹, &QTabWidget::currentChanged, this, [this] { refreshPreview(); });
  refreshPreview();  // the session starts with the selected tab's rule
  presets_->reportDamage();
  // What a crash may have left: tag backups go back first, then the last pass is asked about.
  tagEditorState_.stateDirectory = session_.places().stateDir;
  withProgress(
      [this](QLabel* progress) { session::recoverAtStart(session_, *dialogs_, progress, this, true); });
  setWindowTitle(platform::programTitle());
}

MainWindow::~MainWindow() {
  // Hidden while the session lives: hiding lays the list out again, which
  // reads the rows.
  hide();
  qApp->removeEventFilter(this);
  session_.setObserver(nullptr);
}

QTreeView* MainWindow::listView() const { return ui_->显示超级列表框; }
QTabWidget* MainWindow::tabs() const { return ui_->选择夹; }
QMenu* MainWindow::listMenu() const { return list_->menu(); }

QSize MainWindow::outerSize() const { return size() + frameOf(menuBar()); }
void MainWindow::resizeOuter(const QSize& outer) { resize(outer - frameOf(menuBar())); }

QAction* MainWindow::optionAction(int index) const {
  return index >= 0 && index < 4 ? optionActions_[static_cast<std::size_t>(index)] : nullptr;
}

QAction* MainWindow::toolbarAction(int index) const {
  return index >= 0 && index < toolbarActions_.size() ? toolbarActions_[index] : nullptr;
}

QLabel* MainWindow::statusPart(int index) const {
  const std::array<QLabel*, 4> parts{statusCount_, statusProgress_, statusPreview_, statusRule_};
  return index >= 0 && index < 4 ? parts[static_cast<std::size_t>(index)] : nullptr;
}

void MainWindow::sessionChanged(unsigned changes) {
  if (changes & session::kCommandsChanged) {
    const session::CommandState c = session_.commands();
    toolbarActions_[kUndo]->setEnabled(c.undo);
    toolbarActions_[kPreview]->setEnabled(c.preview);
    toolbarActions_[kRename]->setEnabled(c.rename);
  }
  if (changes & session::kCountChanged)
    statusCount_->setText(QString::number(session_.list().fileCount()) + QStringLiteral("个文件"));
  if (changes & session::kDisplayChanged) showDisplaySettings();
  if (changes & (session::kCommandsChanged | session::kDisplayChanged)) showRuleState();
}

void MainWindow::showRuleState() {
  const QString error = text::toQt(session_.ruleError());
  const bool autoPreview = session_.settings().autoPreview == 1;
  // With automatic preview off the button does nothing: say where it is switched on.
  toolbarActions_[kPreview]->setToolTip(!error.isEmpty() ? error
                                        : autoPreview
                                            ? QStringLiteral("预览")
                                            : QStringLiteral("自动预览已关闭：请在 选项→设置 中打开"));
  toolbarActions_[kRename]->setToolTip(error.isEmpty() ? QStringLiteral("开始命名") : error);
  statusRule_->setToolTip(error);
  statusRule_->setText(error);
  // The message stands where 进度 is, which has nothing to show while no pass can run.
  statusRule_->setVisible(!error.isEmpty() && !busy_);
  statusProgress_->setVisible(error.isEmpty() || busy_);
}

void MainWindow::withProgress(const std::function<void(QLabel*)>& run) {
  const bool before = busy_;
  busy_ = true;
  showRuleState();
  run(statusProgress_);
  busy_ = before;
  showRuleState();
}

void MainWindow::stoppable(const std::function<void()>& work) {
  withProgress([&](QLabel* progress) {
    session::RunGuard guard(progress, pumpMs_);
    session::SessionStop stop(session_, guard);
    work();
  });
}

void MainWindow::setupList() {
  list_ = new session::ListCommands(ui_->显示超级列表框, session_, *dialogs_, this);
  list_->setStoppable([this](const std::function<void()>& work) { stoppable(work); });
  connect(list_, &session::ListCommands::convertTagsRequested, this, [this] {
    withProgress([this](QLabel* p) { session::convertTagsCommand(session_, *dialogs_, p, this); });
  });
  connect(list_, &session::ListCommands::convertNamesRequested, this, [this] {
    withProgress([this](QLabel* p) { session::convertNamesCommand(session_, *dialogs_, p, this); });
  });
  connect(list_, &session::ListCommands::menuRequested, this,
          [this](const QPoint& p) { list_->showMenu(p, tabs()->currentIndex() == rules::kMp3Tab); });
  connect(list_, &session::ListCommands::filterRequested, this, &MainWindow::openFilter);
  connect(list_, &session::ListCommands::tagEditorRequested, this, &MainWindow::openTagEditorForSelection);
}

void MainWindow::addRuleTabs() {
  auto made = rules::makeRuleTabs();
  for (std::size_t i = 0; i < made.size(); ++i) {
    rules::RuleTab* tab = made[i].release();
    ui_->选择夹->addTab(tab, tab->title());
    ruleTabs_[i] = tab;
    connect(tab, &rules::RuleTab::optionsChanged, this, &MainWindow::refreshPreview);
    connect(tab, &rules::RuleTab::sharedHandlerInvoked, this, &MainWindow::sharedHandlerInvoked);
  }
}

rules::RuleTab* MainWindow::ruleTab(int index) const {
  return index >= 0 && index < static_cast<int>(ruleTabs_.size()) ? ruleTabs_[static_cast<std::size_t>(index)]
                                                                  : nullptr;
}

void MainWindow::placeRuleControls() {
  for (rules::RuleTab* tab : ruleTabs_) tab->placeControls(tab->mapTo(tabs(), QPoint(0, 0)));
}

void MainWindow::refreshPreview() {
  if (const rules::RuleTab* tab = ruleTab(tabs()->currentIndex())) session_.setRule(tab->options());
  stoppable([this] { session_.refreshPreview(false); });
}

void MainWindow::applyDisplaySettings() { session_.settingsChanged(); }

void MainWindow::showDisplaySettings() {
  const session::Settings& s = session_.settings();
  QTreeView* view = listView();
  QPalette pal = view->palette();
  const QColor background = fromColourRef(s.backgroundColour);
  const QColor text = fromColourRef(s.fontColour);
  for (auto group : {QPalette::Active, QPalette::Inactive}) {
    pal.setColor(group, QPalette::Base, background);
    pal.setColor(group, QPalette::AlternateBase, background);
    pal.setColor(group, QPalette::Window, background);
    pal.setColor(group, QPalette::Text, text);
  }
  view->setPalette(pal);
  // Once the window's style sheet has polished it, the viewport keeps the
  // palette it had then: a colour changed later would not reach it.
  view->viewport()->setPalette(pal);
  QFont font = view->font();
  font.setFamily(platform::installedFace(text::toQt(s.fontName)));
  if (s.fontSize > 0) font.setPointSize(s.fontSize);
  view->setFont(font);
  // The menus' accent: the highlighted entry takes the list's background.
  const QString accent = QStringLiteral("QMenu::item:selected { background: %1; color: %2; }")
                             .arg(background.name(), background.lightness() < 128 ? "white" : "black");
  menuBar()->setStyleSheet(accent);
  list_->menu()->setStyleSheet(accent);
  statusPreview_->setText(s.autoPreview == 1 ? QStringLiteral("自动预览－开")
                                             : QStringLiteral("自动预览－关"));
}

void MainWindow::openTagEditorForSelection(bool fromMenu) {
  const int row = list_->currentSelection();
  if (row == -1) {
    if (!fromMenu) list_->addFilesDialog();
    return;
  }
  const filelist::FileEntry& e = session_.list()[row];
  if (tags::editableTag(e.oldName)) {
    tags::openTagEditor(this, e.diskPath(), tagEditorState_, *dialogs_, session::writeFailureText);
    // A save changes the file's size and modification time: read them again when asked.
    session_.list().forgetFacts(row);
  } else if (fromMenu) {
    dialogs_->message(this, platform::programTitle(), QStringLiteral("抱歉，该文件不是MP3文件！"),
                      platform::Dialogs::Icon::Exclamation);
  }
}

void MainWindow::toolbarClicked(int index) {
  switch (index) {
    case kChooseDirectory:
      list_->addDirectory(QString(), true);
      break;
    case kAddFiles:
      list_->addFilesDialog();
      break;
    case kUndo:
      withProgress([this](QLabel* p) { session::undoCommand(session_, *dialogs_, p, this); });
      break;
    case kPreview:
      stoppable([this] { session_.refreshPreview(true); });
      break;
    case kRename:
      withProgress([this](QLabel* p) { session::renameCommand(session_, *dialogs_, p, this); });
      break;
    case kHelp:
      openHelp();
      break;
    default:
      break;
  }
  statusProgress_->clear();
}

void MainWindow::openSettings() { showSettingsWindow(session_, *dialogs_, this); }
void MainWindow::openAbout() { showAboutWindow(this); }
void MainWindow::openHelp() { showHelp(this); }
void MainWindow::openFilter() { session::showFilterWindow(session_, *dialogs_, this); }

void MainWindow::resizeEvent(QResizeEvent* e) {
  QMainWindow::resizeEvent(e);
  const QSize outer = outerSize();
  int w = outer.width(), h = outer.height();
  if (w < kMinWidth && h < kMinHeight) {
    w = kMinWidth;
    h = kMinHeight;
  } else if (h < kMinHeight) {
    h = kMinHeight;
  } else if (w < kMinWidth) {
    w = kMinWidth;
  }
  if (w != outer.width() || h != outer.height()) resizeOuter({w, h});
  QTabWidget* tab = tabs();
  tab->resize(w - kFrameWidth, tab->height());
  listView()->resize(tab->width(), h - 226);
  placeRuleControls();
}

void MainWindow::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  placeRuleControls();  // the pages have their places inside 选择夹 now
}

void MainWindow::closeEvent(QCloseEvent* e) {
  rememberRuleFields(tabs(), session_);
  session_.saveSettings();
  QMainWindow::closeEvent(e);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* e) {
  // A click on 自动预览 switches it, kept as the settings window keeps it.
  if (watched == statusPreview_ && e->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
    session::Settings s = session_.settings();
    s.autoPreview = s.autoPreview == 1 ? 0 : 1;
    session_.changeSettings(s);
    return true;
  }
  if (e->type() == QEvent::DragEnter || e->type() == QEvent::DragMove || e->type() == QEvent::Drop) {
    auto* w = qobject_cast<QWidget*>(watched);
    auto* d = static_cast<QDropEvent*>(e);
    if (w && w->window() == this && d->mimeData()->hasUrls()) {
      if (e->type() != QEvent::Drop) {
        d->acceptProposedAction();
        return true;
      }
      QStringList paths;
      std::vector<QByteArray> systemPaths;  // not UTF-8: Qt's text would lose their bytes
      for (const QUrl& u : d->mimeData()->urls()) {
        if (!u.isLocalFile()) continue;
        QByteArray bytes = QByteArray::fromPercentEncoding(u.path(QUrl::FullyEncoded).toLatin1());
        if (QString::fromUtf8(bytes).toUtf8() == bytes)
          paths << u.toLocalFile();
        else
          systemPaths.push_back(std::move(bytes));
      }
      d->acceptProposedAction();
      if (!paths.isEmpty() || !systemPaths.empty()) list_->addDroppedItems(paths, systemPaths);
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, e);
}

}  // namespace qorin::app
