#include <QCheckBox>

#include "rules/replace_rule.h"
#include "rules/gui/rule_tabs.h"
#include "rules/gui/tab_support.h"

namespace qorin::rules {

void setupReplaceTab(app::MainWindow& w) {
  // The edits and the scope buttons refresh through the shared handlers.
  QObject::connect(w.control<QCheckBox>("区分大小写选择框"), &QCheckBox::clicked, &w,
                   [&w] { w.refreshPreview(false); });
}

void runReplaceTab(app::MainWindow& w, int n) {
  ReplaceOptions o;
  o.search = textOf(w, "查找内容编辑框");
  o.replacement = textOf(w, "替换为编辑框");
  o.matchCase = isChecked(w, "区分大小写选择框");
  o.scope = isChecked(w, "替换删除全部单选框") ? ReplaceScope::All
            : isChecked(w, "仅扩展名单选框")   ? ReplaceScope::Extension
                                               : ReplaceScope::Name;
  replaceRule(w.fileList(), n, o);
}

}  // namespace qorin::rules
