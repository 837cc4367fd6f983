// SPDX-License-Identifier: GPL-3.0-or-later
#include "rules/gui/date_tab.h"

#include "platform/gui/colours.h"
#include "ui_date_page.h"

namespace qorin::rules {

DateTab::DateTab(QWidget* parent)
    : RuleTab(parent, kRuleIndex<Options>), ui_(std::make_unique<Ui::DatePage>()) {
  ui_->setupUi(this);
  ui_->日期来源组合框->setCurrentIndex(0);
  platform::setTextColour(ui_->日期格式说明标签, platform::quietText);
  showPlace();
  joinSharedEdit(ui_->日期格式编辑框);
  joinSharedEdit(ui_->日期分隔编辑框);
  for (QRadioButton* r : {ui_->日期替换文件名单选框, ui_->日期加在前面单选框, ui_->日期加在后面单选框}) {
    joinSharedRadio(r);
    connect(r, &QRadioButton::toggled, this, &DateTab::showPlace);
  }
  connect(ui_->日期来源组合框, &QComboBox::currentIndexChanged, this, [this] { changed(); });
}

DateTab::~DateTab() = default;

QString DateTab::title() const { return windowTitle(); }

void DateTab::showPlace() {
  const bool joined = !ui_->日期替换文件名单选框->isChecked();
  setCaptionGrey(ui_->日期分隔标签, !joined);
  ui_->日期分隔编辑框->setEnabled(joined);
}

}  // namespace qorin::rules
