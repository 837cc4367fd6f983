// SPDX-License-Identifier: GPL-3.0-or-later
#include "rules/gui/convert_tab.h"

#include "ui_convert_page.h"

namespace qorin::rules {

ConvertTab::ConvertTab(QWidget* parent)
    : RuleTab(parent, kRuleIndex<Options>), ui_(std::make_unique<Ui::ConvertPage>()) {
  ui_->setupUi(this);
}

ConvertTab::~ConvertTab() = default;

QString ConvertTab::title() const { return windowTitle(); }

}  // namespace qorin::rules
