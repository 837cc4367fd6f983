#include <QCheckBox>
#include <QRadioButton>

#include "rules/gui/rule_tabs.h"
#include "rules/gui/tab_support.h"
#include "rules/insert_rule.h"

namespace qorin::rules {

void setupInsertTab(app::MainWindow& w) {
  auto* nameText = w.control<QLineEdit>("插入到文件名的字符编辑框");
  auto* extText = w.control<QLineEdit>("插入到扩展名的字符编辑框");
  auto* keep = w.control<QCheckBox>("保持一致选择框");
  auto refresh = [&w] { w.refreshPreview(); };
  QObject::connect(nameText, &QLineEdit::textChanged, &w, [&w, keep, extText](const QString& t) {
    if (keep->isChecked()) extText->setText(t);  // its own change refreshes too
    w.refreshPreview();
  });
  for (const char* e : {"插入到扩展名的字符编辑框", "插入文件名位置编辑框", "插入扩展名位置编辑框"})
    QObject::connect(w.control<QLineEdit>(e), &QLineEdit::textChanged, &w, refresh);
  QObject::connect(keep, &QCheckBox::clicked, &w, [&w, keep, nameText, extText] {
    const bool on = keep->isChecked();
    setCaptionGrey(w.control<QLabel>("插入扩展名标签"), on);
    extText->setEnabled(!on);
    if (on) extText->setText(nameText->text());
  });
  struct Pair {
    const char* radio;
    const char* field;
    bool enables;
  };
  const Pair pairs[] = {{"插入文件名位置单选框", "插入文件名位置编辑框", true},
                        {"插入文件名尾单选框", "插入文件名位置编辑框", false},
                        {"插入扩展名位置单选框", "插入扩展名位置编辑框", true},
                        {"插入扩展名尾单选框", "插入扩展名位置编辑框", false}};
  for (const Pair& p : pairs) {
    auto* radio = w.control<QRadioButton>(p.radio);
    auto* field = w.control<QLineEdit>(p.field);
    const bool enables = p.enables;
    QObject::connect(radio, &QRadioButton::clicked, &w, [&w, radio, field, enables] {
      if (radio->isChecked()) field->setEnabled(enables);
      w.refreshPreview();
    });
  }
}

RuleOptions insertTabOptions(const app::MainWindow& w) {
  InsertOptions o;
  o.nameText = textOf(w, "插入到文件名的字符编辑框");
  // A disabled, mirrored field still takes part: the rule uses what it shows.
  o.extText = textOf(w, "插入到扩展名的字符编辑框");
  o.keepSame = isChecked(w, "保持一致选择框");
  o.nameAt = isChecked(w, "插入文件名尾单选框") ? InsertAt::End : InsertAt::Position;
  o.namePosition = textOf(w, "插入文件名位置编辑框");
  o.extAt = isChecked(w, "插入扩展名尾单选框") ? InsertAt::End : InsertAt::Position;
  o.extPosition = textOf(w, "插入扩展名位置编辑框");
  return o;
}

}  // namespace qorin::rules
