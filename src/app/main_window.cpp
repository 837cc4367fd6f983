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

void MainWindow::createToolbar() {
  toolbar_ = new QToolBar(this);
  toolbar_->setObjectName(QStringLiteral("工具条"));
  toolbar_->setMovable(false);
  toolbar_->setFloatable(false);
  toolbar_->setIconSize(QSize(16, 15));
  toolbar_->setFixedHeight(28);
  toolbar_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  toolbar_->setContextMenuPolicy(Qt::PreventContextMenu);
  addToolBar(Qt::TopToolBarArea, toolbar_);
  struct Button {
    const char* text;
    QIcon (*icon)();
  };
  const Button buttons[] = {{"选择目录", icons::chooseDirectory},
                            {"加入多个文件", icons::addFiles},
                            {nullptr, nullptr},
                            {"撤消", icons::undo},
                            {"预览", icons::preview},
                            {"开始命名", icons::rename},
                            {nullptr, nullptr},
                            {"帮助", icons::help}};
  for (int i = 0; i < 8; ++i) {
    if (!buttons[i].text) {
      toolbarActions_ << toolbar_->addSeparator();
      continue;
    }
    QAction* a = toolbar_->addAction(buttons[i].icon(), QString::fromUtf8(buttons[i].text));
    a->setToolTip(a->text());
    connect(a, &QAction::triggered, this, [this, i] { toolbarClicked(i); });
    // Reached by Tab like every other control.
    toolbar_->widgetForAction(a)->setFocusPolicy(Qt::TabFocus);
    toolbarActions_ << a;
  }
  // Keys for the buttons that have no menu entry.
  toolbarActions_[kPreview]->setShortcut(QKeySequence(Qt::Key_F5));
  toolbarActions_[kRename]->setShortcuts(
      {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
  toolbarActions_[kUndo]->setShortcut(QKeySequence(QKeySequence::Undo));
}

void MainWindow::createMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("文件(&F)"));
  file->addAction(icons::chooseDirectory(), QStringLiteral("选择目录(&D)..."),
                  QKeySequence(QStringLiteral("Ctrl+D")), this,
                  [this] { list_->addDirectory(QString(), true); });
  file->addAction(icons::addFiles(), QStringLiteral("添加文件(&N)..."),
                  QKeySequence(QStringLiteral("Ctrl+F")), this, [this] { list_->addFilesDialog(); });
  file->addSeparator();
  file->addAction(QStringLiteral("退出(&X)"), QKeySequence(QStringLiteral("Ctrl+X")), this,
                  [this] { close(); });

  QMenu* options = menuBar()->addMenu(QStringLiteral("选项(&O)"));
  options->addAction(icons::settings(), QStringLiteral("设置(&S)..."), QKeySequence(QStringLiteral("Ctrl+S")),
                     this, [this] { openSettings(); });
  options->addSeparator();
  using S = session::Settings;
  const std::pair<const char*, bool S::*> switches[] = {{"包含子目录(&R)", &S::includeSubfolders},
                                                        {"包含隐藏文件(&H)", &S::includeHidden},
                                                        {"替换非法字符(&I)", &S::replaceIllegal},
                                                        {"音轨号补零(&T)", &S::padTrack}};
  for (std::size_t i = 0; i < optionActions_.size(); ++i) {
    QAction* a = options->addAction(QString::fromUtf8(switches[i].first));
    a->setCheckable(true);
    connect(a, &QAction::triggered, this, [this, field = switches[i].second](bool on) {
      S s = session_.settings();
      s.*field = on;
      session_.changeSettings(s);
      showRenamingOptions();
    });
    optionActions_[i] = a;
  }
  options->addSeparator();
  presets_ = new PresetMenu(options->addMenu(QStringLiteral("方案(&P)")), tabs(), session_, *dialogs_, this);

  QMenu* help = menuBar()->addMenu(QStringLiteral("帮助(&H)"));
  help->addAction(icons::help(), QStringLiteral("内容(&D)..."), QKeySequence(Qt::Key_F1), this,
                  [this] { openHelp(); });
  help->addAction(QStringLiteral("关于(&A)..."), this, [this] { openAbout(); });
}

void MainWindow::createStatusBar() {
  statusBar()->setObjectName(QStringLiteral("状态条"));
  statusBar()->setSizeGripEnabled(true);
  statusBar()->setFixedHeight(20);
  const std::pair<const char*, int> parts[] = {{"文件个数", 80}, {"进度", 247}, {"自动预览", 80}};
  QLabel* labels[3];
  for (int i = 0; i < 3; ++i) {
    labels[i] = new QLabel(statusBar());
    labels[i]->setObjectName(QString::fromUtf8(parts[i].first));
    labels[i]->setFixedWidth(parts[i].second);
    labels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    statusBar()->addWidget(labels[i]);
  }
  statusCount_ = labels[0];
  statusProgress_ = labels[1];
  statusPreview_ = labels[2];
  statusPreview_->setToolTip(QStringLiteral("单击切换自动预览"));
  // In place of 进度 and the rest of the bar, while the rule cannot run: why
  // (whole in its tooltip where cut off).
  statusRule_ = new QLabel(statusBar());
  statusRule_->setObjectName(QStringLiteral("规则提示"));
  statusRule_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  statusRule_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  platform::setTextColour(statusRule_, platform::errorText);
  statusBar()->insertWidget(2, statusRule_, 1);  // after 进度
  statusRule_->hide();
  // Progress marks are drawn in the bar's own colour.
  platform::setTextColour(statusProgress_, platform::accentText);
  // At the end of 进度, while a pass or an undo runs: stops it after the file at hand, as Esc does.
  auto* stop = new QToolButton(statusProgress_);
  stop->setObjectName(QStringLiteral("停止按钮"));
  stop->setText(QStringLiteral("停止"));
  stop->setToolTip(QStringLiteral("停止 (Esc)"));
  stop->setAutoRaise(true);
  stop->setFocusPolicy(Qt::NoFocus);
  stop->setCursor(Qt::ArrowCursor);
  auto* row = new QHBoxLayout(statusProgress_);
  row->setContentsMargins(0, 0, 0, 0);
  row->addStretch();
  row->addWidget(stop);
  stop->hide();
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

void MainWindow::showRenamingOptions() {
  const session::Settings& s = session_.settings();
  const bool on[] = {s.includeSubfolders, s.includeHidden, s.replaceIllegal, s.padTrack};
  for (std::size_t i = 0; i < optionActions_.size(); ++i) optionActions_[i]->setChecked(on[i]);
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
