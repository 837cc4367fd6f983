// SPDX-License-Identifier: GPL-3.0-or-later
// Tab 插入: a text for the main part and one for the extension, each at a
// position or at the end; 保持一致 mirrors the first into the second.
#pragma once

#include <memory>

#include "rules/gui/rule_tab.h"

namespace Ui {
class InsertPage;
}

namespace qorin::rules {

class InsertTab : public RuleTab {
  Q_OBJECT

 public:
  using Options = InsertOptions;

  explicit InsertTab(QWidget* parent = nullptr);
  ~InsertTab() override;

  QString title() const override;
  Ui::InsertPage* ui() const { return ui_.get(); }

 private:
  std::unique_ptr<Ui::InsertPage> ui_;
};

template <>
struct TabOf<InsertOptions> {
  using Tab = InsertTab;
};

}  // namespace qorin::rules
