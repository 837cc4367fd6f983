// SPDX-License-Identifier: GPL-3.0-or-later
// Keeps what the user types into a box within a number of code-page bytes,
// counted as the file stores them. When typing makes a text too long, the
// characters just before the cursor go (those typed or pasted), as a
// character limit would drop them. Text the program puts into a box is never
// cut: a box holding such a text that is already longer takes deletions, and
// typing there only may not make it longer still.
#pragma once

#include <QString>
#include <QValidator>
#include <cstddef>

class QLineEdit;
class QPlainTextEdit;

namespace qorin::tags {

// `text` fitted into `maxBytes`; `cursor` (a position in `text`) is moved along.
QString fitToBytes(const QString& text, int& cursor, std::size_t maxBytes);

// Code-page bytes of a text typed into a box.
std::size_t byteLength(const QString& text);

// The limit of a one-line box, installed as its validator.
class ByteLimitValidator : public QValidator {
 public:
  ByteLimitValidator(std::size_t maxBytes, QLineEdit* box);
  State validate(QString& input, int& pos) const override;

 private:
  std::size_t max_;
  QString last_;  // the box's text before the change being validated
};

// The same rule for a multi-line box, which has no validator.
void limitBytes(QPlainTextEdit* edit, std::size_t maxBytes);

// Puts a text from the program into a box, past its limit if need be; the
// box raises its change notification as for typing.
void setProgramText(QLineEdit* box, const QString& text);
void setProgramText(QPlainTextEdit* box, const QString& text);

}  // namespace qorin::tags
