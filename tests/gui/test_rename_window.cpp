#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

#include "answering_dialogs.h"
#include "app/main_window.h"
#include "session/settings.h"

using namespace qorin;
using namespace qorin::session;
using namespace qorin::app;
using namespace qorin::filelist;

class RenameWindowTest : public QObject {
  Q_OBJECT

  static QString cell(MainWindow& w, int row, int col) {
    return w.listView()->model()->index(row, col).data().toString();
  }
  static QStringList filesIn(const QString& dir) { return QDir(dir).entryList(QDir::Files, QDir::Name); }

  // Ten files a0..a9; the prefix "n" makes them n0 .. n9 with the general rule.
  static void prepare(MainWindow& w, const QString& dir) {
    QStringList names;
    for (int i = 0; i < 10; ++i) names << QStringLiteral("a%1").arg(i);
    testing::makeFiles(dir, names, "content");
    w.list()->addDirectory(dir, false);
    testing::generalPage(w)->文件名前缀编辑框->setText(QStringLiteral("n"));
  }

 private slots:
  void allRenamedThenUndone() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir dir;
    MainWindow w(home.places(), dialogs);
    w.session().settings().autoPreview = 1;
    prepare(w, dir.path());
    QVERIFY(!w.toolbarAction(3)->isEnabled());
    w.toolbarClicked(MainWindow::kRename);
    QCOMPARE(dialogs.messages.size(), 1);
    QCOMPARE(dialogs.messages[0].text, QStringLiteral("文件更名完毕！"));
    QCOMPARE(dialogs.messages[0].title, QStringLiteral("Qorin批量更名器"));
    QCOMPARE(dialogs.messages[0].icon, platform::Dialogs::Icon::Information);
    QVERIFY(w.statusPart(1)->text().isEmpty());
    QVERIFY(w.toolbarAction(3)->isEnabled() && w.toolbarAction(4)->isEnabled());
    QCOMPARE(filesIn(dir.path()).first(), QStringLiteral("n0"));
    QCOMPARE(cell(w, 9, kColOld), QStringLiteral("n9"));
    QCOMPARE(cell(w, 9, kColStatus), QStringLiteral("更名成功"));

    // No changes nothing; Yes gives every name back.
    w.toolbarClicked(MainWindow::kUndo);
    QCOMPARE(dialogs.messages.size(), 2);
    QCOMPARE(dialogs.messages[1].title, QStringLiteral("询问："));
    QCOMPARE(dialogs.messages[1].text, QStringLiteral("是否真的撤消上一次操作？"));
    QVERIFY(dialogs.messages[1].question);
    QVERIFY(w.toolbarAction(3)->isEnabled());
    QCOMPARE(cell(w, 0, kColOld), QStringLiteral("n0"));
    dialogs.answers.push_back(true);
    w.toolbarClicked(MainWindow::kUndo);
    QCOMPARE(dialogs.messages.size(), 4);
    QCOMPARE(dialogs.messages[3].text, QStringLiteral("上一次的操作已经成功撤消！"));
    QCOMPARE(dialogs.messages[3].icon, platform::Dialogs::Icon::Information);
    QCOMPARE(cell(w, 0, kColOld), QStringLiteral("a0"));
    QCOMPARE(cell(w, 0, kColStatus), QStringLiteral("撤消成功"));
    QCOMPARE(cell(w, 0, kColNew), QStringLiteral("n0"));  // the undone pass's names stay visible
    QVERIFY(!w.toolbarAction(3)->isEnabled());
    QCOMPARE(filesIn(dir.path()).first(), QStringLiteral("a0"));
    QVERIFY(w.statusPart(1)->text().isEmpty());
  }

  void failuresAreCountedAndShown() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir dir;
    MainWindow w(home.places(), dialogs);
    prepare(w, dir.path());
    testing::makeFiles(dir.path(), {"n2", "n5", "n7"}, "other");  // three targets taken
    w.toolbarClicked(MainWindow::kRename);
    QCOMPARE(dialogs.messages.size(), 1);
    QCOMPARE(dialogs.messages[0].text,
             QStringLiteral("文件总数：10 个文件\r\n\r\n7 个文件更名成功！\r\n3 个文件更名失败！"));
    QCOMPARE(dialogs.messages[0].icon, platform::Dialogs::Icon::Exclamation);
    QCOMPARE(cell(w, 2, kColStatus), QStringLiteral("更名失败"));
    QCOMPARE(cell(w, 2, kColOld), QStringLiteral("a2"));
    QCOMPARE(cell(w, 2, kColNew), QStringLiteral("n2"));
    QCOMPARE(w.listView()->model()->index(2, kColStatus).data(Qt::ToolTipRole).toString(),
             QStringLiteral("目标文件已存在"));
    QCOMPARE(filesIn(dir.path()).size(), 13);  // nothing overwritten
    QFile taken(QDir(dir.path()).filePath(QStringLiteral("n2")));
    QVERIFY(taken.open(QIODevice::ReadOnly));
    QCOMPARE(taken.readAll(), QByteArray("other"));

    dialogs.answers.push_back(true);
    w.toolbarClicked(MainWindow::kUndo);
    // The undo counts the files the pass renamed; the failed rows were never touched.
    QCOMPARE(dialogs.messages.last().text, QStringLiteral("上一次的操作已经成功撤消！"));
    QCOMPARE(dialogs.messages.last().icon, platform::Dialogs::Icon::Information);
    QCOMPARE(cell(w, 1, kColStatus), QStringLiteral("撤消成功"));
    QCOMPARE(cell(w, 2, kColStatus), QStringLiteral("更名失败"));
    QCOMPARE(filesIn(dir.path()).size(), 13);
  }

  void passUsesFreshNamesForEveryEntryAndShowsProgress() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir dir;
    MainWindow w(home.places(), dialogs);
    w.session().settings().autoPreview = 1;
    w.session().settings().previewCount = 3;
    prepare(w, dir.path());
    QVERIFY(cell(w, 5, kColNew).isEmpty());
    QSignalSpy painted(w.listView()->model(), &QAbstractItemModel::dataChanged);
    QSignalSpy resets(w.listView()->model(), &QAbstractItemModel::modelReset);
    w.toolbarClicked(MainWindow::kRename);
    QCOMPARE(filesIn(dir.path()).last(), QStringLiteral("n9"));
    QCOMPARE(resets.count(), 0);  // rows are updated one by one, the view is never reset
    QVERIFY(painted.count() >= 10);
  }
};

QTEST_MAIN(RenameWindowTest)
#include "test_rename_window.moc"
