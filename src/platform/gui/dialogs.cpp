#include "platform/gui/dialogs.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QPushButton>

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
  return QFileDialog::getOpenFileNames(owner, title, initialDir, qtFilter, &first);
}

QString QtDialogs::chooseFolder(QWidget* owner, const QString& title) {
  return QFileDialog::getExistingDirectory(owner, title, QString(), QFileDialog::ShowDirsOnly);
}

void QtDialogs::message(QWidget* owner, const QString& title, const QString& text, Icon icon) {
  // The program's texts break lines with CR LF; the label wants LF alone.
  QMessageBox box(qtIcon(icon), title, QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
                  QMessageBox::Ok, owner);
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

QString programTitle() { return QStringLiteral("Qorin批量更名器"); }

}  // namespace qorin::platform
