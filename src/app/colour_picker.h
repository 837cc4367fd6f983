// SPDX-License-Identifier: GPL-3.0-or-later
// A button that shows one colour and lets the user choose another through the
// program's colour chooser. Colours travel as Windows values 0x00BBGGRR, the
// form the settings file keeps.
#pragma once

#include <QColor>
#include <QPushButton>
#include <cstdint>

namespace qorin::platform {
class Dialogs;
}

namespace qorin::app {

QColor fromColourRef(std::int32_t ref);
std::int32_t toColourRef(const QColor& c);

class ColourPicker : public QPushButton {
  Q_OBJECT

 public:
  explicit ColourPicker(QWidget* parent = nullptr);

  QColor colour() const { return colour_; }
  // Setting from code does not count as a choice: no colourChosen.
  void setColour(const QColor& c);
  std::int32_t colourRef() const { return toColourRef(colour_); }
  void setColourRef(std::int32_t ref) { setColour(fromColourRef(ref)); }
  // The chooser to open on a click (not owned); nothing opens without one.
  void setDialogs(platform::Dialogs* d) { dialogs_ = d; }

 signals:
  // The user confirmed a colour in the chooser (even the same one).
  void colourChosen();

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  void choose();

  QColor colour_{Qt::black};
  platform::Dialogs* dialogs_ = nullptr;
};

}  // namespace qorin::app
