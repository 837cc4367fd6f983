// SPDX-License-Identifier: GPL-3.0-or-later
// Tab MP3标签: the rule text with its example in words, the predefined
// schemes, the six placeholder buttons and the tag version that wins.
#pragma once

#include <memory>

#include "rules/gui/rule_tab.h"

namespace Ui {
class Mp3Page;
}

namespace qorin::rules {

class Mp3Tab : public RuleTab {
  Q_OBJECT

 public:
  using Options = Mp3Options;

  explicit Mp3Tab(QWidget* parent = nullptr);
  ~Mp3Tab() override;

  QString title() const override;
  Ui::Mp3Page* ui() const { return ui_.get(); }

 private:
  // Handler of the rule field's change: the example first, then the byte
  // limit, then the refresh.
  void updateRuleExample();
  // Handler of the scheme list: writes scheme `item`, then clears the choice.
  void applyScheme(int item);
  // Handler of the six buttons: appends placeholder #number.
  void insertPlaceholder(int number);

  std::unique_ptr<Ui::Mp3Page> ui_;
};

template <>
struct TabOf<Mp3Options> {
  using Tab = Mp3Tab;
};

}  // namespace qorin::rules
