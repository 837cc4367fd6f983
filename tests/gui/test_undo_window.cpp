// SPDX-License-Identifier: GPL-3.0-or-later
// Renaming that can always be taken back, seen from the window: undo from the
// record whatever the list holds now, across a restart, after a pass cut
// short, and the marks that say beforehand why a proposal will not apply.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTest>
#include <QTreeView>

#include "../core/unreadable_folders.h"
#include "answering_dialogs.h"
#include "app/main_window.h"
#include "filelist/gui/file_list_model.h"
#include "platform/gui/colours.h"

using namespace qorin;
using namespace qorin::app;
using namespace qorin::filelist;

class UndoWindowTest : public QObject {
  Q_OBJECT

  static QString cell(MainWindow& w, int row, int col, int role = Qt::DisplayRole) {
    return w.listView()->model()->index(row, col).data(role).toString();
  }
  static QStringList filesIn(const QString& dir) { return QDir(dir).entryList(QDir::Files, QDir::Name); }
  static QByteArray contentOf(const QString& dir, const QString& name) {
    QFile f(QDir(dir).filePath(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  // Files 1.txt .. n.txt holding their own number, renumbered from 0: every
  // new name but the last is another file's old name.
  static void renumberFromZero(MainWindow& w, const QString& dir, int n) {
    for (int i = 1; i <= n; ++i)
      testing::makeFiles(dir, {QStringLiteral("%1.txt").arg(i)}, QByteArray::number(i));
    w.list()->addDirectory(dir, false);
    w.toolbarClicked(MainWindow::kRename);
  }
  // Answers Yes to the undo's question; every renumbered file comes back
  // under its own number.
  static void undoRenumbering(MainWindow& w, testing::AnsweringDialogs& dialogs, const QString& dir, int n) {
    dialogs.answers.push_back(true);
    w.toolbarClicked(MainWindow::kUndo);
    QCOMPARE(dialogs.messages.last().text.section(QStringLiteral("\r\n"), 0, 0),
             QStringLiteral("上一次的操作已经成功撤消！"));
    QStringList names;
    for (int i = 1; i <= n; ++i) names << QStringLiteral("%1.txt").arg(i);
    QCOMPARE(filesIn(dir), names);
    for (int i = 1; i <= n; ++i)
      QCOMPARE(contentOf(dir, QStringLiteral("%1.txt").arg(i)), QByteArray::number(i));
  }
  static void previewAll(MainWindow& w) {
    w.session().settings().autoPreview = 1;
    w.session().settings().previewAllEntries = 1;
    w.applyDisplaySettings();
  }

 private slots:
  void aShiftComesBackWholeAfterRowsWereRemovedAndAdded() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir dir, other;
    MainWindow w(home.places(), dialogs);
    renumberFromZero(w, dir.path(), 3);
    QCOMPARE(dialogs.messages.last().text, QStringLiteral("文件更名完毕！"));
    QCOMPARE(filesIn(dir.path()), (QStringList{"0.txt", "1.txt", "2.txt"}));
    QCOMPARE(contentOf(dir.path(), "0.txt"), QByteArray("1"));

    w.listView()->selectionModel()->select(w.listView()->model()->index(1, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    w.list()->deleteSelectedEntries();
    testing::makeFiles(other.path(), {"late.txt"}, "late");
    w.list()->addDirectory(other.path(), false);

    undoRenumbering(w, dialogs, dir.path(), 3);
    QCOMPARE(filesIn(other.path()), QStringList{"late.txt"});  // added after the pass: untouched
    QCOMPARE(cell(w, 0, kColOld), QStringLiteral("1.txt"));
    QCOMPARE(cell(w, 0, kColStatus), QStringLiteral("撤消成功"));
    QCOMPARE(cell(w, 2, kColStatus), QString());  // the late row is not part of the undo
    QVERIFY(!w.toolbarAction(MainWindow::kUndo)->isEnabled());
  }

  void theUndoOutlivesTheProgram() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir dir;
    {
      MainWindow w(home.places(), dialogs);
      QVERIFY(!w.toolbarAction(MainWindow::kUndo)->isEnabled());
      renumberFromZero(w, dir.path(), 4);
      QVERIFY(w.toolbarAction(MainWindow::kUndo)->isEnabled());
    }
    MainWindow again(home.places(), dialogs);
    QCOMPARE(again.fileList().rowCount(), 0);
    QVERIFY(again.toolbarAction(MainWindow::kUndo)->isEnabled());
    dialogs.answers.push_back(true);
    again.toolbarClicked(MainWindow::kUndo);
    QCOMPARE(dialogs.messages.last().text.section(QStringLiteral("\r\n"), 0, 0),
             QStringLiteral("上一次的操作已经成功撤消！"));
    QCOMPARE(filesIn(dir.path()), (QStringList{"1.txt", "2.txt", "3.txt", "4.txt"}));
    QVERIFY(!again.toolbarAction(MainWindow::kUndo)->isEnabled());

    MainWindow third(home.places(), dialogs);  // nothing left to undo
    QVERIFY(!third.toolbarAction(MainWindow::kUndo)->isEnabled());
  }

  void aPassCutShortIsAskedAboutOnceAtStart_data() {
    QTest::addColumn<bool>("giveBack");
    QTest::newRow("yes: old names back") << true;
    QTest::newRow("no: new names kept") << false;
  }
  void aPassCutShortIsAskedAboutOnceAtStart() {
    QFETCH(bool, giveBack);
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir dir;
    {
      MainWindow w(home.places(), dialogs);
      renumberFromZero(w, dir.path(), 3);
    }
    // A pass that stopped before its end leaves its record without the last lines.
    const QStringList records = QDir(home.file("records")).entryList({"*.journal"}, QDir::Files);
    QCOMPARE(records.size(), 1);
    QFile journal(QDir(home.file("records")).filePath(records[0]));
    QVERIFY(journal.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = journal.readAll().split('\n');
    journal.close();
    while (!lines.isEmpty() && !lines.last().startsWith("D ")) lines.removeLast();
    QVERIFY(!lines.isEmpty());
    lines.removeLast();  // the completion records are hints; the disk decides
    QVERIFY(journal.open(QIODevice::WriteOnly | QIODevice::Truncate));
    journal.write(lines.join('\n') + '\n');
    journal.close();

    dialogs.messages.clear();
    dialogs.answers.push_back(giveBack);
    MainWindow restarted(home.places(), dialogs);
    QVERIFY(!dialogs.messages.isEmpty());
    QCOMPARE(dialogs.messages[0].title, QStringLiteral("Qorin批量更名器"));
    QVERIFY2(dialogs.messages[0].text.endsWith(
                 QDir::toNativeSeparators(dir.path()) +
                 QStringLiteral("/ 的更名没有完成：3 个文件已经更名。\r\n\r\n是否恢复这些文件原来的名称？")),
             qPrintable(dialogs.messages[0].text));
    QVERIFY(dialogs.messages[0].question);
    if (giveBack) {
      QCOMPARE(dialogs.messages.size(), 2);
      QCOMPARE(dialogs.messages[1].text.section(QStringLiteral("\r\n"), 0, 0),
               QStringLiteral("上一次的操作已经成功撤消！"));
      QCOMPARE(filesIn(dir.path()), (QStringList{"1.txt", "2.txt", "3.txt"}));
      QVERIFY(!restarted.toolbarAction(MainWindow::kUndo)->isEnabled());
    } else {
      QCOMPARE(dialogs.messages.size(), 1);
      QCOMPARE(filesIn(dir.path()), (QStringList{"0.txt", "1.txt", "2.txt"}));
      QVERIFY(restarted.toolbarAction(MainWindow::kUndo)->isEnabled());
    }
    for (const QString& f : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden))
      QVERIFY2(!f.startsWith('.'), qPrintable(f));  // no temporary name left

    dialogs.messages.clear();
    MainWindow fourth(home.places(), dialogs);  // asked once only
    QVERIFY(dialogs.messages.isEmpty());
  }

  void twoWindowsEachUndoTheirOwnPass() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir mine, theirs;
    MainWindow a(home.places(), dialogs);
    MainWindow b(home.places(), dialogs);
    renumberFromZero(a, mine.path(), 3);
    renumberFromZero(b, theirs.path(), 2);
    undoRenumbering(a, dialogs, mine.path(), 3);
    QCOMPARE(filesIn(theirs.path()), (QStringList{"0.txt", "1.txt"}));
    // A window started while both run finds nothing of theirs to undo.
    MainWindow c(home.places(), dialogs);
    QVERIFY(!c.toolbarAction(MainWindow::kUndo)->isEnabled());
    undoRenumbering(b, dialogs, theirs.path(), 2);
  }

  // Records in a folder its group may write to are named at start and not used.
  void recordsOthersMayHaveWrittenAreNamedAndLeftAlone() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir dir;
    {
      MainWindow w(home.places(), dialogs);
      renumberFromZero(w, dir.path(), 2);
    }
    const QString records = home.path() + QStringLiteral("/records");
    QFile::setPermissions(records, QFile::permissions(records) | QFile::WriteGroup);
    dialogs.messages.clear();
    MainWindow again(home.places(), dialogs);
    QCOMPARE(dialogs.messages.size(), 1);
    QCOMPARE(dialogs.messages[0].icon, platform::Dialogs::Icon::Exclamation);
    QVERIFY2(dialogs.messages[0].text.contains(records), qPrintable(dialogs.messages[0].text));
    QVERIFY(!again.toolbarAction(MainWindow::kUndo)->isEnabled());
    QCOMPARE(filesIn(dir.path()), (QStringList{"0.txt", "1.txt"}));
  }

  void aDamagedRecordIsReportedOnceAndTouchesNothing() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    testing::makeFiles(home.path(), {"journal"}, "qorin-journal 1\tnot a checksum\ngarbage\n");
    MainWindow w(home.places(), dialogs);
    QCOMPARE(dialogs.messages.size(), 1);
    QCOMPARE(dialogs.messages[0].icon, platform::Dialogs::Icon::Exclamation);
    QVERIFY(!dialogs.messages[0].question);
    QVERIFY(!w.toolbarAction(MainWindow::kUndo)->isEnabled());
    MainWindow again(home.places(), dialogs);
    QCOMPARE(dialogs.messages.size(), 1);
  }

  void aJournalThatCannotBeWrittenStopsThePassBeforeItBegins() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir dir;
    // The state folder is a file: no journal can be made there.
    const QString blocked = home.file("blocked");
    testing::makeFiles(home.path(), {"blocked"});
    session::Places places = home.places();
    places.stateDir = blocked.toStdString() + "/";
    MainWindow w(places, dialogs);
    testing::makeFiles(dir.path(), {"a.txt", "b.txt"});
    w.list()->addDirectory(dir.path(), false);
    w.toolbarClicked(MainWindow::kRename);
    QCOMPARE(dialogs.messages.size(), 1);
    QVERIFY(dialogs.messages[0].text.startsWith(QStringLiteral("无法写入更名记录，没有文件被更名。")));
    QCOMPARE(filesIn(dir.path()), (QStringList{"a.txt", "b.txt"}));
    QVERIFY(!w.toolbarAction(MainWindow::kUndo)->isEnabled());
  }

  void chosenFilesFromTwoFoldersEachKeepTheirFolder() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir base;
    const QString c1 = QDir(base.path()).filePath("c1"), c2 = QDir(base.path()).filePath("c2");
    testing::makeFiles(c1, {"same.txt"}, "c1");
    testing::makeFiles(c2, {"same.txt"}, "c2");
    MainWindow w(home.places(), dialogs);
    w.session().settings().autoPreview = 1;
    w.applyDisplaySettings();
    dialogs.files.push_back({QDir(c2).filePath("same.txt"), QDir(c1).filePath("same.txt")});
    w.list()->addFilesDialog();
    QCOMPARE(cell(w, 0, kColDir), QDir::toNativeSeparators(c1) + QDir::separator());
    QCOMPARE(cell(w, 1, kColDir), QDir::toNativeSeparators(c2) + QDir::separator());
    // dir.txt keeps the first file's folder.
    QCOMPARE(QString::fromStdString(w.session().rememberedDirectory()),
             QDir::toNativeSeparators(c1) + QDir::separator());
    // Each file is renamed in its own folder.
    w.toolbarClicked(MainWindow::kRename);
    QCOMPARE(contentOf(c1, "0.txt"), QByteArray("c1"));
    QCOMPARE(contentOf(c2, "1.txt"), QByteArray("c2"));
  }

  void anUnreadableMp3GetsNoOtherTabsProposal() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir dir;
    testing::makeFiles(dir.path(), {"gone.mp3"});
    MainWindow w(home.places(), dialogs);
    previewAll(w);
    w.list()->addDirectory(dir.path(), false);
    QCOMPARE(cell(w, 0, kColNew), QStringLiteral("0.mp3"));  // the general tab's proposal
    QFile::remove(QDir(dir.path()).filePath("gone.mp3"));    // listed, but no longer readable
    testing::mp3Page(w)->MP3命名规则编辑框->setText(QStringLiteral("#2"));
    w.tabs()->setCurrentIndex(4);
    QCOMPARE(cell(w, 0, kColNew), QString());
    QCOMPARE(cell(w, 0, kColNew, Qt::ToolTipRole), QStringLiteral("无法读取文件"));
    w.toolbarClicked(MainWindow::kRename);
    QCOMPARE(cell(w, 0, kColStatus), QStringLiteral("更名失败"));
    QCOMPARE(cell(w, 0, kColStatus, Qt::ToolTipRole), QStringLiteral("无法读取文件"));
    QVERIFY(filesIn(dir.path()).isEmpty());
  }

  void conflictMarksSayWhyBeforeThePass() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir dir;
    testing::makeFiles(dir.path(), {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt", "taken.txt", "x.txt"});
    MainWindow w(home.places(), dialogs);
    previewAll(w);
    w.list()->addDirectory(dir.path(), false);
    auto* page = testing::replacePage(w);
    struct Case {
      bool pattern;
      const char* search;
      const char* replacement;
      int row;
      const char* tip;
    };
    const Case cases[] = {
        {true, "^[ab]$", "q", 1, "与第1行的新文件名相同"},
        {false, "c", "taken", 2, "目标文件已存在"},
        {false, "d", "/", 3, "文件名含有非法字符"},
    };
    w.tabs()->setCurrentIndex(1);
    for (const Case& c : cases) {
      page->正则表达式选择框->setChecked(c.pattern);
      page->查找内容编辑框->setText(QString::fromUtf8(c.search));
      page->替换为编辑框->setText(QString::fromUtf8(c.replacement));
      QCOMPARE(cell(w, c.row, kColNew, Qt::ToolTipRole), QString::fromUtf8(c.tip));
      QVERIFY(w.listView()->model()->index(c.row, kColNew).data(Qt::ForegroundRole).isValid());
      QVERIFY(!w.listView()->model()->index(4, kColNew).data(Qt::ForegroundRole).isValid());
      // Marked by an image too, not by colour alone.
      const QAbstractItemModel* m = w.listView()->model();
      QVERIFY(!m->index(c.row, kColNew).data(Qt::DecorationRole).value<QIcon>().isNull());
      QVERIFY(!m->index(4, kColNew).data(Qt::DecorationRole).isValid());
    }
    // The red reads on the default background and on one the user made dark.
    QCOMPARE(qRound(platform::contrastRatio(QColor(0xC0, 0, 0), QColor(0x80, 0xA0, 0x80)) * 100), 224);
    QCOMPARE(qRound(platform::contrastRatio(Qt::black, Qt::white)), 21);
    for (const unsigned background : {0x80A080u, 0x202020u, 0xFFFFFFu}) {
      w.session().settings().backgroundColour =
          static_cast<std::int32_t>(background);  // 0x00BBGGRR, grey or symmetric here
      w.applyDisplaySettings();
      const QColor base = w.listView()->viewport()->palette().color(QPalette::Base);  // as painted
      QCOMPARE(base.rgb() & 0xFFFFFFu, background);
      const auto red = w.listView()->model()->index(3, kColNew).data(Qt::ForegroundRole).value<QColor>();
      QVERIFY2(platform::contrastRatio(red, base) >= 4.5, qPrintable(red.name() + " on " + base.name()));
    }
    page->正则表达式选择框->setChecked(false);
    page->查找内容编辑框->setText(QStringLiteral("x"));
    page->替换为编辑框->setText(QString(300, QLatin1Char('y')));
    QCOMPARE(cell(w, 6, kColNew, Qt::ToolTipRole), QStringLiteral("文件名过长"));
    page->替换为编辑框->setText(QStringLiteral("z"));
    QCOMPARE(cell(w, 6, kColNew, Qt::ToolTipRole), QString());
    QFile::remove(QDir(dir.path()).filePath("x.txt"));
    QTemporaryDir more;
    testing::makeFiles(more.path(), {"m.txt"});
    w.list()->addDirectory(more.path(), false);  // an add looks at the folders afresh
    QCOMPARE(cell(w, 6, kColNew, Qt::ToolTipRole), QStringLiteral("原文件不存在"));
    // The texts of the column stay the proposals themselves.
    QCOMPARE(cell(w, 6, kColNew), QStringLiteral("z.txt"));
  }

  void anUndoThatCouldNotFindItsFolderAsksWhetherToForgetIt_data() {
    QTest::addColumn<bool>("forget");
    QTest::newRow("no: undone once the folder is back") << false;
    QTest::newRow("yes: the names stay") << true;
  }
  void anUndoThatCouldNotFindItsFolderAsksWhetherToForgetIt() {
    QFETCH(bool, forget);
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir base;
    const QString card = QDir(base.path()).filePath(QStringLiteral("card"));
    const QString out = QDir(base.path()).filePath(QStringLiteral("out"));
    {
      MainWindow w(home.places(), dialogs);
      renumberFromZero(w, card, 3);
      QVERIFY(QDir().rename(card, out));  // the card taken out
      dialogs.answers = {true, forget};
      w.toolbarClicked(MainWindow::kUndo);
      QCOMPARE(dialogs.messages.size(), 4);
      QVERIFY(dialogs.messages[2].text.startsWith(
          QStringLiteral("文件总数：3 个文件\r\n\r\n0 个文件撤消成功！\r\n3 个文件撤消失败！")));
      QVERIFY(dialogs.messages[3].question);
      QCOMPARE(dialogs.messages[3].text,
               QStringLiteral(
                   "还有 3 个文件没有恢复原来的名称。文件夹被移走或存储卡被拔出时，放回原处后可以再次撤消。"
                   "\r\n\r\n是否忘记这次更名？忘记后这些文件保持现在的名称，不能再撤消。"));
      QCOMPARE(w.toolbarAction(MainWindow::kUndo)->isEnabled(), !forget);
      QVERIFY(QDir().rename(out, card));
    }
    MainWindow again(home.places(), dialogs);
    QCOMPARE(again.toolbarAction(MainWindow::kUndo)->isEnabled(), !forget);
    if (forget) {
      QCOMPARE(filesIn(card), (QStringList{"0.txt", "1.txt", "2.txt"}));
      QVERIFY(QDir(home.file("records")).entryList({"*.journal"}, QDir::Files).isEmpty());
    } else {
      undoRenumbering(again, dialogs, card, 3);
    }
  }

  // An undo that failed because the folder could not be changed stays on
  // offer, and once the folder can be changed again it finishes the job.
  void anUndoThatFailedInAReadOnlyFolderIsTriedAgain() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir dir;
    MainWindow w(home.places(), dialogs);
    renumberFromZero(w, dir.path(), 3);
    const std::string folder = QFile::encodeName(dir.path()).toStdString();
    if (!qorin::testing::setImmutable(folder, true)) QSKIP("the file system keeps no immutable flag here");
    dialogs.answers.push_back(true);
    w.toolbarClicked(MainWindow::kUndo);
    qorin::testing::setImmutable(folder, false);
    // The summary, then whether to forget the pass (No: kept).
    QVERIFY(dialogs.messages[dialogs.messages.size() - 2].text.startsWith(
        QStringLiteral("文件总数：3 个文件\r\n\r\n0 个文件撤消成功！\r\n3 个文件撤消失败！")));
    QVERIFY(dialogs.messages.last().question);
    QCOMPARE(cell(w, 0, kColStatus), QStringLiteral("撤消失败"));
    QVERIFY(!cell(w, 0, kColStatus, Qt::ToolTipRole).isEmpty());
    QVERIFY(w.toolbarAction(MainWindow::kUndo)->isEnabled());
    QCOMPARE(filesIn(dir.path()), (QStringList{"0.txt", "1.txt", "2.txt"}));

    undoRenumbering(w, dialogs, dir.path(), 3);
    QCOMPARE(cell(w, 0, kColStatus), QStringLiteral("撤消成功"));
    QVERIFY(!w.toolbarAction(MainWindow::kUndo)->isEnabled());
  }
};

QTEST_MAIN(UndoWindowTest)
#include "test_undo_window.moc"
