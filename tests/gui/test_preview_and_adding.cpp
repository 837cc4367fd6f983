// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdio>
#include <fstream>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>

#include "../core/unreadable_folders.h"
#include "answering_dialogs.h"
#include "app/main_window.h"
#include "rules/gui/rule_tab.h"
#include "session/settings.h"
#include "support/stop_midway.h"
#include "tags/formats.h"

using namespace qorin;
using namespace qorin::session;
using namespace qorin::app;
using namespace qorin::filelist;

class PreviewAndAddingTest : public QObject {
  Q_OBJECT

  static QString newCell(MainWindow& w, int row) {
    return w.listView()->model()->index(row, kColNew).data().toString();
  }
  static QString cell(MainWindow& w, int row, int col) {
    return w.listView()->model()->index(row, col).data().toString();
  }
  static QStringList numbered(int n) {
    QStringList names;
    for (int i = 1; i <= n; ++i) names << QStringLiteral("f%1.txt").arg(i, 2, 10, QLatin1Char('0'));
    return names;
  }
  static void previewOn(MainWindow& w, int count, bool all = false) {
    w.session().settings().autoPreview = 1;
    w.session().settings().previewCount = count;
    w.session().settings().previewAllEntries = all ? 1 : 0;
    w.applyDisplaySettings();
  }

 private slots:
  // Esc as soon as 停止 is offered: an add keeps what it had listed, a
  // preview names nothing, and both run whole
  // once asked again.
  void escStopsAnAddAndAPreview() {
    testing::ProgramDirectory home;
    QTemporaryDir dir;
    testing::AnsweringDialogs dialogs;
    MainWindow w(home.places(), dialogs);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    previewOn(w, 10, true);
    for (int d = 0; d < 3; ++d) {
      QDir(dir.path()).mkdir(QString::number(d));
      testing::makeFiles(dir.filePath(QString::number(d)), numbered(40));
    }
    w.session().settings().includeSubfolders = true;
    w.setPumpInterval(0);
    auto* stop = w.statusPart(1)->findChild<QAbstractButton*>(QStringLiteral("停止按钮"));
    QVERIFY(stop);
    {
      testing::EscWhenOffered esc(stop, w.listView());
      w.list()->addDirectory(dir.path(), false);
      QVERIFY(esc.pressed > 0);
      QVERIFY2(w.fileList().fileCount() < 120, qPrintable(QString::number(w.fileList().fileCount())));
    }
    QVERIFY(!stop->isVisible());
    w.list()->clearList();
    w.setPumpInterval(RunGuard::kPumpMs);
    w.list()->addDirectory(dir.path(), false);
    QCOMPARE(w.fileList().fileCount(), 120);

    w.setPumpInterval(0);
    {
      testing::EscWhenOffered esc(stop, w.listView());
      w.tabs()->setCurrentIndex(rules::kRuleIndex<rules::DateOptions>);  // a rule that reads every file
      QVERIFY(esc.pressed > 0);
    }
    QVERIFY(newCell(w, 119).isEmpty());
    w.setPumpInterval(RunGuard::kPumpMs);
    w.toolbarClicked(MainWindow::kPreview);
    QVERIFY(newCell(w, 119).endsWith(QStringLiteral(".txt")));
  }

  void previewCoversTheFirstEntriesUntilForced() {
    testing::ProgramDirectory home;
    QTemporaryDir dir;
    testing::AnsweringDialogs dialogs;
    MainWindow w(home.places(), dialogs);
    previewOn(w, 10);
    testing::makeFiles(dir.path(), numbered(30));
    w.list()->addDirectory(dir.path(), false);
    for (int r = 0; r < 30; ++r) QCOMPARE(newCell(w, r).isEmpty(), r >= 10);
    QCOMPARE(newCell(w, 0), QStringLiteral("0.txt"));
    w.toolbarClicked(MainWindow::kPreview);
    for (int r = 0; r < 30; ++r) QCOMPARE(newCell(w, r), QStringLiteral("%1.txt").arg(r));
    testing::generalPage(w)->文件名前缀编辑框->setText(QStringLiteral("x"));
    for (int r = 0; r < 30; ++r) QCOMPARE(newCell(w, r).isEmpty(), r >= 10);
    QCOMPARE(newCell(w, 9), QStringLiteral("x9.txt"));
    // A negative count previews nothing rather than reaching the rule.
    w.session().settings().previewCount = -5;
    testing::generalPage(w)->文件名前缀编辑框->setText(QStringLiteral("y"));
    QVERIFY(newCell(w, 0).isEmpty());
  }

  void autoPreviewOffLeavesTheColumnAlone() {
    testing::ProgramDirectory home;
    QTemporaryDir dir;
    testing::AnsweringDialogs dialogs;
    MainWindow w(home.places(), dialogs);
    QCOMPARE(w.session().settings().autoPreview, 0);
    testing::makeFiles(dir.path(), numbered(3));
    w.list()->addDirectory(dir.path(), false);
    testing::generalPage(w)->文件名前缀编辑框->setText(QStringLiteral("x"));
    w.toolbarClicked(MainWindow::kPreview);
    for (int r = 0; r < 3; ++r) QVERIFY(newCell(w, r).isEmpty());
  }

  void generalTabInTheWindow() {
    testing::ProgramDirectory home;
    QTemporaryDir dir;
    testing::AnsweringDialogs dialogs;
    MainWindow w(home.places(), dialogs);
    previewOn(w, 10, true);
    testing::makeFiles(dir.path(), {"a.txt", "b.jpg", "c"});
    w.list()->addDirectory(dir.path(), false);
    QCOMPARE(QStringList({newCell(w, 0), newCell(w, 1), newCell(w, 2)}),
             QStringList({"0.txt", "1.jpg", "2"}));

    // Scope 扩展名: the name group greys, the extension group opens.
    testing::generalPage(w)->常规扩展名单选框->click();
    QVERIFY(!testing::generalPage(w)->文件名编辑框->isEnabled());
    QVERIFY(testing::generalPage(w)->新扩展名编辑框->isEnabled());
    QCOMPARE(testing::generalPage(w)->文件名标签->palette().color(QPalette::WindowText),
             QColor(128, 128, 128));
    QCOMPARE(testing::generalPage(w)->新扩展名标签->palette().color(QPalette::WindowText), QColor(Qt::black));
    QCOMPARE(newCell(w, 0), QStringLiteral("a"));  // all four extension fields empty: no extension
    testing::generalPage(w)->新扩展名编辑框->setText(QStringLiteral("bak"));
    testing::generalPage(w)->扩展名位数调节编辑框->setText(QStringLiteral("2"));
    testing::generalPage(w)->起始量编辑框->setText(QStringLiteral("1"));
    QCOMPARE(newCell(w, 0), QStringLiteral("a.bak01"));
    QCOMPARE(newCell(w, 2), QStringLiteral("cbak03"));
    testing::generalPage(w)->常规全部单选框->click();
    QVERIFY(testing::generalPage(w)->文件名编辑框->isEnabled() &&
            testing::generalPage(w)->新扩展名编辑框->isEnabled());

    // 清空 empties nine fields with a single refresh and keeps the increment.
    testing::generalPage(w)->增量编辑框->setText(QStringLiteral("5"));
    QSignalSpy changes(w.listView()->model(), &QAbstractItemModel::dataChanged);
    testing::generalPage(w)->常规清空按钮->click();
    int refreshes = 0;
    for (const auto& c : changes)
      if (c[0].toModelIndex().column() <= kColNew && c[1].toModelIndex().column() >= kColNew) ++refreshes;
    QCOMPARE(refreshes, 1);
    QCOMPARE(testing::generalPage(w)->增量编辑框->text(), QStringLiteral("5"));
    for (const char* e : {"起始量编辑框", "文件名位数调节编辑框", "新扩展名编辑框", "扩展名位数调节编辑框"})
      QVERIFY2(testing::control<QLineEdit>(w, e)->text().isEmpty(), e);
    QCOMPARE(w.session().settings().autoPreview, 1);
    QCOMPARE(newCell(w, 1), QStringLiteral("5"));  // start 0, increment 5, no extension
  }

  void otherTabsInTheWindow() {
    testing::ProgramDirectory home;
    QTemporaryDir dir;
    testing::AnsweringDialogs dialogs;
    MainWindow w(home.places(), dialogs);
    previewOn(w, 10);
    testing::makeFiles(dir.path(), {"abc.txt", "Song.mp3"});
    w.list()->addDirectory(dir.path(), false);
    w.tabs()->setCurrentIndex(3);  // the case tab's initial choices upper-case everything
    QCOMPARE(newCell(w, 0), QStringLiteral("ABC.TXT"));
    QCOMPARE(newCell(w, 1), QStringLiteral("SONG.MP3"));
    testing::casePage(w)->扩展名全部小写单选框->click();
    QCOMPARE(newCell(w, 1), QStringLiteral("SONG.mp3"));

    w.tabs()->setCurrentIndex(1);
    testing::replacePage(w)->查找内容编辑框->setText(QStringLiteral("S"));
    QCOMPARE(newCell(w, 1), QStringLiteral("ong.mp3"));
    testing::replacePage(w)->区分大小写选择框->click();
    testing::replacePage(w)->查找内容编辑框->setText(QStringLiteral("s"));
    QCOMPARE(newCell(w, 1), QStringLiteral("Song.mp3"));

    w.tabs()->setCurrentIndex(2);
    auto* keep = testing::insertPage(w)->保持一致选择框;
    auto* extText = testing::insertPage(w)->插入到扩展名的字符编辑框;
    keep->click();
    QVERIFY(!extText->isEnabled());
    QCOMPARE(testing::insertPage(w)->插入扩展名标签->palette().color(QPalette::WindowText),
             QColor(128, 128, 128));
    testing::insertPage(w)->插入扩展名尾单选框->click();
    QVERIFY(!testing::insertPage(w)->插入扩展名位置编辑框->isEnabled());
    testing::insertPage(w)->插入到文件名的字符编辑框->setText(QStringLiteral("X"));
    QCOMPARE(extText->text(), QStringLiteral("X"));
    QCOMPARE(newCell(w, 0), QStringLiteral("Xabc.txtX"));
    keep->click();
    QVERIFY(extText->isEnabled());
    QCOMPARE(extText->text(), QStringLiteral("X"));
  }

  void dialogAddsAndRemembersTheDirectory() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir dir;
    const QStringList paths = testing::makeFiles(dir.path(), {"a;b.mp3", "歌 1.mp3"});
    MainWindow w(home.places(), dialogs);
    w.list()->addFilesDialog();  // cancelled: nothing added, an empty dir.txt left behind
    QCOMPARE(w.fileList().fileCount(), 0);
    QFile memory(home.file(QStringLiteral("dir.txt")));
    QVERIFY(memory.exists());
    QCOMPARE(memory.size(), 0);
    QCOMPARE(dialogs.lastFileTitle, QStringLiteral("请选择文件(可多选)："));
    // Names without a dot are files too on Linux.
    QVERIFY(dialogs.lastFileFilter.startsWith(QStringLiteral("所有文件(*)|*|音乐文件(*.mp3;wav;wma;")));
    // Every format the MP3 rule names (FLAC, Ogg and more where TagLib is in), in the filter's own way.
    const QStringList music =
        dialogs.lastFileFilter.section(QLatin1Char('|'), 3, 3).mid(2).split(QLatin1Char(';'));
    for (const std::string_view e : tags::namedExtensions())
      QVERIFY2(music.contains(QLatin1String(e.data(), static_cast<qsizetype>(e.size()))), e.data());

    dialogs.files.push_back(paths);
    w.list()->addFilesDialog();
    QCOMPARE(w.fileList().fileCount(), 2);
    QCOMPARE(cell(w, 0, kColOld), QStringLiteral("a;b.mp3"));  // a ";" in a name survives
    QCOMPARE(cell(w, 1, kColOld), QStringLiteral("歌 1.mp3"));
    QCOMPARE(cell(w, 1, kColDir), dir.path() + QLatin1Char('/'));
    QVERIFY(w.toolbarAction(4)->isEnabled() && w.toolbarAction(5)->isEnabled());
    QCOMPARE(w.statusPart(0)->text(), QStringLiteral("2个文件"));
    QVERIFY(memory.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(memory.readAll()), dir.path() + QStringLiteral("/\r\n"));
    w.list()->addFilesDialog();
    QCOMPARE(dialogs.lastFileDir, dir.path() + QLatin1Char('/'));
  }

  void dialogFilterBecomesQtSyntax() {
    QCOMPARE(
        platform::toQtFilter(
            QStringLiteral("所有文件(*.*)|*.*|音乐文件(*.mp3;wav;wma)|*.mp3;wav;wma|文本文件(*.txt)|*.txt")),
        QStringLiteral(
            "所有文件(*.*) (*.*);;音乐文件(*.mp3;wav;wma) (*.mp3 *.wav *.wma);;文本文件(*.txt) (*.txt)"));
  }

  void droppedFilesComeBeforeFolders() {
    testing::ProgramDirectory home;
    QTemporaryDir root;
    const QString one = root.filePath(QStringLiteral("one")), two = root.filePath(QStringLiteral("two"));
    testing::makeFiles(one, {"b1", "a1"});
    testing::makeFiles(two, {"a2"});
    const QString loose = testing::makeFiles(root.path(), {"loose.txt"}).front();
    testing::AnsweringDialogs dialogs;
    MainWindow w(home.places(), dialogs);
    w.list()->addDroppedItems({one, loose, two, root.filePath(QStringLiteral("nothing-here"))});
    QStringList order;
    for (int r = 0; r < w.fileList().fileCount(); ++r) order << cell(w, r, kColOld);
    QCOMPARE(order, QStringList({"loose.txt", "a1", "b1", "a2"}));
    QCOMPARE(cell(w, 0, kColDir), root.path() + QLatin1Char('/'));
    QCOMPARE(cell(w, 3, kColDir), two + QLatin1Char('/'));
  }

  void emptyFolderStillEnablesPreviewAndRenaming() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir dir;
    MainWindow w(home.places(), dialogs);
    dialogs.folders.push_back(dir.path());
    w.toolbarClicked(MainWindow::kChooseDirectory);
    QCOMPARE(dialogs.lastFolderTitle, QStringLiteral("请选择一个目录"));
    QCOMPARE(w.fileList().fileCount(), 0);
    QVERIFY(w.toolbarAction(4)->isEnabled() && w.toolbarAction(5)->isEnabled());
    QVERIFY(dialogs.messages.isEmpty());
  }

  void namesThatCannotBeShownAreListedEscaped() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir dir;
    testing::makeFiles(dir.path(), {"ok.txt"});
    // Raw bytes that are no UTF-8: Qt's own file names would re-encode them.
    const std::string bad = QFile::encodeName(dir.path()).toStdString() + "/bad\xFF\xFE.txt";
    std::ofstream(bad) << "x";
    MainWindow w(home.places(), dialogs);
    w.list()->addDirectory(dir.path(), false);
    std::remove(bad.c_str());  // QTemporaryDir cannot name it
    QCOMPARE(w.fileList().fileCount(), 2);
    QVERIFY(dialogs.messages.isEmpty());
    QVERIFY(w.fileList()[0].rawName);
    QCOMPARE(w.listView()->model()->index(0, kColOld).data().toString(), QStringLiteral("bad\\xFF\\xFE.txt"));
  }

  // A folder chosen, given or dropped that cannot be read says so, once,
  // naming itself; the list stays as it was and the toolbar follows the add
  // as for an empty folder.
  void foldersThatCannotBeReadAreNamedInOneMessage_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("dropped");
    for (const char* kind : {"refused", "too long", "name not convertible"}) {
      QTest::newRow((std::string(kind) + ", chosen").c_str()) << QString::fromUtf8(kind) << false;
      QTest::newRow((std::string(kind) + ", dropped").c_str()) << QString::fromUtf8(kind) << true;
    }
  }
  void foldersThatCannotBeReadAreNamedInOneMessage() {
    QFETCH(QString, kind);
    QFETCH(bool, dropped);
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir root;
    const std::string base = QFile::encodeName(root.path()).toStdString() + "/";
    const qorin::testing::DeepFolder deep(base);
    QVERIFY(deep.made());
    testing::makeFiles(root.filePath(QStringLiteral("locked")), {"inside.txt"});
    // On the disk as Qt writes a name it cannot encode: the program cannot hold that name.
    QDir(root.path()).mkdir(QStringLiteral("bad") + QChar(0xFFFD));
    QString folder;
    if (kind == QLatin1String("refused")) {
      folder = root.filePath(QStringLiteral("locked"));
    } else if (kind == QLatin1String("too long")) {
      folder = QFile::decodeName(deep.path().c_str());
      folder.chop(1);
    } else {
      folder = root.filePath(QStringLiteral("bad") + QChar(0xD800));
    }
    QFile::setPermissions(root.filePath(QStringLiteral("locked")), {});
    const qorin::testing::PermissionsApply permissions;
    if (kind == QLatin1String("refused") && !permissions.ok()) QSKIP("no way to refuse root here");

    MainWindow w(home.places(), dialogs);
    testing::makeFiles(root.filePath(QStringLiteral("fine")), {"a.txt"});
    w.list()->addDirectory(root.filePath(QStringLiteral("fine")), false);
    if (dropped) {
      w.list()->addDroppedItems({folder});
    } else {
      dialogs.folders.push_back(folder);
      w.toolbarClicked(MainWindow::kChooseDirectory);
    }
    QFile::setPermissions(root.filePath(QStringLiteral("locked")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(w.fileList().fileCount(), 1);
    QCOMPARE(dialogs.messages.size(), 1);
    const auto& m = dialogs.messages[0];
    QCOMPARE(m.title, QStringLiteral("Qorin批量更名器"));
    QCOMPARE(m.icon, platform::Dialogs::Icon::Exclamation);
    QVERIFY2(m.text.startsWith(QStringLiteral("无法读取目录：")), qPrintable(m.text));
    const QString shown = m.text.mid(QStringLiteral("无法读取目录：").size());
    QVERIFY2(shown == folder || shown == folder + QLatin1Char('/'), qPrintable(shown));
    QVERIFY(w.toolbarAction(4)->isEnabled() && w.toolbarAction(5)->isEnabled());
  }

  void aFolderWhereNothingIsOrANonFileAddsNothingSilently() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir root;
    MainWindow w(home.places(), dialogs);
    w.list()->addDroppedItems({root.filePath(QStringLiteral("nothing-here"))});
    w.list()->addDirectory(root.filePath(QStringLiteral("nothing-here")), false);
    QCOMPARE(w.fileList().fileCount(), 0);
    QVERIFY(dialogs.messages.isEmpty());
  }
};

QTEST_MAIN(PreviewAndAddingTest)
#include "test_preview_and_adding.moc"
