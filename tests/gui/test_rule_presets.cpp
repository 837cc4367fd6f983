// SPDX-License-Identifier: GPL-3.0-or-later
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include "answering_dialogs.h"
#include "app/main_window.h"
#include "ui_general_page.h"
#include "ui_insert_page.h"

using namespace qorin;
using namespace qorin::app;

namespace {

QMenu* presetMenu(MainWindow& w) {
  QMenu* options = w.menuBar()->actions()[1]->menu();
  return options->actions().last()->menu();
}

// Opens the menu as a user would (it fills itself then) and triggers the entry.
void choose(MainWindow& w, const QString& text) {
  QMenu* menu = presetMenu(w);
  emit menu->aboutToShow();
  for (QAction* a : menu->actions())
    if (a->text() == text) return a->trigger();
  QFAIL(qPrintable(QStringLiteral("no entry ") + text));
}

QStringList entries(MainWindow& w) {
  QMenu* menu = presetMenu(w);
  emit menu->aboutToShow();
  QStringList out;
  for (QAction* a : menu->actions()) out << (a->isSeparator() ? QStringLiteral("-") : a->text());
  return out;
}

}  // namespace

class RulePresetsTest : public QObject {
  Q_OBJECT

 private slots:
  void fieldsAndTheSelectedTabComeBackAfterARestart() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    {
      MainWindow w(home.places(), dialogs);
      w.show();
      testing::generalPage(w)->文件名前缀编辑框->setText(QStringLiteral(" 新 "));
      testing::generalPage(w)->常规扩展名单选框->click();
      testing::insertPage(w)->插入到文件名的字符编辑框->setText(QStringLiteral("x"));
      w.tabs()->setCurrentIndex(2);
      w.close();
    }
    MainWindow again(home.places(), dialogs);
    QCOMPARE(testing::generalPage(again)->文件名前缀编辑框->text(), QStringLiteral(" 新 "));
    QVERIFY(testing::generalPage(again)->常规扩展名单选框->isChecked());
    QCOMPARE(testing::insertPage(again)->插入到文件名的字符编辑框->text(), QStringLiteral("x"));
    QCOMPARE(again.tabs()->currentIndex(), 2);
    QVERIFY(dialogs.messages.isEmpty());
  }

  void presetsAreSavedAppliedReplacedAndDeleted() {
    testing::ProgramDirectory home;
    testing::AnsweringDialogs dialogs;
    MainWindow w(home.places(), dialogs);
    QLineEdit* prefix = testing::generalPage(w)->文件名前缀编辑框;
    QCOMPARE(entries(w), (QStringList{QStringLiteral("保存当前规则为方案(&S)..."), QStringLiteral("-"),
                                      QStringLiteral("删除方案(&D)...")}));
    prefix->setText(QStringLiteral("旅行"));
    dialogs.texts = {QStringLiteral(" 照片 ")};
    choose(w, QStringLiteral("保存当前规则为方案(&S)..."));
    QCOMPARE(entries(w)[2], QStringLiteral("照片"));

    // The same name asks first; No keeps the saved fields.
    prefix->setText(QStringLiteral("别的"));
    dialogs.texts = {QStringLiteral("照片")};
    dialogs.answers = {false};
    choose(w, QStringLiteral("保存当前规则为方案(&S)..."));
    QCOMPARE(dialogs.messages.last().text, QStringLiteral("方案“照片”已经存在，要替换它吗？"));
    w.tabs()->setCurrentIndex(3);
    choose(w, QStringLiteral("照片"));
    QCOMPARE(w.tabs()->currentIndex(), 0);
    QCOMPARE(prefix->text(), QStringLiteral("旅行"));

    dialogs.texts = {QStringLiteral("a[b]")};
    choose(w, QStringLiteral("保存当前规则为方案(&S)..."));
    QCOMPARE(dialogs.messages.last().text, QStringLiteral("方案名称不能为空，也不能含有方括号。"));

    dialogs.items = {0};
    choose(w, QStringLiteral("删除方案(&D)..."));
    QCOMPARE(dialogs.lastItems, QStringList{QStringLiteral("照片")});
    QCOMPARE(entries(w).size(), 3);
  }

  void aDamagedPresetsFileIsToldOnceAndKeptAside() {
    testing::ProgramDirectory home;
    QFile f(home.file(QStringLiteral("presets.ini")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("not a presets file");
    f.close();
    testing::AnsweringDialogs dialogs;
    { MainWindow w(home.places(), dialogs); }
    QCOMPARE(dialogs.messages.size(), 1);
    QVERIFY(dialogs.messages[0].text.startsWith(QStringLiteral("方案文件已损坏，已另存为：\n")));
    QVERIFY(QFile::exists(home.file(QStringLiteral("presets.ini.damaged"))));
    MainWindow again(home.places(), dialogs);
    QCOMPARE(dialogs.messages.size(), 1);
  }
};

QTEST_MAIN(RulePresetsTest)
#include "test_rule_presets.moc"
