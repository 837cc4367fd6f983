// SPDX-License-Identifier: GPL-3.0-or-later
// Tab 日期 in the window, and the list's 排序 menu.
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include "answering_dialogs.h"
#include "app/main_window.h"
#include "list_cells.h"
#include "rules/gui/date_tab.h"
#include "ui_date_page.h"

using namespace qorin;
using namespace qorin::app;
using namespace qorin::filelist;
using qorin::testing::cell;
using qorin::testing::menuEntry;

namespace {

Ui::DatePage* datePage(MainWindow& w) {
  return static_cast<rules::DateTab*>(w.ruleTab(rules::kRuleIndex<rules::DateOptions>))->ui();
}

QStringList column(MainWindow& w, int col) {
  QStringList out;
  for (int r = 0; r < w.listView()->model()->rowCount(); ++r) out << cell(w, r, col);
  return out;
}

// Files of the given sizes, modified at the local times given.
void makeFile(const QString& dir, const QString& name, int size, const QDateTime& modified) {
  QFile f(QDir(dir).filePath(name));
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write(QByteArray(size, 'x'));
  f.flush();  // before the time is set, or closing writes it again
  QVERIFY(f.setFileTime(modified, QFileDevice::FileModificationTime));
}

}  // namespace

class DateTabTest : public QObject {
  Q_OBJECT

 private slots:
  void controlsStartAtTheirDefaults() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    MainWindow w(home.places(), dialogs);
    const int tab = rules::kRuleIndex<rules::DateOptions>;
    QCOMPARE(tab, 5);
    QCOMPARE(w.tabs()->tabText(tab), QStringLiteral("日期"));
    Ui::DatePage* p = datePage(w);
    QCOMPARE(p->日期来源组合框->count(), 3);
    QCOMPARE(p->日期来源组合框->currentText(), QStringLiteral("修改时间"));
    QCOMPARE(p->日期来源组合框->itemText(1), QStringLiteral("拍摄时间"));
    QCOMPARE(p->日期来源组合框->itemText(2), QStringLiteral("创建时间"));
    QCOMPARE(p->日期格式编辑框->text(), QStringLiteral("yyyy-MM-dd_HHmmss"));
    QVERIFY(p->日期替换文件名单选框->isChecked());
    QCOMPARE(p->日期分隔编辑框->text(), QStringLiteral("_"));
    // The separator only counts beside the old name.
    QVERIFY(!p->日期分隔编辑框->isEnabled());
    p->日期加在前面单选框->click();
    QVERIFY(p->日期分隔编辑框->isEnabled());
  }

  void previewNotesRenameAndUndo() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir dir;
    const QDateTime burst(QDate(2023, 7, 1), QTime(9, 30, 15));
    for (const char* n : {"c.png", "a.png", "b.png"}) makeFile(dir.path(), QString::fromUtf8(n), 1, burst);
    MainWindow w(home.places(), dialogs);
    w.session().settings().autoPreview = 1;
    w.list()->addDirectory(dir.path(), false);
    w.tabs()->setCurrentIndex(rules::kRuleIndex<rules::DateOptions>);
    Ui::DatePage* p = datePage(w);
    p->日期来源组合框->setCurrentIndex(1);  // no EXIF in these: the modification time, noted
    w.toolbarClicked(MainWindow::kPreview);
    const QStringList named{"2023-07-01_093015.png", "2023-07-01_093015_1.png", "2023-07-01_093015_2.png"};
    QCOMPARE(column(w, kColNew), named);
    QCOMPARE(cell(w, 0, kColNew, Qt::ToolTipRole), QStringLiteral("没有拍摄时间，用了修改时间"));
    QVERIFY(!w.listView()->model()->index(0, kColNew).data(Qt::ForegroundRole).isValid());  // no conflict

    p->日期加在后面单选框->click();
    p->日期分隔编辑框->setText(QStringLiteral("@"));
    p->日期格式编辑框->setText(QStringLiteral("日期yyMMdd"));
    w.toolbarClicked(MainWindow::kPreview);
    QCOMPARE(column(w, kColNew), (QStringList{"a@日期230701.png", "b@日期230701.png", "c@日期230701.png"}));

    p->日期替换文件名单选框->click();
    p->日期格式编辑框->setText(QStringLiteral("yyyy-MM-dd_HHmmss"));
    w.toolbarClicked(MainWindow::kRename);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), named);
    dialogs.answers.push_back(true);
    w.toolbarClicked(MainWindow::kUndo);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), (QStringList{"a.png", "b.png", "c.png"}));
  }

  void sortMenuOrdersTheListAndNumberingFollows() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir dir;
    const QDateTime t(QDate(2020, 1, 1), QTime(8, 0));
    makeFile(dir.path(), "a", 30, t.addSecs(20));
    makeFile(dir.path(), "b", 10, t.addSecs(30));
    makeFile(dir.path(), "c", 30, t.addSecs(10));
    MainWindow w(home.places(), dialogs);
    w.session().settings().autoPreview = 1;
    w.list()->addDirectory(dir.path(), false);

    QStringList texts;
    for (QAction* a : w.listMenu()->actions()) texts << a->text();
    const int down = texts.indexOf(QStringLiteral("下移(&W)"));
    QVERIFY(down >= 0);
    QAction* sort = w.listMenu()->actions().value(down + 1);
    QVERIFY(sort && sort->menu());
    QCOMPARE(sort->text(), QStringLiteral("排序(&S)"));
    const auto entry = [&](const char* text) -> QAction* {
      for (QAction* a : sort->menu()->actions())
        if (a->text() == QString::fromUtf8(text)) return a;
      return nullptr;
    };
    const struct {
      const char* entry;
      QStringList order;
    } steps[] = {
        {"按大小", {"b", "a", "c"}},  // a and c alike: as they were
        {"倒序", {"c", "a", "b"}},       {"按修改时间", {"c", "a", "b"}},
        {"按拍摄时间", {"c", "a", "b"}},  // no EXIF: as by modification time
        {"按文件名", {"a", "b", "c"}},   {"倒序", {"c", "b", "a"}},
    };
    for (const auto& s : steps) {
      QAction* a = entry(s.entry);
      QVERIFY2(a, s.entry);
      a->trigger();
      QCOMPARE(column(w, kColOld), s.order);
      QCOMPARE(column(w, kColNew), (QStringList{"0", "1", "2"}));  // 常规 numbers in the order shown
    }
  }
};

QTEST_MAIN(DateTabTest)
#include "test_date_tab.moc"
