// SPDX-License-Identifier: GPL-3.0-or-later
// The windows on a desktop: a dark palette, a larger system font, menus and
// keys as other programs have them.
#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeView>

#include "answering_dialogs.h"
#include "app/about_window.h"
#include "app/help_window.h"
#include "app/main_window.h"
#include "app/settings_window.h"
#include "platform/gui/colours.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/spin_edit.h"

using namespace qorin;
using namespace qorin::app;

namespace {

QPalette darkPalette() {
  QPalette p(QColor(0x35, 0x35, 0x35));  // the button colour the rest is derived from
  for (auto group : {QPalette::Active, QPalette::Inactive}) {
    p.setColor(group, QPalette::Window, QColor(0x35, 0x35, 0x35));
    p.setColor(group, QPalette::WindowText, QColor(0xEE, 0xEE, 0xEE));
    p.setColor(group, QPalette::Base, QColor(0x23, 0x23, 0x23));
    p.setColor(group, QPalette::Text, QColor(0xEE, 0xEE, 0xEE));
    p.setColor(group, QPalette::ButtonText, QColor(0xEE, 0xEE, 0xEE));
    p.setColor(group, QPalette::Highlight, QColor(0x2A, 0x82, 0xDA));
  }
  return p;
}

// The application's palette for as long as it lives.
struct PaletteScope {
  QPalette before = QApplication::palette();
  explicit PaletteScope(const QPalette& p) { QApplication::setPalette(p); }
  ~PaletteScope() { QApplication::setPalette(before); }
};

// Every mnemonic letter of `menu`'s entries, and of its sub-menus' in theirs.
void checkMnemonics(const QMenu* menu) {
  QMap<QChar, QString> seen;
  for (const QAction* a : menu->actions()) {
    if (a->menu()) checkMnemonics(a->menu());
    const QString t = a->text();
    for (qsizetype i = t.indexOf('&'); i >= 0 && i + 1 < t.size(); i = t.indexOf('&', i + 2)) {
      if (t[i + 1] == '&') continue;
      const QChar key = t[i + 1].toUpper();
      QVERIFY2(!seen.contains(key), qPrintable(menu->title() + ": " + seen.value(key) + " / " + t));
      seen[key] = t;
    }
  }
}

}  // namespace

class DesktopConventionsTest : public QObject {
  Q_OBJECT

 private slots:
  void derivedColoursReadOnLightAndDark_data() {
    QTest::addColumn<QPalette>("palette");
    QTest::newRow("light") << QApplication::style()->standardPalette();
    QTest::newRow("dark") << darkPalette();
  }
  void derivedColoursReadOnLightAndDark() {
    QFETCH(QPalette, palette);
    const QColor window = palette.color(QPalette::Window);
    for (auto pick : {platform::errorText, platform::accentText, platform::quietText})
      QVERIFY2(platform::contrastRatio(pick(palette), window) >= 4.5, qPrintable(pick(palette).name()));

    // As the windows show them.
    PaletteScope scope(palette);
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    MainWindow w(home.places(), dialogs);
    auto* rule = w.findChild<QLabel*>(QStringLiteral("规则提示"));
    auto* hint = w.findChild<QLabel*>(QStringLiteral("日期格式说明标签"));
    QVERIFY(rule && hint);
    for (const QLabel* l : {rule, hint, w.statusPart(1)}) {
      const double ratio = platform::contrastRatio(l->palette().color(QPalette::WindowText),
                                                   w.statusBar()->palette().color(QPalette::Window));
      QVERIFY2(ratio >= 4.5, qPrintable(l->objectName() + QString::number(ratio)));
    }
    // The help pages' own colours, on the page or on their own background.
    HelpWindow help;
    const QString sheet = help.browser()->document()->defaultStyleSheet();
    static const QRegularExpression colour(QStringLiteral("\\{ (?:background: (#\\w+); )?color: (#\\w+);"));
    int rules = 0;
    for (const auto& m : colour.globalMatch(sheet)) {
      const QColor back = m.captured(1).isEmpty() ? palette.color(QPalette::Base) : QColor(m.captured(1));
      QVERIFY2(platform::contrastRatio(QColor(m.captured(2)), back) >= 4.5, qPrintable(m.captured(0)));
      ++rules;
    }
    QCOMPARE(rules, 4);
    // A caption in the design's black is the palette's text.
    const auto* caption = testing::generalPage(w)->文件名标签;
    QCOMPARE(caption->palette().color(QPalette::WindowText), palette.color(QPalette::WindowText));
  }

  void spinArrowsShowOnADarkPalette() {
    PaletteScope scope(darkPalette());
    platform::SpinEdit spin;
    spin.resize(44, 18);
    spin.show();
    QVERIFY(QTest::qWaitForWindowExposed(&spin));
    for (auto* arrow : spin.findChildren<QToolButton*>()) {
      const QImage image = arrow->grab().toImage();
      const QColor face = image.pixelColor(2, 2);
      double best = 1;
      for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
          best = std::max(best, platform::contrastRatio(image.pixelColor(x, y), face));
      QVERIFY2(best >= 3, qPrintable(face.name() + " " + QString::number(best)));  // a drawn sign
    }
  }

  // With a larger system font the hand-placed windows grow; no caption is cut.
  void textsFitWithAnElevenPointFont_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<QSize>("designSize");
    QTest::newRow("设置") << "设置" << QSize(403, 153);
    QTest::newRow("关于") << "关于" << QSize(327, 229);
  }
  void textsFitWithAnElevenPointFont() {
    QFETCH(QString, window);
    QFETCH(QSize, designSize);
    const QFont before = QApplication::font();
    QFont big = platform::programFont();
    big.setPointSize(11);
    QApplication::setFont(big);
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    MainWindow main(home.places(), dialogs);
    std::unique_ptr<QDialog> w;
    if (window == "设置")
      w = std::make_unique<SettingsWindow>(main.session(), dialogs, &main);
    else
      w = std::make_unique<AboutWindow>(&main);
    QApplication::setFont(before);
    QVERIFY(w->width() > designSize.width() && w->height() > designSize.height());
    QCOMPARE(w->minimumSize(), w->size());
    int captions = 0;
    for (const QWidget* c : w->findChildren<QWidget*>()) {
      QString text;
      int need = 0;
      if (const auto* l = qobject_cast<const QLabel*>(c); l && !l->wordWrap()) {
        text = l->text();
        need = l->fontMetrics().horizontalAdvance(text);
      } else if (qobject_cast<const QCheckBox*>(c) || qobject_cast<const QRadioButton*>(c)) {
        // Where the style paints the caption, right of the indicator.
        QStyleOptionButton o;
        o.initFrom(c);
        text = o.text = static_cast<const QAbstractButton*>(c)->text();
        const auto part =
            qobject_cast<const QCheckBox*>(c) ? QStyle::SE_CheckBoxContents : QStyle::SE_RadioButtonContents;
        need = c->fontMetrics().horizontalAdvance(text) + c->width() -
               c->style()->subElementRect(part, &o, c).width();
      } else if (const auto* b = qobject_cast<const QAbstractButton*>(c)) {
        text = b->text();
        need = b->fontMetrics().horizontalAdvance(text);
      }
      if (text.isEmpty()) continue;
      ++captions;
      QVERIFY2(need <= c->width(), qPrintable(text));
      QVERIFY2(QFontInfo(c->font()).pixelSize() <= c->height(), qPrintable(text));
      QVERIFY2(w->rect().contains(c->geometry().translated(c->parentWidget()->mapTo(w.get(), QPoint()))),
               qPrintable(text));
    }
    QVERIFY(captions >= 5);
  }

  void noMnemonicTwiceInAMenu() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    MainWindow w(home.places(), dialogs);
    QList<const QMenu*> menus{w.listMenu()};
    for (const QAction* top : w.menuBar()->actions())
      if (top->menu()) menus << top->menu();
    for (const QMenu* m : menus) checkMnemonics(m);
  }

  void keysOpenTheListMenuAtTheCurrentRow_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("Shift+F10") << int(Qt::Key_F10) << int(Qt::ShiftModifier);
    QTest::newRow("menu key") << int(Qt::Key_Menu) << int(Qt::NoModifier);
  }
  void keysOpenTheListMenuAtTheCurrentRow() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    QTemporaryDir dir;
    testing::makeFiles(dir.path(), {"a", "b", "c"});
    MainWindow w(home.places(), dialogs);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.list()->addDirectory(dir.path(), false);
    QTreeView* view = w.listView();
    view->setCurrentIndex(view->model()->index(2, 0));
    QTest::keyClick(view, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QMenu* menu = w.listMenu();
    QTRY_VERIFY(menu->isVisible());
    const QRect row = view->visualRect(view->currentIndex());
    QCOMPARE(menu->pos(), view->viewport()->mapToGlobal(row.bottomLeft()));
    QVERIFY(menu->actions().first()->isEnabled());  // 预览(&V): enabled as for a click
    menu->close();
  }

  void escClosesTheHelpWindow() {
    auto* help = openHelpWindow(nullptr);
    QVERIFY(help->isVisible());
    QTest::keyClick(help->browser(), Qt::Key_Escape);
    QVERIFY(!help->isVisible());
  }
};

QTEST_MAIN(DesktopConventionsTest)
#include "test_desktop_conventions.moc"
