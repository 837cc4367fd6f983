#include "rules/gui/rule_tab.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <type_traits>

#include "rules/gui/case_tab.h"
#include "rules/gui/general_tab.h"
#include "rules/gui/insert_tab.h"
#include "rules/gui/mp3_tab.h"
#include "rules/gui/replace_tab.h"
#include "text/gui/qtext.h"

namespace qorin::rules {

static_assert(std::is_same_v<std::variant_alternative_t<kGeneralTab, RuleOptions>, GeneralOptions> &&
                  std::is_same_v<std::variant_alternative_t<kReplaceTab, RuleOptions>, ReplaceOptions> &&
                  std::is_same_v<std::variant_alternative_t<kInsertTab, RuleOptions>, InsertOptions> &&
                  std::is_same_v<std::variant_alternative_t<kCaseTab, RuleOptions>, CaseOptions> &&
                  std::is_same_v<std::variant_alternative_t<kMp3Tab, RuleOptions>, Mp3Options> &&
                  std::variant_size_v<RuleOptions> == kTabCount,
              "tabs and rule options in one order");

RuleTab::RuleTab(QWidget* parent) : QWidget(parent) {}
RuleTab::~RuleTab() = default;

void RuleTab::changed() {
  if (batchDepth_ == 0) emit optionsChanged();
}

RuleTab::Batch::Batch(RuleTab& tab) : tab_(tab) { ++tab_.batchDepth_; }

RuleTab::Batch::~Batch() {
  if (--tab_.batchDepth_ == 0) emit tab_.optionsChanged();
}

void RuleTab::joinSharedEdit(QLineEdit* edit) {
  connect(edit, &QLineEdit::textChanged, this, [this, edit] {
    emit sharedHandlerInvoked(QString::fromUtf8(kSharedEditHandler), edit);
    changed();
  });
}

void RuleTab::joinSharedRadio(QAbstractButton* radio) {
  connect(radio, &QAbstractButton::clicked, this, [this, radio] {
    emit sharedHandlerInvoked(QString::fromUtf8(kSharedRadioHandler), radio);
    changed();
  });
}

void RuleTab::placeControls(QPoint origin) {
  const QPoint delta = placedFor_ - origin;
  if (delta.isNull()) return;
  for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (!child->isWindow()) child->move(child->pos() + delta);
  placedFor_ = origin;
}

std::string RuleTab::textOf(const QLineEdit* edit) { return text::fromQtOrEmpty(edit->text()); }

void RuleTab::setCaptionGrey(QWidget* widget, bool grey) {
  QPalette pal = widget->palette();
  pal.setColor(QPalette::WindowText, grey ? QColor(0x80, 0x80, 0x80) : QColor(Qt::black));
  widget->setPalette(pal);
}

std::array<std::unique_ptr<RuleTab>, kTabCount> makeRuleTabs() {
  return {std::make_unique<GeneralTab>(), std::make_unique<ReplaceTab>(), std::make_unique<InsertTab>(),
          std::make_unique<CaseTab>(), std::make_unique<Mp3Tab>()};
}

}  // namespace qorin::rules
