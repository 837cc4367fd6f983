#include "tags/gui/byte_limit.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <algorithm>

#include "text/gbtext.h"
#include "text/gui/qtext.h"

namespace qorin::tags {

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

QValidator::State ByteLimitValidator::validate(QString& input, int& pos) const {
  if (byteLength(input) > max_) input = fitToBytes(input, pos, max_);
  return Acceptable;
}

void limitBytes(QPlainTextEdit* edit, std::size_t maxBytes) {
  QObject::connect(edit, &QPlainTextEdit::textChanged, edit, [edit, maxBytes] {
    const QString text = edit->toPlainText();
    if (byteLength(text) <= maxBytes) return;
    int cursor = edit->textCursor().position();
    const QString fitted = fitToBytes(text, cursor, maxBytes);
    edit->setPlainText(fitted);  // raises textChanged again, now within the limit
    QTextCursor c = edit->textCursor();
    c.setPosition(cursor);
    edit->setTextCursor(c);
  });
}

}  // namespace qorin::tags
