// SPDX-License-Identifier: GPL-3.0-or-later
// Tab 大小写: one of four letter cases for the main part and one for the
// extension.
#pragma once

#include <memory>

#include "rules/gui/rule_tab.h"

namespace Ui {
class CasePage;
}

namespace qorin::rules {

class CaseTab : public RuleTab {
  Q_OBJECT

 public:
  using Options = CaseOptions;

  explicit CaseTab(QWidget* parent = nullptr);
  ~CaseTab() override;

  QString title() const override;
  Ui::CasePage* ui() const { return ui_.get(); }

 private:
  std::unique_ptr<Ui::CasePage> ui_;
};

template <>
struct TabOf<CaseOptions> {
  using Tab = CaseTab;
};

}  // namespace qorin::rules
