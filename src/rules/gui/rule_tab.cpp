#include "rules/gui/rule_tab.h"

#include <QAbstractButton>
#include <QLineEdit>

#include "text/gui/qtext.h"

namespace qorin::rules {

RuleTab::RuleTab(QWidget* parent, int rule) : QWidget(parent), rule_(rule) {}
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

}  // namespace qorin::rules
