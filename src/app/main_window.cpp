#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QRadioButton>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <algorithm>

#include "app/about_window.h"
#include "app/colour_picker.h"
#include "app/help_window.h"
#include "app/settings_window.h"
#include "filelist/add_files.h"
#include "filelist/gui/file_list_model.h"
#include "filelist/gui/filter_window.h"
#include "platform/fs.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/icons.h"
#include "rename/gui/rename_commands.h"
#include "rules/gui/rule_tab.h"
#include "session/settings.h"
#include "tags/gui/tag_editor_window.h"
#include "text/gbtext.h"
#include "text/gui/qtext.h"
#include "text/names.h"
#include "ui_main_window.h"

namespace qorin::app {

using namespace session;
using filelist::showFilterWindow;

namespace {

const QString kTitle = QStringLiteral("Qorin批量更名器");

}  // namespace

MainWindow::WaitCursor::WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
MainWindow::WaitCursor::~WaitCursor() { QApplication::restoreOverrideCursor(); }

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), ui_(std::make_unique<Ui::MainWindow>()) {
  ui_->setupUi(this);
  addRuleTabs();
  // The layout is measured for a 9-point CJK face with Windows-style group
  // boxes whose caption sits on the frame.
  QFont face = font();
  face.setFamilies(
      {QStringLiteral("SimSun"), QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei")});
  face.setPointSize(9);
  setFont(face);
  centralWidget()->setStyleSheet(
      QStringLiteral("QGroupBox { border: 1px solid #b0b0b0; border-radius: 2px; margin-top: 6px; }"
                     "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: "
                     "6px; padding: 0 2px; }"));
  setWindowIcon(icons::application());
  setMinimumSize(kMinWidth, kMinHeight);
  createToolbar();
  createMenus();
  createStatusBar();
  setupList();

  // Start-up, in order.
  loadSettings();
  applyDisplaySettings();
  for (int b : {kUndo, kPreview, kRename}) setToolbarButtonEnabled(b, false);
  tags::prepareGenreTables();
  setAcceptDrops(true);
  qApp->installEventFilter(this);  // drops anywhere on the window reach the drop handler
  connect(ui_->选择夹, &QTabWidget::currentChanged, this, [this] { refreshPreview(false); });
  setWindowTitle(kTitle);
}

MainWindow::~MainWindow() {
  qApp->removeEventFilter(this);
  delete model_;
}

QTreeView* MainWindow::listView() const { return ui_->显示超级列表框; }
QTabWidget* MainWindow::tabs() const { return ui_->选择夹; }

rules::RuleTab* MainWindow::ruleTab(int index) const {
  return index >= 0 && index < static_cast<int>(ruleTabs_.size()) ? ruleTabs_[static_cast<std::size_t>(index)]
                                                                  : nullptr;
}

QAction* MainWindow::toolbarAction(int index) const {
  return index >= 0 && index < toolbarActions_.size() ? toolbarActions_[index] : nullptr;
}

void MainWindow::setToolbarButtonEnabled(int index, bool enabled) {
  if (QAction* a = toolbarAction(index)) a->setEnabled(enabled);
}

QLabel* MainWindow::statusPart(int index) const {
  switch (index) {
    case 0:
      return statusCount_;
    case 1:
      return statusProgress_;
    case 2:
      return statusPreview_;
    default:
      return nullptr;
  }
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
    toolbarActions_ << a;
  }
}

void MainWindow::createMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("文件(&F)"));
  file->addAction(icons::chooseDirectory(), QStringLiteral("选择目录(&D)..."),
                  QKeySequence(QStringLiteral("Ctrl+D")), this, [this] { addDirectory(QString(), true); });
  file->addAction(icons::addFiles(), QStringLiteral("添加文件(&N)..."),
                  QKeySequence(QStringLiteral("Ctrl+F")), this, [this] { addFilesDialog(); });
  file->addSeparator();
  file->addAction(QStringLiteral("退出(&X)"), QKeySequence(QStringLiteral("Ctrl+X")), this,
                  [this] { close(); });

  QMenu* options = menuBar()->addMenu(QStringLiteral("选项(&O)"));
  options->addAction(icons::settings(), QStringLiteral("设置(&S)..."), QKeySequence(QStringLiteral("Ctrl+S")),
                     this, [this] { openSettings(); });

  QMenu* help = menuBar()->addMenu(QStringLiteral("帮助(&H)"));
  help->addAction(icons::help(), QStringLiteral("内容(&D)..."), QKeySequence(Qt::Key_F1), this,
                  [this] { openHelp(); });
  help->addAction(QStringLiteral("关于(&A)..."), this, [this] { openAbout(); });

  // The list's pop-up menu: not in the bar.
  listMenu_ = new QMenu(QStringLiteral("右键菜单"), this);
  listMenu_->setObjectName(QStringLiteral("右键菜单"));
  menuPreview_ = listMenu_->addAction(QStringLiteral("预览(&V)"), this, [this] { refreshPreview(true); });
  listMenu_->addSeparator();
  listMenu_->addAction(icons::chooseDirectory(), QStringLiteral("添加整个目录(&O)"), this,
                       [this] { addDirectory(QString(), true); });
  listMenu_->addAction(icons::addFiles(), QStringLiteral("加入文件(&F)"), this, [this] { addFilesDialog(); });
  listMenu_->addSeparator();
  menuFilter_ = listMenu_->addAction(QStringLiteral("过滤(&L)..."), this, [this] { openFilter(); });
  listMenu_->addSeparator();
  menuDeleteSelected_ =
      listMenu_->addAction(QStringLiteral("删除选择的项目(&D)"), this, [this] { deleteSelectedEntries(); });
  menuClear_ = listMenu_->addAction(QStringLiteral("清空列表(&E)"), this, [this] { clearList(); });
  listMenu_->addSeparator();
  menuTagInfo_ = listMenu_->addAction(QStringLiteral("MP3标签信息(&I)..."), this,
                                      [this] { openTagEditorForSelection(true); });
  menuDeleteUntagged_ =
      listMenu_->addAction(QStringLiteral("删除无MP3标签项目(M)"), this, [this] { deleteUntaggedEntries(); });
  listMenu_->addSeparator();
  menuSelectAll_ = listMenu_->addAction(QStringLiteral("全选"), this, [this] { listKey(65, 1); });
  // Shown in the menu; the list's key handler does the work (Ctrl alone).
  menuSelectAll_->setShortcut(QKeySequence(QStringLiteral("Ctrl+A")));
  menuSelectAll_->setShortcutContext(Qt::WidgetShortcut);
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
  // Progress marks are drawn in the bar's own colour.
  statusProgress_->setStyleSheet(QStringLiteral("color: #1c3f94;"));
}

void MainWindow::setupList() {
  QTreeView* view = listView();
  model_ = new filelist::FileListModel(list_);
  view->setModel(model_);
  view->setRootIsDecorated(false);
  view->setUniformRowHeights(true);
  view->setItemsExpandable(false);
  view->setAllColumnsShowFocus(true);
  view->setSelectionMode(QAbstractItemView::ExtendedSelection);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setIconSize(QSize(16, 15));
  view->setContextMenuPolicy(Qt::CustomContextMenu);
  view->header()->setStretchLastSection(false);
  const int widths[] = {150, 150, 200, 100, 100};
  for (int c = 0; c < filelist::kColumnCount; ++c) view->setColumnWidth(c, widths[c]);
  connect(view, &QWidget::customContextMenuRequested, this,
          [this, view](const QPoint& p) { showListMenu(view->viewport()->mapToGlobal(p)); });
  connect(view, &QAbstractItemView::doubleClicked, this, [this] { openTagEditorForSelection(false); });
  view->installEventFilter(this);
  view->viewport()->installEventFilter(this);
}

void MainWindow::addRuleTabs() {
  auto made = rules::makeRuleTabs();
  for (std::size_t i = 0; i < made.size(); ++i) {
    rules::RuleTab* tab = made[i].release();
    ui_->选择夹->addTab(tab, tab->title());
    ruleTabs_[i] = tab;
    connect(tab, &rules::RuleTab::optionsChanged, this, [this] { refreshPreview(false); });
    connect(tab, &rules::RuleTab::sharedHandlerInvoked, this, &MainWindow::sharedHandlerInvoked);
  }
}

void MainWindow::applyDisplaySettings() {
  const Settings& s = settings();
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
  QFont font = view->font();
  font.setFamily(text::toQt(s.fontName));
  if (s.fontSize > 0) font.setPointSize(s.fontSize);
  view->setFont(font);
  // The menus' accent: the highlighted entry takes the list's background.
  const QString accent = QStringLiteral("QMenu::item:selected { background: %1; color: %2; }")
                             .arg(background.name(), background.lightness() < 128 ? "white" : "black");
  menuBar()->setStyleSheet(accent);
  listMenu_->setStyleSheet(accent);
  refreshPreview(false);
  updateStatusBar();
}

void MainWindow::updateStatusBar() {
  statusCount_->setText(QString::number(list_.fileCount()) + QStringLiteral("个文件"));
  statusPreview_->setText(settings().autoPreview == 1 ? QStringLiteral("自动预览－开")
                                                      : QStringLiteral("自动预览－关"));
}

void MainWindow::refreshPreview(bool forceAll) {
  const Settings& s = settings();
  if (s.autoPreview == 0) return;
  const int count = list_.fileCount();
  int n = count;
  const rules::RuleTab* tab = ruleTab(tabs()->currentIndex());
  if (!forceAll && s.previewAllEntries != 1 && !(tab && rules::coversEveryEntry(tab->options())))
    n = std::clamp(s.previewCount, 0, count);
  if (count == 0) return;
  applyRule(n);
  list_.fillRows(filelist::kFillNewNames, 0, n - 1, {});
}

void MainWindow::applyRule(int n) {
  if (const rules::RuleTab* tab = ruleTab(tabs()->currentIndex())) rules::applyRule(list_, n, tab->options());
}

int MainWindow::currentSelection() const {
  const QModelIndexList rows = listView()->selectionModel()->selectedRows();
  if (rows.isEmpty()) return -1;
  int first = rows.front().row();
  for (const QModelIndex& i : rows) first = std::min(first, i.row());
  return first;
}

void MainWindow::deleteSelectedEntries() {
  WaitCursor wait;
  std::vector<int> rows;
  for (const QModelIndex& i : listView()->selectionModel()->selectedRows()) rows.push_back(i.row());
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  listView()->selectionModel()->clearSelection();
  list_.removeRows(rows);
  updateStatusBar();
  if (list_.fileCount() == 0)
    for (int b : {kPreview, kRename, kUndo}) setToolbarButtonEnabled(b, false);
}

void MainWindow::selectAllRows() {
  if (list_.rowCount() == 0) return;
  const QItemSelection all(model_->index(0, 0),
                           model_->index(list_.rowCount() - 1, filelist::kColumnCount - 1));
  listView()->selectionModel()->select(all, QItemSelectionModel::Select);
}

void MainWindow::clearList() {
  list_.clear();
  updateStatusBar();
  for (int b : {kPreview, kRename, kUndo}) setToolbarButtonEnabled(b, false);
}

void MainWindow::deleteUntaggedEntries() {
  QItemSelection marked;
  for (int r : list_.rowsWithMp3Status())
    marked.select(model_->index(r, 0), model_->index(r, filelist::kColumnCount - 1));
  listView()->selectionModel()->select(marked, QItemSelectionModel::ClearAndSelect);
  deleteSelectedEntries();
}

void MainWindow::showListMenu(const QPoint& globalPos) {
  const bool selected = currentSelection() != -1;
  const bool hasRows = list_.rowCount() > 0;
  menuDeleteSelected_->setEnabled(selected);
  menuTagInfo_->setEnabled(selected);
  for (QAction* a : {menuClear_, menuSelectAll_, menuFilter_, menuPreview_}) a->setEnabled(hasRows);
  menuDeleteUntagged_->setEnabled(hasRows && tabs()->currentIndex() == rules::kMp3Tab);
  listMenu_->popup(globalPos);
}

void MainWindow::openTagEditorForSelection(bool fromMenu) {
  const int row = currentSelection();
  if (row == -1) {
    if (!fromMenu) addFilesDialog();
    return;
  }
  if (text::hasExtension(list_[row].oldName, "MP3")) {
    tags::openTagEditor(*this, row);
  } else if (fromMenu) {
    platform::dialogs().message(this, kTitle, QStringLiteral("抱歉，该文件不是MP3文件！"),
                                platform::Dialogs::Icon::Exclamation);
  }
}

void MainWindow::listKey(int keyCode, int modifiers) {
  if (keyCode == 46) {
    deleteSelectedEntries();
  } else if (keyCode == 65 && modifiers == 1) {
    selectAllRows();
  }
}

void MainWindow::appendRows(int firstNew) {
  // Each new entry already carries its directory; make the entries rows.
  list_.fillRows(filelist::kFillAppend, firstNew, list_.fileCount() - 1, {});
}

void MainWindow::reportUnconvertible(int count) {
  if (count <= 0) return;
  platform::dialogs().message(
      this, kTitle, QStringLiteral("有 %1 个文件未加入列表：文件名含有程序无法表示的字符。").arg(count),
      platform::Dialogs::Icon::Exclamation);
}

void MainWindow::addFilesDialog() {
  const QString initial = text::toQt(filelist::readRememberedDirectory());
  const QStringList chosen = platform::dialogs().openFiles(
      this, QStringLiteral("请选择文件(可多选)："),
      QStringLiteral(
          "所有文件(*.*)|*.*|音乐文件(*.mp3;wav;wma)|*.mp3;wav;wma|图片文件(*.gif;*.jpg;*.jpeg;*.bmp;*.png)|"
          "*.gif;*.jpg;*.jpeg;*.bmp;*.png|文本文件(*.txt)|*.txt"),
      initial);
  if (chosen.isEmpty()) return;
  WaitCursor wait;
  const int first = list_.fileCount();
  std::string dir;
  int skipped = 0;
  for (const QString& p : chosen) {
    const auto path = text::fromQt(QDir::toNativeSeparators(p));
    if (!path) {
      ++skipped;
      continue;
    }
    if (dir.empty()) {
      dir = std::string(platform::directoryOf(*path));
      filelist::rememberDirectory(dir);
    }
    list_.addName(std::string(platform::fileNameOf(*path)));
  }
  list_.fillRows(filelist::kFillAppend | filelist::kFillDirectory, first, list_.fileCount() - 1, dir);
  refreshPreview(false);
  setToolbarButtonEnabled(kRename, true);
  setToolbarButtonEnabled(kPreview, true);
  updateStatusBar();
  reportUnconvertible(skipped);
}

void MainWindow::addDirectory(const QString& given, bool ask) {
  QString chosen = ask ? platform::dialogs().chooseFolder(this, QStringLiteral("请选择一个目录")) : given;
  if (chosen.isEmpty()) return;
  auto dir = text::fromQt(QDir::toNativeSeparators(chosen));
  if (!dir) {
    reportUnconvertible(1);
    return;
  }
  WaitCursor wait;
  const int first = list_.fileCount();
  *dir = platform::withSeparator(*dir);
  setToolbarButtonEnabled(kPreview, true);
  setToolbarButtonEnabled(kRename, true);
  const filelist::ScanResult r = filelist::scanDirectory(list_, *dir);
  list_.fillRows(filelist::kFillAppend | filelist::kFillDirectory, first, list_.fileCount() - 1, *dir);
  refreshPreview(false);
  updateStatusBar();
  reportUnconvertible(r.unconvertible);
}

void MainWindow::addDroppedItems(const QStringList& paths) {
  WaitCursor wait;
  const int first = list_.fileCount();
  QStringList folders;
  int skipped = 0;
  std::vector<std::string> dirs;
  for (const QString& p : paths) {
    const auto path = text::fromQt(QDir::toNativeSeparators(p));
    if (!path) {
      ++skipped;
      continue;
    }
    if (platform::isFile(*path)) {
      list_.addName(std::string(platform::fileNameOf(*path)));
      dirs.emplace_back(platform::directoryOf(*path));
    } else {
      folders << p;
    }
  }
  list_.fillRows(filelist::kFillAppend, first, list_.fileCount() - 1, {});
  for (std::size_t i = 0; i < dirs.size(); ++i)
    list_.setDirectory(first + static_cast<int>(i), std::move(dirs[i]));
  refreshPreview(false);
  setToolbarButtonEnabled(kRename, true);
  setToolbarButtonEnabled(kPreview, true);
  updateStatusBar();
  for (const QString& f : folders) addDirectory(f, false);
  reportUnconvertible(skipped);
}

void MainWindow::toolbarClicked(int index) {
  switch (index) {
    case kChooseDirectory:
      addDirectory(QString(), true);
      break;
    case kAddFiles:
      addFilesDialog();
      break;
    case kUndo:
      rename::undoCommand(*this);
      break;
    case kPreview:
      refreshPreview(true);
      break;
    case kRename:
      rename::renameCommand(*this);
      break;
    case kHelp:
      openHelp();
      break;
    default:
      break;
  }
  statusProgress_->clear();
}

void MainWindow::openSettings() { showSettingsWindow(*this); }
void MainWindow::openAbout() { showAboutWindow(*this); }
void MainWindow::openHelp() { showHelp(*this); }
void MainWindow::openFilter() { showFilterWindow(*this); }

void MainWindow::resizeEvent(QResizeEvent* e) {
  QMainWindow::resizeEvent(e);
  int w = width(), h = height();
  if (w < kMinWidth && h < kMinHeight) {
    w = kMinWidth;
    h = kMinHeight;
  } else if (h < kMinHeight) {
    h = kMinHeight;
  } else if (w < kMinWidth) {
    w = kMinWidth;
  }
  if (w != width() || h != height()) resize(w, h);
  QTabWidget* tab = tabs();
  tab->resize(w - 8, tab->height());
  listView()->resize(tab->width(), h - 226);
}

void MainWindow::closeEvent(QCloseEvent* e) {
  saveSettings();
  QMainWindow::closeEvent(e);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* e) {
  if (watched == listView() && e->type() == QEvent::KeyPress) {
    const auto* k = static_cast<QKeyEvent*>(e);
    const Qt::KeyboardModifiers mods =
        k->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    const int m = mods == Qt::ControlModifier ? 1 : 0;
    if (k->key() == Qt::Key_Delete) {
      listKey(46, m);
      return true;
    }
    if (k->key() == Qt::Key_A && mods & Qt::ControlModifier) {
      listKey(65, m);
      return true;  // Ctrl+Shift+A must not fall through to the view's own select-all
    }
  }
  if (watched == listView()->viewport() && e->type() == QEvent::MouseButtonDblClick) {
    const auto* m = static_cast<QMouseEvent*>(e);
    if (!listView()->indexAt(m->position().toPoint()).isValid()) {
      listView()->selectionModel()->clearSelection();
      openTagEditorForSelection(false);
      return true;
    }
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
      for (const QUrl& u : d->mimeData()->urls())
        if (u.isLocalFile()) paths << u.toLocalFile();
      d->acceptProposedAction();
      if (!paths.isEmpty()) addDroppedItems(paths);
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, e);
}

}  // namespace qorin::app
