// SPDX-License-Identifier: GPL-3.0-or-later
#include "rules/gui/case_tab.h"

#include "ui_case_page.h"

namespace qorin::rules {

namespace {

// A group's four buttons, in the order of CaseChoice.
struct CaseGroup {
  QRadioButton* allUpper;
  QRadioButton* firstUpper;
  QRadioButton* allLower;
  QRadioButton* firstLower;

  CaseChoice choice() const {
    if (allLower->isChecked()) return CaseChoice::AllLower;
    if (firstUpper->isChecked()) return CaseChoice::FirstUpper;
    if (firstLower->isChecked()) return CaseChoice::FirstLower;
    return CaseChoice::AllUpper;
  }
};

CaseGroup nameGroup(const Ui::CasePage& ui) {
  return {ui.文件名全部大写单选框, ui.文件名首字母大写单选框, ui.文件名全部小写单选框,
          ui.文件名首字母小写单选框};
}

CaseGroup extGroup(const Ui::CasePage& ui) {
  return {ui.扩展名全部大写单选框, ui.扩展名首字母大写单选框, ui.扩展名全部小写单选框,
          ui.扩展名首字母小写单选框};
}

}  // namespace

CaseTab::CaseTab(QWidget* parent)
    : RuleTab(parent, kRuleIndex<Options>), ui_(std::make_unique<Ui::CasePage>()) {
  ui_->setupUi(this);
  for (const CaseGroup& g : {nameGroup(*ui_), extGroup(*ui_)})
    for (QRadioButton* r : {g.allUpper, g.allLower, g.firstUpper, g.firstLower}) joinSharedRadio(r);
}

CaseTab::~CaseTab() = default;

QString CaseTab::title() const { return windowTitle(); }

RuleOptions CaseTab::options() const {
  return CaseOptions{nameGroup(*ui_).choice(), extGroup(*ui_).choice()};
}

}  // namespace qorin::rules
