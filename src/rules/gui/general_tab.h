// SPDX-License-Identifier: GPL-3.0-or-later
// Tab 常规: the general rule's fields, greyed by the chosen scope.
#pragma once

#include <memory>

#include "rules/gui/rule_tab.h"

namespace Ui {
class GeneralPage;
}

namespace qorin::rules {

class GeneralTab : public RuleTab {
  Q_OBJECT

 public:
  using Options = GeneralOptions;

  explicit GeneralTab(QWidget* parent = nullptr);
  ~GeneralTab() override;

  QString title() const override;
  Ui::GeneralPage* ui() const { return ui_.get(); }

  // Button 清空: empties the nine fields (the increment stays) and raises
  // optionsChanged once for all of them.
  void clearFields();

 private:
  // Enables and greys the field groups the scope does not apply to.
  void showScope();

  std::unique_ptr<Ui::GeneralPage> ui_;
};

template <>
struct TabOf<GeneralOptions> {
  using Tab = GeneralTab;
};

}  // namespace qorin::rules
