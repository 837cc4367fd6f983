#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

#include "rules/general_rule.h"
#include "rules/gui/rule_tabs.h"
#include "rules/gui/tab_support.h"
#include "session/session.h"

namespace qorin::rules {

namespace {

const char* const kNameLabels[] = {"前缀1标签", "文件名标签", "文件名位数调节标签", "后缀1标签"};
const char* const kNameEdits[] = {"文件名前缀编辑框", "文件名编辑框", "文件名位数调节编辑框",
                                  "文件名后缀编辑框"};
const char* const kExtLabels[] = {"前缀2标签", "新扩展名标签", "扩展名位数标签", "后缀2标签"};
const char* const kExtEdits[] = {"扩展名前缀编辑框", "新扩展名编辑框", "扩展名位数调节编辑框",
                                 "扩展名后缀编辑框"};

void setGroupState(app::MainWindow& w, const char* group, const char* const (&labels)[4],
                   const char* const (&edits)[4], bool active) {
  setCaptionGrey(w.control<QGroupBox>(group), !active);
  for (const char* l : labels) setCaptionGrey(w.control<QLabel>(l), !active);
  for (const char* e : edits) w.control<QLineEdit>(e)->setEnabled(active);
}

// The scope decides which field groups apply.
void showScope(app::MainWindow& w) {
  const bool name = !isChecked(w, "常规扩展名单选框");
  const bool ext = !isChecked(w, "常规文件名单选框");
  setGroupState(w, "文件名分组框", kNameLabels, kNameEdits, name);
  setGroupState(w, "扩展名分组框", kExtLabels, kExtEdits, ext);
}

void clearFields(app::MainWindow& w) {
  // Nine emptied fields would each refresh: switch the preview off meanwhile.
  {
    session::Session::PreviewPause pause(w.session());
    for (const char* e :
         {"文件名前缀编辑框", "文件名编辑框", "文件名位数调节编辑框", "文件名后缀编辑框", "扩展名前缀编辑框",
          "新扩展名编辑框", "扩展名位数调节编辑框", "扩展名后缀编辑框", "起始量编辑框"})
      w.control<QLineEdit>(e)->clear();
  }
  w.refreshPreview();
}

}  // namespace

void setupGeneralTab(app::MainWindow& w) {
  showScope(w);
  for (const char* r : {"常规文件名单选框", "常规扩展名单选框", "常规全部单选框"}) {
    QObject::connect(w.control<QRadioButton>(r), &QRadioButton::clicked, &w, [&w] {
      showScope(w);
      w.refreshPreview();
    });
  }
  QObject::connect(w.control<QPushButton>("常规清空按钮"), &QPushButton::clicked, &w,
                   [&w] { clearFields(w); });
}

RuleOptions generalTabOptions(const app::MainWindow& w) {
  GeneralOptions o;
  o.scope = isChecked(w, "常规全部单选框")     ? GeneralScope::All
            : isChecked(w, "常规扩展名单选框") ? GeneralScope::Extension
                                               : GeneralScope::Name;
  o.start = textOf(w, "起始量编辑框");
  o.increment = textOf(w, "增量编辑框");
  o.namePrefix = textOf(w, "文件名前缀编辑框");
  o.nameText = textOf(w, "文件名编辑框");
  o.nameDigits = textOf(w, "文件名位数调节编辑框");
  o.nameSuffix = textOf(w, "文件名后缀编辑框");
  o.extPrefix = textOf(w, "扩展名前缀编辑框");
  o.extText = textOf(w, "新扩展名编辑框");
  o.extDigits = textOf(w, "扩展名位数调节编辑框");
  o.extSuffix = textOf(w, "扩展名后缀编辑框");
  return o;
}

}  // namespace qorin::rules
