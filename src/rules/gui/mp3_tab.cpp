#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

#include "app/main_window.h"
#include "rules/gui/rule_tabs.h"
#include "rules/gui/tab_support.h"
#include "rules/mp3_rule.h"
#include "text/gbtext.h"

namespace qorin::rules {

namespace {

struct PlaceholderButton {
  const char* name;
  int number;
};
constexpr PlaceholderButton kButtons[] = {{"艺术家超级按钮", 1}, {"歌曲名超级按钮", 2}, {"专辑超级按钮", 3},
                                          {"音轨超级按钮", 4},   {"年代超级按钮", 5},   {"流派超级按钮", 6}};

QLineEdit* ruleField(const app::MainWindow& w) { return w.control<QLineEdit>("MP3命名规则编辑框"); }

void updateRuleExample(app::MainWindow& w) {
  QLineEdit* field = ruleField(w);
  const std::string rule = text::fromQtOrEmpty(field->text());
  w.control<QLineEdit>("参照编辑框")->setText(text::toQt(mp3RuleExample(rule)));
  if (rule.size() > kMp3RuleMaxBytes) {
    // The write-back runs this handler again, which refreshes with the cut rule.
    field->setText(text::toQt(std::string(text::cutToBytes(rule, kMp3RuleMaxBytes))));
    return;
  }
  w.refreshPreview();
}

void applyScheme(app::MainWindow& w, int item) {
  auto* combo = w.control<QComboBox>("预定义方案组合框");
  QLineEdit* field = ruleField(w);
  field->setText(text::toQt(std::string(mp3SchemeRule(item))));
  combo->setCurrentIndex(-1);
  field->setFocus();
  w.refreshPreview();
}

}  // namespace

void setupMp3Tab(app::MainWindow& w) {
  auto* combo = w.control<QComboBox>("预定义方案组合框");
  combo->setCurrentIndex(-1);
  w.control<QLineEdit>("参照编辑框")->setReadOnly(true);
  QObject::connect(ruleField(w), &QLineEdit::textChanged, &w, [&w] { updateRuleExample(w); });
  QObject::connect(combo, &QComboBox::activated, &w, [&w](int item) { applyScheme(w, item); });
  for (const char* r : {"V1优先单选框", "V2优先单选框"})
    QObject::connect(w.control<QRadioButton>(r), &QRadioButton::clicked, &w, [&w] { w.refreshPreview(); });
}

RuleOptions mp3TabOptions(const app::MainWindow& w) {
  Mp3Options o;
  o.rule = textOf(w, "MP3命名规则编辑框");
  o.priority = isChecked(w, "V1优先单选框") ? TagPriority::V1First : TagPriority::V2First;
  return o;
}

void insertPlaceholder(app::MainWindow& w, QObject* button) {
  if (!button) return;
  for (const PlaceholderButton& b : kButtons) {
    if (button->objectName() != QString::fromUtf8(b.name)) continue;
    QLineEdit* field = ruleField(w);
    // The text may be longer than the field's typing limit: updateRuleExample
    // cuts it back by bytes.
    const int limit = field->maxLength();
    field->setMaxLength(32767);
    field->setText(text::toQt(withPlaceholder(text::fromQtOrEmpty(field->text()), b.number)));
    field->setMaxLength(limit);
    return;
  }
}

}  // namespace qorin::rules
