// SPDX-License-Identifier: GPL-3.0-or-later
// The rule tabs of the main window. Each tab is its page: it owns the page's
// typed controls, keeps their wiring (greying, mirroring, placeholders) to
// itself and reads them into its rule's options when asked.
#pragma once

#include <QPoint>
#include <QString>
#include <QWidget>
#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "rules/name_cleanup.h"
#include "rules/rule.h"

class QAbstractButton;
class QLineEdit;

namespace qorin::rules {

// Indexes in 选择夹 of the tabs that code outside rules/ picks by name. The
// order is the registration's (rules/rule.h); a new rule needs none of these.
inline constexpr int kGeneralTab = kRuleIndex<GeneralOptions>;
inline constexpr int kReplaceTab = kRuleIndex<ReplaceOptions>;
inline constexpr int kInsertTab = kRuleIndex<InsertOptions>;
inline constexpr int kCaseTab = kRuleIndex<CaseOptions>;
inline constexpr int kMp3Tab = kRuleIndex<Mp3Options>;

// The names of the handlers that several controls share: a control's change
// is reported under the name of the control whose handler it joins.
inline constexpr const char* kSharedEditHandler = "文件名前缀编辑框";
inline constexpr const char* kSharedRadioHandler = "仅文件名单选框";
inline constexpr const char* kPlaceholderHandler = "艺术家超级按钮";

class RuleTab : public QWidget {
  Q_OBJECT

 public:
  ~RuleTab() override;

  // The tab's caption.
  virtual QString title() const = 0;
  // What the controls show now, read through the rule's fields.
  RuleOptions options() const;

  // The tab's rule: its place in the registration (and in 选择夹) and its
  // key, which a saved section of its fields can be named by.
  int rule() const { return rule_; }
  std::string_view key() const { return ruleKey(rule_); }

  // The rule's fields as they are kept (rules/rule.h: keptFields).
  FieldValues fields() const;
  // Puts saved values back as a user would (the controls' own handlers
  // run) with one refresh at the end; names the tab lacks are skipped.
  void setFields(const FieldValues& values);

  // The form holds the design's positions, which count from the tab
  // control's corner; the page itself starts where the style puts it inside
  // the tab control (`origin`, in the tab control's coordinates). Moves the
  // page's controls so that they stand at their design places.
  void placeControls(QPoint origin);

 signals:
  // One per change that alters what the rule would do.
  void optionsChanged();
  // A control that joins a shared handler fired it.
  void sharedHandlerInvoked(const QString& handler, QObject* sender);

 protected:
  // `rule` is kRuleIndex of the tab's options.
  RuleTab(QWidget* parent, int rule);

  // Raises optionsChanged, or notes it while a Batch is open.
  void changed();

  // Holds optionsChanged back for its lifetime and raises it once at its end,
  // so a burst of field writes costs one refresh.
  class Batch {
   public:
    explicit Batch(RuleTab& tab);
    ~Batch();
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

   private:
    RuleTab& tab_;
  };

  // Joins an edit box to the handler of 文件名前缀编辑框 (a text change
  // refreshes) and a radio button to that of 仅文件名单选框 (a click refreshes).
  void joinSharedEdit(QLineEdit* edit);
  void joinSharedRadio(QAbstractButton* radio);

  static std::string textOf(const QLineEdit* edit);
  // Caption colour of a label or group box: black, or the grey of a part that
  // does not apply.
  static void setCaptionGrey(QWidget* widget, bool grey);

 private:
  int rule_;
  int batchDepth_ = 0;
  QPoint placedFor_;  // the page origin the controls stand for now
};

// The tab of the rule with options O: each tab's header says
//   template <> struct TabOf<TheOptions> { using Tab = TheTab; };
template <class O>
struct TabOf;

// A tab of every registered rule, in tab order, without parent
// (rules/gui/tab_list.cpp).
std::array<std::unique_ptr<RuleTab>, kRuleCount> makeRuleTabs();

}  // namespace qorin::rules
