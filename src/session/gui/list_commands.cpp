// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/gui/list_commands.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QTreeView>
#include <string>
#include <vector>

#include "filelist/gui/file_list_model.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/icons.h"
#include "platform/gui/wait_cursor.h"
#include "session/messages.h"
#include "session/session.h"
#include "tags/formats.h"
#include "text/gui/qtext.h"

namespace qorin::session {

using namespace qorin::filelist;

namespace {

// Paths from Qt in the code page; those that cannot be represented are
// counted as files or, being folders, named in `folders`.
std::vector<std::string> codePagePaths(const QStringList& paths, int& unconvertible,
                                       QStringList* folders = nullptr) {
  std::vector<std::string> out;
  out.reserve(static_cast<std::size_t>(paths.size()));
  for (const QString& p : paths) {
    const QString native = QDir::toNativeSeparators(p);
    if (auto path = text::fromQt(native))
      out.push_back(std::move(*path));
    else if (folders && QFileInfo(p).isDir())  // only Qt can still reach it by this name
      *folders << native;
    else
      ++unconvertible;
  }
  return out;
}

}  // namespace

ListCommands::ListCommands(QTreeView* view, Session& session, platform::Dialogs& dialogs, QWidget* window)
    : QObject(window), view_(view), session_(session), dialogs_(dialogs), window_(window) {
  model_ = std::make_unique<FileListModel>(session_.list(),
                                           filelist::RowWords{statusText, mp3StatusText, reasonText});
  model_->setRepaint([this] {
    if (view_) view_->viewport()->update();
  });
  model_->setBackground(
      [this] { return view_ ? view_->viewport()->palette().color(QPalette::Base) : QColor(); });
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
  for (int c = 0; c < kColumnCount; ++c) view->setColumnWidth(c, widths[c]);
  connect(view, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& p) { emit menuRequested(view_->viewport()->mapToGlobal(p)); });
  connect(view, &QAbstractItemView::doubleClicked, this, [this] { emit tagEditorRequested(false); });
  view->header()->setSectionsClickable(true);
  connect(view->header(), &QHeaderView::sectionClicked, this, &ListCommands::sortByColumn);
  view->installEventFilter(this);
  view->viewport()->installEventFilter(this);
  createMenu();
}

ListCommands::~ListCommands() {
  if (view_) view_->setModel(nullptr);
}

void ListCommands::createMenu() {
  menu_ = new QMenu(QStringLiteral("右键菜单"), window_);
  menu_->setObjectName(QStringLiteral("右键菜单"));
  preview_ = menu_->addAction(QStringLiteral("预览(&V)"), this, [this] { session_.refreshPreview(true); });
  menu_->addSeparator();
  menu_->addAction(icons::chooseDirectory(), QStringLiteral("添加整个目录(&O)"), this,
                   [this] { addDirectory(QString(), true); });
  menu_->addAction(icons::addFiles(), QStringLiteral("加入文件(&F)"), this, [this] { addFilesDialog(); });
  menu_->addSeparator();
  filter_ = menu_->addAction(QStringLiteral("过滤(&L)..."), this, [this] { emit filterRequested(); });
  menu_->addSeparator();
  deleteSelected_ =
      menu_->addAction(QStringLiteral("删除选择的项目(&D)"), this, [this] { deleteSelectedEntries(); });
  clear_ = menu_->addAction(QStringLiteral("清空列表(&E)"), this, [this] { clearList(); });
  menu_->addSeparator();
  tagInfo_ =
      menu_->addAction(QStringLiteral("MP3标签信息(&I)..."), this, [this] { emit tagEditorRequested(true); });
  deleteUntagged_ =
      menu_->addAction(QStringLiteral("删除无MP3标签项目(M)"), this, [this] { deleteUntaggedEntries(); });
  convertTags_ = menu_->addAction(QStringLiteral("MP3标签转为Unicode(&U)"), this,
                                  [this] { emit convertTagsRequested(); });
  convertNames_ =
      menu_->addAction(QStringLiteral("文件名转为UTF-8(&8)"), this, [this] { emit convertNamesRequested(); });
  menu_->addSeparator();
  selectAll_ = menu_->addAction(QStringLiteral("全选"), this, [this] { selectAllRows(); });
  // Shown in the menu; the list's key handler does the work (Ctrl alone).
  selectAll_->setShortcut(QKeySequence(QStringLiteral("Ctrl+A")));
  selectAll_->setShortcutContext(Qt::WidgetShortcut);
  moveUp_ = menu_->addAction(QStringLiteral("上移(&P)"), this, [this] { moveSelected(true); });
  moveUp_->setShortcut(QKeySequence(QStringLiteral("Ctrl+Up")));
  moveUp_->setShortcutContext(Qt::WidgetShortcut);
  moveDown_ = menu_->addAction(QStringLiteral("下移(&W)"), this, [this] { moveSelected(false); });
  moveDown_->setShortcut(QKeySequence(QStringLiteral("Ctrl+Down")));
  moveDown_->setShortcutContext(Qt::WidgetShortcut);
  sortMenu_ = menu_->addMenu(QStringLiteral("排序(&S)"));
  sortMenu_->setObjectName(QStringLiteral("排序菜单"));
  for (const SortKey k : kSortKeys)
    sortMenu_->addAction(text::toQt(sortKeyText(k)), this, [this, k] { sortByKey(k); });
  sortMenu_->addSeparator();
  sortMenu_->addAction(QStringLiteral("倒序"), this, [this] { reverseOrder(); });
}

int ListCommands::currentSelection() const {
  int first = -1;
  for (const QItemSelectionRange& range : view_->selectionModel()->selection())
    if (first == -1 || range.top() < first) first = range.top();
  return first;
}

std::vector<int> ListCommands::selectedRows() const {
  // From the ranges: rows are selected whole, and asking the model row by
  // row takes seconds for a million of them.
  std::vector<int> rows;
  for (const QItemSelectionRange& range : view_->selectionModel()->selection())
    for (int r = range.top(); r <= range.bottom(); ++r) rows.push_back(r);
  return rows;
}

void ListCommands::deleteSelectedEntries() {
  platform::WaitCursor wait;
  std::vector<int> rows = selectedRows();
  view_->selectionModel()->clearSelection();
  session_.removeRows(std::move(rows));
}

void ListCommands::selectAllRows() {
  const int rows = session_.list().rowCount();
  if (rows == 0) return;
  const QItemSelection all(model_->index(0, 0), model_->index(rows - 1, kColumnCount - 1));
  view_->selectionModel()->select(all, QItemSelectionModel::Select);
}

void ListCommands::clearList() { session_.clearList(); }

void ListCommands::deleteUntaggedEntries() {
  QItemSelection marked;
  for (int r : session_.untaggedRows())
    marked.select(model_->index(r, 0), model_->index(r, kColumnCount - 1));
  view_->selectionModel()->select(marked, QItemSelectionModel::ClearAndSelect);
  deleteSelectedEntries();
}

void ListCommands::showMenu(const QPoint& globalPos, bool mp3Tab) {
  const ListMenuState m = session_.listMenu(currentSelection() != -1, mp3Tab);
  preview_->setEnabled(m.preview);
  filter_->setEnabled(m.filter);
  deleteSelected_->setEnabled(m.deleteSelected);
  clear_->setEnabled(m.clear);
  tagInfo_->setEnabled(m.tagInfo);
  deleteUntagged_->setEnabled(m.deleteUntagged);
  convertTags_->setEnabled(m.convertTags);
  convertNames_->setEnabled(m.convertNames);
  moveUp_->setEnabled(m.deleteSelected);
  moveDown_->setEnabled(m.deleteSelected);
  sortMenu_->setEnabled(m.clear);
  selectAll_->setEnabled(m.selectAll);
  menu_->popup(globalPos);
}

void ListCommands::sortByColumn(int column) {
  // A second click on the same column reverses the order.
  descending_ = column == sortColumn_ ? !descending_ : false;
  sortColumn_ = column;
  view_->header()->setSortIndicatorShown(true);
  view_->header()->setSortIndicator(column, descending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
  platform::WaitCursor wait;
  session_.sortBy(static_cast<Column>(column), descending_);
}

void ListCommands::sortByKey(SortKey key) {
  platform::WaitCursor wait;
  if (key == SortKey::Name) {
    // The same as a first click on column 旧文件名.
    sortColumn_ = -1;
    sortByColumn(kColOld);
    return;
  }
  // No column shows the order now.
  sortColumn_ = -1;
  descending_ = false;
  view_->header()->setSortIndicatorShown(false);
  stoppable([&] { session_.sortByFile(key); });
}

void ListCommands::reverseOrder() {
  platform::WaitCursor wait;
  // A column's order reversed is that column's other order; the next click
  // on it reverses it again.
  if (sortColumn_ >= 0) {
    descending_ = !descending_;
    view_->header()->setSortIndicator(sortColumn_, descending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
  }
  session_.reverseRows();
}

void ListCommands::moveSelected(bool up) {
  std::vector<int> rows = selectedRows();
  if (rows.empty()) return;
  const std::vector<int> now = session_.moveRows(std::move(rows), up);
  QItemSelection moved;
  for (int r : now) moved.select(model_->index(r, 0), model_->index(r, kColumnCount - 1));
  if (!now.empty())
    view_->selectionModel()->setCurrentIndex(model_->index(up ? now.front() : now.back(), 0),
                                             QItemSelectionModel::NoUpdate);
  view_->selectionModel()->select(moved, QItemSelectionModel::ClearAndSelect);
}

void ListCommands::reportAdd(int unconvertible, const std::vector<std::string>& unreadable,
                             QStringList unreadableHere) {
  for (const std::string& dir : unreadable) unreadableHere << text::toQt(dir);
  if (!unreadableHere.isEmpty())
    dialogs_.message(window_, platform::programTitle(),
                     QStringLiteral("无法读取目录：") + unreadableHere.join(QStringLiteral("\r\n")),
                     platform::Dialogs::Icon::Exclamation);
  if (unconvertible <= 0) return;
  dialogs_.message(
      window_, platform::programTitle(),
      QStringLiteral("有 %1 个文件未加入列表：文件名含有程序无法表示的字符。").arg(unconvertible),
      platform::Dialogs::Icon::Exclamation);
}

namespace {
// "*.*" hides names without a dot (readme, Makefile) where a dot is no part of every name.
#ifdef _WIN32
const QString kAllFiles = QStringLiteral("所有文件(*.*)|*.*");
#else
const QString kAllFiles = QStringLiteral("所有文件(*)|*");
#endif

// Every extension the MP3 rule names, in the filter's own way: "*.mp3;wav;wma;...".
QString musicPatterns() {
  QStringList extensions;
  for (const std::string_view e : tags::namedExtensions())
    extensions << QString::fromLatin1(e.data(), static_cast<qsizetype>(e.size()));
  return QStringLiteral("*.") + extensions.join(';');
}
}  // namespace

void ListCommands::addFilesDialog() {
  const QStringList chosen =
      dialogs_.openFiles(window_, QStringLiteral("请选择文件(可多选)："),
                         kAllFiles + QStringLiteral("|音乐文件(%1)|%1").arg(musicPatterns()) +
                             QStringLiteral("|图片文件(*.gif;*.jpg;*.jpeg;*.bmp;*.png)|*.gif;*.jpg;*.jpeg;*."
                                            "bmp;*.png|文本文件(*.txt)|*.txt"),
                         text::toQt(session_.rememberedDirectory()));
  if (chosen.isEmpty()) return;
  int skipped = 0;
  const std::vector<std::string> paths = codePagePaths(chosen, skipped);
  stoppable([&] { session_.addChosenFiles(paths); });
  reportAdd(skipped, {}, {});
}

void ListCommands::addDirectory(const QString& given, bool ask) {
  const QString chosen = ask ? dialogs_.chooseFolder(window_, QStringLiteral("请选择一个目录")) : given;
  if (chosen.isEmpty()) return;
  int skipped = 0;
  const std::vector<std::string> dir = codePagePaths({chosen}, skipped);
  AddReport r;
  if (!dir.empty()) stoppable([&] { r = session_.addFolder(dir.front()); });
  // A folder whose own name the program cannot hold is named as one that cannot be read.
  reportAdd(r.unconvertible, r.unreadable,
            dir.empty() ? QStringList{QDir::toNativeSeparators(chosen)} : QStringList{});
}

void ListCommands::addDroppedItems(const QStringList& paths, const std::vector<QByteArray>& systemPaths) {
  int skipped = 0;
  QStringList unconvertibleFolders;
  AddReport r;
  stoppable([&] {
    std::vector<std::string> converted = codePagePaths(paths, skipped, &unconvertibleFolders);
    std::vector<std::string> bytes;
    for (const QByteArray& b : systemPaths)
      bytes.emplace_back(b.constData(), static_cast<std::size_t>(b.size()));
    Session::SystemPaths sys = Session::fromSystemBytes(bytes);
    for (std::string& f : sys.files) converted.push_back(std::move(f));
    for (const std::string& f : sys.folders) unconvertibleFolders << text::toQt(f);
    skipped += sys.skipped;
    r = session_.addDropped(converted);
  });
  reportAdd(skipped + r.unconvertible, r.unreadable, unconvertibleFolders);
}

QPoint ListCommands::menuPlace() const {
  const QRect row = view_->visualRect(view_->currentIndex().siblingAtColumn(0));
  if (row.isValid() && view_->viewport()->rect().intersects(row)) return row.bottomLeft();
  return {0, 0};
}

bool ListCommands::eventFilter(QObject* watched, QEvent* e) {
  if (watched == view_ && e->type() == QEvent::KeyPress) {
    const auto* k = static_cast<QKeyEvent*>(e);
    const Qt::KeyboardModifiers mods =
        k->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    // The keyboard's way to the pop-up menu, at the current row.
    if (k->key() == Qt::Key_Menu || (k->key() == Qt::Key_F10 && mods == Qt::ShiftModifier)) {
      emit menuRequested(view_->viewport()->mapToGlobal(menuPlace()));
      return true;
    }
    if (k->key() == Qt::Key_Delete) {
      deleteSelectedEntries();
      return true;
    }
    if ((k->key() == Qt::Key_Up || k->key() == Qt::Key_Down) && mods == Qt::ControlModifier) {
      moveSelected(k->key() == Qt::Key_Up);
      return true;
    }
    if (k->key() == Qt::Key_A && mods & Qt::ControlModifier) {
      // Only Ctrl alone selects; Ctrl+Shift+A must not reach the view's own select-all either.
      if (mods == Qt::ControlModifier) selectAllRows();
      return true;
    }
  }
  if (watched == view_->viewport() && e->type() == QEvent::MouseButtonDblClick) {
    const auto* m = static_cast<QMouseEvent*>(e);
    if (!view_->indexAt(m->position().toPoint()).isValid()) {
      view_->selectionModel()->clearSelection();
      emit tagEditorRequested(false);
      return true;
    }
  }
  return QObject::eventFilter(watched, e);
}

}  // namespace qorin::session
