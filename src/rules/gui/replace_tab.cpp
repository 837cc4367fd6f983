#include <QCheckBox>

#include "rules/gui/rule_tabs.h"
#include "rules/gui/tab_support.h"
#include "rules/replace_rule.h"

namespace qorin::rules {

void setupReplaceTab(app::MainWindow& w) {
  // The edits and the scope buttons refresh through the shared handlers.
  QObject::connect(w.control<QCheckBox>("区分大小写选择框"), &QCheckBox::clicked, &w,
                   [&w] { w.refreshPreview(); });
}

RuleOptions replaceTabOptions(const app::MainWindow& w) {
  ReplaceOptions o;
  o.search = textOf(w, "查找内容编辑框");
  o.replacement = textOf(w, "替换为编辑框");
  o.matchCase = isChecked(w, "区分大小写选择框");
  o.scope = isChecked(w, "替换删除全部单选框") ? ReplaceScope::All
            : isChecked(w, "仅扩展名单选框")   ? ReplaceScope::Extension
                                               : ReplaceScope::Name;
  return o;
}

}  // namespace qorin::rules
