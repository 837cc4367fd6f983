// SPDX-License-Identifier: GPL-3.0-or-later
#include "rules/gui/insert_tab.h"

#include "ui_insert_page.h"

namespace qorin::rules {

InsertTab::InsertTab(QWidget* parent)
    : RuleTab(parent, kRuleIndex<Options>), ui_(std::make_unique<Ui::InsertPage>()) {
  ui_->setupUi(this);
  QLineEdit* nameText = ui_->插入到文件名的字符编辑框;
  QLineEdit* extText = ui_->插入到扩展名的字符编辑框;
  QCheckBox* keep = ui_->保持一致选择框;
  connect(nameText, &QLineEdit::textChanged, this, [this, keep, extText](const QString& t) {
    if (keep->isChecked()) extText->setText(t);  // its own change refreshes too
    changed();
  });
  for (QLineEdit* e :
       std::initializer_list<QLineEdit*>{extText, ui_->插入文件名位置编辑框, ui_->插入扩展名位置编辑框})
    connect(e, &QLineEdit::textChanged, this, &InsertTab::changed);
  connect(keep, &QCheckBox::clicked, this, [this, keep, nameText, extText] {
    const bool on = keep->isChecked();
    setCaptionGrey(ui_->插入扩展名标签, on);
    extText->setEnabled(!on);
    if (on) extText->setText(nameText->text());
  });
  struct Pair {
    QRadioButton* radio;
    QLineEdit* field;
    bool enables;
  };
  const Pair pairs[] = {{ui_->插入文件名位置单选框, ui_->插入文件名位置编辑框, true},
                        {ui_->插入文件名尾单选框, ui_->插入文件名位置编辑框, false},
                        {ui_->插入扩展名位置单选框, ui_->插入扩展名位置编辑框, true},
                        {ui_->插入扩展名尾单选框, ui_->插入扩展名位置编辑框, false}};
  for (const Pair& p : pairs) {
    connect(p.radio, &QRadioButton::clicked, this, [this, p] {
      if (p.radio->isChecked()) p.field->setEnabled(p.enables);
      changed();
    });
  }
}

InsertTab::~InsertTab() = default;

QString InsertTab::title() const { return windowTitle(); }

}  // namespace qorin::rules
