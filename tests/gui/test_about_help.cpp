// SPDX-License-Identifier: GPL-3.0-or-later
#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include "answering_dialogs.h"
#include "app/about_window.h"
#include "app/help_window.h"
#include "app/main_window.h"
#include "text/gbtext.h"
#include "ui_about_window.h"

using namespace qorin;
using namespace qorin::app;

class AboutHelpTest : public QObject {
  Q_OBJECT

 private:
  static QAction* menuAction(MainWindow& w, const QString& text) {
    for (QAction* top : w.menuBar()->actions())
      if (top->menu())
        for (QAction* a : top->menu()->actions())
          if (a->text() == text) return a;
    return nullptr;
  }

 private slots:
  void aboutShowsItsTextsOnEveryOpening() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    MainWindow main(home.places(), dialogs);
    for (int opening = 0; opening < 2; ++opening) {
      QMap<QString, QString> seen;
      QSize size;
      QTimer::singleShot(0, [&] {
        auto* w = qobject_cast<AboutWindow*>(QApplication::activeModalWidget());
        if (!w) return;
        size = w->size();
        seen[QStringLiteral("title")] = w->windowTitle();
        for (const char* name : {"透明标签1", "软件名标签", "版本标签", "标签1", "标签2", "标签7"})
          seen[QString::fromUtf8(name)] = w->findChild<QLabel*>(QString::fromUtf8(name))->text();
        w->close();
      });
      QVERIFY(QMetaObject::invokeMethod(menuAction(main, QStringLiteral("关于(&A)...")), "trigger"));
      QCOMPARE(size, QSize(327, 229));  // the outer 335 × 256 less frame and caption
      QCOMPARE(seen.value("title"), QStringLiteral("关于Qorin更名器"));
      QCOMPARE(seen.value("透明标签1"), QStringLiteral("Qorin批量更名器"));
      QCOMPARE(seen.value("软件名标签"), QStringLiteral("Qorin批量更名器"));
      QCOMPARE(seen.value("版本标签"), QStringLiteral("1.0.0测试版"));
      QCOMPARE(seen.value("标签1"), QStringLiteral("软件名称："));
      QCOMPARE(seen.value("标签2"), QStringLiteral("版本："));
      QVERIFY(!seen.value("标签7").isEmpty());
      QVERIFY(main.findChildren<AboutWindow*>().isEmpty());
    }
  }

  void aboutTitleAndBanner() {
    AboutWindow w;
    auto* title = w.ui()->透明标签1;
    QCOMPARE(title->parentWidget(), w.ui()->图片框1);
    QCOMPARE(title->geometry(), QRect(135, 14, 184, 40));
    QCOMPARE(title->font().families().value(0), QStringLiteral("宋体"));
    QVERIFY(title->font().families().size() > 1);  // a CJK face where 宋体 is missing
    QVERIFY(title->font().bold());
    QCOMPARE(title->font().pixelSize(), 20);
    const QPixmap picture = w.ui()->图片框1->pixmap();
    QCOMPARE(picture.size(), QSize(329, 70));
  }

  void aboutClosesOnAClickOutsideItsLabels_data() {
    QTest::addColumn<QString>("target");  // a control's name, or empty for the window
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("closes");
    QTest::newRow("window, left") << "" << QPoint(300, 240) << int(Qt::LeftButton) << true;
    QTest::newRow("between labels") << "" << QPoint(250, 100) << int(Qt::LeftButton) << true;
    QTest::newRow("window, right") << "" << QPoint(300, 240) << int(Qt::RightButton) << false;
    QTest::newRow("version label") << "版本标签" << QPoint(5, 5) << int(Qt::LeftButton) << false;
    QTest::newRow("credit") << "标签7" << QPoint(5, 5) << int(Qt::LeftButton) << false;
    QTest::newRow("picture") << "图片框1" << QPoint(60, 30) << int(Qt::LeftButton) << false;
    QTest::newRow("title") << "透明标签1" << QPoint(10, 10) << int(Qt::LeftButton) << false;
  }
  void aboutClosesOnAClickOutsideItsLabels() {
    QFETCH(QString, target);
    QFETCH(QPoint, pos);
    QFETCH(int, button);
    QFETCH(bool, closes);
    AboutWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QWidget* on = target.isEmpty() ? static_cast<QWidget*>(&w) : w.findChild<QWidget*>(target);
    QVERIFY(on);
    QTest::mouseClick(on, Qt::MouseButton(button), {}, pos);
    QCOMPARE(w.isVisible(), !closes);
  }

  void helpCommandLine_data() {
    QTest::addColumn<QByteArray>("dir");
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("folder") << QByteArray("C:\\Tools") << QByteArray("hh C:\\Tools\\HELP.CHM");
    QTest::newRow("drive") << QByteArray("D:") << QByteArray("hh D:\\HELP.CHM");
    // Taken as given: no quotes, no check for a trailing backslash.
    QTest::newRow("trailing") << QByteArray("C:\\") << QByteArray("hh C:\\\\HELP.CHM");
    QTest::newRow("spaces") << QByteArray("C:\\Program Files\\Q")
                            << QByteArray("hh C:\\Program Files\\Q\\HELP.CHM");
    const std::string chinese = text::gb("E:\\工具");
    QTest::newRow("chinese") << QByteArray::fromStdString(chinese)
                             << QByteArray::fromStdString("hh " + chinese + "\\HELP.CHM");
  }
  void helpCommandLine() {
    QFETCH(QByteArray, dir);
    QFETCH(QByteArray, command);
    QCOMPARE(QByteArray::fromStdString(qorin::app::helpCommandLine(dir.toStdString())), command);
    QCOMPARE("hh " + QByteArray::fromStdString(helpFilePath(dir.toStdString())), command);
  }

  // Without HELP.CHM beside the program (as here) Windows shows these pages too.
  void helpOpensWithoutBlocking() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    MainWindow main(home.places(), dialogs);
    main.show();
    // Toolbar button and menu entry lead to the same single window.
    main.toolbarClicked(MainWindow::kHelp);
    auto windows = main.findChildren<HelpWindow*>();
    QCOMPARE(windows.size(), 1);
    HelpWindow* help = windows[0];
    QVERIFY(help->isVisible());
    QVERIFY(!help->isModal());
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(main.isEnabled());
    QAction* f1 = menuAction(main, QStringLiteral("内容(&D)..."));
    QCOMPARE(f1->shortcut(), QKeySequence(Qt::Key_F1));
    f1->trigger();
    QCOMPARE(main.findChildren<HelpWindow*>().size(), 1);
    QCOMPARE(help->browser()->source(), QUrl(QString::fromLatin1(HelpWindow::kIndex)));
    const QString shown = help->browser()->toPlainText();
    for (const char* heading :
         {"常规", "替换/删除", "插入", "大小写", "MP3标签", "开始命名", "撤消", "过滤", "右键菜单",
          "MP3标签信息", "config.ini", "自动预览", "日期", "方案", "排序", "qorin-cli"})
      QVERIFY2(shown.contains(QString::fromUtf8(heading)), heading);
    // Every entry of the list's menu and of 选项 under the caption it shows.
    QList<QAction*> entries = main.listMenu()->actions();
    for (QAction* top : main.menuBar()->actions())
      if (top->text() == QStringLiteral("选项(&O)")) entries << top->menu()->actions();
    for (const QAction* a : entries)
      if (!a->isSeparator()) QVERIFY2(shown.contains(a->text()), qPrintable(a->text()));
    help->close();
    QTRY_VERIFY(main.findChildren<HelpWindow*>().isEmpty());
  }

  void helpLinksReachTheirTargets() {
    HelpWindow w;  // registers the resources
    QFile f(QStringLiteral(":/help/index.html"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(f.readAll());
    QSet<QString> anchors;
    for (const auto& m : QRegularExpression(QStringLiteral("<a name=\"([^\"]+)\"")).globalMatch(html))
      anchors.insert(m.captured(1));
    int links = 0;
    for (const auto& m : QRegularExpression(QStringLiteral("href=\"#([^\"]+)\"")).globalMatch(html)) {
      QVERIFY2(anchors.contains(m.captured(1)), qPrintable(m.captured(1)));
      ++links;
    }
    QVERIFY(links > 10);
  }
};

QTEST_MAIN(AboutHelpTest)
#include "test_about_help.moc"
