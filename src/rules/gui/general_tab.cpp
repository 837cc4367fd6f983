// SPDX-License-Identifier: GPL-3.0-or-later
#include "rules/gui/general_tab.h"

#include "ui_general_page.h"

namespace qorin::rules {

namespace {
using Edits = std::initializer_list<QLineEdit*>;
}

GeneralTab::GeneralTab(QWidget* parent)
    : RuleTab(parent, kRuleIndex<Options>), ui_(std::make_unique<Ui::GeneralPage>()) {
  ui_->setupUi(this);
  showScope();
  for (QLineEdit* e :
       Edits{ui_->文件名前缀编辑框, ui_->起始量编辑框, ui_->文件名编辑框, ui_->文件名位数调节编辑框,
             ui_->文件名后缀编辑框, ui_->扩展名前缀编辑框, ui_->新扩展名编辑框, ui_->扩展名位数调节编辑框,
             ui_->扩展名后缀编辑框, ui_->增量编辑框})
    joinSharedEdit(e);
  for (QRadioButton* r : {ui_->常规文件名单选框, ui_->常规扩展名单选框, ui_->常规全部单选框}) {
    connect(r, &QRadioButton::clicked, this, [this] {
      showScope();
      changed();
    });
  }
  connect(ui_->常规清空按钮, &QPushButton::clicked, this, &GeneralTab::clearFields);
}

GeneralTab::~GeneralTab() = default;

QString GeneralTab::title() const { return windowTitle(); }

void GeneralTab::showScope() {
  const bool name = !ui_->常规扩展名单选框->isChecked();
  const bool ext = !ui_->常规文件名单选框->isChecked();
  const auto setGroup = [](QGroupBox* group, std::initializer_list<QLabel*> labels, Edits edits,
                           bool active) {
    setCaptionGrey(group, !active);
    for (QLabel* l : labels) setCaptionGrey(l, !active);
    for (QLineEdit* e : edits) e->setEnabled(active);
  };
  setGroup(ui_->文件名分组框, {ui_->前缀1标签, ui_->文件名标签, ui_->文件名位数调节标签, ui_->后缀1标签},
           {ui_->文件名前缀编辑框, ui_->文件名编辑框, ui_->文件名位数调节编辑框, ui_->文件名后缀编辑框},
           name);
  setGroup(ui_->扩展名分组框, {ui_->前缀2标签, ui_->新扩展名标签, ui_->扩展名位数标签, ui_->后缀2标签},
           {ui_->扩展名前缀编辑框, ui_->新扩展名编辑框, ui_->扩展名位数调节编辑框, ui_->扩展名后缀编辑框},
           ext);
}

void GeneralTab::clearFields() {
  const Batch once(*this);
  for (QLineEdit* e : Edits{ui_->文件名前缀编辑框, ui_->文件名编辑框, ui_->文件名位数调节编辑框,
                            ui_->文件名后缀编辑框, ui_->扩展名前缀编辑框, ui_->新扩展名编辑框,
                            ui_->扩展名位数调节编辑框, ui_->扩展名后缀编辑框, ui_->起始量编辑框})
    e->clear();
}

}  // namespace qorin::rules
