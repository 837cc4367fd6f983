// SPDX-License-Identifier: GPL-3.0-or-later
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include "answering_dialogs.h"
#include "app/main_window.h"
#include "list_cells.h"
#include "platform/open_file.h"
#include "session/settings.h"
#include "tags/id3v1.h"
#include "tags/id3v2.h"
#include "text/gbtext.h"
#include "text/gui/qtext.h"

using namespace qorin;
using namespace qorin::session;
using namespace qorin::app;
using namespace qorin::filelist;
using qorin::testing::cell;
using qorin::testing::menuEntry;

namespace {

// An MP3 file with an ID3v2 tag of the given artist and title.
void writeTagged(const QString& path, const char* artist, const char* title) {
  testing::makeFiles(QFileInfo(path).path(), {QFileInfo(path).fileName()}, QByteArray(600, '\x55'));
  tags::TagFields f;
  f[tags::kArtist] = text::gb(artist);
  f[tags::kTitle] = text::gb(title);
  platform::OpenFile file(text::fromQtOrEmpty(path), platform::OpenMode::ReadWrite);
  QVERIFY(tags::writeId3v2(file, f));
}

}  // namespace

class Mp3TabTest : public QObject {
  Q_OBJECT

 private slots:
  void startsEmptyWithNoScheme() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    MainWindow w(home.places(), dialogs);
    QCOMPARE(testing::mp3Page(w)->预定义方案组合框->currentIndex(), -1);
    QCOMPARE(testing::mp3Page(w)->MP3命名规则编辑框->text(), QString());
    QVERIFY(testing::mp3Page(w)->参照编辑框->isReadOnly());
  }

  void buttonsAppendPlaceholders() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    MainWindow w(home.places(), dialogs);
    auto* rule = testing::mp3Page(w)->MP3命名规则编辑框;
    auto* example = testing::mp3Page(w)->参照编辑框;
    const struct {
      const char* button;
      const char* rule;
      const char* example;
    } steps[] = {
        {"艺术家超级按钮", "#1", "艺术家"},
        {"歌曲名超级按钮", "#1-#2", "艺术家-歌曲名"},
        {"专辑超级按钮", "#1-#2-#3", "艺术家-歌曲名-专辑"},
        {"音轨超级按钮", "#1-#2-#3-#4", "艺术家-歌曲名-专辑-音轨"},
        {"年代超级按钮", "#1-#2-#3-#4-#5", "艺术家-歌曲名-专辑-音轨-年代"},
        {"流派超级按钮", "#1-#2-#3-#4-#5-#6", "艺术家-歌曲名-专辑-音轨-年代-流派"},
    };
    for (const auto& s : steps) {
      QTest::mouseClick(testing::control<QToolButton>(w, s.button), Qt::LeftButton);
      QCOMPARE(rule->text(), QString::fromUtf8(s.rule));
      QCOMPARE(example->text(), QString::fromUtf8(s.example));
    }
  }

  void schemeWritesItsRuleAndClearsTheChoice() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    MainWindow w(home.places(), dialogs);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.tabs()->setCurrentIndex(4);
    auto* combo = testing::mp3Page(w)->预定义方案组合框;
    auto* rule = testing::mp3Page(w)->MP3命名规则编辑框;
    const char* rules[] = {"#1-#2", "#1-#3-#2", "#1-#3-#5-#2", "#1-#3-#5-#2-#4"};
    for (int i = 0; i < 4; ++i) {
      combo->setFocus();
      emit combo->activated(i);
      QCOMPARE(rule->text(), QString::fromUtf8(rules[i]));
      QCOMPARE(combo->currentIndex(), -1);
      QVERIFY(rule->hasFocus());
    }
    QCOMPARE(testing::mp3Page(w)->参照编辑框->text(), QStringLiteral("艺术家-专辑-年代-歌曲名-音轨"));
  }

  void ruleIsLimitedToFiftyBytes() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    MainWindow w(home.places(), dialogs);
    auto* rule = testing::mp3Page(w)->MP3命名规则编辑框;
    QTest::keyClicks(rule, QString(60, QLatin1Char('a')));
    QCOMPARE(rule->text(), QString(50, QLatin1Char('a')));

    // A button click past the limit is cut back to the first 50 bytes.
    rule->setText(QString(48, QLatin1Char('b')));
    QTest::mouseClick(testing::mp3Page(w)->歌曲名超级按钮, Qt::LeftButton);
    QCOMPARE(rule->text(), QString(48, QLatin1Char('b')) + QStringLiteral("-#"));

    // Chinese text: 50 characters may be typed, but only 50 bytes stay, and
    // never half a character.
    rule->setText(QStringLiteral("a") + QString(30, QChar(0x6625)));
    QCOMPARE(rule->text(), QStringLiteral("a") + QString(24, QChar(0x6625)));
    QCOMPARE(text::fromQtOrEmpty(rule->text()).size(), std::size_t{49});
  }

  void refreshNamesEveryFileAndMarksTheRest() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir dir;
    MainWindow w(home.places(), dialogs);
    w.session().settings().autoPreview = 1;
    w.session().settings().previewCount = 2;
    writeTagged(dir.filePath("b.mp3"), "歌手甲", "春天");
    writeTagged(dir.filePath("d.MP3"), "Band", "Song");
    testing::makeFiles(dir.path(), {"a.txt", "c.mp3"}, QByteArray(300, '\x55'));
    w.list()->addDirectory(dir.path(), false);
    QCOMPARE(w.fileList().fileCount(), 4);
    w.tabs()->setCurrentIndex(4);
    testing::mp3Page(w)->MP3命名规则编辑框->setText(QStringLiteral("#1-#2"));
    const struct {
      const char* newName;
      const char* status;
    } want[] = {{"", "非MP3文件"}, {"歌手甲-春天.mp3", ""}, {"", "无标签"}, {"Band-Song.mp3", ""}};
    for (int r = 0; r < 4; ++r) {
      QCOMPARE(cell(w, r, kColNew), QString::fromUtf8(want[r].newName));
      QCOMPARE(cell(w, r, kColMp3), QString::fromUtf8(want[r].status));
    }

    // The priority buttons refresh: no ID3v1 anywhere, so the ID3v2 names stay.
    QTest::mouseClick(testing::mp3Page(w)->V1优先单选框, Qt::LeftButton);
    QCOMPARE(cell(w, 1, kColNew), QStringLiteral("歌手甲-春天.mp3"));

    // Exactly the marked rows go.
    w.list()->deleteUntaggedEntries();
    QCOMPARE(w.fileList().fileCount(), 2);
    QCOMPARE(cell(w, 0, kColOld), QStringLiteral("b.mp3"));
    QCOMPARE(cell(w, 1, kColOld), QStringLiteral("d.MP3"));
  }
};

QTEST_MAIN(Mp3TabTest)
#include "test_mp3_tab.moc"
