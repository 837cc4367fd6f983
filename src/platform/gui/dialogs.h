// Everything a person must answer goes through this interface, so that window
// tests can install an answering double instead of the real modal dialogs.
#pragma once

#include <QColor>
#include <QFont>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

namespace qorin::platform {

class Dialogs {
 public:
  enum class Icon { None, Information, Exclamation, Stop };

  virtual ~Dialogs() = default;
  // Full paths in the dialog's order; empty when cancelled.
  virtual QStringList openFiles(QWidget* owner, const QString& title, const QString& filter,
                                const QString& initialDir) = 0;
  // A directory, or the empty text when cancelled.
  virtual QString chooseFolder(QWidget* owner, const QString& title) = 0;
  virtual void message(QWidget* owner, const QString& title, const QString& text, Icon icon) = 0;
  // True only for Yes.
  virtual bool askYesNo(QWidget* owner, const QString& title, const QString& text, Icon icon) = 0;
  virtual std::optional<QFont> chooseFont(QWidget* owner, const QFont& initial) = 0;
  virtual std::optional<QColor> chooseColour(QWidget* owner, const QColor& initial) = 0;
};

// The real modal Qt dialogs.
class QtDialogs : public Dialogs {
 public:
  QStringList openFiles(QWidget* owner, const QString& title, const QString& filter,
                        const QString& initialDir) override;
  QString chooseFolder(QWidget* owner, const QString& title) override;
  void message(QWidget* owner, const QString& title, const QString& text, Icon icon) override;
  bool askYesNo(QWidget* owner, const QString& title, const QString& text, Icon icon) override;
  std::optional<QFont> chooseFont(QWidget* owner, const QFont& initial) override;
  std::optional<QColor> chooseColour(QWidget* owner, const QColor& initial) override;
};

// The program's name: the main window's title and the title of its messages.
QString programTitle();

// "所有文件(*.*)|*.*|..." turned into Qt's "所有文件(*.*) (*.*);;..." form.
QString toQtFilter(const QString& pipeFilter);

}  // namespace qorin::platform
