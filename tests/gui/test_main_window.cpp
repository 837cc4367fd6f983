#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include "answering_dialogs.h"
#include "app/main_window.h"
#include "platform/gui/spin_edit.h"
#include "text/gbtext.h"

using namespace qorin;
using namespace qorin::app;

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  // A list of `names` in a temporary folder, added the way a user would.
  static void addFiles(MainWindow& w, const QString& dir, const QStringList& names) {
    testing::makeFiles(dir, names);
    w.list()->addDirectory(dir, false);
  }

 private slots:
  void firstStartShowsEmptyState() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    MainWindow w(home.places(), dialogs);
    QCOMPARE(w.windowTitle(), QStringLiteral("Qorin批量更名器"));
    QCOMPARE(w.statusPart(0)->text(), QStringLiteral("0个文件"));
    QCOMPARE(w.statusPart(2)->text(), QStringLiteral("自动预览－关"));
    QCOMPARE(w.statusPart(0)->objectName(), QStringLiteral("文件个数"));
    QCOMPARE(w.statusPart(1)->objectName(), QStringLiteral("进度"));
    QCOMPARE(w.statusPart(2)->objectName(), QStringLiteral("自动预览"));
    const QList<QAction*> actions = w.toolBar()->actions();
    QCOMPARE(actions.size(), 8);
    const char* texts[] = {"选择目录", "加入多个文件", nullptr, "撤消", "预览", "开始命名", nullptr, "帮助"};
    for (int i = 0; i < 8; ++i) {
      QCOMPARE(actions[i]->isSeparator(), texts[i] == nullptr);
      if (texts[i]) QCOMPARE(actions[i]->text(), QString::fromUtf8(texts[i]));
      QCOMPARE(actions[i], w.toolbarAction(i));
    }
    QVERIFY(actions[0]->isEnabled() && actions[1]->isEnabled() && actions[7]->isEnabled());
    QVERIFY(!actions[3]->isEnabled() && !actions[4]->isEnabled() && !actions[5]->isEnabled());
    QCOMPARE(w.toolBar()->objectName(), QStringLiteral("工具条"));
    QCOMPARE(w.listMenu()->objectName(), QStringLiteral("右键菜单"));
  }

  void controlsCarryTheirDesignState() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    MainWindow w(home.places(), dialogs);
    struct Spin {
      const char* name;
      int min, max, maxLength;
      const char* text;
      bool enabled;
    };
    const Spin spins[] = {
        {"起始量编辑框", 0, 9999, 8, "0", true},        {"增量编辑框", 1, 9999, 6, "1", true},
        {"文件名位数调节编辑框", 1, 255, 3, "1", true}, {"扩展名位数调节编辑框", 0, 100, 3, "", false},
        {"插入文件名位置编辑框", 1, 255, 3, "1", true}, {"插入扩展名位置编辑框", 1, 255, 3, "1", true}};
    for (const Spin& s : spins) {
      auto* e = testing::control<qorin::platform::SpinEdit>(w, s.name);
      QVERIFY2(e, s.name);
      QCOMPARE(e->minimum(), s.min);
      QCOMPARE(e->maximum(), s.max);
      QCOMPARE(e->maxLength(), s.maxLength);
      QCOMPARE(e->text(), QString::fromUtf8(s.text));
      QCOMPARE(e->isEnabled(), s.enabled);
    }
    for (const char* name : {"扩展名前缀编辑框", "新扩展名编辑框", "扩展名后缀编辑框"})
      QVERIFY2(!testing::control<QLineEdit>(w, name)->isEnabled(), name);
    for (const char* name :
         {"常规文件名单选框", "仅文件名单选框", "插入文件名位置单选框", "插入扩展名位置单选框",
          "文件名全部大写单选框", "扩展名全部大写单选框", "V2优先单选框"})
      QVERIFY2(testing::control<QRadioButton>(w, name)->isChecked(), name);
    QCOMPARE(w.tabs()->objectName(), QStringLiteral("选择夹"));
    QCOMPARE(w.tabs()->count(), 5);
    const char* captions[] = {"常规", "替换/删除", "插入", "大小写", "MP3标签"};
    for (int i = 0; i < 5; ++i) QCOMPARE(w.tabs()->tabText(i), QString::fromUtf8(captions[i]));
    QCOMPARE(testing::mp3Page(w)->预定义方案组合框->count(), 4);
    QCOMPARE(testing::mp3Page(w)->艺术家超级按钮->text(), QStringLiteral("#1-艺术家"));
    QCOMPARE(testing::mp3Page(w)->流派超级按钮->toolTip(), QStringLiteral("流派"));
    QCOMPARE(w.listView()->objectName(), QStringLiteral("显示超级列表框"));
    const char* columns[] = {"旧文件名", "新文件名", "路径", "命名状态", "MP3标签状态"};
    const int widths[] = {150, 150, 200, 100, 100};
    for (int c = 0; c < 5; ++c) {
      QCOMPARE(w.listView()->model()->headerData(c, Qt::Horizontal).toString(),
               QString::fromUtf8(columns[c]));
      QCOMPARE(w.listView()->columnWidth(c), widths[c]);
    }
  }

  void resizeRuleKeepsTheMinimumAndFollowsTheWindow() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    MainWindow w(home.places(), dialogs);
    w.show();
    const QSize cases[] = {{500, 300}, {500, 600}, {900, 300}, {800, 500}, {598, 378}};
    for (const QSize& s : cases) {
      w.resize(s);
      QVERIFY(w.width() >= MainWindow::kMinWidth && w.height() >= MainWindow::kMinHeight);
      QCOMPARE(w.tabs()->width(), w.width() - 8);
      QCOMPARE(w.listView()->width(), w.tabs()->width());
      QCOMPARE(w.listView()->height(), w.height() - 226);
      QCOMPARE(w.tabs()->height(), 130);
    }
    w.resize(500, 300);
    QCOMPARE(w.size(), QSize(598, 378));
  }

  void everyTaggedControlReachesItsSharedHandler() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    MainWindow w(home.places(), dialogs);
    QSignalSpy spy(&w, &MainWindow::sharedHandlerInvoked);
    const char* edits[] = {"文件名前缀编辑框", "起始量编辑框",     "文件名编辑框",   "文件名位数调节编辑框",
                           "文件名后缀编辑框", "扩展名前缀编辑框", "新扩展名编辑框", "扩展名位数调节编辑框",
                           "扩展名后缀编辑框", "增量编辑框",       "查找内容编辑框", "替换为编辑框"};
    for (const char* name : edits) {
      spy.clear();
      auto* e = testing::control<QLineEdit>(w, name);
      e->setText(e->text() + QStringLiteral("7"));  // set from code: same notification as typing
      QCOMPARE(spy.count(), 1);
      QCOMPARE(spy[0][0].toString(), QStringLiteral("文件名前缀编辑框"));
      QCOMPARE(spy[0][1].value<QObject*>(), e);
    }
    const char* radios[] = {"仅文件名单选框",         "仅扩展名单选框",        "替换删除全部单选框",
                            "文件名全部大写单选框",   "文件名全部小写单选框",  "文件名首字母大写单选框",
                            "文件名首字母小写单选框", "扩展名全部大写单选框",  "扩展名全部小写单选框",
                            "扩展名首字母大写单选框", "扩展名首字母小写单选框"};
    for (const char* name : radios) {
      spy.clear();
      auto* r = testing::control<QRadioButton>(w, name);
      r->click();
      QCOMPARE(spy.count(), 1);
      QCOMPARE(spy[0][0].toString(), QStringLiteral("仅文件名单选框"));
      QCOMPARE(spy[0][1].value<QObject*>(), r);
    }
    for (const char* name : {"艺术家超级按钮", "歌曲名超级按钮", "专辑超级按钮", "音轨超级按钮",
                             "年代超级按钮", "流派超级按钮"}) {
      spy.clear();
      auto* b = testing::control<QToolButton>(w, name);
      b->click();
      QCOMPARE(spy.count(), 1);
      QCOMPARE(spy[0][0].toString(), QStringLiteral("艺术家超级按钮"));
      QCOMPARE(spy[0][1].value<QObject*>(), b);
    }
  }

  void listMenuFollowsListAndSelection() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir files;
    MainWindow w(home.places(), dialogs);
    auto enabled = [&](const char* text) {
      for (QAction* a : w.listMenu()->actions())
        if (a->text() == QString::fromUtf8(text)) return a->isEnabled();
      qFatal("no menu entry %s", text);
    };
    const char* listEntries[] = {"清空列表(&E)", "全选", "过滤(&L)...", "预览(&V)"};
    emit w.list()->menuRequested(QPoint(10, 10));  // as a right click does
    w.listMenu()->close();
    for (const char* e : listEntries) QVERIFY2(!enabled(e), e);
    QVERIFY(!enabled("删除选择的项目(&D)") && !enabled("MP3标签信息(&I)...") &&
            !enabled("删除无MP3标签项目(M)"));
    QVERIFY(enabled("添加整个目录(&O)") && enabled("加入文件(&F)"));

    addFiles(w, files.path(), {"a.txt", "b.mp3"});
    emit w.list()->menuRequested(QPoint(10, 10));  // as a right click does
    w.listMenu()->close();
    for (const char* e : listEntries) QVERIFY2(enabled(e), e);
    QVERIFY(!enabled("删除选择的项目(&D)") && !enabled("删除无MP3标签项目(M)"));

    w.listView()->selectionModel()->select(w.listView()->model()->index(1, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    w.tabs()->setCurrentIndex(4);
    emit w.list()->menuRequested(QPoint(10, 10));  // as a right click does
    w.listMenu()->close();
    QVERIFY(enabled("删除选择的项目(&D)") && enabled("MP3标签信息(&I)...") &&
            enabled("删除无MP3标签项目(M)"));
  }

  void keysDeleteAndSelect() {
    testing::ProgramDirectory home;
    QTemporaryDir files;
    testing::AnsweringDialogs dialogs;
    MainWindow w(home.places(), dialogs);
    w.show();
    addFiles(w, files.path(), {"1", "2", "3", "4", "5"});
    QTreeView* view = w.listView();
    QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(w.list()->currentSelection(), -1);
    QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(view->selectionModel()->selectedRows().size(), 5);
    view->selectionModel()->clearSelection();
    for (int r : {1, 3})
      view->selectionModel()->select(view->model()->index(r, 0),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(w.list()->currentSelection(), 1);
    QTest::keyClick(view, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(w.fileList().fileCount(), 3);
    QCOMPARE(view->model()->rowCount(), 3);
    const char* left[] = {"1", "3", "5"};
    for (int r = 0; r < 3; ++r)
      QCOMPARE(view->model()->index(r, 0).data().toString(), QString::fromUtf8(left[r]));
    QCOMPARE(w.statusPart(0)->text(), QStringLiteral("3个文件"));
    // Nothing selected: nothing removed, the count refreshed all the same.
    QTest::keyClick(view, Qt::Key_Delete);
    QCOMPARE(w.fileList().fileCount(), 3);
    QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_Delete);
    QCOMPARE(w.fileList().fileCount(), 0);
    for (int b : {3, 4, 5}) QVERIFY(!w.toolbarAction(b)->isEnabled());
  }

  void clearingAndTagInfoOnNonMp3() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir files;
    MainWindow w(home.places(), dialogs);
    addFiles(w, files.path(), {"a.txt", "b.mp3"});
    QVERIFY(w.toolbarAction(4)->isEnabled() && w.toolbarAction(5)->isEnabled());
    w.listView()->selectionModel()->select(w.listView()->model()->index(0, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    w.openTagEditorForSelection(true);
    QCOMPARE(dialogs.messages.size(), 1);
    QCOMPARE(dialogs.messages[0].text, QStringLiteral("抱歉，该文件不是MP3文件！"));
    QCOMPARE(dialogs.messages[0].title, QStringLiteral("Qorin批量更名器"));
    QCOMPARE(dialogs.messages[0].icon, platform::Dialogs::Icon::Exclamation);
    w.openTagEditorForSelection(false);  // double click stays silent
    QCOMPARE(dialogs.messages.size(), 1);
    // Without MP3 rule marks nothing is removed.
    w.list()->deleteUntaggedEntries();
    QCOMPARE(w.fileList().fileCount(), 2);
    w.list()->clearList();
    QCOMPARE(w.fileList().fileCount(), 0);
    QCOMPARE(w.statusPart(0)->text(), QStringLiteral("0个文件"));
    for (int b : {3, 4, 5}) QVERIFY(!w.toolbarAction(b)->isEnabled());
    // Double click with nothing selected opens the add-files dialog.
    w.openTagEditorForSelection(false);
    QCOMPARE(dialogs.fileDialogs, 1);
  }

  void closingWritesTheDefaultSettingsFile() {
    testing::ProgramDirectory home;
    {
      testing::AnsweringDialogs dialogs;
      MainWindow w(home.places(), dialogs);
      w.show();
      w.close();
    }
    QFile f(home.file(QStringLiteral("config.ini")));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const std::string want = text::gb(
        "[预览选项]\r\n自动预览=关\r\n全部预览=关\r\n预览数量=10\r\n[颜色]\r\n背景颜色=8429696\r\n"
        "字体颜色=8388608\r\n[字体]\r\n字体名称=宋体\r\n字体大小=10\r\n字体样式=常规\r\n");
    QCOMPARE(f.readAll().toStdString(), want);
  }
};

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
