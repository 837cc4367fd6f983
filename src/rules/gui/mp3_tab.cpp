// SPDX-License-Identifier: GPL-3.0-or-later
#include "rules/gui/mp3_tab.h"

#include <string>

#include "text/gbtext.h"
#include "text/gui/qtext.h"
#include "ui_mp3_page.h"

namespace qorin::rules {

Mp3Tab::Mp3Tab(QWidget* parent) : RuleTab(parent, kRuleIndex<Options>), ui_(std::make_unique<Ui::Mp3Page>()) {
  ui_->setupUi(this);
  ui_->预定义方案组合框->setCurrentIndex(-1);
  ui_->参照编辑框->setReadOnly(true);
  connect(ui_->MP3命名规则编辑框, &QLineEdit::textChanged, this, &Mp3Tab::updateRuleExample);
  connect(ui_->预定义方案组合框, &QComboBox::activated, this, &Mp3Tab::applyScheme);
  for (QRadioButton* r : {ui_->V1优先单选框, ui_->V2优先单选框})
    connect(r, &QRadioButton::clicked, this, &Mp3Tab::changed);
  // Buttons in placeholder order: #1 artist to #6 genre.
  QToolButton* const buttons[] = {ui_->艺术家超级按钮, ui_->歌曲名超级按钮, ui_->专辑超级按钮,
                                  ui_->音轨超级按钮,   ui_->年代超级按钮,   ui_->流派超级按钮};
  for (int i = 0; i < 6; ++i) {
    QToolButton* b = buttons[i];
    connect(b, &QToolButton::clicked, this, [this, b, number = i + 1] {
      emit sharedHandlerInvoked(QString::fromUtf8(kPlaceholderHandler), b);
      insertPlaceholder(number);
    });
  }
}

Mp3Tab::~Mp3Tab() = default;

QString Mp3Tab::title() const { return windowTitle(); }

void Mp3Tab::updateRuleExample() {
  QLineEdit* field = ui_->MP3命名规则编辑框;
  const std::string rule = textOf(field);
  ui_->参照编辑框->setText(text::toQt(mp3RuleExample(rule)));
  if (rule.size() > kMp3RuleMaxBytes) {
    // The write-back runs this handler again, which refreshes with the cut rule.
    field->setText(text::toQt(std::string(text::cutToBytes(rule, kMp3RuleMaxBytes))));
    return;
  }
  changed();
}

void Mp3Tab::applyScheme(int item) {
  QLineEdit* field = ui_->MP3命名规则编辑框;
  field->setText(text::toQt(std::string(mp3SchemeRule(item))));
  ui_->预定义方案组合框->setCurrentIndex(-1);
  field->setFocus();
  changed();
}

void Mp3Tab::insertPlaceholder(int number) {
  QLineEdit* field = ui_->MP3命名规则编辑框;
  // The text may be longer than the field's typing limit: updateRuleExample
  // cuts it back by bytes.
  const int limit = field->maxLength();
  field->setMaxLength(32767);
  field->setText(text::toQt(withPlaceholder(textOf(field), number)));
  field->setMaxLength(limit);
}

}  // namespace qorin::rules
