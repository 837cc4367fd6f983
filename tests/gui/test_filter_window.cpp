// SPDX-License-Identifier: GPL-3.0-or-later
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include "answering_dialogs.h"
#include "app/main_window.h"
#include "session/gui/filter_window.h"

using namespace qorin;
using namespace qorin::filelist;
using qorin::session::FilterWindow;
using namespace qorin::app;

namespace {

QStringList listed(MainWindow& w) {
  QStringList out;
  for (int r = 0; r < w.listView()->model()->rowCount(); ++r)
    out << w.listView()->model()->index(r, kColOld).data().toString();
  return out;
}

template <class T>
T* child(FilterWindow& f, const char* name) {
  T* c = f.findChild<T*>(QString::fromUtf8(name));
  if (!c) qFatal("no control %s", name);
  return c;
}

}  // namespace

class FilterWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void opensWithItsDesignState() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    MainWindow w(home.places(), dialogs);
    FilterWindow f(w.session(), w.dialogs(), &w);
    QCOMPARE(f.windowTitle(), QStringLiteral("过滤设置"));
    QCOMPARE(f.size(), QSize(340, 162));  // the outer 348 × 189 less frame and caption
    QCOMPARE(f.pos(), QPoint(50, 50));
    auto* operation = child<QComboBox>(f, "操作方式组合框");
    QCOMPARE(operation->count(), 2);
    QCOMPARE(operation->currentText(), QStringLiteral("删除"));
    QCOMPARE(operation->itemText(1), QStringLiteral("保留"));
    auto* ext = child<QComboBox>(f, "扩展名组合框");
    const QStringList items = {"txt", "mp3", "jpg", "bmp", "gif", "jpeg", "wav", "wma",
                               "fla", "swf", "rm",  "avi", "htm", "html", "doc", "ppt"};
    QCOMPARE(ext->count(), items.size());
    for (int i = 0; i < items.size(); ++i) QCOMPARE(ext->itemText(i), items[i]);
    QVERIFY(child<QRadioButton>(f, "扩展名单选框")->isChecked());
    QVERIFY(child<QCheckBox>(f, "过滤完成后关闭对话框选择框")->isChecked());
    QVERIFY(ext->isEnabled());
    QVERIFY(!child<QLineEdit>(f, "包含内容编辑框")->isEnabled());
    QCOMPARE(child<QLabel>(f, "标签1")->text(), QStringLiteral("操作方式："));

    QTest::mouseClick(child<QRadioButton>(f, "包含内容单选框"), Qt::LeftButton);
    QVERIFY(!ext->isEnabled() && child<QLineEdit>(f, "包含内容编辑框")->isEnabled());
    QTest::mouseClick(child<QRadioButton>(f, "扩展名单选框"), Qt::LeftButton);
    QVERIFY(ext->isEnabled() && !child<QLineEdit>(f, "包含内容编辑框")->isEnabled());
  }

  void filtersByExtension() {
    const struct {
      int operation;
      const char* ext;
      QStringList left;
    } cases[] = {
        {0, "MP3", {"cover.JPG", "notes"}},
        {1, "MP3", {"song.mp3"}},
        {0, ".mp3", {"cover.JPG", "notes", "song.mp3"}},
    };
    for (const auto& c : cases) {
      testing::ProgramDirectory home;
      testing::AnsweringDialogs dialogs;
      QTemporaryDir dir;
      MainWindow w(home.places(), dialogs);
      testing::makeFiles(dir.path(), {"song.mp3", "cover.JPG", "notes"});
      w.list()->addDirectory(dir.path(), false);
      FilterWindow f(w.session(), w.dialogs(), &w);
      f.show();
      child<QComboBox>(f, "操作方式组合框")->setCurrentIndex(c.operation);
      child<QComboBox>(f, "扩展名组合框")->setEditText(QString::fromUtf8(c.ext));
      QTest::mouseClick(child<QPushButton>(f, "确定按钮"), Qt::LeftButton);
      QCOMPARE(listed(w), c.left);
      QCOMPARE(w.statusPart(0)->text(), QString::number(c.left.size()) + QStringLiteral("个文件"));
      QVERIFY(dialogs.messages.isEmpty());
      QVERIFY(!f.isVisible());  // closed, as the check box asks
    }
  }

  void containedTextLooksAtNamesOnly() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir dir;
    MainWindow w(home.places(), dialogs);
    const QString live = dir.filePath(QStringLiteral("Live"));
    testing::makeFiles(live, {"studio.mp3"});
    testing::makeFiles(dir.path(), {"01 live.mp3", "LIVE-2.wma", "other.mp3"});
    w.list()->addDirectory(live, false);
    w.list()->addDirectory(dir.path(), false);
    FilterWindow f(w.session(), w.dialogs(), &w);
    f.show();
    child<QCheckBox>(f, "过滤完成后关闭对话框选择框")->setChecked(false);
    QTest::mouseClick(child<QRadioButton>(f, "包含内容单选框"), Qt::LeftButton);
    child<QLineEdit>(f, "包含内容编辑框")->setText(QStringLiteral("Live"));
    QTest::mouseClick(child<QPushButton>(f, "确定按钮"), Qt::LeftButton);
    QCOMPARE(listed(w), (QStringList{"studio.mp3", "other.mp3"}));
    QVERIFY(f.isVisible());  // stays open for another run on the thinned list

    child<QComboBox>(f, "操作方式组合框")->setCurrentIndex(1);
    child<QLineEdit>(f, "包含内容编辑框")->setText(QStringLiteral("OTHER"));
    QTest::mouseClick(child<QPushButton>(f, "确定按钮"), Qt::LeftButton);
    QCOMPARE(listed(w), QStringList{"other.mp3"});
    QVERIFY(dialogs.messages.isEmpty());
  }

  void emptyingTheListDisablesRenameAndPreview() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir dir;
    MainWindow w(home.places(), dialogs);
    testing::makeFiles(dir.path(), {"a.txt", "b.txt"});
    w.list()->addDirectory(dir.path(), false);
    w.toolbarClicked(MainWindow::kRename);  // leaves an undo record
    QVERIFY(w.toolbarAction(4)->isEnabled() && w.toolbarAction(5)->isEnabled());
    FilterWindow f(w.session(), w.dialogs(), &w);
    f.runFilter();  // 删除 txt
    QCOMPARE(w.fileList().fileCount(), 0);
    QCOMPARE(w.statusPart(0)->text(), QStringLiteral("0个文件"));
    QVERIFY(!w.toolbarAction(4)->isEnabled() && !w.toolbarAction(5)->isEnabled());
    QVERIFY(w.toolbarAction(3)->isEnabled());
  }

  void refusesMissingChoices() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir dir;
    MainWindow w(home.places(), dialogs);
    testing::makeFiles(dir.path(), {"a.txt"});
    w.list()->addDirectory(dir.path(), false);
    FilterWindow f(w.session(), w.dialogs(), &w);
    f.show();
    child<QCheckBox>(f, "过滤完成后关闭对话框选择框")->setChecked(true);
    const auto run = [&](auto prepare) {
      prepare();
      f.runFilter();
    };
    run([&] { child<QComboBox>(f, "操作方式组合框")->setCurrentIndex(-1); });
    run([&] {
      child<QComboBox>(f, "操作方式组合框")->setCurrentIndex(0);
      child<QComboBox>(f, "扩展名组合框")->setEditText(QString());
    });
    run([&] { QTest::mouseClick(child<QRadioButton>(f, "包含内容单选框"), Qt::LeftButton); });
    const char* texts[] = {"请选择操作方式！", "扩展名不能空！", "'包含内容'不能空！"};
    QCOMPARE(dialogs.messages.size(), 3);
    for (int i = 0; i < 3; ++i) {
      QCOMPARE(dialogs.messages[i].text, QString::fromUtf8(texts[i]));
      QCOMPARE(dialogs.messages[i].title, QStringLiteral("过滤设置"));
      QCOMPARE(dialogs.messages[i].icon, platform::Dialogs::Icon::Exclamation);
    }
    QCOMPARE(w.fileList().fileCount(), 1);
    QVERIFY(f.isVisible());

    QTest::mouseClick(child<QPushButton>(f, "取消按钮"), Qt::LeftButton);
    QVERIFY(!f.isVisible());
    QCOMPARE(w.fileList().fileCount(), 1);
  }
};

QTEST_MAIN(FilterWindowTest)
#include "test_filter_window.moc"
