// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <iterator>
#include <string_view>
#include <vector>

#include "rules/gui/case_tab.h"
#include "rules/gui/date_tab.h"
#include "rules/gui/general_tab.h"
#include "rules/gui/insert_tab.h"
#include "rules/gui/mp3_tab.h"
#include "rules/gui/replace_tab.h"
#include "text/gbtext.h"
#include "text/gui/qtext.h"
#include "ui_case_page.h"
#include "ui_date_page.h"
#include "ui_general_page.h"
#include "ui_insert_page.h"
#include "ui_mp3_page.h"
#include "ui_replace_page.h"

using namespace qorin;
using namespace qorin::rules;

namespace {

const QColor kGrey(128, 128, 128);
const QColor kBlack(Qt::black);

QColor captionOf(const QWidget* w) { return w->palette().color(QPalette::WindowText); }

template <class T>
T optionsOf(const RuleTab& tab) {
  const RuleOptions o = tab.options();
  if (!std::holds_alternative<T>(o)) qFatal("tab %s reads the wrong rule", qPrintable(tab.title()));
  return std::get<T>(o);
}

// Every optionsChanged of a tab with what options() read at that moment.
struct ChangeLog {
  explicit ChangeLog(RuleTab& tab) {
    QObject::connect(&tab, &RuleTab::optionsChanged, &context,
                     [this, &tab] { seen.push_back(tab.options()); });
  }
  std::vector<RuleOptions> seen;
  QObject context;  // ends the connection with the log
};

}  // namespace

class RuleTabsTest : public QObject {
  Q_OBJECT

 private slots:
  void factoryMakesAPageOfEveryRuleInTabOrder() {
    const auto tabs = makeRuleTabs();
    // Keys name saved sections: changing one loses what was saved under it.
    const char* titles[] = {"常规", "替换/删除", "插入", "大小写", "MP3标签", "日期"};
    const char* pages[] = {"常规页", "替换删除页", "插入页", "大小写页", "MP3标签页", "日期页"};
    const char* keys[] = {"general", "replace", "insert", "case", "mp3", "date"};
    // The first tabs stand as they always have; later rules follow them.
    QVERIFY(kRuleCount >= static_cast<int>(std::size(keys)));
    for (int i = 0; i < kRuleCount; ++i) {
      if (i < static_cast<int>(std::size(keys))) {
        QCOMPARE(tabs[i]->title(), QString::fromUtf8(titles[i]));
        QCOMPARE(tabs[i]->objectName(), QString::fromUtf8(pages[i]));
        QCOMPARE(tabs[i]->key(), std::string_view(keys[i]));
      }
      QCOMPARE(tabs[i]->rule(), i);
      QCOMPARE(static_cast<int>(tabs[i]->options().index()), i);  // the tab reads its own rule
    }
  }

  void everyOptionControlRefreshes() {
    GeneralTab general;
    ReplaceTab replace;
    InsertTab insert;
    CaseTab caseTab;
    Mp3Tab mp3;
    DateTab date;
    const QString edit = QString::fromUtf8(kSharedEditHandler);
    const QString radio = QString::fromUtf8(kSharedRadioHandler);
    const QString button = QString::fromUtf8(kPlaceholderHandler);
    struct Row {
      RuleTab* tab;
      QWidget* control;
      QString handler;  // empty: the control has a handler of its own
    };
    const auto* g = general.ui();
    const auto* r = replace.ui();
    const auto* in = insert.ui();
    const auto* c = caseTab.ui();
    const auto* m = mp3.ui();
    const auto* d = date.ui();
    const Row rows[] = {
        {&general, g->文件名前缀编辑框, edit},
        {&general, g->起始量编辑框, edit},
        {&general, g->文件名编辑框, edit},
        {&general, g->文件名位数调节编辑框, edit},
        {&general, g->文件名后缀编辑框, edit},
        {&general, g->扩展名前缀编辑框, edit},
        {&general, g->新扩展名编辑框, edit},
        {&general, g->扩展名位数调节编辑框, edit},
        {&general, g->扩展名后缀编辑框, edit},
        {&general, g->增量编辑框, edit},
        {&general, g->常规扩展名单选框, {}},
        {&general, g->常规全部单选框, {}},
        {&replace, r->查找内容编辑框, edit},
        {&replace, r->替换为编辑框, edit},
        {&replace, r->仅扩展名单选框, radio},
        {&replace, r->替换删除全部单选框, radio},
        {&replace, r->仅文件名单选框, radio},
        {&replace, r->区分大小写选择框, {}},
        {&replace, r->正则表达式选择框, {}},
        {&insert, in->插入到文件名的字符编辑框, {}},
        {&insert, in->插入到扩展名的字符编辑框, {}},
        {&insert, in->插入文件名位置编辑框, {}},
        {&insert, in->插入扩展名位置编辑框, {}},
        {&insert, in->插入文件名尾单选框, {}},
        {&insert, in->插入扩展名尾单选框, {}},
        {&caseTab, c->文件名全部小写单选框, radio},
        {&caseTab, c->文件名首字母大写单选框, radio},
        {&caseTab, c->文件名首字母小写单选框, radio},
        {&caseTab, c->文件名全部大写单选框, radio},
        {&caseTab, c->扩展名全部小写单选框, radio},
        {&caseTab, c->扩展名首字母大写单选框, radio},
        {&caseTab, c->扩展名首字母小写单选框, radio},
        {&caseTab, c->扩展名全部大写单选框, radio},
        {&mp3, m->MP3命名规则编辑框, {}},
        {&mp3, m->V1优先单选框, {}},
        {&mp3, m->V2优先单选框, {}},
        {&mp3, m->艺术家超级按钮, button},
        {&mp3, m->流派超级按钮, button},
        {&date, d->日期格式编辑框, edit},
        {&date, d->日期加在前面单选框, radio},
        {&date, d->日期分隔编辑框, edit},
        {&date, d->日期加在后面单选框, radio},
        {&date, d->日期替换文件名单选框, radio},
    };
    for (const Row& row : rows) {
      QSignalSpy shared(row.tab, &RuleTab::sharedHandlerInvoked);
      QSignalSpy changed(row.tab, &RuleTab::optionsChanged);
      if (auto* e = qobject_cast<QLineEdit*>(row.control)) {
        e->setText(e->text() + QStringLiteral("7"));  // set from code: same notification as typing
      } else {
        static_cast<QAbstractButton*>(row.control)->click();
      }
      const QByteArray name = row.control->objectName().toUtf8();
      QVERIFY2(changed.count() >= 1, name.constData());
      QCOMPARE(shared.count(), row.handler.isEmpty() ? 0 : 1);
      if (!row.handler.isEmpty()) {
        QCOMPARE(shared[0][0].toString(), row.handler);
        QCOMPARE(shared[0][1].value<QObject*>(), row.control);
      }
    }
  }

  void dateReadsItsControls() {
    DateTab tab;
    auto* ui = tab.ui();
    QSignalSpy changed(&tab, &RuleTab::optionsChanged);
    const struct {
      int item;
      QRadioButton* place;
      DateSource source;
      DatePlace where;
    } cases[] = {{1, ui->日期加在前面单选框, DateSource::Taken, DatePlace::Before},
                 {2, ui->日期加在后面单选框, DateSource::Created, DatePlace::After},
                 {0, ui->日期替换文件名单选框, DateSource::Modified, DatePlace::Replace}};
    for (const auto& c : cases) {
      const int before = changed.count();
      ui->日期来源组合框->setCurrentIndex(c.item);
      QCOMPARE(changed.count(), before + 1);  // the source refreshes too
      c.place->click();
      const DateOptions o = optionsOf<DateOptions>(tab);
      QCOMPARE(o.source, c.source);
      QCOMPARE(o.place, c.where);
    }
    ui->日期格式编辑框->setText(QStringLiteral("yyyy年"));
    ui->日期分隔编辑框->setText(QStringLiteral("·"));
    const DateOptions o = optionsOf<DateOptions>(tab);
    QCOMPARE(o.format, text::gb("yyyy年"));
    QCOMPARE(o.separator, text::gb("·"));
  }

  void generalReadsItsFields() {
    GeneralTab tab;
    const auto* ui = tab.ui();
    const std::pair<QLineEdit*, std::string GeneralOptions::*> fields[] = {
        {ui->起始量编辑框, &GeneralOptions::start},
        {ui->增量编辑框, &GeneralOptions::increment},
        {ui->文件名前缀编辑框, &GeneralOptions::namePrefix},
        {ui->文件名编辑框, &GeneralOptions::nameText},
        {ui->文件名位数调节编辑框, &GeneralOptions::nameDigits},
        {ui->文件名后缀编辑框, &GeneralOptions::nameSuffix},
        {ui->扩展名前缀编辑框, &GeneralOptions::extPrefix},
        {ui->新扩展名编辑框, &GeneralOptions::extText},
        {ui->扩展名位数调节编辑框, &GeneralOptions::extDigits},
        {ui->扩展名后缀编辑框, &GeneralOptions::extSuffix},
    };
    int i = 0;
    for (const auto& [edit, member] : fields) edit->setText(QStringLiteral("歌%1").arg(i++));
    const GeneralOptions o = optionsOf<GeneralOptions>(tab);
    i = 0;
    for (const auto& [edit, member] : fields) QCOMPARE(o.*member, text::gb("歌") + std::to_string(i++));
  }

  void generalScopeGreysTheGroupsThatDoNotApply() {
    GeneralTab tab;
    const auto* ui = tab.ui();
    const std::vector<QWidget*> nameCaptions = {ui->文件名分组框, ui->前缀1标签, ui->文件名标签,
                                                ui->文件名位数调节标签, ui->后缀1标签};
    const std::vector<QWidget*> extCaptions = {ui->扩展名分组框, ui->前缀2标签, ui->新扩展名标签,
                                               ui->扩展名位数标签, ui->后缀2标签};
    const std::vector<QWidget*> nameEdits = {ui->文件名前缀编辑框, ui->文件名编辑框, ui->文件名位数调节编辑框,
                                             ui->文件名后缀编辑框};
    const std::vector<QWidget*> extEdits = {ui->扩展名前缀编辑框, ui->新扩展名编辑框,
                                            ui->扩展名位数调节编辑框, ui->扩展名后缀编辑框};
    const auto expect = [&](bool name, bool ext) {
      for (QWidget* w : nameCaptions) QCOMPARE(captionOf(w), name ? kBlack : kGrey);
      for (QWidget* w : extCaptions) QCOMPARE(captionOf(w), ext ? kBlack : kGrey);
      for (QWidget* w : nameEdits) QCOMPARE(w->isEnabled(), name);
      for (QWidget* w : extEdits) QCOMPARE(w->isEnabled(), ext);
      QVERIFY(ui->起始量编辑框->isEnabled() && ui->增量编辑框->isEnabled());
    };
    expect(true, false);  // the state at start
    struct Row {
      QRadioButton* radio;
      GeneralScope scope;
      bool name, ext;
    };
    const Row rows[] = {{ui->常规扩展名单选框, GeneralScope::Extension, false, true},
                        {ui->常规全部单选框, GeneralScope::All, true, true},
                        {ui->常规文件名单选框, GeneralScope::Name, true, false},
                        {ui->常规全部单选框, GeneralScope::All, true, true}};
    for (const Row& r : rows) {
      r.radio->click();
      expect(r.name, r.ext);
      QCOMPARE(optionsOf<GeneralOptions>(tab).scope, r.scope);
    }
  }

  void clearingRaisesOneChangeAfterTheLastField() {
    GeneralTab tab;
    auto* ui = tab.ui();
    ui->常规全部单选框->click();
    for (QLineEdit* e :
         std::initializer_list<QLineEdit*>{ui->文件名前缀编辑框, ui->文件名编辑框, ui->文件名后缀编辑框,
                                           ui->扩展名前缀编辑框, ui->新扩展名编辑框, ui->扩展名后缀编辑框})
      e->setText(QStringLiteral("x"));
    ui->扩展名位数调节编辑框->setText(QStringLiteral("2"));
    ui->起始量编辑框->setText(QStringLiteral("3"));
    ui->增量编辑框->setText(QStringLiteral("5"));
    // Twice: the second time nothing is left to empty, and the refresh still comes.
    for (int round = 0; round < 2; ++round) {
      ChangeLog log(tab);
      QSignalSpy shared(&tab, &RuleTab::sharedHandlerInvoked);
      ui->常规清空按钮->click();
      QCOMPARE(log.seen.size(), std::size_t{1});
      const auto& o = std::get<GeneralOptions>(log.seen[0]);
      for (const std::string& s : {o.start, o.namePrefix, o.nameText, o.nameDigits, o.nameSuffix, o.extPrefix,
                                   o.extText, o.extDigits, o.extSuffix})
        QCOMPARE(s, std::string());
      QCOMPARE(o.increment, std::string("5"));
      QCOMPARE(o.scope, GeneralScope::All);
      QCOMPARE(shared.count(), round == 0 ? 9 : 0);  // each emptied field still reaches its handler
    }
    // The hold is over: a typed field refreshes on its own again.
    QSignalSpy changed(&tab, &RuleTab::optionsChanged);
    ui->文件名编辑框->setText(QStringLiteral("y"));
    QCOMPARE(changed.count(), 1);
  }

  void replaceReadsItsControls() {
    ReplaceTab tab;
    auto* ui = tab.ui();
    ui->查找内容编辑框->setText(QStringLiteral("旧"));
    ui->替换为编辑框->setText(QStringLiteral("new"));
    struct Row {
      QAbstractButton* button;
      ReplaceScope scope;
      bool matchCase;
    };
    const Row rows[] = {{ui->仅扩展名单选框, ReplaceScope::Extension, false},
                        {ui->区分大小写选择框, ReplaceScope::Extension, true},
                        {ui->替换删除全部单选框, ReplaceScope::All, true},
                        {ui->区分大小写选择框, ReplaceScope::All, false},
                        {ui->仅文件名单选框, ReplaceScope::Name, false}};
    for (const Row& r : rows) {
      r.button->click();
      const auto o = optionsOf<ReplaceOptions>(tab);
      QCOMPARE(o.scope, r.scope);
      QCOMPARE(o.matchCase, r.matchCase);
      QCOMPARE(o.search, text::gb("旧"));
      QCOMPARE(o.replacement, std::string("new"));
    }
  }

  void replaceReadsItsPatternSwitchAndTheMenuSwitches() {
    ReplaceTab tab;
    auto* ui = tab.ui();
    QVERIFY(!ui->正则表达式选择框->isChecked());
    QCOMPARE(ui->正则表达式选择框->text(), QStringLiteral("正则表达式"));
    // On the first row, right of 区分大小写.
    QCOMPARE(ui->正则表达式选择框->y(), ui->区分大小写选择框->y());
    QVERIFY(ui->正则表达式选择框->x() > ui->区分大小写选择框->geometry().right());
    QVERIFY(!optionsOf<ReplaceOptions>(tab).regex);
    ui->正则表达式选择框->click();
    QVERIFY(optionsOf<ReplaceOptions>(tab).regex);
    // The clean-up switches are the session's, not the tab's.
    QCOMPARE(optionsOf<ReplaceOptions>(tab).cleanup, NameCleanup{});
  }

  // A pattern the engine refuses: its message as the tooltip, a red frame;
  // both go once the pattern compiles or the box is cleared.
  void invalidPatternSaysWhatIsWrong() {
    ReplaceTab tab;
    tab.resize(600, 110);
    auto* ui = tab.ui();
    QLineEdit* search = ui->查找内容编辑框;
    const auto frameIsRed = [search] {
      const QImage image = search->grab().toImage();
      const QColor edge = image.pixelColor(0, image.height() / 2);
      return edge.red() > 200 && edge.green() < 60 && edge.blue() < 60;
    };
    search->setText(QStringLiteral("第(\\d+集"));
    QVERIFY(search->toolTip().isEmpty());  // plain text: nothing to check
    QVERIFY(!frameIsRed());
    ui->正则表达式选择框->click();
    QCOMPARE(search->toolTip(), QStringLiteral("正则表达式有误（第6个字符之后）：缺少右括号 )"));
    QVERIFY(frameIsRed());
    const struct {
      const char* pattern;
      bool valid;
    } steps[] = {{"第(\\d+)集", true}, {"[", false}, {"a{2,1}", false}, {"(?<n>x)\\k<n>", true}, {"", true}};
    for (const auto& s : steps) {
      search->setText(QString::fromUtf8(s.pattern));
      QCOMPARE(search->toolTip().isEmpty(), s.valid);
      QCOMPARE(frameIsRed(), !s.valid);
    }
    search->setText(QStringLiteral("("));
    QVERIFY(frameIsRed());
    ui->正则表达式选择框->click();
    QVERIFY(search->toolTip().isEmpty());
    QVERIFY(!frameIsRed());
  }

  void caseReadsEachGroup() {
    CaseTab tab;
    auto* ui = tab.ui();
    QCOMPARE(optionsOf<CaseOptions>(tab).name, CaseChoice::AllUpper);
    QCOMPARE(optionsOf<CaseOptions>(tab).ext, CaseChoice::AllUpper);
    struct Row {
      QRadioButton* name;
      QRadioButton* ext;
      CaseChoice choice;
    };
    const Row rows[] = {{ui->文件名全部小写单选框, ui->扩展名全部小写单选框, CaseChoice::AllLower},
                        {ui->文件名首字母大写单选框, ui->扩展名首字母大写单选框, CaseChoice::FirstUpper},
                        {ui->文件名首字母小写单选框, ui->扩展名首字母小写单选框, CaseChoice::FirstLower},
                        {ui->文件名全部大写单选框, ui->扩展名全部大写单选框, CaseChoice::AllUpper}};
    for (const Row& r : rows) {
      // The groups are independent: the extension keeps its choice while the name changes.
      const CaseChoice extBefore = optionsOf<CaseOptions>(tab).ext;
      r.name->click();
      QCOMPARE(optionsOf<CaseOptions>(tab).name, r.choice);
      QCOMPARE(optionsOf<CaseOptions>(tab).ext, extBefore);
      r.ext->click();
      QCOMPARE(optionsOf<CaseOptions>(tab).ext, r.choice);
    }
  }

  void insertMirrorsWhileKeptAndPlacesByRadio() {
    InsertTab tab;
    auto* ui = tab.ui();
    QLineEdit* nameText = ui->插入到文件名的字符编辑框;
    QLineEdit* extText = ui->插入到扩展名的字符编辑框;
    nameText->setText(QStringLiteral("A"));
    extText->setText(QStringLiteral("B"));
    QCOMPARE(optionsOf<InsertOptions>(tab).keepSame, false);

    ChangeLog log(tab);
    ui->保持一致选择框->click();
    QVERIFY(!extText->isEnabled());
    QCOMPARE(captionOf(ui->插入扩展名标签), kGrey);
    QCOMPARE(extText->text(), QStringLiteral("A"));
    nameText->setText(QStringLiteral("X"));
    QCOMPARE(extText->text(), QStringLiteral("X"));
    // The last refresh already sees both texts: the mirror is written first.
    QVERIFY(!log.seen.empty());
    const auto& last = std::get<InsertOptions>(log.seen.back());
    QVERIFY(last.keepSame);
    QCOMPARE(last.nameText, std::string("X"));
    QCOMPARE(last.extText, std::string("X"));

    ui->保持一致选择框->click();
    QVERIFY(extText->isEnabled());
    QCOMPARE(captionOf(ui->插入扩展名标签), kBlack);
    QCOMPARE(extText->text(), QStringLiteral("X"));  // kept
    nameText->setText(QStringLiteral("Y"));
    QCOMPARE(extText->text(), QStringLiteral("X"));

    struct Row {
      QRadioButton* radio;
      QLineEdit* field;
      bool enabled;
      InsertAt InsertOptions::*at;
      InsertAt want;
    };
    const Row rows[] = {
        {ui->插入文件名尾单选框, ui->插入文件名位置编辑框, false, &InsertOptions::nameAt, InsertAt::End},
        {ui->插入扩展名尾单选框, ui->插入扩展名位置编辑框, false, &InsertOptions::extAt, InsertAt::End},
        {ui->插入文件名位置单选框, ui->插入文件名位置编辑框, true, &InsertOptions::nameAt,
         InsertAt::Position},
        {ui->插入扩展名位置单选框, ui->插入扩展名位置编辑框, true, &InsertOptions::extAt, InsertAt::Position},
    };
    for (const Row& r : rows) {
      r.radio->click();
      QCOMPARE(r.field->isEnabled(), r.enabled);
      QCOMPARE(optionsOf<InsertOptions>(tab).*r.at, r.want);
    }
    ui->插入文件名位置编辑框->setText(QStringLiteral("3"));
    ui->插入扩展名位置编辑框->setText(QStringLiteral("12"));
    QCOMPARE(optionsOf<InsertOptions>(tab).namePosition, std::string("3"));
    QCOMPARE(optionsOf<InsertOptions>(tab).extPosition, std::string("12"));
  }

  void mp3PlaceholdersSchemesAndTheByteLimit() {
    Mp3Tab tab;
    auto* ui = tab.ui();
    QCOMPARE(ui->预定义方案组合框->currentIndex(), -1);
    QVERIFY(ui->参照编辑框->isReadOnly());
    QCOMPARE(optionsOf<Mp3Options>(tab).priority, TagPriority::V2First);
    ui->V1优先单选框->click();
    QCOMPARE(optionsOf<Mp3Options>(tab).priority, TagPriority::V1First);

    ui->年代超级按钮->click();
    ui->流派超级按钮->click();
    QCOMPARE(optionsOf<Mp3Options>(tab).rule, std::string("#5-#6"));
    QCOMPARE(ui->参照编辑框->text(), QStringLiteral("年代-流派"));

    emit ui->预定义方案组合框->activated(1);
    QCOMPARE(optionsOf<Mp3Options>(tab).rule, std::string("#1-#3-#2"));
    QCOMPARE(ui->预定义方案组合框->currentIndex(), -1);

    // A rule past 50 bytes, from a button or set whole: the over-long rule
    // never reaches a refresh, and the cut keeps whole characters.
    struct Row {
      QString rule;
      bool button;
      QString want;
    };
    const Row rows[] = {
        {QString(48, QLatin1Char('b')), true, QString(48, QLatin1Char('b')) + QStringLiteral("-#")},
        {QStringLiteral("a") + QString(30, QChar(0x6625)), false,
         QStringLiteral("a") + QString(24, QChar(0x6625))},
    };
    for (const Row& r : rows) {
      if (r.button) ui->MP3命名规则编辑框->setText(r.rule);
      ChangeLog log(tab);
      if (r.button) {
        ui->歌曲名超级按钮->click();
      } else {
        ui->MP3命名规则编辑框->setText(r.rule);
      }
      QCOMPARE(ui->MP3命名规则编辑框->text(), r.want);
      QVERIFY(!log.seen.empty());
      for (const RuleOptions& seen : log.seen) QVERIFY(std::get<Mp3Options>(seen).rule.size() <= 50);
      QCOMPARE(std::get<Mp3Options>(log.seen.back()).rule, text::fromQtOrEmpty(r.want));
    }
  }
};

QTEST_MAIN(RuleTabsTest)
#include "test_rule_tabs.moc"
