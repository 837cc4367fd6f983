// SPDX-License-Identifier: GPL-3.0-or-later
// Tab 转换: a conversion of the main name, the extension or both.
#pragma once

#include <memory>

#include "rules/gui/rule_tab.h"

namespace Ui {
class ConvertPage;
}

namespace qorin::rules {

class ConvertTab : public RuleTab {
  Q_OBJECT

 public:
  using Options = ConvertOptions;

  explicit ConvertTab(QWidget* parent = nullptr);
  ~ConvertTab() override;

  QString title() const override;
  Ui::ConvertPage* ui() const { return ui_.get(); }

 private:
  std::unique_ptr<Ui::ConvertPage> ui_;
};

template <>
struct TabOf<ConvertOptions> {
  using Tab = ConvertTab;
};

}  // namespace qorin::rules
