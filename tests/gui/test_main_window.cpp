// SPDX-License-Identifier: GPL-3.0-or-later
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFontDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTranslator>
#include <QTreeView>

#include "answering_dialogs.h"
#include "app/main_window.h"
#include "platform/gui/spin_edit.h"
#include "platform/open_file.h"
#include "rules/gui/rule_tab.h"
#include "tags/id3v2.h"
#include "text/gbtext.h"
#include "text/gui/qtext.h"

using namespace qorin;
using namespace qorin::app;

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  // The buttons of the real message box and question, read while they show.
  static QStringList ownMessageButtons() {
    platform::QtDialogs real;
    QStringList texts;
    QTimer::singleShot(0, [&texts] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      for (QAbstractButton* b : box->buttons()) texts << b->text();
      box->buttons().front()->click();
    });
    real.message(nullptr, platform::programTitle(), QStringLiteral("完成"),
                 platform::Dialogs::Icon::Information);
    return texts;
  }
  static QStringList ownQuestionButtons() {
    platform::QtDialogs real;
    QStringList texts;
    QTimer::singleShot(0, [&texts] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      texts << box->button(QMessageBox::Yes)->text() << box->button(QMessageBox::No)->text();
      box->button(QMessageBox::No)->click();
    });
    const bool yes = real.askYesNo(nullptr, platform::programTitle(), QStringLiteral("撤消？"),
                                   platform::Dialogs::Icon::Exclamation);
    if (yes) texts << QStringLiteral("answered yes");
    return texts;
  }

  // A list of `names` in a temporary folder, added the way a user would.
  static void addFiles(MainWindow& w, const QString& dir, const QStringList& names) {
    testing::makeFiles(dir, names);
    w.list()->addDirectory(dir, false);
  }

 private slots:
  // Keys for the buttons without menu entries, Tab reaches them, and the
  // preview switch says where it is and switches on a click.
  void toolbarKeysAndThePreviewSwitch() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    MainWindow w(home.places(), dialogs);
    QCOMPARE(w.toolbarAction(MainWindow::kPreview)->shortcut(), QKeySequence(Qt::Key_F5));
    QCOMPARE(w.toolbarAction(MainWindow::kRename)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Return));
    QCOMPARE(w.toolbarAction(MainWindow::kUndo)->shortcut(), QKeySequence(QKeySequence::Undo));
    auto* bar = w.findChild<QToolBar*>(QStringLiteral("工具条"));
    QCOMPARE(bar->widgetForAction(w.toolbarAction(MainWindow::kRename))->focusPolicy(), Qt::TabFocus);
    QCOMPARE(w.toolbarAction(MainWindow::kPreview)->toolTip(),
             QStringLiteral("自动预览已关闭：请在 选项→设置 中打开"));
    QTest::mouseClick(w.statusPart(2), Qt::LeftButton);
    QCOMPARE(w.session().settings().autoPreview, 1);
    QCOMPARE(w.statusPart(2)->text(), QStringLiteral("自动预览－开"));
    QCOMPARE(w.toolbarAction(MainWindow::kPreview)->toolTip(), QStringLiteral("预览"));
  }

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
    QCOMPARE(w.tabs()->count(), rules::kRuleCount);
    const char* captions[] = {"常规", "替换/删除", "插入", "大小写", "MP3标签", "日期"};
    for (int i = 0; i < 6; ++i) QCOMPARE(w.tabs()->tabText(i), QString::fromUtf8(captions[i]));
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

  // Sizes are the design's outer sizes (frame, caption and a 19-px menu bar
  // included); whatever the size, the list ends on the status bar and the
  // tab control and the list span the window.
  void resizeRuleKeepsTheMinimumAndFollowsTheWindow() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    MainWindow w(home.places(), dialogs);
    w.show();
    QCOMPARE(w.outerSize(), QSize(598, 378));
    const struct {
      QSize asked, outer;
    } cases[] = {{{500, 300}, {598, 378}}, {{500, 600}, {598, 600}}, {{900, 300}, {900, 378}},
                 {{800, 500}, {800, 500}}, {{598, 378}, {598, 378}}, {{1024, 700}, {1024, 700}}};
    for (const auto& c : cases) {
      w.resizeOuter(c.asked);
      QCOMPARE(w.outerSize(), c.outer);
      QCOMPARE(w.width(), c.outer.width() - 8);
      QCOMPARE(w.tabs()->width(), c.outer.width() - 8);
      QCOMPARE(w.listView()->width(), w.width());
      QCOMPARE(w.listView()->height(), c.outer.height() - 226);
      QCOMPARE(w.tabs()->height(), 130);
      const QRect list(w.listView()->mapTo(&w, QPoint(0, 0)), w.listView()->size());
      QCOMPARE(list.left(), 0);
      QCOMPARE(list.bottom() + 1, w.statusBar()->geometry().top());
      QCOMPARE(w.tabs()->mapTo(&w, QPoint(0, 0)).y() + 130 + 1, list.top());
      QCOMPARE(w.tabs()->mapTo(&w, QPoint(0, 0)).y(), w.toolBar()->geometry().bottom() + 2);
    }
  }

  // The rule pages' controls stand where the design puts them, counted from
  // the tab control's corner, and none is cut by the tab frame.
  void ruleControlsAtTheirDesignPlaces() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    MainWindow w(home.places(), dialogs);
    w.show();
    const struct {
      int tab;
      const char* name;
      int x, y, width, height;  // width and height 0: not given by the design
    } controls[] = {
        {0, "标签13", 6, 32, 0, 0},
        {0, "分组框3", 52, 22, 228, 27},
        {0, "起始量编辑框", 342, 29, 48, 18},
        {0, "常规清空按钮", 519, 27, 60, 20},
        {0, "文件名分组框", 6, 50, 578, 37},
        {0, "扩展名分组框", 6, 89, 578, 37},
        {0, "扩展名后缀编辑框", 6 + 428, 89 + 14, 56, 18},
        {1, "删除分组框", 5, 25, 579, 96},
        {1, "查找内容编辑框", 5 + 89, 25 + 14, 191, 18},
        {2, "插入到文件名的字符编辑框", 168, 31, 96, 18},
        {2, "分组框2", 114, 87, 462, 35},
        {3, "分组框7", 303, 38, 278, 81},
        {4, "预定义方案组合框", 87, 28, 224, 22},
        {4, "外形框3", 87, 99, 495, 24},
    };
    for (const auto& c : controls) {
      w.tabs()->setCurrentIndex(c.tab);
      auto* control = testing::control<QWidget>(w, c.name);
      QVERIFY2(control, c.name);
      const QPoint at = control->mapTo(w.tabs(), QPoint(0, 0));
      QVERIFY2(
          at == QPoint(c.x, c.y),
          qPrintable(QStringLiteral("%1 at %2,%3").arg(QString::fromUtf8(c.name)).arg(at.x()).arg(at.y())));
      if (c.width) QCOMPARE(control->size(), QSize(c.width, c.height));
      // Drawn whole: inside the page, which the tab frame does not cover.
      const QWidget* page = w.ruleTab(c.tab);
      const QRect inPage(control->mapTo(page, QPoint(0, 0)), control->size());
      QVERIFY2(page->rect().contains(inPage), c.name);
    }
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
        "字体颜色=8388608\r\n[字体]\r\n字体名称=宋体\r\n字体大小=10\r\n字体样式=常规\r\n[更名选项]\r\n"
        "包含子目录=关\r\n包含隐藏文件=关\r\n替换非法字符=开\r\n音轨号补零=关\r\n");
    // The rule tabs' fields follow in a section of their own.
    const std::string all = f.readAll().toStdString();
    QCOMPARE(all.substr(0, want.size()), want);
    QVERIFY(all.substr(want.size()).starts_with(text::gb("[规则]\r\n选择夹=general\r\n")));
  }

  // Folders refused for the program's files are named in one message at
  // start; a start with usable folders says nothing.
  void refusedFoldersAreNamedOnce() {
    session::Places places;
    places.refused = {"/srv/shared/qorin/", "/tmp/qorin/"};
    testing::AnsweringDialogs dialogs;
    {
      MainWindow w(places, dialogs);
      w.show();
      w.close();
    }
    QCOMPARE(dialogs.messages.size(), 1);
    const auto& m = dialogs.messages[0];
    QCOMPARE(m.title, QStringLiteral("Qorin批量更名器"));
    QCOMPARE(m.icon, platform::Dialogs::Icon::Exclamation);
    QVERIFY(!m.question);
    QCOMPARE(m.text,
             QStringLiteral("以下文件夹不属于当前用户或其他用户可以写入，程序不会在其中保存设置和更名记录：\n"
                            "/srv/shared/qorin/\n/tmp/qorin/"));
    testing::ProgramDirectory home;
    testing::AnsweringDialogs quiet;
    MainWindow usable(home.places(), quiet);
    QVERIFY(quiet.messages.isEmpty());
  }

  // The 选项 menu's switches: after 设置(&S)..., ticked as config.ini says,
  // kept there when the window closes, and ticked again on the next start.
  void optionEntriesPersist() {
    testing::ProgramDirectory home;
    const char* texts[] = {"包含子目录(&R)", "包含隐藏文件(&H)", "替换非法字符(&I)", "音轨号补零(&T)"};
    {
      testing::AnsweringDialogs dialogs;
      MainWindow w(home.places(), dialogs);
      const QList<QAction*> entries = w.menuBar()->actions()[1]->menu()->actions();
      QCOMPARE(entries.size(), 8);
      QCOMPARE(entries[7]->text(), QStringLiteral("方案(&P)"));
      QCOMPARE(entries[0]->text(), QStringLiteral("设置(&S)..."));
      QVERIFY(entries[1]->isSeparator());
      for (int i = 0; i < 4; ++i) {
        QCOMPARE(entries[i + 2], w.optionAction(i));
        QCOMPARE(entries[i + 2]->text(), QString::fromUtf8(texts[i]));
        QVERIFY(entries[i + 2]->isCheckable());
        QCOMPARE(entries[i + 2]->isChecked(), i == 2);  // only 替换非法字符 starts on
      }
      w.show();
      for (int i : {0, 2, 3}) w.optionAction(i)->trigger();
      const session::Settings& s = w.session().settings();
      QVERIFY(s.includeSubfolders && !s.includeHidden && !s.replaceIllegal && s.padTrack);
      w.close();
    }
    QFile f(home.file(QStringLiteral("config.ini")));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readAll().toStdString().find(text::gb("[更名选项]\r\n包含子目录=开\r\n包含隐藏文件="
                                                    "关\r\n替换非法字符=关\r\n音轨号补零=开\r\n[规则]")) !=
            std::string::npos);
    testing::AnsweringDialogs dialogs;
    MainWindow again(home.places(), dialogs);
    const bool want[] = {true, false, false, true};
    for (int i = 0; i < 4; ++i) QCOMPARE(again.optionAction(i)->isChecked(), want[i]);
    again.session().setRule(again.ruleTab(rules::kMp3Tab)->options());
    const auto mp3 = std::get<rules::Mp3Options>(again.session().rule());
    QCOMPARE(mp3.cleanup, (rules::NameCleanup{false, true}));
  }

  // Names from tags through the window: the two switches reach the rule.
  void tagNamesFollowTheSwitches() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir files;
    testing::makeFiles(files.path(), {QStringLiteral("a.mp3")}, QByteArray(600, '\x55'));
    {
      tags::TagFields f;
      f[tags::kArtist] = "AC/DC";
      f[tags::kTrack] = "3/12";
      platform::OpenFile file(text::fromQtOrEmpty(files.filePath(QStringLiteral("a.mp3"))),
                              platform::OpenMode::ReadWrite);
      QVERIFY(tags::writeId3v2(file, f));
    }
    MainWindow w(home.places(), dialogs);
    w.session().settings().autoPreview = 1;
    w.applyDisplaySettings();
    w.list()->addDirectory(files.path(), false);
    w.tabs()->setCurrentIndex(rules::kMp3Tab);
    testing::mp3Page(w)->MP3命名规则编辑框->setText(QStringLiteral("#4 #1"));
    const auto newName = [&] { return w.listView()->model()->index(0, 1).data().toString(); };
    QCOMPARE(newName(), QStringLiteral("3 AC_DC.mp3"));  // the track before its "/"
    w.optionAction(3)->trigger();                        // 音轨号补零
    QCOMPARE(newName(), QStringLiteral("03 AC_DC.mp3"));
    w.optionAction(2)->trigger();  // 替换非法字符 off
    QCOMPARE(newName(), QStringLiteral("03 AC/DC.mp3"));
  }

  // Regular expressions through the window, the preview following each key.
  void regularExpressionsOnReplace() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir files;
    MainWindow w(home.places(), dialogs);
    w.session().settings().autoPreview = 1;
    w.applyDisplaySettings();
    addFiles(w, files.path(), {QStringLiteral("第3集.mp4"), QStringLiteral("IMG_0412.JPG")});
    w.tabs()->setCurrentIndex(rules::kReplaceTab);
    auto* page = testing::replacePage(w);
    QVERIFY(!page->正则表达式选择框->isChecked());
    page->正则表达式选择框->click();
    page->查找内容编辑框->setText(QStringLiteral("^(img)_(\\d+)|第(\\d)集"));
    page->替换为编辑框->setText(QStringLiteral("$2$3"));
    // Rows looked up by their old names: the test does not rely on the order.
    const auto newName = [&](const QString& old) {
      const QAbstractItemModel* m = w.listView()->model();
      for (int r = 0; r < m->rowCount(); ++r)
        if (m->index(r, 0).data().toString() == old) return m->index(r, 1).data().toString();
      return QStringLiteral("<no row>");
    };
    const QString episode = QStringLiteral("第3集.mp4"), image = QStringLiteral("IMG_0412.JPG");
    QCOMPARE(newName(episode), QStringLiteral("3.mp4"));
    QCOMPARE(newName(image), QStringLiteral("0412.JPG"));
    page->区分大小写选择框->click();
    QCOMPARE(newName(image), image);
    // A pattern that does not compile: nothing can be previewed or renamed, and
    // the window says why, in Chinese, until it is mended.
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QAction* preview = w.toolbarAction(MainWindow::kPreview);
    QAction* rename = w.toolbarAction(MainWindow::kRename);
    const QString why = QStringLiteral("正则表达式有误（第5个字符之后）：缺少右方括号 ]");
    page->查找内容编辑框->setText(QStringLiteral("([a-z"));
    QCOMPARE(newName(episode), QString());
    QCOMPARE(newName(image), QString());
    QVERIFY(!preview->isEnabled() && !rename->isEnabled());
    for (const QString& shown :
         {page->查找内容编辑框->toolTip(), preview->toolTip(), rename->toolTip(), w.statusPart(3)->text()})
      QCOMPARE(shown, why);
    QVERIFY(w.statusPart(3)->isVisible() && !w.statusPart(1)->isVisible());  // in place of 进度
    const QList<QKeySequence> keys = rename->shortcuts() << preview->shortcut();
    for (const QKeySequence& key : keys) QTest::keySequence(&w, key);
    QCOMPARE(dialogs.messages.size(), qsizetype(0));  // no pass ran, so none reported
    QCOMPARE(QDir(files.path()).entryList(QDir::Files, QDir::Name), QStringList({image, episode}));
    page->查找内容编辑框->setText(QStringLiteral("([a-z])"));
    QVERIFY(preview->isEnabled() && rename->isEnabled());
    QCOMPARE(rename->toolTip(), QStringLiteral("开始命名"));
    QVERIFY(!w.statusPart(3)->isVisible() && w.statusPart(1)->isVisible());
    QTest::keySequence(&w, rename->shortcuts().front());  // the same key renames once mended
    QCOMPARE(dialogs.messages.size(), qsizetype(1));
  }

  // Our own message boxes speak Chinese whether or not Qt's translations are
  // installed; with them, Qt's own buttons and dialogs do too.
  void chineseButtonsWithoutTranslations() {
    QTemporaryDir empty;
    QCOMPARE(platform::loadQtTranslations(*qApp, empty.path()), nullptr);
    QDialogButtonBox box(QDialogButtonBox::Cancel);
    QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(),
             QStringLiteral("Cancel"));  // Qt's own, untranslated
    QCOMPARE(ownMessageButtons(), (QStringList{QStringLiteral("确定")}));
    QCOMPARE(ownQuestionButtons(), (QStringList{QStringLiteral("是(&Y)"), QStringLiteral("否(&N)")}));
  }

  void chineseButtonsWithTranslations() {
    QTranslator* translator = platform::loadQtTranslations(*qApp);
    if (!translator) QSKIP("Qt's Chinese translations are not installed (qt6-translations-l10n)");
    QDialogButtonBox box(QDialogButtonBox::Cancel | QDialogButtonBox::Ok);
    QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
    QCOMPARE(ownMessageButtons(), (QStringList{QStringLiteral("确定")}));
    QCOMPARE(ownQuestionButtons(), (QStringList{QStringLiteral("是(&Y)"), QStringLiteral("否(&N)")}));
    QFontDialog font;
    QVERIFY(font.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->text() ==
            QStringLiteral("取消"));
    QCoreApplication::removeTranslator(translator);
    delete translator;
  }

  // The open-file dialog lists each filter once, as the program writes it,
  // and still filters by the patterns.
  void openDialogShowsFiltersAsWritten() {
    QTemporaryDir dir;
    testing::makeFiles(dir.path(), {QStringLiteral("a.mp3"), QStringLiteral("b.txt")});
    QStringList shown, filters;
    QTimer::singleShot(0, [&] {
      auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!d) return;
      auto* combo = d->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
      for (int i = 0; combo && i < combo->count(); ++i) shown << combo->itemText(i);
      filters = d->nameFilters();
      d->reject();
    });
    platform::QtDialogs real;
    const QStringList chosen =
        real.openFiles(nullptr, QStringLiteral("请选择文件(可多选)："),
                       QStringLiteral("所有文件(*.*)|*.*|音乐文件(*.mp3;wav;wma)|*.mp3;wav;wma"), dir.path());
    QVERIFY(chosen.isEmpty());
    QCOMPARE(shown,
             (QStringList{QStringLiteral("所有文件(*.*)"), QStringLiteral("音乐文件(*.mp3;wav;wma)")}));
    QCOMPARE(filters.value(1), QStringLiteral("音乐文件(*.mp3;wav;wma) (*.mp3 *.wav *.wma)"));
  }
};

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
