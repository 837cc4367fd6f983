// SPDX-License-Identifier: GPL-3.0-or-later
#include "rules/gui/rule_tab.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <algorithm>

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

template <class W>
W* control(const QWidget& tab, std::string_view name) {
  return name.empty() ? nullptr
                      : tab.findChild<W*>(QString::fromUtf8(name.data(), static_cast<int>(name.size())));
}

template <class O>
void readControls(const QWidget& tab, O& o) {
  for (const Field<O>& f : RuleFields<O>::fields) {
    if (f.kind == FieldKind::Text) {
      if (const auto* edit = control<QLineEdit>(tab, f.key)) o.*f.text = text::fromQtOrEmpty(edit->text());
    } else if (f.kind == FieldKind::Flag) {
      if (const auto* box = control<QAbstractButton>(tab, f.key)) o.*f.flag = box->isChecked();
    } else if (const auto* list = control<QComboBox>(tab, f.key)) {
      for (const Choice& c : f.choices)
        if (c.value == list->currentIndex()) f.set(o, c.value);
    } else {
      for (const Choice& c : f.choices)
        if (const auto* radio = control<QAbstractButton>(tab, c.control); radio && radio->isChecked())
          f.set(o, c.value);
    }
  }
}

// Sets a button as a user would: a click, so that its handler runs (a
// radio's even when it is on already).
void clickTo(QAbstractButton* button, bool on) {
  if (!button) return;
  if ((on && qobject_cast<QRadioButton*>(button)) || button->isChecked() != on) button->click();
}

template <class O>
void showValues(const QWidget& tab, const O& o, const FieldValues& values) {
  const auto given = [&](std::string_view key) {
    const std::string name = text::gb(key);
    return !key.empty() &&
           std::any_of(values.begin(), values.end(), [&](const auto& v) { return v.first == name; });
  };
  for (const Field<O>& f : RuleFields<O>::fields) {
    if (f.kind == FieldKind::Choice && f.key.empty()) {
      for (const Choice& c : f.choices)
        if (given(c.control) && f.get(o) == c.value) clickTo(control<QAbstractButton>(tab, c.control), true);
      continue;
    }
    if (!given(f.key)) continue;
    if (f.kind == FieldKind::Text) {
      auto* edit = control<QLineEdit>(tab, f.key);
      if (edit && text::fromQtOrEmpty(edit->text()) != o.*f.text) edit->setText(text::toQt(o.*f.text));
    } else if (f.kind == FieldKind::Flag) {
      clickTo(control<QAbstractButton>(tab, f.key), o.*f.flag);
    } else if (auto* list = control<QComboBox>(tab, f.key); list && f.get(o) < list->count()) {
      list->setCurrentIndex(f.get(o));
    }
  }
}

}  // namespace

RuleOptions RuleTab::options() const {
  RuleOptions o = ruleAt(rule_);
  std::visit([&](auto& rule) { readControls(*this, rule); }, o);
  return o;
}

FieldValues RuleTab::fields() const { return keptFields(options()); }

void RuleTab::setFields(const FieldValues& values) {
  const Batch once(*this);
  // Twice: a control greyed until another is set takes its value the second time.
  for (int round = 0; round < 2; ++round) {
    RuleOptions o = options();
    putKept(o, values);
    std::visit([&](const auto& rule) { showValues(*this, rule, values); }, o);
  }
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
