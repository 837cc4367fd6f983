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
#include <array>

#include "app/about_window.h"
#include "app/colour_picker.h"
#include "app/help_window.h"
#include "app/settings_window.h"
#include "filelist/gui/file_list_model.h"
#include "filelist/gui/filter_window.h"
#include "platform/fs.h"
#include "platform/gui/icons.h"
#include "platform/gui/wait_cursor.h"
#include "rename/gui/rename_commands.h"
#include "rules/gui/rule_tabs.h"
#include "tags/gui/tag_editor_window.h"
#include "text/gui/qtext.h"
#include "text/names.h"
#include "ui_main_window.h"

namespace qorin::app {

namespace {

const char* const kSharedEdits[] = {"起始量编辑框",         "文件名编辑框",     "文件名位数调节编辑框",
                                    "文件名后缀编辑框",     "扩展名前缀编辑框", "新扩展名编辑框",
                                    "扩展名位数调节编辑框", "扩展名后缀编辑框", "增量编辑框",
                                    "查找内容编辑框",       "替换为编辑框"};
const char* const kSharedRadios[] = {
    "仅扩展名单选框",         "替换删除全部单选框",     "文件名全部大写单选框", "文件名全部小写单选框",
    "文件名首字母大写单选框", "文件名首字母小写单选框", "扩展名全部大写单选框", "扩展名全部小写单选框",
    "扩展名首字母大写单选框", "扩展名首字母小写单选框"};
const char* const kSharedTagButtons[] = {"歌曲名超级按钮", "专辑超级按钮", "音轨超级按钮", "年代超级按钮",
                                         "流派超级按钮"};

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
  setupTabs();

  // Start-up, in order.
  session_.setObserver(this);
  session_.loadSettings();
  sessionChanged(session::kCommandsChanged | session::kCountChanged);
  setAcceptDrops(true);
  qApp->installEventFilter(this);  // drops anywhere on the window reach the drop handler
  joinSharedHandlers();
  setWindowTitle(platform::programTitle());
}

MainWindow::~MainWindow() {
  qApp->removeEventFilter(this);
  session_.setObserver(nullptr);
  listView()->setModel(nullptr);
}

QTreeView* MainWindow::listView() const { return ui_->显示超级列表框; }
QTabWidget* MainWindow::tabs() const { return ui_->选择夹; }

QAction* MainWindow::toolbarAction(int index) const {
  return index >= 0 && index < toolbarActions_.size() ? toolbarActions_[index] : nullptr;
}

QLabel* MainWindow::statusPart(int index) const {
  const std::array<QLabel*, 3> parts{statusCount_, statusProgress_, statusPreview_};
  return index >= 0 && index < 3 ? parts[static_cast<std::size_t>(index)] : nullptr;
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
  menuPreview_ =
      listMenu_->addAction(QStringLiteral("预览(&V)"), this, [this] { session_.refreshPreview(true); });
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
  menuSelectAll_ = listMenu_->addAction(QStringLiteral("全选"), this, [this] { selectAllRows(); });
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
  model_ = std::make_unique<filelist::FileListModel>(session_.list());
  view->setModel(model_.get());
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

void MainWindow::setupTabs() {
  rules::setupGeneralTab(*this);  // greys the extension group for the default scope
  rules::setupReplaceTab(*this);
  rules::setupInsertTab(*this);
  rules::setupCaseTab(*this);
  rules::setupMp3Tab(*this);
  session_.setRule(currentRule());
}

rules::RuleOptions MainWindow::currentRule() const {
  switch (tabs()->currentIndex()) {
    case rules::kReplaceTab:
      return rules::replaceTabOptions(*this);
    case rules::kInsertTab:
      return rules::insertTabOptions(*this);
    case rules::kCaseTab:
      return rules::caseTabOptions(*this);
    case rules::kMp3Tab:
      return rules::mp3TabOptions(*this);
    default:
      return rules::generalTabOptions(*this);
  }
}

void MainWindow::refreshPreview() {
  session_.setRule(currentRule());
  session_.refreshPreview(false);
}

void MainWindow::joinSharedHandlers() {
  // Every tagged edit box shares the change handler of 文件名前缀编辑框 ...
  connect(ui_->文件名前缀编辑框, &QLineEdit::textChanged, this, &MainWindow::onSharedEditChanged);
  for (const char* name : kSharedEdits)
    connect(control<QLineEdit>(name), &QLineEdit::textChanged, this, &MainWindow::onSharedEditChanged);
  // ... every tagged radio button the click handler of 仅文件名单选框 ...
  connect(ui_->仅文件名单选框, &QRadioButton::clicked, this, &MainWindow::onSharedRadioClicked);
  for (const char* name : kSharedRadios)
    connect(control<QRadioButton>(name), &QRadioButton::clicked, this, &MainWindow::onSharedRadioClicked);
  // ... and the placeholder buttons the click handler of 艺术家超级按钮.
  connect(ui_->艺术家超级按钮, &QToolButton::clicked, this, &MainWindow::onTagButtonClicked);
  for (const char* name : kSharedTagButtons)
    connect(control<QToolButton>(name), &QToolButton::clicked, this, &MainWindow::onTagButtonClicked);
  connect(ui_->选择夹, &QTabWidget::currentChanged, this, [this] { refreshPreview(); });
}

void MainWindow::onSharedEditChanged() {
  emit sharedHandlerInvoked(QStringLiteral("文件名前缀编辑框"), sender());
  refreshPreview();
}

void MainWindow::onSharedRadioClicked() {
  emit sharedHandlerInvoked(QStringLiteral("仅文件名单选框"), sender());
  refreshPreview();
}

void MainWindow::onTagButtonClicked() {
  QObject* button = sender();
  emit sharedHandlerInvoked(QStringLiteral("艺术家超级按钮"), button);
  rules::insertPlaceholder(*this, button);
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
  QFont font = view->font();
  font.setFamily(text::toQt(s.fontName));
  if (s.fontSize > 0) font.setPointSize(s.fontSize);
  view->setFont(font);
  // The menus' accent: the highlighted entry takes the list's background.
  const QString accent = QStringLiteral("QMenu::item:selected { background: %1; color: %2; }")
                             .arg(background.name(), background.lightness() < 128 ? "white" : "black");
  menuBar()->setStyleSheet(accent);
  listMenu_->setStyleSheet(accent);
  statusPreview_->setText(s.autoPreview == 1 ? QStringLiteral("自动预览－开")
                                             : QStringLiteral("自动预览－关"));
}

int MainWindow::currentSelection() const {
  const QModelIndexList rows = listView()->selectionModel()->selectedRows();
  if (rows.isEmpty()) return -1;
  int first = rows.front().row();
  for (const QModelIndex& i : rows) first = std::min(first, i.row());
  return first;
}

void MainWindow::deleteSelectedEntries() {
  platform::WaitCursor wait;
  std::vector<int> rows;
  for (const QModelIndex& i : listView()->selectionModel()->selectedRows()) rows.push_back(i.row());
  listView()->selectionModel()->clearSelection();
  session_.removeRows(std::move(rows));
}

void MainWindow::selectAllRows() {
  const int rows = session_.list().rowCount();
  if (rows == 0) return;
  const QItemSelection all(model_->index(0, 0), model_->index(rows - 1, filelist::kColumnCount - 1));
  listView()->selectionModel()->select(all, QItemSelectionModel::Select);
}

void MainWindow::clearList() { session_.clearList(); }

void MainWindow::deleteUntaggedEntries() {
  QItemSelection marked;
  for (int r : session_.untaggedRows())
    marked.select(model_->index(r, 0), model_->index(r, filelist::kColumnCount - 1));
  listView()->selectionModel()->select(marked, QItemSelectionModel::ClearAndSelect);
  deleteSelectedEntries();
}

void MainWindow::showListMenu(const QPoint& globalPos) {
  const session::ListMenuState m =
      session_.listMenu(currentSelection() != -1, tabs()->currentIndex() == rules::kMp3Tab);
  menuPreview_->setEnabled(m.preview);
  menuFilter_->setEnabled(m.filter);
  menuDeleteSelected_->setEnabled(m.deleteSelected);
  menuClear_->setEnabled(m.clear);
  menuTagInfo_->setEnabled(m.tagInfo);
  menuDeleteUntagged_->setEnabled(m.deleteUntagged);
  menuSelectAll_->setEnabled(m.selectAll);
  listMenu_->popup(globalPos);
}

void MainWindow::openTagEditorForSelection(bool fromMenu) {
  const int row = currentSelection();
  if (row == -1) {
    if (!fromMenu) addFilesDialog();
    return;
  }
  const filelist::FileEntry& e = session_.list()[row];
  if (text::hasExtension(e.oldName, "MP3")) {
    tags::openTagEditor(this, e.oldPath(), tagEditorState_, *dialogs_);
  } else if (fromMenu) {
    dialogs_->message(this, platform::programTitle(), QStringLiteral("抱歉，该文件不是MP3文件！"),
                      platform::Dialogs::Icon::Exclamation);
  }
}

void MainWindow::reportUnconvertible(int count) {
  if (count <= 0) return;
  dialogs_->message(this, platform::programTitle(),
                    QStringLiteral("有 %1 个文件未加入列表：文件名含有程序无法表示的字符。").arg(count),
                    platform::Dialogs::Icon::Exclamation);
}

namespace {

// Paths from Qt in the code page; those that cannot be represented are counted.
std::vector<std::string> codePagePaths(const QStringList& paths, int& unconvertible) {
  std::vector<std::string> out;
  out.reserve(static_cast<std::size_t>(paths.size()));
  for (const QString& p : paths) {
    if (auto path = text::fromQt(QDir::toNativeSeparators(p)))
      out.push_back(std::move(*path));
    else
      ++unconvertible;
  }
  return out;
}

}  // namespace

void MainWindow::addFilesDialog() {
  const QStringList chosen = dialogs_->openFiles(
      this, QStringLiteral("请选择文件(可多选)："),
      QStringLiteral(
          "所有文件(*.*)|*.*|音乐文件(*.mp3;wav;wma)|*.mp3;wav;wma|图片文件(*.gif;*.jpg;*.jpeg;*.bmp;*.png)|"
          "*.gif;*.jpg;*.jpeg;*.bmp;*.png|文本文件(*.txt)|*.txt"),
      text::toQt(session_.rememberedDirectory()));
  if (chosen.isEmpty()) return;
  int skipped = 0;
  {
    platform::WaitCursor wait;
    session_.addChosenFiles(codePagePaths(chosen, skipped));
  }
  reportUnconvertible(skipped);
}

void MainWindow::addDirectory(const QString& given, bool ask) {
  const QString chosen = ask ? dialogs_->chooseFolder(this, QStringLiteral("请选择一个目录")) : given;
  if (chosen.isEmpty()) return;
  int skipped = 0;
  const std::vector<std::string> dir = codePagePaths({chosen}, skipped);
  if (!dir.empty()) {
    platform::WaitCursor wait;
    skipped += session_.addFolder(dir.front()).unconvertible;
  }
  reportUnconvertible(skipped);
}

void MainWindow::addDroppedItems(const QStringList& paths) {
  int skipped = 0;
  {
    platform::WaitCursor wait;
    skipped = session_.addDropped(codePagePaths(paths, skipped)).unconvertible + skipped;
  }
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
      rename::undoCommand(session_, *dialogs_, statusProgress_, this);
      break;
    case kPreview:
      session_.refreshPreview(true);
      break;
    case kRename:
      rename::renameCommand(session_, *dialogs_, statusProgress_, this);
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
void MainWindow::openFilter() { filelist::showFilterWindow(session_, *dialogs_, this); }

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
  session_.saveSettings();
  QMainWindow::closeEvent(e);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* e) {
  if (watched == listView() && e->type() == QEvent::KeyPress) {
    const auto* k = static_cast<QKeyEvent*>(e);
    const Qt::KeyboardModifiers mods =
        k->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    if (k->key() == Qt::Key_Delete) {
      deleteSelectedEntries();
      return true;
    }
    if (k->key() == Qt::Key_A && mods & Qt::ControlModifier) {
      // Only Ctrl alone selects; Ctrl+Shift+A must not reach the view's own select-all either.
      if (mods == Qt::ControlModifier) selectAllRows();
      return true;
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
