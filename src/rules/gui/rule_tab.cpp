// SPDX-License-Identifier: GPL-3.0-or-later
#include "rules/gui/rule_tab.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

#include "platform/gui/colours.h"
#include "text/gbtext.h"
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

namespace {
const std::string kOn = text::fromQtOrEmpty(QStringLiteral("开"));
const std::string kOff = text::fromQtOrEmpty(QStringLiteral("关"));

// The controls whose values are kept, in the form's order.
template <class Visit>
void eachKept(const QWidget& tab, Visit visit) {
  for (QWidget* w : tab.findChildren<QWidget*>()) {
    if (w->objectName().isEmpty()) continue;
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
      if (!edit->isReadOnly() && !qobject_cast<QComboBox*>(w->parentWidget())) visit(w);
    } else if (qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w) || qobject_cast<QComboBox*>(w)) {
      visit(w);
    }
  }
}
}  // namespace

FieldValues RuleTab::fields() const {
  FieldValues out;
  eachKept(*this, [&](QWidget* w) {
    std::string value;
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
      value = textOf(edit);
    } else if (auto* box = qobject_cast<QComboBox*>(w)) {
      value = std::to_string(box->currentIndex());
    } else {
      value = static_cast<QAbstractButton*>(w)->isChecked() ? kOn : kOff;
    }
    out.emplace_back(text::fromQtOrEmpty(w->objectName()), std::move(value));
  });
  return out;
}

void RuleTab::setFields(const FieldValues& values) {
  const Batch once(*this);
  // Twice: a control greyed until another is set takes its value the second time.
  for (int round = 0; round < 2; ++round)
    eachKept(*this, [&](QWidget* w) {
      const std::string name = text::fromQtOrEmpty(w->objectName());
      const auto it =
          std::find_if(values.begin(), values.end(), [&](const auto& v) { return v.first == name; });
      if (it == values.end()) return;
      const std::string& value = it->second;
      if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        if (textOf(edit) != value) edit->setText(text::toQt(value));
      } else if (auto* box = qobject_cast<QComboBox*>(w)) {
        const int index = text::toNumber(value);
        if (index >= 0 && index < box->count()) box->setCurrentIndex(index);
      } else if (auto* button = static_cast<QAbstractButton*>(w); value == kOn || value == kOff) {
        // A click, as the user's: a radio's handler hears it even when it is on already.
        const bool on = value == kOn;
        if (on && qobject_cast<QRadioButton*>(w)) {
          button->click();
        } else if (button->isChecked() != on) {
          button->click();
        }
      }
    });
}

std::string RuleTab::textOf(const QLineEdit* edit) { return text::fromQtOrEmpty(edit->text()); }

void RuleTab::setCaptionGrey(QWidget* widget, bool grey) {
  // The design's grey reads as greyed on a light and a dark window alike; its
  // black is the palette's text, which a dark palette makes light.
  const auto paint = [widget] {
    QPalette pal = widget->palette();
    pal.setColor(QPalette::WindowText, widget->property("captionGrey").toBool()
                                           ? QColor(0x80, 0x80, 0x80)
                                           : QApplication::palette(widget).color(QPalette::WindowText));
    widget->setPalette(pal);
  };
  widget->setProperty("captionGrey", grey);
  if (widget->property("captionFollows").toBool()) return paint();
  widget->setProperty("captionFollows", true);
  platform::followPalette(widget, paint);
}

}  // namespace qorin::rules
