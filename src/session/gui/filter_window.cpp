// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/gui/filter_window.h"

#include "filelist/filter.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/wait_cursor.h"
#include "session/session.h"
#include "text/gui/qtext.h"
#include "ui_filter_window.h"

namespace qorin::session {

using namespace qorin::filelist;

namespace {

const QString kTitle = QStringLiteral("过滤设置");

}  // namespace

FilterWindow::FilterWindow(Session& session, platform::Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), session_(session), dialogs_(dialogs), ui_(std::make_unique<Ui::FilterWindow>()) {
  ui_->setupUi(this);
  setFixedSize(size());
  move(50, 50);
  ui_->操作方式组合框->setCurrentIndex(0);
  ui_->过滤完成后关闭对话框选择框->setChecked(true);
  connect(ui_->扩展名单选框, &QRadioButton::clicked, this, [this] { chooseMatch(true); });
  connect(ui_->包含内容单选框, &QRadioButton::clicked, this, [this] { chooseMatch(false); });
  connect(ui_->确定按钮, &QPushButton::clicked, this, [this] { runFilter(); });
  connect(ui_->取消按钮, &QPushButton::clicked, this, [this] { reject(); });
}

FilterWindow::~FilterWindow() = default;

void FilterWindow::chooseMatch(bool byExtension) {
  ui_->扩展名组合框->setEnabled(byExtension);
  ui_->包含内容编辑框->setEnabled(!byExtension);
}

void FilterWindow::runFilter() {
  auto warn = [this](const char* text) {
    dialogs_.message(this, kTitle, QString::fromUtf8(text), platform::Dialogs::Icon::Exclamation);
  };
  const int operation = ui_->操作方式组合框->currentIndex();
  if (operation < 0) return warn("请选择操作方式！");
  FilterOptions o;
  o.operation = operation == 1 ? FilterOperation::Keep : FilterOperation::Remove;
  if (ui_->扩展名单选框->isChecked()) {
    o.match = FilterMatch::Extension;
    o.text = text::fromQtOrEmpty(ui_->扩展名组合框->currentText());
    if (o.text.empty()) return warn("扩展名不能空！");
  } else if (ui_->包含内容单选框->isChecked()) {
    o.match = FilterMatch::Contains;
    o.text = text::fromQtOrEmpty(ui_->包含内容编辑框->text());
    if (o.text.empty()) return warn("'包含内容'不能空！");
  } else {
    return;  // neither kind chosen: nothing to match against
  }
  {
    platform::WaitCursor wait;
    session_.filter(o);
  }
  if (ui_->过滤完成后关闭对话框选择框->isChecked()) accept();
}

void showFilterWindow(Session& session, platform::Dialogs& dialogs, QWidget* parent) {
  FilterWindow window(session, dialogs, parent);
  window.exec();
}

}  // namespace qorin::session
