// SPDX-License-Identifier: GPL-3.0-or-later
// Names stored in the old code page, seen from the window: listed with their
// text and a tooltip, converted to UTF-8 from the list's menu and undone, and
// a dropped folder whose name cannot be read named in the message.
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QTreeView>
#include <QUrl>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>

#include "answering_dialogs.h"
#include "app/main_window.h"
#include "list_cells.h"

using namespace qorin;
using namespace qorin::app;
using namespace qorin::filelist;
using qorin::testing::cell;
using qorin::testing::menuEntry;

namespace {

const QByteArray kGbkSong("\xD6\xDC\xBD\xDC\xC2\xD7 - \xB6\xAB\xB7\xE7\xC6\xC6.mp3");  // 周杰伦 - 东风破.mp3

void writeRaw(const QByteArray& path) {
  FILE*  // QFile would lose the bytes
      out = std::fopen(path.constData(), "wb");
  QVERIFY(out);
  std::fputs("audio", out);
  std::fclose(out);
}

// QTemporaryDir cannot remove what Qt cannot name.
struct RawDir : QTemporaryDir {
  ~RawDir() { std::filesystem::remove_all(QFile::encodeName(path()).toStdString()); }
};

QStringList entries(const QTemporaryDir& dir) { return QDir(dir.path()).entryList(QDir::Files, QDir::Name); }

}  // namespace

class GbkNamesWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void convertedFromTheMenuAndUndone() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    RawDir dir;
    writeRaw(QFile::encodeName(dir.path()) + "/" + kGbkSong);
    writeRaw(QFile::encodeName(dir.path()) + "/a.mp3");
    MainWindow w(home.places(), dialogs);
    w.list()->addDirectory(dir.path(), false);
    QCOMPARE(dialogs.messages.size(), 0);
    QCOMPARE(w.listView()->model()->rowCount(), 2);
    QCOMPARE(cell(w, 1, kColOld), QStringLiteral("周杰伦 - 东风破.mp3"));
    QCOMPARE(cell(w, 1, kColOld, Qt::ToolTipRole), QStringLiteral("文件名按GBK编码保存"));
    QCOMPARE(cell(w, 0, kColOld, Qt::ToolTipRole), QString());

    QAction* entry = menuEntry(w, QStringLiteral("文件名转为UTF-8(&8)"));
    QVERIFY(entry);
    const QList<QAction*> actions = w.listMenu()->actions();
    QCOMPARE(actions.indexOf(entry),
             actions.indexOf(menuEntry(w, QStringLiteral("MP3标签转为Unicode(&U)"))) + 1);
    emit w.list()->menuRequested(QPoint(10, 10));
    QVERIFY(entry->isEnabled());
    w.listMenu()->hide();

    entry->trigger();
    QCOMPARE(cell(w, 1, kColStatus), QStringLiteral("已转为UTF-8"));
    QCOMPARE(cell(w, 0, kColStatus), QString());
    QCOMPARE(cell(w, 1, kColOld, Qt::ToolTipRole), QString());
    QCOMPARE(entries(dir), (QStringList{QStringLiteral("a.mp3"), QStringLiteral("周杰伦 - 东风破.mp3")}));
    QCOMPARE(dialogs.messages.last().text, QStringLiteral("文件更名完毕！"));
    emit w.list()->menuRequested(QPoint(10, 10));
    QVERIFY(!entry->isEnabled());
    w.listMenu()->hide();

    dialogs.answers.push_back(true);
    w.toolbarClicked(MainWindow::kUndo);
    QCOMPARE(cell(w, 1, kColStatus), QStringLiteral("撤消成功"));
    QCOMPARE(cell(w, 1, kColOld, Qt::ToolTipRole), QStringLiteral("文件名按GBK编码保存"));
    QVERIFY(QFile::exists(QFile::decodeName(QFile::encodeName(dir.path()) + "/a.mp3")));
    FILE* back = std::fopen((QFile::encodeName(dir.path()) + "/" + kGbkSong).constData(), "rb");
    QVERIFY(back);  // the very bytes it had
    std::fclose(back);
  }

  // A real drop: the URL's bytes reach the list, not Qt's lossy text of them.
  void aDropCarriesTheNamesBytes() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    RawDir dir;
    writeRaw(QFile::encodeName(dir.path()) + "/" + kGbkSong);
    MainWindow w(home.places(), dialogs);
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromEncoded("file://" + QFile::encodeName(dir.path()).toPercentEncoding("/") + "/" +
                                     kGbkSong.toPercentEncoding())});
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    // Offscreen, Qt lets no simulated drop through its own routing: hand it to
    // the window's drop handler as Qt would.
    static_cast<QObject&>(w).eventFilter(w.listView()->viewport(), &drop);
    QCOMPARE(dialogs.messages.size(), 0);
    QCOMPARE(w.listView()->model()->rowCount(), 1);
    QCOMPARE(cell(w, 0, kColOld), QStringLiteral("周杰伦 - 东风破.mp3"));
    delete data;
  }

  // Dropped: a file named in GBK is listed, one neither UTF-8 nor GBK is
  // listed by its bytes, escaped; a folder so named is named, never passed over.
  void droppedOddNamesAreListedOrNamed() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    RawDir dir;
    const QByteArray base = QFile::encodeName(dir.path()) + "/";
    writeRaw(base + kGbkSong);
    writeRaw(base + "\xFF\xFE.txt");
    QVERIFY(::mkdir((base + "\xB8\xE8").constData(), 0700) == 0);  // 歌 in GBK
    MainWindow w(home.places(), dialogs);
    w.list()->addDroppedItems({}, {base + kGbkSong, base + "\xFF\xFE.txt", base + "\xB8\xE8"});
    QCOMPARE(w.listView()->model()->rowCount(), 2);
    QCOMPARE(cell(w, 0, kColOld), QStringLiteral("周杰伦 - 东风破.mp3"));
    QCOMPARE(cell(w, 1, kColOld), QStringLiteral("\\xFF\\xFE.txt"));
    QCOMPARE(cell(w, 1, kColOld, Qt::ToolTipRole), QStringLiteral("文件名编码无法确定"));
    QCOMPARE(dialogs.messages.size(), 1);
    QCOMPARE(dialogs.messages[0].text,
             QStringLiteral("无法读取目录：") + dir.path() + QStringLiteral("/\\xB8\\xE8"));
  }
};

QTEST_MAIN(GbkNamesWindowTest)
#include "test_gbk_names.moc"
