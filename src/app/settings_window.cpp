// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings_window.h"

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <cmath>

#include "app/colour_picker.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/grow_with_font.h"
#include "platform/gui/spin_edit.h"
#include "platform/gui/wait_cursor.h"
#include "session/session.h"
#include "text/gbtext.h"
#include "text/gui/qtext.h"
#include "ui_settings_window.h"

namespace qorin::app {

using namespace session;

void showSettingsWindow(Session& session, platform::Dialogs& dialogs, QWidget* parent) {
  SettingsWindow w(session, dialogs, parent);
  w.exec();
}

SettingsWindow::SettingsWindow(Session& session, platform::Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::SettingsWindow>()), session_(session), dialogs_(dialogs) {
  ui_->setupUi(this);
  ui_->超级列表框背景颜色选择器->setDialogs(&dialogs);
  ui_->超级列表框字体颜色选择器->setDialogs(&dialogs);
  platform::growWithFont(this);
  setFixedSize(size());
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  connect(ui_->自动预览选择框, &QCheckBox::clicked, this, [this] {
    updatePreviewOptionStates();
    enableApply();
  });
  connect(ui_->预览指定数量单选框, &QRadioButton::clicked, this, [this] {
    enableApply();
    ui_->预览数量编辑框->setEnabled(true);
  });
  connect(ui_->预览全部单选框, &QRadioButton::clicked, this, [this] {
    enableApply();
    ui_->预览数量编辑框->setEnabled(false);
  });
  connect(ui_->预览数量编辑框, &QLineEdit::textChanged, this, [this] {
    if (countReported_) enableApply();
    countReported_ = true;
  });
  connect(ui_->超级列表框背景颜色选择器, &ColourPicker::colourChosen, this, &SettingsWindow::enableApply);
  connect(ui_->超级列表框字体颜色选择器, &ColourPicker::colourChosen, this, &SettingsWindow::enableApply);
  connect(ui_->字体按钮, &QPushButton::clicked, this, &SettingsWindow::chooseFont);
  connect(ui_->默认按钮, &QPushButton::clicked, this, [this] {
    enableApply();
    showDefaults();
    updatePreviewOptionStates();
  });
  connect(ui_->应用按钮, &QPushButton::clicked, this, &SettingsWindow::apply);
  connect(ui_->确定按钮, &QPushButton::clicked, this, &SettingsWindow::confirm);
  connect(ui_->取消按钮, &QPushButton::clicked, this, &QDialog::reject);

  showSettings();
  // When the stored count equals the box's initial text, filling it raises no
  // notification; the user's first edit must still count as a change.
  countReported_ = true;
  updatePreviewOptionStates();
  ui_->应用按钮->setEnabled(false);
}

SettingsWindow::~SettingsWindow() = default;

void SettingsWindow::showSettings() {
  const Settings& s = session_.settings();
  ui_->自动预览选择框->setChecked(s.autoPreview == 1);
  if (s.previewAllEntries == 0)
    ui_->预览指定数量单选框->setChecked(true);
  else
    ui_->预览全部单选框->setChecked(true);
  ui_->预览数量编辑框->setText(QString::number(s.previewCount));
  ui_->超级列表框背景颜色选择器->setColourRef(s.backgroundColour);
  ui_->超级列表框字体颜色选择器->setColourRef(s.fontColour);
  font_.face = text::toQt(s.fontName);
  font_.size = s.fontSize;
  // Only a style the loader recognised presets the chooser.
  if (s.bold == 1 || s.italic == 1) {
    font_.bold = s.bold == 1;
    font_.italic = s.italic == 1;
  }
}

void SettingsWindow::updatePreviewOptionStates() {
  if (ui_->自动预览选择框->isChecked()) {
    ui_->预览全部单选框->setEnabled(true);
    ui_->预览指定数量单选框->setEnabled(true);
    // Follows the stored scope, not the radio buttons.
    ui_->预览数量编辑框->setEnabled(session_.settings().previewAllEntries != 1);
  } else {
    ui_->预览指定数量单选框->setEnabled(false);
    ui_->预览数量编辑框->setEnabled(false);
    ui_->预览全部单选框->setEnabled(false);
  }
}

void SettingsWindow::collectSettings() {
  Settings s = session_.settings();
  s.autoPreview = ui_->自动预览选择框->isChecked() ? 1 : 0;
  s.previewAllEntries = ui_->预览全部单选框->isChecked() ? 1 : 0;
  // A typed "-5" would reach the preview as a negative count; none means none.
  s.previewCount = std::max(0, text::toNumber(text::fromQtOrEmpty(ui_->预览数量编辑框->text())));
  s.backgroundColour = ui_->超级列表框背景颜色选择器->colourRef();
  s.fontColour = ui_->超级列表框字体颜色选择器->colourRef();
  if (auto face = text::fromQt(font_.face)) s.fontName = *face;
  s.fontSize = font_.size;
  session_.changeSettings(s);
}

void SettingsWindow::showDefaults() {
  const Settings d = defaultSettings();
  ui_->自动预览选择框->setChecked(false);
  ui_->预览指定数量单选框->setChecked(true);
  ui_->预览数量编辑框->setText(QString::number(d.previewCount));
  ui_->预览全部单选框->setChecked(false);
  ui_->超级列表框背景颜色选择器->setColourRef(d.backgroundColour);
  ui_->超级列表框字体颜色选择器->setColourRef(d.fontColour);
  font_ = {text::toQt(d.fontName), d.fontSize, false, false};
}

void SettingsWindow::enableApply() { ui_->应用按钮->setEnabled(true); }

void SettingsWindow::apply() {
  ui_->应用按钮->setEnabled(false);
  platform::WaitCursor wait;
  collectSettings();
}

void SettingsWindow::confirm() {
  if (ui_->应用按钮->isEnabled()) {
    platform::WaitCursor wait;
    collectSettings();
  }
  accept();
}

void SettingsWindow::chooseFont() {
  // A face that is not installed would open the chooser on Qt's default.
  QFont initial(platform::installedFace(font_.face));
  if (font_.size > 0) initial.setPointSize(font_.size);
  initial.setBold(font_.bold);
  initial.setItalic(font_.italic);
  const std::optional<QFont> chosen = dialogs_.chooseFont(this, initial);
  if (!chosen) return;
  font_.face = chosen->family();
  // A font given in pixels has no point size; keep the old one then.
  if (chosen->pointSize() > 0)
    font_.size = chosen->pointSize();
  else if (chosen->pointSizeF() > 0)
    font_.size = static_cast<int>(std::lround(chosen->pointSizeF()));
  font_.bold = chosen->bold();
  font_.italic = chosen->italic();
  enableApply();
  // The face goes into the settings at once, even if the window is cancelled.
  if (auto face = text::fromQt(font_.face)) {
    Settings s = session_.settings();
    s.fontName = *face;
    session_.changeSettings(s);
  }
}

}  // namespace qorin::app
