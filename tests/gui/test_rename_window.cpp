// SPDX-License-Identifier: GPL-3.0-or-later
#include <QAbstractButton>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

#include "answering_dialogs.h"
#include "app/main_window.h"
#include "session/gui/rename_commands.h"
#include "session/settings.h"
#include "stop_midway.h"

using namespace qorin;
using namespace qorin::session;
using namespace qorin::app;
using namespace qorin::filelist;

using qorin::testing::StopWhenHalfDone;

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
  // The core tells how far it is; the status bar draws a mark a twentieth.
  void progressIsDrawnAsMarks() {
    QCOMPARE(session::progressBar(3, 20), QStringLiteral("■■■"));
    QCOMPARE(session::progressBar(7, 7), QString(20, QChar(0x25A0)));
    QCOMPARE(session::progressBar(0, 0), QString());
  }

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
    // The question names the pass: when, where, how many files.
    const QString pass = QRegularExpression::escape(QDir::toNativeSeparators(dir.path()) +
                                                    QStringLiteral("/ 的更名（10 个文件）？"));
    QVERIFY2(QRegularExpression(QStringLiteral("^撤消 \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d 在 ") + pass + '$')
                 .match(dialogs.messages[1].text)
                 .hasMatch(),
             qPrintable(dialogs.messages[1].text));
    QVERIFY(dialogs.messages[1].question);
    QVERIFY(w.toolbarAction(3)->isEnabled());
    QCOMPARE(cell(w, 0, kColOld), QStringLiteral("n0"));
    dialogs.answers.push_back(true);
    w.toolbarClicked(MainWindow::kUndo);
    QCOMPARE(dialogs.messages.size(), 4);
    QCOMPARE(dialogs.messages[3].text.section(QStringLiteral("\r\n"), 0, 0),
             QStringLiteral("上一次的操作已经成功撤消！"));
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
    QCOMPARE(dialogs.messages.last().text.section(QStringLiteral("\r\n"), 0, 0),
             QStringLiteral("上一次的操作已经成功撤消！"));
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
    QCOMPARE(resets.count(), 0);  // rows are updated in place, the view is never reset
    QVERIFY(!painted.isEmpty());
    int top = 10, bottom = -1;
    for (const QList<QVariant>& change : painted) {
      top = std::min(top, change[0].value<QModelIndex>().row());
      bottom = std::max(bottom, change[1].value<QModelIndex>().row());
    }
    QCOMPARE(top, 0);
    QCOMPARE(bottom, 9);
  }

  // The folder replaced by a link to another one between adding and the
  // pass: the other folder keeps its names, every row fails and says why.
  void aFolderSwappedForALinkIsNotRenamedIn() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir root;
    const QString work = root.filePath(QStringLiteral("work")),
                  other = root.filePath(QStringLiteral("other"));
    QStringList names;
    for (int i = 0; i < 10; ++i) names << QStringLiteral("a%1").arg(i);
    testing::makeFiles(other, names, "other");
    MainWindow w(home.places(), dialogs);
    prepare(w, work);
    QVERIFY(QDir(root.path()).rename(QStringLiteral("work"), QStringLiteral("work.moved")));
    QVERIFY(QFile::link(other, work));
    w.toolbarClicked(MainWindow::kRename);
    QCOMPARE(dialogs.messages.last().text,
             QStringLiteral("文件总数：10 个文件\r\n\r\n0 个文件更名成功！\r\n10 个文件更名失败！"));
    for (int r = 0; r < 10; ++r) {
      QCOMPARE(cell(w, r, kColStatus), QStringLiteral("更名失败"));
      QCOMPARE(w.listView()->model()->index(r, kColStatus).data(Qt::ToolTipRole).toString(),
               QStringLiteral("目录已被更改"));
    }
    QCOMPARE(filesIn(other), names);
    QCOMPARE(filesIn(root.filePath(QStringLiteral("work.moved"))), names);
    QVERIFY(!w.toolbarAction(MainWindow::kUndo)->isEnabled());
  }

  // A pass over 20,000 files stopped half way, by Esc or by the 停止 entry:
  // what was done is counted, recorded and undone.
  void aLongPassStopsMidwayAndIsUndone_data() {
    QTest::addColumn<bool>("byEsc");
    QTest::newRow("Esc") << true;
    QTest::newRow("停止") << false;
  }
  void aLongPassStopsMidwayAndIsUndone() {
    QFETCH(bool, byEsc);
    constexpr int kFiles = 20000;
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir dir;
    QStringList names;
    for (int i = 0; i < kFiles; ++i) names << QStringLiteral("f%1").arg(i);
    testing::makeFiles(dir.path(), names);
    MainWindow w(home.places(), dialogs);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.list()->addDirectory(dir.path(), false);
    testing::generalPage(w)->文件名前缀编辑框->setText(QStringLiteral("n"));
    auto* stop = w.statusPart(1)->findChild<QAbstractButton*>(QStringLiteral("停止按钮"));
    QVERIFY(stop && !stop->isVisible());

    // Once half the marks are painted, the user asks to stop.
    StopWhenHalfDone asker(w.statusPart(1), byEsc ? static_cast<QWidget*>(w.listView()) : stop, byEsc);
    w.toolbarClicked(MainWindow::kRename);
    QVERIFY(asker.asked);
    QVERIFY(asker.stopShown);
    QVERIFY(!stop->isVisible());

    const QRegularExpression summary(
        QStringLiteral("^文件总数：20000 个文件\r\n\r\n(\\d+) 个文件更名成功！\r\n0 "
                       "个文件更名失败！\r\n(\\d+) 个文件因停止而未更名。$"));
    const QRegularExpressionMatch m = summary.match(dialogs.messages.last().text);
    QVERIFY2(m.hasMatch(), qPrintable(dialogs.messages.last().text));
    const int renamed = m.captured(1).toInt();
    QCOMPARE(renamed + m.captured(2).toInt(), kFiles);
    QVERIFY2(renamed >= kFiles / 2 && renamed < kFiles, qPrintable(QString::number(renamed)));
    QCOMPARE(dialogs.messages.last().icon, platform::Dialogs::Icon::Exclamation);
    const QStringList now = filesIn(dir.path());
    QCOMPARE(now.size(), kFiles);
    int onDisk = 0, shown = 0;
    for (const QString& f : now) onDisk += f.startsWith(QLatin1Char('n'));
    for (int r = 0; r < kFiles; ++r) shown += cell(w, r, kColStatus) == QStringLiteral("更名成功");
    QCOMPARE(onDisk, renamed);
    QCOMPARE(shown, renamed);
    QVERIFY(w.toolbarAction(MainWindow::kUndo)->isEnabled());

    dialogs.answers.push_back(true);
    w.toolbarClicked(MainWindow::kUndo);
    QCOMPARE(dialogs.messages.last().text.section(QStringLiteral("\r\n"), 0, 0),
             QStringLiteral("上一次的操作已经成功撤消！"));
    QStringList back = filesIn(dir.path());
    names.sort();
    QCOMPARE(back, names);
    QVERIFY(!w.toolbarAction(MainWindow::kUndo)->isEnabled());
  }

  // A folder another pass holds is waited for with a message; cancelled,
  // nothing is renamed, and once let go the pass runs.
  void aPassWaitsForAFolderAnotherHolds_data() {
    QTest::addColumn<bool>("cancel");
    QTest::newRow("取消") << true;
    QTest::newRow("let go") << false;
  }
  void aPassWaitsForAFolderAnotherHolds() {
    QFETCH(bool, cancel);
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir dir;
    MainWindow w(home.places(), dialogs);
    prepare(w, dir.path());
    const FileList& list = w.session().list();
    const FolderInfo& folder = list.folder(list.folderOf(0));
    platform::FolderLocks other(home.places().stateDir, {{folder.identity.device, folder.identity.inode}});
    QCOMPARE(other.take(), platform::LockResult::Held);
    // Tried once more while still held, then cancelled or let go.
    dialogs.waits = {[] { return true; },
                     [&] {
                       if (!cancel) other.release();
                       return !cancel;
                     }};
    const QStringList before = filesIn(dir.path());
    w.toolbarClicked(MainWindow::kRename);
    QVERIFY(dialogs.waits.empty());
    QVERIFY(dialogs.messages[0].text.startsWith(QStringLiteral("另一个更名正在这个文件夹里进行：")));
    QVERIFY(dialogs.messages[0].text.contains(QString::fromStdString(folder.dir)));
    if (cancel) {
      QCOMPARE(dialogs.messages.size(), 1);
      QCOMPARE(filesIn(dir.path()), before);
      QCOMPARE(cell(w, 0, kColStatus), QString());
    } else {
      QCOMPARE(dialogs.messages.size(), 2);
      QCOMPARE(dialogs.messages[1].text, QStringLiteral("文件更名完毕！"));
      QCOMPARE(filesIn(dir.path()).first(), QStringLiteral("n0"));
    }
  }

  // While the pass runs, clicks and keys other than Esc reach nothing.
  void otherInputWaitsWhileThePassRuns() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir dir;
    MainWindow w(home.places(), dialogs);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QStringList more;
    for (int i = 0; i < 3000; ++i) more << QStringLiteral("b%1").arg(i);
    testing::makeFiles(dir.path(), more);
    prepare(w, dir.path());
    const int rows = w.fileList().rowCount();
    // A Delete key and a close are posted as the pass begins.
    w.listView()->selectAll();
    QCoreApplication::postEvent(w.listView(),
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier));
    QCoreApplication::postEvent(&w, new QCloseEvent);
    w.toolbarClicked(MainWindow::kRename);
    QCoreApplication::processEvents();  // nor were they held back for later
    QCOMPARE(w.fileList().rowCount(), rows);
    QVERIFY(w.isVisible());
    QCOMPARE(dialogs.messages.last().text, QStringLiteral("文件更名完毕！"));
  }
};

QTEST_MAIN(RenameWindowTest)
#include "test_rename_window.moc"
