// SPDX-License-Identifier: GPL-3.0-or-later
#include "rules/gui/case_tab.h"

#include "ui_case_page.h"

namespace qorin::rules {

CaseTab::CaseTab(QWidget* parent)
    : RuleTab(parent, kRuleIndex<Options>), ui_(std::make_unique<Ui::CasePage>()) {
  ui_->setupUi(this);
  for (QRadioButton* r : {ui_->文件名全部大写单选框, ui_->文件名首字母大写单选框, ui_->文件名全部小写单选框,
                          ui_->文件名首字母小写单选框, ui_->扩展名全部大写单选框, ui_->扩展名首字母大写单选框,
                          ui_->扩展名全部小写单选框, ui_->扩展名首字母小写单选框})
    joinSharedRadio(r);
}

CaseTab::~CaseTab() = default;

QString CaseTab::title() const { return windowTitle(); }

}  // namespace qorin::rules
