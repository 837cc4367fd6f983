// SPDX-License-Identifier: GPL-3.0-or-later
// The order the user sees: natural order from folders and the dialog, sorting
// by a column header, moving rows; numbering and the pass follow it.
#include <QDir>
#include <QHeaderView>
#include <QMenu>
#include <QTest>
#include <QTreeView>

#include "answering_dialogs.h"
#include "app/main_window.h"

using namespace qorin;
using namespace qorin::app;
using namespace qorin::filelist;

namespace {

QStringList column(MainWindow& w, int col) {
  QStringList out;
  for (int r = 0; r < w.listView()->model()->rowCount(); ++r)
    out << w.listView()->model()->index(r, col).data().toString();
  return out;
}

void selectRows(MainWindow& w, const QList<int>& rows) {
  w.listView()->selectionModel()->clearSelection();
  for (int r : rows)
    w.listView()->selectionModel()->select(w.listView()->model()->index(r, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void pressOnList(MainWindow& w, Qt::Key key) { QTest::keyClick(w.listView(), key, Qt::ControlModifier); }

}  // namespace

class ListOrderTest : public QObject {
  Q_OBJECT

 private slots:
  void foldersAndTheDialogComeInNaturalOrder() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir dir;
    testing::makeFiles(dir.path(), {"第10集.mp4", "第2集.mp4", "第1集.mp4"});
    MainWindow w(home.places(), dialogs);
    w.list()->addDirectory(dir.path(), false);
    QCOMPARE(column(w, kColOld), (QStringList{"第1集.mp4", "第2集.mp4", "第10集.mp4"}));
    w.list()->clearList();
    QStringList chosen;
    for (const char* n : {"d", "c", "a", "b"}) chosen << QDir(dir.path()).filePath(QString::fromUtf8(n));
    testing::makeFiles(dir.path(), {"a", "b", "c", "d"});
    dialogs.files.push_back(chosen);
    w.list()->addFilesDialog();
    QCOMPARE(column(w, kColOld), (QStringList{"a", "b", "c", "d"}));
  }

  void headerClicksSortEachColumnAndBack() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir base;
    const QString one = QDir(base.path()).filePath("f10"), two = QDir(base.path()).filePath("f2");
    testing::makeFiles(one, {"IMG_10.jpg", "IMG_9.jpg"});
    testing::makeFiles(two, {"img_1.jpg"});
    MainWindow w(home.places(), dialogs);
    w.session().settings().autoPreview = 1;
    w.session().settings().previewAllEntries = 1;
    w.applyDisplaySettings();
    w.list()->addDirectory(two, false);
    w.list()->addDirectory(one, false);
    QCOMPARE(column(w, kColOld), (QStringList{"img_1.jpg", "IMG_9.jpg", "IMG_10.jpg"}));
    QHeaderView* header = w.listView()->header();

    emit header->sectionClicked(kColOld);
    QVERIFY(header->isSortIndicatorShown());
    QCOMPARE(header->sortIndicatorSection(), int(kColOld));
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(column(w, kColOld), (QStringList{"img_1.jpg", "IMG_9.jpg", "IMG_10.jpg"}));
    emit header->sectionClicked(kColOld);
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(column(w, kColOld), (QStringList{"IMG_10.jpg", "IMG_9.jpg", "img_1.jpg"}));
    // Numbering follows the shown order.
    QCOMPARE(column(w, kColNew), (QStringList{"0.jpg", "1.jpg", "2.jpg"}));

    emit header->sectionClicked(kColDir);  // another column starts ascending; equal folders keep their order
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(column(w, kColOld), (QStringList{"img_1.jpg", "IMG_10.jpg", "IMG_9.jpg"}));  // f2 before f10
    for (int col : {int(kColNew), int(kColStatus), int(kColMp3)}) {
      emit header->sectionClicked(col);
      QCOMPARE(w.fileList().rowCount(), 3);
    }

    // The pass renames in the shown order.
    emit header->sectionClicked(kColOld);
    emit header->sectionClicked(kColOld);  // descending again
    w.toolbarClicked(MainWindow::kRename);
    QCOMPARE(QDir(one).entryList(QDir::Files), (QStringList{"0.jpg", "1.jpg"}));
    QCOMPARE(QDir(two).entryList(QDir::Files), QStringList{"2.jpg"});
  }

  void ctrlArrowsAndTheMenuMoveTheSelectedRows() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir dir;
    testing::makeFiles(dir.path(), {"a", "b", "c", "d", "e"});
    MainWindow w(home.places(), dialogs);
    w.session().settings().autoPreview = 1;
    w.session().settings().previewAllEntries = 1;
    w.applyDisplaySettings();
    w.list()->addDirectory(dir.path(), false);

    selectRows(w, {2, 3});
    pressOnList(w, Qt::Key_Up);
    QCOMPARE(column(w, kColOld), (QStringList{"a", "c", "d", "b", "e"}));
    pressOnList(w, Qt::Key_Up);
    pressOnList(w, Qt::Key_Up);  // already at the top: stays
    QCOMPARE(column(w, kColOld), (QStringList{"c", "d", "a", "b", "e"}));
    QCOMPARE(w.listView()->selectionModel()->selectedRows().size(), 2);  // the selection moved along
    QCOMPARE(column(w, kColNew), (QStringList{"0", "1", "2", "3", "4"}));

    selectRows(w, {0, 4});
    pressOnList(w, Qt::Key_Down);  // the last row cannot go further, the first one can
    QCOMPARE(column(w, kColOld), (QStringList{"d", "c", "a", "b", "e"}));

    // The pop-up menu offers the same after 全选.
    QStringList texts;
    for (QAction* a : w.listMenu()->actions()) texts << a->text();
    const int all = texts.indexOf(QStringLiteral("全选"));
    QVERIFY(all >= 0);
    QCOMPARE(texts.mid(all + 1, 2), (QStringList{"上移(&P)", "下移(&W)"}));
    selectRows(w, {1});
    w.listMenu()->actions()[all + 2]->trigger();
    QCOMPARE(column(w, kColOld), (QStringList{"d", "a", "c", "b", "e"}));

    w.toolbarClicked(MainWindow::kRename);
    QCOMPARE(column(w, kColOld), (QStringList{"0", "1", "2", "3", "4"}));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), (QStringList{"0", "1", "2", "3", "4"}));
    dialogs.answers.push_back(true);
    w.toolbarClicked(MainWindow::kUndo);
    QCOMPARE(column(w, kColOld), (QStringList{"d", "a", "c", "b", "e"}));
  }

  void subfoldersAndHiddenFilesFollowTheOptionsMenu() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("sub");
    testing::makeFiles(dir.path(), {".hidden", "top"});
    testing::makeFiles(QDir(dir.path()).filePath("sub"), {"inner"});
    MainWindow w(home.places(), dialogs);
    w.list()->addDirectory(dir.path(), false);
    QCOMPARE(column(w, kColOld), QStringList{"top"});
    w.list()->clearList();
    w.session().settings().includeSubfolders = true;
    w.session().settings().includeHidden = true;
    w.list()->addDirectory(dir.path(), false);
    QCOMPARE(column(w, kColOld), (QStringList{".hidden", "top", "inner"}));
    QVERIFY(column(w, kColDir)[2].endsWith(QStringLiteral("sub") + QDir::separator()));
  }
};

QTEST_MAIN(ListOrderTest)
#include "test_list_order.moc"
