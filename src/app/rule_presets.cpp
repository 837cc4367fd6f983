// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/rule_presets.h"

#include <QMenu>
#include <QTabWidget>

#include "platform/gui/dialogs.h"
#include "rules/gui/rule_tab.h"
#include "session/session.h"
#include "text/gui/qtext.h"

namespace qorin::app {

using platform::Dialogs;
using Icon = platform::Dialogs::Icon;

namespace {

rules::RuleTab* tabAt(const QTabWidget* tabs, int index) {
  return qobject_cast<rules::RuleTab*>(tabs->widget(index));
}

rules::RuleTab* tabOfKey(const QTabWidget* tabs, std::string_view key) {
  for (int i = 0; i < tabs->count(); ++i)
    if (rules::RuleTab* t = tabAt(tabs, i); t && t->key() == key) return t;
  return nullptr;
}

void tell(Dialogs& dialogs, QWidget* owner, const QString& text, Icon icon) {
  dialogs.message(owner, platform::programTitle(), text, icon);
}

}  // namespace

void restoreRuleFields(QTabWidget* tabs, const session::Session& session) {
  const session::RuleMemory& m = session.ruleMemory();
  if (m.fields.empty() && m.selected.empty()) return;
  for (int i = 0; i < tabs->count(); ++i)
    if (rules::RuleTab* t = tabAt(tabs, i)) t->setFields(m.fields);
  if (rules::RuleTab* t = tabOfKey(tabs, m.selected)) tabs->setCurrentWidget(t);
}

void rememberRuleFields(const QTabWidget* tabs, session::Session& session) {
  session::RuleMemory m;
  for (int i = 0; i < tabs->count(); ++i) {
    const rules::RuleTab* t = tabAt(tabs, i);
    if (!t) continue;
    rules::FieldValues f = t->fields();
    m.fields.insert(m.fields.end(), f.begin(), f.end());
    if (i == tabs->currentIndex()) m.selected = std::string(t->key());
  }
  session.rememberRules(std::move(m));
}

PresetMenu::PresetMenu(QMenu* menu, QTabWidget* tabs, session::Session& session, Dialogs& dialogs,
                       QWidget* window)
    : QObject(window), menu_(menu), tabs_(tabs), session_(session), dialogs_(dialogs), window_(window) {
  menu_->setObjectName(QStringLiteral("方案菜单"));
  connect(menu_, &QMenu::aboutToShow, this, &PresetMenu::fill);
  fill();
}

void PresetMenu::reportDamage() {
  const session::Presets::Damage& d = session_.presets().damage();
  if (!d.found) return;
  if (!d.movedTo.empty()) {
    tell(dialogs_, window_,
         QStringLiteral("方案文件已损坏，已另存为：\n") + text::toQt(d.movedTo) +
             QStringLiteral("\n方案从空开始。"),
         Icon::Exclamation);
  } else {
    tell(dialogs_, window_,
         QStringLiteral("方案文件已损坏，也无法移到一旁：\n") + text::toQt(session_.places().presetsFile()) +
             QStringLiteral("\n方案不能保存。"),
         Icon::Exclamation);
  }
}

void PresetMenu::fill() {
  menu_->clear();
  menu_->addAction(QStringLiteral("保存当前规则为方案(&S)..."), this, &PresetMenu::saveCurrent);
  const std::vector<session::Preset>& all = session_.presets().all();
  if (!all.empty()) menu_->addSeparator();
  for (std::size_t i = 0; i < all.size(); ++i)
    menu_->addAction(text::toQt(all[i].name), this, [this, i] { apply(static_cast<int>(i)); });
  menu_->addSeparator();
  menu_->addAction(QStringLiteral("删除方案(&D)..."), this, &PresetMenu::deleteOne)->setEnabled(!all.empty());
}

void PresetMenu::saveCurrent() {
  const rules::RuleTab* tab = tabAt(tabs_, tabs_->currentIndex());
  if (!tab) return;
  const auto answer =
      dialogs_.askText(window_, platform::programTitle(), QStringLiteral("方案名称："), tab->title());
  if (!answer) return;
  const std::string name = text::fromQtOrEmpty(answer->trimmed());
  if (!session::Presets::usableName(name)) {
    tell(dialogs_, window_, QStringLiteral("方案名称不能为空，也不能含有方括号。"), Icon::Exclamation);
    return;
  }
  session::Presets& presets = session_.presets();
  if (presets.find(name) && !dialogs_.askYesNo(window_, platform::programTitle(),
                                               QStringLiteral("方案“") + text::toQt(name) +
                                                   QStringLiteral("”已经存在，要替换它吗？"),
                                               Icon::Exclamation))
    return;
  if (!presets.save({name, std::string(tab->key()), tab->fields()}))
    tell(dialogs_, window_, QStringLiteral("保存方案失败！"), Icon::Stop);
}

void PresetMenu::apply(int index) {
  const std::vector<session::Preset>& all = session_.presets().all();
  if (index < 0 || index >= static_cast<int>(all.size())) return;
  const session::Preset& p = all[static_cast<std::size_t>(index)];
  rules::RuleTab* tab = tabOfKey(tabs_, p.rule);
  if (!tab) return;
  tabs_->setCurrentWidget(tab);
  tab->setFields(p.fields);
}

void PresetMenu::deleteOne() {
  session::Presets& presets = session_.presets();
  QStringList names;
  for (const session::Preset& p : presets.all()) names << text::toQt(p.name);
  if (names.isEmpty()) return;
  const auto chosen =
      dialogs_.chooseItem(window_, platform::programTitle(), QStringLiteral("要删除的方案："), names);
  if (!chosen || *chosen < 0 || *chosen >= names.size()) return;
  const std::string name = presets.all()[static_cast<std::size_t>(*chosen)].name;
  if (!presets.remove(name)) tell(dialogs_, window_, QStringLiteral("删除方案失败！"), Icon::Stop);
}

}  // namespace qorin::app
