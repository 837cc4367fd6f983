// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's tool bar, menus and status bar.
#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <array>
#include <iterator>
#include <utility>

#include "app/main_window.h"
#include "app/rule_presets.h"
#include "platform/gui/colours.h"
#include "platform/gui/icons.h"
#include "session/gui/list_commands.h"

namespace qorin::app {

namespace {

using S = session::Settings;

// The 选项 menu's switches, in menu order.
constexpr std::pair<const char*, bool S::*> kSwitches[] = {{"包含子目录(&R)", &S::includeSubfolders},
                                                           {"包含隐藏文件(&H)", &S::includeHidden},
                                                           {"替换非法字符(&I)", &S::replaceIllegal},
                                                           {"音轨号补零(&T)", &S::padTrack}};

}  // namespace

void MainWindow::createToolbar() {
  toolbar_ = new QToolBar(this);
  toolbar_->setObjectName(QStringLiteral("工具条"));
  toolbar_->setMovable(false);
  toolbar_->setFloatable(false);
  toolbar_->setIconSize(QSize(16, 15));
  toolbar_->setFixedHeight(28);
  toolbar_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  toolbar_->setContextMenuPolicy(Qt::PreventContextMenu);
  addToolBar(Qt::TopToolBarArea, toolbar_);
  struct Button {
    const char* text;
    QIcon (*icon)();
  };
  const Button buttons[] = {{"选择目录", icons::chooseDirectory},
                            {"加入多个文件", icons::addFiles},
                            {nullptr, nullptr},
                            {"撤消", icons::undo},
                            {"预览", icons::preview},
                            {"开始命名", icons::rename},
                            {nullptr, nullptr},
                            {"帮助", icons::help}};
  for (int i = 0; i < 8; ++i) {
    if (!buttons[i].text) {
      toolbarActions_ << toolbar_->addSeparator();
      continue;
    }
    QAction* a = toolbar_->addAction(buttons[i].icon(), QString::fromUtf8(buttons[i].text));
    a->setToolTip(a->text());
    connect(a, &QAction::triggered, this, [this, i] { toolbarClicked(i); });
    // Reached by Tab like every other control.
    toolbar_->widgetForAction(a)->setFocusPolicy(Qt::TabFocus);
    toolbarActions_ << a;
  }
  // Keys for the buttons that have no menu entry.
  toolbarActions_[kPreview]->setShortcut(QKeySequence(Qt::Key_F5));
  toolbarActions_[kRename]->setShortcuts(
      {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
  toolbarActions_[kUndo]->setShortcut(QKeySequence(QKeySequence::Undo));
}

void MainWindow::createMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("文件(&F)"));
  file->addAction(icons::chooseDirectory(), QStringLiteral("选择目录(&D)..."),
                  QKeySequence(QStringLiteral("Ctrl+D")), this,
                  [this] { list_->addDirectory(QString(), true); });
  file->addAction(icons::addFiles(), QStringLiteral("添加文件(&N)..."),
                  QKeySequence(QStringLiteral("Ctrl+F")), this, [this] { list_->addFilesDialog(); });
  file->addSeparator();
  file->addAction(QStringLiteral("退出(&X)"), QKeySequence(QStringLiteral("Ctrl+X")), this,
                  [this] { close(); });

  QMenu* options = menuBar()->addMenu(QStringLiteral("选项(&O)"));
  options->addAction(icons::settings(), QStringLiteral("设置(&S)..."), QKeySequence(QStringLiteral("Ctrl+S")),
                     this, [this] { openSettings(); });
  options->addSeparator();
  for (std::size_t i = 0; i < optionActions_.size(); ++i) {
    QAction* a = options->addAction(QString::fromUtf8(kSwitches[i].first));
    a->setCheckable(true);
    connect(a, &QAction::triggered, this, [this, field = kSwitches[i].second](bool on) {
      S s = session_.settings();
      s.*field = on;
      session_.changeSettings(s);
      showRenamingOptions();
    });
    optionActions_[i] = a;
  }
  options->addSeparator();
  presets_ = new PresetMenu(options->addMenu(QStringLiteral("方案(&P)")), tabs(), session_, *dialogs_, this);

  QMenu* help = menuBar()->addMenu(QStringLiteral("帮助(&H)"));
  help->addAction(icons::help(), QStringLiteral("内容(&D)..."), QKeySequence(Qt::Key_F1), this,
                  [this] { openHelp(); });
  help->addAction(QStringLiteral("关于(&A)..."), this, [this] { openAbout(); });
}

void MainWindow::createStatusBar() {
  statusBar()->setObjectName(QStringLiteral("状态条"));
  statusBar()->setSizeGripEnabled(true);
  statusBar()->setFixedHeight(20);
  const std::pair<const char*, int> parts[] = {{"文件个数", 80}, {"进度", 247}, {"自动预览", 80}};
  QLabel* labels[3];
  for (int i = 0; i < 3; ++i) {
    labels[i] = new QLabel(statusBar());
    labels[i]->setObjectName(QString::fromUtf8(parts[i].first));
    labels[i]->setFixedWidth(parts[i].second);
    labels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    statusBar()->addWidget(labels[i]);
  }
  statusCount_ = labels[0];
  statusProgress_ = labels[1];
  statusPreview_ = labels[2];
  statusPreview_->setToolTip(QStringLiteral("单击切换自动预览"));
  // In place of 进度 and the rest of the bar, while the rule cannot run: why
  // (whole in its tooltip where cut off).
  statusRule_ = new QLabel(statusBar());
  statusRule_->setObjectName(QStringLiteral("规则提示"));
  statusRule_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  statusRule_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  platform::setTextColour(statusRule_, platform::errorText);
  statusBar()->insertWidget(2, statusRule_, 1);  // after 进度
  statusRule_->hide();
  // Progress marks are drawn in the bar's own colour.
  platform::setTextColour(statusProgress_, platform::accentText);
  // At the end of 进度, while a pass or an undo runs: stops it after the file at hand, as Esc does.
  auto* stop = new QToolButton(statusProgress_);
  stop->setObjectName(QStringLiteral("停止按钮"));
  stop->setText(QStringLiteral("停止"));
  stop->setToolTip(QStringLiteral("停止 (Esc)"));
  stop->setAutoRaise(true);
  stop->setFocusPolicy(Qt::NoFocus);
  stop->setCursor(Qt::ArrowCursor);
  auto* row = new QHBoxLayout(statusProgress_);
  row->setContentsMargins(0, 0, 0, 0);
  row->addStretch();
  row->addWidget(stop);
  stop->hide();
}

void MainWindow::showRenamingOptions() {
  static_assert(std::size(kSwitches) == std::tuple_size_v<decltype(optionActions_)>);
  for (std::size_t i = 0; i < optionActions_.size(); ++i)
    optionActions_[i]->setChecked(session_.settings().*kSwitches[i].second);
}

}  // namespace qorin::app
