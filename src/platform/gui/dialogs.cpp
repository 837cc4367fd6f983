// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/gui/dialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QTranslator>
#include <QVBoxLayout>

namespace qorin::platform {

namespace {

QMessageBox::Icon qtIcon(Dialogs::Icon icon) {
  switch (icon) {
    case Dialogs::Icon::Information:
      return QMessageBox::Information;
    case Dialogs::Icon::Exclamation:
      return QMessageBox::Warning;
    case Dialogs::Icon::Stop:
      return QMessageBox::Critical;
    case Dialogs::Icon::None:
      break;
  }
  return QMessageBox::NoIcon;
}
}  // namespace

QString toQtFilter(const QString& pipeFilter) {
  const QStringList parts = pipeFilter.split('|');
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    // Patterns are ";"-separated; a pattern without "*" (such as "wav") is
    // meant as an extension.
    QStringList patterns;
    for (const QString& p : parts[i + 1].split(';', Qt::SkipEmptyParts))
      patterns << (p.contains('*') ? p : QStringLiteral("*.") + p);
    out << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(' '));
  }
  return out.join(QStringLiteral(";;"));
}

QStringList QtDialogs::openFiles(QWidget* owner, const QString& title, const QString& filter,
                                 const QString& initialDir) {
  const QString qtFilter = toQtFilter(filter);
  QString first = qtFilter.section(QStringLiteral(";;"), 0, 0);
  return QFileDialog::getOpenFileNames(owner, title, initialDir, qtFilter, &first,
                                       QFileDialog::HideNameFilterDetails);
}

QString QtDialogs::chooseFolder(QWidget* owner, const QString& title) {
  return QFileDialog::getExistingDirectory(owner, title, QString(), QFileDialog::ShowDirsOnly);
}

void QtDialogs::message(QWidget* owner, const QString& title, const QString& text, Icon icon) {
  // The program's texts break lines with CR LF; the label wants LF alone.
  QMessageBox box(qtIcon(icon), title, QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
                  QMessageBox::Ok, owner);
  // Chinese also where Qt's translations are not installed.
  box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
  box.exec();
}

bool QtDialogs::askYesNo(QWidget* owner, const QString& title, const QString& text, Icon icon) {
  QMessageBox box(qtIcon(icon), title, text, QMessageBox::Yes | QMessageBox::No, owner);
  box.button(QMessageBox::Yes)->setText(QStringLiteral("是(&Y)"));
  box.button(QMessageBox::No)->setText(QStringLiteral("否(&N)"));
  return box.exec() == QMessageBox::Yes;
}

std::optional<QFont> QtDialogs::chooseFont(QWidget* owner, const QFont& initial) {
  bool ok = false;
  const QFont f = QFontDialog::getFont(&ok, initial, owner);
  if (!ok) return std::nullopt;
  return f;
}

std::optional<QColor> QtDialogs::chooseColour(QWidget* owner, const QColor& initial) {
  const QColor c = QColorDialog::getColor(initial, owner);
  if (!c.isValid()) return std::nullopt;
  return c;
}

std::optional<QString> QtDialogs::askText(QWidget* owner, const QString& title, const QString& label,
                                          const QString& initial) {
  bool ok = false;
  const QString t = QInputDialog::getText(owner, title, label, QLineEdit::Normal, initial, &ok);
  if (!ok) return std::nullopt;
  return t;
}

std::optional<int> QtDialogs::chooseItem(QWidget* owner, const QString& title, const QString& label,
                                         const QStringList& items) {
  bool ok = false;
  const QString t = QInputDialog::getItem(owner, title, label, items, 0, false, &ok);
  if (!ok) return std::nullopt;
  const auto at = items.indexOf(t);
  return at < 0 ? std::nullopt : std::optional<int>(static_cast<int>(at));
}

bool QtDialogs::waitUntil(QWidget* owner, const QString& title, const QString& text,
                          const std::function<bool()>& ready) {
  // Asked this often: soon after the other side lets go, and cheap meanwhile.
  constexpr int kTryMs = 100;
  QDialog box(owner);
  box.setWindowTitle(title);
  auto* icon = new QLabel(&box);
  const int side = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
  icon->setPixmap(
      box.style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, &box).pixmap(side, side));
  auto* words = new QLabel(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")), &box);
  auto* bar = new QProgressBar(&box);
  bar->setRange(0, 0);  // no end to count towards: it only shows the waiting goes on
  bar->setTextVisible(false);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, &box);
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
  QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
  auto* top = new QHBoxLayout;
  top->addWidget(icon, 0, Qt::AlignTop);
  top->addWidget(words, 1);
  auto* layout = new QVBoxLayout(&box);
  layout->addLayout(top);
  layout->addWidget(bar);
  layout->addWidget(buttons);
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, &box, [&] {
    if (ready()) box.accept();
  });
  timer.start(kTryMs);
  return box.exec() == QDialog::Accepted;
}

QString programTitle() { return QStringLiteral("Qorin批量更名器"); }

QTranslator* loadQtTranslations(QApplication& app, const QString& dir) {
  auto* translator = new QTranslator(&app);
  const QString from = dir.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : dir;
  if (!translator->load(QStringLiteral("qtbase_zh_CN"), from) ||
      !QCoreApplication::installTranslator(translator)) {
    delete translator;
    return nullptr;
  }
  return translator;
}

QString installedFace(const QString& face) {
  if (!face.isEmpty() && QFontDatabase::hasFamily(face)) return face;
  // 宋体 under its own name first, then the faces a Linux desktop has; a
  // sans face reads better than a thin serif at the list's small sizes.
  static const QStringList standIns = {QStringLiteral("SimSun"),
                                       QStringLiteral("Noto Sans CJK SC"),
                                       QStringLiteral("Source Han Sans SC"),
                                       QStringLiteral("WenQuanYi Micro Hei"),
                                       QStringLiteral("WenQuanYi Zen Hei"),
                                       QStringLiteral("Microsoft YaHei"),
                                       QStringLiteral("Noto Serif CJK SC")};
  for (const QString& f : standIns)
    if (QFontDatabase::hasFamily(f)) return f;
  const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
  return chinese.isEmpty() ? face : chinese.front();
}

QFont programFont() {
  QFont f(installedFace(QStringLiteral("宋体")));
  f.setPointSize(9);
  return f;
}

}  // namespace qorin::platform
