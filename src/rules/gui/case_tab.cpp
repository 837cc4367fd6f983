#include "rules/case_rule.h"
#include "rules/gui/rule_tabs.h"
#include "rules/gui/tab_support.h"

namespace qorin::rules {

namespace {
CaseChoice choiceOf(const app::MainWindow& w, const std::string& group) {
  const auto checked = [&](const char* what) { return isChecked(w, (group + what).c_str()); };
  if (checked("全部小写单选框")) return CaseChoice::AllLower;
  if (checked("首字母大写单选框")) return CaseChoice::FirstUpper;
  if (checked("首字母小写单选框")) return CaseChoice::FirstLower;
  return CaseChoice::AllUpper;
}
}  // namespace

// The eight radio buttons refresh through the shared handler.
void setupCaseTab(app::MainWindow&) {}

RuleOptions caseTabOptions(const app::MainWindow& w) {
  CaseOptions o;
  o.name = choiceOf(w, "文件名");
  o.ext = choiceOf(w, "扩展名");
  return o;
}

}  // namespace qorin::rules
