// SPDX-License-Identifier: GPL-3.0-or-later
#include "rules/gui/replace_tab.h"

#include "platform/gui/colours.h"
#include "rules/regex_replace.h"
#include "text/gui/qtext.h"
#include "ui_replace_page.h"

namespace qorin::rules {

ReplaceTab::ReplaceTab(QWidget* parent)
    : RuleTab(parent, kRuleIndex<Options>), ui_(std::make_unique<Ui::ReplacePage>()) {
  ui_->setupUi(this);
  joinSharedEdit(ui_->查找内容编辑框);
  joinSharedEdit(ui_->替换为编辑框);
  for (QRadioButton* r : {ui_->仅文件名单选框, ui_->仅扩展名单选框, ui_->替换删除全部单选框})
    joinSharedRadio(r);
  connect(ui_->区分大小写选择框, &QCheckBox::clicked, this, &ReplaceTab::changed);
  connect(ui_->正则表达式选择框, &QCheckBox::toggled, this, [this] {
    showPatternState();
    changed();
  });
  connect(ui_->查找内容编辑框, &QLineEdit::textChanged, this, &ReplaceTab::showPatternState);
}

ReplaceTab::~ReplaceTab() = default;

QString ReplaceTab::title() const { return windowTitle(); }

void ReplaceTab::showPatternState() {
  QLineEdit* search = ui_->查找内容编辑框;
  const std::string error = ui_->正则表达式选择框->isChecked()
                                ? regexError(textOf(search), ui_->区分大小写选择框->isChecked())
                                : "";
  if (error.empty()) {
    search->setToolTip(QString());
    search->setStyleSheet(QString());
  } else {
    search->setToolTip(text::toQt(error));
    // A frame needs 3:1 on the field to be seen (text would need 4.5:1).
    const QColor red =
        platform::readableOn(QColor(0xE0, 0x00, 0x00), search->palette().color(QPalette::Base), 3);
    search->setStyleSheet(QStringLiteral("QLineEdit { border: 1px solid %1; }").arg(red.name()));
  }
}

}  // namespace qorin::rules
