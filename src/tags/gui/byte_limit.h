// Keeps a box's text within a number of code-page bytes, counted as the file
// stores them. When a text grows past the limit, the characters just before
// the cursor go (those typed or pasted), as a character limit would drop them;
// a text set from the program keeps its beginning.
#pragma once

#include <QString>
#include <QValidator>
#include <cstddef>

class QPlainTextEdit;

namespace qorin::tags {

// `text` fitted into `maxBytes`; `cursor` (a position in `text`) is moved along.
QString fitToBytes(const QString& text, int& cursor, std::size_t maxBytes);

// Code-page bytes of a text typed into a box.
std::size_t byteLength(const QString& text);

class ByteLimitValidator : public QValidator {
 public:
  ByteLimitValidator(std::size_t maxBytes, QObject* parent) : QValidator(parent), max_(maxBytes) {}
  State validate(QString& input, int& pos) const override;

 private:
  std::size_t max_;
};

// The same rule for a multi-line box, which has no validator.
void limitBytes(QPlainTextEdit* edit, std::size_t maxBytes);

}  // namespace qorin::tags
