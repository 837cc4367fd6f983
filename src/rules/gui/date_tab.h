// SPDX-License-Identifier: GPL-3.0-or-later
// Tab 日期: where the date comes from, its format, and whether it replaces
// the main name or goes before or after it.
#pragma once

#include <memory>

#include "rules/gui/rule_tab.h"

namespace Ui {
class DatePage;
}

namespace qorin::rules {

class DateTab : public RuleTab {
  Q_OBJECT

 public:
  using Options = DateOptions;

  explicit DateTab(QWidget* parent = nullptr);
  ~DateTab() override;

  QString title() const override;
  Ui::DatePage* ui() const { return ui_.get(); }

 private:
  // The separator means nothing while the date replaces the name.
  void showPlace();

  std::unique_ptr<Ui::DatePage> ui_;
};

template <>
struct TabOf<DateOptions> {
  using Tab = DateTab;
};

}  // namespace qorin::rules
