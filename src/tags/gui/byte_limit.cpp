// SPDX-License-Identifier: GPL-3.0-or-later
#include "tags/gui/byte_limit.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <algorithm>

#include "text/gbtext.h"
#include "text/gui/qtext.h"

namespace qorin::tags {

namespace {

// The limit of a multi-line box: a child of the box that knows which changes
// come from the program.
class PlainTextLimit : public QObject {
 public:
  PlainTextLimit(QPlainTextEdit* edit, std::size_t maxBytes) : QObject(edit), edit_(edit), max_(maxBytes) {
    connect(edit, &QPlainTextEdit::textChanged, this, &PlainTextLimit::changed);
  }

  void setProgramText(const QString& text) {
    programSetting_ = true;
    edit_->setPlainText(text);
    programSetting_ = false;
    last_ = edit_->toPlainText();
  }

 private:
  void changed() {
    if (programSetting_) return;
    const QString text = edit_->toPlainText();
    const std::size_t allowed = std::max(max_, byteLength(last_));
    if (byteLength(text) <= allowed) {
      last_ = text;
      return;
    }
    int cursor = edit_->textCursor().position();
    setProgramText(fitToBytes(text, cursor, allowed));  // raises textChanged again, now within the limit
    QTextCursor c = edit_->textCursor();
    c.setPosition(cursor);
    edit_->setTextCursor(c);
  }

  QPlainTextEdit* edit_;
  std::size_t max_;
  QString last_;
  bool programSetting_ = false;
};

}  // namespace

std::size_t byteLength(const QString& text) { return text::fromQtOrEmpty(text).size(); }

QString fitToBytes(const QString& text, int& cursor, std::size_t maxBytes) {
  const int at = std::clamp(cursor, 0, static_cast<int>(text.size()));
  const QString tail = text.mid(at);
  const std::string before = text::fromQtOrEmpty(text.left(at));
  const std::string after = text::fromQtOrEmpty(tail);
  cursor = at;
  if (before.size() + after.size() <= maxBytes) return text;
  if (after.size() >= maxBytes) {
    cursor = 0;
    return text::toQt(text::cutToBytes(after, maxBytes));
  }
  const QString kept = text::toQt(text::cutToBytes(before, maxBytes - after.size()));
  cursor = static_cast<int>(kept.size());
  return kept + tail;
}

ByteLimitValidator::ByteLimitValidator(std::size_t maxBytes, QLineEdit* box)
    : QValidator(box), max_(maxBytes), last_(box->text()) {
  // textChanged follows validation, so last_ holds the text before each change.
  connect(box, &QLineEdit::textChanged, this, [this](const QString& t) { last_ = t; });
}

QValidator::State ByteLimitValidator::validate(QString& input, int& pos) const {
  const std::size_t allowed = std::max(max_, byteLength(last_));
  if (byteLength(input) > allowed) input = fitToBytes(input, pos, allowed);
  return Acceptable;
}

void limitBytes(QPlainTextEdit* edit, std::size_t maxBytes) { new PlainTextLimit(edit, maxBytes); }

void setProgramText(QLineEdit* box, const QString& text) {
  // setText validates like typing; the program's text passes without the limit.
  const QValidator* limit = box->validator();
  box->setValidator(nullptr);
  box->setText(text);
  box->setValidator(limit);
}

void setProgramText(QPlainTextEdit* box, const QString& text) {
  for (QObject* child : box->children()) {
    if (auto* limit = dynamic_cast<PlainTextLimit*>(child)) {
      limit->setProgramText(text);
      return;
    }
  }
  box->setPlainText(text);
}

}  // namespace qorin::tags
