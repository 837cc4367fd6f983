// SPDX-License-Identifier: GPL-3.0-or-later
// The list's batch repair of mojibake tags: MP3标签转为Unicode(&U).
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTest>
#include <QTreeView>

#include "answering_dialogs.h"
#include "app/main_window.h"
#include "list_cells.h"
#include "stop_midway.h"
#include "text/gbtext.h"

using namespace qorin;
using namespace qorin::app;
using namespace qorin::filelist;
using qorin::testing::cell;
using qorin::testing::menuEntry;

namespace {

// An ID3v2.3 tag with one TIT2 frame: encoding byte, then the text bytes.
QByteArray tagWithTitle(char encoding, const QByteArray& text) {
  QByteArray frame = "TIT2";
  const int size = 1 + static_cast<int>(text.size());
  for (int shift : {24, 16, 8, 0}) frame.append(static_cast<char>((size >> shift) & 0xFF));
  frame.append(2, '\0');
  frame.append(encoding);
  frame.append(text);
  QByteArray tag = "ID3";
  tag.append('\x03').append('\0').append('\0');
  const int body = static_cast<int>(frame.size()) + 64;  // with some padding
  for (int shift : {21, 14, 7, 0}) tag.append(static_cast<char>((body >> shift) & 0x7F));
  tag.append(frame);
  tag.append(64, '\0');
  return tag;
}

QByteArray audio() { return QByteArray("\xFF\xFB\x90\x64", 4).repeated(100); }

void write(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

}  // namespace

class TagRepairWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void everyKindOfFileGetsItsStatusAndTheSummaryCountsMp3sOnly() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir dir;
    const std::string gbk = text::gb("春天的故事");
    const QByteArray spring = QByteArray(gbk.data(), static_cast<int>(gbk.size()));
    QByteArray utf16("\xFF\xFE", 2);
    for (char c : QByteArray("Spring")) utf16.append(c).append('\0');
    write(QDir(dir.path()).filePath("a-gbk.mp3"), tagWithTitle('\0', spring) + audio());
    write(QDir(dir.path()).filePath("b-unicode.mp3"), tagWithTitle('\x01', utf16) + audio());
    write(QDir(dir.path()).filePath("c-bare.mp3"), audio());
    write(QDir(dir.path()).filePath("d-notes.txt"), "text");
    write(QDir(dir.path()).filePath("e-short.mp3"),
          QByteArray("ID3\x03\0\0\x7f\x7f\x7f\x7f", 10));  // claims far more than it holds

    MainWindow w(home.places(), dialogs);
    w.list()->addDirectory(dir.path(), false);
    QAction* entry = menuEntry(w, QStringLiteral("MP3标签转为Unicode(&U)"));
    QVERIFY(entry);
    const QList<QAction*> actions = w.listMenu()->actions();
    QCOMPARE(actions.indexOf(entry),
             actions.indexOf(menuEntry(w, QStringLiteral("删除无MP3标签项目(M)"))) + 1);
    emit w.list()->menuRequested(QPoint(10, 10));
    QVERIFY(entry->isEnabled());
    w.listMenu()->hide();

    dialogs.answers.push_back(false);  // No: nothing happens
    entry->trigger();
    QCOMPARE(dialogs.messages.size(), 1);
    QCOMPARE(dialogs.messages[0].text,
             QStringLiteral("把列表中MP3文件的ID3v2标签文字改为Unicode编码，其他内容不变。是否继续？"));
    QVERIFY(dialogs.messages[0].question);
    QCOMPARE(cell(w, 0, kColStatus), QString());

    dialogs.answers.push_back(true);
    entry->trigger();
    QCOMPARE(cell(w, 0, kColStatus), QStringLiteral("已转为Unicode"));
    QCOMPARE(cell(w, 1, kColStatus), QStringLiteral("无需转换"));
    QCOMPARE(cell(w, 2, kColStatus), QStringLiteral("无需转换"));
    QCOMPARE(cell(w, 3, kColStatus), QString());  // not an MP3 file
    QCOMPARE(cell(w, 4, kColStatus), QStringLiteral("转换失败"));
    QCOMPARE(cell(w, 4, kColStatus, Qt::ToolTipRole), QStringLiteral("ID3v2标签的长度超出文件"));
    QCOMPARE(cell(w, 0, kColOld), QStringLiteral("a-gbk.mp3"));  // names untouched
    QCOMPARE(
        dialogs.messages.last().text,
        QStringLiteral("文件总数：4 个MP3文件\r\n\r\n1 个文件已转换，2 个文件无需转换，1 个文件转换失败。"));
    QCOMPARE(dialogs.messages.last().icon, platform::Dialogs::Icon::Exclamation);
    QVERIFY(w.statusPart(1)->text().isEmpty());

    // The title now reads back the same through the tag's Unicode frame, and the audio is intact.
    QFile repaired(QDir(dir.path()).filePath("a-gbk.mp3"));
    QVERIFY(repaired.open(QIODevice::ReadOnly));
    const QByteArray bytes = repaired.readAll();
    QVERIFY(bytes.endsWith(audio()));
    QByteArray expected("\x01\xFF\xFE", 3);
    for (QChar c : QStringLiteral("春天的故事")) {
      expected.append(static_cast<char>(c.unicode() & 0xFF));
      expected.append(static_cast<char>(c.unicode() >> 8));
    }
    QVERIFY(bytes.contains(expected));

    dialogs.answers.push_back(true);
    entry->trigger();  // a second run has nothing left to convert
    QCOMPARE(cell(w, 0, kColStatus), QStringLiteral("无需转换"));
  }

  // Esc half way: the files reached are converted and say so, the others
  // keep their tags and no status; the summary counts both.
  void aLongConversionStopsOnEsc() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir dir;
    constexpr int kFiles = 40;
    const std::string gbk = text::gb("春天的故事");
    const QByteArray before =
        tagWithTitle('\0', QByteArray(gbk.data(), static_cast<int>(gbk.size()))) + audio();
    for (int i = 0; i < kFiles; ++i)
      write(QDir(dir.path()).filePath(QStringLiteral("%1.mp3").arg(i, 2, 10, QChar('0'))), before);
    MainWindow w(home.places(), dialogs);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.list()->addDirectory(dir.path(), false);
    testing::StopWhenHalfDone asker(w.statusPart(1), w.listView(), true);
    dialogs.answers.push_back(true);
    menuEntry(w, QStringLiteral("MP3标签转为Unicode(&U)"))->trigger();
    QVERIFY(asker.asked && asker.stopShown);

    int converted = 0;
    for (int r = 0; r < kFiles; ++r) {
      const QString status = cell(w, r, kColStatus);
      QFile f(QDir(dir.path()).filePath(cell(w, r, kColOld)));
      QVERIFY(f.open(QIODevice::ReadOnly));
      if (status == QStringLiteral("已转为Unicode")) {
        QCOMPARE(r, converted);  // in list order, without a gap
        ++converted;
        QVERIFY(f.readAll() != before);
      } else {
        QCOMPARE(status, QString());
        QCOMPARE(f.readAll(), before);
      }
    }
    QVERIFY2(converted >= kFiles / 2 && converted < kFiles, qPrintable(QString::number(converted)));
    QCOMPARE(dialogs.messages.last().text,
             QStringLiteral(
                 "文件总数：%1 个MP3文件\r\n\r\n%2 个文件已转换，0 个文件无需转换，0 个文件转换失败。\r\n%3 "
                 "个文件因停止而未转换。")
                 .arg(kFiles)
                 .arg(converted)
                 .arg(kFiles - converted));
    QCOMPARE(dialogs.messages.last().icon, platform::Dialogs::Icon::Exclamation);
  }

  // A text neither its tag nor its folder decides is converted in the code
  // page the user picks, asked once the repair is done; cancelled, it stays.
  void whatStaysUncertainIsConvertedInThePickedCodePage() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir dir;
    const QByteArray zhao("\xBB\xAF\xB6\xC7", 4);  // 趙傳 in Big5, as likely GBK
    write(QDir(dir.path()).filePath("a.mp3"), tagWithTitle('\0', zhao) + audio());
    MainWindow w(home.places(), dialogs);
    w.list()->addDirectory(dir.path(), false);
    QAction* entry = menuEntry(w, QStringLiteral("MP3标签转为Unicode(&U)"));
    dialogs.answers.push_back(true);
    dialogs.items.push_back(std::nullopt);
    entry->trigger();
    QCOMPARE(cell(w, 0, kColStatus), QStringLiteral("编码无法确定"));
    QCOMPARE(dialogs.lastItems,
             QStringList({QStringLiteral("GBK（简体中文）"), QStringLiteral("Big5（繁体中文）")}));
    dialogs.answers.push_back(true);
    dialogs.items.push_back(1);
    entry->trigger();
    QCOMPARE(cell(w, 0, kColStatus), QStringLiteral("已转为Unicode"));
    QFile f(QDir(dir.path()).filePath("a.mp3"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QByteArray expected("\x01\xFF\xFE", 3);
    for (QChar c : QStringLiteral("趙傳"))
      expected.append(static_cast<char>(c.unicode() & 0xFF)).append(static_cast<char>(c.unicode() >> 8));
    QVERIFY(f.readAll().contains(expected));
  }
};

QTEST_MAIN(TagRepairWindowTest)
#include "test_tag_repair_window.moc"
