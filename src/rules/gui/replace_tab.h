// SPDX-License-Identifier: GPL-3.0-or-later
// Tab 替换/删除: the text to find (or a regular expression), its
// replacement, case and scope.
#pragma once

#include <memory>

#include "rules/gui/rule_tab.h"

namespace Ui {
class ReplacePage;
}

namespace qorin::rules {

class ReplaceTab : public RuleTab {
  Q_OBJECT

 public:
  using Options = ReplaceOptions;

  explicit ReplaceTab(QWidget* parent = nullptr);
  ~ReplaceTab() override;

  QString title() const override;
  Ui::ReplacePage* ui() const { return ui_.get(); }

 private:
  // A pattern the engine refuses: its message as the search box's tooltip
  // and a red frame; both go when the pattern compiles or the box is off.
  void showPatternState();

  std::unique_ptr<Ui::ReplacePage> ui_;
};

template <>
struct TabOf<ReplaceOptions> {
  using Tab = ReplaceTab;
};

}  // namespace qorin::rules
